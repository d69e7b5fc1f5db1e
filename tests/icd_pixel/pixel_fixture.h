// A current context for the pixel path, and a span that describes one row.
#pragma once
#include <cstring>
#include <vector>
#include "tests/icd_state/state_fixture.h"
#include "icd/core/context.h"
#include "icd/pixel/pixel_span.h"
#include "icd/pixel/pixel_state.h"

class PixelTest : public StateTest {
protected:
    void SetUp() override {
        StateTest::SetUp();
        if (HasFatalFailure()) return;
        settle();
    }
    // A span of `width` pixels with the given source and destination components.
    static GlPixelSpan rowSpan(int32_t width, int32_t srcComponents = 1, int32_t dstComponents = 1) {
        GlPixelSpan s;
        std::memset(&s, 0, sizeof(s));
        s.width = width;
        s.srcComponents = srcComponents;
        s.dstComponents = dstComponents;
        return s;
    }
    // Colour-buffer maxima the colour-form and transfer spans scale by.
    void setMaxima(float r, float g, float b, float a) {
        GlColorScales &s = ctx->scales;
        s.redScale = r, s.greenScale = g, s.blueScale = b, s.alphaScale = a;
        s.oneOverRedScale = 1.0f / r, s.oneOverGreenScale = 1.0f / g;
        s.oneOverBlueScale = 1.0f / b, s.oneOverAlphaScale = 1.0f / a;
    }
};

inline uint32_t floatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}
