// GL_SELECT: the render procs that record hits, the hit records themselves (name count, depth
// range, names), glSelectBuffer and the name stack.
#include "icd/core/state_entries_util.h"
#include "icd/core/drawable.h"
#include "icd/vertex/feedback.h"

using namespace glstate;

namespace {

inline GlSelectBuffer &sel(GlContext *ctx) { return ctx->state.select; }

// One word into the selection buffer; false (and the buffer marked full) when it does not fit.
bool put(GlSelectBuffer &s, uint32_t word) {
    if (s.writePtr >= s.base + s.size) {
        s.overflow = 1;
        s.writePtr = s.base + s.size;
        return false;
    }
    *s.writePtr++ = word;
    return true;
}

// A window depth as a selection word: 0 at the near plane up to about 2^32 - 1 at the far
// plane whatever the depth buffer's width. The product is clamped before the conversion, so a
// far-plane depth that rounds up to 2^32 stays the largest word instead of wrapping.
uint32_t depthWord(GlContext *ctx, float z) {
    const double scale = __glDepthBufferScale(ctx);
    double d = z;
    if (__glDepthBufferInverted(ctx)) d = scale - d;
    const double w = scale >= 4294967295.0 ? d : d * (4294964992.0 / scale);
    if (!(w > 0.0)) return 0;
    if (w >= 4294967295.0) return 0xFFFFFFFFu;
    return uint32_t(w);
}

void hitVertex(GlContext *ctx, const GlVertex *v) { __glSelectHit(ctx, v->window[2]); }

// The name-stack commands: an error inside glBegin/glEnd, nothing outside GL_SELECT.
GlContext *nameStackContext() {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr || ctx->renderMode != GL_SELECT) return nullptr;
    return ctx;
}

int32_t nameStackCapacity(const GlContext *ctx) {
    int32_t depth = ctx->limits.maxNameStackDepth;
    return depth > 0 && depth <= 128 ? depth : 128;  // the block allocated at context creation
}

}  // namespace

void __glSelectHit(GlContext *ctx, float z) {
    GlSelectBuffer &s = sel(ctx);
    if (s.overflow) return;
    const uint32_t word = depthWord(ctx, z);
    if (s.hitOpen) {
        uint32_t *mm = s.openHitMinMax;
        if (word < mm[0]) mm[0] = word;
        if (word > mm[1]) mm[1] = word;
        return;
    }
    s.hitOpen = 1;
    if (!put(s, uint32_t(s.nameStackTop - s.nameStackBase))) return;
    s.hitCount += 1;
    s.openHitMinMax = s.writePtr;
    if (!put(s, word) || !put(s, word)) return;
    for (const uint32_t *name = s.nameStackBase; name < s.nameStackTop; ++name)
        if (!put(s, *name)) return;
}

void __glSelectPoint(GlContext *ctx, GlVertex *v) { hitVertex(ctx, v); }

void __glSelectLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
    hitVertex(ctx, a);
    hitVertex(ctx, b);
}

void __glSelectTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    if (ctx->state.enable.enables & kGlEnableCullFace) {
        const float area = (a->window[0] - c->window[0]) * (b->window[1] - c->window[1]) -
                           (b->window[0] - c->window[0]) * (a->window[1] - c->window[1]);
        const GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
        const bool yInverted = rec != nullptr && rec->topDown != 0;
        const bool ccwFront = ctx->state.mode.frontFace == GL_CCW;
        const bool front = (area >= 0.0f) != (ccwFront == yInverted);
        switch (ctx->state.mode.cullFace) {
        case GL_FRONT_AND_BACK: return;
        case GL_FRONT:
            if (front) return;
            break;
        default:
            if (!front) return;
            break;
        }
    }
    hitVertex(ctx, a);
    hitVertex(ctx, b);
    hitVertex(ctx, c);
}

namespace icd {

void APIENTRY glSelectBuffer(GLsizei size, GLuint *buffer) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (size < 0) return __glSetError(GL_INVALID_VALUE);
    if (ctx->renderMode == GL_SELECT) return __glSetError(GL_INVALID_OPERATION);
    GlSelectBuffer &s = sel(ctx);
    s.overflow = 0;
    s.base = s.writePtr = buffer;
    s.size = size;
}

// Every change of the name stack closes the open hit; a refused command changes nothing.
void APIENTRY glInitNames(void) {
    GlContext *ctx = nameStackContext();
    if (ctx == nullptr) return;
    GlSelectBuffer &s = sel(ctx);
    s.nameStackTop = s.nameStackBase;
    s.hitOpen = 0;
}

void APIENTRY glLoadName(GLuint name) {
    GlContext *ctx = nameStackContext();
    if (ctx == nullptr) return;
    GlSelectBuffer &s = sel(ctx);
    if (s.nameStackTop == s.nameStackBase) return __glSetError(GL_INVALID_OPERATION);
    s.nameStackTop[-1] = name;
    s.hitOpen = 0;
}

void APIENTRY glPushName(GLuint name) {
    GlContext *ctx = nameStackContext();
    if (ctx == nullptr) return;
    GlSelectBuffer &s = sel(ctx);
    if (s.nameStackTop - s.nameStackBase >= nameStackCapacity(ctx)) return __glSetError(GL_STACK_OVERFLOW);
    *s.nameStackTop++ = name;
    s.hitOpen = 0;
}

void APIENTRY glPopName(void) {
    GlContext *ctx = nameStackContext();
    if (ctx == nullptr) return;
    GlSelectBuffer &s = sel(ctx);
    if (s.nameStackTop == s.nameStackBase) return __glSetError(GL_STACK_UNDERFLOW);
    --s.nameStackTop;
    s.hitOpen = 0;
}

}  // namespace icd
