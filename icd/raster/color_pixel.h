// Pixel layouts of the RGBA colour buffer and the per-pixel steps every store and fetch proc is
// generated from: addressing, loading and storing an element, packing a colour, the logic op.
#pragma once
#include <cstdint>
#include <cstring>
#include <bit>
#include <GL/gl.h>
#include "icd/raster/color_buffer.h"
#include "icd/raster/raster_tables.h"
#include "icd/raster/raster_state.h"

namespace glraster {

// Bytes: element size; Dither: the ordered dither may apply; Alpha: alpha is stored.
template <int Bytes, bool Dither, bool Alpha>
struct Layout {
    static constexpr int bytes = Bytes;
    static constexpr bool dither = Dither;
    static constexpr bool alpha = Alpha;
};
using Layout8 = Layout<1, true, false>;
using Layout16 = Layout<2, true, false>;
using Layout24 = Layout<3, true, false>;
using Layout32 = Layout<4, false, false>;
using Layout32Alpha = Layout<4, false, true>;

// Truncation toward zero.
inline uint32_t truncChannel(float v) { return uint32_t(int32_t(v)); }
// Round to nearest, ties to even, for values in [0, 2^23).
inline uint32_t roundChannel(float v) {
    float s = v + 8388608.0f;
    return std::bit_cast<uint32_t>(s) & 0x7FFFFF;
}
// The same for values that may be slightly negative.
inline uint32_t roundChannelSigned(float v) {
    float s = v + 12582912.0f;
    return (std::bit_cast<uint32_t>(s) & 0x7FFFFF) - 0x400000;
}

// A clear's bracket around direct writes: the descriptor's lock (false when refused), after
// which the base address and pitch are read again, since the drawable layer may have moved the
// memory; and the matching unlock. A clear takes the drawable's lock once: the dispatch holds it
// while it reads whether the drawable is clipped, and the clip walk and the rectangle routines it
// runs lock again inside it without reaching the drawable; each routine run alone locks for
// itself.
inline bool lockForClear(GlColorBuffer *cb) {
    if (cb->clearLockDepth != 0) {
        ++cb->clearLockDepth;
        return true;
    }
    GlBufferDescriptor *d = cb->head.descriptor;
    if (d == nullptr) return false;
    if (d->lock != nullptr && !d->lock(d, __glBufferRecord(&cb->head))) return false;
    __glBufferRefresh(&cb->head);
    cb->clearLockDepth = 1;
    return true;
}
inline void unlockAfterClear(GlColorBuffer *cb) {
    if (--cb->clearLockDepth != 0) return;
    GlBufferDescriptor *d = cb->head.descriptor;
    if (d->unlock != nullptr) d->unlock(d, __glBufferRecord(&cb->head));
}

// A rectangle cleared pixel by pixel: fragment f at every position through the store proc (so
// dithering and the write mask apply), under the clear's lock, with the shade flags `off` cleared
// meanwhile; they come back also when the lock is refused.
inline void clearRectThroughStore(GlColorBuffer *cb, GlFragment f, uint32_t off, int32_t x0, int32_t y0, int32_t x1,
                                  int32_t y1) {
    GlRasterState &rs = rasterOf(cb->head.context);
    const uint32_t saved = rs.shadeFlags;
    rs.shadeFlags &= ~off;
    if (lockForClear(cb)) {
        for (int32_t y = y0; y < y1; ++y)
            for (int32_t x = x0; x < x1; ++x) {
                f.x = x;
                f.y = y;
                cb->storePixel(cb, &f);
            }
        unlockAfterClear(cb);
    }
    rs.shadeFlags = saved;
}

// Row length in bytes of a 3-byte buffer.
inline int32_t rowBytes24(const GlColorBuffer *cb) { return (cb->head.pitch * 3 + 3) & ~3; }

template <int Bytes>
inline uint8_t *pixelAddress(const GlColorBuffer *cb, int32_t x, int32_t y) {
    const GlContext *ctx = cb->head.context;
    int32_t dx = x - ctx->limits.biasX, dy = y - ctx->limits.biasY;
    if constexpr (Bytes == 3)
        return cb->head.base + rowBytes24(cb) * dy + 3 * dx;
    else
        return cb->head.base + (dy * cb->head.pitch + dx) * Bytes;
}

template <int Bytes>
inline uint32_t loadElement(const GlColorBuffer *cb, const uint8_t *p) {
    if constexpr (Bytes == 1) {
        return *p;
    } else if constexpr (Bytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else if constexpr (Bytes == 3) {
        // Blue, green, red bytes at increasing addresses whatever the shifts say.
        return (uint32_t(p[2]) << cb->redShift) | (uint32_t(p[1]) << cb->greenShift) |
               (uint32_t(p[0]) << cb->blueShift);
    } else {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

template <int Bytes>
inline void storeElement(const GlColorBuffer *cb, uint8_t *p, uint32_t v) {
    if constexpr (Bytes == 1) {
        *p = uint8_t(v);
    } else if constexpr (Bytes == 2) {
        uint16_t h = uint16_t(v);
        std::memcpy(p, &h, 2);
    } else if constexpr (Bytes == 3) {
        p[2] = uint8_t(v >> cb->redShift);
        p[1] = uint8_t(v >> cb->greenShift);
        p[0] = uint8_t(v >> cb->blueShift);
    } else {
        std::memcpy(p, &v, 4);
    }
}

// s = the new pixel, t = the old one.
inline uint32_t applyLogicOp(GLenum op, uint32_t s, uint32_t t) {
    switch (op) {
    case GL_CLEAR: return 0;
    case GL_AND: return s & t;
    case GL_AND_REVERSE: return s & ~t;
    case GL_COPY: return s;
    case GL_AND_INVERTED: return ~s & t;
    case GL_NOOP: return t;
    case GL_XOR: return s ^ t;
    case GL_OR: return s | t;
    case GL_NOR: return ~(s | t);
    case GL_EQUIV: return ~(s ^ t);
    case GL_INVERT: return ~t;
    case GL_OR_REVERSE: return s | ~t;
    case GL_COPY_INVERTED: return ~s;
    case GL_OR_INVERTED: return ~s | t;
    case GL_NAND: return ~(s & t);
    case GL_SET: return 0xFFFFFFFFu;
    default: return s;
    }
}

// One fragment through ownership, blending, dither or rounding, logic op and write mask.
template <class L>
inline void storePixel(GlColorBuffer *cb, const GlFragment *f) {
    GlContext *ctx = cb->head.context;
    uint32_t flags = rasterOf(ctx).shadeFlags;
    if ((flags & kGlShadeFrontClip) && !__glPixelMaskBit(ctx, f->x, f->y)) return;
    uint8_t *p = pixelAddress<L::bytes>(cb, f->x, f->y);
    float d = 0.5f;
    if constexpr (L::dither)
        if (flags & kGlShadeDither) d = __glDitherOffset[f->y & 3][f->x & 3];
    const float *c = f->color;
    float blended[4];
    if (flags & kGlShadeBlend) {
        if (auto blend = inputsOf(ctx).blendFragment) {
            blend(ctx, cb, f, blended);
            c = blended;
        }
    }
    uint32_t v = (truncChannel(c[1] + d) << cb->greenShift) | (truncChannel(c[2] + d) << cb->blueShift) |
                 (truncChannel(c[0] + d) << cb->redShift);
    if constexpr (L::alpha) v |= truncChannel(c[3] + 0.5f) << cb->alphaShift;
    uint32_t old = loadElement<L::bytes>(cb, p);
    if (flags & kGlShadeLogicOp) v = applyLogicOp(ctx->state.mode.logicOp, v, old);
    storeElement<L::bytes>(cb, p, (old & cb->keepMask) | (v & cb->writeMask));
}

template <class L>
inline void fetchPixel(GlColorBuffer *cb, int32_t x, int32_t y, float *out) {
    const uint8_t *p = pixelAddress<L::bytes>(cb, x, y);
    if constexpr (L::bytes == 3) {
        out[0] = float(p[2]);
        out[1] = float(p[1]);
        out[2] = float(p[0]);
        out[3] = cb->alphaScale;
    } else {
        uint32_t v = loadElement<L::bytes>(cb, p);
        out[0] = float((v >> cb->redShift) & uint32_t(cb->redMax));
        out[1] = float((v >> cb->greenShift) & uint32_t(cb->greenMax));
        out[2] = float((v >> cb->blueShift) & uint32_t(cb->blueMax));
        out[3] = L::alpha ? float((v >> cb->alphaShift) & uint32_t(cb->alphaLimit)) : cb->alphaScale;
    }
}

}  // namespace glraster
