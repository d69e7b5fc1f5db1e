// Validation's choice of the per-vertex procs: the clip checks, the complete-vertex procs, the
// executed table's vertex entries and the attribute copy for the current enables.
#include "icd/core/core.h"
#include "icd/core/pick.h"
#include "icd/vertex/vertex_ring.h"
#include "icd/vertex/array_procs.h"

namespace {
constexpr int kSlotBegin = glslot::glBegin, kSlotEnd = glslot::glEnd;
constexpr int kSlotVertex2fv = glslot::glVertex2fv, kSlotVertex3fv = glslot::glVertex3fv, kSlotVertex4fv = glslot::glVertex4fv;

// The copy procs by e: 1 normal (lighting) or 2 colour, +4 texture set 0, +8 set 1, +1 the
// normal for sphere mapping. The null entries are never chosen.
const GlVertexProc kRgbaCopies[16] = {
    nullptr, __glCopyCurrentNormal, __glCopyCurrentColor, nullptr,
    __glCopyCurrentTex, __glCopyCurrentNormalTex, __glCopyCurrentColorTex, __glCopyCurrentNormalColorTex,
    nullptr, __glCopyCurrentNormal, __glCopyCurrentColor, nullptr,
    __glCopyCurrentTex2, __glCopyCurrentNormalTex2, __glCopyCurrentColorTex2, __glCopyCurrentNormalColorTex2,
};
// Colour-index mode draws without textures: its upper half repeats the RGBA lower half.
const GlVertexProc kIndexCopies[16] = {
    nullptr, __glCopyCurrentNormal, __glCopyCurrentIndex, nullptr,
    __glCopyCurrentTex, __glCopyCurrentNormalTex, __glCopyCurrentIndexTex, __glCopyCurrentNormalIndexTex,
    nullptr, __glCopyCurrentNormal, __glCopyCurrentColor, nullptr,
    __glCopyCurrentTex, __glCopyCurrentNormalTex, __glCopyCurrentColorTex, __glCopyCurrentNormalColorTex,
};

void setEntry(GlProcTable *table, int slot, GlEntry entry) {
    if (table->slot[slot] != entry) table->slot[slot] = entry;
}
}  // namespace

void __glPickVertexProcs(GlContext *ctx) {
    GlPrimitiveProcs &p = ctx->slots.primitive;
    const GlEnableState &en = ctx->state.enable;

    // Clip checks. The 2-component check may skip z and w when the composite keeps them inside.
    if (en.clipPlaneEnables != 0) {
        p.clipCheck[0] = __glClipCheckUser2;
        p.clipCheck[1] = __glClipCheckUser3;
        p.clipCheck[2] = __glClipCheckUser4;
    } else {
        p.clipCheck[1] = p.clipCheck[2] = __glClipCheckFrustum;
        const GlTransform *top = ctx->state.transform.modelView;
        const bool xyOnly = top != nullptr && top->mvp.type >= kGlMatrixPlanar && top->mvp.m[14] >= -1.0f &&
                            top->mvp.m[14] <= 1.0f;
        p.clipCheck[0] = xyOnly ? __glClipCheckFrustumXY : __glClipCheckFrustum;
    }

    // Complete-vertex procs, by size code.
    p.completeVertex[0] = __glCompleteVertexNop;
    const bool needs = ctx->state.need.needMaskFront != 0;
    p.completeVertex[1] = needs ? __glCompleteVertex2 : __glCompleteVertexNop;
    p.completeVertex[2] = needs ? __glCompleteVertex3 : __glCompleteVertexNop;
    p.completeVertex[3] = needs ? __glCompleteVertex4 : __glCompleteVertexNop;

    // The vertex cache brings its own entries and attribute copies.
    if (ctx->vertexCache.vcacheOn) return __glInstallVertexCache(ctx);

    // The immediate entries, undoing a vertex cache installed there before.
    GlProcTable *table = ctx->execTable;
    setEntry(table, kSlotBegin, reinterpret_cast<GlEntry>(&icd::glBegin));
    setEntry(table, kSlotEnd, reinterpret_cast<GlEntry>(&icd::glEnd));
    setEntry(table, kSlotVertex2fv, reinterpret_cast<GlEntry>(&icd::glVertex2fv));
    setEntry(table, kSlotVertex3fv, reinterpret_cast<GlEntry>(&icd::glVertex3fv));
    setEntry(table, kSlotVertex4fv, reinterpret_cast<GlEntry>(&icd::glVertex4fv));

    // The attribute copy: feedback reports every attribute whatever the enables.
    const bool rgba = ctx->visual.rgbaMode != 0;
    if (ctx->renderMode == GL_FEEDBACK) {
        p.copyAttributes = rgba ? __glCopyCurrentNormalColorTex : __glCopyCurrentNormalIndexTex;
        return;
    }
    uint32_t e = (en.enables & kGlEnableLighting) ? 1 : 2;
    const GlPickState &pick = ctx->state.pick;
    if (pick.currentTextureMask != 0) {
        e |= 4;
        if (pick.currentTextureMask & ~1u) e |= 8;
        const uint32_t gen = en.texUnitEnables[0];
        const bool sphereS = (gen & kGlEnableTexGenS) && pick.texGenMode[0] == GL_SPHERE_MAP;
        const bool sphereT = (gen & (kGlEnableTexGenS << 1)) && pick.texGenMode[1] == GL_SPHERE_MAP;
        if (sphereS || sphereT) e |= 1;
    }
    p.copyAttributes = (rgba ? kRgbaCopies : kIndexCopies)[e];
}
