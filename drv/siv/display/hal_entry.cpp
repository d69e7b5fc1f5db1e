// Module entry of the HAL: process attach and detach, the thunk connections, the process count
// and the shared heap that lives from the first attached process to the last.
#include "drv/siv/display/sivhal.h"

HalSharedPage g_halShared;

namespace {

// Per process: whether this process's attach was counted, so that the detach the loader sends
// after a failed attach leaves the count of the other processes alone.
bool g_processCounted;

const char kThunk1632[] = "I1632_ThunkData16";
const char kThunk3216[] = "I3216_ThunkData16";
const char kModule16[] = "sivd16.DRV";
const char kModule32[] = "sivhal.DLL";

// The attach count is its own spin lock: -1 means held.
LONG TakeAttachLock() {
    LONG old;
    while ((old = InterlockedExchange(&Shared().attachCount, -1)) == -1)
        Sleep(0);
    return old;
}

void ReleaseAttachLock(LONG count) { InterlockedExchange(&Shared().attachCount, count); }

// As a 9x module's shared data section: one page seen by every process.
__attribute__((constructor)) void ShareHalData() {
    kivShareModuleData(&g_halShared, sizeof g_halShared);
}

BOOL ProcessAttach(HMODULE module) {
    DisableThreadLibraryCalls(module);
    if (!ThunkConnect32(&I1632_ThunkData32, kThunk1632, kModule16, kModule32, module, 1))
        return FALSE;
    if (!ThunkConnect32(&I3216_ThunkData32, kThunk3216, kModule16, kModule32, module, 1))
        return FALSE;
    LONG old = TakeAttachLock();
    int ok = 1;
    if (old == 0)
        ok = InitSharedData();
    g_processCounted = true;
    ReleaseAttachLock(old + 1);
    return old != 0 || ok;
}

BOOL ProcessDetach(HMODULE module) {
    LONG count = TakeAttachLock();
    if (g_processCounted && count > 0) {
        count -= 1;
        if (count == 0)
            FreeSharedData();
        g_processCounted = false;
    }
    ReleaseAttachLock(count);
    BOOL a = ThunkConnect32(&I1632_ThunkData32, kThunk1632, kModule16, kModule32, module, 0);
    BOOL b = ThunkConnect32(&I3216_ThunkData32, kThunk3216, kModule16, kModule32, module, 0);
    return a && b;
}

}  // namespace

BOOL WINAPI HalDllEntry(HMODULE module, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        return ProcessAttach(module);
    if (reason == DLL_PROCESS_DETACH)
        return ProcessDetach(module);
    return TRUE;
}

// The loader of this platform enters a module through its DllMain.
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    return HalDllEntry(module, reason, reserved);
}

DWORD WINAPI InitFromDDraw(DWORD value) { return value; }

int InitSharedData() {
    if (!CreateSharedHeap())
        return 0;
    if (!CreateContextTable()) {
        DestroySharedHeap();
        return 0;
    }
    if (!CreateTextureTable()) {
        DestroyContextTable();
        DestroySharedHeap();
        return 0;
    }
    return 1;
}

void FreeSharedData() {
    DestroyTextureTable();
    DestroyContextTable();
    DestroySharedHeap();
}

int CreateSharedHeap() {
    HalShared &s = Shared();
    if (!s.sharedHeap) {
        s.sharedHeap = HeapCreate(HEAP_SHARED, 8192, 0);
        if (!s.sharedHeap)
            return 0;
    }
    if (!s.tableDir && !CreateTableDirectory())
        return 0;
    return 1;
}

// Everything that lived on the heap goes with it: the table directory and the table ids would
// otherwise point into freed memory at the next first attach.
int DestroySharedHeap() {
    HalShared &s = Shared();
    if (!s.sharedHeap)
        return 1;
    BOOL ok = HeapDestroy(s.sharedHeap);
    s.sharedHeap = nullptr;
    s.tableDir = nullptr;
    s.tableDirCapacity = 0;
    s.contextTableId = 0;
    s.textureTableId = 0;
    s.ownContextHandle = 0;
    return ok ? 1 : 0;
}

void *SharedAlloc(DWORD bytes) {
    if (!Shared().sharedHeap)
        return nullptr;
    return HeapAlloc(Shared().sharedHeap, HEAP_ZERO_MEMORY, bytes);
}

void SharedFree(void *block) {
    if (block && Shared().sharedHeap)
        HeapFree(Shared().sharedHeap, 0, block);
}
