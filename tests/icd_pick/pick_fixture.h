// A current context whose state is set through the GL entries of its live table; draw() is the
// first drawing call after the change (glClear with no buffers), which validates.
#pragma once
#include "tests/icd_state/state_fixture.h"
#include "icd/core/pick.h"
#include "icd/raster/raster.h"
#include "tests/icd_raster/raster_fixture.h"

inline GlStageProc stageOf(void (*proc)(GlContext *)) {
    return reinterpret_cast<GlStageProc>(reinterpret_cast<void (*)(void)>(proc));
}

class PickTest : public StateTest {
protected:
    void draw() { GL(glClear)(0); }
    GlShadeFlags flags() const { return ctx->state.span.raster.shadeFlags; }
    GlPickState &pick() { return ctx->state.pick; }
    GlPrimitiveProcs &prim() { return ctx->slots.primitive; }
    const GlNeedMaskState &need() const { return ctx->state.need; }
    GlLineStageList &lines() { return ctx->state.pick.lineList; }
    // Descriptor sizes of the drawable's front (0) and back (1) buffers.
    void setBufferSize(int index, int32_t width, int32_t height) {
        ASSERT_NE(ctx->tail.drawableBuffers, nullptr);
        ctx->tail.drawableBuffers->descriptors[index].width = width;
        ctx->tail.drawableBuffers->descriptors[index].height = height;
    }
    // A program's context current on a w x h window whose front buffer is plain 32-bit memory,
    // with a window projection of one unit per pixel.
    void openOnMemory(PlainMemory &memory, int w, int h) {
        IcdTest::SetUp();
        openContext(kSingleFormat, w, h);
        if (HasFatalFailure()) return;
        attachPlainRgb32Front(ctx, memory, w, h);
        windowProjection(ctx, w, h);
    }
    // Everything marked changed, as after creation or a drawable change.
    void markAll() {
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask = 0x7FF;
    }
};
