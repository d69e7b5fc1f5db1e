// A context made through the driver with an RGBA colour buffer, a depth buffer of a chosen kind
// and a stencil buffer, all attached to plain memory.
#pragma once
#include <cstdlib>
#include "tests/icd_raster/raster_fixture.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/stencil_buffer.h"
#include "icd/core/services.h"

class DepthTest : public RasterTest {
protected:
    PlainMemory depthMem, stencilMem;
    int width = 0, height = 0;

    void TearDown() override {
        dropDepthSave();
        // The stencil buffer is built here, not named by the context's heads: its tables are
        // given back here too.
        if (ctx != nullptr) __glReleaseStencilTables(&sb().head, ctx);
        RasterTest::TearDown();
    }
    void dropDepthSave() {
        if (depthMem.desc.depthSave != nullptr) ctx->hostProcs.free(ctx, depthMem.desc.depthSave);
        depthMem.desc.depthSave = nullptr;
    }

    GlDepthBuffer &db() { return ctx->buffers.depth; }
    GlStencilBuffer &sb() { return ctx->buffers.stencil; }
    GlModeState &mode() { return ctx->state.mode; }

    // Builds the buffers over a w x h drawable; kind 16, 24 or 32. The 24-bit kind is left as a
    // drawable's first attach leaves it: resized, so the first clear is a full one.
    void build(int kind, int w = 16, int h = 8, int stencilBits = 8) {
        width = w;
        height = h;
        attach(kX8R8G8B8, w, h);
        ctx->state.transform.drawable.width = w;
        ctx->state.transform.drawable.height = h;
        ctx->visual.stencilBits = stencilBits;
        ctx->visual.depthBits = kind;
        if (kind == 16)
            __glInitDepthBuffer16(&db(), ctx);
        else if (kind == 24)
            __glInitDepthBuffer24(&db(), ctx);
        else
            __glInitDepthBuffer32(&db(), ctx);
        dropDepthSave();  // a second build starts the depth buffer afresh
        depthMem.setUp(w, h, db().head.elementSize);
        db().head.attach(&db().head, &depthMem.desc, ctx);
        db().head.resize(&db().head, w, h, kGlBufferDepth);
        __glInitSoftStencilBuffer(&sb(), ctx);
        stencilMem.setUp(w, h, 1);
        sb().head.attach(&sb().head, &stencilMem.desc, ctx);
        mode().stencilFunc = GL_ALWAYS;
        mode().stencilFail = mode().stencilDepthFail = mode().stencilDepthPass = GL_KEEP;
        mode().stencilValueMask = mode().stencilWriteMask = (1u << stencilBits) - 1;
        ctx->state.depthStencil.stencilRef = 0;
        mode().depthFunc = GL_LESS;
        mode().depthClear = 1.0;
        ctx->state.depthStencil.depthWriteMask = 1;
        pickAll();
    }
    // What validation runs for these buffers, then the span list for the mode word.
    void pickAll() {
        __glUpdateDepthEpoch(&db());
        db().pick(ctx, &db(), __glDepthTestIndex(ctx, &db()));
        ctx->tableDirtyMask |= kGlTableStencilFunc | kGlTableStencilOp;
        sb().pick(ctx);
        raster().depthAddress = nullptr;
        validate();
    }
    void useFlags(uint32_t flags) {
        raster().shadeFlags = kGlShadeRgba | flags;
        pickAll();
    }
    void clearDepth() { __glClearBuffer(ctx, kGlBufferDepth); }
    // A clear, then the validation that the next drawing runs when the clear asked for one.
    void clearAndValidate() {
        clearDepth();
        if (ctx->beginMode == kGlNeedValidate) pickAll();
        ctx->beginMode = kGlOutsideBegin;
    }
    uint32_t tag() const { return ctx->buffers.depth.epochBase >> 24; }
    // Every pixel of the drawable reads back as the cleared depth.
    bool allCleared() {
        uint32_t far = db().scale >> db().shift;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (db().fetch(&db(), kBias + x, kBias + y) != far) return false;
        return true;
    }
    // Points the span at buffer (x, y) and its depth and stencil elements.
    void spanAt(int x, int y, int n, uint32_t z, int32_t zStep = 0) {
        span(x, y, n);
        GlRasterState &rs = raster();
        rs.spanZ = z;
        rs.zStep = zStep;
        rs.zStep32 = int32_t(uint32_t(zStep) << 5);
        rs.depthAddress = depthMem.at(x, y);
        rs.stencilAddress = stencilMem.at(x, y);
        rs.spanColor[0] = 200.0f;
        rs.spanColor[1] = rs.spanColor[2] = 0.0f;
        rs.spanColor[3] = 255.0f;
    }
    uint32_t colorAt(int x, int y) { return front.element(x, y) & 0xFFFFFF; }
};

// Sets an environment variable for one scope.
struct ScopedEnv {
    const char *name;
    ScopedEnv(const char *n, const char *value) : name(n) {
        if (value != nullptr)
            setenv(n, value, 1);
        else
            unsetenv(n);
    }
    ~ScopedEnv() { unsetenv(name); }
};

// What a depth function answers for an incoming and a stored value, by its definition.
inline bool depthPasses(GLenum f, uint32_t in, uint32_t stored) {
    switch (f) {
    case GL_NEVER: return false;
    case GL_LESS: return in < stored;
    case GL_EQUAL: return in == stored;
    case GL_LEQUAL: return in <= stored;
    case GL_GREATER: return in > stored;
    case GL_NOTEQUAL: return in != stored;
    case GL_GEQUAL: return in >= stored;
    default: return true;
    }
}
