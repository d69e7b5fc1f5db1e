// Numbered service requests from sivd16: display description, options, surface counters,
// colour controls and statistics.
#include "drv/siv/display/sivhal.h"

#include <algorithm>

namespace {

enum : DWORD {
    kReqDescribe = 0xEDD00001,
    kReqOptionCaps = 0xEDD00002,
    kReqGetOptions = 0xEDD00003,
    kReqSetOptions = 0xEDD00004,
    kReqCounters = 0xEDD00005,
    kReqGetColor = 0xEDD00006,
    kReqSetColor = 0xEDD00007,
    kReqStatistics = 0xEDD00009,
};

constexpr DWORD kOptionCaps = 0xFF037E;
constexpr DWORD kColorMax = 9999;

// Payload word n of a request.
FieldRef<uint32_t> Word(BYTE *request, DWORD n) { return FieldRef<uint32_t>{request + 8 + 4 * n}; }

struct OptionBit {
    DWORD option;
    DWORD flag;
};
// Request option bits and the driverFlags bits they stand for; the Direct3D options
// 0x10000..0x800000 map to themselves.
const OptionBit kOptionMap[] = {
    {0x01, kDfReportedOnly}, {0x02, kDfOverlay},       {0x04, kDfAltFifo},
    {0x08, kDfFilter1},      {0x10, kDfFilter2},       {0x20, kDfFilter3},
    {0x40, kDfNoOffscreen},  {0x100, kDfBrightContrast}, {0x200, kDfSatHue},
};
constexpr DWORD kD3dOptions = 0xFF0000;

DWORD ReadOptions(DWORD flags) {
    DWORD v = flags & kD3dOptions;
    for (const OptionBit &b : kOptionMap)
        if (flags & b.flag)
            v |= b.option;
    return v;
}

void CopyBit(FieldRef<uint32_t> flags, DWORD options, DWORD option, DWORD flag) {
    if (options & option)
        flags |= flag;
    else
        flags &= ~flag;
}

void WriteOptions(DriverBlock *block, DWORD v) {
    FieldRef<uint32_t> flags = block->driverFlags();
    if (v & 0x02) {
        flags |= kDfOverlay;
        CopyBit(flags, v, 0x08, kDfFilter1);
        CopyBit(flags, v, 0x10, kDfFilter2);
        CopyBit(flags, v, 0x20, kDfFilter3);
    } else {
        flags &= ~(kDfOverlay | kDfFilter1 | kDfFilter2 | kDfFilter3);
    }
    CopyBit(flags, v, 0x40, kDfNoOffscreen);
    CopyBit(flags, v, 0x04, kDfAltFifo);
    ApplyOverlayOptions(block);
    CopyBit(flags, v, 0x100, kDfBrightContrast);
    CopyBit(flags, v, 0x200, kDfSatHue);
    ApplyColorControls(block);
    for (DWORD bit : {0x400000u, 0x10000u, 0x20000u, 0x40000u, 0x80000u, 0x100000u, 0x200000u, 0x800000u})
        CopyBit(flags, v, bit, bit);
}

// Bits per pixel and format code of the secondary stream, from its control word's format bits.
void OverlayFormat(DWORD control, DWORD *bits, DWORD *code) {
    static const DWORD kBits[8] = {0, 16, 16, 16, 0, 16, 24, 32};
    static const DWORD kCode[8] = {0, 1, 2, 5, 0, 4, 6, 7};
    DWORD f = (control >> 24) & 7;
    *bits = kBits[f];
    *code = kCode[f];
}

DWORD Describe(DriverBlock *block, BYTE *request) {
    DisplayMode *mode = CurrentMode(block);
    if (!mode)
        return 0;
    const DWORD frameBuffer = block->frameBuffer();
    Word(request, 0) = 0x040A00C0;
    Word(request, 1) = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block->bytes + 0xE010));
    Word(request, 2) = frameBuffer;
    DWORD f;
    if (IsOverlayEnabled()) {
        Word(request, 3) = frameBuffer + block->word(kShadow81C0);
        f = (block->word(kShadow81A0) >> 24) & 7;
    } else {
        Word(request, 3) = frameBuffer + 4 * ReadDisplayStart();
        f = 1;
    }
    Word(request, 4) = mode->width();
    Word(request, 5) = mode->pitch();
    Word(request, 6) = mode->height();
    Word(request, 7) = mode->bitsPerPixel();
    Word(request, 8) = block->pixelFormat();
    for (DWORD n = 9; n <= 14; n++)
        Word(request, n) = 0;
    if (f != 1) {
        Word(request, 9) = frameBuffer + block->word(kShadow81D0);
        Word(request, 10) = (block->word(kShadow8198) & 0x7FF) + 1;
        Word(request, 11) = block->word(kShadow81D8) & 0xFFFF;
        Word(request, 12) = (block->word(kShadow81E0) & 0x7FF) + 1;
        DWORD bits, code;
        OverlayFormat(block->word(kShadow8190), &bits, &code);
        Word(request, 13) = bits;
        Word(request, 14) = code;
    }
    for (DWORD i = 0; i < 256; i++) {
        DWORD r, g, b;
        ReadPaletteEntry(i, &r, &g, &b);
        Word(request, 15 + i) = r << 16 | g << 8 | b;
    }
    return 1;
}

}  // namespace

DWORD HandleServiceRequest(DriverBlock *block, BYTE *request) {
    if (!request)
        return 0;
    const DWORD code = LoadField<uint32_t>(request + 4);
    if (!block) {
        if (code == kReqOptionCaps || code == kReqGetOptions) {
            Word(request, 0) = 0;
            Word(request, 1) = 0;
        }
        return 0;
    }
    switch (code) {
    case kReqDescribe:
        return Describe(block, request);
    case kReqOptionCaps:
        Word(request, 0) = kOptionCaps;
        Word(request, 1) = 0;
        return 1;
    case kReqGetOptions:
        Word(request, 0) = ReadOptions(block->driverFlags());
        Word(request, 1) = 0;
        return 1;
    case kReqSetOptions:
        WriteOptions(block, Word(request, 0));
        return 1;
    case kReqCounters:
        Word(request, 0) = block->primaryCount();
        Word(request, 1) = block->offscreenCount();
        Word(request, 2) = block->overlayCount();
        return 1;
    case kReqGetColor:
        Word(request, 0) = block->brightness();
        Word(request, 1) = block->contrast();
        Word(request, 2) = block->saturation();
        Word(request, 3) = block->hue();
        Word(request, 4) = (block->overlayCount() > 0 && (block->driverFlags() & kDfYuvOverlay)) ? 1 : 0;
        return 1;
    case kReqSetColor:
        block->brightness() = std::min<DWORD>(Word(request, 0), kColorMax);
        block->contrast() = std::min<DWORD>(Word(request, 1), kColorMax);
        block->saturation() = std::min<DWORD>(Word(request, 2), kColorMax);
        block->hue() = std::min<DWORD>(Word(request, 3), kColorMax);
        ApplyColorControls(block);
        return 1;
    case kReqStatistics:
        Word(request, 0) = (block->driverFlags() & kDfOverlayOn) ? 1 : 0;
        Word(request, 1) = 0;
        Word(request, 2) = block->externalCounter();
        Word(request, 3) = block->flipCount();
        Word(request, 4) = block->lockCount();
        Word(request, 5) = block->bltCount();
        block->flipCount() = 0;
        block->lockCount() = 0;
        block->bltCount() = 0;
        return 1;
    default:
        return 0;
    }
}
