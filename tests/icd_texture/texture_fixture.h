// A current context whose allocations are tracked: blocks taken through the host procs after
// the fixture opened the context are counted until they are freed, and the Nth allocation from
// a chosen point can be made to fail.
#pragma once
#include <cstring>
#include <set>
#include "tests/icd_state/state_fixture.h"
#include "icd/pixel/texture.h"
#include "icd/pixel/texel_format.h"

struct AllocTracker {
    static std::set<void *> &live() {
        static std::set<void *> blocks;
        return blocks;
    }
    static int &failAfter() {  // 0: never; 1: the next allocation fails
        static int n = 0;
        return n;
    }
    static GlHostProcs &real() {
        static GlHostProcs procs;
        return procs;
    }
    static bool failNow() {
        int &n = failAfter();
        return n > 0 && --n == 0;
    }
    static void *take(void *p) {
        if (p != nullptr) live().insert(p);
        return p;
    }
    static void *alloc(GlContext *ctx, size_t size) { return failNow() ? nullptr : take(real().alloc(ctx, size)); }
    static void *calloc(GlContext *ctx, size_t n, size_t size) {
        return failNow() ? nullptr : take(real().calloc(ctx, n, size));
    }
    static void *realloc(GlContext *ctx, void *block, size_t size) {
        if (failNow()) return nullptr;
        void *p = real().realloc(ctx, block, size);
        if (p != nullptr || size == 0) live().erase(block);
        return take(p);
    }
    static void free(GlContext *ctx, void *block) {
        live().erase(block);
        real().free(ctx, block);
    }
    static void install(GlContext *ctx) {
        real() = ctx->hostProcs;
        live().clear();
        failAfter() = 0;
        wrap(ctx);
    }
    // Another context of the same process: its blocks count in the same set.
    static void wrap(GlContext *ctx) {
        ctx->hostProcs.alloc = alloc;
        ctx->hostProcs.calloc = calloc;
        ctx->hostProcs.realloc = realloc;
        ctx->hostProcs.free = free;
    }
};

// Texel (x, y) of a level of 16-bit texels.
inline uint16_t texel16(const GlMipLevel *l, int x, int y) {
    uint16_t v;
    std::memcpy(&v, l->image + (y * l->width + x) * 2, 2);
    return v;
}

class TextureTest : public StateTest {
protected:
    void SetUp() override {
        StateTest::SetUp();
        if (HasFatalFailure()) return;
        AllocTracker::install(ctx);
        settle();
    }
    void TearDown() override {
        AllocTracker::failAfter() = 0;
        StateTest::TearDown();
    }
    GLenum error() { return GL(glGetError)(); }
    GLint getInt(GLenum pname) {
        GLint v = -1;
        GL(glGetIntegerv)(pname, &v);
        return v;
    }
    size_t liveBlocks() const { return AllocTracker::live().size(); }
    GlTextureObject *bound(GLenum target, int unit = 0) { return __glLookUpBoundTexture(ctx, unit, target); }
    // Stores a level of the object bound for the target directly (no texels copied).
    uint8_t *store(GLenum target, int level, GLenum internalFormat, int w, int h, int border = 0) {
        GlTextureObject *tex = bound(target);
        return tex->storeLevel(ctx, tex, level, internalFormat, w, h, 2 * border + 1, border);
    }
};
