// glAccum through the entry: the five operations with their exact entry values, wrapping,
// clamping on return, the accumulation clear within the scissor box, and the errors.
#include "tests/icd_accum/accum_fixture.h"

namespace {

// What load stores for a channel value c at factor v: c x v x (32767 / 255), single precision.
int16_t loaded(float c, float v) { return int16_t(int32_t(c * v * (32767.0f / 255.0f))); }

}  // namespace

TEST_F(AccumTest, LoadStoresScaledColoursAndAccumulateAddsAndWraps) {
    fillColor(0xFF8000);  // red 255, green 128, blue 0; no alpha bits: alpha reads 255
    GL(glAccum)(GL_LOAD, 1.0f);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    const int16_t full = entry(3, 4, 0);
    EXPECT_TRUE(full == 32767 || full == 32766) << full;
    EXPECT_EQ(entry(3, 4, 1), loaded(128.0f, 1.0f));
    EXPECT_EQ(entry(3, 4, 2), 0);
    EXPECT_EQ(entry(3, 4, 3), full);
    EXPECT_EQ(entry(kW - 1, kH - 1, 1), loaded(128.0f, 1.0f));

    // A second full-intensity sum passes 32767 and wraps into negative values.
    GL(glAccum)(GL_ACCUM, 1.0f);
    EXPECT_EQ(entry(3, 4, 0), int16_t(uint16_t(2 * full)));
    EXPECT_LT(entry(3, 4, 0), 0);
    EXPECT_EQ(entry(3, 4, 1), int16_t(2 * loaded(128.0f, 1.0f)));

    // Load with a fraction replaces what was there.
    GL(glAccum)(GL_LOAD, 0.25f);
    EXPECT_EQ(entry(0, 0, 1), loaded(128.0f, 0.25f));
    EXPECT_EQ(entry(0, 0, 0), loaded(255.0f, 0.25f));
}

TEST_F(AccumTest, AddMultAndClearValues) {
    GL(glClearAccum)(0.5f, -0.5f, 1.0f, 0.0f);
    GL(glClear)(GL_ACCUM_BUFFER_BIT);
    // clear: scale x accumScale x value, no rounding term
    const int16_t half = int16_t(int32_t(255.0f * (32767.0f / 255.0f) * 0.5f));
    EXPECT_EQ(entry(5, 5, 0), half);
    EXPECT_EQ(entry(5, 5, 1), -half);
    EXPECT_EQ(entry(5, 5, 2), int16_t(int32_t(255.0f * (32767.0f / 255.0f))));
    EXPECT_EQ(entry(5, 5, 3), 0);

    // add: value x 32767 + 0.5, truncated: -3276.7 + 0.5 gives -3276 on every component
    GL(glAccum)(GL_ADD, -0.1f);
    EXPECT_EQ(entry(5, 5, 0), half - 3276);
    EXPECT_EQ(entry(5, 5, 3), -3276);
    GL(glAccum)(GL_ADD, 0.1f);  // 3276.7 + 0.5 gives 3277
    EXPECT_EQ(entry(5, 5, 3), 1);

    struct Case {
        float value;
        int16_t in, out;
    } cases[] = {{0.5f, 1001, 500}, {-0.5f, 1001, -500}, {-0.0f, 1234, 0}, {0.0f, -77, 0}, {3.0f, 20000, int16_t(uint16_t(60000))}};
    for (const Case &c : cases) {
        setEntry(2, 2, c.in, c.in, c.in, c.in);
        GL(glAccum)(GL_MULT, c.value);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(entry(2, 2, k), c.out) << c.value << " of " << c.in;
    }
}

TEST_F(AccumTest, ReturnScalesClampsAndIgnoresBlending) {
    const int16_t quarter = 8191;  // about a quarter of full intensity
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) setEntry(x, y, quarter, -500, 32767, 0);
    fillColor(0x123456);
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_ZERO, GL_ONE);  // would keep the old pixels if it applied
    GL(glAccum)(GL_RETURN, 2.0f);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_TRUE(GL(glIsEnabled)(GL_BLEND));
    // red: 8191 x 2 / (32767 / 255) = 127.5, truncated after + 0.5; green negative -> 0; blue
    // 510 clamped to 255.
    const float r = float(quarter) * (2.0f * (1.0f / (32767.0f / 255.0f)));
    const uint32_t expect = (uint32_t(int32_t(r + 0.5f)) << 16) | 0x0000FF;
    EXPECT_EQ(at(7, 3), expect);
    EXPECT_EQ(at(0, 0), expect);
}

TEST_F(AccumTest, ClearAndOperationsStayInsideTheScissorBox) {
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) setEntry(x, y, 7, 7, 7, 7);
    GL(glScissor)(4, 2, 3, 5);
    GL(glEnable)(GL_SCISSOR_TEST);
    GL(glClearAccum)(0.0f, 0.0f, 0.0f, 0.0f);
    GL(glClear)(GL_ACCUM_BUFFER_BIT);
    GL(glAccum)(GL_ADD, 0.5f);
    // value x (32767 / 255) x 255 + 0.5 in single precision, truncated
    const int16_t added = int16_t(int32_t(0.5f * (32767.0f / 255.0f) * 255.0f + 0.5f));
    int inside = 0;
    const int row0 = ctx->state.transform.drawable.yInverted ? kH - 7 : 2;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool in = x >= 4 && x < 7 && y >= row0 && y < row0 + 5;
            inside += in;
            EXPECT_EQ(entry(x, y, 2), in ? added : 7) << x << "," << y;
        }
    EXPECT_EQ(inside, 15);
}

TEST_F(AccumTest, ErrorsAndModesThatChangeNothing) {
    setEntry(1, 1, 100, 100, 100, 100);
    GL(glAccum)(0x105, 1.0f);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    GL(glBegin)(GL_POINTS);
    GL(glAccum)(GL_ADD, 1.0f);
    GL(glEnd)();
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(entry(1, 1, 0), 100);

    GLfloat buffer[64];
    GL(glFeedbackBuffer)(64, GL_2D, buffer);
    GL(glRenderMode)(GL_FEEDBACK);
    GL(glAccum)(GL_ADD, 0.5f);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    GL(glRenderMode)(GL_RENDER);
    EXPECT_EQ(entry(1, 1, 0), 100);

    accumMem.refuseLock = true;
    GL(glAccum)(GL_ADD, 0.5f);
    EXPECT_EQ(entry(1, 1, 0), 100);
    accumMem.refuseLock = false;

    ctx->visual.hasAccum = 0;
    GL(glAccum)(GL_ADD, 0.5f);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(entry(1, 1, 0), 100);
}

namespace {

// The operations at proc level over buffers of any size: rows wider than the row buffer, and a
// return into both colour buffers.
class AccumProcTest : public RasterTest {
protected:
    PlainMemory accumMem;
    GlAccumBuffer *ab = nullptr;

    void build(int w, int h, bool withBack) {
        attach(kX8R8G8B8, w, h, withBack);
        ctx->visual.doubleBuffer = withBack;
        colors().readColorBuffer = &colors().front;
        ab = &ctx->buffers.accum;
        __glInitAccumBuffer(ab, ctx);
        accumMem.setUp(w, h, 8);
        ab->head.attach(&ab->head, &accumMem.desc, ctx);
    }
    int16_t entry(int x, int y, int c) {
        int16_t e;
        std::memcpy(&e, accumMem.at(x, y) + 2 * c, 2);
        return e;
    }
};

TEST_F(AccumProcTest, RowsWiderThanTheRowBufferAreLoadedWhole) {
    const int w = kGlAccumRowColors + 100;
    build(w, 2, false);
    for (int x = 0; x < w; ++x) front.setElement(x, 1, uint32_t(x & 0xFF) << 8);
    __glAccumLoad(ab, 1.0f);
    for (int x : {0, 1, kGlAccumRowColors - 1, kGlAccumRowColors, w - 1})
        EXPECT_EQ(entry(x, 1, 1), loaded(float(x & 0xFF), 1.0f)) << x;
    EXPECT_EQ(accumMem.locks, accumMem.unlocks);
    EXPECT_EQ(front.locks, front.unlocks);
}

TEST_F(AccumProcTest, ReturnWritesFrontThenBackWhenBothAreDrawn) {
    build(8, 4, true);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const int16_t e[4] = {32767, 0, 16384, 0};
            std::memcpy(accumMem.at(x, y), e, 8);
        }
    inputs().drawBothBuffers = 1;
    __glAccumReturn(ab, 1.0f);
    const uint32_t blue = uint32_t(int32_t(16384.0f * (1.0f / (32767.0f / 255.0f)) + 0.5f));
    for (PlainMemory *m : {&front, &back}) {
        EXPECT_EQ(m->element(5, 3) & 0xFFFFFF, 0xFF0000u | blue);
        EXPECT_EQ(m->locks, 1);
        EXPECT_EQ(m->unlocks, 1);
    }
}

}  // namespace
