// Calls into generated code from tests: a trampoline loads sentinel values into the registers a
// cdecl routine must keep, and the caller checks them afterwards together with the stack
// pointer, the x87 tag word (empty) and the x87 control word (unchanged). The arguments are
// pushed, and the first two are also passed in ecx and edx, the way fast-chain stages take them.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "icd/codegen/og_context.h"
#include "icd/codegen/og_procs.h"
#include "icd/core/context.h"
#include "icd/raster/stencil_buffer.h"

struct OgCallRecord {
    uint32_t result, ebx, esi, edi, ebp;
    uint32_t espBefore, espAfter;
};
extern "C" void ogCallChecked(const void *fn, const uint32_t *args, OgCallRecord *record);

struct OgFpuEnv {
    uint16_t control, pad0, status, pad1, tag, pad2;
    uint32_t rest[4];
};
inline OgFpuEnv ogFpuEnv() {
    OgFpuEnv e;
    asm volatile("fnstenv %0\n\tfldenv %0" : "=m"(e));
    return e;
}

template <class T>
uint32_t ogWord(T v) {
    uint32_t w = 0;
    std::memcpy(&w, &v, sizeof v < 4 ? sizeof v : 4);
    return w;
}

// Calls fn(args...) (at most four word-sized arguments) through the trampoline and checks what
// the routine must leave as it found it.
template <class R, class... P, class... A>
R callChecked(R (*fn)(P...), A... args) {
    static_assert(sizeof...(A) <= 4);
    uint32_t words[4] = {};
    int i = 0;
    ((words[i++] = ogWord(P(args))), ...);
    OgCallRecord rec{};
    const OgFpuEnv before = ogFpuEnv();
    ogCallChecked(reinterpret_cast<const void *>(fn), words, &rec);
    const OgFpuEnv after = ogFpuEnv();
    EXPECT_EQ(rec.ebx, 0x11111111u);
    EXPECT_EQ(rec.esi, 0x22222222u);
    EXPECT_EQ(rec.edi, 0x33333333u);
    EXPECT_EQ(rec.ebp, 0x44444444u);
    EXPECT_EQ(rec.espAfter, rec.espBefore);
    EXPECT_EQ(after.tag, 0xFFFF) << "x87 stack left empty, MMX state cleared";
    EXPECT_EQ(after.control, before.control);
    if constexpr (std::is_void_v<R>) {
        return;
    } else {
        R r;
        std::memcpy(&r, &rec.result, sizeof r);
        return r;
    }
}

// The depth fixture's buffers built afresh, and given back at the end: the stencil tables and
// the depth save area the builds take (the sanitizer build counts them).
template <class Base>
class OgDepthFixture : public Base {
protected:
    void build(int kind, int w = 16, int h = 8) {
        release();
        Base::build(kind, w, h);
    }
    void release() {
        GlContext *c = this->ctx;
        __glReleaseStencilTables(&c->buffers.stencil.head, c);
        if (this->depthMem.desc.depthSave != nullptr) c->hostProcs.free(c, this->depthMem.desc.depthSave);
        this->depthMem.desc.depthSave = nullptr;
    }
    void TearDown() override {
        release();
        Base::TearDown();
    }
};

