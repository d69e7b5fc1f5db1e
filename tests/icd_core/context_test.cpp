// Contexts as an application sees them: the strings after make-current, the error rule, the
// abort switch, the soft-reset constants, 9x slot offsets, and the whole path through opengl32.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include "tests/icd_core/icd_fixture.h"
#include "platform/opengl32/wgl.h"

using GetStringFn = const GLubyte *(APIENTRY *)(GLenum);
using GetErrorFn = GLenum(APIENTRY *)(void);
constexpr int kSlotGetError = 261;
constexpr int kSlotGetString = 275;

class Context : public IcdTest {};

TEST_F(Context, MakeCurrentReportsTheDeviceStringsByBus) {
    TestWindow w(kDoubleFormat);
    for (int agp : {0, 1}) {
        DHGLRC h = DrvCreateContext(w.hdc);
        contextOf(h)->tail.busIsAgp = agp;
        GlProcTable *t = DrvSetContext(w.hdc, h, nullptr);
        ASSERT_NE(t, nullptr);
        auto getString = slotAs<GetStringFn>(t, kSlotGetString);
        auto str = [&](GLenum n) { return std::string(reinterpret_cast<const char *>(getString(n))); };
        EXPECT_EQ(str(GL_VENDOR), "QUOR AG Germany (Ostrel)");
        EXPECT_EQ(str(GL_VERSION), "1.1.0");
        EXPECT_EQ(str(GL_RENDERER), agp ? "QUOR HALCYNE Tavrik (AGP)" : "QUOR HALCYNE Tavrik (PCI)");
        EXPECT_EQ(str(GL_EXTENSIONS).back(), ' ');
        EXPECT_NE(str(GL_EXTENSIONS).find("WGL_ZORVEK_gamma_control "), std::string::npos);
        EXPECT_EQ(getString(GL_LIGHT0), nullptr);
        EXPECT_EQ(slotAs<GetErrorFn>(t, kSlotGetError)(), GLenum(GL_INVALID_ENUM));
        DrvReleaseContext(h);
        DrvDeleteContext(h);
    }
}

TEST_F(Context, TheFirstErrorSinceGetErrorStays) {
    TestWindow w(kDoubleFormat);
    DHGLRC h = DrvCreateContext(w.hdc);
    GlProcTable *t = DrvSetContext(w.hdc, h, nullptr);
    auto getError = slotAs<GetErrorFn>(t, kSlotGetError);
    EXPECT_EQ(getError(), GLenum(GL_NO_ERROR));
    __glSetError(GL_INVALID_VALUE);
    __glSetError(GL_INVALID_ENUM);
    EXPECT_EQ(getError(), GLenum(GL_INVALID_VALUE));
    EXPECT_EQ(getError(), GLenum(GL_NO_ERROR));
    contextOf(h)->beginMode = kGlInsideBegin;  // inside glBegin/glEnd the query itself is the error
    EXPECT_EQ(getError(), GLenum(GL_NO_ERROR));
    contextOf(h)->beginMode = kGlOutsideBegin;
    EXPECT_EQ(getError(), GLenum(GL_INVALID_OPERATION));
    DrvReleaseContext(h);
    DrvDeleteContext(h);
}

TEST_F(Context, ErrorAbortSwitchAbortsWithItsMessage) {
    TestWindow w(kDoubleFormat);
    DHGLRC h = DrvCreateContext(w.hdc);
    ASSERT_NE(DrvSetContext(w.hdc, h, nullptr), nullptr);
    EXPECT_DEATH(
        {
            setenv("GLERRORABORT", "", 1);
            __glSetError(GL_INVALID_ENUM);
        },
        "(^|\n)__glSetError\\(\\): GLERRORABORT set, aborting\\.\n");
    DrvReleaseContext(h);
    DrvDeleteContext(h);
}

TEST_F(Context, SoftResetConstantsAndLimits) {
    TestWindow w(kDoubleFormat);
    DHGLRC h = DrvCreateContext(w.hdc);
    ASSERT_NE(DrvSetContext(w.hdc, h, nullptr), nullptr);
    GlContext *ctx = contextOf(h);
    EXPECT_EQ(ctx->roundingEpsilon, std::ldexp(1.0f, -11));
    EXPECT_EQ(ctx->halfMinusEpsilon, 0.5f - std::ldexp(1.0f, -11));
    uint32_t bits;
    std::memcpy(&bits, &ctx->oneOver255, 4);
    EXPECT_EQ(bits, 0x3B808081u);
    EXPECT_EQ(ctx->ubyteToFloat[255], 255.0f * ctx->oneOver255);
    EXPECT_EQ(ctx->visual.depthBits, 16);
    EXPECT_EQ(ctx->scales.depthFraction, 65535.0 / 65536.0);
    // The reset marks everything; the first make-current then validates it: the mode word is built.
    EXPECT_NE(ctx->state.span.raster.shadeFlags & kGlShadeRgba, 0u);
    EXPECT_EQ(ctx->state.mode.drawBuffer, GLenum(GL_BACK));
    EXPECT_EQ(ctx->state.pixel.store.unpack.alignment, 4);
    EXPECT_EQ(ctx->stateFlags & 3u, 3u);
    EXPECT_EQ(ctx->limits.maxProjectionStackDepth, 4);
    EXPECT_EQ(__glScreenContext->limits.maxProjectionStackDepth, 2);
    DrvReleaseContext(h);
    DrvDeleteContext(h);
}

TEST(HostProcs, ReallocKeepsTheOldBlockWhenItCannotGrow) {
    GlHostProcs &p = __wglHostProcs.procs;
    EXPECT_EQ(p.alloc(nullptr, 0), nullptr);
    EXPECT_EQ(p.calloc(nullptr, 0, 8), nullptr);
    auto *b = static_cast<uint8_t *>(p.realloc(nullptr, nullptr, 16));  // null block: an alloc
    ASSERT_NE(b, nullptr);
    std::memset(b, 0x5A, 16);
    kivFailGlobalAllocAfter(1);
    EXPECT_EQ(p.realloc(nullptr, b, 64), nullptr);
    kivFailGlobalAllocAfter(0);
    EXPECT_EQ(b[15], 0x5A);  // still ours, still intact
    auto *g = static_cast<uint8_t *>(p.realloc(nullptr, b, 64));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g[15], 0x5A);
    EXPECT_EQ(g[16], 0);
    EXPECT_EQ(p.realloc(nullptr, g, 0), nullptr);  // size 0 frees
}

// A fresh process on a 9x machine: the slot sits at 0x88 + 4 * slot and entries still find
// their context with one load.
TEST(Windows9x, ContextIsFoundAtTheNineXOffset) {
    // Fresh indeed: a forked child would inherit the driver this process attached already.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            KivMachineConfig cfg;
            kivMachineParse("9x", &cfg);
            kivMachineConfigure(&cfg);
            if (kivMachineBoot() != 1 || !DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr)) std::exit(2);
            if (__glContextSlotOffset < 0x88 || __glContextSlotOffset >= 0xE10) std::exit(3);
            TestWindow w(kDoubleFormat);
            DHGLRC h = DrvCreateContext(w.hdc);
            GlProcTable *t = DrvSetContext(w.hdc, h, nullptr);
            if (t == nullptr) std::exit(4);
            void *viaSlot = *reinterpret_cast<void **>(static_cast<uint8_t *>(NtCurrentTeb()) + __glContextSlotOffset);
            if (viaSlot != __glGetCurrentContext() || viaSlot == nullptr) std::exit(5);
            const GLubyte *vendor = slotAs<GetStringFn>(t, kSlotGetString)(GL_VENDOR);
            std::exit(vendor != nullptr && std::strcmp(reinterpret_cast<const char *>(vendor),
                                                       "QUOR AG Germany (Ostrel)") == 0 ? 0 : 6);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, "fast");
}

// An application thread loads the driver through opengl32 and uses it as programs do.
TEST(ThroughOpenGl32, CreateMakeCurrentCallReleaseDelete) {
    ASSERT_EQ(kivMachineBoot(), 1);
    TestWindow w(kDoubleFormat);
    HGLRC rc = wglCreateContext(w.hdc);
    ASSERT_NE(rc, nullptr) << kivOpenGlError();
    ASSERT_TRUE(wglMakeCurrent(w.hdc, rc));
    EXPECT_STREQ(reinterpret_cast<const char *>(glGetString(GL_VENDOR)), "QUOR AG Germany (Ostrel)");
    EXPECT_STREQ(reinterpret_cast<const char *>(glGetString(GL_RENDERER)), "QUOR HALCYNE Tavrik (PCI)");
    EXPECT_STREQ(reinterpret_cast<const char *>(glGetString(GL_VERSION)), "1.1.0");
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(glGetString(0x1234), nullptr);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glBegin(GL_TRIANGLES);  // a primitive without vertices draws nothing and is no error
    glEnd();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(wglGetProcAddress("glMTexCoord2fSGIS"), wglGetProcAddress("glMultiTexCoord2fSGIS"));
    EXPECT_NE(wglGetProcAddress("glLockArraysEXT"), nullptr);
    EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_EQ(glGetString(GL_VENDOR), nullptr);  // no context: nothing happens
    EXPECT_TRUE(wglDeleteContext(rc));
}
