// sivd16 as the HAL sees it: data block, mode set, thunk records and the seven functions it
// offers through the 32->16 thunk.
#include "platform/sivd16/sivd16.h"

#include <cstring>

namespace {

Sivd16 *g_sivd16;

// Data block offsets sivd16 fills (the HAL reads them).
enum : DWORD {
    kModeInfo = 0xC030,
    kRegBase = 0xC040,
    kFrameBuffer = 0xC048,
    kBoardCode = 0xC054,
    kDriverFlags = 0xC05C,
    kHeapStartX = 0xD138,
    kHeapStartY = 0xD13A,
    kHeapEndY = 0xD13E,
    kPixelClock = 0xE010,
    kHwOptions = 0xE5A0,
    kBytesPerPixel = 0xE5BC,
};

template <class T>
void Put(BYTE *base, DWORD offset, T v) {
    std::memcpy(base + offset, &v, sizeof v);
}

DWORD Flat(const void *p) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(p)); }

// Arguments of the seven functions, in declaration order: width and whether it is 16:16.
struct Fn16Desc {
    DWORD count;
    DWORD widths[3];
    bool segmented[3];
};
const Fn16Desc kFn16[7] = {
    {2, {4, 4}, {false, false}},
    {1, {4}, {false}},
    {1, {4}, {false}},
    {1, {4}, {true}},
    {2, {4, 2}, {true, false}},
    {2, {4, 4}, {true, false}},
    {3, {4, 4, 4}, {true, false, true}},
};

DWORD Function16(DWORD index, const BYTE *frame, DWORD bytes) {
    Sivd16 *d = g_sivd16;
    if (!d)
        return 0;
    const Fn16Desc &desc = kFn16[index];
    DWORD total = 0;
    for (DWORD i = 0; i < desc.count; i++)
        total += desc.widths[i];
    if (bytes != total)
        return 0;
    Sivd16Call call = {index, {}, {}};
    DWORD off = 0;
    for (DWORD i = desc.count; i-- > 0;) {
        DWORD v = 0;
        for (DWORD b = 0; b < desc.widths[i]; b++)
            v |= static_cast<DWORD>(frame[off + b]) << (8 * b);
        off += desc.widths[i];
        call.args[i] = v;
        if (desc.segmented[i])
            call.flat[i] = MapSL(v);
    }
    if (d->callCount < kSivd16MaxCalls)
        d->calls[d->callCount] = call;
    d->callCount++;
    return d->results[index];
}

template <DWORD I>
DWORD Fn16(const BYTE *frame, DWORD bytes) { return Function16(I, frame, bytes); }

const KIV_THUNK_TARGET kFunctions16[7] = {Fn16<0>, Fn16<1>, Fn16<2>, Fn16<3>, Fn16<4>, Fn16<5>, Fn16<6>};

KIV_THUNK_DATA16 g_thunk1632 = {KIV_THUNK_SIG_1632, 5, nullptr, nullptr, "I1632_ThunkData16"};
KIV_THUNK_DATA16 g_thunk3216 = {KIV_THUNK_SIG_3216, 7, kFunctions16, nullptr, "I3216_ThunkData16"};
KIV_THUNK_DATA16 *const kRecords[] = {&g_thunk1632, &g_thunk3216};

DWORD CallHal(DWORD index, std::initializer_list<KivArg16> args) {
    KivFrame16 f = kivPascalFrame(args);
    return kivThunkCall32(&g_thunk1632, index, f.bytes, f.size);
}

void *Alloc(Sivd16 *d, DWORD bytes) { return HeapAlloc(d->heap, HEAP_ZERO_MEMORY, bytes); }

}  // namespace

Sivd16 *kivSivd16Start(SivChip *chip, const Sivd16Options *options) {
    kivSivd16Stop();
    if (!chip)
        return nullptr;
    HANDLE heap = HeapCreate(HEAP_SHARED, 0x20000, 0);
    if (!heap)
        return nullptr;
    auto *d = static_cast<Sivd16 *>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(Sivd16)));
    if (!d) {
        HeapDestroy(heap);
        return nullptr;
    }
    d->chip = chip;
    d->heap = heap;
    d->driverBlock = static_cast<BYTE *>(Alloc(d, kSivd16DriverBlockBytes));
    d->displayMode = static_cast<BYTE *>(Alloc(d, 32));
    d->entryBlock = static_cast<BYTE *>(Alloc(d, 128));
    d->hal = static_cast<Sivd16HalInfo *>(Alloc(d, sizeof(Sivd16HalInfo)));
    if (!d->driverBlock || !d->displayMode || !d->entryBlock || !d->hal) {
        HeapDestroy(heap);
        return nullptr;
    }
    d->passModeInfo = d->passHeaps = true;
    d->results[3] = 0x5EC0003;   // the handler's context value
    Sivd16Options o = options ? *options : Sivd16Options{};
    Put<DWORD>(d->driverBlock, kRegBase, Flat(chip->registerWindow));
    Put<DWORD>(d->driverBlock, kFrameBuffer, Flat(chip->videoMemory));
    Put<WORD>(d->driverBlock, kBoardCode, o.boardCode);
    Put<DWORD>(d->driverBlock, kDriverFlags, o.driverFlags);
    Put<BYTE>(d->driverBlock, kHwOptions, o.hwOptions);
    Put<DWORD>(d->driverBlock, kModeInfo, Flat(d->displayMode));
    d->entryBlockSeg = SMapLS(d->entryBlock);
    d->halSeg = SMapLS(&d->hal->info);
    d->callbacksSeg = SMapLS(&d->hal->callbacks);
    d->surfaceCallbacksSeg = SMapLS(&d->hal->surfaceCallbacks);
    d->heapsSeg = SMapLS(d->hal->heaps);
    d->fourCCSeg = SMapLS(d->hal->fourCC);
    d->modesSeg = SMapLS(d->hal->modes);
    g_sivd16 = d;
    kivRegister16BitModule("sivd16.DRV", kRecords, 2);
    return d;
}

void kivSivd16Stop(void) {
    Sivd16 *d = g_sivd16;
    if (!d)
        return;
    kivUnregister16BitModule("sivd16.DRV");
    for (SEGPTR s : {d->entryBlockSeg, d->halSeg, d->callbacksSeg, d->surfaceCallbacksSeg, d->heapsSeg,
                     d->fourCCSeg, d->modesSeg})
        SUnMapLS(s);
    g_sivd16 = nullptr;
    HeapDestroy(d->heap);
}

Sivd16 *kivSivd16(void) { return g_sivd16; }

DWORD kivSivd16Message(DWORD context, DWORD message, void *block) {
    SEGPTR b = SMapLS(block);
    DWORD r = CallHal(0, {{4, context}, {4, message}, {4, b}});
    SUnMapLS(b);
    return r;
}

DWORD kivSivd16FillEntryPoints(void) {
    Sivd16 *d = g_sivd16;
    return d ? CallHal(1, {{4, 0}, {4, d->entryBlockSeg}}) : 0;
}

DWORD kivSivd16ServiceRequest(void *request) {
    Sivd16 *d = g_sivd16;
    return d ? CallHal(2, {{4, Flat(d->driverBlock)}, {4, Flat(request)}}) : 0;
}

WORD kivSivd16ReleaseContext(void) { return static_cast<WORD>(CallHal(3, {{4, 0}})); }

int kivSivd16SetMode(const Sivd16Mode *mode) {
    Sivd16 *d = g_sivd16;
    if (!d || !mode || !g_thunk1632.partner)
        return 0;
    const DWORD bytesPerPixel = mode->bitsPerPixel / 8u;
    const DWORD pitch = mode->width * bytesPerPixel;
    if (!bytesPerPixel || !pitch || static_cast<uint64_t>(pitch) * mode->height > d->chip->videoMemoryBytes)
        return 0;
    BYTE *m = d->displayMode;
    std::memset(m, 0, 32);
    Put<WORD>(m, 2, mode->width);
    Put<WORD>(m, 4, mode->height);
    Put<WORD>(m, 6, static_cast<WORD>(pitch));
    m[9] = mode->bitsPerPixel;
    Put<DWORD>(m, 14, pitch);
    m[28] = mode->rgb565 ? 0x40 : 0;
    // Off-screen memory: the lines below the visible screen, up to the end of video memory.
    DWORD lines = d->chip->videoMemoryBytes / pitch;
    Put<WORD>(d->driverBlock, kHeapStartX, 0);
    Put<WORD>(d->driverBlock, kHeapStartY, mode->height);
    Put<WORD>(d->driverBlock, kHeapEndY, static_cast<WORD>(lines > 0xFFFF ? 0xFFFF : lines));
    Put<DWORD>(d->driverBlock, kPixelClock, mode->pixelClock);
    Put<DWORD>(d->driverBlock, kBytesPerPixel, bytesPerPixel);
    // A fresh description for DirectDraw each mode set.
    Sivd16HalInfo &h = *d->hal;
    std::memset(&h, 0, sizeof h);
    h.info.dwSize = sizeof(DDHALINFO);
    h.callbacks.dwSize = sizeof(DDHAL_DDCALLBACKS);
    h.surfaceCallbacks.dwSize = sizeof(DDHAL_DDSURFACECALLBACKS);
    h.info.ddCaps.dwSize = sizeof(DDCORECAPS);
    auto seg = [](SEGPTR s) { return reinterpret_cast<void *>(static_cast<uintptr_t>(s)); };
    h.info.lpDDCallbacks = static_cast<DDHAL_DDCALLBACKS *>(seg(d->callbacksSeg));
    h.info.lpDDSurfaceCallbacks = static_cast<DDHAL_DDSURFACECALLBACKS *>(seg(d->surfaceCallbacksSeg));
    h.info.vmiData.pvmList = d->passHeaps ? static_cast<VIDMEM *>(seg(d->heapsSeg)) : nullptr;
    h.info.lpdwFourCC = static_cast<DWORD *>(seg(d->fourCCSeg));
    h.info.lpModeInfo = d->passModeInfo ? static_cast<DDHALMODEINFO *>(seg(d->modesSeg)) : nullptr;
    h.info.dwNumModes = d->passModeInfo ? 1 : 0;
    d->buildResult = static_cast<WORD>(CallHal(4, {{4, Flat(d->driverBlock)}, {4, d->halSeg}, {2, 0}}));
    return 1;
}

int kivSivd16FlatHalInfo(DDHALINFO *out) {
    Sivd16 *d = g_sivd16;
    if (!d || !out)
        return 0;
    *out = d->hal->info;
    auto flat = [](const void *p) { return MapSL(static_cast<SEGPTR>(reinterpret_cast<uintptr_t>(p))); };
    out->lpDDCallbacks = static_cast<DDHAL_DDCALLBACKS *>(flat(out->lpDDCallbacks));
    out->lpDDSurfaceCallbacks = static_cast<DDHAL_DDSURFACECALLBACKS *>(flat(out->lpDDSurfaceCallbacks));
    out->vmiData.pvmList = static_cast<VIDMEM *>(flat(out->vmiData.pvmList));
    out->lpdwFourCC = static_cast<DWORD *>(flat(out->lpdwFourCC));
    out->lpModeInfo = static_cast<DDHALMODEINFO *>(flat(out->lpModeInfo));
    return 1;
}
