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
    // The colour units the spans below carry (the context's until setMaxima).
    float units[4] = {255.0f, 255.0f, 255.0f, 255.0f};
    // A span of `width` pixels with the given source and destination components, in `units`.
    GlPixelSpan rowSpan(int32_t width, int32_t srcComponents = 1, int32_t dstComponents = 1) const {
        GlPixelSpan s;
        std::memset(&s, 0, sizeof(s));
        s.width = width;
        s.srcComponents = srcComponents;
        s.dstComponents = dstComponents;
        for (int k = 0; k < 4; ++k) s.toUnits[k] = s.fromUnits[k] = units[k];
        return s;
    }
    // Colour-buffer maxima the colour-form and transfer spans and the byte tables scale by.
    void setMaxima(float r, float g, float b, float a) {
        const float m[4] = {r, g, b, a};
        for (int k = 0; k < 4; ++k) units[k] = ctx->state.pixel.tables.tableUnits[k] = m[k];
    }
};

inline uint32_t floatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}
