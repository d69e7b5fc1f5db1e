// From GL state to the mode word and the vertex need masks, through the first drawing call after
// the change; and the pick sequence: which picker slots run for which changes, in which order.
#include <functional>
#include "tests/icd_pick/pick_fixture.h"

namespace {

struct FlagRow {
    const char *name;
    std::function<void(GlContext *)> set;
    GlShadeFlags on;   // bits that must be set
    GlShadeFlags off;  // bits that must be clear
};

void enable(GlContext *ctx, GLenum cap) { slotAs<decltype(&icd::glEnable)>(&ctx->liveTable, slot::glEnable)(cap); }
#define CALL(name) slotAs<decltype(&icd::name)>(&ctx->liveTable, slot::name)

const FlagRow kFlagRows[] = {
    {"defaults", [](GlContext *) {}, kGlShadeRgba | kGlShadeSmooth | kGlShadeSmoothColors,
     kGlShadeDepthTest | kGlShadeBlend | kGlShadeLogicOp | kGlShadeAlphaTest | kGlShadeColorMask | kGlShadeFog |
         kGlShadeTexture | kGlShadeCull | kGlShadeTwoSided},
    {"flat", [](GlContext *ctx) { CALL(glShadeModel)(GL_FLAT); }, 0, kGlShadeSmooth | kGlShadeSmoothColors},
    {"depth test with a depth buffer",
     [](GlContext *ctx) {
         ctx->visual.hasDepth = 1;
         enable(ctx, GL_DEPTH_TEST);
     },
     kGlShadeDepthTest | kGlShadeDepthIterate, 0},
    {"depth test without a depth buffer",
     [](GlContext *ctx) {
         ctx->visual.hasDepth = 0;
         enable(ctx, GL_DEPTH_TEST);
     },
     0, kGlShadeDepthTest | kGlShadeDepthIterate},
    {"stencil test without a stencil buffer",
     [](GlContext *ctx) {
         ctx->visual.hasStencil = 0;
         enable(ctx, GL_STENCIL_TEST);
     },
     0, kGlShadeStencilTest},
    {"stencil test with a stencil buffer",
     [](GlContext *ctx) {
         ctx->visual.hasStencil = 1;
         enable(ctx, GL_STENCIL_TEST);
     },
     kGlShadeStencilTest, 0},
    {"blend", [](GlContext *ctx) { enable(ctx, GL_BLEND); }, kGlShadeBlend, kGlShadeLogicOp},
    {"logic op wins over blend",
     [](GlContext *ctx) {
         enable(ctx, GL_BLEND);
         enable(ctx, GL_COLOR_LOGIC_OP);
     },
     kGlShadeLogicOp, kGlShadeBlend},
    {"index logic op is not the colour one in RGBA", [](GlContext *ctx) { enable(ctx, GL_INDEX_LOGIC_OP); }, 0,
     kGlShadeLogicOp},
    {"dither below three bytes a pixel",
     [](GlContext *ctx) {
         ctx->visual.colorBits = 16;
         enable(ctx, GL_DITHER);
     },
     kGlShadeDither, 0},
    {"no dither at four bytes a pixel",
     [](GlContext *ctx) {
         ctx->visual.colorBits = 32;
         ctx->buffers.color.front.head.elementSize = 4;
         enable(ctx, GL_DITHER);
     },
     0, kGlShadeDither},
    {"alpha test", [](GlContext *ctx) { enable(ctx, GL_ALPHA_TEST); }, kGlShadeAlphaTest, 0},
    {"two-sided lighting",
     [](GlContext *ctx) {
         enable(ctx, GL_LIGHTING);
         CALL(glLightModeli)(GL_LIGHT_MODEL_TWO_SIDE, 1);
     },
     kGlShadeTwoSided, 0},
    {"two-sided model without lighting", [](GlContext *ctx) { CALL(glLightModeli)(GL_LIGHT_MODEL_TWO_SIDE, 1); }, 0,
     kGlShadeTwoSided},
    {"red masked", [](GlContext *ctx) { CALL(glColorMask)(0, 1, 1, 1); }, kGlShadeColorMask, 0},
    {"alpha masked without alpha bits",
     [](GlContext *ctx) {
         ctx->visual.alphaBits = 0;
         CALL(glColorMask)(1, 1, 1, 0);
     },
     0, kGlShadeColorMask},
    {"alpha masked with alpha bits",
     [](GlContext *ctx) {
         ctx->visual.alphaBits = 8;
         CALL(glColorMask)(1, 1, 1, 0);
     },
     kGlShadeColorMask, 0},
    {"fog, stipples, cull",
     [](GlContext *ctx) {
         enable(ctx, GL_FOG);
         enable(ctx, GL_LINE_STIPPLE);
         enable(ctx, GL_POLYGON_STIPPLE);
         enable(ctx, GL_CULL_FACE);
     },
     kGlShadeFog | kGlShadeLineStipple | kGlShadePolygonStipple | kGlShadeCull, 0},
    {"polygon offset with depth",
     [](GlContext *ctx) {
         ctx->visual.hasDepth = 1;
         enable(ctx, GL_DEPTH_TEST);
         CALL(glPolygonOffset)(1.0f, 0.0f);
         enable(ctx, GL_POLYGON_OFFSET_FILL);
         enable(ctx, GL_POLYGON_OFFSET_LINE);
     },
     kGlShadePolygonOffset | kGlShadeOffsetLine, kGlShadeOffsetPoint},
    {"polygon offset without depth test",
     [](GlContext *ctx) {
         CALL(glPolygonOffset)(1.0f, 1.0f);
         enable(ctx, GL_POLYGON_OFFSET_FILL);
     },
     0, kGlShadePolygonOffset},
    {"polygon offset of zero",
     [](GlContext *ctx) {
         ctx->visual.hasDepth = 1;
         enable(ctx, GL_DEPTH_TEST);
         CALL(glPolygonOffset)(0.0f, 0.0f);
         enable(ctx, GL_POLYGON_OFFSET_POINT);
     },
     kGlShadeDepthTest, kGlShadeOffsetPoint},
    {"front buffer of a clipped window",
     [](GlContext *ctx) {
         CALL(glDrawBuffer)(GL_FRONT);
         ctx->tail.drawableBuffers->contextState = 1;
     },
     kGlShadeFrontClip, 0},
    {"back buffer of a clipped window",
     [](GlContext *ctx) {
         CALL(glDrawBuffer)(GL_BACK);
         ctx->tail.drawableBuffers->contextState = 1;
     },
     0, kGlShadeFrontClip},
    {"colour index: index logic op, index mask",
     [](GlContext *ctx) {
         ctx->visual.rgbaMode = 0;
         ctx->visual.colorIndexMode = 1;
         ctx->visual.indexBits = 8;
         enable(ctx, GL_INDEX_LOGIC_OP);
         enable(ctx, GL_BLEND);
         enable(ctx, GL_ALPHA_TEST);
         ctx->state.color.indexMask = 0x7F;
     },
     kGlShadeLogicOp | kGlShadeColorMask, kGlShadeRgba | kGlShadeBlend | kGlShadeAlphaTest},
    {"colour index with the full index mask",
     [](GlContext *ctx) {
         ctx->visual.rgbaMode = 0;
         ctx->visual.indexBits = 8;
         ctx->state.color.indexMask = 0xFF;
     },
     0, kGlShadeColorMask},
};

TEST_F(PickTest, ShadeFlagsFollowTheState) {
    const GlVisual saved = ctx->visual;
    const int32_t frontBytes = ctx->buffers.color.front.head.elementSize;
    for (const FlagRow &row : kFlagRows) {
        SCOPED_TRACE(row.name);
        ctx->visual = saved;
        ctx->buffers.color.front.head.elementSize = frontBytes;
        __glSetStateDefaults(ctx);
        ctx->state.mode.shadeModel = GL_SMOOTH;
        ctx->state.mode.drawBuffer = GL_BACK;
        ctx->tail.drawableBuffers->contextState = 0;
        settle();
        row.set(ctx);
        ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
        if (ctx->dirtyMask == 0) markAll();  // the defaults: nothing was called
        ASSERT_EQ(ctx->beginMode, kGlNeedValidate);
        draw();
        EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
        EXPECT_EQ(ctx->dirtyMask, 0u);
        EXPECT_EQ(flags() & row.on, row.on) << std::hex << flags();
        EXPECT_EQ(flags() & row.off, 0u) << std::hex << flags();
    }
    ctx->visual = saved;
    ctx->buffers.color.front.head.elementSize = frontBytes;
}

// ---- need masks ------------------------------------------------------------------------------------

struct NeedRow {
    const char *name;
    std::function<void(GlContext *)> set;
    uint32_t needMask, front, back, pending;
};

void light0At(GlContext *ctx, float w) {
    float pos[4] = {0.0f, 0.0f, 1.0f, w};
    CALL(glLightfv)(GL_LIGHT0, GL_POSITION, pos);
    enable(ctx, GL_LIGHT0);
}

const NeedRow kNeedRows[] = {
    {"flat, nothing on", [](GlContext *) {}, 0, 0, 0, 0},
    {"smooth colours", [](GlContext *ctx) { CALL(glShadeModel)(GL_SMOOTH); }, 0, 0x1, 0x1, 0x1},
    {"fog", [](GlContext *ctx) { enable(ctx, GL_FOG); }, 0x50, 0x50, 0x50, 0},
    {"user clip plane", [](GlContext *ctx) { enable(ctx, GL_CLIP_PLANE3); }, 0x10, 0x10, 0x10, 0},
    {"directional light",
     [](GlContext *ctx) {
         enable(ctx, GL_LIGHTING);
         light0At(ctx, 0.0f);
     },
     0, 0x9, 0x9, 0},
    {"positional light",
     [](GlContext *ctx) {
         enable(ctx, GL_LIGHTING);
         light0At(ctx, 1.0f);
     },
     0, 0x19, 0x19, 0},
    {"positional light that is off",
     [](GlContext *ctx) {
         enable(ctx, GL_LIGHTING);
         light0At(ctx, 1.0f);
         slotAs<decltype(&icd::glDisable)>(&ctx->liveTable, slot::glDisable)(GL_LIGHT0);
     },
     0, 0x9, 0x9, 0},
    {"local viewer",
     [](GlContext *ctx) {
         enable(ctx, GL_LIGHTING);
         CALL(glLightModeli)(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
     },
     0, 0x19, 0x19, 0},
    {"two-sided smooth lighting with fog",
     [](GlContext *ctx) {
         CALL(glShadeModel)(GL_SMOOTH);
         enable(ctx, GL_LIGHTING);
         enable(ctx, GL_FOG);
         CALL(glLightModeli)(GL_LIGHT_MODEL_TWO_SIDE, 1);
     },
     0x50, 0x59, 0x5A, 0x5B},
};

TEST_F(PickTest, NeedMasksFollowTheState) {
    for (const NeedRow &row : kNeedRows) {
        SCOPED_TRACE(row.name);
        __glSetStateDefaults(ctx);
        ctx->state.mode.shadeModel = GL_FLAT;
        ctx->vertexCache.vcacheOn = 0;
        settle();
        row.set(ctx);
        ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
        draw();
        EXPECT_EQ(need().needMask, row.needMask);
        EXPECT_EQ(need().needMaskFront, row.front);
        EXPECT_EQ(need().needMaskBack, row.back);
        EXPECT_EQ(need().needMaskPending, row.pending);
    }
}

// The vertex cache keeps pending vertices even when shading is flat.
TEST_F(PickTest, VertexCacheKeepsPendingNeeds) {
    __glSetStateDefaults(ctx);
    ctx->state.mode.shadeModel = GL_FLAT;
    settle();
    enable(ctx, GL_FOG);
    ctx->vertexCache.vcacheOn = 1;
    draw();
    EXPECT_EQ(need().needMaskPending, 0x50u);
    ctx->vertexCache.vcacheOn = 0;
}

// ---- the pick sequence -----------------------------------------------------------------------------

#define RECORDER(field)                                       \
    constexpr char k_##field[] = #field;                      \
    void record_##field(GlContext *) { procLog().push_back(k_##field); }
RECORDER(validateSurfaces)
RECORDER(pickFragmentStore)
RECORDER(pickMatrix)
RECORDER(pickColorMaterial)
RECORDER(pickTexture)
RECORDER(pickTexGen)
RECORDER(pickBlend)
RECORDER(pickFog)
RECORDER(pickClipInterpolate)
RECORDER(pickShadeModel)
RECORDER(pickBitmap)
RECORDER(computeClipBox)
RECORDER(buildPolygonStippleMasks)
RECORDER(pickDepth)
RECORDER(pickVertex)
RECORDER(pickSpan)
RECORDER(pickTriangle)
RECORDER(pickPoint)
RECORDER(pickLine)
RECORDER(pickPixel)
RECORDER(markArraysDirty)

struct SequenceRow {
    uint32_t dirty;
    std::vector<std::string> picks;
};

const std::vector<std::string> kGroupA = {
    "validateSurfaces", "pickFragmentStore", "pickMatrix",          "pickColorMaterial", "pickTexture",
    "pickTexGen",       "pickBlend",         "pickClipInterpolate", "pickShadeModel",    "pickBitmap",
    "computeClipBox"};

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(PickTest, PickSequenceByDirtyGroups) {
    GlProcSlots saved = ctx->slots;
    GlProcSlots &s = ctx->slots;
#define USE(field) s.field = record_##field;
    USE(validateSurfaces) USE(pickFragmentStore) USE(pickMatrix) USE(pickColorMaterial) USE(pickTexture)
    USE(pickTexGen) USE(pickBlend) USE(pickFog) USE(pickClipInterpolate) USE(pickShadeModel) USE(pickBitmap)
    USE(computeClipBox) USE(buildPolygonStippleMasks) USE(pickDepth) USE(pickVertex) USE(pickSpan)
    USE(pickTriangle) USE(pickPoint) USE(pickLine) USE(pickPixel) USE(markArraysDirty)
#undef USE
    // Fog sits between blend and clip interpolation in group A.
    std::vector<std::string> groupA = kGroupA;
    groupA.insert(groupA.begin() + 7, "pickFog");
    const SequenceRow rows[] = {
        {0x7FF, join(groupA, {"buildPolygonStippleMasks", "pickDepth", "pickVertex", "pickSpan", "pickTriangle",
                              "pickPoint", "pickLine", "pickPixel", "markArraysDirty"})},
        // Texture changes count as general state.
        {0x400, join(groupA, {"pickVertex", "pickSpan", "pickTriangle", "pickPoint", "pickLine", "pickPixel",
                              "markArraysDirty"})},
        {0x2, {"pickLine"}},
        {0x4, {"pickVertex", "pickSpan", "pickTriangle"}},
        {0x8, {"pickPoint"}},
        {0x10, {"pickPixel"}},
        {0x40, {"buildPolygonStippleMasks"}},
        {0x80, {"pickDepth", "pickVertex", "pickSpan", "pickTriangle", "pickPoint", "pickLine"}},
        {0x100, {}},
        // Only client arrays changed: the array picker alone, nothing else, the mode word untouched.
        {0x200, {}},
        {0x202, {"pickLine"}},
    };
    for (const SequenceRow &row : rows) {
        SCOPED_TRACE(testing::Message() << "dirty 0x" << std::hex << row.dirty);
        settle();
        ctx->state.span.raster.shadeFlags = 0xDEAD0000u;
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask = row.dirty;
        draw();
        EXPECT_EQ(procLog(), row.picks);
        EXPECT_EQ(ctx->dirtyMask, 0u);
        if (row.dirty == 0x200)
            EXPECT_EQ(flags(), 0xDEAD0000u);
        else
            EXPECT_NE(flags(), 0xDEAD0000u);
    }
    // A table to rebuild takes the full path even when only arrays changed.
    settle();
    ctx->beginMode = kGlNeedValidate;
    ctx->dirtyMask = 0x200;
    ctx->tableDirtyMask = kGlTableAlphaTest;
    draw();
    EXPECT_EQ(ctx->tableDirtyMask, 0u);
    EXPECT_NE(flags(), 0xDEAD0000u);
    s = saved;
}

// ---- alpha-test table --------------------------------------------------------------------------------

TEST_F(PickTest, AlphaTestTableForEachFunction) {
    struct Row {
        GLenum func;
        uint8_t below, equal, above;  // entries 127, 128, 129
        uint8_t first, last;
    };
    const Row rows[] = {
        {GL_NEVER, 0, 0, 0, 0, 0},   {GL_LESS, 1, 0, 0, 1, 0},     {GL_EQUAL, 0, 1, 0, 0, 0},
        {GL_LEQUAL, 1, 1, 0, 1, 0},  {GL_GREATER, 0, 0, 1, 0, 1},  {GL_NOTEQUAL, 1, 0, 1, 1, 1},
        {GL_GEQUAL, 0, 1, 1, 0, 1},  {GL_ALWAYS, 1, 1, 1, 1, 1},
    };
    const uint8_t *table = ctx->state.span.inputs.alphaTestTable;
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "func 0x" << std::hex << row.func);
        settle();
        // Reference 128 in the 256-entry table: 0.5 x 255 rounded, as a fragment alpha of 0.5 is.
        CALL(glAlphaFunc)(row.func, 0.5f);
        ASSERT_NE(ctx->tableDirtyMask & kGlTableAlphaTest, 0u);
        draw();
        EXPECT_EQ(table[127], row.below);
        EXPECT_EQ(table[128], row.equal);
        EXPECT_EQ(table[129], row.above);
        EXPECT_EQ(table[0], row.first);
        EXPECT_EQ(table[255], row.last);
    }
}

}  // namespace
