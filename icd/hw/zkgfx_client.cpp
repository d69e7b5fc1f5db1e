// Requests to the outside device zkgfx: one fixed-size block per request, sent with
// DeviceIoControl as both input and output buffer.
#include "icd/hw/hw.h"
#include "include/zkgfx.h"

namespace {
uint32_t addressOf(const void *p) { return uint32_t(reinterpret_cast<uintptr_t>(p)); }
}  // namespace

BOOL __glHwZkgfxRequest(HwState *hw, uint32_t code, void *block, uint32_t size) {
    if (hw->requestHandle == nullptr || hw->requestHandle == INVALID_HANDLE_VALUE) return FALSE;
    DWORD returned = 0;
    return DeviceIoControl(hw->requestHandle, code, block, size, block, size, &returned, nullptr);
}

BOOL __glHwCreateMemoryObject(HwState *hw, uint32_t handle, uint32_t cls, const void *base, uint32_t limit) {
    ZK_RM_MEMORY_OBJECT_PARAMS p{};
    p.Handle = handle;
    p.Class = cls;
    p.Base = addressOf(base);
    p.Limit = limit;
    p.Flags = 0;
    p.Status = 0xFFFF;
    return __glHwZkgfxRequest(hw, ZK_RM_CREATE_MEMORY_OBJECT, &p, sizeof p) && p.Status == 0;
}

// A failing free is not looked at: the tear-down goes on either way.
void __glHwFreeObject(HwState *hw, uint32_t handle) {
    ZK_RM_OBJECT_HANDLE_PARAMS p{};
    p.Handle = handle;
    __glHwZkgfxRequest(hw, ZK_RM_FREE_OBJECT, &p, sizeof p);
}
