// What the parts of the SIV card's 9x DirectDraw/Direct3D HAL call of each other.
#pragma once
#include "platform/win32/win32.h"
#include "platform/sivd16/flat_thunk.h"
#include "platform/ddraw/ddraw_hal.h"
#include "platform/ddraw/d3d_hal.h"
#include "drv/siv/display/driver_block.h"

// ---- shared data -----------------------------------------------------------------------------
// One handle table: a pool of fixed-size items and a parallel array of in-use flags; handle h
// is item h-1.
struct HandleTable {
    uint8_t *items;
    DWORD *inUse;
    DWORD itemSize;     // rounded up to a multiple of 8
    DWORD growStep;     // 0: never grows
    DWORD capacity;
    DWORD live;         // 1 while the directory record is in use
};
static_assert(sizeof(HandleTable) == 24);

typedef DWORD(WINAPI *PFN_CriticalErrorHandler)(DWORD, DWORD, DWORD, DWORD, DWORD, void *block);
typedef DWORD(WINAPI *PFN_SetupCriticalErrorHandler)(void *block, DWORD context, DWORD value, void *callback);

// Everything here is one instance for every process that has the HAL loaded.
struct HalShared {
    volatile LONG attachCount;   // processes attached; -1 while the attach lock is held
    HANDLE sharedHeap;
    HandleTable *tableDir;
    DWORD tableDirCapacity;
    DWORD contextTableId;
    DWORD textureTableId;
    DWORD ownContextHandle;      // the driver's own Direct3D context, 0 = none
    HMODULE errorHandlerModule;
    LONG errorHandlerLoads;
    char errorHandlerName[16];
    PFN_CriticalErrorHandler pfnCriticalErrorHandler;
    PFN_SetupCriticalErrorHandler pfnSetupCriticalErrorHandler;
    DDRAWI_DDRAWSURFACE_LCL *visibleOverlay;   // the surface that owns the overlay, or null
};

// The shared data occupies a page of its own, which the platform shares between processes.
struct alignas(4096) HalSharedPage {
    HalShared d;
    char pad[4096 - sizeof(HalShared)];
};
extern HalSharedPage g_halShared;
inline HalShared &Shared() { return g_halShared.d; }

// ---- start-up, thunks and the error-handler library -----------------------------------------
BOOL WINAPI HalDllEntry(HMODULE module, DWORD reason, LPVOID reserved);
int InitSharedData();
void FreeSharedData();
int CreateSharedHeap();
int DestroySharedHeap();
void *SharedAlloc(DWORD bytes);   // zero-filled, on the shared heap
void SharedFree(void *block);

DWORD HandleDriverMessage(DWORD context, DWORD message, BYTE *block);
DWORD LoadErrorHandlerLibrary(DWORD context, BYTE *block);
DWORD FreeErrorHandlerLibrary();
DWORD CallErrorHandler(BYTE *block);
DWORD FillEntryPoints(DWORD ignored, BYTE *block);
DWORD WINAPI ForwardToDriver16A(BYTE *record, DWORD b, void *c);
DWORD WINAPI ForwardToDriver16B(BYTE *record, DWORD b);
DWORD ReleaseCurrentContextEntry(DWORD ignored);

// The functions of sivd16, through the 32->16 thunk.
DWORD WINAPI Driver16Fn0(DWORD a, DWORD b);
DWORD WINAPI Driver16Fn1(DWORD a);
void WINAPI Driver16Fn2(DWORD eventCode);
DWORD WINAPI Driver16Fn3(void *p);
DWORD WINAPI Driver16Fn4(void *p, WORD w);
DWORD WINAPI Driver16Fn5(void *p, DWORD b);
DWORD WINAPI Driver16Fn6(void *p, DWORD b, void *c);

// Result codes of the message entry.
enum : DWORD {
    kMsgNotHandled = 0xF0000000,
    kMsgLoadFailed = 0xF0010000,
    kMsgMissingExport = 0xF0020000,
    kMsgBadName = 0xF0030000,          // no name, or one longer than the name buffer holds
    kMsgOtherLibrary = 0xF0040000,
    kMsgStillLoaded = 0xF0050000,
    kMsgFreeFailed = 0xF0060000,
    kMsgNothingLoaded = 0xF0070000,
};

// ---- handle tables ---------------------------------------------------------------------------
typedef DWORD (*HandleEnumProc)(void *item, DWORD handle, DWORD userData);
int CreateHandleTable(DWORD initialCount, DWORD itemSize, DWORD growStep, DWORD *tableId);
int DestroyHandleTable(DWORD tableId);
int AllocHandle(DWORD tableId, DWORD *handle);
void *LookupHandle(DWORD tableId, DWORD handle);
int FreeHandle(DWORD tableId, DWORD handle);
int EnumHandles(DWORD tableId, HandleEnumProc callback, DWORD userData);
int CreateTableDirectory();

// ---- Direct3D records and tables -------------------------------------------------------------
struct HalContext {
    DWORD size;              // 464
    DWORD processId;
    DWORD dirty;
    void *renderTarget;
    DDRAWI_DIRECTDRAW_GBL *directDraw;
    void *zBuffer;
    DriverBlock *driverBlock;
    DWORD driverFlags;
    DWORD renderStates[50];
    void *registers;
    DWORD selectionBits;
    float textureWidth;
    float textureHeight;
    double texCoordConst;
    float texCoordBias;
    LONG textureLog2;
    DWORD forceVertexAlpha;
    DWORD clipping;
    DWORD fogTexture;
    DWORD fogInColor;
    DWORD specularInColor;
    DWORD zOffset;
    DWORD targetOffset;
    DWORD clipRight;
    DWORD clipBottom;
    DWORD strides;
    DWORD zStride;
    DWORD textureOffset;
    DWORD fogColor;
    DWORD command;
    // 1 after the texture records changed under the context (create, destroy, swap): the next
    // TEXTUREHANDLE state counts as a change even when its value is the stored one.
    DWORD textureStale;
    // 1 once a wait for FIFO room gave up during the drawing call under way: the engine stopped
    // answering, so the rest of the call neither waits again nor sends more commands, and the
    // call reports DDERR_WASSTILLDRAWING. Cleared when a drawing call starts.
    DWORD engineStalled;
    BYTE reserved[464 - 328];
};
static_assert(sizeof(HalContext) == 464);

struct HalTexture {
    DWORD processId;
    DWORD contextHandle;
    void *surface;
    DWORD textureOffset;
    DWORD width;
    DWORD height;
    DWORD colorKeyLow;
    DWORD colorKeyHigh;
    DWORD colorKeyValid;
    DWORD alphaApplied;
};
static_assert(sizeof(HalTexture) == 40);

int CreateContextTable();
int DestroyContextTable();
int CreateTextureTable();
int DestroyTextureTable();
int CreateDriverContext(DriverBlock *block);
void ReleaseCurrentContext();
int BuildD3DDriverData(DriverBlock *block, ULONG_PTR *outGlobalData, ULONG_PTR *outCallbacks);
// Hands the engine to a Direct3D context (0: back to the 2D driver); returns the previous one.
DWORD MakeContextCurrent(DriverBlock *block, DWORD handle);
HalContext *LookupContext(ULONG_PTR handle);
// The context a callback names; null with ddrval set to D3DHAL_CONTEXT_BAD when the handle
// names none.
template <class Data>
HalContext *NamedContext(Data *data) {
    HalContext *c = LookupContext(data->dwhContext);
    if (!c)
        data->ddrval = D3DHAL_CONTEXT_BAD;
    return c;
}
// The same, made current for a drawing or state callback.
template <class Data>
HalContext *CallContext(Data *data) {
    HalContext *c = NamedContext(data);
    if (!c)
        return nullptr;
    if (c->driverBlock->currentContext() != data->dwhContext)
        MakeContextCurrent(c->driverBlock, static_cast<DWORD>(data->dwhContext));
    return c;
}
HalTexture *LookupTexture(DWORD handle);
void InitContextRecord(DriverBlock *block, HalContext *c, DDRAWI_DDRAWSURFACE_LCL *target,
                       DDRAWI_DDRAWSURFACE_LCL *zSurface);
int GetSurfaceColorKey(const DDRAWI_DDRAWSURFACE_LCL *surface, DWORD *low, DWORD *high);
// A surface's texels may change (a lock or a blit into it): the textures made of it have their
// colour key burnt in again before they are next drawn with.
void TextureContentChanged(const DDRAWI_DDRAWSURFACE_LCL *surface);
// Burns a selected texture's colour key into its texels' alpha when it is not there yet.
void PrepareTextureAlpha(HalContext *c, HalTexture *t);
// The pixel format that describes a surface: its own, or the display's.
const DDPIXELFORMAT &SurfaceFormat(const DDRAWI_DDRAWSURFACE_LCL *surface);

// ---- render states and validation --------------------------------------------------------------
// Runs the handler of a state with a value, without comparing (context initialisation).
DWORD CallRenderStateHandler(HalContext *c, DWORD state, DWORD value);
DWORD DispatchRenderState(HalContext *c, DWORD state, DWORD value);
DWORD ValidateHardwareState(HalContext *c);
// The conversion constants of texture coordinates for a texture 2^n texels wide.
double AffineTexCoordConst(LONG n);
double PerspectiveTexCoordConst(LONG n);

// ---- HAL information and service requests ----------------------------------------------------
WORD BuildHalInfo(DriverBlock *block, DDHALINFO *info, short ignored);
DWORD WINAPI GetDriverInfo(DDHAL_GETDRIVERINFODATA *data);
DWORD HandleServiceRequest(DriverBlock *block, BYTE *request);
DWORD MeasureFramePeriod();
bool IsOverlayBandwidthOk(DriverBlock *block);
bool IsOverlayEnabled();
DWORD ReadDisplayStart();
void ReadPaletteEntry(DWORD index, DWORD *red, DWORD *green, DWORD *blue);
DWORD ClampOverlayStretch(DWORD stretch);
DWORD BitsPerPixelOfFormat(DWORD code);
DisplayMode *CurrentMode(DriverBlock *block);

// ---- surfaces, flips ------------------------------------------------------------------------
DWORD IsSupportedPixelFormat(const DDPIXELFORMAT *pf);
DWORD SurfacePixelFormat(DriverBlock *block, const DDRAWI_DDRAWSURFACE_LCL *surface);
void CountSurface(DriverBlock *block, DWORD caps);
void UpdateSurfaceCounters(DriverBlock *block, DWORD caps);
HRESULT CheckFlipPacing(DriverBlock *block);
DWORD FlipCrtc(DDHAL_FLIPDATA *data);
// A fill parameter set: destination base, destination stride, position (x << 16 | y), size
// ((width - 1) << 16 | height), pattern words 0 and 1, fill value, command. False when the
// engine's FIFO had no room within the wait bound (nothing is sent).
bool FillRectangle(DriverBlock *block, const DWORD set[8]);
// Uploads a system-memory rectangle through the engine's host-data port, row by row when the
// destination's pitch is wider than the engine's stride field. False when the engine did not
// become idle within the wait bound (the rows from there on are not sent).
bool BltRectangle(DriverBlock *block, const RECTL &dst, const RECTL &src, DDRAWI_DDRAWSURFACE_LCL *dstSurface,
                  DDRAWI_DDRAWSURFACE_LCL *srcSurface);
DWORD ReadRegister(DriverBlock *block, DWORD offset);
inline DriverBlock *BlockOf(const DDRAWI_DIRECTDRAW_GBL *lpDD) {
    return reinterpret_cast<DriverBlock *>(static_cast<uintptr_t>(lpDD->dwReserved3));
}

// ---- overlay and colour controls -------------------------------------------------------------
DWORD MinimumOverlayStretch(DWORD width, DWORD height, DWORD displayBits, DWORD sourceBits, DWORD pixelClock);
DWORD ApplyOverlayOptions(DriverBlock *block);
DWORD ApplyColorControls(DriverBlock *block);

// ---- DirectDraw callbacks --------------------------------------------------------------------
DWORD WINAPI CreateSurface(DDHAL_CREATESURFACEDATA *data);
DWORD WINAPI SetColorKey(DDHAL_DRVSETCOLORKEYDATA *data);
DWORD WINAPI WaitForVerticalBlank(DDHAL_WAITFORVERTICALBLANKDATA *data);
DWORD WINAPI CanCreateSurface(DDHAL_CANCREATESURFACEDATA *data);
DWORD WINAPI DestroySurface(DDHAL_DESTROYSURFACEDATA *data);
DWORD WINAPI Flip(DDHAL_FLIPDATA *data);
DWORD WINAPI Lock(DDHAL_LOCKDATA *data);
DWORD WINAPI Blt(DDHAL_BLTDATA *data);
DWORD WINAPI AddAttachedSurface(DDHAL_ADDATTACHEDSURFACEDATA *data);
DWORD WINAPI GetBltStatus(DDHAL_GETBLTSTATUSDATA *data);
DWORD WINAPI GetFlipStatus(DDHAL_GETFLIPSTATUSDATA *data);
DWORD WINAPI UpdateOverlay(DDHAL_UPDATEOVERLAYDATA *data);
DWORD WINAPI SetOverlayPosition(DDHAL_SETOVERLAYPOSITIONDATA *data);
DWORD WINAPI SetRenderTarget(D3DHAL_SETRENDERTARGETDATA *data);
DWORD WINAPI ContextCreate(D3DHAL_CONTEXTCREATEDATA *data);
DWORD WINAPI ContextDestroy(D3DHAL_CONTEXTDESTROYDATA *data);
DWORD WINAPI ContextDestroyAll(D3DHAL_CONTEXTDESTROYALLDATA *data);
DWORD WINAPI TextureCreate(D3DHAL_TEXTURECREATEDATA *data);
DWORD WINAPI TextureDestroy(D3DHAL_TEXTUREDESTROYDATA *data);
DWORD WINAPI TextureSwap(D3DHAL_TEXTURESWAPDATA *data);
DWORD WINAPI TextureGetSurf(D3DHAL_TEXTUREGETSURFDATA *data);
DWORD WINAPI RenderState(D3DHAL_RENDERSTATEDATA *data);
DWORD WINAPI GetState(D3DHAL_GETSTATEDATA *data);
DWORD WINAPI RenderPrimitive(D3DHAL_RENDERPRIMITIVEDATA *data);
DWORD WINAPI DrawOnePrimitive(D3DHAL_DRAWONEPRIMITIVEDATA *data);
DWORD WINAPI DrawOneIndexedPrimitive(D3DHAL_DRAWONEINDEXEDPRIMITIVEDATA *data);
DWORD WINAPI DrawPrimitives(D3DHAL_DRAWPRIMITIVESDATA *data);

// ---- exports ---------------------------------------------------------------------------------
KIV_EXPORT DWORD WINAPI InitFromDDraw(DWORD value);
KIV_EXPORT BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);
KIV_EXPORT KIV_THUNK_DATA32 I1632_ThunkData32;
KIV_EXPORT KIV_THUNK_DATA32 I3216_ThunkData32;
