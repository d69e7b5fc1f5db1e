// Service requests from sivd16 (entry 2): display description, options, counters, colour
// controls, statistics.
#include "tests/sivhal/hal_fixture.h"

#include <cstring>

namespace {

constexpr DWORD kWords = 271;

class ServiceRequests : public HalMachine {
protected:
    DWORD request[2 + kWords + 1];   // header, payload, canary

    void SetUp() override {
        HalMachine::SetUp();
        ASSERT_TRUE(Attach());
        Sivd16Mode m = {800, 600, 16, true, 9000};
        ASSERT_TRUE(kivSivd16SetMode(&m));
    }
    DWORD Send(DWORD code, std::initializer_list<DWORD> words = {}) {
        std::memset(request, 0xCD, sizeof request);
        request[0] = 0;
        request[1] = code;
        DWORD i = 2;
        for (DWORD w : words)
            request[i++] = w;
        return kivSivd16ServiceRequest(request);
    }
    DWORD W(DWORD n) const { return request[2 + n]; }
    void Crtc(uint8_t index, uint8_t value) { chip->crtc[index] = value; }
};

TEST_F(ServiceRequests, UnknownAndReservedCodesAreNotHandled) {
    for (DWORD code : {0u, 0xEDD00000u, 0xEDD00008u, 0xEDD0000Au, 0x12345678u}) {
        EXPECT_EQ(Send(code), 0u) << std::hex << code;
        EXPECT_EQ(W(0), 0xCDCDCDCDu);
    }
    EXPECT_EQ(HandleServiceRequest(Block(), nullptr), 0u);
}

TEST_F(ServiceRequests, WithoutABlockOnlyTheOptionQueriesClearTheirWords) {
    for (DWORD code : {0xEDD00002u, 0xEDD00003u, 0xEDD00005u}) {
        std::memset(request, 0xCD, sizeof request);
        request[1] = code;
        EXPECT_EQ(HandleServiceRequest(nullptr, reinterpret_cast<BYTE *>(request)), 0u);
        bool clears = code != 0xEDD00005u;
        EXPECT_EQ(W(0), clears ? 0u : 0xCDCDCDCDu);
        EXPECT_EQ(W(1), clears ? 0u : 0xCDCDCDCDu);
    }
}

TEST_F(ServiceRequests, OptionsMapToDriverFlags) {
    EXPECT_EQ(Send(0xEDD00002), 1u);
    EXPECT_EQ(W(0), 0xFF037Eu);
    EXPECT_EQ(W(1), 0u);
    struct Case {
        DWORD flagsBefore, written, flagsAfter, readBack;
    } cases[] = {
        {0x1C, 0x0A, 0x06, 0x0A},           // overlay with filter 1 only
        {0x00, 0x3E, 0x3E, 0x3E},           // overlay, all three filters, alternative FIFO
        {0x1E, 0x08, 0x00, 0x00},           // overlay off clears the filters whatever is asked
        {0x01, 0x340, 0xC81, 0x341},        // 0x01 is read only; off-screen refusal, colour controls
        {0x2000, 0xFF0000, 0xFF2000, 0xFF0000},
        {0xFF0C80, 0x0, 0x0, 0x0},
    };
    for (const Case &c : cases) {
        Block()->driverFlags() = c.flagsBefore;
        EXPECT_EQ(Send(0xEDD00004, {c.written}), 1u);
        EXPECT_EQ(Block()->driverFlags(), c.flagsAfter) << std::hex << c.written;
        EXPECT_EQ(Send(0xEDD00003), 1u);
        EXPECT_EQ(W(0), c.readBack) << std::hex << c.written;
        EXPECT_EQ(W(1), 0u);
    }
}

TEST_F(ServiceRequests, CountersColourControlsAndStatistics) {
    Block()->primaryCount() = 1;
    Block()->offscreenCount() = 2;
    Block()->overlayCount() = 3;
    EXPECT_EQ(Send(0xEDD00005), 1u);
    EXPECT_EQ(W(0), 1u);
    EXPECT_EQ(W(1), 2u);
    EXPECT_EQ(W(2), 3u);
    EXPECT_EQ(W(3), 0xCDCDCDCDu);

    EXPECT_EQ(Send(0xEDD00007, {12000, 5000, 0xFFFFFFFF, 9999}), 1u);
    EXPECT_EQ(Block()->brightness(), 9999u);
    EXPECT_EQ(Block()->contrast(), 5000u);
    EXPECT_EQ(Block()->saturation(), 9999u);
    EXPECT_EQ(Block()->hue(), 9999u);
    struct Case {
        DWORD overlays, flags, active;
    } colour[] = {{3, 0x1000, 1}, {0, 0x1000, 0}, {3, 0x2000, 0}};
    for (const Case &c : colour) {
        Block()->overlayCount() = c.overlays;
        Block()->driverFlags() = c.flags;
        EXPECT_EQ(Send(0xEDD00006), 1u);
        EXPECT_EQ(W(0), 9999u);
        EXPECT_EQ(W(1), 5000u);
        EXPECT_EQ(W(4), c.active);
    }

    Block()->externalCounter() = 41;
    Block()->flipCount() = 5;
    Block()->lockCount() = 6;
    Block()->bltCount() = 7;
    Block()->driverFlags() = 0x2000;
    EXPECT_EQ(Send(0xEDD00009), 1u);
    const DWORD expected[] = {1, 0, 41, 5, 6, 7};
    for (DWORD n = 0; n < 6; n++)
        EXPECT_EQ(W(n), expected[n]) << n;
    EXPECT_EQ(Send(0xEDD00009), 1u);
    const DWORD reset[] = {1, 0, 41, 0, 0, 0};
    for (DWORD n = 0; n < 6; n++)
        EXPECT_EQ(W(n), reset[n]) << n;
}

// The display as request 0xEDD00001 describes it, with the streams processor off (CRTC start
// address, 8-bit DAC values) and on (streams shadows).
TEST_F(ServiceRequests, DescribeTheDisplay) {
    for (int i = 0; i < 256; i++) {
        kivOutPort8(0x3C8, static_cast<uint8_t>(i));
        kivOutPort8(0x3C9, i & 0x3F);
        kivOutPort8(0x3C9, (i >> 2) & 0x3F);
        kivOutPort8(0x3C9, 63 - (i & 0x3F));
    }
    const DWORD fb = static_cast<DWORD>(reinterpret_cast<uintptr_t>(chip->videoMemory));
    struct Start {
        uint8_t r0C, r0D, r31, r51, r69;
        DWORD units;
    } starts[] = {
        {0x12, 0x34, 0x20, 0x03, 0x00, 0x0E1234},   // ((3 << 2) | 2) << 16
        {0x12, 0x34, 0xF0, 0x00, 0x02, 0x021234},   // register 0x69 wins
        {0x00, 0x00, 0x00, 0x00, 0x00, 0},
    };
    for (const Start &s : starts) {
        Crtc(0x67, 0x00);
        Crtc(0x0C, s.r0C);
        Crtc(0x0D, s.r0D);
        Crtc(0x31, s.r31);
        Crtc(0x51, s.r51);
        Crtc(0x69, s.r69);
        kivOutPort8(0x3D4, 0x11);
        EXPECT_EQ(Send(0xEDD00001), 1u);
        EXPECT_EQ(kivInPort8(0x3D4), 0x11);   // the CRTC index is left as it was
        EXPECT_EQ(W(0), 0x040A00C0u);
        EXPECT_EQ(W(1), static_cast<DWORD>(reinterpret_cast<uintptr_t>(sivd16->driverBlock + 0xE010)));
        EXPECT_EQ(W(2), fb);
        EXPECT_EQ(W(3), fb + 4 * s.units);
        const DWORD mode[] = {800, 1600, 600, 16, 4};
        for (DWORD n = 0; n < 5; n++)
            EXPECT_EQ(W(4 + n), mode[n]) << n;
        for (DWORD n = 9; n <= 14; n++)
            EXPECT_EQ(W(n), 0u) << n;
    }
    for (DWORD i = 0; i < 256; i++) {
        DWORD r = (i & 0x3F) * 4, g = ((i >> 2) & 0x3F) * 4, b = (63 - (i & 0x3F)) * 4;
        ASSERT_EQ(W(15 + i), r << 16 | g << 8 | b) << i;
    }
    EXPECT_EQ(request[2 + kWords], 0xCDCDCDCDu);   // nothing past word 270

    // Streams processor on: addresses from the shadows; the overlay is described unless the
    // compose mode hides it (1).
    Crtc(0x67, 0x0C);
    Block()->word(kShadow81C0) = 0x1000;
    Block()->word(kShadow81D0) = 0x200000;
    Block()->word(kShadow8198) = 0x1234013F;
    Block()->word(kShadow81D8) = 0x12340280;
    Block()->word(kShadow81E0) = 0xF8EF;
    struct Overlay {
        DWORD compose, format, bits, code;
    } overlays[] = {
        {5, 1, 16, 1}, {6, 2, 16, 2}, {0, 3, 16, 5}, {5, 5, 16, 4}, {5, 6, 24, 6}, {5, 7, 32, 7},
        {5, 0, 0, 0}, {5, 4, 0, 0}, {1, 7, 0, 0},
    };
    for (const Overlay &o : overlays) {
        SCOPED_TRACE(testing::Message() << "compose " << o.compose << " format " << o.format);
        Block()->word(kShadow81A0) = 0xF8FFFFFFu | o.compose << 24;   // only bits 24-26 count
        Block()->word(kShadow8190) = 0xF0000FFFu | o.format << 24;
        EXPECT_EQ(Send(0xEDD00001), 1u);
        EXPECT_EQ(W(3), fb + 0x1000);
        if (o.compose == 1) {
            for (DWORD n = 9; n <= 14; n++)
                EXPECT_EQ(W(n), 0u) << n;
            continue;
        }
        EXPECT_EQ(W(9), fb + 0x200000);
        EXPECT_EQ(W(10), 0x140u);
        EXPECT_EQ(W(11), 0x0280u);
        EXPECT_EQ(W(12), 0xF0u);
        EXPECT_EQ(W(13), o.bits);
        EXPECT_EQ(W(14), o.code);
    }
}

}  // namespace
