// Shared set-up of the code generator tests: a generator state, a code buffer
// and helpers that encode one instruction into bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "icd/codegen/og_encode.h"

namespace icd {

struct OgTest : ::testing::Test {
    std::unique_ptr<GlOgState> st{new GlOgState};
    GlOgState* s = st.get();
    uint8_t buf[4096];

    void SetUp() override
    {
        ASSERT_TRUE(__glOgInitState(s));
        __glOgResetArena(s);
        __glOgSetCodeLimit(s, buf + sizeof(buf));
        memset(buf, 0xAA, sizeof(buf));
    }
    void TearDown() override { __glOgFreeState(s); }

    std::vector<uint8_t> bytes(GlOgNode* insn)
    {
        uint8_t* end = __glOgEncode(s, buf, insn);
        return std::vector<uint8_t>(buf, end);
    }

    GlOgNode* imm(int32_t v) { return __glOgImm(s, v); }
    GlOgNode* at(GlOgNode* base, int32_t disp) { return __glOgMemBase(s, imm(disp), base); }
    GlOgNode* at(GlOgNode* base) { return __glOgMemBase(s, nullptr, base); }
    GlOgNode* abs(uint32_t addr) { return __glOgMem(s, imm((int32_t)addr), nullptr, nullptr, 1); }
};

}  // namespace icd
