// The Windows 9x Direct3D runtime over a display driver's HAL: it takes the device description
// and callback tables the driver announced, creates contexts on render targets, hands render
// states and primitives over in execute buffers, DrawPrimitive calls and DrawPrimitives
// batches, and creates and binds textures, the way the 9x runtime calls a HAL. It also creates
// the surfaces Direct3D needs through the DirectDraw callbacks (CanCreateSurface, CreateSurface,
// then the heap for what the driver left to DirectDraw) and attaches mip-map levels.
//
// Nothing else: no transform, lighting or clipping (the HAL takes transformed vertices only),
// no viewports, no scene capture.
#pragma once
#include "platform/ddraw/ddraw9x_hal.h"
#include "platform/ddraw/d3d_hal.h"

#include <vector>

struct D3d9xDevice {
    Ddraw9xDriver *drv;
    DWORD pid;
    D3DHAL_GLOBALDRIVERDATA data;          // copy of the driver's global data
    DDSURFACEDESC textureFormats[8];
    D3DHAL_CALLBACKS callbacks;
    D3DHAL_CALLBACKS2 callbacks2;
};

// What a call came to: the HAL's result and whether it handled the call.
struct D3d9xResult {
    HRESULT result;
    DWORD handled;
};

// Creates the device for a driver object that announced Direct3D; 0 when it did not.
int kivD3d9xCreateDevice(Ddraw9xDriver *drv, DWORD pid, D3d9xDevice *out);

D3d9xResult kivD3d9xCreateContext(D3d9xDevice *dev, DDRAWI_DDRAWSURFACE_LCL *target, DDRAWI_DDRAWSURFACE_LCL *z,
                                  ULONG_PTR *context);
D3d9xResult kivD3d9xDestroyContext(D3d9xDevice *dev, ULONG_PTR context);
D3d9xResult kivD3d9xDestroyAllContexts(D3d9xDevice *dev);
D3d9xResult kivD3d9xSetRenderTarget(D3d9xDevice *dev, ULONG_PTR context, DDRAWI_DDRAWSURFACE_LCL *target,
                                    DDRAWI_DDRAWSURFACE_LCL *z);
D3d9xResult kivD3d9xCreateTexture(D3d9xDevice *dev, ULONG_PTR context, DDRAWI_DDRAWSURFACE_LCL *surface,
                                  DWORD *handle);
D3d9xResult kivD3d9xDestroyTexture(D3d9xDevice *dev, ULONG_PTR context, DWORD handle);
D3d9xResult kivD3d9xSwapTextures(D3d9xDevice *dev, ULONG_PTR context, DWORD h1, DWORD h2);
D3d9xResult kivD3d9xTextureSurface(D3d9xDevice *dev, ULONG_PTR context, DWORD handle,
                                   DDRAWI_DDRAWSURFACE_LCL **surface);
D3d9xResult kivD3d9xGetRenderState(D3d9xDevice *dev, ULONG_PTR context, DWORD state, DWORD *value);

// An execute buffer: a system-memory surface whose bytes hold `vertexCount` D3DTLVERTEX at
// `vertexOffset` and instructions at `instructionOffset` (each a D3DINSTRUCTION and its
// records; D3DOP_EXIT or the end of the instructions ends it). The runtime copies the vertices
// into its own vertex buffer (the driver sees exactly `vertexCount`), then sends render-state
// instructions to RenderState and point, line and triangle instructions to RenderPrimitive.
// Other opcodes are skipped. `status` receives the status word the driver left.
struct D3d9xExecuteData {
    DWORD vertexOffset;
    DWORD vertexCount;
    DWORD instructionOffset;
    DWORD instructionLength;
    DWORD status;
};
D3d9xResult kivD3d9xExecute(D3d9xDevice *dev, ULONG_PTR context, DDRAWI_DDRAWSURFACE_LCL *buffer,
                            D3d9xExecuteData *data);

// DrawPrimitive: one request straight to the driver.
D3d9xResult kivD3d9xDrawPrimitive(D3d9xDevice *dev, ULONG_PTR context, DWORD type, const D3DTLVERTEX *vertices,
                                  DWORD count);
D3d9xResult kivD3d9xDrawIndexedPrimitive(D3d9xDevice *dev, ULONG_PTR context, DWORD type,
                                         const D3DTLVERTEX *vertices, DWORD count, const WORD *indices,
                                         DWORD indexCount);

// The runtime's DrawPrimitives batch: state changes and primitives collected in the stream
// layout of the driver contract and flushed in one call.
struct D3d9xBatch {
    std::vector<DWORD> pendingStates;   // (state, value) pairs not yet in a block
    std::vector<uint8_t> stream;
};
void kivD3d9xBatchState(D3d9xBatch *batch, DWORD state, DWORD value);
void kivD3d9xBatchPrimitive(D3d9xBatch *batch, DWORD type, const D3DTLVERTEX *vertices, WORD count);
// Ends the stream (a block with no vertices carries the last state changes) and sends it.
D3d9xResult kivD3d9xFlushBatch(D3d9xDevice *dev, ULONG_PTR context, D3d9xBatch *batch);

// Surfaces: DirectDraw's create path. `list` are the surface records of one request (a mip
// chain or a single surface), their size and (for textures) format filled in by the caller;
// surfaces the driver left to DirectDraw get their blocks from heap 0.
HRESULT kivDdraw9xCreateSurfaces(Ddraw9xDriver *drv, DDSURFACEDESC *desc, DDRAWI_DDRAWSURFACE_LCL **list,
                                 DWORD count);
// Attaches `level` below `parent` (the next smaller mip level): the driver's callback first.
D3d9xResult kivDdraw9xAddAttachedSurface(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *parent,
                                         DDRAWI_DDRAWSURFACE_LCL *level);
