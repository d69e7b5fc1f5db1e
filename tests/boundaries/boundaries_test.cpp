// Addresses and lengths a careless or hostile program hands the drivers, on the booted machine:
// the lock of a program's buffer takes only memory the program really has (mapped, with the
// access asked for, below the top of the address space, not the system's), a window block must
// be word-aligned, and the miniport relays a fixed-length zkgfx block only when the caller's
// block is that long.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <vector>

#include "include/zk_escape.h"
#include "include/zk_miniport.h"
#include "include/zkgfx.h"
#include "platform/machine/machine.h"
#include "platform/ntgdi/ntgdi.h"
#include "platform/videoprt/ntkernel.h"
#include "platform/zkgfx/zkgfx.h"

namespace {

constexpr size_t kPage = 4096;

uint32_t addressOf(const void *p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// Whole pages of the program's own, mapped with `prot`; `unmapped` gives them back to the
// system before the test uses the address. Those sit between two pages kept mapped, so that a
// hole of their size is all they leave: the sanitizer's allocator, which maps larger blocks
// meanwhile, never takes their place.
struct Pages {
    uint8_t *base = nullptr;
    size_t size;
    Pages(size_t count, int prot, bool unmapped = false) : size(count * kPage) {
        const size_t guard = unmapped ? kPage : 0;
        void *p = mmap(nullptr, size + 2 * guard, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return;
        base = static_cast<uint8_t *>(p) + guard;
        std::memset(base, 0xA5, size);
        if (unmapped) munmap(base, size);
        else mprotect(base, size, prot);
        gone = unmapped;
    }
    ~Pages() {
        if (base && !gone) munmap(base, size);
        if (base && gone) {
            munmap(base - kPage, kPage);
            munmap(base + size, kPage);
        }
    }
    Pages(const Pages &) = delete;
    Pages &operator=(const Pages &) = delete;
    bool gone = false;
};

class Boundaries : public ::testing::Test {
protected:
    HDC dc = nullptr;
    void SetUp() override {
        ASSERT_EQ(kivMachineBoot(), 1);
        ASSERT_TRUE(kivEngineRunning()) << "the NT machine with the ZK3 runs the display driver";
        dc = GetDC(nullptr);
    }
    void TearDown() override {
        if (dc) ReleaseDC(nullptr, dc);
        kivKernelMemoryReset();
    }
    DWORD ioctl(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize) {
        DWORD returned = 0;
        return KivVideoPortDeviceIoControl(code, in, inSize, out, outSize, &returned);
    }
    // The miniport's lock of `length` bytes at `address`; the record as it came back.
    ZK_LOCKED_BUFFER lock(uint32_t address, uint32_t length) {
        ZK_LOCKED_BUFFER r{0xFFFF, 0xFFFF, address, 0, length};
        EXPECT_EQ(ioctl(IOCTL_VIDEO_ZK_LOCK_USER_BUFFER, &r, sizeof r, &r, sizeof r), 0u);
        return r;
    }
    void unlock(ZK_LOCKED_BUFFER r) { EXPECT_EQ(ioctl(IOCTL_VIDEO_ZK_UNLOCK_USER_BUFFER, &r, sizeof r, nullptr, 0), 0u); }
    int setup(uint32_t block) {
        uint32_t counter = 0;
        return ExtEscape(dc, ESC_WNDOBJ_SETUP, 4, reinterpret_cast<LPCSTR>(&block), 4, reinterpret_cast<LPSTR>(&counter));
    }
};

struct Window {
    HWND hwnd = CreateWindowExA(0, "boundaries", "boundaries", WS_VISIBLE, 10, 20, 200, 100, nullptr, nullptr,
                                nullptr, nullptr);
    ~Window() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
};

}  // namespace

TEST_F(Boundaries, ALockTakesOnlyMemoryTheProgramHasWithTheAccessAsked) {
    const KivKernelCounters before = kivKernelCounters();
    // The pages given back come last, so that no other mapping of the test takes their place.
    Pages writable(2, PROT_READ | PROT_WRITE), readOnly(2, PROT_READ), noAccess(2, PROT_NONE),
        system(2, PROT_READ | PROT_WRITE), unmapped(2, 0, true);
    ASSERT_TRUE(writable.base && readOnly.base && noAccess.base && unmapped.base && system.base);
    kivKernelMemoryMap(system.base, system.size);
    // The top page of the 4 GB space counts as the program's here, so that only the wrap decides.
    kivUserMemoryMap(reinterpret_cast<void *>(uintptr_t(0xFFFFF000u)), kPage);

    struct Case {
        const char *what;
        uint32_t address, length;
        bool locks;
    } cases[] = {
        {"the program's own memory", addressOf(writable.base + 0x100), 4096, true},
        {"the program's memory up to the end of its last page", addressOf(writable.base), 2 * 4096, true},
        {"a read-only page (the lock writes)", addressOf(readOnly.base), 4096, false},
        {"a page without access", addressOf(noAccess.base), 16, false},
        {"a page given back to the system", addressOf(unmapped.base + 8), 16, false},
        {"the system's memory", addressOf(system.base), 64, false},
        {"the last page, up to the end of the address space", 0xFFFFF000u, 4096, true},
        {"a range that runs past 4 GB and wraps to 0", 0xFFFFF800u, 0x1000, false},
        {"a range whose length wraps", 0xFFFFF000u, 0xFFFFFFFFu, false},
    };
    for (const Case &c : cases) {
        const ZK_LOCKED_BUFFER r = lock(c.address, c.length);
        EXPECT_EQ(r.Mdl != 0, c.locks) << c.what;
        if (r.Mdl) {
            EXPECT_EQ(r.KernelAddress, c.address) << c.what;
            unlock(r);
        }
    }
    const KivKernelCounters after = kivKernelCounters();
    EXPECT_EQ(after.lockedMdls, before.lockedMdls);
    EXPECT_EQ(after.liveMdls, before.liveMdls);
}

TEST_F(Boundaries, AWindowBlockMustBeTheProgramsWritableWordAlignedMemory) {
    Window w;
    ASSERT_NE(w.hwnd, nullptr);
    Pages good(2, PROT_READ | PROT_WRITE), readOnly(1, PROT_READ), unmapped(1, 0, true);
    ASSERT_TRUE(good.base && readOnly.base && unmapped.base);
    const KivKernelCounters before = kivKernelCounters();

    // Each bad block is refused and nothing of the program's memory is written.
    for (uint32_t misalign : {1u, 2u, 3u}) {
        auto *block = reinterpret_cast<ZK_CLIENT_WINDOW_BLOCK *>(good.base + misalign);
        uint32_t hwnd = addressOf(w.hwnd);
        std::memcpy(reinterpret_cast<uint8_t *>(block) + offsetof(ZK_CLIENT_WINDOW_BLOCK, hwnd), &hwnd, 4);
        EXPECT_EQ(setup(addressOf(block)), 0) << "block at +" << misalign;
        for (size_t i = 0; i < 12 + misalign; ++i) ASSERT_EQ(good.base[i], 0xA5) << "byte " << i << ", block at +" << misalign;
        std::memset(good.base, 0xA5, 64);
    }
    EXPECT_EQ(setup(addressOf(readOnly.base)), 0);
    EXPECT_EQ(setup(addressOf(unmapped.base)), 0);
    EXPECT_EQ(setup(0xFFFFF800u), 0);
    EXPECT_EQ(kivKernelCounters().lockedMdls, before.lockedMdls) << "a refused block holds no lock";

    // The aligned block of the same memory is taken and kept up to date.
    auto *block = reinterpret_cast<ZK_CLIENT_WINDOW_BLOCK *>(good.base);
    block->hwnd = addressOf(w.hwnd);
    ASSERT_EQ(setup(addressOf(block)), 1);
    EXPECT_EQ(block->lock, 0u);
    const uint32_t changes = block->changeCounter;
    MoveWindow(w.hwnd, 30, 40, 120, 90, TRUE);
    EXPECT_GT(block->changeCounter, changes);
    EXPECT_EQ(block->clientOrigin >> 16, 30u);
    DestroyWindow(w.hwnd);
    EXPECT_EQ(kivKernelCounters().lockedMdls, before.lockedMdls) << "the lock goes with the window";
}

TEST_F(Boundaries, AFixedLengthRelayNeedsTheWholeBlock) {
    struct Case {
        DWORD code;
        ULONG size;
    } cases[] = {{ZK_RM_OPEN_DMA_CHANNEL, sizeof(ZK_RM_DMA_CHANNEL_PARAMS)},
                 {ZK_RM_CONTROL, sizeof(ZK_RM_CONTROL_PARAMS)}};
    for (const Case &c : cases)
        for (ULONG shortBy : {4u, 1u, c.size}) {
            // The caller's block is `size - shortBy` bytes; what follows it is not the caller's to give.
            std::vector<uint8_t> memory(64, 0xA5);
            const ULONG length = c.size - shortBy;
            ULONG address = addressOf(memory.data());
            EXPECT_EQ(ioctl(c.code, &address, 4, memory.data(), length), DWORD(ERROR_INSUFFICIENT_BUFFER))
                << std::hex << c.code << " with " << std::dec << length << " bytes";
            for (size_t i = 0; i < memory.size(); ++i)
                ASSERT_EQ(memory[i], 0xA5) << std::hex << c.code << ": byte " << std::dec << i << " of " << length;
        }
    // A whole block still goes through, and a refused call reads as a failure in its status word.
    ZK_RM_CONTROL_PARAMS control{};
    control.Status = 0;
    kivZkgfxState().rejectCalls = true;
    ULONG address = addressOf(&control);
    EXPECT_EQ(ioctl(ZK_RM_CONTROL, &address, 4, &control, sizeof control), 0u);
    kivZkgfxState().rejectCalls = false;
    EXPECT_EQ(control.Status, 1u);
}
