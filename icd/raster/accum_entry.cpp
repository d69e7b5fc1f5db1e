// glAccum, and the return of accumulation rows into a colour buffer.
#include "icd/raster/accum.h"
#include "icd/raster/raster.h"
#include "icd/raster/raster_state.h"
#include "icd/core/context.h"
#include "icd/core/core.h"
#include "icd/core/gl_entries.h"
#include "icd/core/state_entries.h"

using namespace glraster;

namespace {

// Blending is switched off (and the procs picked for that) around a return, and put back.
void setEnables(GlContext *ctx, uint32_t enables) {
    ctx->state.enable.enables = enables;
    ctx->beginMode = kGlNeedValidate;
    ctx->dirtyMask |= kGlDirtyGeneral;
    if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
}

}  // namespace

// Each entry times the return factor gives a colour, clamped to the channel's range; it then goes
// through the buffer's store, so dithering, the logic op and the write mask apply, blending not.
void __glStoreAccumRow(GlColorBuffer *cb, int32_t x, int32_t y, const int16_t *entries, float value, int32_t n) {
    GlContext *ctx = cb->head.context;
    if (ctx == nullptr) return;
    const uint32_t enables = ctx->state.enable.enables;
    const bool blending = (enables & kGlEnableBlend) != 0;
    if (blending) setEnables(ctx, enables & ~kGlEnableBlend);
    const GlAccumBuffer &ab = ctx->buffers.accum;
    const float back[4] = {ab.returnScaleR, ab.returnScaleG, ab.returnScaleB, ab.returnScaleA};
    const float limit[4] = {cb->redScale, cb->greenScale, cb->blueScale, cb->alphaScale};
    float f[4];
    for (int c = 0; c < 4; ++c) f[c] = value * back[c];
    GlFragment frag{x, y, 0, {0, 0, 0, 0}};
    for (int32_t i = 0; i < n; ++i, entries += 4) {
        frag.x = x + i;
        for (int c = 0; c < 4; ++c) {
            const float v = float(entries[c]) * f[c];
            frag.color[c] = v > 0.0f ? (v < limit[c] ? v : limit[c]) : 0.0f;
        }
        cb->storePixel(cb, &frag);
    }
    if (blending) setEnables(ctx, enables);
}

namespace icd {

void APIENTRY glAccum(GLenum op, GLfloat value) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    if (ctx->beginMode == kGlNeedValidate) {
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
        return __glDispatchAccum(op, value);
    }
    GlAccumBuffer *ab = &ctx->buffers.accum;
    // A visual without accumulation bits has no buffer; neither has a colour-index one.
    if (!ctx->visual.hasAccum || !ctx->visual.rgbaMode || ctx->buffers.heads.accum == nullptr)
        return __glSetError(GL_INVALID_OPERATION);
    GlAccumOpProc proc;
    switch (op) {
    case GL_ACCUM: proc = ab->accumulate; break;
    case GL_LOAD: proc = ab->load; break;
    case GL_RETURN: proc = ab->ret; break;
    case GL_MULT: proc = ab->mult; break;
    case GL_ADD: proc = ab->add; break;
    default: return __glSetError(GL_INVALID_ENUM);
    }
    if (ctx->renderMode != GL_RENDER) return;
    if (ab->head.context == nullptr) return;  // not attached to a drawable: nothing to work on
    proc(ab, value);
}

}  // namespace icd
