// Overlapping triangles through the software triangle proc and the span pipeline, with the depth
// and stencil buffers attached: per pixel, the depth, stencil and colour that every depth function
// and every stencil operation must leave, against a model built from each triangle's coverage.
#include <array>
#include <functional>
#include "tests/icd_depth/depth_fixture.h"
#include "icd/raster/triangle.h"
#include "icd/vertex/vertex.h"

namespace {

constexpr int kW = 24, kH = 16;
using Coverage = std::array<std::array<bool, kW>, kH>;

class TriangleDepthTest : public DepthTest {
protected:
    GlVertex v[6]{};
    double depth[2] = {};

    // A triangle at one window depth (a fraction of the buffer's range), red or green.
    void triangle(int first, const float (*xy)[2], double d, bool green) {
        depth[first / 3] = d;
        for (int i = 0; i < 3; ++i) {
            GlVertex &p = v[first + i];
            p = GlVertex{};
            p.window[0] = xy[i][0] + float(kBias) + 0.5f;
            p.window[1] = xy[i][1] + float(kBias) + 0.5f;
            p.invW = 1.0f;
            p.color = p.frontColor;
            p.frontColor[green ? 1 : 0] = 200.0f;
            p.frontColor[3] = 255.0f;
        }
    }
    // Window z as the viewport gives it: mirrored while the buffer mirrors.
    void draw(int first) {
        double d = depth[first / 3];
        for (int i = 0; i < 3; ++i) v[first + i].window[2] = float(double(db().scale) * (db().mirror ? 1.0 - d : d));
        __glRenderTriangle(ctx, &v[first], &v[first + 1], &v[first + 2]);
    }

    // The pixels a triangle covers, found by drawing it alone into cleared buffers.
    Coverage coverage(int first) {
        reset(GL_ALWAYS);
        draw(first);
        Coverage c{};
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) c[y][x] = colorAt(x, y) != 0;
        return c;
    }
    // Cleared colour, depth 1.0 everywhere, stencil 1, the given depth function.
    void reset(GLenum func) {
        front.bytes.assign(front.bytes.size(), 0);
        for (auto &b : stencilMem.bytes) b = 1;
        mode().depthFunc = GL_LESS;
        mode().depthClear = 1.0;
        pickAll();
        clearAndValidate();
        mode().depthFunc = func;
        pickAll();
    }
    bool depthWired() { return raster().depthAddress != nullptr; }
};

const float kA[3][2] = {{2, 1}, {20, 3}, {6, 14}};
const float kB[3][2] = {{10, 0}, {22, 15}, {1, 9}};

// The two triangles overlap and each also covers pixels of its own.
void expectOverlap(const Coverage &a, const Coverage &b) {
    int both = 0, onlyA = 0, onlyB = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            both += a[y][x] && b[y][x];
            onlyA += a[y][x] && !b[y][x];
            onlyB += b[y][x] && !a[y][x];
        }
    EXPECT_GT(both, 20);
    EXPECT_GT(onlyA, 20);
    EXPECT_GT(onlyB, 20);
}

TEST_F(TriangleDepthTest, EveryDepthFunctionOnOverlappingTriangles) {
    for (int kind : {16, 24, 32}) {
        SCOPED_TRACE(kind);
        build(kind, kW, kH);
        inputs().hwCannotDraw = 1;
        useFlags(kGlShadeDepthTest | kGlShadeSmooth);
        triangle(0, kA, 0.5, false);
        Coverage a = coverage(0);
        ASSERT_TRUE(depthWired()) << "the triangle walker does not address the depth buffer";
        for (double depthB : {0.25, 0.5, 0.75}) {
            triangle(3, kB, depthB, true);
            Coverage b = coverage(3);
            expectOverlap(a, b);
            for (GLenum f = GL_NEVER; f <= GL_ALWAYS; ++f) {
                SCOPED_TRACE(testing::Message() << "B at " << depthB << " function 0x" << std::hex << f);
                reset(f);
                draw(0);
                // What A left, read back as window depth units.
                const uint32_t far = db().scale >> db().shift;
                std::array<std::array<uint32_t, kW>, kH> afterA{};
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x) afterA[y][x] = db().fetch(&db(), kBias + x, kBias + y);
                draw(3);
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x) {
                        // The model: A drew where it covers and passed against the cleared far
                        // value; B then tests against what is there, both in stored order.
                        bool aDrawn = a[y][x] && afterA[y][x] != far;
                        uint32_t fetched = db().fetch(&db(), kBias + x, kBias + y);
                        uint32_t color = colorAt(x, y);
                        if (!b[y][x]) {
                            ASSERT_EQ(fetched, afterA[y][x]) << x << "," << y;
                            ASSERT_EQ(color != 0, aDrawn) << x << "," << y;
                            continue;
                        }
                        // Compare as the buffer stores them (mirrored when the buffer mirrors).
                        uint32_t bStored = uint32_t(double(db().scale) * depthB) >> db().shift;
                        uint32_t there = afterA[y][x];
                        uint32_t in = db().mirror ? far - bStored : bStored;
                        uint32_t st = db().mirror ? far - there : there;
                        bool pass = depthPasses(db().effectiveFunc, in, st);
                        ASSERT_EQ(color, pass ? 0x00C800u : (aDrawn ? 0xC80000u : 0u)) << x << "," << y;
                        ASSERT_EQ(fetched, pass ? bStored : there) << x << "," << y;
                    }
            }
        }
    }
}

TEST_F(TriangleDepthTest, StencilOperationsOnOverlappingTriangles) {
    build(16, kW, kH);
    inputs().hwCannotDraw = 1;
    useFlags(kGlShadeDepthTest | kGlShadeStencilTest | kGlShadeSmooth);
    triangle(0, kA, 0.5, false);
    triangle(3, kB, 0.75, true);
    Coverage a = coverage(0), b = coverage(3);
    ASSERT_TRUE(depthWired()) << "the triangle walker does not address the depth buffer";
    expectOverlap(a, b);
    const GLenum ops[] = {GL_KEEP, GL_ZERO, GL_REPLACE, GL_INCR, GL_DECR, GL_INVERT};
    auto apply = [](GLenum op, uint8_t s) -> uint8_t {
        switch (op) {
        case GL_ZERO: return 0;
        case GL_REPLACE: return 2;  // the reference
        case GL_INCR: return s == 255 ? s : s + 1;
        case GL_DECR: return s == 0 ? s : s - 1;
        case GL_INVERT: return uint8_t(~s);
        default: return s;
        }
    };
    ctx->state.depthStencil.stencilRef = 2;
    for (bool depthFail : {false, true}) {
        for (GLenum op : ops) {
            SCOPED_TRACE(testing::Message() << (depthFail ? "depth fail" : "stencil fail") << " op 0x" << std::hex
                                            << op);
            // Stencil fail: GL_GREATER with reference 2 passes on the cleared 1, fails where A
            // replaced it by 2. Depth fail: the stencil always passes, B lies behind A.
            mode().stencilFunc = depthFail ? GL_ALWAYS : GL_GREATER;
            mode().stencilFail = depthFail ? GL_KEEP : op;
            mode().stencilDepthFail = depthFail ? op : GL_KEEP;
            mode().stencilDepthPass = depthFail ? GL_INCR : GL_REPLACE;
            reset(GL_LESS);
            draw(0);
            draw(3);
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) {
                    uint8_t s = 1;
                    uint32_t color = 0;
                    if (a[y][x]) {
                        s = 2;  // passes both tests: depth-pass operation
                        color = 0xC80000;
                    }
                    if (b[y][x]) {
                        if (a[y][x]) {
                            s = apply(op, s);  // fails the stencil or the depth test
                        } else {
                            s = 2;
                            color = 0x00C800;
                        }
                    }
                    ASSERT_EQ(*stencilMem.at(x, y), s) << x << "," << y;
                    ASSERT_EQ(colorAt(x, y), color) << x << "," << y;
                }
        }
    }
}

}  // namespace
