// Compiled material blocks: a run of glMaterial commands of a display list gathered per face,
// written as one block with its shininess tables already built, executed without building
// tables, and freed with the list.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/state_entries.h"
#include "icd/vertex/light.h"
#include "icd/vertex/power.h"

namespace {

struct Field {
    uint32_t bit;
    int32_t words;  // in the block
};
// The order of the values in a block entry.
constexpr Field kFields[] = {
    {kGlMaterialAmbient, 4}, {kGlMaterialDiffuse, 4}, {kGlMaterialSpecular, 4},
    {kGlMaterialEmission, 4}, {kGlMaterialShininess, 2}, {kGlMaterialIndexes, 3},
};

inline uint32_t wordOf(float f) {
    uint32_t w;
    std::memcpy(&w, &f, 4);
    return w;
}
inline float floatOf(uint32_t w) {
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}
inline void copy4(float *out, const float *in) { std::memcpy(out, in, 16); }

int32_t entryWords(uint32_t bits) {
    int32_t n = 2;
    for (const Field &f : kFields)
        if (bits & f.bit) n += f.words;
    return n;
}

GlSpecularTable *tableAt(const uint32_t *w) {
    GlSpecularTable *t;
    std::memcpy(&t, w, sizeof(t));
    return t;
}

}  // namespace

bool __glAccumulateListMaterial(GlContext *, GlMaterialAccumulator *a, uint32_t pname, const float *v) {
    switch (pname) {
    case GL_AMBIENT: copy4(a->ambient, v), a->bits |= kGlMaterialAmbient; break;
    case GL_DIFFUSE: copy4(a->diffuse, v), a->bits |= kGlMaterialDiffuse; break;
    case GL_AMBIENT_AND_DIFFUSE:
        copy4(a->ambient, v), copy4(a->diffuse, v);
        a->bits |= kGlMaterialAmbient | kGlMaterialDiffuse;
        break;
    case GL_SPECULAR: copy4(a->specular, v), a->bits |= kGlMaterialSpecular; break;
    case GL_EMISSION: copy4(a->emission, v), a->bits |= kGlMaterialEmission; break;
    case GL_SHININESS: a->shininess = v[0], a->bits |= kGlMaterialShininess; break;
    case GL_COLOR_INDEXES:
        a->indexes[0] = v[0], a->indexes[1] = v[2], a->indexes[2] = v[1];
        a->bits |= kGlMaterialIndexes;
        break;
    default: return false;
    }
    return true;
}

int32_t __glMaterialBlockWords(const GlMaterialAccumulator acc[2]) {
    int32_t n = 1;
    for (int i = 0; i < 2; ++i)
        if (acc[i].bits) n += entryWords(acc[i].bits);
    return n;
}

bool __glWriteMaterialBlock(GlContext *ctx, const GlMaterialAccumulator acc[2], uint32_t *w) {
    bool tables = false;
    for (int i = 0; i < 2; ++i) {
        const GlMaterialAccumulator &a = acc[i];
        if (!a.bits) continue;
        *w++ = a.face;
        *w++ = a.bits;
        auto put = [&](const float *v, int n) {
            for (int k = 0; k < n; ++k) *w++ = wordOf(v[k]);
        };
        if (a.bits & kGlMaterialAmbient) put(a.ambient, 4);
        if (a.bits & kGlMaterialDiffuse) put(a.diffuse, 4);
        if (a.bits & kGlMaterialSpecular) put(a.specular, 4);
        if (a.bits & kGlMaterialEmission) put(a.emission, 4);
        if (a.bits & kGlMaterialShininess) {
            *w++ = wordOf(a.shininess);
            // A table that cannot be built now is built when the block runs.
            GlSpecularTable *t = __glGetSpecularTable(ctx, a.shininess);
            std::memcpy(w++, &t, sizeof(t));
            tables |= t != nullptr;
        }
        if (a.bits & kGlMaterialIndexes) put(a.indexes, 3);
    }
    *w = 0;
    return tables;
}

// Runs like the glMaterial commands it replaces: vertices the open primitive holds are
// finished first, and a colour-material field takes the current colour again afterwards.
void __glExecMaterialBlock(const void *block) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin && ctx->state.need.needMaskPending != 0 && ctx->slots.completePending != nullptr)
        ctx->slots.completePending(ctx);
    GlLightingState &lit = ctx->state.lighting;
    GlLightingCaches &lc = ctx->state.lightingCaches;
    uint32_t faceBits[2] = {0, 0};
    const uint32_t *w = static_cast<const uint32_t *>(block);
    while (*w != 0) {
        int face = w[0] == GL_BACK ? 1 : 0;
        uint32_t bits = w[1];
        w += 2;
        GlMaterial &m = face ? lit.backMaterial : lit.frontMaterial;
        GlMaterialCache &cache = face ? lc.backMaterialCache : lc.frontMaterialCache;
        auto get = [&](float *out, int n) {
            for (int k = 0; k < n; ++k) out[k] = floatOf(*w++);
        };
        if (bits & kGlMaterialAmbient) get(m.ambient, 4);
        if (bits & kGlMaterialDiffuse) get(m.diffuse, 4);
        if (bits & kGlMaterialSpecular) get(m.specular, 4);
        if (bits & kGlMaterialEmission) {
            float e[4];
            get(e, 4);
            __glScaleColor(ctx, m.emission, e);
        }
        if (bits & kGlMaterialShininess) {
            m.shininess = floatOf(*w++);
            GlSpecularTable *t = tableAt(w++);
            if (t != nullptr) {
                t->refCount += 1;
                __glReleaseSpecularTable(ctx, cache.specularTable);
                cache.specularTable = t;
                cache.specularData = t->values;
                cache.specularThreshold = t->threshold;
                cache.specularScale = t->scale;
                cache.shininess = m.shininess;
            }
        }
        if (bits & kGlMaterialIndexes) {
            m.ambientIndex = floatOf(*w++);
            m.specularIndex = floatOf(*w++);
            m.diffuseIndex = floatOf(*w++);
        }
        faceBits[face] |= bits;
    }
    __glApplyMaterialChange(ctx, faceBits[0], faceBits[1]);
    if ((ctx->state.enable.enables & kGlEnableColorMaterial) && ctx->slots.applyColor != nullptr)
        ctx->slots.applyColor(ctx);
}

void __glFreeMaterialBlock(GlContext *ctx, void *block) {
    const uint32_t *w = static_cast<const uint32_t *>(block);
    while (*w != 0) {
        uint32_t bits = w[1];
        const uint32_t *v = w + 2;
        for (const Field &f : kFields) {
            if (!(bits & f.bit)) continue;
            if (f.bit == kGlMaterialShininess) {
                GlSpecularTable *t = tableAt(v + 1);
                __glReleaseSpecularTable(ctx, t);
                uint32_t *slot = const_cast<uint32_t *>(v + 1);
                std::memset(slot, 0, sizeof(t));
            }
            v += f.words;
        }
        w += entryWords(bits);
    }
}
