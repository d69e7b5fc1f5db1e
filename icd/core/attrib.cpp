// glPushAttrib / glPopAttrib and the context copy. Every group is one definition below: its
// fields as (live, saved) pairs, the enable bits it owns, the validation marks of a restore and
// what a restore runs beyond copying. Push saves the groups of its mask into a stack entry; pop
// restores them in the table's order; the context copy saves the source's groups into a
// temporary entry and restores them into the destination.
#include <cstring>
#include "icd/core/attrib.h"
#include "icd/core/attrib_fields.h"
#include "icd/core/state_entries_util.h"
#include "icd/pixel/texture.h"
#include "icd/vertex/clip.h"
#include "icd/vertex/light.h"

using namespace glstate;
using glattrib::Load;
using glattrib::Save;

namespace {

constexpr int32_t kStackSlots = 16;  // entries allocated for each stack at context creation

// A pop restores from the context's own entry; a copy from another context's state, which may
// have another visual and whose procs are not run on the destination's device.
enum class Kind : uint8_t { Pop, Copy };

GlAttribEntry **serverBase(GlContext *ctx) { return reinterpret_cast<GlAttribEntry **>(ctx->arrays.attribStack); }
GlAttribEntry **&serverTop(GlContext *ctx) { return reinterpret_cast<GlAttribEntry **&>(ctx->arrays.attribStackTop); }

void freeBlock(GlContext *ctx, void *&block) {
    if (block != nullptr) ctx->hostProcs.free(ctx, block);
    block = nullptr;
}
template <class T>
void freeSide(GlContext *ctx, T *&block) {
    if (block != nullptr) ctx->hostProcs.free(ctx, block);
    block = nullptr;
}

template <class T>
bool allocSide(GlContext *ctx, T *&block, int32_t count) {
    if (count <= 0) return true;
    block = static_cast<T *>(ctx->hostProcs.calloc(ctx, size_t(count), sizeof(T)));
    return block != nullptr;
}

// The raster-position record's colour pointer addresses the record itself: it follows the copy.
void rebaseColor(GlVertex &to, const GlVertex &from) {
    if (from.color == nullptr) return;
    to.color = from.color == from.backColor ? to.backColor : to.frontColor;
}

// Buffers a visual without a back buffer cannot name resolve to the front one (a copy from a
// double-buffered context).
GLenum fitBuffer(const GlContext *ctx, GLenum resolved) {
    if (ctx->visual.doubleBuffer) return resolved;
    return resolved == GL_BACK || resolved == GL_FRONT_AND_BACK ? GL_FRONT : resolved;
}

// ---- the groups ----------------------------------------------------------------------------------
// Defaults every group shares; a group defines only what it has.
struct Group {
    static constexpr uint32_t enableBits = 0;
    static constexpr uint32_t popDirty = 0, copyDirty = 0;
    static constexpr uint32_t popTables = 0, copyTables = 0;
    template <class M>
    static void fields(GlContext *, GlAttribEntry &, M) {}
    static bool saveExtra(GlContext *, GlAttribEntry &) { return true; }
    static void restoreExtra(GlContext *, GlAttribEntry &, Kind) {}
};

struct AccumGroup : Group {
    static constexpr GLbitfield bit = GL_ACCUM_BUFFER_BIT;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) { m(c->state.color.clearAccum, e.clearAccum); }
};

struct ColorBufferGroup : Group {
    static constexpr GLbitfield bit = GL_COLOR_BUFFER_BIT;
    static constexpr uint32_t enableBits =
        kGlEnableAlphaTest | kGlEnableBlend | kGlEnableIndexLogicOp | kGlEnableDither | kGlEnableColorLogicOp;
    // The alpha-test table is rebuilt at the next validation. A pop also sets table bit 0x8, which
    // no table uses: any table bit keeps validation off its arrays-only shortcut.
    static constexpr uint32_t popTables = kGlTableAlphaTest | 0x8, copyTables = kGlTableAlphaTest;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) {
        GlAttribColorBuffer &b = e.colorBuffer;
        GlColorBufferState &s = c->state.color;
        m(c->state.mode.alphaFunc, b.alphaFunc);
        m(s.alphaRef, b.alphaRef);
        m(s.blendSrcFactor, b.blendSrcFactor);
        m(s.blendDstFactor, b.blendDstFactor);
        m(c->state.mode.logicOp, b.logicOp);
        m(s.clearColor, b.clearColor);
        m(s.clearIndex, b.clearIndex);
        m(s.indexMask, b.indexMask);
        m(s.colorMask, b.colorMask);
        m(c->state.mode.drawBuffer, b.drawBuffer);
        m(s.drawBufferRequested, b.drawBufferRequested);
    }
    static void restoreExtra(GlContext *c, GlAttribEntry &, Kind) {
        GlModeState &mode = c->state.mode;
        GLenum fitted = fitBuffer(c, mode.drawBuffer);
        if (fitted != mode.drawBuffer && mode.drawBuffer == GL_BACK) c->state.color.drawBufferRequested = GL_FRONT;
        mode.drawBuffer = fitted;
        c->state.color.indexMask &= maskOfBits(c->visual.indexBits);
    }
};

struct CurrentGroup : Group {
    static constexpr GLbitfield bit = GL_CURRENT_BIT;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) { m(c->current, e.current); }
    static bool saveExtra(GlContext *c, GlAttribEntry &e) {
        rebaseColor(e.current.vertex.rasterPos, c->current.vertex.rasterPos);
        return true;
    }
    // The scaled colour and colour material follow the restored colour, as after glColor.
    static void restoreExtra(GlContext *c, GlAttribEntry &e, Kind) {
        rebaseColor(c->current.vertex.rasterPos, e.current.vertex.rasterPos);
        runProc(c, c->slots.applyColor);
    }
};

struct DepthGroup : Group {
    static constexpr GLbitfield bit = GL_DEPTH_BUFFER_BIT;
    static constexpr uint32_t enableBits = kGlEnableDepthTest;
    static constexpr uint32_t popDirty = kGlDirtyDepth, copyDirty = kGlDirtyDepth;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) {
        m(c->state.mode.depthFunc, e.depth.func);
        m(c->state.depthStencil.depthWriteMask, e.depth.writeMask);
        m(c->state.mode.depthClear, e.depth.clear);
    }
};

struct EnableGroup : Group {
    static constexpr GLbitfield bit = GL_ENABLE_BIT;
    static constexpr uint32_t popDirty = 0x1BE, copyDirty = 0x1AE;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) {
        if constexpr (std::is_same_v<M, Load>) m(c->state.enable, e.enables);  // always saved
    }
    static void restoreExtra(GlContext *c, GlAttribEntry &, Kind kind) {
        runProc(c, c->slots.pickColorMaterial);
        runProc(c, c->slots.applyColor);
        if (kind == Kind::Pop) {
            runProc(c, c->slots.computeClipBox);
            runProc(c, c->slots.scissorChanged);
        }
    }
};

// The grids and the map enables; the maps themselves are not part of the group.
struct EvalGroup : Group {
    static constexpr GLbitfield bit = GL_EVAL_BIT;
    static constexpr uint32_t enableBits = kGlEnableAutoNormal;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) { m(c->state.eval.grids, e.evalGrids); }
    static void restoreExtra(GlContext *c, GlAttribEntry &e, Kind) {
        c->state.enable.map1Enables = e.enables.map1Enables;
        c->state.enable.map2Enables = e.enables.map2Enables;
    }
};

struct FogGroup : Group {
    static constexpr GLbitfield bit = GL_FOG_BIT;
    static constexpr uint32_t enableBits = kGlEnableFog;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) { m(c->state.fog, e.fog); }
    // The scaled colour is in the destination's colour-buffer units.
    static void restoreExtra(GlContext *c, GlAttribEntry &, Kind) {
        __glScaleColor(c, c->state.fog.fogScaledColor, c->state.fog.fogColor);
    }
};

struct HintGroup : Group {
    static constexpr GLbitfield bit = GL_HINT_BIT;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) { m(c->state.mode.hints, e.hints); }
};

struct LightingGroup : Group {
    static constexpr GLbitfield bit = GL_LIGHTING_BIT;
    static constexpr uint32_t enableBits = kGlEnableLighting | kGlEnableColorMaterial;
    static constexpr uint32_t popDirty = kGlDirtyLighting, copyDirty = kGlDirtyLighting;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) {
        GlAttribLighting &l = e.lighting;
        m(c->state.mode.colorMaterialFace, l.colorMaterialFace);
        m(c->state.mode.colorMaterialParam, l.colorMaterialParam);
        m(c->state.mode.shadeModel, l.shadeModel);
        m(c->state.lighting, l.lighting);
    }
    static bool saveExtra(GlContext *c, GlAttribEntry &e) {
        GlLightSource *live = __glLightSources(c);
        int32_t n = c->limits.maxLights;
        if (live == nullptr || n <= 0) return true;
        if (!allocSide(c, e.lighting.lights, n)) return false;
        std::memcpy(e.lighting.lights, live, size_t(n) * sizeof(GlLightSource));
        return true;
    }
    static void restoreExtra(GlContext *c, GlAttribEntry &e, Kind) {
        GlLightSource *live = __glLightSources(c);
        if (live != nullptr && e.lighting.lights != nullptr)
            std::memcpy(live, e.lighting.lights, size_t(c->limits.maxLights) * sizeof(GlLightSource));
        c->state.enable.lightEnables = e.enables.lightEnables;
    }
};

struct LineGroup : Group {
    static constexpr GLbitfield bit = GL_LINE_BIT;
    static constexpr uint32_t enableBits = kGlEnableLineStipple | kGlEnableLineSmooth;
    static constexpr uint32_t popDirty = kGlDirtyLine, copyDirty = kGlDirtyLine;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) { m(c->state.line, e.line); }
};

struct ListGroup : Group {
    static constexpr GLbitfield bit = GL_LIST_BIT;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) { m(c->state.list.listBase, e.listBase); }
};

struct PixelModeGroup : Group {
    static constexpr GLbitfield bit = GL_PIXEL_MODE_BIT;
    static constexpr uint32_t popDirty = kGlDirtyPixel, copyDirty = kGlDirtyPixel;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) {
        GlPixelState &p = c->state.pixel;
        m(p.readBuffer, e.pixelMode.readBuffer);
        m(p.readBufferRequested, e.pixelMode.readBufferRequested);
        m(p.transfer, e.pixelMode.transfer);
    }
    // The transfer tables are built again from the restored scales and biases.
    static void restoreExtra(GlContext *c, GlAttribEntry &, Kind) {
        GlPixelState &p = c->state.pixel;
        GLenum fitted = fitBuffer(c, p.readBuffer);
        if (fitted != p.readBuffer) p.readBufferRequested = fitted;
        p.readBuffer = fitted;
        __glInvalidatePixelTables(c);
    }
};

struct PointGroup : Group {
    static constexpr GLbitfield bit = GL_POINT_BIT;
    static constexpr uint32_t enableBits = kGlEnablePointSmooth;
    static constexpr uint32_t popDirty = kGlDirtyPoint, copyDirty = kGlDirtyPoint;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) { m(c->state.point, e.point); }
};

struct PolygonGroup : Group {
    static constexpr GLbitfield bit = GL_POLYGON_BIT;
    static constexpr uint32_t enableBits = kGlEnablePolygonSmooth | kGlEnablePolygonStipple | kGlEnableCullFace |
                                           kGlEnablePolygonOffsetPoint | kGlEnablePolygonOffsetLine |
                                           kGlEnablePolygonOffsetFill;
    static constexpr uint32_t popDirty = kGlDirtyPolygon, copyDirty = kGlDirtyPolygon;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) {
        GlModeState &s = c->state.mode;
        m(s.polygonMode, e.polygon.polygonMode);
        m(s.cullFace, e.polygon.cullFace);
        m(s.frontFace, e.polygon.frontFace);
        m(c->state.polygonOffset, e.polygon.offset);
    }
};

struct StippleGroup : Group {
    static constexpr GLbitfield bit = GL_POLYGON_STIPPLE_BIT;
    static constexpr uint32_t enableBits = kGlEnablePolygonStipple;
    static constexpr uint32_t popDirty = kGlDirtyPolygon, copyDirty = kGlDirtyPolygon | kGlDirtyStipple;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) { m(c->state.mode.polygonStipple, e.stipple); }
    static void restoreExtra(GlContext *c, GlAttribEntry &, Kind kind) {
        if (kind == Kind::Pop) runProc(c, c->slots.buildPolygonStippleMasks);
    }
};

struct ScissorGroup : Group {
    static constexpr GLbitfield bit = GL_SCISSOR_BIT;
    static constexpr uint32_t enableBits = kGlEnableScissorTest;
    static constexpr uint32_t popDirty = kGlDirtyScissor, copyDirty = kGlDirtyScissor;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) {
        GlTransformState &t = c->state.transform;
        m(t.scissorX, e.scissor.x);
        m(t.scissorY, e.scissor.y);
        m(t.scissorWidth, e.scissor.width);
        m(t.scissorHeight, e.scissor.height);
    }
    static void restoreExtra(GlContext *c, GlAttribEntry &, Kind kind) {
        if (kind != Kind::Pop) return;
        __glUpdateClipBox(c);
        runProc(c, c->slots.scissorChanged);
    }
};

struct StencilGroup : Group {
    static constexpr GLbitfield bit = GL_STENCIL_BUFFER_BIT;
    static constexpr uint32_t enableBits = kGlEnableStencilTest;
    static constexpr uint32_t popTables = kGlTableStencilFunc | kGlTableStencilOp;
    static constexpr uint32_t copyTables = popTables;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) {
        GlModeState &s = c->state.mode;
        GlDepthStencilState &ds = c->state.depthStencil;
        GlAttribStencil &b = e.stencil;
        m(s.stencilFunc, b.func);
        m(ds.stencilClear, b.clear);
        m(ds.stencilRef, b.ref);
        m(s.stencilValueMask, b.valueMask);
        m(s.stencilWriteMask, b.writeMask);
        m(s.stencilFail, b.fail);
        m(s.stencilDepthFail, b.depthFail);
        m(s.stencilDepthPass, b.depthPass);
    }
    // Values of a copy are cut to the destination's stencil bits, as the entries cut them.
    static void restoreExtra(GlContext *c, GlAttribEntry &, Kind) {
        uint32_t all = maskOfBits(c->visual.stencilBits);
        GlDepthStencilState &ds = c->state.depthStencil;
        ds.stencilClear &= all;
        if (ds.stencilRef > all) ds.stencilRef = all;
        c->state.mode.stencilValueMask &= all;
        c->state.mode.stencilWriteMask &= all;
    }
};

// In texture-kind order: kind 0 is GL_TEXTURE_1D, kind 1 GL_TEXTURE_2D.
constexpr GLenum kTextureTargets[kGlAttribTexTargets] = {GL_TEXTURE_1D, GL_TEXTURE_2D};
constexpr uint32_t kUnitEnableBits = 0x3F;  // 1-D, 2-D and the four generation enables

// The parameter words of a texture object as (live, saved) pairs.
template <class M>
void texParamFields(GlTextureObject &tex, GlAttribTexBinding &b, M m) {
    m(tex.wrapS, b.wrapS);
    m(tex.wrapT, b.wrapT);
    m(tex.minFilter, b.minFilter);
    m(tex.magFilter, b.magFilter);
    m(tex.borderColor, b.borderColor);
}

int32_t envRecordsOf(const GlContext *c, int32_t unit) {
    const GlTextureBindingState &b = c->state.textures;
    if (b.env[unit] == nullptr) return 0;
    return b.envCount < kGlTexEnvTargets ? b.envCount : kGlTexEnvTargets;
}

struct TextureGroup : Group {
    static constexpr GLbitfield bit = GL_TEXTURE_BIT;
    static constexpr uint32_t popDirty = kGlDirtyTexture, copyDirty = kGlDirtyTexture;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) { m(c->state.texGen, e.texture.texGen); }
    static bool saveExtra(GlContext *c, GlAttribEntry &e) {
        GlTextureBindingState &b = c->state.textures;
        for (int32_t unit = 0; unit < kGlTextureUnits; ++unit) {
            for (int32_t t = 0; t < kGlAttribTexTargets; ++t) {
                GlAttribTexBinding &saved = e.texture.bindings[unit][t];
                saved = GlAttribTexBinding{};
                GlTextureObject *tex = __glLookUpBoundTexture(c, unit, kTextureTargets[t]);
                if (tex == nullptr) continue;
                saved.name = tex->name;
                texParamFields(*tex, saved, Save{});
            }
            for (int32_t k = 0; k < envRecordsOf(c, unit); ++k) e.texture.env[unit][k] = b.env[unit][k];
        }
        return true;
    }
    // The saved textures are bound again where another one is bound now, get their parameters
    // back and are checked again at the next validation. Every unit's enables come back, not
    // only the first unit's.
    static void restoreExtra(GlContext *c, GlAttribEntry &e, Kind) {
        GlTextureBindingState &b = c->state.textures;
        for (int32_t unit = 0; unit < kGlTextureUnits; ++unit) {
            for (int32_t t = 0; t < kGlAttribTexTargets; ++t) {
                GlAttribTexBinding &saved = e.texture.bindings[unit][t];
                GlTextureObject *tex = __glLookUpBoundTexture(c, unit, kTextureTargets[t]);
                if ((tex != nullptr ? tex->name : 0) != saved.name) {
                    __glBindTextureToUnit(c, unit, t, saved.name);
                    tex = __glLookUpBoundTexture(c, unit, kTextureTargets[t]);
                }
                // Only the object saved (its name may now stand for another one in a copy).
                if (tex == nullptr || tex->name != saved.name) continue;
                texParamFields(*tex, saved, Load{});
                tex->consistencyDirty = 1;
            }
            for (int32_t k = 0; k < envRecordsOf(c, unit); ++k) b.env[unit][k] = e.texture.env[unit][k];
            // The first unit's mode is mirrored where the pickers read it, as glTexEnv does.
            if (unit == 0 && envRecordsOf(c, 0) > 0) c->state.pick.texEnvMode = b.env[0][0].mode;
            uint32_t &word = c->state.enable.texUnitEnables[unit];
            word = (word & ~kUnitEnableBits) | (e.enables.texUnitEnables[unit] & kUnitEnableBits);
        }
    }
};

struct TransformGroup : Group {
    static constexpr GLbitfield bit = GL_TRANSFORM_BIT;
    static constexpr uint32_t enableBits = kGlEnableNormalize;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) { m(c->state.transform.matrixMode, e.transform.matrixMode); }
    static bool saveExtra(GlContext *c, GlAttribEntry &e) {
        const float *live = static_cast<const float *>(c->arrays.clipPlanes);
        int32_t n = c->limits.maxClipPlanes;
        if (live == nullptr || n <= 0) return true;
        if (!allocSide(c, e.transform.clipPlanes, 4 * n)) return false;
        std::memcpy(e.transform.clipPlanes, live, size_t(n) * 4 * sizeof(float));
        return true;
    }
    static void restoreExtra(GlContext *c, GlAttribEntry &e, Kind) {
        float *live = static_cast<float *>(c->arrays.clipPlanes);
        if (live != nullptr && e.transform.clipPlanes != nullptr)
            std::memcpy(live, e.transform.clipPlanes, size_t(c->limits.maxClipPlanes) * 4 * sizeof(float));
        c->state.enable.clipPlaneEnables = e.enables.clipPlaneEnables;
    }
};

struct ViewportGroup : Group {
    static constexpr GLbitfield bit = GL_VIEWPORT_BIT;
    // The depth range comes back with the viewport: marked as glDepthRange marks it.
    static constexpr uint32_t popDirty = kGlDirtyDepth, copyDirty = kGlDirtyDepth;
    template <class M>
    static void fields(GlContext *c, GlAttribEntry &e, M m) {
        GlTransformState &t = c->state.transform;
        m(t.viewport, e.viewport.viewport);
        m(t.depthNear, e.viewport.depthNear);
        m(t.depthFar, e.viewport.depthFar);
    }
    // The derived words are the destination's: its depth buffer, its drawable.
    static void restoreExtra(GlContext *c, GlAttribEntry &, Kind) {
        __glUpdateDepthRange(c);
        GlTransformState &t = c->state.transform;
        if (t.procs.applyViewport != nullptr) t.procs.applyViewport(c);
    }
};

// ---- the table -----------------------------------------------------------------------------------
struct Row {
    GLbitfield bit;
    void (*save)(GlContext *ctx, GlAttribEntry &e);
    bool (*saveExtra)(GlContext *ctx, GlAttribEntry &e);
    void (*load)(GlContext *ctx, GlAttribEntry &e);
    void (*restoreExtra)(GlContext *ctx, GlAttribEntry &e, Kind kind);
    uint32_t enableBits;
    uint32_t dirty[2], tables[2];  // by Kind
};

template <class G>
void saveFields(GlContext *ctx, GlAttribEntry &e) { G::fields(ctx, e, Save{}); }
template <class G>
void loadFields(GlContext *ctx, GlAttribEntry &e) { G::fields(ctx, e, Load{}); }

template <class G>
constexpr Row rowOf() {
    return {G::bit, &saveFields<G>, &G::saveExtra, &loadFields<G>, &G::restoreExtra, G::enableBits,
            {G::popDirty, G::copyDirty}, {G::popTables, G::copyTables}};
}

// In restore order.
constexpr Row kGroups[] = {
    rowOf<AccumGroup>(),    rowOf<ColorBufferGroup>(), rowOf<CurrentGroup>(), rowOf<DepthGroup>(),
    rowOf<EnableGroup>(),   rowOf<EvalGroup>(),        rowOf<FogGroup>(),     rowOf<HintGroup>(),
    rowOf<LightingGroup>(), rowOf<LineGroup>(),        rowOf<ListGroup>(),    rowOf<PixelModeGroup>(),
    rowOf<PointGroup>(),    rowOf<PolygonGroup>(),     rowOf<StippleGroup>(), rowOf<ScissorGroup>(),
    rowOf<StencilGroup>(),  rowOf<TextureGroup>(),     rowOf<TransformGroup>(), rowOf<ViewportGroup>(),
};

void releaseSideCopies(GlContext *ctx, GlAttribEntry &e) {
    freeSide(ctx, e.lighting.lights);
    freeSide(ctx, e.transform.clipPlanes);
}

// Saves the groups of mask; false (with nothing left allocated) when a side copy cannot be had.
bool saveGroups(GlContext *ctx, GlAttribEntry &e, GLbitfield mask) {
    releaseSideCopies(ctx, e);
    e.mask = mask;
    e.enables = ctx->state.enable;
    for (const Row &row : kGroups) {
        if (!(mask & row.bit)) continue;
        row.save(ctx, e);
        if (!row.saveExtra(ctx, e)) {
            releaseSideCopies(ctx, e);
            e.mask = 0;
            return false;
        }
    }
    return true;
}

void restoreGroups(GlContext *ctx, GlAttribEntry &e, Kind kind) {
    const int k = int(kind);
    for (const Row &row : kGroups) {
        if (!(e.mask & row.bit)) continue;
        row.load(ctx, e);
        uint32_t &enables = ctx->state.enable.enables;
        enables = (enables & ~row.enableBits) | (e.enables.enables & row.enableBits);
        row.restoreExtra(ctx, e, kind);
        ctx->dirtyMask |= row.dirty[k];
        ctx->tableDirtyMask |= row.tables[k];
    }
    e.mask = 0;
    markDirty(ctx, kGlDirtyGeneral);
}

}  // namespace

void __glCopyContext(GlContext *ctx, GlContext *source, GLbitfield mask) {
    if (ctx == nullptr || source == nullptr || ctx == source) return;
    GlAttribEntry e;
    std::memset(&e, 0, sizeof(e));
    if (!saveGroups(source, e, mask)) {
        __glSetError(GL_OUT_OF_MEMORY);
        return;
    }
    restoreGroups(ctx, e, Kind::Copy);
    releaseSideCopies(source, e);
}

void __glFreeAttribStack(GlContext *ctx) {
    GlArraysArea &a = ctx->arrays;
    if (a.attribStack != nullptr) {
        for (int32_t i = 0; i < kStackSlots; ++i) {
            GlAttribEntry *&e = serverBase(ctx)[i];
            if (e == nullptr) continue;
            releaseSideCopies(ctx, *e);
            freeSide(ctx, e);
        }
    }
    if (a.clientAttribStack != nullptr)
        for (int32_t i = 0; i < kStackSlots; ++i) freeBlock(ctx, a.clientAttribStack[i]);
    a.attribStackTop = a.attribStack;
    a.clientAttribStackTop = a.clientAttribStack;
}

namespace icd {

void APIENTRY glPushAttrib(GLbitfield mask) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlAttribEntry **base = serverBase(ctx);
    GlAttribEntry **&top = serverTop(ctx);
    int32_t depth = ctx->limits.maxAttribStackDepth < kStackSlots ? ctx->limits.maxAttribStackDepth : kStackSlots;
    if (base == nullptr || top - base >= depth) return __glSetError(GL_STACK_OVERFLOW);
    if (*top == nullptr) {
        *top = static_cast<GlAttribEntry *>(ctx->hostProcs.calloc(ctx, 1, sizeof(GlAttribEntry)));
        if (*top == nullptr) return __glSetError(GL_OUT_OF_MEMORY);
    }
    if (!saveGroups(ctx, **top, mask)) return __glSetError(GL_OUT_OF_MEMORY);
    ++top;
}

void APIENTRY glPopAttrib(void) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlAttribEntry **base = serverBase(ctx);
    GlAttribEntry **&top = serverTop(ctx);
    if (base == nullptr || top == base) return __glSetError(GL_STACK_UNDERFLOW);
    GlAttribEntry &e = **--top;
    restoreGroups(ctx, e, Kind::Pop);
    releaseSideCopies(ctx, e);
}

}  // namespace icd
