// The 9x DirectDraw runtime's side of the driver HAL: driver object creation.
#include "platform/ddraw/ddraw9x_hal.h"

#include <algorithm>
#include <cstring>

namespace {

typedef DWORD(WINAPI *DriverEntry32)(DWORD);

template <class T, size_t N>
DWORD CopyList(T (&dst)[N], const T *src, DWORD count) {
    if (!src)
        return 0;
    DWORD n = std::min<DWORD>(count, N);
    std::memcpy(dst, src, n * sizeof(T));
    return n;
}

void QueryDriverInfo(LPDDHAL_GETDRIVERINFO getInfo, const GUID &guid, void *buffer, DWORD expected,
                     DWORD context, DWORD *handled, HRESULT *result, DWORD *actual) {
    DDHAL_GETDRIVERINFODATA q = {};
    q.dwSize = sizeof q;
    q.guidInfo = guid;
    q.dwExpectedSize = expected;
    q.lpvData = buffer;
    q.dwContext = context;
    q.ddRVal = DDERR_UNSUPPORTED;
    *handled = getInfo(&q) == DDHAL_DRIVER_HANDLED;
    *result = q.ddRVal;
    *actual = q.dwActualSize;
}

}  // namespace

HMODULE kivDdraw9xLoadHal(const char *library) { return LoadLibraryA(library); }

void kivDdraw9xUnloadHal(HMODULE module) {
    if (module)
        FreeLibrary(module);
}

int kivDdraw9xCreateDriver(HMODULE module, const char *entryName, DWORD context, const DDHALINFO *info,
                           Ddraw9xDriver *out) {
    if (!module || !info || !out)
        return 0;
    auto entry = reinterpret_cast<DriverEntry32>(GetProcAddress(module, entryName));
    if (!entry)
        return 0;
    std::memset(out, 0, sizeof *out);
    out->module = module;
    out->info = *info;
    if (info->lpDDCallbacks)
        out->callbacks = *info->lpDDCallbacks;
    if (info->lpDDSurfaceCallbacks)
        out->surfaceCallbacks = *info->lpDDSurfaceCallbacks;
    CopyList(out->heaps, info->vmiData.pvmList, info->vmiData.dwNumHeaps);
    CopyList(out->modes, info->lpModeInfo, info->dwNumModes);
    CopyList(out->fourCC, info->lpdwFourCC, info->ddCaps.dwNumFourCCCodes);
    out->info.vmiData.pvmList = out->heaps;
    out->info.lpModeInfo = out->modes;
    out->info.lpdwFourCC = out->fourCC;
    out->info.lpDDCallbacks = &out->callbacks;
    out->info.lpDDSurfaceCallbacks = &out->surfaceCallbacks;

    DDRAWI_DIRECTDRAW_GBL &g = out->gbl;
    g.dwRefCnt = 1;
    g.fpPrimaryOrig = info->vmiData.fpPrimary;
    g.ddCaps = info->ddCaps;
    g.vmiData = out->info.vmiData;
    g.dwMonitorFrequency = info->dwMonitorFrequency;
    g.dwModeIndex = info->dwModeIndex;
    g.dwNumModes = info->dwNumModes;
    g.lpModeInfo = out->modes;
    g.dwNumFourCC = info->ddCaps.dwNumFourCCCodes;
    g.lpdwFourCC = out->fourCC;
    g.dwReserved3 = entry(context);

    if ((info->dwFlags & DDHALINFO_GETDRIVERINFOSET) && info->GetDriverInfo) {
        QueryDriverInfo(info->GetDriverInfo, GUID_D3DCallbacks2, &out->callbacks2, sizeof out->callbacks2,
                        g.dwReserved3, &out->gotCallbacks2, &out->callbacks2Result, &out->callbacks2ActualSize);
        QueryDriverInfo(info->GetDriverInfo, GUID_MiscellaneousCallbacks, &out->misc, sizeof out->misc,
                        g.dwReserved3, &out->gotMiscCallbacks, &out->miscResult, &out->miscActualSize);
    }
    return 1;
}
