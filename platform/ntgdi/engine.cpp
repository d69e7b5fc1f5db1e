// The graphics engine's side of the display driver's life: loading, enabling in the
// platform's order, mode changes, full-screen switches, escapes and shutdown.
#include "platform/ntgdi/eng_internal.h"

#include <cstdio>
#include <cstring>

#include "platform/machine/machine.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/zk3/zk3_engine.h"

namespace {

typedef DHPDEV(APIENTRY *PFN_DrvEnablePDEV)(DEVMODEW *, WCHAR *, ULONG, HSURF *, ULONG, GDIINFO *, ULONG,
                                            DEVINFO *, HDEV, WCHAR *, HANDLE);
typedef void(APIENTRY *PFN_DrvCompletePDEV)(DHPDEV, HDEV);
typedef void(APIENTRY *PFN_DrvDisablePDEV)(DHPDEV);
typedef HSURF(APIENTRY *PFN_DrvEnableSurface)(DHPDEV);
typedef void(APIENTRY *PFN_DrvDisableSurface)(DHPDEV);
typedef BOOL(APIENTRY *PFN_DrvAssertMode)(DHPDEV, BOOL);
typedef BOOL(APIENTRY *PFN_DrvResetPDEV)(DHPDEV, DHPDEV);
typedef void(APIENTRY *PFN_DrvSynchronize)(DHPDEV, RECTL *);
typedef ULONG(APIENTRY *PFN_DrvGetModes)(HANDLE, ULONG, DEVMODEW *);
typedef ULONG(APIENTRY *PFN_DrvEscape)(SURFOBJ *, ULONG, ULONG, PVOID, ULONG, PVOID);
typedef LONG(APIENTRY *PFN_DrvDescribePixelFormat)(DHPDEV, LONG, ULONG, PIXELFORMATDESCRIPTOR *);
typedef BOOL(APIENTRY *PFN_DrvSetPixelFormat)(SURFOBJ *, LONG, HWND);
typedef BOOL(APIENTRY *PFN_DrvSwapBuffers)(SURFOBJ *, void *);

struct State {
    HMODULE module = nullptr;
    PFN table[INDEX_LAST + 1] = {};
    bool loaded = false;
    KivEngineDisplay display{};
    SURFOBJ *pso = nullptr;       // the engine's lock of the primary surface
    uint32_t hdevSerial = 0;
    uint32_t hdevTokens[64] = {};
    DHPDEV hdevPdev[64] = {};   // the PDEV each device token was enabled with
};

State &st() {
    static State s;
    return s;
}

template <typename F> F fn(ULONG index) { return reinterpret_cast<F>(st().table[index]); }

HDEV newHdev() {
    State &s = st();
    uint32_t i = s.hdevSerial++ % 64;
    s.hdevPdev[i] = nullptr;
    return reinterpret_cast<HDEV>(&s.hdevTokens[i]);
}

}  // namespace

DHPDEV kivEngPdevOf(HDEV hdev) {
    State &s = st();
    auto *token = reinterpret_cast<uint32_t *>(hdev);
    if (token < s.hdevTokens || token >= s.hdevTokens + 64) return nullptr;
    return s.hdevPdev[token - s.hdevTokens];
}

namespace {

bool loadDriver(const KivEngineConfig &config) {
    State &s = st();
    PFN_DrvEnableDriver enable = config.enableDriver;
    if (!enable) {
        s.module = LoadLibraryA(config.moduleName);
        if (!s.module) {
            std::fprintf(stderr, "graphics engine: cannot load the display driver %s\n", config.moduleName);
            return false;
        }
        enable = reinterpret_cast<PFN_DrvEnableDriver>(GetProcAddress(s.module, "DrvEnableDriver"));
    }
    DRVENABLEDATA ded{};
    if (!enable || !enable(config.engineVersion, sizeof ded, &ded) || !ded.pdrvfn) {
        if (s.module) FreeLibrary(s.module);
        s.module = nullptr;
        return false;
    }
    std::memset(s.table, 0, sizeof s.table);
    for (ULONG i = 0; i < ded.c; ++i)
        if (ded.pdrvfn[i].iFunc <= INDEX_LAST) s.table[ded.pdrvfn[i].iFunc] = ded.pdrvfn[i].pfn;
    s.loaded = true;
    return true;
}

void unloadDriver() {
    State &s = st();
    if (s.module) FreeLibrary(s.module);
    s.module = nullptr;
    s.loaded = false;
    std::memset(s.table, 0, sizeof s.table);
}

void makeDevmode(DEVMODEW &dm, uint32_t w, uint32_t h, uint32_t bpp, uint32_t freq, uint16_t logPixels) {
    std::memset(&dm, 0, sizeof dm);
    const char *name = "DISPLAY";
    for (int i = 0; name[i]; ++i) dm.dmDeviceName[i] = static_cast<WCHAR>(name[i]);
    dm.dmSpecVersion = dm.dmDriverVersion = 0x401;
    dm.dmSize = sizeof dm;
    dm.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
    dm.dmLogPixels = logPixels;
    dm.dmBitsPerPel = bpp;
    dm.dmPelsWidth = w;
    dm.dmPelsHeight = h;
    dm.dmDisplayFrequency = freq;
}

// Enables one PDEV and its primary surface; fills `out`. False leaves nothing enabled.
bool enableDisplay(DEVMODEW &dm, KivEngineDisplay &out) {
    auto enablePdev = fn<PFN_DrvEnablePDEV>(INDEX_DrvEnablePDEV);
    auto completePdev = fn<PFN_DrvCompletePDEV>(INDEX_DrvCompletePDEV);
    auto enableSurface = fn<PFN_DrvEnableSurface>(INDEX_DrvEnableSurface);
    auto disablePdev = fn<PFN_DrvDisablePDEV>(INDEX_DrvDisablePDEV);
    if (!enablePdev || !completePdev || !enableSurface || !disablePdev) return false;
    std::memset(&out, 0, sizeof out);
    out.devmode = dm;
    out.hdev = newHdev();
    static WCHAR deviceName[] = {'\\', '\\', '.', '\\', 'D', 'I', 'S', 'P', 'L', 'A', 'Y', '1', 0};
    out.dhpdev = enablePdev(&dm, nullptr, 0, nullptr, sizeof out.gdiInfo, &out.gdiInfo, sizeof out.devInfo,
                            &out.devInfo, out.hdev, deviceName, KIV_ENGINE_VIDEO_DEVICE);
    if (!out.dhpdev) return false;
    st().hdevPdev[reinterpret_cast<uint32_t *>(out.hdev) - st().hdevTokens] = out.dhpdev;
    completePdev(out.dhpdev, out.hdev);
    out.hsurf = enableSurface(out.dhpdev);
    if (!out.hsurf) {
        disablePdev(out.dhpdev);
        out.dhpdev = nullptr;
        return false;
    }
    out.flHooks = kivEngSurfaceHooks(out.hsurf);
    out.enabled = true;
    return true;
}

void disableDisplay(KivEngineDisplay &d) {
    auto disableSurface = fn<PFN_DrvDisableSurface>(INDEX_DrvDisableSurface);
    auto disablePdev = fn<PFN_DrvDisablePDEV>(INDEX_DrvDisablePDEV);
    if (d.hsurf && disableSurface) disableSurface(d.dhpdev);
    if (d.dhpdev && disablePdev) disablePdev(d.dhpdev);
    std::memset(&d, 0, sizeof d);
}

void lockScreen() {
    State &s = st();
    s.pso = s.display.hsurf ? EngLockSurface(s.display.hsurf) : nullptr;
}

void unlockScreen() {
    State &s = st();
    if (s.pso) EngUnlockSurface(s.pso);
    s.pso = nullptr;
}

// ---- the display device record of the machine -------------------------------------------------
int deviceEscape(void *, HDC, HWND, int escape, int inSize, const void *in, int outSize, void *out) {
    return static_cast<int>(kivEngineEscape(static_cast<ULONG>(escape), static_cast<ULONG>(inSize),
                                            const_cast<void *>(in), static_cast<ULONG>(outSize), out));
}

int deviceDescribe(void *, int format, UINT bytes, PIXELFORMATDESCRIPTOR *pfd) {
    return static_cast<int>(kivEngineDescribePixelFormat(format, bytes, pfd));
}

BOOL deviceSetPixelFormat(void *, HDC, HWND hwnd, int format) {
    auto set = fn<PFN_DrvSetPixelFormat>(INDEX_DrvSetPixelFormat);
    State &s = st();
    return set && s.pso ? set(s.pso, format, hwnd) : FALSE;
}

BOOL deviceSwapBuffers(void *, HDC, HWND) {
    auto swap = fn<PFN_DrvSwapBuffers>(INDEX_DrvSwapBuffers);
    State &s = st();
    return swap && s.pso ? swap(s.pso, nullptr) : FALSE;
}

const KivDisplayDevice kDevice = {"graphics engine: kivdisp", nullptr, deviceEscape, deviceDescribe,
                                  deviceSetPixelFormat, deviceSwapBuffers};

}  // namespace

bool kivEngineBoot(const KivEngineConfig &config) {
    if (st().loaded) kivEngineShutdown();
    kiv::ZkChip *chip = kivVideoPortSim().chip.get();
    if (chip && chip->kind() == kiv::ZkChipKind::ZK3 && zk3EngineChip() != chip) zk3EngineAttachChip(chip);
    if (!loadDriver(config)) return false;
    DEVMODEW dm;
    makeDevmode(dm, config.width, config.height, config.bitsPerPel, config.frequency, config.logPixels);
    if (!enableDisplay(dm, st().display)) {
        unloadDriver();
        return false;
    }
    lockScreen();
    return true;
}

void kivEngineShutdown() {
    State &s = st();
    if (!s.loaded) return;
    kivEngDeleteAllWindows();
    unlockScreen();
    disableDisplay(s.display);
    unloadDriver();
}

bool kivEngineRunning() { return st().loaded && st().display.dhpdev; }

const KivEngineDisplay *kivEngineDisplay() { return kivEngineRunning() ? &st().display : nullptr; }

bool kivEngineChangeMode(uint32_t width, uint32_t height, uint32_t bitsPerPel, uint32_t frequency) {
    State &s = st();
    if (!kivEngineRunning()) return false;
    auto assertMode = fn<PFN_DrvAssertMode>(INDEX_DrvAssertMode);
    auto resetPdev = fn<PFN_DrvResetPDEV>(INDEX_DrvResetPDEV);
    if (!assertMode) return false;
    KivEngineDisplay &old = s.display;
    if (old.enabled) {
        if (!assertMode(old.dhpdev, FALSE)) return false;
        old.enabled = false;
    }
    DEVMODEW dm;
    makeDevmode(dm, width, height, bitsPerPel, frequency, old.devmode.dmLogPixels);
    KivEngineDisplay next;
    if (!enableDisplay(dm, next)) {
        old.enabled = assertMode(old.dhpdev, TRUE) != FALSE;
        return false;
    }
    if (resetPdev && !resetPdev(old.dhpdev, next.dhpdev)) {
        disableDisplay(next);
        old.enabled = assertMode(old.dhpdev, TRUE) != FALSE;
        return false;
    }
    unlockScreen();
    disableDisplay(old);
    s.display = next;
    lockScreen();
    kivEngRetargetWindows(s.pso);
    return true;
}

bool kivEngineAssertMode(bool enable) {
    State &s = st();
    auto assertMode = fn<PFN_DrvAssertMode>(INDEX_DrvAssertMode);
    if (!kivEngineRunning() || !assertMode) return false;
    if (s.display.enabled == enable) return true;
    if (!assertMode(s.display.dhpdev, enable ? TRUE : FALSE)) return false;
    s.display.enabled = enable;
    return true;
}

void kivEngineSynchronize() {
    State &s = st();
    auto sync = fn<PFN_DrvSynchronize>(INDEX_DrvSynchronize);
    if (kivEngineRunning() && s.display.enabled && sync && (s.display.flHooks & HOOK_SYNCHRONIZE))
        sync(s.display.dhpdev, nullptr);
}

ULONG kivEngineGetModes(ULONG cjSize, DEVMODEW *pdm) {
    auto getModes = fn<PFN_DrvGetModes>(INDEX_DrvGetModes);
    return getModes ? getModes(KIV_ENGINE_VIDEO_DEVICE, cjSize, pdm) : 0;
}

ULONG kivEngineEscape(ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    State &s = st();
    auto escape = fn<PFN_DrvEscape>(INDEX_DrvEscape);
    if (!kivEngineRunning() || !escape || !s.pso) return 0;
    ULONG result;
    {
        // Escapes and window callbacks reach the driver one at a time, but not under the engine's
        // lock: an escape may wait for the driver's semaphore while its holder, a DirectDraw
        // call, uses engine services.
        std::lock_guard<std::recursive_mutex> g(kivEngDriverCallLock());
        result = escape(s.pso, iEsc, cjIn, pvIn, cjOut, pvOut);
    }
    kivEngAnnounceNewWindows();
    return result;
}

bool kivEngineSetPalette(ULONG iStart, ULONG cColors, const ULONG *colors) {
    typedef BOOL(APIENTRY * PFN_DrvSetPalette)(DHPDEV, PALOBJ *, FLONG, ULONG, ULONG);
    auto setPalette = fn<PFN_DrvSetPalette>(INDEX_DrvSetPalette);
    if (!kivEngineRunning() || !setPalette || !colors) return false;
    KivEngPalObj po;
    po.first = iStart;
    po.colors.assign(colors, colors + cColors);
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    return setPalette(st().display.dhpdev, &po.po, 0, iStart, cColors) != FALSE;
}

// The palette object handed to DrvSetPalette: entries first.. of the device's palette.
extern "C" ULONG APIENTRY PALOBJ_cGetColors(PALOBJ *ppalo, ULONG iStart, ULONG cEntry, ULONG *pulColors) {
    if (!ppalo || !pulColors) return 0;
    const auto *po = reinterpret_cast<const KivEngPalObj *>(ppalo);
    ULONG n = 0;
    for (; n < cEntry; ++n) {
        const ULONG i = iStart + n;
        if (i < po->first || i - po->first >= po->colors.size()) break;
        pulColors[n] = po->colors[i - po->first];
    }
    return n;
}

LONG kivEngineDescribePixelFormat(LONG iPixelFormat, ULONG cjpfd, PIXELFORMATDESCRIPTOR *ppfd) {
    auto describe = fn<PFN_DrvDescribePixelFormat>(INDEX_DrvDescribePixelFormat);
    if (!kivEngineRunning() || !describe) return 0;
    return describe(st().display.dhpdev, iPixelFormat, cjpfd, ppfd);
}

const KivDisplayDevice *kivEngineDisplayDevice() { return &kDevice; }

PFN kivEngineDriverFunction(ULONG index) { return index <= INDEX_LAST ? st().table[index] : nullptr; }

std::string kivEngineDescribeMode() {
    const KivEngineDisplay *d = kivEngineDisplay();
    if (!d) return "no display";
    char buf[96];
    std::snprintf(buf, sizeof buf, "%lu x %lu, %lu bits per pixel, %lu Hz",
                  static_cast<unsigned long>(d->gdiInfo.ulHorzRes), static_cast<unsigned long>(d->gdiInfo.ulVertRes),
                  static_cast<unsigned long>(d->gdiInfo.cBitsPixel),
                  static_cast<unsigned long>(d->gdiInfo.ulVRefresh));
    return buf;
}
