// The generic store spans of the fast path, one per pixel format: what a chain ends in when no
// specialised store proc serves the state (an unlisted blend, a partial colour mask, both
// buffers). Per covered pixel, in this order: blend through the square table (the destination's
// alpha reads as 255), dither, pack, logic op, write mask, write.
#include <cstring>
#include "icd/raster/fast_color.h"
#include "icd/raster/color_buffer.h"

using namespace glfast;

namespace {

// A layout: its element bytes and where its three channels sit. Staged colours are field bytes
// (the field at the byte's top); a channel of fewer than eight bits is dithered.
struct Channel {
    int shift;  // field position in the packed value
    int bits;   // field width
};
struct Layout {
    int bytes;
    Channel r, g, b;
};
constexpr Layout k332{1, {5, 3}, {2, 3}, {0, 2}};
constexpr Layout k555{2, {10, 5}, {5, 5}, {0, 5}};
constexpr Layout k565{2, {11, 5}, {5, 6}, {0, 5}};
constexpr Layout k888{3, {16, 8}, {8, 8}, {0, 8}};
constexpr Layout k8888{4, {16, 8}, {8, 8}, {0, 8}};

constexpr uint32_t fieldOf(const Channel &c, uint32_t pixel) { return (pixel >> c.shift) & ((1u << c.bits) - 1); }

template <int Bytes>
inline uint32_t loadPixel(const uint8_t *p) {
    uint32_t v = 0;
    std::memcpy(&v, p, Bytes);  // little-endian: 24-bit pixels are bytes b, g, r
    return v;
}
template <int Bytes>
inline void storePixel(uint8_t *p, uint32_t v) {
    std::memcpy(p, &v, Bytes);
}

// The source and destination terms of one channel for the context's factors, each a byte
// product (a numerator over 255): c the source's and dc the destination's field bytes, a the
// source alpha (a unit byte), limit the channel's largest field byte. A colour taken as a factor
// is first made a unit byte, so that a full channel is a factor of exactly 1.
inline uint32_t sourceTerm(GLenum f, uint32_t c, uint32_t a, uint32_t dc, uint32_t limit) {
    switch (f) {
    case GL_ONE:
    case GL_DST_ALPHA: return c * 255;
    case GL_SRC_ALPHA: return c * a;
    case GL_ONE_MINUS_SRC_ALPHA: return c * (255 - a);
    case GL_DST_COLOR: return c * unitOfFieldByte(dc, limit);
    case GL_ONE_MINUS_DST_COLOR: return c * (255 - unitOfFieldByte(dc, limit));
    default: return 0;  // GL_ZERO, GL_ONE_MINUS_DST_ALPHA, GL_SRC_ALPHA_SATURATE
    }
}
inline uint32_t destinationTerm(GLenum f, uint32_t c, uint32_t a, uint32_t dc, uint32_t limit) {
    switch (f) {
    case GL_ZERO:
    case GL_ONE_MINUS_DST_ALPHA: return 0;
    case GL_SRC_COLOR: return dc * unitOfFieldByte(c, limit);
    case GL_ONE_MINUS_SRC_COLOR: return dc * (255 - unitOfFieldByte(c, limit));
    case GL_SRC_ALPHA: return dc * a;
    case GL_ONE_MINUS_SRC_ALPHA: return dc * (255 - a);
    default: return dc * 255;  // GL_ONE, GL_DST_ALPHA
    }
}

inline uint32_t applyLogicOp(GLenum op, uint32_t s, uint32_t d) {
    switch (op) {
    case GL_CLEAR: return 0;
    case GL_AND: return s & d;
    case GL_AND_REVERSE: return s & ~d;
    case GL_COPY: return s;
    case GL_AND_INVERTED: return ~s & d;
    case GL_NOOP: return d;
    case GL_XOR: return s ^ d;
    case GL_OR: return s | d;
    case GL_NOR: return ~(s | d);
    case GL_EQUIV: return ~(s ^ d);
    case GL_INVERT: return ~d;
    case GL_OR_REVERSE: return s | ~d;
    case GL_COPY_INVERTED: return ~s;
    case GL_OR_INVERTED: return ~s | d;
    case GL_NAND: return ~(s & d);
    default: return 0xFFFFFFFFu;  // GL_SET
    }
}

// Per-pixel state of the context the store reads once per call.
struct StoreState {
    GlShadeFlags flags;
    GLenum src, dst, op;
    uint32_t keep, write, all;
};
StoreState stateOf(GlSpan *sp, int bytes) {
    GlContext *ctx = sp->context;
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    const uint32_t all = bytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1;
    return {ctx->state.span.raster.shadeFlags, ctx->state.color.blendSrcFactor, ctx->state.color.blendDstFactor,
            ctx->state.mode.logicOp, cb != nullptr ? cb->keepMask : 0, cb != nullptr ? cb->writeMask : all, all};
}

// The final write: logic op, then the draw buffer's masks.
inline uint32_t finish(const StoreState &st, uint32_t s, uint32_t old) {
    if (st.flags & kGlShadeLogicOp) s = applyLogicOp(st.op, s, old);
    if (st.flags & kGlShadeColorMask) s = (old & st.keep) | (s & st.write);
    return s & st.all;
}

template <const Layout &L>
void GL_FASTCALL storeRgb(uint32_t mask, GlSpan *sp) {
    const StoreState st = stateOf(sp, L.bytes);
    const bool blend = st.flags & kGlShadeBlend, dither = st.flags & kGlShadeDither;
    const int32_t step = sp->xStep * L.bytes;
    uint8_t *p = sp->pixel;
    const uint8_t *c = sp->stagingColors;
    const uint32_t *d = sp->ditherPointer;
    const Channel ch[3] = {L.r, L.g, L.b};
    for (; mask; mask <<= 1, p += step, c += 4, ++d) {
        if (int32_t(mask) >= 0) continue;
        const uint32_t old = loadPixel<L.bytes>(p);
        uint32_t v = 0;
        for (int i = 0; i < 3; ++i) {
            const int drop = 8 - ch[i].bits;
            const uint32_t limit = fieldByteLimit(ch[i].bits);
            const uint32_t source = c[i] < limit ? c[i] : limit;
            uint32_t x = source * 255;  // the field byte times 255
            if (blend) {
                const uint32_t dc = fieldOf(ch[i], old) << drop;
                x = sourceTerm(st.src, source, c[3], dc, limit) + destinationTerm(st.dst, source, c[3], dc, limit);
                if (x > limit * 255) x = limit * 255;
            }
            // Rounded once; at most the limit plus less than a step: no carry out of the field,
            // and a result equal to the destination keeps it.
            x = fieldOfProducts(x, dither, *d, drop);
            v |= x << ch[i].shift;
        }
        storePixel<L.bytes>(p, finish(st, v, old));
    }
    sp->ditherPointer = d;
}

// Colour index: the staging entry is a 16.16 index.
void GL_FASTCALL storeIndex8(uint32_t mask, GlSpan *sp) {
    const StoreState st = stateOf(sp, 1);
    const bool dither = st.flags & kGlShadeDither;
    uint8_t *p = sp->pixel;
    const int32_t step = sp->xStep;
    const uint8_t *c = sp->stagingColors;
    const uint32_t *d = sp->ditherPointer;
    for (; mask; mask <<= 1, p += step, c += 4, ++d) {
        if (int32_t(mask) >= 0) continue;
        uint32_t index;
        std::memcpy(&index, c, 4);
        if (dither) index += *d;
        *p = uint8_t(finish(st, index >> 16, *p));
    }
    sp->ditherPointer = d;
}

}  // namespace

// By the colour buffer's format code; the other codes have no layout here. The fast chooser takes
// only 2-byte RGBA buffers, so the index, 3-3-2, 8-8-8 and 8-8-8-8 entries are never chosen (their
// test calls them directly).
constinit const GlFastProcTable<12> __glStoreSpanByFormat = {
    nullptr, storeIndex8, storeRgb<k332>, nullptr, storeRgb<k555>, storeRgb<k565>,
    nullptr, storeRgb<k888>, nullptr, nullptr, storeRgb<k8888>, nullptr,
};
static_assert(kGlFormatX1R5G5B5 == 4 && kGlFormatR5G6B5 == 5 && kGlFormatB8G8R8 == 7 && kGlFormatX8R8G8B8 == 10 &&
              kGlFormatR3G3B2 == 2 && kGlFormatIndex8 == 1);
