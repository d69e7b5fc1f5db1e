// The fast triangle path of the 16-bit colour buffers against the generic rasteriser: for a table
// of states, the same triangles drawn through the GL entries into the same 5-6-5 or 5-5-5
// buffers (with a 16-bit depth and an 8-bit stencil buffer) by each path, compared pixel by
// pixel. Coverage (which pixels changed, which stencil values resulted) must agree exactly,
// because both sample at the same points and every vertex lies on the 1/16-pixel grid; colours
// agree within each row's stated bound (0 where both compute the same exact value), and over the
// covered pixels neither road is biased against the other by a quarter step or more in any channel.
#include "icd/codegen/og_context.h"
#include "icd/codegen/og_procs.h"
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/icd_state/state_fixture.h"
#include "tests/icd_raster/raster_fixture.h"
#include "icd/core/pick.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/stencil_buffer.h"

namespace {

constexpr int kSide = 64;  // a power of two: window coordinates of grid vertices stay exact

using Format = Rgb16Format;
constexpr const auto &kFormats = kRgb16Formats;

// What one path drew.
struct Picture {
    std::vector<uint16_t> color;
    std::vector<uint16_t> depth;
    std::vector<uint8_t> stencil;
};

struct Row {
    const char *name;
    std::function<void(GlContext *)> set;
    int bound;         // largest channel difference allowed, in field steps
    bool fastChosen;   // whether the fast chooser takes the state
    const char *why;   // what makes the fast path round differently
};

class FastPathDifferential : public StateTest {
protected:
    PlainMemory colorMem, depthMem, stencilMem;

    // A window of the buffers' size, so that clears and the clip box stay inside them.
    void SetUp() override {
        IcdTest::SetUp();
        openContext(kSingleFormat, kSide, kSide);
        if (HasFatalFailure()) return;
        __glSetStateDefaults(ctx);
    }

    // The depth buffer's saved state belongs to its descriptor, which the test owns.
    void releaseDepthSave() {
        if (depthMem.desc.depthSave != nullptr) ctx->hostProcs.free(ctx, depthMem.desc.depthSave);
        depthMem.desc.depthSave = nullptr;
    }
    void TearDown() override {
        if (ctx != nullptr) releaseDepthSave();
        StateTest::TearDown();
    }

    void open(const Format &f) {
        releaseDepthSave();
        setRgb16Visual(ctx, f.redMask, f.greenMask, f.blueMask, f.greenBits);
        attachPlainFront(ctx, colorMem, kSide, kSide, 2);
        attachPlainDepth(ctx, depthMem, kSide, kSide, 16);
        attachPlainStencil(ctx, stencilMem, kSide, kSide);
        GL(glDrawBuffer)(GL_FRONT);
        windowProjection(ctx, kSide, kSide);
    }

    void vertex(float x, float y, float z) { GL(glVertex3f)(x, y, z); }

    // A 16 x 16 RGBA texture (with its mipmaps) whose channels change slowly and linearly, so that
    // a texel chosen one step away changes the picture by little more than a field step.
    void loadTexture(bool mipmaps) {
        GLuint name = 1;
        GL(glBindTexture)(GL_TEXTURE_2D, name);
        for (int level = 0, side = 16; side >= 1 && (level == 0 || mipmaps); ++level, side /= 2) {
            std::vector<uint8_t> t(size_t(side) * side * 4);
            for (int j = 0; j < side; ++j)
                for (int i = 0; i < side; ++i) {
                    const double u = (i + 0.5) / side, v = (j + 0.5) / side;
                    uint8_t *p = &t[size_t(j * side + i) * 4];
                    p[0] = uint8_t(60 + 160 * u);
                    p[1] = uint8_t(60 + 160 * v);
                    p[2] = uint8_t(200 - 100 * u);
                    p[3] = uint8_t(90 + 140 * v);
                }
            GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
        }
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        GL(glEnable)(GL_TEXTURE_2D);
    }

    // The scene: overlapping triangles at distinct depths, both windings, spans shorter and longer
    // than 32 pixels, a sliver and a triangle reaching past the window. Every vertex lies on the
    // 1/16 grid.
    void drawScene() {
        struct V {
            float x, y, z, r, g, b, a, s, t;
        };
        const V tris[][3] = {
            {{1.5f, 2.25f, 0.5f, 0.9f, 0.3f, 0.4f, 0.8f, 0, 0},
             {60.75f, 6.5f, 0.1f, 0.3f, 0.9f, 0.3f, 0.6f, 1.5f, 0.1f},
             {20.125f, 58.0625f, -0.3f, 0.4f, 0.4f, 0.9f, 0.3f, 0.2f, 1.25f}},
            // Clockwise, nearer in part: right to left in the fast walk's terms.
            {{50.5f, 50.5f, -0.6f, 0.8f, 0.8f, 0.3f, 0.7f, 1, 1},
             {63.0f, 10.25f, 0.4f, 0.3f, 0.5f, 0.8f, 0.4f, 0, 1},
             {8.0625f, 30.5f, -0.2f, 0.5f, 0.9f, 0.6f, 0.9f, 0.5f, 0}},
            // A sliver.
            {{3.0f, 40.0f, -0.9f, 0.9f, 0.9f, 0.9f, 0.5f, 0, 0},
             {45.0f, 41.5f, -0.9f, 0.6f, 0.3f, 0.3f, 0.5f, 2, 0.2f},
             {4.0f, 42.0f, -0.9f, 0.3f, 0.6f, 0.3f, 0.5f, 0, 0.4f}},
            // Beyond the window on the right and at the top (clipped).
            {{30.0f, 20.0f, -0.8f, 0.4f, 0.7f, 0.9f, 0.6f, 0, 0},
             {90.0f, 35.0f, -0.8f, 0.7f, 0.4f, 0.9f, 0.6f, 3, 0.5f},
             {40.0f, 75.0f, -0.8f, 0.9f, 0.7f, 0.4f, 0.6f, 0.5f, 3}},
        };
        GL(glBegin)(GL_TRIANGLES);
        for (const auto &tri : tris)
            for (const V &v : tri) {
                GL(glColor4f)(v.r, v.g, v.b, v.a);
                GL(glTexCoord2f)(v.s, v.t);
                vertex(v.x, v.y, v.z);
            }
        GL(glEnd)();
    }

    Picture draw(const Row &row, bool genericOnly) {
        ctx->state.span.fast.genericOnly = genericOnly ? 1 : 0;
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask = 0x7FF;
        GL(glDisable)(GL_SCISSOR_TEST);
        GL(glClearColor)(0, 0, 0, 0);
        GL(glClearDepth)(1.0);
        GL(glClearStencil)(0);
        GL(glColorMask)(1, 1, 1, 1);
        GL(glDepthMask)(1);
        GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        // A stencil pattern for the rows that test it: every third column holds 1.
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; x += 3) stencilMem.setElement(x, y, 1);
        row.set(ctx);
        drawScene();
        Picture p;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                p.color.push_back(uint16_t(colorMem.element(x, y)));
                p.depth.push_back(uint16_t(depthMem.element(x, y)));
                p.stencil.push_back(uint8_t(stencilMem.element(x, y)));
            }
        // Put back the state the row changed, for the next run.
        GL(glMatrixMode)(GL_TEXTURE);
        GL(glLoadIdentity)();
        __glSetStateDefaults(ctx);
        windowProjection(ctx, kSide, kSide);
        GL(glDrawBuffer)(GL_FRONT);
        return p;
    }

    // The set-up drawing the state: a generated triangle routine counts as the C proc it stands in for.
    GlPickTriangleProc rasterProc() const {
        const void *p = reinterpret_cast<const void *>(ctx->state.pick.rasterTriangleProc);
        return reinterpret_cast<GlPickTriangleProc>(const_cast<void *>(__glOgReplacedProc(ctx, p)));
    }
};

void depthLess(GlContext *ctx) {
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glDepthFunc)(GL_LESS);
}

// Why a row's roads may differ by a step: a colour staged as a byte is dithered from that byte.
constexpr const char *kStaged = "colours staged as bytes before the dither: a value at a dither threshold may land either side";

const Row kRows[] = {
    {"flat", [](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); GL(glDisable)(GL_DITHER); }, 0, true, ""},
    {"flat dither", [](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); }, 0, true, ""},
    {"smooth", [](GlContext *ctx) { GL(glDisable)(GL_DITHER); }, 0, true, ""},
    {"smooth dither depth less", [](GlContext *ctx) { depthLess(ctx); }, 0, true, ""},
    {"depth lequal no writes", [](GlContext *ctx) {
         depthLess(ctx);
         GL(glDepthFunc)(GL_LEQUAL);
         GL(glDepthMask)(0);
     }, 0, true, ""},
    {"depth greater", [](GlContext *ctx) {
         GL(glClearDepth)(0.0);
         GL(glClear)(GL_DEPTH_BUFFER_BIT);
         GL(glEnable)(GL_DEPTH_TEST);
         GL(glDepthFunc)(GL_GREATER);
     }, 0, true, ""},
    {"depth always no writes", [](GlContext *ctx) {
         GL(glEnable)(GL_DEPTH_TEST);
         GL(glDepthFunc)(GL_ALWAYS);
         GL(glDepthMask)(0);
     }, 0, true, ""},
    {"polygon offset", [](GlContext *ctx) {
         depthLess(ctx);
         GL(glEnable)(GL_POLYGON_OFFSET_FILL);
         GL(glPolygonOffset)(1.0f, 2.0f);
     }, 0, true, ""},
    {"scissor", [](GlContext *ctx) {
         depthLess(ctx);
         GL(glEnable)(GL_SCISSOR_TEST);
         GL(glScissor)(7, 5, 41, 37);
     }, 0, true, ""},
    {"stipple", [](GlContext *ctx) {
         GLubyte pattern[128];
         for (int i = 0; i < 128; ++i) pattern[i] = GLubyte(0x5A ^ (i * 37));
         GL(glPolygonStipple)(pattern);
         GL(glEnable)(GL_POLYGON_STIPPLE);
     }, 0, true, ""},
    {"stencil equal incr", [](GlContext *ctx) {
         depthLess(ctx);
         GL(glEnable)(GL_STENCIL_TEST);
         GL(glStencilFunc)(GL_EQUAL, 1, 0xFF);
         GL(glStencilOp)(GL_ZERO, GL_DECR, GL_INCR);
     }, 0, true, ""},
    {"alpha test flat", [](GlContext *ctx) {
         GL(glShadeModel)(GL_FLAT);
         GL(glEnable)(GL_ALPHA_TEST);
         GL(glAlphaFunc)(GL_GREATER, 0.55f);
     }, 1, true, kStaged},
    {"blend src alpha", [](GlContext *ctx) {
         depthLess(ctx);
         GL(glEnable)(GL_BLEND);
         GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
     }, 1, true, kStaged},
    {"blend src alpha one, no dither", [](GlContext *ctx) {
         GL(glDisable)(GL_DITHER);
         GL(glEnable)(GL_BLEND);
         GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE);
     }, 0, true, ""},
    {"blend one one (generic store)", [](GlContext *ctx) {
         GL(glEnable)(GL_BLEND);
         GL(glBlendFunc)(GL_ONE, GL_ONE);
     }, 1, true, kStaged},
    {"logic op xor", [](GlContext *ctx) {
         GL(glEnable)(GL_COLOR_LOGIC_OP);
         GL(glLogicOp)(GL_XOR);
         GL(glDisable)(GL_DITHER);
     }, 0, true, ""},
    {"colour mask red off (generic store)", [](GlContext *ctx) { GL(glColorMask)(0, 1, 1, 1); }, 1, true, kStaged},
    {"fog linear", [](GlContext *ctx) {
         GL(glEnable)(GL_FOG);
         GL(glFogi)(GL_FOG_MODE, GL_LINEAR);
         GL(glFogf)(GL_FOG_START, -0.5f);
         GL(glFogf)(GL_FOG_END, 0.8f);
         const GLfloat color[4] = {0.2f, 0.6f, 0.9f, 1};
         GL(glFogfv)(GL_FOG_COLOR, color);
     }, 1, true, kStaged},
    {"fog exp nicest", [](GlContext *ctx) {
         GL(glEnable)(GL_FOG);
         GL(glFogi)(GL_FOG_MODE, GL_EXP);
         GL(glFogf)(GL_FOG_DENSITY, 1.5f);
         GL(glHint)(GL_FOG_HINT, GL_NICEST);
     }, 1, true, "the eye distance stepped from row to row in 16.16: a factor on a rounding boundary may "
                 "round the other way"},
    {"texture nearest modulate", [](GlContext *ctx) {
         depthLess(ctx);
     }, 3, true, "a 16.16 coordinate on a texel boundary may select the neighbour (3 six-bit steps here)"},
    {"texture linear replace", [](GlContext *ctx) {
         GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
         GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
         GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
     }, 1, true, "filter weights as 8-bit fractions against exact ones"},
    {"texture linear decal clamp", [](GlContext *ctx) {
         GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
         GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
         GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
         GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
         GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
     }, 1, true, "filter weights as 8-bit fractions against exact ones"},
    {"texture blend env", [](GlContext *ctx) {
         const GLfloat env[4] = {0.9f, 0.2f, 0.5f, 1};
         GL(glTexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, env);
         GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_BLEND);
     }, 2, true, "a 16.16 coordinate on a texel boundary may select the neighbour"},
    {"texture trilinear modulate blend", [](GlContext *ctx) {
         depthLess(ctx);
         GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
         GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
         GL(glEnable)(GL_BLEND);
         GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
     }, 1, true, "filter and level weights as 8-bit fractions"},
    {"texture trilinear minified", [](GlContext *ctx) {
         GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
         GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
         GL(glMatrixMode)(GL_TEXTURE);
         GL(glScalef)(7.0f, 5.0f, 1.0f);
         GL(glMatrixMode)(GL_MODELVIEW);
     }, 1, true, "filter and level weights as 8-bit fractions"},
    {"texture nearest mipmap nearest", [](GlContext *ctx) {
         GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
     }, 3, true, "a 16.16 coordinate on a texel boundary may select the neighbour (3 six-bit steps here)"},
    {"texture add (generic)", [](GlContext *ctx) {
         GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
     }, 0, false, ""},
    {"polygon smooth (generic)", [](GlContext *ctx) { GL(glEnable)(GL_POLYGON_SMOOTH); }, 0, false, ""},
};

bool textured(const Row &row) { return std::string(row.name).rfind("texture", 0) == 0; }

TEST_F(FastPathDifferential, BothPathsDrawTheSamePictures) {
    for (const Format &format : kFormats) {
        SCOPED_TRACE(format.name);
        open(format);
        const int fields[3][2] = {{format.greenBits == 6 ? 11 : 10, 31}, {5, (1 << format.greenBits) - 1}, {0, 31}};
        for (const Row &row : kRows) {
            SCOPED_TRACE(row.name);
            auto run = [&](bool generic) {
                if (textured(row)) loadTexture(std::string(row.name).find("mipmap") != std::string::npos ||
                                               std::string(row.name).find("trilinear") != std::string::npos);
                return draw(row, generic);
            };
            const Picture fast = run(false);
            // Asked right after the draw: the pick of the row's state.
            const Picture generic = run(true);
            EXPECT_NE(rasterProc(), __glFillTriangleFast);
            int covered = 0, worst = 0, worstDepth = 0;
            double bias[3] = {0, 0, 0};
            for (size_t i = 0; i < fast.color.size(); ++i) {
                const bool a = fast.color[i] != 0, b = generic.color[i] != 0;
                ASSERT_EQ(a, b) << "coverage differs at pixel " << i % kSide << ", " << i / kSide;
                ASSERT_EQ(fast.stencil[i], generic.stencil[i]) << "stencil at " << i % kSide << ", " << i / kSide;
                covered += a;
                for (int c = 0; c < 3; ++c) {
                    const auto &f = fields[c];
                    const int d = int((fast.color[i] >> f[0]) & f[1]) - int((generic.color[i] >> f[0]) & f[1]);
                    worst = std::max(worst, std::abs(d));
                    if (a) bias[c] += d;
                }
                worstDepth = std::max(worstDepth, std::abs(int(fast.depth[i]) - int(generic.depth[i])));
            }
            EXPECT_GT(covered, 500);
            EXPECT_LE(worst, row.bound) << row.why;
            for (int c = 0; c < 3; ++c) EXPECT_LT(std::abs(bias[c] / covered), 0.25) << "channel " << c;
            // The generic walk steps the shifted per-pixel depth step within each 32-pixel word
            // (inexact by design, exact at word starts); the fast path shifts the exact value.
            EXPECT_LE(worstDepth, 32);
        }
    }
}

// Filtered textures sampled alike across 16 covered pixels (at one level of detail under an
// orthographic mapping, magnified throughout, or filtered from level 0 alone) are sampled four
// pixels at a time; the stipple breaks the spans into partly covered runs, sampled pixel by
// pixel. Both must give every pixel the stipple keeps the same colour, exactly: magnification,
// minification within levels 0 and 1 and between levels 1 and 2, projective mappings (the level
// of detail changing along the span), with and without the texture's alpha.
TEST_F(FastPathDifferential, StippleKeepsTheColoursOfTexturedPixels) {
    struct Case {
        float scale;      // texture repeats across the square
        bool blend;       // alpha needed: four-byte texel entries
        GLenum minFilter;
        bool projective;  // q differs at the corners: the level of detail changes along every span
    };
    const Case cases[] = {{3.0f, false, GL_LINEAR_MIPMAP_LINEAR, false},  {6.0f, false, GL_LINEAR_MIPMAP_LINEAR, false},
                          {11.0f, true, GL_LINEAR_MIPMAP_LINEAR, false},  {6.0f, true, GL_LINEAR_MIPMAP_LINEAR, false},
                          {9.0f, false, GL_LINEAR_MIPMAP_NEAREST, false}, {6.0f, false, GL_LINEAR, false},
                          {2.0f, true, GL_LINEAR, true},                  {1.0f, false, GL_LINEAR_MIPMAP_LINEAR, true}};
    for (const Format &format : kFormats) {
        open(format);
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << format.name << " scale " << c.scale << (c.blend ? " blend" : "")
                                            << " min filter " << std::hex << c.minFilter << (c.projective ? " projective" : ""));
            auto picture = [&](bool stipple) {
                ctx->state.span.fast.genericOnly = 0;
                ctx->beginMode = kGlNeedValidate;
                ctx->dirtyMask = 0x7FF;
                GL(glClearColor)(0, 0, 0, 0);
                GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                // Texels from a small generator, independent per level: neighbours differ widely.
                uint32_t seed = 12345;
                GL(glBindTexture)(GL_TEXTURE_2D, 1);
                for (int level = 0, side = 16; side >= 1; ++level, side /= 2) {
                    std::vector<uint8_t> t(size_t(side) * side * 4);
                    for (uint8_t &v : t) {
                        seed = seed * 1103515245u + 12345u;
                        v = uint8_t(seed >> 16);
                    }
                    GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGBA, side, side, 0, GL_RGBA,
                                     GL_UNSIGNED_BYTE, t.data());
                }
                GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(c.minFilter));
                GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
                GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
                GL(glEnable)(GL_TEXTURE_2D);
                depthLess(ctx);
                if (c.blend) {
                    GL(glEnable)(GL_BLEND);
                    GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                }
                if (stipple) {
                    GLubyte pattern[128];
                    for (int i = 0; i < 128; ++i) pattern[i] = GLubyte(0xB7 ^ (i * 29));
                    GL(glPolygonStipple)(pattern);
                    GL(glEnable)(GL_POLYGON_STIPPLE);
                }
                GL(glBegin)(GL_QUADS);
                const float corners[4][2] = {{0, 0}, {kSide, 0}, {kSide, kSide}, {0, kSide}};
                for (int i = 0; i < 4; ++i) {
                    GL(glColor4f)(i == 1 ? 0.6f : 1.0f, i == 2 ? 0.7f : 0.95f, i == 3 ? 0.5f : 0.9f, 0.8f);
                    const float q = c.projective ? 1.0f + 0.25f * float(i) : 1.0f;
                    GL(glTexCoord4f)((corners[i][0] / kSide * c.scale + 0.13f) * q,
                                     (corners[i][1] / kSide * c.scale + 0.29f) * q, 0, q);
                    vertex(corners[i][0], corners[i][1], 0.25f);
                }
                GL(glEnd)();
                EXPECT_EQ(rasterProc(), __glFillTriangleFast);
                const std::vector<uint32_t> p = readRgbWords(ctx, kSide, kSide);
                __glSetStateDefaults(ctx);
                windowProjection(ctx, kSide, kSide);
                GL(glDrawBuffer)(GL_FRONT);
                return p;
            };
            const std::vector<uint32_t> whole = picture(false), stippled = picture(true);
            expectStippledMatchesWhole(whole, stippled, kSide, kSide * kSide / 4);
        }
    }
}

// The generated depth stage in the chain draws what the prebuilt stages draw, bit for bit, in every
// row that tests depth; in one more row every pixel fails the depth test under a stencil update,
// whose depth-fail operation must still run (as it does on the generic path).
TEST_F(FastPathDifferential, GeneratedDepthStageDrawsWhatThePrebuiltStagesDraw) {
    const Row allFail{"stencil incr on depth fail, nothing passes", [](GlContext *ctx) {
                          GL(glEnable)(GL_DEPTH_TEST);
                          GL(glDepthFunc)(GL_GREATER);
                          GL(glEnable)(GL_STENCIL_TEST);
                          GL(glStencilFunc)(GL_ALWAYS, 0, 0xFF);
                          GL(glStencilOp)(GL_KEEP, GL_INCR, GL_KEEP);
                      }, 0, true, ""};
    std::vector<const Row *> rows{&allFail};
    for (const Row &row : kRows) {
        const std::string name = row.name;
        // (A test that always passes without writes has no depth stage.)
        if (row.fastChosen && !textured(row) && name.find("always no writes") == std::string::npos &&
            (name.find("depth") != std::string::npos || name.find("offset") != std::string::npos ||
             name.find("stencil") != std::string::npos))
            rows.push_back(&row);
    }
    for (const Format &format : kFormats) {
        SCOPED_TRACE(format.name);
        open(format);
        for (const Row *row : rows) {
            SCOPED_TRACE(row->name);
            __glOgSetFastDepthStageForTest(0);
            const Picture prebuilt = draw(*row, false);
            __glOgSetFastDepthStageForTest(1);
            const Picture generated = draw(*row, false);
            const GlFastPathSlots &sl = ctx->state.span.fast;
            EXPECT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(sl.fastStageFirst)) ||
                        __glOgIsGenerated(ctx, reinterpret_cast<const void *>(sl.afterStencilTest)))
                << "the chain ran the generated stage";
            __glOgSetFastDepthStageForTest(-1);
            const Picture generic = draw(*row, true);
            EXPECT_EQ(generated.color, prebuilt.color);
            EXPECT_EQ(generated.depth, prebuilt.depth);
            EXPECT_EQ(generated.stencil, prebuilt.stencil);
            EXPECT_EQ(generated.stencil, generic.stencil);
        }
    }
}

// A replacing texture drawn without dither or blend by the integer one-routine (MMX not allowed:
// the MMX routine reads the level itself) gets level 0's copy in the colour buffer's layout first:
// each texel's bytes rounded to the buffer's fields.
TEST_F(FastPathDifferential, AReplacingTextureDrawnByOneRoutineGetsItsColourBufferCopy) {
    icd::__glOgOverrideMmx(0);
    struct MmxBack {
        ~MmxBack() { icd::__glOgOverrideMmx(-1); }
    } mmxBack;
    for (const Format &format : kFormats) {
        SCOPED_TRACE(format.name);
        open(format);
        loadTexture(false);
        const Row replace{"texture replace, no dither", [](GlContext *ctx) {
                              GL(glDisable)(GL_DITHER);
                              GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
                              // Affine: the one routine leaves perspective texturing to the chain.
                              GL(glHint)(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
                          }, 0, true, ""};
        draw(replace, false);
        const char *form = __glOgSpanRoutineForm(ctx, reinterpret_cast<const void *>(ctx->state.span.fast.spanRoutine));
        if (form == nullptr || std::string(form) == "stage-list span routine") GTEST_SKIP() << "no one-routine here";
        const GlMipLevel *l = __glLookUpBoundTexture(ctx, 0, GL_TEXTURE_2D)->levels[0];
        ASSERT_NE(l->convertedImage, nullptr);
        const int redShift = format.greenBits == 6 ? 11 : 10;
        for (int j : {0, 7, 15})
            for (int i : {0, 9, 15}) {
                uint16_t texel, converted;  // an A4 R4 G4 B4 texel; a pixel of the buffer
                std::memcpy(&texel, l->image + (j * 16 + i) * 2, 2);
                std::memcpy(&converted, l->convertedImage + (j * 16 + i) * 2, 2);
                // Each 4-bit channel as the byte it stands for (n x 17), rounded to the buffer's
                // field: the nearest of byte x max / 255 (never a tie, 255 being odd).
                const uint32_t r = ((texel >> 8) & 0xF) * 17, g = ((texel >> 4) & 0xF) * 17, b = (texel & 0xF) * 17;
                auto field = [](uint32_t byte, uint32_t max) { return (2 * byte * max + 255) / 510; };
                const uint32_t gMax = (1u << format.greenBits) - 1;
                const uint32_t expected = field(r, 31) << redShift | field(g, gMax) << 5 | field(b, 31);
                EXPECT_EQ(converted, expected) << i << "," << j;
            }
    }
}

// The chooser took the fast path for exactly the rows that say so.
TEST_F(FastPathDifferential, ChooserTakesTheStatesItHasChainsFor) {
    open(kFormats[0]);
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.name);
        if (textured(row)) loadTexture(true);
        ctx->state.span.fast.genericOnly = 0;
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask = 0x7FF;
        row.set(ctx);
        GL(glClear)(0);  // validates
        EXPECT_EQ(rasterProc() == __glFillTriangleFast, row.fastChosen);
        __glSetStateDefaults(ctx);
        windowProjection(ctx, kSide, kSide);
    }
}

}  // namespace
