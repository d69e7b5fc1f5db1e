// The 9x Direct3D runtime's side of the driver HAL: devices, contexts, textures, execute
// buffers, DrawPrimitive requests and batches, and the surfaces Direct3D draws with.
#include "platform/ddraw/ddraw9x_d3d.h"

#include <algorithm>
#include <cstring>

namespace {

D3d9xResult Handled(DWORD handled, HRESULT r) { return D3d9xResult{r, handled}; }
const D3d9xResult kNoDriver = {DDERR_UNSUPPORTED, 0};

// The runtime's vertex buffer: a system-memory surface the driver reads TL vertices from.
struct VertexBuffer {
    DDRAWI_DDRAWSURFACE_LCL lcl{};
    DDRAWI_DDRAWSURFACE_GBL gbl{};
    std::vector<uint8_t> bytes;
};

}  // namespace

int kivD3d9xCreateDevice(Ddraw9xDriver *drv, DWORD pid, D3d9xDevice *out) {
    if (!drv || !out || !drv->info.lpD3DGlobalDriverData || !drv->info.lpD3DHALCallbacks)
        return 0;
    std::memset(out, 0, sizeof *out);
    const auto *data = reinterpret_cast<const D3DHAL_GLOBALDRIVERDATA *>(drv->info.lpD3DGlobalDriverData);
    const auto *cb = reinterpret_cast<const D3DHAL_CALLBACKS *>(drv->info.lpD3DHALCallbacks);
    if (data->dwSize != sizeof(D3DHAL_GLOBALDRIVERDATA) || cb->dwSize != sizeof(D3DHAL_CALLBACKS))
        return 0;
    out->drv = drv;
    out->pid = pid;
    out->data = *data;
    const DWORD formats = std::min<DWORD>(data->dwNumTextureFormats, 8);
    if (data->lpTextureFormats)
        std::memcpy(out->textureFormats, data->lpTextureFormats, formats * sizeof(DDSURFACEDESC));
    out->data.dwNumTextureFormats = formats;
    out->data.lpTextureFormats = out->textureFormats;
    out->callbacks = *cb;
    if (drv->gotCallbacks2 && drv->callbacks2Result == DD_OK)
        out->callbacks2 = drv->callbacks2;
    return 1;
}

D3d9xResult kivD3d9xCreateContext(D3d9xDevice *dev, DDRAWI_DDRAWSURFACE_LCL *target, DDRAWI_DDRAWSURFACE_LCL *z,
                                  ULONG_PTR *context) {
    if (!dev->callbacks.ContextCreate)
        return kNoDriver;
    D3DHAL_CONTEXTCREATEDATA d = {&dev->drv->gbl, target, z, dev->pid, 0, DD_OK};
    const DWORD h = dev->callbacks.ContextCreate(&d);
    *context = d.ddrval == DD_OK ? d.dwhContext : 0;
    return Handled(h, d.ddrval);
}

D3d9xResult kivD3d9xDestroyContext(D3d9xDevice *dev, ULONG_PTR context) {
    if (!dev->callbacks.ContextDestroy)
        return kNoDriver;
    D3DHAL_CONTEXTDESTROYDATA d = {context, DD_OK};
    const DWORD h = dev->callbacks.ContextDestroy(&d);
    return Handled(h, d.ddrval);
}

D3d9xResult kivD3d9xDestroyAllContexts(D3d9xDevice *dev) {
    if (!dev->callbacks.ContextDestroyAll)
        return kNoDriver;
    D3DHAL_CONTEXTDESTROYALLDATA d = {dev->pid, DD_OK};
    const DWORD h = dev->callbacks.ContextDestroyAll(&d);
    return Handled(h, d.ddrval);
}

D3d9xResult kivD3d9xSetRenderTarget(D3d9xDevice *dev, ULONG_PTR context, DDRAWI_DDRAWSURFACE_LCL *target,
                                    DDRAWI_DDRAWSURFACE_LCL *z) {
    if (!dev->callbacks2.SetRenderTarget)
        return kNoDriver;
    D3DHAL_SETRENDERTARGETDATA d = {context, target, z, DD_OK};
    const DWORD h = dev->callbacks2.SetRenderTarget(&d);
    return Handled(h, d.ddrval);
}

D3d9xResult kivD3d9xCreateTexture(D3d9xDevice *dev, ULONG_PTR context, DDRAWI_DDRAWSURFACE_LCL *surface,
                                  DWORD *handle) {
    if (!dev->callbacks.TextureCreate)
        return kNoDriver;
    D3DHAL_TEXTURECREATEDATA d = {context, surface, 0, DD_OK};
    const DWORD h = dev->callbacks.TextureCreate(&d);
    *handle = d.ddrval == DD_OK ? d.dwHandle : 0;
    return Handled(h, d.ddrval);
}

D3d9xResult kivD3d9xDestroyTexture(D3d9xDevice *dev, ULONG_PTR context, DWORD handle) {
    if (!dev->callbacks.TextureDestroy)
        return kNoDriver;
    D3DHAL_TEXTUREDESTROYDATA d = {context, handle, DD_OK};
    const DWORD h = dev->callbacks.TextureDestroy(&d);
    return Handled(h, d.ddrval);
}

D3d9xResult kivD3d9xSwapTextures(D3d9xDevice *dev, ULONG_PTR context, DWORD h1, DWORD h2) {
    if (!dev->callbacks.TextureSwap)
        return kNoDriver;
    D3DHAL_TEXTURESWAPDATA d = {context, h1, h2, DD_OK};
    const DWORD h = dev->callbacks.TextureSwap(&d);
    return Handled(h, d.ddrval);
}

D3d9xResult kivD3d9xTextureSurface(D3d9xDevice *dev, ULONG_PTR context, DWORD handle,
                                   DDRAWI_DDRAWSURFACE_LCL **surface) {
    if (!dev->callbacks.TextureGetSurf)
        return kNoDriver;
    D3DHAL_TEXTUREGETSURFDATA d = {context, nullptr, handle, DD_OK};
    const DWORD h = dev->callbacks.TextureGetSurf(&d);
    *surface = d.ddrval == DD_OK ? d.lpDDS : nullptr;
    return Handled(h, d.ddrval);
}

D3d9xResult kivD3d9xGetRenderState(D3d9xDevice *dev, ULONG_PTR context, DWORD state, DWORD *value) {
    if (!dev->callbacks.GetState)
        return kNoDriver;
    D3DHAL_GETSTATEDATA d = {};
    d.dwhContext = context;
    d.dwWhich = D3DHALSTATE_GET_RENDER;
    d.ddState.dtstTransformStateType = state;
    const DWORD h = dev->callbacks.GetState(&d);
    *value = d.ddState.dwArg[0];
    return Handled(h, d.ddrval);
}

D3d9xResult kivD3d9xExecute(D3d9xDevice *dev, ULONG_PTR context, DDRAWI_DDRAWSURFACE_LCL *buffer,
                            D3d9xExecuteData *data) {
    if (!dev->callbacks.RenderState || !dev->callbacks.RenderPrimitive)
        return kNoDriver;
    const DDRAWI_DDRAWSURFACE_GBL *g = buffer ? buffer->lpGbl : nullptr;
    if (!g || !g->fpVidMem)
        return Handled(0, DDERR_INVALIDPARAMS);
    const uint64_t size = g->dwLinearSize;
    if (uint64_t(data->vertexOffset) + uint64_t(data->vertexCount) * 32 > size ||
        uint64_t(data->instructionOffset) + data->instructionLength > size)
        return Handled(0, DDERR_INVALIDPARAMS);
    const uint8_t *mem = reinterpret_cast<const uint8_t *>(g->fpVidMem);
    VertexBuffer tl;
    tl.bytes.assign(mem + data->vertexOffset, mem + data->vertexOffset + 32 * size_t(data->vertexCount));
    tl.bytes.resize(std::max<size_t>(tl.bytes.size(), 32));   // never an empty allocation
    tl.lcl.lpGbl = &tl.gbl;
    tl.lcl.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY;
    tl.gbl.fpVidMem = reinterpret_cast<FLATPTR>(tl.bytes.data());
    tl.gbl.dwLinearSize = 32 * data->vertexCount;

    DWORD at = data->instructionOffset;
    const DWORD end = data->instructionOffset + data->instructionLength;
    D3d9xResult last = Handled(1, DD_OK);
    while (at + sizeof(D3DINSTRUCTION) <= end) {
        D3DINSTRUCTION ins;
        std::memcpy(&ins, mem + at, sizeof ins);
        const DWORD records = at + sizeof ins;
        const uint64_t next = uint64_t(records) + uint64_t(ins.bSize) * ins.wCount;
        if (ins.bOpcode == D3DOP_EXIT)
            break;
        if (ins.bOpcode == D3DOP_STATERENDER) {
            D3DHAL_RENDERSTATEDATA d = {context, records, ins.wCount, buffer, DD_OK};
            const DWORD h = dev->callbacks.RenderState(&d);
            last = Handled(h, d.ddrval);
        } else if (ins.bOpcode >= D3DOP_POINT && ins.bOpcode <= D3DOP_TRIANGLE) {
            D3DHAL_RENDERPRIMITIVEDATA d = {};
            d.dwhContext = context;
            d.dwOffset = records;
            d.dwStatus = data->status;
            d.lpExeBuf = buffer;
            d.dwTLOffset = 0;
            d.lpTLBuf = &tl.lcl;
            d.diInstruction = ins;
            const DWORD h = dev->callbacks.RenderPrimitive(&d);
            last = Handled(h, d.ddrval);
            data->status = d.dwStatus;
        }
        if (last.result != DD_OK)
            return last;
        if (next > end)
            break;
        at = static_cast<DWORD>(next);
    }
    return last;
}

D3d9xResult kivD3d9xDrawPrimitive(D3d9xDevice *dev, ULONG_PTR context, DWORD type, const D3DTLVERTEX *vertices,
                                  DWORD count) {
    if (!dev->callbacks2.DrawOnePrimitive)
        return kNoDriver;
    D3DHAL_DRAWONEPRIMITIVEDATA d = {};
    d.dwhContext = context;
    d.PrimitiveType = type;
    d.VertexType = D3DVT_TLVERTEX;
    d.lpvVertices = const_cast<D3DTLVERTEX *>(vertices);
    d.dwNumVertices = count;
    const DWORD h = dev->callbacks2.DrawOnePrimitive(&d);
    return Handled(h, d.ddrval);
}

D3d9xResult kivD3d9xDrawIndexedPrimitive(D3d9xDevice *dev, ULONG_PTR context, DWORD type,
                                         const D3DTLVERTEX *vertices, DWORD count, const WORD *indices,
                                         DWORD indexCount) {
    if (!dev->callbacks2.DrawOneIndexedPrimitive)
        return kNoDriver;
    D3DHAL_DRAWONEINDEXEDPRIMITIVEDATA d = {};
    d.dwhContext = context;
    d.PrimitiveType = type;
    d.VertexType = D3DVT_TLVERTEX;
    d.lpvVertices = const_cast<D3DTLVERTEX *>(vertices);
    d.dwNumVertices = count;
    d.lpwIndices = const_cast<WORD *>(indices);
    d.dwNumIndices = indexCount;
    const DWORD h = dev->callbacks2.DrawOneIndexedPrimitive(&d);
    return Handled(h, d.ddrval);
}

namespace {

void AppendBlock(D3d9xBatch *b, WORD type, const D3DTLVERTEX *vertices, WORD count) {
    D3DHAL_DRAWPRIMCOUNTS h = {static_cast<WORD>(b->pendingStates.size() / 2), type, D3DVT_TLVERTEX, count};
    const size_t at = b->stream.size();
    b->stream.resize(at + sizeof h + 4 * b->pendingStates.size());
    std::memcpy(b->stream.data() + at, &h, sizeof h);
    if (!b->pendingStates.empty())
        std::memcpy(b->stream.data() + at + sizeof h, b->pendingStates.data(), 4 * b->pendingStates.size());
    b->pendingStates.clear();
    if (!count)
        return;
    // Vertices start at the next 32-byte boundary counted from the start of the stream.
    b->stream.resize((b->stream.size() + 31) & ~size_t(31));
    const size_t v = b->stream.size();
    b->stream.resize(v + 32 * size_t(count));
    std::memcpy(b->stream.data() + v, vertices, 32 * size_t(count));
}

}  // namespace

void kivD3d9xBatchState(D3d9xBatch *batch, DWORD state, DWORD value) {
    batch->pendingStates.push_back(state);
    batch->pendingStates.push_back(value);
}

void kivD3d9xBatchPrimitive(D3d9xBatch *batch, DWORD type, const D3DTLVERTEX *vertices, WORD count) {
    if (count)
        AppendBlock(batch, static_cast<WORD>(type), vertices, count);
}

D3d9xResult kivD3d9xFlushBatch(D3d9xDevice *dev, ULONG_PTR context, D3d9xBatch *batch) {
    if (!dev->callbacks2.DrawPrimitives)
        return kNoDriver;
    AppendBlock(batch, 0, nullptr, 0);
    // The driver reads the stream in 32-byte units of vertices; keep it in memory aligned so.
    std::vector<uint64_t> aligned((batch->stream.size() + 7) / 8);
    std::memcpy(aligned.data(), batch->stream.data(), batch->stream.size());
    D3DHAL_DRAWPRIMITIVESDATA d = {context, 0, aligned.data(), 0, DD_OK};
    const DWORD h = dev->callbacks2.DrawPrimitives(&d);
    batch->stream.clear();
    return Handled(h, d.ddrval);
}

HRESULT kivDdraw9xCreateSurfaces(Ddraw9xDriver *drv, DDSURFACEDESC *desc, DDRAWI_DDRAWSURFACE_LCL **list,
                                 DWORD count) {
    if (!drv || !desc || !list || !count)
        return DDERR_INVALIDPARAMS;
    const bool ownFormat = (desc->dwFlags & DDSD_PIXELFORMAT) != 0;
    if (drv->callbacks.CanCreateSurface) {
        DDHAL_CANCREATESURFACEDATA can = {&drv->gbl, desc, ownFormat, DD_OK, nullptr};
        drv->callbacks.CanCreateSurface(&can);
        if (can.ddRVal != DD_OK)
            return can.ddRVal;
    }
    for (DWORD i = 0; i < count; i++) {
        DDRAWI_DDRAWSURFACE_GBL *g = list[i]->lpGbl;
        list[i]->ddsCaps.dwCaps = desc->ddsCaps.dwCaps | DDSCAPS_VIDEOMEMORY;
        g->lpDD = &drv->gbl;
        if (ownFormat) {
            list[i]->dwFlags |= DDRAWISURF_HASPIXELFORMAT;
            g->ddpfSurface = desc->ddpfPixelFormat;
        }
        if (!g->lPitch) {
            const DWORD bits = ownFormat ? desc->ddpfPixelFormat.dwRGBBitCount
                                         : drv->gbl.vmiData.ddpfDisplay.dwRGBBitCount;
            g->lPitch = static_cast<LONG>((g->wWidth * bits / 8 + 7) & ~7u);
        }
    }
    DWORD handled = DDHAL_DRIVER_NOTHANDLED;
    HRESULT r = DD_OK;
    if (drv->callbacks.CreateSurface) {
        DDHAL_CREATESURFACEDATA d = {&drv->gbl, desc, list, count, DD_OK, nullptr};
        handled = drv->callbacks.CreateSurface(&d);
        r = d.ddRVal;
    }
    if (handled == DDHAL_DRIVER_HANDLED || r != DD_OK)
        return r;
    // The rest is DirectDraw's: a block from the heap for every surface, of the size asked for.
    for (DWORD i = 0; i < count; i++) {
        DDRAWI_DDRAWSURFACE_GBL *g = list[i]->lpGbl;
        const bool asked = g->fpVidMem == DDHAL_PLEASEALLOC_BLOCKSIZE;
        const DWORD x = asked ? g->dwBlockSizeX : static_cast<DWORD>(g->lPitch);
        const DWORD y = asked ? g->dwBlockSizeY : g->wHeight;
        const FLATPTR at = DDHAL32_VidMemAlloc(&drv->gbl, 0, x, y);
        if (!at) {
            for (DWORD j = 0; j < i; j++)
                kivDdraw9xDestroySurface(&drv->gbl, nullptr, list[j]);
            return DDERR_OUTOFMEMORY;
        }
        g->fpVidMem = at;
        g->lpVidMemHeap = &drv->gbl.vmiData.pvmList[0];
    }
    return DD_OK;
}

D3d9xResult kivDdraw9xAddAttachedSurface(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *parent,
                                         DDRAWI_DDRAWSURFACE_LCL *level) {
    DWORD handled = DDHAL_DRIVER_NOTHANDLED;
    HRESULT r = DD_OK;
    if (drv->surfaceCallbacks.AddAttachedSurface) {
        DDHAL_ADDATTACHEDSURFACEDATA d = {&drv->gbl, parent, level, DDERR_UNSUPPORTED, nullptr};
        handled = drv->surfaceCallbacks.AddAttachedSurface(&d);
        r = d.ddRVal;
    }
    if (r == DD_OK) {
        parent->lpAttachList = level;
        parent->dwMipMapCount = 1;
        for (DDRAWI_DDRAWSURFACE_LCL *s = level; s; s = s->lpAttachList)
            parent->dwMipMapCount++;
    }
    return Handled(handled, r);
}
