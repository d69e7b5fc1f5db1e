// kivdisp: the ZK3 display driver's physical-device record and the procedures its parts share.
#pragma once
#include <cstddef>
#include <cstdint>

#include "include/zk_miniport.h"
#include "include/zkgfx.h"
#include "platform/ntgdi/winddi.h"

#define ZK_POOL_TAG 0x20204B5Au            // 'Z','K',' ',' '
#define ZK_MODE_960x720 0x200000u          // chipFlags: the mode is 960 x 720

// flags
#define ZK_FLAG_HW_METHODS 0x04u           // hardware method table installed
#define ZK_FLAG_DDRAW_HEAP 0x08u           // DirectDraw holds the off-screen heap
#define ZK_FLAG_NO_CURSOR_MEMORY 0x200000u

#define ZK_HOOKS 0x5539u
#define ZK_MAX_CLIENT_BLOCKS 32
#define ZK_MAX_ENGINE_OBJECTS 192
#define ZK_MAX_MEMORY_OBJECTS 24

struct ZK_PDEV;
struct ZK_DSURF;
struct ZK_DDRAW_OBJECT;   // the DirectDraw driver object the DirectDraw methods receive

// An off-screen rectangle of video memory (a device bitmap, the screen, a DirectDraw surface).
struct ZK_OFFSCREEN_NODE {
    ULONG type;                        // ZK_NODE_FREE / _DISCARDABLE / _PERMANENT
    ULONG cx, cy;
    ZK_OFFSCREEN_NODE *next, *prev;
    ULONG reserved;
    ZK_DSURF *pdsurf;                  // owning device bitmap, or NULL
    ULONG addressCopy, address;        // video-memory address
    ULONG cjStride;
};
static_assert(sizeof(ZK_OFFSCREEN_NODE) == 40);
static_assert(offsetof(ZK_OFFSCREEN_NODE, address) == 32 && offsetof(ZK_OFFSCREEN_NODE, cjStride) == 36);
#define ZK_NODE_FREE 0u
#define ZK_NODE_DISCARDABLE 1u
#define ZK_NODE_PERMANENT 2u

// The hardware pointer's methods and state.
typedef void (*PFN_SHOW_POINTER)(ZK_PDEV *ppdev, BOOL bShow);
typedef void (*PFN_MOVE_POINTER)(ZK_PDEV *ppdev, LONG x, LONG y);
typedef void (*PFN_LOAD_POINTER)(ZK_PDEV *ppdev, LONG x, LONG y, LONG xHot, LONG yHot, const uint16_t *pImage);
typedef void (*PFN_ENABLE_POINTER)(ZK_PDEV *ppdev, BOOL bEnable);
struct ZK_POINTER {
    PFN_SHOW_POINTER pfnShowPointer;
    PFN_MOVE_POINTER pfnMovePointer;
    PFN_LOAD_POINTER pfnLoadPointer;
    PFN_ENABLE_POINTER pfnEnablePointer;
    LONG xHot, yHot;
    ULONG ulReset;                     // cleared on every assert
    ULONG iNextSlot;                   // the cached shape slot taken next
    uint8_t abSlotValid[4];            // a slot holds a shape (its hash alone does not say so)
    uint8_t aabSlotMask[4][256];       // the AND and XOR masks each slot was made from
    uint16_t ausImage[1024];           // the working image, 32 x 32
    uint16_t ausScratch[1024];
};

// A 16-byte notifier the engine writes: the u16 at byte 14 is its status.
struct ZK_NOTIFIER {
    uint32_t info[3];
    uint16_t reserved;
    volatile uint16_t status;
};
static_assert(sizeof(ZK_NOTIFIER) == 16);

typedef void (*PFN_ENGINE)(ZK_PDEV *ppdev);
typedef uint16_t (*PFN_SYNC_ENGINE)(ZK_PDEV *ppdev);
typedef BOOL (*PFN_START_DMA_PUSH)(ZK_PDEV *ppdev, uint32_t handle, uint32_t p1, uint32_t p2, uint32_t start,
                                   uint32_t end);

// Small per-chip methods that DirectDraw calls, in their slot order.
struct ZK_HW_METHODS {
    BOOL (*pfnIsEngineBusy)(ZK_PDEV *ppdev);
    void (*pfnSetDisplayStart)(ZK_PDEV *ppdev, uint32_t offset);
    BOOL (*pfnInVerticalBlank)(ZK_PDEV *ppdev);
    BOOL (*pfnInDisplay)(ZK_PDEV *ppdev);
    void (*pfnWaitVerticalBlankEnd)(ZK_PDEV *ppdev);
    void (*pfnWaitVerticalBlankStart)(ZK_PDEV *ppdev);
    uint16_t (*pfnGetScanLine)(ZK_PDEV *ppdev);
    void (*pfnFillRect)(ZK_DDRAW_OBJECT *pdd, LONG x, LONG y, LONG cx, LONG cy);
    void (*pfnCopyRect)(ZK_DDRAW_OBJECT *pdd, LONG xSrc, LONG ySrc, LONG xDst, LONG yDst, LONG cx, LONG cy);
    void (*pfnSetClip)(ZK_DDRAW_OBJECT *pdd, LONG x, LONG y, LONG cx, LONG cy);
    void (*pfnSetColorKey)(ZK_PDEV *ppdev, uint32_t key);
    BOOL (*pfnIsFifoEmpty)(ZK_PDEV *ppdev);
};

// What DirectDraw's object carries for the methods: its PDEV and the fill colour of its blit.
struct ZK_DDRAW_OBJECT {
    ZK_PDEV *ppdev;
    uint32_t fillColor;
};

// An engine object or memory object this device created, so that it can be destroyed again.
struct ZK_ENGINE_OBJECT {
    uint32_t handle;
    uint32_t cls;
};

struct ZK_PDEV {
    // Engine access.
    uint8_t *fifo;
    // Register blocks (addresses from the public access ranges).
    uint8_t *engineStatusReg, *regRange2, *crtcRegs, *seqRegs, *regRange7;
    void *cursorMemory;
    uint8_t *regRange10, *dmaRegs;
    uint32_t publicRanges[ZK_PUBLIC_RANGE_COUNT];   // every range the miniport mapped for us
    // Surface geometry.
    uint8_t *frameBuffer;
    uint8_t *pMappedFrameBuffer;        // as IOCTL_VIDEO_MAP_VIDEO_MEMORY returned it
    uint32_t frameBufferRegion;         // the "frame buffer" region zkgfx gave, until given back
    HSURF hsurfScreen;
    LONG lDelta;
    ULONG cjPelSize, iBitmapFormat, cursorOffset, chipFlags, flags, bEnabled;
    HANDLE hDriver;
    HDEV hdevEng;
    SURFOBJ *psoScreen;
    ZK_DSURF *pdsurfScreen;
    ULONG cxScreen, cyScreen, cxMemory, cyMemory, cBitsPerPel, cjVideoMemory, alphaBits, ulMode, flHooks,
        ulPixelMask;
    // Locks.
    HSEMAPHORE engineSemaphore;
    HSEMAPHORE hsemUnused;             // created and deleted with the device; nothing takes it
    // Drawing method table (filled by the drawing code), then the engine-wide methods.
    PFN drawMethods[10];
    PFN_ENGINE pfnWaitEngineIdle;
    PFN_SYNC_ENGINE pfnSyncEngine;
    PFN_START_DMA_PUSH pfnStartDmaPush;
    PFN pfnLineMethods[2];
    // Palette.
    void *pPal;
    HPALETTE hpalDefault;
    ULONG flRed, flGreen, flBlue, ulColorBits, cPaletteShift;
    // Off-screen heap and device bitmaps.
    void *pHeap;
    ZK_OFFSCREEN_NODE nodeDiscardable, nodePermanent;   // heads of the two circular node lists
    ZK_OFFSCREEN_NODE *pFreeNodes;
    void *pNodePools;
    ULONG heapUniq;                    // rises every time a node's memory is given back
    SURFOBJ *psoPunt, *psoPunt2, *psoMemory;
    ZK_OFFSCREEN_NODE *pnodeScreen;
    // Hardware configuration from the miniport.
    uint32_t hardwareConfig[8];
    // Pointer state: the tags of the four cached shapes.
    uint32_t aulShapeHash[4];
    ZK_POINTER pointer;
    // OpenGL support.
    ULONG cClientBlocks;
    void *apClientBlock[ZK_MAX_CLIENT_BLOCKS];
    uint32_t aulClientLock[ZK_MAX_CLIENT_BLOCKS];   // the lock (MDL) of each slot's block, kept here
    ULONG bOpenGlActive;
    ULONG modeChangeCounter;
    // Hardware method table.
    ZK_HW_METHODS hw;
    ULONG bHardwareOpenGl;
    // DMA buffer and the second heap.
    uint8_t *pDmaBuffer;
    ULONG cjDmaBuffer;
    uint8_t *pTexHeapBase;
    uint16_t usDeviceIndex;
    // Drawing state the engine code caches.
    uint16_t usFifoFree;
    uint32_t subchannel7Object;
    uint32_t dmaState;                 // the ZK4's DMA state word
    uint32_t bResetClip, bResetDestination;
    uint32_t dstOffset, dstPitch, srcOffset, srcPitch;
    uint32_t drawCounters[2], drawFlag, drawEnabledFlag;
    uint8_t drawState[280];
    // DirectDraw state.
    uint8_t bModeSetOk;
    void *pDdHeap;                     // DirectDraw's heap over video memory (offsets); NULL while disabled
    uint32_t aulFourCc[8];
    ULONG cOverlaySurfaces;
    void *pOverlaySurfaceList;
    void *apOverlaySurface[10];
    ULONG iOverlayBuffer;
    ULONG fpPlanarBlock, fpPlanarSecond, fpPackedFirst, fpPackedSecond, fpPackedOther;
    ULONG cjPlanarImage, cPlanarImages;   // the planar block: its images' size, and how many it holds
    ULONG bOverlayVisible;
    ULONG ulIf09;
    // Memory the engine reads and writes.
    ZK_NOTIFIER lockNotifier, flipNotifier, overlayNotifier, engineNotifier, scratchNotifier;
    uint32_t dacTransfer[256];
    uint8_t *pScratch;                 // 0x8000-byte block behind 0x80021000
    // What this device created in zkgfx and in the FIFO, in order.
    ZK_ENGINE_OBJECT objects[ZK_MAX_ENGINE_OBJECTS];
    ULONG cObjects;
    uint32_t memoryObjects[ZK_MAX_MEMORY_OBJECTS];
    ULONG cMemoryObjects;
    bool bObjectsOverflow;
    // A wait on the chip ran out (kChipWaitLimitMs): later waits take one look only, until one
    // finds the chip answering again.
    bool bChipStalled;
};

// ---- driver-wide state ---------------------------------------------------------------------
struct ZK_GLOBALS {
    ULONG iEngineVersion;
    bool bFirstPdevDone;
    ULONG cjTextureMemory;     // megabytes as the miniport answers
    uint8_t *pDmaBuffer;
    ULONG cjDmaBuffer;
    ULONG ulIf09;
    bool bLinkOpen;
    bool bTexHeapReady;
    ULONG cLivePdevs;
};
extern ZK_GLOBALS g_zk;

// ---- requests to zkgfx (relayed by the miniport) --------------------------------------------
HANDLE pRmOpenLink(HANDLE hDriver);
ULONG ulRmCloseLink(HANDLE hDriver);
uint16_t usRmGetDeviceName(HANDLE hDriver, uint16_t index, char *pName);
uint16_t usRmCreateMemoryObject(HANDLE hDriver, uint32_t handle, uint32_t cls, uint32_t base, uint32_t limit,
                                uint16_t flags);
uint16_t usRmFreeObject(HANDLE hDriver, uint32_t handle);
uint16_t usRmOpenFifoChannel(HANDLE hDriver, uint16_t index, uint32_t argument, uint8_t **ppFifo);
uint16_t usRmCloseFifoChannel(HANDLE hDriver, uint16_t index, uint8_t *pFifo);
uint32_t ulRmControl(HANDLE hDriver, uint32_t target, uint32_t function, void *pIn, void *pOut);
uint16_t usRmGetMemoryRegion(HANDLE hDriver, const char *pszName, uint32_t *pAddress, uint32_t *pSize);
uint16_t usRmReleaseMemoryRegion(HANDLE hDriver, uint32_t address);
// Closes the link and records it as closed, so the next PDEV opens it again.
void vRmCloseLinkState(HANDLE hDriver);

// ---- engine objects -------------------------------------------------------------------------
BOOL bInitFifoObjects(ZK_PDEV *ppdev);
void vFreeFifoObjects(ZK_PDEV *ppdev);
BOOL bInitDmaObjects(ZK_PDEV *ppdev);
void vFreeDmaObjects(ZK_PDEV *ppdev);

// ---- FIFO access and engine synchronisation ---------------------------------------------------
// A subchannel's 0x2000-byte window of the FIFO area, and its free-space register (bytes free).
inline uint8_t *pFifoSub(uint8_t *fifo, unsigned sub) { return fifo + 0x2000u * sub; }
inline uint8_t *pFifoSub(ZK_PDEV *ppdev, unsigned sub) { return pFifoSub(ppdev->fifo, sub); }
constexpr uint32_t kFifoFreeReg = 0x10;
uint16_t usFifoFree(ZK_PDEV *ppdev, unsigned sub);

// The longest the driver waits for the chip to answer (FIFO room, an idle engine or pusher, a
// notifier, a flip, a vertical blank) before it takes the chip as not answering. Generous: an
// engine that works drains its FIFO within microseconds.
constexpr LONGLONG kChipWaitLimitMs = 500;

// Polls `ready` until it holds (TRUE) or kChipWaitLimitMs pass (FALSE). A wait that runs out
// marks the chip as stalled, and while it is marked a wait takes one look only, so that a chip
// that stopped answering costs one limit rather than one per FIFO write; the first look that
// finds it answering clears the mark. ppdev may be NULL (no mark kept).
template <class Ready> bool bChipWait(ZK_PDEV *ppdev, Ready ready) {
    if (ready()) {
        if (ppdev) ppdev->bChipStalled = false;
        return true;
    }
    if (ppdev && ppdev->bChipStalled) return false;
    LONGLONG start = 0, now = 0, rate = 0;
    EngQueryPerformanceFrequency(&rate);
    EngQueryPerformanceCounter(&start);
    const LONGLONG limit = rate / 1000 * kChipWaitLimitMs;
    while (!ready()) {
        EngQueryPerformanceCounter(&now);
        if (now - start < limit) continue;
        if (ready()) break;
        if (ppdev) ppdev->bChipStalled = true;
        return false;
    }
    if (ppdev) ppdev->bChipStalled = false;
    return true;
}
// A DirectDraw call gives the chip its full limit again: each call that finds the chip silent
// costs one limit and reports it, and the first call after the chip answers works.
inline void vRetryStalledChip(ZK_PDEV *ppdev) { ppdev->bChipStalled = false; }
// FALSE when the room did not come within the limit (the count then is what the FIFO has).
bool bFifoWaitFree(ZK_PDEV *ppdev, unsigned sub, ULONG bytes);
inline void vFifoWaitFree(ZK_PDEV *ppdev, unsigned sub, ULONG bytes) { (void)bFifoWaitFree(ppdev, sub, bytes); }
inline void vFifoWrite(ZK_PDEV *ppdev, unsigned sub, uint32_t method, uint32_t value) {
    WRITE_REGISTER_ULONG(pFifoSub(ppdev, sub) + method, value);
}
// FALSE when the pusher or the engine did not come to rest within the limit.
bool bWaitPusherIdle(ZK_PDEV *ppdev);
// Waits for the engine to write a notifier's status (0xFF until it does); FALSE past the limit.
bool bAwaitNotifier(ZK_PDEV *ppdev, const volatile uint16_t &status);
uint16_t vSyncEngine(ZK_PDEV *ppdev);
uint16_t vSyncEngineZk4(ZK_PDEV *ppdev);
void vWaitEngineIdle(ZK_PDEV *ppdev);
BOOL bStartDmaPush(ZK_PDEV *ppdev, uint32_t handle, uint32_t p1, uint32_t p2, uint32_t start, uint32_t end);
BOOL bBindDmaObject(ZK_PDEV *ppdev, uint32_t handle);
BOOL vInitHardwareMethods(ZK_PDEV *ppdev);
void vInstallEngineMethods(ZK_PDEV *ppdev);

// ---- device and surface lifecycle ----------------------------------------------------------------
ULONG cGetModeList(HANDLE hDriver, VIDEO_MODE_INFORMATION **ppModes, ULONG *pcjModeEntry);
BOOL bInitPDEV(ZK_PDEV *ppdev, GDIINFO *pGdiInfo, DEVINFO *pDevInfo, DEVMODEW *pdm);
BOOL bEnableDevice(ZK_PDEV *ppdev);
void vDisableDevice(ZK_PDEV *ppdev);
BOOL bEnableHardware(ZK_PDEV *ppdev, BOOL bEnable);
DWORD ulIoctl(ZK_PDEV *ppdev, DWORD code, void *in, DWORD cjIn, void *out, DWORD cjOut, DWORD *pReturned = nullptr);

// ---- palette, DAC and gamma ramp ----------------------------------------------------------------
BOOL bInitPalette(ZK_PDEV *ppdev, DEVINFO *pdi);
void vFreePalette(ZK_PDEV *ppdev);
BOOL bLoadDacFromPalette(ZK_PDEV *ppdev);
BOOL bSetGammaRamp(ZK_PDEV *ppdev, const uint16_t *pRamp);   // 3 runs of 256: blue, green, red
BOOL bGetGammaRamp(ZK_PDEV *ppdev, uint16_t *pRamp);
BOOL bResetGammaRamp(ZK_PDEV *ppdev);

// ---- escapes and OpenGL window tracking ------------------------------------------------------------
struct ZK_CLIENT_WINDOW_BLOCK;
struct ZK_RECTL;
BOOL bSetupWndObj(SURFOBJ *pso, uint32_t block);
void APIENTRY vWndObjChanged(WNDOBJ *pwo, FLONG fl);
BOOL bAcquireClientLock(ZK_PDEV *ppdev, ZK_CLIENT_WINDOW_BLOCK *pBlock);
void vReleaseClientLock(ZK_PDEV *ppdev, ZK_CLIENT_WINDOW_BLOCK *pBlock);
BOOL bClipRectToScreen(ZK_PDEV *ppdev, ZK_RECTL *prcl);
BOOL bLockClientBlock(ZK_PDEV *ppdev, uint32_t block, ZK_LOCKED_BUFFER *pLocked);
BOOL bUnlockClientBlock(ZK_PDEV *ppdev, int slot);
void vUpdateClientModeCounters(ZK_PDEV *ppdev);

// ---- the pointer (cursor.cpp), text (text.cpp) and off-screen memory (heap.cpp, devbitmap.cpp) ---
BOOL bInitPointer(ZK_PDEV *ppdev);
void vAssertModePointer(ZK_PDEV *ppdev, BOOL bEnable);
BOOL bEnableText(ZK_PDEV *ppdev);
void vDisableText(ZK_PDEV *ppdev);
void vAssertModeText(ZK_PDEV *ppdev, BOOL bEnable);
void vHeapReset(ULONG start, ULONG end, void **ppHeap);
BOOL bInitOffscreenHeap(ZK_PDEV *ppdev);
void vDisableOffscreenHeap(ZK_PDEV *ppdev);
void vFreeOffscreenSurfaces(ZK_PDEV *ppdev);
BOOL bAssertOffscreenHeap(ZK_PDEV *ppdev, BOOL bEnable);
void vResetOffscreenHeap(ZK_PDEV *ppdev, BOOL bEnable);
void vTexHeapReset(ULONG start, ULONG end);
ULONG ulTexHeapAlloc(ULONG cjSize);
void vInstallDrawMethods(ZK_PDEV *ppdev);

// The screen's device-surface record (28 bytes).
struct ZK_DSURF {
    ULONG dt;
    ULONG cx, cy;
    ZK_PDEV *ppdev;
    void *p;
    ULONG ulUseCount, ulFreeCountSeen;
};
static_assert(sizeof(ZK_DSURF) == 28);
