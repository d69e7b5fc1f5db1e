// glClear, and the OpenGL defaults of the state the state-setting entries keep.
#include <cstring>
#include <initializer_list>
#include "icd/core/state_entries_util.h"

using namespace glstate;

namespace {

constexpr GLbitfield kClearBits = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_ACCUM_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;

// Buffer bits of the software buffers.
constexpr uint32_t kBufferFront = 0x1;
constexpr uint32_t kBufferBack = 0x4;
constexpr uint32_t kBufferAccum = 0x10;
constexpr uint32_t kBufferDepth = 0x20;
constexpr uint32_t kBufferStencil = 0x40;

void setColor(float out[4], float r, float g, float b, float a) {
    out[0] = r;
    out[1] = g;
    out[2] = b;
    out[3] = a;
}

}  // namespace

GlLightSource *__glLightSources(GlContext *ctx) { return reinterpret_cast<GlLightSource *>(ctx->arrays.lightSources); }

void __glSetStateDefaults(GlContext *ctx) {
    GlStateAreas &s = ctx->state;
    std::memset(&s.enable, 0, sizeof(s.enable));
    s.enable.enables = kGlEnableDither;
    std::memset(&s.unitSelect, 0, sizeof(s.unitSelect));

    GlColorBufferState &c = s.color;
    std::memset(&c, 0, sizeof(c));
    c.blendSrcFactor = GL_ONE;
    c.blendDstFactor = GL_ZERO;
    c.drawBufferRequested = s.mode.drawBuffer;
    std::memset(c.colorMask, 1, sizeof(c.colorMask));
    c.indexMask = maskOfBits(ctx->visual.indexBits);

    std::memset(&s.depthStencil, 0, sizeof(s.depthStencil));
    s.depthStencil.depthWriteMask = 1;

    const GlLimits &l = ctx->limits;
    s.line.lineStipplePattern = 0xFFFF;
    s.line.lineStippleRepeat = 1;
    s.line.lineWidthRequested = 1.0f;
    s.line.lineWidth = quantise(1.0f, l.lineWidthMin, l.lineWidthMax, l.lineWidthGranularity);
    s.line.lineWidthInt = 1;

    GlPointState &p = s.point;
    p.pointSizeRequested = 1.0f;
    p.pointSize = quantise(1.0f, l.pointSizeMin, l.pointSizeMax, l.pointSizeGranularity);
    p.pointSizeInt = 1;
    p.pointSizeMin = 0.0f;
    p.pointSizeMax = l.pointSizeMax;
    p.pointFadeThreshold = 1.0f;
    p.pointAttenuation[0] = 1.0f;
    p.pointAttenuation[1] = p.pointAttenuation[2] = 0.0f;

    s.polygonOffset.offsetFactor = s.polygonOffset.offsetUnits = 0.0f;

    GlFogState &f = s.fog;
    std::memset(&f, 0, sizeof(f));
    f.fogMode = GL_EXP;
    f.fogDensity = 1.0f;
    f.fogEnd = 1.0f;
    f.fogOneOverEndMinusStart = 1.0f;

    GlCullVertexState &cv = s.cullVertex;
    std::memset(&cv, 0, sizeof(cv));
    cv.cullVertexEyePosition[2] = cv.cullVertexObjectPosition[2] = 1.0f;

    std::memset(&s.arrayEnable, 0, sizeof(s.arrayEnable));
    std::memset(&s.need, 0, sizeof(s.need));

    // Colours in [0, 1]: the first make-current converts them to colour-buffer units.
    GlLightingState &lit = s.lighting;
    std::memset(&lit, 0, sizeof(lit));
    setColor(lit.lightModel.ambient, 0.2f, 0.2f, 0.2f, 1.0f);
    for (GlMaterial *m : {&lit.frontMaterial, &lit.backMaterial}) {
        setColor(m->ambient, 0.2f, 0.2f, 0.2f, 1.0f);
        setColor(m->diffuse, 0.8f, 0.8f, 0.8f, 1.0f);
        setColor(m->specular, 0.0f, 0.0f, 0.0f, 1.0f);
        setColor(m->emission, 0.0f, 0.0f, 0.0f, 1.0f);
        m->diffuseIndex = m->specularIndex = 1.0f;
    }
    GlLightSource *lights = __glLightSources(ctx);
    for (int i = 0; lights != nullptr && i < l.maxLights; ++i) {
        GlLightSource &light = lights[i];
        std::memset(&light, 0, sizeof(light));
        float on = i == 0 ? 1.0f : 0.0f;
        setColor(light.ambient, 0.0f, 0.0f, 0.0f, 1.0f);
        setColor(light.diffuse, on, on, on, 1.0f);
        setColor(light.specular, on, on, on, 1.0f);
        setColor(light.position, 0.0f, 0.0f, 1.0f, 0.0f);
        setColor(light.eyePosition, 0.0f, 0.0f, 1.0f, 0.0f);
        setColor(light.spotDirection, 0.0f, 0.0f, -1.0f, 0.0f);
        light.spotCutoff = 180.0f;
        light.constantAttenuation = 1.0f;
    }
}

namespace icd {

void APIENTRY glClear(GLbitfield mask) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    if (ctx->beginMode == kGlNeedValidate) {
        // Validation may install the device's own clear in the live table: go through it.
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
        return __glDispatchClear(mask);
    }
    if (mask & ~kClearBits) return __glSetError(GL_INVALID_VALUE);
    if (ctx->renderMode != GL_RENDER) return;
    const GlVisual &v = ctx->visual;
    // Only the buffers the mask names, and only those the visual has.
    if (mask & GL_COLOR_BUFFER_BIT) {
        switch (ctx->state.mode.drawBuffer) {
        case GL_FRONT: __glClearBuffer(ctx, kBufferFront); break;
        case GL_BACK:
            if (v.doubleBuffer) __glClearBuffer(ctx, kBufferBack);
            break;
        case GL_FRONT_AND_BACK:
            __glClearBuffer(ctx, kBufferFront);
            if (v.doubleBuffer) __glClearBuffer(ctx, kBufferBack);
            break;
        default: break;
        }
    }
    if ((mask & GL_ACCUM_BUFFER_BIT) && v.hasAccum) __glClearBuffer(ctx, kBufferAccum);
    if ((mask & GL_STENCIL_BUFFER_BIT) && v.hasStencil) __glClearBuffer(ctx, kBufferStencil);
    if ((mask & GL_DEPTH_BUFFER_BIT) && v.hasDepth) __glClearBuffer(ctx, kBufferDepth);
}

}  // namespace icd
