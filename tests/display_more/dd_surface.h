// DirectDraw's records of one surface as the runtime keeps them for the driver, and the entries
// the tests call to start DirectDraw.
#pragma once
#include <cstdint>
#include <vector>

#include "display/ddraw_ddi.h"

typedef BOOL(APIENTRY *PFN_GetInfo)(DHPDEV, void *, DWORD *, void *, DWORD *, DWORD *);
typedef BOOL(APIENTRY *PFN_Enable)(DHPDEV, void *, void *, void *);
typedef void(APIENTRY *PFN_Disable)(DHPDEV);

// A surface's global and local records and the creation list; a FourCC format when one is given.
struct Surface {
    ZK_DD_SURFACE_GLOBAL gbl{};
    ZK_DD_SURFACE_LOCAL lcl{};
    ZK_DD_SURFACE_LOCAL *list[1] = {&lcl};
    ZK_DDSURFACEDESC desc{};
    std::vector<uint8_t> sysBits;   // the pixels of a system-memory surface the test made
    Surface(DWORD w, DWORD h, DWORD caps, uint32_t fourCc = 0, bool hasFourCc = false) {
        lcl.lpGbl = &gbl;
        lcl.ddsCaps.dwCaps = caps;
        gbl.wWidth = w;
        gbl.wHeight = h;
        if (hasFourCc || fourCc) {
            gbl.ddpfSurface.dwFlags = ZK_DDPF_FOURCC;
            gbl.ddpfSurface.dwFourCC = fourCc;
        }
        desc.dwSize = sizeof desc;
        desc.dwWidth = w;
        desc.dwHeight = h;
        desc.ddsCaps.dwCaps = caps;
    }
};
