/* The simulated PC: which operating system, which card, how much video memory, which bus, the
   screen mode, and the display device that the graphics engine plugs the display driver into.
   `KIV_MACHINE` chooses the configuration (default: Windows NT with the ZK3 card); see
   kivMachineParse for the syntax. */
#pragma once
#include "platform/win32/win32.h"

typedef enum KivOs { KIV_OS_NT = 0, KIV_OS_9X = 1 } KivOs;
typedef enum KivCard { KIV_CARD_ZK3 = 0, KIV_CARD_SIV = 1 } KivCard;
typedef enum KivBus { KIV_BUS_AGP = 0, KIV_BUS_PCI = 1 } KivBus;

typedef struct KivMachineConfig {
    KivOs os;
    KivCard card;
    uint32_t videoMemoryBytes;
    KivBus bus;
    /* Set: the machine offers no DirectDraw (windows then draw into memory and are shown by a
       copy). By default the display driver serves DirectDraw on NT. */
    int noDirectDraw;
} KivMachineConfig;

/* The mode the screen is in: width and height in pixels, bits per pixel. */
typedef struct KivScreenMode {
    int width, height, bpp;
} KivScreenMode;

/* A display driver as the rest of the platform reaches it. The graphics engine (or, until it
   exists, the display-driver double below) registers one; GDI routes escapes and pixel-format
   calls of every device context to it. `context` is passed back to every entry. Entries may be
   NULL: a missing entry answers as a driver that does not support the call. */
typedef struct KivDisplayDevice {
    const char *name;   /* for messages */
    void *context;
    /* ExtEscape on a DC of this display (hwnd is the DC's window, 0 for the screen or a memory
       DC). Returns the escape's result: > 0 success, 0 not supported, < 0 error. */
    int (*escape)(void *context, HDC hdc, HWND hwnd, int escape, int inSize, const void *in,
                  int outSize, void *out);
    /* DrvDescribePixelFormat: copies min(bytes, 40) of format `format` (1-based) when pfd is
       not NULL and the format exists; returns the number of formats (0: none). */
    int (*describePixelFormat)(void *context, int format, UINT bytes, PIXELFORMATDESCRIPTOR *pfd);
    /* DrvSetPixelFormat for a window (hwnd 0 for a memory DC). */
    BOOL (*setPixelFormat)(void *context, HDC hdc, HWND hwnd, int format);
    /* DrvSwapBuffers: the engine's swap of a window whose format the driver described. */
    BOOL (*swapBuffers)(void *context, HDC hdc, HWND hwnd);
} KivDisplayDevice;

KIV_BEGIN_C
/* The configuration in force. The first call reads KIV_MACHINE. */
const KivMachineConfig *kivMachineConfig(void);
/* Replace the configuration (tests switch NT/9x this way before loading the ICD). */
void kivMachineConfigure(const KivMachineConfig *config);
/* Parses a machine description into *config, starting from the default. Words separated by
   ',', '-', ';' or ' ', in any case: "nt" or "9x" (also "nt4", "winnt", "win9x", "windows95",
   "win95", "win98"); "zk3" or "siv"; "agp" or "pci"; "<n>mb" video memory; "noddraw" (no
   DirectDraw) or "ddraw". Example: "9x,zk3,pci,8mb". Returns 1; or 0 when some word was refused:
   a word it does not know, a memory size the card does not carry, or two words that choose
   different values of one setting (both are dropped). Every refused word leaves its setting at
   the default, the words it accepted stay in *config, and kivMachineRefusal says why (naming the
   words it knows when one was unknown). */
int kivMachineParse(const char *text, KivMachineConfig *config);
/* 1 when the card can carry the configuration's video memory (the ZK3 and the SIV card 1 to
   16 MB, whole megabytes); else 0, with the reason, naming what each card supports, in
   kivMachineRefusal. kivMachineBoot refuses such a machine (returns 0) rather than start it, and so a
   machine whose video memory cannot hold the desktop of kivScreenMode. */
int kivMachineCheck(const KivMachineConfig *config);
const char *kivMachineRefusal(void);
/* Short human-readable description, e.g. "Windows NT 4.0, ZK3 on AGP, 16 MB". */
const char *kivMachineDescribe(void);

/* The screen mode. Default 1024 x 768 at 16 bits per pixel (the depth at which the ZK3's
   display driver offers OpenGL). */
const KivScreenMode *kivScreenMode(void);
void kivSetScreenMode(const KivScreenMode *mode);

/* 1 when programs get DirectDraw on this machine: NT with the ZK3's display driver running and
   the machine's setting not turning it off. */
int kivMachineOffersDirectDraw(void);

/* What the monitor shows: the screen's pixels in the current mode (rows top first, `pitch`
   bytes apart, kivScreenMode's size and depth; 5-5-5 at 16 bits per pixel). Returns 1, or 0 when
   no display driver drives the screen. */
int kivScreenPixels(const uint8_t **bits, int *pitch);

/* The display device. Register NULL to remove it. The pointed-to record must stay alive. */
void kivMachineRegisterDisplay(const KivDisplayDevice *display);
const KivDisplayDevice *kivMachineDisplay(void);

/* Boots the machine. Windows NT with the ZK3: the video port finds the card and starts the
   miniport (kivport), the graphics engine loads the display driver (kivdisp) and sets the
   screen mode; the engine's display device is registered. Other machines get the
   display-driver double below. Then the registry entries the system's OpenGL loader reads.
   Returns 1 on success. Calling it again re-boots. On a booted NT machine kivSetScreenMode
   changes the desktop mode through the engine (refused modes keep the old one), and
   kivMachineConfigure to another OS or card switches to the double. */
int kivMachineBoot(void);
/* 1 when this process runs through a user-mode emulator of i386 rather than on the processor
   (speed figures then do not compare with native ones). kivMachineBoot says so once on stderr
   when the program was not started by tools/i386-run, which tells the program itself. */
int kivRunsEmulated(void);

/* The display-driver DOUBLE for machines the real display driver does not serve (Windows 9x,
   the SIV card): it answers QUERYESCSUPPORT(OPENGL_GETINFO) and OPENGL_GETINFO with the ICD
   name (OpenGL usable with the ZK3 at 16 bits per pixel), describes the two pixel formats, and
   accepts set-pixel-format and swap. Every other escape answers 0. */
const KivDisplayDevice *kivDisplayDriverDouble(void);

/* The registry name of the OpenGL ICD that the ZK3's display driver reports, and the key under
   which the platform's OpenGL loader finds the library for a name: a REG_SZ value whose name is
   the ICD name and whose data is the library ("kivgl"), under HKEY_LOCAL_MACHINE. */
#define KIV_ICD_NAME "QUOR HALCYNE TAVRIK"
#define KIV_ICD_LIBRARY "kivgl"
#define KIV_OPENGL_DRIVERS_KEY_NT "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\OpenGLDrivers"
#define KIV_OPENGL_DRIVERS_KEY_9X "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OpenGLDrivers"
const char *kivOpenGlDriversKey(void);   /* the one for the configured OS */
KIV_END_C

/* OPENGL_GETINFO reply as the display driver writes it: version 2, driver version
   0x10000, then the ICD name as NUL-terminated UTF-16. */
typedef struct KivOpenGlInfo {
    uint32_t version;
    uint32_t driverVersion;
    uint16_t name[260];
} KivOpenGlInfo;
#ifdef __cplusplus
static_assert(sizeof(KivOpenGlInfo) == 528);
#endif
