// Name spaces of the object kinds that a share group holds (display lists, texture objects).
#pragma once
#include <cstdint>

struct GlContext;
struct GlNameKind;

struct GlNameSpace {
    void *root;
    int32_t depth;
    int32_t refCount;  // contexts holding this space; the last release frees it
    const GlNameKind *kind;
    int32_t spareBranchCount, spareLeafCount;
    void *spareBranches[16];
    void *spareLeaves[3];
};

// A new name space of the kind row (0 display lists, 1 texture objects) with refCount 1, or
// null (GL_OUT_OF_MEMORY raised) when it cannot be allocated.
GlNameSpace *__glNewNameSpace(GlContext *ctx, int32_t kindIndex);
// Frees a name space whose refCount has reached 0.
void __glFreeNameSpace(GlContext *ctx, GlNameSpace *ns);
