// Mode programming, the zkgfx link and relay, private requests and user-buffer locking, driven
// through the video port's request path.
#include <cstdlib>
#include "platform/videoprt/ntkernel.h"
#include "platform/zkgfx/zkgfx.h"
#include "tests/miniport/fixture.h"

using kiv::ZkRegWrite;
namespace {
constexpr uint8_t R = kiv::kZkSpaceRegisters, P = kiv::kZkSpacePort;
bool contains(const std::vector<ZkRegWrite> &log, ZkRegWrite w) {
    for (const auto &x : log)
        if (x == w) return true;
    return false;
}
size_t indexOf(const std::vector<ZkRegWrite> &log, ZkRegWrite w, size_t from = 0) {
    for (size_t i = from; i < log.size(); ++i)
        if (log[i] == w) return i;
    return log.size();
}
}  // namespace

struct Requests : MiniportTest {
    DWORD ioctl(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize, DWORD *ret = nullptr) {
        DWORD r = 0;
        return KivVideoPortDeviceIoControl(code, in, inSize, out, outSize, ret ? ret : &r);
    }
    DWORD setMode(ULONG index, UCHAR *arb = nullptr) {
        VIDEO_MODE m{index};
        UCHAR b = 0xEE;
        const DWORD s = ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &m, 4, &b, 1);
        if (arb) *arb = b;
        return s;
    }
    void attach() {
        ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_ENABLE_WRITE_COMBINING, nullptr, 0, nullptr, 0), 0u);
        ASSERT_EQ(ioctl(ZK_RM_OPEN_LINK, nullptr, 0, nullptr, 0), 0u);
    }
    DWORD relay(DWORD code, void *block, DWORD size) {
        ULONG address = ULONG(uintptr_t(block));
        return ioctl(code, &address, 4, block, size);
    }
};

TEST_F(Requests, ModeSetProgramsTheChipFramedByNotices) {
    ASSERT_TRUE(boot());
    attach();
    chip().clearWriteLog();
    UCHAR arb = 0;
    ASSERT_EQ(setMode(217, &arb), 0u);   // 1024x768x16 at 60: a standard mode, no timing record
    const auto &log = chip().writeLog();
    // VGA packed-pixel row: sequencer 0 = 1, misc 0xEB, sequencer 1-4, sequencer 0 = 3, CRTC 0x00 = 0x5F.
    const size_t seqReset = indexOf(log, {R, 2, 0xC03C4, 0x0100});
    ASSERT_LT(seqReset, log.size());
    EXPECT_EQ(log[seqReset + 1], (ZkRegWrite{R, 1, 0xC03C2, 0xEB}));
    EXPECT_EQ(log[seqReset + 2], (ZkRegWrite{R, 2, 0xC03C4, 0x0101}));
    EXPECT_EQ(log[seqReset + 5], (ZkRegWrite{R, 2, 0xC03C4, 0x0E04}));
    EXPECT_TRUE(contains(log, {R, 2, 0x6013D4, 0x5F00}));
    // Thresholds for 6500 << 1 on a 64-bit bus come before the pixel PLL.
    const size_t t1B = indexOf(log, {R, 2, 0x6013D4, 0x031B});
    const size_t t20 = indexOf(log, {R, 2, 0x6013D4, 0x1020}, t1B);
    size_t pllWrite = log.size();
    for (size_t i = t20; i < log.size(); ++i)
        if (log[i].offset == 0x680508) { pllWrite = i; break; }
    EXPECT_LT(t1B, t20);
    EXPECT_LT(t20, pllWrite);
    EXPECT_TRUE(contains(log, {R, 4, 0x680600, 0x100000}));
    EXPECT_EQ(log.back(), (ZkRegWrite{R, 2, 0x6013D4, 0x0131 | (0x3800 >> 11) << 11}));   // cursor image address
    EXPECT_TRUE(contains(log, {P, 2, 0x3C4, 0x5706}));   // extended registers left unlocked
    // Notices {w, h, bpp, refresh} before and after.
    const auto &z = kivZkgfxState();
    ASSERT_EQ(z.noticeCodes.size(), 2u);
    EXPECT_EQ(z.noticeCodes[0], ZK_RM_NOTIFY_PRE_MODESET);
    EXPECT_EQ(z.noticeCodes[1], ZK_RM_NOTIFY_POST_MODESET);
    EXPECT_EQ(z.notices[1].Width, 1024u);
    EXPECT_EQ(z.notices[1].Height, 768u);
    EXPECT_EQ(z.notices[1].BitsPerPixel, 16u);
    EXPECT_EQ(z.notices[1].Refresh, 60u);
    EXPECT_EQ(arb, ext()->ArbitrationValid);
    // The current mode now answers with the chip flag.
    VIDEO_MODE_INFORMATION m{};
    ASSERT_EQ(ioctl(IOCTL_VIDEO_QUERY_CURRENT_MODE, nullptr, 0, &m, 80), 0u);
    EXPECT_EQ(m.ModeIndex, 217u);
    EXPECT_EQ(m.DriverSpecificAttributeFlags, ZK_CHIP_FLAG_ZK3);
}

TEST_F(Requests, TimingSourcesAndRefreshCaps) {
    struct Case { ULONG row; ULONG dmt; ULONG refreshAfter; bool dmtRow; uint32_t crtc00; };
    const Case cases[] = {
        {0, 0, 60, false, 0x5F},     // 640x480 at 60: the VGA row's timing
        {0, 1, 60, true, 95},        // DMTOVERRIDE: the DMT row (misc sync 192, CRTC 0x00 = 95)
        {4, 0, 85, false, 832 / 8 - 5},   // 640x480 at 85: the CRTC information block
        {270, 0, 75, false, 0},      // 1280x1024x32 at 85 is programmed at 75
    };
    for (const Case &c : cases) {
        config.registry = {{u"DMTOVERRIDE", regDword(c.dmt)}};
        ASSERT_TRUE(boot());
        if (c.row == 270) g_zkModeTable[270].Refresh = 85;
        ASSERT_EQ(setMode(c.row), 0u);
        EXPECT_EQ(g_zkModeTable[c.row].Refresh, c.refreshAfter);
        if (c.crtc00) {
            EXPECT_EQ(chip().crtc(0x00), c.crtc00) << c.row;
        }
        if (c.dmtRow) {
            EXPECT_EQ(chip().miscOutput() & 0xC8, 0xC8);
        }
    }
}

TEST_F(Requests, RefusedPreNoticeLeavesHardwareAndModeUnchanged) {
    ASSERT_TRUE(boot());
    attach();
    kivZkgfxState().preModesetStatus = 5;
    chip().clearWriteLog();
    EXPECT_NE(setMode(217), 0u);
    EXPECT_TRUE(chip().writeLog().empty());
    EXPECT_EQ(ext()->CurrentMode, nullptr);
}

TEST_F(Requests, SetModeChecks) {
    ASSERT_TRUE(boot());
    VIDEO_MODE m{9999};
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &m, 3, nullptr, 0), ULONG(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &m, 4, nullptr, 0), ULONG(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(setMode(42), ULONG(ERROR_INVALID_PARAMETER));   // 320x400 is never valid
    // An unknown mode number ends the engine after the unlock only.
    chip().clearWriteLog();
    EXPECT_EQ(ZkSetVbeMode(ext(), 0x4123, nullptr, nullptr, false), 0x014F);
    EXPECT_EQ(chip().writeLog(), (std::vector<ZkRegWrite>{{R, 2, 0xC03C4, 0x5706}}));
}

TEST_F(Requests, PllSearchComparesWholeFrequencies) {
    ULONG p, n, m, achieved;
    ASSERT_TRUE(ZkComputePll(13500, 25175, &p, &n, &m, &achieved));
    const ULONG vco = 25175u << p;
    EXPECT_GE(vco, 128000u);
    EXPECT_LE(vco, 256000u);
    EXPECT_LE(achieved > 25175 ? achieved - 25175 : 25175 - achieved, 30u);
    // Brute force over the same space with 64-bit arithmetic finds no better setting.
    for (ULONG target : {25175u, 65000u, 108000u, 131000u, 162000u}) {
        ASSERT_TRUE(ZkComputePll(13500, target, &p, &n, &m, &achieved));
        const ULONG err = achieved > target ? achieved - target : target - achieved;
        for (ULONG pp = 0; pp <= 4; ++pp)
            for (ULONG mm = 7; mm <= 13; ++mm) {
                const ULONG v = target << pp;
                if (v < 128000 || v > 256000) continue;
                const ULONG nn = (mm * v + 6750) / 13500;
                if (nn > 255) continue;
                const ULONG a = (((nn * 13500 + (1u << pp) / 2) >> pp) + mm / 2) / mm;
                EXPECT_LE(err, a > target ? a - target : target - a) << target;
            }
    }
}

TEST_F(Requests, RelayNeedsAnOpenLinkAndKeepsReferencesBalanced) {
    ASSERT_TRUE(boot());
    ZK_RM_CONTROL_PARAMS control{0x1234, 0, 0, 0, 0};
    EXPECT_EQ(relay(ZK_RM_CONTROL, &control, sizeof control), ULONG(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(control.Status, 1u);
    ZK_RM_OBJECT_HANDLE_PARAMS freeBlock{7, 0xFFFF, 0};
    EXPECT_EQ(relay(ZK_RM_FREE_OBJECT, &freeBlock, sizeof freeBlock), ULONG(ERROR_INVALID_PARAMETER));

    const auto before = kivKernelCounters();
    ASSERT_EQ(ioctl(ZK_RM_OPEN_LINK, nullptr, 0, nullptr, 0), 0u);
    char name[128] = {};
    ZK_RM_DEVICE_NAME_PARAMS dn{0, 0, ULONG(uintptr_t(name)), 128, 0xFFFF};
    EXPECT_EQ(relay(ZK_RM_GET_DEVICE_NAME, &dn, sizeof dn), 0u);
    EXPECT_EQ(dn.Status, 0u);
    EXPECT_STREQ(name, "ZK3");
    // zkgfx refuses the call: the fixed-length relay marks the block, the request succeeds.
    kivZkgfxState().rejectCalls = true;
    control.Status = 0;
    EXPECT_EQ(relay(ZK_RM_CONTROL, &control, sizeof control), 0u);
    EXPECT_EQ(control.Status, 1u);
    kivZkgfxState().rejectCalls = false;
    ASSERT_EQ(ioctl(ZK_RM_OPEN_LINK, nullptr, 0, nullptr, 0), 0u);   // reopening does not leak
    ASSERT_EQ(ioctl(ZK_RM_CLOSE_LINK, nullptr, 0, nullptr, 0), 0u);
    EXPECT_EQ(kivKernelCounters().liveFileObjects, before.liveFileObjects);
    EXPECT_EQ(kivKernelCounters().liveIrps, 0);
    EXPECT_EQ(relay(ZK_RM_GET_DEVICE_NAME, &dn, sizeof dn), ULONG(ERROR_INVALID_PARAMETER));   // closed
}

TEST_F(Requests, OpenLinkWithoutTheDevice) {
    config.startZkgfx = false;
    ASSERT_TRUE(boot());
    const auto before = kivKernelCounters();
    EXPECT_EQ(ioctl(ZK_RM_OPEN_LINK, nullptr, 0, nullptr, 0), ULONG(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(kivKernelCounters().liveFileObjects, before.liveFileObjects);
}

TEST_F(Requests, UserBufferLockingCoversTheBufferAndOnlyUserMemory) {
    ASSERT_TRUE(boot());
    auto *pages = static_cast<uint8_t *>(std::aligned_alloc(4096, 3 * 4096));
    kivUserMemoryMap(pages, 2 * 4096);   // the third page is not mapped
    ZK_LOCKED_BUFFER r{0xFFFF, 0xFFFF, ULONG(uintptr_t(pages + 0xF00)), 0, 4096};
    DWORD ret = 0;
    ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_LOCK_USER_BUFFER, &r, 20, &r, 20, &ret), 0u);
    EXPECT_EQ(ret, 20u);
    ASSERT_NE(r.Mdl, 0u);
    EXPECT_EQ(r.Reserved, 0u);
    EXPECT_EQ(r.KernelAddress, ULONG(uintptr_t(pages)) + 0xF00);
    EXPECT_EQ(r.Length, 4096u);
    EXPECT_EQ(kivKernelCounters().lockedMdls, 1);
    // A page-aligned block whose next page is unmapped still locks: only its own page is taken.
    ZK_LOCKED_BUFFER r2{0, 0, ULONG(uintptr_t(pages + 4096)), 0, 4096};
    ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_LOCK_USER_BUFFER, &r2, 20, &r2, 20), 0u);
    EXPECT_NE(r2.Mdl, 0u);
    // Kernel memory is refused although it is mapped: the caller's address is probed as a user address.
    static uint8_t kernelBlock[8192] alignas(4096);
    kivKernelMemoryMap(kernelBlock, sizeof kernelBlock);
    ZK_LOCKED_BUFFER r3{0, 0, ULONG(uintptr_t(kernelBlock)), 0, 4096};
    ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_LOCK_USER_BUFFER, &r3, 20, &r3, 20), 0u);
    EXPECT_EQ(r3.Mdl, 0u);
    EXPECT_EQ(ioctl(IOCTL_VIDEO_ZK_LOCK_USER_BUFFER, &r3, 19, &r3, 20), ULONG(ERROR_INSUFFICIENT_BUFFER));
    // Unlock: a foreign MDL value is ignored; ours are freed.
    ZK_LOCKED_BUFFER bogus{0x12345678, 0, 0, 0, 0};
    EXPECT_EQ(ioctl(IOCTL_VIDEO_ZK_UNLOCK_USER_BUFFER, &bogus, 20, nullptr, 0), 0u);
    EXPECT_EQ(ioctl(IOCTL_VIDEO_ZK_UNLOCK_USER_BUFFER, &r, 20, nullptr, 0), 0u);
    EXPECT_EQ(ioctl(IOCTL_VIDEO_ZK_UNLOCK_USER_BUFFER, &r2, 20, nullptr, 0), 0u);
    EXPECT_EQ(kivKernelCounters().lockedMdls, 0);
    EXPECT_EQ(kivKernelCounters().liveMdls, 0);
    kivKernelMemoryReset();
    std::free(pages);
}

TEST_F(Requests, PrivateQueriesAndTheirSizes) {
    config.registry = {{u"TexMem", regDword(16)}, {u"EnableWriteCombining", regDword(0)}};
    ASSERT_TRUE(boot());
    ZK_CHIP_INFO info{};
    STATUS_BLOCK sb = request(IOCTL_VIDEO_ZK_QUERY_CHIP_INFO, nullptr, 0, &info, 8);
    EXPECT_EQ(sb.Status, ULONG(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(sb.Information, 12u);
    ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_QUERY_CHIP_INFO, nullptr, 0, &info, 12), 0u);
    EXPECT_EQ(info.ChipCode, ZK_CHIP_CODE_ZK3);
    EXPECT_EQ(info.UsableMemory, ext()->UsableMemory);
    ULONG v[2] = {};
    EXPECT_EQ(ioctl(IOCTL_VIDEO_ZK_QUERY_IF09, nullptr, 0, v, 8), ULONG(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_QUERY_IF09, nullptr, 0, v, 4), 0u);
    EXPECT_EQ(v[0], 1u);
    ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_QUERY_TEXTURE_MEMORY, nullptr, 0, v, 4), 0u);
    EXPECT_EQ(v[0], 16u);
    ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_QUERY_DMA_BUFFER_SIZE, nullptr, 0, v, 4), 0u);
    EXPECT_EQ(v[0], 0u);
    ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_QUERY_HARDWARE_OPENGL, nullptr, 0, v, 4), 0u);
    EXPECT_EQ(v[0], 1u);   // missing value
    ZK_HARDWARE_CONFIG hc{};
    EXPECT_EQ(ioctl(IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG, nullptr, 0, &hc, 31), ULONG(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG, nullptr, 0, &hc, 32), 0u);
    EXPECT_EQ(hc.VisibleWidth, 640u);
    // Write-combining switch: mask and the attached flag, then frame-buffer mappings carry it.
    EXPECT_EQ(ext()->WriteCombineMask, 0u);
    ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_ENABLE_WRITE_COMBINING, nullptr, 0, nullptr, 0), 0u);
    EXPECT_EQ(ext()->WriteCombineMask, 0xFFFFFFF7u);
    EXPECT_EQ(ext()->Flags & 8u, 8u);
}

TEST_F(Requests, StandardRequestSizesAndResults) {
    config.registry = {{u"EnableWriteCombining", regDword(5)}};
    ASSERT_TRUE(boot());
    EXPECT_EQ(ioctl(IOCTL_VIDEO_GET_BANK_SELECT_CODE, nullptr, 0, nullptr, 0), ULONG(ERROR_INVALID_FUNCTION));
    // Cursor and font requests before a mode set.
    VIDEO_CURSOR_POSITION pos{1, 2};
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SET_CURSOR_POSITION, &pos, 4, nullptr, 0), ULONG(ERROR_INVALID_FUNCTION));
    ASSERT_EQ(ioctl(IOCTL_VIDEO_RESET_DEVICE, nullptr, 0, nullptr, 0), 0u);
    EXPECT_EQ(sim().int10Eax, (std::vector<ULONG>{3}));
    // Palette registers: 10 + 7 entries is too many, 10 + 6 fits.
    uint8_t pal[4 + 2 * 7] = {7, 0, 10, 0};
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SET_PALETTE_REGISTERS, pal, sizeof pal, nullptr, 0), ULONG(ERROR_INVALID_PARAMETER));
    pal[0] = 6;
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SET_PALETTE_REGISTERS, pal, sizeof pal, nullptr, 0), 0u);
    // Map the frame buffer after the display driver attached: write-combining on.
    ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_ENABLE_WRITE_COMBINING, nullptr, 0, nullptr, 0), 0u);
    VIDEO_MEMORY vm{0};
    VIDEO_MEMORY_INFORMATION mi{};
    ASSERT_EQ(ioctl(IOCTL_VIDEO_MAP_VIDEO_MEMORY, &vm, 4, &mi, 16), 0u);
    EXPECT_EQ(mi.VideoRamBase, ULONG(uintptr_t(chip().videoMemory())));
    EXPECT_EQ(mi.FrameBufferLength, ext()->UsableMemory);
    ASSERT_FALSE(sim().mappings.empty());
    EXPECT_EQ(sim().mappings.back().inIoSpace, ULONG(VIDEO_MEMORY_SPACE_P6CACHE));
    vm.RequestedVirtualAddress = mi.VideoRamBase;
    ASSERT_EQ(ioctl(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, &vm, 4, nullptr, 0), 0u);
    EXPECT_EQ(ext()->FrameBufferUser, nullptr);
    // Share: the input is the whole 16-byte record; the view must lie inside usable memory.
    VIDEO_SHARE_MEMORY share{1234, ext()->UsableMemory, 1, 0};
    VIDEO_SHARE_MEMORY_INFORMATION si{};
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SHARE_VIDEO_MEMORY, &share, 4, &si, 12), ULONG(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SHARE_VIDEO_MEMORY, &share, 16, &si, 12), ULONG(ERROR_INVALID_PARAMETER));
    // Public ranges: twelve entries, and every one of them can be freed again.
    const size_t mappedBefore = sim().mappings.size();
    VIDEO_PUBLIC_ACCESS_RANGES ranges[13] = {};
    DWORD ret = 0;
    ASSERT_EQ(ioctl(IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, nullptr, 0, ranges, 156, &ret), 0u);
    EXPECT_EQ(ret, 144u);
    EXPECT_EQ(ranges[0].VirtualAddress, ULONG(uintptr_t(chip().aperture() + 0x800000)));
    EXPECT_EQ(ranges[1].VirtualAddress, ULONG(uintptr_t(chip().aperture() + 0x4006B0)));
    EXPECT_EQ(ranges[3].VirtualAddress, 0u);
    EXPECT_EQ(ranges[8].VirtualAddress, ULONG(uintptr_t(chip().frameBufferAperture() + 0xC00000)));
    EXPECT_EQ(ranges[11].VirtualAddress, ULONG(uintptr_t(chip().aperture() + 0x2000)));
    ULONG addresses[12];
    for (int i = 0; i < 12; ++i) addresses[i] = ranges[i].VirtualAddress;
    ASSERT_EQ(ioctl(IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, addresses, 48, nullptr, 0), 0u);
    EXPECT_EQ(sim().mappings.size(), mappedBefore);
}

// Each process gets one view of the frame buffer's first 4 MB, the same one at every request,
// and a kernel unmap of the same address leaves the processes' views alone. The views are few:
// past the table's room a new process is refused rather than given a view nothing tracks.
TEST_F(Requests, EachProcessKeepsOneFrameBufferView) {
    ASSERT_TRUE(boot());
    const size_t before = sim().mappings.size();
    const ULONG aperture = ULONG(uintptr_t(chip().frameBufferAperture()));
    ULONG address = 0, zero = 0;
    EXPECT_NE(ioctl(IOCTL_VIDEO_ZK_MAP_USER_FRAME_BUFFER, &zero, 4, &address, 4), 0u) << "no process";
    for (ULONG process = 1; process <= 8; ++process) {
        for (int again = 0; again < 3; ++again) {
            address = 0;
            ASSERT_EQ(ioctl(IOCTL_VIDEO_ZK_MAP_USER_FRAME_BUFFER, &process, 4, &address, 4), 0u) << process;
            EXPECT_EQ(address, aperture);
        }
    }
    EXPECT_EQ(sim().mappings.size(), before + 8);
    for (const KivVideoPortMapping &m : sim().mappings) {
        if (m.process) {
            EXPECT_EQ(m.length, 0x400000u);
        }
    }
    ULONG ninth = 9;
    EXPECT_EQ(ioctl(IOCTL_VIDEO_ZK_MAP_USER_FRAME_BUFFER, &ninth, 4, &address, 4), ULONG(ERROR_NOT_ENOUGH_MEMORY));
    VIDEO_MEMORY kernel{aperture};
    EXPECT_NE(ioctl(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, &kernel, 4, nullptr, 0), 0u) << "no kernel mapping there";
    EXPECT_EQ(sim().mappings.size(), before + 8);
}
