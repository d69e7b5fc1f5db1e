// The readers that start a ReadPixels or CopyPixels chain: one framebuffer row into a row of
// floats (or full-range depth integers). Each reader is one instantiation of a column walk (every
// pixel, or the pixels a shrinking zoom keeps, following the run table) over a pixel kind.
#include <cstring>
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_ops_util.h"

namespace {

using namespace glpixel;

struct RgbaKind {
    GlColorBuffer *cb;
    float *out;
    RgbaKind(GlContext *ctx, void *o) : cb(ctx->buffers.color.readColorBuffer), out(static_cast<float *>(o)) {}
    bool ready() const { return cb != nullptr && cb->readPixel != nullptr && cb->head.base != nullptr; }
    void read(int32_t j, int32_t x, int32_t y) { cb->readPixel(cb, x, y, out + 4 * j); }
    // The whole row in one call.
    bool readRow(int32_t x, int32_t y, int32_t n) {
        if (cb->readSpan == nullptr) return false;
        cb->readSpan(cb, x, y, out, n);
        return true;
    }
    void zero(int32_t n) { std::memset(out, 0, size_t(n) * 16); }
};

struct IndexKind {
    GlColorBuffer *cb;
    float *out;
    IndexKind(GlContext *ctx, void *o) : cb(ctx->buffers.color.readColorBuffer), out(static_cast<float *>(o)) {}
    bool ready() const { return cb != nullptr && cb->readPixel != nullptr && cb->head.base != nullptr; }
    void read(int32_t j, int32_t x, int32_t y) {
        float px[4];
        cb->readPixel(cb, x, y, px);
        out[j] = px[0];
    }
    bool readRow(int32_t, int32_t, int32_t) { return false; }
    void zero(int32_t n) { std::memset(out, 0, size_t(n) * 4); }
};

// The depth buffer's fetch gives the window depth in units of (scale >> shift) for every kind,
// mirrored values already turned back, so one factor brings it to [0, 1].
struct DepthKind {
    GlDepthBuffer *db;
    float *out;
    float factor;
    DepthKind(GlContext *ctx, void *o) : db(&ctx->buffers.depth), out(static_cast<float *>(o)) {
        uint32_t far = db->scale >> db->shift;
        factor = far != 0 ? 1.0f / float(far) : 0.0f;
    }
    bool ready() const { return db->fetch != nullptr && db->head.base != nullptr; }
    void read(int32_t j, int32_t x, int32_t y) { out[j] = float(db->fetch(db, x, y)) * factor; }
    bool readRow(int32_t, int32_t, int32_t) { return false; }
    void zero(int32_t n) { std::memset(out, 0, size_t(n) * 4); }
};

// Full-range integers: depth 1.0 reads 0xFFFFFFFF (the stored bits replicated downwards), as
// GL_UNSIGNED_INT depth should.
struct DepthShiftedKind {
    GlDepthBuffer *db;
    uint32_t *out;
    uint32_t far;
    DepthShiftedKind(GlContext *ctx, void *o)
        : db(&ctx->buffers.depth), out(static_cast<uint32_t *>(o)), far(db->scale >> db->shift) {}
    bool ready() const { return db->fetch != nullptr && db->head.base != nullptr && far != 0; }
    void read(int32_t j, int32_t x, int32_t y) {
        uint64_t v = db->fetch(db, x, y);
        if (v > far) v = far;
        out[j] = uint32_t((v * 0xFFFFFFFFull + far / 2) / far);
    }
    bool readRow(int32_t, int32_t, int32_t) { return false; }
    void zero(int32_t n) { std::memset(out, 0, size_t(n) * 4); }
};

struct StencilKind {
    GlStencilBuffer *sb;
    float *out;
    StencilKind(GlContext *ctx, void *o) : sb(&ctx->buffers.stencil), out(static_cast<float *>(o)) {}
    bool ready() const { return sb->fetch != nullptr && sb->head.base != nullptr; }
    void read(int32_t j, int32_t x, int32_t y) { out[j] = float(sb->fetch(sb, x, y)); }
    bool readRow(int32_t, int32_t, int32_t) { return false; }
    void zero(int32_t n) { std::memset(out, 0, size_t(n) * 4); }
};

template <class K, bool Zoomed>
void readRow(GlContext *ctx, GlPixelSpan *s, void *out) {
    K k(ctx, out);
    int32_t n = Zoomed ? __glSpanPixelCount(s) : s->width;
    if (n > kGlPixelRowPixels) n = kGlPixelRowPixels;
    if (n <= 0) return;
    if (!k.ready()) {
        k.zero(n);
        return;
    }
    int32_t x = truncInt(s->readX);
    const int32_t y = truncInt(s->readY);
    if constexpr (Zoomed) {
        for (int32_t j = 0; j < n; ++j) {
            k.read(j, x, y);
            x += s->runTable[j];
        }
    } else {
        if (k.readRow(x, y, n)) return;
        for (int32_t j = 0; j < n; ++j) k.read(j, x + j, y);
    }
}

}  // namespace

void __glReadRGBASpanZoomed(GlContext *ctx, GlPixelSpan *s, void *o) { readRow<RgbaKind, true>(ctx, s, o); }
void __glReadRGBASpan(GlContext *ctx, GlPixelSpan *s, void *o) { readRow<RgbaKind, false>(ctx, s, o); }
void __glReadIndexSpanZoomed(GlContext *ctx, GlPixelSpan *s, void *o) { readRow<IndexKind, true>(ctx, s, o); }
void __glReadIndexSpan(GlContext *ctx, GlPixelSpan *s, void *o) { readRow<IndexKind, false>(ctx, s, o); }
void __glReadDepthSpanZoomed(GlContext *ctx, GlPixelSpan *s, void *o) { readRow<DepthKind, true>(ctx, s, o); }
void __glReadDepthSpan(GlContext *ctx, GlPixelSpan *s, void *o) { readRow<DepthKind, false>(ctx, s, o); }
void __glReadDepthSpanShifted(GlContext *ctx, GlPixelSpan *s, void *o) { readRow<DepthShiftedKind, false>(ctx, s, o); }
void __glReadStencilSpanZoomed(GlContext *ctx, GlPixelSpan *s, void *o) { readRow<StencilKind, true>(ctx, s, o); }
void __glReadStencilSpan(GlContext *ctx, GlPixelSpan *s, void *o) { readRow<StencilKind, false>(ctx, s, o); }
