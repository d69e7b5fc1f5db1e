// Array triangle-strip routine generator: __glDrawArrayTriangleStrip as one routine per context,
// with the context's fields, the cache fields and the record layout as absolute addresses and
// constants. It walks the strip in registers (slot A in esi, slot B in edi, the newest record in
// ebx, the position in ebp), alternating the slot the newest record goes to so that every other
// triangle keeps the first one's winding; the position counts within the batch, whose carried
// records keep the parity of the whole strip since batches hold an even count.
//
// Per triangle it sets the provoking vertex and clears the line-reset byte, drops a triangle all
// of whose vertices share a clip bit, hands one that crosses a plane to the C strip triangle
// (re-fetch, edges shown, clip), and calls the render proc for the rest with the three edge
// flags shown for the length of the call and given back afterwards, as the C renderer does.
// Batches are transformed through the array state's batch transform, which resolves indices
// element by element. What the C renderer decides from state it reads at run time as well, so
// one routine serves every state of its context.
#include <cstddef>

#include "icd/codegen/og_context.h"
#include "icd/core/context.h"
#include "icd/vertex/array_procs.h"

namespace icd {
namespace {

constexpr uint32_t kStripKeyTag = 0x53545250;  // "STRP"
constexpr int32_t kRecord = int32_t(sizeof(GlVertex));
constexpr int32_t kFlags = int32_t(offsetof(GlVertex, flags));
constexpr int32_t kColor = int32_t(offsetof(GlVertex, color));
constexpr int32_t kEdge = int32_t(offsetof(GlVertex, edgeFlag));
constexpr int32_t kFrontColor = int32_t(offsetof(GlVertex, frontColor));

// Frame after the four saved registers and the locals.
enum : int32_t {
    kDone = 0,      // elements drawn in earlier batches
    kEnd = 4,       // records in the batch, carried ones included
    kBatch = 8,     // new elements in the batch
    kRecords = 12,  // the cache's record 0
    kLocalBytes = 16,
    kArgFirst = kLocalBytes + 16 + 8,
    kArgCount = kArgFirst + 4,
    kArgIndices = kArgFirst + 8,
};

struct StripEmitter {
    GlContext *ctx;
    GlOgWriter &w;
    GlOgNode *tri;

    GlOgState *s() { return w.s; }
    GlArrayState &as() { return ctx->arrayState; }

    // ebx = the record for the element at indices[ebp].
    void indexedRecord() {
        GlOgNode *eax = w.r(kEax);
        w.op(__glOgMov(s(), eax, w.at(kEsp, kArgIndices)));
        w.op(__glOgMov(s(), eax, __glOgMem(s(), nullptr, eax, w.r(kEbp), 4)));
        w.op(__glOgImul(s(), eax, w.imm(kRecord)));
        w.op(__glOgAdd(s(), eax, w.abs(&as().cacheBase)));
        w.op(__glOgMov(s(), w.r(kEbx), eax));
    }

    // Triangles at positions 2 .. [kEnd] - 1; records consecutive from esi, or through the
    // index list.
    void assemble(bool indexed) {
        GlOgNode *ebx = w.r(kEbx), *esi = w.r(kEsi), *edi = w.r(kEdi), *ebp = w.r(kEbp);
        GlOgNode *top = w.label(), *out = w.label();
        if (indexed) {
            w.op(__glOgMov(s(), ebp, w.imm(0)));
            indexedRecord();
            w.op(__glOgMov(s(), esi, ebx));
            w.op(__glOgInc(s(), ebp));
            indexedRecord();
            w.op(__glOgInc(s(), ebp));
        } else {
            w.op(__glOgLea(s(), ebx, w.at(kEsi, kRecord)));
            w.op(__glOgMov(s(), ebp, w.imm(2)));
        }
        w.place(top);
        for (GlOgNode *slot : {edi, esi}) {  // even positions fill slot B, odd ones slot A
            w.op(__glOgCmp(s(), ebp, w.at(kEsp, kEnd)));
            w.op(__glOgJge(s(), out));
            w.op(__glOgMov(s(), slot, ebx));
            if (indexed) indexedRecord();
            else w.op(__glOgAdd(s(), ebx, w.imm(kRecord)));
            w.op(__glOgCall(s(), tri));
            w.op(__glOgInc(s(), ebp));
        }
        w.op(__glOgJmp(s(), top));
        w.place(out);
    }

    // The triangle (esi, edi, ebx); keeps every register but eax, ecx and edx.
    void triangle() {
        GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx), *edx = w.r(kEdx);
        GlVertexBuffer &ring = ctx->arrays.vertexBuffer;
        GlOgNode *clip = w.label(), *drawn = w.label(), *none = w.label();
        GlOgNode *crossing = __glOgOutsideLabel(s(), reinterpret_cast<const void *>(&__glDoClipTriangle),
                                                "__glDoClipTriangle");
        w.place(tri);
        w.op(__glOgMov(s(), w.abs(&ring.provokingVertex), w.r(kEbx)));
        w.op(__glOgXor(s(), eax, eax));
        w.op(__glOgMov(s(), w.abs(&ring.lineReset), w.r8(kEax)));
        w.op(__glOgMov(s(), eax, w.at(kEsi, kFlags)));
        w.op(__glOgMov(s(), ecx, eax));
        for (int reg : {kEdi, kEbx}) {
            w.op(__glOgMov(s(), edx, w.at(reg, kFlags)));
            w.op(__glOgAnd(s(), eax, edx));
            w.op(__glOgOr(s(), ecx, edx));
        }
        w.op(__glOgTest(s(), eax, w.imm(int32_t(kGlVertexClipMask))));
        w.op(__glOgJne(s(), none));
        // Edges shown for the call, whether the triangle is drawn whole or clipped first, given
        // back in reverse order (a record named twice ends with its own flag).
        w.op(__glOgMov(s(), edx, w.imm(1)));
        for (int reg : {kEsi, kEdi, kEbx}) {
            w.op(__glOgMovzx8(s(), eax, w.at(reg, kEdge)));
            w.op(__glOgPush(s(), eax));
            w.op(__glOgMov(s(), w.at(reg, kEdge), w.r8(kEdx)));
        }
        pushTriangle();
        w.op(__glOgTest(s(), ecx, w.imm(int32_t(kGlVertexClipMask))));
        w.op(__glOgJne(s(), clip));
        w.op(__glOgCall(s(), w.abs(&ctx->slots.primitive.renderTriangle)));
        w.op(__glOgJmp(s(), drawn));
        w.place(clip);
        w.op(__glOgCall(s(), crossing));
        w.place(drawn);
        w.op(__glOgAdd(s(), w.r(kEsp), w.imm(16)));
        for (int reg : {kEbx, kEdi, kEsi}) {
            w.op(__glOgPop(s(), eax));
            w.op(__glOgMov(s(), w.at(reg, kEdge), w.r8(kEax)));
        }
        w.place(none);
        w.op(__glOgRet(s()));
    }
    void pushTriangle() {
        w.op(__glOgPush(s(), w.r(kEbx)));
        w.op(__glOgPush(s(), w.r(kEdi)));
        w.op(__glOgPush(s(), w.r(kEsi)));
        w.op(__glOgPush(s(), w.imm(__glOgWord(ctx))));
    }

    // batchTransform(ctx, firstRecord, element, count, indices), the last four pushed already.
    void callTransform() {
        w.op(__glOgPush(s(), w.imm(__glOgWord(ctx))));
        w.op(__glOgCall(s(), w.abs(&as().batchTransform)));
        w.op(__glOgAdd(s(), w.r(kEsp), w.imm(20)));
    }

    void routine() {
        GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx), *edx = w.r(kEdx), *ebx = w.r(kEbx), *esi = w.r(kEsi),
                 *edi = w.r(kEdi), *ebp = w.r(kEbp);
        GlOgNode *nothing = w.label(), *exit = w.label(), *batches = w.label(), *lockedIndexed = w.label();
        GlOgNode *batchTop = w.label(), *noCarry = w.label(), *sized = w.label(), *plain = w.label(),
                 *transformed = w.label();
        tri = w.label();

        // Fewer than three elements, or no room for a batch and its carried records: nothing.
        w.op(__glOgCmp(s(), w.at(kEsp, 12), w.imm(3)));
        w.op(__glOgJl(s(), nothing));
        w.op(__glOgCmp(s(), w.abs(&as().cacheBlock), w.imm(0)));
        w.op(__glOgJe(s(), nothing));
        w.op(__glOgCmp(s(), w.abs(&as().cacheBytes), w.imm(int32_t(kGlArrayCacheInitialRecords * sizeof(GlVertex)))));
        w.op(__glOgJl(s(), nothing));
        w.op(__glOgPush(s(), ebp));
        w.op(__glOgPush(s(), ebx));
        w.op(__glOgPush(s(), esi));
        w.op(__glOgPush(s(), edi));
        w.op(__glOgSub(s(), w.r(kEsp), w.imm(kLocalBytes)));
        w.op(__glOgMov(s(), w.abs(&as().drawMode), w.imm(GL_TRIANGLE_STRIP)));
        w.op(__glOgMov(s(), eax, w.at(kEsp, kArgFirst)));
        w.op(__glOgMov(s(), w.abs(&as().drawFirst), eax));
        w.op(__glOgMov(s(), eax, w.at(kEsp, kArgIndices)));
        w.op(__glOgMov(s(), w.abs(&as().drawIndices), eax));
        w.op(__glOgTest(s(), w.abs(&as().arrayFlags), w.imm(int32_t(kGlArrayRangeStale))));
        w.op(__glOgJne(s(), batches));

        // A locked range already transformed: element e is record e, walked in one pass.
        w.op(__glOgMov(s(), eax, w.at(kEsp, kArgFirst)));
        w.op(__glOgMov(s(), w.abs(&as().batchFirst), eax));
        w.op(__glOgMov(s(), eax, w.at(kEsp, kArgCount)));
        w.op(__glOgMov(s(), w.at(kEsp, kEnd), eax));
        w.op(__glOgCmp(s(), w.at(kEsp, kArgIndices), w.imm(0)));
        w.op(__glOgJne(s(), lockedIndexed));
        w.op(__glOgMov(s(), esi, w.at(kEsp, kArgFirst)));
        w.op(__glOgImul(s(), esi, w.imm(kRecord)));
        w.op(__glOgAdd(s(), esi, w.abs(&as().cacheBase)));
        assemble(false);
        w.op(__glOgJmp(s(), exit));
        w.place(lockedIndexed);
        assemble(true);
        w.op(__glOgJmp(s(), exit));

        // Batches of at most 36 new elements behind the previous batch's last two records.
        w.place(batches);
        w.op(__glOgMov(s(), eax, w.abs(&as().cacheBase)));
        w.op(__glOgMov(s(), w.at(kEsp, kRecords), eax));
        w.op(__glOgMov(s(), w.at(kEsp, kDone), w.imm(0)));
        w.op(__glOgMov(s(), w.at(kEsp, kEnd), w.imm(0)));
        w.place(batchTop);
        w.op(__glOgXor(s(), ebx, ebx));  // carried
        w.op(__glOgCmp(s(), w.at(kEsp, kDone), w.imm(0)));
        w.op(__glOgJe(s(), noCarry));
        w.op(__glOgMov(s(), esi, w.at(kEsp, kEnd)));
        w.op(__glOgSub(s(), esi, w.imm(2)));
        w.op(__glOgImul(s(), esi, w.imm(kRecord)));
        w.op(__glOgAdd(s(), esi, w.at(kEsp, kRecords)));
        w.op(__glOgMov(s(), edi, w.at(kEsp, kRecords)));
        w.op(__glOgMov(s(), ecx, w.imm(2 * kRecord / 4)));
        w.op(__glOgRep(s()));
        w.op(__glOgMovsd(s()));
        w.op(__glOgMov(s(), eax, w.at(kEsp, kRecords)));
        for (int32_t r = 0; r < 2; ++r) {  // each copy's colour is its own front colour
            w.op(__glOgLea(s(), edx, w.at(kEax, r * kRecord + kFrontColor)));
            w.op(__glOgMov(s(), w.at(kEax, r * kRecord + kColor), edx));
        }
        w.op(__glOgMov(s(), ebx, w.imm(2)));
        w.place(noCarry);
        w.op(__glOgMov(s(), eax, w.at(kEsp, kArgCount)));
        w.op(__glOgSub(s(), eax, w.at(kEsp, kDone)));
        w.op(__glOgCmp(s(), eax, w.imm(kGlArrayBatchSize)));
        w.op(__glOgJle(s(), sized));
        w.op(__glOgMov(s(), eax, w.imm(kGlArrayBatchSize)));
        w.place(sized);
        w.op(__glOgMov(s(), w.at(kEsp, kBatch), eax));
        w.op(__glOgMov(s(), edx, w.at(kEsp, kArgFirst)));
        w.op(__glOgAdd(s(), edx, w.at(kEsp, kDone)));
        w.op(__glOgMov(s(), w.abs(&as().batchFirst), edx));
        w.op(__glOgMov(s(), ecx, w.at(kEsp, kArgIndices)));
        // The vertex cache's carried records at the front may be transformed already.
        w.op(__glOgCmp(s(), w.at(kEsp, kDone), w.imm(0)));
        w.op(__glOgJne(s(), plain));
        w.op(__glOgMovzx8(s(), ebp, w.abs(&as().carriedReady)));
        w.op(__glOgTest(s(), ebp, ebp));
        w.op(__glOgJe(s(), plain));
        w.op(__glOgCmp(s(), eax, w.imm(2)));
        w.op(__glOgJle(s(), transformed));
        w.op(__glOgSub(s(), eax, w.imm(2)));
        w.op(__glOgAdd(s(), edx, w.imm(2)));
        w.op(__glOgPush(s(), ecx));
        w.op(__glOgPush(s(), eax));
        w.op(__glOgPush(s(), edx));
        w.op(__glOgPush(s(), w.imm(2)));
        callTransform();
        w.op(__glOgJmp(s(), transformed));
        w.place(plain);
        w.op(__glOgPush(s(), ecx));
        w.op(__glOgPush(s(), eax));
        w.op(__glOgPush(s(), edx));
        w.op(__glOgPush(s(), ebx));
        callTransform();
        w.place(transformed);
        w.op(__glOgAdd(s(), ebx, w.at(kEsp, kBatch)));
        w.op(__glOgMov(s(), w.at(kEsp, kEnd), ebx));
        w.op(__glOgMov(s(), esi, w.at(kEsp, kRecords)));
        assemble(false);
        w.op(__glOgMov(s(), eax, w.at(kEsp, kDone)));
        w.op(__glOgAdd(s(), eax, w.at(kEsp, kBatch)));
        w.op(__glOgMov(s(), w.at(kEsp, kDone), eax));
        w.op(__glOgCmp(s(), eax, w.at(kEsp, kArgCount)));
        w.op(__glOgJl(s(), batchTop));

        w.place(exit);
        w.op(__glOgAdd(s(), w.r(kEsp), w.imm(kLocalBytes)));
        w.op(__glOgPop(s(), edi));
        w.op(__glOgPop(s(), esi));
        w.op(__glOgPop(s(), ebx));
        w.op(__glOgPop(s(), ebp));
        w.place(nothing);
        w.op(__glOgRet(s()));
        triangle();
    }
};

}  // namespace
}  // namespace icd

using namespace icd;

GlArrayRenderer __glOgGenDrawVertexesProc(GlContext *ctx, int32_t kind, int32_t) {
    if (kind != GL_TRIANGLE_STRIP || !__glOgContextOf(ctx)) return nullptr;
    const uint32_t key[1] = {kStripKeyTag};
    bool hit = false;
    GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheStrip, key, 1, &hit);
    if (!e) return nullptr;
    if (hit) return reinterpret_cast<GlArrayRenderer>(reinterpret_cast<void *>(e->code));
    GlOgWriter w;
    if (!__glOgBeginWrite(ctx, kGlOgCacheStrip, e, &w)) return nullptr;
    e->replaces = reinterpret_cast<const void *>(&__glDrawArrayTriangleStrip);
    StripEmitter{ctx, w, nullptr}.routine();
    return reinterpret_cast<GlArrayRenderer>(__glOgFinishWrite(ctx, &w));
}
