// The process-wide MMX decision, the per-context permission, and the MMX fill loop that the
// rectangle fills run through.
#include <cpuid.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "icd/codegen/og_context.h"
#include "icd/core/context.h"

namespace icd {

namespace {

std::atomic<int> g_mmxOverride{-1};

bool decideMmx() {
    if (const char *forced = std::getenv("__GL_FORCE_MMX")) return std::atoi(forced) != 0;
    // __get_cpuid makes the EFLAGS bit-21 test itself and answers 0 without CPUID.
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return (d & bit_MMX) != 0;
}

struct FillRoutine {
    uint8_t *block = nullptr;
    void *entry = nullptr;
};

constexpr size_t kFillBlockBytes = 4096;

// eax value, ecx count, edi destination (4-aligned): one dword to reach 8-byte alignment, then
// blocks of four qword stores of the value pair (32 bytes), the remaining qwords one at a time,
// then the odd dword. A count of 0 stores nothing.
void *writeFill(uint8_t *block) {
    std::unique_ptr<GlOgState> st(new GlOgState);
    GlOgState *s = st.get();
    if (!__glOgInitState(s)) return nullptr;
    __glOgResetArena(s);
    __glOgSetCodeLimit(s, block + kFillBlockBytes);
    GlOgWriter w{s, block, block, nullptr, -1};
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx), *edi = w.r(kEdi), *mm0 = __glOgMm(0);
    GlOgNode *done = w.label(), *aligned = w.label(), *blocks = w.label(), *pairs = w.label(), *loop = w.label(),
             *tail = w.label();
    w.op(__glOgTest(s, ecx, ecx));
    w.op(__glOgJe(s, done));
    w.op(__glOgTest(s, edi, w.imm(4)));
    w.op(__glOgJe(s, aligned));
    w.op(__glOgMov(s, w.at(kEdi), eax));
    w.op(__glOgAdd(s, edi, w.imm(4)));
    w.op(__glOgDec(s, ecx));
    w.op(__glOgJe(s, done));
    w.place(aligned);
    w.op(__glOgMovd(s, mm0, eax));
    w.op(__glOgPunpckldq(s, mm0, mm0));
    w.op(__glOgPush(s, ecx));
    w.op(__glOgShr(s, ecx, w.imm(3)));
    w.op(__glOgJe(s, pairs));
    w.place(blocks);
    for (int32_t at = 0; at < 32; at += 8) w.op(__glOgMovq(s, w.at(kEdi, at), mm0));
    w.op(__glOgAdd(s, edi, w.imm(32)));
    w.op(__glOgDec(s, ecx));
    w.op(__glOgJne(s, blocks));
    w.place(pairs);
    w.op(__glOgPop(s, ecx));
    w.op(__glOgPush(s, ecx));
    w.op(__glOgAnd(s, ecx, w.imm(7)));
    w.op(__glOgShr(s, ecx, w.imm(1)));
    w.op(__glOgJe(s, tail));
    w.place(loop);
    w.op(__glOgMovq(s, w.at(kEdi), mm0));
    w.op(__glOgAdd(s, edi, w.imm(8)));
    w.op(__glOgDec(s, ecx));
    w.op(__glOgJne(s, loop));
    w.place(tail);
    w.op(__glOgPop(s, ecx));
    w.op(__glOgTest(s, ecx, w.imm(1)));
    w.op(__glOgJe(s, done));
    w.op(__glOgMov(s, w.at(kEdi), eax));
    w.op(__glOgAdd(s, edi, w.imm(4)));
    w.place(done);
    w.op(__glOgRet(s));
    const bool ok = !__glOgFailed(s);
    __glOgFreeState(s);
    return ok ? block : nullptr;
}

}  // namespace

void __glOgOverrideMmx(int value) { g_mmxOverride.store(value); }

void *__glOgGenFillProc() {
    static FillRoutine routine;
    static std::once_flag once;
    // Generated once; the entry is published only when the code is complete and sealed.
    std::call_once(once, [] {
        uint8_t *block = __glOgAllocCode(kFillBlockBytes);
        if (!block) return;
        void *entry = writeFill(block);
        if (!entry || !__glOgSealCode(block, kFillBlockBytes)) {
            __glOgFreeCode(block, kFillBlockBytes);
            return;
        }
        routine.block = block;
        routine.entry = entry;
    });
    return __glOgQueryMmx() ? routine.entry : nullptr;
}

bool __glOgFill32(uint32_t *dst, int32_t count, uint32_t value) {
    void *fill = __glOgGenFillProc();
    if (!fill || (reinterpret_cast<uintptr_t>(dst) & 3) != 0) return false;
    if (count <= 0) return true;
    asm volatile("call *%[f]\n\temms"
                 : "+D"(dst), "+c"(count)
                 : "a"(value), [f] "r"(fill)
                 : "memory", "cc");
    return true;
}

}  // namespace icd

using namespace icd;

BOOL __glOgQueryMmx(void) {
    const int forced = g_mmxOverride.load();
    if (forced >= 0) return forced != 0;
    static const bool mmx = decideMmx();  // thread-safe one-time decision
    return mmx;
}

BOOL __glOgCanUseMmx(GlContext *ctx) {
    if (!__glOgQueryMmx() || ctx == nullptr) return FALSE;
    if (ctx->codeCaches.modeFlags & kGlOgModeNoMmx) return FALSE;
    // The MMX span code handles RGBA pixels of one or two bytes only.
    if (!ctx->visual.rgbaMode) return FALSE;
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    const int32_t bytes = cb != nullptr ? cb->head.elementSize : (ctx->visual.colorBits + 7) / 8;
    return bytes <= 2 ? TRUE : FALSE;
}
