// DirectDraw surface callbacks: which surfaces the card takes, their layout in video memory,
// the surface counters, and whether a surface may be locked now.
#include "drv/siv/display/sivhal.h"

#include <algorithm>
#include <cstring>
#include "platform/zk3/zk3_engine_mmio.h"
#include "platform/siv/port_io.h"
#include "drv/siv/display/overlay.h"

namespace {

constexpr DWORD kCountedKinds[] = {DDSCAPS_OFFSCREENPLAIN, DDSCAPS_OVERLAY, DDSCAPS_PRIMARYSURFACE};
constexpr DWORD kEngineIdle = 0x2000;
constexpr DWORD kSivStatusOffset = 0x8504;

FieldRef<uint32_t> CounterOf(DriverBlock *block, DWORD kind) {
    switch (kind) {
    case DDSCAPS_OFFSCREENPLAIN:
        return block->offscreenCount();
    case DDSCAPS_OVERLAY:
        return block->overlayCount();
    default:
        return block->primaryCount();
    }
}

// The first counted kind among the caps, or 0.
DWORD CountedKind(DWORD caps) {
    for (DWORD kind : kCountedKinds)
        if (caps & kind)
            return kind;
    return 0;
}

// A mip-map chain in one block: the levels one after the other, each wHeight lines of its own
// pitch. The block has h + h/8 + h/4 lines of the first level's pitch, or more when the levels
// need more: small chains, where the integer divisions fall short, and chains whose smaller
// levels are attached one by one later, for which the block keeps room down to 1 x 1. Every
// level's driver word holds the end of the block, so an attachment can tell whether it fits.
DWORD CreateMipChain(DDHAL_CREATESURFACEDATA *data) {
    DDRAWI_DDRAWSURFACE_GBL *top = data->lplpSList[0]->lpGbl;
    const DWORD w = top->wWidth, h = top->wHeight;
    if (!(w == h || w == h / 2)) {
        data->ddRVal = DDERR_OUTOFMEMORY;
        return DDHAL_DRIVER_HANDLED;
    }
    const DWORD pitch = static_cast<DWORD>(top->lPitch);
    uint64_t given = 0, full = 0;
    for (DWORD i = 0; i < data->dwSCnt; i++) {
        const DDRAWI_DDRAWSURFACE_GBL *g = data->lplpSList[i]->lpGbl;
        given += static_cast<uint64_t>(g->wHeight) * static_cast<DWORD>(g->lPitch);
    }
    // Levels attached later have DirectDraw's pitch: their texels, in whole 8-byte units.
    const DWORD texel = w ? std::max<DWORD>(1, pitch / w) : 1;
    for (DWORD lw = w, lh = h; lw || lh; lw >>= 1, lh >>= 1)
        full += static_cast<uint64_t>((std::max<DWORD>(lw, 1) * texel + 7) & ~7u) * std::max<DWORD>(lh, 1);
    const uint64_t bytes = std::max(given, full);
    uint64_t lines = pitch ? (bytes + pitch - 1) / pitch : 0;
    if (lines < h + h / 8 + h / 4)
        lines = h + h / 8 + h / 4;
    FLATPTR block = lines && lines * pitch <= 0xFFFFFFFFu
                        ? DDHAL32_VidMemAlloc(data->lpDD, 0, pitch, static_cast<DWORD>(lines)) : 0;
    if (!block) {
        data->ddRVal = DDERR_OUTOFMEMORY;
        return DDHAL_DRIVER_HANDLED;
    }
    FLATPTR at = block;
    for (DWORD i = 0; i < data->dwSCnt; i++) {
        DDRAWI_DDRAWSURFACE_GBL *g = data->lplpSList[i]->lpGbl;
        g->fpVidMem = at;
        g->lpVidMemHeap = nullptr;
        g->dwReserved1 = static_cast<DWORD>(block + lines * pitch);
        at += static_cast<FLATPTR>(g->wHeight) * static_cast<DWORD>(g->lPitch);
    }
    // The top level owns the block, so DirectDraw frees it when the chain goes.
    top->lpVidMemHeap = &data->lpDD->vmiData.pvmList[0];
    data->ddRVal = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

void AskForBlock(DDHAL_CREATESURFACEDATA *data, DDRAWI_DDRAWSURFACE_GBL *g, DWORD pitch) {
    g->fpVidMem = DDHAL_PLEASEALLOC_BLOCKSIZE;
    g->lPitch = static_cast<LONG>(pitch);
    g->dwBlockSizeX = pitch;
    g->dwBlockSizeY = g->wHeight;
    data->lpDDSurfaceDesc->lPitch = static_cast<LONG>(pitch);
}

}  // namespace

DWORD IsSupportedPixelFormat(const DDPIXELFORMAT *pf) {
    if (pf->dwFlags & DDPF_RGB) {
        switch (pf->dwRGBBitCount) {
        case 8:
            return 1;
        case 16:
            if (pf->dwRBitMask == 0x7C00 && pf->dwGBitMask == 0x03E0 && pf->dwBBitMask == 0x001F)
                return 2;
            if (pf->dwRBitMask == 0xF800 && pf->dwGBitMask == 0x07E0 && pf->dwBBitMask == 0x001F)
                return 4;
            return 0;
        case 24:
            return 5;
        case 32:
            return 6;
        default:
            return 0;
        }
    }
    if (pf->dwFlags & DDPF_PALETTEINDEXED8)
        return 1;
    if (pf->dwFlags & DDPF_FOURCC) {
        if (pf->dwFourCC == KIV_FOURCC('Y', 'U', 'Y', '2'))
            return 7;
        if (pf->dwFourCC == KIV_FOURCC('Y', '2', '1', '1'))
            return 8;
    }
    return 0;
}

DWORD SurfacePixelFormat(DriverBlock *block, const DDRAWI_DDRAWSURFACE_LCL *surface) {
    if (surface->dwFlags & DDRAWISURF_HASPIXELFORMAT)
        return IsSupportedPixelFormat(&surface->lpGbl->ddpfSurface);
    return block->pixelFormat();
}

void CountSurface(DriverBlock *block, DWORD caps) {
    if (DWORD kind = CountedKind(caps))
        CounterOf(block, kind) += 1;
}

void UpdateSurfaceCounters(DriverBlock *block, DWORD caps) {
    if (DWORD kind = CountedKind(caps)) {
        FieldRef<uint32_t> counter = CounterOf(block, kind);
        if (counter > 0)
            counter = counter - 1;
    }
}

DWORD ReadRegister(DriverBlock *block, DWORD offset) {
    return kivMmioRead(reinterpret_cast<volatile void *>(static_cast<uintptr_t>(block->regBase() + offset)), 4);
}

DWORD WINAPI CanCreateSurface(DDHAL_CANCREATESURFACEDATA *data) {
    DriverBlock *block = BlockOf(data->lpDD);
    const DWORD caps = data->lpDDSurfaceDesc->ddsCaps.dwCaps;
    data->ddRVal = DDERR_INVALIDPIXELFORMAT;
    if ((caps & (DDSCAPS_OFFSCREENPLAIN | DDSCAPS_OVERLAY)) && (block->driverFlags() & kDfNoOffscreen)) {
        data->ddRVal = DDERR_OUTOFCAPS;
    } else if (caps & DDSCAPS_OVERLAY) {
        DWORD f = data->bIsDifferentPixelFormat ? IsSupportedPixelFormat(&data->lpDDSurfaceDesc->ddpfPixelFormat)
                                                : static_cast<DWORD>(block->pixelFormat());
        if (f == 2 || f == 4 || f == 7 || f == 8)
            data->ddRVal = DD_OK;
    } else if (caps & DDSCAPS_TEXTURE) {
        data->ddRVal = DD_OK;
    } else if (!data->bIsDifferentPixelFormat) {
        data->ddRVal = DD_OK;
    }
    return DDHAL_DRIVER_HANDLED;
}

DWORD WINAPI CreateSurface(DDHAL_CREATESURFACEDATA *data) {
    DriverBlock *block = BlockOf(data->lpDD);
    const DWORD caps = data->lpDDSurfaceDesc->ddsCaps.dwCaps;
    data->ddRVal = DDERR_INVALIDPIXELFORMAT;
    if (data->dwSCnt == 0 || !data->lplpSList)
        return DDHAL_DRIVER_NOTHANDLED;
    if (caps & DDSCAPS_MIPMAP)
        return CreateMipChain(data);
    for (DWORD i = 0; i < data->dwSCnt; i++) {
        DDRAWI_DDRAWSURFACE_LCL *s = data->lplpSList[i];
        DDRAWI_DDRAWSURFACE_GBL *g = s->lpGbl;
        const DWORD f = SurfacePixelFormat(block, s);
        if (f == 7 || f == 8) {
            g->ddpfSurface.dwRGBBitCount = 16;
            AskForBlock(data, g, 2u * g->wWidth);
        } else if (caps & (DDSCAPS_TEXTURE | DDSCAPS_ZBUFFER)) {
            const DWORD bits = data->lpDDSurfaceDesc->ddpfPixelFormat.dwRGBBitCount;
            DWORD pitch = static_cast<DWORD>(g->lPitch);
            if ((caps & DDSCAPS_ZBUFFER) || bits == 16) {
                g->dwReserved1 = 16;
                pitch = 2u * g->wWidth;
            } else if (bits == 32) {
                g->dwReserved1 = 32;
                pitch = 4u * g->wWidth;
            }
            AskForBlock(data, g, pitch);
        }
        CountSurface(block, caps);
    }
    data->ddRVal = DD_OK;
    return DDHAL_DRIVER_NOTHANDLED;
}

DWORD WINAPI DestroySurface(DDHAL_DESTROYSURFACEDATA *data) {
    DriverBlock *block = BlockOf(data->lpDD);
    const DWORD caps = data->lpDDSurface->ddsCaps.dwCaps;
    UpdateSurfaceCounters(block, caps);
    OverlaySurfaceGone(block, data->lpDDSurface);   // never leave the overlay to a freed surface
    if ((caps & DDSCAPS_OVERLAY) && block->overlayCount() == 0)
        Driver16Fn2(4);
    data->ddRVal = DD_OK;
    return DDHAL_DRIVER_NOTHANDLED;
}

// Moves the next smaller level of a mip-map chain into the room its chain block keeps after the
// parent level. Only a level of exactly half the parent's size (at least 1 x 1) whose copy fits
// the block is moved; anything else stays where DirectDraw put it.
DWORD WINAPI AddAttachedSurface(DDHAL_ADDATTACHEDSURFACEDATA *data) {
    data->ddRVal = DD_OK;
    DDRAWI_DDRAWSURFACE_LCL *parent = data->lpDDSurface, *level = data->lpSurfAttached;
    if (!parent || !level || !(parent->ddsCaps.dwCaps & DDSCAPS_MIPMAP) || !(level->ddsCaps.dwCaps & DDSCAPS_MIPMAP))
        return DDHAL_DRIVER_NOTHANDLED;
    if ((parent->ddsCaps.dwCaps | level->ddsCaps.dwCaps) & DDSCAPS_SYSTEMMEMORY)
        return DDHAL_DRIVER_NOTHANDLED;
    DDRAWI_DDRAWSURFACE_GBL *pg = parent->lpGbl, *lg = level->lpGbl;
    auto half = [](DWORD v) { return std::max<DWORD>(1, v / 2); };
    if (pg->wWidth < 2 && pg->wHeight < 2)
        return DDHAL_DRIVER_NOTHANDLED;
    if (lg->wWidth != half(pg->wWidth) || lg->wHeight != half(pg->wHeight) || lg->lPitch <= 0 || !lg->fpVidMem)
        return DDHAL_DRIVER_NOTHANDLED;
    const uint64_t bytes = static_cast<uint64_t>(lg->wHeight) * static_cast<DWORD>(lg->lPitch);
    const uint64_t to = static_cast<uint64_t>(pg->fpVidMem) + static_cast<uint64_t>(pg->wHeight) * static_cast<DWORD>(pg->lPitch);
    const FLATPTR blockEnd = pg->dwReserved1;
    if (!pg->fpVidMem || !blockEnd || to + bytes > blockEnd)
        return DDHAL_DRIVER_NOTHANDLED;
    const FLATPTR from = lg->fpVidMem;
    if (from != to) {
        std::memmove(reinterpret_cast<void *>(static_cast<uintptr_t>(to)),
                     reinterpret_cast<const void *>(from), static_cast<size_t>(bytes / 4 * 4));
        DDRAWI_DIRECTDRAW_GBL *lpDD = data->lpDD;
        if (lg->lpVidMemHeap && lpDD->vmiData.pvmList)
            DDHAL32_VidMemFree(lpDD, static_cast<int>(lg->lpVidMemHeap - lpDD->vmiData.pvmList), from);
    }
    lg->fpVidMem = static_cast<FLATPTR>(to);
    lg->lpVidMemHeap = nullptr;
    lg->dwReserved1 = static_cast<DWORD>(blockEnd);
    return DDHAL_DRIVER_NOTHANDLED;
}

DWORD WINAPI Lock(DDHAL_LOCKDATA *data) {
    DriverBlock *block = BlockOf(data->lpDD);
    block->lockCount() += 1;
    if (!(ReadRegister(block, kSivStatusOffset) & kEngineIdle) ||
        (block->flipDone() == 0 && CheckFlipPacing(block) == DDERR_WASSTILLDRAWING)) {
        data->ddRVal = DDERR_WASSTILLDRAWING;
        return DDHAL_DRIVER_HANDLED;
    }
    // The application may write new texels: a colour key is burnt into them again.
    if (data->lpDDSurface && (data->lpDDSurface->ddsCaps.dwCaps & DDSCAPS_TEXTURE))
        TextureContentChanged(data->lpDDSurface);
    return DDHAL_DRIVER_NOTHANDLED;
}

// A flip is finished once active display and then a retrace have been seen after it, or one
// frame period after it was programmed.
HRESULT CheckFlipPacing(DriverBlock *block) {
    if (kivInPort8(0x3DA) & 0x08) {
        if (block->flipSawActive())
            block->flipSawRetrace() = 1;
    } else if (!(kivInPort8(0x3DA) & 0x08)) {
        block->flipSawActive() = 1;
        if (block->flipSawRetrace())
            block->flipDone() = 1;
    }
    if (timeGetTime() - block->flipTime() > block->framePeriod() || block->flipDone()) {
        block->flipDone() = 1;
        return DD_OK;
    }
    return DDERR_WASSTILLDRAWING;
}
