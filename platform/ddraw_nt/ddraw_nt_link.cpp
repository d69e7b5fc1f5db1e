// The application objects' road to the display driver's DirectDraw: one driver-side runtime for
// the process, enabled on the running display, and the CPU doing what the driver leaves to
// DirectDraw (copies and fills between surfaces it does not handle).
#include "platform/ddraw_nt/ddraw_nt_link.h"

#include <cstring>
#include <mutex>

#include "platform/ddraw_nt/ddraw_nt_hal.h"
#include "platform/machine/machine.h"
#include "platform/ntgdi/ntgdi.h"

namespace kiv::ddnt {
namespace {

std::recursive_mutex &guard() {
    static std::recursive_mutex m;
    return m;
}

// Never destroyed: at exit the display may be gone before a static destructor would run.
KivDirectDrawNt &runtime() {
    static KivDirectDrawNt *r = new KivDirectDrawNt;
    return *r;
}

constexpr DWORD kSdCaps = 0x1, kSdPixelFormat = 0x1000;
constexpr int32_t kOutOfVideoMemory = int32_t(0x8876017Cu);

KivDdNtSurface *of(Handle h) { return static_cast<KivDdNtSurface *>(h); }

void describe(const KivDirectDrawNt &dd, const KivDdNtSurface *s, SurfaceInfo *info) {
    info->bits = dd.bits(s);
    info->pitch = s->gbl.lPitch;
    info->width = int32_t(s->gbl.wWidth);
    info->height = int32_t(s->gbl.wHeight);
    info->caps = s->lcl.ddsCaps.dwCaps;
    info->bitCount = s->gbl.ddpfSurface.dwRGBBitCount;
    info->redMask = s->gbl.ddpfSurface.dwRBitMask;
    info->greenMask = s->gbl.ddpfSurface.dwGBitMask;
    info->blueMask = s->gbl.ddpfSurface.dwBBitMask;
}

int32_t answer(const KivDdNtResult &r) { return r.handled == ZK_DDHAL_HANDLED ? int32_t(r.code) : 0; }

int32_t bytesPerPixel(const KivDdNtSurface *s) {
    const DWORD bits = s->gbl.ddpfSurface.dwRGBBitCount;
    return bits != 0 ? int32_t((bits + 7) / 8) : 1;
}

bool inside(const KivDdNtSurface *s, const RECTL &r) {
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom && r.right <= LONG(s->gbl.wWidth) &&
           r.bottom <= LONG(s->gbl.wHeight);
}

}  // namespace

// Only the display driver that drives the screen serves DirectDraw: not a stand-in display
// registered in its place.
bool open() {
    std::lock_guard<std::recursive_mutex> g(guard());
    if (!current()) close();
    if (!kivEngineRunning() || kivMachineDisplay() != kivEngineDisplayDevice()) return false;
    return runtime().enable();
}

bool current() {
    std::lock_guard<std::recursive_mutex> g(guard());
    const KivEngineDisplay *display = kivEngineRunning() ? kivEngineDisplay() : nullptr;
    return runtime().enabled() && display != nullptr && display->dhpdev == runtime().dhpdev();
}

bool screen(uint8_t **bits, int32_t *pitch) {
    typedef BOOL(APIENTRY * GetInfo)(DHPDEV, void *, DWORD *, void *, DWORD *, DWORD *);
    const KivEngineDisplay *display = kivEngineRunning() ? kivEngineDisplay() : nullptr;
    auto info = reinterpret_cast<GetInfo>(kivEngineDriverFunction(INDEX_DrvGetDirectDrawInfo));
    if (display == nullptr || !info) return false;
    ZK_DD_HALINFO hal{};
    DWORD heaps = 0, codes = 0;
    if (!info(display->dhpdev, &hal, &heaps, nullptr, &codes, nullptr) || hal.vmiData.pvPrimary == nullptr) return false;
    *bits = static_cast<uint8_t *>(hal.vmiData.pvPrimary);
    *pitch = hal.vmiData.lDisplayPitch;
    return true;
}

void close() {
    std::lock_guard<std::recursive_mutex> g(guard());
    KivDirectDrawNt &dd = runtime();
    if (!dd.enabled()) return;
    // Only a running display may be told; one already gone took its surfaces with it.
    const KivEngineDisplay *display = kivEngineRunning() ? kivEngineDisplay() : nullptr;
    if (display != nullptr && display->dhpdev == dd.dhpdev()) {
        dd.disable();
    } else {
        dd.forget();
    }
}

bool primary(Handle *out, SurfaceInfo *info) {
    std::lock_guard<std::recursive_mutex> g(guard());
    if (!open()) return false;
    KivDdNtSurface *s = runtime().primary();
    *out = s;
    describe(runtime(), s, info);
    return info->bits != nullptr;
}

int32_t create(uint32_t width, uint32_t height, uint32_t caps, Handle *out, SurfaceInfo *info) {
    std::lock_guard<std::recursive_mutex> g(guard());
    *out = nullptr;
    if (!open()) return int32_t(ZK_DDERR_GENERIC);
    KivDirectDrawNt &dd = runtime();
    ZK_DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = kSdCaps | ZK_DDSD_WIDTH | ZK_DDSD_HEIGHT | kSdPixelFormat;
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddsCaps.dwCaps = caps;
    desc.ddpfPixelFormat = dd.halInfo().vmiData.ddpfDisplay;
    std::vector<KivDdNtSurface *> made;
    const KivDdNtResult r = dd.create(desc, 1, &made);
    if (made.empty() || r.code != ZK_DD_OK) {
        if (r.code == ZK_DD_OK || r.code == ZK_DDERR_OUTOFMEMORY)
            return (caps & ZK_DDSCAPS_VIDEOMEMORY) ? kOutOfVideoMemory : int32_t(ZK_DDERR_OUTOFMEMORY);
        return int32_t(r.code);
    }
    // Asked for video memory, the surface is there or nowhere.
    if ((caps & ZK_DDSCAPS_VIDEOMEMORY) && !(made[0]->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY)) {
        dd.release(made[0]);
        return kOutOfVideoMemory;
    }
    *out = made[0];
    describe(dd, made[0], info);
    return 0;
}

void destroy(Handle surface) {
    std::lock_guard<std::recursive_mutex> g(guard());
    if (surface != nullptr && runtime().enabled()) runtime().release(of(surface));
}

int32_t lock(Handle surface, const int32_t *rect, uint32_t flags, uint8_t **bits) {
    std::lock_guard<std::recursive_mutex> g(guard());
    *bits = nullptr;
    if (!current()) return int32_t(ZK_DDERR_SURFACELOST);
    RECTL r{};
    if (rect != nullptr) r = RECTL{rect[0], rect[1], rect[2], rect[3]};
    const KivDdNtResult res = runtime().lock(of(surface), rect != nullptr ? &r : nullptr, flags, bits);
    return res.code == ZK_DD_OK && *bits != nullptr ? 0 : int32_t(res.code);
}

int32_t unlock(Handle surface) {
    std::lock_guard<std::recursive_mutex> g(guard());
    if (!current()) return int32_t(ZK_DDERR_SURFACELOST);
    return answer(runtime().unlock(of(surface)));
}

int32_t blt(Handle dst, const int32_t *dstRect, Handle src, const int32_t *srcRect, uint32_t flags, uint32_t fill) {
    std::lock_guard<std::recursive_mutex> g(guard());
    if (!current()) return int32_t(ZK_DDERR_SURFACELOST);
    KivDirectDrawNt &dd = runtime();
    KivDdNtSurface *d = of(dst), *s = of(src);
    const RECTL rd = dstRect ? RECTL{dstRect[0], dstRect[1], dstRect[2], dstRect[3]}
                             : RECTL{0, 0, LONG(d->gbl.wWidth), LONG(d->gbl.wHeight)};
    const RECTL rs = s == nullptr ? RECTL{}
                     : srcRect    ? RECTL{srcRect[0], srcRect[1], srcRect[2], srcRect[3]}
                                  : RECTL{0, 0, LONG(s->gbl.wWidth), LONG(s->gbl.wHeight)};
    if (!inside(d, rd) || (s != nullptr && !inside(s, rs))) return int32_t(ZK_DDERR_INVALIDRECT);
    const bool sameSize = s == nullptr || (rs.right - rs.left == rd.right - rd.left && rs.bottom - rs.top == rd.bottom - rd.top);
    if (!sameSize) return int32_t(ZK_DDERR_UNSUPPORTED);
    ZK_DDBLTFX fx{};
    DWORD how = ZK_DDBLT_WAIT | (flags & ZK_DDBLT_WAIT);
    if (s == nullptr) {
        how |= ZK_DDBLT_COLORFILL;
        fx.dwFillColor = fill;
    } else {
        how |= ZK_DDBLT_ROP;
        fx.dwROP = ZK_SRCCOPY;
    }
    const KivDdNtResult r = dd.blt(d, rd, s, rs, how, fx);
    if (r.handled == ZK_DDHAL_HANDLED) return int32_t(r.code);
    // Left to DirectDraw: the CPU copies or fills, once the chip is done with both surfaces.
    uint8_t *db = nullptr, *sb = nullptr;
    if (!dd.lock(d, nullptr, ZK_DDLOCK_WAIT, &db).ok() && db == nullptr) return int32_t(ZK_DDERR_GENERIC);
    if (s != nullptr && s != d && !dd.lock(s, nullptr, ZK_DDLOCK_WAIT, &sb).ok() && sb == nullptr) {
        dd.unlock(d);
        return int32_t(ZK_DDERR_GENERIC);
    }
    if (s == d) sb = db;
    const int32_t bpp = bytesPerPixel(d);
    const size_t row = size_t(rd.right - rd.left) * size_t(bpp);
    for (LONG y = 0; y < rd.bottom - rd.top; ++y) {
        uint8_t *to = db + ptrdiff_t(rd.top + y) * d->gbl.lPitch + ptrdiff_t(rd.left) * bpp;
        if (s != nullptr) {
            // Overlapping rows of one surface run bottom-up when the copy moves down.
            const LONG yy = (s == d && rs.top < rd.top) ? rd.bottom - rd.top - 1 - y : y;
            to = db + ptrdiff_t(rd.top + yy) * d->gbl.lPitch + ptrdiff_t(rd.left) * bpp;
            std::memmove(to, sb + ptrdiff_t(rs.top + yy) * s->gbl.lPitch + ptrdiff_t(rs.left) * bpp, row);
        } else {
            for (LONG x = 0; x < rd.right - rd.left; ++x) std::memcpy(to + x * bpp, &fill, size_t(bpp));
        }
    }
    if (s != nullptr && s != d) dd.unlock(s);
    dd.unlock(d);
    return 0;
}

int32_t flip(Handle current_, Handle target, uint32_t flags) {
    std::lock_guard<std::recursive_mutex> g(guard());
    if (!current()) return int32_t(ZK_DDERR_SURFACELOST);
    const KivDdNtResult r = runtime().flip(of(current_), of(target), flags);
    return r.handled == ZK_DDHAL_HANDLED ? int32_t(r.code) : int32_t(ZK_DDERR_UNSUPPORTED);
}

}  // namespace kiv::ddnt
