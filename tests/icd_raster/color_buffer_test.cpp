// The RGBA colour buffer over plain memory: set-up from the visual, packing and rounding of every
// pixel layout, dither positions, fetches, write masks, logic ops, the fast span stores and the
// clears.
#include "tests/icd_raster/raster_fixture.h"

#include <cstdlib>

namespace {

struct LayoutCase {
    const PixelLayout *layout;
    int32_t shifts[3];
    int32_t maxima[3];
    int32_t alphaLimit;
    int32_t formatCode;
};

TEST_F(RasterTest, SetUpFromTheVisualGivesShiftsMaximaAndFormatCodes) {
    const LayoutCase cases[] = {
        {&kR3G3B2, {5, 2, 0}, {7, 7, 3}, 255, kGlFormatR3G3B2},
        {&kX1R5G5B5, {10, 5, 0}, {31, 31, 31}, 255, kGlFormatX1R5G5B5},
        {&kR5G6B5, {11, 5, 0}, {31, 63, 31}, 255, kGlFormatR5G6B5},
        {&kB8G8R8, {16, 8, 0}, {255, 255, 255}, 255, kGlFormatB8G8R8},
        {&kX8R8G8B8, {16, 8, 0}, {255, 255, 255}, 255, kGlFormatX8R8G8B8},
        {&kA8R8G8B8, {16, 8, 0}, {255, 255, 255}, 255, kGlFormatNone},
    };
    for (const LayoutCase &c : cases) {
        SCOPED_TRACE(c.layout->name);
        GlColorBuffer *cb = attach(*c.layout);
        EXPECT_EQ(cb->redShift, c.shifts[0]);
        EXPECT_EQ(cb->greenShift, c.shifts[1]);
        EXPECT_EQ(cb->blueShift, c.shifts[2]);
        EXPECT_EQ(cb->redMax, c.maxima[0]);
        EXPECT_EQ(cb->greenMax, c.maxima[1]);
        EXPECT_EQ(cb->blueMax, c.maxima[2]);
        EXPECT_EQ(cb->greenScale, float(c.maxima[1]));
        EXPECT_EQ(cb->blueLimit, c.maxima[2]);
        EXPECT_EQ(cb->alphaLimit, c.alphaLimit);
        EXPECT_EQ(cb->alphaScale, 255.0f);
        EXPECT_EQ(cb->alphaShift, c.layout->alpha ? 24 : 0);  // an empty alpha mask ends the shift loop
        EXPECT_EQ(cb->formatCode, c.formatCode);
        EXPECT_EQ(cb->head.elementSize, c.layout->bytes);
        EXPECT_EQ(cb->usesColorStages, 0);
        EXPECT_EQ(cb->readPixel, cb->fetchPixel);
    }
}

struct PackCase {
    const PixelLayout *layout;
    float rgba[4];
    uint32_t element;
};

TEST_F(RasterTest, StoresPackEveryLayoutTruncatingAfterAddingAHalf) {
    const PackCase cases[] = {
        {&kR3G3B2, {5.4f, 2.6f, 3.0f, 0}, 5u << 5 | 3u << 2 | 3u},
        {&kX1R5G5B5, {31.0f, 0.49f, 16.5f, 0}, 31u << 10 | 0u << 5 | 17u},
        {&kR5G6B5, {10.2f, 62.5f, 0.0f, 0}, 10u << 11 | 63u << 5},
        {&kB8G8R8, {200.0f, 100.6f, 0.4f, 0}, 200u << 16 | 101u << 8},
        {&kX8R8G8B8, {1.0f, 2.0f, 254.7f, 77.0f}, 0x000102FFu},  // no alpha stored
        {&kA8R8G8B8, {1.0f, 2.0f, 3.0f, 127.5f}, 0x80010203u},
    };
    for (const PackCase &c : cases) {
        SCOPED_TRACE(c.layout->name);
        attach(*c.layout);
        store(3, 2, c.rgba[0], c.rgba[1], c.rgba[2], c.rgba[3]);
        EXPECT_EQ(front.element(3, 2), c.element);
        EXPECT_EQ(front.element(2, 2), 0u);
        EXPECT_EQ(front.element(3, 1), 0u);
        if (c.layout->bytes == 3) {  // blue, green, red at increasing addresses
            EXPECT_EQ(front.at(3, 2)[0], 0);
            EXPECT_EQ(front.at(3, 2)[1], 101);
            EXPECT_EQ(front.at(3, 2)[2], 200);
        }
    }
}

// A fraction (k + 1/4) / 16 of the lowest bit, dithered with the offset (B - 7.5) / 16 and
// rounded, becomes 1 where k + B >= 16: sixteen fractions tell every matrix value apart.
TEST_F(RasterTest, DitherRaisesAFractionWhereTheMatrixValueReachesIt) {
    for (const PixelLayout *f : {&kR3G3B2, &kX1R5G5B5, &kR5G6B5, &kB8G8R8, &kX8R8G8B8, &kA8R8G8B8}) {
        SCOPED_TRACE(f->name);
        GlColorBuffer *cb = attach(*f);
        raster().shadeFlags |= kGlShadeDither;
        uint32_t ones = 1u << cb->redShift | 1u << cb->greenShift | 1u << cb->blueShift;
        for (int k = 0; k < 16; ++k) {
            const float v = (float(k) + 0.25f) / 16.0f;
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x) {
                    store(x + 4, y, v, v, v, 0.0f);
                    // The widest layouts never dither: they round to nearest.
                    const int b = kDitherMatrix[(kBias + y) & 3][(kBias + x + 4) & 3];
                    const bool one = f->bytes == 4 ? k >= 8 : k + b >= 16;
                    EXPECT_EQ(front.element(x + 4, y) & ones, one ? ones : 0u) << "k " << k << " at " << x << "," << y;
                }
        }
    }
}

TEST_F(RasterTest, FetchReturnsChannelsInBufferUnits) {
    struct FetchCase {
        const PixelLayout *layout;
        uint32_t element;
        float rgba[4];
    } cases[] = {
        {&kR3G3B2, 0xAF, {5, 3, 3, 255}},
        {&kR5G6B5, 0x57E0, {10, 63, 0, 255}},
        {&kX1R5G5B5, 0xFC11, {31, 0, 17, 255}},  // the unused top bit is not a channel
        {&kB8G8R8, 0xC86501, {200, 101, 1, 255}},
        {&kX8R8G8B8, 0x7F0102FF, {1, 2, 255, 255}},
        {&kA8R8G8B8, 0x7F0102FF, {1, 2, 255, 127}},
    };
    for (const FetchCase &c : cases) {
        SCOPED_TRACE(c.layout->name);
        GlColorBuffer *cb = attach(*c.layout);
        front.setElement(1, 1, c.element);
        float out[4];
        cb->fetchPixel(cb, kBias + 1, kBias + 1, out);
        EXPECT_EQ(out[0], c.rgba[0]);
        EXPECT_EQ(out[1], c.rgba[1]);
        EXPECT_EQ(out[2], c.rgba[2]);
        EXPECT_EQ(out[3], c.rgba[3]);
        float row[3][4];
        EXPECT_EQ(cb->readSpan(cb, kBias, kBias + 1, &row[0][0], 3), 0);
        EXPECT_EQ(row[1][0], c.rgba[0]);
        EXPECT_EQ(row[0][1], 0.0f);
    }
}

TEST_F(RasterTest, WriteMaskKeepsDisabledChannelsInStoresAndClears) {
    GlColorBuffer *cb = attach(kR5G6B5);
    colorMaskOff(1);  // green off
    validate();
    EXPECT_EQ(cb->writeMask, 0xF81Fu);
    EXPECT_EQ(cb->keepMask, 0x07E0u);
    EXPECT_EQ(cb->clear, __glClearRgbaBuffer);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) front.setElement(x, y, 0xFFFF);
    store(0, 0, 0, 0, 0);
    EXPECT_EQ(front.element(0, 0), 0x07E0u);
    clearColor()[0] = 1.0f;
    cb->clear(cb);
    EXPECT_EQ(front.element(5, 5), 0xFFE0u);  // red 31, green kept, blue 0
    clearColor()[0] = 0.0f;
    cb->clear(cb);
    EXPECT_EQ(front.element(15, 7), 0x07E0u);

    // Nothing is written while the draw buffer is none.
    ctx->state.mode.drawBuffer = GL_NONE;
    validate();
    EXPECT_EQ(cb->writeMask, 0u);
    store(1, 1, 31, 63, 31);
    EXPECT_EQ(front.element(1, 1), 0x07E0u);
}

TEST_F(RasterTest, LogicOpsCombineTheNewAndOldPixel) {
    const uint32_t s = 0xAF, t = 0x5C;
    const uint32_t expected[16] = {0x00, 0x0C, 0xA3, 0xAF, 0x50, 0x5C, 0xF3, 0xFF,
                                   0x00, 0x0C, 0xA3, 0xAF, 0x50, 0x5C, 0xF3, 0xFF};
    attach(kR3G3B2);
    raster().shadeFlags |= kGlShadeLogicOp;
    for (int i = 0; i < 16; ++i) {
        ctx->state.mode.logicOp = GL_CLEAR + i;
        front.setElement(0, 0, t);
        store(0, 0, 5, 3, 3);  // packs to s
        EXPECT_EQ(front.element(0, 0), expected[i]) << std::hex << "op 0x" << (GL_CLEAR + i) << " s " << s;
    }
}

// A blend proc that returns a fixed colour, so the store shows it used the blended colour.
void blendToGrey(GlContext *, GlColorBuffer *, const GlFragment *, float *out) {
    out[0] = out[1] = out[2] = 100.0f;
    out[3] = 0.0f;
}

TEST_F(RasterTest, StoresUseTheBlendedColourAndLogicOpsOnThreeBytePixels) {
    GlColorBuffer *cb = attach(kB8G8R8);
    inputs().blendFragment = blendToGrey;
    raster().shadeFlags |= kGlShadeBlend;
    validate();
    EXPECT_EQ(cb->storeSpan, __glStoreRgbaSpan);
    store(0, 0, 1, 2, 3);
    EXPECT_EQ(front.element(0, 0), 0x646464u);
    raster().shadeFlags = kGlShadeRgba | kGlShadeLogicOp;
    ctx->state.mode.logicOp = GL_XOR;
    validate();
    EXPECT_EQ(cb->storeSpan, __glStoreRgbaSpan);
    front.setElement(1, 0, 0x0F00F0);  // red 0x0F, green 0x00, blue 0xF0
    store(1, 0, 0xFF, 0x01, 0x0F);
    EXPECT_EQ(front.at(1, 0)[2], 0xF0);
    EXPECT_EQ(front.at(1, 0)[1], 0x01);
    EXPECT_EQ(front.at(1, 0)[0], 0xFF);
}

TEST_F(RasterTest, FastSixteenBitStoresRoundToNearestEven) {
    GlColorBuffer *cb = attach(kR5G6B5);
    EXPECT_EQ(cb->storeSpan, __glStoreRgbaSpan16Fast);
    const float colors[2][4] = {{2.5f, 3.5f, 0.5f, 0}, {30.5f, 62.5f, 31.0f, 0}};
    span(0, 0, 2, colors);
    raster().targetColorBuffer = cb;
    EXPECT_EQ(cb->storeSpan(ctx), 0);
    EXPECT_EQ(front.element(0, 0), 2u << 11 | 4u << 5 | 0u);
    EXPECT_EQ(front.element(1, 0), 30u << 11 | 62u << 5 | 31u);
    // The per-pixel store truncates after adding a half instead.
    store(2, 0, 2.5f, 3.5f, 0.5f);
    EXPECT_EQ(front.element(2, 0), 3u << 11 | 4u << 5 | 1u);

    // With dithering, the offset (B - 7.5) / 16 before rounding: (k + 1/4) / 16 becomes 1 where
    // k + B >= 16.
    raster().shadeFlags |= kGlShadeDither;
    validate();
    EXPECT_EQ(cb->storeSpan, __glStoreRgbaSpan16FastDither);
    for (int k = 0; k < 16; ++k)
        for (int y = 0; y < 4; ++y) {
            const float v = (float(k) + 0.25f) / 16.0f;
            float fractions[4][4];
            for (auto &h : fractions) h[0] = h[1] = h[2] = v, h[3] = 0;
            span(4, y, 4, fractions);
            cb->storeSpan(ctx);
            for (int x = 0; x < 4; ++x) {
                uint32_t one = k + kDitherMatrix[y & 3][x & 3] >= 16 ? 1 : 0;
                EXPECT_EQ(front.element(4 + x, y), one << 11 | one << 5 | one) << "k " << k << " at " << x << "," << y;
            }
        }
    // Blending needs the destination: the inlined generic store.
    raster().shadeFlags |= kGlShadeBlend;
    validate();
    EXPECT_EQ(cb->storeSpan, __glStoreRgbaSpan16);
}

TEST_F(RasterTest, FastTwentyFourBitStoreRoundsEachByte) {
    GlColorBuffer *cb = attach(kB8G8R8);
    EXPECT_EQ(cb->storeSpan, __glStoreRgbaSpan24);
    const float colors[1][4] = {{1.5f, 2.5f, 254.5f, 0}};
    span(1, 1, 1, colors);
    raster().targetColorBuffer = cb;
    cb->storeSpan(ctx);
    EXPECT_EQ(front.at(1, 1)[0], 254);
    EXPECT_EQ(front.at(1, 1)[1], 2);
    EXPECT_EQ(front.at(1, 1)[2], 2);
    colorMaskOff(0);
    validate();
    EXPECT_EQ(cb->storeSpan, __glStoreRgbaSpan);
}

TEST_F(RasterTest, ClearsFillTheClipBoxWithTheRoundedClearColour) {
    const struct {
        const PixelLayout *layout;
        uint32_t element;
    } cases[] = {
        {&kR3G3B2, 7u << 5 | 4u << 2},
        {&kX1R5G5B5, 31u << 10 | 16u << 5},
        {&kR5G6B5, 31u << 11 | 32u << 5},
        {&kB8G8R8, 0xFF8000},  // rounded to nearest even: 127.5 -> 128
        {&kX8R8G8B8, 0x00FF8000},
        {&kA8R8G8B8, 0xFFFF8000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.layout->name);
        GlColorBuffer *cb = attach(*c.layout);
        clearColor()[0] = 1.0f;
        clearColor()[1] = 0.5f;
        clearColor()[2] = 0.0f;
        clearColor()[3] = 1.0f;
        setClipBox(2, 1, 6, 3);
        validate();
        EXPECT_EQ(cb->clear, c.layout->bytes == 3 ? __glClearRgbaBuffer24 : __glClearRgbaBufferFill);
        cb->clear(cb);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) {
                bool inside = x >= 2 && x < 6 && y >= 1 && y < 3;
                ASSERT_EQ(front.element(x, y), inside ? c.element : 0u) << x << "," << y;
            }
        EXPECT_EQ(front.locks, 1);
        EXPECT_EQ(front.unlocks, 1);
    }
}

TEST_F(RasterTest, TwentyFourBitClearWritesSinglePixelsAroundAlignedWords) {
    GlColorBuffer *cb = attach(kB8G8R8, 16, 2);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(front.desc.base) & 3, 0u);
    clearColor()[0] = 1.0f;  // packed 0xFF0180: distinct bytes show any misplaced one
    clearColor()[1] = 1.0f / 255.0f;
    clearColor()[2] = 128.0f / 255.0f;
    // Pixel 3 starts at byte 9 (address AND 3 = 1): one single pixel, no group, one more.
    __glClearRgbaRect24(cb, kBias + 3, kBias, kBias + 5, kBias + 1);
    // Row 1 from pixel 1 (byte 3): three singles, two groups of four, two singles.
    __glClearRgbaRect24(cb, kBias + 1, kBias + 1, kBias + 14, kBias + 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 16; ++x) {
            bool inside = y == 0 ? (x == 3 || x == 4) : (x >= 1 && x < 14);
            ASSERT_EQ(front.element(x, y), inside ? 0xFF0180u : 0u) << x << "," << y;
        }
}

TEST_F(RasterTest, DeviceFillClearsWithoutLockingInBufferCoordinates) {
    setVisual(kA8R8G8B8);
    GlColorBuffer *cb = attach(kA8R8G8B8);
    front.desc.fill = PlainMemory::fill;
    clearColor()[2] = 1.0f;
    clearColor()[3] = 0.5f;
    setClipBox(1, 2, 4, 7);
    validate();
    EXPECT_EQ(cb->clear, __glClearRgbaBufferDevice);
    cb->clear(cb);
    EXPECT_EQ(front.fills, 1);
    EXPECT_EQ(front.locks, 0);
    EXPECT_EQ(front.fillPixel, 0x800000FFu);
    EXPECT_EQ(front.fillRect[0], 1);
    EXPECT_EQ(front.fillRect[1], 2);
    EXPECT_EQ(front.fillRect[2], 3);
    EXPECT_EQ(front.fillRect[3], 5);
    setClipBox(1, 2, 1, 7);
    cb->clear(cb);
    EXPECT_EQ(front.fills, 1);  // an empty box fills nothing
}

int32_t twoClipRects(GlContext *, const RECT **rects) {
    static const RECT r[2] = {{0, 0, 8, 4}, {10, 0, 16, 8}};
    *rects = r;
    return 2;
}

TEST_F(RasterTest, ClippedClearStaysInsideTheClearBox) {
    GlColorBuffer *cb = attach(kR5G6B5);
    inputs().clipRects = twoClipRects;
    clearColor()[0] = 1.0f;
    setClipBox(2, 1, 12, 6);  // a scissor box
    raster().shadeFlags |= kGlShadeFrontClip;
    validate();
    cb->clear(cb);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            bool inRect = (x < 8 && y < 4) || x >= 10;
            bool inBox = x >= 2 && x < 12 && y >= 1 && y < 6;
            ASSERT_EQ(front.element(x, y), inRect && inBox ? 0xF800u : 0u) << x << "," << y;
        }
    EXPECT_EQ(front.locks, 1);
    EXPECT_EQ(front.unlocks, 1);
}

TEST_F(RasterTest, RefusedLockLeavesMemoryAndModeWord) {
    GlColorBuffer *cb = attach(kR5G6B5);
    colorMaskOff(0);
    raster().shadeFlags |= kGlShadeBlend | kGlShadeLogicOp;
    validate();
    front.refuseLock = true;
    clearColor()[1] = 1.0f;
    cb->clear(cb);
    __glClearRgbaRectMasked(cb, kBias, kBias, kBias + 4, kBias + 4);
    EXPECT_EQ(front.element(0, 0), 0u);
    EXPECT_EQ(raster().shadeFlags, kGlShadeRgba | kGlShadeBlend | kGlShadeLogicOp);
    front.refuseLock = false;
    __glClearRgbaRectMasked(cb, kBias, kBias, kBias + 4, kBias + 4);
    EXPECT_EQ(front.element(3, 3), 0x07E0u);  // not blended, not logic-opped
    EXPECT_EQ(front.element(4, 3), 0u);
    EXPECT_EQ(raster().shadeFlags, kGlShadeRgba | kGlShadeBlend | kGlShadeLogicOp);
}

TEST_F(RasterTest, SmallFrontClearsOfSixteenBitBuffersStayInSoftware) {
    const struct {
        int w, h;
        bool frontBuffer, cannotDraw;
        bool software;
    } cases[] = {
        {39, 39, true, false, true},  {40, 39, true, false, false}, {39, 40, true, false, false},
        {39, 39, false, false, false}, {100, 100, true, true, true},
    };
    for (const auto &c : cases) {
        GlColorBuffer *cb = attach(kR5G6B5, 128, 128);
        setClipBox(0, 0, c.w, c.h);
        inputs().hwCannotDraw = c.cannotDraw;
        if (!c.frontBuffer) colors().frontBuffer = &colors().back;
        validate();
        EXPECT_EQ(cb->clear, c.software ? __glClearRgbaBufferFill : __glHwClearColorBuffer) << c.w << "x" << c.h;
    }
}

TEST_F(RasterTest, ResizeRoundsRowsToSixteenBytes) {
    const struct {
        const PixelLayout *layout;
        int width, rounded;
    } cases[] = {{&kR5G6B5, 5, 8}, {&kB8G8R8, 6, 10}, {&kB8G8R8, 5, 5}, {&kX8R8G8B8, 3, 4}, {&kR3G3B2, 16, 16}};
    for (const auto &c : cases) {
        GlColorBuffer *cb = attach(*c.layout);
        EXPECT_EQ(cb->head.resize(&cb->head, c.width, 9, kGlBufferFront), 1);
        EXPECT_EQ(front.resizedWidth, c.rounded) << c.layout->name << " " << c.width;
        EXPECT_EQ(cb->head.width, c.rounded);
        EXPECT_EQ(cb->head.height, 9);
    }
}

TEST_F(RasterTest, SquareTableMultipliesBytes) {
    ASSERT_EQ(__glSquareTable.size(), 511u);
    const uint8_t *t = __glSquareTableCentre();
    for (int i = -255; i <= 255; ++i) ASSERT_EQ(t[i], i * i / 255) << i;
    EXPECT_EQ(t[16], 1);
    EXPECT_EQ(t[-255], 255);
    // Two bytes multiply as (T[a] + T[b] - T[a - b]) >> 1: within 1 of floor(a * b / 255), exact
    // for 0 and 255, and below the exact product for 6 x 213 (4 against 5.01).
    auto mul = [t](int a, int b) { return (t[a] + t[b] - t[a - b]) >> 1; };
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            ASSERT_LE(std::abs(a * b / 255 - mul(a, b)), 1) << a << " x " << b;
            if (a == 0 || a == 255) {
                ASSERT_EQ(mul(a, b), a * b / 255) << a << " x " << b;
            }
        }
    EXPECT_EQ(mul(6, 213), 4);
}

}  // namespace
