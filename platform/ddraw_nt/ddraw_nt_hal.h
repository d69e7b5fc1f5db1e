// The DirectDraw runtime of the NT machine on its driver side: what DirectDraw does with the
// display driver's DirectDraw entries and callbacks for a process. It asks the driver for its
// description and callbacks, creates surfaces as DirectDraw does (CanCreateSurface once, then
// CreateSurface for each surface of a chain with the one list), gives system memory to the
// surfaces the driver leaves to it, and passes locks, blits, flips and overlay calls on through
// the callback tables, saying whether the driver handled each call and what it answered.
#pragma once
#include <memory>
#include <vector>
#include "platform/ntgdi/ddraw_ddi.h"

// Memory of the process that DirectDraw gives a surface: pages of the system's, zero-filled,
// given back with the surface, the block's end against an inaccessible page (a read or write past
// it faults, and the sanitizer reports it). Getting it never throws: a block the system does not
// give is an answer (false).
class KivDdNtMemory {
public:
    KivDdNtMemory() = default;
    ~KivDdNtMemory() { release(); }
    KivDdNtMemory(const KivDdNtMemory &) = delete;
    KivDdNtMemory &operator=(const KivDdNtMemory &) = delete;
    bool allocate(size_t bytes);
    void release();
    uint8_t *data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

private:
    uint8_t *data_ = nullptr;
    size_t size_ = 0;
};

// One surface as the runtime keeps it.
struct KivDdNtSurface {
    ZK_DD_SURFACE_GLOBAL gbl{};
    ZK_DD_SURFACE_LOCAL lcl{};
    KivDdNtMemory userMemory;   // the process's memory: system-memory surfaces, and where the driver asked for it
    bool created = false;
};

// What a callback did: whether the driver handled the call, and its answer.
struct KivDdNtResult {
    DWORD handled = ZK_DDHAL_NOTHANDLED;
    HRESULT_DD code = -1;
    bool ok() const { return handled == ZK_DDHAL_HANDLED && code == ZK_DD_OK; }
};

class KivDirectDrawNt {
public:
    KivDirectDrawNt() = default;
    ~KivDirectDrawNt() { disable(); }
    KivDirectDrawNt(const KivDirectDrawNt &) = delete;
    KivDirectDrawNt &operator=(const KivDirectDrawNt &) = delete;

    // DrvGetDirectDrawInfo and DrvEnableDirectDraw on the running display; false when the driver
    // offers no DirectDraw.
    bool enable();
    // Destroys what is left and DrvDisableDirectDraw.
    void disable();
    // Forgets every surface and the enabling without calling the driver: for a display that has
    // already gone away (its surfaces went with it).
    void forget();
    const ZK_DD_HALINFO &halInfo() const { return halInfo_; }
    const std::vector<DWORD> &fourCcs() const { return fourCcs_; }
    const ZK_DD_CALLBACKS &callbacks() const { return callbacks_; }
    const ZK_DD_SURFACECALLBACKS &surfaceCallbacks() const { return surfaceCallbacks_; }
    ZK_DD_DIRECTDRAW_GLOBAL *global() { return &global_; }

    // The primary surface (the screen), described as DirectDraw describes it.
    KivDdNtSurface *primary();
    // A chain of `count` surfaces of one description (width, height, caps, pixel format as in
    // `desc`; a FOURCC code in desc.ddpfPixelFormat). On success the surfaces are in *out; on
    // failure none is left made. What DirectDraw refuses itself, before or without the driver,
    // comes back as handled with its error: a width or height of 0 or past what a rectangle
    // names (DDERR_INVALIDPARAMS), an RGB bit count DirectDraw has no format for (it has 1, 2,
    // 4, 8, 16, 24 and 32: DDERR_INVALIDPIXELFORMAT), rows or a block of its own memory past
    // 2 GB or not given by the system (DDERR_OUTOFMEMORY), a video-memory surface the driver
    // did not place (DDERR_OUTOFVIDEOMEMORY).
    KivDdNtResult create(const ZK_DDSURFACEDESC &desc, DWORD count, std::vector<KivDdNtSurface *> *out);
    KivDdNtResult destroy(KivDdNtSurface *s);
    // Destroys the surface and forgets it: the pointer is dead afterwards.
    void release(KivDdNtSurface *s);
    bool enabled() const { return enabled_; }
    DHPDEV dhpdev() const { return dhpdev_; }
    // Lock: the surface's first pixel (of the rectangle) in *bits; the runtime works the address
    // out itself when the driver leaves it to it, in 64 bits, for a rectangle inside the surface
    // whose first pixel lies inside the surface's block (else DDERR_INVALIDRECT).
    KivDdNtResult lock(KivDdNtSurface *s, const RECTL *rect, DWORD flags, uint8_t **bits);
    KivDdNtResult unlock(KivDdNtSurface *s);
    KivDdNtResult blt(KivDdNtSurface *dst, RECTL rDest, KivDdNtSurface *src, RECTL rSrc, DWORD flags,
                      const ZK_DDBLTFX &fx);
    KivDdNtResult flip(KivDdNtSurface *current, KivDdNtSurface *target, DWORD flags);
    KivDdNtResult updateOverlay(KivDdNtSurface *overlay, RECTL rSrc, RECTL rDest, DWORD flags,
                                const ZK_DDOVERLAYFX *fx = nullptr);
    KivDdNtResult setOverlayPosition(KivDdNtSurface *overlay, LONG x, LONG y);

    // The CPU's address of a surface's pixels (video memory through the primary's mapping).
    uint8_t *bits(const KivDdNtSurface *s) const;

private:
    bool enabled_ = false;
    DHPDEV dhpdev_ = nullptr;
    ZK_DD_DIRECTDRAW_GLOBAL global_{};
    ZK_DD_HALINFO halInfo_{};
    std::vector<DWORD> fourCcs_;
    ZK_DD_CALLBACKS callbacks_{};
    ZK_DD_SURFACECALLBACKS surfaceCallbacks_{};
    ZK_DD_PALETTECALLBACKS paletteCallbacks_{};
    std::vector<std::unique_ptr<KivDdNtSurface>> surfaces_;
};
