// Saving and restoring the VGA state for the console's full-screen sessions: registers, DAC,
// latches, the VDM's trapped-port state and the four 64 KB planes, in the platform's
// hardware-state layout.
#include "miniport/kivport.h"

const VIDEO_ACCESS_RANGE g_zkVdmRanges[4] = {
    {{0x3B0, 0}, 12, 1, 1, 0, 0}, {{0x3C0, 0}, 32, 1, 1, 0, 0}, {{0x772, 0}, 1, 1, 0, 0, 0}, {{0x774, 0}, 2, 1, 0, 0, 0}};
// The two-entry table a VDM may have installed itself: both VGA ranges trapped.
const VIDEO_ACCESS_RANGE g_zkVdmRangesTrapped[2] = {{{0x3B0, 0}, 12, 1, 0, 0, 0}, {{0x3C0, 0}, 32, 1, 0, 0, 0}};

namespace {

// Offsets of the saved blocks; their sizes follow from the register counts.
constexpr ULONG kHeaderLength = 156;
constexpr ULONG kSeqOffset = 156, kSeqCount = 5;
constexpr ULONG kCrtcOffset = 161, kCrtcCount = 25;
constexpr ULONG kGfxOffset = 186, kGfxCount = 9;
constexpr ULONG kAttrOffset = 195, kAttrCount = 21;
constexpr ULONG kDacOffset = 216, kDacBytes = 768;
constexpr ULONG kLatchOffset = 984, kLatchCount = 4;
constexpr ULONG kExtSeqOffset = 988, kExtSeqCount = 2;             // sequencer 6, 7
constexpr ULONG kExtCrtcOffset = 990, kExtCrtcCount = 8;           // CRTC 0x31-0x37, 0x3F
constexpr ULONG kExtGfxOffset = 998;
constexpr ULONG kExtAttrOffset = 998, kExtAttrCount = 1;           // attribute 22
constexpr ULONG kExtDacOffset = 999;
constexpr ULONG kVdmOffset = 999, kVdmBytes = 1216;
constexpr ULONG kMiscDataBytes = 2215;
constexpr ULONG kPlaneLength = 0x10000;
constexpr ULONG kPlaneOffset[4] = {2215, 67751, 133287, 198823};
constexpr ULONG kFlagsAlways = 0x1 | 0x4, kFlagVdm = 0x2;
constexpr UCHAR kExtCrtcIndex[kExtCrtcCount] = {0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x3F};

// Saved port values sit at their port number minus 0x3B0.
constexpr ULONG kPortFirst = 0x3B0;
constexpr USHORT kAttrPort = 0x3C0, kMiscOut = 0x3C2, kSeqIndex = 0x3C4, kDacMask = 0x3C6,
                 kDacState = 0x3C7, kDacWriteIndex = 0x3C8, kDacData = 0x3C9, kGfxIndex = 0x3CE,
                 kMiscRead = 0x3CC, kFeatureRead = 0x3CA;

struct Ports {
    ZK_DEVICE_EXTENSION *e;
    UCHAR in(USHORT port) const { return VideoPortReadPortUchar(e->PortBase + port); }
    void out(USHORT port, UCHAR v) const { VideoPortWritePortUchar(e->PortBase + port, v); }
    UCHAR indexed(USHORT indexPort, UCHAR index) const { out(indexPort, index); return in(USHORT(indexPort + 1)); }
    void setIndexed(USHORT indexPort, UCHAR index, UCHAR v) const { out(indexPort, index); out(USHORT(indexPort + 1), v); }
    // Mono or colour addresses follow bit 0 of the miscellaneous output register.
    USHORT crtc(UCHAR misc) const { return (misc & 1) ? 0x3D4 : 0x3B4; }
    USHORT status1(UCHAR misc) const { return (misc & 1) ? 0x3DA : 0x3BA; }
};

UCHAR *block(VIDEO_HARDWARE_STATE_HEADER *h, ULONG offset) { return reinterpret_cast<UCHAR *>(h) + offset; }

// The VDM's block starts with the trapped-range count and table it had installed.
struct VdmHead {
    ULONG count;
    VIDEO_ACCESS_RANGE ranges[4];
};
static_assert(sizeof(VdmHead) <= kVdmBytes);

bool sameRanges(const VIDEO_ACCESS_RANGE *a, const VIDEO_ACCESS_RANGE *b, ULONG n) {
    for (ULONG i = 0; i < n; ++i) {
        if (a[i].RangeStart.LowPart != b[i].RangeStart.LowPart || a[i].RangeLength != b[i].RangeLength ||
            a[i].RangeInIoSpace != b[i].RangeInIoSpace || a[i].RangeVisible != b[i].RangeVisible)
            return false;
    }
    return true;
}

// The header: where each block of the state lies.
void saveHeader(VIDEO_HARDWARE_STATE_HEADER *h, bool vdm) {
    VideoPortZeroMemory(h, kHeaderLength);
    h->Length = kHeaderLength;
    h->BasicSequencerOffset = kSeqOffset;
    h->BasicCrtContOffset = kCrtcOffset;
    h->BasicGraphContOffset = kGfxOffset;
    h->BasicAttribContOffset = kAttrOffset;
    h->BasicDacOffset = kDacOffset;
    h->BasicLatchesOffset = kLatchOffset;
    h->ExtendedSequencerOffset = kExtSeqOffset;
    h->ExtendedCrtContOffset = kExtCrtcOffset;
    h->ExtendedGraphContOffset = kExtGfxOffset;
    h->ExtendedAttribContOffset = kExtAttrOffset;
    h->ExtendedDacOffset = kExtDacOffset;
    h->ExtendedValidatorStateOffset = vdm ? kVdmOffset : 0;
    h->PlaneLength = kPlaneLength;
    h->Plane1Offset = kPlaneOffset[0];
    h->Plane2Offset = kPlaneOffset[1];
    h->Plane3Offset = kPlaneOffset[2];
    h->Plane4Offset = kPlaneOffset[3];
    h->VGAStateFlags = kFlagsAlways | (vdm ? kFlagVdm : 0);
}

// DAC: read/write mode, then entry 0 and the index registers; returns the DAC block, whose
// entries 1-255 are read once the attribute controller is saved.
UCHAR *saveDacHead(const Ports &p, VIDEO_HARDWARE_STATE_HEADER *h) {
    UCHAR *pv = h->PortValue;
    // A DAC whose write index does
    // not read back as written is flagged so that restore does not trust the index.
    UCHAR dacState = p.in(kDacState) & 3;
    const UCHAR writeIndex = p.in(kDacWriteIndex);
    p.out(kDacWriteIndex, UCHAR(writeIndex ^ 1));
    if (p.in(kDacWriteIndex) != UCHAR(writeIndex ^ 1)) dacState |= 0x10;
    p.out(kDacWriteIndex, writeIndex);
    if (p.in(kDacWriteIndex) != writeIndex) dacState |= 0x20;
    pv[kDacState - kPortFirst] = dacState;
    pv[kDacWriteIndex - kPortFirst] = writeIndex;
    pv[kDacMask - kPortFirst] = p.in(kDacMask);
    UCHAR *dac = block(h, kDacOffset);
    p.out(kDacState, 0);
    for (int c = 0; c < 3; ++c) dac[c] = p.in(kDacData);
    return dac;
}

// Attribute controller: its index, and whether the flip-flop stood at data.
void saveAttributeIndex(const Ports &p, VIDEO_HARDWARE_STATE_HEADER *h, UCHAR misc) {
    UCHAR *pv = h->PortValue;
    // A write that toggles the index's bit 5 leaves the index unchanged only when the flip-flop
    // stood at data; the data byte that write then replaced is put back.
    const UCHAR attrIndex = p.in(kAttrPort);
    const UCHAR attrData = p.in(kAttrPort + 1);
    pv[kAttrPort - kPortFirst] = attrIndex;
    p.out(kAttrPort, UCHAR(attrIndex ^ 0x20));
    const bool atData = p.in(kAttrPort) == attrIndex;
    if (atData) {
        p.out(kAttrPort, attrIndex);
        p.out(kAttrPort, attrData);
    }
    h->AttribIndexDataState = atData ? 1 : 0;
    p.in(p.status1(misc));
}

// The index ports, then the sequencer, CRTC, graphics and attribute registers; the video goes
// back on after the attribute reads.
void saveRegisters(const Ports &p, VIDEO_HARDWARE_STATE_HEADER *h, UCHAR misc) {
    UCHAR *pv = h->PortValue;
    pv[kFeatureRead - kPortFirst] = p.in(kFeatureRead);
    const USHORT crtc = p.crtc(misc);
    pv[crtc - kPortFirst] = p.in(crtc);
    pv[kGfxIndex - kPortFirst] = p.in(kGfxIndex);
    pv[kSeqIndex - kPortFirst] = p.in(kSeqIndex);

    UCHAR *seq = block(h, kSeqOffset);
    for (UCHAR i = 0; i < kSeqCount; ++i) seq[i] = p.indexed(kSeqIndex, i);
    UCHAR *extSeq = block(h, kExtSeqOffset);
    for (UCHAR i = 0; i < kExtSeqCount; ++i) extSeq[i] = p.indexed(kSeqIndex, UCHAR(6 + i));

    // CRTC 0x03 bit 7 gates the readable registers; the value found first is the one saved.
    const UCHAR crtc3 = p.indexed(crtc, 3);
    p.setIndexed(crtc, 3, UCHAR(crtc3 | 0x80));
    UCHAR *crt = block(h, kCrtcOffset);
    for (UCHAR i = 0; i < kCrtcCount; ++i) crt[i] = p.indexed(crtc, i);
    crt[3] = crtc3;
    p.setIndexed(crtc, 3, crtc3);
    UCHAR *extCrt = block(h, kExtCrtcOffset);
    for (ULONG i = 0; i < kExtCrtcCount; ++i) extCrt[i] = p.indexed(crtc, kExtCrtcIndex[i]);

    UCHAR *gfx = block(h, kGfxOffset);
    for (UCHAR i = 0; i < kGfxCount; ++i) gfx[i] = p.indexed(kGfxIndex, i);

    UCHAR *attr = block(h, kAttrOffset);
    auto readAttr = [&](UCHAR index) {
        p.in(p.status1(misc));
        p.out(kAttrPort, index);
        return p.in(kAttrPort + 1);
    };
    for (UCHAR i = 0; i < kAttrCount; ++i) attr[i] = readAttr(i);
    *block(h, kExtAttrOffset) = readAttr(22);
    p.in(p.status1(misc));
    p.out(kAttrPort, 0x20);  // video back on
}

// Latches: copy them to the last byte of every plane in write mode 1, then read each plane.
void saveLatches(ZK_DEVICE_EXTENSION *e, const Ports &p, VIDEO_HARDWARE_STATE_HEADER *h) {
    const UCHAR *gfx = block(h, kGfxOffset);
    const UCHAR gfx5 = gfx[5];
    p.setIndexed(kGfxIndex, 5, UCHAR((gfx5 & ~3) | 1));
    p.setIndexed(kSeqIndex, 2, 0xF);
    VideoPortWriteRegisterUchar(e->VgaMemory + 0xFFFF, 0);
    p.setIndexed(kGfxIndex, 5, UCHAR(gfx5 & ~3));
    UCHAR *latch = block(h, kLatchOffset);
    for (UCHAR plane = 0; plane < kLatchCount; ++plane) {
        p.setIndexed(kGfxIndex, 4, plane);
        latch[plane] = VideoPortReadRegisterUchar(e->VgaMemory + 0xFFFF);
    }
}

// The trapped ranges of a virtual DOS machine, behind its state.
void saveVdm(ZK_DEVICE_EXTENSION *e, VIDEO_HARDWARE_STATE_HEADER *h) {
    UCHAR *v = block(h, kVdmOffset);
    VideoPortMoveMemory(v, e->VdmState, kVdmBytes);
    VdmHead head{};
    head.count = e->TrappedRangeCount;
    for (ULONG i = 0; i < head.count && i < 4; ++i) head.ranges[i] = e->TrappedRanges[i];
    VideoPortMoveMemory(v, &head, sizeof head);
}

// The four planes; the graphics and sequencer registers the reads changed are put back.
void savePlanes(ZK_DEVICE_EXTENSION *e, const Ports &p, VIDEO_HARDWARE_STATE_HEADER *h) {
    const UCHAR *gfx = block(h, kGfxOffset), *seq = block(h, kSeqOffset);
    const UCHAR gfx5 = gfx[5], gfx4 = gfx[4], seq2 = seq[2];
    for (UCHAR plane = 0; plane < 4; ++plane) {
        p.setIndexed(kSeqIndex, 2, UCHAR(1 << plane));
        p.setIndexed(kGfxIndex, 4, plane);
        UCHAR *dst = block(h, kPlaneOffset[plane]);
        for (ULONG i = 0; i < kPlaneLength; ++i) dst[i] = VideoPortReadRegisterUchar(e->VgaMemory + i);
    }
    p.setIndexed(kGfxIndex, 4, gfx4);
    p.setIndexed(kSeqIndex, 2, seq2);
    p.setIndexed(kGfxIndex, 5, gfx5);
}

}  // namespace

VP_STATUS ZkSaveHardwareState(ZK_DEVICE_EXTENSION *e, VIDEO_HARDWARE_STATE *out, ULONG outSize, ULONG *information) {
    if (outSize < sizeof(VIDEO_HARDWARE_STATE)) {
        *information = 0;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    *information = sizeof(VIDEO_HARDWARE_STATE);
    auto *h = reinterpret_cast<VIDEO_HARDWARE_STATE_HEADER *>(uintptr_t(out->StateHeader));
    // The caller's buffer must hold the whole state; a short or missing one is refused rather
    // than written past.
    if (h == nullptr || out->StateLength < ZK_HARDWARE_STATE_SIZE) {
        out->StateLength = ZK_HARDWARE_STATE_SIZE;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    out->StateLength = ZK_HARDWARE_STATE_SIZE;
    const bool vdm = e->TrappedRanges != nullptr;
    saveHeader(h, vdm);

    const Ports p{e};
    const UCHAR misc = p.in(kMiscRead);
    h->PortValue[kMiscOut - kPortFirst] = misc;
    UCHAR *dac = saveDacHead(p, h);
    saveAttributeIndex(p, h, misc);
    for (ULONG i = 3; i < kDacBytes; ++i) dac[i] = p.in(kDacData);  // entries 1-255 follow on
    saveRegisters(p, h, misc);
    saveLatches(e, p, h);
    if (vdm) saveVdm(e, h);
    savePlanes(e, p, h);
    return NO_ERROR;
}

VP_STATUS ZkRestoreHardwareState(ZK_DEVICE_EXTENSION *e, const VIDEO_HARDWARE_STATE *in, ULONG inSize) {
    if (inSize < sizeof(VIDEO_HARDWARE_STATE) || in->StateLength < ZK_HARDWARE_STATE_SIZE)
        return ERROR_INSUFFICIENT_BUFFER;
    auto *h = reinterpret_cast<VIDEO_HARDWARE_STATE_HEADER *>(uintptr_t(in->StateHeader));
    if (h == nullptr) return ERROR_INVALID_PARAMETER;
    const uint64_t length = in->StateLength;
    // Every block the header names must lie inside the state; sizes are summed in 64 bits so
    // that no header value can wrap around the check.
    auto fits = [&](uint64_t offset, uint64_t size) { return offset + size <= length; };
    const bool vdm = (h->VGAStateFlags & kFlagVdm) != 0;
    const uint64_t dibBytes = uint64_t(h->DIBBitsPerPixel / 8) * h->DIBXResolution * h->DIBYResolution;
    if (!fits(h->BasicSequencerOffset, kSeqCount) || !fits(h->BasicCrtContOffset, kCrtcCount) ||
        !fits(h->BasicGraphContOffset, kGfxCount) || !fits(h->BasicAttribContOffset, kAttrCount) ||
        !fits(h->BasicDacOffset, kDacBytes) || !fits(h->BasicLatchesOffset, kLatchCount) ||
        !fits(h->ExtendedSequencerOffset, kExtSeqCount) || !fits(h->ExtendedCrtContOffset, kExtCrtcCount) ||
        !fits(h->ExtendedGraphContOffset, 0) || !fits(h->ExtendedAttribContOffset, kExtAttrCount) ||
        !fits(h->ExtendedDacOffset, 0) || (vdm && !fits(h->ExtendedValidatorStateOffset, kVdmBytes)) ||
        !fits(h->ExtendedMiscDataOffset, kMiscDataBytes) || !fits(h->Plane1Offset, h->PlaneLength) ||
        !fits(h->Plane2Offset, h->PlaneLength) || !fits(h->Plane3Offset, h->PlaneLength) ||
        !fits(h->Plane4Offset, h->PlaneLength) || !fits(h->DIBOffset, dibBytes) ||
        !fits(h->DIBXlatOffset, h->DIBXlatLength) || h->PlaneLength > kPlaneLength)
        return ERROR_INVALID_PARAMETER;

    // The VDM's trapped table must be one the miniport knows, checked before any register moves.
    VdmHead head{};
    const VIDEO_ACCESS_RANGE *known = nullptr;
    if (vdm) {
        VideoPortMoveMemory(&head, block(h, h->ExtendedValidatorStateOffset), sizeof head);
        if (head.count == 4 && sameRanges(head.ranges, g_zkVdmRanges, 4)) known = g_zkVdmRanges;
        else if (head.count == 2 && sameRanges(head.ranges, g_zkVdmRangesTrapped, 2)) known = g_zkVdmRangesTrapped;
        else return ERROR_INVALID_PARAMETER;
    }

    const Ports p{e};
    const UCHAR *pv = h->PortValue;
    const UCHAR misc = pv[kMiscOut - kPortFirst];
    const USHORT crtc = p.crtc(misc);
    const UCHAR *dac = block(h, h->BasicDacOffset);
    const UCHAR *seq = block(h, h->BasicSequencerOffset);
    const UCHAR *gfx = block(h, h->BasicGraphContOffset);

    // Blank while the planes are written: DAC entry 0 black and the pixel mask off.
    p.out(kDacWriteIndex, 0);
    for (int c = 0; c < 3; ++c) p.out(kDacData, 0);
    p.out(kDacMask, 0);

    // Plane access: chain-4 and odd/even off, write mode 0, all bits from the CPU.
    p.setIndexed(kSeqIndex, 4, 0x06);
    p.setIndexed(kGfxIndex, 1, 0x00);
    p.setIndexed(kGfxIndex, 3, 0x00);
    p.setIndexed(kGfxIndex, 5, 0x00);
    p.setIndexed(kGfxIndex, 6, 0x05);
    p.setIndexed(kGfxIndex, 8, 0xFF);
    // The latches: each byte into its plane at the last address, then read back to load them.
    const UCHAR *latch = block(h, h->BasicLatchesOffset);
    for (UCHAR plane = 0; plane < kLatchCount; ++plane) {
        p.setIndexed(kSeqIndex, 2, UCHAR(1 << plane));
        VideoPortWriteRegisterUchar(e->VgaMemory + 0xFFFF, latch[plane]);
    }
    const ULONG planeOffset[4] = {h->Plane1Offset, h->Plane2Offset, h->Plane3Offset, h->Plane4Offset};
    for (UCHAR plane = 0; plane < 4; ++plane) {
        p.setIndexed(kSeqIndex, 2, UCHAR(1 << plane));
        const UCHAR *src = block(h, planeOffset[plane]);
        for (ULONG i = 0; i < h->PlaneLength; ++i) VideoPortWriteRegisterUchar(e->VgaMemory + i, src[i]);
    }
    VideoPortReadRegisterUchar(e->VgaMemory + 0xFFFF);  // reload the latches from the saved bytes

    if (vdm) {
        VideoPortMoveMemory(e->VdmState, block(h, h->ExtendedValidatorStateOffset), kVdmBytes);
        e->TrappedRanges = known;
        e->TrappedRangeCount = head.count;
        VideoPortSetTrappedEmulatorPorts(e, head.count, const_cast<PVIDEO_ACCESS_RANGE>(known));
    }

    p.out(kMiscOut, UCHAR(misc & ~0x08));
    for (UCHAR i = 0; i < kSeqCount; ++i) p.setIndexed(kSeqIndex, i, seq[i]);
    const UCHAR *extSeq = block(h, h->ExtendedSequencerOffset);
    for (UCHAR i = 0; i < kExtSeqCount; ++i) p.setIndexed(kSeqIndex, UCHAR(6 + i), extSeq[i]);
    for (UCHAR i = 0; i < kGfxCount; ++i) p.setIndexed(kGfxIndex, i, gfx[i]);

    const UCHAR *crt = block(h, h->BasicCrtContOffset);
    p.setIndexed(crtc, 0x11, UCHAR(p.indexed(crtc, 0x11) & 0x7F));  // lift the write protection
    for (UCHAR i = 0; i < kCrtcCount; ++i) {
        if (i != 0x11) p.setIndexed(crtc, i, crt[i]);
    }
    p.setIndexed(crtc, 0x11, crt[0x11]);
    const UCHAR *extCrt = block(h, h->ExtendedCrtContOffset);
    for (ULONG i = 0; i < kExtCrtcCount; ++i) p.setIndexed(crtc, kExtCrtcIndex[i], extCrt[i]);

    const UCHAR *attr = block(h, h->BasicAttribContOffset);
    p.in(p.status1(misc));
    for (UCHAR i = 0; i < kAttrCount; ++i) {
        p.out(kAttrPort, i);
        p.out(kAttrPort, attr[i]);
    }
    p.out(kAttrPort, 22);
    p.out(kAttrPort, *block(h, h->ExtendedAttribContOffset));

    p.out(kDacWriteIndex, 1);
    for (ULONG i = 3; i < kDacBytes; ++i) p.out(kDacData, dac[i]);

    p.out(p.status1(misc), pv[kFeatureRead - kPortFirst]);
    p.out(crtc, pv[crtc - kPortFirst]);
    p.out(kGfxIndex, pv[kGfxIndex - kPortFirst]);
    p.out(kSeqIndex, pv[kSeqIndex - kPortFirst]);
    p.out(kDacMask, pv[kDacMask - kPortFirst]);

    // The attribute index, leaving the flip-flop where it was found.
    p.in(p.status1(misc));
    p.out(kAttrPort, pv[kAttrPort - kPortFirst]);
    if (h->AttribIndexDataState == 0) p.in(p.status1(misc));

    // Last, DAC entry 0 and the index the DAC was left at, in its read or write mode.
    p.out(kDacWriteIndex, 0);
    for (int c = 0; c < 3; ++c) p.out(kDacData, dac[c]);
    const UCHAR dacState = pv[kDacState - kPortFirst];
    const UCHAR index = pv[kDacWriteIndex - kPortFirst];
    if (dacState & 0x30) p.out(kDacWriteIndex, index);       // an index we cannot trust: as written
    else if ((dacState & 3) == 3) p.out(kDacState, UCHAR(index - 1));
    else p.out(kDacWriteIndex, index);
    return NO_ERROR;
}
