// The renderers that end a DrawPixels or CopyPixels chain: one source row becomes fragments (or
// stencil values) over the destination rows and columns it covers under the zoom. Every renderer
// is one instantiation of a row loop over a pixel kind (what a source pixel decodes to and how it
// is put at one destination pixel) and the zoom form (run table or one column per pixel).
#include <cmath>
#include <cstring>
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_state.h"
#include "icd/pixel/pixel_ops_util.h"

namespace {

using namespace glpixel;

// ---- fragment kinds -------------------------------------------------------------------------------
// The fragment fields that stay the same along a row are set once; load(j) sets the colour or depth
// of source pixel j, put(x, y) hands the fragment at one destination pixel to the store.
struct FragmentSink {
    GlColorBuffer *cb;
    GlFragmentStoreProc store;
    GlFragment frag;
    FragmentSink(GlContext *ctx, const GlPixelSpan *s) : cb(fragmentTarget(ctx)), store(pixelFragmentStore(ctx)) {
        frag.x = frag.y = 0;
        frag.z = s->fragmentZ;
        frag.color[0] = frag.color[1] = frag.color[2] = frag.color[3] = 0.0f;
    }
    bool ready() const { return cb != nullptr && store != nullptr; }
    void put(int32_t x, int32_t y) {
        frag.x = x;
        frag.y = y;
        store(cb, &frag);
    }
};

struct RgbaFloat : FragmentSink {
    const float *row;
    RgbaFloat(GlContext *ctx, const GlPixelSpan *s, const void *r) : FragmentSink(ctx, s), row(static_cast<const float *>(r)) {}
    void load(int32_t j) { std::memcpy(frag.color, row + 4 * j, 16); }
};

struct IndexFloat : FragmentSink {
    const float *row;
    uint32_t mask;
    IndexFloat(GlContext *ctx, const GlPixelSpan *s, const void *r)
        : FragmentSink(ctx, s), row(static_cast<const float *>(r)), mask(indexMask(ctx)) {}
    void load(int32_t j) { frag.color[0] = float(uint32_t(truncInt(row[j])) & mask); }
};

// Depth in [0, 1] becomes the fragment depth of the buffer (before its shift), mirrored where the
// buffer stores 1 - d; the colour is the raster colour.
struct DepthFloat : FragmentSink {
    const float *row;
    double scale;
    bool mirror;
    DepthFloat(GlContext *ctx, const GlPixelSpan *s, const void *r)
        : FragmentSink(ctx, s), row(static_cast<const float *>(r)), scale(double(ctx->buffers.depth.scale)),
          mirror(ctx->buffers.depth.mirror != 0) {
        rasterColorInBufferUnits(ctx, frag.color);
    }
    void load(int32_t j) {
        double d = row[j];
        d = d > 0.0 ? (d < 1.0 ? d : 1.0) : 0.0;  // NaN -> 0
        if (mirror) d = 1.0 - d;
        frag.z = truncDepth(scale * d);
    }
};

struct TableBytes {
    const float *red, *green, *blue, *alpha, *index;
    explicit TableBytes(GlContext *ctx) {
        const GlPixelTables &t = ctx->state.pixel.tables;
        red = t.currentRed;
        green = t.currentGreen;
        blue = t.currentBlue;
        alpha = t.currentAlpha;
        index = t.currentIndex;
    }
};

struct RgbUbyte : FragmentSink {
    const uint8_t *row;
    TableBytes t;
    RgbUbyte(GlContext *ctx, const GlPixelSpan *s, const void *r)
        : FragmentSink(ctx, s), row(static_cast<const uint8_t *>(r)), t(ctx) {
        frag.color[3] = t.alpha[255];
    }
    void load(int32_t j) {
        const uint8_t *p = row + 3 * j;
        frag.color[0] = t.red[p[0]];
        frag.color[1] = t.green[p[1]];
        frag.color[2] = t.blue[p[2]];
    }
};

struct RgbaUbyte : FragmentSink {
    const uint8_t *row;
    TableBytes t;
    RgbaUbyte(GlContext *ctx, const GlPixelSpan *s, const void *r)
        : FragmentSink(ctx, s), row(static_cast<const uint8_t *>(r)), t(ctx) {}
    void load(int32_t j) {
        const uint8_t *p = row + 4 * j;
        frag.color[0] = t.red[p[0]];
        frag.color[1] = t.green[p[1]];
        frag.color[2] = t.blue[p[2]];
        frag.color[3] = t.alpha[p[3]];
    }
};

struct IndexUbyte : FragmentSink {
    const uint8_t *row;
    TableBytes t;
    IndexUbyte(GlContext *ctx, const GlPixelSpan *s, const void *r)
        : FragmentSink(ctx, s), row(static_cast<const uint8_t *>(r)), t(ctx) {}
    void load(int32_t j) { frag.color[0] = t.index[row[j]]; }
};

struct IndexToRgbaUbyte : FragmentSink {
    const uint8_t *row;
    TableBytes t;
    IndexToRgbaUbyte(GlContext *ctx, const GlPixelSpan *s, const void *r)
        : FragmentSink(ctx, s), row(static_cast<const uint8_t *>(r)), t(ctx) {}
    void load(int32_t j) {
        const uint8_t b = row[j];
        frag.color[0] = t.red[b];
        frag.color[1] = t.green[b];
        frag.color[2] = t.blue[b];
        frag.color[3] = t.alpha[b];
    }
};

template <class T>
struct IndexInteger : FragmentSink {
    const T *row;
    uint32_t mask;
    IndexInteger(GlContext *ctx, const GlPixelSpan *s, const void *r)
        : FragmentSink(ctx, s), row(static_cast<const T *>(r)), mask(indexMask(ctx)) {}
    void load(int32_t j) { frag.color[0] = float(uint32_t(row[j]) & mask); }
};

// Full-range 32-bit depth scaled onto the buffer's depth range (far = the buffer's scale), so a
// value drawn reads back as itself whatever the buffer's kind.
struct DepthUint : FragmentSink {
    const uint32_t *row;
    uint32_t scale;
    bool mirror;
    DepthUint(GlContext *ctx, const GlPixelSpan *s, const void *r)
        : FragmentSink(ctx, s), row(static_cast<const uint32_t *>(r)), scale(ctx->buffers.depth.scale),
          mirror(ctx->buffers.depth.mirror != 0) {
        rasterColorInBufferUnits(ctx, frag.color);
    }
    void load(int32_t j) {
        uint32_t v = mirror ? ~row[j] : row[j];
        frag.z = depthFromFullRange(v, scale);
    }
};

// ---- stencil kinds ------------------------------------------------------------------------------------
// Stencil rows go straight into the stencil buffer, cut to the stencil bits and the write mask.
struct StencilSink {
    GlStencilBuffer *sb;
    uint32_t bits, writeMask, value = 0;
    GlClipBox box;
    StencilSink(GlContext *ctx, const GlPixelSpan *)
        : sb(&ctx->buffers.stencil), box(glraster::clipBoxOf(ctx)) {
        int32_t n = ctx->visual.stencilBits;
        bits = n <= 0 ? 0u : (n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1u);
        writeMask = ctx->state.mode.stencilWriteMask & bits;
    }
    bool ready() const { return sb->store != nullptr && sb->head.base != nullptr; }
    void put(int32_t x, int32_t y) {
        if (x < box.x0 || x >= box.x1 || y < box.y0 || y >= box.y1) return;
        uint32_t v = value;
        if (writeMask != bits && sb->fetch != nullptr) v = (sb->fetch(sb, x, y) & ~writeMask) | (v & writeMask);
        sb->store(sb, x, y, v);
    }
};

struct StencilFloat : StencilSink {
    const float *row;
    StencilFloat(GlContext *ctx, const GlPixelSpan *s, const void *r) : StencilSink(ctx, s), row(static_cast<const float *>(r)) {}
    void load(int32_t j) { value = uint32_t(truncInt(row[j])) & bits; }
};

template <class T>
struct StencilInteger : StencilSink {
    const T *row;
    StencilInteger(GlContext *ctx, const GlPixelSpan *s, const void *r) : StencilSink(ctx, s), row(static_cast<const T *>(r)) {}
    void load(int32_t j) { value = uint32_t(row[j]) & bits; }
};

// ---- the row loop -------------------------------------------------------------------------------------
// Draws the destination rows from currentRow up to (not including) the row where the next source
// row starts, within the row budget. A row whose destination rows all lie behind currentRow (a
// shrinking y zoom) draws nothing.
template <class K, bool Zoomed>
int32_t renderRows(GlContext *ctx, GlPixelSpan *s, const void *row) {
    const int32_t end = truncInt(double(s->rowY) + double(s->zoomY));
    const int32_t ys = s->yStep >= 0 ? 1 : -1;
    const int32_t xs = s->xStep >= 0 ? 1 : -1;
    int32_t y = s->currentRow, left = s->rowsLeft;
    if (int64_t(end - y) * ys > 0 && left > 0) {
        K k(ctx, s, row);
        if (k.ready()) {
            int32_t n = Zoomed ? s->width : __glSpanPixelCount(s);
            if (!Zoomed && n > s->dstWidth) n = s->dstWidth;
            if (n > kGlPixelRowPixels) n = kGlPixelRowPixels;
            while (int64_t(end - y) * ys > 0 && left > 0) {
                --left;
                int32_t x = s->startColumn;
                for (int32_t j = 0; j < n; ++j) {
                    k.load(j);
                    if constexpr (Zoomed) {
                        int32_t m = s->runTable[j] * xs;  // columns of this pixel
                        for (; m > 0; --m, x += xs) k.put(x, y);
                    } else {
                        k.put(x, y);
                        x += xs;
                    }
                }
                y += ys;
            }
        } else {
            // Nothing to draw into: the budget is still spent row by row.
            while (int64_t(end - y) * ys > 0 && left > 0) --left, y += ys;
        }
    }
    s->rowsLeft = left;
    if (int64_t(end - s->currentRow) * ys >= 0) s->currentRow = end;
    return left;
}

}  // namespace

#define KIV_RENDERER_PAIR(name, Kind)                                                                      \
    int32_t name##Zoomed(GlContext *ctx, GlPixelSpan *s, const void *r) { return renderRows<Kind, true>(ctx, s, r); } \
    int32_t name(GlContext *ctx, GlPixelSpan *s, const void *r) { return renderRows<Kind, false>(ctx, s, r); }
KIV_RENDERER_PAIR(__glRenderRGBASpan, RgbaFloat)
KIV_RENDERER_PAIR(__glRenderIndexSpan, IndexFloat)
KIV_RENDERER_PAIR(__glRenderDepthSpan, DepthFloat)
KIV_RENDERER_PAIR(__glRenderStencilSpan, StencilFloat)
KIV_RENDERER_PAIR(__glRenderRGBUbyte, RgbUbyte)
KIV_RENDERER_PAIR(__glRenderRGBAUbyte, RgbaUbyte)
KIV_RENDERER_PAIR(__glRenderIndexUbyte, IndexUbyte)
KIV_RENDERER_PAIR(__glRenderIndexToRGBAUbyte, IndexToRgbaUbyte)
KIV_RENDERER_PAIR(__glRenderIndexUshort, IndexInteger<uint16_t>)
KIV_RENDERER_PAIR(__glRenderIndexUint, IndexInteger<uint32_t>)
KIV_RENDERER_PAIR(__glRenderDepthUint, DepthUint)
KIV_RENDERER_PAIR(__glRenderStencilUbyte, StencilInteger<uint8_t>)
KIV_RENDERER_PAIR(__glRenderStencilUshort, StencilInteger<uint16_t>)
#undef KIV_RENDERER_PAIR

void __glStoreFragmentTextureFog(GlColorBuffer *cb, const GlFragment *frag) {
    GlContext *ctx = cb->head.context;
    GlFragment copy = *frag;
    const GlVertex &rp = ctx->current.vertex.rasterPos;
    if (__glShadeFlags(ctx) & kGlShadeTexture) {
        GlTextureApplyProc apply = ctx->state.span.inputs.textureApply;
        const float *tc = ctx->current.rasterTexCoord;
        const float q = tc[3] != 0.0f ? tc[3] : 1.0f;  // q = 0 would send infinities into the sampler
        if (apply != nullptr) apply(ctx, copy.color, tc[0] / q, tc[1] / q, 1.0f);
    }
    if (ctx->state.enable.enables & kGlEnableFog) {
        auto fog = ctx->state.pick.fragmentFog;
        if (fog != nullptr) fog(ctx, &copy, rp.eye[2]);
    }
    plainFragmentStore(ctx)(cb, &copy);
}
