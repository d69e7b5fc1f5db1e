// Direct3D's face of the HAL: the device description and texture formats it announces, the
// callback table, and the callbacks that create, retarget and destroy contexts and textures.
#include "drv/siv/display/sivhal.h"
#include "drv/siv/display/blt_engine.h"
#include "drv/siv/display/d3d_draw.h"

#include <cstring>

namespace {

// What the card draws: flat and gouraud RGB triangles, Z with all eight compares, vertex fog,
// specular, alpha from the vertex or the texture, perspective-correct and mip-mapped square
// power-of-two textures in video memory. Nothing dithers, so DITHER is not claimed.
constexpr D3DPRIMCAPS kTriCaps = {
    sizeof(D3DPRIMCAPS),
    0x72,      // MASKZ, CULLNONE, CULLCW, CULLCCW
    0xA0,      // SUBPIXEL, FOGVERTEX
    0xFF,      // every Z compare
    0x12,      // source ONE, SRCALPHA
    0x21,      // destination ZERO, INVSRCALPHA
    0,         // no alpha test
    0xC528A,   // flat and gouraud colour, specular, alpha blend, fog
    0x2F,      // PERSPECTIVE, POW2, ALPHA, TRANSPARENCY, SQUAREONLY
    0x3F,      // nearest, linear and the four mip filters
    0xCF,      // DECAL, MODULATE, DECALALPHA, MODULATEALPHA, COPY, ADD
    0x5,       // WRAP, CLAMP
    0, 0,
};

constexpr D3DDEVICEDESC kDeviceDesc = {
    sizeof(D3DDEVICEDESC),
    0x1E3,   // colour model, device caps, line and triangle caps, render and Z depths are valid
    2,       // RGB
    0x651,   // FLOATTLVERTEX, EXECUTESYSTEMMEMORY, TLVERTEXSYSTEMMEMORY, TEXTUREVIDEOMEMORY, DRAWPRIMTLVERTEX
    {sizeof(D3DTRANSFORMCAPS), 0},
    FALSE,
    {sizeof(D3DLIGHTINGCAPS), 0, 0, 0},
    {sizeof(D3DPRIMCAPS), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    kTriCaps,
    0x600,   // 16 and 24 bits
    0x400,   // 16-bit Z
    0,
    0,
};

// X(flags, bits, red, green, blue, alpha): the texture formats, in the order announced.
#define SIV_TEXTURE_FORMATS(X)                                                \
    X(DDPF_RGB, 16, 0x7C00, 0x03E0, 0x001F, 0)                                \
    X(DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0)                                \
    X(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00, 0x03E0, 0x001F, 0x8000)        \
    X(DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u)

DDSURFACEDESC MakeTextureFormat(DWORD flags, DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a) {
    DDSURFACEDESC d = {};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_PIXELFORMAT;
    d.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_VIDEOMEMORY;
    d.ddpfPixelFormat = {sizeof(DDPIXELFORMAT), flags, 0, bits, r, g, b, a};
    return d;
}

#define SIV_TEXTURE_FORMAT(flags, bits, r, g, b, a) MakeTextureFormat(flags, bits, r, g, b, a),
DDSURFACEDESC g_textureFormats[] = {SIV_TEXTURE_FORMATS(SIV_TEXTURE_FORMAT)};
#undef SIV_TEXTURE_FORMAT
static_assert(sizeof g_textureFormats / sizeof g_textureFormats[0] == 4);

D3DHAL_GLOBALDRIVERDATA g_globalData;

D3DHAL_CALLBACKS MakeCallbacks() {
    D3DHAL_CALLBACKS cb = {};
    cb.dwSize = sizeof cb;
    cb.ContextCreate = ContextCreate;
    cb.ContextDestroy = ContextDestroy;
    cb.ContextDestroyAll = ContextDestroyAll;
    cb.RenderState = RenderState;
    cb.RenderPrimitive = RenderPrimitive;
    cb.TextureCreate = TextureCreate;
    cb.TextureDestroy = TextureDestroy;
    cb.TextureSwap = TextureSwap;
    cb.TextureGetSurf = TextureGetSurf;
    cb.GetState = GetState;
    return cb;
}
D3DHAL_CALLBACKS g_callbacks = MakeCallbacks();

// A surface the engine can draw into or read: in the card's video memory, not destroyed.
bool InVideoMemory(DriverBlock *block, const DDRAWI_DDRAWSURFACE_LCL *s) {
    return s && s->lpGbl && !(s->ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY) && s->lpGbl->fpVidMem &&
           s->lpGbl->fpVidMem >= block->frameBuffer();
}

// What a context may draw into: a target in video memory whose pitch the engine's 16-bit target
// stride field holds (a wider one would be drawn on the wrong rows) and whose every pixel the
// engine reaches (the far ones would be left undrawn), and a Z buffer in video memory that covers
// the target (the engine keeps a depth for every pixel it draws, at the target's coordinates; a
// smaller Z buffer would have the depths of the rest written over whatever lies past it). The Z
// stride register takes any pitch.
HRESULT TargetAnswer(DriverBlock *block, const DDRAWI_DDRAWSURFACE_LCL *target, const DDRAWI_DDRAWSURFACE_LCL *z) {
    if (!InVideoMemory(block, target) || (z && !InVideoMemory(block, z)))
        return DDERR_INVALIDPARAMS;
    const DDRAWI_DDRAWSURFACE_GBL *t = target->lpGbl;
    if (static_cast<DWORD>(t->lPitch) > 0xFFFF || t->wWidth > sivd3d::kTargetReach)
        return DDERR_TOOBIGWIDTH;
    if (t->wHeight > sivd3d::kTargetReach)
        return DDERR_TOOBIGHEIGHT;
    if (z && (z->lpGbl->wWidth < t->wWidth || z->lpGbl->wHeight < t->wHeight))
        return DDERR_INVALIDPARAMS;
    return DD_OK;
}

// The engine's texture fields: the row stride, texel bytes times the width, in 16 bits, and the
// size as the power of two the width rounds up to, at most 2^15. That size is the texture's
// height too: rows past it are never read (the engine wraps back to the first row there), so a
// texture taller than that square would show its first rows in place of the others.
bool EngineTakesTexture(const DDRAWI_DDRAWSURFACE_LCL *s) {
    const DWORD width = s->lpGbl->wWidth;
    if (width > 0x8000 || SurfaceFormat(s).dwRGBBitCount / 8 * width > 0xFFFF)
        return false;
    DWORD square = 1;
    while (square < width)
        square <<= 1;
    return s->lpGbl->wHeight <= square;
}

DWORD FreeContextRecord(HalContext *c, DWORD handle) {
    HalShared &s = Shared();
    DriverBlock *block = c->driverBlock;
    if (block && block->currentContext() != s.ownContextHandle && s.ownContextHandle)
        MakeContextCurrent(block, s.ownContextHandle);
    c->processId = 0;
    FreeHandle(s.contextTableId, handle);
    return 1;
}

DWORD FreeTextureRecord(HalTexture *t, DWORD handle) {
    t->processId = 0;
    t->contextHandle = 0;
    FreeHandle(Shared().textureTableId, handle);
    return 1;
}

// The driver's own context belongs to no process, so no process's clean-up frees it.
DWORD FreeContextIfProcess(void *item, DWORD handle, DWORD pid) {
    auto *c = static_cast<HalContext *>(item);
    if (c->processId == pid && handle != Shared().ownContextHandle) {
        c->processId = 0;
        FreeHandle(Shared().contextTableId, handle);
    }
    return 1;
}

DWORD FreeTextureIfProcess(void *item, DWORD handle, DWORD pid) {
    auto *t = static_cast<HalTexture *>(item);
    if (t->processId == pid)
        FreeTextureRecord(t, handle);
    return 1;
}

DWORD FreeTextureIfContext(void *item, DWORD handle, DWORD context) {
    auto *t = static_cast<HalTexture *>(item);
    if (t->contextHandle == context)
        FreeTextureRecord(t, handle);
    return 1;
}

DWORD ForgetBurntKey(void *item, DWORD, DWORD surface) {
    auto *t = static_cast<HalTexture *>(item);
    if (reinterpret_cast<uintptr_t>(t->surface) == surface)
        t->alphaApplied = 0;
    return 1;
}

void FreeProcessContexts(DWORD pid) { EnumHandles(Shared().contextTableId, FreeContextIfProcess, pid); }
void FreeProcessTextures(DWORD pid) { EnumHandles(Shared().textureTableId, FreeTextureIfProcess, pid); }
void FreeContextTextures(DWORD context) { EnumHandles(Shared().textureTableId, FreeTextureIfContext, context); }

// The texture records under a context changed: the next TEXTUREHANDLE state is taken afresh
// and the next drawing re-reads the selected record.
void TexturesChanged(HalContext *c) {
    c->textureStale = 1;
    c->dirty = 1;
}

void MakeCurrentIfNeeded(HalContext *c, DWORD handle) {
    if (c->driverBlock->currentContext() != handle)
        MakeContextCurrent(c->driverBlock, handle);
}

}  // namespace

HalContext *LookupContext(ULONG_PTR handle) {
    if (handle == 0 || handle == Shared().ownContextHandle || handle > 0xFFFFFFFFu)
        return nullptr;
    return static_cast<HalContext *>(LookupHandle(Shared().contextTableId, static_cast<DWORD>(handle)));
}

HalTexture *LookupTexture(DWORD handle) {
    return static_cast<HalTexture *>(LookupHandle(Shared().textureTableId, handle));
}

const DDPIXELFORMAT &SurfaceFormat(const DDRAWI_DDRAWSURFACE_LCL *surface) {
    static const DDPIXELFORMAT none = {};
    const DDRAWI_DDRAWSURFACE_GBL *g = surface->lpGbl;
    if (surface->dwFlags & DDRAWISURF_HASPIXELFORMAT)
        return g->ddpfSurface;
    return g->lpDD ? g->lpDD->vmiData.ddpfDisplay : none;
}

void TextureContentChanged(const DDRAWI_DDRAWSURFACE_LCL *surface) {
    if (Shared().textureTableId)
        EnumHandles(Shared().textureTableId, ForgetBurntKey, static_cast<DWORD>(reinterpret_cast<uintptr_t>(surface)));
}

int GetSurfaceColorKey(const DDRAWI_DDRAWSURFACE_LCL *surface, DWORD *low, DWORD *high) {
    if (!(surface->dwFlags & DDRAWISURF_HASCKEYSRCBLT))
        return 0;
    *low = surface->ddckCKSrcBlt.dwColorSpaceLowValue;
    *high = surface->ddckCKSrcBlt.dwColorSpaceHighValue;
    return 1;
}

int BuildD3DDriverData(DriverBlock *block, ULONG_PTR *outGlobalData, ULONG_PTR *outCallbacks) {
    D3DHAL_GLOBALDRIVERDATA &d = g_globalData;
    std::memset(&d, 0, sizeof d);
    d.dwSize = sizeof d;
    d.hwCaps = kDeviceDesc;
    if (!(block->driverFlags() & 0x800000))
        d.hwCaps.dpcTriCaps.dwTextureCaps &= ~D3DPTEXTURECAPS_TRANSPARENCY;
    d.dwNumVertices = 0;
    d.dwNumClipVertices = 0;
    d.dwNumTextureFormats = 4;
    d.lpTextureFormats = g_textureFormats;
    *outGlobalData = reinterpret_cast<ULONG_PTR>(&d);
    *outCallbacks = reinterpret_cast<ULONG_PTR>(&g_callbacks);
    return 1;
}

DWORD MakeContextCurrent(DriverBlock *block, DWORD handle) {
    const DWORD previous = block->currentContext();
    if (handle) {
        if (auto *c = static_cast<HalContext *>(LookupHandle(Shared().contextTableId, handle)))
            c->dirty = 1;
        block->currentContext() = handle;
        return previous;
    }
    // The 2D driver takes the engine back: a one-pixel copy with its own strides and format.
    const DWORD height = CurrentMode(block) ? CurrentMode(block)->height() : 0;
    sivblt::WaitFifo(block, 9);
    sivblt::WriteReg(block, 0xA4D4, 0);
    sivblt::WriteReg(block, 0xA4D8, 0);
    sivblt::WriteReg(block, 0xA4E4, block->engineStrides());
    sivblt::WriteReg(block, 0xA508, height);
    sivblt::WriteReg(block, 0xA50C, height);
    sivblt::WriteReg(block, 0xA504, 1);
    sivblt::WriteReg(block, 0xA500, block->engineFormat() | 0x07980020);
    block->currentContext() = 0;
    return previous;
}

DWORD WINAPI ContextCreate(D3DHAL_CONTEXTCREATEDATA *data) {
    DriverBlock *block = BlockOf(data->lpDDGbl);
    // A context draws into video memory only; a target that is gone, elsewhere, or too large for
    // the engine, or a Z buffer that does not cover it, gets none.
    if (HRESULT r = TargetAnswer(block, data->lpDDS, data->lpDDSZ); r != DD_OK) {
        data->ddrval = r;
        return DDHAL_DRIVER_HANDLED;
    }
    DWORD handle;
    HalContext *c = nullptr;
    if (!AllocHandle(Shared().contextTableId, &handle) ||
        !(c = static_cast<HalContext *>(LookupHandle(Shared().contextTableId, handle)))) {
        data->ddrval = D3DHAL_OUTOFCONTEXTS;
        return DDHAL_DRIVER_HANDLED;
    }
    data->dwhContext = handle;
    block->currentContext() = handle;
    std::memset(c, 0, sizeof *c);
    c->size = sizeof *c;
    c->processId = data->dwPID;
    c->directDraw = data->lpDDGbl;
    InitContextRecord(block, c, data->lpDDS, data->lpDDSZ);
    data->ddrval = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

void InitContextRecord(DriverBlock *block, HalContext *c, DDRAWI_DDRAWSURFACE_LCL *target,
                       DDRAWI_DDRAWSURFACE_LCL *zSurface) {
    // The default of every state, by number; FOGTABLESTART, END and DENSITY are the integers
    // 1, 100 and 1 as raw words, not floats.
    static constexpr DWORD kDefaults[D3DRS_COUNT] = {
        0, 0, 0, 1, 0, 0, 0, 0, 3, 2, 0, 0, 13, 0xFFFFFFFF, 1, 0, 1, 1, 1, 2, 1, 2, 3, 4, 0, 8,
        0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 100, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0,
    };
    static_assert(kDefaults[D3DRS_FILLMODE] == 3 && kDefaults[D3DRS_ZFUNC] == 4 &&
                  kDefaults[D3DRS_SPECULARENABLE] == 1 && kDefaults[D3DRS_FOGTABLEEND] == 100 &&
                  kDefaults[D3DRS_TEXTUREADDRESSV] == 1 && kDefaults[D3DRS_ALPHAFUNC] == 8);
    c->dirty = 1;
    c->driverBlock = block;
    c->renderTarget = target;
    c->zBuffer = zSurface;
    c->driverFlags = block->driverFlags();
    c->registers = reinterpret_cast<void *>(static_cast<uintptr_t>(block->regBase()));
    c->textureStale = 0;
    for (DWORD state = 1; state < D3DRS_COUNT; state++)
        CallRenderStateHandler(c, state, kDefaults[state]);
    c->command |= 0x80000000 | block->engineFormat();
    c->targetOffset = static_cast<DWORD>(target->lpGbl->fpVidMem - block->frameBuffer());
    c->strides = static_cast<DWORD>(target->lpGbl->lPitch) << 16;
}

DWORD WINAPI SetRenderTarget(D3DHAL_SETRENDERTARGETDATA *data) {
    HalContext *c = NamedContext(data);
    if (!c)
        return DDHAL_DRIVER_HANDLED;
    DriverBlock *block = c->driverBlock;
    if (HRESULT r = TargetAnswer(block, data->lpDDS, data->lpDDSZ); r != DD_OK) {
        data->ddrval = r;
        return DDHAL_DRIVER_HANDLED;
    }
    MakeCurrentIfNeeded(c, static_cast<DWORD>(data->dwhContext));
    InitContextRecord(block, c, data->lpDDS, data->lpDDSZ);
    const DWORD z = data->lpDDSZ ? 1 : 0;
    c->renderStates[D3DRS_ZENABLE] = z;
    c->renderStates[D3DRS_ZWRITEENABLE] = z;
    c->selectionBits = (c->selectionBits & ~2u) | z << 1;
    data->ddrval = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

DWORD WINAPI ContextDestroy(D3DHAL_CONTEXTDESTROYDATA *data) {
    HalContext *c = NamedContext(data);
    if (!c)
        return DDHAL_DRIVER_HANDLED;
    const DWORD handle = static_cast<DWORD>(data->dwhContext);
    FreeContextTextures(handle);
    FreeContextRecord(c, handle);
    data->ddrval = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

DWORD WINAPI ContextDestroyAll(D3DHAL_CONTEXTDESTROYALLDATA *data) {
    FreeProcessTextures(data->dwPID);
    FreeProcessContexts(data->dwPID);
    data->ddrval = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

DWORD WINAPI TextureCreate(D3DHAL_TEXTURECREATEDATA *data) {
    HalContext *c = NamedContext(data);
    if (!c)
        return DDHAL_DRIVER_HANDLED;
    DriverBlock *block = c->driverBlock;
    DDRAWI_DDRAWSURFACE_LCL *s = data->lpDDS;
    // Only textures in video memory are announced; one elsewhere, or without texels, would
    // leave the engine a texture of no size to wrap coordinates in, and one larger than its
    // fields hold would be read on the wrong rows.
    if (!InVideoMemory(block, s) || !(s->ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY) || s->lpGbl->wWidth == 0 ||
        s->lpGbl->wHeight == 0 || !EngineTakesTexture(s)) {
        data->ddrval = D3DERR_TEXTURE_CREATE_FAILED;
        return DDHAL_DRIVER_HANDLED;
    }
    DWORD handle;
    if (!AllocHandle(Shared().textureTableId, &handle)) {
        data->ddrval = DDERR_OUTOFMEMORY;
        return DDHAL_DRIVER_HANDLED;
    }
    HalTexture *t = LookupTexture(handle);
    if (!t) {
        data->ddrval = D3DERR_TEXTURE_CREATE_FAILED;
        return DDHAL_DRIVER_HANDLED;
    }
    data->dwHandle = handle;
    std::memset(t, 0, sizeof *t);
    t->processId = c->processId;
    t->contextHandle = static_cast<DWORD>(data->dwhContext);
    t->surface = s;
    TexturesChanged(c);
    t->textureOffset = static_cast<DWORD>(s->lpGbl->fpVidMem - block->frameBuffer());
    DWORD low, high;
    if ((block->driverFlags() & 0x800000) && GetSurfaceColorKey(s, &low, &high)) {
        t->colorKeyValid = 1;
        t->alphaApplied = 0;
        t->colorKeyLow = low;
        t->colorKeyHigh = high;
    }
    t->width = s->lpGbl->wWidth;
    t->height = s->lpGbl->wHeight;
    data->ddrval = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

DWORD WINAPI TextureDestroy(D3DHAL_TEXTUREDESTROYDATA *data) {
    HalContext *c = NamedContext(data);
    if (!c)
        return DDHAL_DRIVER_HANDLED;
    HalTexture *t = LookupTexture(data->dwHandle);
    if (!t) {
        data->ddrval = DDERR_INVALIDPARAMS;
        return DDHAL_DRIVER_HANDLED;
    }
    TexturesChanged(c);
    FreeTextureRecord(t, data->dwHandle);
    data->ddrval = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

DWORD WINAPI TextureSwap(D3DHAL_TEXTURESWAPDATA *data) {
    HalContext *c = NamedContext(data);
    if (!c)
        return DDHAL_DRIVER_HANDLED;
    HalTexture *a = LookupTexture(data->dwHandle1);
    HalTexture *b = LookupTexture(data->dwHandle2);
    if (!a || !b) {
        data->ddrval = DDERR_INVALIDPARAMS;
        return DDHAL_DRIVER_HANDLED;
    }
    TexturesChanged(c);
    HalTexture t = *a;
    *a = *b;
    *b = t;
    data->ddrval = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

// Handled with DD_OK when the surface is found, as every callback reports success.
DWORD WINAPI TextureGetSurf(D3DHAL_TEXTUREGETSURFDATA *data) {
    if (!NamedContext(data))
        return DDHAL_DRIVER_HANDLED;
    HalTexture *t = LookupTexture(data->dwHandle);
    if (!t) {
        data->ddrval = DDERR_INVALIDPARAMS;
        return DDHAL_DRIVER_HANDLED;
    }
    data->lpDDS = static_cast<DDRAWI_DDRAWSURFACE_LCL *>(t->surface);
    data->ddrval = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}
