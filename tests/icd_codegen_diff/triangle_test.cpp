// The generated triangle set-up against __glFillTriangleFast: for a table of states and of
// triangles, the span record each writes (every integer field equal, the fixed-point planes
// equal too, both being the same double arithmetic), the registers and x87 state the routine
// keeps, and the pictures a program reads back with glReadPixels with the routine installed and
// without it.
//
// The span routine the generated set-up jumps into is a test routine here: it copies the record
// and walks it the way the span routines walk (rows of each half, the carry-selected steps,
// chunks of 32 handed to the fast chain), so the pictures compare the two set-ups through the
// same chain. The C set-up's record is caught as it enters the same test routine. Expected
// values are the C set-up's: both are exact integer walkers and the same double arithmetic, so
// the bound on the planes is 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "icd/codegen/og_triangle.h"
#include "icd/core/pick.h"
#include "icd/pixel/texture_object.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/fast_span.h"
#include "icd/raster/stencil_buffer.h"
#include "icd/vertex/vertex.h"
#include "tests/icd_codegen_diff/diff_fixture.h"
#include "tests/icd_raster/raster_fixture.h"
#include "tests/icd_state/state_fixture.h"

namespace {

constexpr int kSide = 64;

// ---- the test span routine ------------------------------------------------------------------------
struct SpanCapture {
    GlSpan record;
    int calls = 0;
    int fromGenerated = 0;  // entries from the generated set-up (its continuation is generated code)
    bool walk = false;
    uint32_t *returnWord = nullptr;
};
SpanCapture gCapture;

uint32_t add(uint32_t a, uint32_t b) { return a + b; }

// Rows of each half from the start edge to the other edge, 32 pixels a chunk; the iterators move
// by their chunk and carry-selected row steps (inactive ones carry words nobody reads).
void walkRecord(GlSpan &sp) {
    GlContext *ctx = sp.context;
    const GlFastProc first = ctx->state.span.fast.fastStageFirst;
    // Flat colours are not iterated: red's row start holds the packed flat pixel.
    std::vector<GlSpanIter *> its = {&sp.fog, &sp.z, &sp.s, &sp.t};
    if (ctx->state.span.raster.shadeFlags & kGlShadeSmooth) its.insert(its.end(), {&sp.red, &sp.green, &sp.blue, &sp.alpha});
    // The float iterators: s/w, t/w, 1/w and the level of detail (same leading words).
    struct FloatIter {
        float *cur, *rowStart, *chunkStep, *rowStep;
    } floats[] = {{&sp.sw.cur, &sp.sw.rowStart, &sp.sw.chunkStep, sp.sw.rowStep},
                  {&sp.tw.cur, &sp.tw.rowStart, &sp.tw.chunkStep, sp.tw.rowStep},
                  {&sp.qw.cur, &sp.qw.rowStart, &sp.qw.chunkStep, sp.qw.rowStep},
                  {&sp.lod.cur, &sp.lod.rowStart, &sp.lod.chunkStep, sp.lod.rowStep}};
    struct Address {
        uint8_t **cur, **rowStart;
        int32_t *chunk, *rowStep;
    } addrs[] = {{&sp.pixel, &sp.pixelRowStart, &sp.pixelChunkStep, sp.pixelRowStep},
                 {&sp.depthAddress, &sp.depthRowStart, &sp.depthChunkStep, sp.depthRowStep},
                 {&sp.stencilAddress, &sp.stencilRowStart, &sp.stencilChunkStep, sp.stencilRowStep}};
    auto moveAddress = [](uint8_t *&p, int32_t by) { p = reinterpret_cast<uint8_t *>(add(uintptr_t(p), uint32_t(by))); };
    auto advance = [](int32_t &x, uint32_t &frac, uint32_t fracStep, const int32_t *step) {
        const uint32_t sum = frac + fracStep;
        frac = sum & 0x7FFFFFFFu;
        x += step[sum >> 31];
        return int(sum >> 31);
    };
    for (;;) {
        sp.y = sp.yStart;
        for (int rows = sp.yMiddle - sp.yStart; rows > 0; --rows) {
            for (GlSpanIter *it : its) it->cur = it->rowStart;
            for (FloatIter &f : floats) *f.cur = *f.rowStart;
            for (Address &a : addrs) *a.cur = *a.rowStart;
            for (int32_t u = sp.startEdgeX; u < sp.otherEdgeX; u += 32) {
                const int32_t n = sp.otherEdgeX - u;
                sp.x = u;
                sp.ditherPointer = sp.ditherTableBase + 35 * (sp.y & 3) + (u & 3);
                first(n >= 32 ? 0xFFFFFFFFu : __glFastMaskTable[size_t(n)], &sp);
                for (GlSpanIter *it : its) it->cur = int32_t(add(uint32_t(it->cur), uint32_t(it->chunkStep)));
                for (FloatIter &f : floats) *f.cur += *f.chunkStep;
                for (Address &a : addrs) moveAddress(*a.cur, *a.chunk);
            }
            const int c = advance(sp.startEdgeX, sp.startEdgeFrac, sp.startEdgeFracStep, sp.startEdgeStep);
            for (GlSpanIter *it : its) it->rowStart = int32_t(add(uint32_t(it->rowStart), uint32_t(it->rowStep[c])));
            for (FloatIter &f : floats) *f.rowStart += f.rowStep[c];
            for (Address &a : addrs) moveAddress(*a.rowStart, a.rowStep[c]);
            advance(sp.otherEdgeX, sp.otherEdgeFrac, sp.otherEdgeFracStep, sp.otherEdgeStep);
            sp.y += 1;
        }
        if (sp.yEnd == sp.yMiddle) break;
        sp.yStart = sp.yMiddle;
        sp.yMiddle = sp.yEnd;
        sp.otherEdgeX = sp.lowerEdgeX;
        std::memcpy(sp.otherEdgeStep, sp.lowerEdgeStep, sizeof sp.otherEdgeStep);
        sp.otherEdgeFrac = sp.lowerEdgeFrac;
        sp.otherEdgeFracStep = sp.lowerEdgeFracStep;
    }
}

}  // namespace

// The context's spanReturn word, through which the test routine leaves.
extern "C" uint32_t *ogTriangleTestReturn;
uint32_t *ogTriangleTestReturn = nullptr;

// Entered by a jump with esp at the record; leaves through the continuation (which the body
// returns) with eax = 1.
extern "C" uint32_t ogTriangleTestSpanBody(GlSpan *sp) {
    ++gCapture.calls;
    gCapture.fromGenerated += __glOgIsGenerated(sp->context, reinterpret_cast<const void *>(uintptr_t(*ogTriangleTestReturn)));
    gCapture.record = *sp;
    if (gCapture.walk) walkRecord(*sp);
    // The unlock step of the set-up's lock, as the C set-up releases it.
    GlBufferArea &b = sp->context->buffers;
    b.lockCount -= 1;
    if (b.lockCount == 0 && b.drawableUnlock != nullptr) b.drawableUnlock(sp->context);
    return *ogTriangleTestReturn;
}
extern "C" void ogTriangleTestSpan();
asm(R"(
    .text
    .globl ogTriangleTestSpan
    .type ogTriangleTestSpan, @function
    .intel_syntax noprefix
ogTriangleTestSpan:
    push esp
    call ogTriangleTestSpanBody
    add esp, 4
    mov ecx, eax
    mov eax, 1
    jmp ecx
    .att_syntax prefix
    .size ogTriangleTestSpan, .-ogTriangleTestSpan
)");

namespace {

// Whether the C set-up reached the fast chain (it clips what the generated set-up hands over).
struct StageCapture {
    int calls = 0;
};
StageCapture gStage;
void GL_FASTCALL captureStage(uint32_t, GlSpan *) { ++gStage.calls; }

// The routine's result (in eax) as the checker reads it.
using IntTriangleProc = int32_t (*)(GlContext *, GlVertex *, GlVertex *, GlVertex *);
IntTriangleProc asIntProc(GlPickTriangleProc p) {
    return reinterpret_cast<IntTriangleProc>(reinterpret_cast<void *>(p));
}

struct State {
    const char *name;
    std::function<void(GlContext *)> set;
};
// A 16 x 16 texture and its mipmaps, its channels changing along both axes, modulating.
void loadTexture(GlContext *ctx, GLenum minFilter) {
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    for (int level = 0, side = 16; side >= 1; ++level, side /= 2) {
        std::vector<uint8_t> texels(size_t(side) * side * 4);
        for (int j = 0; j < side; ++j)
            for (int i = 0; i < side; ++i) {
                uint8_t *p = &texels[size_t(j * side + i) * 4];
                p[0] = uint8_t(i * 256 / side), p[1] = uint8_t(j * 256 / side), p[2] = uint8_t(255 - level * 40);
                p[3] = 255;
            }
        GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    }
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(minFilter));
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    GL(glEnable)(GL_TEXTURE_2D);
}
void depthLess(GlContext *ctx) {
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glDepthFunc)(GL_LESS);
}
const State kStates[] = {
    {"flat", [](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); GL(glDisable)(GL_DITHER); }},
    {"flat dither", [](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); }},
    {"smooth", [](GlContext *ctx) { GL(glDisable)(GL_DITHER); }},
    {"smooth dither depth less", [](GlContext *ctx) { depthLess(ctx); }},
    {"depth greater no writes", [](GlContext *ctx) {
         GL(glEnable)(GL_DEPTH_TEST);
         GL(glDepthFunc)(GL_GREATER);
         GL(glDepthMask)(0);
     }},
    {"stencil depth", [](GlContext *ctx) {
         depthLess(ctx);
         GL(glEnable)(GL_STENCIL_TEST);
         GL(glStencilFunc)(GL_EQUAL, 1, 0xFF);
         GL(glStencilOp)(GL_ZERO, GL_DECR, GL_INCR);
     }},
    {"texture affine modulate", [](GlContext *ctx) {
         // The fastest perspective hint and equal filters keep the coordinates affine.
         loadTexture(ctx, GL_NEAREST);
         GL(glHint)(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
         depthLess(ctx);
     }},
    {"texture perspective", [](GlContext *ctx) { loadTexture(ctx, GL_NEAREST); }},
    {"texture mipmapped, fastest hint", [](GlContext *ctx) {
         // Filters that differ: perspective planes and the level of detail whatever the hint.
         loadTexture(ctx, GL_NEAREST_MIPMAP_NEAREST);
         GL(glHint)(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
     }},
    {"texture trilinear replace depth", [](GlContext *ctx) {
         loadTexture(ctx, GL_LINEAR_MIPMAP_LINEAR);
         GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
         depthLess(ctx);
     }},
    {"trilinear, fog, stencil, depth, blend: every plane", [](GlContext *ctx) {
         loadTexture(ctx, GL_LINEAR_MIPMAP_LINEAR);
         depthLess(ctx);
         GL(glEnable)(GL_STENCIL_TEST);
         GL(glStencilFunc)(GL_EQUAL, 1, 0xFF);
         GL(glStencilOp)(GL_KEEP, GL_KEEP, GL_INCR);
         GL(glEnable)(GL_FOG);
         GL(glEnable)(GL_BLEND);
         GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
     }},
    {"fog blend", [](GlContext *ctx) {
         GL(glEnable)(GL_FOG);
         GL(glFogi)(GL_FOG_MODE, GL_LINEAR);
         GL(glEnable)(GL_BLEND);
         GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
     }},
};

struct Corner {
    float x, y, z, r, g, b, a, fog;
};
// Texture coordinates of a corner: s and t from its position, q from its fog value (q = 0 at
// fog 0, which the set-ups count as 1), given as (s q, t q, 0, q).
void texCoords(const Corner &c, float out[4]) {
    const float q = c.fog * 2.0f;
    out[0] = c.x / 16.0f * q;
    out[1] = c.y / 20.0f * q;
    out[2] = 0.0f;
    out[3] = q;
}
struct Triangle {
    const char *name;
    Corner v[3];
};
// In pixels of the 64 x 64 window (the bias is added when the records are made).
const Triangle kTriangles[] = {
    {"long edge left", {{4.5f, 3.25f, 0.2f, 0.9f, 0.1f, 0.3f, 0.8f, 0.1f},
                        {50.75f, 20.5f, 0.7f, 0.2f, 0.8f, 0.5f, 0.4f, 0.9f},
                        {10.125f, 60.0625f, 0.4f, 0.4f, 0.3f, 0.9f, 0.2f, 0.5f}}},
    {"long edge right", {{40.5f, 2.5f, 0.6f, 0.3f, 0.9f, 0.1f, 0.5f, 0.3f},
                         {60.25f, 61.75f, 0.1f, 0.7f, 0.2f, 0.6f, 0.9f, 0.6f},
                         {3.0625f, 30.5f, 0.9f, 0.1f, 0.5f, 0.8f, 0.1f, 0.2f}}},
    {"flat top", {{2.5f, 10.5f, 0.3f, 1, 0, 0, 1, 0}, {61.5f, 10.5f, 0.5f, 0, 1, 0, 1, 1},
                  {30.25f, 55.75f, 0.8f, 0, 0, 1, 1, 0.5f}}},
    {"flat bottom", {{30.5f, 1.5f, 0.3f, 1, 1, 0, 1, 0}, {1.25f, 50.5f, 0.5f, 0, 1, 1, 1, 1},
                     {62.75f, 50.5f, 0.8f, 1, 0, 1, 1, 0.5f}}},
    {"sub-sixteenth fractions", {{5.03f, 4.97f, 0.25f, 0.5f, 0.5f, 0.5f, 1, 0.2f},
                                 {47.0101f, 9.0399f, 0.5f, 0.1f, 0.9f, 0.3f, 1, 0.4f},
                                 {22.777f, 40.123f, 0.75f, 0.8f, 0.2f, 0.7f, 1, 0.7f}}},
    {"tall and thin", {{31.5f, 0.5f, 0.1f, 0.2f, 0.3f, 0.4f, 1, 0}, {33.75f, 63.25f, 0.9f, 0.8f, 0.7f, 0.6f, 1, 1},
                       {30.25f, 40.5f, 0.5f, 0.5f, 0.5f, 0.5f, 1, 0.5f}}},
    {"wide, long spans", {{0.5f, 20.5f, 0.5f, 0.1f, 0.1f, 0.9f, 1, 0}, {63.5f, 22.25f, 0.5f, 0.9f, 0.1f, 0.1f, 1, 1},
                          {20.5f, 31.75f, 0.5f, 0.1f, 0.9f, 0.1f, 1, 0.5f}}},
    {"small", {{10.5f, 10.5f, 0.5f, 0.3f, 0.6f, 0.9f, 1, 0}, {13.25f, 11.75f, 0.4f, 0.9f, 0.6f, 0.3f, 1, 1},
               {11.0f, 13.5f, 0.6f, 0.6f, 0.9f, 0.3f, 1, 0.5f}}},
    {"at the box edges", {{0.0f, 0.0f, 0.5f, 0.3f, 0.6f, 0.9f, 1, 0}, {63.9375f, 0.5f, 0.4f, 0.9f, 0.6f, 0.3f, 1, 1},
                          {63.9375f, 63.9375f, 0.6f, 0.6f, 0.9f, 0.3f, 1, 0.5f}}},
};

class TriangleRoutine : public StateTest {
protected:
    PlainMemory colorMem, depthMem, stencilMem;
    GlVertex records[3];

    void SetUp() override {
        IcdTest::SetUp();
        openContext(kSingleFormat, kSide, kSide);
        if (HasFatalFailure()) return;
        __glSetStateDefaults(ctx);
        setRgb16Visual(ctx, 0xF800, 0x07E0, 0x001F, 6);
        attachPlainFront(ctx, colorMem, kSide, kSide, 2);
        attachPlainDepth(ctx, depthMem, kSide, kSide, 16);
        attachPlainStencil(ctx, stencilMem, kSide, kSide);
        GL(glDrawBuffer)(GL_FRONT);
        windowProjection(ctx, kSide, kSide);
        ogTriangleTestReturn = &icd::__glOgContextOf(ctx)->spanReturn;
    }
    void TearDown() override {
        if (ctx != nullptr) {
            __glReleaseStencilTables(&ctx->buffers.stencil.head, ctx);
            if (depthMem.desc.depthSave != nullptr) ctx->hostProcs.free(ctx, depthMem.desc.depthSave);
            depthMem.desc.depthSave = nullptr;
        }
        __glOgSetTriangleProcForTest(-1);
        StateTest::TearDown();
    }

    // The state validated: an empty primitive runs the pickers.
    void apply(const State &state) {
        // The test chooses the road: the chooser leaves __glFillTriangleFast in place.
        __glOgSetTriangleProcForTest(0);
        __glSetStateDefaults(ctx);
        windowProjection(ctx, kSide, kSide);
        GL(glDrawBuffer)(GL_FRONT);
        state.set(ctx);
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask = 0x7FF;
        GL(glBegin)(GL_TRIANGLES);
        GL(glEnd)();
    }

    void makeRecords(const Triangle &t, const int order[3], float dx = 0, float dy = 0) {
        std::memset(records, 0, sizeof records);
        for (int i = 0; i < 3; ++i) {
            const Corner &c = t.v[order[i]];
            GlVertex &v = records[i];
            v.window[0] = float(kBias) + c.x + dx;
            v.window[1] = float(kBias) + c.y + dy;
            v.window[2] = c.z * 65535.0f;
            const float scale[4] = {ctx->scales.redScale, ctx->scales.greenScale, ctx->scales.blueScale,
                                    ctx->scales.alphaScale};
            const float col[4] = {c.r, c.g, c.b, c.a};
            for (int k = 0; k < 4; ++k) v.frontColor[k] = col[k] * scale[k];
            v.color = v.frontColor;
            v.fog = c.fog;
            texCoords(c, v.texCoord[0]);
        }
    }
};

// Every word of the set-up, compared (the iterators the state has, the addresses it walks).
void expectSameSetUp(const GlSpan &g, const GlSpan &c, GlShadeFlags f, bool perspective, const std::string &where) {
    SCOPED_TRACE(where);
#define SAME(field) EXPECT_EQ(g.field, c.field) << #field
    SAME(signedArea);
    SAME(yStart); SAME(yMiddle); SAME(yEnd); SAME(y); SAME(xStep);
    SAME(startEdgeX); SAME(startEdgeStep[0]); SAME(startEdgeStep[1]); SAME(startEdgeFrac); SAME(startEdgeFracStep);
    SAME(otherEdgeX); SAME(otherEdgeStep[0]); SAME(otherEdgeStep[1]); SAME(otherEdgeFrac); SAME(otherEdgeFracStep);
    SAME(lowerEdgeX); SAME(lowerEdgeStep[0]); SAME(lowerEdgeStep[1]); SAME(lowerEdgeFrac); SAME(lowerEdgeFracStep);
    SAME(pixelRowStart); SAME(pixelStep); SAME(pixelChunkStep); SAME(pixelRowStep[0]); SAME(pixelRowStep[1]);
    SAME(ditherTableBase); SAME(context); SAME(depthOffset);
    if (f & kGlShadeDepthTest) {
        SAME(depthRowStart); SAME(depthAddressStep); SAME(depthChunkStep); SAME(depthRowStep[0]); SAME(depthRowStep[1]);
    }
    if (f & kGlShadeStencilTest) {
        SAME(stencilRowStart); SAME(stencilStep); SAME(stencilChunkStep); SAME(stencilRowStep[0]); SAME(stencilRowStep[1]);
    }
#undef SAME
    // The planes: the same double arithmetic on both sides, so no rounding apart (bound 0).
    auto same = [&](const char *name, const GlSpanIter &a, const GlSpanIter &b) {
        EXPECT_EQ(a.rowStart, b.rowStart) << name;
        EXPECT_EQ(a.step, b.step) << name;
        EXPECT_EQ(a.chunkStep, b.chunkStep) << name;
        EXPECT_EQ(a.rowStep[0], b.rowStep[0]) << name;
        EXPECT_EQ(a.rowStep[1], b.rowStep[1]) << name;
    };
    same("red", g.red, c.red);
    if (f & kGlShadeSmooth) {
        same("green", g.green, c.green);
        same("blue", g.blue, c.blue);
        same("alpha", g.alpha, c.alpha);
    } else {
        EXPECT_EQ(g.green.cur, c.green.cur);
        EXPECT_EQ(g.blue.cur, c.blue.cur);
        EXPECT_EQ(g.alpha.cur, c.alpha.cur);
    }
    if (f & kGlShadeDepthTest) same("z", g.z, c.z);
    if (f & kGlShadeFog) same("fog", g.fog, c.fog);
    if ((f & kGlShadeTexture) && !perspective) {
        same("s", g.s, c.s);
        same("t", g.t, c.t);
    }
    if ((f & kGlShadeTexture) && perspective) {
        auto sameFloat = [&](const char *name, const GlSpanFloatIter &a, const GlSpanFloatIter &b) {
            EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << name;
        };
        sameFloat("s/w", g.sw, c.sw);
        sameFloat("t/w", g.tw, c.tw);
        sameFloat("1/w", g.qw, c.qw);
        EXPECT_EQ(std::memcmp(&g.lod, &c.lod, sizeof g.lod), 0) << "lod";
    }
}

TEST_F(TriangleRoutine, WritesTheSpanRecordOfTheCSetUp) {
    const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    int compared = 0;
    for (const State &state : kStates) {
        apply(state);
        ASSERT_EQ(ctx->state.pick.rasterTriangleProc, &__glFillTriangleFast) << state.name;
        // Mode 0 (a one-routine): the routine sets up triangles of both directions. Made for the
        // stage-list routine it hands wide right-to-left ones to the C set-up, whose record
        // would then be compared with itself (HandsWideRightToLeftTrianglesToTheCSetUp).
        GlPickTriangleProc proc = __glOgGenTriangleProc(ctx, 0);
        ASSERT_NE(proc, nullptr) << state.name;
        GlFastPathSlots &sl = ctx->state.span.fast;
        const GlShadeFlags f = ctx->state.span.raster.shadeFlags;
        const GlTextureObject *tex = sl.texture;
        const bool perspective =
            (f & kGlShadeTexture) && ((f & kGlShadePerspectiveTex) || tex->minFilter != tex->magFilter);
        for (const Triangle &t : kTriangles)
            for (const auto &order : orders) {
                makeRecords(t, order);
                GlVertex before[3];
                std::memcpy(before, records, sizeof records);
                // Generated, through the register checker.
                sl.spanRoutine = reinterpret_cast<GlFastProc>(&ogTriangleTestSpan);
                gCapture = SpanCapture{};
                const int32_t lockBefore = ctx->buffers.lockCount;
                callChecked(asIntProc(proc), ctx, &records[0], &records[1], &records[2]);
                EXPECT_EQ(ctx->buffers.lockCount, lockBefore);
                EXPECT_EQ(std::memcmp(before, records, sizeof records), 0) << "the vertices are only read";
                const std::string where = std::string(state.name) + " / " + t.name + " order " +
                                          std::to_string(order[0]) + std::to_string(order[1]) + std::to_string(order[2]);
                ASSERT_EQ(gCapture.calls, 1) << where;
                const GlSpan generated = gCapture.record;
                // The C set-up: its record as it enters the same span routine.
                gCapture = SpanCapture{};
                __glFillTriangleFast(ctx, &records[0], &records[1], &records[2]);
                if (gCapture.calls == 1) {
                    expectSameSetUp(generated, gCapture.record, f, perspective, where);
                    ++compared;
                }
            }
    }
    // Every triangle reached the span routine through the C set-up as well.
    EXPECT_EQ(compared, int(std::size(kStates) * std::size(kTriangles) * 6));
}

// Collinear and sub-pixel degenerate triangles return 0, touch nothing and never reach the span
// routine; triangles outside the clip box or with a coordinate the C set-up refuses go to it.
TEST_F(TriangleRoutine, DropsAndHandsOverWhatTheCSetUpDropsOrClips) {
    apply(kStates[2]);
    GlPickTriangleProc proc = __glOgGenTriangleProc(ctx, 1);
    ASSERT_NE(proc, nullptr);
    GlFastPathSlots &sl = ctx->state.span.fast;
    sl.spanRoutine = reinterpret_cast<GlFastProc>(&ogTriangleTestSpan);
    const GlFastProc chain = sl.fastStageFirst;
    sl.fastStageFirst = captureStage;
    const int order[3] = {0, 1, 2};
    auto run = [&] {
        gCapture = SpanCapture{};
        gStage = StageCapture{};
        return callChecked(asIntProc(proc), ctx,
                           &records[0], &records[1], &records[2]);
    };
    const Triangle collinear{"collinear", {{2, 2, 0, 1, 1, 1, 1, 0}, {10, 10, 0, 1, 1, 1, 1, 0}, {30, 30, 0, 1, 1, 1, 1, 0}}};
    const Triangle sameSnap{"within one sixteenth",
                            {{5.01f, 5.01f, 0, 1, 1, 1, 1, 0}, {5.02f, 5.05f, 0, 1, 1, 1, 1, 0}, {5.05f, 5.02f, 0, 1, 1, 1, 1, 0}}};
    const Triangle oneRowBand{"no row sample inside",
                              {{5.1f, 5.1f, 0, 1, 1, 1, 1, 0}, {40.2f, 5.3f, 0, 1, 1, 1, 1, 0}, {20.0f, 5.9f, 0, 1, 1, 1, 1, 0}}};
    for (const Triangle *t : {&collinear, &sameSnap, &oneRowBand}) {
        makeRecords(*t, order);
        EXPECT_EQ(run(), 0) << t->name;
        EXPECT_EQ(gCapture.calls, 0) << t->name;
        EXPECT_EQ(gStage.calls, 0) << t->name;
        EXPECT_EQ(ctx->buffers.lockCount, 0) << t->name;
    }
    // Past each side of the box: the C set-up runs (and clips), the span routine is not entered.
    const float shifts[4][2] = {{-2, 0}, {3, 0}, {0, -1}, {0, 4}};
    for (const auto &d : shifts) {
        makeRecords(kTriangles[8], order, d[0], d[1]);
        run();
        EXPECT_EQ(gCapture.fromGenerated, 0);
        EXPECT_GT(gCapture.calls + gStage.calls, 0);
    }
    // A coordinate that is not a positive number below 65536: handed over, dropped there.
    for (float bad : {-1.0f, 0.0f, 65536.0f, __builtin_nanf("")}) {
        makeRecords(kTriangles[0], order);
        records[1].window[1] = bad;
        run();
        EXPECT_EQ(gCapture.calls, 0);
        EXPECT_EQ(gStage.calls, 0);
    }
    sl.fastStageFirst = chain;
}

// The drawable lock: taken through the lock proc when the count is 0 and released by the span
// routine's exit; a refused lock draws nothing and the routine answers 0.
struct LockLog {
    int locks = 0, unlocks = 0;
    int32_t answer = 1;
};
LockLog gLock;
int32_t countingLock(GlContext *) {
    ++gLock.locks;
    return gLock.answer;
}
void countingUnlock(GlContext *) { ++gLock.unlocks; }

TEST_F(TriangleRoutine, TakesTheDrawableLock) {
    apply(kStates[3]);
    // Mode 0: the wide right-to-left triangle below is the routine's own (made for the
    // stage-list routine, it would go to the C set-up, which answers nothing in eax).
    GlPickTriangleProc proc = __glOgGenTriangleProc(ctx, 0);
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(__glOgGenTriangleProc(ctx, 0), proc) << "the same state finds its routine in the cache";
    GlBufferArea &b = ctx->buffers;
    auto *lock = b.drawableLock;
    auto *unlock = b.drawableUnlock;
    b.drawableLock = countingLock;
    b.drawableUnlock = countingUnlock;
    ctx->state.span.fast.spanRoutine = reinterpret_cast<GlFastProc>(&ogTriangleTestSpan);
    const int order[3] = {0, 1, 2};
    makeRecords(kTriangles[1], order);
    for (int32_t answer : {1, 0}) {
        gLock = LockLog{};
        gLock.answer = answer;
        gCapture = SpanCapture{};
        EXPECT_EQ(callChecked(asIntProc(proc), ctx, &records[0], &records[1], &records[2]), answer);
        EXPECT_EQ(gLock.locks, 1);
        EXPECT_EQ(gLock.unlocks, answer);
        EXPECT_EQ(gCapture.calls, answer);
        EXPECT_EQ(b.lockCount, 0);
    }
    // Inside a lock already held: no second lock proc call, the count back where it was.
    gLock = LockLog{};
    b.lockCount = 1;
    callChecked(asIntProc(proc), ctx, &records[0], &records[1], &records[2]);
    EXPECT_EQ(gLock.locks, 0);
    EXPECT_EQ(gLock.unlocks, 0);
    EXPECT_EQ(b.lockCount, 1);
    b.lockCount = 0;
    b.drawableLock = lock;
    b.drawableUnlock = unlock;
}

// What a program reads back after drawing the scene (and a triangle crossing the window's
// corner, which the generated set-up hands to the C one).
struct Picture {
    std::vector<uint8_t> rgb;
    std::vector<float> depth;
};
enum class Road { C, TestWalker, Installed };

class TrianglePictures : public TriangleRoutine {
protected:
    // The scene with the state, by one road; false when that road could not be set up.
    bool draw(const State &state, Road road, Picture *p) {
        // The set-ups compared under one walk: the integer span routines (the MMX routine has its
        // own comparison) and, on the C road, the C set-up the chooser would otherwise replace.
        ctx->codeCaches.modeFlags |= icd::kGlOgModeNoMmx;
        __glOgSetTriangleProcForTest(road == Road::Installed ? -1 : 0);
        apply(state);
        GL(glClearColor)(0.1f, 0.2f, 0.3f, 0);
        GL(glClearDepth)(0.6);
        GL(glClearStencil)(0);
        GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; x += 3) stencilMem.setElement(x, y, 1);
        GL(glBegin)(GL_TRIANGLES);
        GL(glEnd)();
        gCapture = SpanCapture{};
        if (road == Road::TestWalker) {
            GlPickTriangleProc proc = __glOgGenTriangleProc(ctx, 1);
            if (proc == nullptr) return false;
            ctx->state.pick.rasterTriangleProc = proc;
            ctx->state.span.fast.spanRoutine = reinterpret_cast<GlFastProc>(&ogTriangleTestSpan);
            gCapture.walk = true;
        } else if (road == Road::Installed) {
            __glOgSetTriangleProcForTest(1);
            if (!__glOgInstallTriangleProc(ctx)) return false;
            if (!__glOgIsGenerated(ctx, reinterpret_cast<const void *>(ctx->state.pick.rasterTriangleProc))) return false;
        }
        const Corner crossing[3] = {{-10.0f, 30.25f, 0.3f, 0.9f, 0.9f, 0.2f, 1, 0.3f},
                                    {40.5f, 80.0f, 0.6f, 0.2f, 0.9f, 0.9f, 1, 0.6f},
                                    {70.0f, 50.75f, 0.4f, 0.9f, 0.2f, 0.9f, 1, 0.9f}};
        GL(glBegin)(GL_TRIANGLES);
        for (const Triangle &t : kTriangles)
            for (const Corner &c : t.v) {
                float tc[4];
                texCoords(c, tc);
                GL(glTexCoord4fv)(tc);
                GL(glColor4f)(c.r, c.g, c.b, c.a);
                GL(glVertex3f)(c.x, c.y, c.z * 2 - 1);
            }
        for (const Corner &c : crossing) {
            float tc[4];
            texCoords(c, tc);
            GL(glTexCoord4fv)(tc);
            GL(glColor4f)(c.r, c.g, c.b, c.a);
            GL(glVertex3f)(c.x, c.y, c.z * 2 - 1);
        }
        GL(glEnd)();
        if (road == Road::TestWalker) {
            // Every scene triangle, and the pieces of the crossing one the clipper leaves inside.
            EXPECT_GT(gCapture.fromGenerated, int(std::size(kTriangles))) << state.name;
        }
        p->rgb.assign(size_t(kSide) * kSide * 3, 0);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
        GL(glReadPixels)(0, 0, kSide, kSide, GL_RGB, GL_UNSIGNED_BYTE, p->rgb.data());
        p->depth.assign(size_t(kSide) * kSide, 0.0f);
        GL(glReadPixels)(0, 0, kSide, kSide, GL_DEPTH_COMPONENT, GL_FLOAT, p->depth.data());
        return true;
    }
    // Whether the C set-up walks through a span routine (so that both roads share one walk).
    bool cSetUpEntersSpanRoutines() {
        apply(kStates[2]);
        const int order[3] = {0, 1, 2};
        makeRecords(kTriangles[0], order);
        ctx->state.span.fast.spanRoutine = reinterpret_cast<GlFastProc>(&ogTriangleTestSpan);
        gCapture = SpanCapture{};
        __glFillTriangleFast(ctx, &records[0], &records[1], &records[2]);
        return gCapture.calls > 0;
    }
};

// The generated set-up and the C one, each walked by the test span routine's rows.
TEST_F(TrianglePictures, SameThroughTheTestSpanRoutine) {
    ASSERT_TRUE(cSetUpEntersSpanRoutines()) << "the C set-up hands no record to a span routine";
    for (const State &state : kStates) {
        Picture off, on;
        ASSERT_TRUE(draw(state, Road::C, &off));
        ASSERT_TRUE(draw(state, Road::TestWalker, &on)) << state.name;
        EXPECT_EQ(on.rgb, off.rgb) << state.name;
        EXPECT_EQ(on.depth, off.depth) << state.name;
    }
}

// The road a program takes: the chooser's generated span routine, the routine installed over
// __glFillTriangleFast, against the C set-up with the same span routine.
TEST_F(TrianglePictures, SameWhenInstalledOverTheCSetUp) {
    int installed = 0;
    for (const State &state : kStates) {
        Picture off, on;
        ASSERT_TRUE(draw(state, Road::C, &off));
        if (!draw(state, Road::Installed, &on)) continue;
        ++installed;
        EXPECT_EQ(on.rgb, off.rgb) << state.name;
        EXPECT_EQ(on.depth, off.depth) << state.name;
    }
    // States whose rows the chain walks keep the C set-up (see __glOgInstallTriangleProc); the
    // others take the generated routine.
    EXPECT_GT(installed, 0) << "no state took the generated triangle routine";
}

// "__GL_OG_TRIANGLE" 0 keeps the C set-up.
TEST_F(TrianglePictures, SwitchedOffKeepsTheCSetUp) {
    apply(kStates[3]);
    EXPECT_FALSE(__glOgInstallTriangleProc(ctx));
    EXPECT_EQ(ctx->state.pick.rasterTriangleProc, &__glFillTriangleFast);
}

}  // namespace
