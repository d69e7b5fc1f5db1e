// The overlay: one secondary stream of the streams processor, scaled up and colour-keyed over
// the primary stream, and the colour controls of YUV overlays.
#include "drv/siv/display/overlay.h"
#include "drv/siv/display/blt_engine.h"

using namespace sivblt;

namespace {

// sin(k * 0.1 rad) * 100; angles are in 0.01 rad.
constexpr signed char kSineTable[32] = {0,  10, 20, 30, 39, 48, 56, 64, 71, 78, 84, 89, 93, 96, 98, 99,
                                        99, 99, 97, 95, 90, 86, 81, 75, 68, 60, 52, 43, 33, 24, 14, 4};

// No mode is tuned yet: the first row ends the table, so the defaults apply everywhere.
constexpr OverlayTuningRow kTuningTable[] = {{0, 0, 0, 0, 0, {0, 0, 0, 0, 0}}};
constexpr OverlayScaling kDefaultScaling = {1000, 0, 22018, 0x4040, 0x04080804};
const OverlayTuningRow *g_tuning = kTuningTable;

constexpr DWORD kHiddenBlend = 0x01000000;
constexpr LONG kScaleLimit = 0x7FF;
constexpr DWORD kStrideMax = 0xFFF;

enum : DWORD { kModeNoKey = 0, kModeDestKey = 5, kModeSourceKey = 6 };

DWORD FormatOf(DriverBlock *block, const DDRAWI_DDRAWSURFACE_LCL *s) {
    return s ? SurfacePixelFormat(block, s) : static_cast<DWORD>(block->pixelFormat());
}

// The secondary stream's format code by surface pixel format; 0: no stream format.
DWORD StreamFormat(DWORD pixelFormat) {
    switch (pixelFormat) {
    case 7: return 1;
    case 8: return 4;
    case 2: return 3;
    case 4: return 5;
    case 5: return 6;
    case 6: return 7;
    default: return 0;
    }
}

DWORD Lerp(DWORD a, DWORD b, DWORD at, DWORD from, DWORD to) {
    return static_cast<DWORD>(static_cast<int64_t>(a) +
                              (static_cast<int64_t>(b) - a) * (static_cast<int64_t>(at) - from) / (to - from));
}

// Geometry of an overlay: scaling terms of both directions. Shrinking is not scaled.
struct OverlayGeometry {
    LONG sw, sh, dw, dh;
    LONG k1, k2, hStart, vk1, vk2, vStart;
};

HRESULT ComputeGeometry(const RECTL &src, const RECTL &dst, OverlayGeometry *g) {
    // Extents are taken in 64 bits: an application's rectangle may span more than a LONG holds.
    const int64_t sw = int64_t(src.right) - src.left, sh = int64_t(src.bottom) - src.top;
    const int64_t dw = int64_t(dst.right) - dst.left, dh = int64_t(dst.bottom) - dst.top;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return DDERR_INVALIDRECT;
    // Far beyond any scaling the window can do, and small enough for the terms below.
    constexpr int64_t kLargest = 0x3FFFFFFF;
    if (sw > kLargest || dw > kLargest)
        return DDERR_TOOBIGWIDTH;
    if (sh > kLargest || dh > kLargest)
        return DDERR_TOOBIGHEIGHT;
    g->sw = LONG(sw);
    g->sh = LONG(sh);
    g->dw = LONG(dw);
    g->dh = LONG(dh);
    g->k1 = g->sw - 1;
    g->k2 = g->dw > g->sw ? g->sw - g->dw : 0;
    g->hStart = g->dw > g->sw ? 2 * g->sw - g->dw - 1 : g->sw + 1;
    g->vk1 = g->sh - 1;
    g->vk2 = g->dh > g->sh ? g->sh - g->dh : 0;
    g->vStart = -1 - g->dh;
    if (!WithinHalf(g->k1, kScaleLimit) || !WithinHalf(g->k2, kScaleLimit))
        return DDERR_TOOBIGWIDTH;
    if (!WithinHalf(g->vk1, kScaleLimit) || !WithinHalf(g->vk2, kScaleLimit))
        return DDERR_TOOBIGHEIGHT;
    return DD_OK;
}

// A source rectangle lies inside its surface, where the surface says how large it is.
bool SourceInside(const RECTL &r, const DDRAWI_DDRAWSURFACE_GBL *g) {
    return r.left >= 0 && r.top >= 0 && (!g->wWidth || r.right <= g->wWidth) && (!g->wHeight || r.bottom <= g->wHeight);
}

DDRAWI_DDRAWSURFACE_LCL *&VisibleOverlay() { return Shared().visibleOverlay; }

// The window goes below the screen and the stream stops being composed.
void HideOverlay(DriverBlock *block) {
    if (IsOverlayEnabled()) {
        WaitBetweenFrames(block);
        WriteStream(block, 0x81A0, kHiddenBlend);
        WriteStream(block, 0x81DC, 0);
        WriteStream(block, 0x81F8, 0x10000u | ((CurrentMode(block)->height() + 1u) & 0x7FF));
        WriteStream(block, 0x81FC, 0x000A0002);
        WriteStream(block, 0x81EC, 0x3000);
        WriteStream(block, 0x8200, 0x10400);
    }
    Driver16Fn2(5);
    block->driverFlags() &= ~(kDfYuvOverlay | kDfOverlayOn);
}

DWORD Result(DDHAL_UPDATEOVERLAYDATA *data, HRESULT r) {
    data->ddRVal = r;
    return DDHAL_DRIVER_HANDLED;
}

DWORD WindowStart(LONG x, LONG y) {
    return (static_cast<DWORD>(x + 1) & 0x7FF) << 16 | (static_cast<DWORD>(y + 1) & 0x7FF);
}

}  // namespace

bool WithinHalf(LONG v, LONG limit) { return (v < 0 ? -static_cast<int64_t>(v) : v) <= limit / 2; }

LONG WrapAngle(LONG a) {
    a %= 628;
    if (a > 314)
        a -= 628;
    else if (a < -314)
        a += 628;
    a = a > 314 ? 314 : a < -314 ? -314 : a;
    return a >= 0 ? kSineTable[a / 10] : -kSineTable[-a / 10];
}

LONG CosineOf(LONG a) { return WrapAngle(a + 157); }

const OverlayTuningRow *SetOverlayTuningTable(const OverlayTuningRow *table) {
    const OverlayTuningRow *old = g_tuning;
    g_tuning = table ? table : kTuningTable;
    return old;
}

// The first row whose limits the mode stays within gives the values, interpolated in the pixel
// clock from the row before it.
void ComputeOverlayScaling(DWORD width, DWORD height, DWORD displayBits, DWORD sourceBits, DWORD pixelClock,
                           OverlayScaling *out) {
    *out = kDefaultScaling;
    for (const OverlayTuningRow *row = g_tuning; row->width; row++) {
        if (width > row->width || height > row->height || displayBits > row->displayBits ||
            sourceBits > row->sourceBits || pixelClock > row->pixelClock)
            continue;
        *out = row->values;
        if (row != g_tuning) {
            const OverlayTuningRow &prev = row[-1];
            if (prev.pixelClock < row->pixelClock && pixelClock > prev.pixelClock) {
                const DWORD f = prev.pixelClock, t = row->pixelClock;
                out->minimumStretch = Lerp(prev.values.minimumStretch, row->values.minimumStretch, pixelClock, f, t);
                out->fifo81EC = Lerp(prev.values.fifo81EC, row->values.fifo81EC, pixelClock, f, t);
                out->fifo8200 = Lerp(prev.values.fifo8200, row->values.fifo8200, pixelClock, f, t);
                out->fifo8208 = Lerp(prev.values.fifo8208, row->values.fifo8208, pixelClock, f, t);
                out->fifo820C = Lerp(prev.values.fifo820C, row->values.fifo820C, pixelClock, f, t);
            }
        }
        break;
    }
}

DWORD MinimumOverlayStretch(DWORD width, DWORD height, DWORD displayBits, DWORD sourceBits, DWORD pixelClock) {
    OverlayScaling s;
    ComputeOverlayScaling(width, height, displayBits, sourceBits, pixelClock, &s);
    return static_cast<LONG>(s.minimumStretch) < 0 ? 0 : s.minimumStretch;
}

bool IsOverlayModeOk(DriverBlock *block) {
    const DisplayMode *m = CurrentMode(block);
    const DWORD bits = m->bitsPerPixel();
    const DWORD sh = block->word(kDbOverlayWindow + 4), dh = block->word(kDbOverlayWindow + 12);
    return (bits == 8 || bits == 16) && dh >= 2 * sh && m->width() <= 1152 && m->height() <= 864 &&
           block->pixelClock() <= 10000;
}

void SetOverlayWindow(DriverBlock *block, DWORD *r8190, DWORD *r81E8, DWORD *r8200, DWORD *r8208, DWORD *r820C) {
    const DWORD flags = block->driverFlags();
    const DWORD sw = block->word(kDbOverlayWindow), dw = block->word(kDbOverlayWindow + 8);
    DWORD filter = 0;
    if (flags & kDfOverlay) {
        if (flags & kDfFilter1)
            filter = 1;
        else if (flags & kDfFilter2)
            filter = 2;
        else if (flags & kDfFilter3)
            filter = 3;
        else
            filter = dw >= 4 * sw ? 3 : dw < 2 * sw ? 1 : 2;
    }
    *r8190 = (*r8190 & ~0x70000000u) | filter << 28;
    if ((flags & kDfAltFifo) && IsOverlayModeOk(block)) {
        *r81E8 = (*r81E8 & 0x1FFF) | 0xC000;
        *r8200 = 0xB2CC;
        *r8208 = 0x3030;
        *r820C = 0x02020202;
    } else {
        *r81E8 &= 0x1FFF;
    }
}

bool ColorKeyComponents(DriverBlock *block, const DDRAWI_DDRAWSURFACE_LCL *surface, DWORD key, OverlayColorKey *out) {
    DWORD r = 0, g = 0, b = 0, precision = 7;
    switch (FormatOf(block, surface)) {
    case 1:
        ReadPaletteEntry(key & 0xFF, &r, &g, &b);
        break;
    case 7:
    case 8:
        break;
    case 2:
        r = (key >> 7) & 0xF8, g = (key >> 2) & 0xF8, b = (key & 0x1F) << 3, precision = 4;
        break;
    case 4:
        r = (key >> 8) & 0xF8, g = (key >> 3) & 0xFC, b = (key & 0x1F) << 3, precision = 4;
        break;
    case 5:
    case 6:
        r = (key >> 16) & 0xFF, g = (key >> 8) & 0xFF, b = key & 0xFF;
        break;
    default:
        return false;
    }
    out->upper = (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
    out->control = (precision | 0x10) << 24 | out->upper;
    return true;
}

void OverlaySurfaceGone(DriverBlock *block, DDRAWI_DDRAWSURFACE_LCL *surface) {
    if (surface && VisibleOverlay() == surface) {
        VisibleOverlay() = nullptr;
        HideOverlay(block);
    }
}

DWORD WINAPI UpdateOverlay(DDHAL_UPDATEOVERLAYDATA *data) {
    DriverBlock *block = BlockOf(data->lpDD);
    DDRAWI_DDRAWSURFACE_LCL *src = data->lpDDSrcSurface;
    DDRAWI_DDRAWSURFACE_LCL *&owner = VisibleOverlay();
    data->ddRVal = DDERR_UNSUPPORTED;
    if (!src)
        return Result(data, DDERR_INVALIDPARAMS);
    if (data->dwFlags & DDOVER_HIDE) {
        if (owner == src) {
            owner = nullptr;
            HideOverlay(block);
        }
        return Result(data, DD_OK);
    }
    const bool show = data->dwFlags & DDOVER_SHOW;
    if (!show && owner != src)
        return Result(data, DD_OK);

    // Everything that can refuse the overlay is checked before the overlay changes hands, so a
    // refused show leaves the shown overlay and its owner as they were.
    OverlayGeometry g;
    if (HRESULT r = ComputeGeometry(data->rSrc, data->rDest, &g); r != DD_OK)
        return Result(data, r);
    const DDRAWI_DDRAWSURFACE_GBL *sg = src->lpGbl;
    // The stream starts at the source rectangle's first pixel, which must be the surface's, and
    // steps rows by its 12-bit stride field: a wider pitch would show the wrong rows.
    if (static_cast<DWORD>(sg->lPitch) > kStrideMax)
        return Result(data, DDERR_TOOBIGWIDTH);
    if (!SourceInside(data->rSrc, sg))
        return Result(data, DDERR_INVALIDRECT);
    const DWORD pixelFormat = FormatOf(block, src);
    const DWORD format = StreamFormat(pixelFormat);
    if (!format)
        return Result(data, DDERR_INVALIDPIXELFORMAT);
    // The stream's address registers reach the first 4 MB: an overlay whose first pixel lies past
    // them is not in video memory the overlay can be shown from.
    const DWORD bits = BitsPerPixelOfFormat(pixelFormat);
    const uint64_t sourceOffset = uint64_t{VideoOffset(block, src)} +
                                  uint64_t{static_cast<DWORD>(sg->lPitch)} * static_cast<DWORD>(data->rSrc.top) +
                                  bits / 8 * static_cast<DWORD>(data->rSrc.left);
    if (sourceOffset >= kDisplayReach)
        return Result(data, DDERR_OUTOFVIDEOMEMORY);
    if (show) {
        if (owner && owner != src && !(src->ddsCaps.dwCaps & (DDSCAPS_LIVEVIDEO | DDSCAPS_HWCODEC)))
            return Result(data, DDERR_OUTOFCAPS);
        Driver16Fn2(6);
        if (owner && owner != src)
            owner->ddsCaps.dwCaps &= ~DDSCAPS_VISIBLE;
        owner = src;
    }

    block->driverFlags() &= ~kDfYuvOverlay;
    if (pixelFormat == 7 || pixelFormat == 8)
        block->driverFlags() |= kDfYuvOverlay;

    DWORD mode = kModeNoKey, key = 0;
    const DDRAWI_DDRAWSURFACE_LCL *keyed = src;
    if (data->dwFlags & DDOVER_KEYSRC) {
        mode = kModeSourceKey, key = src->ddckCKSrcOverlay.dwColorSpaceLowValue;
    } else if (data->dwFlags & DDOVER_KEYSRCOVERRIDE) {
        mode = kModeSourceKey, key = data->overlayFX.dckSrcColorkey.dwColorSpaceLowValue;
    } else if (data->dwFlags & DDOVER_KEYDEST) {
        keyed = data->lpDDDestSurface;
        mode = kModeDestKey, key = keyed ? keyed->ddckCKDestOverlay.dwColorSpaceLowValue : 0;
    } else if (data->dwFlags & DDOVER_KEYDESTOVERRIDE) {
        keyed = data->lpDDDestSurface;
        mode = kModeDestKey, key = data->overlayFX.dckDestColorkey.dwColorSpaceLowValue;
    }
    OverlayColorKey ck = {0x17000000, 0};
    ColorKeyComponents(block, keyed, key, &ck);

    block->word(kDbOverlayWindow) = g.sw;
    block->word(kDbOverlayWindow + 4) = g.sh;
    block->word(kDbOverlayWindow + 8) = g.dw;
    block->word(kDbOverlayWindow + 12) = g.dh;

    const DisplayMode *m = CurrentMode(block);
    OverlayScaling s;
    ComputeOverlayScaling(m->width(), m->height(), m->bitsPerPixel(), bits, block->pixelClock(), &s);
    DWORD r8190 = format << 24 | (static_cast<DWORD>(g.hStart) & 0xFFF);
    DWORD r81E8 = static_cast<DWORD>(g.vStart) & 0xFFF;
    DWORD r8200 = s.fifo8200, r8208 = s.fifo8208, r820C = s.fifo820C;
    SetOverlayWindow(block, &r8190, &r81E8, &r8200, &r8208, &r820C);

    if (IsOverlayEnabled()) {
        WaitBetweenFrames(block);
        WriteStream(block, 0x8184, ck.control);
        WriteStream(block, 0x8190, r8190);
        WriteStream(block, 0x8194, ck.upper);
        WriteStream(block, 0x8198, (static_cast<DWORD>(g.k2) & 0x7FF) << 16 | (static_cast<DWORD>(g.k1) & 0x7FF));
        WriteStream(block, 0x81A0, mode << 24);
        WriteStream(block, 0x81D0, static_cast<DWORD>(sourceOffset));
        WriteStream(block, 0x81D4, static_cast<DWORD>(sourceOffset));
        WriteStream(block, 0x81D8, static_cast<DWORD>(sg->lPitch) & kStrideMax);
        WriteStream(block, 0x81DC, 0);
        WriteStream(block, 0x81E0, static_cast<DWORD>(g.vk1) & 0x7FF);
        WriteStream(block, 0x81E4, static_cast<DWORD>(g.vk2) & 0x7FF);
        WriteStream(block, 0x81E8, r81E8);
        WriteStream(block, 0x81EC, s.fifo81EC);
        WriteStream(block, 0x81F8, WindowStart(data->rDest.left, data->rDest.top));
        WriteStream(block, 0x81FC, (static_cast<DWORD>(g.dw - 1) & 0x7FF) << 16 | (static_cast<DWORD>(g.dh) & 0x7FF));
        WriteStream(block, 0x8200, r8200);
        WriteStream(block, 0x8208, r8208);
        WriteStream(block, 0x820C, r820C);
        block->driverFlags() |= kDfOverlayOn;
    }
    return Result(data, DD_OK);
}

// The position counts as the destination rectangle of UpdateOverlay does, so moving the overlay
// to where it was shown leaves it in place.
DWORD WINAPI SetOverlayPosition(DDHAL_SETOVERLAYPOSITIONDATA *data) {
    DriverBlock *block = BlockOf(data->lpDD);
    if (IsOverlayEnabled()) {
        WaitBetweenFrames(block);
        WriteStream(block, 0x81F8, WindowStart(data->lXPos, data->lYPos));
    }
    data->ddRVal = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

DWORD WINAPI SetColorKey(DDHAL_DRVSETCOLORKEYDATA *data) {
    data->ddRVal = DDERR_UNSUPPORTED;
    DDRAWI_DDRAWSURFACE_LCL *s = data->lpDDSurface;
    if (data->dwFlags == DDCKEY_SRCBLT) {
        data->ddRVal = DD_OK;   // blits take the key with each call
        return DDHAL_DRIVER_HANDLED;
    }
    if (!(data->dwFlags & (DDCKEY_DESTOVERLAY | DDCKEY_SRCOVERLAY)) || !s || !s->lpGbl || !s->lpGbl->lpDD)
        return DDHAL_DRIVER_NOTHANDLED;
    DriverBlock *block = BlockOf(s->lpGbl->lpDD);
    OverlayColorKey ck;
    if (!ColorKeyComponents(block, s, data->ckNew.dwColorSpaceLowValue, &ck))
        return DDHAL_DRIVER_NOTHANDLED;
    if (IsOverlayEnabled()) {
        WaitBetweenFrames(block);
        WriteStream(block, 0x8184, ck.control);
        WriteStream(block, 0x8194, ck.upper);
    }
    data->ddRVal = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

DWORD ApplyOverlayOptions(DriverBlock *block) {
    DWORD r8190 = block->word(ShadowOf(0x8190)), r81E8 = block->word(ShadowOf(0x81E8));
    const DisplayMode *m = CurrentMode(block);
    const DWORD bits = BitsPerPixelOfFormat(block->pixelFormat());
    OverlayScaling s;
    ComputeOverlayScaling(m->width(), m->height(), bits, bits, block->pixelClock(), &s);
    DWORD r8200 = s.fifo8200, r8208 = s.fifo8208, r820C = s.fifo820C;
    SetOverlayWindow(block, &r8190, &r81E8, &r8200, &r8208, &r820C);
    if (IsOverlayEnabled()) {
        WaitBetweenFrames(block);
        WriteStream(block, 0x8190, r8190);
        WriteStream(block, 0x81E8, r81E8);
        WriteStream(block, 0x81EC, s.fifo81EC);
        WriteStream(block, 0x8200, r8200);
        WriteStream(block, 0x8208, r8208);
        WriteStream(block, 0x820C, r820C);
    }
    return 1;
}

DWORD ApplyColorControls(DriverBlock *block) {
    const DWORD flags = block->driverFlags();
    DWORD v = 0;
    if ((flags & kDfBrightContrast) && (flags & kDfYuvOverlay)) {
        const LONG brightness = static_cast<LONG>(block->brightness()) * 31 / 9999;
        const LONG contrast = (static_cast<LONG>(block->contrast()) - 5000) * 128 / 5000;
        v = 0x8000 | (static_cast<DWORD>(brightness) & 0x1F) << 8 | (static_cast<DWORD>(contrast) & 0xFF);
    }
    if ((flags & kDfSatHue) && (flags & kDfYuvOverlay)) {
        const LONG s = static_cast<LONG>(block->saturation() / 100), h = static_cast<LONG>(block->hue() / 100);
        auto term = [s](LONG trig) {
            LONG k = (1600 * s * trig / 10000) / 100;
            return k < -15 ? -15 : k > 15 ? 15 : k;
        };
        const LONG kc = term(CosineOf(h)), ks = term(WrapAngle(h));
        v |= 0x80000000u | (static_cast<DWORD>(ks) & 0x1F) << 24 | (static_cast<DWORD>(kc) & 0x1F) << 16;
    }
    if (IsOverlayEnabled()) {
        WaitIdle(block);
        WriteStream(block, 0x819C, v);
    }
    return 1;
}
