// A current context on a square window that draws into plain memory: a 16-bit front buffer, a
// depth buffer of 16, 24 or 32 bits and an 8-bit stencil buffer, the buffers the fast chain serves.
#pragma once
#include "tests/icd_raster/raster_fixture.h"
#include "tests/icd_state/state_fixture.h"

class FastBuffersTest : public StateTest {
protected:
    explicit FastBuffersTest(int side) : side_(side) {}
    PlainMemory colorMem, depthMem, stencilMem;

    // A window of the buffers' size, so that clears and the clip box stay inside them.
    void SetUp() override {
        IcdTest::SetUp();
        openContext(kSingleFormat, side_, side_);
        if (HasFatalFailure()) return;
        __glSetStateDefaults(ctx);
    }
    // The depth buffer's saved state belongs to its descriptor, which the test owns.
    void releaseDepthSave() {
        if (depthMem.desc.depthSave != nullptr) ctx->hostProcs.free(ctx, depthMem.desc.depthSave);
        depthMem.desc.depthSave = nullptr;
    }
    void TearDown() override {
        if (ctx != nullptr) releaseDepthSave();
        StateTest::TearDown();
    }
    // The buffers in the colour layout given, drawn into through the front buffer with a window
    // projection of one unit per pixel.
    void attachBuffers(const Rgb16Format &f, int depthBits) {
        releaseDepthSave();
        setRgb16Visual(ctx, f.redMask, f.greenMask, f.blueMask, f.greenBits);
        attachPlainFront(ctx, colorMem, side_, side_, 2);
        attachPlainDepth(ctx, depthMem, side_, side_, depthBits);
        attachPlainStencil(ctx, stencilMem, side_, side_);
        GL(glDrawBuffer)(GL_FRONT);
        windowProjection(ctx, side_, side_);
    }

private:
    int side_;
};
