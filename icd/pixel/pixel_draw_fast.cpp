// glDrawPixels of unsigned bytes with no per-fragment work: the rows are written straight into a
// 16-bit RGBA or an 8-bit colour-index buffer with integer arithmetic; everything else goes to the
// generic driver.
#include <cstring>
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_ops_internal.h"
#include "icd/pixel/pixel_ops_util.h"
#include "icd/pixel/pixel_state.h"

using namespace glpixel;

namespace {

// The ordered dither matrix times 17, by (y & 3) * 4 + (x & 3).
constexpr uint8_t kDither17[16] = {0, 136, 34, 170, 204, 68, 238, 102, 51, 187, 17, 153, 255, 119, 221, 85};

// Per-fragment work that rules the direct writers out: depth test, texture, stipple, stencil,
// logic op, blend, partial colour mask, fog and the pixel-ownership test.
constexpr GlShadeFlags kFastExcluded = 0x6009BCu | kGlShadeFog;

int32_t bitsOf(int32_t max) {
    int32_t n = 0;
    while (max > 0) ++n, max >>= 1;
    return n;
}

struct Channel16 {
    int32_t bits, shift;
};

struct Target {
    uint8_t *base;
    int32_t pitchBytes, bytes, biasX, biasY;
    Channel16 r, g, b;
    uint8_t *at(int32_t x, int32_t y) const { return base + ptrdiff_t(y - biasY) * pitchBytes + ptrdiff_t(x - biasX) * bytes; }
};

// A client byte c as the nearest value of an n-bit channel, round(c x (2^n - 1) / 255), already
// shifted into place: the one conversion from [0, 255] to buffer units of the direct writers.
struct RoundScale {
    uint16_t r[256], g[256], b[256];
    explicit RoundScale(const Target &t) {
        auto nearest = [](uint32_t c, int32_t bits) { return (c * ((1u << bits) - 1) * 2 + 255) / 510; };
        for (uint32_t c = 0; c < 256; ++c) {
            r[c] = uint16_t(nearest(c, t.r.bits) << t.r.shift);
            g[c] = uint16_t(nearest(c, t.g.bits) << t.g.shift);
            b[c] = uint16_t(nearest(c, t.b.bits) << t.b.shift);
        }
    }
    uint16_t pack(uint32_t red, uint32_t green, uint32_t blue) const { return uint16_t(r[red] | g[green] | b[blue]); }
};

// A byte scaled to n bits in units of 1/256 of a step (255 becomes (2^n - 1) x 256), so that the
// dither value (below 256) never carries full white or black into the next step.
struct DitherScale {
    uint32_t r[256], g[256], b[256];
    DitherScale(int32_t rb, int32_t gb, int32_t bb) {
        for (uint32_t c = 0; c < 256; ++c) {
            r[c] = (c * ((1u << rb) - 1) * 256 + 127) / 255;
            g[c] = (c * ((1u << gb) - 1) * 256 + 127) / 255;
            b[c] = (c * ((1u << bb) - 1) * 256 + 127) / 255;
        }
    }
};

// Walks the clipped rectangle: put(dst, src, x, y) for each pixel, rows from currentRow in the
// direction of yStep, columns from startColumn in the direction of xStep.
template <class Put>
void walk(GlContext *ctx, GlPixelSpan *s, const Target &t, int32_t srcBytes, Put put) {
    __glWithDrawableLock(ctx, [&] {
        int32_t y = s->currentRow;
        for (int32_t r = 0; r < s->rowsLeft; ++r, y += s->yStep) {
            int32_t x = s->startColumn;
            const uint8_t *p = s->srcStart + ptrdiff_t(r) * s->srcRowBytes;
            for (int32_t c = 0; c < s->dstWidth; ++c, x += s->xStep, p += srcBytes) put(t.at(x, y), p, x, y);
        }
    });
}

Target targetOf(GlContext *ctx) {
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    Target t{};
    t.base = cb->head.base;
    t.pitchBytes = cb->head.pitchBytes;
    t.bytes = cb->head.elementSize;
    t.biasX = ctx->limits.biasX;
    t.biasY = ctx->limits.biasY;
    t.r = {bitsOf(cb->redMax), cb->redShift};
    t.g = {bitsOf(cb->greenMax), cb->greenShift};
    t.b = {bitsOf(cb->blueMax), cb->blueShift};
    return t;
}

bool transferIsIdentity(const GlContext *ctx) {
    const GlPixelTransferState &t = ctx->state.pixel.transfer;
    return !t.mapColor && t.redBias == 0.0f && t.greenBias == 0.0f && t.blueBias == 0.0f && t.alphaBias == 0.0f &&
           t.redScale == 1.0f && t.greenScale == 1.0f && t.blueScale == 1.0f && t.alphaScale == 1.0f &&
           t.indexOffset == 0 && t.indexShift == 0;
}

}  // namespace

void __glDrawIndexBytesFast(GlContext *ctx, GlPixelSpan *s) {
    const Target t = targetOf(ctx);
    if (s->xStep > 0) {
        __glWithDrawableLock(ctx, [&] {
            int32_t y = s->currentRow;
            for (int32_t r = 0; r < s->rowsLeft; ++r, y += s->yStep)
                std::memcpy(t.at(s->startColumn, y), s->srcStart + ptrdiff_t(r) * s->srcRowBytes, size_t(s->dstWidth));
        });
        return;
    }
    walk(ctx, s, t, 1, [](uint8_t *d, const uint8_t *p, int32_t, int32_t) { *d = *p; });
}

void __glDrawRGBBytesTo16(GlContext *ctx, GlPixelSpan *s) {
    const Target t = targetOf(ctx);
    const RoundScale scale(t);
    walk(ctx, s, t, 3, [&](uint8_t *d, const uint8_t *p, int32_t, int32_t) {
        const uint16_t v = scale.pack(p[0], p[1], p[2]);
        std::memcpy(d, &v, 2);
    });
}

void __glDrawRGBBytesTo16Dithered(GlContext *ctx, GlPixelSpan *s) {
    const Target t = targetOf(ctx);
    const DitherScale scale(t.r.bits, t.g.bits, t.b.bits);
    walk(ctx, s, t, 3, [&](uint8_t *d, const uint8_t *p, int32_t x, int32_t y) {
        const uint32_t k = kDither17[((y & 3) << 2) | (x & 3)];
        const uint16_t v = uint16_t((((scale.r[p[0]] + k) >> 8) << t.r.shift) |
                                    (((scale.g[p[1]] + k) >> 8) << t.g.shift) |
                                    (((scale.b[p[2]] + k) >> 8) << t.b.shift));
        std::memcpy(d, &v, 2);
    });
}

void __glDrawRGBABytesAlphaTestedTo16(GlContext *ctx, GlPixelSpan *s) {
    const Target t = targetOf(ctx);
    const RoundScale scale(t);
    // Byte positions of R, G, B, A in the source pixel.
    uint8_t o[4] = {0, 1, 2, 3};
    if (s->srcFormat == kGlFormatABGR) o[0] = 3, o[1] = 2, o[2] = 1, o[3] = 0;
    if (s->srcFormat == kGlFormatBGRA) o[0] = 2, o[1] = 1, o[2] = 0, o[3] = 3;
    const GlRasterInputs &in = ctx->state.span.inputs;
    const int32_t last = in.alphaTestSize > 0 && in.alphaTestSize <= 256 ? in.alphaTestSize - 1 : 255;
    walk(ctx, s, t, 4, [&](uint8_t *d, const uint8_t *p, int32_t, int32_t) {
        const int32_t a = p[o[3]];
        if (!in.alphaTestTable[last == 255 ? a : (a * last + 127) / 255]) return;
        const uint16_t v = scale.pack(p[o[0]], p[o[1]], p[o[2]]);
        std::memcpy(d, &v, 2);
    });
}

void __glDrawPixelsFast(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type,
                        const GLvoid *pixels, GLboolean listData) {
    const GlShadeFlags f = __glShadeFlags(ctx);
    const GlPixelTransferState &t = ctx->state.pixel.transfer;
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    const bool zoomOne = (t.zoomX == 1.0f || t.zoomX == -1.0f) && (t.zoomY == 1.0f || t.zoomY == -1.0f);
    // One colour buffer drawn (not both, not none), nothing per fragment, no transfer.
    const bool eligible = type == GL_UNSIGNED_BYTE && !(f & kFastExcluded) && zoomOne && transferIsIdentity(ctx) &&
                          cb != nullptr && !ctx->state.span.inputs.drawBothBuffers && width > 0 && height > 0;
    if (!eligible) return __glDrawPixelsGeneric(ctx, width, height, format, type, pixels, listData);
    void (*writer)(GlContext *, GlPixelSpan *) = nullptr;
    const int32_t bytes = cb->head.elementSize;
    if (ctx->visual.rgbaMode && bytes == 2) {
        const bool dither = f & kGlShadeDither, alphaTest = f & kGlShadeAlphaTest;
        if (format == GL_RGB && !alphaTest)
            writer = dither ? __glDrawRGBBytesTo16Dithered : __glDrawRGBBytesTo16;
        else if (!dither && alphaTest && (format == GL_RGBA || format == kGlFormatABGR || format == kGlFormatBGRA))
            writer = __glDrawRGBABytesAlphaTestedTo16;
    } else if (!ctx->visual.rgbaMode && bytes == 1 && format == GL_COLOR_INDEX) {
        writer = __glDrawIndexBytesFast;
    }
    if (writer == nullptr)
        return __glDrawPixelsGeneric(ctx, width, height, format, type, pixels, listData);

    GlPixelSpan s{};
    s.srcFormat = format;
    s.srcType = type;
    s.srcData = static_cast<const uint8_t *>(pixels);
    s.width = width;
    s.height = height;
    __glLoadUnpackState(ctx, &s, listData);
    setFloatDestination(&s, format);
    if (!__glSetupDrawGeometry(ctx, &s)) return;
    __glComputeSrcImageLayout(ctx, &s);
    withAccess(ctx, drawMaskFor(ctx, format), [&] {
        if (ctx->buffers.color.drawColorBuffer->head.base != nullptr) writer(ctx, &s);
    });
}
