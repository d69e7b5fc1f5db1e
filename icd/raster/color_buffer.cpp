// The RGBA colour buffer: set-up from the visual's channel masks, validation, the per-pixel store
// and fetch procs of every pixel layout, the span stores and the destination reads.
#include <bit>
#include "icd/raster/color_pixel.h"

using namespace glraster;

namespace {

// Trailing zero bits of a channel mask, and the mask shifted down to bit 0. An empty mask (no
// alpha bits) gives 0 and 0.
void channelOf(uint32_t mask, int32_t *shift, int32_t *max) {
    if (mask == 0) {
        *shift = 0;
        *max = 0;
        return;
    }
    *shift = std::countr_zero(mask);
    *max = int32_t(mask >> *shift);
}

uint32_t channelUnion(const GlVisual &v) { return v.redMask | v.greenMask | v.blueMask | v.alphaMask; }

void pickMasks(GlContext *ctx, GlColorBuffer *cb) {
    const GlVisual &v = ctx->visual;
    const uint8_t *on = ctx->state.color.colorMask;
    uint32_t all = channelUnion(v);
    uint32_t write = (on[0] ? v.redMask : 0) | (on[1] ? v.greenMask : 0) | (on[2] ? v.blueMask : 0) |
                     (on[3] ? v.alphaMask : 0);
    if (ctx->state.mode.drawBuffer == GL_NONE) write = 0;
    cb->writeMask = write;
    cb->keepMask = all & ~write;
}

bool shiftsAre(const GlColorBuffer *cb, int32_t r, int32_t g, int32_t b) {
    return cb->redShift == r && cb->greenShift == g && cb->blueShift == b;
}

void pick16Store(GlColorBuffer *cb) {
    cb->storePixel = __glStoreRgbaPixel16;
    if (cb->greenShift == 5 && cb->blueShift == 0) {
        if (cb->redShift == 10) cb->formatCode = kGlFormatX1R5G5B5;
        if (cb->redShift == 11) cb->formatCode = kGlFormatR5G6B5;
    }
}

// The span store loops: every pixel, or the live ones of the mask words.
template <bool Masked, class Store>
inline void forSpan(GlContext *ctx, Store store) {
    GlRasterState &rs = rasterOf(ctx);
    GlFragment frag;
    frag.y = rs.spanY;
    frag.z = 0;
    const float *colors = rs.fragmentColors;
    for (int32_t i = 0; i < rs.spanLength; ++i) {
        if constexpr (Masked)
            if (!(rs.maskWords[i >> 5] & (0x80000000u >> (i & 31)))) continue;
        frag.x = rs.spanX + i;
        std::memcpy(frag.color, colors + 4 * i, 16);
        store(frag);
    }
}

// The fast stores write whole pixels without reading the destination.
template <int Bytes, class Pack>
inline uint8_t storeSpanDirect(GlContext *ctx, Pack pack) {
    GlRasterState &rs = rasterOf(ctx);
    GlColorBuffer *cb = rs.targetColorBuffer;
    bool clip = rs.shadeFlags & kGlShadeFrontClip;
    const float *c = rs.fragmentColors;
    int32_t y = rs.spanY;
    for (int32_t i = 0; i < rs.spanLength; ++i, c += 4) {
        int32_t x = rs.spanX + i;
        if (clip && !__glPixelMaskBit(ctx, x, y)) continue;
        uint8_t *p = pixelAddress<Bytes>(cb, x, y);
        pack(cb, p, x, y, c);
    }
    return 0;
}

}  // namespace

// ---- pixel procs, one instance of the layout template each ---------------------------------------
void __glStoreRgbaPixel8(GlColorBuffer *cb, const GlFragment *f) { storePixel<Layout8>(cb, f); }
void __glStoreRgbaPixel16(GlColorBuffer *cb, const GlFragment *f) { storePixel<Layout16>(cb, f); }
void __glStoreRgbaPixel24(GlColorBuffer *cb, const GlFragment *f) { storePixel<Layout24>(cb, f); }
void __glStoreRgbaPixel32(GlColorBuffer *cb, const GlFragment *f) { storePixel<Layout32>(cb, f); }
void __glStoreRgbaPixel32Alpha(GlColorBuffer *cb, const GlFragment *f) { storePixel<Layout32Alpha>(cb, f); }

void __glFetchRgbaPixel8(GlColorBuffer *cb, int32_t x, int32_t y, float *o) { fetchPixel<Layout8>(cb, x, y, o); }
void __glFetchRgbaPixel16(GlColorBuffer *cb, int32_t x, int32_t y, float *o) { fetchPixel<Layout16>(cb, x, y, o); }
void __glFetchRgbaPixel24(GlColorBuffer *cb, int32_t x, int32_t y, float *o) { fetchPixel<Layout24>(cb, x, y, o); }
void __glFetchRgbaPixel32(GlColorBuffer *cb, int32_t x, int32_t y, float *o) { fetchPixel<Layout32>(cb, x, y, o); }
void __glFetchRgbaPixel32Alpha(GlColorBuffer *cb, int32_t x, int32_t y, float *o) {
    fetchPixel<Layout32Alpha>(cb, x, y, o);
}

// ---- span stores ----------------------------------------------------------------------------------
uint8_t __glStoreRgbaSpan(GlContext *ctx) {
    GlColorBuffer *cb = rasterOf(ctx).targetColorBuffer;
    forSpan<false>(ctx, [cb](const GlFragment &f) { cb->storePixel(cb, &f); });
    return 0;
}

uint8_t __glStoreRgbaSpanMasked(GlContext *ctx) {
    GlColorBuffer *cb = rasterOf(ctx).targetColorBuffer;
    forSpan<true>(ctx, [cb](const GlFragment &f) { cb->storePixel(cb, &f); });
    return 0;
}

uint8_t __glStoreRgbaSpan16(GlContext *ctx) {
    GlColorBuffer *cb = rasterOf(ctx).targetColorBuffer;
    forSpan<false>(ctx, [cb](const GlFragment &f) { storePixel<Layout16>(cb, &f); });
    return 0;
}

uint8_t __glStoreRgbaSpan16Fast(GlContext *ctx) {
    return storeSpanDirect<2>(ctx, [](GlColorBuffer *cb, uint8_t *p, int32_t, int32_t, const float *c) {
        uint32_t v = (roundChannel(c[0]) << cb->redShift) | (roundChannel(c[1]) << cb->greenShift) |
                     (roundChannel(c[2]) << cb->blueShift);
        storeElement<2>(cb, p, v);
    });
}

uint8_t __glStoreRgbaSpan16FastDither(GlContext *ctx) {
    return storeSpanDirect<2>(ctx, [](GlColorBuffer *cb, uint8_t *p, int32_t x, int32_t y, const float *c) {
        float e = __glDitherRound[y & 3][x & 3];
        uint32_t v = (roundChannelSigned(c[0] + e) << cb->redShift) |
                     (roundChannelSigned(c[1] + e) << cb->greenShift) |
                     (roundChannelSigned(c[2] + e) << cb->blueShift);
        storeElement<2>(cb, p, v);
    });
}

uint8_t __glStoreRgbaSpan24(GlContext *ctx) {
    return storeSpanDirect<3>(ctx, [](GlColorBuffer *, uint8_t *p, int32_t, int32_t, const float *c) {
        p[0] = uint8_t(roundChannel(c[2]));
        p[1] = uint8_t(roundChannel(c[1]));
        p[2] = uint8_t(roundChannel(c[0]));
    });
}

// ---- reads ----------------------------------------------------------------------------------------
uint8_t __glReadColorSpan(GlColorBuffer *cb, int32_t x, int32_t y, float *out, int32_t n) {
    for (int32_t i = 0; i < n; ++i) cb->readPixel(cb, x + i, y, out + 4 * i);
    return 0;
}

uint8_t __glFetchColorSpan(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    GlColorBuffer *cb = rs.targetColorBuffer;
    cb->readSpan(cb, rs.spanX, rs.spanY, rs.destinationColors, rs.spanLength);
    return 0;
}

// ---- set-up and validation -----------------------------------------------------------------------
void __glInitRgbaColorBuffer(GlColorBuffer *cb, GlContext *ctx) {
    __glInitBuffer(&cb->head, ctx);
    cb->head.resize = __glResizeRgbaBuffer;
    cb->readSpan = __glReadColorSpan;
    cb->usesColorStages = 0;
    cb->fetchSpan = cb->fetchSpanMasked = __glFetchColorSpan;
    cb->storeAccumRow = __glStoreAccumRow;
    cb->clear = __glClearRgbaBuffer;
    cb->pick = __glPickRgbaBufferProcs;
    cb->storeSpan = __glStoreRgbaSpan;
    cb->storeSpanMasked = __glStoreRgbaSpanMasked;

    const GlVisual &v = ctx->visual;
    channelOf(v.redMask, &cb->redShift, &cb->redMax);
    channelOf(v.greenMask, &cb->greenShift, &cb->greenMax);
    channelOf(v.blueMask, &cb->blueShift, &cb->blueMax);
    int32_t alphaMax;
    channelOf(v.alphaMask, &cb->alphaShift, &alphaMax);
    // Buffer units: each channel's own maximum (the context's units are kGlContextColorScale).
    cb->redScale = float(cb->redMax);
    cb->greenScale = float(cb->greenMax);
    cb->blueScale = float(cb->blueMax);
    cb->redLimit = cb->redMax;
    cb->greenLimit = cb->greenMax;
    cb->blueLimit = cb->blueMax;
    cb->alphaLimit = v.alphaMask != 0 ? alphaMax : 255;
    cb->alphaScale = float(cb->alphaLimit);
    cb->head.depth = std::popcount(channelUnion(v));

    switch (v.colorBits) {
    case 8: cb->fetchPixel = __glFetchRgbaPixel8; break;
    case 16:
        cb->fetchPixel = __glFetchRgbaPixel16;
        cb->pick = __glPickRgbaBufferProcs16;
        break;
    case 24: cb->fetchPixel = __glFetchRgbaPixel24; break;
    case 32: cb->fetchPixel = v.alphaMask != 0 ? __glFetchRgbaPixel32Alpha : __glFetchRgbaPixel32; break;
    default: return;  // not offered: both read slots stay as they were
    }
    cb->readPixel = cb->fetchPixel;
}

int32_t __glResizeRgbaBuffer(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit) {
    int32_t es = b->elementSize > 0 ? b->elementSize : 1;
    int32_t rounded = ((width * es + 15) & ~15) / es;
    return __glBufferResize(b, rounded, height, bufferBit);
}

void __glPickRgbaBufferProcs(GlContext *ctx, GlColorBuffer *cb) {
    pickMasks(ctx, cb);
    uint32_t all = channelUnion(ctx->visual);
    uint32_t flags = rasterOf(ctx).shadeFlags;
    cb->formatCode = kGlFormatNone;
    switch (cb->head.elementSize) {
    case 1:
        cb->storePixel = __glStoreRgbaPixel8;
        if (shiftsAre(cb, 5, 2, 0)) cb->formatCode = kGlFormatR3G3B2;
        break;
    case 2: pick16Store(cb); break;
    case 3:
        cb->storePixel = __glStoreRgbaPixel24;
        if (shiftsAre(cb, 16, 8, 0)) cb->formatCode = kGlFormatB8G8R8;
        cb->storeSpan = !(flags & (kGlShadeBlend | kGlShadeLogicOp)) && cb->writeMask == all ? __glStoreRgbaSpan24
                                                                                              : __glStoreRgbaSpan;
        break;
    case 4:
        if (ctx->visual.alphaMask != 0) {
            cb->storePixel = __glStoreRgbaPixel32Alpha;
        } else {
            cb->storePixel = __glStoreRgbaPixel32;
            if (shiftsAre(cb, 16, 8, 0)) cb->formatCode = kGlFormatX8R8G8B8;
        }
        break;
    default: break;  // other element sizes keep their store proc
    }
    if (cb->writeMask == all) {
        if (cb->head.descriptor != nullptr && cb->head.descriptor->fill != nullptr)
            cb->clear = __glClearRgbaBufferDevice;
        else if (cb->head.elementSize == 3)
            cb->clear = __glClearRgbaBuffer24;
        else
            cb->clear = __glClearRgbaBufferFill;
    } else {
        cb->clear = __glClearRgbaBuffer;
    }
}

void __glPickRgbaBufferProcs16(GlContext *ctx, GlColorBuffer *cb) {
    pickMasks(ctx, cb);
    uint32_t all = channelUnion(ctx->visual);
    uint32_t flags = rasterOf(ctx).shadeFlags;
    GlRasterInputs &in = inputsOf(ctx);
    cb->formatCode = kGlFormatNone;
    pick16Store(cb);
    cb->storeSpan = __glStoreRgbaSpan16;
    if (cb->writeMask != all) {
        cb->clear = __glClearRgbaBuffer;
        return;
    }
    if (!(flags & (kGlShadeBlend | kGlShadeLogicOp)))
        cb->storeSpan = (flags & kGlShadeDither) ? __glStoreRgbaSpan16FastDither : __glStoreRgbaSpan16Fast;
    const GlClipBox box = clipBoxOf(ctx);
    bool smallFront = cb == ctx->buffers.color.frontBuffer && box.x1 - box.x0 < 40 && box.y1 - box.y0 < 40;
    if (in.hwCannotDraw || smallFront) {
        bool device = cb->head.descriptor != nullptr && cb->head.descriptor->fill != nullptr;
        cb->clear = device ? __glClearRgbaBufferDevice : __glClearRgbaBufferFill;
    } else {
        cb->clear = __glHwClearColorBuffer;
    }
}
