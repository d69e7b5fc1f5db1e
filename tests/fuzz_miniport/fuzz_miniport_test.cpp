// Fuzz driver of the miniport's requests as the video port delivers them (one buffered request
// at a time): the standard video requests, the private ones and the zkgfx relay, every code and
// some that do not exist, sizes right and wrong, user buffers inside and outside the program's
// memory, forged, stale and doubled lock handles, saved hardware states mutated before they are
// restored, and mode sets. Buffers are always as long as the request says, and the addresses
// inside relayed blocks name memory of the caller's as long as zkgfx reads there. After every
// batch a mode still sets, the relay still answers, and no lock, MDL, IRP or zkgfx object that
// the batch made is left over once it has given back what it got.
#include <sys/mman.h>

#include <algorithm>
#include <map>
#include <string>

#include "include/zk_miniport.h"
#include "include/zkgfx.h"
#include "miniport/kivport.h"
#include "platform/videoprt/ntkernel.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/zkgfx/zkgfx.h"
#include "tests/fuzz_common/fuzz_run.h"

namespace {

constexpr size_t kPage = 4096;

using Region = FuzzRegion;
constexpr auto addressOf = fuzzAddressOf;

const uint32_t kStandard[] = {
    IOCTL_VIDEO_ENABLE_VDM,           IOCTL_VIDEO_SAVE_HARDWARE_STATE,   IOCTL_VIDEO_RESTORE_HARDWARE_STATE,
    IOCTL_VIDEO_QUERY_AVAIL_MODES,    IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, IOCTL_VIDEO_QUERY_CURRENT_MODE,
    IOCTL_VIDEO_SET_CURRENT_MODE,     IOCTL_VIDEO_RESET_DEVICE,          IOCTL_VIDEO_LOAD_AND_SET_FONT,
    IOCTL_VIDEO_SET_PALETTE_REGISTERS, IOCTL_VIDEO_SET_COLOR_REGISTERS,  IOCTL_VIDEO_SET_CURSOR_ATTR,
    IOCTL_VIDEO_QUERY_CURSOR_ATTR,    IOCTL_VIDEO_SET_CURSOR_POSITION,   IOCTL_VIDEO_QUERY_CURSOR_POSITION,
    IOCTL_VIDEO_GET_BANK_SELECT_CODE, IOCTL_VIDEO_MAP_VIDEO_MEMORY,      IOCTL_VIDEO_UNMAP_VIDEO_MEMORY,
    IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, IOCTL_VIDEO_SHARE_VIDEO_MEMORY,
    IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY};
const uint32_t kPrivate[] = {
    IOCTL_VIDEO_ZK_QUERY_CHIP_INFO,        IOCTL_VIDEO_ZK_QUERY_DMA_BUFFER_SIZE, IOCTL_VIDEO_ZK_QUERY_TEXTURE_MEMORY,
    IOCTL_VIDEO_ZK_QUERY_DMA_PUSH,         IOCTL_VIDEO_ZK_MAP_USER_FRAME_BUFFER, IOCTL_VIDEO_ZK_ENABLE_WRITE_COMBINING,
    IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG,  IOCTL_VIDEO_ZK_QUERY_IF09,            IOCTL_VIDEO_ZK_LOCK_USER_BUFFER,
    IOCTL_VIDEO_ZK_UNLOCK_USER_BUFFER,     IOCTL_VIDEO_ZK_QUERY_HARDWARE_OPENGL};
const uint32_t kRelay[] = {ZK_RM_GET_DEVICE_NAME,    ZK_RM_CREATE_MEMORY_OBJECT, ZK_RM_FREE_OBJECT,
                           ZK_RM_OPEN_DMA_CHANNEL,   ZK_RM_OPEN_FIFO_CHANNEL,    ZK_RM_CLOSE_FIFO_CHANNEL,
                           ZK_RM_CLOSE_DMA_CHANNEL,  ZK_RM_GET_MEMORY_REGION,    ZK_RM_RELEASE_MEMORY_REGION,
                           ZK_RM_REQUEST_16,         ZK_RM_CONTROL,              ZK_RM_OPEN_LINK,
                           ZK_RM_CLOSE_LINK};

// Handles the fuzzer gives its own zkgfx objects and channels.
constexpr uint32_t kHandleBase = 0x7A000000u;
constexpr uint32_t kHandles = 8;

class MiniportFuzz {
public:
    MiniportFuzz()
        : client_(16, PROT_READ | PROT_WRITE), readOnly_(2, PROT_READ), noAccess_(2, PROT_NONE),
          system_(2, PROT_READ | PROT_WRITE), state_(ZK_HARDWARE_STATE_SIZE) {
        kivKernelMemoryMap(system_.base, system_.size);
    }
    ~MiniportFuzz() { kivKernelMemoryUnmap(system_.base, system_.size); }
    bool ready() const { return client_.base && readOnly_.base && noAccess_.base && system_.base; }

    // Finds the 16-bit mode every batch ends in; false when the miniport offers none.
    bool learnHomeMode() {
        VIDEO_NUM_MODES n{};
        if (ioctl(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &n, sizeof n) != 0 || !n.NumModes) return false;
        std::vector<uint8_t> all(size_t(n.NumModes) * n.ModeInformationLength);
        if (ioctl(IOCTL_VIDEO_QUERY_AVAIL_MODES, nullptr, 0, all.data(), uint32_t(all.size())) != 0) return false;
        for (uint32_t i = 0; i < n.NumModes; ++i) {
            VIDEO_MODE_INFORMATION m;
            std::memcpy(&m, all.data() + size_t(i) * n.ModeInformationLength, sizeof m);
            modes_.push_back(m.ModeIndex);
            if (!home_ && m.VisScreenWidth == 1024 && m.VisScreenHeight == 768 && m.BitsPerPlane * m.NumberOfPlanes == 16)
                home_ = m.ModeIndex;
        }
        return home_ != 0;
    }

    void batch(KivFuzzRandom &r) {
        for (int i = 0; i < 200; ++i) {
            const uint32_t what = r.below(100);
            if (what < 30) standard(r);
            else if (what < 60) privateRequest(r);
            else if (what < 90) relay(r);
            else other(r);
        }
    }

    // Gives back what the batch still holds, then checks that the miniport works and that
    // nothing of the batch is left.
    void check(const KivKernelCounters &before, int zkgfxBefore) {
        for (ZK_LOCKED_BUFFER &l : locks_) ioctl(IOCTL_VIDEO_ZK_UNLOCK_USER_BUFFER, &l, sizeof l, nullptr, 0);
        locks_.clear();
        ASSERT_EQ(ioctl(ZK_RM_OPEN_LINK, nullptr, 0, nullptr, 0), 0u);
        // Everything the batch made, whatever the batch did with it since.
        for (uint32_t h : channels_) {
            ZK_RM_CLOSE_DMA_CHANNEL_PARAMS c{0, 0, h, 0xFFFF, 0};
            relayBlock(ZK_RM_CLOSE_DMA_CHANNEL, &c, sizeof c);
        }
        for (uint32_t h : objects_) {
            ZK_RM_OBJECT_HANDLE_PARAMS f{h, 0xFFFF, 0};
            relayBlock(ZK_RM_FREE_OBJECT, &f, sizeof f);
        }
        channels_.clear();
        objects_.clear();
        for (uint32_t a : regions_) {
            ZK_RM_RELEASE_REGION_PARAMS p{a, 0xFFFF, 0};
            relayBlock(ZK_RM_RELEASE_MEMORY_REGION, &p, sizeof p);
        }
        regions_.clear();
        if (kivZkgfxState().fifoAddress) {
            ZK_RM_CLOSE_FIFO_CHANNEL_PARAMS p{0, 0, kivZkgfxState().fifoAddress, 0xFFFF, 0};
            relayBlock(ZK_RM_CLOSE_FIFO_CHANNEL, &p, sizeof p);
        }

        // A mode sets and reads back.
        VIDEO_MODE m{home_};
        ASSERT_EQ(ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &m, sizeof m, nullptr, 0), 0u) << "the mode no longer sets";
        VIDEO_MODE_INFORMATION info{};
        ASSERT_EQ(ioctl(IOCTL_VIDEO_QUERY_CURRENT_MODE, nullptr, 0, &info, sizeof info), 0u);
        EXPECT_EQ(info.ModeIndex, home_);
        EXPECT_EQ(info.VisScreenWidth, 1024u);
        // The relay answers.
        char name[128] = {};
        ZK_RM_DEVICE_NAME_PARAMS dn{0, 0, addressOf(name), sizeof name, 0xFFFF};
        EXPECT_EQ(relayBlock(ZK_RM_GET_DEVICE_NAME, &dn, sizeof dn), 0u);
        EXPECT_EQ(dn.Status, 0u);
        EXPECT_STREQ(name, "ZK3");
        // Nothing left over.
        const KivKernelCounters k = kivKernelCounters();
        EXPECT_EQ(k.lockedMdls, before.lockedMdls) << "locks left over";
        EXPECT_EQ(k.liveMdls, before.liveMdls) << "MDLs left over";
        EXPECT_EQ(k.liveIrps, before.liveIrps) << "IRPs left over";
        EXPECT_EQ(kivZkgfxState().liveObjects(), zkgfxBefore) << "zkgfx objects left over";
        ASSERT_EQ(ioctl(ZK_RM_CLOSE_LINK, nullptr, 0, nullptr, 0), 0u);
        EXPECT_EQ(kivKernelCounters().liveFileObjects, before.liveFileObjects) << "link references left over";
    }

private:
    Region client_, readOnly_, noAccess_, system_;
    std::vector<uint8_t> state_;
    std::vector<uint32_t> modes_;
    uint32_t home_ = 0;
    std::vector<ZK_LOCKED_BUFFER> locks_, unlocked_;
    std::vector<uint32_t> regions_, objects_, channels_;

    DWORD ioctl(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize) {
        DWORD returned = 0;
        return KivVideoPortDeviceIoControl(code, in, inSize, out, outSize, &returned);
    }
    // A relayed block: the input's first word holds its address, the output length its size.
    DWORD relayBlock(DWORD code, void *block, uint32_t size) {
        uint32_t address = addressOf(block);
        std::vector<uint8_t> out(std::max<uint32_t>(size, 4));
        return ioctl(code, &address, 4, out.data(), size);
    }

    // An address of a buffer a program might hand over: its own, read-only, without access,
    // the system's, at the top of the address space, the null page.
    uint32_t userAddress(KivFuzzRandom &r, uint32_t length) {
        switch (r.below(7)) {
        case 0: case 1: return addressOf(client_.base + r.below(uint32_t(client_.size) - std::min<uint32_t>(length, 8192)));
        case 2: return addressOf(readOnly_.base + r.below(uint32_t(readOnly_.size)));
        case 3: return addressOf(noAccess_.base + r.below(uint32_t(noAccess_.size)));
        case 4: return addressOf(system_.base + r.below(uint32_t(system_.size)));
        case 5: return 0xFFFFF000u + r.below(kPage);
        default: return r.below(kPage);
        }
    }

    void standard(KivFuzzRandom &r) {
        const uint32_t code = r.pick(kStandard);
        switch (code) {
        case IOCTL_VIDEO_SAVE_HARDWARE_STATE:
        case IOCTL_VIDEO_RESTORE_HARDWARE_STATE: {
            // The state lives in a buffer as long as it says; a restored state is a saved one
            // with some bytes changed.
            VIDEO_HARDWARE_STATE s{addressOf(state_.data()), r.chance(80) ? uint32_t(state_.size()) : r.below(uint32_t(state_.size()))};
            if (code == IOCTL_VIDEO_RESTORE_HARDWARE_STATE)
                for (uint32_t n = r.below(16); n > 0; --n) state_[r.below(r.chance(50) ? 256 : uint32_t(state_.size()))] = uint8_t(r.word());
            if (r.chance(5)) s.StateHeader = 0;
            std::vector<uint8_t> buf(sizeof s + 8);
            std::memcpy(buf.data(), &s, sizeof s);
            const uint32_t size = r.size(sizeof s, uint32_t(buf.size()));
            ioctl(code, buf.data(), size, buf.data(), size);
            break;
        }
        case IOCTL_VIDEO_SET_CURRENT_MODE: {
            VIDEO_MODE m{r.chance(70) ? r.pick(modes_) : r.word()};
            if (r.chance(30)) m.RequestedMode |= 0x80000000u;   // keep the frame buffer
            const uint32_t size = r.size(sizeof m, 16);
            std::vector<uint8_t> buf(std::max<uint32_t>(size, sizeof m));
            std::memcpy(buf.data(), &m, sizeof m);
            ioctl(code, buf.data(), size, buf.data(), r.below(4));
            break;
        }
        default: {
            const uint32_t inSize = r.size(r.pick({4u, 8u, 16u, 40u, 48u}), 2048);
            const uint32_t outSize = r.size(r.pick({4u, 12u, 16u, 80u, 156u}), 4096);
            std::vector<uint8_t> in(std::max<uint32_t>(inSize, 4)), out(std::max<uint32_t>(outSize, 4));
            r.fill(in.data(), in.size());
            if (code == IOCTL_VIDEO_LOAD_AND_SET_FONT && in.size() >= 8) {
                // The font's size word at 4: mostly no more than the font the buffer carries.
                const uint32_t fontSize = r.chance(70) ? r.below(inSize + 1) : r.word();
                std::memcpy(in.data() + 4, &fontSize, 4);
            }
            ioctl(code, in.data(), inSize, out.data(), outSize);
            break;
        }
        }
    }

    void privateRequest(KivFuzzRandom &r) {
        const uint32_t code = r.pick(kPrivate);
        if (code == IOCTL_VIDEO_ZK_LOCK_USER_BUFFER) {
            ZK_LOCKED_BUFFER l{r.word(), r.word(), 0, r.word(), r.chance(70) ? 4096u : r.below(0x4000)};
            l.UserAddress = userAddress(r, l.Length);
            const uint32_t size = r.chance(85) ? 20u : r.size(20, 64);
            std::vector<uint8_t> buf(std::max<uint32_t>(size, 20));
            std::memcpy(buf.data(), &l, 20);
            if (ioctl(code, buf.data(), size, buf.data(), size) == 0) {
                std::memcpy(&l, buf.data(), 20);
                if (l.Mdl) locks_.push_back(l);
            }
        } else if (code == IOCTL_VIDEO_ZK_UNLOCK_USER_BUFFER) {
            // A real lock, one already given back, a forged handle, or one beside a real one.
            ZK_LOCKED_BUFFER l{r.word(), 0, 0, 0, 0};
            const uint32_t kind = r.below(4);
            if (kind == 0 && !locks_.empty()) {
                l = r.pick(locks_);
            } else if (kind == 1 && !unlocked_.empty()) {
                l = r.pick(unlocked_);
            } else if (kind == 2 && !locks_.empty()) {
                l.Mdl = r.pick(locks_).Mdl + (r.chance(50) ? 4 : 0x1000);
            }
            const uint32_t size = r.chance(85) ? 20u : r.size(20, 64);
            std::vector<uint8_t> buf(std::max<uint32_t>(size, 20));
            std::memcpy(buf.data(), &l, 20);
            // A handle is the lock's address: a stale one that a new lock has taken over now
            // names that lock, which is then given back.
            if (ioctl(code, buf.data(), size, nullptr, 0) != 0) return;
            if (kind == 0) unlocked_.push_back(l);
            locks_.erase(std::remove_if(locks_.begin(), locks_.end(),
                                            [&](const ZK_LOCKED_BUFFER &x) { return x.Mdl == l.Mdl; }),
                             locks_.end());
            if (unlocked_.size() > 64) unlocked_.erase(unlocked_.begin());
        } else {
            const uint32_t inSize = r.size(4, 64), outSize = r.size(r.pick({4u, 12u, 32u}), 64);
            std::vector<uint8_t> in(std::max<uint32_t>(inSize, 4)), out(std::max<uint32_t>(outSize, 4));
            r.fill(in.data(), in.size());
            ioctl(code, in.data(), inSize, out.data(), outSize);
        }
    }

    // A relayed block, mostly well formed with the fuzzer's own handles, sometimes short,
    // sometimes with made-up handles; every address inside names the fuzzer's memory.
    void relay(KivFuzzRandom &r) {
        const uint32_t code = r.pick(kRelay);
        if (code == ZK_RM_OPEN_LINK || code == ZK_RM_CLOSE_LINK) {
            ioctl(code, nullptr, 0, nullptr, 0);
            return;
        }
        static char name[128];
        static uint32_t words[3];
        static uint32_t inParams[4];
        static const char *const kRegions[] = {ZK_RM_REGION_FRAME_BUFFER, ZK_RM_REGION_CURSOR, "cursor ", ""};
        auto handle = [&] { return r.chance(80) ? kHandleBase + r.below(kHandles) : r.word(); };
        uint8_t block[64];
        r.fill(block, sizeof block);
        uint32_t exact = 12;
        switch (code) {
        case ZK_RM_GET_DEVICE_NAME: {
            ZK_RM_DEVICE_NAME_PARAMS p{uint16_t(r.below(3)), 0, addressOf(name), uint16_t(r.below(sizeof name + 1)), 0};
            std::memcpy(block, &p, sizeof p);
            exact = sizeof p;
            break;
        }
        case ZK_RM_CREATE_MEMORY_OBJECT: {
            static const uint32_t kClasses[] = {ZK_RM_CLASS_BUFFER, ZK_RM_CLASS_NOTIFIER, ZK_RM_CLASS_VIDEO_MEMORY, 7};
            const uint32_t offset = r.below(uint32_t(client_.size) / 2);
            ZK_RM_MEMORY_OBJECT_PARAMS p{handle(), r.pick(kClasses), addressOf(client_.base + offset),
                                         r.below(uint32_t(client_.size) - offset), 0, 0};
            std::memcpy(block, &p, sizeof p);
            exact = sizeof p;
            break;
        }
        case ZK_RM_FREE_OBJECT: {
            ZK_RM_OBJECT_HANDLE_PARAMS p{handle(), 0, 0};
            std::memcpy(block, &p, sizeof p);
            exact = sizeof p;
            break;
        }
        case ZK_RM_OPEN_DMA_CHANNEL: {
            ZK_RM_DMA_CHANNEL_PARAMS p{handle(), r.below(2), 0, handle(), handle(), 0, {0, 0}, 0};
            std::memcpy(block, &p, sizeof p);
            exact = sizeof p;
            break;
        }
        case ZK_RM_CLOSE_DMA_CHANNEL: {
            ZK_RM_CLOSE_DMA_CHANNEL_PARAMS p{0, 0, handle(), 0, 0};
            std::memcpy(block, &p, sizeof p);
            exact = sizeof p;
            break;
        }
        case ZK_RM_OPEN_FIFO_CHANNEL: exact = sizeof(ZK_RM_FIFO_CHANNEL_PARAMS); break;
        case ZK_RM_CLOSE_FIFO_CHANNEL: {
            ZK_RM_CLOSE_FIFO_CHANNEL_PARAMS p{0, 0, r.chance(50) ? kivZkgfxState().fifoAddress : r.word(), 0, 0};
            std::memcpy(block, &p, sizeof p);
            exact = sizeof p;
            break;
        }
        case ZK_RM_GET_MEMORY_REGION: {
            ZK_RM_MEMORY_REGION_PARAMS p{r.chance(90) ? addressOf(r.pick(kRegions)) : 0, 0, r.word(), 0, 0};
            std::memcpy(block, &p, sizeof p);
            exact = sizeof p;
            break;
        }
        case ZK_RM_RELEASE_MEMORY_REGION: {
            ZK_RM_RELEASE_REGION_PARAMS p{!regions_.empty() && r.chance(50) ? r.pick(regions_) : r.word(), 0, 0};
            std::memcpy(block, &p, sizeof p);
            exact = sizeof p;
            break;
        }
        case ZK_RM_CONTROL: {
            // The words zkgfx follows: InParams points at a word that points at three words.
            inParams[0] = addressOf(words);
            ZK_RM_CONTROL_PARAMS p{r.chance(30) ? 0xFFFFFFFFu : handle(), r.below(2), addressOf(inParams),
                                   addressOf(inParams), 0};
            if (p.Target == 0xFFFFFFFFu) inParams[0] = handle();
            std::memcpy(block, &p, sizeof p);
            exact = sizeof p;
            break;
        }
        default: exact = 16; break;
        }
        const uint32_t size = r.chance(80) ? exact : r.size(exact, sizeof block);
        const DWORD status = relayBlock(code, block, size);
        if (status != 0 || size < exact) return;
        if (code == ZK_RM_GET_MEMORY_REGION) {
            ZK_RM_MEMORY_REGION_PARAMS p;
            std::memcpy(&p, block, sizeof p);
            if (p.Status == 0) regions_.push_back(p.Address);
        } else if (code == ZK_RM_CREATE_MEMORY_OBJECT) {
            ZK_RM_MEMORY_OBJECT_PARAMS p;
            std::memcpy(&p, block, sizeof p);
            if (p.Status == 0) objects_.push_back(p.Handle);
        } else if (code == ZK_RM_OPEN_DMA_CHANNEL) {
            ZK_RM_DMA_CHANNEL_PARAMS p;
            std::memcpy(&p, block, sizeof p);
            if (p.Status == 0) channels_.push_back(p.ChannelHandle);
        }
    }

    // Codes nobody serves, with and without buffers.
    void other(KivFuzzRandom &r) {
        const uint32_t inSize = r.below(64), outSize = r.below(64);
        std::vector<uint8_t> in(std::max<uint32_t>(inSize, 4)), out(std::max<uint32_t>(outSize, 4));
        r.fill(in.data(), in.size());
        uint32_t code = r.chance(50) ? r.word() : 0x00230000u | (r.below(0x4000) << 2);
        auto known = [&](const auto &table) { return std::find(std::begin(table), std::end(table), code) != std::end(table); };
        if (known(kStandard) || known(kPrivate) || known(kRelay)) return;   // those carry addresses of their own
        ioctl(code, in.data(), inSize, out.data(), outSize);
    }
};

}  // namespace

TEST(FuzzMiniport, RandomRequestsLeaveTheMiniportWorking) {
    kivFuzzForEachSeed("fuzz_miniport", [&](KivFuzzRandom &r, int n) {
        if (n == 0) {   // a freshly started adapter for every seed
            KivVideoPortConfig config;
            config.driverEntry = DriverEntry;
            ASSERT_TRUE(kivVideoPortBoot(config));
        }
        // The one client process: its mapped pages are its user memory, as on the booted machine.
        kivUserMemoryByDefault(true);
        MiniportFuzz fuzz;
        ASSERT_TRUE(fuzz.ready());
        ASSERT_TRUE(fuzz.learnHomeMode());
        const KivKernelCounters before = kivKernelCounters();
        const int zkgfxBefore = kivZkgfxState().liveObjects();
        // The device's record of request codes and the chip model's log of register writes grow
        // with every request; a long run keeps them to one batch.
        kivZkgfxState().requestCodes.clear();
        kivVideoPortSim().chip->clearWriteLog();
        fuzz.batch(r);
        fuzz.check(before, zkgfxBefore);
        kivUserMemoryByDefault(false);
    });
    kivUserMemoryByDefault(false);
    kivVideoPortShutdown();
}

int main(int argc, char **argv) { return kivFuzzMain(argc, argv); }
