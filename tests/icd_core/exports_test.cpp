// Driver exports: the failure codes, handle numbers, make-current and release, sharing,
// deletion of a current context, and exactly the fifteen exports of the driver file plus the
// description entry.
#include <atomic>
#include <cstdlib>
#include <functional>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>
#include "tests/icd_core/icd_fixture.h"

namespace {
BOOL failShare(GlContext *, GlContext *) { return FALSE; }
int gMakeCurrentCalls;
BOOL countingMakeCurrent(GlContext *ctx) {
    ++gMakeCurrentCalls;
    return __glMakeCurrent(ctx);
}
BOOL failingMakeCurrent(GlContext *) { return FALSE; }
}  // namespace

class Exports : public IcdTest {};

TEST_F(Exports, EachListedFailureSetsItsCode) {
    TestWindow good(kDoubleFormat), other(kSingleFormat), none(0);
    DHGLRC ctx = DrvCreateContext(good.hdc);
    ASSERT_NE(ctx, 0u);
    HDC screen = GetDC(nullptr);
    DHGLRC busy = DrvCreateContext(good.hdc);
    // Another thread holds `busy` current until the cases have run.
    std::atomic<int> phase{0};
    std::thread owner([&] {
        EXPECT_NE(DrvSetContext(good.hdc, busy, nullptr), nullptr);
        phase = 1;
        while (phase != 2) std::this_thread::yield();
        EXPECT_TRUE(DrvReleaseContext(busy));
        DllMain(nullptr, DLL_THREAD_DETACH, nullptr);  // as the loader tells a module at thread exit
    });
    while (phase != 1) std::this_thread::yield();

    struct Case {
        const char *what;
        std::function<ULONG_PTR()> call;
        DWORD code;  // 0: fails without a code
    };
    const Case cases[] = {
        {"create on a DC without pixel format", [&] { return DrvCreateContext(none.hdc); }, 0xE03D3D09},
        {"create without memory for the handle", [&] { kivFailGlobalAllocAfter(1); return DrvCreateContext(good.hdc); }, 0xE03D3D05},
        {"create when the context cannot be made", [&] { kivFailGlobalAllocAfter(2); return DrvCreateContext(good.hdc); }, 0xE03D3D00},
        {"create on a layer plane", [&] { return DrvCreateLayerContext(good.hdc, 1); }, 0xE03D3D11},
        {"create when the format cannot be described",
         [&] { const KivDisplayDevice *keep = kivMachineDisplay(); kivMachineRegisterDisplay(nullptr);
               ULONG_PTR r = DrvCreateContext(good.hdc); kivMachineRegisterDisplay(keep); return r; }, 0xE03D3D11},
        {"delete an unknown handle", [&] { return ULONG_PTR(DrvDeleteContext(9999)); }, 0xE03D3D02},
        {"delete a context current on another thread", [&] { return ULONG_PTR(DrvDeleteContext(busy)); }, 0},
        {"set an unknown handle", [&] { return ULONG_PTR(DrvSetContext(good.hdc, 9999, nullptr)); }, 0xE03D3D02},
        {"set on a DC without window or bitmap", [&] { return ULONG_PTR(DrvSetContext(screen, ctx, nullptr)); }, 0xE03D3D01},
        {"set a context current on another thread", [&] { return ULONG_PTR(DrvSetContext(good.hdc, busy, nullptr)); }, 0xE03D3D19},
        {"set on a drawable of another format", [&] { return ULONG_PTR(DrvSetContext(other.hdc, ctx, nullptr)); }, 0xE03D3D1A},
        {"set on something that is not a DC", [&] { return ULONG_PTR(DrvSetContext(reinterpret_cast<HDC>(good.hwnd), ctx, nullptr)); },
         ERROR_INVALID_HANDLE /* GetObjectType's, not the driver's */},
        {"share from an unknown handle", [&] { return ULONG_PTR(DrvShareLists(9999, ctx)); }, 0xE03D3D20},
        {"share into an unknown handle", [&] { return ULONG_PTR(DrvShareLists(ctx, 9999)); }, 0xE03D3D21},
        {"share proc fails",
         [&] { auto keep = contextOf(ctx)->procs.share; contextOf(ctx)->procs.share = failShare;
               ULONG_PTR r = DrvShareLists(ctx, busy); contextOf(ctx)->procs.share = keep; return r; }, 0xE03D3D22},
        {"copy a context", [&] { return ULONG_PTR(DrvCopyContext(ctx, busy, 0)); }, 0xE03D3D00},
        {"describe layer plane 0", [&] { return ULONG_PTR(DrvDescribeLayerPlane(good.hdc, 1, 0, 32, nullptr)); }, 0xE03D3D09},
        {"describe a layer of format 0", [&] { return ULONG_PTR(DrvDescribeLayerPlane(good.hdc, 0, 1, 32, nullptr)); }, 0xE03D3D09},
        {"describe a layer plane (there are none)", [&] { LAYERPLANEDESCRIPTOR l{}; return ULONG_PTR(DrvDescribeLayerPlane(good.hdc, 1, 1, 32, &l)); }, 0},
        {"get palette of layer 0", [&] { COLORREF c[4]; return ULONG_PTR(DrvGetLayerPaletteEntries(good.hdc, 0, 0, 4, c)); }, 0xE03D3D09},
        {"get palette of a layer (nothing to copy)", [&] { COLORREF c[4]; return ULONG_PTR(DrvGetLayerPaletteEntries(good.hdc, 1, 0, 4, c)); }, 0},
        {"set palette of layer 0", [&] { COLORREF c[4] = {}; return ULONG_PTR(DrvSetLayerPaletteEntries(good.hdc, 0, 0, 4, c)); }, 0xE03D3D09},
        {"realize palette of layer 0", [&] { return ULONG_PTR(DrvRealizeLayerPalette(good.hdc, 0, TRUE)); }, 0xE03D3D09},
        {"proc address without a current context", [&] { return ULONG_PTR(DrvGetProcAddress("glLockArraysEXT")); }, 0xE03D3D02},
    };
    for (const Case &c : cases) {
        SetLastError(0);
        EXPECT_EQ(c.call(), 0u) << c.what;
        kivFailGlobalAllocAfter(0);
        EXPECT_EQ(GetLastError(), c.code) << c.what;
    }
    ReleaseDC(nullptr, screen);
    phase = 2;
    owner.join();
    EXPECT_TRUE(DrvDeleteContext(busy));
    EXPECT_TRUE(DrvDeleteContext(ctx));
}

TEST_F(Exports, CreationFailsCleanlyAtEveryAllocation) {
    TestWindow w(kDoubleFormat);
    DHGLRC last = DrvCreateContext(w.hdc);
    const bool deviceOpens = contextOf(last)->tail.hwPresent != 0;
    ASSERT_TRUE(DrvDeleteContext(last));
    // Fail the 2nd, 3rd, ... allocation of a creation until one succeeds: each attempt fails
    // with the creation code, and numbers keep counting. An allocation of the device start-up
    // that fails leaves a context without the chip: that one is not the end.
    DHGLRC id = 0;
    unsigned n = 2;
    for (; id == 0 && n < 200; ++n) {
        kivFailGlobalAllocAfter(n);
        SetLastError(0);
        id = DrvCreateContext(w.hdc);
        kivFailGlobalAllocAfter(0);
        if (id == 0) {
            EXPECT_EQ(GetLastError(), 0xE03D3D00u) << "allocation " << n;
        } else if (deviceOpens && contextOf(id)->tail.hwPresent == 0) {
            EXPECT_TRUE(DrvDeleteContext(id));
            id = 0;
        }
    }
    ASSERT_NE(id, 0u);
    EXPECT_GT(n, 12u);  // context record, visual, and the blocks of initialisation all failed once
    EXPECT_EQ(id, last + n - 2);
    EXPECT_TRUE(DrvDeleteContext(id));
}

TEST_F(Exports, VersionAndHandleNumbers) {
    EXPECT_TRUE(DrvValidateVersion(0x10000));
    EXPECT_FALSE(DrvValidateVersion(0x10001));
    TestWindow w(kDoubleFormat);
    DHGLRC a = DrvCreateContext(w.hdc), b = DrvCreateContext(w.hdc);
    EXPECT_EQ(b, a + 1);
    ASSERT_TRUE(DrvDeleteContext(b));
    DHGLRC c = DrvCreateContext(w.hdc);
    EXPECT_EQ(c, a + 2);  // never reused
    DrvDeleteContext(a);
    DrvDeleteContext(c);
}

TEST_F(Exports, SetContextMakesCurrentOnceAndFastPathsTheSameHandleAndDc) {
    TestWindow w(kDoubleFormat);
    DHGLRC h = DrvCreateContext(w.hdc);
    contextOf(h)->procs.makeCurrent = countingMakeCurrent;
    gMakeCurrentCalls = 0;
    GlProcTable *t1 = DrvSetContext(w.hdc, h, nullptr);
    ASSERT_NE(t1, nullptr);
    EXPECT_EQ(__glGetCurrentContext(), contextOf(h));
    EXPECT_EQ(t1, &contextOf(h)->liveTable);
    EXPECT_EQ(DrvSetContext(w.hdc, h, nullptr), t1);
    EXPECT_EQ(gMakeCurrentCalls, 1);
    EXPECT_EQ(handleOf(h)->drawable->useCount, 1);
    EXPECT_EQ(handleOf(h)->ownerThread, GetCurrentThreadId());
    EXPECT_TRUE(DrvReleaseContext(h));
    EXPECT_EQ(__glGetCurrentContext(), __glScreenContext);
    DrvDeleteContext(h);
}

TEST_F(Exports, FailedMakeCurrentUndoesUseCountDrawableAndSlot) {
    TestWindow w(kDoubleFormat);
    DHGLRC h = DrvCreateContext(w.hdc);
    ASSERT_NE(DrvSetContext(w.hdc, h, nullptr), nullptr);
    GlDrawable *d = handleOf(h)->drawable;
    ASSERT_TRUE(DrvReleaseContext(h));
    DHGLRC bad = DrvCreateContext(w.hdc);
    contextOf(bad)->procs.makeCurrent = failingMakeCurrent;
    EXPECT_EQ(DrvSetContext(w.hdc, bad, nullptr), nullptr);
    EXPECT_EQ(d->useCount, 0);
    EXPECT_EQ(handleOf(bad)->drawable, nullptr);
    EXPECT_FALSE(handleOf(bad)->isCurrent);
    EXPECT_EQ(__glGetCurrentContext(), __glScreenContext);
    DrvDeleteContext(bad);
    DrvDeleteContext(h);
}

TEST_F(Exports, ReleaseClearsTheReleasedHandlesWindowWhateverTheArgument) {
    TestWindow w(kDoubleFormat);
    DHGLRC h = DrvCreateContext(w.hdc), other = DrvCreateContext(w.hdc);
    ASSERT_NE(DrvSetContext(w.hdc, h, nullptr), nullptr);
    EXPECT_EQ(__wglNextWindowContextHandle(w.hwnd, nullptr), handleOf(h));
    EXPECT_TRUE(DrvReleaseContext(other));
    EXPECT_EQ(handleOf(h)->hwnd, nullptr);
    EXPECT_EQ(handleOf(other)->hwnd, nullptr);
    EXPECT_EQ(__wglNextWindowContextHandle(w.hwnd, nullptr), nullptr);
    EXPECT_TRUE(DrvSwapLayerBuffers(w.hdc, 1));  // nothing current with the window: nothing to swap
    DrvDeleteContext(h);
    DrvDeleteContext(other);
}

TEST_F(Exports, LoseCurrentInsideBeginKeepsTheContextCurrent) {
    TestWindow w(kDoubleFormat);
    DHGLRC h = DrvCreateContext(w.hdc);
    ASSERT_NE(DrvSetContext(w.hdc, h, nullptr), nullptr);
    GlContext *ctx = contextOf(h);
    ctx->beginMode = kGlInsideBegin;
    EXPECT_FALSE(DrvReleaseContext(h));
    EXPECT_EQ(__glGetCurrentContext(), ctx);
    ctx->beginMode = kGlOutsideBegin;
    ctx->renderMode = GL_SELECT;
    EXPECT_FALSE(DrvReleaseContext(h));
    ctx->renderMode = GL_RENDER;
    EXPECT_TRUE(DrvReleaseContext(h));
    DrvDeleteContext(h);
}

TEST_F(Exports, DeletingTheCurrentContextLeavesTheScreenContextCurrent) {
    TestWindow w(kDoubleFormat);
    DHGLRC h = DrvCreateContext(w.hdc);
    ASSERT_NE(DrvSetContext(w.hdc, h, nullptr), nullptr);
    GlDrawable *d = handleOf(h)->drawable;
    EXPECT_TRUE(DrvDeleteContext(h));
    EXPECT_EQ(__glGetCurrentContext(), __glScreenContext);
    EXPECT_EQ(d->useCount, 0);
    EXPECT_EQ(handleOf(h), nullptr);
}

TEST_F(Exports, ShareListsSharesNameSpacesAndSharingWithItselfChangesNothing) {
    TestWindow w(kDoubleFormat);
    DHGLRC a = DrvCreateContext(w.hdc), b = DrvCreateContext(w.hdc);
    GlNameSpace *lists = contextOf(a)->state.list.listNames;
    GlNameSpace *textures = contextOf(a)->state.texture.textureNames;
    EXPECT_TRUE(DrvShareLists(a, a));
    EXPECT_EQ(contextOf(a)->state.list.listNames, lists);
    EXPECT_EQ(lists->refCount, 1);
    EXPECT_TRUE(DrvShareLists(a, b));
    EXPECT_EQ(contextOf(b)->state.list.listNames, lists);
    EXPECT_EQ(contextOf(b)->state.texture.textureNames, textures);
    EXPECT_EQ(lists->refCount, 2);
    EXPECT_TRUE(DrvShareLists(a, b));  // already one group
    EXPECT_EQ(lists->refCount, 2);
    EXPECT_TRUE(DrvDeleteContext(a));
    EXPECT_EQ(contextOf(b)->state.list.listNames->refCount, 1);
    EXPECT_TRUE(DrvDeleteContext(b));
}

TEST_F(Exports, ProcAddressServesItsNamesExactly) {
    TestWindow w(kDoubleFormat);
    DHGLRC h = DrvCreateContext(w.hdc);
    ASSERT_NE(DrvSetContext(w.hdc, h, nullptr), nullptr);
    const char *names[] = {"glArrayElementEXT", "glDrawArraysEXT", "glVertexPointerEXT", "glNormalPointerEXT",
                           "glColorPointerEXT", "glIndexPointerEXT", "glTexCoordPointerEXT", "glEdgeFlagPointerEXT",
                           "glGetPointervEXT", "glLockArraysSGI", "glUnlockArraysSGI", "glCullParameterdvSGI",
                           "glCullParameterfvSGI", "glAddSwapHintRectWIN", "glLockArraysEXT", "glUnlockArraysEXT",
                           "glCullParameterdvEXT", "glCullParameterfvEXT", "glPointParameterfEXT",
                           "glPointParameterfvEXT", "glMTexCoord2fSGIS", "glMultiTexCoordPointerSGIS",
                           "glSelectTextureCoordSetSGIS", "glSelectTextureSGIS", "wglSetDeviceGammaRampZORVEK",
                           "wglGetDeviceGammaRampZORVEK"};
    std::set<FARPROC> entries;
    for (const char *n : names) {
        FARPROC p = DrvGetProcAddress(n);
        EXPECT_NE(p, nullptr) << n;
        entries.insert(p);
    }
    for (int size = 1; size <= 4; ++size)
        for (const char *s : {"d", "dv", "f", "fv", "i", "iv", "s", "sv"}) {
            std::string n = "glMultiTexCoord" + std::to_string(size) + s + "SGIS";
            EXPECT_NE(DrvGetProcAddress(n.c_str()), nullptr) << n;
            entries.insert(DrvGetProcAddress(n.c_str()));
        }
    EXPECT_EQ(entries.size(), 58u - 5u);  // five names are aliases
    EXPECT_EQ(DrvGetProcAddress("glMTexCoord2fSGIS"), DrvGetProcAddress("glMultiTexCoord2fSGIS"));
    EXPECT_EQ(DrvGetProcAddress("glLockArraysSGI"), DrvGetProcAddress("glLockArraysEXT"));
    SetLastError(0);
    EXPECT_EQ(DrvGetProcAddress("gllockarraysext"), nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    DrvReleaseContext(h);
    DrvDeleteContext(h);
}

TEST_F(Exports, ThreadWithoutContextCallsTheScreenContextsDoNothingTable) {
    TestWindow w(kDoubleFormat);
    std::thread([&] {
        GlProcTable *t = DrvSetContext(w.hdc, 0, nullptr);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(__glGetCurrentContext(), __glScreenContext);
        EXPECT_EQ(std::memcmp(t, &__glNopProcTable, sizeof(GlProcTable)), 0);
        EXPECT_EQ(slotAs<const GLubyte *(APIENTRY *)(GLenum)>(t, 275)(GL_VENDOR), nullptr);
        EXPECT_EQ(__glGetCurrentContext(), __glScreenContext);
        DllMain(nullptr, DLL_THREAD_DETACH, nullptr);  // as the loader tells a module at thread exit
    }).join();
}

// The module exports exactly DllMain and the fourteen Drv* entries opengl32 calls, and the one
// description entry that tools find by name.
TEST(Module, ExportsExactlyTheFifteenEntriesAndTheDescription) {
    std::string path = std::string(kivModuleDir()) + "/kivgl.so";
    void *m = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m, nullptr) << dlerror();
    const std::set<std::string> expected = {
        "DllMain", "DrvValidateVersion", "DrvCreateContext", "DrvCreateLayerContext", "DrvDeleteContext",
        "DrvSetContext", "DrvReleaseContext", "DrvShareLists", "DrvCopyContext", "DrvSwapLayerBuffers",
        "DrvDescribeLayerPlane", "DrvGetLayerPaletteEntries", "DrvSetLayerPaletteEntries",
        "DrvRealizeLayerPalette", "DrvGetProcAddress", "__glDescribeGeneratedCode"};
    for (const std::string &n : expected) EXPECT_NE(dlsym(m, n.c_str()), nullptr) << n;
    dlclose(m);
    // Every defined global symbol of the dynamic symbol table.
    std::ifstream f(path, std::ios::binary);
    std::vector<char> img((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_GT(img.size(), sizeof(Elf32_Ehdr));
    auto *eh = reinterpret_cast<const Elf32_Ehdr *>(img.data());
    auto *sh = reinterpret_cast<const Elf32_Shdr *>(img.data() + eh->e_shoff);
    std::set<std::string> exported;
    for (int i = 0; i < eh->e_shnum; ++i) {
        if (sh[i].sh_type != SHT_DYNSYM) continue;
        const char *strtab = img.data() + sh[sh[i].sh_link].sh_offset;
        auto *sym = reinterpret_cast<const Elf32_Sym *>(img.data() + sh[i].sh_offset);
        for (size_t k = 0; k < sh[i].sh_size / sizeof(Elf32_Sym); ++k)
            if (sym[k].st_shndx != SHN_UNDEF && ELF32_ST_BIND(sym[k].st_info) != STB_LOCAL &&
                ELF32_ST_TYPE(sym[k].st_info) == STT_FUNC)
                exported.insert(strtab + sym[k].st_name);
    }
    EXPECT_EQ(exported, expected);
}
