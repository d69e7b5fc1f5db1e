// Rows wider than the runners' row buffers: a drawable 2100 pixels wide, drawn, read and copied
// across its whole width.
#include <vector>
#include "tests/icd_pixelops/pixelops_fixture.h"

namespace {

constexpr int kWide = 2100, kRows = 3;

class PixelOpsWide : public StateTest {
protected:
    PlainMemory memory;
    void SetUp() override {
        IcdTest::SetUp();
        openContext(kSingleFormat, kWide, kRows);
        if (HasFatalFailure()) return;
        __glSetStateDefaults(ctx);
        attachPlainRgb32Front(ctx, memory, kWide, kRows);
        GL(glViewport)(0, 0, kWide, kRows);
        GL(glMatrixMode)(GL_PROJECTION);
        GL(glLoadIdentity)();
        GL(glOrtho)(0, kWide, 0, kRows, -1, 1);
        GL(glMatrixMode)(GL_MODELVIEW);
        GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
    }
    void validate() {
        if (ctx->beginMode == kGlNeedValidate) {
            ctx->slots.validate(ctx);
            ctx->beginMode = kGlOutsideBegin;
        }
    }
    uint32_t at(int x, int y) {
        return memory.element(x, ctx->state.transform.drawable.yInverted ? kRows - 1 - y : y) & 0xFFFFFF;
    }
    // Red and green carry the column.
    static uint32_t columnColor(int x) { return uint32_t((x & 0xFF) << 16 | ((x >> 8) & 0xFF) << 8 | 0x11); }
};

// Source rows of more pixels than the row buffers hold: a row of 4 x the window's width drawn at
// zoom 0.25, a read wider than the buffers, and a full-width row drawn, read and copied.
TEST_F(PixelOpsWide, RowsWiderThanTheBuffers) {
    const int W = ctx->state.transform.drawable.width;  // the window as the screen allows it
    ASSERT_GT(W, 0);
    ASSERT_LE(W, kWide);
    // 4 W source pixels, pixel i holding column i / 4, at zoom 0.25 from x = 0.125: column c shows
    // source pixel 4c + 1.
    std::vector<uint8_t> quad(size_t(4 * W) * 3);
    for (int i = 0; i < 4 * W; ++i) {
        quad[size_t(3 * i)] = uint8_t((i / 4) & 0xFF);
        quad[size_t(3 * i + 1)] = uint8_t((i / 4) >> 8);
        quad[size_t(3 * i + 2)] = 0x11;
    }
    ASSERT_GT(4 * W, kGlPixelRowPixels);
    GL(glPixelZoom)(0.25f, 1.0f);
    GL(glRasterPos2f)(0.125f, 1.0f);
    validate();
    procAs<GlDrawPixelsProc>(ctx->state.pick.drawPixels)(ctx, 4 * W, 1, GL_RGB, GL_UNSIGNED_BYTE, quad.data(), 0);
    for (int x = 0; x < W; ++x) ASSERT_EQ(at(x, 1), columnColor(x)) << x;
    for (int x = 0; x < W; ++x) ASSERT_EQ(at(x, 0) | at(x, 2), 0u) << x;

    // A full row at zoom 1, read back through a client row wider than the buffers: the part
    // beyond the window is left alone.
    GL(glPixelZoom)(1.0f, 1.0f);
    std::vector<uint8_t> row(size_t(W) * 3);
    for (int x = 0; x < W; ++x) {
        row[size_t(3 * x)] = uint8_t(x & 0xFF);
        row[size_t(3 * x + 1)] = uint8_t(x >> 8);
        row[size_t(3 * x + 2)] = 0x11;
    }
    GL(glRasterPos2i)(0, 0);
    validate();
    procAs<GlDrawPixelsProc>(ctx->state.pick.drawPixels)(ctx, W, 1, GL_RGB, GL_UNSIGNED_BYTE, row.data(), 0);
    for (int x = 0; x < W; ++x) ASSERT_EQ(at(x, 0), columnColor(x)) << x;
    const int wide = kGlPixelRowPixels + 100;
    std::vector<uint8_t> back(size_t(wide) * 3 + 8, 0xEE);
    procAs<GlReadPixelsProc>(ctx->state.pick.readPixels)(ctx, 0, 0, wide, 1, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    EXPECT_TRUE(std::equal(row.begin(), row.end(), back.begin()));
    for (size_t i = row.size(); i < back.size(); ++i) ASSERT_EQ(back[i], 0xEE) << i;

    // A copy of the row onto itself moved right by 5 columns equals the shifted row.
    GL(glRasterPos2i)(5, 0);
    validate();
    procAs<GlCopyPixelsProc>(ctx->state.pick.copyPixels)(ctx, 0, 0, W, 1, GL_RGBA);
    for (int x = 0; x < W; ++x) ASSERT_EQ(at(x, 0), columnColor(x < 5 ? x : x - 5)) << x;
}

}  // namespace
