// The 32-entry depth-test tables: every function, width and write mode against a stored value,
// through the buffer procs (window position and fixed-point z) and the value procs.
#include "tests/icd_depth/depth_fixture.h"

namespace {

TEST_F(DepthTest, EveryTableEntryComparesAndWritesAsItsIndexSays) {
    for (int kind : {16, 32}) {
        build(kind);
        const uint32_t stored = kind == 16 ? 0x8000u : 0x40000000u;
        const int32_t shift = db().shift;
        for (int index = 0; index < 16; ++index) {
            const GLenum f = GLenum(GL_NEVER + (index & 7));
            const bool writes = index < 8;
            const int entry = index + (kind == 16 ? 0 : 16);
            for (uint32_t value : {stored - 1, stored, stored + 1}) {
                SCOPED_TRACE(testing::Message() << kind << " entry " << entry << " value " << value);
                depthMem.setElement(3, 2, stored);
                bool pass = depthPasses(f, value, stored);
                EXPECT_EQ(__glDepthTestProcs[entry](&db(), kBias + 3, kBias + 2, value << shift) != 0, pass);
                EXPECT_EQ(depthMem.element(3, 2), pass && writes ? value : stored);
                depthMem.setElement(3, 2, stored);
                EXPECT_EQ(__glDepthValueProcs[entry](value, depthMem.at(3, 2)) != 0, pass);
                EXPECT_EQ(depthMem.element(3, 2), pass && writes ? value : stored);
            }
        }
        // GL_NEVER is one proc for both halves.
        EXPECT_EQ(__glDepthValueProcs[8 + (kind == 16 ? 0 : 16)], __glDepthValueProcs[kind == 16 ? 0 : 16]);
    }
}

TEST_F(DepthTest, NeverAndAlwaysWithoutWritesDoNotTouchTheBuffer) {
    // A null address would fault if they read or wrote it.
    for (int base : {0, 16}) {
        EXPECT_EQ(__glDepthValueProcs[base + 0](5, nullptr), 0);
        EXPECT_NE(__glDepthValueProcs[base + 8 + 7](5, nullptr), 0);
    }
}

TEST_F(DepthTest, SixteenBitBufferProcsCompareTheLowHalfAndValueProcsTheWhole) {
    build(16);
    depthMem.setElement(1, 1, 5);
    // The value procs see 0x10005 against 5: not equal; the buffer procs cut the value to 0x0005.
    EXPECT_EQ(__glDepthValueProcs[GL_EQUAL - GL_NEVER](0x10005u, depthMem.at(1, 1)), 0);
    db().epochBase = 0x10000u;
    EXPECT_NE(__glDepthTestProcs[GL_EQUAL - GL_NEVER](&db(), kBias + 1, kBias + 1, 5u << 16), 0);
    // Both store the low 16 bits only.
    depthMem.setElement(2, 1, 0xAAAA);
    depthMem.setElement(3, 1, 0xBBBB);
    EXPECT_NE(__glDepthValueProcs[GL_ALWAYS - GL_NEVER](0x12345u, depthMem.at(2, 1)), 0);
    EXPECT_EQ(depthMem.element(2, 1), 0x2345u);
    EXPECT_EQ(depthMem.element(3, 1), 0xBBBBu);
}

}  // namespace
