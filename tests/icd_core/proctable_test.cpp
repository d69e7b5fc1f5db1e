// The proc tables: published slot order, the compile template's choices, do-nothing entries
// that pop exactly their argument bytes, copying and publishing, and the dispatch thunks.
#include <map>
#include <tuple>
#include "tests/icd_core/icd_fixture.h"

namespace {
// The bytes a stdcall function with these parameters pops.
template <class... A>
constexpr unsigned stdcallBytes(void (*)(A...)) {
    return (0u + ... + ((sizeof(A) + 3u) & ~3u));
}
template <class R, class... A>
constexpr unsigned popBytes(R(APIENTRY *)(A...)) {
    return stdcallBytes(static_cast<void (*)(A...)>(nullptr));
}

// Every argument-byte column agrees with the command's own signature.
#define GL_ENTRY(offset, ret, name, params, args, bytes) \
    static_assert(popBytes(&icd::name) == bytes, #name);
#include <GL/gl_entries.inc>
#undef GL_ENTRY
#define GL_EXT_ENTRY(slot, ret, name, doName, compileName, compiled, params, bytes) \
    static_assert(popBytes(&icd::doName) == bytes, #name);
#include "icd/core/ext_entries.inc"
#undef GL_EXT_ENTRY

struct SlotBytes {
    int slot;
    unsigned bytes;
};
const SlotBytes kSlotBytes[] = {
#define GL_ENTRY(offset, ret, name, params, args, bytes) {offset, bytes},
#include <GL/gl_entries.inc>
#undef GL_ENTRY
#define GL_EXT_ENTRY(slot, ret, name, doName, compileName, compiled, params, bytes) {slot, bytes},
#include "icd/core/ext_entries.inc"
#undef GL_EXT_ENTRY
};

// Pushes `bytes` of zero arguments, calls `fn` as a stdcall function and reports how far the
// stack pointer ended from where it was before the arguments were pushed (0 when the callee
// popped exactly what was pushed). The result of the call comes back through *result.
extern "C" int32_t kivCallMeasure(void *fn, uint32_t bytes, uint32_t *result);
__asm__(".text\n.globl kivCallMeasure\n.type kivCallMeasure,@function\nkivCallMeasure:\n"
        "\tpushl %ebp\n\tpushl %ebx\n\tpushl %esi\n\tpushl %edi\n"
        "\tmovl 20(%esp), %eax\n\tmovl 24(%esp), %ecx\n"
        "\tmovl %esp, %esi\n"
        "\tshrl $2, %ecx\n"
        "1:\ttestl %ecx, %ecx\n\tjz 2f\n\tpushl $0\n\tdecl %ecx\n\tjmp 1b\n"
        "2:\tcall *%eax\n"
        "\tmovl 28(%esi), %ecx\n\tmovl %eax, (%ecx)\n"
        "\tmovl %esp, %eax\n\tsubl %esi, %eax\n"
        "\tmovl %esi, %esp\n"
        "\tpopl %edi\n\tpopl %esi\n\tpopl %ebx\n\tpopl %ebp\n\tret\n"
        ".size kivCallMeasure, .-kivCallMeasure\n");

// One proc that records what reaches it, for patched slots.
int gPatchedCalls;
GLenum gPatchedArg;
void APIENTRY patchedBegin(GLenum mode) {
    ++gPatchedCalls;
    gPatchedArg = mode;
}
const GlProcTable *gPublished;
int gPublishCount;
void APIENTRY recordPublish(const GlProcTable *table) {
    gPublished = table;
    ++gPublishCount;
}
}  // namespace

TEST(ProcTables, EveryTemplateCountsTheCoreEntriesAndLeavesTheSparesEmpty) {
    for (const GlProcTable *t : {&__glImmediateProcTable, &__glCompileProcTable, &__glNopProcTable}) {
        EXPECT_EQ(t->count, 336u);
        for (int s = 0; s <= kGlLastExtensionSlot; ++s) EXPECT_NE(t->slot[s], nullptr) << s;
        for (int s = 393; s < kGlProcSlotCount; ++s) EXPECT_EQ(t->slot[s], nullptr) << s;
    }
}

TEST(ProcTables, ImmediateTemplateFollowsThePublishedOrder) {
#define AT(slot, fn) {slot, reinterpret_cast<GlEntry>(&fn)}
    const std::pair<int, GlEntry> anchors[] = {
        AT(0, icd::glNewList), AT(1, icd::glEndList), AT(7, icd::glBegin), AT(8, icd::glBitmap),
        AT(9, icd::glColor3b), AT(43, icd::glEnd), AT(128, icd::glVertex2f), AT(176, icd::glScissor),
        AT(203, icd::glClear), AT(213, icd::glAccum), AT(255, icd::glCopyPixels),
        AT(256, icd::glReadPixels), AT(257, icd::glDrawPixels), AT(305, icd::glViewport),
        AT(308, icd::glColorPointer), AT(309, icd::glDisableClientState), AT(313, icd::glEnableClientState),
        AT(314, icd::glIndexPointer), AT(316, icd::glIndexubv), AT(318, icd::glNormalPointer),
        AT(320, icd::glTexCoordPointer), AT(321, icd::glVertexPointer), AT(334, icd::glPopClientAttrib),
        AT(335, icd::glPushClientAttrib), AT(336, icd::__glDoArrayElementEXT),
        AT(345, icd::__glDoColorSubTable), AT(352, icd::__glDoUnlockArraysEXT),
        AT(358, icd::__glDoMultiTexCoord1dSGIS), AT(389, icd::__glDoMultiTexCoord4svSGIS),
        AT(392, icd::__glDoSelectTextureCoordSetSGIS),
    };
    for (auto [slot, fn] : anchors) EXPECT_EQ(__glImmediateProcTable.slot[slot], fn) << slot;
}

TEST(ProcTables, CompileTemplateExecutesQueriesAndClientStateAtOnce) {
    int immediate = 0, immediateExt = 0;
    for (int s = 0; s <= kGlLastExtensionSlot; ++s) {
        if (__glCompileProcTable.slot[s] != __glImmediateProcTable.slot[s]) continue;
        (s < kGlFirstExtensionSlot ? immediate : immediateExt) += 1;
    }
    EXPECT_EQ(immediate, 58);
    EXPECT_EQ(immediateExt, 16);
    EXPECT_EQ(__glCompileProcTable.slot[7], reinterpret_cast<GlEntry>(&icd::compile::glBegin));
    EXPECT_EQ(__glCompileProcTable.slot[0], reinterpret_cast<GlEntry>(&icd::glNewList));
    EXPECT_EQ(__glCompileProcTable.slot[391], reinterpret_cast<GlEntry>(&icd::__glCompileSelectTextureSGIS));
    EXPECT_EQ(__glCompileProcTable.slot[337], reinterpret_cast<GlEntry>(&icd::__glDoColorPointerEXT));
}

TEST(ProcTables, DoNothingEntriesReturnZeroAndPopExactlyTheirArguments) {
    std::map<unsigned, int> slotsPerSize;
    for (const SlotBytes &sb : kSlotBytes) {
        uint32_t result = 0xDEADBEEF;
        int32_t drift = kivCallMeasure(reinterpret_cast<void *>(__glNopProcTable.slot[sb.slot]), sb.bytes, &result);
        EXPECT_EQ(drift, 0) << "slot " << sb.slot;
        EXPECT_EQ(result, 0u) << "slot " << sb.slot;
        slotsPerSize[sb.bytes] += 1;
    }
    // One entry per argument size, shared by the slots of that size. (glCullParameterdvEXT
    // and glCullParameterfvEXT take two words, so 8-byte entries serve them.)
    const std::map<unsigned, int> expected = {{0, 13},  {4, 125}, {8, 82}, {12, 80}, {16, 44},
                                              {20, 14}, {24, 12}, {28, 5}, {32, 10}, {36, 3},
                                              {40, 2},  {48, 2},  {56, 1}};
    EXPECT_EQ(slotsPerSize, expected);
}

class Dispatch : public IcdTest {};

TEST_F(Dispatch, ThunksJumpThroughTheLiveTableOfTheCurrentContextOnEveryCall) {
    TestWindow w(kDoubleFormat);
    DHGLRC a = DrvCreateContext(w.hdc), b = DrvCreateContext(w.hdc);
    ASSERT_NE(DrvSetContext(w.hdc, a, nullptr), nullptr);
    GlContext *ca = contextOf(a);
    gPatchedCalls = 0;
    __glDispatchBegin(GL_TRIANGLES);  // the immediate entry: nothing recorded
    __glDispatchEnd();
    EXPECT_EQ(gPatchedCalls, 0);
    ca->liveTable.slot[7] = reinterpret_cast<GlEntry>(&patchedBegin);
    __glDispatchBegin(GL_QUADS);
    EXPECT_EQ(gPatchedCalls, 1);
    EXPECT_EQ(gPatchedArg, GLenum(GL_QUADS));
    // Another context current: its own table is used.
    ASSERT_TRUE(DrvReleaseContext(a));
    ASSERT_NE(DrvSetContext(w.hdc, b, nullptr), nullptr);
    __glDispatchBegin(GL_POINTS);
    __glDispatchEnd();
    EXPECT_EQ(gPatchedCalls, 1);
    contextOf(b)->liveTable.slot[7] = reinterpret_cast<GlEntry>(&patchedBegin);
    __glDispatchBegin(GL_LINES);
    EXPECT_EQ(gPatchedCalls, 2);
    EXPECT_EQ(gPatchedArg, GLenum(GL_LINES));
    // Extension entries handed out by DrvGetProcAddress jump the same way.
    contextOf(b)->liveTable.slot[391] = reinterpret_cast<GlEntry>(&patchedBegin);
    auto select = reinterpret_cast<void(APIENTRY *)(GLenum)>(DrvGetProcAddress("glSelectTextureSGIS"));
    select(GL_TEXTURE1_SGIS);
    EXPECT_EQ(gPatchedCalls, 3);
    EXPECT_EQ(gPatchedArg, GLenum(GL_TEXTURE1_SGIS));
    DrvReleaseContext(b);
    EXPECT_TRUE(DrvDeleteContext(a));
    EXPECT_TRUE(DrvDeleteContext(b));
}

// Every internal thunk reaches its own slot and no other: with every live slot a trap but the
// thunk's, which holds the do-nothing entry of the command's argument size, the call returns 0
// with the stack as it was.
int gTrapped;
uint32_t APIENTRY trap() { return ++gTrapped, 0xBAD; }

TEST_F(Dispatch, EveryInternalThunkJumpsToItsOwnSlot) {
    TestWindow w(kDoubleFormat);
    DHGLRC rc = DrvCreateContext(w.hdc);
    ASSERT_NE(DrvSetContext(w.hdc, rc, nullptr), nullptr);
    GlProcTable &live = contextOf(rc)->liveTable;
    const GlProcTable saved = live;
    std::map<int, unsigned> bytesOf;
    for (const SlotBytes &sb : kSlotBytes) bytesOf[sb.slot] = sb.bytes;
    struct Thunk {
        const char *name;
        void *entry;
        int slot;
    };
    const Thunk thunks[] = {
#define GL_THUNK_ROW(cmd, slot) {#cmd, reinterpret_cast<void *>(&__glDispatch##cmd), slot},
        GL_DISPATCH_LIST(GL_THUNK_ROW)
#undef GL_THUNK_ROW
    };
    for (const Thunk &t : thunks) {
        for (GlEntry &e : live.slot) e = reinterpret_cast<GlEntry>(&trap);
        live.slot[t.slot] = __glNopProcTable.slot[t.slot];
        gTrapped = 0;
        uint32_t result = 0xDEADBEEF;
        EXPECT_EQ(kivCallMeasure(t.entry, bytesOf.at(t.slot), &result), 0) << t.name;
        EXPECT_EQ(result, 0u) << t.name;
        EXPECT_EQ(gTrapped, 0) << t.name;
    }
    live = saved;
    DrvReleaseContext(rc);
    EXPECT_TRUE(DrvDeleteContext(rc));
}

TEST_F(Dispatch, CopyPublishesTheLiveTableOnlyAndNeverNull) {
    TestWindow w(kDoubleFormat);
    DHGLRC a = DrvCreateContext(w.hdc);
    ASSERT_NE(DrvSetContext(w.hdc, a, recordPublish), nullptr);
    GlContext *ctx = contextOf(a);
    gPublishCount = 0;
    __glCopyProcTable(&ctx->compileTable, &ctx->savedTable);  // not the live table: silent
    EXPECT_EQ(gPublishCount, 0);
    __glCopyProcTable(&ctx->liveTable, &ctx->liveTable);      // nothing copied, still published
    EXPECT_EQ(gPublishCount, 1);
    EXPECT_EQ(gPublished, &ctx->liveTable);
    __glCopyProcTable(nullptr, &ctx->liveTable);              // opengl32 keeps a real table
    EXPECT_EQ(gPublishCount, 2);
    EXPECT_EQ(gPublished, &ctx->liveTable);
    __glCopyProcTable(&__glCompileProcTable, &ctx->liveTable);
    EXPECT_EQ(ctx->liveTable.slot[7], __glCompileProcTable.slot[7]);
    EXPECT_EQ(gPublishCount, 3);
    DrvReleaseContext(a);
    DrvDeleteContext(a);
}
