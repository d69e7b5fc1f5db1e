// The stencil buffer: its per-pixel procs through the tables for every function and operation,
// masks, clears, visuals with fewer than 8 stencil bits, and the tables' release.
#include "tests/icd_depth/depth_fixture.h"

namespace {

class StencilTest : public DepthTest {
protected:
    void setState(GLenum func, uint32_t ref, uint32_t valueMask, uint32_t writeMask, GLenum fail, GLenum zfail,
                  GLenum zpass) {
        mode().stencilFunc = func;
        ctx->state.depthStencil.stencilRef = ref;
        mode().stencilValueMask = valueMask;
        mode().stencilWriteMask = writeMask;
        mode().stencilFail = fail;
        mode().stencilDepthFail = zfail;
        mode().stencilDepthPass = zpass;
        pickAll();
    }
    uint8_t &at(int x, int y) { return *stencilMem.at(x, y); }
};

TEST_F(StencilTest, FunctionsCompareTheMaskedReferenceWithTheMaskedValue) {
    build(16);
    const GLenum funcs[] = {GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    for (GLenum f : funcs) {
        setState(f, 0x25, 0x3F, 0xFF, GL_KEEP, GL_KEEP, GL_KEEP);
        for (uint32_t v : {0x24u, 0x25u, 0x26u, 0xE5u, 0xC4u}) {
            at(2, 3) = uint8_t(v);
            uint32_t r = 0x25, s = v & 0x3F;
            bool want = f == GL_ALWAYS || (f == GL_LESS && r < s) || (f == GL_EQUAL && r == s) ||
                        (f == GL_LEQUAL && r <= s) || (f == GL_GREATER && r > s) || (f == GL_NOTEQUAL && r != s) ||
                        (f == GL_GEQUAL && r >= s);
            EXPECT_EQ(sb().test(&sb(), kBias + 2, kBias + 3), want ? 1 : 0) << std::hex << f << " " << v;
        }
    }
}

TEST_F(StencilTest, OperationsWithWriteMasks) {
    struct Case {
        GLenum op;
        uint32_t ref, writeMask;
        uint8_t before, after;
    } cases[] = {
        {GL_KEEP, 9, 0xFF, 0x42, 0x42},    {GL_ZERO, 9, 0xFF, 0x42, 0x00},    {GL_REPLACE, 9, 0xFF, 0x42, 0x09},
        {GL_INCR, 9, 0xFF, 0x42, 0x43},    {GL_INCR, 9, 0xFF, 0xFF, 0xFF},    {GL_DECR, 9, 0xFF, 0x42, 0x41},
        {GL_DECR, 9, 0xFF, 0x00, 0x00},    {GL_INVERT, 9, 0xFF, 0x0F, 0xF0},  {GL_REPLACE, 0xAB, 0x0F, 0x50, 0x5B},
        {GL_INVERT, 9, 0x0F, 0x35, 0x3A},  {GL_ZERO, 9, 0xF0, 0x35, 0x05},
    };
    build(16);
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.op << " mask " << c.writeMask << " on " << int(c.before));
        // The same operation for all three outcomes, each through its own proc.
        setState(GL_ALWAYS, c.ref, 0xFF, c.writeMask, c.op, c.op, c.op);
        for (auto apply : {sb().applyFail, sb().applyDepthFail, sb().applyDepthPass}) {
            at(1, 1) = c.before;
            apply(&sb(), kBias + 1, kBias + 1);
            EXPECT_EQ(at(1, 1), c.after);
        }
        // glStencilMask also limits a direct store.
        at(1, 1) = c.before;
        sb().store(&sb(), kBias + 1, kBias + 1, c.ref);
        EXPECT_EQ(at(1, 1), uint8_t((c.ref & c.writeMask) | (c.before & ~c.writeMask)));
        EXPECT_EQ(sb().fetch(&sb(), kBias + 1, kBias + 1), at(1, 1));
    }
}

TEST_F(StencilTest, ClearsFillTheBoxThroughTheWriteMask) {
    build(16, 21, 4);
    for (auto &b : stencilMem.bytes) b = 0x80;
    ctx->state.depthStencil.stencilClear = 0x3C;
    mode().stencilWriteMask = 0xFF;
    setClipBox(1, 1, 20, 3);
    __glClearBuffer(ctx, kGlBufferStencil);
    EXPECT_EQ(at(0, 1), 0x80);
    EXPECT_EQ(at(1, 1), 0x3C);
    EXPECT_EQ(at(19, 2), 0x3C) << "the bytes after the last group of eight";
    EXPECT_EQ(at(20, 2), 0x80);
    EXPECT_EQ(at(5, 3), 0x80);
    // A partial write mask keeps the other bits.
    mode().stencilWriteMask = 0x7F;
    ctx->state.depthStencil.stencilClear = 0x01;
    for (auto &b : stencilMem.bytes) b = 0xFE;
    __glClearBuffer(ctx, kGlBufferStencil);
    EXPECT_EQ(at(1, 1), 0x81);
    EXPECT_EQ(at(19, 2), 0x81);
    EXPECT_EQ(at(0, 1), 0xFE);
    // An empty box takes no lock.
    int locks = stencilMem.locks;
    setClipBox(4, 4, 4, 4);
    __glClearBuffer(ctx, kGlBufferStencil);
    EXPECT_EQ(stencilMem.locks, locks);
    // A refused lock leaves memory as it is.
    setClipBox(0, 0, 21, 4);
    stencilMem.refuseLock = true;
    __glClearBuffer(ctx, kGlBufferStencil);
    EXPECT_EQ(at(0, 0), 0xFE);
}

// With 3 stencil bits the tables have 8 entries: whatever bytes memory holds, references, clear
// values and results stay within 3 bits, and no lookup reads past a table.
TEST_F(StencilTest, FewStencilBitsKeepEveryValueInRange) {
    build(16, 8, 4, 3);
    ASSERT_EQ(sb().bits, 3);
    setState(GL_EQUAL, 0xFD, 0xFF, 0xFF, GL_INVERT, GL_REPLACE, GL_INCR);
    for (uint32_t v = 0; v < 256; ++v) {
        at(0, 0) = uint8_t(v);
        EXPECT_EQ(sb().test(&sb(), kBias, kBias), (v & 7) == 5 ? 1 : 0) << v;
        sb().applyFail(&sb(), kBias, kBias);
        EXPECT_EQ(at(0, 0), uint8_t(~v & 7)) << v;
        at(0, 0) = uint8_t(v);
        sb().applyDepthFail(&sb(), kBias, kBias);
        EXPECT_EQ(at(0, 0), 5) << v;
        at(0, 0) = uint8_t(v);
        sb().applyDepthPass(&sb(), kBias, kBias);
        EXPECT_EQ(at(0, 0), (v & 7) == 7 ? 7 : (v & 7) + 1) << v;
    }
    ctx->state.depthStencil.stencilClear = 0xFF;
    __glClearBuffer(ctx, kGlBufferStencil);
    EXPECT_EQ(at(3, 2), 7);
}

TEST_F(StencilTest, TablesAreRebuiltOnStencilChangesAndReleased) {
    build(16);
    setState(GL_EQUAL, 3, 0xFF, 0xFF, GL_KEEP, GL_KEEP, GL_KEEP);
    uint8_t *table = sb().testTable;
    ASSERT_NE(table, nullptr);
    // No stencil change: the pick keeps the tables as they are.
    ctx->tableDirtyMask = 0;
    ctx->state.depthStencil.stencilRef = 4;
    sb().pick(ctx);
    EXPECT_EQ(sb().testTable[3], 1);
    ctx->tableDirtyMask = kGlTableStencilFunc;
    sb().pick(ctx);
    EXPECT_EQ(sb().testTable, table) << "rebuilt in place";
    EXPECT_EQ(sb().testTable[3], 0);
    EXPECT_EQ(sb().testTable[4], 1);
    sb().head.free(&sb().head, ctx);
    EXPECT_EQ(sb().testTable, nullptr);
    EXPECT_EQ(sb().depthPassTable, nullptr);
}

}  // namespace
