// The display-list optimiser run when a list is closed: runs of glMaterialfv commands become one
// material block that carries its shininess tables already built.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/list.h"
#include "icd/core/list_routines.h"
#include "icd/core/query.h"
#include "icd/vertex/light.h"
#include "icd/vertex/power.h"

namespace {

// Words of a block entry's values, by change bit, in block order.
constexpr struct {
    uint32_t bit;
    int32_t words;
} kBlockFields[] = {
    {kGlMaterialAmbient, 4}, {kGlMaterialDiffuse, 4}, {kGlMaterialSpecular, 4},
    {kGlMaterialEmission, 4}, {kGlMaterialShininess, 2}, {kGlMaterialIndexes, 3},
};

uint32_t blockBytes(const uint8_t *p) {
    uint32_t words = 0;
    for (;;) {
        uint32_t face;
        std::memcpy(&face, p + 4 * words, 4);
        if (face == 0) return 4 * (words + 1);
        uint32_t bits;
        std::memcpy(&bits, p + 4 * words + 4, 4);
        words += 2;
        for (const auto &f : kBlockFields)
            if (bits & f.bit) words += uint32_t(f.words);
    }
}

// A node the pass can take into a run: glMaterialfv with a name a block carries. The integer
// form and the index shift and offset stay as they are.
bool mergeable(const GlListNode *n) {
    if (n->opcode != kGlOpMaterialfv) return false;
    GLenum pname;
    std::memcpy(&pname, const_cast<GlListNode *>(n)->payload() + 4, 4);
    return pname != GL_INDEX_SHIFT && pname != GL_INDEX_OFFSET;
}

void accumulate(GlContext *ctx, GlMaterialAccumulator acc[2], GlListNode *n) {
    GLenum face, pname;
    std::memcpy(&face, n->payload(), 4);
    std::memcpy(&pname, n->payload() + 4, 4);
    float values[4] = {};
    int32_t k = __glMaterialfvParamCount(pname);
    std::memcpy(values, n->payload() + 8, 4 * size_t(k));
    if (face == GL_FRONT || face == GL_FRONT_AND_BACK) __glAccumulateListMaterial(ctx, &acc[0], pname, values);
    if (face == GL_BACK || face == GL_FRONT_AND_BACK) __glAccumulateListMaterial(ctx, &acc[1], pname, values);
}

}  // namespace

void __glMergeListMaterials(GlContext *ctx, void *list) {
    GlListBuild *build = static_cast<GlListBuild *>(list);
    GlListNode *before = nullptr;  // the node ahead of the run
    GlListNode *n = build->first;
    while (n != nullptr) {
        if (!mergeable(n)) {
            before = n;
            n = n->next;
            continue;
        }
        GlMaterialAccumulator acc[2] = {};
        acc[0].face = GL_FRONT;
        acc[1].face = GL_BACK;
        GlListNode *end = n;  // the first node after the run
        while (end != nullptr && mergeable(end)) {
            accumulate(ctx, acc, end);
            end = end->next;
        }
        uint32_t bytes = 4 * uint32_t(__glMaterialBlockWords(acc));
        GlListNode *block = __glAllocListNode(ctx, bytes);
        if (block == nullptr) return;  // the runs left stay as they are
        block->opcode = kGlOpMaterialBlock;
        if (__glWriteMaterialBlock(ctx, acc, reinterpret_cast<uint32_t *>(block->payload())))
            block->cleanup = __glFreeMaterialBlock;
        for (GlListNode *m = n; m != end; m = m->next) __glDropListNode(ctx, m);
        block->next = end;
        if (before != nullptr)
            before->next = block;
        else
            build->first = block;
        if (end == nullptr) build->last = block;
        before = block;
        n = end;
    }
}

void __glOptimizeDisplayList(GlContext *ctx, GlListBuild *build) {
    if (build->contentFlags & kGlListHasMaterial) __glMergeListMaterials(ctx, build);
}

namespace listexec {
const uint8_t *materialBlock(const uint8_t *p) {
    __glExecMaterialBlock(p);
    return p + blockBytes(p);
}
}  // namespace listexec
