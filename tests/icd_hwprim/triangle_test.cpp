// Triangles a program draws on the ZK3 machine: the words the chip's pusher runs for triangles
// the chip draws, the register words of a table of states, the choice between the chip and the
// software rasteriser, and the software fallback's pixels.
#include <cmath>
#include "tests/icd_hwprim/hwprim_fixture.h"
#include "icd/core/services.h"
#include "icd/raster/raster.h"
#include "icd/pixel/texture_object.h"

namespace {

uint32_t bitsOf(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

// The vertices of the writes on subchannel 1: method 0x1000 + 32 k + word.
struct Vertices {
    std::vector<std::array<uint32_t, 8>> v;
    explicit Vertices(const std::vector<Op> &ops) {
        for (const Op &o : ops) {
            if (o.sub != 1 || o.method < 0x1000 || o.method >= 0x1100) continue;
            const uint32_t word = (o.method - 0x1000) / 4 % 8;
            if (word == 0) v.push_back({});
            v.back()[word] = o.value;
        }
    }
};

class HwTriangle : public HwPrimTest {
protected:
    void SetUp() override {
        HwPrimTest::SetUp();
        buffers(true);
        GL(glColor4f)(1.0f, 0.5f, 0.0f, 1.0f);
    }
    // The states the cases change, back to their defaults.
    void reset() {
        for (GLenum cap : {GL_DEPTH_TEST, GL_ALPHA_TEST, GL_BLEND, GL_FOG, GL_CULL_FACE, GL_TEXTURE_2D, GL_STENCIL_TEST,
                           GL_COLOR_LOGIC_OP, GL_POLYGON_STIPPLE, GL_POLYGON_OFFSET_FILL})
            GL(glDisable)(cap);
        GL(glDepthMask)(GL_TRUE);
        GL(glDepthFunc)(GL_LESS);
        GL(glColorMask)(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        GL(glPolygonMode)(GL_FRONT_AND_BACK, GL_FILL);
        GL(glBlendFunc)(GL_ONE, GL_ZERO);
        GL(glFrontFace)(GL_CCW);
        GL(glCullFace)(GL_BACK);
        GL(glDrawBuffer)(GL_BACK);
    }
    // A counter-clockwise (front-facing) triangle.
    void frontFacing() { triangle(8, 4, 40, 4, 8, 28); }
    void backFacing() { triangle(8, 4, 8, 28, 40, 4); }
};

TEST_F(HwTriangle, ATriangleIsTheBlockThenThreeVerticesAndTheNextOnlyItsVertices) {
    zk3EngineClearLog();
    frontFacing();
    ASSERT_EQ(ctx->slots.primitive.renderTriangle, __glHwRenderTriangle);
    EXPECT_EQ(hw->drawingPending, 1);
    std::vector<Op> ops = flushed();
    // Surfaces first (back buffer, screen, depth), once.
    const std::vector<Op> surfaces = {{4, 0, 0x1008},   {4, 0x308, 128},  {4, 0x30C, 0x40000}, {4, 0, 0x1009},
                                      {4, 0x308, 4096}, {4, 0x30C, 0},    {4, 0, 0x1008},      {5, 0, 0x100A},
                                      {5, 0x308, 128},  {5, 0x30C, 0x60000}, {5, 0, 0x100B},   {5, 0x308, 128},
                                      {5, 0x30C, 0x60000}};
    ASSERT_GE(ops.size(), surfaces.size());
    EXPECT_EQ(std::vector<Op>(ops.begin(), ops.begin() + 13), surfaces);
    const std::vector<Op> tri = onSub(ops, 1);
    ASSERT_EQ(tri.size(), 7u + 24u);
    EXPECT_EQ(tri[0], (Op{1, 0, kHwTriangleObjectVideo}));
    EXPECT_EQ(tri[5], (Op{1, 0x314, 0x4081CF0u})) << "no depth test, no blend, default texture";
    Vertices v(tri);
    ASSERT_EQ(v.v.size(), 3u);
    const uint32_t tags[3] = {0, 1, 0x102};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(v.v[i][0], tags[i]);
        EXPECT_EQ(v.v[i][1], 0xFFFF8000u) << "alpha, red, green rounded, blue";
        EXPECT_EQ(v.v[i][5], bitsOf(1.0f));
        EXPECT_EQ(v.v[i][6], 0u);
        EXPECT_EQ(v.v[i][7], 0u);
    }
    // Window x minus the bias: the vertices keep their distances.
    float x[3];
    for (int i = 0; i < 3; ++i) std::memcpy(&x[i], &v.v[i][2], 4);
    EXPECT_FLOAT_EQ(std::max({x[0], x[1], x[2]}) - std::min({x[0], x[1], x[2]}), 32.0f);
    EXPECT_FLOAT_EQ(std::min({x[0], x[1], x[2]}), 8.5f) << "pixel centre, window bias taken off";

    // The chip holds the block: the next triangle is its header and vertices.
    zk3EngineClearLog();
    frontFacing();
    const uint32_t before = hw->writeIndex;
    frontFacing();
    EXPECT_EQ(hw->writeIndex - before, 25u) << "header and three vertices";
    EXPECT_EQ(Vertices(flushed()).v.size(), 6u);
}

TEST_F(HwTriangle, DegenerateAndCulledTrianglesWriteNothing) {
    frontFacing();
    flushed();
    zk3EngineClearLog();
    triangle(8, 4, 24, 4, 40, 4);
    EXPECT_TRUE(onSub(flushed(), 1).empty()) << "zero area";
    struct Case {
        const char *name;
        GLenum frontFace, cullFace;
        bool ccwShows, cwShows;
    };
    const Case cases[] = {
        {"cull back", GL_CCW, GL_BACK, true, false},
        {"cull front", GL_CCW, GL_FRONT, false, true},
        {"clockwise fronts, cull back", GL_CW, GL_BACK, false, true},
        {"front and back", GL_CCW, GL_FRONT_AND_BACK, false, false},
    };
    GL(glEnable)(GL_CULL_FACE);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        GL(glFrontFace)(c.frontFace);
        GL(glCullFace)(c.cullFace);
        zk3EngineClearLog();
        frontFacing();
        EXPECT_EQ(Vertices(flushed()).v.size(), c.ccwShows ? 3u : 0u);
        zk3EngineClearLog();
        backFacing();
        EXPECT_EQ(Vertices(flushed()).v.size(), c.cwShows ? 3u : 0u);
    }
}

// The register words of the block for a table of states.
TEST_F(HwTriangle, RegisterWordsFollowDepthAlphaBlendAndFog) {
    struct Case {
        const char *name;
        void (*set)(GlContext *);
        uint32_t control, alpha, fog, blendWord;
    };
#define C(name) slotAs<decltype(&icd::name)>(&c->liveTable, slot::name)
    const Case cases[] = {
        {"depth less, writes", [](GlContext *c) {
             C(glEnable)(GL_DEPTH_TEST);
             C(glDepthFunc)(GL_LESS);
         }, 0x3321CF0u, 0x800, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"depth greater, no writes", [](GlContext *c) {
             C(glEnable)(GL_DEPTH_TEST);
             C(glDepthFunc)(GL_GREATER);
             C(glDepthMask)(GL_FALSE);
         }, 0x3051CF0u, 0x800, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"alpha test greater 0.5", [](GlContext *c) {
             C(glEnable)(GL_ALPHA_TEST);
             C(glAlphaFunc)(GL_GREATER, 0.5f);
         }, 0x1081DF0u, 0x500u | 128u, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"blend src alpha, one minus src alpha", [](GlContext *c) {
             C(glEnable)(GL_BLEND);
             C(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
         }, 0x40811F0u, 0x800, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"blend zero, one: nothing written", [](GlContext *c) {
             C(glEnable)(GL_BLEND);
             C(glBlendFunc)(GL_ZERO, GL_ONE);
         }, 0x40081DF0u, 0x800, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"fog colour", [](GlContext *c) {
             C(glEnable)(GL_FOG);
             const float colour[4] = {1.0f, 0.0f, 1.0f, 1.0f};
             C(glFogfv)(GL_FOG_COLOR, colour);
         }, 0x4081CF0u, 0x800, 0xFFFF00FFu, 0xFFFFFFFFu},
    };
#undef C
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        c.set(ctx);
        zk3EngineClearLog();
        frontFacing();
        const std::vector<Op> tri = onSub(flushed(), 1);
        ASSERT_GE(tri.size(), 7u);
        EXPECT_EQ(tri[2], (Op{1, 0x308, 0x22100000u}));
        EXPECT_EQ(tri[4], (Op{1, 0x310, c.fog}));
        EXPECT_EQ(tri[5], (Op{1, 0x314, c.control}));
        EXPECT_EQ(tri[6], (Op{1, 0x318, c.alpha}));
        EXPECT_EQ(hw->blendWord, c.blendWord);
    }
}

TEST_F(HwTriangle, FogIsComputedPerVertexWhateverTheHint) {
    GL(glEnable)(GL_FOG);
    GL(glHint)(GL_FOG_HINT, GL_NICEST);
    GL(glFogi)(GL_FOG_MODE, GL_LINEAR);
    frontFacing();
    EXPECT_EQ(ctx->slots.primitive.fogFactor, __glFogVertexFactorLinear);
    GL(glFogi)(GL_FOG_MODE, GL_EXP);
    frontFacing();
    EXPECT_EQ(ctx->slots.primitive.fogFactor, __glFogVertexFactor);
}

// Where the chip cannot draw the state as GL defines it, the software triangle draws behind a
// flush of the chip's pending work.
TEST_F(HwTriangle, TheChooserSendsWhatTheChipCannotDrawToSoftware) {
    struct Case {
        const char *name;
        void (*set)(GlContext *);
        bool chip;
        bool twoPass = false;
    };
#define C(name) slotAs<decltype(&icd::name)>(&c->liveTable, slot::name)
    const Case cases[] = {
        {"plain", [](GlContext *) {}, true},
        {"exact blend", [](GlContext *c) {
             C(glEnable)(GL_BLEND);
             C(glBlendFunc)(GL_ONE, GL_ONE);
         }, true},
        {"blend pair sharing another pair's word", [](GlContext *c) {
             C(glEnable)(GL_BLEND);
             C(glBlendFunc)(GL_SRC_ALPHA, GL_ONE);
         }, false},
        {"blend pair the table lacks", [](GlContext *c) {
             C(glEnable)(GL_BLEND);
             C(glBlendFunc)(GL_DST_ALPHA, GL_ZERO);
         }, false},
        {"blend with a second pass", [](GlContext *c) {
             C(glEnable)(GL_BLEND);
             C(glBlendFunc)(GL_ONE, GL_SRC_COLOR);
         }, true, true},
        {"stencil", [](GlContext *c) {
             c->visual.hasStencil = 1;
             C(glEnable)(GL_STENCIL_TEST);
         }, false},
        {"logic op", [](GlContext *c) { C(glEnable)(GL_COLOR_LOGIC_OP); }, false},
        {"colour mask", [](GlContext *c) { C(glColorMask)(GL_TRUE, GL_FALSE, GL_TRUE, GL_TRUE); }, false},
        {"stipple", [](GlContext *c) { C(glEnable)(GL_POLYGON_STIPPLE); }, false},
        {"lines", [](GlContext *c) { C(glPolygonMode)(GL_FRONT_AND_BACK, GL_LINE); }, true, true},
        {"offset fill", [](GlContext *c) {
             C(glEnable)(GL_DEPTH_TEST);
             C(glEnable)(GL_POLYGON_OFFSET_FILL);
             C(glPolygonOffset)(1.0f, 1.0f);
         }, true, true},
        {"front buffer in plain memory", [](GlContext *c) { C(glDrawBuffer)(GL_FRONT); }, false},
    };
#undef C
    const GlVisual visual = ctx->visual;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        if (std::string(c.name) == "front buffer in plain memory") {
            front.inPlainMemory(2);
            ctx->tail.drawableBuffers->descriptors[kGlDescriptorFront] = front.desc;
            ctx->buffers.heads.front->attach(ctx->buffers.heads.front,
                                             &ctx->tail.drawableBuffers->descriptors[kGlDescriptorFront], ctx);
        }
        c.set(ctx);
        // Chip work pending: the software triangle waits for it.
        hw->drawingPending = 1;
        frontFacing();
        const auto proc = ctx->slots.primitive.renderTriangle;
        if (hw->softwareOnly) {
            EXPECT_NE(proc, __glHwRenderTriangle) << "nothing for the chip: the software procs themselves";
        } else {
            EXPECT_EQ(proc, !c.chip ? __glFlushThenTriangle : c.twoPass ? __glHwRenderTriangleTwoPass : __glHwRenderTriangle);
        }
        if (!c.chip) {
            EXPECT_EQ(hw->drawingPending, 0) << "finished before the software triangle";
        }
        ctx->visual = visual;
        flushed();
    }
}

// A blend the chip draws in two passes: each vertex with its own header, then the control word
// with the second pass's blend, the third vertex again, and the control word back.
TEST_F(HwTriangle, TheSecondBlendPassRepeatsTheThirdVertex) {
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_ONE, GL_SRC_COLOR);
    frontFacing();
    flushed();
    zk3EngineClearLog();
    frontFacing();
    std::vector<Op> ops = onSub(flushed(), 1);
    ASSERT_EQ(ops.size(), 7u + 24 + 1 + 8 + 1);
    const uint32_t control = ops[5].value;
    EXPECT_EQ(control, 0x640811F0u) << "depth off, blend bits of (ONE, SRC_COLOR), default texture";
    for (uint32_t i = 0; i < 24; ++i) EXPECT_EQ(ops[7 + i].method, 0x1000u + 0x40 * (i / 8) + 4 * (i % 8)) << i;
    EXPECT_EQ(ops[31], (Op{1, 0x314, (control & 0x0FFFF2FFu) | 0x10000000u}));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(ops[32 + i], (Op{1, 0x10C0u + 4 * uint32_t(i), ops[23 + i].value})) << i;
    EXPECT_EQ(ops[40], (Op{1, 0x314, control}));
}

TEST_F(HwTriangle, PolygonOffsetRaisesDepthForTheDrawingOnly) {
    GL(glEnable)(GL_DEPTH_TEST);
    frontFacing();
    flushed();
    zk3EngineClearLog();
    frontFacing();
    const auto plain = Vertices(flushed()).v;
    GL(glEnable)(GL_POLYGON_OFFSET_FILL);
    GL(glPolygonOffset)(0.0f, 1.0f);
    frontFacing();
    flushed();
    zk3EngineClearLog();
    frontFacing();
    const auto raised = Vertices(flushed()).v;
    ASSERT_EQ(plain.size(), 3u);
    ASSERT_EQ(raised.size(), 3u);
    float z0, z1;
    std::memcpy(&z0, &plain[0][4], 4);
    std::memcpy(&z1, &raised[0][4], 4);
    // One unit is the buffer's offset unit of its largest window depth (0xFFFF0000 for 16 bits),
    // as the software rasteriser takes it.
    const float offset = float(double(ctx->buffers.depth.offsetUnit) * 4294901760.0);
    ASSERT_GT(offset, 1000.0f);
    EXPECT_NEAR(z1 - z0, offset, offset / 4);
    float again;
    zk3EngineClearLog();
    GL(glDisable)(GL_POLYGON_OFFSET_FILL);
    frontFacing();
    const auto after = Vertices(flushed()).v;
    ASSERT_EQ(after.size(), 3u);
    std::memcpy(&again, &after[0][4], 4);
    EXPECT_EQ(again, z0) << "the vertex records keep their depth";
}

// Past the early kick-off threshold the chip gets the buffer at once, unless it is still busy
// with the last one.
TEST_F(HwTriangle, ATriangleBeyondTheThresholdIsPushedAtOnceWhenTheChipIsIdle) {
    frontFacing();
    flushed();
    hw->cmdBufMinWords = 20;
    size_t pushes = display.pushes.size();
    frontFacing();
    EXPECT_EQ(display.pushes.size(), pushes + 1);
    EXPECT_EQ(hw->writeIndex, 0u);
    display.deferred = true;  // the chip keeps the next batch: its notification stays pending
    frontFacing();
    pushes = display.pushes.size();
    frontFacing();
    EXPECT_EQ(display.pushes.size(), pushes) << "the last batch is still running";
    EXPECT_GT(hw->writeIndex, 20u);
    display.deferred = false;
    display.runDeferred();
}

TEST_F(HwTriangle, TheSoftwareTriangleDrawsPixelsIntoPlainMemory) {
    buffers(false);
    zk3EngineClearLog();
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    frontFacing();
    EXPECT_EQ(hw->softwareOnly, 1);
    EXPECT_TRUE(onSub(flushed(), 1).empty());
    int red = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (back.element(x, y) == ctx->visual.redMask) ++red;
    EXPECT_NEAR(red, 32 * 24 / 2, 24);
}

// A triangle cut by the window's edge reaches the chip as one fan: 8 words per vertex in one
// header, the tags of the strip walk.
TEST_F(HwTriangle, AClippedTriangleIsOneFanWithTheStripTags) {
    zk3EngineClearLog();
    triangle(-16, 4, 20, 4, 20, 28);
    const std::vector<Op> ops = onSub(flushed(), 1);
    Vertices v(ops);
    ASSERT_EQ(v.v.size(), 4u) << "two corners and two cut points";
    const uint32_t tags[4] = {0, 1, 0x12, 0x21};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(v.v[i][0], tags[i]) << i;
}

TEST(HwVertexWords, ColoursRoundToNearestAndFogIsTheInverseByte) {
    const float c[4] = {254.5f, 1.49f, 127.5f, 255.0f};
    EXPECT_EQ(__glHwColourWord(c), 0xFFFE0180u) << "ties to even";
    const float d[4] = {0.0f, 0.51f, 255.0f, 0.4f};
    EXPECT_EQ(__glHwColourWord(d), 0x000001FFu);
    EXPECT_EQ(__glHwBlendFactorIndex(GL_ZERO), 0);
    EXPECT_EQ(__glHwBlendFactorIndex(GL_SRC_ALPHA_SATURATE), 10);
    EXPECT_EQ(__glHwBlendEntry(GL_ONE, GL_SRC_ALPHA).secondPass, 0x10000000u);
    EXPECT_EQ(__glHwAlphaFunctionWord(GL_GEQUAL), 0x700u);
}

}  // namespace

namespace {

TEST(HwFastRsqrt, OneNewtonStepFromTheSeedIsWithinATenthOfAPercent) {
    __glInitRsqrtTable();
    EXPECT_EQ(__glHwRsqrtSeeds()[64], 255);
    for (float x = 1e-3f; x < 1e6f; x *= 1.37f) {
        const float want = 1.0f / std::sqrt(x);
        EXPECT_NEAR(__glFastRsqrt(x) / want, 1.0f, 1e-3f) << x;
    }
}

}  // namespace

namespace {

// The expanded form of a luminance texel: the luminance's top four bits in the alpha nibble, the
// colour channels white. (The texture's own texels are never changed: the round trip through the
// expanded form is drawn and read back in the zk3_render texture tests.)
TEST(HwTextureForms, AnExpandedLuminanceTexelHoldsTheLuminanceAsAlpha) {
    auto normal = [](uint16_t l) { return uint16_t(l | l << 5 | l << 10 | 0x8000); };
    for (uint16_t l = 0; l < 32; ++l) {
        const uint16_t e = __glHwExpandedLuminanceTexel(normal(l));
        EXPECT_EQ(e >> 12, l >> 1) << l;
        EXPECT_EQ(e & 0x0FFF, 0x0FFF) << l;
    }
}

TEST(HwTextureForms, RepeatingAxesShiftByTheFloorOfTheirSmallestCoordinate) {
    struct Case {
        GLenum wrapS, wrapT;
        std::vector<float> in, out;
    };
    const Case cases[] = {
        {GL_REPEAT, GL_REPEAT, {-1.5f, 2.25f, 0.5f, 3.0f}, {0.5f, 0.25f, 2.5f, 1.0f}},
        {GL_REPEAT, GL_CLAMP, {-0.25f, 2.25f, 0.5f, 3.0f}, {0.75f, 2.25f, 1.5f, 3.0f}},
        {GL_CLAMP, GL_REPEAT, {4.5f, -3.0f, 5.0f, -2.5f}, {4.5f, 0.0f, 5.0f, 0.5f}},
        {GL_REPEAT, GL_REPEAT, {0.25f, 0.5f, 0.75f, 0.9f}, {0.25f, 0.5f, 0.75f, 0.9f}},
    };
    for (const Case &c : cases) {
        std::vector<float> v = c.in;
        __glHwWrapTexCoords(v.data(), int32_t(v.size()), c.wrapS, c.wrapT);
        EXPECT_EQ(v, c.out);
    }
}

}  // namespace
