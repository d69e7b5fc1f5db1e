// The hardware state at the end of an application context, and the head of the mapping that
// every ICD process shares. The screen context is cut before HwState, so nothing may reach it
// through a context that is not an application context.
#pragma once
#include <cstddef>
#include <cstdint>

struct GlContext;
struct HwTexBlock;
struct HwHeapInfo;
typedef void (*HwSavedProc)(GlContext *ctx);

// Start-up progress bits: the tear-down undoes exactly the steps whose bit is set.
enum : uint32_t {
    kHwProgressMutex = 0x1,
    kHwProgressMapping = 0x2,
    kHwProgressDevice = 0x4,
    kHwProgressFbRegion = 0x8,
    kHwProgressNotifierBlock = 0x10,
    kHwProgressNotifierChannel = 0x20,   // memory object -0xF003
    kHwProgressNotifierPrivate = 0x40,   // memory object kHwPrivateNotifierLow
    kHwProgressNotifierShared = 0x80,    // memory object kHwSharedNotifierLow
    kHwProgressDirectDraw = 0x100,
    kHwProgressCmdBuf = 0x200,
    kHwProgressPushObject = 0x400,       // memory object kHwPushBufferLow
    kHwProgressFbSurfaces = 0x1000,      // memory object kHwFbSurfacesLow
    kHwProgressFbTextures = 0x2000,      // memory object kHwFbTexturesLow
    kHwProgressHeapObject = 0x4000,      // memory object kHwHeapObjectLow
    kHwProgressChannel = 0x8000,
    kHwProgressOpenGlActive = 0x10000,
    kHwProgressObjects = 0x20000,        // the channel's objects created and configured
    kHwProgressDefaultTexture = 0x40000,
    kHwProgressPointTexture = 0x80000,
    kHwProgressLineTexture = 0x100000,
    kHwProgressHeapInfo = 0x200000,
    kHwProgressGamma = 0x400000,
    kHwProgressSettings = 0x1000000,
};

// The head of the named mapping "ZkOglNT_SharedMemoryNotifier"; the shared texture heap follows.
// Only offsets and sizes live here: every process maps the bytes at its own address.
struct HwSharedHeader {
    volatile int32_t attachCount;      // ICD contexts of all processes that hold the mapping
    volatile uint8_t notifier[16];     // the shared notifier record; byte 15 is the status byte
    uint32_t heapSize;                 // bytes of heap behind the header, set by the creator
    uint8_t reserved[36];
    uint32_t heapData;                 // offset of the heap's first byte from the view (64)
};
static_assert(sizeof(HwSharedHeader) == 64);
static_assert(offsetof(HwSharedHeader, notifier) == 4);
static_assert(offsetof(HwSharedHeader, heapData) == 60);

constexpr uint8_t kHwStatusPending = 0xFF;  // a notification asked for and not yet written

struct HwState {
    void *swapBuffersEntry;      // unused: the core keeps opengl32's wglSwapBuffers in the context tail
    uint32_t deviceOpen;         // 1 after a successful start-up
    void *deviceHandle;          // the zkgfx device, (void *)-1 when closed
    void *requestHandle;         // the handle zkgfx requests go to (the same one)
    uint32_t deviceIndex;        // index of the zkgfx device named "ZK3" (32: none)
    uint32_t clientId;           // upper half of this context's zkgfx handles
    uint32_t cmdBufSizeWords;    // words of one command-buffer half, before its slack
    uint32_t writeIndex;         // words written into the current half
    uint32_t *cpuBase;           // the current half
    uint32_t gpuOffset;          // byte offset of the current half in the push-buffer object
    uint32_t *halfCpuBase[2];
    uint32_t halfGpuOffset[2];
    uint32_t triangleRegs[6];    // texture offset, format, quality, fog colour, control, alpha
    uint32_t lineRegs[6];
    uint32_t pointRegs[6];
    float textureLodParam, lodThreshold;
    uint8_t bindPending;         // the triangle object must be bound to subchannel 1 again
    uint8_t alphaExpanded;
    uint8_t reserved0[2];
    uint32_t blendWord;          // -1: blending off
    uint32_t triangleObject;     // object bound to subchannel 1
    volatile uint8_t *notifier;  // the shared notifier record; its byte 15 is the status byte
    GlContext *context;
    uint32_t cmdBufMinWords;     // early kick-off threshold
    uint32_t modeCounter;        // the ICD's mode-change counter
    uint8_t *notifierRecord[2];  // the context's private notifier records
    uint8_t *notifierBlock;      // the 48-byte block that holds them
    void *mappingHandle;
    HwSharedHeader *sharedHeader;
    void *sharedMutex;           // (void *)-1 when closed
    uint32_t progress;           // kHwProgress* bits
    uint32_t channelWords[3];    // DMA object and the two pusher parameters from zkgfx
    uint32_t driverModeCounter;  // the display driver's counter as last reported
    uint32_t fbRegionAddress, fbBase, fbRegionSize;
    uint32_t agpBus;             // 0: driven as a PCI card
    uint8_t *cmdBufAlloc;        // the allocation that holds both halves
    uint32_t submissionCount;    // half switches since the buffer was set up
    uint32_t maxTexSize, maxPciTexHeapSize, vidMemMinTexWidth;
    uint32_t surfaceCache[6];    // last surface words sent; -1 forces a resend
    HwTexBlock *defaultTexture, *pointTexture, *lineTexture;
    uint8_t halfIndex;
    uint8_t triangleRegsStale, lineRegsStale, pointRegsStale;
    uint8_t softwareOnly;
    uint8_t drawingPending;      // hardware drawing written since the last software access
    uint8_t loadedBlock;         // register block the chip holds: 0 triangles, 1 lines, 2 points, 3 none
    uint8_t useVertexColour;
    uint8_t hardwareLost;        // 1: the device is unusable; no commands may be written
    uint8_t lostByLock;          // hardwareLost only because a drawable lock failed
    uint8_t reserved1[2];
    HwTexBlock *lruTail, *lruHead;
    HwHeapInfo *heapInfo;
    void *directDraw;
    HwSavedProc savedPointProc, savedLineProc, savedTriangleProc, savedBitmapProc, polygonProc;
    uint32_t surfaceWanted[6];   // surface words validation chose, sent before the next chip drawing
    uint8_t surfacesChosen;      // surfaceWanted holds what the last validation chose
    uint8_t clipPending;         // validation ran: the clip rectangle is looked at before the next chip drawing
    uint8_t clipNarrowed;        // the chip's clip rectangle is narrower than the drawable
    uint8_t reserved2[1];
    // The software rasteriser's raster proc for textured triangles whose level of detail the
    // chip's one per triangle cannot serve (null when the filters do not depend on it); its
    // render proc is savedTriangleProc.
    HwSavedProc savedRasterTriangleProc;
};
static_assert(sizeof(HwState) == 360);
static_assert(offsetof(HwState, halfCpuBase) == 40 && offsetof(HwState, triangleRegs) == 56);
static_assert(offsetof(HwState, progress) == 188 && offsetof(HwState, channelWords) == 192);
static_assert(offsetof(HwState, halfIndex) == 280 && offsetof(HwState, hardwareLost) == 288);
static_assert(offsetof(HwState, savedPointProc) == 308);
