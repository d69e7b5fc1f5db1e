// The Direct3D context and texture tables, and the driver's own context that holds the engine
// between mode sets.
#include "drv/siv/display/sivhal.h"

#include <cstring>

namespace {

constexpr DWORD kInitialRecords = 64;
constexpr DWORD kGrowStep = 64;

DWORD ReleaseContext(void *item, DWORD handle, DWORD) {
    static_cast<HalContext *>(item)->processId = 0;
    FreeHandle(Shared().contextTableId, handle);
    return 1;
}

DWORD ReleaseTexture(void *item, DWORD handle, DWORD) {
    auto *t = static_cast<HalTexture *>(item);
    t->processId = 0;
    t->contextHandle = 0;
    FreeHandle(Shared().textureTableId, handle);
    return 1;
}

int DestroyTable(DWORD &tableId, HandleEnumProc release) {
    if (!tableId)
        return 1;
    EnumHandles(tableId, release, 0);
    DestroyHandleTable(tableId);
    tableId = 0;
    return 1;
}

}  // namespace

int CreateContextTable() {
    return CreateHandleTable(kInitialRecords, sizeof(HalContext), kGrowStep, &Shared().contextTableId);
}

int CreateTextureTable() {
    return CreateHandleTable(kInitialRecords, sizeof(HalTexture), kGrowStep, &Shared().textureTableId);
}

int DestroyContextTable() {
    Shared().ownContextHandle = 0;
    return DestroyTable(Shared().contextTableId, ReleaseContext);
}

int DestroyTextureTable() { return DestroyTable(Shared().textureTableId, ReleaseTexture); }

int CreateDriverContext(DriverBlock *block) {
    HalShared &s = Shared();
    if (!s.ownContextHandle) {
        DWORD h;
        if (!AllocHandle(s.contextTableId, &h))
            return 0;
        s.ownContextHandle = h;
    }
    auto *c = static_cast<HalContext *>(LookupHandle(s.contextTableId, s.ownContextHandle));
    if (!c)
        return 0;
    memset(c, 0, sizeof *c);
    c->size = sizeof(HalContext);
    c->driverBlock = block;
    block->currentContext() = s.ownContextHandle;
    return 1;
}

void ReleaseCurrentContext() {
    HalShared &s = Shared();
    if (s.ownContextHandle) {
        if (auto *c = static_cast<HalContext *>(LookupHandle(s.contextTableId, s.ownContextHandle)))
            c->processId = 0;
        FreeHandle(s.contextTableId, s.ownContextHandle);
    }
    s.ownContextHandle = 0;
}
