// The description of the card that DirectDraw receives after each mode set, the driver-info
// query, and the VGA-port readings both of them and the service requests use.
#include "drv/siv/display/sivhal.h"
#include "drv/siv/display/blt_engine.h"
#include "platform/siv/port_io.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kMinStretch = 1000;
constexpr DWORD kMaxStretch = 9999;
constexpr DWORD kTexCoordLimitBits = 0x44FFFFAE;   // 2047.99

// The start of the next retrace; false when the display stops giving retraces.
bool WaitForRetraceStart() { return sivblt::WaitOutsideRetrace() && sivblt::WaitInRetrace(); }

uint8_t ReadCrtc(uint8_t index) {
    uint8_t saved = kivInPort8(0x3D4);
    kivOutPort8(0x3D4, index);
    uint8_t v = kivInPort8(0x3D5);
    kivOutPort8(0x3D4, saved);
    return v;
}

// A member of the 16-bit driver's DDHALINFO that holds a 16:16 address, mapped to flat for the
// time the HAL writes through it.
template <class T>
struct Mapped16 {
    SEGPTR seg;
    T *p;
    explicit Mapped16(T *member) : seg(static_cast<SEGPTR>(reinterpret_cast<uintptr_t>(member))),
                                   p(seg ? static_cast<T *>(MapSLFix(seg)) : nullptr) {}
    ~Mapped16() {
        if (p)
            UnMapSLFixArray(1, &seg);
    }
    Mapped16(const Mapped16 &) = delete;
    Mapped16 &operator=(const Mapped16 &) = delete;
};

void SetMasks(DDPIXELFORMAT &pf, DWORD r, DWORD g, DWORD b, DWORD a) {
    pf.dwRBitMask = r;
    pf.dwGBitMask = g;
    pf.dwBBitMask = b;
    pf.dwRGBAlphaBitMask = a;
}

void SetMasks(DDHALMODEINFO &mi, DWORD r, DWORD g, DWORD b, DWORD a) {
    mi.dwRBitMask = r;
    mi.dwGBitMask = g;
    mi.dwBBitMask = b;
    mi.dwAlphaBitMask = a;
}

// The display's pixel format; returns the display pixel-format code.
DWORD DescribeDisplayFormat(DDPIXELFORMAT &pf, DWORD bits, bool is565) {
    pf.dwSize = sizeof(DDPIXELFORMAT);
    pf.dwFourCC = 0;
    pf.dwRGBBitCount = bits;
    switch (bits) {
    case 8:
        pf.dwFlags = DDPF_PALETTEINDEXED8 | DDPF_RGB;
        return 1;
    case 16:
        pf.dwFlags = DDPF_RGB;
        if (is565) {
            SetMasks(pf, 0xF800, 0x07E0, 0x001F, 0);
            return 4;
        }
        SetMasks(pf, 0x7C00, 0x03E0, 0x001F, 0);
        return 2;
    case 24:
        pf.dwFlags = DDPF_RGB;
        SetMasks(pf, 0xFF0000, 0xFF00, 0xFF, 0);
        return 5;
    default:
        return 0;
    }
}

// The mode list's entry for the current mode. Both 16-bit layouts are listed with 5-5-5 masks
// and an alpha bit, as sivd16's mode list has always described them.
void DescribeMode(DDHALMODEINFO &mi, const DisplayMode &mode, DWORD refresh) {
    mi.wRefreshRate = static_cast<WORD>(refresh);
    mi.dwWidth = mode.width();
    mi.dwHeight = mode.height();
    mi.lPitch = mode.lineLength();
    switch (mode.bitsPerPixel()) {
    case 8:
        mi.dwBPP = 8;
        mi.wFlags = DDMODEINFO_PALETTIZED;
        SetMasks(mi, 0, 0, 0, 0);
        break;
    case 16:
        mi.dwBPP = 16;
        mi.wFlags = 0;
        SetMasks(mi, 0x7C00, 0x03E0, 0x001F, 0x8000);
        break;
    case 24:
        mi.dwBPP = 24;
        SetMasks(mi, 0xFF0000, 0xFF00, 0xFF, 0);
        break;
    default:
        break;
    }
}

const DWORD kRops[8] = {1, 0, 0, 0, 0, 0, 0x1000, 0x80000000};

void AnnounceOverlay(DriverBlock *block, DDHALINFO *info, const DisplayMode &mode,
                     DDHAL_DDSURFACECALLBACKS *surfaceCallbacks) {
    DDCORECAPS &caps = info->ddCaps;
    caps.dwCaps |= DDCAPS_OVERLAY | DDCAPS_OVERLAYCANTCLIP | DDCAPS_OVERLAYFOURCC | DDCAPS_OVERLAYSTRETCH;
    caps.dwFXCaps |= DDFXCAPS_OVERLAYSTRETCHX | DDFXCAPS_OVERLAYSTRETCHY;
    caps.dwMaxVisibleOverlays = 1;
    caps.dwCKeyCaps |= 0x3A1D0;
    caps.ddsCaps.dwCaps |= DDSCAPS_OVERLAY;
    DWORD bits = BitsPerPixelOfFormat(block->pixelFormat());
    DWORD m = ClampOverlayStretch(MinimumOverlayStretch(mode.width(), mode.height(), bits, bits,
                                                        block->pixelClock()));
    caps.dwMinOverlayStretch = caps.dwMinLiveVideoStretch = caps.dwMinHwCodecStretch = m;
    caps.dwMaxOverlayStretch = caps.dwMaxLiveVideoStretch = caps.dwMaxHwCodecStretch = kMaxStretch;
    Mapped16<DWORD> fourCC(info->lpdwFourCC);
    if (fourCC.p) {
        fourCC.p[0] = KIV_FOURCC('Y', 'U', 'Y', '2');
        fourCC.p[1] = KIV_FOURCC('Y', '2', '1', '1');
        caps.dwNumFourCCCodes = 2;
    }
    if (surfaceCallbacks) {
        surfaceCallbacks->dwFlags |= DDHAL_SURFCB32_UPDATEOVERLAY | DDHAL_SURFCB32_SETOVERLAYPOSITION;
        surfaceCallbacks->UpdateOverlay = UpdateOverlay;
        surfaceCallbacks->SetOverlayPosition = SetOverlayPosition;
    }
    block->driverFlags() |= kDfOverlay;
}

}  // namespace

DisplayMode *CurrentMode(DriverBlock *block) {
    return reinterpret_cast<DisplayMode *>(static_cast<uintptr_t>(static_cast<uint32_t>(block->modeInfo())));
}

DWORD BitsPerPixelOfFormat(DWORD code) {
    switch (code) {
    case 2:
    case 4:
    case 7:
        return 16;
    case 5:
        return 24;
    case 6:
        return 32;
    default:
        return 8;
    }
}

DWORD ClampOverlayStretch(DWORD stretch) { return std::min(std::max(stretch, kMinStretch), kMaxStretch); }

WORD BuildHalInfo(DriverBlock *block, DDHALINFO *info, short ignored) {
    (void)ignored;
    if (!block || !info || !CurrentMode(block))
        return 0;
    const DisplayMode &mode = *CurrentMode(block);
    const DWORD bits = mode.bitsPerPixel();
    const DWORD pitch = mode.pitch();
    const DWORD frameBuffer = block->frameBuffer();

    CreateDriverContext(block);

    VIDMEMINFO &vmi = info->vmiData;
    vmi.fpPrimary = frameBuffer;
    vmi.dwFlags = 0;
    vmi.dwDisplayWidth = mode.width();
    vmi.dwDisplayHeight = mode.height();
    vmi.lDisplayPitch = static_cast<LONG>(pitch);
    info->dwMonitorFrequency = 0;

    block->framePeriod() = MeasureFramePeriod();
    block->flipTime() = 0;
    block->flipDone() = 1;
    block->flipSawActive() = 0;
    block->flipSawRetrace() = 0;
    block->flipFromAddress() = 0;

    block->pixelFormat() = DescribeDisplayFormat(vmi.ddpfDisplay, bits, (mode.flags() & kModeFlag565) != 0);

    {
        Mapped16<DDHALMODEINFO> modeInfo(info->lpModeInfo);
        if (modeInfo.p) {
            info->dwModeIndex = 0;
            DescribeMode(*modeInfo.p, mode, info->dwMonitorFrequency);
        }
    }

    vmi.dwOffscreenAlign = vmi.dwOverlayAlign = vmi.dwTextureAlign = vmi.dwZBufferAlign = 8;

    // The off-screen area runs from (heapStartX, heapStartY) to the end of line heapEndY - 1.
    // Its first dword is the white texel; DirectDraw's heap follows it and ends with the area.
    // Without off-screen memory neither is set up.
    const DWORD startY = block->heapStartY(), endY = block->heapEndY();
    const DWORD whiteOffset = block->heapStartX() * block->bytesPerPixel() + startY * pitch;
    const DWORD heapStart = frameBuffer + whiteOffset + 8;
    const DWORD heapEnd = frameBuffer + endY * pitch - 1;
    const bool haveOffscreen = endY > startY && heapStart <= heapEnd;
    block->whiteTexelOffset() = haveOffscreen ? whiteOffset : 0;
    if (haveOffscreen)
        StoreField<uint32_t>(reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(frameBuffer + whiteOffset)), 0xFFFFFFFF);
    block->forceTexClip() = 0;
    {
        float limit;
        std::memcpy(&limit, &kTexCoordLimitBits, sizeof limit);
        block->texCoordLimit() = limit;
    }
    {
        Mapped16<VIDMEM> heaps(vmi.pvmList);
        if (heaps.p && haveOffscreen) {
            heaps.p->dwFlags = VIDMEM_ISLINEAR;
            heaps.p->fpStart = heapStart;
            heaps.p->fpEnd = heapEnd;
            vmi.dwNumHeaps = 1;
        } else {
            vmi.dwNumHeaps = 0;
        }
    }

    DDCORECAPS &caps = info->ddCaps;
    caps.dwCaps = DDCAPS_3D | DDCAPS_BLT | DDCAPS_GDI | DDCAPS_COLORKEY | DDCAPS_BLTCOLORFILL | DDCAPS_BLTDEPTHFILL;
    caps.dwCaps2 = 0;
    caps.dwAlignBoundarySrc = 1;
    caps.dwAlignSizeSrc = bits / 8;
    caps.dwAlignBoundaryDest = 1;
    caps.dwAlignSizeDest = bits / 8;
    caps.dwAlignStrideAlign = 8;
    if (bits != 24)
        caps.dwCKeyCaps = DDCKEYCAPS_SRCBLT;
    std::memcpy(caps.dwRops, kRops, sizeof kRops);
    caps.ddsCaps.dwCaps = 0x42327E;

    Mapped16<DDHAL_DDCALLBACKS> callbacks(info->lpDDCallbacks);
    if (callbacks.p) {
        callbacks.p->dwFlags |= DDHAL_CB32_CREATESURFACE | DDHAL_CB32_SETCOLORKEY |
                                DDHAL_CB32_WAITFORVERTICALBLANK | DDHAL_CB32_CANCREATESURFACE;
        callbacks.p->CreateSurface = CreateSurface;
        callbacks.p->SetColorKey = SetColorKey;
        callbacks.p->WaitForVerticalBlank = WaitForVerticalBlank;
        callbacks.p->CanCreateSurface = CanCreateSurface;
    }
    Mapped16<DDHAL_DDSURFACECALLBACKS> surfaceCallbacks(info->lpDDSurfaceCallbacks);
    if (surfaceCallbacks.p) {
        DDHAL_DDSURFACECALLBACKS &s = *surfaceCallbacks.p;
        s.dwFlags |= DDHAL_SURFCB32_DESTROYSURFACE | DDHAL_SURFCB32_FLIP | DDHAL_SURFCB32_LOCK |
                     DDHAL_SURFCB32_BLT | DDHAL_SURFCB32_ADDATTACHEDSURFACE |
                     DDHAL_SURFCB32_GETBLTSTATUS | DDHAL_SURFCB32_GETFLIPSTATUS;
        s.DestroySurface = DestroySurface;
        s.Flip = Flip;
        s.Lock = Lock;
        s.Blt = Blt;
        s.AddAttachedSurface = AddAttachedSurface;
        s.GetBltStatus = GetBltStatus;
        s.GetFlipStatus = GetFlipStatus;
    }
    info->GetDriverInfo = GetDriverInfo;
    info->dwFlags |= DDHALINFO_GETDRIVERINFOSET;

    if (!(block->hwOptions() & 0x10) && IsOverlayBandwidthOk(block) && block->boardCode() != 2363)
        AnnounceOverlay(block, info, mode, surfaceCallbacks.p);

    return static_cast<WORD>(BuildD3DDriverData(block, &info->lpD3DGlobalDriverData, &info->lpD3DHALCallbacks));
}

DWORD WINAPI GetDriverInfo(DDHAL_GETDRIVERINFODATA *data) {
    data->ddRVal = DDERR_CURRENTLYNOTAVAIL;
    if (data->guidInfo == GUID_D3DCallbacks2) {
        D3DHAL_CALLBACKS2 cb = {};
        DWORD n = std::min<DWORD>(data->dwExpectedSize, sizeof cb);
        cb.dwSize = n;
        cb.dwFlags = D3DHAL2_CB32_SETRENDERTARGET | D3DHAL2_CB32_DRAWONEPRIMITIVE |
                     D3DHAL2_CB32_DRAWONEINDEXEDPRIMITIVE | D3DHAL2_CB32_DRAWPRIMITIVES;
        cb.SetRenderTarget = SetRenderTarget;
        cb.DrawOnePrimitive = DrawOnePrimitive;
        cb.DrawOneIndexedPrimitive = DrawOneIndexedPrimitive;
        cb.DrawPrimitives = DrawPrimitives;
        if (data->lpvData)
            std::memcpy(data->lpvData, &cb, n);
        data->dwActualSize = sizeof cb;
        data->ddRVal = DD_OK;
    } else if (data->guidInfo == GUID_MiscellaneousCallbacks) {
        DDHAL_DDMISCELLANEOUSCALLBACKS cb = {};
        DWORD n = std::min<DWORD>(data->dwExpectedSize, sizeof cb);
        cb.dwSize = n;
        if (data->lpvData)
            std::memcpy(data->lpvData, &cb, n);
        data->dwActualSize = sizeof cb;
        data->ddRVal = DD_OK;
    }
    return DDHAL_DRIVER_HANDLED;
}

// A display without retraces is not measured: its period counts as the wait bound.
DWORD MeasureFramePeriod() {
    if (!WaitForRetraceStart())
        return sivblt::kEngineWaitLimitMs;
    DWORD start = timeGetTime();
    for (int i = 0; i < 100; i++)
        if (!WaitForRetraceStart())
            return sivblt::kEngineWaitLimitMs;
    DWORD elapsed = timeGetTime() - start;
    return elapsed / 100 + 2;
}

bool IsOverlayBandwidthOk(DriverBlock *block) {
    DWORD clock = block->pixelClock();
    switch (block->bytesPerPixel()) {
    case 1:
        return clock <= 12800;
    case 2:
        return clock <= 11000;
    default:
        return clock <= 10500;
    }
}

bool IsOverlayEnabled() { return (ReadCrtc(0x67) & 0x0C) != 0; }

DWORD ReadDisplayStart() {
    DWORD r0C = ReadCrtc(0x0C), r0D = ReadCrtc(0x0D), r69 = ReadCrtc(0x69);
    if (r69)
        return r69 << 16 | r0C << 8 | r0D;
    DWORD r31 = ReadCrtc(0x31), r51 = ReadCrtc(0x51);
    return ((r51 & 3) << 2 | ((r31 >> 4) & 3)) << 16 | r0C << 8 | r0D;
}

void ReadPaletteEntry(DWORD index, DWORD *red, DWORD *green, DWORD *blue) {
    kivOutPort8(0x3C7, static_cast<uint8_t>(index));
    *red = kivInPort8(0x3C9) * 4u;
    *green = kivInPort8(0x3C9) * 4u;
    *blue = kivInPort8(0x3C9) * 4u;
}
