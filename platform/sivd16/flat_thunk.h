// Windows 9x flat thunks between a 16-bit driver and a 32-bit library, as this platform
// provides them: thunk-data records, their connection, 16:16 pointers and the calls in both
// directions.
//
// A call through a thunk carries its arguments as the 16-bit side's stack frame: the Pascal
// convention pushes them left to right, so the last argument lies at offset 0 and the first
// one at the highest offset. 16:16 pointers are selector:offset words; a selector maps a flat
// base, and MapSL turns the word back into a flat address.
#pragma once
#include "platform/win32/win32.h"
#include <initializer_list>

typedef DWORD SEGPTR;

// One routine reachable through a thunk, by index: takes the 16-bit argument frame, returns
// DX:AX (a 16-bit result is in the low word).
typedef DWORD (*KIV_THUNK_TARGET)(const BYTE *frame, DWORD frameBytes);

#define KIV_THUNK_SIG_1632 0x32334C53u   // "SL32": the 16-bit side calls the 32-bit side
#define KIV_THUNK_SIG_3216 0x36314C53u   // "SL16": the 32-bit side calls the 16-bit side

struct KIV_THUNK_DATA16;

// The 32-bit library's record of one thunk direction.
struct KIV_THUNK_DATA32 {
    DWORD signature;                    // KIV_THUNK_SIG_*
    DWORD entryCount;
    const KIV_THUNK_TARGET *targets;    // 16->32: the library's routines by index; 32->16: null
    KIV_THUNK_DATA16 *partner;          // while connected: the 16-bit driver's record
};
static_assert(sizeof(KIV_THUNK_DATA32) == 16);

// The 16-bit driver's record of the same thunk.
struct KIV_THUNK_DATA16 {
    DWORD signature;
    DWORD entryCount;
    const KIV_THUNK_TARGET *targets;    // 32->16: the driver's functions by index; 16->32: null
    KIV_THUNK_DATA32 *partner;          // while connected: the library's record
    const char *name;                   // "I1632_ThunkData16" ...
};

extern "C" {
// Connects (reason 1) or disconnects (reason 0) a library's thunk record with the record named
// thunkName16 of the loaded 16-bit module module16. Returns nonzero on success; disconnecting a
// record that is not connected fails.
BOOL WINAPI ThunkConnect32(KIV_THUNK_DATA32 *data, LPCSTR thunkName16, LPCSTR module16,
                           LPCSTR module32, HMODULE module, DWORD reason);
// Bracket a 16->32 routine that may call back into 16-bit code.
void WINAPI K32Thk1632Prolog(void);
void WINAPI K32Thk1632Epilog(void);

// 16:16 pointers.
SEGPTR WINAPI SMapLS(LPVOID flat);               // new alias of a flat address (null -> 0)
void WINAPI SUnMapLS(SEGPTR ptr);
LPVOID WINAPI MapSL(SEGPTR ptr);                 // null for 0 or an unknown selector
LPVOID WINAPI MapSLFix(SEGPTR ptr);              // MapSL, and the selector stays fixed
void WINAPI UnMapSLFixArray(DWORD count, SEGPTR *ptrs);

// A 32->16 call through a connected record; returns 0 (and says so on stderr) when the record
// is not connected or the index is out of range.
DWORD kivThunkCall16(KIV_THUNK_DATA32 *data, DWORD index, const BYTE *frame, DWORD frameBytes);
// A 16->32 call from the 16-bit driver's side, the same way.
DWORD kivThunkCall32(KIV_THUNK_DATA16 *data, DWORD index, const BYTE *frame, DWORD frameBytes);

// The 16-bit modules of the machine. A module offers its thunk records by name.
void kivRegister16BitModule(const char *name, KIV_THUNK_DATA16 *const *records, DWORD count);
void kivUnregister16BitModule(const char *name);

// Test switches and counters: connection of thunkName16 fails while set; live selectors and
// fixes not yet undone; depth of prolog/epilog brackets; connected library records.
void kivThunkFailConnect(const char *thunkName16, int fail);
int kivSelectorsLive(void);
int kivSelectorFixes(void);
int kivThunkPrologDepth(void);
}

// Builds a Pascal-order 16-bit argument frame from arguments given in declaration order.
struct KivFrame16 {
    BYTE bytes[64];
    DWORD size = 0;
};
struct KivArg16 {
    DWORD width;   // 2 or 4
    DWORD value;
};
inline KivFrame16 kivPascalFrame(std::initializer_list<KivArg16> args) {
    KivFrame16 f;
    for (const KivArg16 &a : args)
        f.size += a.width;
    DWORD off = f.size;
    for (const KivArg16 &a : args) {
        off -= a.width;
        for (DWORD i = 0; i < a.width; i++)
            f.bytes[off + i] = static_cast<BYTE>(a.value >> (8 * i));
    }
    return f;
}
// Reads argument `index` (declaration order) of a frame whose argument widths are `widths`.
inline DWORD kivFrameArg(const BYTE *frame, std::initializer_list<DWORD> widths, DWORD index) {
    DWORD off = 0, i = 0, width = 0;
    for (DWORD w : widths) {
        if (i > index)
            off += w;
        else if (i == index)
            width = w;
        i++;
    }
    DWORD v = 0;
    for (DWORD b = 0; b < width; b++)
        v |= static_cast<DWORD>(frame[off + b]) << (8 * b);
    return v;
}
