// Mode programming: a master-table row becomes a VESA-style mode number, a timing source and a
// register-level mode set through the memory-mapped register windows.
#include <cstring>
#include "miniport/kivport.h"

namespace {

constexpr ULONG kMiscWrite = 0xC03C2, kMiscRead = 0xC03CC;
constexpr ULONG kAttr = 0x6013C0, kInputStatus = 0x6013DA;
constexpr ULONG kDacMask = 0x6813C6, kDacWriteIndex = 0x6813C8, kDacData = 0x6813C9;
constexpr ULONG kPixelPll = 0x680508;
constexpr USHORT kVbeDone = 0x004F, kVbeFailed = 0x014F;

bool isZk3(const ZK_DEVICE_EXTENSION *e) { return e->ChipCode == ZK_CHIP_CODE_ZK3; }

// ---- tables ----------------------------------------------------------------------------------------

struct ZK_VBE_MODE_ROW {
    USHORT ModeNumber;
    UCHAR ModeTag, VgaRow, ExtRow, ScaledRow, CrtcRow, Depth;
    USHORT Width, Height, BytesPerLine, Attributes;
};
static_assert(sizeof(ZK_VBE_MODE_ROW) == 16);

struct VbeSize { USHORT w, h; UCHAR count; USHORT numbers[5]; UCHAR depths[5]; };
constexpr VbeSize kVbeSizes[] = {
    {640, 400, 3, {0x100, 0x13D, 0x13E}, {8, 16, 32}},
    {640, 480, 3, {0x101, 0x111, 0x112}, {8, 16, 32}},
    {800, 600, 5, {0x102, 0x102, 0x103, 0x114, 0x115}, {4, 4, 8, 16, 32}},
    {1024, 768, 4, {0x104, 0x105, 0x117, 0x118}, {4, 8, 16, 32}},
    {1280, 1024, 4, {0x106, 0x107, 0x11A, 0x14D}, {4, 8, 16, 32}},
    {320, 200, 3, {0x130, 0x10E, 0x10F}, {8, 16, 32}},
    {320, 400, 3, {0x131, 0x132, 0x133}, {8, 16, 32}},
    {320, 240, 3, {0x134, 0x135, 0x136}, {8, 16, 32}},
    {400, 300, 3, {0x137, 0x138, 0x139}, {8, 16, 32}},
    {512, 384, 3, {0x13A, 0x13B, 0x13C}, {8, 16, 32}},
    {1152, 864, 3, {0x141, 0x142, 0x143}, {8, 16, 32}},
    {1600, 1200, 3, {0x145, 0x146, 0x14E}, {8, 16, 32}},
    {480, 360, 3, {0x147, 0x148, 0x149}, {8, 16, 32}},
    {960, 720, 3, {0x14A, 0x14B, 0x14C}, {8, 16, 32}},
    {1800, 1440, 2, {0x14F, 0x150}, {8, 16}},
    {1920, 1080, 3, {0x151, 0x152, 0x153}, {8, 16, 32}},
    {1920, 1200, 2, {0x154, 0x155}, {8, 16}},
};

// Resolution code of a size (a multiple of 4; /4 indexes the CRTC tables) and double scan.
ULONG resolutionCode(ULONG w, ULONG h, bool *doubleScan) {
    if (doubleScan) *doubleScan = h == 200 || h == 240 || h == 300 || h == 360 || h == 384;
    switch (h) {
    case 200: return 52;
    case 240: return 48;
    case 300: return 40;
    case 360: return 36;
    case 384: return 32;
    case 400: return w == 320 ? 44 : w == 640 ? 28 : 0;
    case 600: return 20;
    case 720: return 16;
    case 768: return 12;
    case 864: return 8;
    case 1024: return 4;
    case 1080: return 60;
    case 1200: return w == 1920 ? 56 : 0;
    case 1440: return 64;
    default: return 24;
    }
}

constexpr USHORT kNone = 0xFF;
constexpr USHORT kModeNumbers[17][4] = {
    {kNone, 0x145, 0x146, 0x14E}, {0x106, 0x107, 0x11A, 0x14D}, {kNone, 0x141, 0x142, 0x143},
    {0x104, 0x105, 0x117, 0x118}, {kNone, 0x14A, 0x14B, 0x14C}, {0x102, 0x103, 0x114, 0x115},
    {kNone, 0x101, 0x111, 0x112}, {kNone, 0x100, 0x13D, 0x13E}, {kNone, 0x13A, 0x13B, 0x13C},
    {kNone, 0x147, 0x148, 0x149}, {kNone, 0x137, 0x138, 0x139}, {kNone, 0x131, 0x132, 0x133},
    {kNone, 0x134, 0x135, 0x136}, {kNone, 0x130, 0x10E, 0x10F}, {kNone, 0x154, 0x155, kNone},
    {kNone, 0x151, 0x152, 0x153}, {kNone, 0x14F, 0x150, kNone},
};

ULONG refreshSlot(ULONG hz) {
    return hz < 70 ? 0 : hz < 72 ? 1 : hz < 75 ? 2 : hz < 85 ? 3 : hz < 100 ? 4 : hz < 120 ? 5 : 6;
}

struct ZK_CRTC_INFO {
    USHORT HTotal, HSyncStart, HSyncEnd, VTotal, VSyncStart, VSyncEnd, Clock10k, Refresh100, HPolarity, VPolarity;
};
static_assert(sizeof(ZK_CRTC_INFO) == 20);

// The CRTC information rows follow the master table's 8-bpp timing of each size and slot, except
// the rows measured on the chip.
ZK_CRTC_INFO crtcInfo(ULONG code, ULONG slot) {
    const ULONG codeSize[17][2] = {{1600, 1200}, {1280, 1024}, {1152, 864}, {1024, 768}, {960, 720}, {800, 600},
                                   {640, 480}, {640, 400}, {512, 384}, {480, 360}, {400, 300}, {320, 400},
                                   {320, 240}, {320, 200}, {1920, 1200}, {1920, 1080}, {1800, 1440}};
    const ULONG w = codeSize[code / 4][0], h = codeSize[code / 4][1];
    if (w == 640 && h == 480 && slot == 4) return {832, 672, 736, 505, 481, 484, 3571, 8500, 0, 1};
    if (w == 1600 && slot == 0) return {2160, 1704, 1880, 1242, 1201, 1204, 16096, 6000, 0, 1};
    if (w == 1800) return {2456, 1928, 2128, 1490, 1441, 1444, 21957, 6000, 1, 1};
    const ZK_MODE_ENTRY *t = ZkMasterModeTable();
    for (ULONG i = 0; i < kZkModeCount; i += 21) {
        if (t[i].Width != w || t[i].Height != h) continue;
        const ZK_MODE_ENTRY &r = t[i + slot];
        return ZK_CRTC_INFO{USHORT(w + r.HFrontPorch + r.HSync + r.HBackPorch), USHORT(w + r.HFrontPorch),
                            USHORT(w + r.HFrontPorch + r.HSync), USHORT(h + r.VFrontPorch + r.VSync + r.VBackPorch),
                            USHORT(h + r.VFrontPorch), USHORT(h + r.VFrontPorch + r.VSync),
                            USHORT(r.PixelClock / 10000), USHORT(r.Refresh * 100), USHORT(r.HPolarity),
                            USHORT(r.VPolarity)};
    }
    return ZK_CRTC_INFO{};
}

struct ZK_DMT_ROW {
    USHORT Clock10k, SyncBits, Crtc00, Crtc02to07[6], Crtc10, Crtc11, Crtc15, Crtc16;
};
static_assert(sizeof(ZK_DMT_ROW) == 26);
struct DmtEntry { USHORT code, slot; ZK_DMT_ROW row; };
constexpr DmtEntry kDmt[] = {
    {0, 0, {16200, 0, 9, {199, 141, 209, 9, 224, 16}, 176, 163, 175, 225}},
    {0, 1, {18900, 0, 9, {199, 141, 209, 9, 224, 16}, 176, 163, 175, 225}},
    {0, 3, {20250, 0, 9, {199, 141, 209, 9, 224, 16}, 176, 163, 175, 225}},
    {0, 4, {22950, 0, 9, {199, 141, 209, 9, 224, 16}, 176, 163, 175, 225}},
    {4, 0, {10800, 0, 206, {159, 146, 167, 20, 40, 90}, 0, 163, 255, 41}},
    {4, 3, {13500, 0, 206, {159, 146, 163, 21, 40, 90}, 0, 163, 255, 41}},
    {4, 4, {15750, 0, 211, {159, 151, 169, 29, 46, 90}, 0, 163, 255, 47}},
    {8, 3, {10800, 0, 195, {143, 135, 153, 9, 130, 255}, 96, 163, 95, 131}},
    {12, 0, {6500, 192, 163, {127, 135, 132, 149, 36, 245}, 2, 168, 255, 37}},
    {12, 1, {7500, 192, 161, {127, 133, 132, 149, 36, 245}, 2, 168, 255, 37}},
    {12, 2, {7843, 192, 161, {127, 133, 133, 149, 36, 245}, 2, 168, 255, 37}},
    {12, 3, {7875, 0, 159, {127, 131, 131, 143, 30, 245}, 0, 163, 255, 31}},
    {12, 4, {9450, 0, 167, {127, 139, 135, 147, 38, 245}, 0, 163, 255, 39}},
    {12, 5, {11370, 0, 169, {127, 141, 134, 152, 44, 245}, 1, 163, 255, 39}},
    {20, 0, {4000, 0, 127, {99, 131, 106, 26, 114, 240}, 88, 172, 87, 115}},
    {20, 2, {5000, 0, 125, {99, 129, 108, 27, 152, 240}, 124, 162, 87, 153}},
    {20, 3, {4950, 0, 127, {99, 131, 103, 17, 111, 240}, 88, 171, 87, 112}},
    {20, 4, {5625, 0, 126, {99, 130, 105, 17, 117, 240}, 88, 171, 87, 118}},
    {24, 0, {2517, 192, 95, {79, 131, 83, 159, 11, 62}, 233, 171, 223, 12}},
    {24, 2, {3150, 192, 99, {79, 135, 84, 153, 6, 62}, 232, 171, 223, 7}},
    {24, 3, {3150, 192, 100, {79, 136, 83, 155, 242, 31}, 224, 163, 223, 243}},
    {24, 4, {3600, 192, 99, {79, 135, 88, 159, 251, 31}, 224, 163, 223, 252}},
};
const ZK_DMT_ROW *dmtRow(ULONG code, ULONG slot) {
    for (const DmtEntry &d : kDmt)
        if (d.code == code && d.slot == slot) return &d.row;
    return nullptr;
}

struct ThresholdRow { USHORT limit; UCHAR crtc20_64, crtc1B_64, crtc20_128, crtc1B_128; };
constexpr ThresholdRow kThresholds[12] = {
    {24000, 0x10, 3, 0x10, 3}, {27000, 0x11, 3, 0x11, 3}, {28000, 0x12, 3, 0x12, 3}, {29000, 0x13, 3, 0x13, 3},
    {32000, 0x14, 3, 0x14, 3}, {33000, 0x15, 3, 0x15, 3}, {36000, 0x16, 3, 0x16, 3}, {38000, 0x17, 3, 0x17, 3},
    {39000, 0x18, 3, 0x18, 3}, {42000, 0x1A, 3, 0x1A, 3}, {50000, 0x22, 2, 0x22, 2}, {65535, 0x25, 1, 0x25, 1},
};

// The two standard VGA rows: sequencer 1-4, misc, CRTC 0x00-0x18, attribute 0x00-0x13, graphics 0-8.
struct VgaRow { UCHAR seq[4], misc, crtc[25], attr[20], gfx[9]; };
constexpr VgaRow kVgaRows[2] = {
    {{0x01, 0x0F, 0x00, 0x0E}, 0xEB,
     {0x5F, 0x4F, 0x4F, 0x83, 0x53, 0x9F, 0x0B, 0x3E, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEA, 0x0C,
      0xDF, 0x50, 0x00, 0xDF, 0x0C, 0xE3, 0xFF},
     {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x41, 0x00,
      0x0F, 0x00},
     {0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x05, 0x0F, 0xFF}},
    {{0x01, 0x0F, 0x00, 0x06}, 0xE3,
     {0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0x0B, 0x3E, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEA, 0x8C,
      0xDF, 0x28, 0x00, 0xE7, 0x04, 0xE3, 0xFF},
     {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x14, 0x07, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x01, 0x00,
      0x0F, 0x00},
     {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x0F, 0xFF}},
};

// The 29-byte scaled-output rows (640x480 only): CRTC 0x39, then two sets of 14 values for CRTC
// 0x29, 0x00, 0x04, 0x06, 0x07, 0x10, 0x01, 0x02, 0x03, 0x05, 0x11, 0x12, 0x15, 0x16.
constexpr UCHAR kScaledIndices[14] = {0x29, 0x00, 0x04, 0x06, 0x07, 0x10, 0x01, 0x02, 0x03, 0x05, 0x11, 0x12, 0x15, 0x16};
constexpr UCHAR kScaledRow[29] = {0xFF, 0x00, 0x62, 0x54, 0x06, 0x3E, 0xEA, 0x4F, 0x50, 0x82, 0x80, 0x2C, 0xDF, 0xE7, 0x04,
                                  0x00, 0x63, 0x55, 0x40, 0x3E, 0xF0, 0x4F, 0x50, 0x82, 0x81, 0x23, 0xDF, 0xE7, 0x04};

// ---- register helpers ----------------------------------------------------------------------------

void seqUpdate(ZK_DEVICE_EXTENSION *e, UCHAR i, UCHAR clear, UCHAR set) {
    ZkWriteSeq(e, i, UCHAR((ZkReadSeq(e, i) & ~clear) | set));
}
void crtcUpdate(ZK_DEVICE_EXTENSION *e, UCHAR i, UCHAR clear, UCHAR set) {
    ZkWriteCrtc(e, i, UCHAR((ZkReadCrtc(e, i) & ~clear) | set));
}
void unlockExtended(ZK_DEVICE_EXTENSION *e) {
    if (isZk3(e)) ZkWriteSeq(e, 6, 0x57);
    else ZkWriteCrtc(e, 0x1F, 0x57);
}

ZK_VBE_MODE_ROW vbeRow(const VbeSize &s, int i) {
    const UCHAR d = s.depths[i];
    bool ds = false;
    const UCHAR code = UCHAR(resolutionCode(s.w, s.h, &ds));
    return ZK_VBE_MODE_ROW{s.numbers[i], 0, UCHAR(d == 4 ? 1 : 0), UCHAR(code / 4),
                           UCHAR(s.w == 640 && s.h == 480 ? 0 : 0xFF), UCHAR(d == 4 ? 0xFF : code / 4), d,
                           s.w, s.h, USHORT(d == 4 ? s.w / 8 : s.w * d / 8), USHORT(d == 4 ? 22 : 31)};
}

bool findVbeRow(ULONG number, ZK_VBE_MODE_ROW *out) {
    for (const VbeSize &s : kVbeSizes)
        for (int i = 0; i < s.count; ++i)
            if (s.numbers[i] == number) {
                *out = vbeRow(s, i);
                return true;
            }
    return false;
}

void loadPalette(ZK_DEVICE_EXTENSION *e, UCHAR depth) {
    ZkWriteChipRegister8(e, kDacMask, 0xFF);
    ZkWriteChipRegister8(e, kDacWriteIndex, 0);
    static const UCHAR ega16[16][3] = {{0, 0, 0},    {0, 0, 42},   {0, 42, 0},   {0, 42, 42},  {42, 0, 0},   {42, 0, 42},
                                       {42, 21, 0},  {42, 42, 42}, {21, 21, 21}, {21, 21, 63}, {21, 63, 21}, {21, 63, 63},
                                       {63, 21, 21}, {63, 21, 63}, {63, 63, 21}, {63, 63, 63}};
    static const UCHAR greys[16] = {0, 5, 8, 11, 14, 17, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63};
    for (int i = 0; i < 256; ++i) {
        UCHAR rgb[3];
        if (depth == 4) {
            const int levels[4] = {0, 21, 42, 63};
            const int c = i & 63;   // two bits per gun
            rgb[0] = UCHAR(levels[(c >> 4) & 3]);
            rgb[1] = UCHAR(levels[(c >> 2) & 3]);
            rgb[2] = UCHAR(levels[c & 3]);
        } else if (depth == 8) {
            if (i < 16) std::memcpy(rgb, ega16[i], 3);
            else if (i < 32) rgb[0] = rgb[1] = rgb[2] = greys[i - 16];
            else if (i < 248) {
                // Nine blocks of 24 hues: three intensities, three saturations.
                const int block = (i - 32) / 24, hue = (i - 32) % 24;
                const int hi = 63 - 35 * (block / 3) / 2, lo = (hi * (block % 3)) / 3;
                const int seg = hue / 4, f = hue % 4;
                const int up = lo + (hi - lo) * f / 4, down = hi - (hi - lo) * f / 4;
                const int r[6] = {hi, down, lo, lo, up, hi}, g[6] = {up, hi, hi, down, lo, lo}, b[6] = {lo, lo, up, hi, hi, down};
                rgb[0] = UCHAR(r[seg]);
                rgb[1] = UCHAR(g[seg]);
                rgb[2] = UCHAR(b[seg]);
            } else rgb[0] = rgb[1] = rgb[2] = 0;
        } else {
            rgb[0] = rgb[1] = rgb[2] = UCHAR(i >> 2);
        }
        for (UCHAR c : rgb) ZkWriteChipRegister8(e, kDacData, c);
    }
}

}  // namespace

// ---- PLL and FIFO thresholds ---------------------------------------------------------------------

bool ZkComputePll(ULONG referenceKhz, ULONG targetKhz, ULONG *pOut, ULONG *nOut, ULONG *mOut, ULONG *achievedKhz) {
    const ULONG mFirst = referenceKhz == 14318 ? 8 : 7, mLast = mFirst + 6;
    ULONG bestError = 0xFFFFFFFFu;
    bool found = false;
    for (ULONG p = 0; p <= 4; ++p)
        for (ULONG m = mFirst; m <= mLast; ++m) {
            const ULONG vco = targetKhz << p;
            if (vco < 128000 || vco > 256000) continue;
            const ULONG n = (m * vco + referenceKhz / 2) / referenceKhz;
            if (n > 255) continue;
            const ULONG achieved = (((n * referenceKhz + (1u << p) / 2) >> p) + m / 2) / m;
            // The whole frequencies are compared; low bits alone would wrap every 65.536 MHz.
            const ULONG error = achieved > targetKhz ? achieved - targetKhz : targetKhz - achieved;
            if (error < bestError) {
                bestError = error;
                *pOut = p;
                *nOut = n;
                *mOut = m;
                *achievedKhz = achieved;
                found = true;
            }
        }
    return found;
}

void ZkSetPixelClock(ZK_DEVICE_EXTENSION *e, ULONG clock10k) {
    const UCHAR depthCode = ZkReadCrtc(e, 0x28) & 3;
    if (depthCode) {
        const ULONG value = (clock10k << (depthCode - 1)) & 0xFFFF;
        for (const ThresholdRow &r : kThresholds) {
            if (r.limit < value) continue;
            const bool wide = ZkReadChipRegister(e, 0x100000, 4) & 4;
            ZkWriteCrtc(e, 0x1B, wide ? r.crtc1B_128 : r.crtc1B_64);
            ZkWriteCrtc(e, 0x20, wide ? r.crtc20_128 : r.crtc20_64);
            break;
        }
    }
    const ULONG ref = (ZkReadChipRegister(e, 0x101000, 4) & 0x40) ? 14318 : 13500;
    e->PllReferenceKhz = ref;
    ULONG p = 0, n = 0, m = 0, achieved = 0;
    if (!ZkComputePll(ref, clock10k * 10, &p, &n, &m, &achieved)) return;
    ZkWriteChipRegister32(e, kPixelPll, p << 16 | n << 8 | m);
    e->PixelClock = achieved / 10;
}

// ---- the mode-set engine ---------------------------------------------------------------------------

namespace {

// The standard VGA registers of the mode's row, with the screen off.
void loadVgaRow(ZK_DEVICE_EXTENSION *e, const VgaRow &vga) {
    ZkReadChipRegister(e, kInputStatus, 1);
    ZkWriteChipRegister8(e, kAttr, 0);
    crtcUpdate(e, 0x28, 0x07, 0);
    crtcUpdate(e, 0x1A, 0, 0x02);

    ZkWriteSeq(e, 0, 0x01);
    ZkWriteChipRegister8(e, kMiscWrite, vga.misc);
    ZkWriteIndexedRange(e, kZkSeqIndex, 1, 4, vga.seq);
    ZkWriteSeq(e, 0, 0x03);
    ZkWriteCrtc(e, 0x11, 0x20);
    ZkWriteIndexedRange(e, kZkCrtcIndex, 0, 25, vga.crtc);
    ZkWriteIndexedRange(e, kZkGfxIndex, 0, 9, vga.gfx);
    seqUpdate(e, 1, 0, 0x20);   // screen off
}

// The extended CRTC row of the size, from its 60-Hz timing: pitch, depth and overflow bits, the
// pixel clock, and on a scaled panel of the ZK3 the scaler's row.
void loadCrtcRow(ZK_DEVICE_EXTENSION *e, const ZK_VBE_MODE_ROW &row, bool scaled) {
    const ZK_CRTC_INFO t = crtcInfo(row.CrtcRow * 4, 0);
    const ULONG cw = 8;
    const UCHAR ht = UCHAR(t.HTotal / cw - 5), hde = UCHAR(row.Width / cw - 1);
    const UCHAR hss = UCHAR(t.HSyncStart / cw), hse = UCHAR((t.HSyncEnd / cw) & 0x1F);
    const ULONG vt = t.VTotal - 2, vde = row.Height - 1;
    const UCHAR crtcBytes[8] = {ht, hde, hde, UCHAR(0x80 | ((ht + 4) & 0x1F)), hss, UCHAR(hse), UCHAR(vt), 0};
    ZkWriteChipRegister8(e, kMiscWrite, UCHAR(0x23 | (t.HPolarity ? 0 : 0x40) | (t.VPolarity ? 0 : 0x80)));
    ZkWriteSeq(e, 1, 0x21);
    crtcUpdate(e, 0x11, 0x80, 0);
    ZkWriteIndexedRange(e, kZkCrtcIndex, 0, 8, crtcBytes);
    ZkWriteCrtc(e, 0x09, 0x40);
    ZkWriteCrtc(e, 0x10, UCHAR(t.VSyncStart));
    ZkWriteCrtc(e, 0x11, UCHAR(t.VSyncEnd & 0xF));
    ZkWriteCrtc(e, 0x12, UCHAR(vde));
    ZkWriteCrtc(e, 0x15, UCHAR(vde));
    ZkWriteCrtc(e, 0x16, UCHAR(vt));
    // Extended row: pitch, depth and overflow bits.
    const ULONG pitch8 = row.BytesPerLine / 8;
    const UCHAR depthBits = row.Depth == 8 ? 1 : row.Depth == 16 ? 2 : row.Depth == 32 ? 3 : 0;
    ZkWriteCrtc(e, 0x19, UCHAR((pitch8 >> 8) << 5));
    crtcUpdate(e, 0x1A, 0x3F, UCHAR(0x38 | 0x04));
    ZkWriteCrtc(e, 0x1B, 1);
    ZkWriteCrtc(e, 0x1C, 0x1C);
    ZkWriteCrtc(e, 0x1D, 0);
    ZkWriteCrtc(e, 0x1E, 0);
    ZkWriteCrtc(e, 0x20, 0x10);
    ZkWriteCrtc(e, 0x25, UCHAR(((vt >> 10) & 1) | ((vde >> 10) & 1) << 1));
    crtcUpdate(e, 0x28, 0x07, depthBits);
    ZkWriteCrtc(e, 0x2D, UCHAR(((ht >> 8) & 1)));
    ZkWriteCrtc(e, 0x29, 0);
    ZkWriteCrtc(e, 0x2A, 0);
    for (UCHAR i = 0x30; i <= 0x33; ++i) ZkWriteCrtc(e, i, 0);
    ZkWriteCrtc(e, 0x39, 0xFF);
    ZkSetPixelClock(e, t.Clock10k);
    ZkWriteCrtc(e, 0x13, UCHAR(pitch8));
    if (scaled && isZk3(e) && row.ScaledRow != 0xFF) {
        ZkWriteCrtc(e, 0x39, kScaledRow[0]);
        crtcUpdate(e, 0x11, 0x80, 0);
        const bool kind2 = (ZkReadCrtc(e, 0x28) >> 6) == 2;
        for (int i = 0; i < 14; ++i) ZkWriteCrtc(e, kScaledIndices[i], kScaledRow[(kind2 ? 1 : 15) + i]);
        if (!kind2) {
            const bool wide = ZkReadCrtc(e, 0x01) >= 80;
            ZkWriteChipRegister32(e, 0x68050C, wide ? 0x2010100 : 0x10100);
            ZkWriteChipRegister32(e, kPixelPll, wide ? 0x34709 : 0x35A09);
            const ULONG regs[6] = {0x680720, 0x680724, 0x68072C, 0x680734, 0x680738, 0x68073C};
            const ULONG wideValues[6] = {63, 72, 848, 864, 31, 366}, narrowValues[6] = {79, 95, 1023, 1080, 39, 458};
            for (int i = 0; i < 6; ++i) ZkWriteChipRegister32(e, regs[i], (wide ? wideValues : narrowValues)[i]);
        }
        crtcUpdate(e, 0x11, 0x80, 0);
    }
    ZkWriteChipRegister32(e, 0x100200, ZkReadChipRegister(e, 0x100200, 4) | 0x1000);
    ZkWriteChipRegister8(e, kZkCrtcIndex, 0x18);
}

// The attribute controller and the palette of the mode's depth.
void loadAttributes(ZK_DEVICE_EXTENSION *e, const VgaRow &vga, UCHAR depth) {
    ZkReadChipRegister(e, kInputStatus, 1);
    for (UCHAR i = 0; i < 20; ++i) {
        ZkWriteChipRegister8(e, kAttr, i);
        ZkWriteChipRegister8(e, kAttr, vga.attr[i]);
    }
    ZkWriteChipRegister8(e, kAttr, 0x14);
    ZkWriteChipRegister8(e, kAttr, 0);
    loadPalette(e, depth);
}

// Timings of a monitor's own DMT row.
void loadDmtTimings(ZK_DEVICE_EXTENSION *e, const ZK_DMT_ROW *d) {
    ZkSetPixelClock(e, d->Clock10k);
    ZkWriteChipRegister8(e, kMiscWrite, UCHAR((ZkReadChipRegister(e, kMiscRead, 1) & 0x33) | 8 | d->SyncBits));
    ZkWriteCrtc(e, 0x11, 0);
    ZkWriteCrtc(e, 0x00, UCHAR(d->Crtc00));
    for (int i = 0; i < 6; ++i) ZkWriteCrtc(e, UCHAR(0x02 + i), UCHAR(d->Crtc02to07[i]));
    ZkWriteCrtc(e, 0x10, UCHAR(d->Crtc10));
    ZkWriteCrtc(e, 0x11, UCHAR(d->Crtc11));
    ZkWriteCrtc(e, 0x15, UCHAR(d->Crtc15));
    ZkWriteCrtc(e, 0x16, UCHAR(d->Crtc16));
}

// Timings of a refresh rate the caller's CRTC block gives.
void loadRefreshTimings(ZK_DEVICE_EXTENSION *e, const ZK_CRTC_BLOCK *info) {
    ZkSetPixelClock(e, info->PixelClock / 10000);
    ZkWriteChipRegister8(e, kMiscWrite, UCHAR((ZkReadChipRegister(e, kMiscRead, 1) & 0x3F) | ((info->Flags & 0xC) << 4)));
    const ULONG cw = (ZkReadSeq(e, 1) & 1) ? 8 : 9;
    const ULONG crtc12 = ZkReadCrtc(e, 0x12), crtc15 = ZkReadCrtc(e, 0x15);
    const LONG dvAdjust = info->Refresh <= 7200 ? LONG(crtc15) - LONG(crtc12) : 0;
    const ULONG dh = dvAdjust ? 1 : 0;
    const ULONG htc = info->HTotal / cw;
    ZkWriteCrtc(e, 0x00, UCHAR(htc - 5));
    ZkWriteCrtc(e, 0x39, UCHAR((info->Flags & 2) ? htc / 2 : 0xFF));
    const ULONG blankEnd = htc - dh - 1;
    crtcUpdate(e, 0x03, 0x1F, UCHAR(blankEnd & 0x1F));
    crtcUpdate(e, 0x05, 0x9F, UCHAR(((info->HSyncEnd / cw + 1) & 0x1F) | ((blankEnd & 0x20) << 2)));
    const ULONG blankStart = ZkReadCrtc(e, 0x01) + dh;
    ZkWriteCrtc(e, 0x02, UCHAR(blankStart));
    const ULONG syncStart = info->HSyncStart / cw + 1;
    ZkWriteCrtc(e, 0x04, UCHAR(syncStart));
    crtcUpdate(e, 0x2D, 0x1D, UCHAR(((htc - 5) >> 8 & 1) | ((blankStart >> 8 & 1) << 2) | ((syncStart >> 8 & 1) << 3)));
    const ULONG vBlankEnd = info->VTotal - dvAdjust - 1;
    ZkWriteCrtc(e, 0x16, UCHAR(vBlankEnd));
    const ULONG vt = info->VTotal - 2;
    ZkWriteCrtc(e, 0x06, UCHAR(vt));
    const UCHAR ovf = ZkReadCrtc(e, 0x07);
    ULONG vde = crtc12 | ((ovf >> 1) & 1) << 8 | ((ovf >> 6) & 1) << 9;
    const bool ds = info->Flags & 1;
    if (ds != bool(ZkReadCrtc(e, 0x09) & 0x80)) {
        vde = ds ? vde * 2 + 1 : vde / 2;
        ZkWriteCrtc(e, 0x12, UCHAR(vde));
    }
    const ULONG vBlankStart = vde + dvAdjust;
    ZkWriteCrtc(e, 0x15, UCHAR(vBlankStart));
    crtcUpdate(e, 0x09, 0x80, ds ? 0x80 : 0);
    ZkWriteCrtc(e, 0x10, UCHAR(info->VSyncStart));
    crtcUpdate(e, 0x11, 0x0F, UCHAR(info->VSyncEnd & 0x0F));
    const ULONG vss = info->VSyncStart;
    auto bit = [](ULONG v, int b) { return UCHAR((v >> b) & 1); };
    ZkWriteCrtc(e, 0x07, UCHAR(bit(vt, 8) | bit(vde, 8) << 1 | bit(vss, 8) << 2 | bit(vBlankStart, 8) << 3 | 0x10 |
                               bit(vt, 9) << 5 | bit(vde, 9) << 6 | bit(vss, 9) << 7));
    crtcUpdate(e, 0x09, 0x20, UCHAR(bit(vBlankStart, 9) << 5));
    ZkWriteCrtc(e, 0x25, UCHAR(bit(vt, 10) | bit(vde, 10) << 1 | bit(vBlankStart, 10) << 2 | bit(vss, 10) << 3));
}

// The screen on again and the extended registers locked.
void finishModeSet(ZK_DEVICE_EXTENSION *e) {
    seqUpdate(e, 1, 0x20, 0);
    ZkReadChipRegister(e, kInputStatus, 1);
    ZkWriteChipRegister8(e, kAttr, 0x20);
    crtcUpdate(e, 0x1A, 0xC0, 0);
    if (isZk3(e)) ZkWriteSeq(e, 6, 0);
    else ZkWriteCrtc(e, 0x1F, 0x99);
}

}  // namespace

USHORT ZkSetVbeMode(ZK_DEVICE_EXTENSION *e, ULONG modeNumber, const ZK_CRTC_BLOCK *info, const void *dmt, bool useDmt) {
    unlockExtended(e);
    ZK_VBE_MODE_ROW row;
    if (!findVbeRow(modeNumber & 0x1FF, &row)) return kVbeFailed;
    const bool scaled = ZkReadCrtc(e, 0x28) & 0x80;
    if (scaled && row.ScaledRow == 0xFF) return kVbeFailed;
    // The installed memory decides what fits (as the boot straps of this chip read it).
    const ULONG units = (ULONG(row.Depth) * (row.Width / 8) * row.Height + 65535) / 65536;
    if (units > e->MemoryBytes / 65536) return kVbeFailed;

    const VgaRow &vga = kVgaRows[row.VgaRow];
    loadVgaRow(e, vga);
    if (row.CrtcRow != 0xFF) loadCrtcRow(e, row, scaled);
    loadAttributes(e, vga, row.Depth);
    if (useDmt && dmt)
        loadDmtTimings(e, static_cast<const ZK_DMT_ROW *>(dmt));
    else if ((modeNumber & 0x800) && info)
        loadRefreshTimings(e, info);
    finishModeSet(e);
    return kVbeDone;
}

USHORT ZkSetModeThroughEngine(ZK_DEVICE_EXTENSION *e, ULONG modeNumber, const ZK_CRTC_BLOCK *info, const void *dmt,
                              bool useDmt) {
    return ZkSetVbeMode(e, modeNumber, info, dmt, useDmt);
}

// ---- the mode set -----------------------------------------------------------------------------------

void ZkRestoreCursorZk3(ZK_DEVICE_EXTENSION *e) {
    ZkWriteSeq(e, 5, 0x57);
    ZkWriteChipRegister32(e, 0x680300, (e->ModeWidth + 64) | (e->ModeHeight + 64) << 16);
    ZkWriteCrtc(e, 0x30, UCHAR((e->CursorImageAddress >> 16) & 0x7F));
    ZkWriteCrtc(e, 0x31, UCHAR((e->CursorImageAddress >> 11) << 3 | 1));
}

void ZkWaitEngineIdle(ZK_DEVICE_EXTENSION *e) {
    while (ZkReadChipRegister(e, 0x806010, 2) < 124) {}
    const ULONG busy = isZk3(e) ? 0x4006B0 : 0x400700;
    while (ZkReadChipRegister(e, busy, 4) != 0) {}
}

static bool sendNotice(ZK_DEVICE_EXTENSION *e, ULONG code, ZK_RM_MODESET_PARAMS *params) {
    return ZkSendRmNotice(e, code, params) && params->Status == 0;
}

bool ZkSetModeChip(ZK_DEVICE_EXTENSION *e, ZK_MODE_ENTRY *row) {
    const bool zk3 = isZk3(e);
    const bool attached = e->Flags & kZkFlagDisplayDriverAttached;
    if (attached) {
        ZK_RM_MODESET_PARAMS pre{row->Width, row->Height, row->BitsPerPixel, row->Refresh, 0xFFFFFFFFu};
        if (!sendNotice(e, ZK_RM_NOTIFY_PRE_MODESET, &pre)) return false;   // hardware untouched
    }
    bool doubleScan = false;
    const ULONG code = resolutionCode(row->Width, row->Height, &doubleScan);
    const ULONG column = row->BitsPerPixel == 4 ? 0 : row->BitsPerPixel == 8 ? 1 : row->BitsPerPixel == 16 ? 2
                       : (row->BitsPerPixel == 24 || row->BitsPerPixel == 32) ? 3 : 2;
    ULONG modeNumber = kModeNumbers[code / 4][column];
    if (modeNumber == kNone) return false;
    modeNumber |= 0x4000;

    ZK_CRTC_BLOCK block{};
    const void *dmt = nullptr;
    bool haveBlock = false;
    const bool standard = zk3 ? ((row->Refresh == 70 && ((row->Width == 640 && row->Height == 400) ||
                                                         (row->Width == 320 && (row->Height == 200 || row->Height == 400)))) ||
                                 row->Refresh == 60)
                              : row->Refresh == 60;
    if (e->OutputKind == 0 && !(standard && e->DmtOverride == 0)) {
        ULONG cap = row->Refresh;
        if (row->BitsPerPixel == 32 && row->Width == 1600 && row->Height == 1200 && cap > 60) cap = 60;
        if (row->BitsPerPixel == 32 && row->Width == 1280 && row->Height == 1024 && cap > 75) cap = 75;
        if (row->BitsPerPixel == 32 && row->Width == 1152 && row->Height == 864 && cap > 100) cap = 100;
        if (doubleScan && cap > 75) cap = 75;
        row->Refresh = cap;
        modeNumber |= 0x800;
        const ULONG slot = refreshSlot(cap);
        const ZK_CRTC_INFO t = crtcInfo(code, slot);
        block = ZK_CRTC_BLOCK{t.HTotal, t.HSyncStart, t.HSyncEnd, t.VTotal, t.VSyncStart, t.VSyncEnd,
                              UCHAR((doubleScan ? 1 : 0) | (t.HPolarity != 1 ? 4 : 0) | (t.VPolarity != 1 ? 8 : 0)),
                              ULONG(t.Clock10k) * 10000, t.Refresh100};
        haveBlock = true;
        e->PixelClock = t.Clock10k;
        if (e->DmtOverride) {
            const ZK_DMT_ROW *d = dmtRow(code, slot);
            if (d && d->Clock10k) dmt = d;
        }
    }
    e->ModeWidth = row->Width;
    e->ModeHeight = row->Height;
    e->ModeBitsPerPixel = row->BitsPerPixel;
    e->ModeRefresh = row->Refresh;
    if (e->OutputKind != 0) e->OutputMode = row->BitsPerPixel <= 8 ? 0 : 2;

    if (ZkSetModeThroughEngine(e, modeNumber, haveBlock ? &block : nullptr, dmt, dmt != nullptr) != kVbeDone) {
        return false;   // unknown or too large: nothing but the unlock was written
    }
    unlockExtended(e);

    if (e->OutputKind != 0) {
        const UCHAR old = zk3 ? ZkReadSeq(e, 6) : ZkReadCrtc(e, 0x1F);
        unlockExtended(e);
        const LONG a = ZkReadCrtc(e, 0x00), b = ZkReadCrtc(e, 0x02), c = ZkReadCrtc(e, 0x04);
        const LONG x = LONG(ZkReadChipRegister(e, zk3 ? 0x680730 : 0x680710, 4) & 0xFF);
        const LONG y = LONG(ZkReadChipRegister(e, zk3 ? 0x68072C : 0x68070C, 4) & 0xFF);
        e->PictureOffsetX = (a - c) * 8 - x + 56 + 20;
        e->PictureOffsetY = (a - b - c) * 8 - y + 48 + 20;
        if (zk3) {
            if (old == 0) ZkWriteSeq(e, 6, 0x99);
        } else if (old == 0) ZkWriteCrtc(e, 0x1F, 0x99);
        else if (old == 1) ZkWriteCrtc(e, 0x1F, 0x75);
        else if (old == 3) ZkWriteCrtc(e, 0x1F, 0x57);
    }
    if (zk3) {
        if (row->BitsPerPixel == 16) ZkWriteChipRegister32(e, 0x680600, 0x100000);
        else if (row->BitsPerPixel == 8) ZkWriteChipRegister32(e, 0x680600, 0x100010);
        ZkSetArbitrationZk3(e);
    } else if (row->BitsPerPixel == 8 || row->BitsPerPixel == 15 || row->BitsPerPixel == 16) {
        ZkWriteChipRegister32(e, 0x680600, 0x100000);
    }
    if (row->BitsPerPixel == 8) {
        VideoPortWritePortUchar(e->PortBase + 0x3C8, 0);
        for (int i = 0; i < 256; ++i)
            for (int c = 0; c < 3; ++c) VideoPortWritePortUchar(e->PortBase + 0x3C9, UCHAR(i));
    }
    if (attached) {
        ZK_RM_MODESET_PARAMS post{row->Width, row->Height, row->BitsPerPixel, row->Refresh, 0xFFFFFFFFu};
        if (!sendNotice(e, ZK_RM_NOTIFY_POST_MODESET, &post)) return true;   // the mode is set
    }
    VideoPortWritePortUshort(reinterpret_cast<PUSHORT>(e->PortBase + 0x3C4), 0x5706);
    return true;
}

VP_STATUS ZkSetCurrentMode(ZK_DEVICE_EXTENSION *e, PVOID in, ULONG inLength) {
    if (inLength < sizeof(VIDEO_MODE)) return ERROR_INSUFFICIENT_BUFFER;
    const ULONG index = static_cast<VIDEO_MODE *>(in)->RequestedMode;
    if (index >= kZkModeCount || !g_zkModeTable[index].Valid) return ERROR_INVALID_PARAMETER;
    if (isZk3(e) && e->FrameBufferUser) VideoPortZeroMemory(e->FrameBufferUser, e->UsableMemory / 4 * 4);
    if (!ZkSetModeChip(e, &g_zkModeTable[index])) return ERROR_INVALID_PARAMETER;   // current mode unchanged
    if (isZk3(e)) ZkRestoreCursorZk3(e);
    if (e->Flags & kZkFlagDisplayDriverAttached) ZkWaitEngineIdle(e);
    e->CurrentMode = &g_zkModeTable[index];
    e->CurrentModeIndex = index;
    return NO_ERROR;
}
