// The MMX span routine against the C fast chain: for a table of states the same triangles are
// drawn through the GL entries into 16-bit colour buffers (with 16- or 32-bit depth), once by the
// fast chain and once with every chunk the fast set-up hands out drawn by the generated routine,
// walking left to right and right to left; glReadPixels reads both pictures back.
//
// Every picture is the chain's exactly: colours are iterated as 32-bit pairs, textured and blended
// colours are formed as the chain's field bytes with the same exact byte products (blends sum
// them exactly, hold the sum to the field's limit and round once, with the chain's dither), and
// the dither words are exact sixteenths.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "icd/codegen/og_context.h"
#include "icd/codegen/og_triangle.h"
#include "icd/core/state_entries_util.h"
#include "icd/codegen/og_mmx_span.h"
#include "icd/codegen/og_procs.h"
#include "icd/core/pick.h"
#include "icd/pixel/texture_object.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/fast_span.h"
#include "tests/icd_codegen_diff/diff_fixture.h"
#include "tests/icd_raster/raster_fixture.h"
#include "tests/icd_state/state_fixture.h"

namespace {

using namespace icd;

constexpr int kSide = 64;

// The routine under test, run on each chunk the fast set-up hands the chain's first stage: the
// chunk becomes a one-row triangle, walked in the direction asked for.
struct ChunkHook {
    const void *code = nullptr;
    int dir = 1;
    bool smooth = false;
    int32_t depthBytes = 2;
    int chunks = 0;
};
ChunkHook gHook;

void GL_FASTCALL runRoutineOnChunk(uint32_t mask, GlSpan *sp) {
    const int n = __builtin_popcount(mask);  // the chains of these states see contiguous masks
    const uint32_t last = uint32_t(n - 1);
    GlSpan r = *sp;
    // The chunk's leftmost pixel and every iterator's value there and per pixel to the right.
    const bool chunkBack = sp->xStep < 0;
    const int32_t left = chunkBack ? -sp->x - int32_t(last) : sp->x;
    const bool back = gHook.dir < 0;
    // An address `pixels` elements along x; a buffer the state does not use stays null.
    auto along = [](uint8_t *p, int32_t pixels, int32_t bytes) { return p != nullptr ? p + pixels * bytes : nullptr; };
    uint8_t *const leftPixel = along(sp->pixel, chunkBack ? -int32_t(last) : 0, 2);
    uint8_t *const leftDepth = along(sp->depthAddress, chunkBack ? -int32_t(last) : 0, gHook.depthBytes);
    r.yStart = sp->y;
    r.yMiddle = r.yEnd = sp->y + 1;
    r.xStep = back ? -1 : 1;
    r.startEdgeX = back ? -(left + int32_t(last)) : left;
    r.otherEdgeX = r.startEdgeX + n;
    r.startEdgeFrac = r.otherEdgeFrac = r.startEdgeFracStep = r.otherEdgeFracStep = 0;
    r.pixelRowStart = along(leftPixel, back ? int32_t(last) : 0, 2);
    r.depthRowStart = along(leftDepth, back ? int32_t(last) : 0, gHook.depthBytes);
    auto walk = [&](GlSpanIter &it) {
        uint32_t at = uint32_t(it.cur), perX = uint32_t(it.step);
        if (chunkBack) {
            at += last * perX;
            perX = 0u - perX;
        }
        it.rowStart = int32_t(at + (back ? last * perX : 0u));
        it.step = int32_t(back ? 0u - perX : perX);
    };
    walk(r.z);
    walk(r.s);
    walk(r.t);
    // The perspective planes likewise, in float.
    for (GlSpanFloatIter *it : {&r.sw, &r.tw, &r.qw}) {
        float at = it->cur, perX = it->step;
        if (chunkBack) {
            at += float(last) * perX;
            perX = -perX;
        }
        it->rowStart = at + (back ? float(last) * perX : 0.0f);
        it->step = back ? -perX : perX;
    }
    if (gHook.smooth)
        for (GlSpanIter *it : {&r.red, &r.green, &r.blue, &r.alpha}) walk(*it);
    GlContext *ctx = sp->context;
    ctx->buffers.lockCount += 1;  // the routine's exit releases what a set-up took
    EXPECT_EQ(__glOgRunSpanRoutine(ctx, &r, gHook.code), 1);
    ++gHook.chunks;
}

struct Row {
    const char *name;
    std::function<void(GlContext *)> set;
};

void depthFunc(GlContext *ctx, GLenum f) {
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glDepthFunc)(f);
}
void blend(GlContext *ctx, GLenum s, GLenum d) {
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(s, d);
}

// A 16 x 8 texture of the given base format, its bytes a fixed scramble, repeating, sampled with
// the filter (for minifying and magnifying), with the environment mode.
void texture(GlContext *ctx, GLenum internal, GLenum format, GLenum env, bool perspective = false, GLenum filter = GL_NEAREST) {
    const int channels = format == GL_RGBA ? 4 : format == GL_RGB ? 3 : format == GL_LUMINANCE_ALPHA ? 2 : 1;
    std::vector<uint8_t> bytes(size_t(16 * 8 * channels));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 37 + 11);
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GLint(internal), 16, 8, 0, format, GL_UNSIGNED_BYTE, bytes.data());
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(filter));
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(filter));
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(env));
    GL(glEnable)(GL_TEXTURE_2D);
    GL(glHint)(GL_PERSPECTIVE_CORRECTION_HINT, perspective ? GL_NICEST : GL_FASTEST);
}

// The texture of texture() with its whole chain of levels (each a different scramble), minified
// with `min` and magnified bilinearly, its coordinates scaled by k: where a pixel covers more than
// a texel the chain's minifying filter takes over.
void mipmapped(GlContext *ctx, GLenum internal, GLenum env, GLenum min, float k) {
    texture(ctx, internal, GL_RGBA, env, true, GL_LINEAR);
    for (int level = 1, w = 8, h = 4; w >= 1; ++level, w /= 2, h = h > 1 ? h / 2 : 1) {
        std::vector<uint8_t> bytes(size_t(w * h * 4));
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 53 + 29 * size_t(level));
        GL(glTexImage2D)(GL_TEXTURE_2D, level, GLint(internal), w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    }
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(min));
    GL(glMatrixMode)(GL_TEXTURE);
    GL(glLoadIdentity)();
    GL(glScalef)(k, k, 1.0f);
    GL(glMatrixMode)(GL_MODELVIEW);
}

const Row kRows[] = {
    {"flat", [](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); GL(glDisable)(GL_DITHER); }},
    {"flat dither", [](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); }},
    {"smooth", [](GlContext *ctx) { GL(glDisable)(GL_DITHER); }},
    {"smooth dither", [](GlContext *) {}},
    {"depth less", [](GlContext *ctx) { depthFunc(ctx, GL_LESS); }},
    {"depth lequal no writes", [](GlContext *ctx) { depthFunc(ctx, GL_LEQUAL); GL(glDepthMask)(0); }},
    {"depth greater", [](GlContext *ctx) { depthFunc(ctx, GL_GREATER); }},
    {"depth gequal flat", [](GlContext *ctx) { depthFunc(ctx, GL_GEQUAL); GL(glShadeModel)(GL_FLAT); }},
    {"depth equal", [](GlContext *ctx) { depthFunc(ctx, GL_EQUAL); }},
    {"depth notequal", [](GlContext *ctx) { depthFunc(ctx, GL_NOTEQUAL); }},
    {"depth always", [](GlContext *ctx) { depthFunc(ctx, GL_ALWAYS); }},
    {"depth never", [](GlContext *ctx) { depthFunc(ctx, GL_NEVER); }},
    {"depth less, colour mask off", [](GlContext *ctx) { depthFunc(ctx, GL_LESS); GL(glColorMask)(0, 0, 0, 0); }},
    {"blend src alpha", [](GlContext *ctx) { depthFunc(ctx, GL_LESS); blend(ctx, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); }},
    {"blend src alpha one", [](GlContext *ctx) { GL(glDisable)(GL_DITHER); blend(ctx, GL_SRC_ALPHA, GL_ONE); }},
    {"blend one one", [](GlContext *ctx) { blend(ctx, GL_ONE, GL_ONE); }},
    {"blend zero src colour", [](GlContext *ctx) { blend(ctx, GL_ZERO, GL_SRC_COLOR); }},
    {"blend dst colour zero", [](GlContext *ctx) { blend(ctx, GL_DST_COLOR, GL_ZERO); }},
    {"blend one minus dst colour one", [](GlContext *ctx) { blend(ctx, GL_ONE_MINUS_DST_COLOR, GL_ONE); }},
    {"blend one one minus src colour", [](GlContext *ctx) { blend(ctx, GL_ONE, GL_ONE_MINUS_SRC_COLOR); }},
    {"blend saturate one", [](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); blend(ctx, GL_SRC_ALPHA_SATURATE, GL_ONE); }},
    {"blend dst alpha one minus dst alpha", [](GlContext *ctx) { blend(ctx, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA); }},
    {"blend one minus src alpha src alpha no dither", [](GlContext *ctx) {
         GL(glDisable)(GL_DITHER);
         blend(ctx, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA);
     }},
    {"blend src alpha zero flat", [](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); blend(ctx, GL_SRC_ALPHA, GL_ZERO); }},
    // Two colour factors, and a colour factor beside an alpha one: both products in one sum.
    {"blend dst colour src colour", [](GlContext *ctx) { blend(ctx, GL_DST_COLOR, GL_SRC_COLOR); }},
    {"blend one minus dst colour one minus src alpha no dither depth", [](GlContext *ctx) {
         GL(glDisable)(GL_DITHER);
         depthFunc(ctx, GL_LESS);
         blend(ctx, GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_ALPHA);
     }},
    {"blend src alpha one minus src colour", [](GlContext *ctx) { blend(ctx, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_COLOR); }},
    // Textures, also under blends that take the texture's own alpha.
    {"rgb replace", [](GlContext *ctx) { GL(glDisable)(GL_DITHER); texture(ctx, GL_RGB, GL_RGB, GL_REPLACE); }},
    {"rgb8 replace", [](GlContext *ctx) { GL(glDisable)(GL_DITHER); texture(ctx, GL_RGB8, GL_RGB, GL_REPLACE); }},
    {"rgba8 modulate blend", [](GlContext *ctx) {
         texture(ctx, GL_RGBA8, GL_RGBA, GL_MODULATE);
         blend(ctx, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
     }},
    // A texture without alpha leaves the fragment's alpha to the blend.
    {"rgb replace blend", [](GlContext *ctx) {
         texture(ctx, GL_RGB, GL_RGB, GL_REPLACE);
         blend(ctx, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
     }},
    {"rgb decal dither depth", [](GlContext *ctx) { depthFunc(ctx, GL_LESS); texture(ctx, GL_RGB, GL_RGB, GL_DECAL); }},
    {"rgba replace blend", [](GlContext *ctx) {
         texture(ctx, GL_RGBA, GL_RGBA, GL_REPLACE);
         blend(ctx, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
     }},
    {"rgba modulate flat", [](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); texture(ctx, GL_RGBA, GL_RGBA, GL_MODULATE); }},
    {"rgb modulate", [](GlContext *ctx) { depthFunc(ctx, GL_LESS); texture(ctx, GL_RGB, GL_RGB, GL_MODULATE); }},
    {"luminance replace", [](GlContext *ctx) { texture(ctx, GL_LUMINANCE, GL_LUMINANCE, GL_REPLACE); }},
    {"luminance modulate", [](GlContext *ctx) { texture(ctx, GL_LUMINANCE, GL_LUMINANCE, GL_MODULATE); }},
    {"luminance alpha modulate blend", [](GlContext *ctx) {
         texture(ctx, GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, GL_MODULATE);
         blend(ctx, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
     }},
    {"intensity replace no dither", [](GlContext *ctx) { GL(glDisable)(GL_DITHER); texture(ctx, GL_INTENSITY, GL_LUMINANCE, GL_REPLACE); }},
    {"rgba modulate blend one minus src alpha one no dither", [](GlContext *ctx) {
         GL(glDisable)(GL_DITHER);
         texture(ctx, GL_RGBA, GL_RGBA, GL_MODULATE);
         blend(ctx, GL_ONE_MINUS_SRC_ALPHA, GL_ONE);
     }},
    {"rgba replace blend dst colour src alpha", [](GlContext *ctx) {
         texture(ctx, GL_RGBA, GL_RGBA, GL_REPLACE);
         blend(ctx, GL_DST_COLOR, GL_SRC_ALPHA);
     }},
    {"intensity modulate blend", [](GlContext *ctx) {
         texture(ctx, GL_INTENSITY, GL_LUMINANCE, GL_MODULATE);
         blend(ctx, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
     }},
    // Bilinear: the four texels weighted with the chain's 8-bit weights and rounding, so the
    // filtered texel is the chain's exactly. (This
    // visual keeps RGBA, LA and I textures as 4-4-4-4 texels, which the routine filters only when
    // their minifying filter is not linear.)
    {"rgb replace linear", [](GlContext *ctx) { GL(glDisable)(GL_DITHER); texture(ctx, GL_RGB, GL_RGB, GL_REPLACE, false, GL_LINEAR); }},
    {"rgb8 replace linear depth", [](GlContext *ctx) {
         GL(glDisable)(GL_DITHER);
         depthFunc(ctx, GL_LESS);
         texture(ctx, GL_RGB8, GL_RGB, GL_REPLACE, false, GL_LINEAR);
     }},
    {"rgb modulate linear dither", [](GlContext *ctx) { texture(ctx, GL_RGB, GL_RGB, GL_MODULATE, false, GL_LINEAR); }},
    {"luminance modulate linear blend", [](GlContext *ctx) {
         texture(ctx, GL_LUMINANCE, GL_LUMINANCE, GL_MODULATE, false, GL_LINEAR);
         blend(ctx, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
     }},
    {"luminance replace linear no dither", [](GlContext *ctx) {
         GL(glDisable)(GL_DITHER);
         texture(ctx, GL_LUMINANCE, GL_LUMINANCE, GL_REPLACE, false, GL_LINEAR);
     }},
};

// Perspective texturing under GL_NICEST, which the routine leaves to the chain (its lanes step s
// and t linearly between segment ends, where the chain divides at every pixel there).
const Row kPerspectiveRows[] = {
    {"rgb replace perspective", [](GlContext *ctx) { GL(glDisable)(GL_DITHER); texture(ctx, GL_RGB, GL_RGB, GL_REPLACE, true); }},
    {"rgba modulate perspective blend", [](GlContext *ctx) {
         depthFunc(ctx, GL_LESS);
         texture(ctx, GL_RGBA, GL_RGBA, GL_MODULATE, true);
         blend(ctx, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
     }},
    {"luminance modulate perspective flat", [](GlContext *ctx) {
         GL(glShadeModel)(GL_FLAT);
         texture(ctx, GL_LUMINANCE, GL_LUMINANCE, GL_MODULATE, true);
     }},
    {"rgb replace linear perspective", [](GlContext *ctx) {
         GL(glDisable)(GL_DITHER);
         texture(ctx, GL_RGB, GL_RGB, GL_REPLACE, true, GL_LINEAR);
     }},
    {"rgb modulate linear perspective depth", [](GlContext *ctx) {
         depthFunc(ctx, GL_LESS);
         texture(ctx, GL_RGB, GL_RGB, GL_MODULATE, true, GL_LINEAR);
     }},
    {"rgb trilinear magnified", [](GlContext *ctx) {
         GL(glDisable)(GL_DITHER);
         mipmapped(ctx, GL_RGB, GL_REPLACE, GL_LINEAR_MIPMAP_LINEAR, 1.0f);
     }},
    {"rgb trilinear mixed modulate depth", [](GlContext *ctx) {
         depthFunc(ctx, GL_LESS);
         mipmapped(ctx, GL_RGB, GL_MODULATE, GL_LINEAR_MIPMAP_LINEAR, 2.5f);
     }},
    {"rgb nearest mipmap minified", [](GlContext *ctx) {
         GL(glDisable)(GL_DITHER);
         mipmapped(ctx, GL_RGB, GL_REPLACE, GL_NEAREST_MIPMAP_NEAREST, 6.0f);
     }},
    {"rgb nearest minified linear magnified", [](GlContext *ctx) {
         GL(glDisable)(GL_DITHER);
         mipmapped(ctx, GL_RGB, GL_REPLACE, GL_NEAREST, 2.5f);
     }},
    {"rgba nearest mipmap linear mixed modulate blend", [](GlContext *ctx) {
         mipmapped(ctx, GL_RGBA, GL_MODULATE, GL_NEAREST_MIPMAP_LINEAR, 2.5f);
         blend(ctx, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
     }},
    {"luminance alpha nearest minified replace depth", [](GlContext *ctx) {
         GL(glDisable)(GL_DITHER);
         depthFunc(ctx, GL_LESS);
         mipmapped(ctx, GL_LUMINANCE_ALPHA, GL_REPLACE, GL_NEAREST, 2.5f);
     }},
};

using Format = Rgb16Format;
constexpr const auto &kFormats = kRgb16Formats;

struct Picture {
    std::vector<uint8_t> color;  // glReadPixels GL_RGB bytes
    std::vector<uint32_t> depth;
    std::string form;  // the generated span routine that drew, by __glOgSpanRoutineForm
    bool levelCopy = false;  // level 0 of the texture drawn had its copy in the buffer's layout
};

class MmxSpan : public StateTest {
protected:
    PlainMemory colorMem, depthMem;
    const Format *format = &kFormats[0];
    int depthBits = 16;

    void SetUp() override {
        IcdTest::SetUp();
        openContext(kSingleFormat, kSide, kSide);
        if (HasFatalFailure()) return;
        __glSetStateDefaults(ctx);
        __glOgSetCacheDisabledForTest(1);
    }
    void releaseDepthSave() {
        if (depthMem.desc.depthSave != nullptr) ctx->hostProcs.free(ctx, depthMem.desc.depthSave);
        depthMem.desc.depthSave = nullptr;
    }
    void TearDown() override {
        __glOgSetCacheDisabledForTest(-1);
        if (ctx != nullptr) releaseDepthSave();
        StateTest::TearDown();
    }

    void open(const Format &f, int zBits) {
        releaseDepthSave();
        format = &f;
        depthBits = zBits;
        setRgb16Visual(ctx, f.redMask, f.greenMask, f.blueMask, f.greenBits);
        attachPlainFront(ctx, colorMem, kSide, kSide, 2);
        attachPlainDepth(ctx, depthMem, kSide, kSide, zBits);
        GL(glDrawBuffer)(GL_FRONT);
        windowProjection(ctx, kSide, kSide);
    }

    // Overlapping triangles at distinct depths, both windings, rows shorter and longer than 32
    // pixels, slivers one to three pixels wide. Vertices lie on the 1/16 grid.
    // A scene of the test's own in place of drawScene(), when set.
    std::function<void()> scene;

    void drawScene() {
        struct V {
            float x, y, z, r, g, b, a;
        };
        // Texture coordinates from the position: up to three repeats, negative ones too, and a q
        // that changes across the window (projective texturing under the orthographic view).
        const V tris[][3] = {
            {{1.5f, 2.25f, 0.5f, 0.9f, 0.3f, 0.4f, 0.8f}, {60.75f, 6.5f, 0.1f, 0.3f, 0.9f, 0.3f, 0.6f},
             {20.125f, 58.0625f, -0.3f, 0.4f, 0.4f, 0.9f, 0.3f}},
            {{50.5f, 50.5f, -0.6f, 0.8f, 0.8f, 0.3f, 0.7f}, {63.0f, 10.25f, 0.4f, 0.3f, 0.5f, 0.8f, 0.4f},
             {8.0625f, 30.5f, -0.2f, 0.5f, 0.9f, 0.6f, 0.9f}},
            {{3.0f, 40.0f, -0.9f, 0.9f, 0.9f, 0.9f, 0.5f}, {45.0f, 41.5f, -0.9f, 0.6f, 0.3f, 0.3f, 0.5f},
             {4.0f, 42.0f, -0.9f, 0.3f, 0.6f, 0.3f, 0.5f}},
            // The same depth as the first triangle where they overlap: GL_EQUAL passes there.
            {{1.5f, 2.25f, 0.5f, 0.2f, 0.8f, 0.8f, 0.4f}, {60.75f, 6.5f, 0.1f, 0.7f, 0.2f, 0.5f, 0.2f},
             {30.0f, 20.0f, 0.2f, 1.0f, 1.0f, 1.0f, 1.0f}},
            // Slivers of 1, 2 and 3 pixels.
            {{10.0f, 44.0f, 0.0f, 1, 1, 1, 1}, {11.0f, 63.0f, 0.0f, 1, 0, 0, 1}, {10.0f, 63.5f, 0.0f, 0, 1, 0, 1}},
            {{20.0f, 44.0f, 0.0f, 0, 0, 1, 1}, {22.0f, 44.0f, 0.0f, 1, 0, 1, 1}, {22.0f, 63.5f, 0.0f, 1, 1, 0, 1}},
            {{30.0f, 44.0f, 0.0f, 0.5f, 0.5f, 0.5f, 1}, {33.0f, 44.0f, 0.9f, 1, 1, 1, 1}, {30.0f, 63.5f, -0.9f, 0, 0, 0, 1}},
        };
        GL(glBegin)(GL_TRIANGLES);
        for (const auto &tri : tris)
            for (const V &v : tri) {
                GL(glColor4f)(v.r, v.g, v.b, v.a);
                const float q = 0.5f + v.x / 40.0f + v.y / 90.0f;
                GL(glTexCoord4f)((v.x / 21.0f - 0.5f) * q, (v.y / 17.0f - 0.75f) * q, 0.0f, q);
                GL(glVertex3f)(v.x, v.y, v.z);
            }
        GL(glEnd)();
    }

    // Opens the buffers and validates the state `set` makes with an empty primitive.
    void validate(const std::function<void(GlContext *)> &set, int zBits = 16) {
        open(kFormats[0], zBits);
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask = 0x7FF;
        set(ctx);
        GL(glBegin)(GL_TRIANGLES);
        GL(glEnd)();
    }
    // The routine for the state just validated, written into a span cache entry.
    const void *generate() {
        EXPECT_TRUE(__glOgMmxSpanServes(ctx));
        const uint32_t key[2] = {0x4D4D5850, ctx->state.span.raster.shadeFlags};
        bool hit = false;
        GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheSpan, key, 2, &hit);
        if (e == nullptr) return nullptr;
        GlOgWriter w;
        if (!__glOgBeginWrite(ctx, kGlOgCacheSpan, e, &w)) return nullptr;
        uint8_t *end = __glOgEmitMmxSpanProc(ctx, w.p, e->code + __glOgContextOf(ctx)->caches[kGlOgCacheSpan].entrySize, e);
        if (end == nullptr) w.s->ogFailed = 1;
        else w.p = end;
        return __glOgFinishWrite(ctx, &w);
    }

    // dir 0: the chain draws; +1 or -1: the routine draws every chunk in that direction; 2: the
    // fast set-up hands whole triangles to the routine as their span routine; 3: every generated
    // routine validation picks.
    Picture draw(const Row &row, int dir) {
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask = 0x7FF;
        GL(glClearColor)(0.3f, 0.5f, 0.7f, 0);
        GL(glClearDepth)(row.name == std::string("depth greater") ? 0.0 : 1.0);
        GL(glColorMask)(1, 1, 1, 1);
        GL(glDepthMask)(1);
        GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        row.set(ctx);
        // An empty primitive validates the state without generated span routines (the set-up's C
        // walker then runs the chain); the hook then replaces the chain's first stage or the span
        // routine.
        __glOgSetSpanRoutinesForTest(0);
        __glOgSetTriangleProcForTest(0);  // the hooks need the C set-up
        __glRequestValidation(ctx);        // a state seen before would keep its routines
        ctx->dirtyMask |= 0x7FF;
        GL(glBegin)(GL_TRIANGLES);
        GL(glEnd)();
        EXPECT_EQ(ctx->state.pick.rasterTriangleProc, &__glFillTriangleFast) << "the fast path takes the state";
        if (dir == 3) {
            // The road a program takes: generated set-up and span routines as validation picks them.
            __glOgSetSpanRoutinesForTest(1);
            __glOgSetTriangleProcForTest(-1);
            __glRequestValidation(ctx);
            ctx->dirtyMask |= 0x7FF;
        } else if (dir != 0) {
            gHook = ChunkHook{};
            gHook.code = generate();
            EXPECT_NE(gHook.code, nullptr);
            gHook.dir = dir;
            gHook.smooth = (ctx->state.span.raster.shadeFlags & kGlShadeSmooth) != 0;
            gHook.depthBytes = depthBits == 16 ? 2 : 4;
            if (gHook.code != nullptr && dir == 2) {
                ctx->state.span.fast.spanRoutine = reinterpret_cast<GlFastProc>(const_cast<void *>(gHook.code));
                __glOgSetSpanRoutinesForTest(1);
            } else if (gHook.code != nullptr) {
                ctx->state.span.fast.fastStageFirst = runRoutineOnChunk;
            }
        }
        if (scene) scene();
        else drawScene();
        const GlTextureObject *tex = ctx->state.span.fast.texture;
        const GlShadeFlags f = ctx->state.span.raster.shadeFlags;
        if (dir == 3 && (f & kGlShadeTexture) && !(f & kGlShadePerspectiveTex) && tex != nullptr &&
            tex->magFilter == GL_LINEAR) {
            // Bilinear states without perspective are the MMX routine's whole.
            EXPECT_NE(ctx->state.span.fast.spanRoutine, nullptr);
            // Key B's bit 0 marks the stage-list routine.
            const icd::GlOgCache &c = icd::__glOgContextOf(ctx)->caches[icd::kGlOgCacheSpan];
            bool oneRoutine = false;
            for (int i = 0; i < c.entryCount; ++i)
                if (c.entries[i].code == reinterpret_cast<const uint8_t *>(ctx->state.span.fast.spanRoutine))
                    oneRoutine = (c.entries[i].key[2] & 1) == 0;
            EXPECT_TRUE(oneRoutine) << "a one-routine draws the state";
        }
        const char *form = __glOgSpanRoutineForm(ctx, reinterpret_cast<const void *>(ctx->state.span.fast.spanRoutine));
        __glOgSetSpanRoutinesForTest(-1);
        __glOgSetTriangleProcForTest(-1);
        if (dir == 1 || dir == -1) {
            EXPECT_GT(gHook.chunks, 0);
        }
        Picture p;
        p.form = form != nullptr ? form : "";
        const GlTextureObject *drawn = ctx->state.span.fast.texture;
        p.levelCopy = drawn != nullptr && drawn->levels != nullptr && drawn->levels[0] != nullptr &&
                      drawn->levels[0]->convertedImage != nullptr;
        p.color.resize(kSide * kSide * 3);
        p.depth.resize(kSide * kSide);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
        GL(glReadPixels)(0, 0, kSide, kSide, GL_RGB, GL_UNSIGNED_BYTE, p.color.data());
        GL(glReadPixels)(0, 0, kSide, kSide, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, p.depth.data());
        GL(glMatrixMode)(GL_MODELVIEW);
        __glSetStateDefaults(ctx);
        windowProjection(ctx, kSide, kSide);
        GL(glDrawBuffer)(GL_FRONT);
        return p;
    }

    // A byte read back as the field value it came from.
    int field(uint8_t byte, int channel) const {
        const int max = channel == 1 ? (1 << format->greenBits) - 1 : 31;
        return (byte * max + 127) / 255;
    }
    int worstDifference(const Picture &a, const Picture &b, int *at) const {
        int worst = 0;
        for (size_t i = 0; i < a.color.size(); ++i) {
            const int d = std::abs(field(a.color[i], int(i % 3)) - field(b.color[i], int(i % 3)));
            if (d > worst) {
                worst = d;
                *at = int(i / 3);
            }
        }
        return worst;
    }
};

// One context, one texture, only its filters changing between pictures: the routine cached for
// one filter is never taken for another.
TEST_F(MmxSpan, TheCachedRoutineFollowsTheFilters) {
    open(kFormats[0], 16);
    const Row first{"rgb replace", [](GlContext *ctx) {
                        GL(glDisable)(GL_DITHER);
                        texture(ctx, GL_RGB, GL_RGB, GL_REPLACE);
                    }};
    draw(first, 0);
    EXPECT_EQ(draw(first, 0).color, draw(first, 3).color);
    const GLenum filters[][2] = {{GL_LINEAR, GL_LINEAR}, {GL_NEAREST, GL_NEAREST}, {GL_LINEAR, GL_LINEAR}, {GL_NEAREST, GL_NEAREST}};
    for (const auto &f : filters) {
        SCOPED_TRACE(::testing::Message() << "min " << f[0] << " mag " << f[1]);
        static GLenum min, mag;
        min = f[0];
        mag = f[1];
        const Row row{"filters", [](GlContext *ctx) {
                          GL(glDisable)(GL_DITHER);
                          GL(glBindTexture)(GL_TEXTURE_2D, 1);
                          GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(min));
                          GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(mag));
                          GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
                          GL(glEnable)(GL_TEXTURE_2D);
                          GL(glHint)(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
                          GL(glMatrixMode)(GL_TEXTURE);
                          GL(glLoadIdentity)();
                          GL(glScalef)(2.5f, 2.5f, 1.0f);
                          GL(glMatrixMode)(GL_MODELVIEW);
                      }};
        const Picture chain = draw(row, 0);
        EXPECT_EQ(chain.color, draw(row, 3).color);
    }
}

// ---- records filled by hand ------------------------------------------------------------------------

// One edge in walking coordinates: x + frac / 2^31, stepped per row by step[carry].
struct EdgeDef {
    int32_t x;
    uint32_t frac;
    int32_t step[2];
    uint32_t fracStep;
};

class MmxSpanRecord : public MmxSpan {
protected:
    const void *code = nullptr;

    // The state set through GL, validated by an empty primitive, and its routine.
    void prepare(const std::function<void(GlContext *)> &set, int zBits = 16) {
        validate(set, zBits);
        code = generate();
        ASSERT_NE(code, nullptr);
    }
    uint16_t *pixelAt(int x, int y) { return reinterpret_cast<uint16_t *>(colorMem.at(x, y)); }

    // A record with every iterator still; edges and the pixel walk from the definitions.
    GlSpan record(int dir, int y0, int y1, int y2, const EdgeDef &start, const EdgeDef &other, const EdgeDef &lower) {
        GlSpan sp{};
        sp.context = ctx;
        sp.xStep = dir;
        sp.yStart = y0;
        sp.yMiddle = y1;
        sp.yEnd = y2;
        sp.startEdgeX = start.x;
        sp.startEdgeFrac = start.frac;
        sp.startEdgeFracStep = start.fracStep;
        sp.otherEdgeX = other.x;
        sp.otherEdgeFrac = other.frac;
        sp.otherEdgeFracStep = other.fracStep;
        sp.lowerEdgeX = lower.x;
        sp.lowerEdgeFrac = lower.frac;
        sp.lowerEdgeFracStep = lower.fracStep;
        for (int c = 0; c < 2; ++c) {
            sp.startEdgeStep[c] = start.step[c];
            sp.otherEdgeStep[c] = other.step[c];
            sp.lowerEdgeStep[c] = lower.step[c];
            sp.pixelRowStep[c] = colorMem.desc.pitchBytes + dir * start.step[c] * 2;
            sp.depthRowStep[c] = depthMem.desc.pitchBytes + dir * start.step[c] * depthMem.desc.elementSize;
        }
        sp.pixelStep = 2 * dir;
        sp.pixelRowStart = colorMem.at(dir * start.x, y0);
        sp.depthAddressStep = depthMem.desc.elementSize * dir;
        sp.depthRowStart = depthMem.at(dir * start.x, y0);
        return sp;
    }
    // A row of n pixels from x in one direction.
    GlSpan row(int dir, int x, int y, int n) {
        const EdgeDef s{dir * x, 0, {0, 0}, 0}, o{dir * x + n, 0, {0, 0}, 0};
        return record(dir, y, y + 1, y + 1, s, o, o);
    }
    int32_t run(const GlSpan &sp) {
        ctx->buffers.lockCount += 1;
        return __glOgRunSpanRoutine(ctx, &sp, code);
    }
};

// The rows a record covers, by the walk's own arithmetic: x + frac / 2^31 per edge, the carry of
// the start edge's fraction choosing its step, the lower edge replacing the other at the middle.
std::vector<std::pair<int, int>> coveredPixels(int dir, int y0, int y1, int y2, EdgeDef s, EdgeDef o, const EdgeDef &l) {
    std::vector<std::pair<int, int>> out;
    auto advance = [](EdgeDef &e) {
        const uint64_t sum = uint64_t(e.frac) + e.fracStep;
        const int carry = (sum >> 31) & 1;
        e.frac = uint32_t(sum & 0x7FFFFFFF);
        e.x += e.step[carry];
    };
    for (int y = y0; y < y2; ++y) {
        if (y == y1) o = l;
        for (int p = s.x; p < o.x; ++p) out.push_back({dir * p, y});
        advance(s);
        advance(o);
    }
    return out;
}

TEST_F(MmxSpanRecord, RowsFollowTheEdgesInBothDirections) {
    prepare([](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); GL(glDisable)(GL_DITHER); });
    // The lower edge overtakes the start edge: the last rows have no pixels and still step.
    const EdgeDef start{10, 0x10000000, {0, 1}, 0x40000000}, other{12, 0x70000000, {2, 3}, 0x60000000};
    const EdgeDef lower{34, 0x30000000, {-3, -2}, 0x20000000};
    struct Case {
        int dir, x0, y0, y1, y2;
    };
    // Right to left the positions are negated: the first pixel of the first row is x = 53.
    const Case cases[] = {{1, 10, 2, 10, 30}, {-1, -53, 2, 10, 30}, {1, 10, 5, 13, 13}, {-1, -53, 0, 7, 7},
                          {1, 10, 4, 4, 20}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "direction " << c.dir << " rows " << c.y0 << ".." << c.y1 << ".." << c.y2);
        std::fill(colorMem.bytes.begin(), colorMem.bytes.end(), 0xA5);
        EdgeDef s = start, o = other, l = lower;
        s.x = c.x0;
        o.x = c.x0 + 2;
        l.x = c.x0 + 24;
        GlSpan sp = record(c.dir, c.y0, c.y1, c.y2, s, o, l);
        sp.red.rowStart = 0x1234;  // the flat pixel
        if (c.y1 == c.y2) sp.lowerEdgeX = 1 << 30;  // never read: no lower half
        ASSERT_EQ(run(sp), 1);
        std::vector<uint16_t> expected(size_t(kSide) * kSide, 0xA5A5);
        for (auto [x, y] : coveredPixels(c.dir, c.y0, c.y1, c.y2, s, o, l)) {
            ASSERT_TRUE(x >= 0 && x < kSide && y >= 0 && y < kSide);
            expected[size_t(y) * kSide + size_t(x)] = 0x1234;
        }
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) ASSERT_EQ(*pixelAt(x, y), expected[size_t(y) * kSide + size_t(x)]) << x << ", " << y;
    }
}

int gUnlocks = 0;
void countUnlock(GlContext *) { ++gUnlocks; }

TEST_F(MmxSpanRecord, DepthGroupsWriteOnlyThePixelsThatPass) {
    for (int zBits : {16, 32})
        for (int dir : {1, -1}) {
            SCOPED_TRACE(::testing::Message() << "depth " << zBits << " direction " << dir);
            prepare([](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); GL(glDisable)(GL_DITHER); depthFunc(ctx, GL_LESS); }, zBits);
            // Eleven pixels from x = 3 (walking order): a whole group that fails entirely, whole
            // groups and a last group of three that pass in part.
            const uint32_t value = zBits == 16 ? 0x8000 : 0x40000000, near = zBits == 16 ? 0x1000 : 0x10000000,
                           far = zBits == 16 ? 0xF000 : 0x7F000000;
            std::fill(colorMem.bytes.begin(), colorMem.bytes.end(), 0x5A);
            for (int x = 0; x < kSide; ++x) depthMem.setElement(x, 6, 0x77);
            auto stored = [&](int i) { return (i >= 4 && i < 8) || i % 2 == 0 ? near : far; };
            const int first = dir > 0 ? 3 : 13;
            for (int i = 0; i < 11; ++i) depthMem.setElement(first + dir * i, 6, stored(i));
            GlSpan sp = row(dir, first, 6, 11);
            sp.red.rowStart = 0x4321;
            sp.z.rowStart = int32_t(zBits == 16 ? value << 16 : value);
            ASSERT_EQ(run(sp), 1);
            for (int x = 0; x < kSide; ++x) {
                const int i = (x - first) * dir;
                const bool inside = i >= 0 && i < 11, pass = inside && stored(i) == far;
                EXPECT_EQ(*pixelAt(x, 6), pass ? 0x4321 : 0x5A5A) << x;
                EXPECT_EQ(depthMem.element(x, 6), pass ? value : inside ? stored(i) : 0x77u) << x;
            }
        }
}

TEST_F(MmxSpanRecord, SixteenBitEqualComparesTheIntegerParts) {
    prepare([](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); GL(glDisable)(GL_DITHER); depthFunc(ctx, GL_EQUAL); });
    std::fill(colorMem.bytes.begin(), colorMem.bytes.end(), 0);
    for (int x = 0; x < 6; ++x) depthMem.setElement(x, 1, x % 2 ? 0x1234 : 0x1235);
    GlSpan sp = row(1, 0, 1, 6);
    sp.red.rowStart = 0xFFFF;
    sp.z.rowStart = int32_t(0x1234FFFF);
    ASSERT_EQ(run(sp), 1);
    for (int x = 0; x < 6; ++x) EXPECT_EQ(*pixelAt(x, 1), x % 2 ? 0xFFFF : 0) << x;
}

// Blends of a flat white source over a white destination, 1.0 alpha.
TEST_F(MmxSpanRecord, BlendEdgeCases) {
    struct Case {
        GLenum src, dst;
        uint16_t expected;
    };
    const Case cases[] = {
        {GL_ONE, GL_ONE, 0xFFFF},                  // saturates, never wraps
        {GL_SRC_ALPHA_SATURATE, GL_ZERO, 0x0000},  // min(As, 1 - Ad) with Ad = 1
        {GL_ZERO, GL_SRC_COLOR, 0xFFFF},           // the sum is rescaled whichever factor is zero
        {GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR, 0xFFFF},
        {GL_ONE_MINUS_SRC_ALPHA, GL_ONE_MINUS_SRC_COLOR, 0x0000},
    };
    for (const Case &c : cases)
        for (int dir : {1, -1}) {
            SCOPED_TRACE(::testing::Message() << std::hex << c.src << " " << c.dst << std::dec << " direction " << dir);
            prepare([&](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); GL(glDisable)(GL_DITHER); blend(ctx, c.src, c.dst); });
            std::fill(colorMem.bytes.begin(), colorMem.bytes.end(), 0xFF);
            GlSpan sp = row(dir, dir > 0 ? 5 : 11, 2, 7);
            sp.red.cur = (31 << 16) + 0x8000;
            sp.green.cur = (63 << 16) + 0x8000;
            sp.blue.cur = (31 << 16) + 0x8000;
            sp.alpha.cur = (255 << 16) + 0x8000;
            ASSERT_EQ(run(sp), 1);
            for (int x = 5; x < 12; ++x) EXPECT_EQ(*pixelAt(x, 2), c.expected) << x;
            EXPECT_EQ(*pixelAt(4, 2), 0xFFFF);
        }
}

TEST_F(MmxSpanRecord, DitherLeavesARepresentableColourAlone) {
    prepare([](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); });
    for (int dir : {1, -1})
        for (int y = 0; y < 4; ++y) {
            std::fill(colorMem.bytes.begin(), colorMem.bytes.end(), 0);
            GlSpan sp = row(dir, dir > 0 ? 1 : 13, y, 13);
            // The set-up's dither bias of 1/32 step: the largest level (15/16) stays below the next step.
            sp.red.cur = (17 << 16) + 0x800;
            sp.green.cur = (40 << 16) + 0x800;
            sp.blue.cur = (9 << 16) + 0x800;
            ASSERT_EQ(run(sp), 1);
            for (int x = 1; x < 14; ++x) EXPECT_EQ(*pixelAt(x, y), (17 << 11) | (40 << 5) | 9) << x << ", " << y;
        }
}

// A 4 x 2 texture of full and empty channels, one texel per pixel from s = 2.125 (beyond 1.0:
// the coordinate repeats), drawn with GL_REPLACE; and a luminance texel of 255 as full white.
TEST_F(MmxSpanRecord, TexelsRepeatAndFullChannelsStayFull) {
    const uint8_t texels[8][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255},
                                  {0, 0, 0},   {0, 255, 255}, {255, 0, 255}, {255, 255, 0}};
    auto packed = [](const uint8_t *c) { return uint16_t((c[0] ? 31 << 11 : 0) | (c[1] ? 63 << 5 : 0) | (c[2] ? 31 : 0)); };
    for (int dir : {1, -1})
        for (int texRow : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << "direction " << dir << " texel row " << texRow);
            prepare([&](GlContext *ctx) {
                GL(glDisable)(GL_DITHER);
                GL(glBindTexture)(GL_TEXTURE_2D, 1);
                GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
                GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
                GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
                GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
                GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
                GL(glHint)(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
                GL(glEnable)(GL_TEXTURE_2D);
            });
            std::fill(colorMem.bytes.begin(), colorMem.bytes.end(), 0x11);
            const int first = dir > 0 ? 5 : 22;
            GlSpan sp = row(dir, first, 3, 18);
            sp.s.rowStart = 0x22000;  // 2.125 textures: the middle of column 0
            sp.s.step = dir * 0x4000;
            sp.t.rowStart = texRow ? 0x1C000 : -0x1C000;  // 1.75 and -1.75: rows 1 and 0
            ASSERT_EQ(run(sp), 1);
            for (int i = 0; i < 18; ++i) {
                const int column = ((dir * i) % 4 + 4) % 4;
                EXPECT_EQ(*pixelAt(first + dir * i, 3), packed(texels[texRow * 4 + column])) << i;
            }
            EXPECT_EQ(*pixelAt(dir > 0 ? first - 1 : first + 1, 3), 0x1111);
        }
    prepare([](GlContext *ctx) { texture(ctx, GL_LUMINANCE, GL_LUMINANCE, GL_REPLACE); });
    std::vector<uint8_t> white(16 * 8, 255);
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_LUMINANCE, 16, 8, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, white.data());
    GlSpan sp = row(1, 0, 0, 9);
    sp.s.step = 0x1234;
    ASSERT_EQ(run(sp), 1);
    for (int x = 0; x < 9; ++x) EXPECT_EQ(*pixelAt(x, 0), 0xFFFF) << x;
}

// Texel bytes as the 5-6-5 pixel shows them without dither: each channel byte x max / 255, rounded.
uint16_t rounded565(int r, int g, int b) {
    auto field = [](int byte, int max) { return (2 * byte * max + 255) / 510; };
    return uint16_t(field(r, 31) << 11 | field(g, 63) << 5 | field(b, 31));
}

// Levels stored as 3- and 4-byte texels (the 16-bit visual converts every texture it is given,
// so the test puts the layout in place): the routine reads exactly the texels' bytes.
TEST_F(MmxSpanRecord, ByteLayoutsAreReadAsBytes) {
    // 4 x 2 texels, each channel distinct; the image ends at the last texel's last byte.
    std::vector<uint8_t> rgba(4 * 2 * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = uint8_t(17 + 29 * i);
    for (int32_t layout : {int32_t(kGlTexelRgb8), int32_t(kGlTexelRgba8)}) {
        const int bytes = layout == kGlTexelRgb8 ? 3 : 4;
        std::vector<uint8_t> image(size_t(4 * 2 * bytes));
        for (int i = 0; i < 8; ++i) std::memcpy(&image[size_t(i * bytes)], &rgba[size_t(i * 4)], size_t(bytes));
        GlMipLevel *level = nullptr;
        prepare([&](GlContext *ctx) {
            texture(ctx, GL_RGB, GL_RGB, GL_REPLACE);
            GL(glDisable)(GL_DITHER);
            GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, image.data());
        });
        level = ctx->state.span.fast.texture->levels[0];
        const GlMipLevel own = *level;  // put back before the texture goes
        level->image = image.data();
        level->texelFormatId = layout;
        level->texelFormat = __glTexelFormat(layout);
        level->fetch = level->texelFormat->fetch;
        code = generate();
        EXPECT_NE(code, nullptr);
        for (int dir : {1, -1}) {
            if (code == nullptr) break;
            SCOPED_TRACE(::testing::Message() << bytes << "-byte texels, direction " << dir);
            GlSpan sp = row(dir, dir > 0 ? 2 : 20, 5, 19);
            sp.s.rowStart = 0x2000;
            sp.s.step = dir * 0x4000;
            sp.t.rowStart = 0xC000;  // row 1
            ASSERT_EQ(run(sp), 1);
            for (int i = 0; i < 19; ++i) {
                const uint8_t *c = &rgba[size_t(4 * (4 + ((dir * i) % 4 + 4) % 4))];
                EXPECT_EQ(*pixelAt((dir > 0 ? 2 : 20) + dir * i, 5), rounded565(c[0], c[1], c[2])) << i;
            }
        }
        *level = own;
    }
}

// Bilinear texels of 3- and 4-byte layouts against the filter's arithmetic: s and t up to texels
// less half a texel, the integer parts and their successors repeated into the level, 8-bit weights
// that always sum to 256 (the far corner's product rounded, the others what is left of each axis),
// the weighted sum rounded to its top byte. The rows cross the level's edges in both coordinates
// and run in both directions.
TEST_F(MmxSpanRecord, LinearTexelsWeighTheFourNeighbours) {
    std::vector<uint8_t> rgba(4 * 2 * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = uint8_t(23 + 71 * i);
    auto filtered = [&](int32_t s, int32_t t, int ch) {
        const uint32_t sx = (uint32_t(s) << 2) - 0x8000u, ty = (uint32_t(t) << 1) - 0x8000u;
        const int c0 = int(sx >> 16) & 3, c1 = (c0 + 1) & 3, r0 = int(ty >> 16) & 1, r1 = (r0 + 1) & 1;
        const uint32_t wx = (sx >> 8) & 0xFF, wy = (ty >> 8) & 0xFF;
        auto at = [&](int r, int c) { return uint32_t(rgba[size_t(4 * (4 * r + c) + ch)]); };
        const uint32_t w11 = (wx * wy + 128) >> 8;
        const uint32_t sum = at(r0, c0) * (256 - wx - wy + w11) + at(r0, c1) * (wx - w11) + at(r1, c0) * (wy - w11) +
                             at(r1, c1) * w11;
        return int((sum + 128) >> 8);
    };
    for (int32_t layout : {int32_t(kGlTexelRgb8), int32_t(kGlTexelRgba8)}) {
        const int bytes = layout == kGlTexelRgb8 ? 3 : 4;
        std::vector<uint8_t> image(size_t(4 * 2 * bytes));
        for (int i = 0; i < 8; ++i) std::memcpy(&image[size_t(i * bytes)], &rgba[size_t(i * 4)], size_t(bytes));
        prepare([&](GlContext *ctx) {
            texture(ctx, GL_RGB, GL_RGB, GL_REPLACE, false, GL_LINEAR);
            GL(glDisable)(GL_DITHER);
            GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, image.data());
        });
        GlMipLevel *level = ctx->state.span.fast.texture->levels[0];
        const GlMipLevel own = *level;
        level->image = image.data();
        level->texelFormatId = layout;
        level->texelFormat = __glTexelFormat(layout);
        level->fetch = level->texelFormat->fetch;
        code = generate();
        EXPECT_NE(code, nullptr);
        struct Case {
            int32_t s, ds, t, dt;
        };
        // Steps of a fraction of a texel and of several; t across the lower edge and above it.
        const Case cases[] = {{-0x3000, 0x0B00, 0x0400, 0x0123}, {0x1F000, -0x2340, -0x9000, 0x0801}, {0x7FF0, 0x11111, 0xC000, -0x0555}};
        for (int dir : {1, -1})
            for (const Case &c : cases) {
                if (code == nullptr) break;
                SCOPED_TRACE(::testing::Message() << bytes << "-byte texels, direction " << dir << ", s " << c.s);
                const int first = dir > 0 ? 3 : 25, n = 21;
                GlSpan sp = row(dir, first, 6, n);
                sp.s.rowStart = c.s;
                sp.s.step = c.ds;
                sp.t.rowStart = c.t;
                sp.t.step = c.dt;
                ASSERT_EQ(run(sp), 1);
                for (int i = 0; i < n; ++i) {
                    const int32_t s = int32_t(uint32_t(c.s) + uint32_t(i) * uint32_t(c.ds));
                    const int32_t t = int32_t(uint32_t(c.t) + uint32_t(i) * uint32_t(c.dt));
                    const int expected = rounded565(filtered(s, t, 0), filtered(s, t, 1), filtered(s, t, 2));
                    EXPECT_EQ(*pixelAt(first + dir * i, 6), expected) << i;
                }
            }
        *level = own;
    }
}

// States the routine does not draw: it writes nothing and leaves the caller's generation usable.
TEST_F(MmxSpanRecord, StatesItDoesNotServeAreRefusedCleanly) {
    struct Case {
        const char *name;
        std::function<void(GlContext *)> set;
    };
    const Case cases[] = {
        {"stencil", [](GlContext *ctx) { GL(glEnable)(GL_STENCIL_TEST); }},
        {"logic op", [](GlContext *ctx) { GL(glEnable)(GL_COLOR_LOGIC_OP); GL(glLogicOp)(GL_XOR); }},
        {"alpha test", [](GlContext *ctx) { GL(glEnable)(GL_ALPHA_TEST); }},
        {"fog", [](GlContext *ctx) { GL(glEnable)(GL_FOG); }},
        {"red masked", [](GlContext *ctx) { GL(glColorMask)(0, 1, 1, 1); }},
        {"4-4-4-4 texels linear at every size", [](GlContext *ctx) {
             texture(ctx, GL_RGBA, GL_RGBA, GL_REPLACE, false, GL_LINEAR);
         }},
        {"nearest magnified, linear minified", [](GlContext *ctx) {
             texture(ctx, GL_RGB, GL_RGB, GL_REPLACE, false, GL_LINEAR);
             GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
         }},
        {"clamped texels", [](GlContext *ctx) {
             texture(ctx, GL_RGB, GL_RGB, GL_REPLACE);
             GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
         }},
        {"decal of rgba", [](GlContext *ctx) { texture(ctx, GL_RGBA, GL_RGBA, GL_DECAL); }},
        {"blend environment", [](GlContext *ctx) { texture(ctx, GL_RGB, GL_RGB, GL_BLEND); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        validate(c.set);
        EXPECT_FALSE(__glOgMmxSpanServes(ctx));
        const uint32_t key[2] = {0x4D4D5852, ctx->state.span.raster.shadeFlags};
        bool hit = false;
        GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheSpan, key, 2, &hit);
        ASSERT_NE(e, nullptr);
        GlOgWriter w;
        ASSERT_TRUE(__glOgBeginWrite(ctx, kGlOgCacheSpan, e, &w));
        uint8_t *const limit = w.s->ogCodeEnd;
        EXPECT_EQ(__glOgEmitMmxSpanProc(ctx, w.p, e->code + __glOgContextOf(ctx)->caches[kGlOgCacheSpan].entrySize, e), nullptr);
        EXPECT_FALSE(__glOgFailed(w.s));
        EXPECT_EQ(w.s->ogCodeEnd, limit);
        w.s->ogFailed = 1;  // nothing to install
        EXPECT_EQ(__glOgFinishWrite(ctx, &w), nullptr);
        __glSetStateDefaults(ctx);
    }
}

// A colour taken as a blend factor is divided by its field's largest value through a multiply
// that is exact only for fields of 2 to 6 bits: with a wider field such a blend is left to the
// chain, and every other blend still served.
TEST_F(MmxSpan, ColourFactorsAreServedWhereTheyDivideExactly) {
    struct Case {
        Format format;
        GLenum src, dst;
        bool served;
    };
    const Format wide{"R7G5B4", 0xFE00, 0x01F0, 0x000F, 5};
    const Case cases[] = {
        {wide, GL_DST_COLOR, GL_ZERO, false},
        {wide, GL_ONE, GL_ONE_MINUS_SRC_COLOR, false},
        {wide, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, true},
        {wide, GL_ONE, GL_ONE, true},
        {kFormats[0], GL_ONE_MINUS_DST_COLOR, GL_SRC_COLOR, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.format.name << " blend " << std::hex << c.src << "," << c.dst);
        open(c.format, 16);
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask = 0x7FF;
        blend(ctx, c.src, c.dst);
        GL(glBegin)(GL_TRIANGLES);
        GL(glEnd)();
        EXPECT_EQ(__glOgMmxSpanServes(ctx), c.served);
        __glSetStateDefaults(ctx);
    }
}

TEST_F(MmxSpanRecord, ExitReleasesTheLockAndLeavesRegistersAndTheX87StateAlone) {
    prepare([](GlContext *ctx) { depthFunc(ctx, GL_LESS); });
    void (*const unlockBefore)(GlContext *) = ctx->buffers.drawableUnlock;
    for (bool withUnlock : {true, false})
        for (int held : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << (withUnlock ? "unlock proc" : "no unlock proc") << ", held " << held);
            ctx->buffers.drawableUnlock = withUnlock ? countUnlock : nullptr;
            ctx->buffers.lockCount = held + 1;  // the set-up's own count on top
            gUnlocks = 0;
            GlSpan sp = row(1, 2, 3, 9);
            sp.red.rowStart = sp.red.cur = 0x100000;
            sp.red.step = 0x1000;
            EXPECT_EQ(callChecked(__glOgRunSpanRoutine, ctx, &sp, code), 1);
            EXPECT_EQ(ctx->buffers.lockCount, held);
            EXPECT_EQ(gUnlocks, withUnlock && held == 0 ? 1 : 0);
        }
    ctx->buffers.drawableUnlock = unlockBefore;
    ctx->buffers.lockCount = 0;
}

TEST_F(MmxSpan, PerspectiveTexturesUnderTheNicestHintAreLeftToTheChain) {
    for (const Row &row : kPerspectiveRows) {
        SCOPED_TRACE(row.name);
        validate(row.set);
        EXPECT_FALSE(__glOgMmxSpanServes(ctx));
        const Picture chain = draw(row, 0);
        EXPECT_EQ(chain.color, draw(row, 3).color);
    }
}

TEST_F(MmxSpan, TableOfStatesMatchesTheFastChainInBothDirections) {
    for (const Format &f : kFormats)
        for (int zBits : {16, 24, 32})
            for (const Row &row : kRows) {
                SCOPED_TRACE(::testing::Message() << f.name << " depth " << zBits << ": " << row.name);
                open(f, zBits);
                // The 24-bit buffer reads back its first picture after a full clear one step
                // apart from later ones drawn after epoch clears: every compared picture is a later one.
                draw(row, 0);
                const Picture chain = draw(row, 0);
                const Picture whole = draw(row, 2);
                int at = -1;
                EXPECT_EQ(worstDifference(chain, whole, &at), 0) << "pixel " << at % kSide << ", " << at / kSide;
                EXPECT_EQ(chain.color, whole.color);
                EXPECT_EQ(chain.depth, whole.depth);
                const Picture road = draw(row, 3);
                EXPECT_EQ(worstDifference(chain, road, &at), 0) << "pixel " << at % kSide << ", " << at / kSide;
                EXPECT_EQ(chain.color, road.color);
                EXPECT_EQ(chain.depth, road.depth);
                // Every chunk of the chain's walk drawn by the routine in both directions.
                const Picture forward = draw(row, 1);
                const Picture backward = draw(row, -1);
                EXPECT_EQ(forward.color, whole.color);
                EXPECT_EQ(forward.color, backward.color) << "both scan directions draw the same picture";
                EXPECT_EQ(forward.depth, whole.depth);
                EXPECT_EQ(forward.depth, backward.depth);
            }
}

// ---- perspective at the default hint ----------------------------------------------------------------

TEST(MmxPerspectiveTables, ReciprocalEntriesHoldTheValueAndTheStepToTheNext) {
    const uint32_t *table = __glOgReciprocalTable();
    ASSERT_EQ(table, __glOgReciprocalTable());  // one table for the process
    for (int i = 0; i < 256; ++i) {
        const int32_t f = int32_t(8388608 / (256 + i)), next = int32_t(8388608 / (257 + i));
        EXPECT_EQ(int32_t(table[i] & 0x1FFFF), f) << i;
        EXPECT_EQ(int32_t(table[i]) >> 17, next - f) << i;
    }
}

// A level of 256 texels along s (or along t) in which texel c shows c in the 5-6-5 pixel drawn with
// GL_REPLACE: c >> 3 in red, c & 7 in green's top three bits. The hint is the default.
void coordinateTexture(GlContext *ctx, bool alongT) {
    std::vector<uint8_t> bytes(256 * 3);
    for (int c = 0; c < 256; ++c) {
        bytes[size_t(3 * c)] = uint8_t(((c >> 3) * 255 + 15) / 31);
        bytes[size_t(3 * c + 1)] = uint8_t(((c & 7) * 8 * 255 + 31) / 63);
    }
    GL(glDisable)(GL_DITHER);
    texture(ctx, GL_RGB, GL_RGB, GL_REPLACE);  // repeating and nearest; its image replaced here
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, alongT ? 1 : 256, alongT ? 256 : 1, 0, GL_RGB, GL_UNSIGNED_BYTE, bytes.data());
    GL(glHint)(GL_PERSPECTIVE_CORRECTION_HINT, GL_DONT_CARE);
}
int texelShown(uint16_t pixel) { return (pixel >> 11) << 3 | ((pixel >> 5) & 63) >> 3; }

// Whether texel c of 256 is what a coordinate in [lo, hi] (in textures, repeating) samples.
bool texelInRange(int c, double lo, double hi) {
    const double first = std::floor(lo * 256.0), last = std::floor(hi * 256.0);
    for (double k = first; k <= last; k += 1.0)
        if (((int64_t(k) % 256) + 256) % 256 == c) return true;
    return false;
}

// One row through the routine with the planes s/w, t/w, q/w given per walking pixel: at each
// segment end (the row's start, then 16 to 19 pixels on by where its first pixel lies in its
// aligned group of four, then every 16, and the row's last pixel) the coordinate is the division within
// what a 16-bit reciprocal from the table allows; between ends it is the line between them within
// the stepping's rounding. The bounds are formed here from the arithmetic's own precision.
TEST_F(MmxSpanRecord, PerspectiveSegmentsDivideAtTheirEndsAndStepBetween) {
    struct Planes {
        float a, da, q, dq;
    };
    // q falls to a fifth across 45 pixels: a line through the ends of a wrongly placed segment
    // misses by many texels. Coordinates repeat (up to about 8.5), and go negative.
    const Planes planes[] = {{0.35f, 0.03f, 1.1f, -0.02f}, {-1.3f, 0.035f, 0.45f, 0.012f}};
    int rows = 0;
    for (bool alongT : {false, true})
        for (const Planes &pl : planes)
            for (int dir : {1, -1})
                for (int n : {5, 13, 16, 19, 45})
                    for (int place = 0; place < 4; ++place) {
                        const int first = dir > 0 ? 4 + place : 56 + place;
                        SCOPED_TRACE(::testing::Message() << (alongT ? "t" : "s") << " a " << pl.a << " direction " << dir
                                                          << " pixels " << n << " first x " << first);
                        prepare([&](GlContext *ctx) { coordinateTexture(ctx, alongT); });
                        std::fill(colorMem.bytes.begin(), colorMem.bytes.end(), 0x11);
                        GlSpan sp = row(dir, first, 5, n);
                        GlSpanFloatIter &coord = alongT ? sp.tw : sp.sw, &other = alongT ? sp.sw : sp.tw;
                        coord.rowStart = pl.a;
                        coord.step = pl.da;
                        other.rowStart = 0.25f * pl.q;  // a constant coordinate of 0.25 on the other axis
                        other.step = 0.25f * pl.dq;
                        sp.qw.rowStart = pl.q;
                        sp.qw.step = pl.dq;
                        ASSERT_EQ(run(sp), 1);
                        ++rows;

                        // The segment ends from the first pixel's place in its aligned group.
                        const int place4 = int((reinterpret_cast<uintptr_t>(colorMem.at(first, 5)) >> 1) & 3);
                        const int firstLength = dir > 0 ? 16 + ((4 - place4) & 3) : 16 + ((place4 + 1) & 3);
                        // The segment that reaches the row's end ends on its last pixel.
                        std::vector<int> ends{0};
                        for (int e = std::min(firstLength, n); ; e = std::min(e + 16, n)) {
                            ends.push_back(e == n ? n - 1 : e);
                            if (e == n) break;
                        }
                        auto plane = [](float start, float step, int at) { return double(start) + double(at) * double(step); };
                        double largest = 0.0;
                        for (int at : {0, n - 1})
                            for (const GlSpanFloatIter *it : {&sp.sw, &sp.tw, &sp.qw})
                                largest = std::max(largest, std::fabs(plane(it->rowStart, it->step, at)));
                        auto exact = [&](int at) { return plane(coord.rowStart, coord.step, at) / plane(pl.q, pl.dq, at); };
                        // The reciprocal: the table's floor, the interpolation toward zero from the
                        // fraction's top 8 bits, 0x8000 held to 0x7FFF: under 4 units of at least
                        // 0x4000. S and Q rounded to integers at the row's scale (the largest
                        // plane value at 2^21 or more). A unit of the 16.16 result either way.
                        auto endBound = [&](int at) {
                            const double v = std::fabs(exact(at)), q = plane(pl.q, pl.dq, at);
                            return v * 0x1p-12 + (1.0 + v) * (largest / q) * 0x1p-21 + 0x1p-15;
                        };
                        for (size_t k = 0; k + 1 < ends.size(); ++k) {
                            const int e0 = ends[k], e1 = ends[k + 1], len = e1 - e0;
                            const bool last = k + 2 == ends.size();
                            const double s0 = exact(e0), s1 = exact(e1), b0 = endBound(e0), b1 = endBound(e1);
                            // A last segment of one pixel is its own start: no steps.
                            const double reciprocal = len == 0 ? 0.0 : (len == 1 ? 0x7FFF : 0x8000 / len) / 32768.0;
                            const double perPixel =
                                len == 0 ? 0.0 : std::fabs(s1 - s0) * std::fabs(1.0 / len - reciprocal) + 0x1p-16;
                            for (int i = e0; i < e1 + (last ? 1 : 0); ++i) {
                                const int m = i - e0;
                                const double line = len == 0 ? s0 : s0 + (s1 - s0) * m / len;
                                const double bound = len == 0 ? b0 : b0 + (b0 + b1) * m / len + m * perPixel;
                                // Near a texel and a half at 8.5 repeats (the reciprocal's 2^-12); a
                                // misplaced segment end misses by tens of texels.
                                EXPECT_LT(bound * 256.0, 1.5) << "the bound is tight enough to tell segment ends apart";
                                const int x = first + dir * i;
                                const int shown = texelShown(*pixelAt(x, 5));
                                EXPECT_TRUE(texelInRange(shown, line - bound, line + bound))
                                    << "pixel " << i << " of segment " << e0 << ".." << e1 << ": texel " << shown
                                    << ", expected " << line * 256.0 << " +- " << bound * 256.0;
                            }
                        }
                        // Nothing outside the row.
                        EXPECT_EQ(*pixelAt(first - dir, 5), 0x1111);
                        EXPECT_EQ(*pixelAt(first + dir * n, 5), 0x1111);
                    }
    EXPECT_EQ(rows, 2 * 2 * 2 * 5 * 4);
}

// The level-0 rows of kPerspectiveRows at the default hint are the MMX routine's on the road a
// program takes; with the coordinate textures every road (the program's, whole triangles, the
// chain's chunks in both directions) samples within a bound formed here of the exact division the
// chain makes under GL_NICEST.
TEST_F(MmxSpan, PerspectiveAtTheDefaultHintIsTheMmxRoutinesAndNearTheDivision) {
    for (const Row &nicest : kPerspectiveRows) {
        SCOPED_TRACE(nicest.name);
        static const Row *base;
        base = &nicest;
        const Row row{"default hint", [](GlContext *ctx) {
                          base->set(ctx);
                          GL(glHint)(GL_PERSPECTIVE_CORRECTION_HINT, GL_DONT_CARE);
                      }};
        validate(row.set);
        const GlTextureObject *tex = ctx->state.span.fast.texture;
        const bool level0 = tex != nullptr && tex->minFilter == tex->magFilter;
        EXPECT_EQ(__glOgMmxSpanServes(ctx), level0);
        if (!level0) continue;
        const Picture road = draw(row, 3);
        EXPECT_EQ(road.form, "MMX span routine");
        EXPECT_NE(road.color, draw(row, 0).color) << "the default hint draws through the routine, not the chain";
    }
    // A floor: a quad over the window whose texture coordinates are planes in window x and y,
    // with q growing up the window and the same along each row (as a floor's w is), so that the
    // line between two segment ends is the division itself and every difference from the exact
    // picture is the reciprocal's: within 2^-12 of the coordinate at both ends (as in the record
    // test, the largest plane value of the row bounding what rounding S, T and Q costs), plus a
    // texel where the two pictures sample within one.
    const double c[2] = {0.05, 0.04}, d[2] = {0.1, 0.05}, qy = 0.03, q0 = 0.4;
    scene = [&] {
        GL(glBegin)(GL_QUADS);
        for (const auto &v : {std::array<float, 2>{0, 0}, {64, 0}, {64, 64}, {0, 64}}) {
            const double x = v[0], y = v[1];
            GL(glTexCoord4f)(float(c[0] * x + d[0]), float(c[1] * y + d[1]), 0.0f, float(q0 + qy * y));
            GL(glVertex2f)(v[0], v[1]);
        }
        GL(glEnd)();
    };
    const double largest = std::max({c[0] * 64 + d[0], c[1] * 64 + d[1], q0 + qy * 64});
    const double coordinateMax = largest / q0;
    const double bound = 256.0 * 2.0 * (coordinateMax * 0x1p-12 + (1.0 + coordinateMax) * (largest / q0) * 0x1p-21 + 0x1p-15) + 1.0;
    EXPECT_LT(bound, 3.0);
    for (int axis : {0, 1}) {
        SCOPED_TRACE(axis ? "t" : "s");
        static bool axisT;
        axisT = axis == 1;
        const Row exact{"nicest", [](GlContext *ctx) {
                            coordinateTexture(ctx, axisT);
                            GL(glHint)(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
                        }};
        const Row stepped{"default", [](GlContext *ctx) {
                              coordinateTexture(ctx, axisT);
                              GL(glHint)(GL_PERSPECTIVE_CORRECTION_HINT, GL_DONT_CARE);
                          }};
        open(kFormats[0], 16);
        const Picture chain = draw(exact, 0);
        for (int dir : {3, 2, 1, -1}) {
            SCOPED_TRACE(::testing::Message() << "road " << dir);
            const Picture p = draw(stepped, dir);
            if (dir == 3) {
                EXPECT_EQ(p.form, "MMX span routine");
            }
            int worst = 0;
            long sum = 0;
            for (int i = 0; i < kSide * kSide; ++i) {
                auto texel = [](const uint8_t *rgb) { return (rgb[0] >> 3) << 3 | (rgb[1] >> 5); };
                const int raw = texel(&p.color[size_t(3 * i)]) - texel(&chain.color[size_t(3 * i)]);
                const int signedDist = raw > 128 ? raw - 256 : raw < -128 ? raw + 256 : raw;
                worst = std::max(worst, std::abs(signedDist));
                sum += signedDist;
            }
            EXPECT_LE(worst, bound);
            // The reciprocal's roundings lean neither way over the window.
            EXPECT_LT(std::fabs(double(sum)) / (kSide * kSide), 0.1);
        }
    }
    scene = nullptr;
}

// Level 0's copy in the colour buffer's layout is made for the integer one-routine's replacing
// road, which copies from it, and not when the MMX routine draws, which reads the level itself.
TEST_F(MmxSpan, OnlyTheIntegerRoutineGetsTheLevelCopy) {
    const Row row{"rgb replace", [](GlContext *ctx) {
                      GL(glDisable)(GL_DITHER);
                      texture(ctx, GL_RGB, GL_RGB, GL_REPLACE);
                  }};
    for (int mmx : {1, 0}) {
        SCOPED_TRACE(mmx ? "MMX" : "no MMX");
        __glOgOverrideMmx(mmx);
        open(kFormats[0], 16);
        const Picture p = draw(row, 3);
        EXPECT_EQ(p.form, mmx ? "MMX span routine" : "one-routine span routine");
        EXPECT_EQ(p.levelCopy, mmx == 0);
    }
    __glOgOverrideMmx(-1);
}

}  // namespace
