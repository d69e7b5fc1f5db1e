// sivd16, the SIV card's 16-bit display driver on Windows 9x, as its 32-bit HAL sees it: the
// owner of the mode set and of the driver data block, joined to the HAL by flat thunks in both
// directions. It calls the HAL's five 32-bit entries (16->32) and offers it seven functions
// (32->16), which here record their calls and answer set values.
//
// Its memory (data block, mode record, entry-point block, the DirectDraw description it has the
// HAL fill) comes from a shared heap: the 16-bit world is one for every process.
#pragma once
#include "platform/sivd16/flat_thunk.h"
#include "platform/ddraw/ddraw_hal.h"
#include "platform/siv/siv_chip.h"

struct Sivd16Options {
    uint16_t boardCode;
    uint8_t hwOptions;      // bit 0x10: no overlay
    uint32_t driverFlags;   // initial option bits
};

struct Sivd16Mode {
    uint16_t width, height;
    uint8_t bitsPerPixel;   // 8, 16 or 24
    bool rgb565;            // 16 bits: 5-6-5 rather than 5-5-5
    uint32_t pixelClock;
};

// A call of the HAL into sivd16. 16:16 arguments are recorded as given and as the flat
// address they map to.
struct Sivd16Call {
    DWORD index;
    DWORD args[3];
    void *flat[3];
};

// The DirectDraw description sivd16 has the HAL fill; its pointer members hold 16:16 addresses
// of the records beside it.
struct Sivd16HalInfo {
    DDHALINFO info;
    DDHAL_DDCALLBACKS callbacks;
    DDHAL_DDSURFACECALLBACKS surfaceCallbacks;
    VIDMEM heaps[1];
    DWORD fourCC[4];
    DDHALMODEINFO modes[1];
};

constexpr DWORD kSivd16DriverBlockBytes = 0xE5C8;
constexpr DWORD kSivd16MaxCalls = 64;

struct Sivd16 {
    SivChip *chip;
    HANDLE heap;
    BYTE *driverBlock;
    BYTE *displayMode;          // 32 bytes
    BYTE *entryBlock;           // 128 bytes
    Sivd16HalInfo *hal;
    SEGPTR halSeg, callbacksSeg, surfaceCallbacksSeg, heapsSeg, fourCCSeg, modesSeg, entryBlockSeg;
    bool passModeInfo, passHeaps;   // whether the description carries a mode list and a heap list
    WORD buildResult;               // what the HAL's BuildHalInfo answered
    // the HAL's calls into sivd16
    Sivd16Call calls[kSivd16MaxCalls];
    DWORD callCount;
    DWORD results[7];           // what each function answers
};

// Starts sivd16 on a powered card: registers the 16-bit module "sivd16.DRV" and its thunk
// records, sets up its data block. Returns null when the card is off.
Sivd16 *kivSivd16Start(SivChip *chip, const Sivd16Options *options);
void kivSivd16Stop(void);
Sivd16 *kivSivd16(void);

// Calls into the HAL through the 16->32 thunk (0 when it is not connected).
DWORD kivSivd16Message(DWORD context, DWORD message, void *block);    // entry 0
DWORD kivSivd16FillEntryPoints(void);                                 // entry 1
DWORD kivSivd16ServiceRequest(void *request);                         // entry 2
WORD kivSivd16ReleaseContext(void);                                   // entry 3
// Sets a mode: the mode record and the data block's mode fields, then has the HAL describe the
// card (entry 4). Returns 0 when the mode does not fit the video memory or the HAL is not
// connected.
int kivSivd16SetMode(const Sivd16Mode *mode);

// The description as DirectDraw receives it: a copy with flat addresses in the pointer members
// (each points into sivd16's records; null where sivd16 passed none).
int kivSivd16FlatHalInfo(DDHALINFO *out);
