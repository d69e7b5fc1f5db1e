// Makes a DirectDraw surface as a program asks for one: its caps and, when given, its size. The
// result of CreateSurface goes to *result when asked for; the surface is null unless it is DD_OK.
#pragma once
#include "platform/ddraw_nt/ddraw_nt.h"

inline IDirectDrawSurface *makeDDrawSurface(IDirectDraw *dd, DWORD caps, DWORD w = 0, DWORD h = 0,
                                            HRESULT *result = nullptr) {
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | (w != 0 ? DDSD_WIDTH | DDSD_HEIGHT : 0);
    d.dwWidth = w;
    d.dwHeight = h;
    d.ddsCaps.dwCaps = caps;
    IDirectDrawSurface *s = nullptr;
    const HRESULT r = dd->CreateSurface(&d, &s, nullptr);
    if (result != nullptr) *result = r;
    return r == DD_OK ? s : nullptr;
}
