// The VGA state a full-screen session saves and restores through the miniport.
#include <array>
#include "tests/miniport/fixture.h"

namespace {

struct HwState : MiniportTest {
    std::vector<uint8_t> buffer = std::vector<uint8_t>(ZK_HARDWARE_STATE_SIZE + 64, 0xCD);
    VIDEO_HARDWARE_STATE state{};

    void SetUp() override {
        ASSERT_TRUE(boot());
        state.StateHeader = uint32_t(uintptr_t(buffer.data()));
        state.StateLength = ZK_HARDWARE_STATE_SIZE;
    }
    VIDEO_HARDWARE_STATE_HEADER *header() { return reinterpret_cast<VIDEO_HARDWARE_STATE_HEADER *>(buffer.data()); }
    void port(uint16_t p, uint8_t v) { chip().writePort(p, v, 1); }
    void indexed(uint16_t p, uint8_t i, uint8_t v) { port(p, i); port(uint16_t(p + 1), v); }

    // Everything a restore must bring back, read from the model without touching its state.
    struct Snapshot {
        std::array<uint8_t, 8> seq;
        std::array<uint8_t, 0x40> crtc;
        std::array<uint8_t, 9> gfx;
        std::array<uint8_t, 23> attr;
        std::array<uint8_t, 768> dac;
        uint8_t misc, mask;
        std::array<uint8_t, 64> planes;
        bool operator==(const Snapshot &) const = default;
    };
    Snapshot snapshot() {
        Snapshot s{};
        for (int i = 0; i < 8; ++i) s.seq[i] = chip().sequencer(uint8_t(i));
        for (int i = 0; i < 0x40; ++i) s.crtc[i] = chip().crtc(uint8_t(i));
        for (int i = 0; i < 9; ++i) s.gfx[i] = chip().graphics(uint8_t(i));
        for (int i = 0; i < 23; ++i) s.attr[i] = chip().attribute(uint8_t(i));
        for (int i = 0; i < 256; ++i)
            for (int c = 0; c < 3; ++c) s.dac[i * 3 + c] = chip().dacEntry(uint8_t(i))[c];
        s.misc = chip().miscOutput();
        s.mask = chip().dacMask();
        for (int i = 0; i < 16; ++i)
            for (int p = 0; p < 4; ++p) s.planes[i * 4 + p] = chip().vgaPlane(unsigned(p), uint32_t(i * 4099));
        return s;
    }
    // A text-mode-like state with distinct values everywhere a restore could go wrong.
    void program(uint8_t seed) {
        port(0x3C2, 0x67);
        for (uint8_t i = 0; i < 8; ++i) indexed(0x3C4, i, uint8_t(seed + i * 3));
        indexed(0x3D4, 0x11, 0x00);
        for (uint8_t i = 0; i < 0x19; ++i) indexed(0x3D4, i, uint8_t(seed ^ (i * 7)));
        for (uint8_t i : {0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x3F}) indexed(0x3D4, i, uint8_t(seed + i));
        for (uint8_t i = 0; i < 9; ++i) indexed(0x3CE, i, uint8_t(seed * 5 + i));
        chip().readPort(0x3DA, 1);
        for (uint8_t i = 0; i < 23; ++i) {
            port(0x3C0, i);
            port(0x3C0, uint8_t(seed + 11 * i));
        }
        port(0x3C8, 0);
        for (int i = 0; i < 768; ++i) port(0x3C9, uint8_t((seed + i) & 0x3F));
        port(0x3C6, uint8_t(0xF0 | (seed & 0xF)));
        // Plane bytes, written through the planar window one plane at a time.
        indexed(0x3CE, 5, 0);
        indexed(0x3CE, 8, 0xFF);
        for (int p = 0; p < 4; ++p) {
            indexed(0x3C4, 2, uint8_t(1 << p));
            for (int i = 0; i < 16; ++i) chip().writeVgaMemory(uint32_t(i * 4099), uint8_t(seed + p * 16 + i));
        }
        indexed(0x3CE, 5, uint8_t(seed * 5 + 5));
        indexed(0x3C4, 2, uint8_t(seed + 6));
        indexed(0x3D4, 3, uint8_t(seed ^ 21));
    }
};

TEST_F(HwState, SaveThenRestoreBringsBackRegistersDacAndPlanes) {
    program(0x21);
    const Snapshot before = snapshot();
    STATUS_BLOCK sb = request(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &state, sizeof state);
    ASSERT_EQ(sb.Status, 0u);
    EXPECT_EQ(sb.Information, 8u);
    EXPECT_EQ(state.StateLength, ZK_HARDWARE_STATE_SIZE);
    EXPECT_EQ(buffer[ZK_HARDWARE_STATE_SIZE], 0xCD);  // nothing written past the state
    const VIDEO_HARDWARE_STATE_HEADER *h = header();
    EXPECT_EQ(h->Length, 156u);
    EXPECT_EQ(h->Plane4Offset, 198823u);
    EXPECT_EQ(h->VGAStateFlags, 0x5u);  // no VDM state kept
    EXPECT_EQ(buffer[h->BasicCrtContOffset + 3], uint8_t(0x21 ^ 21));

    program(0x5A);
    ASSERT_NE(snapshot(), before);
    sb = request(IOCTL_VIDEO_RESTORE_HARDWARE_STATE, &state, sizeof state, nullptr, 0);
    ASSERT_EQ(sb.Status, 0u);
    Snapshot after = snapshot();
    EXPECT_EQ(after.misc, before.misc & ~0x08);  // the clock-select bit 3 is not restored
    after.misc = before.misc;
    // Registers outside the VGA state: the extended-register lock and attribute 21.
    after.seq[5] = before.seq[5];
    after.attr[21] = before.attr[21];
    EXPECT_EQ(after.seq, before.seq);
    EXPECT_EQ(after.crtc, before.crtc);
    EXPECT_EQ(after.gfx, before.gfx);
    EXPECT_EQ(after.attr, before.attr);
    EXPECT_EQ(after.dac, before.dac);
    EXPECT_EQ(after.mask, before.mask);
    EXPECT_EQ(after.planes, before.planes);
}

TEST_F(HwState, VdmStateRoundTripsWithItsTrappedTable) {
    ASSERT_EQ(request(IOCTL_VIDEO_ENABLE_VDM, nullptr, 0, nullptr, 0).Status, 0u);
    ext()->VdmState[700] = 0x77;
    ASSERT_EQ(request(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &state, sizeof state).Status, 0u);
    EXPECT_EQ(header()->VGAStateFlags, 0x7u);
    EXPECT_EQ(header()->ExtendedValidatorStateOffset, 999u);
    ext()->VdmState[700] = 0;
    ASSERT_EQ(request(IOCTL_VIDEO_RESTORE_HARDWARE_STATE, &state, sizeof state, nullptr, 0).Status, 0u);
    EXPECT_EQ(ext()->VdmState[700], 0x77);
    EXPECT_EQ(ext()->TrappedRangeCount, 4u);

    // A trapped table the miniport does not know is refused before any register moves.
    buffer[999] = 3;
    chip().clearWriteLog();
    EXPECT_EQ(request(IOCTL_VIDEO_RESTORE_HARDWARE_STATE, &state, sizeof state, nullptr, 0).Status, 87u);
    EXPECT_TRUE(chip().writeLog().empty());
}

TEST_F(HwState, SizesAndHeaderOffsetsAreChecked) {
    struct Case { const char *what; std::function<void(HwState &)> change; ULONG code; ULONG status; };
    const Case cases[] = {
        {"save output below 8 bytes", [](HwState &) {}, IOCTL_VIDEO_SAVE_HARDWARE_STATE, 122},
        {"save into a short buffer", [](HwState &t) { t.state.StateLength = ZK_HARDWARE_STATE_SIZE - 1; },
         IOCTL_VIDEO_SAVE_HARDWARE_STATE, 122},
        {"restore of 264,358 bytes", [](HwState &t) { t.state.StateLength = ZK_HARDWARE_STATE_SIZE - 1; },
         IOCTL_VIDEO_RESTORE_HARDWARE_STATE, 122},
        {"plane beyond the state", [](HwState &t) { t.header()->Plane4Offset = 198824; },
         IOCTL_VIDEO_RESTORE_HARDWARE_STATE, 87},
        {"DAC offset that wraps", [](HwState &t) { t.header()->BasicDacOffset = 0xFFFFFF00u; },
         IOCTL_VIDEO_RESTORE_HARDWARE_STATE, 87},
        {"DIB size that overflows 32 bits", [](HwState &t) {
             t.header()->DIBBitsPerPixel = 32; t.header()->DIBXResolution = 0x10000; t.header()->DIBYResolution = 0x10000; },
         IOCTL_VIDEO_RESTORE_HARDWARE_STATE, 87},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        state.StateLength = ZK_HARDWARE_STATE_SIZE;
        ASSERT_EQ(request(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &state, sizeof state).Status, 0u);
        c.change(*this);
        const bool save = c.code == IOCTL_VIDEO_SAVE_HARDWARE_STATE;
        const ULONG size = (save && c.status == 122 && state.StateLength == ZK_HARDWARE_STATE_SIZE) ? 7 : sizeof state;
        chip().clearWriteLog();
        STATUS_BLOCK sb = save ? request(c.code, nullptr, 0, &state, size) : request(c.code, &state, size, nullptr, 0);
        EXPECT_EQ(sb.Status, c.status);
        if (!save) {
            EXPECT_TRUE(chip().writeLog().empty());
        }
    }
}

}  // namespace
