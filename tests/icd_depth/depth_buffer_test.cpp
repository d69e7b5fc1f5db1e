// The depth buffer: the kind GLFORCEZBITS or the visual chooses, clears (full, by epoch, in a
// scissor box), the epoch directions of the 24-bit kind, read-back, and the drawable's save block.
#include <bit>
#include "tests/icd_depth/depth_fixture.h"

namespace {

TEST_F(DepthTest, KindFollowsGlforcezbitsOrTheVisual) {
    struct Case {
        const char *env;
        int visualBits;
        int bits, elementSize;
        uint32_t maxValue, scale;
    } cases[] = {
        {nullptr, 16, 16, 2, 0xFFFF, 0xFFFF0000u}, {"16", 16, 16, 2, 0xFFFF, 0xFFFF0000u},
        {"24", 16, 24, 4, 0xFFFFFF, 0x7FC00000u},  {"17", 16, 24, 4, 0xFFFFFF, 0x7FC00000u},
        {"25", 16, 32, 4, 0xFFFFFFFF, 0x7FC00000u}, {"24bits", 32, 24, 4, 0xFFFFFF, 0x7FC00000u},
        {"none", 32, 16, 2, 0xFFFF, 0xFFFF0000u},   {nullptr, 24, 24, 4, 0xFFFFFF, 0x7FC00000u},
        {nullptr, 32, 32, 4, 0xFFFFFFFF, 0x7FC00000u},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.env ? c.env : "unset");
        ScopedEnv env("GLFORCEZBITS", c.env);
        ctx->visual.depthBits = c.visualBits;
        GlDepthBuffer d{};
        __glInitDepthBuffer(&d, ctx);
        EXPECT_EQ(d.head.depth, c.bits);
        EXPECT_EQ(d.head.elementSize, c.elementSize);
        EXPECT_EQ(d.maxValue, c.maxValue);
        EXPECT_EQ(d.scale, c.scale);
        EXPECT_EQ(d.effectiveFunc, GLenum(GL_LESS));
        EXPECT_EQ(d.needsFullClear, c.bits == 24 ? 0 : 1);
        EXPECT_EQ(std::bit_cast<uint32_t>(d.offsetUnit), c.bits == 16 ? 0x3B800080u : 0x3C004020u);
    }
}

TEST_F(DepthTest, ClearValuesOfTheKinds) {
    build(16);
    EXPECT_EQ(__glDepthClearValue(&db()), 0xFFFFu);
    mode().depthClear = 0.5;
    EXPECT_EQ(__glDepthClearValue(&db()), 0x7FFFu);
    build(24);
    db().epochBase = 0x7F000000u;
    db().epochStep = kGlEpochFalling;
    db().mirror = 0;
    EXPECT_EQ(__glDepthClearValue(&db()), 0x7FFF8000u);
    build(32);
    EXPECT_EQ(__glDepthClearValue(&db()), 0x7FC00000u);
}

TEST_F(DepthTest, FullClearsFillTheBoxAndNothingElse) {
    for (int kind : {16, 32}) {
        SCOPED_TRACE(kind);
        build(kind);
        uint32_t v = __glDepthClearValue(&db());
        setClipBox(2, 1, 7, 4);
        clearDepth();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                bool inside = x >= 2 && x < 7 && y >= 1 && y < 4;
                EXPECT_EQ(depthMem.element(x, y), inside ? v : 0u) << x << "," << y;
            }
        EXPECT_EQ(depthMem.locks, 1);
        EXPECT_EQ(depthMem.unlocks, 1);
        // Writes off, or an empty box: nothing written and no lock taken.
        setClipBox(0, 0, width, height);
        ctx->state.depthStencil.depthWriteMask = 0;
        clearDepth();
        ctx->state.depthStencil.depthWriteMask = 1;
        setClipBox(3, 3, 3, 5);
        clearDepth();
        EXPECT_EQ(depthMem.locks, 1);
        EXPECT_EQ(depthMem.element(0, 0), 0u);
    }
}

TEST_F(DepthTest, EpochClearsFollowTheTagSequence) {
    build(24);
    // The first pick already left the falling tags: rising tags, mirrored GL_LESS.
    EXPECT_EQ(db().epochStep, kGlEpochRising);
    clearDepth();  // after the resize: a full clear
    EXPECT_EQ(tag(), 0x80u);
    EXPECT_EQ(db().mirror, 1);
    EXPECT_EQ(db().effectiveFunc, GLenum(GL_GREATER));
    EXPECT_EQ(depthMem.element(5, 5), 0x80000000u);
    EXPECT_EQ(db().needsFullClear, 0);
    int fullLocks = depthMem.locks;
    // Each later clear advances the tag and rewrites slice k = tag & 0x7F of 128 row slices.
    setClipBox(0, 0, width, height);
    for (uint32_t t = 0x81; t <= 0xFF; ++t) {
        clearDepth();
        ASSERT_EQ(tag(), t);
        int k = int(t & 0x7F), first = k * height / 128, last = (k + 1) * height / 128;
        for (int y = first; y < last; ++y) ASSERT_EQ(depthMem.element(0, y), t << 24) << t;
    }
    EXPECT_EQ(depthMem.locks - fullLocks, 8) << "an 8-row box has 8 non-empty slices";
    clearDepth();  // 0xFF -> 0x00: the direction changes
    EXPECT_EQ(tag(), 0x7Fu);
    EXPECT_EQ(db().mirror, 0);
    EXPECT_EQ(db().effectiveFunc, GLenum(GL_LESS));
    EXPECT_EQ(__glDepthClearValue(&db()), 0x7FFF8000u);
    // A clear depth that does not suit the epochs makes every clear a full one.
    mode().depthClear = 0.5;
    int locks = depthMem.locks;
    for (int i = 0; i < 3; ++i) clearDepth();
    EXPECT_EQ(depthMem.locks - locks, 3);
    EXPECT_EQ(depthMem.element(0, 7), 0x807FC000u) << "tags start over, mirrored half depth";
    EXPECT_EQ(db().fetch(&db(), kBias, kBias + 7), 0x7FC000u);
}

TEST_F(DepthTest, ADepthFuncChangeAfterTheFirstClearTakesEffect) {
    build(24);
    clearDepth();
    ASSERT_EQ(db().mirror, 1);
    const GLenum funcs[][2] = {{GL_LEQUAL, GL_GEQUAL}, {GL_EQUAL, GL_EQUAL}, {GL_ALWAYS, GL_ALWAYS},
                               {GL_GREATER, GL_LESS}, {GL_LESS, GL_GREATER}};
    for (auto f : funcs) {
        mode().depthFunc = f[0];
        __glUpdateDepthEpoch(&db());
        pickAll();
        EXPECT_EQ(db().effectiveFunc, f[1]);
        EXPECT_EQ(inputs().effectiveDepthFunc, f[1]);
        EXPECT_EQ(db().test, __glDepthTestProcs[16 + int(f[1] - GL_NEVER)]);
        EXPECT_EQ(db().fragmentTest, __glDepthValueProcs[16 + int(f[1] - GL_NEVER)]);
    }
    ctx->state.depthStencil.depthWriteMask = 0;
    pickAll();
    EXPECT_EQ(db().test, __glDepthTestProcs[16 + 8 + int(GL_GREATER - GL_NEVER)]);
}

TEST_F(DepthTest, AScissoredClearClearsOnlyTheBox) {
    build(24);
    clearDepth();
    // Draw a near depth everywhere through the buffer's own test proc.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) ASSERT_TRUE(db().test(&db(), kBias + x, kBias + y, 0x20000000u));
    const uint32_t drawn = db().fetch(&db(), kBias, kBias);
    setClipBox(4, 2, 9, 5);
    clearDepth();
    const uint32_t far = db().scale >> db().shift;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool inside = x >= 4 && x < 9 && y >= 2 && y < 5;
            EXPECT_EQ(db().fetch(&db(), kBias + x, kBias + y), inside ? far : drawn) << x << "," << y;
        }
}

TEST_F(DepthTest, ReadBackIsUnmirroredAndStaleWordsReadAsCleared) {
    build(24);
    clearDepth();
    ASSERT_EQ(db().mirror, 1);
    const uint32_t far = db().scale >> db().shift;  // depth 1.0
    EXPECT_EQ(db().fetch(&db(), kBias + 1, kBias + 1), far);
    // Window depth 0.25 arrives mirrored (0.75 of the scale) and reads back as 0.25.
    uint32_t z = uint32_t(double(db().scale) * 0.75);
    ASSERT_TRUE(db().test(&db(), kBias + 1, kBias + 1, z));
    EXPECT_EQ(db().fetch(&db(), kBias + 1, kBias + 1), far - (z >> db().shift));
    EXPECT_NEAR(double(db().fetch(&db(), kBias + 1, kBias + 1)) / far, 0.25, 1e-6);
    clearDepth();  // epoch clear: the word is stale now
    EXPECT_EQ(db().fetch(&db(), kBias + 1, kBias + 1), far);
    // In the falling direction stale words read as depth 1.0 too.
    db().epochBase = 0xFF000000u;  // the next epoch clear wraps the rising tags
    clearAndValidate();
    ASSERT_EQ(db().epochStep, kGlEpochFalling);
    ASSERT_TRUE(db().test(&db(), kBias + 2, kBias + 2, uint32_t(double(db().scale) * 0.5)));
    clearAndValidate();
    EXPECT_TRUE(allCleared());
}

// A pixel drawn once, in a row that a slice of (w h) / 128 pixels would never reach again on a narrow
// box, must never come back as the tags go round.
TEST_F(DepthTest, ThreeHundredClearsNeverBringBackStaleDepths) {
    for (auto size : {std::pair{16, 8}, std::pair{10, 25}, std::pair{3, 200}}) {
        SCOPED_TRACE(size.first);
        build(24, size.first, size.second);
        clearDepth();
        for (int i = 0; i < 300; ++i) {
            // Near depths in the last row once, in the first pixel every time, then a clear.
            const uint32_t nearZ = db().mirror ? 0x70000000u : 0x01000000u;
            for (int x = 0; x < width && i == 0; ++x)
                ASSERT_TRUE(db().test(&db(), kBias + x, kBias + height - 1, nearZ));
            ASSERT_TRUE(db().test(&db(), kBias, kBias, nearZ));
            clearAndValidate();
            ASSERT_TRUE(allCleared()) << "clear " << i << " tag " << std::hex << tag();
            // Anything short of the far plane passes everywhere.
            const uint32_t justNear = db().mirror ? 0x00100000u : 0x7FA00000u;
            for (int x = 0; x < width; ++x)
                ASSERT_TRUE(__glDepthTestProcs[16 + 8 + int(db().effectiveFunc - GL_NEVER)](
                    &db(), kBias + x, kBias + height - 1, justNear))
                    << "clear " << i << " x " << x;
        }
    }
}

TEST_F(DepthTest, ARefusedLockDuringAnEpochClearForcesAFullClearNext) {
    build(24);
    clearDepth();
    depthMem.refuseLock = true;
    // Clear until an epoch clear has a slice to write and is refused.
    for (int i = 0; i < 128 && depthMem.locks == 1; ++i) clearDepth();
    ASSERT_EQ(depthMem.locks, 2);
    EXPECT_EQ(db().needsFullClear, 1);
    depthMem.refuseLock = false;
    clearDepth();
    EXPECT_EQ(db().needsFullClear, 0);
    EXPECT_EQ(depthMem.locks, 3);
    EXPECT_TRUE(allCleared());
    for (int y = 0; y < height; ++y) EXPECT_EQ(depthMem.element(3, y) >> 24, tag());
}

TEST_F(DepthTest, RetagKeepsCurrentDepthsAndClearsStaleWords) {
    build(24);
    clearDepth();
    ASSERT_TRUE(db().test(&db(), kBias + 1, kBias + 1, 0x40000000u));
    const uint32_t drawn = depthMem.element(1, 1) & 0xFFFFFF;
    clearDepth();  // everything stale
    ASSERT_TRUE(db().test(&db(), kBias + 2, kBias + 1, 0x40000000u));
    db().retag(&db(), 0x42000000u);
    EXPECT_EQ(depthMem.element(2, 1), 0x42000000u | drawn) << "a current word keeps its depth";
    EXPECT_EQ(depthMem.element(1, 1), 0x42000000u | (__glDepthClearValue(&db()) & 0xFFFFFF)) << "a stale word";
    // The untagged kinds have nothing to rewrite.
    build(16);
    depthMem.setElement(0, 0, 0x1234);
    db().retag(&db(), 0x42000000u);
    EXPECT_EQ(depthMem.element(0, 0), 0x1234u);
}

TEST_F(DepthTest, ResizeRoundsRowsAndForcesAFullClear) {
    build(16, 16, 8);
    clearDepth();
    ASSERT_EQ(db().needsFullClear, 0);
    db().head.resize(&db().head, 9, 8, kGlBufferDepth);
    EXPECT_EQ(depthMem.resizedWidth, 16);  // 18 bytes -> 32
    EXPECT_EQ(db().needsFullClear, 1);
    build(24);
    db().head.resize(&db().head, 5, 8, kGlBufferDepth);
    EXPECT_EQ(depthMem.resizedWidth, 8);  // 20 bytes -> 32
}

TEST_F(DepthTest, TheSaveBlockCarriesTheEpochBetweenContexts) {
    build(24);
    clearDepth();
    for (int i = 0; i < 5; ++i) clearDepth();
    ASSERT_NE(depthMem.desc.depthSave, nullptr) << "the first attach makes the block";
    const GlDepthSave *s = static_cast<const GlDepthSave *>(depthMem.desc.depthSave);
    EXPECT_EQ(s->maxValue, 0xFFFFFFu) << "filled at once, not left zero";
    db().head.detach(&db().head, ctx);
    EXPECT_EQ(s->epochBase, db().epochBase);
    EXPECT_EQ(s->mirror, 1);
    // Another buffer of the same kind takes the epoch state over.
    GlDepthBuffer other{};
    __glInitDepthBuffer24(&other, ctx);
    other.head.attach(&other.head, &depthMem.desc, ctx);
    EXPECT_EQ(other.epochBase, db().epochBase);
    EXPECT_EQ(other.epochStep, kGlEpochRising);
    EXPECT_EQ(other.mirror, 1);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    EXPECT_EQ(ctx->dirtyMask & 0x180u, 0x180u);
    // A buffer of another kind does not take it, and clears fully first.
    GlDepthBuffer sixteen{};
    __glInitDepthBuffer16(&sixteen, ctx);
    sixteen.needsFullClear = 0;
    sixteen.head.attach(&sixteen.head, &depthMem.desc, ctx);
    EXPECT_EQ(sixteen.maxValue, 0xFFFFu);
    EXPECT_EQ(sixteen.needsFullClear, 1);
}

TEST_F(DepthTest, DepthRangeFollowsTheMirror) {
    build(24);
    ctx->state.transform.depthNear = 0.0;
    ctx->state.transform.depthFar = 1.0;
    clearDepth();
    ASSERT_EQ(db().mirror, 1);
    EXPECT_EQ(__glDepthBufferScale(ctx), float(0x7FC00000u));
    EXPECT_EQ(__glDepthBufferInverted(ctx), 1);
    // Window z = centre + scale * ndc: ndc -1 (near) maps to the top of the range when mirrored.
    const GlViewport &v = ctx->state.transform.viewport;
    EXPECT_FLOAT_EQ(v.zCenter - v.zScale, float(0x7FC00000u));
}

}  // namespace
