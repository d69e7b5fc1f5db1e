// A current context drawing into 32-bit xRGB plain memory (the program fixture) with an
// accumulation buffer of its own, also over plain memory.
#pragma once
#include "tests/icd_triangle/program_fixture.h"
#include "icd/raster/accum.h"

class AccumTest : public ProgramTest {
protected:
    PlainMemory accumMem;

    void SetUp() override {
        ProgramTest::SetUp();
        ctx->visual.hasAccum = 1;
        ctx->visual.accumRedBits = ctx->visual.accumGreenBits = 16;
        ctx->visual.accumBlueBits = ctx->visual.accumAlphaBits = 16;
        GlAccumBuffer *ab = &ctx->buffers.accum;
        __glInitAccumBuffer(ab, ctx);
        accumMem.setUp(kW, kH, 8);
        ab->head.attach(&ab->head, &accumMem.desc, ctx);
        ctx->buffers.heads.accum = &ab->head;
        GL(glDisable)(GL_DITHER);
    }
    // Entry component c (0 R .. 3 A) of buffer pixel (x, y).
    int16_t entry(int x, int y, int c) {
        int16_t e;
        std::memcpy(&e, accumMem.at(x, y) + 2 * c, 2);
        return e;
    }
    void setEntry(int x, int y, int16_t r, int16_t g, int16_t b, int16_t a) {
        const int16_t e[4] = {r, g, b, a};
        std::memcpy(accumMem.at(x, y), e, 8);
    }
    void fillColor(uint32_t pixel) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) colorMem.setElement(x, y, pixel);
    }
    GLenum error() { return GL(glGetError)(); }
};
