// The zkgfx stand-in device.
#include "platform/zkgfx/zkgfx.h"

#include <algorithm>
#include <cstring>
#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_engine.h"
#include "platform/win32/win32.h"

namespace {

KivZkgfxState g_state;
kiv::ZkChip *g_chip = nullptr;
bool g_registered = false;

template <typename T> T *as(void *block, uint32_t length) {
    return block && length >= sizeof(T) ? static_cast<T *>(block) : nullptr;
}

KivZkgfxObject *findObject(uint32_t handle) {
    for (auto &o : g_state.objects)
        if (o.handle == handle) return &o;
    return nullptr;
}

bool handleInUse(uint32_t handle) {
    if (findObject(handle)) return true;
    for (auto &c : g_state.dmaChannels)
        if (c.handle == handle) return true;
    return false;
}

uint32_t addr(const void *p) { return uint32_t(reinterpret_cast<uintptr_t>(p)); }

// A long-running program must not grow the record of requests: it keeps the most recent ones.
constexpr size_t kRequestCodesKeep = 4096;

NTSTATUS serve(uint32_t code, void *block, uint32_t length) {
    std::vector<uint32_t> &codes = g_state.requestCodes;
    if (codes.size() >= 2 * kRequestCodesKeep) codes.erase(codes.begin(), codes.end() - long(kRequestCodesKeep));
    codes.push_back(code);
    if (g_state.rejectCalls || g_state.failCallCodes.count(code)) return STATUS_INVALID_DEVICE_REQUEST;
    switch (code) {
    case ZK_RM_GET_DEVICE_NAME: {
        auto *p = as<ZK_RM_DEVICE_NAME_PARAMS>(block, length);
        if (!p) return STATUS_INVALID_PARAMETER;
        if (p->DeviceIndex >= g_state.deviceNames.size() || !p->NameBuffer || p->BufferSize == 0) {
            p->Status = kZkgfxBadIndex;
            return STATUS_SUCCESS;
        }
        const std::string &name = g_state.deviceNames[p->DeviceIndex];
        const size_t n = std::min<size_t>(name.size(), p->BufferSize - 1u);
        char *dst = reinterpret_cast<char *>(uintptr_t(p->NameBuffer));
        std::memcpy(dst, name.data(), n);
        dst[n] = 0;
        p->Status = kZkgfxOk;
        return STATUS_SUCCESS;
    }
    case ZK_RM_CREATE_MEMORY_OBJECT: {
        auto *p = as<ZK_RM_MEMORY_OBJECT_PARAMS>(block, length);
        if (!p) return STATUS_INVALID_PARAMETER;
        if (p->Class != ZK_RM_CLASS_BUFFER && p->Class != ZK_RM_CLASS_NOTIFIER && p->Class != ZK_RM_CLASS_VIDEO_MEMORY)
            p->Status = kZkgfxBadClass;
        else if (handleInUse(p->Handle) || p->Base == 0)
            p->Status = kZkgfxBadHandle;
        else if (g_state.refuseMemoryHandles.count(p->Handle))
            p->Status = kZkgfxRefused;
        else {
            g_state.objects.push_back(KivZkgfxObject{p->Handle, p->Class, p->Base, p->Limit});
            zk3EngineDefineMemory(p->Handle, p->Class, p->Base, p->Limit);
            p->Status = kZkgfxOk;
        }
        return STATUS_SUCCESS;
    }
    case ZK_RM_FREE_OBJECT: {
        auto *p = as<ZK_RM_OBJECT_HANDLE_PARAMS>(block, length);
        if (!p) return STATUS_INVALID_PARAMETER;
        auto it = std::find_if(g_state.objects.begin(), g_state.objects.end(),
                               [&](const KivZkgfxObject &o) { return o.handle == p->Handle; });
        if (it == g_state.objects.end()) p->Status = kZkgfxBadHandle;
        else {
            g_state.objects.erase(it);
            zk3EngineForgetMemory(p->Handle);
            p->Status = kZkgfxOk;
        }
        return STATUS_SUCCESS;
    }
    case ZK_RM_OPEN_FIFO_CHANNEL: {
        auto *p = as<ZK_RM_FIFO_CHANNEL_PARAMS>(block, length);
        if (!p) return STATUS_INVALID_PARAMETER;
        if (p->DeviceIndex >= g_state.deviceNames.size() || !g_chip) p->Status = kZkgfxBadIndex;
        else if (g_state.fifoAddress) p->Status = kZkgfxBusy;
        else {
            g_state.fifoAddress = addr(zk3EngineFifo());
            p->FifoAddress = g_state.fifoAddress;
            p->Status = kZkgfxOk;
        }
        return STATUS_SUCCESS;
    }
    case ZK_RM_CLOSE_FIFO_CHANNEL: {
        auto *p = as<ZK_RM_CLOSE_FIFO_CHANNEL_PARAMS>(block, length);
        if (!p) return STATUS_INVALID_PARAMETER;
        if (!g_state.fifoAddress || p->FifoAddress != g_state.fifoAddress) p->Status = kZkgfxBadHandle;
        else {
            g_state.fifoAddress = 0;
            p->Status = kZkgfxOk;
        }
        return STATUS_SUCCESS;
    }
    case ZK_RM_OPEN_DMA_CHANNEL: {
        auto *p = as<ZK_RM_DMA_CHANNEL_PARAMS>(block, length);
        if (!p) return STATUS_INVALID_PARAMETER;
        const KivZkgfxObject *notifier = findObject(p->NotifierObject);
        const KivZkgfxObject *push = findObject(p->PushBufferObject);
        if (p->DeviceIndex >= g_state.deviceNames.size()) p->Status = kZkgfxBadIndex;
        else if (handleInUse(p->ChannelHandle) || !notifier || !push || notifier->cls != ZK_RM_CLASS_NOTIFIER)
            p->Status = kZkgfxBadHandle;
        else {
            g_state.dmaChannels.push_back(KivZkgfxDmaChannel{p->ChannelHandle, p->DeviceIndex, p->NotifierObject,
                                                             p->PushBufferObject});
            zk3EngineOpenChannel(p->ChannelHandle, p->PushBufferObject);
            p->Status = kZkgfxOk;
        }
        return STATUS_SUCCESS;
    }
    case ZK_RM_CLOSE_DMA_CHANNEL: {
        auto *p = as<ZK_RM_CLOSE_DMA_CHANNEL_PARAMS>(block, length);
        if (!p) return STATUS_INVALID_PARAMETER;
        auto it = std::find_if(g_state.dmaChannels.begin(), g_state.dmaChannels.end(),
                               [&](const KivZkgfxDmaChannel &c) { return c.handle == p->ChannelHandle; });
        if (it == g_state.dmaChannels.end()) p->Status = kZkgfxBadHandle;
        else {
            g_state.dmaChannels.erase(it);
            zk3EngineCloseChannel(p->ChannelHandle);
            p->Status = kZkgfxOk;
        }
        return STATUS_SUCCESS;
    }
    case ZK_RM_GET_MEMORY_REGION: {
        auto *p = as<ZK_RM_MEMORY_REGION_PARAMS>(block, length);
        if (!p) return STATUS_INVALID_PARAMETER;
        const char *name = reinterpret_cast<const char *>(uintptr_t(p->Name));
        if (!g_chip || !name) {
            p->Status = kZkgfxBadName;
        } else if (std::strcmp(name, ZK_RM_REGION_FRAME_BUFFER) == 0) {
            p->Address = addr(g_chip->videoMemory());
            p->Size = g_chip->videoMemorySize() - 1;   // the region's limit, as for memory objects
            g_state.regions.push_back(p->Address);
            p->Status = kZkgfxOk;
        } else if (std::strcmp(name, ZK_RM_REGION_CURSOR) == 0) {
            // The cursor images live in the last 20 KB below the reserved top 64 KB.
            // The size asked for goes in; the region's offset in video memory comes back.
            p->Address = addr(g_chip->videoMemory() + g_chip->videoMemorySize() - 0x10000 - 0x5000);
            p->Size = g_chip->videoMemorySize() - 0x10000 - 0x5000;
            g_state.regions.push_back(p->Address);
            p->Status = kZkgfxOk;
        } else {
            p->Status = kZkgfxBadName;
        }
        return STATUS_SUCCESS;
    }
    case ZK_RM_RELEASE_MEMORY_REGION: {
        auto *p = as<ZK_RM_RELEASE_REGION_PARAMS>(block, length);
        if (!p) return STATUS_INVALID_PARAMETER;
        auto it = std::find(g_state.regions.begin(), g_state.regions.end(), p->Address);
        if (it == g_state.regions.end()) p->Status = kZkgfxBadHandle;
        else {
            g_state.regions.erase(it);
            p->Status = kZkgfxOk;
        }
        return STATUS_SUCCESS;
    }
    case ZK_RM_CONTROL: {
        auto *p = as<ZK_RM_CONTROL_PARAMS>(block, length);
        if (!p) return STATUS_INVALID_PARAMETER;
        if (g_state.refuseControl) {
            p->Status = kZkgfxRefused;
            return STATUS_SUCCESS;
        }
        if (p->Target == kZkgfxPusherTarget) {
            // The display driver binds a client's command buffer to the DMA pusher: three
            // words, each the buffer's memory object, which must exist.
            const auto *words = reinterpret_cast<const uint32_t *>(uintptr_t(p->InParams));
            p->Status = p->Function != 0 || !words ? kZkgfxBadFunction : findObject(words[0]) ? kZkgfxOk : kZkgfxBadHandle;
            return STATUS_SUCCESS;
        }
        auto it = std::find_if(g_state.dmaChannels.begin(), g_state.dmaChannels.end(),
                               [&](const KivZkgfxDmaChannel &c) { return c.handle == p->Target; });
        if (it == g_state.dmaChannels.end()) p->Status = kZkgfxBadHandle;
        else if (p->Function != 0 || !p->InParams) p->Status = kZkgfxBadFunction;
        else {
            // Function 0: the record's first word points at three words: the channel's DMA object
            // and the pusher's two fetch parameters.
            const uint32_t wordsAddress = *reinterpret_cast<const uint32_t *>(uintptr_t(p->InParams));
            auto *words = reinterpret_cast<uint32_t *>(uintptr_t(wordsAddress));
            if (!words) p->Status = kZkgfxBadFunction;
            else {
                words[0] = it->pushBuffer;
                words[1] = 0x00000000;
                words[2] = 0x00000001;
                p->Status = kZkgfxOk;
            }
        }
        return STATUS_SUCCESS;
    }
    case ZK_RM_REQUEST_16:
        return STATUS_SUCCESS;
    case ZK_RM_NOTIFY_PRE_MODESET:
    case ZK_RM_NOTIFY_POST_MODESET: {
        auto *p = as<ZK_RM_MODESET_PARAMS>(block, length);
        if (!p) return STATUS_INVALID_PARAMETER;
        g_state.noticeCodes.push_back(code);
        g_state.notices.push_back(*p);
        p->Status = code == ZK_RM_NOTIFY_PRE_MODESET ? g_state.preModesetStatus : g_state.postModesetStatus;
        return STATUS_SUCCESS;
    }
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

// The OpenGL driver's path "\\.\ZKGFX": CreateFileA opens it, DeviceIoControl sends one block
// that is both input and output.
void *userOpen(void *, DWORD) { return reinterpret_cast<void *>(1); }
BOOL userControl(void *, void *, DWORD code, LPVOID in, DWORD inSize, LPVOID, DWORD, LPDWORD returned) {
    const NTSTATUS s = kivZkgfxDeviceIoControl(code, in, inSize);
    *returned = s == STATUS_SUCCESS ? inSize : 0;
    if (s != STATUS_SUCCESS) SetLastError(ERROR_INVALID_FUNCTION);
    return s == STATUS_SUCCESS;
}

NTSTATUS dispatch(void *, ULONG code, void *input, ULONG inputLength, void *, ULONG, ULONG *information) {
    *information = inputLength;
    return serve(code, input, inputLength);
}

}  // namespace

KivZkgfxState &kivZkgfxState() { return g_state; }

void kivZkgfxStart(kiv::ZkChip *chip) {
    kivZkgfxStop();
    g_chip = chip;
    zk3EngineAttachChip(chip);
    g_registered = kivKernelCreateDevice(ZKGFX_DEVICE_NAME, dispatch, nullptr) != nullptr;
    static const KivDeviceOps userOps{userOpen, userControl, nullptr, nullptr};
    if (g_registered) kivRegisterDevice(ZKGFX_USER_PATH, &userOps);
}

void kivZkgfxStop() {
    if (g_registered) {
        kivKernelDeleteDevice(ZKGFX_DEVICE_NAME);
        kivRegisterDevice(ZKGFX_USER_PATH, nullptr);
    }
    for (const KivZkgfxObject &o : g_state.objects) zk3EngineForgetMemory(o.handle);
    for (const KivZkgfxDmaChannel &c : g_state.dmaChannels) zk3EngineCloseChannel(c.handle);
    if (g_chip && zk3EngineChip() == g_chip) zk3EngineAttachChip(nullptr);
    g_registered = false;
    g_chip = nullptr;
    g_state = KivZkgfxState{};
}

NTSTATUS kivZkgfxDeviceIoControl(uint32_t code, void *block, uint32_t length) {
    if (!g_registered) return STATUS_OBJECT_NAME_NOT_FOUND;
    return serve(code, block, length);
}
