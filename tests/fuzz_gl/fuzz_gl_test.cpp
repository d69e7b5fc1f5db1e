// Fuzz driver of the OpenGL API as a program reaches it: every OpenGL 1.1 entry point through
// opengl32 with the driver loaded as a module, random enumerants, sizes, NaN and infinities,
// calls inside and outside glBegin/glEnd, display lists compiled and called. Pointer arguments
// always point into memory at least as large as the call may read or write: every size a call
// reads by (widths, counts, strides, orders, the pixel-store lengths and skips) is kept small, and
// the memory behind each pointer is far larger than the largest such read. After every batch the
// context goes, a fresh one on the same window must still draw a triangle that glReadPixels
// finds, and the driver's global blocks must be back to what they were.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/machine/machine.h"
#include "platform/opengl32/wgl.h"
#include "platform/win32/win32.h"
#include "tests/fuzz_common/fuzz_run.h"

namespace {

constexpr int kW = 64, kH = 48;

// Inputs come from the first megabyte (plus what a call reads past its pointer), outputs go to
// the fifth: the largest read or write the bounded sizes allow is well under a megabyte.
constexpr size_t kArenaBytes = 8u << 20;
constexpr uint32_t kWindowBytes = 1u << 20;
alignas(16) uint8_t gArena[kArenaBytes];
GLfloat gFeedback[4096];
GLuint gSelect[4096];
GLuint gIndices[256];   // element indices: all below 128, read as bytes, shorts or ints

template <typename T> const T *in(KivFuzzRandom &r) {
    return reinterpret_cast<const T *>(gArena + (r.below(kWindowBytes) & ~7u));
}
template <typename T> T *out(KivFuzzRandom &r) {
    return reinterpret_cast<T *>(gArena + 4 * kWindowBytes + (r.below(kWindowBytes) & ~7u));
}

// Sizes: small, zero, negative now and then.
int small(KivFuzzRandom &r) {
    switch (r.below(10)) {
    case 0: return int(r.below(3)) - 2;
    case 1: return 0;
    case 2: return 1 << r.below(7);
    default: return int(r.below(65));
    }
}
// Strides: mostly whole words, as typed client data is usually laid out, and now and then any
// byte count: a client array may put its elements off their type's alignment.
int stride(KivFuzzRandom &r) { return r.chance(25) ? small(r) : small(r) & ~7; }
// Coordinates and values that size nothing: anything an int holds.
int coord(KivFuzzRandom &r) {
    switch (r.below(10)) {
    case 0: return r.pick({std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), 1 << 20, -(1 << 20),
                           32767, -32768});
    case 1: return small(r);
    default: return int(r.below(81)) - 8;
    }
}
double real(KivFuzzRandom &r) {
    switch (r.below(20)) {
    case 0: return std::nan("");
    case 1: return std::numeric_limits<double>::infinity();
    case 2: return -std::numeric_limits<double>::infinity();
    case 3: return r.chance(50) ? 1e30 : -1e30;
    case 4: return r.chance(50) ? 3e9 : -3e9;
    case 5: return 0.0;
    case 6: case 7: return double(int(r.below(2001)) - 1000) / 1000.0;
    default: return double(int(r.below(14001)) - 7000) / 100.0;
    }
}
GLboolean boolean(KivFuzzRandom &r) { return GLboolean(r.chance(90) ? r.below(2) : r.word()); }
GLbitfield bits(KivFuzzRandom &r) {
    static const GLbitfield kBits[] = {0x00000100, 0x00000400, 0x00004000, 0x00000200, 0x000FFFFF, 0xFFFFFFFF, 0x1};
    return r.chance(80) ? r.pick(kBits) | (r.chance(30) ? r.pick(kBits) : 0) : r.word();
}

const uint32_t kEnums[] = {
#define FUZZ_GL_ENTRY(o, name, args)
#define FUZZ_GL_SPECIAL(o, name, args)
#define FUZZ_GL_ENUMS
#include "tests/fuzz_gl/gl_entries.inc"
};

// What programs pass most for a parameter of a name, so that calls get past their first check.
struct Favourites {
    const char *name;
    std::vector<uint32_t> values;
};
const Favourites kFavourites[] = {
    {"mode", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x1300, 0x1301, 0x1C00, 0x1C01, 0x1C02, 0x1B00, 0x1B01, 0x1B02,
              0x1D00, 0x1D01, 0x1700, 0x1701, 0x1702, 0x2100, 0x2101, 0x0104, 0x1E01}},
    {"type", {0x1400, 0x1401, 0x1402, 0x1403, 0x1404, 0x1405, 0x1406, 0x1407, 0x1408, 0x1409, 0x140A, 0x1A00,
              0x0600, 0x0601, 0x0602, 0x0603, 0x0604, 0x8033, 0x8034, 0x8032, 0x1800, 0x1801, 0x1802}},
    {"format", {0x1900, 0x1901, 0x1902, 0x1903, 0x1904, 0x1905, 0x1906, 0x1907, 0x1908, 0x1909, 0x190A, 0x80E0,
                0x80E1, 0x2A20, 0x2A21, 0x2A22, 0x2A23, 0x2A24, 0x2A25, 0x2A26, 0x2A27, 0x2A28, 0x2A29}},
    {"target", {0x0DE0, 0x0DE1, 0x0D90, 0x0D91, 0x0D92, 0x0D93, 0x0D94, 0x0D95, 0x0D96, 0x0D97, 0x0D98, 0x0DB0,
                0x0DB1, 0x0DB2, 0x0DB3, 0x0DB4, 0x0DB5, 0x0DB6, 0x0DB7, 0x0DB8, 0x1100, 0x0C50, 0x2300}},
    {"cap", {0x0B50, 0x0B71, 0x0DE1, 0x0DE0, 0x0BE2, 0x0B90, 0x0B44, 0x0B60, 0x0BC0, 0x4000, 0x4001, 0x0BA1,
             0x0B24, 0x0B42, 0x0B20, 0x0B10, 0x0B41, 0x0C11, 0x0BD0, 0x0B57, 0x0C60, 0x0C61, 0x0D80, 0x0D97,
             0x0DB7, 0x0D92, 0x0DB2, 0x8074, 0x8075, 0x8076, 0x8077, 0x8078, 0x8079, 0x8037, 0x2A02, 0x3000,
             0x0BF1, 0x0BF2}},
    {"pname", {0x0CF0, 0x0CF1, 0x0CF2, 0x0CF3, 0x0CF4, 0x0CF5, 0x0D00, 0x0D01, 0x0D02, 0x0D03, 0x0D04, 0x0D05,
               0x2800, 0x2801, 0x2802, 0x2803, 0x1004, 0x2200, 0x2201, 0x1200, 0x1201, 0x1202, 0x1203, 0x1204,
               0x1205, 0x1206, 0x1207, 0x1208, 0x1209, 0x1600, 0x1601, 0x1602, 0x1603, 0x0B65, 0x0B62, 0x0B63,
               0x0B64, 0x0B66, 0x0D10, 0x0D11, 0x0D12, 0x0D13, 0x0D14, 0x0D15, 0x0D16, 0x0D17, 0x0D18, 0x0D19,
               0x0D1A, 0x0D1B, 0x0D1C, 0x0D1D, 0x0D1E, 0x0D1F, 0x2500, 0x2501, 0x2502, 0x0B21, 0x0BA6, 0x0BA7,
               0x0B70, 0x0B73, 0x0D33, 0x0D32, 0x0D3A, 0x0BA2, 0x0C10, 0x0B11, 0x0B21, 0x8090, 0x8091}},
};

GLenum en(KivFuzzRandom &r, const char *name) {
    if (r.chance(3)) return GLenum(r.below(0x10000));
    if (r.chance(65))
        for (const Favourites &f : kFavourites)
            if (std::strcmp(f.name, name) == 0) return GLenum(r.pick(f.values));
    return GLenum(r.pick(kEnums));
}

// The calls whose pointers the driver keeps, or whose memory must hold indices it can follow.
void special_glFeedbackBuffer(KivFuzzRandom &r) {
    glFeedbackBuffer(GLsizei(r.chance(5) ? -1 : int(r.below(4097))), en(r, "type"), gFeedback);
}
void special_glSelectBuffer(KivFuzzRandom &r) {
    glSelectBuffer(GLsizei(r.chance(5) ? -1 : int(r.below(4097))), gSelect);
}
void special_glDrawElements(KivFuzzRandom &r) {
    const GLenum type = r.chance(80) ? r.pick({GLenum(0x1401), GLenum(0x1403), GLenum(0x1405)}) : en(r, "type");
    glDrawElements(en(r, "mode"), GLsizei(small(r)), type, gIndices);
}
void special_glPixelStoref(KivFuzzRandom &r) { glPixelStoref(en(r, "pname"), GLfloat(small(r))); }

struct Entry {
    int offset;
    const char *name;
};
const Entry kEntries[] = {
#define FUZZ_GL_ENTRY(o, name, args) {o, #name},
#define FUZZ_GL_SPECIAL(o, name, args) {o, #name},
#include "tests/fuzz_gl/gl_entries.inc"
};

void callEntry(KivFuzzRandom &r, int offset) {
    switch (offset) {
#define FUZZ_GL_ENTRY(o, name, args) \
    case o: name args; break;
#define FUZZ_GL_SPECIAL(o, name, args) \
    case o: special_##name(r); break;
#include "tests/fuzz_gl/gl_entries.inc"
    default: break;
    }
}

// The entries a program calls between glBegin and glEnd.
std::vector<int> insideBeginEntries() {
    std::vector<int> v;
    for (const Entry &e : kEntries)
        for (const char *prefix : {"glVertex", "glColor", "glNormal", "glTexCoord", "glIndex", "glEdgeFlag",
                                   "glMaterial", "glEvalCoord", "glEvalPoint", "glCallList", "glArrayElement"})
            if (std::strncmp(e.name, prefix, std::strlen(prefix)) == 0) v.push_back(e.offset);
    return v;
}

class GlFuzz {
public:
    // One batch: a window and a context, a few hundred calls, the context gone again.
    void batch(KivFuzzRandom &r) {
        static const std::vector<int> inside = insideBeginEntries();
        r.fill(gArena, 64 * 1024);   // fresh input where most pointers land, NaNs and all
        HWND hwnd = CreateWindowExA(0, "fuzz_gl", "fuzz_gl", WS_VISIBLE, 10, 10, kW, kH, nullptr, nullptr, nullptr,
                                    nullptr);
        ASSERT_NE(hwnd, nullptr);
        HDC hdc = GetDC(hwnd);
        ASSERT_TRUE(SetPixelFormat(hdc, r.chance(50) ? 1 : 2, nullptr));
        HGLRC rc = wglCreateContext(hdc);
        ASSERT_NE(rc, nullptr) << kivOpenGlError();
        ASSERT_TRUE(wglMakeCurrent(hdc, rc));
        for (int i = 0; i < 300; ++i) {
            const uint32_t what = r.below(100);
            if (what < 10) {
                glBegin(r.chance(90) ? GLenum(r.below(10)) : en(r, "mode"));
                for (uint32_t n = r.below(24); n > 0; --n)
                    callEntry(r, r.chance(85) ? r.pick(inside) : r.pick(kEntries).offset);
                glEnd();
            } else if (what < 18) {
                const GLuint list = GLuint(r.below(16));
                glNewList(list, r.chance(50) ? 0x1300 : 0x1301);
                for (uint32_t n = r.below(24); n > 0; --n) callEntry(r, r.pick(kEntries).offset);
                glEndList();
                glCallList(list);
            } else {
                callEntry(r, r.pick(kEntries).offset);
            }
        }
        // As a program ends: out of glBegin/glEnd, a list and selection or feedback; a context in
        // any of them cannot be released.
        glEnd();
        glEndList();
        glRenderMode(GL_RENDER);
        glFinish();
        for (int i = 0; i < 8 && glGetError() != 0; ++i) {
        }
        ASSERT_TRUE(wglMakeCurrent(nullptr, nullptr));
        ASSERT_TRUE(wglDeleteContext(rc));
        triangleRenders(hdc);
        ReleaseDC(hwnd, hdc);
        DestroyWindow(hwnd);
    }

    // A fresh context on the window draws a white triangle, and only the triangle.
    static void triangleRenders(HDC hdc) {
        HGLRC rc = wglCreateContext(hdc);
        ASSERT_NE(rc, nullptr) << kivOpenGlError();
        ASSERT_TRUE(wglMakeCurrent(hdc, rc));
        glViewport(0, 0, kW, kH);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, kW, 0, kH, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
        glBegin(GL_TRIANGLES);
        glVertex2f(8, 8);
        glVertex2f(56, 8);
        glVertex2f(32, 40);
        glEnd();
        glFinish();
        float inside[4] = {0, 0, 0, 0}, outside[4] = {1, 1, 1, 1};
        glReadPixels(32, 20, 1, 1, GL_RGBA, GL_FLOAT, inside);
        glReadPixels(2, 44, 1, 1, GL_RGBA, GL_FLOAT, outside);
        EXPECT_EQ(glGetError(), 0u);
        EXPECT_GT(inside[1], 0.5f) << "the triangle is not drawn";
        EXPECT_LT(outside[1], 0.1f) << "the clear does not clear";
        EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
        EXPECT_TRUE(wglDeleteContext(rc));
    }
};

}  // namespace

TEST(FuzzGl, RandomCallsLeaveTheDriverDrawingAndHoldingNothing) {
    ASSERT_EQ(kivMachineBoot(), 1);
    for (GLuint &i : gIndices) i = GLuint(&i - gIndices) * 37 % 128;
    // A first window and context take what the driver keeps for the process once.
    {
        KivFuzzRandom warm(0);
        GlFuzz().batch(warm);
        ASSERT_FALSE(::testing::Test::HasFailure());
    }
    const int globalBase = kivGlobalAllocLive();
    const int virtualBase = kivVirtualAllocLive();
    kivFuzzForEachSeed("fuzz_gl", [&](KivFuzzRandom &r, int) {
        GlFuzz().batch(r);
        EXPECT_EQ(kivGlobalAllocLive(), globalBase) << "the driver holds global blocks after its contexts went";
        EXPECT_EQ(kivVirtualAllocLive(), virtualBase) << "the driver holds virtual memory after its contexts went";
    });
}

int main(int argc, char **argv) { return kivFuzzMain(argc, argv); }
