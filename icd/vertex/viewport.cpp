// The viewport transform with the window bias, the depth range, window unbiasing and the clip
// box from the scissor box and the drawable.
#include <cstdint>
#include "icd/core/core.h"
#include "icd/core/drawable.h"
#include "icd/vertex/transform_state.h"

// Window x and y carry the bias, and +0.5 puts pixel centres on integers + 0.5. A drawable
// whose rows run top-down mirrors y about its height.
void __glApplyViewport(GlContext *ctx) {
    GlTransformState &s = ctx->state.transform;
    GlViewport &v = s.viewport;
    const GlLimits &l = ctx->limits;
    float halfWidth = float(v.width) * 0.5f, halfHeight = float(v.height) * 0.5f;
    v.xScale = halfWidth;
    v.xCenter = halfWidth + float(v.x) + l.biasXf + 0.5f;
    if (!s.drawable.yInverted) {
        v.yScale = halfHeight;
        v.yCenter = halfHeight + float(v.y) + l.biasYf + 0.5f;
    } else {
        v.yScale = -halfHeight;
        v.yCenter = l.biasYf + float(s.drawable.height) - ctx->roundingEpsilon - (halfHeight + float(v.y)) + 0.5f;
    }
    __glComputeViewportBounds(ctx);
}

// The default apply-viewport proc: take the drawable's size and row order, then apply.
void __glApplyViewportToDrawable(GlContext *ctx) {
    GlDrawableExtent &d = ctx->state.transform.drawable;
    int32_t width = 0, height = 0;
    if (ctx->hostProcs.getDrawableSize != nullptr) ctx->hostProcs.getDrawableSize(ctx, &width, &height);
    d.width = width;
    d.height = height;
    GlDrawableBuffers *rec = ctx->hostProcs.getDrawableInfo != nullptr ? ctx->hostProcs.getDrawableInfo(ctx) : nullptr;
    if (rec != nullptr) d.yInverted = rec->topDown != 0;
    __glApplyViewport(ctx);
}

void __glSetDepthRange(GlContext *ctx, double zNear, double zFar) {
    auto clamp01 = [](double v) { return v >= 0.0 ? (v <= 1.0 ? v : 1.0) : 0.0; };  // NaN -> 0
    GlTransformState &s = ctx->state.transform;
    s.depthNear = clamp01(zNear);
    s.depthFar = clamp01(zFar);
    __glUpdateDepthRange(ctx);
}

// Re-applies the stored range to the depth buffer's scale and epoch.
void __glUpdateDepthRange(GlContext *ctx) {
    GlTransformState &s = ctx->state.transform;
    double half = double(__glDepthBufferScale(ctx)) * 0.5;
    double n = s.depthNear, f = s.depthFar;
    if (__glDepthBufferInverted(ctx)) {
        n = 1.0 - n;
        f = 1.0 - f;
    }
    s.viewport.zScale = float(half * (f - n));
    s.viewport.zCenter = float(half * (f + n));
}

float __glUnbiasWindowX(GlContext *ctx, float v) { return v - 0.5f - ctx->limits.biasXf; }

float __glUnbiasWindowY(GlContext *ctx, float v) {
    const GlTransformState &s = ctx->state.transform;
    float w = v - 0.5f;
    if (!s.drawable.yInverted) return w - ctx->limits.biasYf;
    return float(s.drawable.height) - ctx->roundingEpsilon - (w - ctx->limits.biasYf);
}

// The box drawing is limited to: the scissor box within the drawable when the scissor test is
// on, else the whole drawable. Edges are formed in 64 bits so that huge boxes cannot wrap.
void __glUpdateClipBox(GlContext *ctx) {
    if (ctx->slots.computeClipBox != nullptr)
        ctx->slots.computeClipBox(ctx);
    else
        __glComputeClipBox(ctx);
}

void __glComputeClipBox(GlContext *ctx) {
    GlTransformState &s = ctx->state.transform;
    int64_t width = s.drawable.width, height = s.drawable.height;
    int64_t x0 = 0, y0 = 0, x1 = width, y1 = height;
    if (ctx->state.enable.enables & kGlEnableScissorTest) {
        x0 = s.scissorX, y0 = s.scissorY;
        x1 = x0 + s.scissorWidth, y1 = y0 + s.scissorHeight;
        if (x1 >= 0 && y1 >= 0 && x0 < x1 && y0 < y1 && x0 < width && y0 < height) {
            auto clamp = [](int64_t v, int64_t hi) { return v < 0 ? 0 : (v > hi ? hi : v); };
            x0 = clamp(x0, width), x1 = clamp(x1, width);
            y0 = clamp(y0, height), y1 = clamp(y1, height);
        } else {
            x0 = y0 = x1 = y1 = 0;
        }
    }
    if (s.drawable.yInverted) {
        int64_t top = height - y1, bottom = height - y0;
        y0 = top, y1 = bottom;
    }
    GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    if (rec != nullptr && rec->setClipBounds != nullptr)
        rec->setClipBounds(rec, int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0));
    s.clipBoxX0 = int32_t(x0) + ctx->limits.biasX;
    s.clipBoxY0 = int32_t(y0) + ctx->limits.biasY;
    s.clipBoxX1 = int32_t(x1) + ctx->limits.biasX;
    s.clipBoxY1 = int32_t(y1) + ctx->limits.biasY;
}
