// The generated depth-test stage of the fast span chain: worked cases, then against the prebuilt C
// stages over a table of buffer kinds, functions, write modes, offsets, stencil and walking
// directions. Every call goes through a trampoline that enters with the mask in ecx and the span in
// edx and checks the callee-saved registers and the stack pointer afterwards; the next stage is a
// recorder in the after-depth slot.
#include <random>
#include <vector>

#include "tests/icd_codegen_diff/diff_fixture.h"
#include "tests/icd_depth/depth_fixture.h"
#include "icd/raster/fast_span.h"

namespace {

using namespace icd;

struct NextStage {
    static int &calls() {
        static int n;
        return n;
    }
    static uint32_t &mask() {
        static uint32_t m;
        return m;
    }
    static void GL_FASTCALL record(uint32_t m, GlSpan *) {
        ++calls();
        mask() = m;
    }
};

class FastDepthStage : public OgDepthFixture<DepthTest> {
protected:
    static constexpr int kRow = 1, kWidth = 80;
    GlSpan sp{};

    void TearDown() override {
        __glOgSetFastDepthStageForTest(-1);
        OgDepthFixture<DepthTest>::TearDown();
    }
    // Builds the buffers and sets the state the stage is made for.
    void state(int kind, GLenum func, bool write, bool offset, bool stencil) {
        build(kind, kWidth, 3);
        mode().depthFunc = func;
        ctx->state.depthStencil.depthWriteMask = write ? 1 : 0;
        const uint32_t flags = kGlShadeDepthTest | (offset ? kGlShadePolygonOffset : 0) | (stencil ? kGlShadeStencilTest : 0);
        useFlags(flags);
        raster().shadeFlags = kGlShadeRgba | flags;
        ctx->state.span.fast.afterDepthTest = NextStage::record;
    }
    GlFastProc cStage() {
        const bool offset = raster().shadeFlags & kGlShadePolygonOffset;
        return __glFastDepthTestProcs[size_t(__glDepthTestIndex(ctx, &db()) + (offset ? 32 : 0))];
    }
    struct Outcome {
        std::vector<uint32_t> depth;
        int calls;
        uint32_t mask;
    };
    // The span at column x0 walking by xStep from its first pixel.
    Outcome run(GlFastProc stage, const std::vector<uint32_t> &stored, uint32_t mask, int x0, int xStep, uint32_t z,
                int32_t zStep, int32_t bias) {
        for (int i = 0; i < kWidth; ++i) depthMem.setElement(i, kRow, stored[size_t(i)]);
        sp = GlSpan{};
        sp.context = ctx;
        sp.xStep = xStep;
        sp.depthAddress = depthMem.at(x0, kRow);
        sp.z.cur = int32_t(z);
        sp.z.step = zStep;
        sp.depthOffset = bias;
        NextStage::calls() = 0;
        NextStage::mask() = 0xDEADBEEF;
        OgCallRecord rec{};
        const uint32_t args[4] = {mask, ogWord(&sp), 0, 0};
        ogCallChecked(reinterpret_cast<const void *>(stage), args, &rec);
        EXPECT_EQ(rec.ebx, 0x11111111u);
        EXPECT_EQ(rec.esi, 0x22222222u);
        EXPECT_EQ(rec.edi, 0x33333333u);
        EXPECT_EQ(rec.ebp, 0x44444444u);
        EXPECT_EQ(rec.espAfter, rec.espBefore);
        Outcome o{{}, NextStage::calls(), NextStage::mask()};
        for (int i = 0; i < kWidth; ++i) o.depth.push_back(depthMem.element(i, kRow));
        return o;
    }
    // What the stage computes for a depth: the buffer's epoch base plus the depth shifted to its
    // precision, 16 bits of it in a 16-bit buffer.
    uint32_t valueOf(uint32_t z) {
        const uint32_t v = db().epochBase + (z >> db().shift);
        return db().head.elementSize == 2 ? v & 0xFFFFu : v;
    }
};

TEST_F(FastDepthStage, WorkedCases) {
    struct Case {
        const char *name;
        int kind;
        GLenum func;
        bool write, offset, stencil;
        uint32_t mask, z;
        int32_t bias;
        bool storedAbove;  // the stored depths lie above the incoming value (else below)
        int calls;
        uint32_t passed;  // the mask handed on
        bool written;     // the live pixels hold the incoming value afterwards
    } cases[] = {
        {"less, both pass and are written", 32, GL_LESS, true, false, false, 0xC0000000u, 0x40000000u, 0, true, 1,
         0xC0000000u, true},
        {"less, all fail, no stencil: no next stage", 32, GL_LESS, true, false, false, 0xF0000000u, 0x40000000u, 0,
         false, 0, 0, false},
        {"less, all fail, stencil follows: next with 0", 32, GL_LESS, true, false, true, 0xF0000000u, 0x40000000u,
         0, false, 1, 0, false},
        {"16-bit buffer, the top 16 bits", 16, GL_LESS, true, false, false, 0x80000000u, 0x12345678u, 0, true, 1,
         0x80000000u, true},
        {"greater without writes", 16, GL_GREATER, false, false, false, 0xA0000000u, 0x80000000u, 0, false, 1,
         0xA0000000u, false},
        {"always writes every live pixel", 32, GL_ALWAYS, true, false, false, 0x90000001u, 0x40000000u, 0, true, 1,
         0x90000001u, true},
        {"never with stencil: next with 0", 16, GL_NEVER, true, false, true, 0xFFFFFFFFu, 0x40000000u, 0, true, 1,
         0, false},
        {"offset saturates at the top", 32, GL_ALWAYS, true, true, false, 0x80000000u, 0xFFFFFF00u, 0x1000, true, 1,
         0x80000000u, true},
        {"offset saturates at 0", 32, GL_ALWAYS, true, true, false, 0x80000000u, 0x100u, -0x1000, true, 1,
         0x80000000u, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        state(c.kind, c.func, c.write, c.offset, c.stencil);
        const GlFastProc stage = __glOgGenDepthTestProc(ctx);
        ASSERT_NE(stage, nullptr);
        ASSERT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(stage)));
        const uint32_t incoming = c.offset ? (c.bias > 0 ? db().scale : 0u) : c.z;
        const uint32_t value = valueOf(incoming);
        std::vector<uint32_t> stored(kWidth);
        for (uint32_t &v : stored) v = c.storedAbove ? value + 5 : value - 5;
        const Outcome o = run(stage, stored, c.mask, 2, 1, c.z, 0, c.bias);
        EXPECT_EQ(o.calls, c.calls);
        if (c.calls != 0) {
            EXPECT_EQ(o.mask, c.passed);
        }
        for (int i = 0; i < 32; ++i) {
            const bool live = c.mask & (0x80000000u >> i);
            const uint32_t expected = live && c.written ? value : stored[size_t(2 + i)];
            EXPECT_EQ(o.depth[size_t(2 + i)], expected) << "pixel " << i;
        }
    }
    // Never, without stencil: the stage is a bare return.
    state(16, GL_NEVER, true, false, false);
    const GlFastProc never = __glOgGenDepthTestProc(ctx);
    ASSERT_NE(never, nullptr);
    EXPECT_EQ(*reinterpret_cast<const uint8_t *>(never), 0xC3);
}

TEST_F(FastDepthStage, MatchesThePrebuiltStagesOverATableOfStates) {
    std::mt19937 rng(4321);
    int compared = 0;
    for (int kind : {16, 24, 32}) {
        for (GLenum func = GL_NEVER; func <= GL_ALWAYS; ++func) {
            for (int flags = 0; flags < 8; ++flags) {
                const bool write = flags & 1, offset = flags & 2, stencil = flags & 4;
                SCOPED_TRACE(::testing::Message() << "kind " << kind << " func 0x" << std::hex << func << " write "
                                                  << write << " offset " << offset << " stencil " << stencil);
                state(kind, func, write, offset, stencil);
                const GlFastProc generated = __glOgGenDepthTestProc(ctx);
                ASSERT_NE(generated, nullptr);
                for (int round = 0; round < 6; ++round) {
                    const int xStep = round & 1 ? -1 : 1;
                    const int x0 = xStep > 0 ? 3 : 3 + 31;
                    // Depths near the stored ones, so that every function both passes and fails.
                    const uint32_t z = 0x20000000u + (rng() & 0x3FFFFFFF);
                    const int32_t zStep = int32_t(rng() & 0xFFFFF) - 0x80000;
                    const int32_t bias = offset ? int32_t(rng() & 0x1FFFFFF) - 0x1000000 : 0;
                    std::vector<uint32_t> stored(kWidth);
                    for (int i = 0; i < kWidth; ++i) {
                        const uint32_t zi = z + uint32_t(zStep) * uint32_t(i < x0 ? x0 - i : i - x0);
                        const uint32_t r = rng();
                        stored[size_t(i)] = valueOf(zi) + (r & 1 ? (r >> 28) : 0u - (r >> 28));
                        if (kind == 16) stored[size_t(i)] &= 0xFFFF;
                    }
                    const uint32_t mask = round == 5 ? 0xFFFFFFFFu : (rng() | rng());
                    const Outcome a = run(generated, stored, mask, x0, xStep, z, zStep, bias);
                    const Outcome b = run(cStage(), stored, mask, x0, xStep, z, zStep, bias);
                    EXPECT_EQ(a.depth, b.depth);
                    EXPECT_EQ(a.calls, b.calls);
                    if (a.calls != 0 && b.calls != 0) {
                        EXPECT_EQ(a.mask, b.mask);
                    }
                    ++compared;
                }
            }
        }
    }
    EXPECT_EQ(compared, 3 * 8 * 8 * 6);
}

}  // namespace
