// From GL state to the procs the pickers install: draw buffers, lines and their stage list,
// points, triangles and the triangle entries, fog, texture-coordinate generation, shade model and
// the texture procs.
#include "icd/codegen/og_procs.h"
#include <cmath>
#include <functional>
#include "tests/icd_pick/pick_fixture.h"
#include "icd/raster/tex_env.h"
#include "icd/raster/tex_sample.h"

namespace {

#define CALL(name) slotAs<decltype(&icd::name)>(&ctx->liveTable, slot::name)
void enable(GlContext *ctx, GLenum cap) { CALL(glEnable)(cap); }

GlStageProc nop() { return stageOf(__glNopProc); }

// ---- draw buffers ------------------------------------------------------------------------------------

TEST_F(PickTest, DrawBufferChoosesColourBufferCodesAndMask) {
    struct Row {
        GLenum mode;
        bool frontPresent, backPresent;
        int draw;  // 0 front, 1 back, -1 none
        bool both;
        uint32_t code, mask;
        int hw;    // as draw
    };
    const Row rows[] = {
        {GL_FRONT, true, true, 0, false, 1, 1, 0},
        // A buffer without memory is never drawn into: its colour writes are discarded, and of
        // two buffers the one with memory is drawn alone.
        {GL_FRONT, false, true, -1, false, 1, 0, -1},
        {GL_BACK, true, true, 1, false, 4, 4, 1},
        {GL_BACK, true, false, -1, false, 4, 0, -1},
        {GL_FRONT_AND_BACK, true, true, 1, true, 5, 5, -1},
        {GL_FRONT_AND_BACK, false, true, 1, false, 5, 4, -1},
        {GL_FRONT_AND_BACK, true, false, 0, false, 5, 1, -1},
        // An earlier pick's bits never survive: the mask starts from nothing.
        {GL_FRONT_AND_BACK, false, false, -1, false, 5, 0, -1},
        {GL_NONE, true, true, -1, false, 0, 0, -1},
    };
    GlColorBuffers &cbs = ctx->buffers.color;
    auto bufferOf = [&](int i) -> GlColorBuffer * { return i < 0 ? nullptr : (i == 0 ? &cbs.front : &cbs.back); };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "mode 0x" << std::hex << row.mode << " front " << row.frontPresent
                                        << " back " << row.backPresent);
        settle();
        setBufferSize(0, row.frontPresent ? 320 : 0, 240);
        setBufferSize(1, row.backPresent ? 320 : 0, row.backPresent ? 240 : 0);
        CALL(glDrawBuffer)(row.mode);
        draw();
        EXPECT_EQ(cbs.drawColorBuffer, bufferOf(row.draw));
        EXPECT_EQ(ctx->state.span.inputs.drawBothBuffers, row.both ? 1 : 0);
        EXPECT_EQ(pick().drawBufferCode, row.code);
        EXPECT_EQ(pick().drawBufferMask, row.mask);
        EXPECT_EQ(pick().hwDrawBuffer, bufferOf(row.hw));
        EXPECT_EQ(pick().drawNone, row.draw < 0 ? 1 : 0);
    }
    setBufferSize(0, 320, 240);
    setBufferSize(1, 320, 240);
}

TEST_F(PickTest, DrawBufferMaskAddsDepthAndStencil) {
    settle();
    ctx->visual.hasDepth = 1;
    ctx->visual.hasStencil = 1;
    setBufferSize(1, 320, 240);
    CALL(glDrawBuffer)(GL_BACK);
    enable(ctx, GL_DEPTH_TEST);
    enable(ctx, GL_STENCIL_TEST);
    draw();
    EXPECT_EQ(pick().drawBufferMask, 0x4u | 0x20u | 0x40u);
    EXPECT_EQ(pick().readBufferCode, 4u);  // a double-buffered context reads the back buffer
}

// GL_NONE discards colour writes: nothing is left drawing into the buffer picked before. With
// neither depth nor stencil test nothing at all is written.
TEST_F(PickTest, DrawBufferNoneStopsSpansAndLines) {
    settle();
    CALL(glDrawBuffer)(GL_BACK);
    draw();
    ASSERT_NE(ctx->state.span.spanList.runner, nop());
    settle();
    CALL(glDrawBuffer)(GL_NONE);
    draw();
    EXPECT_EQ(ctx->buffers.color.drawColorBuffer, nullptr);
    EXPECT_EQ(ctx->state.span.spanList.runner, nop());
    EXPECT_EQ(lines().runner, nop());
}

// ---- depth function that never passes ------------------------------------------------------------------

TEST_F(PickTest, DepthNeverMakesSpanAndLineRunnersDoNothing) {
    settle();
    ctx->visual.hasDepth = 1;
    ctx->state.span.inputs.effectiveDepthFunc = GL_NEVER;
    ctx->buffers.depth.pick = nullptr;
    enable(ctx, GL_DEPTH_TEST);
    CALL(glDepthFunc)(GL_NEVER);
    draw();
    EXPECT_EQ(ctx->state.span.spanList.runner, nop());
    EXPECT_EQ(lines().runner, nop());
}

// ---- lines -------------------------------------------------------------------------------------------------

struct LineRow {
    const char *name;
    std::function<void(GlContext *)> set;
    std::vector<GlStageProc> stages;  // unmasked list
    int32_t start, store;
    GlStageProc runner, frontBackTail;
};

const LineRow kLineRows[] = {
    {"plain flat line into 4-byte pixels",
     [](GlContext *ctx) { CALL(glShadeModel)(GL_FLAT); },
     {__glLineScissor, __glSpanShadeRgbaFlat, __glLineStore}, 3, 3, __glLineRenderStages3, nop()},
    {"stippled wide line with depth",
     [](GlContext *ctx) {
         enable(ctx, GL_LINE_STIPPLE);
         CALL(glLineWidth)(3.0f);
         ctx->visual.hasDepth = 1;
         enable(ctx, GL_DEPTH_TEST);
     },
     {__glLineStipple, __glLineScissor, __glLineDepthTest, __glSpanShadeRgbaSmooth, __glLineStore}, 1, 5,
     __glLineRenderStages, nop()},
    {"stencil and alpha test: stencil and depth before alpha",
     [](GlContext *ctx) {
         ctx->visual.hasStencil = 1;
         enable(ctx, GL_STENCIL_TEST);
         enable(ctx, GL_ALPHA_TEST);
     },
     {__glLineScissor, __glLineStencilTest, __glLineStencilDepthPass, __glSpanShadeRgbaSmooth, __glSpanAlphaTest,
      __glLineStore},
     6, 6, __glLineRenderStages, nop()},
    {"smooth line: coverage, then stencil and depth; no stipple",
     [](GlContext *ctx) {
         enable(ctx, GL_LINE_SMOOTH);
         enable(ctx, GL_LINE_STIPPLE);
         ctx->visual.hasDepth = 1;
         enable(ctx, GL_DEPTH_TEST);
         enable(ctx, GL_FOG);
     },
     {__glLineScissor, __glSpanShadeRgbaSmooth, __glSpanFog, __glLineAntiAlias, __glLineDepthTest, __glLineStore}, 6,
     6, __glLineRenderStages, nop()},
    {"both buffers",
     [](GlContext *ctx) {
         CALL(glShadeModel)(GL_FLAT);
         CALL(glDrawBuffer)(GL_FRONT_AND_BACK);
     },
     {__glLineScissor, __glSpanShadeRgbaFlat, __glLineStore}, 2, 2, __glLineRenderStages, __glLineFrontBackStages},
};

TEST_F(PickTest, LineStageLists) {
    const GlVisual saved = ctx->visual;
    for (const LineRow &row : kLineRows) {
        SCOPED_TRACE(row.name);
        ctx->visual = saved;
        __glSetStateDefaults(ctx);
        ctx->state.mode.drawBuffer = GL_BACK;
        ctx->state.mode.shadeModel = GL_SMOOTH;
        ctx->state.span.inputs.effectiveDepthFunc = GL_LESS;
        ctx->buffers.depth.pick = nullptr;
        // 4-byte pixels take the generic store: the rows are about the stages before it.
        ctx->buffers.color.back.head.elementSize = 4;
        settle();
        row.set(ctx);
        ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
        markAll();
        draw();
        const GlLineStageList &l = lines();
        ASSERT_EQ(l.stageCount, int32_t(row.stages.size()));
        for (size_t i = 0; i < row.stages.size(); ++i) {
            EXPECT_EQ(l.unmaskedStages[i], row.stages[i]) << "stage " << i;
            // Masked twins at the same index; the stipple has none, shade is its own twin.
            GlStageProc masked = l.maskedStages[i], want = masked;
            if (row.stages[i] == __glLineStipple) want = nullptr;
            if (row.stages[i] == __glSpanShadeRgbaSmooth) want = row.stages[i];
            if (row.stages[i] == __glLineDepthTest) want = __glLineDepthTestMasked;
            EXPECT_EQ(masked, want) << "masked stage " << i;
        }
        EXPECT_EQ(l.startIndex, row.start);
        EXPECT_EQ(l.storeIndex, row.store);
        EXPECT_EQ(l.runner, row.runner);
        EXPECT_EQ(l.frontBackTail, row.frontBackTail);
        EXPECT_EQ(l.wideTail, __glLineWideStages);
    }
    ctx->visual = saved;
}

TEST_F(PickTest, LineStoreByPixelSizeAndDither) {
    struct Row {
        const char *name;
        bool rgba;
        int bytes;
        bool smooth, dither, blend;
        GlStageProc store, masked;
    };
    const Row rows[] = {
        {"rgb16 flat", true, 2, false, false, false, __glLineStoreRgb16Flat, __glLineStoreRgb16FlatMasked},
        {"rgb16 shaded", true, 2, true, false, false, __glLineStoreRgb16Shaded, __glLineStoreRgb16ShadedMasked},
        {"rgb16 dithered", true, 2, false, true, false, __glLineStoreRgb16ShadedDither,
         __glLineStoreRgb16ShadedDitherMasked},
        {"rgb16 blended", true, 2, false, false, true, __glLineStore, __glLineStoreMasked},
        {"index8 flat", false, 1, false, false, false, __glLineStoreIndex8Flat, __glLineStoreIndex8FlatMasked},
        {"index8 shaded dithered", false, 1, true, true, false, __glLineStoreIndex8ShadedDither,
         __glLineStoreIndex8ShadedDitherMasked},
        {"index8 flat dithered", false, 1, false, true, false, __glLineStoreIndex8FlatDither,
         __glLineStoreIndex8FlatDitherMasked},
        {"rgb 3 bytes", true, 3, false, false, false, __glLineStore, __glLineStoreMasked},
    };
    const GlVisual saved = ctx->visual;
    GlColorBuffer &back = ctx->buffers.color.back;
    const GlBuffer savedHead = back.head;
    const uint8_t savedStages = back.usesColorStages;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ctx->visual = saved;
        ctx->visual.rgbaMode = row.rgba;
        ctx->visual.colorBits = row.bytes * 8;
        ctx->visual.indexBits = 8;
        __glSetStateDefaults(ctx);
        ctx->state.mode.drawBuffer = GL_BACK;
        settle();
        CALL(glShadeModel)(row.smooth ? GL_SMOOTH : GL_FLAT);
        (row.dither ? CALL(glEnable) : CALL(glDisable))(GL_DITHER);
        if (row.blend) enable(ctx, GL_BLEND);
        markAll();
        // The colour buffer's own pick runs first; the line picker reads what it leaves.
        back.pick = nullptr;
        back.head.elementSize = row.bytes;
        back.usesColorStages = 0;
        draw();
        const GlLineStageList &l = lines();
        EXPECT_EQ(l.unmaskedStages[l.stageCount - 1], row.store);
        EXPECT_EQ(l.maskedStages[l.stageCount - 1], row.masked);
    }
    back.head = savedHead;
    back.usesColorStages = savedStages;
    ctx->visual = saved;
    markAll();
}

// ---- points ------------------------------------------------------------------------------------------------

TEST_F(PickTest, PointProcsBySizeSmoothnessAttenuationAndFog) {
    struct Row {
        const char *name;
        std::function<void(GlContext *)> set;
        GlPickVertexProc point, inner;
        GlPointSizeProc size;
    };
    const Row rows[] = {
        {"size 1", [](GlContext *) {}, __glRenderPointSize1, nullptr, nullptr},
        {"size 3", [](GlContext *ctx) { CALL(glPointSize)(3.0f); }, __glRenderPointWide, nullptr, nullptr},
        {"size 1 fogged", [](GlContext *ctx) { enable(ctx, GL_FOG); }, __glRenderPointFogged, __glRenderPointSize1,
         nullptr},
        {"attenuated",
         [](GlContext *ctx) { ctx->state.point.pointAttenuation[2] = 0.5f; },
         __glRenderPointWide, nullptr, __glPointSizeAttenuateAliased},
        {"integer size beyond the range",
         [](GlContext *ctx) {
             CALL(glPointSize)(3.0f);
             ctx->state.point.pointSizeMax = 2.0f;
         },
         __glRenderPointWide, nullptr, __glPointSizeClampAliased},
        {"smooth in range", [](GlContext *ctx) { enable(ctx, GL_POINT_SMOOTH); }, __glRenderPointAntiAliasRgba,
         nullptr, nullptr},
        {"smooth attenuated",
         [](GlContext *ctx) {
             enable(ctx, GL_POINT_SMOOTH);
             ctx->state.point.pointAttenuation[1] = 1.0f;
         },
         __glRenderPointAntiAliasRgba, nullptr, __glPointSizeAttenuateAntiAlias},
        {"smooth beyond the range",
         [](GlContext *ctx) {
             enable(ctx, GL_POINT_SMOOTH);
             CALL(glPointSize)(4.0f);
             ctx->state.point.pointSizeMax = 2.0f;
         },
         __glRenderPointAntiAliasRgba, nullptr, __glPointSizeClampAntiAlias},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        __glSetStateDefaults(ctx);
        settle();
        row.set(ctx);
        markAll();
        pick().pointFoggedInner = nullptr;
        draw();
        EXPECT_EQ(prim().renderPoint, row.point);
        EXPECT_EQ(pick().pointFoggedInner, row.inner);
        EXPECT_EQ(pick().pointSizeProc, row.size);
    }
}

TEST_F(PickTest, FeedbackAndSelectionPrimitives) {
    for (GLenum mode : {GL_FEEDBACK, GL_SELECT}) {
        SCOPED_TRACE(mode);
        __glSetStateDefaults(ctx);
        settle();
        ctx->renderMode = mode;
        markAll();
        draw();
        bool fb = mode == GL_FEEDBACK;
        EXPECT_EQ(prim().renderPoint, fb ? __glFeedbackPoint : __glSelectPoint);
        EXPECT_EQ(prim().renderLine, fb ? __glFeedbackLine : __glSelectLine);
        EXPECT_EQ(prim().renderTriangle, fb ? __glFeedbackTriangle : __glSelectTriangle);
        EXPECT_EQ(pick().rasterTriangleProc, nullptr);
        // Front-and-back culling draws nothing even here.
        enable(ctx, GL_CULL_FACE);
        CALL(glCullFace)(GL_FRONT_AND_BACK);
        draw();
        EXPECT_EQ(prim().renderTriangle, __glTriangleCullAll);
    }
    ctx->renderMode = GL_RENDER;
}

// ---- triangles ---------------------------------------------------------------------------------------------

TEST_F(PickTest, TriangleEntryFacesAndRenderProc) {
    struct Row {
        const char *name;
        std::function<void(GlContext *)> set;
        bool topDown;
        GlPickTriangleProc entry, raster;
        uint8_t face0, face1, cull;
    };
    // The context's colour buffer is 16-bit, so filled triangles take the fast rasteriser; an
    // antialiased polygon has no fast form.
    const Row rows[] = {
        {"smooth ccw", [](GlContext *) {}, false, __glTriangleFaceSmooth, __glFillTriangleFast, 1, 0, kGlCullNone},
        {"flat cw culling back", [](GlContext *ctx) {
             CALL(glShadeModel)(GL_FLAT);
             CALL(glFrontFace)(GL_CW);
             enable(ctx, GL_CULL_FACE);
         }, false, __glTriangleFaceFlat, __glFillTriangleFast, 0, 1, kGlCullBack},
        {"ccw on a top-down drawable, culling front", [](GlContext *ctx) {
             enable(ctx, GL_CULL_FACE);
             CALL(glCullFace)(GL_FRONT);
         }, true, __glTriangleFaceSmooth, __glFillTriangleFast, 0, 1, kGlCullFront},
        {"line mode", [](GlContext *ctx) { CALL(glPolygonMode)(GL_BACK, GL_LINE); }, false,
         __glTriangleFacePolygonMode, __glFillTriangleFast, 1, 0, kGlCullNone},
        {"polygon smooth", [](GlContext *ctx) { enable(ctx, GL_POLYGON_SMOOTH); }, false, __glTriangleFaceSmooth,
         __glRenderTriangleAntiAlias, 1, 0, kGlCullNone},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        __glSetStateDefaults(ctx);
        ctx->state.mode.shadeModel = GL_SMOOTH;
        ctx->state.mode.frontFace = GL_CCW;
        ctx->state.mode.cullFace = GL_BACK;
        ctx->state.mode.polygonMode[0] = ctx->state.mode.polygonMode[1] = GL_FILL;
        settle();
        row.set(ctx);
        ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
        ctx->tail.drawableBuffers->topDown = row.topDown;
        markAll();
        draw();
        EXPECT_EQ(prim().renderTriangle, row.entry);
        // A generated triangle routine stands in for the set-up it replaces.
        EXPECT_EQ(__glOgReplacedProc(ctx, reinterpret_cast<const void *>(pick().rasterTriangleProc)),
                  reinterpret_cast<const void *>(row.raster));
        EXPECT_EQ(pick().faceTable[0], row.face0);
        EXPECT_EQ(pick().faceTable[1], row.face1);
        EXPECT_EQ(pick().cullFaceCode, row.cull);
    }
    ctx->tail.drawableBuffers->topDown = 0;
}

// Triangle entries on vertices in window coordinates, with recording render procs.
struct Drawn {
    int triangles = 0;
    std::vector<std::pair<GlVertex *, GlVertex *>> lines;
    std::vector<GlVertex *> points;
    std::vector<float> z;  // window z of the first vertex at each draw
    std::vector<float *> colors;
};
Drawn &drawn() {
    static Drawn d;
    return d;
}
void recordTriangle(GlContext *, GlVertex *a, GlVertex *, GlVertex *) {
    drawn().triangles++;
    drawn().colors.push_back(a->color);
}
void recordLine(GlContext *, GlVertex *a, GlVertex *b) {
    drawn().lines.push_back({a, b});
    drawn().z.push_back(a->window[2]);
}
void recordPoint(GlContext *, GlVertex *v) {
    drawn().points.push_back(v);
    drawn().z.push_back(v->window[2]);
}

class TriangleEntries : public PickTest {
protected:
    GlVertex v[3]{};
    void SetUp() override {
        PickTest::SetUp();
        __glSetStateDefaults(ctx);
        settle();
        markAll();
        draw();
        pick().rasterTriangleProc = recordTriangle;
        prim().renderLine = recordLine;
        prim().renderPoint = recordPoint;
        pick().faceTable[0] = 1;  // counter-clockwise fronts
        pick().faceTable[1] = 0;
        pick().cullFaceCode = kGlCullNone;
        ctx->arrays.vertexBuffer.provokingVertex = &v[2];
        drawn() = Drawn{};
        place(0, 0, 10, 0, 0, 10);
    }
    void place(float ax, float ay, float bx, float by, float cx, float cy) {
        float xy[3][2] = {{ax, ay}, {bx, by}, {cx, cy}};
        float zs[3] = {0.25f, 0.5f, 0.75f};
        for (int i = 0; i < 3; ++i) {
            v[i].window[0] = xy[i][0];
            v[i].window[1] = xy[i][1];
            v[i].window[2] = zs[i];
            v[i].flags = kGlVertexDoneMask | kGlVertexSize3;
            v[i].color = v[i].frontColor;
            v[i].edgeFlag = 1;
        }
    }
};

TEST_F(TriangleEntries, AreaDecidesFaceAndCulling) {
    // Counter-clockwise in window coordinates: area positive, the front face.
    place(0, 0, 10, 0, 0, 10);
    pick().cullFaceCode = kGlCullBack;
    __glTriangleFaceSmooth(ctx, &v[0], &v[1], &v[2]);
    EXPECT_EQ(drawn().triangles, 1);
    pick().cullFaceCode = kGlCullFront;
    __glTriangleFaceSmooth(ctx, &v[0], &v[1], &v[2]);
    __glTriangleFaceFlat(ctx, &v[0], &v[1], &v[2]);
    EXPECT_EQ(drawn().triangles, 1);
    // Clockwise: the back face, culled with back faces.
    pick().cullFaceCode = kGlCullBack;
    __glTriangleFaceSmooth(ctx, &v[1], &v[0], &v[2]);
    EXPECT_EQ(drawn().triangles, 1);
    // Colour pointers are back on the front colours afterwards.
    for (GlVertex &x : v) EXPECT_EQ(x.color, x.frontColor);
}

TEST_F(TriangleEntries, ZeroAreaCountsAsNonNegativeButIsNotFilled) {
    place(0, 0, 5, 5, 10, 10);  // collinear: area +0
    pick().cullFaceCode = kGlCullFront;  // +0 is the non-negative (front) face: culled
    ctx->state.polygonOffset.offsetFactor = 0.0f;
    __glTriangleFacePolygonMode(ctx, &v[0], &v[1], &v[2]);
    EXPECT_TRUE(drawn().lines.empty() && drawn().points.empty());
    pick().cullFaceCode = kGlCullNone;
    __glTriangleFaceSmooth(ctx, &v[0], &v[1], &v[2]);
    __glTriangleFaceFlat(ctx, &v[0], &v[1], &v[2]);
    pick().polygonModeByFace[0] = 2;
    __glTriangleFacePolygonMode(ctx, &v[0], &v[1], &v[2]);
    EXPECT_EQ(drawn().triangles, 0);
}

TEST_F(TriangleEntries, TwoSidedLightingUsesBackColours) {
    ctx->state.span.raster.shadeFlags |= kGlShadeTwoSided;
    place(10, 0, 0, 0, 0, 10);  // clockwise: back face
    __glTriangleFaceSmooth(ctx, &v[0], &v[1], &v[2]);
    ASSERT_EQ(drawn().colors.size(), 1u);
    EXPECT_EQ(drawn().colors[0], v[0].backColor);
    EXPECT_EQ(v[0].color, v[0].frontColor);
}

TEST_F(TriangleEntries, LineAndPointModesDrawFlaggedEdgesAndRestoreZ) {
    ctx->state.span.raster.shadeFlags |= kGlShadeOffsetLine | kGlShadeOffsetPoint;
    ctx->state.polygonOffset.offsetFactor = 2.0f;
    ctx->state.polygonOffset.offsetUnits = 1.0f;
    ctx->buffers.depth.offsetUnit = 0.125f;
    place(0, 0, 10, 0, 0, 10);
    v[1].edgeFlag = 0;
    pick().polygonModeByFace[0] = 1;
    __glTriangleFacePolygonMode(ctx, &v[0], &v[1], &v[2]);
    ASSERT_EQ(drawn().lines.size(), 2u);
    EXPECT_EQ(drawn().lines[0], std::make_pair(&v[0], &v[1]));
    EXPECT_EQ(drawn().lines[1], std::make_pair(&v[2], &v[0]));
    EXPECT_GT(drawn().z[0], 0.25f);  // drawn with the offset
    EXPECT_EQ(v[0].window[2], 0.25f);
    EXPECT_EQ(v[1].window[2], 0.5f);
    EXPECT_EQ(v[2].window[2], 0.75f);
    pick().polygonModeByFace[0] = 0;
    __glTriangleFacePolygonMode(ctx, &v[0], &v[1], &v[2]);
    ASSERT_EQ(drawn().points.size(), 2u);
    EXPECT_EQ(drawn().points[0], &v[0]);
    EXPECT_EQ(drawn().points[1], &v[2]);
    EXPECT_EQ(v[0].window[2], 0.25f);
    EXPECT_EQ(drawn().triangles, 0);
}

// A degenerate triangle drawn as lines with an offset factor has no slope to scale: the offset
// stays finite (only the units part applies).
TEST_F(TriangleEntries, OffsetOfZeroAreaTriangleStaysFinite) {
    ctx->state.span.raster.shadeFlags |= kGlShadeOffsetLine;
    ctx->state.polygonOffset.offsetFactor = 4.0f;
    ctx->state.polygonOffset.offsetUnits = 2.0f;
    ctx->buffers.depth.offsetUnit = 0.125f;
    place(0, 0, 5, 5, 10, 10);
    pick().polygonModeByFace[0] = 1;
    __glTriangleFacePolygonMode(ctx, &v[0], &v[1], &v[2]);
    ASSERT_EQ(drawn().z.size(), 3u);
    for (float z : drawn().z) {
        EXPECT_TRUE(std::isfinite(z));
    }
    EXPECT_FLOAT_EQ(drawn().z[0], 0.25f + 0.25f);
}

TEST_F(TriangleEntries, CullAllDrawsNothing) {
    __glTriangleCullAll(ctx, &v[0], &v[1], &v[2]);
    EXPECT_EQ(drawn().triangles, 0);
}

// ---- fog, texture-coordinate generation, shade model ---------------------------------------------------------

TEST_F(PickTest, FogProcsByModeAndHint) {
    struct Row {
        bool on;
        GLenum mode, hint;
        GlFogFactorProc vertex;
    };
    const Row rows[] = {
        {false, GL_LINEAR, GL_DONT_CARE, nullptr},
        {true, GL_LINEAR, GL_DONT_CARE, __glFogVertexFactorLinear},
        {true, GL_EXP, GL_FASTEST, __glFogVertexFactor},
        {true, GL_EXP2, GL_NICEST, nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.mode << " " << row.hint);
        settle();
        (row.on ? CALL(glEnable) : CALL(glDisable))(GL_FOG);
        CALL(glFogi)(GL_FOG_MODE, GLint(row.mode));
        CALL(glHint)(GL_FOG_HINT, row.hint);
        draw();
        EXPECT_EQ(prim().fogFactor, row.vertex);
        EXPECT_EQ(pick().fragmentFog, row.on ? __glFogFragment : nullptr);
        EXPECT_EQ(pick().fogBlend, row.on ? __glFogBlendColor : nullptr);
    }
}

TEST_F(PickTest, TexGenProcByEnablesAndModes) {
    struct Row {
        uint32_t gens;  // S, T, R, Q bits
        GLenum s, t;
        GlPickVertexProc proc;
    };
    const Row rows[] = {
        // Nothing generated and an identity texture matrix: the copied coordinates are final.
        {0x0, 0, 0, reinterpret_cast<GlPickVertexProc>(reinterpret_cast<void (*)(void)>(&__glNopProc))},
        {0x3, GL_OBJECT_LINEAR, GL_OBJECT_LINEAR, __glTexGenObjectLinear},
        {0x3, GL_SPHERE_MAP, GL_SPHERE_MAP, __glTexGenSphereMap},
        {0x3, 0, 0, __glTexGenEyeLinear},
        {0x3, GL_SPHERE_MAP, GL_EYE_LINEAR, __glTexGenMixed},
        {0x1, GL_OBJECT_LINEAR, GL_OBJECT_LINEAR, __glTexGenMixed},
        {0x7, GL_OBJECT_LINEAR, GL_OBJECT_LINEAR, __glTexGenMixed},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.gens << " " << std::hex << row.s << " " << row.t);
        settle();
        for (int i = 0; i < 4; ++i)
            (row.gens & (1u << i) ? CALL(glEnable) : CALL(glDisable))(GL_TEXTURE_GEN_S + i);
        pick().texGenMode[0] = row.s;
        pick().texGenMode[1] = row.t;
        draw();
        EXPECT_EQ(prim().texCoord, row.proc);
        EXPECT_EQ(prim().rasterTexCoord, row.proc);
        EXPECT_EQ(pick().texGenInner, row.proc);
    }
    pick().texGenMode[0] = pick().texGenMode[1] = 0;
}

// A texture matrix other than the identity still needs the proc that applies it, and going back
// to the identity drops it again.
TEST_F(PickTest, TexGenOffWhileTheTextureMatrixIsNotTheIdentity) {
    settle();
    for (int i = 0; i < 4; ++i) CALL(glDisable)(GL_TEXTURE_GEN_S + i);
    CALL(glMatrixMode)(GL_TEXTURE);
    CALL(glScalef)(2.0f, 2.0f, 1.0f);
    draw();
    EXPECT_EQ(prim().texCoord, __glTexGenOff);
    EXPECT_EQ(prim().rasterTexCoord, __glTexGenOff);
    CALL(glLoadIdentity)();
    draw();
    EXPECT_NE(prim().texCoord, __glTexGenOff);
    EXPECT_EQ(reinterpret_cast<void (*)(void)>(prim().texCoord), reinterpret_cast<void (*)(void)>(&__glNopProc));
    CALL(glMatrixMode)(GL_MODELVIEW);
}

TEST_F(PickTest, ShadeModelChoosesClipLineProc) {
    settle();
    CALL(glShadeModel)(GL_FLAT);
    draw();
    EXPECT_EQ(prim().clipLine, __glDoClipLineFlat);
    EXPECT_EQ(prim().clipTriangle, __glClipDrawTriangle);
    CALL(glShadeModel)(GL_SMOOTH);
    draw();
    EXPECT_EQ(prim().clipLine, __glDoClipLineSmooth);
}

// ---- texture procs -------------------------------------------------------------------------------------------

TEST(TexturePick, EnvironmentProcForEveryPair) {
    const GLenum modes[] = {GL_MODULATE, GL_REPLACE, GL_BLEND, GL_DECAL, 0x104};
    const GLenum formats[] = {GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA, GL_ALPHA, GL_INTENSITY, GL_COLOR_INDEX};
    for (GLenum m : modes)
        for (GLenum f : formats) EXPECT_NE(__glChooseTexEnvProc(m, f), nullptr) << std::hex << m << " " << f;
    struct Row {
        GLenum mode, format;
        GlTexEnvProc proc;
    };
    const Row rows[] = {
        {GL_MODULATE, GL_RGB, GL_AS_PROC(__glTexEnvModulateRgb)},
        {GL_MODULATE, GL_COLOR_INDEX, GL_AS_PROC(__glTexEnvModulateColorIndex)},
        {GL_REPLACE, GL_LUMINANCE_ALPHA, GL_AS_PROC(__glTexEnvReplaceLuminanceAlpha)},
        {GL_BLEND, GL_INTENSITY, GL_AS_PROC(__glTexEnvBlendIntensity)},
        {GL_DECAL, GL_RGBA, GL_AS_PROC(__glTexEnvDecalRgba)},
        {GL_DECAL, GL_ALPHA, __glNopProc},
        {0x104, GL_COLOR_INDEX, GL_AS_PROC(__glTexEnvAddColorIndex)},
        // Pairs without a proc of their own leave the colour alone rather than keep a stale proc.
        {GL_BLEND, GL_COLOR_INDEX, __glNopProc},
        {0x104, GL_RGB, __glNopProc},
        {GL_MODULATE, 0x1234, __glNopProc},
    };
    for (const Row &row : rows) EXPECT_EQ(__glChooseTexEnvProc(row.mode, row.format), row.proc);
}

TEST(TexturePick, FiltersChooseApplyThresholdAndScale) {
    struct Row {
        GLenum min, mag;
        int dims;
        GlProc apply, minify, magnify, scaleSpan, sampleNearest;
        float threshold;
    };
    const Row rows[] = {
#define P(proc) GL_AS_PROC(proc)
        {GL_NEAREST, GL_NEAREST, 2, P(__glTexApplySingleFilter), P(__glTexFilterNearestScaled),
         P(__glTexFilterNearestScaled), P(__glTexRhoSpanNone), P(__glTexSampleNearest2D), 1.0f},
        {GL_LINEAR, GL_NEAREST, 1, P(__glTexApplyMinMag), P(__glTexFilterLinearScaled), P(__glTexFilterNearestScaled),
         P(__glTexRhoSpan), P(__glTexSampleNearest1D), 1.0f},
        {GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR, 2, P(__glTexApplyMipmap), P(__glTexFilterLinearMipmapNearest),
         P(__glTexFilterLinearScaled), P(__glTexRhoSpan), P(__glTexSampleNearest2D), 2.0f},
        {GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST, 2, P(__glTexApplyMipmap), P(__glTexFilterNearestMipmapNearest),
         P(__glTexFilterNearestScaled), P(__glTexRhoSpan), P(__glTexSampleNearest2D), 1.0f},
        {GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, 2, P(__glTexApplyMipmap), P(__glTexFilterLinearMipmapLinear),
         P(__glTexFilterLinearScaled), P(__glTexRhoSpan), P(__glTexSampleNearest2D), 1.0f},
#undef P
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.min << " " << row.mag);
        GlTexturePick t = __glChooseTextureProcs(row.min, row.mag, row.dims, GL_MODULATE, GL_RGBA);
        EXPECT_EQ(t.apply, row.apply);
        EXPECT_EQ(t.minify, row.minify);
        EXPECT_EQ(t.magnify, row.magnify);
        EXPECT_EQ(t.scaleSpan, row.scaleSpan);
        EXPECT_EQ(t.sampleNearest, row.sampleNearest);
        EXPECT_EQ(t.lodThreshold, row.threshold);
        EXPECT_EQ(t.env, GL_AS_PROC(__glTexEnvModulateRgba));
    }
}

// Without a usable texture the texture procs are cleared.
TEST_F(PickTest, NoCurrentTextureClearsTextureProcs) {
    settle();
    enable(ctx, GL_TEXTURE_2D);
    draw();
    EXPECT_EQ(pick().currentTextureMask, 0u);
    EXPECT_EQ(flags() & kGlShadeTexture, 0u);
    EXPECT_EQ(pick().texture.apply, nullptr);
    EXPECT_EQ(ctx->state.span.inputs.textureApply, nullptr);
}

}  // namespace
