// Blits on the 2D engine: colour and depth fills, BLACKNESS and WHITENESS, screen-to-screen
// copies (overlap-safe, with a source colour key) and uploads from system memory through the
// engine's host-data port, on surfaces of any pitch.
#include "drv/siv/display/blt_engine.h"
#include "platform/siv/siv_engine2d.h"

using namespace sivblt;

namespace {

constexpr DWORD kCmdColorFill = 0x07E00120;
constexpr DWORD kCmdDepthFill = 0x07E00124;
constexpr DWORD kCmdBlackness = 0x06000020;
constexpr DWORD kCmdWhiteness = 0x07FE0020;
constexpr DWORD kCmdCopy = 0x07980020;
constexpr DWORD kCmdUpload = 0x079808A0;
constexpr DWORD kCmdLeftToRight = 1u << 25;
constexpr DWORD kCmdTopToBottom = 1u << 26;
constexpr DWORD kCmdSourceKey = 1u << 9;

// Destination keys and unconverted source keys are not done by the engine: DirectDraw does them.
constexpr DWORD kBltKeySrc = 0x8000;
constexpr DWORD kBltKeyDest = 0x2000;
constexpr DWORD kBltKeyDestOverride = 0x4000;
constexpr DWORD kBltUnsupportedKeys = kBltKeySrc | kBltKeyDest | kBltKeyDestOverride;

LONG Width(const RECTL &r) { return r.right - r.left; }
LONG Height(const RECTL &r) { return r.bottom - r.top; }
DWORD Position(LONG x, LONG y) { return static_cast<DWORD>(x) << 16 | (static_cast<DWORD>(y) & 0xFFFF); }
DWORD Size(LONG w, LONG h) { return static_cast<DWORD>(w - 1) << 16 | static_cast<DWORD>(h); }

// The engine's position and size fields hold 16 bits; a rectangle must lie inside its surface
// when the surface says how large it is.
bool RectFits(const RECTL &r, const DDRAWI_DDRAWSURFACE_LCL *s) {
    if (r.left < 0 || r.top < 0 || r.right > 0xFFFF || r.bottom > 0xFFFF)
        return false;
    const DDRAWI_DDRAWSURFACE_GBL *g = s->lpGbl;
    return (!g->wWidth || r.right <= g->wWidth) && (!g->wHeight || r.bottom <= g->wHeight);
}

// The engine's stride fields hold 16 bits; its base registers hold any offset in video memory.
constexpr DWORD kStrideMax = 0xFFFF;

DWORD PitchOf(const DDRAWI_DDRAWSURFACE_LCL *s) { return static_cast<DWORD>(s->lpGbl->lPitch); }

// The rows an operation draws: its destination (and source) base and pitch, the rows the engine
// starts at, and whether it walks them upward from there.
struct Rows {
    DWORD dstBase, dstPitch, srcBase, srcPitch;
    LONG dy, sy, h;
    bool upward;
};

// One rectangle as the engine's registers take it.
struct Band {
    DWORD dstBase, srcBase, strides;   // strides: destination << 16 | source
    LONG dy, sy, h;
};

// Hands `draw` the operation in rectangles the engine's fields hold. When both pitches fit the
// stride fields that is the operation itself. Otherwise each row is a rectangle of its own, one
// line high at row 0 of a base that is the row itself, so no stride is needed; the rows go in
// the order the operation walks them, so an overlapping copy within one surface still reads no
// row it has already written. Stops at the first band `draw` could not send (false).
template <class Draw> bool ForEachBand(const Rows &r, Draw draw) {
    if (r.dstPitch <= kStrideMax && r.srcPitch <= kStrideMax)
        return draw(Band{r.dstBase, r.srcBase, r.dstPitch << 16 | r.srcPitch, r.dy, r.sy, r.h});
    const int64_t step = r.upward ? -1 : 1;
    auto row = [step](DWORD base, DWORD pitch, LONG first, LONG j) {
        return static_cast<DWORD>(base + static_cast<uint64_t>(first + step * j) * pitch);
    };
    for (LONG j = 0; j < r.h; j++)
        if (!draw(Band{row(r.dstBase, r.dstPitch, r.dy, j), row(r.srcBase, r.srcPitch, r.sy, j), 0, 0, 0, 1}))
            return false;
    return true;
}

// The rows of a destination rectangle drawn without a source.
Rows DestRows(DriverBlock *block, const DDRAWI_DDRAWSURFACE_LCL *dst, const RECTL &r) {
    return {VideoOffset(block, dst), PitchOf(dst), 0, 0, r.top, 0, Height(r), false};
}

bool InDisplayFormat(DriverBlock *block, const DDRAWI_DDRAWSURFACE_LCL *s) {
    return SurfacePixelFormat(block, s) == block->pixelFormat();
}

DWORD Done(DDHAL_BLTDATA *data, HRESULT r) {
    data->ddRVal = r;
    return DDHAL_DRIVER_HANDLED;
}

DWORD NotDone(DDHAL_BLTDATA *data) {
    data->ddRVal = DDERR_UNSUPPORTED;
    return DDHAL_DRIVER_NOTHANDLED;
}

// A colour or depth fill of the destination rectangle, a parameter set for each band.
HRESULT FillDest(DriverBlock *block, const DDHAL_BLTDATA *data, DWORD value, DWORD command) {
    const DDRAWI_DDRAWSURFACE_LCL *dst = data->lpDDDestSurface;
    const RECTL &r = data->rDest;
    const bool sent = ForEachBand(DestRows(block, dst, r), [&](const Band &b) {
        const DWORD set[8] = {b.dstBase, b.strides >> 16, Position(r.left, b.dy), Size(Width(r), b.h),
                              0xFFFFFFFF, 0xFFFFFFFF, value, command};
        return FillRectangle(block, set);
    });
    return sent ? DD_OK : DDERR_WASSTILLDRAWING;
}

DWORD RopBlackWhite(DriverBlock *block, DDHAL_BLTDATA *data, bool white) {
    const DDRAWI_DDRAWSURFACE_LCL *dst = data->lpDDDestSurface;
    if (!InDisplayFormat(block, dst))
        return NotDone(data);
    const RECTL &r = data->rDest;
    const DWORD command = (white ? kCmdWhiteness : kCmdBlackness) | block->engineFormat();
    const bool sent = ForEachBand(DestRows(block, dst, r), [&](const Band &b) {
        if (!WaitFifo(block, 7)) return false;
        WriteReg(block, 0xA4D8, b.dstBase);
        WriteReg(block, 0xA4E4, b.strides);
        WriteReg(block, 0xA50C, Position(r.left, b.dy));
        WriteReg(block, 0xA504, Size(Width(r), b.h));
        WriteReg(block, 0xA500, command);
        return true;
    });
    return Done(data, sent ? DD_OK : DDERR_WASSTILLDRAWING);
}

DWORD CopyInVideoMemory(DriverBlock *block, DDHAL_BLTDATA *data) {
    const DDRAWI_DDRAWSURFACE_LCL *dst = data->lpDDDestSurface, *src = data->lpDDSrcSurface;
    const RECTL &rd = data->rDest, &rs = data->rSrc;
    const LONG w = Width(rd), h = Height(rd);
    DWORD command = kCmdCopy | block->engineFormat();
    LONG sx = rs.left, sy = rs.top, dx = rd.left, dy = rd.top;
    // Over itself the copy runs away from the part of the destination that overlaps the source,
    // so no source pixel is overwritten before it is read.
    if (src->lpGbl->fpVidMem == dst->lpGbl->fpVidMem) {
        if (rd.left <= rs.right && rs.right < rd.right) {
            command &= ~kCmdLeftToRight;
            sx += w - 1;
            dx += w - 1;
        }
        if (rd.top <= rs.bottom && rs.bottom < rd.bottom) {
            command &= ~kCmdTopToBottom;
            sy += h - 1;
            dy += h - 1;
        }
    }
    if (data->dwFlags & DDBLT_KEYSRCOVERRIDE) {
        const DDCOLORKEY &key = data->bltFX.ddckSrcColorkey;
        if (!WaitIdle(block)) return Done(data, DDERR_WASSTILLDRAWING);
        command |= kCmdSourceKey;
        WriteReg(block, 0xA4FC, block->engineFormat() == 0
                                    ? (key.dwColorSpaceLowValue & 0xFF) << 8 | (key.dwColorSpaceHighValue & 0xFF)
                                    : key.dwColorSpaceLowValue);
    }
    const Rows rows = {VideoOffset(block, dst), PitchOf(dst), VideoOffset(block, src), PitchOf(src),
                       dy, sy, h, !(command & kCmdTopToBottom)};
    const bool sent = ForEachBand(rows, [&](const Band &b) {
        if (!WaitFifo(block, 9)) return false;
        WriteReg(block, 0xA4D4, b.srcBase);
        WriteReg(block, 0xA4D8, b.dstBase);
        WriteReg(block, 0xA4E4, b.strides);
        WriteReg(block, 0xA508, Position(sx, b.sy));
        WriteReg(block, 0xA50C, Position(dx, b.dy));
        WriteReg(block, 0xA504, Size(w, b.h));
        WriteReg(block, 0xA500, command);
        return true;
    });
    return Done(data, sent ? DD_OK : DDERR_WASSTILLDRAWING);
}

DWORD UploadFromSystemMemory(DriverBlock *block, DDHAL_BLTDATA *data) {
    DDRAWI_DDRAWSURFACE_LCL *dst = data->lpDDDestSurface, *src = data->lpDDSrcSurface;
    // The engine takes the data in the display's format, one pixel for one pixel.
    if (!InDisplayFormat(block, dst) || !InDisplayFormat(block, src))
        return NotDone(data);
    if (!(src->ddsCaps.dwCaps & DDSCAPS_MIPMAP))
        return Done(data, BltRectangle(block, data->rDest, data->rSrc, dst, src) ? DD_OK : DDERR_WASSTILLDRAWING);
    const DWORD levels = src->dwMipMapCount;
    for (DWORD level = 0; level < levels && dst && src; level++) {
        const RECTL whole = {0, 0, dst->lpGbl->wWidth, dst->lpGbl->wHeight};
        if (src->lpGbl->wWidth < dst->lpGbl->wWidth || src->lpGbl->wHeight < dst->lpGbl->wHeight)
            break;   // never read past a smaller source level
        if (!BltRectangle(block, whole, whole, dst, src))
            return Done(data, DDERR_WASSTILLDRAWING);
        dst = dst->lpAttachList;
        src = src->lpAttachList;
    }
    return Done(data, DD_OK);
}

}  // namespace

bool FillRectangle(DriverBlock *block, const DWORD set[8]) {
    if (!WaitFifo(block, 10))
        return false;
    WriteReg(block, 0xA4D8, set[0]);
    WriteReg(block, 0xA4E4, set[1] << 16);
    WriteReg(block, 0xA4E8, set[4]);
    WriteReg(block, 0xA4EC, set[5]);
    WriteReg(block, 0xA4F4, set[6]);
    WriteReg(block, 0xA50C, set[2]);
    WriteReg(block, 0xA504, set[3]);
    WriteReg(block, 0xA500, set[7]);
    return true;
}

bool BltRectangle(DriverBlock *block, const RECTL &dst, const RECTL &src, DDRAWI_DDRAWSURFACE_LCL *dstSurface,
                  DDRAWI_DDRAWSURFACE_LCL *srcSurface) {
    const LONG w = Width(dst), h = Height(dst);
    if (w <= 0 || h <= 0)
        return true;
    const DWORD bpp = block->bytesPerPixel();
    const DWORD lineBytes = static_cast<DWORD>(w) * bpp;
    const DDRAWI_DDRAWSURFACE_GBL *s = srcSurface->lpGbl;
    const uint8_t *line = reinterpret_cast<const uint8_t *>(s->fpVidMem) +
                          static_cast<ptrdiff_t>(src.top) * s->lPitch + static_cast<DWORD>(src.left) * bpp;
    return ForEachBand(DestRows(block, dstSurface, dst), [&](const Band &b) {
        if (!WaitIdle(block))
            return false;
        WriteReg(block, 0xA4D8, b.dstBase);
        WriteReg(block, 0xA4E4, b.strides);
        WriteReg(block, 0xA504, Size(w, b.h));
        WriteReg(block, 0xA50C, Position(dst.left, b.dy));
        WriteReg(block, 0xA500, kCmdUpload | block->engineFormat());
        // Whole dwords per line; the tail of a line is made up from the bytes inside the
        // rectangle only, so the source is never read past its end.
        for (LONG y = 0; y < b.h; y++, line += s->lPitch) {
            DWORD done = 0;
            for (; done + 4 <= lineBytes; done += 4) {
                DWORD v;
                __builtin_memcpy(&v, line + done, 4);
                kivSivHostDataWrite(v);
            }
            if (done < lineBytes) {
                DWORD v = 0;
                __builtin_memcpy(&v, line + done, lineBytes - done);
                kivSivHostDataWrite(v);
            }
        }
        return true;
    });
}

DWORD WINAPI Blt(DDHAL_BLTDATA *data) {
    DriverBlock *block = BlockOf(data->lpDD);
    DDRAWI_DDRAWSURFACE_LCL *dst = data->lpDDDestSurface, *src = data->lpDDSrcSurface;
    data->ddRVal = DDERR_UNSUPPORTED;
    block->bltCount() += 1;
    if (dst && (dst->ddsCaps.dwCaps & DDSCAPS_TEXTURE))
        TextureContentChanged(dst);   // new texels get the colour key burnt in again
    if (!dst)
        return Done(data, DDERR_INVALIDPARAMS);

    // Nothing may draw into the surface just flipped away from while it may still be shown.
    if (block->flipDone() == 0 && dst->lpGbl->fpVidMem == block->flipFromAddress()) {
        const auto seen = [&] { return CheckFlipPacing(block) != DDERR_WASSTILLDRAWING; };
        if (!((data->dwFlags & DDBLT_WAIT) ? WaitUntil(seen) : seen()))
            return Done(data, DDERR_WASSTILLDRAWING);
    }
    if (block->currentContext())
        MakeContextCurrent(block, 0);

    // The engine draws into video memory only; DirectDraw draws into system memory itself.
    if (dst->ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY)
        return NotDone(data);
    const RECTL &rd = data->rDest;
    if (!RectFits(rd, dst))
        return Done(data, DDERR_INVALIDRECT);
    // An empty rectangle would read as a 65536-pixel-wide one to the engine.
    if (Width(rd) <= 0 || Height(rd) <= 0)
        return Done(data, DD_OK);

    if (data->dwFlags & DDBLT_DEPTHFILL)
        return Done(data, FillDest(block, data, data->bltFX.dwFillDepth, kCmdDepthFill));
    if (data->dwFlags & DDBLT_COLORFILL) {
        if (!InDisplayFormat(block, dst))
            return NotDone(data);
        return Done(data, FillDest(block, data, data->bltFX.dwFillColor, kCmdColorFill | block->engineFormat()));
    }
    if (!(data->dwFlags & DDBLT_ROP) || (data->dwFlags & kBltUnsupportedKeys))
        return NotDone(data);
    switch ((data->bltFX.dwROP >> 16) & 0xFF) {
    case 0x00:
        return RopBlackWhite(block, data, false);
    case 0xFF:
        return RopBlackWhite(block, data, true);
    case 0xCC:
        break;
    default:
        return NotDone(data);
    }
    // Source copies: the engine neither stretches nor converts formats.
    if (!src || Width(data->rSrc) != Width(rd) || Height(data->rSrc) != Height(rd))
        return NotDone(data);
    if (!RectFits(data->rSrc, src))
        return Done(data, DDERR_INVALIDRECT);
    if (src->ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY)
        return UploadFromSystemMemory(block, data);
    if (!InDisplayFormat(block, dst) || !InDisplayFormat(block, src))
        return NotDone(data);
    return CopyInVideoMemory(block, data);
}

// Engine status: a blit is done, and another may start, once the engine is idle.
DWORD WINAPI GetBltStatus(DDHAL_GETBLTSTATUSDATA *data) {
    DriverBlock *block = BlockOf(data->lpDD);
    data->ddRVal = (Status(block) & kStatusIdle) ? DD_OK : DDERR_WASSTILLDRAWING;
    return DDHAL_DRIVER_HANDLED;
}
