// The NT graphics engine stand-in: loads the display driver, drives its DDI entries in the
// platform's order (enable driver, PDEV, surface; mode changes and full-screen switches;
// disable), routes escapes and pixel-format descriptions to it, and keeps the records of the
// Eng* services (engine memory by pool tag, semaphores, surfaces, palettes) for leak reports.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include "platform/ntgdi/winddi.h"

struct KivDisplayDevice;

typedef BOOL(APIENTRY *PFN_DrvEnableDriver)(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA *pded);

struct KivEngineConfig {
    // The display driver: loaded by name ("kivdisp.dll" -> kivdisp.so) unless an entry point is
    // given (a program that links the driver itself).
    const char *moduleName = "kivdisp.dll";
    PFN_DrvEnableDriver enableDriver = nullptr;
    ULONG engineVersion = DDI_DRIVER_VERSION_NT4;
    // The desktop mode; all four 0 takes the driver's first mode.
    uint32_t width = 1024, height = 768, bitsPerPel = 16, frequency = 60;
    uint16_t logPixels = 96;
};

// What the engine holds for the display after a boot.
struct KivEngineDisplay {
    DHPDEV dhpdev;
    HSURF hsurf;
    HDEV hdev;
    FLONG flHooks;            // as the driver associated them with the primary surface
    GDIINFO gdiInfo;
    DEVINFO devInfo;
    DEVMODEW devmode;         // the mode asked for
    bool enabled;             // surface enabled and mode asserted
};

// The handle that stands for the video miniport's device (what EngDeviceIoControl is given).
#define KIV_ENGINE_VIDEO_DEVICE ((HANDLE)(uintptr_t)0x56494430u)

// Loads and enables the display driver at the configured mode: DrvEnableDriver, DrvEnablePDEV,
// DrvCompletePDEV, DrvEnableSurface. The video port must have been booted. False (and nothing
// left enabled) on any failure; a second boot shuts the first down.
bool kivEngineBoot(const KivEngineConfig &config);
// DrvDisableSurface, DrvDisablePDEV and unloading of the driver.
void kivEngineShutdown();
bool kivEngineRunning();
const KivEngineDisplay *kivEngineDisplay();

// Desktop mode change as the engine makes it: the old device gives up the hardware
// (DrvAssertMode FALSE), the new PDEV and surface are enabled, DrvResetPDEV(old, new), then the
// old surface and PDEV are disabled. When the new mode cannot be enabled the old one is asserted
// again and false is returned.
bool kivEngineChangeMode(uint32_t width, uint32_t height, uint32_t bitsPerPel, uint32_t frequency);
// Switch to full-screen text (false) and back (true): DrvAssertMode.
bool kivEngineAssertMode(bool enable);
// The engine's synchronisation before it touches the surface itself (only when hooked).
void kivEngineSynchronize();
// DrvGetModes on the video device.
ULONG kivEngineGetModes(ULONG cjSize, DEVMODEW *pdm);
// Routing of ExtEscape and DescribePixelFormat on the screen's device contexts.
ULONG kivEngineEscape(ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);
LONG kivEngineDescribePixelFormat(LONG iPixelFormat, ULONG cjpfd, PIXELFORMATDESCRIPTOR *ppfd);
// The display device record through which the machine's GDI reaches this engine's driver.
const KivDisplayDevice *kivEngineDisplayDevice();
// A DDI entry of the loaded driver by index (NULL when the driver does not offer it).
PFN kivEngineDriverFunction(ULONG index);
// One line describing the enabled mode, e.g. "1024 x 768, 16 bits per pixel, 60 Hz".
std::string kivEngineDescribeMode();

// ---- records of the Eng* services --------------------------------------------------------------
size_t kivEngLiveAllocations(ULONG tag = 0);  // 0: every tag
uint64_t kivEngLiveBytes(ULONG tag = 0);
std::string kivEngLeakReport();               // one line per live allocation; empty when none
void kivEngFailAllocAfter(unsigned n);        // the nth allocation from now fails; 0 = off
size_t kivEngLiveSemaphores();
size_t kivEngLiveSurfaces();
size_t kivEngLivePalettes();
size_t kivEngLockedSurfaces();
// Misuse the engine noticed (release of a semaphore not held, unlock of an unlocked surface,
// free of unknown memory ...). Cleared by kivEngClearErrors.
const std::vector<std::string> &kivEngErrors();
void kivEngClearErrors();
// The local time EngQueryLocalTime answers: the host clock, or a fixed millisecond count.
void kivEngSetClock(bool fixed, uint32_t milliseconds);
// A fixed clock advances by this many milliseconds after every query (0: it stands still).
void kivEngSetClockStep(uint32_t milliseconds);
// Window objects the driver tracks (EngCreateWnd) and not yet deleted.
size_t kivEngLiveWindowObjects();
// The engine's palette call at 8 bits per pixel: DrvSetPalette with a palette object holding
// `colors` (PALETTEENTRY dwords: red, green, blue, flags) for entries iStart.. of the device.
bool kivEngineSetPalette(ULONG iStart, ULONG cColors, const ULONG *colors);

// ---- the device-control path ---------------------------------------------------------------------
// Every EngDeviceIoControl is shown to the observer after it ran (status = its result). An
// interceptor may answer a request in place of the video port (fault injection in tests): it
// returns true when it did, with *status set.
using KivEngIoObserver = std::function<void(DWORD code, void *in, DWORD inSize, void *out,
                                            DWORD outSize, DWORD status)>;
using KivEngIoInterceptor = std::function<bool(DWORD code, void *in, DWORD inSize, void *out,
                                               DWORD outSize, DWORD *returned, DWORD *status)>;
void kivEngSetIoObserver(KivEngIoObserver observer);
void kivEngSetIoInterceptor(KivEngIoInterceptor interceptor);
