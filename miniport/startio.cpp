// HwStartIO: the one entry through which the video port delivers every request.
#include "miniport/kivport.h"

namespace {

const VIDEO_ACCESS_RANGE *const kVdmRanges = g_zkVdmRanges;

VP_PHYSICAL_ADDRESS range1(ULONG offset) {
    const uint64_t a = (uint64_t(g_zkPciRanges.Start1High) << 32 | g_zkPciRanges.Start1Low) + offset;
    return VP_PHYSICAL_ADDRESS{ULONG(a), LONG(a >> 32)};
}
VP_PHYSICAL_ADDRESS range0(ULONG offset) {
    const uint64_t a = (uint64_t(g_zkPciRanges.Start0High) << 32 | g_zkPciRanges.Start0Low) + offset;
    return VP_PHYSICAL_ADDRESS{ULONG(a), LONG(a >> 32)};
}

VP_STATUS mapVideoMemory(ZK_DEVICE_EXTENSION *e, PVIDEO_REQUEST_PACKET p) {
    if (p->InputBufferLength < sizeof(VIDEO_MEMORY) || p->OutputBufferLength < sizeof(VIDEO_MEMORY_INFORMATION))
        return ERROR_INSUFFICIENT_BUFFER;
    p->StatusBlock->Information = sizeof(VIDEO_MEMORY_INFORMATION);
    ULONG length = e->UsableMemory, inIo = e->WriteCombineMask & e->Flags;
    PVOID address = reinterpret_cast<PVOID>(uintptr_t(static_cast<VIDEO_MEMORY *>(p->InputBuffer)->RequestedVirtualAddress));
    const VP_STATUS s = VideoPortMapMemory(e, range1(0), &length, &inIo, &address);
    auto *out = static_cast<VIDEO_MEMORY_INFORMATION *>(p->OutputBuffer);
    out->VideoRamBase = out->FrameBufferBase = ULONG(uintptr_t(address));
    out->VideoRamLength = out->FrameBufferLength = length;
    if (s == NO_ERROR) e->FrameBufferUser = static_cast<PUCHAR>(address);
    return s;
}

// The caller's buffer must have room for one record beyond the twelve of the reply, and all of
// it is cleared: after the last range the caller always finds a zeroed record.
constexpr ULONG kPublicRangesBufferSize = (ZK_PUBLIC_RANGE_COUNT + 1) * sizeof(VIDEO_PUBLIC_ACCESS_RANGES);
static_assert(kPublicRangesBufferSize == 156);

VP_STATUS queryPublicRanges(ZK_DEVICE_EXTENSION *e, PVIDEO_REQUEST_PACKET p) {
    if (p->OutputBufferLength < kPublicRangesBufferSize) return ERROR_INSUFFICIENT_BUFFER;
    p->StatusBlock->Information = ZK_PUBLIC_RANGE_COUNT * sizeof(VIDEO_PUBLIC_ACCESS_RANGES);
    VideoPortZeroMemory(p->OutputBuffer, kPublicRangesBufferSize);
    const bool zk3 = e->ChipCode == ZK_CHIP_CODE_ZK3;
    struct Entry { bool present, fb; ULONG offset, length; };
    const Entry entries[ZK_PUBLIC_RANGE_COUNT] = {
        {true, false, 0x800000, 0x10000}, {true, false, zk3 ? 0x4006B0u : 0x400700u, 16}, {true, false, 0x100200, 16},
        {false, false, 0, 0}, {false, false, 0, 0}, {true, false, 0x601000, 0x1000}, {true, false, 0xC0000, 0x8000},
        {true, false, 0x680300, 0xD00}, {true, true, zk3 ? 0xC00000u : 0xFF700000u, 0x10000}, {false, false, 0, 0},
        {true, false, 0x400000, 0x2000}, {true, false, 0x002000, 0x2000}};
    auto *out = static_cast<VIDEO_PUBLIC_ACCESS_RANGES *>(p->OutputBuffer);
    VP_STATUS s = NO_ERROR;
    for (ULONG i = 0; i < ZK_PUBLIC_RANGE_COUNT; ++i) {
        if (!entries[i].present) continue;
        ULONG length = entries[i].length, inIo = 0;
        PVOID address = nullptr;
        const ULONG off = entries[i].offset;
        s = VideoPortMapMemory(e, entries[i].fb ? VP_PHYSICAL_ADDRESS{g_zkPciRanges.Start1Low + off, 0} : range0(off),
                               &length, &inIo, &address);
        out[i] = VIDEO_PUBLIC_ACCESS_RANGES{0, inIo, s == NO_ERROR ? ULONG(uintptr_t(address)) : 0};
    }
    return s;
}

VP_STATUS freePublicRanges(ZK_DEVICE_EXTENSION *e, PVIDEO_REQUEST_PACKET p) {
    if (p->InputBufferLength < ZK_FREE_RANGES_MIN_INPUT) return ERROR_INSUFFICIENT_BUFFER;
    // Every range the query handed out can come back: ten slots, or all twelve when given.
    const ULONG count = p->InputBufferLength >= ZK_FREE_RANGES_FULL_INPUT ? 12 : 10;
    const ULONG *addresses = static_cast<const ULONG *>(p->InputBuffer);
    for (ULONG i = 0; i < count; ++i) {
        if (!addresses[i]) continue;
        const VP_STATUS s = VideoPortUnmapMemory(e, reinterpret_cast<PVOID>(uintptr_t(addresses[i])), nullptr);
        if (s != NO_ERROR) return s;
    }
    return NO_ERROR;
}

VP_STATUS shareVideoMemory(ZK_DEVICE_EXTENSION *e, PVIDEO_REQUEST_PACKET p) {
    if (p->InputBufferLength < sizeof(VIDEO_SHARE_MEMORY) || p->OutputBufferLength < sizeof(VIDEO_SHARE_MEMORY_INFORMATION))
        return ERROR_INSUFFICIENT_BUFFER;
    const VIDEO_SHARE_MEMORY in = *static_cast<VIDEO_SHARE_MEMORY *>(p->InputBuffer);
    if (in.ViewOffset > e->UsableMemory || uint64_t(in.ViewOffset) + in.ViewSize > e->UsableMemory)
        return ERROR_INVALID_PARAMETER;
    p->StatusBlock->Information = sizeof(VIDEO_SHARE_MEMORY_INFORMATION);
    ULONG length = in.ViewSize, inIo = VIDEO_MEMORY_SPACE_USER_MODE | (e->WriteCombineMask & e->Flags);
    PVOID address = reinterpret_cast<PVOID>(uintptr_t(in.ProcessHandle));
    const VP_STATUS s = VideoPortMapMemory(e, range1(0), &length, &inIo, &address);
    *static_cast<VIDEO_SHARE_MEMORY_INFORMATION *>(p->OutputBuffer) =
        VIDEO_SHARE_MEMORY_INFORMATION{in.ViewOffset, length, ULONG(uintptr_t(address))};
    return s;
}

VP_STATUS cursorRequest(ZK_DEVICE_EXTENSION *e, PVIDEO_REQUEST_PACKET p) {
    if (!e->CurrentMode) return ERROR_INVALID_FUNCTION;
    switch (p->IoControlCode) {
    case IOCTL_VIDEO_QUERY_CURSOR_POSITION: {
        if (p->OutputBufferLength < sizeof(VIDEO_CURSOR_POSITION)) return ERROR_INSUFFICIENT_BUFFER;
        *static_cast<VIDEO_CURSOR_POSITION *>(p->OutputBuffer) = VIDEO_CURSOR_POSITION{int16_t(e->CursorColumn), int16_t(e->CursorRow)};
        p->StatusBlock->Information = sizeof(VIDEO_CURSOR_POSITION);
        return NO_ERROR;
    }
    case IOCTL_VIDEO_SET_CURSOR_POSITION: {
        if (p->InputBufferLength < sizeof(VIDEO_CURSOR_POSITION)) return ERROR_INSUFFICIENT_BUFFER;
        const auto *in = static_cast<VIDEO_CURSOR_POSITION *>(p->InputBuffer);
        e->CursorColumn = USHORT(in->Column);
        e->CursorRow = USHORT(in->Row);
        return NO_ERROR;
    }
    case IOCTL_VIDEO_QUERY_CURSOR_ATTR: {
        if (p->OutputBufferLength < sizeof(VIDEO_CURSOR_ATTRIBUTES)) return ERROR_INSUFFICIENT_BUFFER;
        auto *out = static_cast<VIDEO_CURSOR_ATTRIBUTES *>(p->OutputBuffer);
        VideoPortZeroMemory(out, sizeof *out);
        out->Width = e->CursorEnd;
        out->Height = e->CursorStart;
        out->Enable = e->CursorVisible;
        p->StatusBlock->Information = sizeof(VIDEO_CURSOR_ATTRIBUTES);
        return NO_ERROR;
    }
    default: {   // IOCTL_VIDEO_SET_CURSOR_ATTR
        if (p->InputBufferLength < sizeof(VIDEO_CURSOR_ATTRIBUTES)) return ERROR_INSUFFICIENT_BUFFER;
        const auto *in = static_cast<VIDEO_CURSOR_ATTRIBUTES *>(p->InputBuffer);
        if (in->Height >= e->FontHeight || in->Width >= 32) return ERROR_INVALID_PARAMETER;
        e->CursorStart = UCHAR(in->Height);
        e->CursorEnd = UCHAR(in->Width);
        e->CursorVisible = in->Enable;
        const UCHAR a = ZkReadCrtc(e, 0x0A), b = ZkReadCrtc(e, 0x0B);
        ZkWriteCrtc(e, 0x0A, UCHAR((in->Height & 0x1F) | (a & 0xC0) | (in->Enable ? 0 : 0x20)));
        const ULONG end = in->Width < ULONG(e->FontHeight - 1) ? in->Width : ULONG(e->FontHeight - 1);
        ZkWriteCrtc(e, 0x0B, UCHAR((end & 0x1F) | (b & 0xE0)));
        return NO_ERROR;
    }
    }
}

VP_STATUS loadFont(ZK_DEVICE_EXTENSION *e, PVIDEO_REQUEST_PACKET p) {
    if (!e->CurrentMode) return ERROR_INVALID_FUNCTION;
    const auto *in = static_cast<VIDEO_LOAD_FONT_INFORMATION *>(p->InputBuffer);
    if (p->InputBufferLength <= 11 || p->InputBufferLength < uint64_t(in->FontSize) + 11) return ERROR_INSUFFICIENT_BUFFER;
    if ((in->WidthInPixels != 8 && in->WidthInPixels != 9) || in->HeightInPixels > 32) return ERROR_INVALID_PARAMETER;
    if (in->FontSize < ULONG(in->HeightInPixels) * 256) return ERROR_INSUFFICIENT_BUFFER;
    e->FontWidth = in->WidthInPixels;
    e->FontHeight = in->HeightInPixels;
    for (ULONG glyph = 0; glyph < 256; ++glyph)
        for (ULONG row = 0; row < in->HeightInPixels; ++row)
            VideoPortWriteRegisterUchar(e->VgaMemory + glyph * 32 + row, in->Font[glyph * in->HeightInPixels + row]);
    ZkWriteCrtc(e, 0x09, UCHAR(in->HeightInPixels - 1));
    ZkWriteCrtc(e, 0x0B, 0);
    ZkWriteCrtc(e, 0x0A, 0xFF);
    return NO_ERROR;
}

VP_STATUS setPaletteRegisters(ZK_DEVICE_EXTENSION *e, PVIDEO_REQUEST_PACKET p) {
    const auto *in = static_cast<VIDEO_PALETTE_DATA *>(p->InputBuffer);
    if (p->InputBufferLength <= 5 || p->InputBufferLength < ULONG(in->NumEntries) * 2 + 4) return ERROR_INSUFFICIENT_BUFFER;
    if (in->FirstEntry >= 256 || in->NumEntries == 0 || ULONG(in->FirstEntry) + in->NumEntries > 16)
        return ERROR_INVALID_PARAMETER;
    VideoPortReadPortUchar(e->PortBase + 0x3DA);
    for (ULONG i = 0; i < in->NumEntries; ++i) {
        VideoPortWritePortUchar(e->PortBase + 0x3C0, UCHAR(in->FirstEntry + i));
        VideoPortWritePortUchar(e->PortBase + 0x3C0, UCHAR(in->Colors[i]));
    }
    VideoPortWritePortUchar(e->PortBase + 0x3C0, 0x20);
    return NO_ERROR;
}

VP_STATUS setColorRegisters(ZK_DEVICE_EXTENSION *e, PVIDEO_REQUEST_PACKET p) {
    const auto *in = static_cast<VIDEO_CLUT *>(p->InputBuffer);
    if (p->InputBufferLength <= 3 || p->InputBufferLength < ULONG(in->NumEntries) * 4 + 4) return ERROR_INSUFFICIENT_BUFFER;
    if (in->NumEntries == 0 || in->FirstEntry >= 256 || ULONG(in->FirstEntry) + in->NumEntries > 256)
        return ERROR_INVALID_PARAMETER;
    while (!(ZkReadChipRegister(e, 0x6013DA, 1) & 0x08)) {}   // vertical retrace
    VideoPortWritePortUchar(e->PortBase + 0x3C8, UCHAR(in->FirstEntry));
    for (ULONG i = 0; i < in->NumEntries; ++i) {
        VideoPortWritePortUchar(e->PortBase + 0x3C9, in->LookupTable[i].Red);
        VideoPortWritePortUchar(e->PortBase + 0x3C9, in->LookupTable[i].Green);
        VideoPortWritePortUchar(e->PortBase + 0x3C9, in->LookupTable[i].Blue);
    }
    return NO_ERROR;
}

}  // namespace

BOOLEAN WINAPI ZkStartIO(PVOID HwDeviceExtension, PVIDEO_REQUEST_PACKET p) {
    auto *e = static_cast<ZK_DEVICE_EXTENSION *>(HwDeviceExtension);
    STATUS_BLOCK *sb = p->StatusBlock;
    VP_STATUS status = ERROR_INVALID_FUNCTION;
    if (ZkHandlePrivateRequest(e, p, &status)) {
        sb->Status = ULONG(status);
        return TRUE;
    }
    switch (p->IoControlCode) {
    case IOCTL_VIDEO_ENABLE_VDM:
        VideoPortZeroMemory(e->VdmState, sizeof e->VdmState);
        e->TrappedRanges = kVdmRanges;
        e->TrappedRangeCount = 4;
        VideoPortSetTrappedEmulatorPorts(e, 4, const_cast<PVIDEO_ACCESS_RANGE>(kVdmRanges));
        status = NO_ERROR;
        break;
    case IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES:
        status = ZkQueryNumAvailableModes(e, p->OutputBuffer, p->OutputBufferLength, &sb->Information);
        break;
    case IOCTL_VIDEO_QUERY_AVAIL_MODES:
        status = ZkQueryAvailableModes(e, p->OutputBuffer, p->OutputBufferLength, &sb->Information);
        break;
    case IOCTL_VIDEO_QUERY_CURRENT_MODE:
        status = ZkQueryCurrentMode(e, p->OutputBuffer, p->OutputBufferLength, &sb->Information);
        break;
    case IOCTL_VIDEO_SET_CURRENT_MODE:
        status = ZkSetCurrentMode(e, p->InputBuffer, p->InputBufferLength);
        if (p->OutputBufferLength == 1) {
            *static_cast<UCHAR *>(p->OutputBuffer) = e->ArbitrationValid;
            sb->Information = 1;
        }
        break;
    case IOCTL_VIDEO_RESET_DEVICE: {
        VIDEO_X86_BIOS_ARGUMENTS args{};
        args.Eax = 0x0003;
        status = VideoPortInt10(e, &args);
        break;
    }
    case IOCTL_VIDEO_LOAD_AND_SET_FONT: status = loadFont(e, p); break;
    case IOCTL_VIDEO_SET_PALETTE_REGISTERS: status = setPaletteRegisters(e, p); break;
    case IOCTL_VIDEO_SET_COLOR_REGISTERS: status = setColorRegisters(e, p); break;
    case IOCTL_VIDEO_SET_CURSOR_ATTR:
    case IOCTL_VIDEO_QUERY_CURSOR_ATTR:
    case IOCTL_VIDEO_SET_CURSOR_POSITION:
    case IOCTL_VIDEO_QUERY_CURSOR_POSITION:
        status = cursorRequest(e, p);
        if (status != NO_ERROR) sb->Information = 0;
        break;
    case IOCTL_VIDEO_MAP_VIDEO_MEMORY: status = mapVideoMemory(e, p); break;
    case IOCTL_VIDEO_UNMAP_VIDEO_MEMORY: {
        if (p->InputBufferLength < sizeof(VIDEO_MEMORY)) {
            status = ERROR_INSUFFICIENT_BUFFER;
            break;
        }
        PVOID address = reinterpret_cast<PVOID>(uintptr_t(static_cast<VIDEO_MEMORY *>(p->InputBuffer)->RequestedVirtualAddress));
        status = VideoPortUnmapMemory(e, address, nullptr);
        if (status == NO_ERROR && address == e->FrameBufferUser) e->FrameBufferUser = nullptr;   // no stale clears
        break;
    }
    case IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES: status = queryPublicRanges(e, p); break;
    case IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES: status = freePublicRanges(e, p); break;
    case IOCTL_VIDEO_SHARE_VIDEO_MEMORY: status = shareVideoMemory(e, p); break;
    case IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY: {
        if (p->InputBufferLength < sizeof(VIDEO_SHARE_MEMORY)) {
            status = ERROR_INSUFFICIENT_BUFFER;
            break;
        }
        const auto *in = static_cast<VIDEO_SHARE_MEMORY *>(p->InputBuffer);
        status = VideoPortUnmapMemory(e, reinterpret_cast<PVOID>(uintptr_t(in->RequestedVirtualAddress)),
                                      reinterpret_cast<HANDLE>(uintptr_t(in->ProcessHandle)));
        break;
    }
    case ZK_RM_OPEN_LINK: status = ZkOpenRmLink() ? NO_ERROR : ERROR_INVALID_PARAMETER; break;
    case ZK_RM_CLOSE_LINK: status = ZkCloseRmLink() ? NO_ERROR : ERROR_INVALID_PARAMETER; break;
    case ZK_RM_OPEN_DMA_CHANNEL:
        status = ZkForwardRmRequestFixed(p, sizeof(ZK_RM_DMA_CHANNEL_PARAMS), offsetof(ZK_RM_DMA_CHANNEL_PARAMS, Status));
        break;
    case ZK_RM_CONTROL:
        status = ZkForwardRmRequestFixed(p, sizeof(ZK_RM_CONTROL_PARAMS), offsetof(ZK_RM_CONTROL_PARAMS, Status));
        break;
    case ZK_RM_GET_DEVICE_NAME:
    case ZK_RM_CREATE_MEMORY_OBJECT:
    case ZK_RM_FREE_OBJECT:
    case ZK_RM_OPEN_FIFO_CHANNEL:
    case ZK_RM_CLOSE_FIFO_CHANNEL:
    case ZK_RM_CLOSE_DMA_CHANNEL:
    case ZK_RM_GET_MEMORY_REGION:
    case ZK_RM_RELEASE_MEMORY_REGION:
    case ZK_RM_REQUEST_16:
        status = ZkForwardRmRequest(p) ? NO_ERROR : ERROR_INVALID_PARAMETER;
        break;
    case IOCTL_VIDEO_SAVE_HARDWARE_STATE:
        status = ZkSaveHardwareState(e, static_cast<VIDEO_HARDWARE_STATE *>(p->OutputBuffer), p->OutputBufferLength,
                                     &sb->Information);
        break;
    case IOCTL_VIDEO_RESTORE_HARDWARE_STATE:
        status = ZkRestoreHardwareState(e, static_cast<const VIDEO_HARDWARE_STATE *>(p->InputBuffer),
                                        p->InputBufferLength);
        break;
    default:
        status = ERROR_INVALID_FUNCTION;
        break;
    }
    sb->Status = ULONG(status);
    return TRUE;
}
