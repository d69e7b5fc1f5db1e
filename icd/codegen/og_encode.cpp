// Table-driven x86 / x87 / MMX encoder. Each instruction is staged in a small
// buffer, then copied to the output only if it fits below the code limit, so a
// full buffer never receives a partial instruction.
#include "icd/codegen/og_encode.h"

#include <cstring>

namespace icd {
namespace {

enum Family : uint8_t {
    NONE, MOV, EXT, LEA, PUSH, UNARY, JCC, CALL, JMP, FIXED, RETN, ALU, IMUL, SHIFT, TEST,
    X87, MOVD, MOVQ, MMX, MMXSHIFT,
};

struct OpDesc {
    Family family;
    uint8_t op1, op2, ext, memOp, memExt;
};

const OpDesc kOps[kGlOpCount] = {
#define X(code, name, fam, o1, o2, ext, mop, mext) {fam, o1, o2, ext, mop, mext},
#include "icd/codegen/og_encode_ops.h"
#undef X
};

// The table is indexed by opcode: the list must run 0, 1, 2, ... without gaps.
constexpr int kListedCodes[] = {
#define X(code, name, fam, o1, o2, ext, mop, mext) code,
#include "icd/codegen/og_encode_ops.h"
#undef X
};
constexpr bool listedInOrder()
{
    for (int i = 0; i < kGlOpCount; ++i)
        if (kListedCodes[i] != i) return false;
    return true;
}
static_assert(sizeof(kListedCodes) / sizeof(kListedCodes[0]) == kGlOpCount && listedInOrder(),
              "opcode list out of order");

// Staging area for one instruction plus at most one pending label reference.
struct Emit {
    uint8_t buf[16];
    int n = 0;
    bool ok = true;
    GlOgNode* fixLabel = nullptr;  // label whose hole starts at buf[fixAt]
    int fixAt = 0;
    int fixWide = 0;

    void byte(int v) { buf[n++] = (uint8_t)v; }
    void dword(int32_t v) { memcpy(buf + n, &v, 4); n += 4; }
    void word(int v) { byte(v & 0xFF); byte((v >> 8) & 0xFF); }
    void modrm(int reg, const GlOgNode* op)
    {
        uint8_t* end = __glOgEncodeModRM(buf + n, reg, op);
        if (end == buf + n) ok = false;
        n = (int)(end - buf);
    }
    void fail() { ok = false; }
};

inline int kindOf(const GlOgNode* n) { return n ? n->kind : -1; }
inline bool isReg32(const GlOgNode* n) { return kindOf(n) == kGlOgDwordReg; }
inline bool isReg8(const GlOgNode* n) { return kindOf(n) == kGlOgByteReg; }
inline bool isMem(const GlOgNode* n) { return kindOf(n) == kGlOgMem; }
inline bool isImm(const GlOgNode* n) { return kindOf(n) == kGlOgImm; }
inline bool isMmx(const GlOgNode* n) { return kindOf(n) == kGlOgMmxReg; }
inline bool isRm32(const GlOgNode* n) { return isReg32(n) || isMem(n); }
inline bool isRm8(const GlOgNode* n) { return isReg8(n) || isMem(n); }
inline bool isMmxRm(const GlOgNode* n) { return isMmx(n) || isMem(n); }
inline int num(const GlOgNode* n) { return n->a & 7; }

int scaleCode(int32_t scale)
{
    switch (scale) {
    case 2: return 1;
    case 4: return 2;
    case 8: return 3;
    default: return 0;
    }
}

inline bool fitsShort(int32_t v) { return v > -128 && v < 128; }

// Branch to a label: short form when placed within reach, else the long
// form; an unplaced label leaves a hole and a pending reference.
void branch(Emit& e, uint8_t* at, GlOgNode* label, int shortOp, int longOp0, int longOp1, bool shortUnplaced)
{
    if (label->c) {
        int32_t dist = __glOgDistance(label->c, __glOgWord(at));
        if (shortOp >= 0 && dist >= -126 && dist <= 126) {
            e.byte(shortOp);
            e.byte(dist - 2);
            return;
        }
        if (longOp0 >= 0) e.byte(longOp0);
        e.byte(longOp1);
        int len = e.n + 4;
        e.dword(dist - len);
        return;
    }
    if (shortUnplaced) {
        e.byte(shortOp);
        e.fixLabel = label; e.fixAt = e.n; e.fixWide = 0;
        e.byte(0);
        return;
    }
    if (longOp0 >= 0) e.byte(longOp0);
    e.byte(longOp1);
    e.fixLabel = label; e.fixAt = e.n; e.fixWide = 1;
    e.dword(0);
}

void aluLike(Emit& e, const OpDesc& d, int code, GlOgNode* dst, GlOgNode* src)
{
    const bool isTest = d.family == TEST;
    if (isImm(src)) {
        if (isReg8(dst)) {
            e.byte(isTest ? 0xF6 : 0x80);
            e.modrm(d.ext, dst);
            e.byte(src->a);
        } else if (isRm32(dst)) {
            if (code == kGlOpCmp && src->a >= -128 && src->a <= 127) {
                e.byte(0x83);
                e.modrm(7, dst);
                e.byte(src->a);
            } else {
                e.byte(isTest ? 0xF7 : 0x81);
                e.modrm(d.ext, dst);
                e.dword(src->a);
            }
        } else {
            e.fail();
        }
    } else if (isReg32(src) && isRm32(dst)) {
        e.byte(d.op1);
        e.modrm(num(src), dst);
    } else if (isReg8(src) && isRm8(dst)) {
        e.byte(d.op1 - 1);
        e.modrm(num(src), dst);
    } else if (isReg32(dst) && isRm32(src)) {
        e.byte(d.op2);
        e.modrm(num(dst), src);
    } else if (isReg8(dst) && isRm8(src)) {
        e.byte(d.op2 - 1);
        e.modrm(num(dst), src);
    } else {
        e.fail();
    }
}

void encodeInto(Emit& e, GlOgState* ctx, uint8_t* at, int code, GlOgNode* dst, GlOgNode* src)
{
    const OpDesc& d = kOps[code];
    switch (d.family) {
    case NONE:
        e.fail();
        break;
    case MOV:
        if (isReg32(dst) && isImm(src)) { e.byte(0xB8 + num(dst)); e.dword(src->a); }
        else if (isMem(dst) && isImm(src)) { e.byte(0xC7); e.modrm(0, dst); e.dword(src->a); }
        else if (isReg32(dst) && isRm32(src)) { e.byte(0x8B); e.modrm(num(dst), src); }
        else if (isMem(dst) && isReg32(src)) { e.byte(0x89); e.modrm(num(src), dst); }
        else if (isReg8(dst) && isRm8(src)) { e.byte(0x8A); e.modrm(num(dst), src); }
        else if (isMem(dst) && isReg8(src)) { e.byte(0x88); e.modrm(num(src), dst); }
        else e.fail();
        break;
    case EXT: {
        const bool byteSrc = d.op1 == 0xBE || d.op1 == 0xB6;
        if (isReg32(dst) && (byteSrc ? isRm8(src) : isMem(src) || isReg32(src))) {
            e.byte(0x0F); e.byte(d.op1); e.modrm(num(dst), src);
        } else {
            e.fail();
        }
        break;
    }
    case LEA:
        if (isReg32(dst) && isMem(src)) { e.byte(d.op1); e.modrm(num(dst), src); }
        else e.fail();
        break;
    case PUSH:
        if (isReg32(dst)) e.byte(d.op1 + num(dst));
        else if (isImm(dst)) { e.byte(0x68); e.dword(dst->a); }
        else if (isMem(dst)) { e.byte(d.memOp); e.modrm(d.memExt, dst); }
        else e.fail();
        break;
    case UNARY:
        if (isReg32(dst) && d.op1) e.byte(d.op1 + num(dst));
        else if (isRm32(dst)) { e.byte(d.memOp); e.modrm(d.memExt, dst); }
        else e.fail();
        break;
    case JCC:
        if (kindOf(dst) != kGlOgLabel) { e.fail(); break; }
        branch(e, at, dst, 0x70 | d.op1, 0x0F, 0x80 | d.op1, dst->a == 0);
        break;
    case JMP:
        if (kindOf(dst) != kGlOgLabel) { e.fail(); break; }
        // Unplaced: always the 32-bit hole, whatever the label's width flag.
        branch(e, at, dst, 0xEB, -1, 0xE9, false);
        break;
    case CALL:
        if (kindOf(dst) == kGlOgLabel) branch(e, at, dst, -1, -1, 0xE8, false);
        else if (isRm32(dst)) { e.byte(d.memOp); e.modrm(d.memExt, dst); }
        else e.fail();
        break;
    case FIXED:
        e.byte(d.op1);
        if (d.op2) e.byte(d.op2);
        break;
    case RETN:
        if (isImm(dst)) { e.byte(d.op1); e.word(dst->a); }
        else e.fail();
        break;
    case ALU:
    case TEST:
        aluLike(e, d, code, dst, src);
        break;
    case IMUL:
        if (isReg32(dst) && isImm(src)) { e.byte(0x69); e.modrm(num(dst), dst); e.dword(src->a); }
        else if (isReg32(dst) && isRm32(src)) { e.byte(0x0F); e.byte(0xAF); e.modrm(num(dst), src); }
        else e.fail();
        break;
    case SHIFT:
        if (!isReg32(dst) || !isImm(src)) { e.fail(); break; }
        if (src->a <= 0) break;  // a count of 0 emits nothing
        if (src->a > 31) {
            // The processor would shift by count & 31: a wrong result, not an error.
            ctx->ogFailed = 1;
            e.fail();
            break;
        }
        e.byte(0xC1); e.modrm(d.ext, dst); e.byte(src->a);
        break;
    case X87:
        if (kindOf(dst) == kGlOgStReg && d.op1) { e.byte(d.op1); e.byte(d.op2 + num(dst)); }
        else if (isMem(dst) && d.memOp) { e.byte(d.memOp); e.modrm(d.memExt, dst); }
        else e.fail();
        break;
    case MOVD:
        if (isMmx(dst) && isRm32(src)) { e.byte(0x0F); e.byte(0x6E); e.modrm(num(dst), src); }
        else if (isMmx(src) && isRm32(dst)) { e.byte(0x0F); e.byte(0x7E); e.modrm(num(src), dst); }
        else e.fail();
        break;
    case MOVQ:
        if (isMmx(dst) && isMmxRm(src)) { e.byte(0x0F); e.byte(0x6F); e.modrm(num(dst), src); }
        else if (isMmx(src) && isMem(dst)) { e.byte(0x0F); e.byte(0x7F); e.modrm(num(src), dst); }
        else e.fail();
        break;
    case MMXSHIFT:
        if (isMmx(dst) && isImm(src)) {
            e.byte(0x0F); e.byte(d.memOp); e.modrm(d.memExt, dst); e.byte(src->a);
            break;
        }
        [[fallthrough]];
    case MMX:
        if (isMmx(dst) && isMmxRm(src)) { e.byte(0x0F); e.byte(d.op1); e.modrm(num(dst), src); }
        else e.fail();
        break;
    }
}

}  // namespace

uint8_t* __glOgEncodeModRM(uint8_t* out, int regField, const GlOgNode* op)
{
    const int reg = (regField & 7) << 3;
    const int kind = kindOf(op);
    if (kind == kGlOgByteReg || kind == kGlOgDwordReg || kind == kGlOgMmxReg) {
        *out++ = (uint8_t)(0xC0 | reg | num(op));
        return out;
    }
    if (kind != kGlOgMem) return out;

    const GlOgNode* dispNode = __glOgRef(op->a);
    const GlOgNode* base = __glOgRef(op->c);
    const GlOgNode* index = __glOgRef(op->d);
    if ((base && !isReg32(base)) || (index && !isReg32(index)) || (dispNode && !isImm(dispNode)))
        return out;
    // esp cannot be an index: that SIB value means "no index".
    if (index && num(index) == kEsp) return out;
    const int32_t disp = dispNode ? dispNode->a : 0;
    // Registers are recognised by number, so esp/ebp built as fresh nodes
    // still get their special forms.
    const int b = base ? num(base) : -1;
    auto put32 = [&](int32_t v) { memcpy(out, &v, 4); out += 4; };

    if (!base && !index) {                       // absolute address
        *out++ = (uint8_t)(0x05 | reg);
        put32(disp);
    } else if (base && !index && !dispNode && b != kEsp && b != kEbp) {
        *out++ = (uint8_t)(reg | b);
    } else if (base && !index && dispNode && b != kEsp) {
        if (fitsShort(disp)) { *out++ = (uint8_t)(0x40 | reg | b); *out++ = (uint8_t)disp; }
        else { *out++ = (uint8_t)(0x80 | reg | b); put32(disp); }
    } else if (!base) {                          // index without base: disp32 always
        *out++ = (uint8_t)(0x04 | reg);
        *out++ = (uint8_t)(scaleCode(op->b) << 6 | num(index) << 3 | 5);
        put32(disp);
    } else {
        const int sib = scaleCode(op->b) << 6 | (index ? num(index) : 4) << 3 | b;
        if (disp == 0 && b != kEbp) {
            *out++ = (uint8_t)(0x04 | reg); *out++ = (uint8_t)sib;
        } else if (fitsShort(disp)) {
            *out++ = (uint8_t)(0x44 | reg); *out++ = (uint8_t)sib; *out++ = (uint8_t)disp;
        } else {
            *out++ = (uint8_t)(0x84 | reg); *out++ = (uint8_t)sib; put32(disp);
        }
    }
    return out;
}

uint8_t* __glOgEncode(GlOgState* ctx, uint8_t* out, GlOgNode* insn)
{
    if (kindOf(insn) != kGlOgInsn || insn->a < 0 || insn->a >= kGlOpCount) return out;
    Emit e;
    encodeInto(e, ctx, out, insn->a, __glOgRef(insn->b), __glOgRef(insn->c));
    if (!e.ok || e.n == 0) return out;
    if (!ctx->ogCodeEnd || out + e.n > ctx->ogCodeEnd) {
        ctx->ogFailed = 1;  // no room: the routine is incomplete and must not be used
        return out;
    }
    memcpy(out, e.buf, e.n);
    if (e.fixLabel) {
        GlOgNode* f = __glOgNewNode(ctx, kGlOgLabel);
        if (f != &ctx->ogScratch) {
            f->a = e.fixWide;
            f->b = e.fixLabel->b;
            f->c = __glOgWord(out + e.fixAt);
            f->d = 0;
            e.fixLabel->b = __glOgWord(f);
        }
    }
    return out + e.n;
}

uint8_t* __glOgEmitShiftBy(GlOgState* ctx, uint8_t* out, GlOgNode* reg, int from, int to)
{
    if (from == to) return out;
    GlOgNode* count = __glOgImm(ctx, from < to ? to - from : from - to);
    return __glOgEncode(ctx, out, from < to ? __glOgShl(ctx, reg, count) : __glOgShr(ctx, reg, count));
}

uint8_t* __glOgEmitMmxShiftBy(GlOgState* ctx, uint8_t* out, GlOgNode* mmxReg, int from, int to)
{
    if (from == to) return out;
    GlOgNode* count = __glOgImm(ctx, from < to ? to - from : from - to);
    return __glOgEncode(ctx, out, from < to ? __glOgPsllw(ctx, mmxReg, count) : __glOgPsrlw(ctx, mmxReg, count));
}

}  // namespace icd
