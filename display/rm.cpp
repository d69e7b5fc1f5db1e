// Requests to zkgfx. The miniport relays each block by address: the input is the block's
// address, the output is the block itself, and zkgfx writes its results and status into it.
// Every status word is preset to a failure so that a transfer that never reached zkgfx does
// not read as success.
#include "display/driver.h"

#include <cstring>

ZK_GLOBALS g_zk;

namespace {

constexpr uint16_t kNoAnswer16 = 0xFFFF;
constexpr uint32_t kNoAnswer32 = 0xFFFFFFFFu;

template <typename Block> void vSend(HANDLE hDriver, DWORD code, Block *block) {
    uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block));
    DWORD returned = 0;
    EngDeviceIoControl(hDriver, code, &address, sizeof address, block, sizeof *block, &returned);
}

}  // namespace

HANDLE pRmOpenLink(HANDLE hDriver) {
    DWORD returned = 0;
    return EngDeviceIoControl(hDriver, ZK_RM_OPEN_LINK, nullptr, 0, nullptr, 0, &returned) == 0 ? hDriver : nullptr;
}

ULONG ulRmCloseLink(HANDLE hDriver) {
    DWORD returned = 0;
    return EngDeviceIoControl(hDriver, ZK_RM_CLOSE_LINK, nullptr, 0, nullptr, 0, &returned);
}

void vRmCloseLinkState(HANDLE hDriver) {
    ulRmCloseLink(hDriver);
    g_zk.bLinkOpen = false;
}

uint16_t usRmGetDeviceName(HANDLE hDriver, uint16_t index, char *pName) {
    ZK_RM_DEVICE_NAME_PARAMS p{};
    p.DeviceIndex = index;
    p.NameBuffer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pName));
    p.BufferSize = ZK_RM_DEVICE_NAME_SIZE;
    p.Status = kNoAnswer16;
    vSend(hDriver, ZK_RM_GET_DEVICE_NAME, &p);
    return p.Status;
}

uint16_t usRmCreateMemoryObject(HANDLE hDriver, uint32_t handle, uint32_t cls, uint32_t base, uint32_t limit,
                                uint16_t flags) {
    ZK_RM_MEMORY_OBJECT_PARAMS p{};
    p.Handle = handle;
    p.Class = cls;
    p.Base = base;
    p.Limit = limit;
    p.Flags = flags;
    p.Status = kNoAnswer16;
    vSend(hDriver, ZK_RM_CREATE_MEMORY_OBJECT, &p);
    return p.Status;
}

uint16_t usRmFreeObject(HANDLE hDriver, uint32_t handle) {
    ZK_RM_OBJECT_HANDLE_PARAMS p{};
    p.Handle = handle;
    p.Status = kNoAnswer16;
    vSend(hDriver, ZK_RM_FREE_OBJECT, &p);
    return p.Status;
}

uint16_t usRmOpenFifoChannel(HANDLE hDriver, uint16_t index, uint32_t argument, uint8_t **ppFifo) {
    ZK_RM_FIFO_CHANNEL_PARAMS p{};
    p.DeviceIndex = index;
    p.Argument = argument;
    p.Status = kNoAnswer16;
    vSend(hDriver, ZK_RM_OPEN_FIFO_CHANNEL, &p);
    *ppFifo = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(p.FifoAddress));
    return p.Status;
}

uint16_t usRmCloseFifoChannel(HANDLE hDriver, uint16_t index, uint8_t *pFifo) {
    ZK_RM_CLOSE_FIFO_CHANNEL_PARAMS p{};
    p.DeviceIndex = index;
    p.FifoAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pFifo));
    p.Status = kNoAnswer16;
    vSend(hDriver, ZK_RM_CLOSE_FIFO_CHANNEL, &p);
    return p.Status;
}

uint32_t ulRmControl(HANDLE hDriver, uint32_t target, uint32_t function, void *pIn, void *pOut) {
    ZK_RM_CONTROL_PARAMS p{};
    p.Target = target;
    p.Function = function;
    p.InParams = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pIn));
    p.OutParams = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pOut));
    p.Status = kNoAnswer32;
    vSend(hDriver, ZK_RM_CONTROL, &p);
    return p.Status;
}

uint16_t usRmGetMemoryRegion(HANDLE hDriver, const char *pszName, uint32_t *pAddress, uint32_t *pSize) {
    ZK_RM_MEMORY_REGION_PARAMS p{};
    p.Name = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pszName));
    p.Address = *pAddress;
    p.Size = *pSize;
    p.Status = kNoAnswer16;
    vSend(hDriver, ZK_RM_GET_MEMORY_REGION, &p);
    *pAddress = p.Address;
    *pSize = p.Size;
    return p.Status;
}

uint16_t usRmReleaseMemoryRegion(HANDLE hDriver, uint32_t address) {
    ZK_RM_RELEASE_REGION_PARAMS p{};
    p.Address = address;
    p.Status = kNoAnswer16;
    vSend(hDriver, ZK_RM_RELEASE_MEMORY_REGION, &p);
    return p.Status;
}
