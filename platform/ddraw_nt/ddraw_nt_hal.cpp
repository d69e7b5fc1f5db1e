// The NT DirectDraw runtime's driver side: surfaces, locks, blits, flips and overlays passed to
// the display driver's callbacks.
#include "platform/ddraw_nt/ddraw_nt_hal.h"

#include <algorithm>
#include <cstring>

#include "platform/ntgdi/ntgdi.h"
#include "platform/win32/guarded_pages.h"

namespace {

typedef BOOL(APIENTRY *PFN_GetDirectDrawInfo)(DHPDEV, void *, DWORD *, void *, DWORD *, DWORD *);
typedef BOOL(APIENTRY *PFN_EnableDirectDraw)(DHPDEV, void *, void *, void *);
typedef void(APIENTRY *PFN_DisableDirectDraw)(DHPDEV);

template <typename F> F driverFunction(ULONG index) { return reinterpret_cast<F>(kivEngineDriverFunction(index)); }

KivDdNtResult call(PFN_ZK_DD fn, void *data, HRESULT_DD *code) {
    KivDdNtResult r;
    if (!fn) return r;
    r.handled = fn(data);
    r.code = *code;
    return r;
}

// What DirectDraw answers itself.
KivDdNtResult answered(HRESULT_DD code) {
    KivDdNtResult r;
    r.handled = ZK_DDHAL_HANDLED;
    r.code = code;
    return r;
}

// The largest block of its own memory DirectDraw gives a surface, and so the largest pitch: what
// a signed 32-bit pitch or offset reaches (no 32-bit process holds more in one piece).
constexpr uint64_t kLargestBlock = 0x7FFFFFFF;

// A width or height a rectangle can name.
bool sideFits(DWORD n) { return n != 0 && n <= 0x7FFFFFFFu; }

// The RGB pixel sizes DirectDraw has formats for; a pixel of any other size (none, 12 bits, 64)
// neither the driver's blits nor a program's lock could address.
bool rgbBitCountKnown(DWORD bits) {
    for (DWORD known : {1u, 2u, 4u, 8u, 16u, 24u, 32u})
        if (bits == known) return true;
    return false;
}

// A format the driver must be told differs from the display's: a FOURCC code, or RGB of another
// size or other masks.
bool differentFormat(const ZK_DDPIXELFORMAT &pf, const ZK_DDPIXELFORMAT &display) {
    if (pf.dwFlags & ZK_DDPF_FOURCC) return true;
    if (!(pf.dwFlags & ZK_DDPF_RGB)) return false;
    return pf.dwRGBBitCount != display.dwRGBBitCount || pf.dwRBitMask != display.dwRBitMask ||
           pf.dwGBitMask != display.dwGBitMask || pf.dwBBitMask != display.dwBBitMask;
}

// Where DirectDraw's own surface memory starts: on 8 bytes, as its heap gives blocks.
constexpr size_t kSurfaceAlign = 8;

// h rows of `pitch` bytes; past every limit, never wrapped, when a row alone is past the largest block.
uint64_t blockOf(uint64_t pitch, uint64_t h) { return pitch > kLargestBlock ? ~uint64_t{0} >> 1 : pitch * h; }

// A surface of DirectDraw's own memory: rows of w `bits`-bit pixels rounded up to whole bytes and
// then to dwords, h of them, worked out in 64 bits. DD_OK with the pitch and the block, or the
// error of a pixel size it cannot lay out or a block no process holds.
HRESULT_DD layOut(DWORD w, DWORD h, DWORD bits, LONG *pitch, size_t *bytes) {
    if (bits == 0 || bits > 64) return ZK_DDERR_INVALIDPIXELFORMAT;
    const uint64_t row = ((uint64_t{w} * bits + 7) / 8 + 3) & ~uint64_t{3};
    const uint64_t block = blockOf(row, h);
    if (block > kLargestBlock) return ZK_DDERR_OUTOFMEMORY;
    *pitch = static_cast<LONG>(row);
    *bytes = static_cast<size_t>(block);
    return ZK_DD_OK;
}

}  // namespace

// Straight from the system, apart from the program's own allocations (and their test switches):
// pages that read as zero until written, ending where a program or driver that runs past the
// surface is caught.
bool KivDdNtMemory::allocate(size_t bytes) {
    release();
    if (bytes == 0) return false;
    data_ = kivMapGuarded(bytes, kSurfaceAlign, 1, KivPages::Private);
    size_ = data_ ? bytes : 0;
    return data_ != nullptr;
}

void KivDdNtMemory::release() {
    kivUnmapGuarded(data_, size_, 1);
    data_ = nullptr;
    size_ = 0;
}

bool KivDirectDrawNt::enable() {
    if (enabled_) return true;
    const KivEngineDisplay *display = kivEngineRunning() ? kivEngineDisplay() : nullptr;
    auto info = driverFunction<PFN_GetDirectDrawInfo>(INDEX_DrvGetDirectDrawInfo);
    auto en = driverFunction<PFN_EnableDirectDraw>(INDEX_DrvEnableDirectDraw);
    if (!display || !info || !en) return false;
    dhpdev_ = display->dhpdev;
    global_ = ZK_DD_DIRECTDRAW_GLOBAL{dhpdev_, 0, 0};
    DWORD heaps = 0, codes = 0;
    halInfo_ = ZK_DD_HALINFO{};
    // The first call counts the codes, the second fills them.
    if (!info(dhpdev_, &halInfo_, &heaps, nullptr, &codes, nullptr)) return false;
    fourCcs_.assign(codes, 0);
    if (!info(dhpdev_, &halInfo_, &heaps, nullptr, &codes, fourCcs_.data())) return false;
    fourCcs_.resize(std::min<size_t>(codes, fourCcs_.size()));
    callbacks_ = ZK_DD_CALLBACKS{};
    surfaceCallbacks_ = ZK_DD_SURFACECALLBACKS{};
    paletteCallbacks_ = ZK_DD_PALETTECALLBACKS{};
    callbacks_.dwSize = sizeof callbacks_;
    surfaceCallbacks_.dwSize = sizeof surfaceCallbacks_;
    paletteCallbacks_.dwSize = sizeof paletteCallbacks_;
    if (!en(dhpdev_, &callbacks_, &surfaceCallbacks_, &paletteCallbacks_)) return false;
    enabled_ = true;
    return true;
}

void KivDirectDrawNt::disable() {
    if (!enabled_) return;
    for (auto &s : surfaces_)
        if (s->created) destroy(s.get());
    surfaces_.clear();
    if (auto dis = driverFunction<PFN_DisableDirectDraw>(INDEX_DrvDisableDirectDraw)) dis(dhpdev_);
    enabled_ = false;
}

void KivDirectDrawNt::forget() {
    surfaces_.clear();
    enabled_ = false;
    dhpdev_ = nullptr;
}

KivDdNtSurface *KivDirectDrawNt::primary() {
    for (auto &s : surfaces_)
        if (s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_PRIMARYSURFACE) return s.get();
    auto s = std::make_unique<KivDdNtSurface>();
    const ZK_VIDEOMEMORYINFO &vmi = halInfo_.vmiData;
    s->lcl.lpGbl = &s->gbl;
    s->lcl.ddsCaps.dwCaps = ZK_DDSCAPS_PRIMARYSURFACE | ZK_DDSCAPS_VISIBLE | ZK_DDSCAPS_FRONTBUFFER | ZK_DDSCAPS_VIDEOMEMORY;
    s->gbl.fpVidMem = 0;
    s->gbl.lPitch = vmi.lDisplayPitch;
    s->gbl.wWidth = vmi.dwDisplayWidth;
    s->gbl.wHeight = vmi.dwDisplayHeight;
    s->gbl.ddpfSurface = vmi.ddpfDisplay;
    surfaces_.push_back(std::move(s));
    return surfaces_.back().get();
}

KivDdNtResult KivDirectDrawNt::create(const ZK_DDSURFACEDESC &descIn, DWORD count, std::vector<KivDdNtSurface *> *out) {
    KivDdNtResult r;
    out->clear();
    if (!enabled_ || count == 0) return r;
    ZK_DDSURFACEDESC desc = descIn;
    desc.dwSize = sizeof desc;
    const ZK_DDPIXELFORMAT &display = halInfo_.vmiData.ddpfDisplay;
    const ZK_DDPIXELFORMAT &asked = desc.ddpfPixelFormat;
    // The description first, as DirectDraw checks it before any memory or driver sees it.
    if (!sideFits(desc.dwWidth) || !sideFits(desc.dwHeight)) return answered(ZK_DDERR_INVALIDPARAMS);
    if ((asked.dwFlags & (ZK_DDPF_FOURCC | ZK_DDPF_RGB)) == ZK_DDPF_RGB && !rgbBitCountKnown(asked.dwRGBBitCount))
        return answered(ZK_DDERR_INVALIDPIXELFORMAT);
    if (desc.ddsCaps.dwCaps & ZK_DDSCAPS_SYSTEMMEMORY) {
        // Surfaces in the process's memory are DirectDraw's own: the driver never sees them made.
        ZK_DDPIXELFORMAT pf = (asked.dwFlags & (ZK_DDPF_FOURCC | ZK_DDPF_RGB)) ? asked : display;
        if (pf.dwFlags & ZK_DDPF_FOURCC) pf.dwRGBBitCount = 16;   // laid out, and locked, two bytes a pixel
        LONG pitch = 0;
        size_t bytes = 0;
        if (const HRESULT_DD bad = layOut(desc.dwWidth, desc.dwHeight, pf.dwRGBBitCount, &pitch, &bytes)) return answered(bad);
        // The whole chain or nothing: surfaces made before one the system gives no memory go with `chain`.
        std::vector<std::unique_ptr<KivDdNtSurface>> chain;
        for (DWORD i = 0; i < count; ++i) {
            auto s = std::make_unique<KivDdNtSurface>();
            if (!s->userMemory.allocate(bytes)) return answered(ZK_DDERR_OUTOFMEMORY);
            s->lcl.lpGbl = &s->gbl;
            s->lcl.ddsCaps = desc.ddsCaps;
            s->gbl.wWidth = desc.dwWidth;
            s->gbl.wHeight = desc.dwHeight;
            s->gbl.ddpfSurface = pf;
            s->gbl.lPitch = pitch;
            s->gbl.fpVidMem = static_cast<ULONG>(reinterpret_cast<uintptr_t>(s->userMemory.data()));
            chain.push_back(std::move(s));
        }
        for (auto &s : chain) {
            out->push_back(s.get());
            surfaces_.push_back(std::move(s));
        }
        return answered(ZK_DD_OK);
    }
    ZK_DD_CANCREATESURFACEDATA can{&global_, &desc, differentFormat(asked, display) ? 1u : 0u, -1, nullptr};
    r = call(callbacks_.CanCreateSurface, &can, &can.ddRVal);
    if (r.handled == ZK_DDHAL_HANDLED && r.code != ZK_DD_OK) return r;
    std::vector<ZK_DD_SURFACE_LOCAL *> list;
    for (DWORD i = 0; i < count; ++i) {
        auto s = std::make_unique<KivDdNtSurface>();
        s->lcl.lpGbl = &s->gbl;
        s->lcl.ddsCaps = desc.ddsCaps;
        s->gbl.wWidth = desc.dwWidth;
        s->gbl.wHeight = desc.dwHeight;
        s->gbl.ddpfSurface = desc.ddpfPixelFormat;
        if (!(desc.ddpfPixelFormat.dwFlags & (ZK_DDPF_FOURCC | ZK_DDPF_RGB))) s->gbl.ddpfSurface = display;
        list.push_back(&s->lcl);
        out->push_back(s.get());
        surfaces_.push_back(std::move(s));
    }
    // Each surface of the chain in turn, through the one list, which names it first meanwhile.
    for (DWORD i = 0; i < count; ++i) {
        KivDdNtSurface *s = (*out)[i];
        ZK_DDSURFACEDESC d = desc;
        ZK_DD_CREATESURFACEDATA c{&global_, &d, list.data(), count, -1, nullptr};
        std::swap(list[0], list[i]);
        r = call(callbacks_.CreateSurface, &c, &c.ddRVal);
        std::swap(list[0], list[i]);
        if (r.handled == ZK_DDHAL_HANDLED && r.code != ZK_DD_OK) break;
        if (r.handled == ZK_DDHAL_NOTHANDLED) {
            // DirectDraw's own memory: what the driver asked for, or a plain surface of the description.
            const bool askedFor = s->gbl.fpVidMem == ZK_DDHAL_PLEASEALLOC_USERMEM;
            if (!askedFor && (s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY)) {
                r = answered(ZK_DDERR_OUTOFVIDEOMEMORY);
                break;
            }
            size_t size = s->gbl.dwBlockSizeX;
            if (!askedFor) {
                const DWORD bits = s->gbl.ddpfSurface.dwRGBBitCount ? s->gbl.ddpfSurface.dwRGBBitCount : 8;
                LONG pitch = 0;
                if (const HRESULT_DD bad = layOut(s->gbl.wWidth, s->gbl.wHeight, bits, &pitch, &size)) {
                    r = answered(bad);
                    break;
                }
                s->gbl.lPitch = pitch;
            } else if (d.dwFlags & ZK_DDSD_PITCH) {
                s->gbl.lPitch = d.lPitch;
            }
            if (size > kLargestBlock || !s->userMemory.allocate(size)) {
                r = answered(ZK_DDERR_OUTOFMEMORY);
                break;
            }
            s->gbl.fpVidMem = static_cast<ULONG>(reinterpret_cast<uintptr_t>(s->userMemory.data()));
            s->lcl.ddsCaps.dwCaps = (s->lcl.ddsCaps.dwCaps & ~ZK_DDSCAPS_VIDEOMEMORY) | ZK_DDSCAPS_SYSTEMMEMORY;
            r.code = ZK_DD_OK;
        }
        s->created = true;
    }
    if (r.code != ZK_DD_OK) {
        // Nothing of the chain stays: what the driver made is destroyed with it, the rest forgotten.
        for (KivDdNtSurface *s : *out) release(s);
        out->clear();
    }
    return r;
}

KivDdNtResult KivDirectDrawNt::destroy(KivDdNtSurface *s) {
    KivDdNtResult r;
    if (s && !s->created && !s->userMemory.empty()) {   // DirectDraw's own
        s->userMemory.release();
        r.handled = ZK_DDHAL_HANDLED;
        r.code = ZK_DD_OK;
        return r;
    }
    if (!s || !s->created) return r;
    ZK_DD_DESTROYSURFACEDATA d{&global_, &s->lcl, -1, nullptr};
    r = call(surfaceCallbacks_.DestroySurface, &d, &d.ddRVal);
    s->created = false;
    s->userMemory.release();
    return r;
}

void KivDirectDrawNt::release(KivDdNtSurface *s) {
    if (s == nullptr) return;
    if (!(s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_PRIMARYSURFACE)) destroy(s);
    surfaces_.erase(std::remove_if(surfaces_.begin(), surfaces_.end(),
                                   [s](const std::unique_ptr<KivDdNtSurface> &p) { return p.get() == s; }),
                    surfaces_.end());
}

uint8_t *KivDirectDrawNt::bits(const KivDdNtSurface *s) const {
    if (s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_SYSTEMMEMORY)
        return reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(s->gbl.fpVidMem));
    return static_cast<uint8_t *>(halInfo_.vmiData.pvPrimary) + s->gbl.fpVidMem;
}

KivDdNtResult KivDirectDrawNt::lock(KivDdNtSurface *s, const RECTL *rect, DWORD flags, uint8_t **out) {
    ZK_DD_LOCKDATA l{&global_, &s->lcl, rect ? 1u : 0u, rect ? *rect : RECTL{}, nullptr, -1, nullptr, flags};
    KivDdNtResult r = call(surfaceCallbacks_.Lock, &l, &l.ddRVal);
    if (r.handled == ZK_DDHAL_HANDLED) {
        *out = r.code == ZK_DD_OK ? static_cast<uint8_t *>(l.lpSurfData) : nullptr;
        return r;
    }
    // Left to DirectDraw: the rectangle's first pixel, worked out in 64 bits, for a rectangle
    // inside the surface (whole bytes a pixel for FOURCC codes, the byte holding the pixel's
    // first bit for RGB), and only when that byte lies inside the surface's memory.
    uint8_t *at = bits(s);
    if (rect) {
        const ZK_DDPIXELFORMAT &pf = s->gbl.ddpfSurface;
        const uint64_t bpp = pf.dwRGBBitCount ? pf.dwRGBBitCount : 8;
        const uint64_t x = static_cast<ULONG>(rect->left), y = static_cast<ULONG>(rect->top);
        const uint64_t offset = y * static_cast<ULONG>(s->gbl.lPitch) + ((pf.dwFlags & ZK_DDPF_FOURCC) ? x * (bpp / 8) : x * bpp / 8);
        uint64_t block = blockOf(static_cast<ULONG>(s->gbl.lPitch), s->gbl.wHeight);
        if (!s->userMemory.empty()) block = std::min<uint64_t>(block, s->userMemory.size());
        const bool within = rect->left >= 0 && rect->top >= 0 && rect->left <= rect->right && rect->top <= rect->bottom &&
                            static_cast<ULONG>(rect->right) <= s->gbl.wWidth && static_cast<ULONG>(rect->bottom) <= s->gbl.wHeight;
        if (!within || s->gbl.lPitch <= 0 || offset >= block) {
            *out = nullptr;
            r.code = ZK_DDERR_INVALIDRECT;
            return r;
        }
        at += static_cast<size_t>(offset);
    }
    *out = at;
    r.code = ZK_DD_OK;
    return r;
}

KivDdNtResult KivDirectDrawNt::unlock(KivDdNtSurface *s) {
    ZK_DD_UNLOCKDATA u{&global_, &s->lcl, -1, nullptr};
    return call(surfaceCallbacks_.Unlock, &u, &u.ddRVal);
}

KivDdNtResult KivDirectDrawNt::blt(KivDdNtSurface *dst, RECTL rDest, KivDdNtSurface *src, RECTL rSrc, DWORD flags,
                                   const ZK_DDBLTFX &fx) {
    ZK_DD_BLTDATA b{};
    b.lpDD = &global_;
    b.lpDDDestSurface = &dst->lcl;
    b.rDest = rDest;
    b.lpDDSrcSurface = src ? &src->lcl : nullptr;
    b.rSrc = rSrc;
    b.dwFlags = flags;
    b.bltFX = fx;
    b.bltFX.dwSize = sizeof b.bltFX;
    b.ddRVal = -1;
    return call(surfaceCallbacks_.Blt, &b, &b.ddRVal);
}

KivDdNtResult KivDirectDrawNt::flip(KivDdNtSurface *current, KivDdNtSurface *target, DWORD flags) {
    ZK_DD_FLIPDATA f{&global_, &current->lcl, &target->lcl, flags, -1, nullptr};
    return call(surfaceCallbacks_.Flip, &f, &f.ddRVal);
}

KivDdNtResult KivDirectDrawNt::updateOverlay(KivDdNtSurface *overlay, RECTL rSrc, RECTL rDest, DWORD flags,
                                             const ZK_DDOVERLAYFX *fx) {
    ZK_DD_UPDATEOVERLAYDATA u{};
    u.lpDD = &global_;
    u.lpDDDestSurface = &primary()->lcl;
    u.lpDDSrcSurface = &overlay->lcl;
    u.rSrc = rSrc;
    u.rDest = rDest;
    u.dwFlags = flags;
    if (fx) u.overlayFX = *fx;
    u.overlayFX.dwSize = sizeof u.overlayFX;
    u.ddRVal = -1;
    return call(surfaceCallbacks_.UpdateOverlay, &u, &u.ddRVal);
}

KivDdNtResult KivDirectDrawNt::setOverlayPosition(KivDdNtSurface *overlay, LONG x, LONG y) {
    ZK_DD_SETOVERLAYPOSITIONDATA d{&global_, &overlay->lcl, &primary()->lcl, x, y, -1, nullptr};
    return call(surfaceCallbacks_.SetOverlayPosition, &d, &d.ddRVal);
}
