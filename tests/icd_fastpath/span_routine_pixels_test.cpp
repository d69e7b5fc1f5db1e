// The rows of fast-path triangles walked by generated span routines against the C walker of the
// fast set-up: for a table of states (one-routine states: flat and smooth colour, dither, every
// depth function with and without depth writes on 16-, 24- and 32-bit depth buffers, the colour
// mask all off, a scissor box; stage-list states: stipple, alpha test, stencil, fog, blending,
// polygon offset, textures, both buffers), the same triangles drawn through the GL entries with
// generated span routines on and off, read back with glReadPixels. Both roads do the same
// integer arithmetic on the same span record (and the same single-precision sums for the float
// iterators: an x87 sum stored to a float rounds once, as an SSE sum does), so colour, depth and
// stencil must agree exactly. The triangles hold the walk's edge cases: an empty upper
// half, an empty lower half, the long edge on the right (spans walking right to left), rows of 1,
// 32 and 33 pixels, slivers, and one triangle crossing the window (the C walker's, both times).
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "tests/icd_state/state_fixture.h"
#include "tests/icd_raster/raster_fixture.h"
#include "icd/codegen/og_context.h"
#include "icd/codegen/og_procs.h"
#include "icd/core/pick.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/stencil_buffer.h"

namespace {

constexpr int kSide = 64;

using Format = Rgb16Format;
constexpr const auto &kFormats = kRgb16Formats;

struct Picture {
    std::vector<uint8_t> rgba;
    std::vector<uint32_t> depth;
    std::vector<uint8_t> stencil;
    bool operator==(const Picture &o) const = default;
};

// Which span routine a state must get.
enum Road { kOneRoutine, kStageList };

struct State {
    std::string name;
    std::function<void(GlContext *)> set;
    Road road;
};

class SpanRoutinePixels : public StateTest {
protected:
    PlainMemory colorMem, backMem, depthMem, stencilMem;

    void SetUp() override {
        IcdTest::SetUp();
        openContext(kSingleFormat, kSide, kSide);
        if (HasFatalFailure()) return;
        // The integer routines against the C walker; the MMX routine, which takes the one-routine
        // states where MMX may run, is compared with the chain in icd_codegen_diff.
        ctx->codeCaches.modeFlags |= icd::kGlOgModeNoMmx;
        __glSetStateDefaults(ctx);
    }
    void releaseDepthSave() {
        if (depthMem.desc.depthSave != nullptr) ctx->hostProcs.free(ctx, depthMem.desc.depthSave);
        depthMem.desc.depthSave = nullptr;
    }
    void TearDown() override {
        __glOgSetSpanRoutinesForTest(-1);
        if (ctx != nullptr) {
            __glReleaseStencilTables(&ctx->buffers.stencil.head, ctx);
            releaseDepthSave();
        }
        StateTest::TearDown();
    }

    // 16-bit colour buffers (front and back), a depth buffer of depthBits and an 8-bit stencil.
    void open(const Format &f, int depthBits) {
        releaseDepthSave();
        setRgb16Visual(ctx, f.redMask, f.greenMask, f.blueMask, f.greenBits);
        GlVisual &v = ctx->visual;
        v.doubleBuffer = 1;
        v.depthBits = depthBits;
        v.hasStencil = 1;
        v.stencilBits = 8;
        GlColorBuffers &cbs = ctx->buffers.color;
        PlainMemory *mem[2] = {&colorMem, &backMem};
        GlColorBuffer *buffers[2] = {&cbs.front, &cbs.back};
        for (int i = 0; i < 2; ++i) {
            mem[i]->setUp(kSide, kSide, 2);
            __glInitRgbaColorBuffer(buffers[i], ctx);
            buffers[i]->head.attach(&buffers[i]->head, &mem[i]->desc, ctx);
        }
        cbs.frontBuffer = &cbs.front;
        for (int i = 0; i < 2; ++i) {
            ctx->tail.drawableBuffers->descriptors[i].width = kSide;
            ctx->tail.drawableBuffers->descriptors[i].height = kSide;
        }
        depthKind = depthBits;
        attachDepth();
        GlStencilBuffer *sb = &ctx->buffers.stencil;
        __glReleaseStencilTables(&sb->head, ctx);
        __glInitSoftStencilBuffer(sb, ctx);
        stencilMem.setUp(kSide, kSide, 1);
        sb->head.attach(&sb->head, &stencilMem.desc, ctx);
        GL(glDrawBuffer)(GL_FRONT);
        GL(glReadBuffer)(GL_FRONT);
        windowProjection(ctx, kSide, kSide);
    }

    // A fresh depth buffer: both roads start from the same clear epoch (a 24-bit buffer's clears
    // step its tag and at times mirror what it stores, which rounds the stored depth otherwise).
    int depthKind = 16;
    void attachDepth() {
        releaseDepthSave();
        GlDepthBuffer *db = &ctx->buffers.depth;
        if (depthKind == 16) __glInitDepthBuffer16(db, ctx);
        else if (depthKind == 24) __glInitDepthBuffer24(db, ctx);
        else __glInitDepthBuffer32(db, ctx);
        depthMem.setUp(kSide, kSide, db->head.elementSize);
        db->head.attach(&db->head, &depthMem.desc, ctx);
    }

    void loadTexture(GLenum minFilter) {
        GL(glBindTexture)(GL_TEXTURE_2D, 1);
        for (int level = 0, side = 16; side >= 1; ++level, side /= 2) {
            std::vector<uint8_t> t(size_t(side) * side * 4);
            for (size_t i = 0; i < t.size(); ++i) t[i] = uint8_t(37 * i + 11 * level);
            GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
        }
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(minFilter));
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        GL(glEnable)(GL_TEXTURE_2D);
    }

    struct V {
        float x, y, z, r, g, b, a, s, t;
    };
    void triangles(const std::vector<std::array<V, 3>> &tris) {
        GL(glBegin)(GL_TRIANGLES);
        for (const auto &tri : tris)
            for (const V &v : tri) {
                GL(glColor4f)(v.r, v.g, v.b, v.a);
                GL(glTexCoord2f)(v.s, v.t);
                GL(glVertex3f)(v.x, v.y, v.z);
            }
        GL(glEnd)();
    }

    // The scene, every vertex on the 1/16 grid: a first layer that writes depth and stencil
    // (depth always passes, stencil replaced by 1 in every covered pixel), then the edge cases
    // under the state tested.
    void drawScene(const State &state) {
        // The shade model outlives the state defaults the previous picture went back to.
        GL(glShadeModel)(GL_SMOOTH);
        GL(glEnable)(GL_DEPTH_TEST);
        GL(glDepthFunc)(GL_ALWAYS);
        GL(glEnable)(GL_STENCIL_TEST);
        GL(glStencilFunc)(GL_ALWAYS, 1, 0xFF);
        GL(glStencilOp)(GL_KEEP, GL_KEEP, GL_REPLACE);
        triangles({{{{2, 3, 0.1f, 0.2f, 0.2f, 0.6f, 1, 0, 0}, {62, 9.5f, -0.5f, 0.7f, 0.1f, 0.2f, 1, 1, 0},
                     {30.25f, 61, 0.4f, 0.1f, 0.8f, 0.3f, 1, 0, 1}}}});
        GL(glDisable)(GL_DEPTH_TEST);
        GL(glDisable)(GL_STENCIL_TEST);
        state.set(ctx);
        triangles({
            // Upper half empty (a horizontal top edge), long edge on the left.
            {{{4, 60, 0.5f, 0.9f, 0.1f, 0.1f, 0.5f, 0, 0}, {44.5f, 60, -0.2f, 0.1f, 0.9f, 0.1f, 0.5f, 2, 0},
              {10.25f, 30.125f, 0.0f, 0.1f, 0.1f, 0.9f, 0.5f, 0, 2}}},
            // Lower half empty (a horizontal bottom edge), long edge on the right.
            {{{50, 2, -0.7f, 0.3f, 0.6f, 0.9f, 0.7f, 1, 1}, {14.5f, 2, 0.3f, 0.9f, 0.6f, 0.3f, 0.7f, 0, 1},
              {56.0625f, 28.5f, 0.6f, 0.6f, 0.9f, 0.3f, 0.2f, 1, 0}}},
            // Rows of 1 to 45 pixels along a vertical edge, left and right of it.
            {{{10, 5, -0.9f, 0.2f, 0.4f, 0.6f, 0.9f, 0, 0}, {10, 50, 0.9f, 0.8f, 0.6f, 0.4f, 0.9f, 0, 3},
              {55, 50, 0.0f, 0.5f, 0.5f, 0.5f, 0.9f, 3, 3}}},
            {{{54, 9, 0.2f, 0.9f, 0.9f, 0.2f, 0.9f, 0, 0}, {54, 54, -0.4f, 0.2f, 0.9f, 0.9f, 0.9f, 0, 3},
              {9, 54, 0.8f, 0.9f, 0.2f, 0.9f, 0.9f, 3, 3}}},
            // Slivers.
            {{{3, 40, -0.9f, 0.9f, 0.9f, 0.9f, 0.5f, 0, 0}, {45, 41.5f, -0.1f, 0.6f, 0.3f, 0.3f, 0.5f, 2, 0.2f},
              {4, 42, 0.7f, 0.3f, 0.6f, 0.3f, 0.5f, 0, 0.4f}}},
            {{{20.5f, 1.0625f, 0.1f, 0.4f, 0.4f, 0.4f, 1, 0, 0}, {21.25f, 62.5f, 0.1f, 0.9f, 0.1f, 0.5f, 1, 0, 4},
              {20.75f, 63.0f, 0.1f, 0.1f, 0.9f, 0.5f, 1, 0.1f, 4}}},
            // Crossing the window's right and top edges.
            {{{30, 20, -0.8f, 0.4f, 0.7f, 0.9f, 0.6f, 0, 0}, {90, 35, -0.8f, 0.7f, 0.4f, 0.9f, 0.6f, 3, 0.5f},
              {40, 75, -0.8f, 0.9f, 0.7f, 0.4f, 0.6f, 0.5f, 3}}},
        });
    }

    Picture draw(const State &state, bool generated) {
        __glOgSetSpanRoutinesForTest(generated ? 1 : 0);
        attachDepth();
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask = 0x7FF;
        // The depth function outlives the state defaults too, and a 24-bit buffer's clear chooses
        // its epoch direction by it.
        GL(glDepthFunc)(GL_LESS);
        GL(glDepthMask)(1);
        GL(glClearColor)(0, 0, 0, 0);
        GL(glClearDepth)(0.75);
        GL(glClearStencil)(0);
        GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        drawScene(state);
        GlFastPathSlots &sl = ctx->state.span.fast;
        EXPECT_EQ(__glOgReplacedProc(ctx, reinterpret_cast<const void *>(ctx->state.pick.rasterTriangleProc)),
                  reinterpret_cast<const void *>(__glFillTriangleFast))
            << "the fast path draws the state";
        if (generated) {
            EXPECT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(sl.spanRoutine)));
            EXPECT_EQ(roadOf(reinterpret_cast<const void *>(sl.spanRoutine)), state.road);
        } else {
            EXPECT_EQ(sl.spanRoutine, nullptr);
        }
        Picture p;
        p.rgba.assign(size_t(kSide) * kSide * 4, 0);
        p.depth.assign(size_t(kSide) * kSide, 0);
        p.stencil.assign(size_t(kSide) * kSide, 0);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
        GL(glReadBuffer)(GL_FRONT);
        GL(glReadPixels)(0, 0, kSide, kSide, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
        GL(glReadPixels)(0, 0, kSide, kSide, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, p.depth.data());
        GL(glReadPixels)(0, 0, kSide, kSide, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, p.stencil.data());
        EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
        __glSetStateDefaults(ctx);
        windowProjection(ctx, kSide, kSide);
        GL(glDrawBuffer)(GL_FRONT);
        return p;
    }

    // The kind of the span routine at code: key B's bit 0 marks the stage-list routine.
    Road roadOf(const void *code) {
        const icd::GlOgCache &c = icd::__glOgContextOf(ctx)->caches[icd::kGlOgCacheSpan];
        for (int i = 0; i < c.entryCount; ++i)
            if (c.entries[i].code == code) return (c.entries[i].key[2] & 1) ? kStageList : kOneRoutine;
        return Road(-1);
    }

    void compare(const State &state) {
        SCOPED_TRACE(state.name);
        const Picture c = draw(state, false);
        const Picture g = draw(state, true);
        int lit = 0;
        for (size_t i = 0; i < c.rgba.size(); i += 4) lit += (c.rgba[i] | c.rgba[i + 1] | c.rgba[i + 2]) != 0;
        EXPECT_GT(lit, 400);
        for (size_t i = 0; i < c.depth.size(); ++i) {
            const int x = int(i % kSide), y = int(i / kSide);
            ASSERT_EQ(std::vector<uint8_t>(c.rgba.begin() + 4 * i, c.rgba.begin() + 4 * i + 4),
                      std::vector<uint8_t>(g.rgba.begin() + 4 * i, g.rgba.begin() + 4 * i + 4))
                << "colour at " << x << ", " << y;
            ASSERT_EQ(c.depth[i], g.depth[i]) << "depth at " << x << ", " << y;
            ASSERT_EQ(c.stencil[i], g.stencil[i]) << "stencil at " << x << ", " << y;
        }
    }
};

const GLenum kDepthFuncs[] = {GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};

// The one-routine states: colour, dither and every depth test.
std::vector<State> oneRoutineStates() {
    std::vector<State> out;
    for (bool smooth : {false, true})
        for (bool dither : {false, true}) {
            const std::string colour = std::string(smooth ? "smooth" : "flat") + (dither ? " dither" : "");
            auto colourSet = [smooth, dither](GlContext *ctx) {
                GL(glShadeModel)(smooth ? GL_SMOOTH : GL_FLAT);
                if (dither) GL(glEnable)(GL_DITHER);
                else GL(glDisable)(GL_DITHER);
            };
            out.push_back({colour, colourSet, kOneRoutine});
            for (GLenum func : kDepthFuncs)
                for (bool write : {true, false}) {
                    out.push_back({colour + " depth " + std::to_string(func - GL_NEVER) + (write ? "" : " no writes"),
                                   [colourSet, func, write](GlContext *ctx) {
                                       colourSet(ctx);
                                       GL(glEnable)(GL_DEPTH_TEST);
                                       GL(glDepthFunc)(func);
                                       GL(glDepthMask)(write ? 1 : 0);
                                   },
                                   // Smooth colour under the depth test is the chain's: its
                                   // eight-pixel stages are the faster road there.
                                   smooth ? kStageList : kOneRoutine});
                }
        }
    out.push_back({"colour mask off, depth less", [](GlContext *ctx) {
                       GL(glEnable)(GL_DEPTH_TEST);
                       GL(glDepthFunc)(GL_LESS);
                       GL(glColorMask)(0, 0, 0, 0);
                   },
                   kOneRoutine});
    return out;
}

// States whose chain has stages of its own.
std::vector<State> stageListStates(GlContext *) {
    auto depthLess = [](GlContext *ctx) {
        GL(glEnable)(GL_DEPTH_TEST);
        GL(glDepthFunc)(GL_LEQUAL);
    };
    return {
        // The clip box holds the scissor box: triangles inside it take the one-routine, the others
        // the C walker, which clips, and the chain.
        {"scissor", [](GlContext *ctx) {
             GL(glEnable)(GL_SCISSOR_TEST);
             GL(glScissor)(7, 5, 41, 37);
         }, kOneRoutine},
        {"scissor around the scene", [](GlContext *ctx) {
             GL(glEnable)(GL_SCISSOR_TEST);
             GL(glScissor)(1, 0, 62, 64);
         }, kOneRoutine},
        {"stipple", [](GlContext *ctx) {
             GLubyte pattern[128];
             for (int i = 0; i < 128; ++i) pattern[i] = GLubyte(0x5A ^ (i * 37));
             GL(glPolygonStipple)(pattern);
             GL(glEnable)(GL_POLYGON_STIPPLE);
         }, kStageList},
        {"alpha test", [](GlContext *ctx) {
             GL(glEnable)(GL_ALPHA_TEST);
             GL(glAlphaFunc)(GL_GREATER, 0.55f);
         }, kStageList},
        {"stencil equal incr, depth", [depthLess](GlContext *ctx) {
             depthLess(ctx);
             GL(glEnable)(GL_STENCIL_TEST);
             GL(glStencilFunc)(GL_EQUAL, 1, 0xFF);
             GL(glStencilOp)(GL_ZERO, GL_DECR, GL_INCR);
         }, kStageList},
        {"fog", [](GlContext *ctx) {
             GL(glEnable)(GL_FOG);
             GL(glFogi)(GL_FOG_MODE, GL_LINEAR);
             GL(glFogf)(GL_FOG_START, -0.5f);
             GL(glFogf)(GL_FOG_END, 0.8f);
         }, kStageList},
        {"blend, depth", [depthLess](GlContext *ctx) {
             depthLess(ctx);
             GL(glEnable)(GL_BLEND);
             GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
         }, kStageList},
        {"polygon offset", [depthLess](GlContext *ctx) {
             depthLess(ctx);
             GL(glEnable)(GL_POLYGON_OFFSET_FILL);
             GL(glPolygonOffset)(1.0f, 2.0f);
         }, kStageList},
        // Nearest and modulated: the one-routine reads the texels itself; bilinear ones are the chain's.
        {"texture affine", [](GlContext *ctx) {}, kOneRoutine},
        {"texture affine, bilinear", [](GlContext *ctx) {
             GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
             GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
         }, kStageList},
        {"texture mipmapped, depth", [depthLess](GlContext *ctx) {
             depthLess(ctx);
             GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
         }, kStageList},
        {"both buffers", [](GlContext *ctx) { GL(glDrawBuffer)(GL_FRONT_AND_BACK); }, kStageList},
    };
}

TEST_F(SpanRoutinePixels, GeneratedAndCWalkersDrawTheSamePictures) {
    for (const Format &format : kFormats)
        for (int depthBits : {16, 24, 32}) {
            SCOPED_TRACE(testing::Message() << format.name << " depth " << depthBits);
            open(format, depthBits);
            for (const State &state : oneRoutineStates()) compare(state);
            for (State state : stageListStates(ctx)) {
                const bool textured = state.name.rfind("texture", 0) == 0;
                const std::function<void(GlContext *)> set = state.set;
                state.set = [this, textured, set](GlContext *c) {
                    if (textured) loadTexture(GL_NEAREST);
                    set(c);
                };
                compare(state);
            }
        }
}

}  // namespace
