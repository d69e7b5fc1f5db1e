#include "platform/ntgdi/eng_devbitmap.h"

#include "platform/ntgdi/ntgdi.h"

namespace {
typedef HBITMAP(APIENTRY *PFN_DrvCreateDeviceBitmap)(DHPDEV, SIZEL, ULONG);
typedef void(APIENTRY *PFN_DrvDeleteDeviceBitmap)(DHSURF);
}  // namespace

KivEngBitmap kivEngineCreateBitmap(LONG cx, LONG cy) {
    KivEngBitmap b;
    const KivEngineDisplay *d = kivEngineDisplay();
    if (!d) return b;
    const ULONG format = d->devInfo.iDitherFormat;
    auto create = reinterpret_cast<PFN_DrvCreateDeviceBitmap>(kivEngineDriverFunction(INDEX_DrvCreateDeviceBitmap));
    HBITMAP h = create ? create(d->dhpdev, SIZEL{cx, cy}, format) : nullptr;
    b.bDevice = h != nullptr;
    if (!h) h = EngCreateBitmap(SIZEL{cx, cy}, 0, format, BMF_TOPDOWN, nullptr);
    b.hsurf = reinterpret_cast<HSURF>(h);
    b.pso = h ? EngLockSurface(b.hsurf) : nullptr;
    return b;
}

void kivEngineDeleteBitmap(KivEngBitmap &b) {
    if (b.bDevice && b.pso) {
        auto del = reinterpret_cast<PFN_DrvDeleteDeviceBitmap>(kivEngineDriverFunction(INDEX_DrvDeleteDeviceBitmap));
        if (del) del(b.pso->dhsurf);
    }
    if (b.pso) EngUnlockSurface(b.pso);
    if (b.hsurf) EngDeleteSurface(b.hsurf);
    b = KivEngBitmap{};
}
