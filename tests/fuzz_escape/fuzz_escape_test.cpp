// Fuzz driver of the display driver's escapes, as a program reaches them (ExtEscape on a DC) on
// the booted machine: every escape code and some others, sizes right and wrong, addresses of
// window blocks and counters inside and outside the program's memory (unaligned, read-only,
// without access, the system's, wrapping past 4 GB), interleaved with windows that come, move
// and go (anywhere, across an edge of the screen, wholly past it, larger than it) and with mode
// changes. After every batch the driver must still answer its escapes, track a new window, set
// the desktop mode, hold no lock of a window that is gone, and hold no more mappings than at the
// start and the program's one view of the frame buffer.
//
// --edges also places windows across and wholly above the top edge of the screen.
#include <sys/mman.h>

#include <algorithm>
#include <string>

#include "include/zk_escape.h"
#include "platform/machine/machine.h"
#include "platform/ntgdi/ntgdi.h"
#include "platform/videoprt/ntkernel.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_engine.h"
#include "tests/fuzz_common/fuzz_run.h"

namespace {

constexpr size_t kPage = 4096;
constexpr uint32_t kBlockSize = sizeof(ZK_CLIENT_WINDOW_BLOCK);
constexpr KivScreenMode kHomeMode{1024, 768, 16};

using Region = FuzzRegion;
constexpr auto addressOf = fuzzAddressOf;

class EscapeFuzz {
public:
    EscapeFuzz()
        : client_(64, PROT_READ | PROT_WRITE), readOnly_(4, PROT_READ), noAccess_(4, PROT_NONE),
          system_(4, PROT_READ | PROT_WRITE), check_(2, PROT_READ | PROT_WRITE) {
        kivKernelMemoryMap(system_.base, system_.size);
        dc_ = GetDC(nullptr);
    }
    ~EscapeFuzz() {
        closeWindows();
        ReleaseDC(nullptr, dc_);
        kivKernelMemoryUnmap(system_.base, system_.size);
    }
    bool ready() const { return client_.base && readOnly_.base && noAccess_.base && system_.base && check_.base && dc_; }

    void batch(KivFuzzRandom &r) {
        for (int i = 0; i < 200; ++i) {
            const uint32_t what = r.below(100);
            if (what < 75) escape(r);
            else if (what < 96) window(r);
            else mode(r);
        }
    }

    // The driver still works: it names its OpenGL driver, tracks a new window and keeps it up
    // to date, and holds no lock of a window that is gone.
    void check(int lockedBefore, int liveBefore, size_t engineBefore, size_t mappingsBefore) {
        for (const KivScreenMode &m : {KivScreenMode{800, 600, 16}, kHomeMode}) {
            kivSetScreenMode(&m);
            const KivScreenMode *now = kivScreenMode();
            ASSERT_TRUE(now->width == m.width && now->height == m.height && now->bpp == m.bpp)
                << "the desktop mode no longer sets " << m.width << " x " << m.height;
        }
        uint32_t asked = ESC_OPENGL_GETINFO;
        ASSERT_EQ(ExtEscape(dc_, ESC_QUERYESCSUPPORT, 4, reinterpret_cast<LPCSTR>(&asked), 0, nullptr), 1);
        KivOpenGlInfo info{};
        uint32_t type = 0;
        ASSERT_EQ(ExtEscape(dc_, ESC_OPENGL_GETINFO, 4, reinterpret_cast<LPCSTR>(&type), sizeof info,
                            reinterpret_cast<LPSTR>(&info)), 1);
        ASSERT_EQ(info.version, 2u);

        HWND w = CreateWindowExA(0, "fuzz", "fuzz", WS_VISIBLE, 50, 60, 300, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(w, nullptr);
        closeWindows();   // the fuzzed windows go first: their set-ups may have taken every slot
        auto *block = reinterpret_cast<ZK_CLIENT_WINDOW_BLOCK *>(check_.base);
        std::memset(block, 0, kBlockSize);
        block->hwnd = addressOf(w);
        uint32_t address = addressOf(block), counter = 0;
        EXPECT_EQ(ExtEscape(dc_, ESC_WNDOBJ_SETUP, 4, reinterpret_cast<LPCSTR>(&address), 4,
                            reinterpret_cast<LPSTR>(&counter)), 1);
        const uint32_t changes = block->changeCounter;
        MoveWindow(w, 70, 80, 320, 220, TRUE);
        EXPECT_GT(block->changeCounter, changes) << "a moved window is no longer reported";
        EXPECT_EQ(block->clientOrigin >> 16, 70u);
        DestroyWindow(w);
        const KivKernelCounters k = kivKernelCounters();
        EXPECT_EQ(k.lockedMdls, lockedBefore) << "locks of windows that are gone";
        EXPECT_EQ(k.liveMdls, liveBefore);
        // In the same mode with no window left, the driver holds what it held at the start.
        EXPECT_EQ(kivEngLiveAllocations(), engineBefore) << kivEngLeakReport();
        // Mode changes map and unmap the frame buffer for the driver; the program keeps one view.
        EXPECT_LE(kivVideoPortSim().mappings.size(), mappingsBefore + 1) << "mappings pile up";
    }

private:
    HDC dc_ = nullptr;
    Region client_, readOnly_, noAccess_, system_, check_;
    std::vector<HWND> windows_;
    std::vector<HWND> gone_;   // handles of destroyed windows, reused as stale handles

    void closeWindows() {
        for (HWND w : windows_)
            if (IsWindow(w)) DestroyWindow(w);
        gone_.insert(gone_.end(), windows_.begin(), windows_.end());
        windows_.clear();
        if (gone_.size() > 64) gone_.erase(gone_.begin(), gone_.end() - 64);
    }

    // A window handle a program might write into its block: live, gone, or made up.
    uint32_t hwnd(KivFuzzRandom &r) {
        if (!windows_.empty() && r.chance(60)) return addressOf(r.pick(windows_));
        if (!gone_.empty() && r.chance(50)) return addressOf(r.pick(gone_));
        return r.chance(50) ? r.below(64) : r.word();
    }

    // An address of `length` bytes a program might name: its own memory (aligned or not) or
    // memory that is not its to give. Only the program's own memory is ever written.
    uint32_t address(KivFuzzRandom &r, uint32_t length, bool *own) {
        *own = false;
        switch (r.below(9)) {
        case 0: case 1: case 2: case 3: {
            *own = true;
            const uint32_t room = uint32_t(client_.size) - length;
            uint32_t offset = r.below(room + 1);
            if (r.chance(70)) offset &= ~3u;
            return addressOf(client_.base + offset);
        }
        case 4: return addressOf(readOnly_.base + r.below(uint32_t(readOnly_.size) - length + 1));
        case 5: return addressOf(noAccess_.base + r.below(uint32_t(noAccess_.size)));
        case 6: return addressOf(system_.base + r.below(uint32_t(system_.size) - length + 1));
        case 7: return 0xFFFFF000u + r.below(kPage);   // wraps past 4 GB (or lies beyond the program)
        default: return r.chance(50) ? 0 : r.below(kPage);   // the null page
        }
    }

    void escape(KivFuzzRandom &r) {
        static const uint32_t kCodes[] = {ESC_QUERYESCSUPPORT,  ESC_ZK_SET_OPENGL_ACTIVE, ESC_WNDOBJ_SETUP,
                                          ESC_OPENGL_GETINFO,   ESC_OPENGL_CMD,           ESC_ZK_START_DMA_PUSH,
                                          ESC_ZK_MAP_FRAME_BUFFER, ESC_ZK_SET_GAMMA_RAMP, ESC_ZK_GET_GAMMA_RAMP,
                                          0x4321,               0x7002,                   0xFFFFFFFFu};
        const uint32_t code = r.chance(95) ? r.pick(kCodes) : r.word();
        static const uint32_t kExact[] = {4, 24, 1536, 528};
        const uint32_t inSize = r.size(r.pick(kExact), 2048), outSize = r.size(r.pick(kExact), 2048);
        // The buffers are as long as the sizes say.
        std::vector<uint8_t> in(std::max<uint32_t>(inSize, 4)), out(std::max<uint32_t>(outSize, 4));
        r.fill(in.data(), in.size());
        r.fill(out.data(), out.size());
        uint32_t first = 0;
        bool own = false;
        switch (code) {
        case ESC_WNDOBJ_SETUP: {
            first = address(r, kBlockSize, &own);
            if (own) {   // a block of its own: the program writes the window handle first
                const uint32_t h = hwnd(r);
                std::memcpy(reinterpret_cast<uint8_t *>(uintptr_t(first)) + offsetof(ZK_CLIENT_WINDOW_BLOCK, hwnd), &h, 4);
            }
            break;
        }
        case ESC_ZK_SET_OPENGL_ACTIVE: first = address(r, 4, &own); break;
        case ESC_QUERYESCSUPPORT: first = r.chance(70) ? r.pick(kCodes) : r.word(); break;
        case ESC_OPENGL_GETINFO: first = r.chance(70) ? 0 : r.word(); break;
        case ESC_ZK_MAP_FRAME_BUFFER: first = r.chance(90) ? r.word() : 0xFFFFFFFFu; break;
        case ESC_ZK_START_DMA_PUSH: {
            // A stale counter mostly; the current one now and then with a made-up DMA object.
            ZK_DMA_PUSH_PARAMS p;
            r.fill(&p, sizeof p);
            if (r.chance(30)) p.modeCounter = counter_;
            std::memcpy(in.data(), &p, std::min<size_t>(sizeof p, in.size()));
            first = p.dmaObject;
            break;
        }
        default: first = r.word(); break;
        }
        std::memcpy(in.data(), &first, 4);
        const bool nullIn = r.chance(5), nullOut = r.chance(5);
        const int answer = ExtEscape(dc_, int(code), int(inSize), nullIn ? nullptr : reinterpret_cast<LPCSTR>(in.data()),
                                     int(outSize), nullOut ? nullptr : reinterpret_cast<LPSTR>(out.data()));
        if ((code == ESC_WNDOBJ_SETUP || code == ESC_ZK_SET_OPENGL_ACTIVE) && answer == 1 && outSize >= 4 && !nullOut)
            std::memcpy(&counter_, out.data(), 4);
    }

    // A window's box: anywhere around the screen, or across one edge of it (wholly past it now
    // and then), or larger than the screen.
    RECT box(KivFuzzRandom &r) {
        const int sw = int(kivScreenMode()->width), sh = int(kivScreenMode()->height);
        const int w = 1 + int(r.below(900)), h = 1 + int(r.below(700));
        const int past = r.chance(25) ? int(r.below(200)) : -int(r.below(uint32_t(std::min(w, h))));   // > 0: wholly past
        const int x = int(r.below(uint32_t(sw))), y = int(r.below(uint32_t(sh)));
        enum { kAnywhere, kLeft, kRight, kBottom, kLarger, kTop };
        switch (r.below(6)) {
        case kLeft: return RECT{-w - past, y, -past, y + h};
        case kRight: return RECT{sw + past, y, sw + past + w, y + h};
        case kBottom: return RECT{x, sh + past, x + w, sh + past + h};
        case kLarger: return RECT{-int(r.below(300)), -int(r.below(300)), sw + int(r.below(300)), sh + int(r.below(300))};
        case kTop: return RECT{x, -h - past, x + w, -past};
        default: {
            const int l = int(r.below(1400)) - 200, t = int(r.below(1000)) - 200;
            return RECT{l, t, l + int(r.below(900)), t + int(r.below(700))};
        }
        }
    }

    void window(KivFuzzRandom &r) {
        const uint32_t what = r.below(10);
        const RECT b = box(r);
        if (what < 3 && windows_.size() < 12) {
            HWND w = CreateWindowExA(0, "fuzz", "fuzz", r.chance(80) ? WS_VISIBLE : 0, b.left, b.top, b.right - b.left,
                                     b.bottom - b.top, nullptr, nullptr, nullptr, nullptr);
            if (w) windows_.push_back(w);
        } else if (what < 8 && !windows_.empty()) {
            MoveWindow(r.pick(windows_), b.left, b.top, b.right - b.left, b.bottom - b.top, TRUE);
        } else if (!windows_.empty()) {
            const size_t i = r.below(uint32_t(windows_.size()));
            DestroyWindow(windows_[i]);
            gone_.push_back(windows_[i]);
            windows_.erase(windows_.begin() + long(i));
        }
    }

    void mode(KivFuzzRandom &r) {
        static const KivScreenMode kModes[] = {{1024, 768, 16}, {800, 600, 16}, {640, 480, 16}, {1024, 768, 32},
                                               {800, 600, 8},   {1280, 1024, 16}, {7, 5, 16},  {640, 480, 24}};
        kivSetScreenMode(&r.pick(kModes));
    }

    uint32_t counter_ = 0;
};

}  // namespace

TEST(FuzzEscape, RandomEscapesWindowsAndModesLeaveTheDriverWorking) {
    ASSERT_EQ(kivMachineBoot(), 1);
    ASSERT_TRUE(kivEngineRunning());
    kivSetScreenMode(&kHomeMode);
    const KivKernelCounters base = kivKernelCounters();
    const size_t engineBase = kivEngLiveAllocations();
    const size_t mappingsBase = kivVideoPortSim().mappings.size();
    kivFuzzForEachSeed("fuzz_escape", [&](KivFuzzRandom &r, int) {
        // The chip model's logs of register and FIFO writes grow with every mode set and every
        // drawing; a long run keeps them to one batch.
        kivVideoPortSim().chip->clearWriteLog();
        zk3EngineClearLog();
        EscapeFuzz fuzz;
        ASSERT_TRUE(fuzz.ready());
        fuzz.batch(r);
        fuzz.check(base.lockedMdls, base.liveMdls, engineBase, mappingsBase);
    });
}

int main(int argc, char **argv) { return kivFuzzMain(argc, argv); }
