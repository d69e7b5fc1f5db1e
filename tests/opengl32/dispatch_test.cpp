// opengl32's gl* exports and proc tables: the do-nothing table of threads without a context
// (every export returns 0 and pops exactly its argument bytes), the jump through the thread's
// table pointer, and the swap path's glFinish inside wglSwapBuffers.
#include "platform/machine/machine.h"
#include "platform/opengl32/opengl32_internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

extern "C" int kivTestCallMeasure(const void *fn, int argBytes);
// Calls fn with argBytes of zero arguments; returns how far the stack pointer moved from where
// it was before the arguments were pushed (0: the callee popped exactly argBytes).
__asm__(
    ".text\n"
    ".globl kivTestCallMeasure\n"
    "kivTestCallMeasure:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 8(%ebp), %eax\n"
    "  movl 12(%ebp), %ecx\n"
    "  movl %esp, %esi\n"
    "  shrl $2, %ecx\n"
    "1:\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  pushl $0\n"
    "  decl %ecx\n"
    "  jmp 1b\n"
    "2:\n"
    "  call *%eax\n"
    "  movl %esp, %eax\n"
    "  subl %esi, %eax\n"
    "  movl %esi, %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");

namespace {

struct Export {
    const char *name;
    const void *entry;
    int offset;
    int bytes;
};
const Export kExports[] = {
#define GL_ENTRY(offset, ret, name, params, args, bytes) {#name, reinterpret_cast<const void *>(&name), offset, bytes},
#include <GL/gl_entries.inc>
#undef GL_ENTRY
};

TEST(Opengl32, ThreeHundredThirtySixExportsInDispatchOrder) {
    ASSERT_EQ(sizeof kExports / sizeof kExports[0], 336u);
    for (int i = 0; i < 336; ++i) EXPECT_EQ(kExports[i].offset, i);
    EXPECT_STREQ(kExports[0].name, "glNewList");
    EXPECT_STREQ(kExports[7].name, "glBegin");
    EXPECT_STREQ(kExports[43].name, "glEnd");
    EXPECT_STREQ(kExports[128].name, "glVertex2f");
    EXPECT_STREQ(kExports[216].name, "glFinish");
    EXPECT_STREQ(kExports[335].name, "glPushClientAttrib");
    // Each export is found in "opengl32.dll" by its name.
    HMODULE gl = GetModuleHandleA("opengl32.dll");
    for (const Export &e : kExports)
        EXPECT_EQ(reinterpret_cast<const void *>(GetProcAddress(gl, e.name)), e.entry) << e.name;
}

TEST(Opengl32, WithoutAContextEveryExportDoesNothingAndPopsItsArguments) {
    std::thread([] {  // a fresh thread: nothing was ever current on it
        EXPECT_EQ(kivOpenGlCurrentTable(), kivOpenGlNopTable());
        EXPECT_EQ(wglGetCurrentContext(), nullptr);
        for (const Export &e : kExports) EXPECT_EQ(kivTestCallMeasure(e.entry, e.bytes), 0) << e.name;
        EXPECT_EQ(glGetString(GL_VENDOR), nullptr);
        EXPECT_EQ(glGetError(), 0u);
        EXPECT_EQ(glGenLists(5), 0u);
        EXPECT_EQ(glIsEnabled(GL_LIGHTING), 0);
        EXPECT_EQ(glRenderMode(GL_SELECT), 0);
    }).join();
    auto *nop = static_cast<const OpenGl32Table *>(kivOpenGlNopTable());
    EXPECT_EQ(nop->count, 336u);
    for (int i = 0; i < 336; ++i) EXPECT_NE(nop->slot[i], nullptr) << i;
    for (int i = 336; i < 397; ++i) EXPECT_EQ(nop->slot[i], nullptr) << i;
}

GLenum g_begun;
int g_calls;
void APIENTRY recordBegin(GLenum mode) {
    g_begun = mode;
    ++g_calls;
}
void APIENTRY recordBegin2(GLenum mode) { g_begun = mode + 100; }
void APIENTRY recordColor(GLdouble r, GLdouble g, GLdouble b) { g_begun = static_cast<GLenum>(r + g + b); }

TEST(Opengl32, ExportsJumpThroughTheThreadsTablePointer) {
    OpenGl32Table table = kivOpenGl32NopTable;
    table.slot[7] = reinterpret_cast<void *>(&recordBegin);
    table.slot[11] = reinterpret_cast<void *>(&recordColor);  // glColor3d
    std::thread([&] {
        kivOpenGl32ThreadTable = &table;
        g_calls = 0;
        glBegin(GL_TRIANGLES);
        EXPECT_EQ(g_begun, (GLenum)GL_TRIANGLES);
        EXPECT_EQ(g_calls, 1);
        glColor3d(1.0, 2.0, 4.0);  // double arguments pass through unchanged
        EXPECT_EQ(g_begun, 7u);
        EXPECT_EQ(kivTestCallMeasure(reinterpret_cast<const void *>(&glColor3d), 24), 0);
        // opengl32 keeps the pointer: a slot the driver patches later is called at once.
        table.slot[7] = reinterpret_cast<void *>(&recordBegin2);
        glBegin(GL_LINES);
        EXPECT_EQ(g_begun, (GLenum)GL_LINES + 100);
        kivOpenGl32ThreadTable = &kivOpenGl32NopTable;
    }).join();
    // Other threads never saw that table.
    g_calls = 0;
    std::thread([] { glBegin(GL_POINTS); }).join();
    EXPECT_EQ(g_calls, 0);
}

const void *g_finishReturn;
int g_finishes;
void APIENTRY recordFinish(void) {
    g_finishReturn = __builtin_return_address(0);
    ++g_finishes;
}

TEST(Opengl32, WglSwapBuffersCallsFinishFromWithinItsFirstBytes) {
    ASSERT_TRUE(kivMachineBoot());
    HWND w = CreateWindowExA(0, "t", "t", 0, 0, 0, 32, 32, nullptr, nullptr, nullptr, nullptr);
    HDC dc = GetDC(w), dc2 = GetDC(w);
    HWND other = CreateWindowExA(0, "t", "t", 0, 0, 0, 32, 32, nullptr, nullptr, nullptr, nullptr);
    HDC odc = GetDC(other);
    OpenGl32Table table = kivOpenGl32NopTable;
    table.slot[216] = reinterpret_cast<void *>(&recordFinish);
    std::thread([&] {
        kivOpenGl32ThreadTable = &table;
        kivOpenGl32SetCurrentForTest(reinterpret_cast<HGLRC>(0x10000), dc);
        g_finishes = 0;
        EXPECT_TRUE(wglSwapBuffers(dc));
        EXPECT_EQ(g_finishes, 1);
        intptr_t distance = static_cast<const char *>(g_finishReturn) - reinterpret_cast<const char *>(&wglSwapBuffers);
        EXPECT_GT(distance, 0);
        EXPECT_LE(distance, 100);
        EXPECT_TRUE(SwapBuffers(dc2));  // another DC of the same window
        EXPECT_EQ(g_finishes, 2);
        // A window the thread does not draw into: no finish (and no driver to swap it).
        wglSwapBuffers(odc);
        EXPECT_EQ(g_finishes, 2);
        kivOpenGl32SetCurrentForTest(nullptr, nullptr);
        kivOpenGl32ThreadTable = &kivOpenGl32NopTable;
    }).join();
    ReleaseDC(w, dc);
    ReleaseDC(w, dc2);
    ReleaseDC(other, odc);
    DestroyWindow(w);
    DestroyWindow(other);
}

}  // namespace
