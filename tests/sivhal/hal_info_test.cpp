// The HAL's description of the card after a mode set (sivd16 calls entry 4), and the
// driver-information query.
#include "tests/sivhal/hal_fixture.h"

#include <cstring>

namespace {

class HalInfo : public HalMachine {
protected:
    DDHALINFO info{};

    void SetUp() override {
        HalMachine::SetUp();
        ASSERT_TRUE(Attach());
    }
    // A fresh machine: another card or other sivd16 options.
    void Restart(const SivCardConfig &card, const Sivd16Options &options) {
        while (attached > 0)
            Detach();
        kivSivd16Stop();
        StartMachine(card, options);
        ASSERT_TRUE(Attach());
    }
    bool SetMode(uint16_t w, uint16_t h, uint8_t bits, bool rgb565 = false, uint32_t clock = 10000) {
        Sivd16Mode m = {w, h, bits, rgb565, clock};
        if (!kivSivd16SetMode(&m))
            return false;
        EXPECT_TRUE(kivSivd16FlatHalInfo(&info));
        EXPECT_EQ(kivSelectorFixes(), 0);   // every 16:16 mapping was undone
        return true;
    }
    DWORD FrameBuffer() { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(chip->videoMemory)); }
};

struct PixelCase {
    uint16_t width, height;
    uint8_t bits;
    bool rgb565;
    DWORD pixelFormat, pfFlags, r, g, b;                  // display format
    DWORD modeBpp, modeFlags, mr, mg, mb, malpha;         // mode list entry
    DWORD ckeyCaps;
};

TEST_F(HalInfo, DisplayFormatAndModeListPerDepth) {
    const PixelCase cases[] = {
        {640, 480, 8, false, 1, 0x60, 0, 0, 0, 8, 1, 0, 0, 0, 0, 0x200},
        {800, 600, 16, false, 2, 0x40, 0x7C00, 0x03E0, 0x001F, 16, 0, 0x7C00, 0x03E0, 0x001F, 0x8000, 0x200},
        // 5-6-5: the display format says so, the mode list keeps sivd16's 5-5-5 description.
        {1024, 768, 16, true, 4, 0x40, 0xF800, 0x07E0, 0x001F, 16, 0, 0x7C00, 0x03E0, 0x001F, 0x8000, 0x200},
        {800, 600, 24, false, 5, 0x40, 0xFF0000, 0xFF00, 0xFF, 24, 0, 0xFF0000, 0xFF00, 0xFF, 0, 0},
        {640, 480, 32, false, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x200},   // a depth it does not know
    };
    for (const PixelCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << int(c.bits));
        ASSERT_TRUE(SetMode(c.width, c.height, c.bits, c.rgb565));
        const DWORD pitch = c.width * (c.bits / 8);
        EXPECT_EQ(Block()->pixelFormat(), c.pixelFormat);
        const DDPIXELFORMAT &pf = info.vmiData.ddpfDisplay;
        EXPECT_EQ(pf.dwSize, 32u);
        EXPECT_EQ(pf.dwRGBBitCount, c.bits);
        EXPECT_EQ(pf.dwFlags, c.pfFlags);
        EXPECT_EQ(pf.dwRBitMask, c.r);
        EXPECT_EQ(pf.dwGBitMask, c.g);
        EXPECT_EQ(pf.dwBBitMask, c.b);
        EXPECT_EQ(pf.dwRGBAlphaBitMask, 0u);
        EXPECT_EQ(info.vmiData.fpPrimary, FrameBuffer());
        EXPECT_EQ(info.vmiData.dwDisplayWidth, c.width);
        EXPECT_EQ(info.vmiData.dwDisplayHeight, c.height);
        EXPECT_EQ(info.vmiData.lDisplayPitch, static_cast<LONG>(pitch));
        const DDHALMODEINFO &m = info.lpModeInfo[0];
        EXPECT_EQ(m.dwWidth, c.width);
        EXPECT_EQ(m.dwHeight, c.height);
        EXPECT_EQ(m.lPitch, static_cast<LONG>(pitch));
        EXPECT_EQ(m.dwBPP, c.modeBpp);
        EXPECT_EQ(m.wFlags, c.modeFlags);
        EXPECT_EQ(m.wRefreshRate, 0);
        EXPECT_EQ(m.dwRBitMask, c.mr);
        EXPECT_EQ(m.dwGBitMask, c.mg);
        EXPECT_EQ(m.dwBBitMask, c.mb);
        EXPECT_EQ(m.dwAlphaBitMask, c.malpha);
        EXPECT_EQ(info.ddCaps.dwCKeyCaps & 0x200, c.ckeyCaps);
        EXPECT_EQ(info.ddCaps.dwAlignSizeSrc, c.bits / 8u);
        EXPECT_EQ(info.ddCaps.dwAlignSizeDest, c.bits / 8u);
    }
}

TEST_F(HalInfo, CapabilitiesCallbacksAndStateOfEveryModeSet) {
    Block()->flipDone() = 0;
    Block()->flipTime() = 77;
    Block()->flipSawActive() = 1;
    Block()->flipSawRetrace() = 1;
    Block()->flipFromAddress() = 0x1000;
    Block()->forceTexClip() = 1;
    ASSERT_TRUE(SetMode(800, 600, 16));
    const DDCORECAPS &caps = info.ddCaps;
    EXPECT_EQ(caps.dwCaps & ~0x7800u, 0x14400441u);
    EXPECT_EQ(caps.dwCaps2, 0u);
    EXPECT_EQ(caps.dwAlignBoundarySrc, 1u);
    EXPECT_EQ(caps.dwAlignBoundaryDest, 1u);
    EXPECT_EQ(caps.dwAlignStrideAlign, 8u);
    const DWORD rops[8] = {1, 0, 0, 0, 0, 0, 0x1000, 0x80000000};
    EXPECT_EQ(std::memcmp(caps.dwRops, rops, sizeof rops), 0);
    EXPECT_EQ(caps.ddsCaps.dwCaps & ~0x80u, 0x42327Eu);
    EXPECT_EQ(info.vmiData.dwOffscreenAlign, 8u);
    EXPECT_EQ(info.vmiData.dwOverlayAlign, 8u);
    EXPECT_EQ(info.vmiData.dwTextureAlign, 8u);
    EXPECT_EQ(info.vmiData.dwZBufferAlign, 8u);

    EXPECT_EQ(info.lpDDCallbacks->dwFlags, 0x36u);
    EXPECT_EQ(info.lpDDCallbacks->CreateSurface, &CreateSurface);
    EXPECT_EQ(info.lpDDCallbacks->SetColorKey, &SetColorKey);
    EXPECT_EQ(info.lpDDCallbacks->WaitForVerticalBlank, &WaitForVerticalBlank);
    EXPECT_EQ(info.lpDDCallbacks->CanCreateSurface, &CanCreateSurface);
    EXPECT_EQ(info.lpDDCallbacks->DestroyDriver, nullptr);
    const DDHAL_DDSURFACECALLBACKS &s = *info.lpDDSurfaceCallbacks;
    EXPECT_EQ(s.dwFlags & ~0xC00u, 0x3ABu);
    EXPECT_EQ(s.DestroySurface, &DestroySurface);
    EXPECT_EQ(s.Flip, &Flip);
    EXPECT_EQ(s.Lock, &Lock);
    EXPECT_EQ(s.Blt, &Blt);
    EXPECT_EQ(s.AddAttachedSurface, &AddAttachedSurface);
    EXPECT_EQ(s.GetBltStatus, &GetBltStatus);
    EXPECT_EQ(s.GetFlipStatus, &GetFlipStatus);
    EXPECT_EQ(info.GetDriverInfo, &GetDriverInfo);
    EXPECT_EQ(info.dwFlags & DDHALINFO_GETDRIVERINFOSET, DDHALINFO_GETDRIVERINFOSET);

    // Frame period at 70 Hz: 14 ms + 2; the flip state starts over.
    EXPECT_EQ(Block()->framePeriod(), 16u);
    EXPECT_EQ(Block()->flipDone(), 1u);
    EXPECT_EQ(Block()->flipTime(), 0u);
    EXPECT_EQ(Block()->flipSawActive(), 0u);
    EXPECT_EQ(Block()->flipSawRetrace(), 0u);
    EXPECT_EQ(Block()->flipFromAddress(), 0u);
    EXPECT_EQ(Block()->forceTexClip(), 0u);
    float limit = Block()->texCoordLimit();
    DWORD bits;
    std::memcpy(&bits, &limit, 4);
    EXPECT_EQ(bits, 0x44FFFFAEu);
    // The driver's own Direct3D context holds the engine.
    EXPECT_NE(Shared().ownContextHandle, 0u);
    EXPECT_EQ(Block()->currentContext(), Shared().ownContextHandle);
    // Direct3D's driver data and callbacks are handed out (their contents: tests/sivhal_d3d).
    EXPECT_EQ(sivd16->buildResult, 1);
    EXPECT_NE(info.lpD3DGlobalDriverData, 0u);
    EXPECT_NE(info.lpD3DHALCallbacks, 0u);
}

TEST_F(HalInfo, FramePeriodFollowsTheRefreshRate) {
    struct Case {
        uint32_t hz;
        DWORD period;
    } cases[] = {{70, 16}, {60, 18}, {85, 13}, {100, 12}};
    for (const Case &c : cases) {
        Restart(SivCardConfig{0, c.hz, 0}, Sivd16Options{});
        ASSERT_TRUE(SetMode(640, 480, 8));
        EXPECT_EQ(Block()->framePeriod(), c.period) << c.hz;
    }
}

// The off-screen area lies below the screen up to the end of video memory. Its first dword is
// the white texel; DirectDraw's heap follows it and ends where the area ends.
TEST_F(HalInfo, OffscreenHeapAndWhiteTexelPerMemorySize) {
    struct Case {
        uint32_t memory;
        uint16_t width, height;
        uint8_t bits;
        bool heap;
    } cases[] = {
        {4u << 20, 640, 480, 8, true},
        {4u << 20, 1024, 768, 16, true},
        {8u << 20, 1024, 768, 24, true},
        {1u << 20, 800, 600, 16, true},    // 55 lines left
        {1u << 20, 1024, 512, 16, false},  // the screen fills video memory
        {2u << 20, 1024, 1024, 16, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.memory >> 20) << " MB " << c.width << "x" << c.height << "x" << int(c.bits));
        Restart(SivCardConfig{c.memory, 0, 0}, Sivd16Options{});
        std::memset(chip->videoMemory, 0x11, c.memory);
        ASSERT_TRUE(SetMode(c.width, c.height, c.bits));
        const DWORD pitch = c.width * (c.bits / 8), fb = FrameBuffer();
        const DWORD white = c.height * pitch;
        if (c.heap) {
            EXPECT_EQ(Block()->whiteTexelOffset(), white);
            EXPECT_EQ(LoadField<uint32_t>(chip->videoMemory + white), 0xFFFFFFFFu);
            EXPECT_EQ(chip->videoMemory[white + 4], 0x11);
            ASSERT_EQ(info.vmiData.dwNumHeaps, 1u);
            EXPECT_EQ(info.vmiData.pvmList[0].dwFlags, VIDMEM_ISLINEAR);
            EXPECT_EQ(info.vmiData.pvmList[0].fpStart, fb + white + 8);
            EXPECT_EQ(info.vmiData.pvmList[0].fpEnd, fb + (c.memory / pitch) * pitch - 1);
            EXPECT_LT(info.vmiData.pvmList[0].fpEnd, fb + c.memory);
        } else {
            EXPECT_EQ(info.vmiData.dwNumHeaps, 0u);
            EXPECT_EQ(Block()->whiteTexelOffset(), 0u);
            for (DWORD i = 0; i < c.memory; i += 4)
                ASSERT_EQ(LoadField<uint32_t>(chip->videoMemory + i), 0x11111111u) << i;
        }
    }
}

TEST_F(HalInfo, MissingListsAreSkipped) {
    sivd16->passHeaps = false;
    sivd16->passModeInfo = false;
    ASSERT_TRUE(SetMode(640, 480, 16));
    EXPECT_EQ(info.vmiData.dwNumHeaps, 0u);
    EXPECT_EQ(info.lpModeInfo, nullptr);
    EXPECT_EQ(LoadField<uint32_t>(chip->videoMemory + 480 * 1280), 0xFFFFFFFFu);   // the texel is still set
    EXPECT_EQ(info.vmiData.dwDisplayWidth, 640u);
}

TEST_F(HalInfo, OverlayIsAnnouncedWhenTheModeLeavesBandwidth) {
    struct Case {
        uint8_t bits;
        uint32_t clock;
        uint16_t board;
        uint8_t hwOptions;
        bool overlay;
    } cases[] = {
        {8, 12800, 0, 0, true},   {8, 12801, 0, 0, false}, {16, 11000, 0, 0, true},
        {16, 11001, 0, 0, false}, {24, 10500, 0, 0, true}, {24, 10501, 0, 0, false},
        {32, 10500, 0, 0, true},  {16, 8000, 2363, 0, false}, {16, 8000, 0, 0x10, false},
        {16, 8000, 2362, 0xEF, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.bits) << " bits, clock " << c.clock << ", board " << c.board);
        Restart(SivCardConfig{8u << 20, 0, 0}, Sivd16Options{c.board, c.hwOptions, 0});
        ASSERT_TRUE(SetMode(640, 480, c.bits, false, c.clock));
        const DDCORECAPS &caps = info.ddCaps;
        EXPECT_EQ((caps.dwCaps & 0x7800) != 0, c.overlay);
        EXPECT_EQ((Block()->driverFlags() & 0x2) != 0, c.overlay);
        EXPECT_EQ((info.lpDDSurfaceCallbacks->dwFlags & 0xC00) != 0, c.overlay);
        if (!c.overlay) {
            EXPECT_EQ(caps.dwNumFourCCCodes, 0u);
            EXPECT_EQ(caps.dwMaxVisibleOverlays, 0u);
            continue;
        }
        EXPECT_EQ(caps.dwCaps & 0x7800, 0x7800u);
        EXPECT_EQ(caps.dwFXCaps, 0x2800000u);
        EXPECT_EQ(caps.dwMaxVisibleOverlays, 1u);
        EXPECT_EQ(caps.dwCKeyCaps & 0x3A1D0, 0x3A1D0u);
        EXPECT_EQ(caps.ddsCaps.dwCaps & 0x80, 0x80u);
        EXPECT_EQ(caps.dwMinOverlayStretch, 1000u);
        EXPECT_EQ(caps.dwMinLiveVideoStretch, 1000u);
        EXPECT_EQ(caps.dwMinHwCodecStretch, 1000u);
        EXPECT_EQ(caps.dwMaxOverlayStretch, 9999u);
        EXPECT_EQ(caps.dwMaxLiveVideoStretch, 9999u);
        EXPECT_EQ(caps.dwMaxHwCodecStretch, 9999u);
        ASSERT_EQ(caps.dwNumFourCCCodes, 2u);
        EXPECT_EQ(info.lpdwFourCC[0], KIV_FOURCC('Y', 'U', 'Y', '2'));
        EXPECT_EQ(info.lpdwFourCC[1], KIV_FOURCC('Y', '2', '1', '1'));
        EXPECT_EQ(info.lpDDSurfaceCallbacks->UpdateOverlay, &UpdateOverlay);
        EXPECT_EQ(info.lpDDSurfaceCallbacks->SetOverlayPosition, &SetOverlayPosition);
    }
}

TEST(OverlayStretch, AnnouncedMinimumIsKeptBetween1000And9999) {
    const DWORD cases[][2] = {{0, 1000}, {800, 1000}, {1000, 1000}, {5000, 5000}, {9999, 9999}, {12000, 9999}};
    for (const auto &c : cases)
        EXPECT_EQ(ClampOverlayStretch(c[0]), c[1]) << c[0];
    EXPECT_EQ(BitsPerPixelOfFormat(2), 16u);
    EXPECT_EQ(BitsPerPixelOfFormat(4), 16u);
    EXPECT_EQ(BitsPerPixelOfFormat(7), 16u);
    EXPECT_EQ(BitsPerPixelOfFormat(5), 24u);
    EXPECT_EQ(BitsPerPixelOfFormat(6), 32u);
    EXPECT_EQ(BitsPerPixelOfFormat(1), 8u);
    EXPECT_EQ(BitsPerPixelOfFormat(0), 8u);
}

TEST(GetDriverInfoQuery, HandsOutTheTablesItKnows) {
    struct Case {
        GUID guid;
        DWORD expected;
        HRESULT result;
        DWORD actual, copied;
    } cases[] = {
        {GUID_D3DCallbacks2, 28, DD_OK, 28, 28},
        {GUID_D3DCallbacks2, 16, DD_OK, 28, 16},
        {GUID_D3DCallbacks2, 64, DD_OK, 28, 28},
        {GUID_MiscellaneousCallbacks, 24, DD_OK, 24, 24},
        {GUID_MiscellaneousCallbacks, 8, DD_OK, 24, 8},
        {GUID{1, 2, 3, {4}}, 28, DDERR_CURRENTLYNOTAVAIL, 0, 0},
    };
    for (const Case &c : cases) {
        BYTE buffer[64];
        std::memset(buffer, 0xEE, sizeof buffer);
        DDHAL_GETDRIVERINFODATA q = {};
        q.dwSize = sizeof q;
        q.guidInfo = c.guid;
        q.dwExpectedSize = c.expected;
        q.lpvData = buffer;
        EXPECT_EQ(GetDriverInfo(&q), DDHAL_DRIVER_HANDLED);
        EXPECT_EQ(q.ddRVal, c.result);
        EXPECT_EQ(q.dwActualSize, c.actual);
        for (DWORD i = c.copied; i < sizeof buffer; i++)
            ASSERT_EQ(buffer[i], 0xEE) << "byte " << i << " of " << c.expected;
        if (!c.copied)
            continue;
        EXPECT_EQ(LoadField<uint32_t>(buffer), c.copied);   // dwSize says what was copied
        if (c.guid == GUID_D3DCallbacks2) {
            D3DHAL_CALLBACKS2 cb;
            std::memset(&cb, 0, sizeof cb);
            std::memcpy(&cb, buffer, c.copied);
            EXPECT_EQ(cb.dwFlags, 0x1Du);
            EXPECT_EQ(cb.SetRenderTarget, &SetRenderTarget);
            EXPECT_EQ(cb.Clear, nullptr);
            if (c.copied == 28) {
                EXPECT_EQ(cb.DrawOnePrimitive, &DrawOnePrimitive);
                EXPECT_EQ(cb.DrawOneIndexedPrimitive, &DrawOneIndexedPrimitive);
                EXPECT_EQ(cb.DrawPrimitives, &DrawPrimitives);
            }
        } else {
            for (DWORD i = 4; i < c.copied; i++)
                EXPECT_EQ(buffer[i], 0);
        }
    }
}

}  // namespace
