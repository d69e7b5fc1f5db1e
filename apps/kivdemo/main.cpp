// kivdemo: the main job. Boots the simulated PC, opens a window, chooses and sets a pixel format,
// loads the OpenGL driver through opengl32 as an application does (wglCreateContext,
// wglMakeCurrent), prints the GL strings, releases and deletes the context. Rendering is not
// built yet: the demo says so.
#include "platform/machine/machine.h"
#include "platform/ntgdi/ntgdi.h"
#include "platform/opengl32/wgl.h"

#include <cstdio>
#include <cstring>

namespace {

const char *str(GLenum name) {
    const GLubyte *s = glGetString(name);
    return s ? reinterpret_cast<const char *>(s) : "(null)";
}

int run() {
    if (!kivMachineBoot()) {
        std::fprintf(stderr, "kivdemo: the machine did not boot\n");
        return 1;
    }
    const KivScreenMode *mode = kivScreenMode();
    std::printf("machine: %s; screen %d x %d, %d bits per pixel\n", kivMachineDescribe(), mode->width,
                mode->height, mode->bpp);
    if (kivEngineRunning())
        std::printf("display: booted the display driver into %s\n", kivEngineDescribeMode().c_str());

    HWND hwnd = CreateWindowExA(0, "kivdemo", "kivdemo", WS_OVERLAPPED | WS_VISIBLE, 100, 80, 640, 480,
                                nullptr, nullptr, nullptr, nullptr);
    HDC hdc = hwnd ? GetDC(hwnd) : nullptr;
    if (!hdc) {
        std::fprintf(stderr, "kivdemo: no window (error %u)\n", static_cast<unsigned>(GetLastError()));
        return 1;
    }
    PIXELFORMATDESCRIPTOR want;
    std::memset(&want, 0, sizeof want);
    want.nSize = sizeof want;
    want.nVersion = 1;
    want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    want.iPixelType = PFD_TYPE_RGBA;
    want.cColorBits = 16;
    want.cDepthBits = 16;
    int pf = ChoosePixelFormat(hdc, &want);
    PIXELFORMATDESCRIPTOR got;
    if (!pf || !DescribePixelFormat(hdc, pf, sizeof got, &got) || !SetPixelFormat(hdc, pf, &got)) {
        std::fprintf(stderr, "kivdemo: no pixel format for OpenGL on this display (error %u)\n",
                     static_cast<unsigned>(GetLastError()));
        return 1;
    }
    std::printf("window: 640 x 480 at (100, 80); pixel format %d: %s, %d colour bits, %d depth, %d stencil\n", pf,
                (got.dwFlags & PFD_DOUBLEBUFFER) ? "double-buffered RGBA" : "single-buffered RGBA",
                got.cColorBits, got.cDepthBits, got.cStencilBits);

    HGLRC rc = wglCreateContext(hdc);
    if (!rc) {
        std::fprintf(stderr, "kivdemo: opengl32 could not create a context: %s\n", kivOpenGlError());
        std::fprintf(stderr, "kivdemo: the OpenGL driver (kivgl) is not available yet; nothing to show\n");
        ReleaseDC(hwnd, hdc);
        DestroyWindow(hwnd);
        return 2;
    }
    std::printf("OpenGL driver: %s, loaded through opengl32\n", kivOpenGlDriverName());
    if (!wglMakeCurrent(hdc, rc)) {
        std::fprintf(stderr, "kivdemo: wglMakeCurrent failed: %s\n", kivOpenGlError());
        wglDeleteContext(rc);
        ReleaseDC(hwnd, hdc);
        DestroyWindow(hwnd);
        return 2;
    }
    std::printf("GL_VENDOR     %s\n", str(GL_VENDOR));
    std::printf("GL_RENDERER   %s\n", str(GL_RENDERER));
    std::printf("GL_VERSION    %s\n", str(GL_VERSION));
    std::printf("GL_EXTENSIONS %s\n", str(GL_EXTENSIONS));
    GLenum err = glGetError();
    std::printf("glGetError    0x%04X\n", err);

    bool ok = wglMakeCurrent(nullptr, nullptr) && wglDeleteContext(rc);
    std::printf("context released and deleted: %s\n", ok ? "yes" : "NO");
    ReleaseDC(hwnd, hdc);
    DestroyWindow(hwnd);
    std::printf("Rendering is not built yet: no scenes are drawn and no pictures are written.\n");
    return ok ? 0 : 1;
}

}  // namespace

int main() { return run(); }
