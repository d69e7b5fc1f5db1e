// What a long-running program must not pile up: the frame buffer asked for again and again is
// the one view of the process; mode changes give back the driver's own mappings; and contexts of
// windows and of memory DCs, escapes and DirectDraw surfaces made, used and deleted leave the heap,
// the mappings and the shared-memory objects as they found them (tests/growth/footprint.h).
#include <cstdlib>

#include "include/zk_escape.h"
#include "platform/ddraw_nt/ddraw_nt.h"
#include "platform/videoprt/ntkernel.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_engine.h"
#include "platform/zkgfx/zkgfx.h"
#include "tests/gl_program/window_program.h"
#include "tests/common/ddraw_surface.h"
#include "tests/growth/footprint.h"

namespace {

constexpr uint32_t kThisProcess = 0xFFFFFFFFu;

size_t mappingsOf(uint32_t process) {
    size_t n = 0;
    for (const KivVideoPortMapping &m : kivVideoPortSim().mappings) n += m.process == process;
    return n;
}

uint32_t mapFrameBuffer(HDC dc) {
    uint32_t process = kThisProcess, address = 0;
    if (ExtEscape(dc, int(ESC_ZK_MAP_FRAME_BUFFER), 4, reinterpret_cast<LPCSTR>(&process), 4,
                  reinterpret_cast<LPSTR>(&address)) != 1)
        return 0;
    return address;
}

// The models' records of writes and requests are bounded, but at thousands of entries: a cycle
// keeps them to itself.
void clearChipLogs() {
    kivVideoPortSim().chip->clearWriteLog();
    zk3EngineClearLog();
    kivZkgfxState().requestCodes.clear();
}

// The record of pusher runs is bounded (twice the runs it keeps) but grows by doubling up to
// that: its room is counted apart from what the cycles leave.
size_t pusherRecord() { return zk3EnginePusherRuns().capacity() * sizeof(Zk3PusherRun); }

// A triangle over the lower left half of a w x h picture in red on blue, read back inside and
// outside it (x + y * w/h = w is its long edge).
void drawTriangle(int w, int h) {
    clearTo(0, 0, 1);
    glColor3f(1, 0, 0);
    glBegin(GL_TRIANGLES);
    glVertex2f(0, 0);
    glVertex2f(w, 0);
    glVertex2f(0, h);
    glEnd();
    glFinish();
}

}  // namespace

class Growth : public WindowProgram {
protected:
    // The fixture's own window goes, so that only the cycles' windows come and go.
    void dropWindow() {
        ReleaseDC(hwnd, hdc);
        DestroyWindow(hwnd);
        hwnd = nullptr;
        hdc = nullptr;
    }
};

TEST_F(Growth, TheFrameBufferAskedForAgainIsTheProcesssOneView) {
    const size_t kernel = mappingsOf(0), before = kivVideoPortSim().mappings.size();
    const uint32_t first = mapFrameBuffer(hdc);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(uint32_t(uintptr_t(kivVideoPortSim().chip->frameBufferAperture())), first);
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(mapFrameBuffer(hdc), first) << "call " << i;
    EXPECT_EQ(kivVideoPortSim().mappings.size(), before + 1);
    EXPECT_EQ(mappingsOf(kThisProcess), 1u);
    EXPECT_EQ(mappingsOf(0), kernel);
    // The view goes with the machine: a new boot starts without it, and maps one again.
    ReleaseDC(hwnd, hdc);
    DestroyWindow(hwnd);
    ASSERT_TRUE(kivMachineBoot());
    EXPECT_EQ(mappingsOf(kThisProcess), 0u);
    hwnd = CreateWindowExA(0, "t", "t", WS_VISIBLE, 10, 10, kW, kH, nullptr, nullptr, nullptr, nullptr);
    hdc = GetDC(hwnd);
    EXPECT_EQ(mapFrameBuffer(hdc), uint32_t(uintptr_t(kivVideoPortSim().chip->frameBufferAperture())));
    EXPECT_EQ(mappingsOf(kThisProcess), 1u);
}

// The driver maps the frame buffer for itself at every mode set and unmaps it at the next; the
// process's view, at the same address, must not be taken for it.
TEST_F(Growth, ModeChangesGiveBackTheDriversMappingsBesideTheProcesssView) {
    const size_t kernel = mappingsOf(0);
    ASSERT_NE(mapFrameBuffer(hdc), 0u);
    const KivScreenMode home = *kivScreenMode();
    static const KivScreenMode kModes[] = {{800, 600, 16}, {1024, 768, 32}, {640, 480, 8}, {1280, 1024, 16}};
    for (int round = 0; round < 5; ++round)
        for (const KivScreenMode &m : kModes) {
            kivSetScreenMode(&m);
            kivSetScreenMode(&home);
        }
    EXPECT_EQ(mappingsOf(0), kernel);
    EXPECT_EQ(mappingsOf(kThisProcess), 1u);
}

// Each cycle makes a window, its DC and a context, draws a triangle and reads it back, and takes
// them all down again.
TEST_F(Growth, ContextWindowAndDcCyclesLeaveNothingBehind) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not built";
    dropWindow();
    expectNoGrowth(100, growthCycles(300), [](int i) {
        clearChipLogs();
        HWND w = CreateWindowExA(0, "t", "t", WS_VISIBLE, 20 + i % 7, 30 + i % 5, kProgramW, kProgramH, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(w, nullptr);
        HDC dc = GetDC(w);
        ASSERT_TRUE(SetPixelFormat(dc, kDoubleBuffered, nullptr));
        HGLRC rc = wglCreateContext(dc);
        ASSERT_NE(rc, nullptr) << kivOpenGlError();
        ASSERT_TRUE(wglMakeCurrent(dc, rc));
        pixelProjection(kProgramW, kProgramH);
        drawTriangle(kProgramW, kProgramH);
        // (8.5, 8.5) is inside the triangle, (60.5, 44.5) beyond its long edge x + y * 4/3 = 64.
        const Rgb in = rgbAt(8, 8), out = rgbAt(60, 44);
        SwapBuffers(dc);
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(rc);
        ReleaseDC(w, dc);
        DestroyWindow(w);
        ASSERT_EQ(in, (Rgb{255, 0, 0}));
        ASSERT_EQ(out, (Rgb{0, 0, 255}));
    }, pusherRecord);
}

// The same on a memory DC: a DIB section, a context of the generic driver's format on it, a
// triangle read back from the bitmap's own bits.
TEST_F(Growth, MemoryDcContextCyclesLeaveNothingBehind) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not built";
    dropWindow();
    constexpr int w = 40, h = 30;
    expectNoGrowth(50, growthCycles(200), [](int) {
        clearChipLogs();
        MemoryDib dib(w, h);
        ASSERT_TRUE(dib.ok());
        {
            DibContext context(dib);
            ASSERT_TRUE(context.current) << kivOpenGlError();
            kivscenes::windowProjection(w, h);
            glDisable(GL_DITHER);
            drawTriangle(w, h);
        }
        // 5-5-5: red 0x7C00, blue 0x001F; (4.5, 4.5) inside, (36.5, 26.5) beyond x + y * 4/3 = 40.
        ASSERT_EQ(dib.at(4, 4), 0x7C00);
        ASSERT_EQ(dib.at(36, 26), 0x001F);
    }, pusherRecord);
}

// The display driver's escapes on a window's DC: the questions, the gamma ramp read and written
// back, the frame buffer's view, and a window tracked for the OpenGL driver through a block of
// the caller's pages that goes with the window.
TEST_F(Growth, EscapeCyclesLeaveNothingBehind) {
    dropWindow();
    void *pages = std::aligned_alloc(4096, sizeof(ZK_CLIENT_WINDOW_BLOCK));
    ASSERT_NE(pages, nullptr);
    kivUserMemoryMap(pages, sizeof(ZK_CLIENT_WINDOW_BLOCK));
    auto *block = static_cast<ZK_CLIENT_WINDOW_BLOCK *>(pages);
    const int locked = kivKernelCounters().lockedMdls;
    auto esc = [](HDC dc, uint32_t code, int inSize, const void *in, int outSize, void *out) {
        return ExtEscape(dc, int(code), inSize, static_cast<LPCSTR>(in), outSize, static_cast<LPSTR>(out));
    };
    expectNoGrowth(50, growthCycles(300), [&](int i) {
        clearChipLogs();
        HWND w = CreateWindowExA(0, "t", "t", WS_VISIBLE, 20 + i % 7, 30 + i % 5, kProgramW, kProgramH, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(w, nullptr);
        HDC dc = GetDC(w);
        uint32_t code = ESC_OPENGL_GETINFO, type = 0;
        ASSERT_EQ(esc(dc, ESC_QUERYESCSUPPORT, 4, &code, 0, nullptr), 1);
        KivOpenGlInfo info;
        ASSERT_EQ(esc(dc, ESC_OPENGL_GETINFO, 4, &type, sizeof info, &info), 1);
        uint16_t ramp[3 * 256];
        ASSERT_EQ(esc(dc, ESC_ZK_GET_GAMMA_RAMP, 0, nullptr, sizeof ramp, ramp), 1);
        ASSERT_EQ(esc(dc, ESC_ZK_SET_GAMMA_RAMP, sizeof ramp, ramp, 0, nullptr), 1);
        ASSERT_NE(mapFrameBuffer(dc), 0u);
        std::memset(block, 0, sizeof *block);
        block->hwnd = uint32_t(uintptr_t(w));
        uint32_t address = uint32_t(uintptr_t(block)), counter = 0;
        ASSERT_EQ(esc(dc, ESC_WNDOBJ_SETUP, 4, &address, 4, &counter), 1);
        ReleaseDC(w, dc);
        DestroyWindow(w);
        ASSERT_EQ(kivKernelCounters().lockedMdls, locked) << "the block's pages stay locked after the window";
    }, pusherRecord);
    kivUserMemoryUnmap(pages, sizeof(ZK_CLIENT_WINDOW_BLOCK));
    std::free(pages);
}

// DirectDraw through the display driver: the object, a surface in video memory and one in system
// memory, a fill, a copy to the screen and a lock, all released again.
TEST_F(Growth, DirectDrawSurfaceCyclesLeaveNothingBehind) {
    dropWindow();
    ASSERT_EQ(kivMachineOffersDirectDraw(), 1);
    expectNoGrowth(50, growthCycles(300), [](int i) {
        clearChipLogs();
        IDirectDraw *dd = nullptr;
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
        auto make = [dd](DWORD caps, DWORD w, DWORD h) {
            HRESULT r = DD_OK;
            IDirectDrawSurface *s = makeDDrawSurface(dd, caps, w, h, &r);
            EXPECT_EQ(r, DD_OK);
            return s;
        };
        IDirectDrawSurface *primary = make(DDSCAPS_PRIMARYSURFACE, 0, 0);
        const LONG videoW = 64 + i % 9, systemH = 16 + i % 5;
        IDirectDrawSurface *video = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, videoW, 32);
        IDirectDrawSurface *system = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 32, systemH);
        if (primary && video && system) {
            EXPECT_EQ(video->Blt(nullptr, nullptr, nullptr, DDBLT_WAIT, 0x7C00), DD_OK);
            EXPECT_EQ(system->Blt(nullptr, nullptr, nullptr, DDBLT_WAIT, 0x03E0), DD_OK);
            const RECT to{100, 100, 100 + videoW, 132}, to2{200, 100, 232, 100 + systemH};
            EXPECT_EQ(primary->Blt(&to, video, nullptr, DDBLT_WAIT, 0), DD_OK);
            EXPECT_EQ(primary->Blt(&to2, system, nullptr, DDBLT_WAIT, 0), DD_OK);
            DDSURFACEDESC d{};
            d.dwSize = sizeof d;
            const RECT one{100, 100, 101, 101};
            if (primary->Lock(&one, &d, DDLOCK_WAIT, nullptr) == DD_OK) {
                uint16_t p;
                std::memcpy(&p, d.lpSurface, 2);
                EXPECT_EQ(p, 0x7C00);
                primary->Unlock(d.lpSurface);
            } else {
                ADD_FAILURE() << "the primary does not lock";
            }
        }
        for (IDirectDrawSurface *s : {system, video, primary})
            if (s) s->Release();
        dd->Release();
    }, pusherRecord);
}
