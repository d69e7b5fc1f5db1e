// The device and its primary surface: enabling, disabling, mode switches and synchronisation.
#include "display/driver.h"

#include <cstring>

#include "display/ddi.h"

namespace {

bool bZk3(const ZK_PDEV *ppdev) { return (ppdev->chipFlags & ZK_CHIP_FLAG_ZK3) != 0; }
bool bZk4(const ZK_PDEV *ppdev) { return !bZk3(ppdev) && (ppdev->chipFlags & ZK_CHIP_FLAG_ZK4) != 0; }

uint8_t *pRange(const ZK_PDEV *ppdev, unsigned entry) {
    return reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(ppdev->publicRanges[entry]));
}

void vFreeObjects(ZK_PDEV *ppdev) {
    if (bZk3(ppdev)) vFreeFifoObjects(ppdev);
    else if (bZk4(ppdev)) vFreeDmaObjects(ppdev);
}

// Closes the FIFO channel; the channel counts as closed only when zkgfx agreed.
BOOL bCloseFifo(ZK_PDEV *ppdev) {
    if (!ppdev->fifo) return TRUE;
    if (usRmCloseFifoChannel(ppdev->hDriver, ppdev->usDeviceIndex, ppdev->fifo) != 0) return FALSE;
    ppdev->fifo = nullptr;
    return TRUE;
}

// Every enable takes the frame-buffer region from zkgfx; it goes back with the hardware.
void vReleaseFrameBufferRegion(ZK_PDEV *ppdev) {
    if (!ppdev->frameBufferRegion) return;
    usRmReleaseMemoryRegion(ppdev->hDriver, ppdev->frameBufferRegion);
    ppdev->frameBufferRegion = 0;
}

BOOL bFindDevice(ZK_PDEV *ppdev) {
    for (uint16_t index = 0; index <= 4; ++index) {
        char name[ZK_RM_DEVICE_NAME_SIZE] = {};
        if (usRmGetDeviceName(ppdev->hDriver, index, name) != 0) break;
        if (std::memcmp(name, "ZK3", 4) == 0) {
            ppdev->usDeviceIndex = index;
            return TRUE;
        }
    }
    vReleaseFrameBufferRegion(ppdev);   // while the link still carries the request
    vRmCloseLinkState(ppdev->hDriver);
    return FALSE;
}

}  // namespace

BOOL bEnableHardware(ZK_PDEV *ppdev, BOOL bEnable) {
    if (!bEnable) {
        vFreeObjects(ppdev);
        if (!bCloseFifo(ppdev)) return FALSE;
        vReleaseFrameBufferRegion(ppdev);
        std::memset(ppdev->aulShapeHash, 0, sizeof ppdev->aulShapeHash);
        return ulIoctl(ppdev, IOCTL_VIDEO_RESET_DEVICE, nullptr, 0, nullptr, 0) == 0;
    }

    VIDEO_MODE mode{ppdev->ulMode};
    uint8_t ok = 0;
    DWORD returned = 0;
    if (ulIoctl(ppdev, IOCTL_VIDEO_SET_CURRENT_MODE, &mode, sizeof mode, &ok, 1, &returned) != 0) return FALSE;
    ppdev->bModeSetOk = returned == 1 ? ok : 1;
    VIDEO_MODE_INFORMATION info{};
    if (ulIoctl(ppdev, IOCTL_VIDEO_QUERY_CURRENT_MODE, nullptr, 0, &info, sizeof info) != 0) return FALSE;
    if (ulIoctl(ppdev, IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG, nullptr, 0, ppdev->hardwareConfig,
                sizeof ppdev->hardwareConfig) != 0)
        return FALSE;
    ppdev->chipFlags = info.DriverSpecificAttributeFlags;
    ppdev->cxMemory = info.VideoMemoryBitmapWidth;
    ppdev->lDelta = static_cast<LONG>(info.ScreenStride);
    if (ppdev->lDelta <= 0) return FALSE;

    // A link closed after an earlier failure is opened again before it is used.
    if (!g_zk.bLinkOpen) {
        if (!pRmOpenLink(ppdev->hDriver)) return FALSE;
        g_zk.bLinkOpen = true;
    }
    uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ppdev->frameBuffer));
    uint32_t size = ppdev->cjVideoMemory;
    vReleaseFrameBufferRegion(ppdev);   // an enable after a failed one takes it again
    if (usRmGetMemoryRegion(ppdev->hDriver, ZK_RM_REGION_FRAME_BUFFER, &address, &size) != 0) return FALSE;
    ppdev->frameBufferRegion = address;
    ppdev->frameBuffer = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(address));
    ppdev->cjVideoMemory = (size + 1) & ~0xFFFu;
    ppdev->cyMemory = ppdev->cjVideoMemory / static_cast<ULONG>(ppdev->lDelta);

    if (!bFindDevice(ppdev)) return FALSE;
    uint8_t *fifo = nullptr;
    if (usRmOpenFifoChannel(ppdev->hDriver, ppdev->usDeviceIndex, 0, &fifo) != 0 || !fifo) {
        vReleaseFrameBufferRegion(ppdev);
        vRmCloseLinkState(ppdev->hDriver);
        return FALSE;
    }
    ppdev->fifo = fifo;

    BOOL ok2 = TRUE;
    if (bZk3(ppdev)) {
        ok2 = bInitFifoObjects(ppdev);
    } else if (bZk4(ppdev)) {
        ppdev->dmaState = 0;
        ok2 = bInitDmaObjects(ppdev);
    }
    if (!ok2) {
        // Nothing half-built is left in zkgfx or in the channel.
        vFreeObjects(ppdev);
        bCloseFifo(ppdev);
        return FALSE;
    }

    ppdev->bResetClip = ppdev->bResetDestination = 1;
    ppdev->dstOffset = ppdev->dstPitch = ppdev->srcOffset = ppdev->srcPitch = 0;
    if (ppdev->cxScreen == 960 && ppdev->cyScreen == 720) ppdev->chipFlags |= ZK_MODE_960x720;
    else ppdev->chipFlags &= ~ZK_MODE_960x720;
    return TRUE;
}

BOOL bEnableDevice(ZK_PDEV *ppdev) {
    ppdev->hsemUnused = EngCreateSemaphore();
    if (!ppdev->hsemUnused) return FALSE;
    ppdev->engineSemaphore = EngCreateSemaphore();
    if (!ppdev->engineSemaphore) return FALSE;

    VIDEO_PUBLIC_ACCESS_RANGES ranges[16] = {};
    if (ulIoctl(ppdev, IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, nullptr, 0, ranges, sizeof ranges) != 0) return FALSE;
    for (unsigned i = 0; i < ZK_PUBLIC_RANGE_COUNT; ++i) ppdev->publicRanges[i] = ranges[i].VirtualAddress;

    VIDEO_MEMORY request{0};
    VIDEO_MEMORY_INFORMATION vmi{};
    if (ulIoctl(ppdev, IOCTL_VIDEO_MAP_VIDEO_MEMORY, &request, sizeof request, &vmi, sizeof vmi) != 0) return FALSE;
    ppdev->pMappedFrameBuffer = ppdev->frameBuffer =
        reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(vmi.FrameBufferBase));

    if (!bEnableHardware(ppdev, TRUE)) return FALSE;

    if (bZk3(ppdev) || bZk4(ppdev)) {
        ppdev->engineStatusReg = pRange(ppdev, 1);
        ppdev->regRange2 = pRange(ppdev, 2);
        ppdev->crtcRegs = pRange(ppdev, 5);
        ppdev->seqRegs = pRange(ppdev, 6);
        ppdev->regRange7 = pRange(ppdev, 7);
        ppdev->regRange10 = pRange(ppdev, 10);
        ppdev->dmaRegs = pRange(ppdev, 11);
        if (bZk3(ppdev) && ppdev->dmaRegs) WRITE_REGISTER_ULONG(ppdev->dmaRegs + 0x1224, 0);
        vInstallDrawMethods(ppdev);
        vInstallEngineMethods(ppdev);
    }
    return TRUE;
}

void vDisableDevice(ZK_PDEV *ppdev) {
    if (ppdev->fifo) {
        vFreeObjects(ppdev);
        usRmCloseFifoChannel(ppdev->hDriver, ppdev->usDeviceIndex, ppdev->fifo);
        ppdev->fifo = nullptr;
    }
    vReleaseFrameBufferRegion(ppdev);
    if (ppdev->pMappedFrameBuffer) {
        VIDEO_MEMORY vm{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ppdev->pMappedFrameBuffer))};
        ulIoctl(ppdev, IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, &vm, sizeof vm, nullptr, 0);
        ppdev->pMappedFrameBuffer = ppdev->frameBuffer = nullptr;
    }
    // Every range the query mapped is given back, at the position the query returned it.
    bool any = false;
    for (uint32_t a : ppdev->publicRanges) any |= a != 0;
    if (any) {
        ulIoctl(ppdev, IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, ppdev->publicRanges, ZK_FREE_RANGES_FULL_INPUT,
                nullptr, 0);
        std::memset(ppdev->publicRanges, 0, sizeof ppdev->publicRanges);
    }
    ppdev->engineStatusReg = ppdev->regRange2 = ppdev->crtcRegs = ppdev->seqRegs = nullptr;
    ppdev->regRange7 = ppdev->regRange10 = ppdev->dmaRegs = nullptr;
    if (ppdev->engineSemaphore) EngDeleteSemaphore(ppdev->engineSemaphore);
    if (ppdev->hsemUnused) EngDeleteSemaphore(ppdev->hsemUnused);
    ppdev->engineSemaphore = ppdev->hsemUnused = nullptr;
}

extern "C" HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(dhpdev);
    if (!bEnableDevice(ppdev)) goto fail;
    if (ppdev->pfnWaitEngineIdle) ppdev->pfnWaitEngineIdle(ppdev);
    {
        ULONG start = static_cast<ULONG>(reinterpret_cast<uintptr_t>(ppdev->frameBuffer));
        vHeapReset(start, start + static_cast<ULONG>(ppdev->lDelta) * ppdev->cyMemory, &ppdev->pHeap);
    }
    if (!bInitOffscreenHeap(ppdev)) goto fail;
    ppdev->pTexHeapBase = ppdev->pDmaBuffer;
    if (ppdev->pDmaBuffer && !g_zk.bTexHeapReady) {
        ULONG start = static_cast<ULONG>(reinterpret_cast<uintptr_t>(ppdev->pDmaBuffer));
        vTexHeapReset(start, start + ppdev->cjDmaBuffer);
        ulTexHeapAlloc(0x9000);
        g_zk.bTexHeapReady = true;
    }
    if (!bInitPointer(ppdev) || !bEnableText(ppdev) || !bLoadDacFromPalette(ppdev) || !vInitHardwareMethods(ppdev))
        goto fail;
    {
        auto *pdsurf = static_cast<ZK_DSURF *>(EngAllocMem(FL_ZERO_MEMORY, sizeof(ZK_DSURF), ZK_POOL_TAG));
        if (!pdsurf) goto fail;
        pdsurf->dt = 0;
        pdsurf->cx = ppdev->cxScreen;
        pdsurf->cy = ppdev->cyScreen;
        pdsurf->ppdev = ppdev;
        ppdev->pdsurfScreen = pdsurf;
        SIZEL sizl{static_cast<LONG>(ppdev->cxScreen), static_cast<LONG>(ppdev->cyScreen)};
        ppdev->hsurfScreen = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(pdsurf), sizl, ppdev->iBitmapFormat);
        if (!ppdev->hsurfScreen || !EngAssociateSurface(ppdev->hsurfScreen, ppdev->hdevEng, ppdev->flHooks))
            goto fail;
        ppdev->psoScreen = EngLockSurface(ppdev->hsurfScreen);
        if (!ppdev->psoScreen) goto fail;
    }
    ppdev->bEnabled = 1;
    if (ppdev->pfnWaitEngineIdle) ppdev->pfnWaitEngineIdle(ppdev);
    return ppdev->hsurfScreen;
fail:
    DrvDisableSurface(dhpdev);
    return nullptr;
}

extern "C" void APIENTRY DrvDisableSurface(DHPDEV dhpdev) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(dhpdev);
    ppdev->bEnabled = 0;
    vAssertModePointer(ppdev, FALSE);   // the cursor region goes back while the link is open
    vDisableOffscreenHeap(ppdev);
    vDisableText(ppdev);
    vFreeOffscreenSurfaces(ppdev);
    vDisableDevice(ppdev);
    // Only what was made is taken apart: a surface enable that failed early has no surface.
    if (ppdev->psoScreen) EngUnlockSurface(ppdev->psoScreen);
    if (ppdev->hsurfScreen) EngDeleteSurface(ppdev->hsurfScreen);
    if (ppdev->pdsurfScreen) EngFreeMem(ppdev->pdsurfScreen);
    ppdev->psoScreen = nullptr;
    ppdev->hsurfScreen = nullptr;
    ppdev->pdsurfScreen = nullptr;
}

extern "C" BOOL APIENTRY DrvAssertMode(DHPDEV dhpdev, BOOL bEnable) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(dhpdev);
    if (bEnable) {
        if (!bEnableHardware(ppdev, TRUE)) return FALSE;
        bAssertOffscreenHeap(ppdev, TRUE);
        if (ppdev->flags & ZK_FLAG_DDRAW_HEAP) vResetOffscreenHeap(ppdev, TRUE);
        vAssertModePointer(ppdev, TRUE);
        ppdev->bEnabled = 1;
        return TRUE;
    }
    const bool bLocked = ppdev->bOpenGlActive != 0 && ppdev->engineSemaphore;
    if (bLocked) {
        EngAcquireSemaphore(ppdev->engineSemaphore);
        if (ppdev->pfnSyncEngine) ppdev->pfnSyncEngine(ppdev);
        ppdev->usFifoFree = 0;
    }
    ppdev->modeChangeCounter += 1;
    vUpdateClientModeCounters(ppdev);
    vResetOffscreenHeap(ppdev, FALSE);
    vAssertModeText(ppdev, FALSE);
    vAssertModePointer(ppdev, FALSE);
    BOOL ok = TRUE;
    if (!bAssertOffscreenHeap(ppdev, FALSE)) {
        vAssertModePointer(ppdev, TRUE);
        ok = FALSE;
    } else if (!bEnableHardware(ppdev, FALSE)) {
        bAssertOffscreenHeap(ppdev, TRUE);
        vAssertModePointer(ppdev, TRUE);
        ok = FALSE;
    }
    if (bLocked) EngReleaseSemaphore(ppdev->engineSemaphore);
    if (ok) ppdev->bEnabled = 0;
    return ok;
}

extern "C" void APIENTRY DrvSynchronize(DHPDEV dhpdev, RECTL *) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(dhpdev);
    const bool bLocked = ppdev->bOpenGlActive != 0 && ppdev->engineSemaphore;
    if (bLocked) {
        EngAcquireSemaphore(ppdev->engineSemaphore);
        if (ppdev->pfnSyncEngine) ppdev->pfnSyncEngine(ppdev);
        ppdev->usFifoFree = 0;
    }
    if (ppdev->pfnWaitEngineIdle) ppdev->pfnWaitEngineIdle(ppdev);
    if (bLocked) EngReleaseSemaphore(ppdev->engineSemaphore);
}
