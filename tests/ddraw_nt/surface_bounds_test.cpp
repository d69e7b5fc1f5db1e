// A program that runs past the memory DirectDraw gave it is caught: one byte past a system-memory
// surface, or past the card's video memory, faults (and the sanitizer's build reports it, naming
// the access), rather than reading whatever lies there. And a lock never hands out an address
// past its surface.
#include <csignal>

#include "platform/ddraw/ddraw_blt.h"
#include "platform/ddraw_nt/ddraw_nt.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/win32/guarded_pages.h"
#include "platform/zk3/zk3.h"
#include "tests/common/ddraw_surface.h"
#include "tests/ddraw_nt/nt_machine_fixture.h"

namespace {

class SurfaceBounds : public NtMachineTest {
protected:
    IDirectDraw *dd = nullptr;

    void SetUp() override {
        NtMachineTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    }
    void TearDown() override {
        if (dd != nullptr) dd->Release();
        NtMachineTest::TearDown();
    }
    static DDSURFACEDESC locked(IDirectDrawSurface *s) {
        DDSURFACEDESC d{};
        d.dwSize = sizeof d;
        EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
        return d;
    }
};

// Reading `at` kills the program: in the sanitizer's build with its report, in the plain build by
// the processor's fault. The dying program is this one run afresh up to the read (what a forked
// copy of a process that booted machines before may not manage: under the emulator the
// sanitizer's report then fails half-way).
void expectReadDies(const volatile uint8_t *at) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (kKivAddressSanitizer) {
        EXPECT_DEATH((void)*at, "AddressSanitizer: use-after-poison");
    } else {
        EXPECT_EXIT((void)*at, testing::KilledBySignal(SIGSEGV), "");
    }
    GTEST_FLAG_SET(death_test_style, "fast");
}

// The last byte of each surface reads; the byte after it does not. A surface whose size is a
// multiple of 8 bytes ends against an inaccessible page; the others end a few bytes of alignment
// before it, which only the sanitizer's build can refuse.
TEST_F(SurfaceBounds, ReadingPastASystemMemorySurfaceIsCaught) {
    struct Case {
        DWORD w, h;
        size_t bytes;   // rows of w pixels of 2 bytes, rounded up to 4 bytes
    };
    const Case cases[] = {{100, 60, 12000}, {4096, 1, 8192}, {1, 3, 12}, {3, 5, 40}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        IDirectDrawSurface *s = makeDDrawSurface(dd, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, c.w, c.h);
        ASSERT_NE(s, nullptr);
        const DDSURFACEDESC d = locked(s);
        ASSERT_EQ(size_t(d.lPitch) * c.h, c.bytes);
        const volatile uint8_t *bits = static_cast<uint8_t *>(d.lpSurface);
        EXPECT_EQ(bits[c.bytes - 1], 0) << "the surface's last byte reads (as zero)";
        if (kKivAddressSanitizer || c.bytes % 8 == 0) expectReadDies(bits + c.bytes);
        s->Unlock(d.lpSurface);
        s->Release();
    }
}

// Video memory ends where the card's frame-buffer aperture ends: a program reading on from the
// primary surface past the 16 MB is stopped at the first byte past.
TEST_F(SurfaceBounds, ReadingPastVideoMemoryIsCaught) {
    IDirectDrawSurface *primary = makeDDrawSurface(dd, DDSCAPS_PRIMARYSURFACE);
    ASSERT_NE(primary, nullptr);
    const DDSURFACEDESC d = locked(primary);
    const volatile uint8_t *bits = static_cast<uint8_t *>(d.lpSurface);
    const uint32_t memory = kivVideoPortSim().chip->videoMemorySize();
    ASSERT_EQ(memory, 16u << 20);
    ASSERT_EQ(bits, kivVideoPortSim().chip->videoMemory());
    (void)bits[memory - 1];
    expectReadDies(bits + memory);
    primary->Unlock(d.lpSurface);
    primary->Release();
}

// A lock of a rectangle answers its first pixel, inside the surface's memory: an empty rectangle
// at the surface's bottom edge names no byte of it and is refused.
TEST_F(SurfaceBounds, ALockAnswersOnlyAddressesInsideTheSurface) {
    constexpr LONG kW = 64, kH = 32;
    IDirectDrawSurface *s = makeDDrawSurface(dd, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, kW, kH);
    ASSERT_NE(s, nullptr);
    const DDSURFACEDESC whole = locked(s);
    s->Unlock(whole.lpSurface);
    const uint8_t *base = static_cast<uint8_t *>(whole.lpSurface);
    struct Case {
        RECT r;
        HRESULT result;
        long offset;   // in rows of the pitch, and bytes
    };
    const long pitch = whole.lPitch;
    const Case cases[] = {
        {{0, 0, kW, kH}, DD_OK, 0},
        {{kW - 1, kH - 1, kW, kH}, DD_OK, (kH - 1) * pitch + 2 * (kW - 1)},
        {{0, kH - 1, 0, kH - 1}, DD_OK, (kH - 1) * pitch},
        {{0, kH, 0, kH}, DDERR_INVALIDRECT, 0},
        {{kW, kH, kW, kH}, DDERR_INVALIDRECT, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.r.left << "," << c.r.top << "-" << c.r.right << "," << c.r.bottom);
        DDSURFACEDESC d{};
        d.dwSize = sizeof d;
        ASSERT_EQ(s->Lock(&c.r, &d, DDLOCK_WAIT, nullptr), c.result);
        if (c.result != DD_OK) continue;
        EXPECT_EQ(static_cast<uint8_t *>(d.lpSurface), base + c.offset);
        s->Unlock(d.lpSurface);
    }
    s->Release();
}

}  // namespace
