// The Windows 9x Direct3D driver (HAL) contract as this platform's Direct3D runtime speaks it: the
// device description and texture formats a driver announces, the callback table, the request
// records of every callback, and the vertex, instruction and state records of execute buffers
// and DrawPrimitive batches. Written for this project; sizes are the ones drivers rely on.
#pragma once
#include "platform/ddraw/ddraw_hal.h"

// ---- results ---------------------------------------------------------------------------------
#define D3DHAL_CONTEXT_BAD           0x000000200L
#define D3DHAL_OUTOFCONTEXTS         0x000000201L
#define D3DERR_EXECUTE_FAILED        ((HRESULT)0x887602CC)
#define D3DERR_TEXTURE_CREATE_FAILED ((HRESULT)0x887602D1)
#define DDERR_INVALIDPARAMS          ((HRESULT)0x80070057)
#define DDERR_SURFACELOST            ((HRESULT)0x887601C2)

// ---- capabilities ----------------------------------------------------------------------------
struct D3DTRANSFORMCAPS {
    DWORD dwSize;
    DWORD dwCaps;
};
static_assert(sizeof(D3DTRANSFORMCAPS) == 8);

struct D3DLIGHTINGCAPS {
    DWORD dwSize;
    DWORD dwCaps;
    DWORD dwLightingModel;
    DWORD dwNumLights;
};
static_assert(sizeof(D3DLIGHTINGCAPS) == 16);

struct D3DPRIMCAPS {
    DWORD dwSize;
    DWORD dwMiscCaps;
    DWORD dwRasterCaps;
    DWORD dwZCmpCaps;
    DWORD dwSrcBlendCaps;
    DWORD dwDestBlendCaps;
    DWORD dwAlphaCmpCaps;
    DWORD dwShadeCaps;
    DWORD dwTextureCaps;
    DWORD dwTextureFilterCaps;
    DWORD dwTextureBlendCaps;
    DWORD dwTextureAddressCaps;
    DWORD dwStippleWidth;
    DWORD dwStippleHeight;
};
static_assert(sizeof(D3DPRIMCAPS) == 56);

struct D3DDEVICEDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dcmColorModel;
    DWORD dwDevCaps;
    D3DTRANSFORMCAPS dtcTransformCaps;
    BOOL bClipping;
    D3DLIGHTINGCAPS dlcLightingCaps;
    D3DPRIMCAPS dpcLineCaps;
    D3DPRIMCAPS dpcTriCaps;
    DWORD dwDeviceRenderBitDepth;
    DWORD dwDeviceZBufferBitDepth;
    DWORD dwMaxBufferSize;
    DWORD dwMaxVertexCount;
};
static_assert(sizeof(D3DDEVICEDESC) == 172);

struct D3DHAL_GLOBALDRIVERDATA {
    DWORD dwSize;
    D3DDEVICEDESC hwCaps;
    DWORD dwNumVertices;
    DWORD dwNumClipVertices;
    DWORD dwNumTextureFormats;
    DDSURFACEDESC *lpTextureFormats;
};
static_assert(sizeof(D3DHAL_GLOBALDRIVERDATA) == 192);

#define D3DPTEXTURECAPS_TRANSPARENCY 0x00000008
#define DDSD_CAPS                    0x00000001
#define DDSD_PIXELFORMAT             0x00001000

// ---- vertices, instructions, states ------------------------------------------------------------
typedef DWORD D3DCOLOR;   // bytes blue, green, red, alpha from the lowest

struct D3DTLVERTEX {
    float sx, sy, sz, rhw;
    D3DCOLOR color;
    D3DCOLOR specular;   // its alpha byte is the vertex fog factor (255: no fog)
    float tu, tv;
};
static_assert(sizeof(D3DTLVERTEX) == 32);

struct D3DINSTRUCTION {
    BYTE bOpcode;
    BYTE bSize;   // bytes from one record to the next
    WORD wCount;
};
static_assert(sizeof(D3DINSTRUCTION) == 4);

#define D3DOP_POINT       1
#define D3DOP_LINE        2
#define D3DOP_TRIANGLE    3
#define D3DOP_STATERENDER 8
#define D3DOP_EXIT        11

struct D3DPOINT {
    WORD wCount;
    WORD wFirst;
};
struct D3DLINE {
    WORD v1, v2;
};
struct D3DTRIANGLE {
    WORD v1, v2, v3;
    WORD wFlags;   // bits 0-4: strip/fan code (below 30: a STARTFLAT length); 0x100/0x200/0x400 edges
};
static_assert(sizeof(D3DTRIANGLE) == 8);
#define D3DTRIFLAG_START  0x00000000
#define D3DTRIFLAG_ODD    0x0000001E
#define D3DTRIFLAG_EVEN   0x0000001F
#define D3DTRIFLAG_EDGEENABLE1 0x00000100
#define D3DTRIFLAG_EDGEENABLE2 0x00000200
#define D3DTRIFLAG_EDGEENABLE3 0x00000400

struct D3DSTATE {
    DWORD dtstTransformStateType;   // the render-state number for render states
    DWORD dwArg[1];
};
static_assert(sizeof(D3DSTATE) == 8);

// Render-state numbers.
enum : DWORD {
    D3DRS_TEXTUREHANDLE = 1, D3DRS_ANTIALIAS, D3DRS_TEXTUREADDRESS, D3DRS_TEXTUREPERSPECTIVE, D3DRS_WRAPU,
    D3DRS_WRAPV, D3DRS_ZENABLE, D3DRS_FILLMODE, D3DRS_SHADEMODE, D3DRS_LINEPATTERN, D3DRS_MONOENABLE, D3DRS_ROP2,
    D3DRS_PLANEMASK, D3DRS_ZWRITEENABLE, D3DRS_ALPHATESTENABLE, D3DRS_LASTPIXEL, D3DRS_TEXTUREMAG,
    D3DRS_TEXTUREMIN, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_TEXTUREMAPBLEND, D3DRS_CULLMODE, D3DRS_ZFUNC,
    D3DRS_ALPHAREF, D3DRS_ALPHAFUNC, D3DRS_DITHERENABLE, D3DRS_BLENDENABLE, D3DRS_FOGENABLE,
    D3DRS_SPECULARENABLE, D3DRS_ZVISIBLE, D3DRS_SUBPIXEL, D3DRS_SUBPIXELX, D3DRS_STIPPLEDALPHA, D3DRS_FOGCOLOR,
    D3DRS_FOGTABLEMODE, D3DRS_FOGTABLESTART, D3DRS_FOGTABLEEND, D3DRS_FOGTABLEDENSITY, D3DRS_STIPPLEENABLE,
    D3DRS_EDGEANTIALIAS, D3DRS_COLORKEYENABLE, D3DRS_ALPHABLENDENABLE, D3DRS_BORDERCOLOR,
    D3DRS_TEXTUREADDRESSU, D3DRS_TEXTUREADDRESSV, D3DRS_MIPMAPLODBIAS, D3DRS_ZBIAS, D3DRS_RANGEFOGENABLE,
    D3DRS_ANISOTROPY,
    D3DRS_COUNT   // 50
};
static_assert(D3DRS_COUNT == 50);

// A few state values by name.
enum : DWORD {
    D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3,
    D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2,
    D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3,
    D3DTADDRESS_WRAP = 1, D3DTADDRESS_CLAMP = 3,
    D3DFILTER_NEAREST = 1, D3DFILTER_LINEAR = 2, D3DFILTER_MIPNEAREST = 3, D3DFILTER_MIPLINEAR = 4,
    D3DTBLEND_DECAL = 1, D3DTBLEND_MODULATE = 2, D3DTBLEND_DECALALPHA = 3, D3DTBLEND_MODULATEALPHA = 4,
    D3DTBLEND_COPY = 7, D3DTBLEND_ADD = 8,
    D3DBLEND_ZERO = 1, D3DBLEND_ONE = 2, D3DBLEND_SRCALPHA = 5, D3DBLEND_INVSRCALPHA = 6,
    D3DCMP_NEVER = 1, D3DCMP_LESS, D3DCMP_EQUAL, D3DCMP_LESSEQUAL, D3DCMP_GREATER, D3DCMP_NOTEQUAL,
    D3DCMP_GREATEREQUAL, D3DCMP_ALWAYS,
};

#define D3DSTATUS_ZNOTVISIBLE 0x01000000
#define D3DHALSTATE_GET_RENDER 4

enum : DWORD {
    D3DPT_POINTLIST = 1, D3DPT_LINELIST, D3DPT_LINESTRIP, D3DPT_TRIANGLELIST, D3DPT_TRIANGLESTRIP,
    D3DPT_TRIANGLEFAN,
};
#define D3DVT_TLVERTEX 3

// One block header of a DrawPrimitives stream: the state changes (u32 state, u32 value pairs)
// follow it, then, from the next 32-byte boundary counted from the start of the stream, the
// vertices. A block with no vertices ends the stream.
struct D3DHAL_DRAWPRIMCOUNTS {
    WORD wNumStateChanges;
    WORD wPrimitiveType;
    WORD wVertexType;
    WORD wNumVertices;
};
static_assert(sizeof(D3DHAL_DRAWPRIMCOUNTS) == 8);

// ---- callback request records -------------------------------------------------------------------
struct D3DHAL_CONTEXTCREATEDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDDGbl;
    DDRAWI_DDRAWSURFACE_LCL *lpDDS;    // render target
    DDRAWI_DDRAWSURFACE_LCL *lpDDSZ;   // Z buffer or null
    DWORD dwPID;
    ULONG_PTR dwhContext;
    HRESULT ddrval;
};
struct D3DHAL_CONTEXTDESTROYDATA {
    ULONG_PTR dwhContext;
    HRESULT ddrval;
};
struct D3DHAL_CONTEXTDESTROYALLDATA {
    DWORD dwPID;
    HRESULT ddrval;
};
struct D3DHAL_SETRENDERTARGETDATA {
    ULONG_PTR dwhContext;
    DDRAWI_DDRAWSURFACE_LCL *lpDDS;
    DDRAWI_DDRAWSURFACE_LCL *lpDDSZ;
    HRESULT ddrval;
};
struct D3DHAL_TEXTURECREATEDATA {
    ULONG_PTR dwhContext;
    DDRAWI_DDRAWSURFACE_LCL *lpDDS;
    DWORD dwHandle;
    HRESULT ddrval;
};
struct D3DHAL_TEXTUREDESTROYDATA {
    ULONG_PTR dwhContext;
    DWORD dwHandle;
    HRESULT ddrval;
};
struct D3DHAL_TEXTURESWAPDATA {
    ULONG_PTR dwhContext;
    DWORD dwHandle1;
    DWORD dwHandle2;
    HRESULT ddrval;
};
struct D3DHAL_TEXTUREGETSURFDATA {
    ULONG_PTR dwhContext;
    DDRAWI_DDRAWSURFACE_LCL *lpDDS;
    DWORD dwHandle;
    HRESULT ddrval;
};
// Execute-buffer memory is the buffer surface's fpVidMem; its size in bytes is dwLinearSize.
struct D3DHAL_RENDERSTATEDATA {
    ULONG_PTR dwhContext;
    DWORD dwOffset;
    DWORD dwCount;
    DDRAWI_DDRAWSURFACE_LCL *lpExeBuf;
    HRESULT ddrval;
};
struct D3DHAL_RENDERPRIMITIVEDATA {
    ULONG_PTR dwhContext;
    DWORD dwOffset;                     // of the instruction's first record
    DWORD dwStatus;
    DDRAWI_DDRAWSURFACE_LCL *lpExeBuf;
    DWORD dwTLOffset;
    DDRAWI_DDRAWSURFACE_LCL *lpTLBuf;
    D3DINSTRUCTION diInstruction;
    HRESULT ddrval;
};
struct D3DHAL_GETSTATEDATA {
    ULONG_PTR dwhContext;
    DWORD dwWhich;
    D3DSTATE ddState;
    HRESULT ddrval;
};
struct D3DHAL_DRAWONEPRIMITIVEDATA {
    ULONG_PTR dwhContext;
    DWORD dwFlags;
    DWORD PrimitiveType;
    DWORD VertexType;
    LPVOID lpvVertices;
    DWORD dwNumVertices;
    DWORD dwReserved;
    HRESULT ddrval;
};
struct D3DHAL_DRAWONEINDEXEDPRIMITIVEDATA {
    ULONG_PTR dwhContext;
    DWORD dwFlags;
    DWORD PrimitiveType;
    DWORD VertexType;
    LPVOID lpvVertices;
    DWORD dwNumVertices;
    WORD *lpwIndices;
    DWORD dwNumIndices;
    HRESULT ddrval;
};
struct D3DHAL_DRAWPRIMITIVESDATA {
    ULONG_PTR dwhContext;
    DWORD dwFlags;
    LPVOID lpvData;
    DWORD dwFVFControl;
    HRESULT ddrval;
};

typedef DWORD(WINAPI *LPD3DHAL_CONTEXTCREATECB)(D3DHAL_CONTEXTCREATEDATA *);
typedef DWORD(WINAPI *LPD3DHAL_CONTEXTDESTROYCB)(D3DHAL_CONTEXTDESTROYDATA *);
typedef DWORD(WINAPI *LPD3DHAL_CONTEXTDESTROYALLCB)(D3DHAL_CONTEXTDESTROYALLDATA *);
typedef DWORD(WINAPI *LPD3DHAL_RENDERSTATECB)(D3DHAL_RENDERSTATEDATA *);
typedef DWORD(WINAPI *LPD3DHAL_RENDERPRIMITIVECB)(D3DHAL_RENDERPRIMITIVEDATA *);
typedef DWORD(WINAPI *LPD3DHAL_TEXTURECREATECB)(D3DHAL_TEXTURECREATEDATA *);
typedef DWORD(WINAPI *LPD3DHAL_TEXTUREDESTROYCB)(D3DHAL_TEXTUREDESTROYDATA *);
typedef DWORD(WINAPI *LPD3DHAL_TEXTURESWAPCB)(D3DHAL_TEXTURESWAPDATA *);
typedef DWORD(WINAPI *LPD3DHAL_TEXTUREGETSURFCB)(D3DHAL_TEXTUREGETSURFDATA *);
typedef DWORD(WINAPI *LPD3DHAL_GETSTATECB)(D3DHAL_GETSTATEDATA *);

// The Direct3D callback table (0x8C bytes); unused slots are null.
struct D3DHAL_CALLBACKS {
    DWORD dwSize;
    LPD3DHAL_CONTEXTCREATECB ContextCreate;
    LPD3DHAL_CONTEXTDESTROYCB ContextDestroy;
    LPD3DHAL_CONTEXTDESTROYALLCB ContextDestroyAll;
    LPDDHAL_UNUSED SceneCapture;
    LPDDHAL_UNUSED lpReserved10;
    LPDDHAL_UNUSED lpReserved11;
    LPD3DHAL_RENDERSTATECB RenderState;
    LPD3DHAL_RENDERPRIMITIVECB RenderPrimitive;
    DWORD dwReserved;
    LPD3DHAL_TEXTURECREATECB TextureCreate;
    LPD3DHAL_TEXTUREDESTROYCB TextureDestroy;
    LPD3DHAL_TEXTURESWAPCB TextureSwap;
    LPD3DHAL_TEXTUREGETSURFCB TextureGetSurf;
    LPDDHAL_UNUSED lpReserved12[10];
    LPDDHAL_UNUSED MatrixCreate;
    LPDDHAL_UNUSED MatrixDestroy;
    LPDDHAL_UNUSED MatrixSetData;
    LPDDHAL_UNUSED MatrixGetData;
    LPDDHAL_UNUSED SetViewportData;
    LPDDHAL_UNUSED LightSet;
    LPDDHAL_UNUSED MaterialCreate;
    LPDDHAL_UNUSED MaterialDestroy;
    LPDDHAL_UNUSED MaterialSetData;
    LPDDHAL_UNUSED MaterialGetData;
    LPD3DHAL_GETSTATECB GetState;
};
static_assert(sizeof(D3DHAL_CALLBACKS) == 0x8C);
