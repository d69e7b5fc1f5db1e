// Polygon offset against the real depth buffers: a coplanar triangle offset towards the viewer
// wins the depth test and one offset away loses it, for a plain 16-bit buffer and for the 24-bit
// buffer while it stores mirrored depths.
#include "tests/icd_depth/depth_fixture.h"
#include "icd/raster/triangle.h"
#include "icd/vertex/vertex.h"

namespace {

class TriangleOffsetDepthTest : public DepthTest {
protected:
    GlVertex v[3]{};

    // The triangle at window depth d (as the viewport gives it) in one colour channel.
    void draw(double d, int channel) {
        const float xy[3][2] = {{1, 1}, {14, 2}, {3, 7}};
        for (int i = 0; i < 3; ++i) {
            GlVertex &p = v[i];
            p = GlVertex{};
            p.window[0] = xy[i][0] + float(kBias) + 0.5f;
            p.window[1] = xy[i][1] + float(kBias) + 0.5f;
            p.window[2] = float(double(db().scale) * (db().mirror ? 1.0 - d : d));
            p.invW = 1.0f;
            p.color = p.frontColor;
            p.frontColor[channel] = 200.0f;
            p.frontColor[3] = 255.0f;
        }
        __glRenderTriangle(ctx, &v[0], &v[1], &v[2]);
    }
    // The colour of every covered pixel, or 0 when the pixels differ.
    uint32_t coveredColour() {
        uint32_t seen = 0;
        int n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint32_t c = colorAt(x, y);
                if (c == 0) continue;
                if (n++ > 0 && c != seen) return 0;
                seen = c;
            }
        return n > 20 ? seen : 0;
    }
};

TEST_F(TriangleOffsetDepthTest, OffsetTowardsTheViewerWinsAndAwayLoses) {
    for (int kind : {16, 24}) {
        SCOPED_TRACE(kind);
        build(kind);
        useFlags(kGlShadeDepthTest | kGlShadeDepthIterate);
        clearAndValidate();
        if (kind == 24) {
            ASSERT_EQ(db().mirror, 1);
        }
        draw(0.5, 0);
        EXPECT_EQ(coveredColour(), 0xC80000u);
        ctx->state.polygonOffset.offsetFactor = 0.0f;
        ctx->state.polygonOffset.offsetUnits = -1.0f;
        useFlags(kGlShadeDepthTest | kGlShadeDepthIterate | kGlShadePolygonOffset);
        draw(0.5, 1);
        EXPECT_EQ(coveredColour(), 0x00C800u);
        ctx->state.polygonOffset.offsetUnits = 1.0f;
        draw(0.5, 2);
        EXPECT_EQ(coveredColour(), 0x00C800u);
    }
}

}  // namespace
