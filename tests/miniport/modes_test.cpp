// The mode table, its validation and the three mode queries.
#include "tests/miniport/fixture.h"

namespace {
struct Mode { uint32_t w, h, bpp; };
bool offered(uint32_t w, uint32_t h, uint32_t bpp) {
    for (const ZK_MODE_ENTRY &r : g_zkModeTable)
        if (r.Valid && r.Width == w && r.Height == h && r.BitsPerPixel == bpp) return true;
    return false;
}
}  // namespace

TEST_F(MiniportTest, RowsFollowBlockRunAndSlot) {
    struct Row { uint32_t index, w, h, bpp, refresh, clock, hpol, vpol; };
    const Row rows[] = {
        {0, 640, 480, 8, 60, 25175000, 0, 0},    {8, 640, 480, 16, 70, 25175000, 0, 0},
        {15, 640, 480, 32, 60, 25175000, 0, 0},  {21 + 20, 320, 240, 32, 120, 12588000, 0, 0},
        {42, 320, 400, 8, 70, 12588000, 0, 0},   {126, 640, 400, 8, 70, 25175000, 1, 0},
        {147, 320, 200, 8, 70, 12588000, 1, 0},  {217, 1024, 768, 16, 60, 65000000, 1, 1},
        {251, 1152, 864, 32, 100, 121500000, 1, 1}, {258, 1280, 1024, 8, 100, 157500000, 1, 1},
        {260, 1280, 1024, 32, 70, 108000000, 1, 1}, {270, 1280, 1024, 32, 75, 135000000, 1, 1},
        {272, 1280, 1024, 32, 75, 135000000, 1, 1}, {279, 1600, 1200, 8, 85, 162000000, 1, 1},
        {288, 1600, 1200, 32, 60, 162000000, 1, 1}, {301, 1800, 1440, 16, 60, 162000000, 1, 1},
        {335, 1920, 1080, 32, 60, 162000000, 1, 1}, {340, 1920, 1200, 8, 75, 162000000, 1, 1},
        {356, 1920, 1200, 32, 60, 162000000, 1, 1},
    };
    const ZK_MODE_ENTRY *t = ZkMasterModeTable();
    for (const Row &r : rows) {
        SCOPED_TRACE(r.index);
        EXPECT_EQ(t[r.index].Width, r.w);
        EXPECT_EQ(t[r.index].Height, r.h);
        EXPECT_EQ(t[r.index].BitsPerPixel, r.bpp);
        EXPECT_EQ(t[r.index].Refresh, r.refresh);
        EXPECT_EQ(t[r.index].PixelClock, r.clock);
        EXPECT_EQ(t[r.index].HPolarity, r.hpol);
        EXPECT_EQ(t[r.index].VPolarity, r.vpol);
        EXPECT_EQ(t[r.index].Valid, 0u);
    }
    // 640x480 at 72 Hz: 31.15 MHz, 24/40/128, 9/3/28.
    EXPECT_EQ(t[2].HFrontPorch, 24u);
    EXPECT_EQ(t[2].HSync, 40u);
    EXPECT_EQ(t[2].HBackPorch, 128u);
    EXPECT_EQ(t[2].VBackPorch, 28u);
}

TEST_F(MiniportTest, ValidationAgainstTwoMegabytes) {
    config.strapOverride = 1;   // ZK3: 2 MB
    ASSERT_TRUE(boot());
    EXPECT_EQ(ext()->UsableMemory, 0x1F0000u);
    EXPECT_TRUE(offered(1024, 768, 16));
    EXPECT_FALSE(offered(1024, 768, 32));
    for (const ZK_MODE_ENTRY &r : g_zkModeTable) EXPECT_FALSE(r.Valid && r.Width > 1600);
}

TEST_F(MiniportTest, ValidationAgainstEightMegabytes) {
    ASSERT_TRUE(boot());
    EXPECT_TRUE(offered(1600, 1200, 32));
    EXPECT_TRUE(offered(1800, 1440, 16));
    EXPECT_FALSE(offered(1800, 1440, 8));
    EXPECT_FALSE(offered(1800, 1440, 32));
    EXPECT_FALSE(offered(320, 400, 8));
    EXPECT_TRUE(offered(640, 400, 8));
    EXPECT_TRUE(offered(320, 200, 16));
    EXPECT_FALSE(offered(960, 720, 8));
    EXPECT_FALSE(offered(1920, 1080, 32));
    EXPECT_TRUE(offered(1920, 1080, 16));
    EXPECT_FALSE(offered(1920, 1200, 32));
    // Double-scanned heights stop at 75 Hz.
    for (const ZK_MODE_ENTRY &r : g_zkModeTable)
        if (r.Height == 240 || r.Height == 200 || r.Height == 384) {
            EXPECT_FALSE(r.Valid && r.Refresh > 75);
        }
    uint32_t count = 0;
    for (const ZK_MODE_ENTRY &r : g_zkModeTable) count += r.Valid;
    EXPECT_EQ(ext()->ValidModeCount, count);
}

TEST_F(MiniportTest, ScaledOutputKeepsOnlyFourHundredEightyLines) {
    config.scaledOutput = true;
    ASSERT_TRUE(boot());
    uint32_t count = 0;
    for (const ZK_MODE_ENTRY &r : g_zkModeTable) {
        if (r.Valid) {
            EXPECT_EQ(r.Height, 480u);
        }
        count += r.Valid;
    }
    EXPECT_EQ(ext()->ValidModeCount, count);
    EXPECT_EQ(count, 21u);
}

TEST_F(MiniportTest, QueriesAnswerWithModeRecords) {
    ASSERT_TRUE(boot());
    VIDEO_NUM_MODES n{};
    STATUS_BLOCK sb = request(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &n, 7);
    EXPECT_EQ(sb.Status, ULONG(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(sb.Information, 8u);
    sb = request(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &n, sizeof n);
    ASSERT_EQ(sb.Status, 0u);
    EXPECT_EQ(n.NumModes, ext()->ValidModeCount);
    EXPECT_EQ(n.ModeInformationLength, 80u);

    const ULONG need = n.NumModes * 80;
    std::vector<VIDEO_MODE_INFORMATION> modes(n.NumModes);
    sb = request(IOCTL_VIDEO_QUERY_AVAIL_MODES, nullptr, 0, modes.data(), need - 1);
    EXPECT_EQ(sb.Status, ULONG(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(sb.Information, need);
    sb = request(IOCTL_VIDEO_QUERY_AVAIL_MODES, nullptr, 0, modes.data(), need);
    ASSERT_EQ(sb.Status, 0u);
    EXPECT_EQ(sb.Information, need);

    const VIDEO_MODE_INFORMATION &m8 = modes[0];   // row 0: 640x480x8 at 60
    EXPECT_EQ(m8.Length, 80u);
    EXPECT_EQ(m8.ModeIndex, 0u);
    EXPECT_EQ(m8.ScreenStride, 640u);
    EXPECT_EQ(m8.AttributeFlags, 15u);
    EXPECT_EQ(m8.RedMask, 0u);
    EXPECT_EQ(m8.Frequency, 60u);
    EXPECT_EQ(m8.XMillimeter, 320u);
    EXPECT_EQ(m8.NumberGreenBits, 8u);
    EXPECT_EQ(m8.VideoMemoryBitmapWidth, 640u);
    EXPECT_EQ(m8.VideoMemoryBitmapHeight, ext()->UsableMemory / 640);
    EXPECT_EQ(m8.DriverSpecificAttributeFlags, 0u);
    bool saw16 = false, saw32 = false;
    ULONG last = 0;
    for (const auto &m : modes) {
        EXPECT_TRUE(g_zkModeTable[m.ModeIndex].Valid);
        EXPECT_GE(m.ModeIndex, last);   // table order
        last = m.ModeIndex;
        if (m.ModeIndex == 217) {       // 1024x768x16 at 60
            saw16 = true;
            EXPECT_EQ(m.ScreenStride, 2048u);
            EXPECT_EQ(m.AttributeFlags, 3u);
            EXPECT_EQ(m.RedMask, 0x7C00u);
            EXPECT_EQ(m.GreenMask, 0x3E0u);
            EXPECT_EQ(m.BlueMask, 0x1Fu);
            EXPECT_EQ(m.VideoMemoryBitmapWidth, 1024u);
        }
        if (m.ModeIndex == 16) {        // 640x480x32 at 72
            saw32 = true;
            EXPECT_EQ(m.RedMask, 0xFF0000u);
            EXPECT_EQ(m.ScreenStride, 2560u);
        }
    }
    EXPECT_TRUE(saw16 && saw32);
}

TEST_F(MiniportTest, CurrentModeBeforeTheFirstSetIsRefusedNotDereferenced) {
    ASSERT_TRUE(boot());
    VIDEO_MODE_INFORMATION m{};
    EXPECT_EQ(request(IOCTL_VIDEO_QUERY_CURRENT_MODE, nullptr, 0, &m, 79).Status, ULONG(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(request(IOCTL_VIDEO_QUERY_CURRENT_MODE, nullptr, 0, &m, 80).Status, ULONG(ERROR_INVALID_PARAMETER));
}

TEST_F(MiniportTest, CurrentModeCarriesTheChipFlag) {
    for (auto card : {KivVideoCard::ZK3, KivVideoCard::ZK4}) {
        config.card = card;
        ASSERT_TRUE(boot());
        ext()->CurrentMode = &g_zkModeTable[217];
        ext()->CurrentModeIndex = 217;
        VIDEO_MODE_INFORMATION m{};
        STATUS_BLOCK sb = request(IOCTL_VIDEO_QUERY_CURRENT_MODE, nullptr, 0, &m, sizeof m);
        ASSERT_EQ(sb.Status, 0u);
        EXPECT_EQ(sb.Information, 80u);
        EXPECT_EQ(m.ModeIndex, 217u);
        EXPECT_EQ(m.VisScreenWidth, 1024u);
        EXPECT_EQ(m.DriverSpecificAttributeFlags, card == KivVideoCard::ZK3 ? ZK_CHIP_FLAG_ZK3 : ZK_CHIP_FLAG_ZK4);
    }
}
