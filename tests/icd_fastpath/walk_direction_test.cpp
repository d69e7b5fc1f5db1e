// The chain's eight-pixel forms in both walking directions against its pixel loops. A chunk walked
// right to left (xStep -1) has position i at address base - i: the basic span procs and the 16-bit
// depth test must give every position exactly what their pixel loops give it, whichever way the
// chunk walks. The pixel loops are reached through the chain's own roads: a span proc handed one
// covered pixel at a time, the polygon-offset depth entry with a zero offset, and a polygon stipple
// that breaks the spans of a drawn triangle into partly covered chunks. The proc that fuses the
// depth test with the smooth colour is held to the two it stands for.
#include "icd/codegen/og_context.h"
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "icd/core/context.h"
#include "icd/raster/fast_span.h"
#include "tests/icd_state/state_fixture.h"
#include "tests/icd_raster/raster_fixture.h"
#include "tests/icd_fastpath/depth_walks.h"
#include "icd/core/pick.h"
#include "icd/codegen/og_procs.h"

namespace {

constexpr int kGuard = 12;  // elements around the chunk that no proc may touch
constexpr uint16_t kGuardValue = 0xA5A5;

// 32 positions of 16-bit elements between guards, walked from either end.
struct Chunk16 {
    std::vector<uint16_t> memory = std::vector<uint16_t>(32 + 2 * kGuard, kGuardValue);
    int32_t step;
    explicit Chunk16(int32_t xStep) : step(xStep) {}
    // The element of walk position i.
    uint16_t &at(int i) { return memory[size_t(kGuard + (step > 0 ? i : 31 - i))]; }
    uint8_t *first() { return reinterpret_cast<uint8_t *>(&at(0)); }
    bool guardsIntact() const {
        for (int i = 0; i < kGuard; ++i)
            if (memory[size_t(i)] != kGuardValue || memory[memory.size() - 1 - size_t(i)] != kGuardValue) return false;
        return true;
    }
};

void GL_FASTCALL keepTexels(uint32_t, GlSpan *) {}

// Colour iterators in field steps (16.16), each channel staying inside its field over 32 positions.
struct Iterators {
    const char *name;
    int32_t red, redStep, green, greenStep, blue, blueStep;
};
const Iterators kIterators[] = {
    {"rising red, falling green", 2 << 16, int32_t(0.9 * 65536), 28 << 16, -int32_t(0.8 * 65536), (15 << 16) + 12345,
     int32_t(0.3 * 65536)},
    {"flat fractions", (7 << 16) + 0xFFFF, 0, (20 << 16) + 0x8000, 0, 0x1234, 0},
    {"steep", 0, int32_t(0.96 * 65536), (29 << 16) + 0xFFFF, -int32_t(0.9 * 65536), 31 << 16, -int32_t(0.97 * 65536)},
};

// Every basic span proc of both layouts over a whole chunk (its eight-pixel form where it has one)
// against the same proc handed the chunk's positions one at a time (its pixel loop): the single
// covered pixel takes texel entry 0, so entry i is put there for position i.
TEST(WalkDirection, BasicSpanChunksEqualTheirPixelLoops) {
    auto ctx = std::make_unique<GlContext>();
    GlFastPathSlots &slots = ctx->state.span.fast;
    slots.texRoutine = keepTexels;
    const uint8_t env[4] = {200, 70, 140, 255};
    std::memcpy(slots.envColorBytes, env, 4);
    uint8_t texels[32 * 4];
    for (int k = 0; k < 32 * 4; ++k) texels[k] = uint8_t((k * 37 + (k % 4) * 91 + 11) & 0xFF);
    uint32_t dither[40];
    for (int k = 0; k < 40; ++k) dither[k] = uint32_t((k * 7 + 3) % 16) << 12;
    for (bool r565 : {true, false})
        for (int index = 0; index < 64; ++index) {
            const GlFastProc proc = (r565 ? __glSpanTable565 : __glSpanTable555)[size_t(index)];
            if (proc == nullptr) continue;
            const int entryBytes = ((index >> 2) & 7) >= 6 ? 1 : ((index & 0x20) ? 4 : 3);
            for (const Iterators &it : kIterators)
                for (int32_t xStep : {1, -1}) {
                    SCOPED_TRACE(testing::Message() << (r565 ? "565" : "555") << " index " << index << ", " << it.name
                                                    << ", xStep " << xStep);
                    auto span = [&](Chunk16 &c) {
                        GlSpan sp{};
                        sp.context = ctx.get();
                        sp.xStep = xStep;
                        sp.pixel = c.first();
                        sp.ditherPointer = dither;
                        sp.red = {it.red, 0, it.redStep, 0, {0, 0}};
                        sp.green = {it.green >> (r565 ? 0 : 1), 0, it.greenStep >> (r565 ? 0 : 1), 0, {0, 0}};
                        sp.blue = {it.blue, 0, it.blueStep, 0, {0, 0}};
                        if (!(index & 2)) sp.red.rowStart = int32_t(0x1234 + index);  // the flat pixel
                        return sp;
                    };
                    Chunk16 whole(xStep), single(xStep);
                    GlSpan sp = span(whole);
                    std::memcpy(sp.texels, texels, sizeof texels);
                    proc(0xFFFFFFFFu, &sp);
                    // Alpha-texture states never reach a basic span proc (it returns at once).
                    if ((index & 3) && ((index >> 2) & 7) < 6) {
                        EXPECT_EQ(sp.ditherPointer, dither + 32);
                    }
                    for (int i = 0; i < 32; ++i) {
                        GlSpan one = span(single);
                        std::memcpy(one.texels, texels + entryBytes * i, size_t(entryBytes));
                        proc(0x80000000u >> i, &one);
                    }
                    for (int i = 0; i < 32; ++i) ASSERT_EQ(whole.at(i), single.at(i)) << "position " << i;
                    EXPECT_TRUE(whole.guardsIntact());
                }
        }
}

uint32_t gKept;
void GL_FASTCALL keepMask(uint32_t mask, GlSpan *) { gKept = mask; }

// The 16-bit depth test of every function, with and without writes, in both directions and for
// masks with holes, partial groups of eight and a tail: the plain entry (eight positions at a time)
// against the polygon-offset entry (a pixel loop that clamps the offset depth, which a zero offset
// over depths inside the buffer's range leaves alone). Both must pass the same pixels on and
// leave the same stored values.
TEST(WalkDirection, DepthChunksEqualTheirPixelLoops) {
    auto ctx = std::make_unique<GlContext>();
    ctx->state.span.fast.afterDepthTest = keepMask;
    GlDepthBuffer &db = ctx->buffers.depth;
    db.scale = 0xFFFFFFFFu;
    const uint32_t masks[] = {0xFFFFFFFFu, 0xFFFFFFF0u, 0x7FFF7FFEu, 0x80000001u, 0x00FF0000u, 0xFFFFFF80u, 0x00000100u};
    // Stored values are the walk's own values, one above and one below in turn, so that every
    // comparison meets equal, lower and higher elements.
    for (int func = 1; func <= 7; ++func)
        for (bool write : {true, false})
            for (const DepthWalk &d : kDepthWalks)
                for (uint32_t mask : masks)
                    for (int32_t xStep : {1, -1}) {
                        SCOPED_TRACE(testing::Message() << "function " << func << (write ? " writes" : "") << ", " << d.name
                                                        << ", mask " << std::hex << mask << std::dec << ", xStep " << xStep);
                        db.shift = d.shift;
                        db.epochBase = d.epochBase;
                        const size_t index = size_t(func) + (write ? 0 : 8);
                        auto run = [&](GlFastProc proc, Chunk16 &c) {
                            for (int i = 0; i < 32; ++i) {
                                const uint32_t value = (d.epochBase + ((d.z + uint32_t(i) * d.step) >> d.shift)) & 0xFFFF;
                                c.at(i) = uint16_t(value + uint32_t(i % 3) - 1);
                            }
                            GlSpan sp{};
                            sp.context = ctx.get();
                            sp.xStep = xStep;
                            sp.depthAddress = c.first();
                            sp.z = {int32_t(d.z), 0, int32_t(d.step), 0, {0, 0}};
                            sp.depthOffset = 0;
                            gKept = 0;
                            proc(mask, &sp);
                            return gKept;
                        };
                        Chunk16 vector(xStep), loop(xStep);
                        const uint32_t keptVector = run(__glFastDepthTestProcs[index], vector);
                        const uint32_t keptLoop = run(__glFastDepthTestProcs[index + 32], loop);
                        EXPECT_EQ(keptVector, keptLoop);
                        EXPECT_EQ(vector.memory, loop.memory);
                    }
}

// The depth test fused with the smooth colour against the two procs it stands for (the depth
// stage calling the basic span proc), in both directions, over every function with and without
// writes, both layouts and dither: the same pixels written, the same depths stored, nothing
// outside the chunk touched. Stored depths one above, equal and one below the walk's own in turn
// make every group of eight mix passing and failing positions; by groups (one above, one below,
// in turn, one above) they also make whole groups pass and whole groups fail. A mask with holes
// takes the two procs. The mixed groups take dither levels that never repeat, the whole groups
// the walker's rows for the direction (which repeat every four positions).
TEST(WalkDirection, FusedDepthAndColourEqualTheChain) {
    auto ctx = std::make_unique<GlContext>();
    GlFastPathSlots &slots = ctx->state.span.fast;
    GlDepthBuffer &db = ctx->buffers.depth;
    db.shift = 16;
    db.epochBase = 0;
    uint32_t dither[40];
    for (int k = 0; k < 40; ++k) dither[k] = uint32_t((k * 7 + 3) % 16) << 12;
    const Iterators &it = kIterators[0];
    // The stored depth of position i less the walk's own.
    auto inTurn = [](int i) { return i % 3 - 1; };
    auto byGroups = [](int i) { return i < 8 ? 1 : i < 16 ? -1 : i < 24 ? i % 3 - 1 : 1; };
    for (bool r565 : {true, false})
        for (bool dithered : {true, false})
            for (int func = 1; func <= 7; ++func)
                for (bool write : {true, false})
                    for (uint32_t mask : {0xFFFFFFFFu, 0x7FFF7FFEu})
                        for (int32_t xStep : {1, -1})
                            for (int (*stored)(int) : {+inTurn, +byGroups}) {
                                SCOPED_TRACE(testing::Message() << (r565 ? "565" : "555") << (dithered ? " dithered" : "")
                                                                << ", function " << func << (write ? " writes" : "")
                                                                << ", mask " << std::hex << mask << std::dec << ", xStep " << xStep
                                                                << (stored == +inTurn ? ", mixed groups" : ", whole groups"));
                                const int32_t index = func + (write ? 0 : 8);
                                const GlFastProc fused = __glFastDepthSmoothProc(r565 ? 5 : 4, dithered, index);
                                ASSERT_NE(fused, nullptr);
                                slots.afterDepthTest = (r565 ? __glSpanTable565 : __glSpanTable555)[2 | (dithered ? 1 : 0)];
                                const uint32_t z0 = 0x40000000u, dz = 0x00A00000u;
                                auto run = [&](GlFastProc proc, Chunk16 &colour, Chunk16 &depth) {
                                    for (int i = 0; i < 32; ++i) {
                                        depth.at(i) = uint16_t(((z0 + uint32_t(i) * dz) >> 16) + uint32_t(stored(i)));
                                        colour.at(i) = uint16_t(0x4321 + 97 * i);
                                    }
                                    GlSpan sp{};
                                    sp.context = ctx.get();
                                    sp.xStep = xStep;
                                    sp.pixel = colour.first();
                                    sp.depthAddress = depth.first();
                                    sp.z = {int32_t(z0), 0, int32_t(dz), 0, {0, 0}};
                                    sp.ditherPointer = stored == +inTurn ? dither
                                                                      : (xStep > 0 ? __glFastDitherTable : __glFastDitherTableMirrored)[1].data() + 2;
                                    sp.red = {it.red, 0, it.redStep, 0, {0, 0}};
                                    sp.green = {it.green >> (r565 ? 0 : 1), 0, it.greenStep >> (r565 ? 0 : 1), 0, {0, 0}};
                                    sp.blue = {it.blue, 0, it.blueStep, 0, {0, 0}};
                                    proc(mask, &sp);
                                };
                                Chunk16 colourFused(xStep), depthFused(xStep), colourChain(xStep), depthChain(xStep);
                                run(fused, colourFused, depthFused);
                                run(__glFastDepthTestProcs[size_t(index)], colourChain, depthChain);
                                EXPECT_EQ(colourFused.memory, colourChain.memory);
                                EXPECT_EQ(depthFused.memory, depthChain.memory);
                                EXPECT_TRUE(colourFused.guardsIntact() && depthFused.guardsIntact());
                            }
}

// A triangle with projective texture coordinates keeps its walking order down to the chain,
// right to left (its long edge on the right) or mirrored: drawn whole, its spans take the
// eight-pixel forms (and, smooth and modulated, the proc that samples and modulates whole chunks in
// one pass); under a stipple, the pixel loops. Every pixel the stipple keeps must have the same
// colour, exactly.
class WalkDirectionPictures : public StateTest {
protected:
    PlainMemory colorMem, depthMem;
    static constexpr int kSide = 64;

    void SetUp() override {
        IcdTest::SetUp();
        openContext(kSingleFormat, kSide, kSide);
        if (HasFatalFailure()) return;
        // Both pictures through the chain: without the stipple a state may otherwise be drawn by
        // the MMX one-routine, which has its own comparison with the chain.
        ctx->codeCaches.modeFlags |= icd::kGlOgModeNoMmx;
        __glSetStateDefaults(ctx);
        setRgb16Visual(ctx, 0xF800, 0x07E0, 0x001F, 6);
        attachPlainFront(ctx, colorMem, kSide, kSide, 2);
        attachPlainDepth(ctx, depthMem, kSide, kSide, 16);
        GL(glDrawBuffer)(GL_FRONT);
        windowProjection(ctx, kSide, kSide);
    }
    void TearDown() override {
        if (ctx != nullptr && depthMem.desc.depthSave != nullptr) ctx->hostProcs.free(ctx, depthMem.desc.depthSave);
        depthMem.desc.depthSave = nullptr;
        StateTest::TearDown();
    }

    GlPickTriangleProc rasterProc() const {
        const void *p = reinterpret_cast<const void *>(ctx->state.pick.rasterTriangleProc);
        return reinterpret_cast<GlPickTriangleProc>(const_cast<void *>(__glOgReplacedProc(ctx, p)));
    }

    std::vector<uint32_t> picture(GLenum minFilter, GLenum env, bool smooth, bool stipple, bool mirrored, bool dithered) {
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask = 0x7FF;
        GL(glClearColor)(0, 0, 0, 0);
        GL(glClearDepth)(1.0);
        GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        uint32_t seed = 777;
        GL(glBindTexture)(GL_TEXTURE_2D, 1);
        for (int level = 0, side = 16; side >= 1; ++level, side /= 2) {
            std::vector<uint8_t> t(size_t(side) * side * 4);
            for (uint8_t &v : t) {
                seed = seed * 1103515245u + 12345u;
                v = uint8_t(seed >> 16);
            }
            GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
        }
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(minFilter));
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(env));
        GL(glEnable)(GL_TEXTURE_2D);
        GL(glEnable)(GL_DEPTH_TEST);
        GL(glDepthFunc)(GL_LESS);
        if (!smooth) GL(glShadeModel)(GL_FLAT);
        if (!dithered) GL(glDisable)(GL_DITHER);
        if (stipple) {
            GLubyte pattern[128];
            for (int i = 0; i < 128; ++i) pattern[i] = GLubyte(0x6D ^ (i * 53));
            GL(glPolygonStipple)(pattern);
            GL(glEnable)(GL_POLYGON_STIPPLE);
        }
        // Top, bottom right, then the left vertex: the long edge (top to bottom) is on the right.
        struct V {
            float x, y, z, r, g, b, s, t, q;
        };
        const V tri[3] = {{60.5f, 1.25f, 0.6f, 0.9f, 0.4f, 0.7f, 0.1f, 0.2f, 1.0f},
                          {62.75f, 62.5f, -0.4f, 0.3f, 0.95f, 0.5f, 2.9f, 3.3f, 1.6f},
                          {1.125f, 33.0625f, 0.1f, 0.7f, 0.6f, 0.2f, 4.1f, 0.4f, 1.3f}};
        GL(glBegin)(GL_TRIANGLES);
        for (const V &v : tri) {
            GL(glColor4f)(v.r, v.g, v.b, 1.0f);
            GL(glTexCoord4f)(v.s * v.q, v.t * v.q, 0, v.q);
            GL(glVertex3f)(mirrored ? float(kSide) - v.x : v.x, v.y, v.z);
        }
        GL(glEnd)();
        EXPECT_EQ(rasterProc(), __glFillTriangleFast);
        // Smooth bilinear modulation (RGBA textures are kept 4-4-4-4 here) has its fused proc.
        const GlFastPathSlots &sl = ctx->state.span.fast;
        const GlFastProc basic = __glSpanTable565[__glFastPathKeyOf(ctx).spanIndex];
        EXPECT_EQ(sl.afterDepthTest != basic, smooth && env == GL_MODULATE && minFilter != GL_NEAREST_MIPMAP_NEAREST);
        const std::vector<uint32_t> p = readRgbWords(ctx, kSide, kSide);
        __glSetStateDefaults(ctx);
        windowProjection(ctx, kSide, kSide);
        GL(glDrawBuffer)(GL_FRONT);
        return p;
    }
};

TEST_F(WalkDirectionPictures, StippleKeepsTheColoursOfSpansInBothDirections) {
    struct Case {
        GLenum minFilter, env;
        bool smooth;
    };
    const Case cases[] = {{GL_LINEAR, GL_MODULATE, true},
                          {GL_LINEAR_MIPMAP_LINEAR, GL_MODULATE, true},
                          {GL_LINEAR_MIPMAP_NEAREST, GL_MODULATE, true},
                          {GL_NEAREST_MIPMAP_NEAREST, GL_MODULATE, true},
                          {GL_LINEAR_MIPMAP_LINEAR, GL_MODULATE, false},
                          {GL_LINEAR_MIPMAP_LINEAR, GL_REPLACE, true},
                          {GL_NEAREST_MIPMAP_NEAREST, GL_REPLACE, false}};
    for (const Case &c : cases)
        for (bool mirrored : {false, true})
            for (bool dithered : {true, false}) {
                SCOPED_TRACE(testing::Message() << "min filter " << std::hex << c.minFilter << ", environment " << c.env
                                                << (c.smooth ? " smooth" : " flat") << (mirrored ? ", left to right" : "")
                                                << (dithered ? ", dithered" : ""));
                const std::vector<uint32_t> whole = picture(c.minFilter, c.env, c.smooth, false, mirrored, dithered),
                                            stippled = picture(c.minFilter, c.env, c.smooth, true, mirrored, dithered);
                expectStippledMatchesWhole(whole, stippled, kSide, 400);
            }
}

}  // namespace
