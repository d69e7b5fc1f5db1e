// The process's DirectDraw object, its primary surface and the failure report.
#include <cstdio>
#include <cstring>
#include "icd/core/core.h"
#include "icd/hw/hw.h"
#include "icd/hw/hw_services.h"
#include "icd/hw/present.h"

namespace {

GlDDrawProcess g_process{};
char g_lastReport[256];

struct ErrorName {
    uint32_t result;
    const char *name;
};
constexpr ErrorName kErrorNames[] = {
#define X(name, value) {value##u, #name},
#include "icd/hw/ddraw_errors.inc"
#undef X
};

// Makes the primary, retrying once with the display mode's description, and records its address.
HRESULT makePrimary(IDirectDraw *dd, IDirectDrawSurface **out, const char *createStep) {
    DDSURFACEDESC desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    HRESULT r = dd->CreateSurface(&desc, out, nullptr);
    if (r != DD_OK) {
        dd->GetDisplayMode(&desc);
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        r = dd->CreateSurface(&desc, out, nullptr);
    }
    if (r != DD_OK) {
        __wglReportDDrawError(createStep, r);
        *out = nullptr;
        return r;
    }
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    r = (*out)->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
    if (r != DD_OK) {
        __wglReportDDrawError("__wglInitDDrawPrimary: Lock", r);
        (*out)->Release();
        *out = nullptr;
        return r;
    }
    g_process.primaryAddress = static_cast<uint8_t *>(desc.lpSurface);
    (*out)->Unlock(desc.lpSurface);
    return DD_OK;
}

}  // namespace

GlDDrawProcess &__wglDDrawProcess() { return g_process; }
void *__wglDDrawPrimaryAddress() { return g_process.primaryAddress; }

const char *__wglDDrawErrorName(HRESULT result) {
    for (const ErrorName &e : kErrorNames)
        if (e.result == uint32_t(result)) return e.name;
    return "Unknown";
}

const char *__wglReportDDrawError(const char *step, HRESULT result) {
    std::snprintf(g_lastReport, sizeof g_lastReport, "WGL: %s: DDERROR = %s\n", step, __wglDDrawErrorName(result));
    return g_lastReport;
}

const char *__wglLastDDrawReport() { return g_lastReport; }

// A creation that fails takes no reference: the next call tries again instead of handing out
// an object that does not exist.
IDirectDraw *__wglDDrawAllocate() {
    __wglLockGlobal();
    if (g_process.refs++ != 0 && g_process.object != nullptr) {
        IDirectDraw *existing = g_process.object;
        __wglUnlockGlobal();
        return existing;
    }
    IDirectDraw *dd = nullptr;
    HRESULT r = DirectDrawCreate(nullptr, &dd, nullptr);
    if (r != DD_OK || dd == nullptr) {
        __wglReportDDrawError("DDraw: Allocate: DirectDrawCreate", r);
    } else if ((r = dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL)) != DD_OK) {
        __wglReportDDrawError("DDraw: Allocate: SetCooperativeLevel", r);
    } else if (makePrimary(dd, &g_process.primary, "DDraw: Allocate: CreateSurface") == DD_OK) {
        g_process.object = dd;
        __wglUnlockGlobal();
        return dd;
    }
    if (dd != nullptr) dd->Release();
    g_process.refs = 0;
    __wglUnlockGlobal();
    return nullptr;
}

void __wglDDrawRelease() {
    __wglLockGlobal();
    if (g_process.refs > 0 && --g_process.refs == 0) {
        if (g_process.primary != nullptr) g_process.primary->Release();
        if (g_process.object != nullptr) g_process.object->Release();
        g_process = GlDDrawProcess{};
    }
    __wglUnlockGlobal();
}

// The primary made again after a mode change (the old one answers only DDERR_WRONGMODE).
HRESULT __wglDDrawRemakePrimary() {
    IDirectDraw *dd = g_process.object;
    if (dd == nullptr) return DDERR_INVALIDOBJECT;
    if (g_process.primary != nullptr) {
        g_process.primary->Release();
        g_process.primary = nullptr;
    }
    HRESULT r = dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    if (r != DD_OK) {
        __wglReportDDrawError("DDraw: RestoreSurface: SetCooperativeLevel", r);
        return r;
    }
    return makePrimary(dd, &g_process.primary, "DDraw: RestoreSurface: CreateSurface (primary)");
}

// ---- device start-up ----------------------------------------------------------------------------

// A machine without DirectDraw still starts the chip: textures then live in the shared heap and
// windows draw into memory buffers, as before DirectDraw existed.
BOOL __glHwOpenDirectDraw(HwState *hw) {
    hw->directDraw = nullptr;
    IDirectDraw *dd = __wglDDrawAllocate();
    if (dd == nullptr) return TRUE;
    void *dd2 = nullptr;
    if (dd->QueryInterface(IID_IDirectDraw2, &dd2) != DD_OK || dd2 == nullptr) {
        __wglDDrawRelease();
        return FALSE;
    }
    hw->directDraw = dd2;
    hw->progress |= kHwProgressDirectDraw;
    return TRUE;
}

void __glHwCloseDirectDraw(HwState *hw) {
    if (hw->directDraw != nullptr) static_cast<IDirectDraw *>(hw->directDraw)->Release();
    hw->directDraw = nullptr;
    __wglDDrawRelease();
}
