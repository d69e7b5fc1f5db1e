// The DirectDraw runtime stand-in of the NT machine: objects, surfaces over the ZK3's video
// memory or the heap, and clippers over the window model.
#include "platform/ddraw_nt/ddraw_nt.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include "platform/machine/machine.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/win32/internal.h"
#include "platform/zk3/zk3.h"

const GUID IID_IDirectDraw = {0x6C14DB80, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_IDirectDraw2 = {0xB3A6F3E0, 0x2B43, 0x11CF, {0xA2, 0xDE, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};

bool kivDDrawScreenSurface(unsigned char **base, int *pitch);

namespace {

// The top 84 KB of video memory belong to the cursor images and the reserved block.
constexpr uint32_t kReservedTop = 0x10000 + 0x5000;

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
    std::map<uint32_t, uint32_t> videoBlocks;  // pool offset -> bytes
    uint32_t videoBytes = 0;
    std::vector<struct Surface *> live;
    uint32_t budget = 0;  // off-screen video memory offered
    bool offered = false;  // DirectDraw exists on the machine
};

Runtime &rt() {
    static Runtime r;
    return r;
}

struct Screen {
    uint8_t *base;
    int32_t pitch, width, height, bpp;
};

Screen screen() {
    const KivScreenMode *mode = kivScreenMode();
    Screen s{nullptr, 0, mode->width, mode->height, mode->bpp};
    if (!kivDDrawScreenSurface(&s.base, &s.pitch)) {
        kiv::ZkChip *chip = kivVideoPortSim().chip.get();
        s.base = chip != nullptr ? chip->videoMemory() : nullptr;
        s.pitch = s.width * ((s.bpp + 7) / 8);
    }
    return s;
}

// The pool of off-screen video memory: the top of video memory below the reserved block, at most
// half of what the screen leaves (the display driver's own off-screen heap grows from below).
// These application surfaces do not go through the display driver's DirectDraw heap (the
// driver side of the runtime, ddraw_nt_hal.h, does), so the pool is empty until a program or
// test sets a budget; the chip model draws no triangles, and buffers in system memory keep
// drawing with the software rasteriser.
struct Pool {
    uint8_t *memory = nullptr;
    uint32_t start = 0, end = 0;
};

Pool pool() {
    Pool p;
    kiv::ZkChip *chip = kivVideoPortSim().chip.get();
    if (chip == nullptr) return p;
    const Screen s = screen();
    const uint32_t size = chip->videoMemorySize();
    const uint32_t screenBytes = uint32_t(std::abs(s.pitch)) * uint32_t(s.height);
    if (size < screenBytes + kReservedTop) return p;
    p.memory = chip->videoMemory();
    p.end = (size - kReservedTop) & ~0xFFFu;
    const uint32_t room = std::min((p.end - screenBytes) / 2, rt().budget);
    p.start = (p.end - room + 0xFFF) & ~0xFFFu;
    return p;
}

// First fit, 256-byte aligned; returns the address or null.
uint8_t *takeVideo(uint32_t bytes) {
    Runtime &r = rt();
    const Pool p = pool();
    if (p.memory == nullptr) return nullptr;
    bytes = (bytes + 255) & ~255u;
    uint32_t at = p.start;
    for (const auto &[offset, size] : r.videoBlocks) {
        if (offset >= at + bytes) break;
        at = std::max(at, offset + size);
    }
    if (at + bytes > p.end) return nullptr;
    r.videoBlocks[at] = bytes;
    r.videoBytes += bytes;
    return p.memory + at;
}

void giveVideo(uint8_t *address) {
    Runtime &r = rt();
    kiv::ZkChip *chip = kivVideoPortSim().chip.get();
    if (chip == nullptr) return;
    auto it = r.videoBlocks.find(uint32_t(address - chip->videoMemory()));
    if (it == r.videoBlocks.end()) return;
    r.videoBytes -= it->second;
    r.videoBlocks.erase(it);
}

struct Surface final : IDirectDrawSurface {
    ULONG refs = 1;
    DWORD caps = 0;
    int32_t width = 0, height = 0, pitch = 0, bpp = 16;
    uint8_t *memory = nullptr;  // owned heap block (system memory) or pool address
    bool video = false, primary = false, lost = false;
    int locks = 0;
    KivScreenMode madeIn{};

    void place() {
        if (primary) {
            const Screen s = screen();
            memory = s.base;
            pitch = s.pitch;
            width = s.width;
            height = s.height;
            bpp = s.bpp;
            madeIn = *kivScreenMode();
            return;
        }
        bpp = kivScreenMode()->bpp;
        pitch = ((width * ((bpp + 7) / 8)) + 7) & ~7;
        const uint32_t bytes = uint32_t(pitch) * uint32_t(height);
        memory = video ? takeVideo(bytes) : static_cast<uint8_t *>(std::calloc(1, bytes));
    }
    void drop() {
        if (primary || memory == nullptr) return;
        if (video) giveVideo(memory);
        else std::free(memory);
        memory = nullptr;
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
        return 0;
    }
    void describe(DDSURFACEDESC *d) const {
        std::memset(d, 0, sizeof *d);
        d->dwSize = sizeof *d;
        d->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
        d->dwWidth = DWORD(width);
        d->dwHeight = DWORD(height);
        d->lPitch = pitch;
        d->ddsCaps.dwCaps = caps;
        d->ddpfPixelFormat.dwSize = 32;
        d->ddpfPixelFormat.dwFlags = DDPF_RGB;
        d->ddpfPixelFormat.dwRGBBitCount = DWORD(bpp);
        if (bpp == 16) {
            d->ddpfPixelFormat.dwRBitMask = 0xF800;
            d->ddpfPixelFormat.dwGBitMask = 0x07E0;
            d->ddpfPixelFormat.dwBBitMask = 0x001F;
        }
    }
    HRESULT GetSurfaceDesc(DDSURFACEDESC *d) override {
        if (d == nullptr) return DDERR_INVALIDPARAMS;
        describe(d);
        return DD_OK;
    }
    HRESULT IsLost() override { return lost ? DDERR_SURFACELOST : DD_OK; }
    HRESULT Restore() override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        if (!lost) return DD_OK;
        const KivScreenMode *now = kivScreenMode();
        if (now->width != madeIn.width || now->height != madeIn.height || now->bpp != madeIn.bpp)
            return DDERR_WRONGMODE;
        lost = false;
        return DD_OK;
    }
    HRESULT Lock(const RECT *rect, DDSURFACEDESC *d, DWORD, HANDLE) override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        if (d == nullptr) return DDERR_INVALIDPARAMS;
        if (rt().inject.busyLocks > 0) {
            --rt().inject.busyLocks;
            return DDERR_SURFACEBUSY;
        }
        if (lost) return DDERR_SURFACELOST;
        if (memory == nullptr) return DDERR_GENERIC;
        describe(d);
        uint8_t *at = memory;
        if (rect != nullptr) {
            if (rect->left < 0 || rect->top < 0 || rect->right > width || rect->bottom > height ||
                rect->left > rect->right || rect->top > rect->bottom)
                return DDERR_INVALIDPARAMS;
            at += ptrdiff_t(rect->top) * pitch + ptrdiff_t(rect->left) * ((bpp + 7) / 8);
        }
        d->lpSurface = at;
        d->dwFlags |= DDSD_LPSURFACE;
        ++locks;
        return DD_OK;
    }
    HRESULT Unlock(void *) override {
        std::lock_guard<std::recursive_mutex> g(rt().lock);
        if (locks == 0) return DDERR_NOTLOCKED;
        --locks;
        return DD_OK;
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
            s->video = (caps & DDSCAPS_SYSTEMMEMORY) == 0;
            if (s->video) s->caps = (caps & ~DDSCAPS_SYSTEMMEMORY) | DDSCAPS_VIDEOMEMORY;
        }
        s->place();
        if (s->memory == nullptr) {
            const bool video = s->video;
            delete s;
            return video ? DDERR_OUTOFVIDEOMEMORY : DDERR_OUTOFMEMORY;
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
        Surface probe;
        probe.primary = true;
        probe.caps = DDSCAPS_PRIMARYSURFACE;
        probe.place();
        const DWORD keepCaps = d->ddsCaps.dwCaps, keepFlags = d->dwFlags;
        probe.describe(d);
        d->ddsCaps.dwCaps = keepCaps;
        d->dwFlags = keepFlags | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
        return DD_OK;
    }
};

}  // namespace

HRESULT WINAPI DirectDrawCreate(GUID *, IDirectDraw **out, void *) {
    if (out == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard<std::recursive_mutex> g(rt().lock);
    *out = nullptr;
    if (!rt().offered || rt().inject.createFails || kivVideoPortSim().chip == nullptr) return DDERR_NODIRECTDRAWHW;
    *out = new DirectDraw;
    ++rt().objects;
    return DD_OK;
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
void kivDDrawOffer(bool offered) { rt().offered = offered; }
void kivDDrawResetInjections() { rt().inject = Injections{}; }
