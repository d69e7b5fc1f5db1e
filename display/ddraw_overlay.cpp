// The video overlay: a packed YUV image scanned from video memory through two buffers, scaled
// onto a screen rectangle and keyed against a destination colour.
#include "display/ddraw_overlay.h"

#include "display/ddraw_blt.h"
#include "display/fifo.h"

#include <algorithm>
#include <initializer_list>

ZK_OVERLAY_STATE g_zkOverlay;

namespace {

constexpr uint32_t kUyvy = ZK_FOURCC('U', 'Y', 'V', 'Y'), kYuy2 = ZK_FOURCC('Y', 'U', 'Y', '2'),
                   kYv12 = ZK_FOURCC('Y', 'V', '1', '2'), k420i = ZK_FOURCC('4', '2', '0', 'i'),
                   kIf09 = ZK_FOURCC('I', 'F', '0', '9'), kYvu9 = ZK_FOURCC('Y', 'V', 'U', '9'),
                   kIv32 = ZK_FOURCC('I', 'V', '3', '2'), kIv31 = ZK_FOURCC('I', 'V', '3', '1');
constexpr uint32_t kBuffers = 0x80023F90, kScaler = 0x80023FA0, kWindow = 0x80023FB0, kDefault = 0xA0001;
constexpr unsigned kSub = 1;
// Methods: window 0x308 point, 0x30C size (0 hides), 0x304 key; scaler 0x308 point, 0x300/0x304
// steps; buffer b's offset, pitch, size, format and start from 0x310 + 20 b.
constexpr uint16_t kWinPoint = 0x308, kWinSize = 0x30C, kWinKey = 0x304, kScalePoint = 0x308, kStepX = 0x300,
                   kStepY = 0x304;
constexpr uint16_t bufferMethod(ULONG b, unsigned i) { return static_cast<uint16_t>(0x310 + 20 * b + 4 * i); }
enum { kOffset, kPitch, kSize, kFormat, kStart };

ZK_PDEV *ppdevOf(ZK_DD_DIRECTDRAW_GLOBAL *lpDD) { return reinterpret_cast<ZK_PDEV *>(lpDD->dhpdev); }

DWORD dwDone(HRESULT_DD *pr, HRESULT_DD r) {
    *pr = r;
    return ZK_DDHAL_HANDLED;
}

bool bOverlayCode(uint32_t c) {
    for (uint32_t k : {kUyvy, kYuy2, kYv12, k420i, kIf09, kYvu9, kIv32, kIv31})
        if (c == k) return true;
    return false;
}

// Overlays lie in video memory: their sizes hold in 32 bits.
ULONG ulPackedPitch(ULONG w) { return static_cast<ULONG>(ullPackedPitch(w)); }
bool bPlanar9(uint32_t c) { return c == kIf09 || c == kYvu9 || c == kIv32 || c == kIv31; }

// Where the overlay scans a surface: packed codes in place, the others in their packed copy.
struct Scan {
    ULONG address, pitch;
};
Scan scanOf(const ZK_PDEV *ppdev, const ZK_DD_SURFACE_GLOBAL *g) {
    const uint32_t code = g->ddpfSurface.dwFourCC;
    const ULONG fp = g->fpVidMem, w = g->wWidth, h = g->wHeight;
    if (code == kUyvy || code == kYuy2) return {fp, static_cast<ULONG>(g->lPitch)};
    if (code == kYv12 || code == k420i) {
        const ULONG pk = fp == ppdev->fpPlanarBlock    ? ppdev->fpPackedFirst
                         : fp == ppdev->fpPlanarSecond ? ppdev->fpPackedSecond
                                                       : ppdev->fpPackedOther;
        return {pk, ulPackedPitch(w)};
    }
    return {fp + static_cast<ULONG>(ullPlanar9Bytes(w, h)), ulPackedPitch(w)};
}

uint32_t formatWord(const ZK_DD_SURFACE_GLOBAL *g) {
    return g->ddpfSurface.dwFourCC == kUyvy ? 0x00020001u : 0x00020000u;
}

bool bRegistered(const ZK_PDEV *ppdev, const ZK_DD_SURFACE_LOCAL *lcl) {
    for (void *slot : ppdev->apOverlaySurface)
        if (slot == lcl) return true;
    return false;
}

void vBind(ZK_PDEV *ppdev, unsigned sub, uint32_t object) { vPut(ppdev, sub, 0, object); }

void vBuffer(ZK_PDEV *ppdev, unsigned sub, ULONG b, uint32_t offset, uint32_t pitch, uint32_t size, uint32_t format) {
    vPut(ppdev, sub, bufferMethod(b, kOffset), offset);
    vPut(ppdev, sub, bufferMethod(b, kPitch), pitch);
    vPut(ppdev, sub, bufferMethod(b, kSize), size);
    vPut(ppdev, sub, bufferMethod(b, kFormat), format);
}

LONG width(const RECTL &r) { return r.right - r.left; }
LONG height(const RECTL &r) { return r.bottom - r.top; }

}  // namespace

DWORD APIENTRY DdUpdateOverlay(ZK_DD_UPDATEOVERLAYDATA *p) {
    ZK_PDEV *ppdev = ppdevOf(p->lpDD);
    ZK_DD_SURFACE_LOCAL *lcl = p->lpDDSrcSurface;
    const ZK_DD_SURFACE_GLOBAL *g = lcl->lpGbl;
    if (!(g->ddpfSurface.dwFlags & ZK_DDPF_FOURCC) || !bOverlayCode(g->ddpfSurface.dwFourCC))
        return dwDone(&p->ddRVal, ZK_DDERR_INVALIDSURFACETYPE);
    if (!(lcl->ddsCaps.dwCaps & ZK_DDSCAPS_OVERLAY)) return dwDone(&p->ddRVal, ZK_DDERR_NOTAOVERLAYSURFACE);
    if (!bRegistered(ppdev, lcl)) return dwDone(&p->ddRVal, ZK_DDERR_OUTOFCAPS);
    if (!ppdev->fifo) return dwDone(&p->ddRVal, ZK_DDERR_SURFACELOST);

    ppdev->iOverlayBuffer ^= 1;
    const ULONG b = ppdev->iOverlayBuffer;
    DdEngineLock lock(ppdev);
    const uint32_t format = formatWord(g);
    if (p->dwFlags & ZK_DDOVER_HIDE) {
        vReserve(ppdev, kSub, 48);
        vBind(ppdev, kSub, kWindow);
        vPut(ppdev, kSub, kWinSize, 0);
        vBind(ppdev, kSub, kBuffers);
        vBuffer(ppdev, kSub, b, 0, 0, 0, format);
        vPut(ppdev, kSub, bufferMethod(b, kStart), 0);
        vBind(ppdev, kSub, kDefault);
        ppdev->bOverlayVisible = 0;
        g_zkOverlay.srcHeight = g_zkOverlay.dstHeight = 0;
        return dwDone(&p->ddRVal, ZK_DD_OK);
    }
    if (p->dwFlags & (ZK_DDOVER_KEYSRC | ZK_DDOVER_KEYSRCOVERRIDE)) return dwDone(&p->ddRVal, ZK_DDERR_NOCOLORKEYHW);
    if (p->rDest.left < 0 || p->rDest.top < 0) return dwDone(&p->ddRVal, ZK_DDERR_INVALIDPOSITION);
    // An empty or inverted rectangle would give the scaler negative steps and the buffer a
    // window outside the surface; the overlay cannot be clipped, so it stays on the screen.
    ZK_DD_SURFACE_GLOBAL screen{};
    screen.wWidth = ppdev->cxScreen;
    screen.wHeight = ppdev->cyScreen;
    if (!bRectWithin(p->rSrc, g) || !bRectWithin(p->rDest, &screen)) return dwDone(&p->ddRVal, ZK_DDERR_INVALIDRECT);
    const LONG sw = width(p->rSrc), sh = height(p->rSrc), dw = width(p->rDest), dh = height(p->rDest);
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return dwDone(&p->ddRVal, ZK_DDERR_INVALIDRECT);
    g_zkOverlay.srcHeight = static_cast<ULONG>(sh);
    g_zkOverlay.dstHeight = static_cast<ULONG>(dh);
    // Shrinking vertically the overlay takes every other source line; it cannot shrink further.
    const bool halve = dh < sh;
    const LONG shUsed = halve ? sh / 2 : sh;
    if (dh < shUsed) return dwDone(&p->ddRVal, ZK_DDERR_UNSUPPORTED);
    const LONG dw2 = (dw + 2) & ~1, dh2 = (dh + 2) & ~1;
    // In 64 bits: a source wider than 32K pixels would overflow the shifted width.
    auto step = [](LONG s, LONG d) { return static_cast<uint32_t>(((static_cast<uint64_t>(s - 1) << 16) / static_cast<uint64_t>(d - 1)) << 4); };
    const uint32_t xStep = step(sw, dw2), yStep = step(shUsed, dh2);

    vReserve(ppdev, kSub, 60);
    ppdev->overlayNotifier.status = 0xFF;
    const uint32_t point = ulPoint(p->rDest.left, p->rDest.top);
    vBind(ppdev, kSub, kScaler);
    vPut(ppdev, kSub, kScalePoint, point);
    vPut(ppdev, kSub, kStepX, xStep);
    vPut(ppdev, kSub, kStepY, yStep);
    uint32_t key = 0;
    if (p->dwFlags & ZK_DDOVER_KEYDESTOVERRIDE) key = p->overlayFX.dckDestColorkey.dwColorSpaceLowValue | ppdev->alphaBits;
    else if (p->dwFlags & ZK_DDOVER_KEYDEST) key = lcl->ddckCKDestOverlay.dwColorSpaceLowValue | ppdev->alphaBits;
    const Scan scan = scanOf(ppdev, g);
    // The buffer starts on a whole pixel pair: from an odd pixel the overlay would take the
    // second luma as the first and the chroma of two pairs.
    const LONG left = p->rSrc.left & ~1;
    g_zkOverlay.srcLeft = left;
    g_zkOverlay.srcTop = p->rSrc.top;
    g_zkOverlay.srcWidth = static_cast<ULONG>(sw);
    g_zkOverlay.scanHeight = static_cast<ULONG>(shUsed);
    vBind(ppdev, kSub, kBuffers);
    vBuffer(ppdev, kSub, b, scan.address + static_cast<ULONG>(p->rSrc.top) * scan.pitch + static_cast<ULONG>(left) * 2,
            halve ? 2 * scan.pitch : scan.pitch, ulSize(sw, shUsed), format);
    vPut(ppdev, kSub, bufferMethod(b, kStart), 0);
    vBind(ppdev, kSub, kWindow);
    vPut(ppdev, kSub, kWinPoint, point);
    vPut(ppdev, kSub, kWinSize, ulSize(dw2, dh2));
    vPut(ppdev, kSub, kWinKey, key);
    ppdev->bOverlayVisible = 1;
    vBind(ppdev, kSub, kDefault);
    return dwDone(&p->ddRVal, ZK_DD_OK);
}

DWORD APIENTRY DdSetOverlayPosition(ZK_DD_SETOVERLAYPOSITIONDATA *p) {
    ZK_PDEV *ppdev = ppdevOf(p->lpDD);
    const ZK_DD_SURFACE_LOCAL *lcl = p->lpDDSrcSurface;
    if (!(lcl->ddsCaps.dwCaps & ZK_DDSCAPS_OVERLAY)) return dwDone(&p->ddRVal, ZK_DDERR_NOTAOVERLAYSURFACE);
    if (p->lXPos < 0 || p->lYPos < 0) return dwDone(&p->ddRVal, ZK_DDERR_INVALIDPOSITION);
    if (!bRegistered(ppdev, lcl)) return dwDone(&p->ddRVal, ZK_DDERR_OUTOFCAPS);
    if (!ppdev->fifo) return dwDone(&p->ddRVal, ZK_DDERR_SURFACELOST);
    DdEngineLock lock(ppdev);
    const uint32_t point = ulPoint(p->lXPos, p->lYPos);
    vReserve(ppdev, kSub, 20);
    vBind(ppdev, kSub, kWindow);
    vPut(ppdev, kSub, kWinPoint, point);
    vBind(ppdev, kSub, kScaler);
    vPut(ppdev, kSub, kScalePoint, point);
    vBind(ppdev, kSub, kDefault);
    return dwDone(&p->ddRVal, ZK_DD_OK);
}

void vSwitchOffOverlay(ZK_PDEV *ppdev) {
    if (!ppdev->fifo) return;
    DdEngineLock lock(ppdev);
    ppdev->bOverlayVisible = 0;
    // A later flip must not show buffers of the overlay that went.
    g_zkOverlay.srcHeight = g_zkOverlay.dstHeight = 0;
    vReserve(ppdev, kSub, 24);
    vBind(ppdev, kSub, kWindow);
    vPut(ppdev, kSub, kWinSize, 0);
    vBind(ppdev, kSub, kBuffers);
    vPut(ppdev, kSub, bufferMethod(0, kSize), 0);
    vPut(ppdev, kSub, bufferMethod(0, kStart), 0);
    vBind(ppdev, kSub, kDefault);
}

void vFlipOverlay(ZK_PDEV *ppdev, ZK_DD_SURFACE_LOCAL *lpSurfCurr, ZK_DD_SURFACE_LOCAL *lpSurfTarg) {
    const ZK_DD_SURFACE_GLOBAL *t = lpSurfTarg->lpGbl;
    g_zkFlip.fpOverlayFlipFrom = lpSurfCurr->lpGbl->fpVidMem;
    g_zkFlip.bOverlayFlipPending = 1;
    ppdev->overlayNotifier.status = 0xFF;
    const Scan scan = scanOf(ppdev, t);
    const uint32_t offset = scan.address + static_cast<ULONG>(g_zkOverlay.srcTop) * scan.pitch +
                            static_cast<ULONG>(g_zkOverlay.srcLeft) * 2;
    ppdev->iOverlayBuffer ^= 1;
    const ULONG b = ppdev->iOverlayBuffer;
    constexpr unsigned sub = 7;
    vReserve(ppdev, sub, 4 + 4 * 4 + 4 * 4 + 4);
    if (ppdev->subchannel7Object != kBuffers) {
        vBind(ppdev, sub, kBuffers);
        ppdev->subchannel7Object = kBuffers;
    }
    // The target is scanned through the window the overlay was shown with: its whole size from
    // the window's origin would run past the end of the surface.
    uint32_t pitch = scan.pitch, size = ulSize(static_cast<LONG>(g_zkOverlay.srcWidth), static_cast<LONG>(g_zkOverlay.scanHeight));
    if (g_zkOverlay.srcHeight == 0 && g_zkOverlay.dstHeight == 0) {
        pitch = size = 0;
    } else if (g_zkOverlay.dstHeight < g_zkOverlay.srcHeight) {
        pitch = 2 * scan.pitch;
    }
    const uint32_t format = formatWord(t);
    vBuffer(ppdev, sub, b, offset, pitch, size, format);
    vPut(ppdev, sub, bufferMethod(b ^ 1, kOffset), offset);
    vPut(ppdev, sub, bufferMethod(b ^ 1, kPitch), 0);
    vPut(ppdev, sub, bufferMethod(b ^ 1, kSize), 0);
    vPut(ppdev, sub, bufferMethod(b, kStart), 0);
}

namespace {

constexpr uint32_t kConverter = 0x80023FE0;
constexpr unsigned kConvertSub = 7;

// One engine transfer: `count` bytes per line taken every `stepIn` bytes and put every
// `stepOut` bytes, over `lines` lines.
struct Transfer {
    ULONG from, to, pitchIn, pitchOut, count, lines;
    uint32_t format;
};

// Up to four bytes of a row as one dword, first byte in bits 0-7 (nothing read past the row).
uint32_t ulWord(const uint8_t *p, ULONG n) {
    uint32_t v = 0;
    for (ULONG i = 0; i < n; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

void vTransfer(ZK_PDEV *ppdev, const Transfer &t) {
    vBind(ppdev, kConvertSub, kConverter);
    vPut(ppdev, kConvertSub, ZK_M2M_OFFSET_IN, t.from);
    vPut(ppdev, kConvertSub, ZK_M2M_OFFSET_OUT, t.to);
    vPut(ppdev, kConvertSub, ZK_M2M_PITCH_IN, t.pitchIn);
    vPut(ppdev, kConvertSub, ZK_M2M_PITCH_OUT, t.pitchOut);
    vPut(ppdev, kConvertSub, ZK_M2M_LINE_LENGTH, t.count);
    vPut(ppdev, kConvertSub, ZK_M2M_LINE_COUNT, t.lines);
    vPut(ppdev, kConvertSub, ZK_M2M_FORMAT, t.format);
    vPut(ppdev, kConvertSub, ZK_M2M_NOTIFY, 0);
}

// The 4x4-subsampled codes (Y plane, then the V and U planes of a quarter the width and height)
// become the YUY2 copy on the engine: each chroma plane is stretched 8 times across (one chroma
// byte per 4 pixels of 2 bytes) and 4 times down by the stretched-image object into an 8-bit
// view of the packed copy, a mono pattern letting through only the bytes of its kind (V at
// +3, U at +1 of every 4) and keeping the others; then the Y plane goes into the even bytes.
void vConvertPlanar9(ZK_PDEV *ppdev, const ZK_DD_SURFACE_GLOBAL *g) {
    const ULONG fp = g->fpVidMem, w = g->wWidth, h = g->wHeight;
    const ULONG W4 = (w + 3) & ~3u, H4 = (h + 3) & ~3u, P = ulPackedPitch(w);
    const ULONG CW = (w + 3) >> 2, CH = (h + 3) >> 2, CW4 = (CW + 3) & ~3u;
    const ULONG pk = scanOf(ppdev, g).address;
    const uint8_t *plane = ppdev->frameBuffer + fp + W4 * H4;
    DdEngineLock lock(ppdev);
    const uint32_t screenFormat = ppdev->cBitsPerPel == 8 ? 0x01010000u : ppdev->cBitsPerPel == 16 ? 0x01000000u : 1u;
    vReserve(ppdev, kConvertSub, 12);
    // P ? S : D: the pattern's 1 bits take the chroma, the 0 bits keep what the other plane put.
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, 0xCA);
    if (ppdev->subchannel7Object != ZK_OBJ_DST_SURFACE) {
        vBind(ppdev, kConvertSub, ZK_OBJ_DST_SURFACE);
        ppdev->subchannel7Object = ZK_OBJ_DST_SURFACE;
    }
    vPut(ppdev, kConvertSub, 0x300, 0x01010000);   // 8-bit pixels
    ppdev->dstOffset = ppdev->dstPitch = 0xFFFFFFFF;
    vSetDestinationSurface(ppdev, pk, P);
    for (const uint32_t bits : {0x11111111u, 0x44444444u}) {
        vReserve(ppdev, kConvertSub, 64);
        vBind(ppdev, kConvertSub, ZK_OBJ_PATTERN);
        vPut(ppdev, kConvertSub, ZK_PAT_SHAPE, 0);   // 8 x 8 mono
        vPut(ppdev, kConvertSub, ZK_PAT_COLOR1, 0xFFFFFFFF);
        vPut(ppdev, kConvertSub, ZK_PAT_COLOR0, 0);
        vPut(ppdev, kConvertSub, ZK_PAT_BITS0, bits);
        vPut(ppdev, kConvertSub, ZK_PAT_BITS1, bits);
        vBind(ppdev, kConvertSub, ZK_OBJ_STRETCH_8BIT_FROM_CPU);
        // Rows go as whole dwords (the last one completed from the row's own bytes), so that no
        // row starts inside the one before.
        vPut(ppdev, kConvertSub, 0x304, CH << 16 | CW4);
        vPut(ppdev, kConvertSub, 0x310, 0);
        vPut(ppdev, kConvertSub, 0x314, h << 16 | ((2 * W4) & 0xFFFF));
        vPut(ppdev, kConvertSub, 0x308, 0x800000);
        vPut(ppdev, kConvertSub, 0x30C, 0x400000);
        vPut(ppdev, kConvertSub, 0x318, 0);
        for (ULONG line = 0; line < CH; ++line, plane += CW) {
            ULONG left = CW;
            const uint8_t *q = plane;
            for (; left >= 16; left -= 16, q += 16) {
                vReserve(ppdev, kConvertSub, 16);
                for (unsigned i = 0; i < 4; ++i) vPut(ppdev, kConvertSub, static_cast<uint16_t>(0x400 + 4 * i), ulWord(q + 4 * i, 4));
            }
            for (; left; left -= std::min<ULONG>(left, 4), q += 4) {
                vReserve(ppdev, kConvertSub, 4);
                vPut(ppdev, kConvertSub, 0x400, ulWord(q, std::min<ULONG>(left, 4)));
            }
        }
    }
    vReserve(ppdev, kConvertSub, 20);
    vBind(ppdev, kConvertSub, ZK_OBJ_PATTERN);
    vPut(ppdev, kConvertSub, ZK_PAT_SHAPE, 1);
    vPut(ppdev, kConvertSub, ZK_PAT_COLOR0, 0xFF00);
    vBind(ppdev, kConvertSub, ZK_OBJ_DST_SURFACE);
    vPut(ppdev, kConvertSub, 0x300, screenFormat);
    vReserve(ppdev, kConvertSub, 36);
    vTransfer(ppdev, {fp, pk, W4, P, W4, h, 0x201});
    ppdev->subchannel7Object = 0;
}

}  // namespace

// YV12 and 420i become the YUY2 copy the overlay scans: the two chroma planes go into the odd
// bytes of every other packed line (V at +3, U at +1), the Y plane into the even bytes of
// every line, and each even line's chroma is then repeated on the line below. The 4x4
// subsampled codes go through the engine's stretch (vConvertPlanar9).
void vConvertPlanarOverlay(ZK_PDEV *ppdev, ZK_DD_SURFACE_LOCAL *lcl) {
    const ZK_DD_SURFACE_GLOBAL *g = lcl->lpGbl;
    const uint32_t code = g->ddpfSurface.dwFourCC;
    if (!(g->ddpfSurface.dwFlags & ZK_DDPF_FOURCC) || !ppdev->fifo) return;
    if (bPlanar9(code)) {
        vConvertPlanar9(ppdev, g);
        return;
    }
    if (code != kYv12 && code != k420i) return;
    // OpenGL clients' command buffers feed the same engine: the conversion takes it like every
    // other engine user.
    DdEngineLock lock(ppdev);
    const ULONG fp = g->fpVidMem, w = g->wWidth, h = g->wHeight;
    const ULONG W4 = (w + 3) & ~3u, H2 = (h + 1) & ~1u, P = ulPackedPitch(w), CH = (h + 1) >> 1;
    const ULONG pk = scanOf(ppdev, g).address;
    ULONG c1, c2, yPitch, cPitch;
    if (code == kYv12) {
        yPitch = W4;
        c1 = fp + W4 * H2;
        c2 = c1 + (W4 * H2) / 4;
        cPitch = W4 / 2;
    } else {   // per line pair: Y line, half a chroma line, Y line, half a chroma line
        yPitch = W4 + W4 / 2;
        c1 = fp + W4;
        c2 = c1 + W4 + W4 / 2;
        cPitch = 3 * W4;
    }
    vReserve(ppdev, kConvertSub, 72);
    vTransfer(ppdev, {c1, pk + 3, cPitch, 2 * P, W4 / 2, CH, 0x401});
    vTransfer(ppdev, {c2, pk + 1, cPitch, 2 * P, W4 / 2, CH, 0x401});
    vReserve(ppdev, kConvertSub, 72);
    vTransfer(ppdev, {fp, pk, yPitch, P, W4, h, 0x201});
    vTransfer(ppdev, {pk + 1, pk + P + 1, 2 * P, 2 * P, P / 2, h / 2, 0x202});
    ppdev->subchannel7Object = 0;
}
