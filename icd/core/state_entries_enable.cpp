// glEnable / glDisable and glEnableClientState / glDisableClientState.
#include "icd/core/state_entries_util.h"

using namespace glstate;

namespace {

constexpr int kSlotDisableClientState = glslot::glDisableClientState;
constexpr int kSlotEnableClientState = glslot::glEnableClientState;

// What a capability does beyond setting its bit.
enum class After : uint8_t { None, CullFace, Lighting, ColorMaterial, Scissor };

struct CapRow {
    GLenum cap;
    uint32_t bit;
    uint32_t dirty;
    After after;
};

constexpr CapRow kCaps[] = {
    {GL_POINT_SMOOTH, kGlEnablePointSmooth, kGlDirtyGeneral, After::None},
    {GL_LINE_SMOOTH, kGlEnableLineSmooth, kGlDirtyGeneral, After::None},
    {GL_POLYGON_SMOOTH, kGlEnablePolygonSmooth, kGlDirtyGeneral, After::None},
    {GL_FOG, kGlEnableFog, kGlDirtyGeneral, After::None},
    {GL_STENCIL_TEST, kGlEnableStencilTest, kGlDirtyGeneral, After::None},
    {GL_NORMALIZE, kGlEnableNormalize, kGlDirtyGeneral, After::None},
    {GL_AUTO_NORMAL, kGlEnableAutoNormal, kGlDirtyGeneral, After::None},
    {GL_ALPHA_TEST, kGlEnableAlphaTest, kGlDirtyGeneral, After::None},
    {GL_DITHER, kGlEnableDither, kGlDirtyGeneral, After::None},
    {GL_BLEND, kGlEnableBlend, kGlDirtyGeneral, After::None},
    {GL_INDEX_LOGIC_OP, kGlEnableIndexLogicOp, kGlDirtyGeneral, After::None},
    {GL_COLOR_LOGIC_OP, kGlEnableColorLogicOp, kGlDirtyGeneral, After::None},
    {GL_CULL_VERTEX_EXT, kGlEnableCullVertex, kGlDirtyGeneral, After::None},
    {GL_LINE_STIPPLE, kGlEnableLineStipple, kGlDirtyLine, After::None},
    {GL_POLYGON_STIPPLE, kGlEnablePolygonStipple, kGlDirtyPolygon, After::None},
    {GL_CULL_FACE, kGlEnableCullFace, kGlDirtyPolygon, After::CullFace},
    {GL_LIGHTING, kGlEnableLighting, kGlDirtyLighting, After::Lighting},
    {GL_COLOR_MATERIAL, kGlEnableColorMaterial, kGlDirtyLighting, After::ColorMaterial},
    {GL_DEPTH_TEST, kGlEnableDepthTest, kGlDirtyDepth | kGlDirtyGeneral, After::None},
    {GL_SCISSOR_TEST, kGlEnableScissorTest, kGlDirtyScissor | kGlDirtyGeneral, After::Scissor},
    {GL_POLYGON_OFFSET_POINT, kGlEnablePolygonOffsetPoint, kGlDirtyPoint | kGlDirtyGeneral, After::None},
    {GL_POLYGON_OFFSET_LINE, kGlEnablePolygonOffsetLine, kGlDirtyLine | kGlDirtyGeneral, After::None},
    {GL_POLYGON_OFFSET_FILL, kGlEnablePolygonOffsetFill, kGlDirtyPolygon | kGlDirtyGeneral, After::None},
};

template <class Word>
void setBit(Word &word, uint32_t bit, bool on) {
    word = on ? Word(word | bit) : Word(word & ~bit);
}

bool isClientArray(GLenum cap) { return cap >= GL_VERTEX_ARRAY && cap <= GL_EDGE_FLAG_ARRAY; }

void setCapability(GLenum cap, bool on) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (isClientArray(cap)) {
        using ClientState = void(APIENTRY *)(GLenum);
        int slot = on ? kSlotEnableClientState : kSlotDisableClientState;
        reinterpret_cast<ClientState>(ctx->liveTable.slot[slot])(cap);
        return;
    }
    GlEnableState &e = ctx->state.enable;
    const GlUnitSelectState &units = ctx->state.unitSelect;
    if (cap == GL_TEXTURE_1D || cap == GL_TEXTURE_2D) {
        setBit(e.texUnitEnables[units.activeTexture], cap == GL_TEXTURE_1D ? kGlEnableTexture1D : kGlEnableTexture2D, on);
        markDirty(ctx, kGlDirtyGeneral);
        return;
    }
    if (cap >= GL_TEXTURE_GEN_S && cap <= GL_TEXTURE_GEN_Q) {
        setBit(e.texUnitEnables[units.activeTexCoordSet], kGlEnableTexGenS << (cap - GL_TEXTURE_GEN_S), on);
        markDirty(ctx, kGlDirtyGeneral);
        return;
    }
    if (cap - GL_CLIP_PLANE0 < uint32_t(ctx->limits.maxClipPlanes)) {
        setBit(e.clipPlaneEnables, 1u << (cap - GL_CLIP_PLANE0), on);
        markDirty(ctx, kGlDirtyGeneral);
        return;
    }
    if (cap - GL_LIGHT0 < uint32_t(ctx->limits.maxLights)) {
        setBit(e.lightEnables, 1u << (cap - GL_LIGHT0), on);
        markDirty(ctx, kGlDirtyLighting);
        return;
    }
    if (cap >= GL_MAP1_COLOR_4 && cap <= GL_MAP1_VERTEX_4) {
        setBit(e.map1Enables, 1u << (cap - GL_MAP1_COLOR_4), on);
        markDirty(ctx, kGlDirtyGeneral);
        return;
    }
    if (cap >= GL_MAP2_COLOR_4 && cap <= GL_MAP2_VERTEX_4) {
        setBit(e.map2Enables, 1u << (cap - GL_MAP2_COLOR_4), on);
        markDirty(ctx, kGlDirtyGeneral);
        return;
    }
    for (const CapRow &row : kCaps) {
        if (row.cap != cap) continue;
        bool was = (e.enables & row.bit) != 0;
        if (row.after == After::CullFace && was == on) return;
        if (row.after == After::Scissor && was && on) return;
        setBit(e.enables, row.bit, on);
        markDirty(ctx, row.dirty);
        switch (row.after) {
        case After::Lighting:
            runProc(ctx, ctx->slots.pickColorMaterial);
            runProc(ctx, ctx->slots.applyColor);
            break;
        case After::ColorMaterial:
            runProc(ctx, ctx->slots.pickColorMaterial);
            if (on) runProc(ctx, ctx->slots.applyColor);
            break;
        case After::Scissor:
            runProc(ctx, ctx->slots.computeClipBox);
            runProc(ctx, ctx->slots.scissorChanged);
            break;
        default:
            break;
        }
        return;
    }
    __glSetError(GL_INVALID_ENUM);
}

struct ArrayRow {
    GLenum array;
    uint32_t enableBit;
    uint32_t formatBits;
};

constexpr ArrayRow kArrays[] = {
    {GL_VERTEX_ARRAY, 0x20, 0xFF},
    {GL_NORMAL_ARRAY, 0x1, 0xF00},
    {GL_COLOR_ARRAY, 0x2, 0xFF000},
    {GL_INDEX_ARRAY, 0x8, 0xF0000000},
    {GL_TEXTURE_COORD_ARRAY, 0x4, 0x7F00000},
    {GL_EDGE_FLAG_ARRAY, 0x10, 0x8000000},
};

void setClientState(GLenum array, bool on) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    for (const ArrayRow &row : kArrays) {
        if (row.array != array) continue;
        GlArrayEnableState &a = ctx->state.arrayEnable;
        setBit(a.enableMask, row.enableBit, on);
        setBit(a.enabledFormatMask, row.formatBits, on);
        markDirty(ctx, kGlDirtyArrays);
        return;
    }
    __glSetError(GL_INVALID_ENUM);
}

}  // namespace

namespace icd {
void APIENTRY glEnable(GLenum cap) { setCapability(cap, true); }
void APIENTRY glDisable(GLenum cap) { setCapability(cap, false); }
void APIENTRY glEnableClientState(GLenum array) { setClientState(array, true); }
void APIENTRY glDisableClientState(GLenum array) { setClientState(array, false); }
}  // namespace icd
