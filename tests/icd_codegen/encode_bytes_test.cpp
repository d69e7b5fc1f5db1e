// Exact machine bytes for instruction nodes, one table row per form.
#include "tests/icd_codegen/og_fixture.h"

#include <functional>

namespace icd {
namespace {

using B = std::vector<uint8_t>;
struct Row {
    const char* text;
    std::function<GlOgNode*(OgTest&, GlOgState*)> build;
    B expect;
};

GlOgNode* R(int r) { return __glOgR32(r); }
GlOgNode* R8(int r) { return __glOgR8(r); }
GlOgNode* ST(int i) { return __glOgSt(i); }
GlOgNode* MM(int i) { return __glOgMm(i); }

#define ROW(text, expr, ...) {text, [](OgTest& t, GlOgState* s) -> GlOgNode* { (void)t; (void)s; return expr; }, B{__VA_ARGS__}}

const Row kRows[] = {
    // mov, in its order of forms
    ROW("mov eax,5", __glOgMov(s, R(kEax), t.imm(5)), 0xB8, 0x05, 0, 0, 0),
    ROW("mov edi,-1", __glOgMov(s, R(kEdi), t.imm(-1)), 0xBF, 0xFF, 0xFF, 0xFF, 0xFF),
    ROW("mov [ebx+8],5", __glOgMov(s, t.at(R(kEbx), 8), t.imm(5)), 0xC7, 0x43, 0x08, 0x05, 0, 0, 0),
    ROW("mov eax,ebx", __glOgMov(s, R(kEax), R(kEbx)), 0x8B, 0xC3),
    ROW("mov ecx,[esp+8]", __glOgMov(s, R(kEcx), t.at(R(kEsp), 8)), 0x8B, 0x4C, 0x24, 0x08),
    ROW("mov [eax],edx", __glOgMov(s, t.at(R(kEax)), R(kEdx)), 0x89, 0x10),
    ROW("mov al,[esi]", __glOgMov(s, R8(0), t.at(R(kEsi))), 0x8A, 0x06),
    ROW("mov [edi],cl", __glOgMov(s, t.at(R(kEdi)), R8(1)), 0x88, 0x0F),
    ROW("mov al,5 (not a form)", __glOgMov(s, R8(0), t.imm(5))),
    ROW("mov eax,cl (mixed widths)", __glOgMov(s, R(kEax), R8(1))),
    // arithmetic family: I, short cmp, M, M-1, R, R-1
    ROW("cmp eax,5", __glOgCmp(s, R(kEax), t.imm(5)), 0x83, 0xF8, 0x05),
    ROW("cmp eax,200", __glOgCmp(s, R(kEax), t.imm(200)), 0x81, 0xF8, 0xC8, 0, 0, 0),
    ROW("cmp eax,127", __glOgCmp(s, R(kEax), t.imm(127)), 0x83, 0xF8, 0x7F),
    ROW("cmp eax,-128", __glOgCmp(s, R(kEax), t.imm(-128)), 0x83, 0xF8, 0x80),
    ROW("cmp eax,128", __glOgCmp(s, R(kEax), t.imm(128)), 0x81, 0xF8, 0x80, 0, 0, 0),
    ROW("cmp eax,-129", __glOgCmp(s, R(kEax), t.imm(-129)), 0x81, 0xF8, 0x7F, 0xFF, 0xFF, 0xFF),
    ROW("cmp [ecx+4],3", __glOgCmp(s, t.at(R(kEcx), 4), t.imm(3)), 0x83, 0x79, 0x04, 0x03),
    ROW("add eax,1", __glOgAdd(s, R(kEax), t.imm(1)), 0x81, 0xC0, 0x01, 0, 0, 0),
    ROW("add eax,ecx", __glOgAdd(s, R(kEax), R(kEcx)), 0x01, 0xC8),
    ROW("add ecx,[ebp+4]", __glOgAdd(s, R(kEcx), t.at(R(kEbp), 4)), 0x03, 0x4D, 0x04),
    ROW("sub [eax],edx", __glOgSub(s, t.at(R(kEax)), R(kEdx)), 0x29, 0x10),
    ROW("sub edx,[eax]", __glOgSub(s, R(kEdx), t.at(R(kEax))), 0x2B, 0x10),
    ROW("adc edx,1", __glOgAdc(s, R(kEdx), t.imm(1)), 0x81, 0xD2, 0x01, 0, 0, 0),
    ROW("sbb ebx,esi", __glOgSbb(s, R(kEbx), R(kEsi)), 0x19, 0xF3),
    ROW("and al,0x0F", __glOgAnd(s, R8(0), t.imm(0x0F)), 0x80, 0xE0, 0x0F),
    ROW("or dl,bl", __glOgOr(s, R8(2), R8(3)), 0x08, 0xDA),
    ROW("or cl,[eax]", __glOgOr(s, R8(1), t.at(R(kEax))), 0x0A, 0x08),
    ROW("xor eax,0x1234", __glOgXor(s, R(kEax), t.imm(0x1234)), 0x81, 0xF0, 0x34, 0x12, 0, 0),
    ROW("xor eax,eax", __glOgXor(s, R(kEax), R(kEax)), 0x31, 0xC0),
    ROW("test eax,ecx", __glOgTest(s, R(kEax), R(kEcx)), 0x85, 0xC8),
    ROW("test ecx,[eax]", __glOgTest(s, R(kEcx), t.at(R(kEax))), 0x85, 0x08),
    ROW("test eax,1", __glOgTest(s, R(kEax), t.imm(1)), 0xF7, 0xC0, 0x01, 0, 0, 0),
    ROW("add 5,eax (not a form)", __glOgAdd(s, t.imm(5), R(kEax))),
    // ModRM and SIB forms through lea
    ROW("lea eax,[ebp]", __glOgLea(s, R(kEax), t.at(R(kEbp))), 0x8D, 0x44, 0x25, 0x00),
    ROW("lea eax,[esp]", __glOgLea(s, R(kEax), t.at(R(kEsp))), 0x8D, 0x04, 0x24),
    ROW("lea eax,[esp+8]", __glOgLea(s, R(kEax), t.at(R(kEsp), 8)), 0x8D, 0x44, 0x24, 0x08),
    ROW("lea eax,[esp+0x200]", __glOgLea(s, R(kEax), t.at(R(kEsp), 0x200)), 0x8D, 0x84, 0x24, 0, 2, 0, 0),
    ROW("lea eax,[ecx+127]", __glOgLea(s, R(kEax), t.at(R(kEcx), 127)), 0x8D, 0x41, 0x7F),
    ROW("lea eax,[ecx-127]", __glOgLea(s, R(kEax), t.at(R(kEcx), -127)), 0x8D, 0x41, 0x81),
    ROW("lea eax,[ecx-128]", __glOgLea(s, R(kEax), t.at(R(kEcx), -128)), 0x8D, 0x81, 0x80, 0xFF, 0xFF, 0xFF),
    ROW("lea eax,[ecx+128]", __glOgLea(s, R(kEax), t.at(R(kEcx), 128)), 0x8D, 0x81, 0x80, 0, 0, 0),
    ROW("lea eax,[0x12345678]", __glOgLea(s, R(kEax), t.abs(0x12345678)), 0x8D, 0x05, 0x78, 0x56, 0x34, 0x12),
    ROW("lea eax,[ebp+eax*2]", __glOgLea(s, R(kEax), __glOgMem(s, nullptr, R(kEbp), R(kEax), 2)), 0x8D, 0x44, 0x45, 0x00),
    ROW("lea eax,[ebx+ecx]", __glOgLea(s, R(kEax), __glOgMem(s, nullptr, R(kEbx), R(kEcx), 1)), 0x8D, 0x04, 0x0B),
    ROW("lea edx,[ebx+esi*8+0x200]", __glOgLea(s, R(kEdx), __glOgMem(s, t.imm(0x200), R(kEbx), R(kEsi), 8)),
        0x8D, 0x94, 0xF3, 0x00, 0x02, 0, 0),
    ROW("lea ecx,[eax*4+0x10]", __glOgLea(s, R(kEcx), __glOgMem(s, t.imm(0x10), nullptr, R(kEax), 4)),
        0x8D, 0x0C, 0x85, 0x10, 0, 0, 0),
    ROW("lea ecx,[eax*4] (no displacement)", __glOgLea(s, R(kEcx), __glOgMem(s, nullptr, nullptr, R(kEax), 4)),
        0x8D, 0x0C, 0x85, 0, 0, 0, 0),
    ROW("lea eax,[ebx+esp] (esp cannot index)", __glOgLea(s, R(kEax), __glOgMem(s, nullptr, R(kEbx), R(kEsp), 1))),
    ROW("lea eax,ecx (not a form)", __glOgLea(s, R(kEax), R(kEcx))),
    // esp / ebp recognised by number, not by being the static nodes
    ROW("mov eax,[esp] (fresh esp node)",
        __glOgMov(s, R(kEax), t.at([&] { GlOgNode* n = __glOgNewNode(s, kGlOgDwordReg); n->a = kEsp; return n; }())),
        0x8B, 0x04, 0x24),
    // movsx / movzx
    ROW("movzx eax,byte [esi]", __glOgMovzx8(s, R(kEax), t.at(R(kEsi))), 0x0F, 0xB6, 0x06),
    ROW("movzx eax,cl", __glOgMovzx8(s, R(kEax), R8(1)), 0x0F, 0xB6, 0xC1),
    ROW("movsx eax,byte [esi]", __glOgMovsx8(s, R(kEax), t.at(R(kEsi))), 0x0F, 0xBE, 0x06),
    ROW("movsx ecx,word [edx]", __glOgMovsx16(s, R(kEcx), t.at(R(kEdx))), 0x0F, 0xBF, 0x0A),
    ROW("movzx ecx,word [edx]", __glOgMovzx16(s, R(kEcx), t.at(R(kEdx))), 0x0F, 0xB7, 0x0A),
    // push / pop / inc / dec
    ROW("push ebp", __glOgPush(s, R(kEbp)), 0x55),
    ROW("push 0x10", __glOgPush(s, t.imm(0x10)), 0x68, 0x10, 0, 0, 0),
    ROW("push [esp+4]", __glOgPush(s, t.at(R(kEsp), 4)), 0xFF, 0x74, 0x24, 0x04),
    ROW("pop edi", __glOgPop(s, R(kEdi)), 0x5F),
    ROW("pop [eax]", __glOgPop(s, t.at(R(kEax))), 0x8F, 0x00),
    ROW("inc ecx", __glOgInc(s, R(kEcx)), 0x41),
    ROW("inc [eax]", __glOgInc(s, t.at(R(kEax))), 0xFF, 0x00),
    ROW("dec edx", __glOgDec(s, R(kEdx)), 0x4A),
    ROW("dec [ebx]", __glOgDec(s, t.at(R(kEbx))), 0xFF, 0x0B),
    // calls, indirect jumps, returns
    ROW("call edx", __glOgCall(s, R(kEdx)), 0xFF, 0xD2),
    ROW("call [eax+4]", __glOgCall(s, t.at(R(kEax), 4)), 0xFF, 0x50, 0x04),
    ROW("jmp eax", __glOgJmpRm(s, R(kEax)), 0xFF, 0xE0),
    ROW("jmp [ecx]", __glOgJmpRm(s, t.at(R(kEcx))), 0xFF, 0x21),
    ROW("ret", __glOgRet(s), 0xC3),
    ROW("ret 8", __glOgRetN(s, t.imm(8)), 0xC2, 0x08, 0x00),
    // imul / idiv
    ROW("imul eax,ecx", __glOgImul(s, R(kEax), R(kEcx)), 0x0F, 0xAF, 0xC1),
    ROW("imul eax,[esi]", __glOgImul(s, R(kEax), t.at(R(kEsi))), 0x0F, 0xAF, 0x06),
    ROW("imul edx,10", __glOgImul(s, R(kEdx), t.imm(10)), 0x69, 0xD2, 0x0A, 0, 0, 0),
    ROW("idiv ecx", __glOgIdiv(s, R(kEcx)), 0xF7, 0xF9),
    ROW("idiv [eax]", __glOgIdiv(s, t.at(R(kEax))), 0xF7, 0x38),
    // shifts
    ROW("rol ebx,8", __glOgRol(s, R(kEbx), t.imm(8)), 0xC1, 0xC3, 0x08),
    ROW("shl eax,1", __glOgShl(s, R(kEax), t.imm(1)), 0xC1, 0xE0, 0x01),
    ROW("shr edx,4", __glOgShr(s, R(kEdx), t.imm(4)), 0xC1, 0xEA, 0x04),
    ROW("sar esi,31", __glOgSar(s, R(kEsi), t.imm(31)), 0xC1, 0xFE, 0x1F),
    ROW("shl eax,0", __glOgShl(s, R(kEax), t.imm(0))),
    ROW("shl [eax],4 (register only)", __glOgShl(s, t.at(R(kEax)), t.imm(4))),
    // one-byte and fixed forms
    ROW("int3", __glOgInt3(s), 0xCC),
    ROW("fwait", __glOgFwait(s), 0x9B),
    ROW("operand-size prefix", __glOgOpSize(s), 0x66),
    ROW("rep", __glOgRep(s), 0xF3),
    ROW("movsd", __glOgMovsd(s), 0xA5),
    ROW("nop", __glOgNop(s), 0x90),
    ROW("fldpi", __glOgFldpi(s), 0xD9, 0xEB),
    ROW("fabs", __glOgFabs(s), 0xD9, 0xE1),
    ROW("fchs", __glOgFchs(s), 0xD9, 0xE0),
    ROW("rdtsc", __glOgRdtsc(s), 0x0F, 0x31),
    ROW("emms", __glOgEmms(s), 0x0F, 0x77),
    ROW("opcode 87", __glOgInsn(s, 87, R(kEax), R(kEcx))),
    // x87: st(i) and memory forms
    ROW("fld st3", __glOgFld(s, ST(3)), 0xD9, 0xC3),
    ROW("fld dword [eax]", __glOgFld(s, t.at(R(kEax))), 0xD9, 0x00),
    ROW("fild dword [eax]", __glOgFild(s, t.at(R(kEax))), 0xDB, 0x00),
    ROW("fild qword [esp]", __glOgFild64(s, t.at(R(kEsp))), 0xDF, 0x2C, 0x24),
    ROW("fxch st1", __glOgFxch(s, ST(1)), 0xD9, 0xC9),
    ROW("fst st2", __glOgFst(s, ST(2)), 0xDD, 0xD2),
    ROW("fst dword [ecx]", __glOgFst(s, t.at(R(kEcx))), 0xD9, 0x11),
    ROW("fstp st1", __glOgFstp(s, ST(1)), 0xDD, 0xD9),
    ROW("fstp dword [edx]", __glOgFstp(s, t.at(R(kEdx))), 0xD9, 0x1A),
    ROW("fstp qword [edx]", __glOgFstp64(s, t.at(R(kEdx))), 0xDD, 0x1A),
    ROW("fistp dword [eax]", __glOgFistp(s, t.at(R(kEax))), 0xDB, 0x18),
    ROW("fist dword [eax]", __glOgFist(s, t.at(R(kEax))), 0xDB, 0x10),
    ROW("fistp qword [eax]", __glOgFistp64(s, t.at(R(kEax))), 0xDF, 0x38),
    ROW("fmul st1", __glOgFmul(s, ST(1)), 0xD8, 0xC9),
    ROW("fmul dword [eax]", __glOgFmul(s, t.at(R(kEax))), 0xD8, 0x08),
    ROW("fmulp st1", __glOgFmulp(s, ST(1)), 0xDE, 0xC9),
    ROW("fadd st2", __glOgFadd(s, ST(2)), 0xD8, 0xC2),
    ROW("fadd dword [eax]", __glOgFadd(s, t.at(R(kEax))), 0xD8, 0x00),
    ROW("faddp st1", __glOgFaddp(s, ST(1)), 0xDE, 0xC1),
    ROW("fsub st1", __glOgFsub(s, ST(1)), 0xD8, 0xE1),
    ROW("fsub dword [eax]", __glOgFsub(s, t.at(R(kEax))), 0xD8, 0x20),
    ROW("fdivr st1", __glOgFdivr(s, ST(1)), 0xD8, 0xF9),
    ROW("fdivr dword [eax]", __glOgFdivr(s, t.at(R(kEax))), 0xD8, 0x38),
    ROW("fdiv st1", __glOgFdiv(s, ST(1)), 0xD8, 0xF1),
    ROW("fdiv dword [eax]", __glOgFdiv(s, t.at(R(kEax))), 0xD8, 0x30),
    ROW("fldcw [esp]", __glOgFldcw(s, t.at(R(kEsp))), 0xD9, 0x2C, 0x24),
    ROW("fnstcw [esp]", __glOgFnstcw(s, t.at(R(kEsp))), 0xD9, 0x3C, 0x24),
    ROW("fsubp st1", __glOgFsubp(s, ST(1)), 0xDE, 0xE9),
    ROW("fsubrp st1", __glOgFsubrp(s, ST(1)), 0xDE, 0xE1),
    ROW("fld qword [eax]", __glOgFld64(s, t.at(R(kEax))), 0xDD, 0x00),
    ROW("fadd qword [eax]", __glOgFadd64(s, t.at(R(kEax))), 0xDC, 0x00),
    ROW("fmulp [eax] (no memory form)", __glOgFmulp(s, t.at(R(kEax)))),
    ROW("fild st1 (no register form)", __glOgFild(s, ST(1))),
    // MMX
    ROW("movd mm0,eax", __glOgMovd(s, MM(0), R(kEax)), 0x0F, 0x6E, 0xC0),
    ROW("movd mm1,[esp+4]", __glOgMovd(s, MM(1), t.at(R(kEsp), 4)), 0x0F, 0x6E, 0x4C, 0x24, 0x04),
    ROW("movd eax,mm2", __glOgMovd(s, R(kEax), MM(2)), 0x0F, 0x7E, 0xD0),
    ROW("movd [edi],mm3", __glOgMovd(s, t.at(R(kEdi)), MM(3)), 0x0F, 0x7E, 0x1F),
    ROW("movq mm0,mm1", __glOgMovq(s, MM(0), MM(1)), 0x0F, 0x6F, 0xC1),
    ROW("movq mm2,[eax]", __glOgMovq(s, MM(2), t.at(R(kEax))), 0x0F, 0x6F, 0x10),
    ROW("movq [eax],mm2", __glOgMovq(s, t.at(R(kEax)), MM(2)), 0x0F, 0x7F, 0x10),
    ROW("paddusb mm0,mm1", __glOgPaddusb(s, MM(0), MM(1)), 0x0F, 0xDC, 0xC1),
    ROW("pxor mm7,mm7", __glOgPxor(s, MM(7), MM(7)), 0x0F, 0xEF, 0xFF),
    ROW("pmulhw mm1,[eax]", __glOgPmulhw(s, MM(1), t.at(R(kEax))), 0x0F, 0xE5, 0x08),
    ROW("punpcklbw mm0,mm4", __glOgPunpcklbw(s, MM(0), MM(4)), 0x0F, 0x60, 0xC4),
    ROW("packuswb mm3,mm0", __glOgPackuswb(s, MM(3), MM(0)), 0x0F, 0x67, 0xD8),
    ROW("psllw mm1,3", __glOgPsllw(s, MM(1), t.imm(3)), 0x0F, 0x71, 0xF1, 0x03),
    ROW("psrad mm2,4", __glOgPsrad(s, MM(2), t.imm(4)), 0x0F, 0x72, 0xE2, 0x04),
    ROW("psrlq mm3,32", __glOgPsrlq(s, MM(3), t.imm(32)), 0x0F, 0x73, 0xD3, 0x20),
    ROW("psllw mm1,mm2", __glOgPsllw(s, MM(1), MM(2)), 0x0F, 0xF1, 0xCA),
    ROW("paddw eax,mm1 (not a form)", __glOgPaddw(s, R(kEax), MM(1))),
};

TEST_F(OgTest, EncodesEachFormToItsExactBytes)
{
    for (const Row& row : kRows) {
        __glOgResetArena(s);
        GlOgNode* insn = row.build(*this, s);
        EXPECT_EQ(bytes(insn), row.expect) << row.text;
        EXPECT_FALSE(__glOgFailed(s)) << row.text;
    }
}

TEST_F(OgTest, ShiftHelpersPickDirectionAndSkipEqualPositions)
{
    uint8_t* e = __glOgEmitShiftBy(s, buf, __glOgR32(kEax), 3, 11);
    EXPECT_EQ(B(buf, e), (B{0xC1, 0xE0, 0x08}));
    e = __glOgEmitShiftBy(s, buf, __glOgR32(kEcx), 24, 19);
    EXPECT_EQ(B(buf, e), (B{0xC1, 0xE9, 0x05}));
    EXPECT_EQ(__glOgEmitShiftBy(s, buf, __glOgR32(kEcx), 7, 7), buf);
    e = __glOgEmitMmxShiftBy(s, buf, __glOgMm(2), 0, 5);
    EXPECT_EQ(B(buf, e), (B{0x0F, 0x71, 0xF2, 0x05}));
    e = __glOgEmitMmxShiftBy(s, buf, __glOgMm(2), 8, 3);
    EXPECT_EQ(B(buf, e), (B{0x0F, 0x71, 0xD2, 0x05}));
    EXPECT_EQ(__glOgEmitMmxShiftBy(s, buf, __glOgMm(2), 4, 4), buf);
    EXPECT_FALSE(__glOgFailed(s));

    // A distance the processor would take modulo 32 is refused, not emitted.
    EXPECT_EQ(__glOgEmitShiftBy(s, buf, __glOgR32(kEax), 0, 32), buf);
    EXPECT_TRUE(__glOgFailed(s));
}

}  // namespace
}  // namespace icd
