// Pixel-transfer spans (scale and bias, the pixel maps, index shift and offset, depth scale and
// bias) and the 256-entry byte tables that do the same work once per byte value for the byte
// renderers.
#include "icd/pixel/pixel_span.h"
#include "icd/pixel/pixel_state.h"
#include "icd/core/context.h"
#include "icd/core/core.h"
#include <bit>
#include <cmath>

namespace {

inline bool negativeBits(float v) { return std::bit_cast<uint32_t>(v) > 0x80000000u; }

// A map entry; a map without a table (an allocation failed) reads as its default, 0.
inline float mapFloat(const GlPixelMap &m, int32_t i) { return m.table.f != nullptr ? m.table.f[i] : 0.0f; }
inline int32_t mapInt(const GlPixelMap &m, int32_t i) { return m.table.i != nullptr ? m.table.i[i] : 0; }
// Index maps have power-of-two sizes, so the AND selects an entry.
inline int32_t maskedEntry(const GlPixelMap &m, int32_t v) { return m.size > 0 ? v & (m.size - 1) : 0; }

// Entry of a colour map for u: integer part of (n - 1) u + 0.5, clamped to the map.
inline int32_t colorMapEntry(const GlPixelMap &m, float u) {
    if (m.size <= 1) return 0;
    const float x = float(m.size - 1) * u + 0.5f;
    if (!(x >= 0.0f)) return 0;
    if (x >= float(m.size - 1)) return m.size - 1;
    return int32_t(x);
}

// The per-call constants of one colour channel.
struct Channel {
    float scale, bias;         // the transfer's
    float scaleMax, biasMax;   // times the channel maximum
    float max;
    const GlPixelMap *map;
};

// `max`: the colour units the transferred values are written in (the span's toUnits, or the
// units the byte tables are built for).
inline void loadChannels(const GlContext *ctx, const float max[4], Channel ch[4]) {
    const GlPixelTransferState &x = ctx->state.pixel.transfer;
    const GlPixelMap *maps = ctx->state.pixel.maps.maps;
    const float scale[4] = {x.redScale, x.greenScale, x.blueScale, x.alphaScale};
    const float bias[4] = {x.redBias, x.greenBias, x.blueBias, x.alphaBias};
    for (int k = 0; k < 4; ++k)
        ch[k] = Channel{scale[k], bias[k], scale[k] * max[k], bias[k] * max[k], max[k], &maps[kGlMapRToR + k]};
}

inline float transferChannel(const Channel &c, bool mapColor, float v) {
    if (mapColor) {
        const float u = v * c.scale + c.bias;
        return mapFloat(*c.map, colorMapEntry(*c.map, u)) * c.max;
    }
    const float u = v * c.scaleMax + c.biasMax;
    if (u > c.max) return c.max;
    if (negativeBits(u)) return 0.0f;
    return u;
}

// NIn floats a pixel in [0, 1] into RGBA in the span's colour units (toUnits): channel k is
// transferred from input S[k], or comes from the constant transferred colour when S[k] is -1.
template <int NIn, int S0, int S1, int S2, int S3>
void transferColor(GlContext *ctx, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    auto *dst = static_cast<float *>(out);
    Channel ch[4];
    loadChannels(ctx, span->toUnits, ch);
    const bool mapColor = ctx->state.pixel.transfer.mapColor != 0;
    float constant[4];
    for (int k = 0; k < 4; ++k) constant[k] = ctx->state.pixel.tables.transferredColor[k] * span->toUnits[k];
    constexpr int sel[4] = {S0, S1, S2, S3};
    const int32_t n = __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i, src += NIn, dst += 4)
        for (int k = 0; k < 4; ++k) dst[k] = sel[k] < 0 ? constant[k] : transferChannel(ch[k], mapColor, src[sel[k]]);
}

// The index shift a buffer of `bits` bits can take: a shift beyond the bits is first cut to its
// low five bits, then to the bit count. Negative shifts pass.
inline int32_t clampShift(int32_t shift, int32_t bits) {
    if (bits < shift) {
        shift &= 31;
        if (bits < shift) shift = bits;
    }
    return shift;
}

// Shift and offset in 32-bit wrapping arithmetic.
inline int32_t shiftOffset(int32_t v, int32_t shift, int32_t offset) {
    if (shift >= 0) v = shift >= 32 ? 0 : int32_t(uint32_t(v) << shift);
    else v = -shift >= 32 ? (v < 0 ? -1 : 0) : v >> -shift;
    return int32_t(uint32_t(v) + uint32_t(offset));
}

// A float that holds an integer value; values beyond int32 saturate.
inline int32_t integerPart(float f) {
    if (!(f == f)) return 0;
    if (f >= 2147483647.0f) return INT32_MAX;
    if (f <= -2147483648.0f) return INT32_MIN;
    return int32_t(f);
}

// Rounding of a transferred index: half away from zero, then toward zero.
inline int32_t roundIndex(float v) { return integerPart(v >= 0.0f ? v + 0.5f : v - 0.5f); }

// 2^shift for the byte tables (exact for every shift a float can hold).
inline float shiftFactor(int32_t shift) { return std::ldexp(1.0f, shift); }

float *ensureTable(GlContext *ctx, float *&table) {
    if (table == nullptr) table = static_cast<float *>(ctx->hostProcs.alloc(ctx, 256 * sizeof(float)));
    return table;
}

}  // namespace

#define KIV_SPAN(name, ...) \
    void name(GlContext *ctx, GlPixelSpan *span, const void *in, void *out) { __VA_ARGS__(ctx, span, in, out); }

KIV_SPAN(__glTransferRGBA, transferColor<4, 0, 1, 2, 3>)
KIV_SPAN(__glTransferABGR, transferColor<4, 3, 2, 1, 0>)
KIV_SPAN(__glTransferBGRA, transferColor<4, 2, 1, 0, 3>)
KIV_SPAN(__glTransferRGB, transferColor<3, 0, 1, 2, -1>)
KIV_SPAN(__glTransferBGR, transferColor<3, 2, 1, 0, -1>)
KIV_SPAN(__glTransferRed, transferColor<1, 0, -1, -1, -1>)
KIV_SPAN(__glTransferGreen, transferColor<1, -1, 0, -1, -1>)
KIV_SPAN(__glTransferBlue, transferColor<1, -1, -1, 0, -1>)
KIV_SPAN(__glTransferAlpha, transferColor<1, -1, -1, -1, 0>)
KIV_SPAN(__glTransferLuminance, transferColor<1, 0, 0, 0, -1>)
KIV_SPAN(__glTransferLuminanceAlpha, transferColor<2, 0, 0, 0, 1>)
KIV_SPAN(__glTransferRedAlpha, transferColor<2, 0, -1, -1, 1>)

#undef KIV_SPAN

void __glTransferDepth(GlContext *ctx, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    auto *dst = static_cast<float *>(out);
    const float scale = ctx->state.pixel.transfer.depthScale;
    const float bias = ctx->state.pixel.transfer.depthBias;
    const int32_t n = __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i) {
        const float v = bias + src[i] * scale;
        dst[i] = negativeBits(v) ? 0.0f : (int32_t(std::bit_cast<uint32_t>(v)) > 0x3F800000 ? 1.0f : v);
    }
}

void __glTransferStencil(GlContext *ctx, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    auto *dst = static_cast<float *>(out);
    const GlPixelTransferState &x = ctx->state.pixel.transfer;
    const int32_t shift = clampShift(x.indexShift, ctx->visual.stencilBits);
    const GlPixelMap &map = ctx->state.pixel.maps.maps[kGlMapSToS];
    const int32_t n = __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i) {
        int32_t v = shiftOffset(integerPart(src[i]), shift, x.indexOffset);
        if (x.mapStencil) v = mapInt(map, maskedEntry(map, v));
        dst[i] = float(v);
    }
}

void __glTransferIndex(GlContext *ctx, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    auto *dst = static_cast<float *>(out);
    const GlPixelTransferState &x = ctx->state.pixel.transfer;
    const int32_t shift = clampShift(x.indexShift, ctx->visual.indexBits);
    const GlPixelMap *maps = ctx->state.pixel.maps.maps;
    const int32_t n = __glSpanPixelCount(span);
    if (span->dstFormat != GL_COLOR_INDEX) {
        // Through the I_TO_R..A maps ([0, 1]) into the span's colour units.
        const float *max = span->toUnits;
        for (int32_t i = 0; i < n; ++i, dst += 4) {
            const int32_t v = shiftOffset(integerPart(src[i]), shift, x.indexOffset);
            for (int k = 0; k < 4; ++k) {
                const GlPixelMap &m = maps[kGlMapIToR + k];
                dst[k] = mapFloat(m, maskedEntry(m, v)) * max[k];
            }
        }
        return;
    }
    const GlPixelMap &map = maps[kGlMapIToI];
    for (int32_t i = 0; i < n; ++i) {
        int32_t v = shiftOffset(integerPart(src[i]), shift, x.indexOffset);
        if (x.mapColor) v = mapInt(map, maskedEntry(map, v));
        dst[i] = float(v);
    }
}

bool __glBuildUbyteTransferTables(GlContext *ctx, GlPixelTables *t) {
    for (float *&table : t->rgba)
        if (ensureTable(ctx, table) == nullptr) {
            __glSetError(GL_OUT_OF_MEMORY);
            return false;
        }
    Channel ch[4];
    loadChannels(ctx, t->tableUnits, ch);
    const bool mapColor = ctx->state.pixel.transfer.mapColor != 0;
    const double oneOver255 = 1.0 / 255.0;
    for (int i = 0; i < 256; ++i) {
        const float v = float(i * oneOver255);
        for (int k = 0; k < 4; ++k) {
            float u = v * ch[k].scale + ch[k].bias;
            if (mapColor) {
                u = mapFloat(*ch[k].map, colorMapEntry(*ch[k].map, u));
            } else {
                if (int32_t(std::bit_cast<uint32_t>(u)) > 0x3F800000) u = 1.0f;
                else if (negativeBits(u)) u = 0.0f;
            }
            t->rgba[k][i] = u * ch[k].max;
        }
    }
    t->rgbaValid = 1;
    return true;
}

bool __glBuildIndexTransferTable(GlContext *ctx, GlPixelTables *t) {
    if (ensureTable(ctx, t->indexToIndex) == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return false;
    }
    const GlPixelTransferState &x = ctx->state.pixel.transfer;
    const GlPixelMap &map = ctx->state.pixel.maps.maps[kGlMapIToI];
    const float factor = shiftFactor(x.indexShift);
    const uint32_t mask = __glPixelIndexMask(ctx);
    for (int i = 0; i < 256; ++i) {
        float v = float(x.indexOffset) + float(i) * factor;
        if (x.mapColor) v = float(mapInt(map, maskedEntry(map, roundIndex(v))));
        t->indexToIndex[i] = float(mask & uint32_t(integerPart(v)));
    }
    t->indexValid = 1;
    return true;
}

bool __glBuildIndexToRGBATables(GlContext *ctx, GlPixelTables *t) {
    for (float *&table : t->indexToRGBA)
        if (ensureTable(ctx, table) == nullptr) {
            __glSetError(GL_OUT_OF_MEMORY);
            return false;
        }
    const GlPixelTransferState &x = ctx->state.pixel.transfer;
    const GlPixelMap *maps = ctx->state.pixel.maps.maps;
    const float *max = t->tableUnits;
    const float factor = shiftFactor(x.indexShift);
    for (int i = 0; i < 256; ++i) {
        const int32_t h = roundIndex(float(x.indexOffset) + float(i) * factor);
        for (int k = 0; k < 4; ++k) {
            const GlPixelMap &m = maps[kGlMapIToR + k];
            t->indexToRGBA[k][i] = max[k] * mapFloat(m, maskedEntry(m, h));
        }
    }
    t->indexToRGBAValid = 1;
    return true;
}

void __glComputePixelTransferFlags(GlContext *ctx) {
    const GlPixelTransferState &x = ctx->state.pixel.transfer;
    GlPixelTables &t = ctx->state.pixel.tables;
    const bool shiftOrOffset = x.indexShift != 0 || x.indexOffset != 0;
    t.transferRGBA = x.redScale != 1.0f || x.greenScale != 1.0f || x.blueScale != 1.0f || x.alphaScale != 1.0f ||
                     x.redBias != 0.0f || x.greenBias != 0.0f || x.blueBias != 0.0f || x.alphaBias != 0.0f ||
                     x.mapColor != 0;
    t.transferIndex = x.mapColor != 0 || ctx->visual.rgbaMode || shiftOrOffset;
    t.transferStencil = x.mapStencil != 0 || shiftOrOffset;
    t.transferDepth = x.depthScale != 1.0f || x.depthBias != 0.0f;
    if (t.transferIndex) t.indexValid = t.indexToRGBAValid = 0;
    t.rgbaValid = 0;

    // Kept in [0, 1]: each transfer span scales it to its own colour units.
    const float unit[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    Channel ch[4];
    loadChannels(ctx, unit, ch);
    if (!t.transferRGBA) {
        t.transferredColor[0] = t.transferredColor[1] = t.transferredColor[2] = 0.0f;
        t.transferredColor[3] = 1.0f;
        return;
    }
    const float value[4] = {x.redBias, x.greenBias, x.blueBias, x.alphaScale + x.alphaBias};
    for (int k = 0; k < 4; ++k) {
        float u = value[k];
        if (x.mapColor) {
            u = mapFloat(*ch[k].map, colorMapEntry(*ch[k].map, u));
        } else if (!(u >= 0.0f)) {
            u = 0.0f;
        } else if (u > 1.0f) {
            u = 1.0f;
        }
        t.transferredColor[k] = u * ch[k].max;
    }
}
