// A program's context for drawing tests: a window context made current, its front colour buffer
// (32-bit, no alpha) and a 16-bit depth buffer over plain memory, an orthographic projection of
// one unit per pixel; GL(name) calls the entries of its live table.
#pragma once
#include <cmath>
#include "tests/icd_state/state_fixture.h"
#include "tests/icd_raster/raster_fixture.h"
#include "icd/raster/depth_buffer.h"

constexpr int kW = 32, kH = 16;

class ProgramTest : public StateTest {
protected:
    PlainMemory colorMem, depthMem;

    void SetUp() override {
        IcdTest::SetUp();
        // A window of the buffers' size, so that clears and the clip box stay inside them.
        openContext(kSingleFormat, kW, kH);
        if (HasFatalFailure()) return;
        __glSetStateDefaults(ctx);
        ctx->visual.depthBits = 16;
        attachPlainRgb32Front(ctx, colorMem, kW, kH);
        GlDepthBuffer *db = &ctx->buffers.depth;
        __glInitDepthBuffer16(db, ctx);
        depthMem.setUp(kW, kH, 2);
        db->head.attach(&db->head, &depthMem.desc, ctx);
        windowProjection(ctx, kW, kH);
    }
    void TearDown() override {
        // The depth buffer saved its state into the fixture's descriptor at attach.
        if (ctx != nullptr && depthMem.desc.depthSave != nullptr) ctx->hostProcs.free(ctx, depthMem.desc.depthSave);
        depthMem.desc.depthSave = nullptr;
        StateTest::TearDown();
    }
    // The pixel at GL window position (x, y), whichever way the drawable's rows run.
    uint32_t at(int x, int y) {
        int row = ctx->state.transform.drawable.yInverted ? kH - 1 - y : y;
        return colorMem.element(x, row) & 0xFFFFFF;
    }
    void vertex(float x, float y, float z = 0.0f) { GL(glVertex3f)(x, y, z); }
};
