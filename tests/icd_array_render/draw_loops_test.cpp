// The per-element draw loops: glBegin, then per element the entries of the enabled arrays in
// the order normal, colour, texture coordinates, index, edge flag, vertex, each with the
// element's address, then glEnd, all through the live table; masks without the vertex array
// draw nothing except the normal array alone.
#include <set>
#include "tests/icd_state/state_fixture.h"
#include "icd/vertex/array_procs.h"

namespace {

std::vector<std::string> &calls() {
    static std::vector<std::string> log;
    return log;
}
const uint8_t *arrayBase;

// One recording entry per array, by the letter of its loop name.
template <char Letter>
void APIENTRY spyElement(const void *element) {
    calls().push_back(std::string(1, Letter) + std::to_string(static_cast<const uint8_t *>(element) - arrayBase));
}
void APIENTRY spyBegin(GLenum mode) { calls().push_back("Begin" + std::to_string(mode)); }
void APIENTRY spyEnd() { calls().push_back("End"); }
GlContext *changingContext;
void APIENTRY beginChangingTheVertexArray(GLenum) {
    calls().push_back("Begin");
    changingContext->arrayState.arrays[kGlArrayVertex].pointer = nullptr;
    changingContext->arrayState.arrays[kGlArrayVertex].immediateProc = spyElement<'X'>;
}

class DrawLoopsTest : public StateTest {
protected:
    uint8_t memory[4096] = {};
    GlEntry begin = nullptr, end = nullptr;
    GlArrayState saved{};

    void SetUp() override {
        StateTest::SetUp();
        settle();
        arrayBase = memory;
        saved = ctx->arrayState;
        begin = ctx->liveTable.slot[slot::glBegin];
        end = ctx->liveTable.slot[slot::glEnd];
        ctx->liveTable.slot[slot::glBegin] = reinterpret_cast<GlEntry>(spyBegin);
        ctx->liveTable.slot[slot::glEnd] = reinterpret_cast<GlEntry>(spyEnd);
        // Each array starts at its own offset with its own stride, so an address names both; its
        // elements are bytes, which any address holds, so every entry is handed the address itself.
        static const GlArrayImmediateProc procs[kGlArrayCount] = {spyElement<'V'>, spyElement<'N'>, spyElement<'C'>,
                                                                 spyElement<'I'>, spyElement<'T'>, spyElement<'E'>};
        for (int a = 0; a < kGlArrayCount; ++a) {
            GlClientArray &array = ctx->arrayState.arrays[a];
            array.pointer = memory + 1000 * (a % 4) + 100 * (a / 4);
            array.stride = 10 + a;
            array.type = GL_UNSIGNED_BYTE;
            array.immediateProc = procs[a];
        }
        calls().clear();
    }
    void TearDown() override {
        ctx->liveTable.slot[slot::glBegin] = begin;
        ctx->liveTable.slot[slot::glEnd] = end;
        ctx->arrayState = saved;
        StateTest::TearDown();
    }
};

TEST_F(DrawLoopsTest, EachLoopCallsTheEnabledArraysPerElement) {
    using Log = std::vector<std::string>;
    struct Case {
        uint32_t mask;
        GLenum mode;
        GLint first;
        GLsizei count;
        Log want;
    } cases[] = {
        {0x20, GL_TRIANGLES, 2, 3, {"Begin4", "V20", "V30", "V40", "End"}},
        {0x3F, GL_POINTS, 1, 2, {"Begin0", "N1011", "C2012", "T114", "I3013", "E1115", "V10",
                                 "N1022", "C2024", "T128", "I3026", "E1130", "V20", "End"}},
        {0x25, GL_LINES, 0, 1, {"Begin1", "N1000", "T100", "V0", "End"}},
        {0x3A, GL_POLYGON, 3, 1, {"Begin9", "C2036", "I3039", "E1145", "V30", "End"}},
        {0x01, GL_QUADS, 4, 2, {"Begin7", "N1044", "N1055", "End"}},  // the normals alone
        {0x20, GL_LINE_LOOP, 0, 0, {"Begin2", "End"}},
        {0x00, GL_POINTS, 0, 5, {}},
        {0x02, GL_POINTS, 0, 5, {}},
        {0x1E, GL_TRIANGLES, 0, 3, {}},
    };
    for (const Case &c : cases) {
        calls().clear();
        __glDrawLoops[c.mask](c.mode, c.first, c.count);
        EXPECT_EQ(calls(), c.want) << "mask " << c.mask;
    }
    // Every mask with the vertex array has a loop of its own; without it, one that does nothing.
    std::set<GlDrawLoop> loops;
    for (uint32_t m = 0; m < 64; ++m) loops.insert(__glDrawLoops[m]);
    EXPECT_EQ(loops.size(), 34u);
    for (uint32_t m = 2; m < 32; ++m) EXPECT_EQ(__glDrawLoops[m], __glDrawLoops[0]) << m;
}

// The entries and addresses are read before glBegin: a glBegin that changes an array (as a
// validation might) does not change what this draw calls.
TEST_F(DrawLoopsTest, ArraysAreReadOnceBeforeBegin) {
    changingContext = ctx;
    ctx->liveTable.slot[slot::glBegin] = reinterpret_cast<GlEntry>(beginChangingTheVertexArray);
    __glDrawLoops[0x20](GL_POINTS, 1, 2);
    EXPECT_EQ(calls(), (std::vector<std::string>{"Begin", "V10", "V20", "End"}));
}

}  // namespace
