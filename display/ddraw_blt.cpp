// DirectDraw blits on the engine: fills, the constant and pattern ROPs, copies between
// video-memory surfaces and uploads of other sources, with source colour keying; stretches fed
// by the CPU or read by the engine's scaler, which also converts YUY2 and UYVY sources.
#include "display/ddraw_blt.h"

#include <algorithm>
#include <cstring>

#include "display/blt.h"
#include "display/fifo.h"
#include "display/heap.h"

namespace {

constexpr uint32_t kUyvy = ZK_FOURCC('U', 'Y', 'V', 'Y'), kYuy2 = ZK_FOURCC('Y', 'U', 'Y', '2');
constexpr uint32_t kKeyObject = ZK_OBJ_COLOR_KEY;

ZK_PDEV *ppdevOf(ZK_DD_BLTDATA *p) { return reinterpret_cast<ZK_PDEV *>(p->lpDD->dhpdev); }

DWORD dwDone(ZK_DD_BLTDATA *p, HRESULT_DD r) {
    p->ddRVal = r;
    return ZK_DDHAL_HANDLED;
}

LONG width(const RECTL &r) { return r.right - r.left; }
LONG height(const RECTL &r) { return r.bottom - r.top; }

// What sets the three screen depths apart.
template <unsigned Bpp> struct Depth;
template <> struct Depth<8> {
    static constexpr uint32_t keyBits = 0xFF00, alignMask = 3;  // pixels of a dword
    static constexpr bool capsFirst = false, clipUpload = true;
    static constexpr DWORD rMask = 0, gMask = 0, bMask = 0;
    static constexpr bool yuv = false;
};
template <> struct Depth<16> {
    static constexpr uint32_t keyBits = 0x8000, alignMask = 1;
    static constexpr bool capsFirst = true, clipUpload = true;
    static constexpr DWORD rMask = 0x7C00, gMask = 0x03E0, bMask = 0x001F;
    static constexpr bool yuv = true;
};
template <> struct Depth<32> {
    static constexpr uint32_t keyBits = 0xFF000000u, alignMask = 0;
    static constexpr bool capsFirst = false, clipUpload = false;
    static constexpr DWORD rMask = 0xFF0000, gMask = 0xFF00, bMask = 0xFF;
    static constexpr bool yuv = true;
};

void vSetDestination(ZK_PDEV *ppdev, const ZK_DD_SURFACE_LOCAL *lcl) {
    vSetDestinationSurface(ppdev, lcl->lpGbl->fpVidMem, static_cast<uint32_t>(lcl->lpGbl->lPitch));
}

// A solid rectangle of `color` with `rop3` over rDest.
void vSolid(ZK_PDEV *ppdev, ZK_DD_BLTDATA *p, uint32_t rop3, uint32_t color) {
    vSetDestination(ppdev, p->lpDDDestSurface);
    vReserve(ppdev, ZK_SUB_MONO, 16);
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop3);
    vPut(ppdev, ZK_SUB_MONO, ZK_MONO_A_COLOR, color);
    vPut(ppdev, ZK_SUB_MONO, ZK_MONO_A_POINT, static_cast<uint32_t>(p->rDest.left) << 16 | (p->rDest.top & 0xFFFF));
    vPut(ppdev, ZK_SUB_MONO, ZK_MONO_A_SIZE,
         static_cast<uint32_t>(width(p->rDest)) << 16 | (height(p->rDest) & 0xFFFF));
}

void vSourceKey(ZK_PDEV *ppdev, uint32_t value) {
    vReserve(ppdev, ZK_SUB_SURFACE, 8);
    if (ppdev->subchannel7Object != kKeyObject) {
        vPut(ppdev, ZK_SUB_SURFACE, 0, kKeyObject);
        ppdev->subchannel7Object = kKeyObject;
    }
    vPut(ppdev, ZK_SUB_SURFACE, 0x304, value);
}

// Bytes from a source's first pixel to pixel (x, y) of it, x and y inside it: worked out in 64
// bits, which the source's block (checked before any blit reads it) holds.
size_t cjSourceOffset(const ZK_DD_SURFACE_GLOBAL *s, LONG y, LONG x, ULONG pixelBytes) {
    return static_cast<size_t>(uint64_t{static_cast<ULONG>(y)} * static_cast<ULONG>(s->lPitch) +
                               uint64_t{static_cast<ULONG>(x)} * pixelBytes);
}

// The source read by the CPU and fed to the image object, line by line (bottom up when mirrored).
template <unsigned Bpp> void vUpload(ZK_PDEV *ppdev, ZK_DD_BLTDATA *p, uint32_t rop3, bool mirror, bool video) {
    constexpr uint32_t bytes = Bpp / 8;
    const ZK_DD_SURFACE_GLOBAL *s = p->lpDDSrcSurface->lpGbl;
    const LONG w = width(p->rDest), h = height(p->rDest);
    const uint32_t a = static_cast<uint32_t>(p->rSrc.left) & Depth<Bpp>::alignMask;
    const uint32_t n = static_cast<uint32_t>(w) + a;
    const uint32_t line = (n * bytes + 3) & ~3u;
    const uint8_t *base = video ? ppdev->frameBuffer + s->fpVidMem
                                : reinterpret_cast<const uint8_t *>(static_cast<uintptr_t>(s->fpVidMem));
    const LONG firstLine = mirror ? p->rSrc.bottom - 1 : p->rSrc.top;
    const uint8_t *src = base + cjSourceOffset(s, firstLine, p->rSrc.left - static_cast<LONG>(a), bytes);
    vSetDestination(ppdev, p->lpDDDestSurface);
    if (Depth<Bpp>::clipUpload) {
        // The clip hides the pixels fed in front of a source that does not start on a dword.
        vReserve(ppdev, ZK_SUB_CLIP, 24);
        vPut(ppdev, ZK_SUB_CLIP, ZK_CLIP_POINT, ulPoint(p->rDest.left, p->rDest.top));
        vPut(ppdev, ZK_SUB_CLIP, ZK_CLIP_SIZE, ulSize(w, h));
    } else {
        vReserve(ppdev, ZK_SUB_IMAGE, 16);
    }
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop3);
    vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_POINT, ulPoint(p->rDest.left - static_cast<LONG>(a), p->rDest.top));
    vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_SIZE_OUT, ulSize(static_cast<LONG>(n), h));
    vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_SIZE_IN, ulSize(static_cast<LONG>(line / bytes), h));
    // Only the line's own bytes are read: the last dword is completed without reading past it.
    vPushImageRows(ppdev, n * bytes, static_cast<ULONG>(h), src, mirror ? -s->lPitch : s->lPitch);
    // The narrowed clip goes back to the whole of video memory at once: not every later user
    // of the clip object (the drawing code's copies among them) sets it first.
    if (Depth<Bpp>::clipUpload) {
        ppdev->bResetClip = 1;
        vResetClip(ppdev);
    }
}

// ---- stretches ---------------------------------------------------------------------------------------

constexpr ULONG kHalf = 0x4000;   // the staging buffer's two halves

uint32_t ulLoad(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Binds `object` in subchannel 7 unless it is there already.
void vBind7(ZK_PDEV *ppdev, uint32_t object) {
    if (ppdev->subchannel7Object == object) return;
    vReserve(ppdev, ZK_SUB_SURFACE, 4);
    vPut(ppdev, ZK_SUB_SURFACE, 0, object);
    ppdev->subchannel7Object = object;
}

// One row of data dwords to methods 0x400 onward of subchannel 7: 16-dword bursts, then 8, then
// single dwords, each burst after waiting for its room.
void vPushRow7(ZK_PDEV *ppdev, const uint8_t *p, ULONG dwords) {
    for (ULONG burst : {16u, 8u, 1u})
        for (; dwords >= burst; dwords -= burst) {
            vReserve(ppdev, ZK_SUB_SURFACE, 4 * burst);
            for (ULONG i = 0; i < burst; ++i, p += 4)
                vPut(ppdev, ZK_SUB_SURFACE, static_cast<uint16_t>(0x400 + 4 * i), ulLoad(p));
        }
}

// The CPU's view of a source surface's pixels.
const uint8_t *pSourceBits(ZK_PDEV *ppdev, const ZK_DD_SURFACE_GLOBAL *s, bool video) {
    return video ? ppdev->frameBuffer + s->fpVidMem : reinterpret_cast<const uint8_t *>(static_cast<uintptr_t>(s->fpVidMem));
}

// Bounded: past the limit the chip counts as stalled and the blit reports it.
void vAwait(ZK_PDEV *ppdev, const ZK_NOTIFIER &n) { bAwaitNotifier(ppdev, n.status); }

// A destination-per-source scale in 12.20, rounded up (when the division leaves a remainder)
// so that the source never runs out before the destination.
uint32_t ulScaleOf(LONG d, LONG s) {
    const uint64_t q = (static_cast<uint64_t>(d) << 20) / static_cast<uint64_t>(s);
    const uint64_t c = ((static_cast<uint64_t>(d) << 20) % static_cast<uint64_t>(s)) ? (q >> 20) + 1 : 0;
    return static_cast<uint32_t>(((static_cast<uint64_t>(d) + c) << 20) / static_cast<uint64_t>(s));
}

// The stretch fed by the CPU through the stretched-image object: a video-memory source goes
// band by band through the staging halves first (the engine reads video memory faster than the
// CPU does), the next band's copy running while the current one is sent.
template <unsigned Bpp> HRESULT_DD hrStretchCpu(ZK_PDEV *ppdev, ZK_DD_BLTDATA *p, uint32_t rop3, bool mirror, bool video,
                                                bool staged) {
    constexpr uint32_t bytes = Bpp / 8;
    const ZK_DD_SURFACE_GLOBAL *s = p->lpDDSrcSurface->lpGbl;
    const LONG dw = width(p->rDest), dh = height(p->rDest), sw = width(p->rSrc), sh = height(p->rSrc);
    const LONG lines = static_cast<LONG>(std::min<int64_t>(sh, int64_t{s->wHeight} - p->rSrc.top));
    if (dw <= 0 || dh <= 0 || sw <= 0 || lines <= 0) return ZK_DD_OK;
    const ULONG pitch = static_cast<ULONG>(s->lPitch);
    ULONG band = Bpp == 8 ? (pitch <= 800 ? 16 : 8)
                 : Bpp == 16 ? (pitch <= 800 ? 16 : pitch <= 1600 ? 8 : 4)
                             : (pitch <= 1600 ? 8 : pitch <= 3200 ? 4 : 2);
    const ULONG sw32 = static_cast<ULONG>(sw);
    const ULONG wordWidth = Bpp == 8 ? (sw32 + 3) & ~3u : Bpp == 16 ? (sw32 + 1) & ~1u : sw32;
    // The image object takes the source's size in two 16-bit fields: a wider or taller source
    // cannot be described to it, and no row buffer is made for it.
    if (wordWidth > 0xFFFF || static_cast<ULONG>(lines) > 0xFFFF) return ZK_DDERR_INVALIDRECT;
    const ULONG rowBytes = wordWidth * bytes;   // whole dwords
    // A band always fits in its half (the staged lines are kept at the row's own length).
    while (band > 1 && band * rowBytes > kHalf) band /= 2;
    if (staged && rowBytes > kHalf) return ZK_DDERR_INVALIDRECT;
    const uint32_t xScale = ulScaleOf(dw, sw), yScale = ulScaleOf(dh, sh);
    auto *row = static_cast<uint8_t *>(EngAllocMem(FL_ZERO_MEMORY, rowBytes, ZK_POOL_TAG));
    if (!row) return ZK_DDERR_OUTOFMEMORY;

    vSetDestination(ppdev, p->lpDDDestSurface);
    vReserve(ppdev, ZK_SUB_ROP, 4);
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop3);
    auto program = [&](ULONG rows, uint32_t y16) {
        vBind7(ppdev, ZK_OBJ_STRETCH_FROM_CPU);
        vReserve(ppdev, ZK_SUB_SURFACE, 24);
        vPut(ppdev, ZK_SUB_SURFACE, 0x310, ulPoint(p->rDest.left, p->rDest.top));
        vPut(ppdev, ZK_SUB_SURFACE, 0x314, ulSize(dw, dh));
        vPut(ppdev, ZK_SUB_SURFACE, 0x304, rows << 16 | wordWidth);
        vPut(ppdev, ZK_SUB_SURFACE, 0x308, xScale);
        vPut(ppdev, ZK_SUB_SURFACE, 0x30C, yScale);
        vPut(ppdev, ZK_SUB_SURFACE, 0x318, y16 << 16 | ((static_cast<uint32_t>(p->rDest.left) << 4) & 0xFFFF));
    };
    // Source line of the r-th line sent (mirrored: from the last line upwards).
    auto sourceLine = [&](LONG r) { return mirror ? p->rSrc.top + lines - 1 - r : p->rSrc.top + r; };
    auto send = [&](const uint8_t *line) {
        std::memcpy(row, line, static_cast<size_t>(sw) * bytes);
        vPushRow7(ppdev, row, rowBytes / 4);
    };
    if (!staged) {
        const uint8_t *base = pSourceBits(ppdev, s, video);
        program(static_cast<ULONG>(lines), static_cast<uint32_t>(p->rDest.top) << 4);
        for (LONG r = 0; r < lines; ++r) send(base + cjSourceOffset(s, sourceLine(r), p->rSrc.left, bytes));
    } else {
        ZK_NOTIFIER &copied = ppdev->scratchNotifier;
        const ULONG bands = (static_cast<ULONG>(lines) + band - 1) / band;
        auto rowsOf = [&](ULONG k) { return std::min<ULONG>(band, static_cast<ULONG>(lines) - k * band); };
        auto copy = [&](ULONG k) {
            const ULONG n = rowsOf(k);
            const LONG first = mirror ? sourceLine(static_cast<LONG>(k * band + n - 1)) : sourceLine(static_cast<LONG>(k * band));
            vAwait(ppdev, copied);
            copied.status = 0xFF;
            vBind7(ppdev, ZK_OBJ_STAGING_COPY);
            vReserve(ppdev, ZK_SUB_SURFACE, 32);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_OFFSET_IN,
                 s->fpVidMem + static_cast<ULONG>(cjSourceOffset(s, first, p->rSrc.left, bytes)));
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_OFFSET_OUT, (k & 1) * kHalf);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_PITCH_IN, pitch);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_PITCH_OUT, rowBytes);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_LINE_LENGTH, static_cast<uint32_t>(sw) * bytes);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_LINE_COUNT, n);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_FORMAT, 0x101);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_NOTIFY, 0);
        };
        // One image over all the bands: started again at each band's exact place, the rows
        // inside a band (which advance by the rounded-up scale) would overlap the band before and
        // the picture would jump at every band boundary.
        copy(0);
        for (ULONG k = 0; k < bands; ++k) {
            vAwait(ppdev, copied);
            const uint8_t *half = ppdev->pScratch + (k & 1) * kHalf;
            const ULONG n = rowsOf(k);
            if (k + 1 < bands) copy(k + 1);
            if (k == 0) program(static_cast<ULONG>(lines), static_cast<uint32_t>(p->rDest.top) << 4);
            else vBind7(ppdev, ZK_OBJ_STRETCH_FROM_CPU);   // the image goes on where it stopped
            for (ULONG r = 0; r < n; ++r) send(half + (mirror ? n - 1 - r : r) * rowBytes);
        }
    }
    EngFreeMem(row);
    return ZK_DD_OK;
}

// The scaled image the engine reads from memory itself: in place from video memory, or from the
// staging halves the CPU fills band by band. Sources wider than 1024 pixels go in passes of 1024.
template <unsigned Bpp> HRESULT_DD hrScaleMemory(ZK_PDEV *ppdev, ZK_DD_BLTDATA *p, uint32_t rop3, bool mirror, bool video,
                                                 bool inPlace, uint32_t code) {
    const ZK_DD_SURFACE_GLOBAL *s = p->lpDDSrcSurface->lpGbl;
    const LONG dw = width(p->rDest), dh = height(p->rDest), sw = width(p->rSrc), sh = height(p->rSrc);
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return ZK_DDERR_INVALIDRECT;
    const uint64_t cx = sw == dw ? 0 : static_cast<uint64_t>(sw / dw) + 1;
    const uint64_t cy = sh == dh ? 0 : static_cast<uint64_t>(sh / dh) + 1;
    const uint64_t du = (static_cast<uint64_t>(sw) << 20) / (static_cast<uint64_t>(dw) + cx);
    uint64_t dv = (static_cast<uint64_t>(sh) << 20) / (static_cast<uint64_t>(dh) + cy);
    if (du > 0x40000000 || dv > 0x40000000 || !(du >> 10) || !(dv >> 10)) return ZK_DDERR_INVALIDRECT;
    const bool yuv = code != 0;
    const ULONG srcBytes = yuv ? 2 : Bpp / 8;
    const LONG passWidth = std::min<LONG>(sw, 1024);
    const LONG L = static_cast<LONG>((static_cast<ULONG>(passWidth) * srcBytes + 3) & ~3u);
    const LONG t = ((0x2000 - L) * 2) / L;
    const ULONG band = t > 32 ? 32 : t > 16 ? 16 : t > 8 ? 8 : t > 4 ? 4 : 2;
    // Too many source lines per destination line for a band: every 2^k-th line is read.
    unsigned k = 0;
    while (dv >= static_cast<uint64_t>(band) << 20) {
        dv >>= 1;
        ++k;
    }
    if (((0x40000000u / ((dv + 0x200) >> 10)) * band) >> 20 == 0) return ZK_DDERR_INVALIDRECT;
    const LONG lines = static_cast<LONG>(std::min<int64_t>(sh, int64_t{s->wHeight} - p->rSrc.top));
    if (lines <= 0) return ZK_DD_OK;
    const ULONG thinned = (static_cast<ULONG>(lines) + (1u << k) - 1) >> k;
    const bool uyvy = code == kUyvy;
    const uint32_t object = inPlace ? (!yuv ? ZK_OBJ_SCALE_RGB_VIDEO : uyvy ? ZK_OBJ_SCALE_UYVY_VIDEO : ZK_OBJ_SCALE_YUY2_VIDEO)
                                    : (!yuv ? ZK_OBJ_SCALE_RGB_STAGED : uyvy ? ZK_OBJ_SCALE_UYVY_STAGED : ZK_OBJ_SCALE_YUY2_STAGED);
    ZK_NOTIFIER &scaled = ppdev->engineNotifier;

    vSetDestination(ppdev, p->lpDDDestSurface);
    vReserve(ppdev, ZK_SUB_ROP, 4);
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop3);
    vBind7(ppdev, object);
    vReserve(ppdev, ZK_SUB_SURFACE, 16);
    vPut(ppdev, ZK_SUB_SURFACE, 0x308, ulPoint(p->rDest.left, p->rDest.top));
    vPut(ppdev, ZK_SUB_SURFACE, 0x30C, ulSize(dw, dh));
    vPut(ppdev, ZK_SUB_SURFACE, 0x318, static_cast<uint32_t>(du));
    vPut(ppdev, ZK_SUB_SURFACE, 0x31C, static_cast<uint32_t>(dv));
    // The destination pixels [first, last) along an axis whose samples fall in [from, to).
    auto span = [](LONG size, uint64_t step, uint64_t from, uint64_t to, LONG *first, LONG *last) {
        *first = size;
        *last = 0;
        for (LONG i = 0; i < size; ++i) {
            const uint64_t at = (2 * static_cast<uint64_t>(i) + 1) * step >> 21;
            if (at < from || at >= to) continue;
            *first = std::min(*first, i);
            *last = i + 1;
        }
    };
    const uint8_t *cpu = pSourceBits(ppdev, s, video);
    ULONG bandIndex = 0;
    for (LONG u0 = 0; u0 < sw; u0 += 1024) {
        const LONG pw = std::min<LONG>(1024, sw - u0);
        const ULONG lineBytes = (static_cast<ULONG>(pw) * srcBytes + 3) & ~3u;
        LONG xa, xb;
        span(dw, du, static_cast<uint64_t>(u0), static_cast<uint64_t>(u0 + pw), &xa, &xb);
        for (ULONG v0 = 0; v0 < thinned; v0 += band) {
            const ULONG n = std::min<ULONG>(band, thinned - v0);
            LONG ya, yb;
            span(dh, dv, v0, v0 + n, &ya, &yb);
            if (xa >= xb || ya >= yb) continue;
            auto lineOf = [&](ULONG r) {   // source line of the band's r-th line
                const LONG at = static_cast<LONG>((v0 + r) << k);
                return mirror ? p->rSrc.top + lines - 1 - at : p->rSrc.top + at;
            };
            uint32_t offset, pitch;
            if (inPlace) {
                offset = s->fpVidMem + static_cast<ULONG>(cjSourceOffset(s, lineOf(0), p->rSrc.left + u0, srcBytes));
                pitch = static_cast<uint32_t>(s->lPitch) << k;
            } else {
                offset = (bandIndex & 1) * kHalf;
                pitch = lineBytes;
                vAwait(ppdev, scaled);   // the band that used this half is done
                for (ULONG r = 0; r < n; ++r)
                    std::memcpy(ppdev->pScratch + offset + r * lineBytes,
                                cpu + cjSourceOffset(s, lineOf(r), p->rSrc.left + u0, srcBytes),
                                static_cast<size_t>(pw) * srcBytes);
            }
            scaled.status = 0xFF;
            vReserve(ppdev, ZK_SUB_SURFACE, 28);
            vPut(ppdev, ZK_SUB_SURFACE, 0x310, ulPoint(p->rDest.left + xa, p->rDest.top + ya));
            vPut(ppdev, ZK_SUB_SURFACE, 0x314, ulSize(xb - xa, yb - ya));
            vPut(ppdev, ZK_SUB_SURFACE, 0x400, n << 16 | static_cast<uint32_t>(pw));
            vPut(ppdev, ZK_SUB_SURFACE, 0x404, pitch);
            vPut(ppdev, ZK_SUB_SURFACE, 0x408, offset);
            vPut(ppdev, ZK_SUB_SURFACE, 0x104, 0);
            vPut(ppdev, ZK_SUB_SURFACE, 0x40C, (v0 << 4) << 16 | (static_cast<uint32_t>(u0) << 4));
            ++bandIndex;
        }
    }
    vAwait(ppdev, scaled);
    if (Bpp == 32 && (video || yuv)) {
        ppdev->subchannel7Object = 0;
        vBind7(ppdev, ZK_OBJ_SCALE_RGB_STAGED);
    }
    return ZK_DD_OK;
}

bool bYuv(const ZK_DDPIXELFORMAT &pf) {
    return (pf.dwFlags & ZK_DDPF_FOURCC) && (pf.dwFourCC == kYuy2 || pf.dwFourCC == kUyvy);
}

// The size of a source pixel as the blits read it: the screen's (a surface without a format of
// its own has the screen's; an RGB one must have its size, a FOURCC 0 one its masks too), or two
// bytes of YUV for the scaler; 0 when they cannot read it. Every path reads a source at this
// size, so a surface described with another one (a 4-bit surface DirectDraw made in system
// memory with rows of half a byte a pixel, or one of 0 bits with no memory at all) is refused
// rather than read past its end.
template <unsigned Bpp> ULONG ulSourcePixelBytes(const ZK_DDPIXELFORMAT &pf) {
    using D = Depth<Bpp>;
    if (!(pf.dwFlags & (ZK_DDPF_FOURCC | ZK_DDPF_RGB))) return Bpp / 8;
    if (!(pf.dwFlags & ZK_DDPF_FOURCC)) return pf.dwRGBBitCount == Bpp ? Bpp / 8 : 0;
    if (bYuv(pf)) return D::yuv ? 2 : 0;
    const bool screenRgb = pf.dwFourCC == 0 && pf.dwRGBBitCount == Bpp && pf.dwRBitMask == D::rMask &&
                           pf.dwGBitMask == D::gMask && pf.dwBBitMask == D::bMask;
    return screenRgb ? Bpp / 8 : 0;
}

// A source the blits can read: a pixel size they read, rows (as its pitch says) that hold the
// whole width at that size, and all its rows inside the memory they are read from (video
// memory, or the process's, which has no block at 0). Sizes that wrapped on the way to the record
// fail the last test, so every offset inside the source holds in 32 bits.
template <unsigned Bpp> bool bSourceReadable(const ZK_PDEV *ppdev, const ZK_DD_SURFACE_GLOBAL *s, bool video) {
    const ULONG bytes = ulSourcePixelBytes<Bpp>(s->ddpfSurface);
    if (bytes == 0 || s->lPitch <= 0 || uint64_t{s->wWidth} * bytes > static_cast<uint64_t>(s->lPitch)) return false;
    const uint64_t end = s->fpVidMem + ullDdBlock(static_cast<ULONG>(s->lPitch), s->wHeight);
    return video ? end <= ppdev->cjVideoMemory : s->fpVidMem != 0 && end <= kProcessTop;
}

template <unsigned Bpp> DWORD ulBltDepth(ZK_DD_BLTDATA *p) {
    using D = Depth<Bpp>;
    ZK_PDEV *ppdev = ppdevOf(p);
    const ZK_DD_SURFACE_LOCAL *d = p->lpDDDestSurface;
    const DWORD flags = p->dwFlags;
    // The engine writes pixels of the screen's size: rows of a YUV, planar or RGB surface of
    // another pixel size would be written past their end.
    const ZK_DDPIXELFORMAT &dpf = d->lpGbl->ddpfSurface;
    const bool dstUnfit = (d->ddsCaps.dwCaps & (ZK_DDSCAPS_SYSTEMMEMORY | ZK_DDSCAPS_TEXTURE)) ||
                          ((dpf.dwFlags & (ZK_DDPF_FOURCC | ZK_DDPF_RGB)) && dpf.dwRGBBitCount != Bpp);
    const bool dstKey = flags & (ZK_DDBLT_KEYDEST | ZK_DDBLT_KEYDESTOVERRIDE);
    if (D::capsFirst && dstUnfit) return ZK_DDHAL_NOTHANDLED;
    if (dstKey) return dwDone(p, ZK_DDERR_NOCOLORKEYHW);
    if (!D::capsFirst && dstUnfit) return ZK_DDHAL_NOTHANDLED;
    if (!ppdev->fifo) return dwDone(p, ZK_DDERR_SURFACELOST);
    if ((flags & ZK_DDBLT_ASYNC) && ppdev->usFifoFree < 32) {
        ppdev->usFifoFree = usFifoFree(ppdev, ZK_SUB_BLIT);
        if (ppdev->usFifoFree < 32) return dwDone(p, ZK_DDERR_WASSTILLDRAWING);
    }
    const DWORD fx = (flags & ZK_DDBLT_DDFX) ? p->bltFX.dwDDFX : 0;
    const bool mirror = fx & ZK_DDBLTFX_MIRRORUPDOWN;
    const uint32_t fillColor = (p->bltFX.dwFillColor & ppdev->ulColorBits) | ppdev->alphaBits;

    if (!(flags & ZK_DDBLT_ROP)) {
        if (!(flags & ZK_DDBLT_COLORFILL)) return ZK_DDHAL_NOTHANDLED;
        vSolid(ppdev, p, 0xCC, fillColor);
        return dwDone(p, ZK_DD_OK);
    }
    const uint32_t rop3 = (p->bltFX.dwROP >> 16) & 0xFF;
    switch (rop3) {
    case 0x00:
    case 0xFF:
        vSolid(ppdev, p, rop3, 0);
        return dwDone(p, ZK_DD_OK);
    case 0xF0:
    case 0x5A:
        vSolid(ppdev, p, rop3 == 0xF0 ? 0xCC : 0x66, fillColor);
        return dwDone(p, ZK_DD_OK);
    case 0xCC: case 0xEE: case 0x88: case 0x33: case 0x66: case 0xBB: case 0x44: case 0x11:
        break;
    default:
        return ZK_DDHAL_NOTHANDLED;
    }

    const ZK_DD_SURFACE_LOCAL *s = p->lpDDSrcSurface;
    if (!s) return ZK_DDHAL_NOTHANDLED;
    DWORD sCaps = s->ddsCaps.dwCaps;
    if (sCaps & ZK_DDSCAPS_SYSTEMMEMORY) sCaps &= ~(ZK_DDSCAPS_SYSTEMMEMORY | ZK_DDSCAPS_VIDEOMEMORY);
    const ZK_DDPIXELFORMAT &pf = s->lpGbl->ddpfSurface;
    if (!bSourceReadable<Bpp>(ppdev, s->lpGbl, (sCaps & ZK_DDSCAPS_VIDEOMEMORY) != 0))
        return dwDone(p, ZK_DDERR_UNSUPPORTEDFORMAT);
    if (bYuv(pf)) {
        // YUV is converted by the scaler only: always the memory-fed path, stretched or not.
        if (p->rSrc.left & 1) return dwDone(p, ZK_DDERR_INVALIDRECT);
        if (flags & ZK_DDBLT_KEYSRCOVERRIDE) return dwDone(p, ZK_DDERR_NOCOLORKEYHW);   // the scaler has no key
        const bool video = sCaps & ZK_DDSCAPS_VIDEOMEMORY;
        const bool inPlace = video && !(sCaps & ZK_DDSCAPS_TEXTURE) && !mirror;
        return dwDone(p, hrScaleMemory<Bpp>(ppdev, p, rop3, mirror, video, inPlace, pf.dwFourCC));
    }
    const LONG w = width(p->rDest), h = height(p->rDest);
    const bool keyed = flags & ZK_DDBLT_KEYSRCOVERRIDE;
    const bool dstVideo = d->ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY;
    const bool srcVideo = sCaps & ZK_DDSCAPS_VIDEOMEMORY;
    const bool srcEngine = srcVideo && !(sCaps & ZK_DDSCAPS_TEXTURE);   // the engine may read it in place
    if (w != width(p->rSrc) || h != height(p->rSrc)) {
        // Stretched: the CPU feeds the stretch at 8 bpp and under a source key, the engine's
        // scaler reads the source otherwise.
        HRESULT_DD r;
        if (Bpp == 8 || keyed) {
            if (keyed) vSourceKey(ppdev, (p->bltFX.ddckSrcColorkey.dwColorSpaceLowValue & ppdev->ulColorBits) | D::keyBits);
            r = hrStretchCpu<Bpp>(ppdev, p, rop3, mirror, srcVideo, srcEngine);
            if (keyed) vSourceKey(ppdev, 0);
        } else {
            r = hrScaleMemory<Bpp>(ppdev, p, rop3, mirror, srcVideo, srcEngine && !mirror, 0);
        }
        return dwDone(p, r);
    }
    if (w <= 0 || h <= 0) return dwDone(p, ZK_DD_OK);

    if (keyed) vSourceKey(ppdev, (p->bltFX.ddckSrcColorkey.dwColorSpaceLowValue & ppdev->ulColorBits) | D::keyBits);
    if (dstVideo && srcVideo && !(sCaps & ZK_DDSCAPS_TEXTURE) && !mirror) {
        vSetDestination(ppdev, d);
        vSetSourceSurface(ppdev, s->lpGbl->fpVidMem, static_cast<uint32_t>(s->lpGbl->lPitch));
        vReserve(ppdev, ZK_SUB_BLIT, 16);
        vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop3);
        vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_SRC, ulPoint(p->rSrc.left, p->rSrc.top));
        vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_DST, ulPoint(p->rDest.left, p->rDest.top));
        vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_SIZE, ulSize(w, h));
    } else {
        vUpload<Bpp>(ppdev, p, rop3, mirror, srcVideo);
    }
    if (keyed) vSourceKey(ppdev, 0);
    return dwDone(p, ZK_DD_OK);
}

DWORD ulWorker(ZK_PDEV *ppdev, ZK_DD_BLTDATA *p) {
    switch (ppdev->cBitsPerPel) {
    case 8: return ulBlt8(p);
    case 16: return ulBlt16(p);
    case 32: return ulBlt32(p);
    default: p->ddRVal = ZK_DDERR_INVALIDPIXELFORMAT; return ZK_DDHAL_NOTHANDLED;
    }
}

}  // namespace

DWORD ulBlt8(ZK_DD_BLTDATA *p) { return ulBltDepth<8>(p); }
DWORD ulBlt16(ZK_DD_BLTDATA *p) { return ulBltDepth<16>(p); }
DWORD ulBlt32(ZK_DD_BLTDATA *p) { return ulBltDepth<32>(p); }

namespace {
DWORD ulBltOnEngine(ZK_PDEV *ppdev, ZK_DD_BLTDATA *p);
}  // namespace

DWORD APIENTRY DdBlt(ZK_DD_BLTDATA *p) {
    ZK_PDEV *ppdev = ppdevOf(p);
    vRetryStalledChip(ppdev);
    if (!ppdev->fifo) return dwDone(p, ZK_DDERR_SURFACELOST);
    // A rectangle past its surface would have the engine write, or the CPU read, memory beyond it.
    if (!bRectWithin(p->rDest, p->lpDDDestSurface->lpGbl) ||
        (p->lpDDSrcSurface && !bRectWithin(p->rSrc, p->lpDDSrcSurface->lpGbl)))
        return dwDone(p, ZK_DDERR_INVALIDRECT);
    if (hrAwaitFlip(ppdev, p->lpDDDestSurface->lpGbl->fpVidMem, (p->dwFlags & ZK_DDBLT_WAIT) != 0) != ZK_DD_OK)
        return dwDone(p, ZK_DDERR_WASSTILLDRAWING);
    DdEngineLock lock(ppdev);
    const DWORD r = ulBltOnEngine(ppdev, p);
    // A chip that stopped answering on the way: the blit is not known to be done.
    if (r == ZK_DDHAL_HANDLED && p->ddRVal == ZK_DD_OK && ppdev->bChipStalled) p->ddRVal = ZK_DDERR_WASSTILLDRAWING;
    return r;
}

namespace {

DWORD ulBltOnEngine(ZK_PDEV *ppdev, ZK_DD_BLTDATA *p) {
    vResetClip(ppdev);   // whatever clip a mode change left undefined
    const ZK_DD_SURFACE_LOCAL *src = p->lpDDSrcSurface;
    if (src != p->lpDDDestSurface ||
        (width(p->rSrc) == width(p->rDest) && height(p->rSrc) == height(p->rDest)))
        return ulWorker(ppdev, p);

    // A stretch within one surface: the source goes to a block of the heap first, so the
    // stretch never reads what it has already written.
    RECTL both;
    if (!bIntersectRect(&p->rSrc, &p->rDest, &both) || !(p->lpDDDestSurface->ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY))
        return ZK_DDHAL_NOTHANDLED;
    const LONG sw = width(p->rSrc), sh = height(p->rSrc);
    const uint64_t pitch = (uint64_t{ppdev->cBitsPerPel >> 3} * static_cast<ULONG>(sw) + 15) & ~uint64_t{15};
    const ULONG t = ppdev->pDdHeap ? ulDdAlloc(ppdev, ullDdBlock(pitch, static_cast<ULONG>(sh))) : 0;
    if (!t) return ZK_DDHAL_NOTHANDLED;
    ZK_DD_SURFACE_GLOBAL gbl = *p->lpDDDestSurface->lpGbl;
    ZK_DD_SURFACE_LOCAL lcl = *p->lpDDDestSurface;
    gbl.fpVidMem = t;
    gbl.lPitch = static_cast<LONG>(pitch);
    gbl.wWidth = static_cast<DWORD>(sw);   // the block holds the source rectangle alone
    gbl.wHeight = static_cast<DWORD>(sh);
    gbl.yHint = static_cast<LONG>(t / static_cast<ULONG>(ppdev->lDelta));
    gbl.xHint = static_cast<LONG>((t % static_cast<ULONG>(ppdev->lDelta)) / ppdev->cjPelSize);
    lcl.lpGbl = &gbl;
    lcl.ddsCaps.dwCaps = (lcl.ddsCaps.dwCaps & ~ZK_DDSCAPS_SYSTEMMEMORY) | ZK_DDSCAPS_VIDEOMEMORY;

    ZK_DD_BLTDATA first = *p;
    first.lpDDDestSurface = &lcl;
    first.rDest = RECTL{0, 0, sw, sh};
    first.dwFlags = ZK_DDBLT_ROP;
    first.bltFX.dwROP = ZK_SRCCOPY;
    DWORD r = ulWorker(ppdev, &first);
    p->ddRVal = first.ddRVal;
    if (r == ZK_DDHAL_HANDLED && first.ddRVal == ZK_DD_OK) {
        ZK_DD_BLTDATA second = *p;
        second.lpDDSrcSurface = &lcl;
        second.rSrc = RECTL{0, 0, sw, sh};
        r = ulWorker(ppdev, &second);
        p->ddRVal = second.ddRVal;
    }
    vHeapFree(t, ppdev->pDdHeap);
    return r;
}

}  // namespace
