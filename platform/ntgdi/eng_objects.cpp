// Engine objects a display driver creates: semaphores, surfaces and bitmaps, palettes; and the
// local time.
#include "platform/ntgdi/eng_internal.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <thread>

std::recursive_mutex &kivEngLock() {
    static std::recursive_mutex m;
    return m;
}

std::recursive_mutex &kivEngDriverCallLock() {
    static std::recursive_mutex m;
    return m;
}

namespace {

std::vector<std::string> &errors() {
    static std::vector<std::string> e;
    return e;
}

// ---- semaphores: re-entrant for the thread that holds them, as the engine's are -------------
struct Semaphore {
    std::recursive_mutex mutex;
    std::thread::id holder;
    unsigned depth = 0;
};
std::map<HSEMAPHORE, std::unique_ptr<Semaphore>> &semaphores() {
    static std::map<HSEMAPHORE, std::unique_ptr<Semaphore>> m;
    return m;
}
// The semaphore table has a lock of its own, held only while the table is read or changed: a
// thread releasing a semaphore must never wait for the engine's lock, which another thread may
// hold while it waits for that very semaphore.
std::mutex &semaphoreTableLock() {
    static std::mutex m;
    return m;
}

Semaphore *findSemaphore(HSEMAPHORE h, const char *who) {
    {
        std::lock_guard<std::mutex> g(semaphoreTableLock());
        auto it = semaphores().find(h);
        if (it != semaphores().end()) return it->second.get();
    }
    kivEngError(std::string(who) + " of an unknown semaphore");
    return nullptr;
}

// ---- surfaces --------------------------------------------------------------------------------
struct Surface {
    SURFOBJ so;
    unsigned locks = 0;
    FLONG hooks = 0;
    bool ownsBits = false;
};
std::map<HSURF, std::unique_ptr<Surface>> &surfaces() {
    static std::map<HSURF, std::unique_ptr<Surface>> m;
    return m;
}
uintptr_t nextHandle = 0x1000;

HSURF newSurface(DHSURF dhsurf, SIZEL sizl, ULONG format, USHORT type) {
    auto s = std::make_unique<Surface>();
    HSURF h = reinterpret_cast<HSURF>(nextHandle += 4);
    s->so.dhsurf = dhsurf;
    s->so.hsurf = h;
    s->so.sizlBitmap = sizl;
    s->so.iBitmapFormat = format;
    s->so.iType = type;
    s->so.iUniq = 1;
    surfaces()[h] = std::move(s);
    return h;
}


// ---- palettes ----------------------------------------------------------------------------------
struct Palette {
    ULONG mode;
    std::vector<ULONG> colors;
    FLONG red, green, blue;
};
std::map<HPALETTE, std::unique_ptr<Palette>> &palettes() {
    static std::map<HPALETTE, std::unique_ptr<Palette>> m;
    return m;
}

bool clockFixed = false;
uint32_t clockMs = 0;
uint32_t clockStep = 0;

}  // namespace

void kivEngError(const std::string &message) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    errors().push_back(message);
}

const std::vector<std::string> &kivEngErrors() { return errors(); }
void kivEngClearErrors() {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    errors().clear();
}

extern "C" HSEMAPHORE APIENTRY EngCreateSemaphore(void) {
    std::lock_guard<std::mutex> g(semaphoreTableLock());
    auto s = std::make_unique<Semaphore>();
    HSEMAPHORE h = reinterpret_cast<HSEMAPHORE>(s.get());
    semaphores()[h] = std::move(s);
    return h;
}

extern "C" void APIENTRY EngAcquireSemaphore(HSEMAPHORE hsem) {
    Semaphore *s = findSemaphore(hsem, "EngAcquireSemaphore");
    if (!s) return;
    s->mutex.lock();
    s->holder = std::this_thread::get_id();
    ++s->depth;
}

extern "C" void APIENTRY EngReleaseSemaphore(HSEMAPHORE hsem) {
    Semaphore *s = findSemaphore(hsem, "EngReleaseSemaphore");
    if (!s) return;
    if (s->depth == 0 || s->holder != std::this_thread::get_id()) {
        kivEngError("EngReleaseSemaphore of a semaphore this thread does not hold");
        return;
    }
    if (--s->depth == 0) s->holder = std::thread::id();
    s->mutex.unlock();
}

extern "C" void APIENTRY EngDeleteSemaphore(HSEMAPHORE hsem) {
    std::unique_ptr<Semaphore> gone;
    {
        std::lock_guard<std::mutex> g(semaphoreTableLock());
        auto it = semaphores().find(hsem);
        if (it != semaphores().end()) {
            gone = std::move(it->second);
            semaphores().erase(it);
        }
    }
    if (!gone) kivEngError("EngDeleteSemaphore of an unknown semaphore");
    else if (gone->depth) kivEngError("EngDeleteSemaphore of a semaphore still held");
}

size_t kivEngLiveSemaphores() {
    std::lock_guard<std::mutex> g(semaphoreTableLock());
    return semaphores().size();
}

extern "C" HSURF APIENTRY EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    if (!kivEngBitsPerPixel(iFormatCompat) || sizl.cx <= 0 || sizl.cy <= 0) return nullptr;
    return newSurface(dhsurf, sizl, iFormatCompat, STYPE_DEVICE);
}

extern "C" HBITMAP APIENTRY EngCreateDeviceBitmap(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    if (!kivEngBitsPerPixel(iFormatCompat) || sizl.cx <= 0 || sizl.cy <= 0) return nullptr;
    return reinterpret_cast<HBITMAP>(newSurface(dhsurf, sizl, iFormatCompat, STYPE_DEVBITMAP));
}

extern "C" HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl,
                                            PVOID pvBits) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    unsigned bpp = kivEngBitsPerPixel(iFormat);
    if (!bpp || sizl.cx <= 0 || sizl.cy <= 0) return nullptr;
    LONG stride = lWidth;
    bool own = false;
    if (!pvBits) {
        stride = static_cast<LONG>(((static_cast<uint32_t>(sizl.cx) * bpp + 31) / 32) * 4);
        pvBits = std::calloc(static_cast<size_t>(stride), static_cast<size_t>(sizl.cy));
        if (!pvBits) return nullptr;
        own = true;
    }
    HSURF h = newSurface(nullptr, sizl, iFormat, STYPE_BITMAP);
    Surface &s = *surfaces()[h];
    s.ownsBits = own;
    s.so.cjBits = static_cast<ULONG>(stride) * static_cast<ULONG>(sizl.cy);
    s.so.pvBits = pvBits;
    if (fl & BMF_TOPDOWN) {
        s.so.pvScan0 = pvBits;
        s.so.lDelta = stride;
        s.so.fjBitmap = BMF_TOPDOWN;
    } else {
        s.so.pvScan0 = static_cast<uint8_t *>(pvBits) + static_cast<size_t>(stride) * (sizl.cy - 1);
        s.so.lDelta = -stride;
    }
    return reinterpret_cast<HBITMAP>(h);
}

extern "C" BOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    auto it = surfaces().find(hsurf);
    if (it == surfaces().end()) return FALSE;
    it->second->so.hdev = hdev;
    it->second->so.dhpdev = kivEngPdevOf(hdev);   // the driver's PDEV behind the engine's device
    it->second->hooks = flHooks;
    return TRUE;
}

extern "C" SURFOBJ *APIENTRY EngLockSurface(HSURF hsurf) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    auto it = surfaces().find(hsurf);
    if (it == surfaces().end()) return nullptr;
    ++it->second->locks;
    return &it->second->so;
}

extern "C" void APIENTRY EngUnlockSurface(SURFOBJ *pso) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    if (!pso) return;
    auto it = surfaces().find(pso->hsurf);
    if (it == surfaces().end() || &it->second->so != pso || it->second->locks == 0) {
        kivEngError("EngUnlockSurface of a surface that is not locked");
        return;
    }
    --it->second->locks;
}

extern "C" BOOL APIENTRY EngDeleteSurface(HSURF hsurf) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    auto it = surfaces().find(hsurf);
    if (it == surfaces().end()) {
        kivEngError("EngDeleteSurface of an unknown surface");
        return FALSE;
    }
    if (it->second->locks) kivEngError("EngDeleteSurface of a surface still locked");
    if (it->second->ownsBits) std::free(it->second->so.pvBits);
    surfaces().erase(it);
    return TRUE;
}

size_t kivEngLiveSurfaces() {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    return surfaces().size();
}

size_t kivEngLockedSurfaces() {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    size_t n = 0;
    for (const auto &s : surfaces()) n += s.second->locks ? 1 : 0;
    return n;
}

FLONG kivEngSurfaceHooks(HSURF hsurf) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    auto it = surfaces().find(hsurf);
    return it == surfaces().end() ? 0 : it->second->hooks;
}

extern "C" HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG *pulColors, FLONG flRed,
                                              FLONG flGreen, FLONG flBlue) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    if (iMode != PAL_INDEXED && iMode != PAL_BITFIELDS && iMode != PAL_RGB && iMode != PAL_BGR)
        return nullptr;
    auto p = std::make_unique<Palette>();
    p->mode = iMode;
    if (iMode == PAL_INDEXED && pulColors) p->colors.assign(pulColors, pulColors + cColors);
    p->red = flRed;
    p->green = flGreen;
    p->blue = flBlue;
    HPALETTE h = reinterpret_cast<HPALETTE>(p.get());
    palettes()[h] = std::move(p);
    return h;
}

extern "C" BOOL APIENTRY EngDeletePalette(HPALETTE hpal) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    if (!palettes().erase(hpal)) {
        kivEngError("EngDeletePalette of an unknown palette");
        return FALSE;
    }
    return TRUE;
}

size_t kivEngLivePalettes() {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    return palettes().size();
}

extern "C" void APIENTRY EngQueryPerformanceCounter(LONGLONG *pPerformanceCount) {
    if (pPerformanceCount == nullptr) return;
    *pPerformanceCount = static_cast<LONGLONG>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                   std::chrono::steady_clock::now().time_since_epoch())
                                                   .count());
}

extern "C" void APIENTRY EngQueryPerformanceFrequency(LONGLONG *pFrequency) {
    if (pFrequency != nullptr) *pFrequency = 1000000;
}

extern "C" void APIENTRY EngQueryLocalTime(ENG_TIME_FIELDS *ptf) {
    if (!ptf) return;
    std::memset(ptf, 0, sizeof *ptf);
    uint64_t ms;
    if (clockFixed) {
        ms = clockMs;
        clockMs += clockStep;
    } else {
        ms = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count());
    }
    std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm t{};
    localtime_r(&secs, &t);
    ptf->usYear = static_cast<USHORT>(t.tm_year + 1900);
    ptf->usMonth = static_cast<USHORT>(t.tm_mon + 1);
    ptf->usDay = static_cast<USHORT>(t.tm_mday);
    ptf->usHour = static_cast<USHORT>(t.tm_hour);
    ptf->usMinute = static_cast<USHORT>(t.tm_min);
    ptf->usSecond = static_cast<USHORT>(t.tm_sec);
    ptf->usMilliseconds = static_cast<USHORT>(ms % 1000);
    ptf->usWeekday = static_cast<USHORT>(t.tm_wday);
}

void kivEngSetClockStep(uint32_t milliseconds) { clockStep = milliseconds; }

void kivEngSetClock(bool fixed, uint32_t milliseconds) {
    clockFixed = fixed;
    clockMs = milliseconds;
}
