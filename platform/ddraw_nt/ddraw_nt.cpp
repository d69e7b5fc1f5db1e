// The DirectDraw runtime stand-in of the NT machine: objects, surfaces made, locked, blitted and
// flipped by the display driver's DirectDraw callbacks, and clippers over the window model.
#include "platform/ddraw_nt/ddraw_nt.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include "platform/ddraw_nt/ddraw_nt_link.h"
#include "platform/machine/machine.h"
#include "platform/win32/internal.h"

const GUID IID_IDirectDraw = {0x6C14DB80, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_IDirectDraw2 = {0xB3A6F3E0, 0x2B43, 0x11CF, {0xA2, 0xDE, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};

namespace {

namespace dd = kiv::ddnt;

constexpr size_t kCreateLogKeep = 256;

struct Injections {
    DWORD failCaps = 0;
    int failCount = 0;
    HRESULT failResult = DDERR_OUTOFVIDEOMEMORY;
    bool createFails = false, cooperativeFails = false;
    int busyLocks = 0;
};

struct Runtime {
    std::recursive_mutex lock;
    Injections inject;
    std::vector<DWORD> createLog;
    int objects = 0, surfaces = 0, clippers = 0;
    uint32_t videoBytes = 0;
    std::vector<struct Surface *> live;
    uint32_t budget = 0xFFFFFFFFu;  // video memory the application surfaces may hold
};

Runtime &rt() {
    static Runtime r;
    return r;
}

// The driver's DirectDraw stays enabled while the process holds any of its objects.
void closeWhenUnused() {
    if (rt().objects == 0 && rt().surfaces == 0) dd::close();
}

struct Screen {
    int32_t width, height;
};

Screen screen() {
    const KivScreenMode *mode = kivScreenMode();
    return Screen{mode->width, mode->height};
}

bool sameMode(const KivScreenMode &a, const KivScreenMode &b) {
    return a.width == b.width && a.height == b.height && a.bpp == b.bpp;
}

// An application surface over a surface of the runtime's driver side: the primary (the screen),
// an off-screen surface in the display driver's video memory, or one in system memory.
struct Surface final : IDirectDrawSurface {
    ULONG refs = 1;
    DWORD caps = 0;
    int32_t width = 0, height = 0;
    dd::Handle handle = nullptr;  // null once the display that made it is gone
    dd::SurfaceInfo info{};
    uint32_t videoBytes = 0;
    bool primary = false, lost = false;
    int locks = 0;
    KivScreenMode madeIn{};

    // Asks the driver side for the surface; a DirectDraw result.
    HRESULT place() {
        madeIn = *kivScreenMode();
        if (primary) {
            if (!dd::primary(&handle, &info)) return DDERR_NODIRECTDRAWHW;
            width = info.width;
            height = info.height;
            return DD_OK;
        }
        const bool video = (caps & DDSCAPS_SYSTEMMEMORY) == 0;
        // The budget is checked on what the driver's surfaces take: its pitch rounds to 16 bytes.
        const uint32_t guess = ((uint32_t(width) * uint32_t((madeIn.bpp + 7) / 8) + 15) & ~15u) * uint32_t(height);
        if (video && (rt().budget < guess || rt().budget - guess < rt().videoBytes)) return DDERR_OUTOFVIDEOMEMORY;
        const DWORD ask = video ? ((caps & ~DWORD(DDSCAPS_SYSTEMMEMORY)) | DDSCAPS_VIDEOMEMORY) : caps;
        const HRESULT r = HRESULT(dd::create(uint32_t(width), uint32_t(height), ask, &handle, &info));
        if (r != DD_OK) return r;
        caps = info.caps;
        if (caps & DDSCAPS_VIDEOMEMORY) {
            videoBytes = uint32_t(info.pitch) * uint32_t(info.height);
            rt().videoBytes += videoBytes;
        }
        return DD_OK;
    }
    void drop() {
        if (handle != nullptr && !primary) dd::destroy(handle);
        rt().videoBytes -= videoBytes;
        videoBytes = 0;
        handle = nullptr;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        if (--refs != 0) return refs;
        drop();
        auto &live = rt().live;
        live.erase(std::remove(live.begin(), live.end(), this), live.end());
        --rt().surfaces;
        delete this;
        closeWhenUnused();
        return 0;
    }
    void describe(DDSURFACEDESC *d) const {
        std::memset(d, 0, sizeof *d);
        d->dwSize = sizeof *d;
        d->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
        d->dwWidth = DWORD(width);
        d->dwHeight = DWORD(height);
        d->lPitch = info.pitch;
        d->ddsCaps.dwCaps = caps;
        d->ddpfPixelFormat.dwSize = 32;
        d->ddpfPixelFormat.dwFlags = DDPF_RGB;
        d->ddpfPixelFormat.dwRGBBitCount = info.bitCount;
        d->ddpfPixelFormat.dwRBitMask = info.redMask;
        d->ddpfPixelFormat.dwGBitMask = info.greenMask;
        d->ddpfPixelFormat.dwBBitMask = info.blueMask;
    }
    HRESULT GetSurfaceDesc(DDSURFACEDESC *d) override {
        if (d == nullptr) return DDERR_INVALIDPARAMS;
        describe(d);
        return DD_OK;
    }
    // A surface whose display went away (a mode change, the display driver restarted) is lost.
    bool gone() const { return handle == nullptr || !dd::current(); }
    HRESULT IsLost() override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        return lost || gone() ? DDERR_SURFACELOST : DD_OK;
    }
    HRESULT Restore() override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        if (!lost && !gone()) return DD_OK;
        if (!sameMode(*kivScreenMode(), madeIn)) return DDERR_WRONGMODE;
        if (gone()) {
            // Made again with the driver: the contents are gone, as a lost surface's are.
            drop();
            const HRESULT r = place();
            if (r != DD_OK) return r;
        }
        lost = false;
        return DD_OK;
    }
    HRESULT Lock(const RECT *rect, DDSURFACEDESC *d, DWORD flags, HANDLE) override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        if (d == nullptr) return DDERR_INVALIDPARAMS;
        if (rt().inject.busyLocks > 0) {
            --rt().inject.busyLocks;
            return DDERR_SURFACEBUSY;
        }
        if (lost || gone()) return DDERR_SURFACELOST;
        int32_t r4[4];
        if (rect != nullptr) {
            if (rect->left < 0 || rect->top < 0 || rect->right > width || rect->bottom > height ||
                rect->left > rect->right || rect->top > rect->bottom)
                return DDERR_INVALIDPARAMS;
            r4[0] = rect->left, r4[1] = rect->top, r4[2] = rect->right, r4[3] = rect->bottom;
        }
        uint8_t *at = nullptr;
        const HRESULT r = HRESULT(dd::lock(handle, rect != nullptr ? r4 : nullptr, flags, &at));
        if (r != DD_OK) return r;
        describe(d);
        d->lpSurface = at;
        d->dwFlags |= DDSD_LPSURFACE;
        ++locks;
        return DD_OK;
    }
    HRESULT Unlock(void *) override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        if (locks == 0) return DDERR_NOTLOCKED;
        --locks;
        if (!gone()) dd::unlock(handle);
        return DD_OK;
    }
    HRESULT Blt(const RECT *dst, IDirectDrawSurface *source, const RECT *src, DWORD flags, DWORD fill) override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        Surface *from = static_cast<Surface *>(source);
        if (lost || gone() || (from != nullptr && (from->lost || from->gone()))) return DDERR_SURFACELOST;
        int32_t d4[4], s4[4];
        if (dst != nullptr) d4[0] = dst->left, d4[1] = dst->top, d4[2] = dst->right, d4[3] = dst->bottom;
        if (src != nullptr) s4[0] = src->left, s4[1] = src->top, s4[2] = src->right, s4[3] = src->bottom;
        return HRESULT(dd::blt(handle, dst != nullptr ? d4 : nullptr, from != nullptr ? from->handle : nullptr,
                               src != nullptr ? s4 : nullptr, flags, fill));
    }
    HRESULT Flip(IDirectDrawSurface *target, DWORD flags) override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        Surface *to = static_cast<Surface *>(target);
        if (to == nullptr) return DDERR_INVALIDPARAMS;
        if (lost || gone() || to->lost || to->gone()) return DDERR_SURFACELOST;
        return HRESULT(dd::flip(handle, to->handle, flags));
    }
};

void emptyRect(RECT &r) { r = RECT{0, 0, 0, 0}; }

RECT cut(const RECT &a, const RECT &b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.left >= r.right || r.top >= r.bottom) emptyRect(r);
    return r;
}

bool empty(const RECT &r) { return r.left >= r.right || r.top >= r.bottom; }

void subtract(const RECT &r, const RECT &s, std::vector<RECT> &out) {
    const RECT i = cut(r, s);
    if (empty(i)) {
        out.push_back(r);
        return;
    }
    if (r.top < i.top) out.push_back(RECT{r.left, r.top, r.right, i.top});
    if (r.left < i.left) out.push_back(RECT{r.left, i.top, i.left, i.bottom});
    if (i.right < r.right) out.push_back(RECT{i.right, i.top, r.right, i.bottom});
    if (i.bottom < r.bottom) out.push_back(RECT{r.left, i.bottom, r.right, r.bottom});
}

struct Clipper final : IDirectDrawClipper {
    HWND hwnd = nullptr;
    ULONG Release() override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        --rt().clippers;
        delete this;
        return 0;
    }
    HRESULT SetHWnd(DWORD, HWND h) override {
        hwnd = h;
        return DD_OK;
    }
    // The window's client area on the screen, less the top-level windows stacked above it.
    HRESULT GetClipList(const RECT *clip, RGNDATA *data, DWORD *size) override {
        if (size == nullptr) return DDERR_INVALIDPARAMS;
        kiv::win32::WindowInfo info{};
        if (hwnd == nullptr || !kiv::win32::windowInfo(hwnd, &info)) return DDERR_NOCLIPLIST;
        const Screen s = screen();
        RECT area = cut(info.screenClient, RECT{0, 0, s.width, s.height});
        if (clip != nullptr) area = cut(area, *clip);
        std::vector<RECT> region;
        if (!empty(area)) region.push_back(area);
        for (HWND other : kiv::win32::topLevelWindowsAbove(hwnd)) {
            kiv::win32::WindowInfo above{};
            if (!kiv::win32::windowInfo(other, &above)) continue;
            std::vector<RECT> next;
            for (const RECT &r : region) subtract(r, above.screenClient, next);
            region.swap(next);
        }
        std::sort(region.begin(), region.end(),
                  [](const RECT &a, const RECT &b) { return a.top != b.top ? a.top < b.top : a.left < b.left; });
        const DWORD need = DWORD(sizeof(RGNDATAHEADER) + region.size() * sizeof(RECT));
        if (data == nullptr || *size < need) {
            *size = need;
            return data == nullptr ? DD_OK : DDERR_INVALIDPARAMS;
        }
        data->rdh.dwSize = sizeof(RGNDATAHEADER);
        data->rdh.iType = RDH_RECTANGLES;
        data->rdh.nCount = DWORD(region.size());
        data->rdh.nRgnSize = DWORD(region.size() * sizeof(RECT));
        RECT bounds{0, 0, 0, 0};
        for (size_t i = 0; i < region.size(); ++i) {
            const RECT &r = region[i];
            bounds = i == 0 ? r
                            : RECT{std::min(bounds.left, r.left), std::min(bounds.top, r.top),
                                   std::max(bounds.right, r.right), std::max(bounds.bottom, r.bottom)};
        }
        data->rdh.rcBound = bounds;
        if (!region.empty()) std::memcpy(data->Buffer, region.data(), region.size() * sizeof(RECT));
        *size = need;
        return DD_OK;
    }
};

struct DirectDraw final : IDirectDraw {
    ULONG refs = 1;
    HRESULT QueryInterface(const GUID &iid, void **out) override {
        if (out == nullptr) return DDERR_INVALIDPARAMS;
        if (!(iid == IID_IDirectDraw) && !(iid == IID_IDirectDraw2)) {
            *out = nullptr;
            return DDERR_UNSUPPORTED;
        }
        AddRef();
        *out = static_cast<IDirectDraw *>(this);
        return DD_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        if (--refs != 0) return refs;
        --rt().objects;
        delete this;
        closeWhenUnused();
        return 0;
    }
    HRESULT SetCooperativeLevel(HWND, DWORD) override {
        return rt().inject.cooperativeFails ? DDERR_GENERIC : DD_OK;
    }
    HRESULT CreateSurface(DDSURFACEDESC *d, IDirectDrawSurface **out, void *) override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        Runtime &r = rt();
        if (d == nullptr || out == nullptr || !(d->dwFlags & DDSD_CAPS)) return DDERR_INVALIDPARAMS;
        *out = nullptr;
        const DWORD caps = d->ddsCaps.dwCaps;
        // A long-running program must not grow the log: it keeps the most recent calls only.
        if (r.createLog.size() >= kCreateLogKeep) r.createLog.erase(r.createLog.begin());
        r.createLog.push_back(caps);
        if (r.inject.failCount > 0 && (caps & r.inject.failCaps) == r.inject.failCaps) {
            --r.inject.failCount;
            return r.inject.failResult;
        }
        Surface *s = new Surface;
        s->caps = caps;
        s->primary = (caps & DDSCAPS_PRIMARYSURFACE) != 0;
        if (!s->primary) {
            if ((d->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT) || d->dwWidth == 0 ||
                d->dwHeight == 0 || d->dwWidth > 8192 || d->dwHeight > 8192) {
                delete s;
                return DDERR_INVALIDPARAMS;
            }
            s->width = int32_t(d->dwWidth);
            s->height = int32_t(d->dwHeight);
        }
        const HRESULT made = s->place();
        if (made != DD_OK) {
            delete s;
            return made;
        }
        ++r.surfaces;
        r.live.push_back(s);
        *out = s;
        return DD_OK;
    }
    HRESULT CreateClipper(DWORD, IDirectDrawClipper **out, void *) override {
        if (out == nullptr) return DDERR_INVALIDPARAMS;
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        *out = new Clipper;
        ++rt().clippers;
        return DD_OK;
    }
    HRESULT GetDisplayMode(DDSURFACEDESC *d) override {
        if (d == nullptr) return DDERR_INVALIDPARAMS;
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        Surface probe;
        probe.primary = true;
        probe.caps = DDSCAPS_PRIMARYSURFACE;
        if (probe.place() != DD_OK) return DDERR_NODIRECTDRAWHW;
        const DWORD keepCaps = d->ddsCaps.dwCaps, keepFlags = d->dwFlags;
        probe.describe(d);
        d->ddsCaps.dwCaps = keepCaps;
        d->dwFlags = keepFlags | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
        return DD_OK;
    }
};

}  // namespace

// The machine offers DirectDraw when its display driver does and the machine's setting allows it.
HRESULT WINAPI DirectDrawCreate(GUID *, IDirectDraw **out, void *) {
    if (out == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard<std::recursive_mutex> g(rt().lock);
    *out = nullptr;
    if (kivMachineConfig()->noDirectDraw || rt().inject.createFails || !dd::open()) return DDERR_NODIRECTDRAWHW;
    *out = new DirectDraw;
    ++rt().objects;
    return DD_OK;
}

void kivDDrawDisplayLeaving() {
    std::lock_guard<std::recursive_mutex> g(rt().lock);
    for (Surface *s : rt().live) {
        s->drop();
        s->lost = true;
    }
    dd::close();
}

KivDDrawCounts kivDDrawCounts() {
    std::lock_guard<std::recursive_mutex> g(rt().lock);
    return KivDDrawCounts{rt().objects, rt().surfaces, rt().clippers, rt().videoBytes};
}
const std::vector<DWORD> &kivDDrawCreateLog() { return rt().createLog; }
void kivDDrawResetLog() { rt().createLog.clear(); }
void kivDDrawFailCreate(DWORD caps, int count, HRESULT result) {
    rt().inject.failCaps = caps;
    rt().inject.failCount = count;
    rt().inject.failResult = result;
}
void kivDDrawFailObjects(bool createFails, bool cooperativeFails) {
    rt().inject.createFails = createFails;
    rt().inject.cooperativeFails = cooperativeFails;
}
void kivDDrawBusyLocks(int count) { rt().inject.busyLocks = count; }
void kivDDrawLoseSurfaces() {
    std::lock_guard<std::recursive_mutex> g(rt().lock);
    for (Surface *s : rt().live) s->lost = true;
}
void kivDDrawSetVideoBudget(uint32_t bytes) { rt().budget = bytes; }
void kivDDrawOffer(bool offered) {
    KivMachineConfig c = *kivMachineConfig();
    c.noDirectDraw = offered ? 0 : 1;
    kivMachineConfigure(&c);
}
void kivDDrawResetInjections() { rt().inject = Injections{}; }
