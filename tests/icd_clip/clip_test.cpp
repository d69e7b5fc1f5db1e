// The clippers as the primitive procs call them: triangles and polygons against the frustum and
// the user planes, the fan they are drawn as, lines, the window-rectangle clipper, the
// interpolation procs and their picker, the polygon stipple words.
#include <cmath>
#include <vector>
#include "tests/icd_vertex/transform_fixture.h"
#include "icd/core/shade_flags.h"
#include "icd/vertex/clip.h"
#include "icd/core/pick.h"

namespace {

struct Drawn {
    GlVertex v[3];
    uint8_t edge[3];
    float color[3][4];
};
std::vector<Drawn> g_triangles;
std::vector<Drawn> g_lines;

void recordTriangle(GlContext *, GlVertex *a, GlVertex *b, GlVertex *c) {
    Drawn d{};
    GlVertex *v[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        d.v[i] = *v[i];
        d.edge[i] = v[i]->edgeFlag;
        for (int k = 0; k < 4; ++k) d.color[i][k] = v[i]->color[k];
    }
    g_triangles.push_back(d);
}
void recordLine(GlContext *, GlVertex *a, GlVertex *b) {
    Drawn d{};
    d.v[0] = *a;
    d.v[1] = *b;
    for (int k = 0; k < 4; ++k) d.color[0][k] = a->color[k], d.color[1][k] = b->color[k];
    g_lines.push_back(d);
}

constexpr float kPlanes[6][4] = {{1, 0, 0, 1}, {-1, 0, 0, 1}, {0, 1, 0, 1}, {0, -1, 0, 1}, {0, 0, 1, 1}, {0, 0, -1, 1}};

float area(const GlVertex &a, const GlVertex &b, const GlVertex &c) {
    return 0.5f * ((b.window[0] - a.window[0]) * (c.window[1] - a.window[1]) -
                   (c.window[0] - a.window[0]) * (b.window[1] - a.window[1]));
}

class ClipTest : public TransformTest {
protected:
    GlVertex verts[8]{};

    void SetUp() override {
        TransformTest::SetUp();
        g_triangles.clear();
        g_lines.clear();
        ctx->slots.primitive.renderTriangle = recordTriangle;
        ctx->slots.primitive.renderLine = recordLine;
        ctx->state.clip.polygonProc = nullptr;  // the fan
        ctx->state.clip.clipInterpPolygon = __glClipInterpProcs[2];
        ctx->state.clip.clipInterpLine = __glClipInterpProcs[2];
    }
    // A vertex given in clip space, with its colour, out-codes and window coordinates as the
    // vertex pipeline leaves them.
    GlVertex *vertex(int i, float x, float y, float z, float w, float red = 0, uint32_t userCodes = 0) {
        GlVertex &v = verts[i];
        v = GlVertex{};
        v.clip[0] = x, v.clip[1] = y, v.clip[2] = z, v.clip[3] = w;
        v.eye[0] = x, v.eye[1] = y, v.eye[2] = z, v.eye[3] = w;
        v.frontColor[0] = red, v.frontColor[3] = 1;
        v.color = v.frontColor;
        v.edgeFlag = 1;
        v.flags = kGlVertexSize4 | kGlVertexDoneMask | userCodes;
        for (int p = 0; p < 6; ++p) {
            const float d = kPlanes[p][0] * x + kPlanes[p][1] * y + kPlanes[p][2] * z + kPlanes[p][3] * w;
            if (d < 0) v.flags |= kGlClipLeft << p;
        }
        const GlViewport &vp = xf().viewport;
        v.window[0] = vp.xCenter + x / w * vp.xScale;
        v.window[1] = vp.yCenter + y / w * vp.yScale;
        v.window[2] = vp.zCenter + z / w * vp.zScale;
        v.invW = 1 / w;
        return &v;
    }
    uint32_t codes(std::initializer_list<int> idx) {
        uint32_t c = 0;
        for (int i : idx) c |= verts[i].flags;
        return c & kGlVertexClipMask;
    }
    float drawnArea() {
        float sum = 0;
        for (const Drawn &d : g_triangles) sum += std::fabs(area(d.v[0], d.v[1], d.v[2]));
        return sum;
    }
};

TEST_F(ClipTest, TrivialCasesAndVerticesOnAPlane) {
    // All three left of the frustum: nothing.
    GlVertex *a = vertex(0, -3, 0, 0, 1), *b = vertex(1, -2, 1, 0, 1), *c = vertex(2, -2, -1, 0, 1);
    __glClipDrawTriangle(ctx, a, b, c, codes({0, 1, 2}));
    EXPECT_TRUE(g_triangles.empty());
    // A vertex exactly on the left plane (distance -0) stays: one triangle, its corner unchanged.
    a = vertex(0, -1, 0, 0, 1), b = vertex(1, 0.5f, 0.5f, 0, 1), c = vertex(2, 0.5f, -0.5f, 0, 1);
    a->flags |= kGlClipNear;  // force the clipper to run; the near distance of a is +1
    __glClipDrawTriangle(ctx, a, b, c, codes({0, 1, 2}));
    ASSERT_EQ(g_triangles.size(), 1u);
    EXPECT_EQ(g_triangles[0].v[0].window[0], xf().viewport.xCenter - xf().viewport.xScale);
}

TEST_F(ClipTest, NearPlaneCutGivesAFanWithHiddenInteriorEdge) {
    // One vertex behind the near plane: the triangle becomes a quadrilateral, two fan triangles.
    GlVertex *a = vertex(0, -0.5f, -0.5f, 0, 1, 0.0f), *b = vertex(1, 0.5f, -0.5f, 0, 1, 0.5f),
             *c = vertex(2, 0, 0.5f, -3, 1, 1.0f);
    __glClipDrawTriangle(ctx, a, b, c, codes({0, 1, 2}));
    ASSERT_EQ(g_triangles.size(), 2u);
    // The interior edge (v0-v2 of the first, v0-v1 of the second) is switched off.
    EXPECT_EQ(g_triangles[0].edge[2], 0);
    EXPECT_EQ(g_triangles[1].edge[0], 0);
    EXPECT_EQ(g_triangles[1].edge[2], 1);
    // Every new vertex lies on the near plane, its colour interpolated along its edge.
    for (const Drawn &d : g_triangles)
        for (const GlVertex &v : d.v) {
            if ((v.flags & kGlClipUserMask) != kGlClipUserMask) continue;  // an original vertex
            EXPECT_NEAR(v.clip[2], -v.clip[3], 1e-6);
            EXPECT_FLOAT_EQ(v.invW, 1 / v.clip[3]);
            EXPECT_GT(v.frontColor[0], 0.0f);
            EXPECT_LT(v.frontColor[0], 1.0f);
        }
    // The left-out piece: z from 0 to -3 crosses -1 at a third of the way.
    const float kept = std::fabs(area(*a, *b, *c)) * (1 - (2.0f / 3) * (2.0f / 3));
    EXPECT_NEAR(drawnArea(), kept, 1e-2);
}

TEST_F(ClipTest, ClippedVerticesAreClampedToTheViewport) {
    // A vertex that lands a rounding error beyond the right edge after the divide is pulled in.
    GlVertex *a = vertex(0, 0, 0, 0, 1), *b = vertex(1, 3, 0, 0, 3.0f - 1e-7f), *c = vertex(2, 0, 5, 0, 1);
    __glClipDrawTriangle(ctx, a, b, c, codes({0, 1, 2}) | kGlClipRight);
    const GlViewport &vp = xf().viewport;
    ASSERT_FALSE(g_triangles.empty());
    for (const Drawn &d : g_triangles)
        for (const GlVertex &v : d.v) {
            EXPECT_GE(v.window[0], vp.xCenter - vp.xScale);
            EXPECT_LE(v.window[0], vp.xCenter + vp.xScale);
            EXPECT_LE(v.window[1], vp.yCenter + std::fabs(vp.yScale));
        }
}

TEST_F(ClipTest, UserPlanesClipInEyeSpace) {
    // Keep x >= 0 in eye space.
    const GLdouble eq[4] = {1, 0, 0, 0};
    gl->ClipPlane(GL_CLIP_PLANE0, eq);
    GlVertex *a = vertex(0, -0.5f, -0.5f, 0, 1, 0, kGlClipUser0), *b = vertex(1, 0.5f, -0.5f, 0, 1),
             *c = vertex(2, 0.5f, 0.5f, 0, 1);
    __glClipDrawTriangle(ctx, a, b, c, codes({0, 1, 2}));
    ASSERT_FALSE(g_triangles.empty());
    const GlViewport &vp = xf().viewport;
    for (const Drawn &d : g_triangles)
        for (const GlVertex &v : d.v) EXPECT_GE(v.window[0], vp.xCenter - 1e-3f);
    // Right half of the triangle: 3/4 of its area.
    EXPECT_NEAR(drawnArea(), 0.75f * std::fabs(area(*a, *b, *c)), 1e-2);
}

TEST_F(ClipTest, PolygonRunUsesProvokingFirstAndRejectsSharedPlanes) {
    GlVertex *first = vertex(0, -0.5f, -0.5f, 0, 1);
    vertex(1, 0.5f, -0.5f, 0, 1), vertex(2, 0.5f, 0.5f, 0, 1), vertex(3, -0.5f, 0.5f, 0, 1);
    __glClipDrawPolygonRun(ctx, first, 4);
    EXPECT_EQ(g_triangles.size(), 2u);
    EXPECT_EQ(ctx->arrays.vertexBuffer.provokingVertex, first);
    g_triangles.clear();
    for (int i = 0; i < 4; ++i) verts[i].flags |= kGlClipFar;
    __glClipDrawPolygonRun(ctx, first, 4);
    EXPECT_TRUE(g_triangles.empty());
}

TEST_F(ClipTest, LinesAgainstPlanes) {
    // Both ends beyond the same user plane: nothing.
    GlVertex *a = vertex(0, 0, 0, 0, 1, 0, kGlClipUser0), *b = vertex(1, 0.5f, 0, 0, 1, 0, kGlClipUser0);
    __glDoClipLineSmooth(ctx, a, b);
    EXPECT_TRUE(g_lines.empty());
    // A flat line cut at the right plane takes the colour of its unclipped second vertex.
    ctx->state.mode.shadeModel = GL_FLAT;
    a = vertex(0, 0, 0, 0, 1, 0.25f), b = vertex(1, 3, 0, 0, 1, 0.75f);
    __glDoClipLineFlat(ctx, a, b);
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_NEAR(g_lines[0].v[1].clip[0], 1.0f, 1e-6);
    EXPECT_EQ(g_lines[0].color[1][0], 0.75f);
    EXPECT_EQ(verts[1].color, verts[1].frontColor);  // the caller's vertex is left as it was
}

TEST_F(ClipTest, InterpolationProcs) {
    GlVertex a{}, b{}, dst{};
    for (int i = 0; i < 4; ++i) {
        a.clip[i] = float(i + 1);
        b.clip[i] = float(10 * (i + 1));
        a.frontColor[i] = 1, b.frontColor[i] = 0;
        a.backColor[i] = 0.5f, b.backColor[i] = 0.25f;
        a.texCoord[1][i] = 4, b.texCoord[1][i] = 8;
    }
    a.eye[2] = 2, b.eye[2] = 6;
    // t = 0 reproduces b exactly; 1/w is recomputed from the interpolated w.
    __glClipInterpProcs[29](&dst, &a, &b, 0.0f);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(dst.clip[i], b.clip[i]);
    EXPECT_EQ(dst.invW, 1 / b.clip[3]);
    EXPECT_EQ(dst.flags, 0x0FFF0000u);
    // RGBA two-sided with fog before the fog factor, two texture sets, at t = 0.5.
    __glClipInterpProcs[29](&dst, &a, &b, 0.5f);
    EXPECT_EQ(dst.frontColor[0], 0.5f);
    EXPECT_EQ(dst.backColor[0], 0.375f);
    EXPECT_EQ(dst.eye[2], 4.0f);
    EXPECT_EQ(dst.texCoord[1][3], 6.0f);
    // Flat without extras leaves colours alone.
    GlVertex flat{};
    __glClipInterpProcs[0](&flat, &a, &b, 0.5f);
    EXPECT_EQ(flat.frontColor[0], 0.0f);
}

TEST_F(ClipTest, PickerIndexFollowsShadingFogAndTextures) {
    struct Case { GLenum shade; bool rgba, lighting, twoSide, fog; uint32_t textures; int line, polygon; };
    const Case cases[] = {
        {GL_FLAT, true, false, false, true, 0x3, 25, 25},
        {GL_SMOOTH, true, true, true, false, 0, 2, 4},
        {GL_SMOOTH, false, true, true, false, 0, 1, 3},
        {GL_SMOOTH, true, false, true, true, 0x1, 17, 17},
    };
    for (const Case &c : cases) {
        ctx->state.mode.shadeModel = c.shade;
        ctx->visual.rgbaMode = c.rgba;
        ctx->state.enable.enables = c.lighting ? kGlEnableLighting : 0;
        ctx->state.lighting.lightModel.twoSide = c.twoSide;
        ctx->state.span.raster.shadeFlags = c.fog ? kGlShadeFog : 0;
        ctx->state.pick.currentTextureMask = c.textures;
        EXPECT_EQ(__glPickClipInterpolateProcs(ctx), __glClipInterpProcs[c.line]);
        EXPECT_EQ(ctx->state.clip.clipInterpPolygon, __glClipInterpProcs[c.polygon]);
    }
}

TEST_F(ClipTest, TrianglesCutToTheWindowsVisibleRectangles) {
    // Three visible rectangles side by side with gaps; the triangle spans all of them.
    static const RECT rects[3] = {{0, 0, 100, 240}, {120, 0, 200, 240}, {220, 0, 320, 240}};
    ctx->state.span.inputs.clipRects = [](GlContext *, const RECT **out) -> int32_t {
        *out = rects;
        return 3;
    };
    ctx->state.clip.triangleProcUnclipped = recordTriangle;
    const GlViewport &vp = xf().viewport;
    auto at = [&](int i, float px, float py) {
        GlVertex *v = vertex(i, 0, 0, 0, 1);
        v->window[0] = vp.xCenter - vp.xScale + px;
        v->window[1] = vp.yCenter - std::fabs(vp.yScale) + py;
        return v;
    };
    GlVertex *a = at(0, 10, 10), *b = at(1, 310, 40), *c = at(2, 150, 200);
    __glDrawTriangleClipRects(ctx, a, b, c);
    ASSERT_FALSE(g_triangles.empty());
    // Every piece lies inside one rectangle (pixel-centre coordinates), and the pieces of each
    // rectangle add up to the part of the triangle over it.
    const float x0 = vp.xCenter - vp.xScale;
    float total = 0;
    for (const Drawn &d : g_triangles) {
        float lo = 1e9f, hi = -1e9f;
        for (const GlVertex &v : d.v) lo = std::fmin(lo, v.window[0] - x0), hi = std::fmax(hi, v.window[0] - x0);
        bool inside = false;
        for (const RECT &r : rects) inside |= lo >= float(r.left) - 1e-3f && hi <= float(r.right) + 1e-3f;
        EXPECT_TRUE(inside) << lo << " " << hi;
        total += std::fabs(area(d.v[0], d.v[1], d.v[2]));
    }
    EXPECT_LT(total, std::fabs(area(*a, *b, *c)));
    EXPECT_EQ(ctx->buffers.lockCount, 0);
}

TEST_F(ClipTest, PolygonStippleWordsTakeTheFirstByteHigh) {
    for (int i = 0; i < 128; ++i) ctx->state.mode.polygonStipple[i] = uint8_t(i);
    __glBuildPolygonStippleMasks(ctx);
    EXPECT_EQ(ctx->state.span.inputs.stippleWords[0], 0x00010203u);
    EXPECT_EQ(ctx->state.span.inputs.stippleWords[31], 0x7C7D7E7Fu);
}

}  // namespace

namespace {

// A quad and a polygon crossing the left edge, drawn by a program: the pieces inside are drawn.
TEST_F(ClipTest, QuadsAndPolygonsCrossingAnEdgeAreClipped) {
    auto begin = slotAs<void(APIENTRY *)(GLenum)>(&ctx->liveTable, 7);
    auto end = slotAs<void(APIENTRY *)(void)>(&ctx->liveTable, 43);
    auto vertex2f = slotAs<void(APIENTRY *)(GLfloat, GLfloat)>(&ctx->liveTable, 128);
    ctx->slots.validate = __glValidateState;
    begin(GL_POINTS);  // validate once, then watch what reaches the triangle slot
    end();
    for (GLenum mode : {GLenum(GL_QUADS), GLenum(GL_POLYGON)}) {
        ctx->slots.primitive.renderTriangle = recordTriangle;
        g_triangles.clear();
        begin(mode);
        vertex2f(-1.5f, -0.5f), vertex2f(0.5f, -0.5f), vertex2f(0.5f, 0.5f), vertex2f(-1.5f, 0.5f);
        end();
        EXPECT_EQ(g_triangles.size(), 2u) << mode;
        const GlViewport &vp = xf().viewport;
        EXPECT_NEAR(drawnArea(), 1.5f * vp.xScale * std::fabs(vp.yScale), 1.0f) << mode;
    }
}

}  // namespace
