// The display driver's private requests and the locking of its user buffers.
#include "miniport/kivport.h"
#include "platform/videoprt/ntkernel.h"

namespace {

VP_WCHAR kNameWriteCombining[] = u"EnableWriteCombining";
VP_WCHAR kNameHardwareOpenGl[] = u"EnableHardwareOpenGL";
constexpr ULONG kUserFrameBufferBytes = 0x400000;

// MDLs this miniport handed out: an unlock names one of them or nothing happens.
constexpr int kMaxLocks = 256;
PMDL g_locks[kMaxLocks];

bool rememberLock(PMDL mdl) {
    for (PMDL &slot : g_locks)
        if (!slot) {
            slot = mdl;
            return true;
        }
    return false;
}
bool forgetLock(PMDL mdl) {
    for (PMDL &slot : g_locks)
        if (mdl && slot == mdl) {
            slot = nullptr;
            return true;
        }
    return false;
}

VP_STATUS queryDword(PVIDEO_REQUEST_PACKET p, ULONG value) {
    if (p->OutputBufferLength < 4) return ERROR_INSUFFICIENT_BUFFER;
    ZkStoreUlong(p->OutputBuffer, value);
    p->StatusBlock->Information = 4;
    return NO_ERROR;
}

// The frame buffer's first 4 MB in `process`. A process keeps the one view it was given: mapping
// another at every request would pile up views that nothing ever unmaps.
VP_STATUS mapUserFrameBuffer(ZK_DEVICE_EXTENSION *e, ULONG process, void *address) {
    ZK_USER_VIEW *slot = nullptr;
    for (ZK_USER_VIEW &v : e->UserViews) {
        if (process != 0 && v.Process == process) {
            ZkStoreUlong(address, v.Address);
            return NO_ERROR;
        }
        if (!slot && v.Process == 0) slot = &v;
    }
    if (!slot) return ERROR_NOT_ENOUGH_MEMORY;
    ULONG length = kUserFrameBufferBytes, inIo = VIDEO_MEMORY_SPACE_USER_MODE;
    PVOID mapped = reinterpret_cast<PVOID>(uintptr_t(process));   // the port reads the process here
    const VP_PHYSICAL_ADDRESS fb{g_zkPciRanges.Start1Low, LONG(g_zkPciRanges.Start1High)};
    const VP_STATUS status = VideoPortMapMemory(e, fb, &length, &inIo, &mapped);
    if (status != NO_ERROR) return status;
    *slot = ZK_USER_VIEW{process, ULONG(uintptr_t(mapped))};
    ZkStoreUlong(address, slot->Address);
    return NO_ERROR;
}

}  // namespace

void ZkLockUserBuffer(ZK_LOCKED_BUFFER *r) {
    r->Mdl = 0;
    r->Reserved = 0;
    if (r->Length == 0 || r->UserAddress == 0) return;
    // Lock exactly the pages that hold the caller's buffer.
    const ULONG first = r->UserAddress & ~0xFFFu;
    const uint64_t end = uint64_t(r->UserAddress) + r->Length;
    const ULONG span = ULONG(((end + 0xFFF) & ~uint64_t(0xFFF)) - first);
    PMDL mdl = IoAllocateMdl(reinterpret_cast<PVOID>(uintptr_t(first)), span, FALSE, TRUE, nullptr);
    if (!mdl) return;
    try {
        // The address comes from the calling process: it must be user memory of that process.
        MmProbeAndLockPages(mdl, UserMode, IoModifyAccess);
    } catch (...) {
        IoFreeMdl(mdl);
        return;
    }
    PVOID system = (mdl->MdlFlags & (MDL_MAPPED_TO_SYSTEM_VA | MDL_SOURCE_IS_NONPAGED_POOL))
                       ? mdl->MappedSystemVa
                       : MmMapLockedPages(mdl, KernelMode);
    if (!system || !rememberLock(mdl)) {
        MmUnlockPages(mdl);
        IoFreeMdl(mdl);
        return;
    }
    r->Mdl = ULONG(uintptr_t(mdl));
    r->KernelAddress = ULONG(uintptr_t(system)) + (r->UserAddress & 0xFFF);
}

void ZkUnlockUserBuffer(ZK_LOCKED_BUFFER *r) {
    if (!r || r->Mdl == 0) return;
    PMDL mdl = reinterpret_cast<PMDL>(uintptr_t(r->Mdl));
    if (!forgetLock(mdl)) return;   // not a lock of ours: never free what we did not allocate
    MmUnlockPages(mdl);
    IoFreeMdl(mdl);
    r->Mdl = 0;
}

bool ZkHandlePrivateRequest(ZK_DEVICE_EXTENSION *e, PVIDEO_REQUEST_PACKET p, VP_STATUS *status) {
    STATUS_BLOCK *sb = p->StatusBlock;
    switch (p->IoControlCode) {
    case IOCTL_VIDEO_ZK_QUERY_CHIP_INFO: {
        sb->Information = sizeof(ZK_CHIP_INFO);
        if (p->OutputBufferLength < sizeof(ZK_CHIP_INFO)) {
            *status = ERROR_INSUFFICIENT_BUFFER;
            break;
        }
        *static_cast<ZK_CHIP_INFO *>(p->OutputBuffer) = ZK_CHIP_INFO{e->ChipCode, e->ChipClass, e->UsableMemory};
        *status = NO_ERROR;
        break;
    }
    case IOCTL_VIDEO_ZK_QUERY_DMA_BUFFER_SIZE: *status = queryDword(p, e->DmaBufferSize); break;
    case IOCTL_VIDEO_ZK_QUERY_TEXTURE_MEMORY: *status = queryDword(p, e->TexMem); break;
    case IOCTL_VIDEO_ZK_QUERY_DMA_PUSH: *status = queryDword(p, e->DmaPush); break;
    case IOCTL_VIDEO_ZK_MAP_USER_FRAME_BUFFER: {
        if (p->InputBufferLength < 4 || p->OutputBufferLength < 4) {
            *status = ERROR_INSUFFICIENT_BUFFER;
            break;
        }
        *status = mapUserFrameBuffer(e, ZkLoadUlong(p->InputBuffer), p->OutputBuffer);
        if (*status == NO_ERROR) sb->Information = 4;
        break;
    }
    case IOCTL_VIDEO_ZK_ENABLE_WRITE_COMBINING: {
        ULONG value = 1;
        const bool present =
            VideoPortGetRegistryParameters(e, kNameWriteCombining, FALSE, ZkRegistryDwordCallback, &value) == NO_ERROR;
        e->WriteCombineMask = (!present || value) ? 0xFFFFFFFFu : ~ULONG(VIDEO_MEMORY_SPACE_P6CACHE);
        e->Flags |= kZkFlagDisplayDriverAttached;
        *status = NO_ERROR;
        break;
    }
    case IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG: {
        if (p->OutputBufferLength < sizeof(ZK_HARDWARE_CONFIG)) {
            *status = ERROR_INSUFFICIENT_BUFFER;
            break;
        }
        *static_cast<ZK_HARDWARE_CONFIG *>(p->OutputBuffer) =
            ZK_HARDWARE_CONFIG{e->OutputKind, e->VisibleWidth, e->VisibleHeight, e->ScaleX, e->ScaleY,
                               e->OutputMode, e->PictureOffsetX, e->PictureOffsetY};
        sb->Information = sizeof(ZK_HARDWARE_CONFIG);
        *status = NO_ERROR;
        break;
    }
    case IOCTL_VIDEO_ZK_QUERY_IF09:
        *status = p->OutputBufferLength == 4 ? queryDword(p, e->If09) : ERROR_INSUFFICIENT_BUFFER;
        break;
    case IOCTL_VIDEO_ZK_LOCK_USER_BUFFER:
        if (p->InputBufferLength < sizeof(ZK_LOCKED_BUFFER) || p->OutputBufferLength < sizeof(ZK_LOCKED_BUFFER)) {
            *status = ERROR_INSUFFICIENT_BUFFER;
            break;
        }
        ZkLockUserBuffer(static_cast<ZK_LOCKED_BUFFER *>(p->InputBuffer));
        sb->Information = sizeof(ZK_LOCKED_BUFFER);
        *status = NO_ERROR;
        break;
    case IOCTL_VIDEO_ZK_UNLOCK_USER_BUFFER:
        if (p->InputBufferLength < sizeof(ZK_LOCKED_BUFFER)) {
            *status = ERROR_INSUFFICIENT_BUFFER;
            break;
        }
        ZkUnlockUserBuffer(static_cast<ZK_LOCKED_BUFFER *>(p->InputBuffer));
        *status = NO_ERROR;
        break;
    case IOCTL_VIDEO_ZK_QUERY_HARDWARE_OPENGL: {
        ULONG value = 0;
        if (VideoPortGetRegistryParameters(e, kNameHardwareOpenGl, FALSE, ZkRegistryDwordCallback, &value) != NO_ERROR)
            value = 1;
        *status = queryDword(p, value);
        break;
    }
    default:
        return false;
    }
    return true;
}
