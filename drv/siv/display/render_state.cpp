// Render states: their handlers, the callbacks that set and read them, the colour key burnt into
// texel alpha, and the validation that turns the states into the 3D engine's command word and
// destination registers.
#include "drv/siv/display/sivhal.h"
#include "drv/siv/display/blt_engine.h"

#include <cmath>
#include <cstring>

namespace {

enum : DWORD {
    kSelGouraud = 1,
    kSelZ = 2,
    kSelTexture = 4,
    kSelPerspective = 8,
    kSelFog = 16,
};

// Forcing flags of DriverBlock.driverFlags.
enum : DWORD {
    kForceNoZ = 0x10000,
    kForceNoPerspective = 0x20000,
    kForceNoTexture = 0x40000,
    kForceNoFog = 0x80000,
    kForceNearest = 0x100000,
    kForceNoBlend = 0x200000,
};

DWORD LiveFlags(HalContext *c) { return c->driverBlock->driverFlags(); }

void SetSelection(HalContext *c, DWORD bit, bool on) { c->selectionBits = on ? c->selectionBits | bit : c->selectionBits & ~bit; }

// ---- colour key burnt into texel alpha ----------------------------------------------------------
void BurnColorKey(HalContext *c, HalTexture *t) {
    const DWORD low = t->colorKeyLow, high = t->colorKeyHigh;
    auto *s = static_cast<DDRAWI_DDRAWSURFACE_LCL *>(t->surface);
    const DDPIXELFORMAT &pf = SurfaceFormat(s);
    DriverBlock *block = c->driverBlock;
    // The engine may still be reading these texels for earlier triangles.
    sivblt::WaitIdle(block);
    uint8_t *texels = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(block->frameBuffer() + t->textureOffset));
    const size_t count = static_cast<size_t>(t->width) * t->height;
    auto inKey = [&](DWORD texel, DWORD r, DWORD g, DWORD b) {
        for (DWORD m : {r, g, b})
            if ((texel & m) < (low & m) || (texel & m) > (high & m))
                return false;
        return true;
    };
    if (pf.dwRGBBitCount == 16 && (pf.dwBBitMask == 0x1F || pf.dwBBitMask == 0xF)) {
        const bool is1555 = pf.dwBBitMask == 0x1F;
        for (size_t i = 0; i < count; i++) {
            WORD v = LoadField<WORD>(texels + 2 * i);
            if (is1555)
                v = inKey(v, 0x7C00, 0x3E0, 0x1F) ? v & 0x7FFF : v | 0x8000;
            else if (inKey(v, 0xF00, 0xF0, 0xF))
                v &= 0x0FFF;
            StoreField<WORD>(texels + 2 * i, v);
        }
    } else if (pf.dwRGBBitCount == 32) {
        for (size_t i = 0; i < count; i++) {
            DWORD v = LoadField<DWORD>(texels + 4 * i);
            v = inKey(v, 0xFF0000, 0xFF00, 0xFF) ? v & 0x00FFFFFF : v | 0xFF000000;
            StoreField<DWORD>(texels + 4 * i, v);
        }
    }
}


// ---- handlers --------------------------------------------------------------------------------
typedef DWORD (*StateHandler)(HalContext *c, DWORD state, DWORD value);

DWORD Store(HalContext *c, DWORD state, DWORD value) {
    c->renderStates[state] = value;
    return 0;
}

DWORD Unsupported(HalContext *, DWORD, DWORD) { return static_cast<DWORD>(D3DERR_EXECUTE_FAILED); }

DWORD TextureHandle(HalContext *c, DWORD state, DWORD value) {
    if (LiveFlags(c) & kForceNoTexture)
        value = 0;
    c->renderStates[state] = value;
    SetSelection(c, kSelTexture, value != 0);
    if (!value)
        return 0;
    HalTexture *t = LookupTexture(value);
    if (!t)
        return static_cast<DWORD>(D3DERR_EXECUTE_FAILED);
    PrepareTextureAlpha(c, t);
    return 0;
}

DWORD TextureAddress(HalContext *c, DWORD state, DWORD value) {
    return Store(c, state, value == D3DTADDRESS_WRAP || value == D3DTADDRESS_CLAMP ? value : D3DTADDRESS_WRAP);
}

// A state that drives a selection bit, and may be forced off by a driver flag.
template <DWORD Bit, DWORD ForceOff>
DWORD Selecting(HalContext *c, DWORD state, DWORD value) {
    if (LiveFlags(c) & ForceOff)
        value = 0;
    SetSelection(c, Bit, value & 1);
    return Store(c, state, value);
}

DWORD ShadeMode(HalContext *c, DWORD state, DWORD value) {
    SetSelection(c, kSelGouraud, value != D3DSHADE_FLAT);
    return Store(c, state, value);
}

// MAG and MIN always hold the same filter.
DWORD Filter(HalContext *c, DWORD, DWORD value) {
    if (LiveFlags(c) & kForceNearest)
        value = D3DFILTER_NEAREST;
    c->renderStates[D3DRS_TEXTUREMAG] = c->renderStates[D3DRS_TEXTUREMIN] = value;
    return 0;
}

DWORD DestBlend(HalContext *c, DWORD state, DWORD value) {
    if (value == D3DBLEND_ZERO)
        c->renderStates[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    else if (value == D3DBLEND_INVSRCALPHA)
        c->renderStates[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
    return Store(c, state, value);
}

// BLENDENABLE and ALPHABLENDENABLE always hold the same value.
DWORD Blend(HalContext *c, DWORD, DWORD value) {
    if (LiveFlags(c) & kForceNoBlend)
        value = 0;
    c->renderStates[D3DRS_BLENDENABLE] = c->renderStates[D3DRS_ALPHABLENDENABLE] = value;
    return 0;
}

DWORD FogColor(HalContext *c, DWORD state, DWORD value) {
    c->fogColor = value;
    return Store(c, state, value);
}

// The handlers that do more than store, by state; every other state is stored only.
struct SpecialHandler {
    DWORD state;
    StateHandler handler;
};
constexpr SpecialHandler kSpecial[] = {
    {0, Unsupported},
    {D3DRS_TEXTUREHANDLE, TextureHandle},
    {D3DRS_TEXTUREADDRESS, TextureAddress},
    {D3DRS_TEXTUREPERSPECTIVE, Selecting<kSelPerspective, kForceNoPerspective>},
    {D3DRS_ZENABLE, Selecting<kSelZ, kForceNoZ>},
    {D3DRS_SHADEMODE, ShadeMode},
    {D3DRS_TEXTUREMAG, Filter},
    {D3DRS_TEXTUREMIN, Filter},
    {D3DRS_DESTBLEND, DestBlend},
    {D3DRS_BLENDENABLE, Blend},
    {D3DRS_FOGENABLE, Selecting<kSelFog, kForceNoFog>},
    {D3DRS_FOGCOLOR, FogColor},
    {D3DRS_ALPHABLENDENABLE, Blend},
};

struct HandlerTable {
    StateHandler slot[D3DRS_COUNT];
    constexpr HandlerTable() : slot{} {
        for (StateHandler &h : slot)
            h = Store;
        for (const SpecialHandler &s : kSpecial)
            slot[s.state] = s.handler;
    }
};
constexpr HandlerTable kHandlers;

// ---- validation ------------------------------------------------------------------------------
// Bits 20-22 of the command for ZFUNC 1..8 (bit 2: less passes, bit 1: equal, bit 0: greater).
constexpr DWORD kZFuncCode[9] = {7, 0, 4, 2, 6, 1, 5, 3, 7};
// Bits 12-14 for the filters 1..6.
constexpr DWORD kFilterCode[7] = {0, 4, 6, 0, 2, 1, 3};

DWORD CeilLog2(DWORD width) {
    DWORD n = 31 - __builtin_clz(width);
    return (width & (width - 1)) ? n + 1 : n;
}

bool TargetInVideoMemory(HalContext *c) {
    auto *t = static_cast<DDRAWI_DDRAWSURFACE_LCL *>(c->renderTarget);
    return t && t->lpGbl && t->lpGbl->fpVidMem && t->lpGbl->fpVidMem >= c->driverBlock->frameBuffer();
}

}  // namespace

void PrepareTextureAlpha(HalContext *c, HalTexture *t) {
    if (!t->colorKeyValid) {
        DWORD low, high;
        if (!GetSurfaceColorKey(static_cast<DDRAWI_DDRAWSURFACE_LCL *>(t->surface), &low, &high))
            return;
        t->colorKeyLow = low;
        t->colorKeyHigh = high;
        t->colorKeyValid = 1;
        t->alphaApplied = 0;
    }
    if (t->alphaApplied)
        return;
    t->alphaApplied = 1;
    BurnColorKey(c, t);
}

double AffineTexCoordConst(LONG n) { return n <= 0 ? 0.0 : std::ldexp(3.0, 24 + n); }
double PerspectiveTexCoordConst(LONG n) { return std::ldexp(3.0, n <= 0 ? 34 : 35 + n); }

DWORD CallRenderStateHandler(HalContext *c, DWORD state, DWORD value) {
    return state < D3DRS_COUNT ? kHandlers.slot[state](c, state, value) : 0;
}

DWORD DispatchRenderState(HalContext *c, DWORD state, DWORD value) {
    if (state >= D3DRS_COUNT)
        return 0;
    const bool stale = state == D3DRS_TEXTUREHANDLE && c->textureStale;
    if (value == c->renderStates[state] && !stale)
        return 1;
    if (state == D3DRS_TEXTUREHANDLE)
        c->textureStale = 0;
    c->dirty = 1;
    return CallRenderStateHandler(c, state, value) ? 0 : 1;
}

DWORD WINAPI RenderState(D3DHAL_RENDERSTATEDATA *data) {
    HalContext *c = CallContext(data);
    if (!c)
        return DDHAL_DRIVER_HANDLED;
    const DDRAWI_DDRAWSURFACE_GBL *g = data->lpExeBuf ? data->lpExeBuf->lpGbl : nullptr;
    if (!g || !g->fpVidMem) {
        data->ddrval = DDERR_INVALIDPARAMS;
        return DDHAL_DRIVER_HANDLED;
    }
    // Only records that lie wholly inside the execute buffer are read.
    const uint64_t size = g->dwLinearSize;
    const uint64_t fit = data->dwOffset <= size ? (size - data->dwOffset) / sizeof(D3DSTATE) : 0;
    const DWORD count = fit < data->dwCount ? static_cast<DWORD>(fit) : data->dwCount;
    const uint8_t *records = reinterpret_cast<const uint8_t *>(g->fpVidMem) + data->dwOffset;
    for (DWORD i = 0; i < count; i++) {
        D3DSTATE s;
        std::memcpy(&s, records + sizeof(D3DSTATE) * i, sizeof s);
        DispatchRenderState(c, s.dtstTransformStateType, s.dwArg[0]);
    }
    data->ddrval = count < data->dwCount ? DDERR_INVALIDPARAMS : DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

DWORD WINAPI GetState(D3DHAL_GETSTATEDATA *data) {
    HalContext *c = CallContext(data);
    if (!c)
        return DDHAL_DRIVER_HANDLED;
    if (data->dwWhich != D3DHALSTATE_GET_RENDER) {
        data->ddrval = DD_OK;
        return DDHAL_DRIVER_NOTHANDLED;
    }
    const DWORD type = data->ddState.dtstTransformStateType;
    if (type >= D3DRS_COUNT) {
        data->ddrval = DDERR_INVALIDPARAMS;
        return DDHAL_DRIVER_HANDLED;
    }
    data->ddState.dwArg[0] = c->renderStates[type];
    data->ddrval = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

DWORD ValidateHardwareState(HalContext *c) {
    DriverBlock *block = c->driverBlock;
    if (!TargetInVideoMemory(c))
        return static_cast<DWORD>(DDERR_SURFACELOST);
    auto *target = static_cast<DDRAWI_DDRAWSURFACE_LCL *>(c->renderTarget);
    const DWORD *rs = c->renderStates;
    if (c->dirty) {
        DWORD command = 0x80000002;
        DWORD strides = 0;
        DWORD alphaSource = 0;   // 1 vertex alpha, 2 texture alpha
        HalTexture *t = nullptr;
        const DDPIXELFORMAT *texFormat = nullptr;
        if (rs[D3DRS_TEXTUREHANDLE]) {
            t = LookupTexture(rs[D3DRS_TEXTUREHANDLE]);
            // Stays dirty: the next drawing must not take a half-built command word.
            if (!t)
                return static_cast<DWORD>(D3DERR_EXECUTE_FAILED);
            auto *s = static_cast<DDRAWI_DDRAWSURFACE_LCL *>(t->surface);
            texFormat = &SurfaceFormat(s);
            command |= 1u << 26;
            switch (texFormat->dwRGBBitCount) {
            case 8:
                command |= 6u << 5;
                strides |= t->width & 0xFFFF;
                break;
            case 16:
                command |= (texFormat->dwBBitMask == 0x1F ? 2u : 1u) << 5;
                strides |= (2 * t->width) & 0xFFFF;
                break;
            case 32:
                strides |= (4 * t->width) & 0xFFFF;
                break;
            default:
                break;
            }
            c->textureOffset = t->textureOffset;
            const DWORD filter = rs[D3DRS_TEXTUREMIN];
            command |= (filter < 7 ? kFilterCode[filter] : 0) << 12;
            c->textureWidth = static_cast<float>(t->width);
            c->textureHeight = static_cast<float>((s->ddsCaps.dwCaps & DDSCAPS_MIPMAP) ? t->width : t->height);
            if (t->width > 1) {
                const DWORD n = CeilLog2(t->width);
                c->textureLog2 = static_cast<LONG>(n) - 1;
                c->texCoordConst = rs[D3DRS_TEXTUREPERSPECTIVE] ? PerspectiveTexCoordConst(n) : AffineTexCoordConst(n);
                command |= (n & 0xF) << 8;
                const DWORD bias = 0xBB7D70A4;
                std::memcpy(&c->texCoordBias, &bias, 4);
            } else {
                command |= c->command & 0xF00;   // a one-texel texture keeps the size it had
            }
            switch (rs[D3DRS_TEXTUREMAPBLEND]) {
            case D3DTBLEND_DECAL:
            case D3DTBLEND_COPY:
                command = (command & 0x97FF7FFF) | 0x10010000;
                alphaSource = 2;
                break;
            case D3DTBLEND_MODULATE:
            case D3DTBLEND_MODULATEALPHA:
                command = (command & 0x8FFEFFFF) | 0x08008000;
                alphaSource = 2;
                break;
            case D3DTBLEND_DECALALPHA:
                command = (command & 0x97FF7FFF) | 0x10010000;
                alphaSource = 1;
                break;
            case D3DTBLEND_ADD:
                command = (command & 0x8FFE7FFF) | 0x08000000;
                alphaSource = 1;
                break;
            default:
                command = (command & 0x8FFEFFFF) | 0x08008000;
                alphaSource = 1;
                break;
            }
            if (rs[D3DRS_TEXTUREPERSPECTIVE])
                command |= 1u << 29;
        } else {
            command &= 0x87FFFFFF;
            alphaSource = 1;
        }
        // Alpha blending.
        if (t && t->colorKeyValid) {
            command |= 2u << 18;
        } else if (rs[D3DRS_BLENDENABLE] && rs[D3DRS_SRCBLEND] == D3DBLEND_SRCALPHA) {
            if (alphaSource == 1)
                command |= 3u << 18;
            else if (alphaSource == 2 && t && texFormat->dwRGBAlphaBitMask)
                command |= 2u << 18;
        }
        // Z.
        auto *z = static_cast<DDRAWI_DDRAWSURFACE_LCL *>(c->zBuffer);
        command &= ~(3u << 24);
        // A Z buffer that is gone takes no Z test rather than one against memory now reused.
        if (z && rs[D3DRS_ZENABLE] && z->lpGbl && z->lpGbl->fpVidMem >= block->frameBuffer()) {
            c->zOffset = static_cast<DWORD>(z->lpGbl->fpVidMem - block->frameBuffer());
            c->zStride = static_cast<DWORD>(z->lpGbl->lPitch);
        } else {
            command |= 3u << 24;
        }
        if (rs[D3DRS_ZWRITEENABLE])
            command |= 1u << 23;
        const DWORD zfunc = rs[D3DRS_ZFUNC];
        command |= (zfunc < 9 ? kZFuncCode[zfunc] : 7) << 20;
        // Fog and specular.
        c->fogTexture = c->fogInColor = c->specularInColor = 0;
        const bool fog = rs[D3DRS_FOGENABLE] != 0, specular = rs[D3DRS_SPECULARENABLE] != 0;
        if (((command >> 18) & 3) == 3) {
            c->fogInColor = fog;
            c->specularInColor = specular;
        } else if (command & 0x78000000) {
            if (fog) {
                command |= 1u << 17;
                c->specularInColor = specular;
            } else if (specular) {
                command |= 1u << 17;
            }
        } else if (fog) {
            // Untextured fog: the white texel as a modulated 32-bit texture keeps the texture
            // unit's path, and the fog itself is folded into the vertex colours, since no alpha
            // factor reaches the fog unit on this path.
            command = (command & 0x8FF2C31F) | 0x0C00C300;
            c->fogTexture = 1;
            c->fogInColor = 1;
            strides |= 8;
            c->textureOffset = block->whiteTexelOffset();
            c->specularInColor = specular;
        } else {
            c->specularInColor = specular;
        }
        // Destination format.
        c->forceVertexAlpha = 0;
        switch (SurfaceFormat(target).dwRGBBitCount) {
        case 16:
            command |= 1u << 2;
            break;
        case 24:
            command |= 2u << 2;
            if (((command >> 18) & 3) != 3 && ((command >> 18) & 3) != 2 && !fog && !specular) {
                c->forceVertexAlpha = 1;
                command |= 3u << 18;
            }
            break;
        default:
            break;
        }
        c->strides = (strides & 0xFFFF) | static_cast<DWORD>(target->lpGbl->lPitch) << 16;
        c->clipRight = target->lpGbl->wWidth - 1u;
        c->clipBottom = target->lpGbl->wHeight - 1u;
        c->command = command;
        c->dirty = 0;
    }
    // Texels written since the colour key was burnt in get it again.
    if (rs[D3DRS_TEXTUREHANDLE])
        if (HalTexture *t = LookupTexture(rs[D3DRS_TEXTUREHANDLE]); t && t->colorKeyValid && !t->alphaApplied)
            PrepareTextureAlpha(c, t);
    c->targetOffset = static_cast<DWORD>(target->lpGbl->fpVidMem - block->frameBuffer());
    sivblt::WaitFifo(block, 10);
    sivblt::WriteReg(block, 0xB4D8, c->targetOffset);
    sivblt::WriteReg(block, 0xB4E4, c->strides);
    sivblt::WriteReg(block, 0xB4DC, c->clipRight);
    sivblt::WriteReg(block, 0xB4E0, c->clipBottom);
    sivblt::WriteReg(block, 0xB4D4, c->zOffset);
    sivblt::WriteReg(block, 0xB4E8, c->zStride);
    sivblt::WriteReg(block, 0xB4EC, c->textureOffset);
    sivblt::WriteReg(block, 0xB4F4, rs[D3DRS_SPECULARENABLE] && !c->specularInColor ? 0xFFFFFFu : c->fogColor);
    return 0;
}
