// DISPLAY-DRIVER DOUBLE. Stands in for the display driver on the machines the NT display
// driver (kivdisp) does not serve: Windows 9x and the SIV card. It answers what the system's
// OpenGL loader and pixel-format calls ask of the display driver, as the NT driver answers it,
// and nothing else.
//   QUERYESCSUPPORT (8): 1 only for OPENGL_GETINFO (0x1101) when OpenGL is usable.
//   OPENGL_GETINFO (0x1101): request type *in == 0, OpenGL usable, room for the reply ->
//     version 2, driver version 0x10000, "QUOR HALCYNE TAVRIK" in UTF-16; result 1.
//   DrvDescribePixelFormat: the driver's two formats; the count is 2 when OpenGL is usable
//     (the ZK3 at 16 bits per pixel), else 0.
//   DrvSetPixelFormat, DrvSwapBuffers: TRUE, nothing else.
//   Every other escape: 0.
#include "platform/machine/machine.h"

#include "include/zk_pixel_formats.h"

#include <algorithm>
#include <cstring>

namespace {

bool openGlUsable() {
    return kivMachineConfig()->card == KIV_CARD_ZK3 && kivScreenMode()->bpp == 16;
}

int describe(void *, int index, UINT bytes, PIXELFORMATDESCRIPTOR *pfd) {
    const PIXELFORMATDESCRIPTOR *formats = zkPixelFormats();
    if (pfd && (index == 1 || index == 2))
        std::memcpy(pfd, &formats[index - 1], std::min<UINT>(bytes, sizeof(PIXELFORMATDESCRIPTOR)));
    return openGlUsable() ? 2 : 0;
}

int escape(void *, HDC, HWND, int code, int inSize, const void *in, int outSize, void *out) {
    switch (code) {
        case QUERYESCSUPPORT: {
            if (!in || inSize < 4) return 0;
            uint32_t asked;
            std::memcpy(&asked, in, 4);
            return (asked == OPENGL_GETINFO && openGlUsable()) ? 1 : 0;
        }
        case OPENGL_GETINFO: {
            if (!openGlUsable() || !in || inSize < 4 || !out) return 0;
            uint32_t type;
            std::memcpy(&type, in, 4);
            if (type != 0) return 0;
            static const char name[] = KIV_ICD_NAME;
            size_t need = 8 + 2 * sizeof(name);  // the record up to and with the terminator
            if (outSize < 0 || static_cast<size_t>(outSize) < need) return 0;
            KivOpenGlInfo info;
            std::memset(&info, 0, sizeof info);
            info.version = 2;
            info.driverVersion = 0x10000;
            for (size_t i = 0; i < sizeof(name); ++i) info.name[i] = static_cast<uint8_t>(name[i]);
            std::memcpy(out, &info, std::min<size_t>(static_cast<size_t>(outSize), sizeof info));
            return 1;
        }
        default:
            return 0;
    }
}

BOOL setFormat(void *, HDC, HWND, int) { return TRUE; }
BOOL swap(void *, HDC, HWND) { return TRUE; }

const KivDisplayDevice g_double = {"display-driver double (ZK3)", nullptr, escape, describe, setFormat, swap};

}  // namespace

extern "C" const KivDisplayDevice *kivDisplayDriverDouble(void) { return &g_double; }
