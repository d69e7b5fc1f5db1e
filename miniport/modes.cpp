// The master mode table, its validation against the adapter, and the three mode queries.
#include <array>
#include "miniport/kivport.h"

namespace {

// One refresh slot of a resolution block: clock (kHz * 1000 = Hz), porches and syncs.
struct SlotTiming { ULONG clockHz, hfp, hs, hbp, vfp, vs, vbp; };
struct BlockDef {
    ULONG width, height, hpol, vpol;
    SlotTiming slot[7];
    ULONG refresh[7];
};

constexpr ULONG kSlotRefresh[7] = {60, 70, 72, 75, 85, 100, 120};
constexpr ULONG kDepths[3] = {8, 16, 32};

constexpr SlotTiming k640_60{25175000, 16, 96, 48, 10, 2, 33};
constexpr SlotTiming kLow{12588000, 8, 48, 24, 10, 2, 33};
constexpr SlotTiming kLow200{12588000, 8, 48, 24, 12, 2, 35};
constexpr SlotTiming k640x400{25175000, 16, 96, 48, 12, 2, 35};
constexpr SlotTiming k512_60{32500000, 12, 68, 80, 3, 6, 29};
constexpr SlotTiming k512_72{38580000, 12, 68, 72, 3, 6, 29};
constexpr SlotTiming k800[7] = {{40000000, 40, 128, 88, 1, 4, 23}, {40000000, 40, 128, 88, 1, 4, 23},
                                {50000000, 56, 120, 64, 37, 6, 23}, {49500000, 16, 80, 160, 1, 3, 21},
                                {56250000, 32, 64, 152, 1, 3, 27}, {65000000, 40, 120, 48, 15, 6, 23},
                                {78150000, 40, 72, 112, 9, 5, 22}};
constexpr SlotTiming kBig{162000000, 64, 192, 304, 1, 3, 46};

#define ALL7(t) {t, t, t, t, t, t, t}
#define STD_REFRESH {60, 70, 72, 75, 85, 100, 120}

constexpr BlockDef kBlocks[17] = {
    {640, 480, 0, 0,
     {k640_60, k640_60, {31150000, 24, 40, 128, 9, 3, 28}, {31500000, 16, 64, 120, 1, 3, 16},
      {36000000, 32, 48, 112, 1, 3, 25}, {45360000, 16, 96, 48, 25, 19, 43}, {53200000, 16, 56, 120, 13, 7, 33}},
     STD_REFRESH},
    {320, 240, 0, 0, ALL7(kLow), STD_REFRESH},
    {320, 400, 0, 0, ALL7(kLow), {70, 70, 72, 75, 85, 100, 120}},
    {400, 300, 0, 0, ALL7(kLow), STD_REFRESH},
    {480, 360, 0, 0, ALL7(kLow), STD_REFRESH},
    {512, 384, 1, 1, {k512_60, k512_60, k512_72, k512_72, k512_72, k512_72, k512_72}, STD_REFRESH},
    {640, 400, 1, 0, ALL7(k640x400), {70, 70, 72, 75, 85, 100, 120}},
    {320, 200, 1, 0, ALL7(kLow200), {70, 70, 72, 75, 85, 100, 120}},
    {800, 600, 1, 1, {k800[0], k800[1], k800[2], k800[3], k800[4], k800[5], k800[6]}, STD_REFRESH},
    {960, 720, 1, 1, {k800[0], k800[1], k800[2], k800[3], k800[4], k800[5], k800[6]}, STD_REFRESH},
    {1024, 768, 1, 1,
     {{65000000, 24, 136, 160, 3, 6, 29}, {65000000, 24, 136, 160, 3, 6, 29}, {77160000, 24, 136, 144, 3, 6, 29},
      {78500000, 16, 96, 176, 1, 3, 28}, {94500000, 48, 96, 208, 1, 3, 36}, {108200000, 24, 96, 184, 6, 8, 33},
      {108200000, 24, 96, 184, 6, 8, 33}},
     STD_REFRESH},
    {1152, 864, 1, 1,
     {{80000000, 32, 80, 216, 1, 4, 28}, {80000000, 32, 80, 216, 1, 4, 28}, {97180000, 32, 96, 200, 1, 3, 44},
      {108000000, 64, 128, 256, 1, 3, 32}, {121500000, 64, 128, 232, 1, 3, 39}, {121500000, 64, 128, 232, 1, 3, 39},
      {121500000, 64, 128, 232, 1, 3, 39}},
     STD_REFRESH},
    {1280, 1024, 1, 1,
     {{108000000, 16, 112, 280, 1, 3, 38}, {108000000, 16, 112, 280, 1, 3, 38}, {108000000, 48, 112, 248, 1, 3, 38},
      {135000000, 16, 144, 248, 1, 3, 38}, {157500000, 48, 160, 240, 1, 3, 44}, {157500000, 48, 160, 240, 1, 3, 44},
      {157500000, 48, 160, 240, 1, 3, 44}},
     {60, 70, 72, 75, 85, 100, 100}},
    {1600, 1200, 1, 1, ALL7(kBig), {60, 70, 72, 75, 85, 85, 85}},
    {1800, 1440, 1, 1, ALL7(kBig), {60, 60, 60, 60, 60, 60, 60}},
    {1920, 1080, 1, 1, ALL7(kBig), {60, 70, 72, 75, 85, 85, 85}},
    {1920, 1200, 1, 1, ALL7(kBig), {60, 70, 72, 75, 75, 75, 75}},
};

constexpr ZK_MODE_ENTRY makeRow(const BlockDef &b, ULONG depth, ULONG slot) {
    const SlotTiming &t = b.slot[slot];
    return ZK_MODE_ENTRY{0, b.width, b.height, depth, t.hfp, t.hs, t.hbp, t.vfp, t.vs, t.vbp,
                         b.hpol, b.vpol, 0, t.clockHz, b.refresh[slot]};
}

constexpr std::array<ZK_MODE_ENTRY, kZkModeCount> buildTable() {
    std::array<ZK_MODE_ENTRY, kZkModeCount> rows{};
    for (ULONG block = 0; block < 17; ++block)
        for (ULONG run = 0; run < 3; ++run)
            for (ULONG slot = 0; slot < 7; ++slot)
                rows[block * 21 + run * 7 + slot] = makeRow(kBlocks[block], kDepths[run], slot);
    // Irregular rows.
    rows[15].Refresh = 60;                                   // 640x480x32 in the 70-Hz slot
    rows[251].Refresh = 100;                                 // 1152x864x32 in the 120-Hz slot
    rows[260] = makeRow(kBlocks[12], 32, 1);                 // 1280x1024x32 at 70 in the 16-bpp run
    for (ULONG r = 270; r <= 272; ++r) rows[r] = makeRow(kBlocks[12], 32, 3);   // 75 Hz
    for (ULONG base : {288u, 330u, 351u})
        for (ULONG r = base; r < base + 6; ++r) rows[r].Refresh = 60;
    return rows;
}

constexpr std::array<ZK_MODE_ENTRY, kZkModeCount> kBuilt = buildTable();
static_assert(kBuilt[260].BitsPerPixel == 32 && kBuilt[260].Refresh == 70);
static_assert(kBuilt[8].Width == 640 && kBuilt[8].BitsPerPixel == 16 && kBuilt[8].Refresh == 70);

void fillModeInformation(const ZK_DEVICE_EXTENSION *ext, const ZK_MODE_ENTRY &row, ULONG index,
                         VIDEO_MODE_INFORMATION *info) {
    VideoPortZeroMemory(info, sizeof *info);
    info->Length = sizeof(VIDEO_MODE_INFORMATION);
    info->ModeIndex = index;
    info->VisScreenWidth = row.Width;
    info->VisScreenHeight = row.Height;
    info->ScreenStride = row.Width * row.BitsPerPixel / 8;
    info->NumberOfPlanes = 1;
    info->BitsPerPlane = row.BitsPerPixel;
    info->Frequency = row.Refresh;
    info->XMillimeter = 320;
    info->YMillimeter = 240;
    info->NumberRedBits = info->NumberGreenBits = info->NumberBlueBits = 8;
    if (row.BitsPerPixel == 16) {
        info->RedMask = 0x7C00;
        info->GreenMask = 0x3E0;
        info->BlueMask = 0x1F;
    } else if (row.BitsPerPixel == 24 || row.BitsPerPixel == 32) {
        info->RedMask = 0xFF0000;
        info->GreenMask = 0xFF00;
        info->BlueMask = 0xFF;
    }
    info->AttributeFlags = VIDEO_MODE_COLOR | VIDEO_MODE_GRAPHICS;
    if (row.BitsPerPixel != 16 && row.BitsPerPixel != 24 && row.BitsPerPixel != 32)
        info->AttributeFlags |= VIDEO_MODE_PALETTE_DRIVEN | VIDEO_MODE_MANAGED_PALETTE;
    const ULONG bpp = row.BitsPerPixel == 15 ? 16 : row.BitsPerPixel;
    info->VideoMemoryBitmapWidth = bpp ? info->ScreenStride * 8 / bpp : 0;
    info->VideoMemoryBitmapHeight = info->ScreenStride ? ext->UsableMemory / info->ScreenStride : 0;
}

}  // namespace

const ZK_MODE_ENTRY *ZkMasterModeTable() { return kBuilt.data(); }
ZK_MODE_ENTRY g_zkModeTable[kZkModeCount];

void ZkResetModeTable() {
    for (ULONG i = 0; i < kZkModeCount; ++i) g_zkModeTable[i] = kBuilt[i];
}

void ZkValidateModes(ZK_DEVICE_EXTENSION *ext) {
    ext->ValidModeCount = 0;
    ext->UsableMemory = ext->MemoryBytes - 0x10000;
    for (ZK_MODE_ENTRY &row : g_zkModeTable) {
        const bool tooBig = ext->UsableMemory < row.Width * (row.BitsPerPixel / 8) * row.Height;
        const bool wideNeeds8 = row.Width > 1600 && ext->MemoryMegabytes < 8;
        const bool is320x400 = row.Width == 320 && row.Height == 400;
        row.Valid = !(tooBig || wideNeeds8 || is320x400);
        if (row.Valid) ++ext->ValidModeCount;
    }
    auto drop = [&](ZK_MODE_ENTRY &row) {
        if (row.Valid) {
            row.Valid = 0;
            --ext->ValidModeCount;
        }
    };
    if (ext->OutputKind != 0)
        for (ZK_MODE_ENTRY &row : g_zkModeTable)
            if (row.Height != 480) drop(row);
    for (ZK_MODE_ENTRY &row : g_zkModeTable) {
        const ULONG w = row.Width, h = row.Height, d = row.BitsPerPixel;
        if ((w == 960 && h == 720) || (w == 1920 && h == 1200 && d == 32) || (w == 1920 && h == 1080 && d == 32) ||
            (w == 1800 && h == 1440 && (d == 8 || d == 32)) ||
            ((h == 200 || h == 240 || h == 300 || h == 360 || h == 384) && row.Refresh > 75))
            drop(row);
    }
}

VP_STATUS ZkQueryNumAvailableModes(ZK_DEVICE_EXTENSION *ext, PVOID out, ULONG outLength, ULONG *information) {
    *information = sizeof(VIDEO_NUM_MODES);
    if (outLength < sizeof(VIDEO_NUM_MODES)) return ERROR_INSUFFICIENT_BUFFER;
    auto *n = static_cast<VIDEO_NUM_MODES *>(out);
    n->NumModes = ext->ValidModeCount;
    n->ModeInformationLength = sizeof(VIDEO_MODE_INFORMATION);
    return NO_ERROR;
}

VP_STATUS ZkQueryAvailableModes(ZK_DEVICE_EXTENSION *ext, PVOID out, ULONG outLength, ULONG *information) {
    *information = ext->ValidModeCount * sizeof(VIDEO_MODE_INFORMATION);
    if (outLength < *information) return ERROR_INSUFFICIENT_BUFFER;
    auto *info = static_cast<VIDEO_MODE_INFORMATION *>(out);
    for (ULONG i = 0; i < kZkModeCount; ++i)
        if (g_zkModeTable[i].Valid) fillModeInformation(ext, g_zkModeTable[i], i, info++);
    return NO_ERROR;
}

VP_STATUS ZkQueryCurrentMode(ZK_DEVICE_EXTENSION *ext, PVOID out, ULONG outLength, ULONG *information) {
    *information = sizeof(VIDEO_MODE_INFORMATION);
    if (outLength < sizeof(VIDEO_MODE_INFORMATION)) return ERROR_INSUFFICIENT_BUFFER;
    // Before the first mode set there is no current row to report.
    if (!ext->CurrentMode) return ERROR_INVALID_PARAMETER;
    auto *info = static_cast<VIDEO_MODE_INFORMATION *>(out);
    fillModeInformation(ext, *ext->CurrentMode, ext->CurrentModeIndex, info);
    info->DriverSpecificAttributeFlags = ext->ChipCode == ZK_CHIP_CODE_ZK3   ? ZK_CHIP_FLAG_ZK3
                                         : ext->ChipCode == ZK_CHIP_CODE_ZK4 ? ZK_CHIP_FLAG_ZK4
                                                                             : 0;
    return NO_ERROR;
}
