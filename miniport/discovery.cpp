// Image entry, adapter discovery, per-chip defaults and HwInitialize.
#include <cstring>
#include "miniport/kivport.h"
#include "platform/zk3/zk3.h"

ZK_PCI_RANGES g_zkPciRanges;

const ZK_WINDOW_DEF kZkWindowDefs[kZkWindowCount] = {
    {0x000000, 0x1000, true, true, false},    // chip control
    {0x100000, 0x1000, true, true, false},    // boot straps
    {0x101000, 0x1000, true, true, false},    // second strap register
    {0x001000, 0x1000, true, true, false},
    {0x002000, 0x2000, true, false, false},
    {0x400000, 0x2000, true, true, false},    // graphics engine
    {0x470000, 0x2000, true, false, false},
    {0x4B0000, 0x2000, true, false, false},
    {0x500000, 0x2000, true, false, false},
    {0x510000, 0x2000, true, false, false},
    {0x520000, 0x2000, true, false, false},
    {0x800000, 0x10000, true, true, false},   // user FIFO channel
    {0x0C0000, 0x8000, true, true, false},    // memory-mapped VGA registers
    {0x601000, 0x1000, true, true, false},    // memory-mapped CRTC
    {0x680000, 0x300, true, true, false},
    {0x680300, 0xD00, true, true, false},     // cursor position, general control
    {0x681200, 0xE00, true, true, false},     // DAC
    {0xC00000, 0x10000, true, false, true},   // instance memory (range 1)
    {0xC02200, 0x400, true, false, true},     // sub-windows of the instance memory, no own mapping
    {0xC00000, 0x2000, true, false, true},
};

namespace {

constexpr USHORT kVendorId = kiv::kZkPciVendorId;
constexpr USHORT kZk3DeviceId = ZK_CHIP_CODE_ZK3;
constexpr USHORT kZk4DeviceId = ZK_CHIP_CODE_ZK4;

VP_WCHAR kNameMemorySize[] = u"HardwareInformation.MemorySize";
VP_WCHAR kNameChipType[] = u"HardwareInformation.ChipType";
VP_WCHAR kNameAdapterString[] = u"HardwareInformation.AdapterString";
VP_WCHAR kNameDacType[] = u"HardwareInformation.DacType";
VP_WCHAR kNameDmtOverride[] = u"DMTOVERRIDE";
VP_WCHAR kNameIf09[] = u"IF09";
VP_WCHAR kNameTexMem[] = u"TexMem";
VP_WCHAR kNameDmaBuf[] = u"DMABuf";
VP_WCHAR kNameDmaPush[] = u"DMAPush";
VP_WCHAR kStringZk3[] = u"ZK3";
VP_WCHAR kStringZk4[] = u"ZK4";
VP_WCHAR kStringDac[] = u"Integrated RAMDAC";

ZK_DEVICE_EXTENSION *extOf(PVOID p) { return static_cast<ZK_DEVICE_EXTENSION *>(p); }

VP_PHYSICAL_ADDRESS phys(ULONG low, ULONG high = 0) { return VP_PHYSICAL_ADDRESS{low, LONG(high)}; }

bool detectOne(ZK_DEVICE_EXTENSION *ext, VIDEO_ACCESS_RANGE *ranges, ULONG *slot, USHORT deviceId,
               ULONG chipCode) {
    USHORT vendor = kVendorId, device = deviceId;
    ULONG foundSlot = 0;
    if (VideoPortGetAccessRanges(ext, 0, nullptr, 2, ranges, &vendor, &device, &foundSlot) != NO_ERROR)
        return false;
    // The two PCI ranges and the two VGA I/O ranges.
    ranges[2] = VIDEO_ACCESS_RANGE{phys(0x3B0), 12, 1, 1, 1, 0};
    ranges[3] = VIDEO_ACCESS_RANGE{phys(0x3C0), 32, 1, 1, 1, 0};
    if (VideoPortVerifyAccessRanges(ext, 4, ranges) != NO_ERROR) return false;
    *slot = foundSlot;
    ext->PciSlot = foundSlot;
    ext->ChipCode = chipCode;
    ext->ChipClass = 1;
    ext->PciVendorId = vendor;
    g_zkPciRanges = ZK_PCI_RANGES{ranges[0].RangeStart.LowPart, ULONG(ranges[0].RangeStart.HighPart),
                                  ranges[0].RangeLength, ranges[1].RangeStart.LowPart,
                                  ULONG(ranges[1].RangeStart.HighPart), ranges[1].RangeLength};
    const bool zk3 = chipCode == ZK_CHIP_CODE_ZK3;
    for (int i = 0; i < kZkWindowCount; ++i) {
        const ZK_WINDOW_DEF &d = kZkWindowDefs[i];
        ZK_REGISTER_WINDOW &w = ext->Windows[i];
        w = ZK_REGISTER_WINDOW{};
        if (!(zk3 ? d.Zk3 : d.Zk4)) continue;
        const uint64_t base = d.FrameBufferRange
            ? (uint64_t(g_zkPciRanges.Start1High) << 32 | g_zkPciRanges.Start1Low)
            : (uint64_t(g_zkPciRanges.Start0High) << 32 | g_zkPciRanges.Start0Low);
        const uint64_t a = base + d.Offset;
        w.PhysicalLow = ULONG(a);
        w.PhysicalHigh = ULONG(a >> 32);
        w.Length = d.Length;
    }
    return true;
}

bool mapWindow(ZK_DEVICE_EXTENSION *ext, int i) {
    ZK_REGISTER_WINDOW &w = ext->Windows[i];
    w.Mapped = static_cast<PUCHAR>(VideoPortGetDeviceBase(ext, phys(w.PhysicalLow, w.PhysicalHigh), w.Length, 0));
    return w.Mapped != nullptr;
}

// Maps the chip's windows, then the three fixed VGA ranges.
VP_STATUS mapRegisters(ZK_DEVICE_EXTENSION *ext) {
    const bool zk3 = ext->ChipCode == ZK_CHIP_CODE_ZK3;
    for (int i = 0; i < kZkWinInstance2200; ++i) {
        if (ext->Windows[i].Length == 0) continue;
        if (!mapWindow(ext, i)) return ERROR_INVALID_PARAMETER;
        if (i == kZkWinControl) VideoPortWriteRegisterUlong(reinterpret_cast<PULONG>(ext->Windows[i].Mapped + 0x200), 0xFFFFFFFFu);
    }
    if (zk3) {
        // The two instance sub-windows share the instance window's mapping.
        PUCHAR inst = ext->Windows[kZkWinInstance].Mapped;
        ext->Windows[kZkWinInstance2200].Mapped = inst + 0x2200;
        ext->Windows[kZkWinInstance0].Mapped = inst;
        VideoPortWriteRegisterUlong(reinterpret_cast<PULONG>(ext->Windows[kZkWinControl].Mapped + 0x140), 0);
    }
    ext->MonoPorts = static_cast<PUCHAR>(VideoPortGetDeviceBase(ext, phys(0x3B0), 12, 1));
    if (!ext->MonoPorts) return ERROR_INVALID_PARAMETER;
    ext->ColorPorts = static_cast<PUCHAR>(VideoPortGetDeviceBase(ext, phys(0x3C0), 32, 1));
    if (!ext->ColorPorts) return ERROR_INVALID_PARAMETER;
    ext->VgaMemory = static_cast<PUCHAR>(VideoPortGetDeviceBase(ext, phys(0xA0000), 0x20000, 0));
    if (!ext->VgaMemory) return ERROR_INVALID_PARAMETER;
    return NO_ERROR;
}

VP_STATUS mapDacPorts(ZK_DEVICE_EXTENSION *ext) {
    PUCHAR p = static_cast<PUCHAR>(VideoPortGetDeviceBase(ext, phys(0x3C8), 2, 1));
    if (!p) return ERROR_INVALID_PARAMETER;
    ext->PortBase = p - 0x3C8;
    return NO_ERROR;
}

// Gives back every mapping discovery made; the adapter stays unclaimed.
void unmapAll(ZK_DEVICE_EXTENSION *ext) {
    for (int i = 0; i < kZkWinInstance2200; ++i) {
        if (ext->Windows[i].Mapped) VideoPortFreeDeviceBase(ext, ext->Windows[i].Mapped);
    }
    for (auto &w : ext->Windows) w.Mapped = nullptr;
    for (PUCHAR *p : {&ext->MonoPorts, &ext->ColorPorts, &ext->VgaMemory}) {
        if (*p) VideoPortFreeDeviceBase(ext, *p);
        *p = nullptr;
    }
    if (ext->PortBase) VideoPortFreeDeviceBase(ext, ext->PortBase + 0x3C8);
    ext->PortBase = nullptr;
}

void readDword(ZK_DEVICE_EXTENSION *ext, VP_WCHAR *name, ULONG *field) {
    VideoPortGetRegistryParameters(ext, name, FALSE, ZkRegistryDwordCallback, field);
}

}  // namespace

// ---- entry -----------------------------------------------------------------------------------------

KIV_EXPORT ULONG WINAPI DriverEntry(PVOID Context1, PVOID Context2) {
    // Module-wide state as the image carries it.
    ZkResetModeTable();
    ZkResetRmLink();
    g_zkPciRanges = ZK_PCI_RANGES{};
    VIDEO_HW_INITIALIZATION_DATA data;
    VideoPortZeroMemory(&data, sizeof data);
    data.HwInitDataSize = sizeof data;
    data.AdapterInterfaceType = PCIBus;
    data.HwFindAdapter = ZkFindAdapter;
    data.HwInitialize = ZkInitialize;
    data.HwStartIO = ZkStartIO;
    data.HwDeviceExtensionSize = sizeof(ZK_DEVICE_EXTENSION);
    return VideoPortInitialize(Context1, Context2, &data, nullptr);
}

VP_STATUS WINAPI ZkRegistryDwordCallback(PVOID, PVOID Context, PVP_WSTR, PVOID ValueData, ULONG ValueLength) {
    if (!Context) return NO_ERROR;
    if (ValueLength > 4) return ERROR_INSUFFICIENT_BUFFER;
    if (ValueLength) VideoPortMoveMemory(Context, ValueData, ValueLength);
    return NO_ERROR;
}

bool ZkDetectChip(ZK_DEVICE_EXTENSION *ext, VIDEO_ACCESS_RANGE *ranges, ULONG *slot) {
    VP_WCHAR *name = nullptr;
    if (detectOne(ext, ranges, slot, kZk3DeviceId, ZK_CHIP_CODE_ZK3)) name = kStringZk3;
    else if (detectOne(ext, ranges, slot, kZk4DeviceId, ZK_CHIP_CODE_ZK4)) name = kStringZk4;
    else return false;
    VideoPortSetRegistryParameters(ext, kNameChipType, name, sizeof kStringZk3);
    VideoPortSetRegistryParameters(ext, kNameAdapterString, name, sizeof kStringZk3);
    VideoPortSetRegistryParameters(ext, kNameDacType, kStringDac, sizeof kStringDac);
    return true;
}

bool ZkInitChipDefaults(ZK_DEVICE_EXTENSION *ext) {
    const bool zk3 = ext->ChipCode == ZK_CHIP_CODE_ZK3;
    // Clear the chip and mode state: from the memory size through the picture offsets.
    auto *first = reinterpret_cast<UCHAR *>(&ext->MemoryMegabytes);
    auto *last = reinterpret_cast<UCHAR *>(&ext->PictureOffsetY) + sizeof ext->PictureOffsetY;
    VideoPortZeroMemory(first, ULONG(last - first));

    const ULONG straps = ZkReadChipRegister(ext, 0x100000, 4);
    ext->MemoryBusWidth = (straps & 4) ? 128 : 64;
    static const UCHAR kZk3Megabytes[4] = {8, 2, 4, 0};   // 3 is not a ZK3 strap value
    static const UCHAR kZk4Megabytes[4] = {2, 4, 8, 16};
    ext->MemoryMegabytes = (zk3 ? kZk3Megabytes : kZk4Megabytes)[straps & 3];
    if (ext->MemoryMegabytes == 0) return false;
    ext->MemoryBytes = ext->MemoryMegabytes << 20;

    const ZK_MODE_ENTRY &row = ZkMasterModeTable()[kZkDefaultModeRow];
    ext->ModeWidth = row.Width;
    ext->ModeHeight = row.Height;
    ext->ModeBitsPerPixel = row.BitsPerPixel;
    ext->ModeRefresh = row.Refresh;
    ext->ModeHFrontPorch = row.HFrontPorch;
    ext->ModeHSync = row.HSync;
    ext->ModeHBackPorch = row.HBackPorch;
    ext->ModeVFrontPorch = row.VFrontPorch;
    ext->ModeVSync = row.VSync;
    ext->ModeVBackPorch = row.VBackPorch;
    ext->ModeFlags = row.Flags;
    ext->PixelClock = 0;
    ext->CursorImageAddress = zk3 ? 0x3800 : 0;

    // Scaled-output probe: CRTC 0x28 bit 7 behind the extended-register lock.
    UCHAR crtc28;
    if (zk3) {
        const UCHAR old = ZkReadSeq(ext, 6);
        ZkWriteSeq(ext, 6, 0x57);
        crtc28 = ZkReadCrtc(ext, 0x28);
        if (old == 0) ZkWriteSeq(ext, 6, 0x99);
    } else {
        const UCHAR old = ZkReadCrtc(ext, 0x1F);
        ZkWriteCrtc(ext, 0x1F, 0x57);
        crtc28 = ZkReadCrtc(ext, 0x28);
        if (old == 0) ZkWriteCrtc(ext, 0x1F, 0x99);
        else if (old == 1) ZkWriteCrtc(ext, 0x1F, 0x75);
        else if (old == 3) ZkWriteCrtc(ext, 0x1F, 0x57);
    }
    if (crtc28 & 0x80) {
        ext->OutputKind = 2;
        ext->OutputMode = 2;
        ext->VisibleWidth = 620;
        ext->VisibleHeight = 420;
        ext->ScaleX = 0x108421;
        ext->ScaleY = 0x124924;
    } else {
        ext->VisibleWidth = 640;
        ext->VisibleHeight = 480;
        ext->ScaleX = 0x100000;
        ext->ScaleY = 0x100000;
    }
    return true;
}

VP_STATUS WINAPI ZkFindAdapter(PVOID HwDeviceExtension, PVOID, PVP_WSTR, PVIDEO_PORT_CONFIG_INFO ConfigInfo,
                               PUCHAR Again) {
    ZK_DEVICE_EXTENSION *ext = extOf(HwDeviceExtension);
    if (!ConfigInfo || ConfigInfo->Length < sizeof(VIDEO_PORT_CONFIG_INFO)) return ERROR_INVALID_PARAMETER;
    VIDEO_ACCESS_RANGE ranges[4];
    VideoPortZeroMemory(ranges, sizeof ranges);
    ULONG slot = 0;
    if (!ZkDetectChip(ext, ranges, &slot)) return ERROR_DEV_NOT_EXIST;
    VP_STATUS status = mapRegisters(ext);
    if (status == NO_ERROR) status = mapDacPorts(ext);
    if (status != NO_ERROR) {
        unmapAll(ext);
        return status;
    }
    // A ZK3 strapped to the undefined memory size is not an adapter we can drive.
    if (!ZkInitChipDefaults(ext)) {
        unmapAll(ext);
        return ERROR_DEV_NOT_EXIST;
    }
    VideoPortSetRegistryParameters(ext, kNameMemorySize, &ext->MemoryBytes, 4);
    ZkValidateModes(ext);

    ConfigInfo->VdmPhysicalVideoMemoryAddress = phys(0xA0000);
    ConfigInfo->VdmPhysicalVideoMemoryLength = 0x20000;
    ConfigInfo->NumEmulatorAccessEntries = 0;
    ConfigInfo->EmulatorAccessEntries = nullptr;
    ConfigInfo->EmulatorAccessEntriesContext = 0;
    // The save-state request writes this much; the port sizes its buffer from it.
    ConfigInfo->HardwareStateSize = ZK_HARDWARE_STATE_SIZE;

    ext->DmtOverride = 0;
    readDword(ext, kNameDmtOverride, &ext->DmtOverride);
    ext->If09 = 1;
    readDword(ext, kNameIf09, &ext->If09);
    ext->TexMem = 0;
    readDword(ext, kNameTexMem, &ext->TexMem);
    ext->DmaBufferSize = 0;
    if (ext->TexMem == 0) {
        ULONG units = 0;
        if (VideoPortGetRegistryParameters(ext, kNameDmaBuf, FALSE, ZkRegistryDwordCallback, &units) == NO_ERROR)
            ext->DmaBufferSize = units > 0xFFFF ? 0xFFFF0000u : units << 16;   // no 32-bit wrap
        else
            ext->DmaBufferSize = 0x10000;
    }
    ext->DmaPush = 0;
    readDword(ext, kNameDmaPush, &ext->DmaPush);

    if (Again) *Again = FALSE;
    return NO_ERROR;
}

BOOLEAN WINAPI ZkInitialize(PVOID HwDeviceExtension) {
    ZK_DEVICE_EXTENSION *ext = extOf(HwDeviceExtension);
    ext->CursorColumn = 0;
    ext->CursorRow = 0;
    ext->CursorStart = 0;
    ext->CursorEnd = 31;
    ext->CursorVisible = 1;
    ext->Flags = 0;
    return TRUE;
}

// ---- chip register access ----------------------------------------------------------------------------

namespace {
// Mapped address of an aperture offset, or null when no mapped window covers it.
PUCHAR translate(ZK_DEVICE_EXTENSION *ext, ULONG offset, unsigned size) {
    for (int i = 0; i < kZkWinInstance; ++i) {
        const ZK_REGISTER_WINDOW &w = ext->Windows[i];
        const ULONG start = kZkWindowDefs[i].Offset;
        if (w.Mapped && offset - start < w.Length && w.Length - (offset - start) >= size)
            return w.Mapped + (offset - start);
    }
    return nullptr;
}
}  // namespace

ULONG ZkReadChipRegister(ZK_DEVICE_EXTENSION *ext, ULONG offset, unsigned size) {
    PUCHAR p = translate(ext, offset, size);
    if (!p) return 0;
    if (size == 1) return VideoPortReadRegisterUchar(p);
    if (size == 2) return VideoPortReadRegisterUshort(reinterpret_cast<PUSHORT>(p));
    return VideoPortReadRegisterUlong(reinterpret_cast<PULONG>(p));
}

void ZkWriteChipRegister32(ZK_DEVICE_EXTENSION *ext, ULONG offset, ULONG value) {
    if (PUCHAR p = translate(ext, offset, 4)) VideoPortWriteRegisterUlong(reinterpret_cast<PULONG>(p), value);
}

void ZkWriteChipRegister16(ZK_DEVICE_EXTENSION *ext, ULONG offset, USHORT value) {
    if (PUCHAR p = translate(ext, offset, 2)) VideoPortWriteRegisterUshort(reinterpret_cast<PUSHORT>(p), value);
}

void ZkWriteChipRegister8(ZK_DEVICE_EXTENSION *ext, ULONG offset, UCHAR value) {
    if (PUCHAR p = translate(ext, offset, 1)) VideoPortWriteRegisterUchar(p, value);
}

USHORT ZkReadIndexedRegister(ZK_DEVICE_EXTENSION *ext, ULONG port, UCHAR index) {
    ZkWriteChipRegister8(ext, port, index);
    return USHORT(ZkReadChipRegister(ext, port, 2));
}

void ZkWriteIndexed(ZK_DEVICE_EXTENSION *ext, ULONG port, UCHAR index, UCHAR value) {
    ZkWriteChipRegister16(ext, port, USHORT(value << 8 | index));
}

void ZkWriteIndexedRange(ZK_DEVICE_EXTENSION *ext, ULONG port, UCHAR firstIndex, ULONG count, const UCHAR *bytes) {
    for (ULONG i = 0; i < count; ++i) ZkWriteIndexed(ext, port, UCHAR(firstIndex + i), bytes[i]);
}
