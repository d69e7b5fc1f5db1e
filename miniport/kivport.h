// kivport: the video miniport of the ZK3 and ZK4 chips. The device extension is the only state
// of an adapter; the procs below are what the miniport's own files call of each other.
#pragma once
#include <cstdint>
#include <cstring>
#include "include/zk_miniport.h"
#include "include/zkgfx.h"
#include "platform/videoprt/videoprt.h"

// A word of a caller's byte block or of a packed record, where it need not be aligned: copied, never
// stored or read through a word pointer.
inline void ZkStoreUlong(void *at, ULONG value) { std::memcpy(at, &value, sizeof value); }
inline ULONG ZkLoadUlong(const void *at) {
    ULONG value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// ---- register windows -------------------------------------------------------------------------
struct ZK_REGISTER_WINDOW {
    ULONG PhysicalLow, PhysicalHigh;  // 64-bit physical address
    PUCHAR Mapped;                    // null when not mapped
    ULONG Length;
};

enum ZkWindowIndex {
    kZkWinControl, kZkWinStraps, kZkWinStraps2, kZkWin1000, kZkWin2000, kZkWinEngine,
    kZkWin470000, kZkWin4B0000, kZkWin500000, kZkWin510000, kZkWin520000,
    kZkWinUserFifo, kZkWinVga, kZkWinCrtc, kZkWin680000, kZkWin680300, kZkWinDac,
    kZkWinInstance, kZkWinInstance2200, kZkWinInstance0,
    kZkWindowCount
};

// ---- the mode table ---------------------------------------------------------------------------
struct ZK_MODE_ENTRY {
    ULONG Valid;
    ULONG Width, Height, BitsPerPixel;
    ULONG HFrontPorch, HSync, HBackPorch;
    ULONG VFrontPorch, VSync, VBackPorch;
    ULONG HPolarity, VPolarity;
    ULONG Flags;
    ULONG PixelClock;   // Hz
    ULONG Refresh;      // Hz; a mode set may lower it
};
static_assert(sizeof(ZK_MODE_ENTRY) == 60);

constexpr ULONG kZkModeCount = 357;
constexpr ULONG kZkDefaultModeRow = 8;   // 640x480, 16 bpp, 70 Hz

// ---- the device extension ---------------------------------------------------------------------
// A view of the frame buffer mapped into a process (Process 0: a free slot).
struct ZK_USER_VIEW {
    ULONG Process;
    ULONG Address;
};
constexpr ULONG kZkUserViewCount = 8;

struct ZK_DEVICE_EXTENSION {
    PUCHAR PortBase;                 // mapped DAC ports minus 0x3C8
    PUCHAR MonoPorts, ColorPorts, VgaMemory;
    ULONG UsableMemory;
    ULONG CurrentModeIndex;
    ULONG ValidModeCount;
    ZK_MODE_ENTRY *CurrentMode;      // null until the first mode set
    ULONG ChipCode;
    ULONG ChipClass;
    USHORT FontWidth, FontHeight;
    USHORT CursorColumn, CursorRow;
    UCHAR CursorVisible, CursorStart, CursorEnd, Pad0;
    ULONG PciVendorId;
    ZK_REGISTER_WINDOW Windows[kZkWindowCount];
    ULONG TexMem, DmaBufferSize, DmaPush;
    PUCHAR FrameBufferUser;
    // chip and mode state (cleared by ZkInitChipDefaults) ...
    ULONG MemoryMegabytes, MemoryBytes;
    ULONG ModeWidth, ModeHeight, ModeBitsPerPixel, ModeRefresh;
    ULONG ModeHFrontPorch, ModeHSync, ModeHBackPorch, ModeVFrontPorch, ModeVSync, ModeVBackPorch;
    ULONG ModeFlags;
    ULONG OutputKind, OutputMode;
    ULONG VisibleWidth, VisibleHeight;
    ULONG ScaleX, ScaleY;
    ULONG MemoryBusWidth;
    ULONG PixelClock, MemoryClock;
    ULONG CursorImageAddress;
    LONG PictureOffsetX, PictureOffsetY;
    // ... through here
    ULONG PciSlot;
    UCHAR VdmState[1216];
    ULONG TrappedRangeCount;
    const VIDEO_ACCESS_RANGE *TrappedRanges;
    ULONG Flags;
    UCHAR ArbitrationValid, Pad1[3];
    ULONG If09;
    ULONG DmtOverride;
    ULONG WriteCombineMask;
    ULONG PllReferenceKhz;           // reference of the last PLL computation (13,500 or 14,318)
    // One frame-buffer view per process, handed out again on every later request of that process;
    // the views go with the process and the device (the port releases them).
    ZK_USER_VIEW UserViews[kZkUserViewCount];
};

constexpr ULONG kZkFlagDisplayDriverAttached = 0x08;

// ---- entry and discovery -------------------------------------------------------------------------
KIV_EXPORT ULONG WINAPI DriverEntry(PVOID Context1, PVOID Context2);
VP_STATUS WINAPI ZkFindAdapter(PVOID HwDeviceExtension, PVOID HwContext, PVP_WSTR ArgumentString,
                               PVIDEO_PORT_CONFIG_INFO ConfigInfo, PUCHAR Again);
BOOLEAN WINAPI ZkInitialize(PVOID HwDeviceExtension);
BOOLEAN WINAPI ZkStartIO(PVOID HwDeviceExtension, PVIDEO_REQUEST_PACKET Packet);
VP_STATUS WINAPI ZkRegistryDwordCallback(PVOID HwDeviceExtension, PVOID Context, PVP_WSTR ValueName,
                                         PVOID ValueData, ULONG ValueLength);
bool ZkDetectChip(ZK_DEVICE_EXTENSION *ext, VIDEO_ACCESS_RANGE *ranges, ULONG *slot);
bool ZkInitChipDefaults(ZK_DEVICE_EXTENSION *ext);

// Register windows of a chip (offset in range 0, or range 1 when FrameBufferRange), shared by
// discovery and the public-access-range request.
struct ZK_WINDOW_DEF { ULONG Offset, Length; bool Zk3, Zk4, FrameBufferRange; };
extern const ZK_WINDOW_DEF kZkWindowDefs[kZkWindowCount];
// The two PCI ranges of the detected chip (range 0 registers, range 1 frame buffer).
struct ZK_PCI_RANGES { ULONG Start0Low, Start0High, Length0, Start1Low, Start1High, Length1; };
extern ZK_PCI_RANGES g_zkPciRanges;

// ---- chip register access by aperture offset -----------------------------------------------------
ULONG ZkReadChipRegister(ZK_DEVICE_EXTENSION *ext, ULONG offset, unsigned size);
void ZkWriteChipRegister32(ZK_DEVICE_EXTENSION *ext, ULONG offset, ULONG value);
void ZkWriteChipRegister16(ZK_DEVICE_EXTENSION *ext, ULONG offset, USHORT value);
void ZkWriteChipRegister8(ZK_DEVICE_EXTENSION *ext, ULONG offset, UCHAR value);
// Indexed register at index port `port` (e.g. 0x6013D4): writes the index byte and returns
// (data << 8) | index.
USHORT ZkReadIndexedRegister(ZK_DEVICE_EXTENSION *ext, ULONG port, UCHAR index);
void ZkWriteIndexed(ZK_DEVICE_EXTENSION *ext, ULONG port, UCHAR index, UCHAR value);
void ZkWriteIndexedRange(ZK_DEVICE_EXTENSION *ext, ULONG port, UCHAR firstIndex, ULONG count,
                         const UCHAR *bytes);
constexpr ULONG kZkSeqIndex = 0xC03C4;
constexpr ULONG kZkGfxIndex = 0xC03CE;
constexpr ULONG kZkCrtcIndex = 0x6013D4;
inline UCHAR ZkReadSeq(ZK_DEVICE_EXTENSION *e, UCHAR i) { return UCHAR(ZkReadIndexedRegister(e, kZkSeqIndex, i) >> 8); }
inline UCHAR ZkReadCrtc(ZK_DEVICE_EXTENSION *e, UCHAR i) { return UCHAR(ZkReadIndexedRegister(e, kZkCrtcIndex, i) >> 8); }
inline void ZkWriteSeq(ZK_DEVICE_EXTENSION *e, UCHAR i, UCHAR v) { ZkWriteIndexed(e, kZkSeqIndex, i, v); }
inline void ZkWriteCrtc(ZK_DEVICE_EXTENSION *e, UCHAR i, UCHAR v) { ZkWriteIndexed(e, kZkCrtcIndex, i, v); }

// ---- modes ---------------------------------------------------------------------------------------
extern ZK_MODE_ENTRY g_zkModeTable[kZkModeCount];
const ZK_MODE_ENTRY *ZkMasterModeTable();   // the rows as the image carries them
void ZkResetModeTable();   // the table as the image carries it (at load)
void ZkValidateModes(ZK_DEVICE_EXTENSION *ext);
VP_STATUS ZkQueryNumAvailableModes(ZK_DEVICE_EXTENSION *ext, PVOID out, ULONG outLength, ULONG *information);
VP_STATUS ZkQueryAvailableModes(ZK_DEVICE_EXTENSION *ext, PVOID out, ULONG outLength, ULONG *information);
VP_STATUS ZkQueryCurrentMode(ZK_DEVICE_EXTENSION *ext, PVOID out, ULONG outLength, ULONG *information);

// ---- display FIFO arbitration --------------------------------------------------------------------
struct ZK_ARB_INPUT {
    ULONG Depth;
    UCHAR EngineClient, VideoClient, SinglePass, FastPages;
    LONG BusWidth, VideoDivisor, PixelClock, MemoryClock, PageCost, BaseCost;
};
struct ZK_ARB_STATE {
    LONG GraphicsRate, VideoRate, EngineRate;
    UCHAR GraphicsEnabled, VideoEnabled, GraphicsHeld, VideoHeld;
    LONG GraphicsBurst, VideoBurst;
    LONG Mode;
    LONG VideoLevel, GraphicsLevel, EngineLevel;
    LONG VideoMin, GraphicsMin, EngineMin;
    LONG GraphicsLow, VideoLow;
    LONG LatencyBytes;
    LONG Current;                    // 0 video, 1 graphics, 2 engine, 3 none
    UCHAR FirstVideo, FirstGraphics, FirstEngine, Valid;
};
struct ZK_ARB_RESULT {
    LONG GraphicsWatermark, VideoWatermark, GraphicsBurst, VideoBurst;
    UCHAR ModeOne, ModeTwo, Valid, Reserved;
};
void ZkComputeArbitration(ZK_ARB_RESULT *result, const ZK_ARB_INPUT *input);
void ZkIterateArbitration(ZK_ARB_RESULT *result, const ZK_ARB_INPUT *input, ZK_ARB_STATE *state);
void ZkEvaluateArbitration(ZK_ARB_RESULT *result, const ZK_ARB_INPUT *input, ZK_ARB_STATE *state);
void ZkCheckArbitration(ZK_ARB_RESULT *result, const ZK_ARB_INPUT *input, ZK_ARB_STATE *state);
// Clock of a PLL register value in Hz for a reference in kHz.
ULONG ZkPllClockHz(ULONG pll, ULONG referenceKhz);
void ZkSetArbitrationZk3(ZK_DEVICE_EXTENSION *ext);

// ---- mode programming ------------------------------------------------------------------------------
// CRTC information block built from a timing row (pixels and lines; flags bit 0 double scan,
// bit 1 interlaced, bit 2 negative horizontal sync, bit 3 negative vertical sync).
struct ZK_CRTC_BLOCK {
    USHORT HTotal, HSyncStart, HSyncEnd, VTotal, VSyncStart, VSyncEnd;
    UCHAR Flags;
    ULONG PixelClock;   // Hz
    USHORT Refresh;     // 0.01 Hz
};
bool ZkComputePll(ULONG referenceKhz, ULONG targetKhz, ULONG *p, ULONG *n, ULONG *m, ULONG *achievedKhz);
void ZkSetPixelClock(ZK_DEVICE_EXTENSION *ext, ULONG clock10k);
USHORT ZkSetVbeMode(ZK_DEVICE_EXTENSION *ext, ULONG modeNumber, const ZK_CRTC_BLOCK *info, const void *dmtRow, bool useDmt);
USHORT ZkSetModeThroughEngine(ZK_DEVICE_EXTENSION *ext, ULONG modeNumber, const ZK_CRTC_BLOCK *info, const void *dmtRow,
                              bool useDmt);
bool ZkSetModeChip(ZK_DEVICE_EXTENSION *ext, ZK_MODE_ENTRY *row);   // false: mode not changed
void ZkRestoreCursorZk3(ZK_DEVICE_EXTENSION *ext);
void ZkWaitEngineIdle(ZK_DEVICE_EXTENSION *ext);
VP_STATUS ZkSetCurrentMode(ZK_DEVICE_EXTENSION *ext, PVOID in, ULONG inLength);

// ---- the zkgfx link and relay ----------------------------------------------------------------------
bool ZkOpenRmLink();
bool ZkCloseRmLink();
bool ZkRmLinkOpen();
bool ZkForwardRmRequest(PVIDEO_REQUEST_PACKET packet);
// 122 (ERROR_INSUFFICIENT_BUFFER) when the caller's block is shorter than `length`.
VP_STATUS ZkForwardRmRequestFixed(PVIDEO_REQUEST_PACKET packet, ULONG length, ULONG statusOffset);
// A notice of the miniport's own: false when the link is closed or the call failed.
bool ZkSendRmNotice(ZK_DEVICE_EXTENSION *ext, ULONG code, ZK_RM_MODESET_PARAMS *params);
void ZkResetRmLink();   // module state at image load

// ---- private requests ------------------------------------------------------------------------------
void ZkLockUserBuffer(ZK_LOCKED_BUFFER *record);
void ZkUnlockUserBuffer(ZK_LOCKED_BUFFER *record);
bool ZkHandlePrivateRequest(ZK_DEVICE_EXTENSION *ext, PVIDEO_REQUEST_PACKET packet, VP_STATUS *status);

// ---- VGA state for full-screen sessions (hwstate.cpp) -----------------------------------------
extern const VIDEO_ACCESS_RANGE g_zkVdmRanges[4];          // ENABLE_VDM's table
extern const VIDEO_ACCESS_RANGE g_zkVdmRangesTrapped[2];   // both VGA ranges trapped
VP_STATUS ZkSaveHardwareState(ZK_DEVICE_EXTENSION *e, VIDEO_HARDWARE_STATE *out, ULONG outSize, ULONG *information);
VP_STATUS ZkRestoreHardwareState(ZK_DEVICE_EXTENSION *e, const VIDEO_HARDWARE_STATE *in, ULONG inSize);
