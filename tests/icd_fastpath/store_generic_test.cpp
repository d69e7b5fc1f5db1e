// The generic store spans of the 8-bit index, 3-3-2, 24-bit and 32-bit colour buffers, called
// directly against worked values: the fast chain never reaches them, because its chooser takes
// only 16-bit colour buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "icd/core/context.h"
#include "icd/raster/fast_span.h"

namespace {

struct GenericStoreCase {
    const char *name;
    int formatCode;
    uint32_t staging;  // bytes R, G, B, A (low to high), or a 16.16 index
    uint32_t stored;   // the pixel before the store
    GlShadeFlags flags;
    uint32_t ditherLevel;  // 0-15, of every position
    GLenum op;             // logic op, with kGlShadeLogicOp
    uint32_t expected;
};

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; }

// Expected pixels from the packing rules: 3-3-2 is (r >> 5) << 5 | (g >> 5) << 2 | b >> 6, the
// wide layouts r << 16 | g << 8 | b; blending GL_ONE, GL_ONE adds the stored fields widened to 8
// bits and stops at the channel limits (224, 224, 192 for 3-3-2); dithering 3-3-2 adds
// 2 x level - (r >> 3) to red and green; an index is (staging + level << 12) >> 16.
const GenericStoreCase kCases[] = {
    {"index 3.5 stores 3", 1, 0x38000, 0x77, 0, 0, 0, 3},
    {"index 3.5 at dither 8 stores 4", 1, 0x38000, 0x77, kGlShadeDither, 8, 0, 4},
    {"index xor with the stored index", 1, 0x30000, 0x0F, kGlShadeLogicOp, 0, GL_XOR, 0x0C},
    {"332 white", 2, rgb(255, 255, 255), 0, 0, 0, 0, 0xFF},
    {"332 fields", 2, rgb(160, 96, 128), 0, 0, 0, 0, 0xA0 | 0x0C | 0x02},
    {"332 one, one adds the stored fields", 2, rgb(32, 32, 64), 0x25, kGlShadeBlend, 0, 0, 0x40 | 0x08 | 0x02},
    {"332 one, one stops at the limits", 2, rgb(200, 200, 200), 0xFF, kGlShadeBlend, 0, 0, 0xFF},
    {"332 dither lifts red 28 at level 15", 2, rgb(28, 0, 0), 0, kGlShadeDither, 15, 0, 0x20},
    {"888 fields", 7, rgb(0x11, 0x22, 0x33), 0, 0, 0, 0, 0x112233},
    {"888 one, one saturates at 255", 7, rgb(0x20, 0x10, 0x0F), 0xF0F0F0, kGlShadeBlend, 0, 0, 0xFFFFFF},
    {"888 is not dithered", 7, rgb(0x11, 0x22, 0x33), 0, kGlShadeDither, 15, 0, 0x112233},
    {"8888 fields, top byte 0", 10, rgb(1, 2, 3), 0xAB000000, 0, 0, 0, 0x00010203},
    {"8888 or keeps the stored top byte", 10, rgb(1, 2, 3), 0xFF000000, kGlShadeLogicOp, 0, GL_OR, 0xFF010203},
};

TEST(GenericStoreSpans, WorkedValuesOfTheWideAndIndexLayouts) {
    auto ctx = std::make_unique<GlContext>();
    ctx->state.color.blendSrcFactor = GL_ONE;
    ctx->state.color.blendDstFactor = GL_ONE;
    for (const GenericStoreCase &c : kCases) {
        SCOPED_TRACE(c.name);
        const GlFastProc store = __glStoreSpanByFormat[size_t(c.formatCode)];
        ASSERT_NE(store, nullptr);
        const int bytes = c.formatCode == 1 || c.formatCode == 2 ? 1 : (c.formatCode == 7 ? 3 : 4);
        ctx->state.span.raster.shadeFlags = c.flags;
        ctx->state.mode.logicOp = c.op;
        // Three pixels: the first covered, the other two not.
        uint8_t pixels[12];
        for (int i = 0; i < 3; ++i) std::memcpy(pixels + i * bytes, &c.stored, size_t(bytes));
        uint32_t dither[32];
        for (uint32_t &d : dither) d = c.ditherLevel << 12;
        GlSpan span{};
        span.context = ctx.get();
        span.pixel = pixels;
        span.xStep = 1;
        span.ditherPointer = dither;
        std::memcpy(span.stagingColors, &c.staging, 4);
        std::memcpy(span.stagingColors + 4, &c.staging, 4);
        store(0x80000000u, &span);
        uint32_t first = 0, second = 0, stored = 0;
        std::memcpy(&first, pixels, size_t(bytes));
        std::memcpy(&second, pixels + bytes, size_t(bytes));
        std::memcpy(&stored, &c.stored, size_t(bytes));
        EXPECT_EQ(first, c.expected);
        EXPECT_EQ(second, stored);
    }
}

}  // namespace
