// Device start-up and tear-down of an application context: registry settings, the named mutex
// and mapping shared by every ICD process, the zkgfx device with this context's memory objects
// and DMA channel, the command buffer, the channel's objects, the OpenGL-active announcement and
// the gamma ramp. Each completed step sets a progress bit; one tear-down undoes exactly the
// steps whose bit is set, for a failed start-up and for shutdown alike.
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>
#include "icd/core/core.h"
#include "icd/hw/hw.h"
#include "icd/hw/hw_services.h"
#include "include/zkgfx.h"

int32_t __glHwGammaTimes1000 = 1000;

namespace {

constexpr const char *kSettingsKey = "SOFTWARE\\QUOR\\TAVRIK\\OpenGL";
constexpr const char *kMutexName = "ZkOglNT_SharedMutex";
constexpr const char *kMappingName = "ZkOglNT_SharedMemoryNotifier";
constexpr uint32_t kFileShareRead = 1, kFileShareWrite = 2, kFileAttributeNormal = 0x80;
constexpr uint32_t kNoDevice = 32;

// ---- registry settings ------------------------------------------------------------------------
// Values a registry can hold that the driver cannot live with are brought into range, and the
// value in range is written back.
enum SettingId { kMaxTexSize, kCmdBufSizeWords, kCmdBufMinWords, kVidMemMinTexWidth, kMaxPciTexHeapSize,
                 kTextureQuality, kGammaTimes1000, kSettingCount };
struct SettingDef {
    const char *name;
    uint32_t type;
    uint32_t defaultValue;
};
constexpr SettingDef kSettings[kSettingCount] = {
    {"MaxTexSize", REG_DWORD, 2048},
    {"CmdBufSizeWords", REG_DWORD, 0x10000},
    {"CmdBufMinWords", REG_DWORD, 2432},
    {"VidMemMinTexWidth", REG_DWORD, 32},
    {"MaxPCITexHeapSize", REG_DWORD, 0x500000},
    {"TextureQuality", REG_BINARY, 2},
    {"GammaTimes1000", REG_DWORD, 1000},
};
// Read in this order; written back in the second order (GammaTimes1000 never).
constexpr SettingId kReadOrder[] = {kMaxTexSize, kCmdBufSizeWords, kCmdBufMinWords, kVidMemMinTexWidth,
                                    kMaxPciTexHeapSize, kTextureQuality, kGammaTimes1000};
constexpr SettingId kWriteOrder[] = {kCmdBufSizeWords, kCmdBufMinWords, kMaxTexSize, kVidMemMinTexWidth,
                                     kMaxPciTexHeapSize, kTextureQuality};
constexpr uint32_t kMinCmdBufWords = 0x1000, kMaxCmdBufWords = 0x100000;
constexpr uint32_t kMaxTexSizeLimit = 2048;

uint32_t qualityWord(uint32_t quality) { return quality == 2 ? 0xF40000u : quality == 3 ? 0xEC0000u : 0u; }

uint32_t clampU(uint32_t v, uint32_t lo, uint32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// The heap limit: one eighth of the machine's memory counted in 16 MB steps. A value with its
// top bit set is taken without that bit and not limited.
uint32_t clampHeapSize(uint32_t v, bool *changed) {
    *changed = false;
    if (v & 0x80000000u) return v & 0x7FFFFFFFu;
    MEMORYSTATUS ms{};
    ms.dwLength = sizeof ms;
    GlobalMemoryStatus(&ms);
    const uint32_t limit = (uint32_t(ms.dwTotalPhys) & 0xFF000000u) / 8;
    if (v > limit) {
        *changed = true;
        return limit;
    }
    return v;
}

// ---- client ids ------------------------------------------------------------------------------
// The 16-bit client ids of this process's live contexts: two contexts never share one, so their
// zkgfx handles never collide.
std::mutex g_clientLock;
std::set<uint32_t> g_liveClients;

uint32_t takeClientId(uint32_t seed) {
    std::lock_guard<std::mutex> g(g_clientLock);
    while ((seed & 0xFFFF) == 0 || g_liveClients.count(seed & 0xFFFF)) ++seed;  // 0: none taken
    g_liveClients.insert(seed & 0xFFFF);
    return seed;
}
void dropClientId(uint32_t id) {
    std::lock_guard<std::mutex> g(g_clientLock);
    g_liveClients.erase(id & 0xFFFF);
}

// ---- the channel's objects -------------------------------------------------------------------
struct ChannelObject {
    uint32_t cls, handle;
};
constexpr ChannelObject kChannelObjects[26] = {
    {0x0E, 0x1018}, {0x0E, 0x1019}, {0x0E, 0x1015}, {0x0E, 0x1016}, {0x0E, 0x1017}, {0x0E, 0x101A},
    {0x0E, 0x101B}, {0x0E, 0x101C}, {0x0E, 0x101D}, {0x0E, 0x101E}, {0x46, 0x101F}, {0x46, 0x1020},
    {0x46, 0x1021}, {0x3E, 0x1008}, {0x3E, 0x1009}, {0x3E, 0x100A}, {0x45, 0x100B}, {0x48, 0x100D},
    {0x48, 0x100C}, {0x1F, 0x1011}, {0x1E, 0x100E}, {0x1E, 0x100F}, {0x1E, 0x1010}, {0x19, 0x1012},
    {0x10, 0x1013}, {0x10, 0x1014},
};

// One header of the configuration stream. kClientRelative: the first value is a low word under
// this context's client id; kHeapOnly: sent only when the shared heap exists.
enum : uint8_t { kClientRelative = 1, kHeapOnly = 2 };
struct ConfigRow {
    uint8_t sub;
    uint16_t method;
    uint8_t count;
    uint32_t v0, v1;
    uint8_t flags;
};
constexpr ConfigRow kConfigStream[] = {
    {4, 0x000, 1, 0x1008, 0, 0}, {4, 0x304, 1, kHwFbSurfacesLow, 0, kClientRelative},
    {4, 0x200, 1, 0x101A, 0, 0}, {4, 0x204, 1, 0x101E, 0, 0}, {4, 0x208, 1, 0x101D, 0, 0},
    {4, 0x20C, 1, 0x1015, 0, 0}, {4, 0x210, 1, 0x1017, 0, 0}, {4, 0x300, 1, 0x1000000, 0, 0},
    {0, 0x000, 1, 0x1009, 0, 0}, {0, 0x304, 1, kHwFbSurfacesLow, 0, kClientRelative},
    {0, 0x204, 1, 0x101B, 0, 0}, {0, 0x300, 1, 0x1000000, 0, 0},
    {0, 0x000, 1, 0x100A, 0, 0}, {0, 0x304, 1, kHwFbSurfacesLow, 0, kClientRelative},
    {0, 0x204, 1, 0x1016, 0, 0}, {0, 0x300, 1, 0x1010001, 0, 0},
    {0, 0x000, 1, 0x1012, 0, 0}, {0, 0x200, 1, 0x101C, 0, 0},
    {5, 0x000, 1, 0x100B, 0, 0}, {5, 0x200, 1, 0x101F, 0, 0}, {5, 0x204, 1, 0x1020, 0, 0},
    {5, 0x208, 1, 0x1021, 0, 0}, {5, 0x304, 1, kHwFbSurfacesLow, 0, kClientRelative},
    {5, 0x300, 1, 0, 0, 0}, {5, 0x308, 1, 16, 0, 0}, {5, 0x30C, 1, 0, 0, 0},
    {1, 0x000, 1, 0x100C, 0, 0}, {1, 0x100, 1, kHwPrivateNotifierLow, 0, kClientRelative},
    {1, 0x200, 1, 0x1019, 0, 0}, {1, 0x204, 1, 0x1021, 0, 0}, {1, 0x208, 1, 0x101F, 0, 0},
    {1, 0x300, 1, kHwFbTexturesLow, 0, kClientRelative},
    {1, 0x000, 1, 0x100D, 0, kHeapOnly}, {1, 0x100, 1, kHwPrivateNotifierLow, 0, kHeapOnly | kClientRelative},
    {1, 0x200, 1, 0x1018, 0, kHeapOnly}, {1, 0x204, 1, 0x1020, 0, kHeapOnly},
    {1, 0x208, 1, 0x101F, 0, kHeapOnly}, {1, 0x300, 1, kHwHeapObjectLow, 0, kHeapOnly | kClientRelative},
    {0, 0x000, 1, 0x1013, 0, 0}, {0, 0x204, 2, 0x101C, 0x1019, 0}, {0, 0x200, 1, 0x101D, 0, 0},
    {0, 0x000, 1, 0x1014, 0, 0}, {0, 0x204, 2, 0x101C, 0x1018, 0}, {0, 0x200, 1, 0x101E, 0, 0},
    {7, 0x000, 1, 0x1011, 0, 0}, {7, 0x100, 1, kHwPrivateNotifierLow, 0, kClientRelative},
    {7, 0x204, 1, 0x101A, 0, 0}, {7, 0x200, 1, 0x101B, 0, 0},
    {2, 0x000, 1, 0x1010, 0, 0}, {2, 0x100, 1, kHwSharedNotifierLow, 0, kClientRelative},
    {2, 0x200, 1, 0x1017, 0, 0}, {2, 0x300, 1, 1, 0, 0}, {2, 0x304, 1, 0, 0, 0},
    {2, 0x000, 1, 0x100E, 0, 0}, {2, 0x100, 1, kHwPrivateNotifierLow, 0, kClientRelative},
    {2, 0x200, 1, 0x1015, 0, 0}, {2, 0x300, 1, 1, 0, 0}, {2, 0x304, 1, 0, 0, 0},
    {3, 0x000, 1, 0x100F, 0, 0}, {3, 0x100, 1, kHwPrivateNotifierLow, 0, kClientRelative},
    {3, 0x200, 1, 0x1016, 0, 0}, {3, 0x300, 1, 0x1010001, 0, 0}, {3, 0x304, 1, 0, 0, 0},
    {2, 0x000, 1, 0x1010, 0, 0}, {2, 0x304, 1, 0, 0, 0}, {2, 0x400, 2, 0, 0, 0},
};

// Memory objects in the order the tear-down frees them, with their progress bits.
struct MemoryObject {
    uint32_t low, bit;
};
constexpr MemoryObject kMemoryObjects[] = {
    {kHwChannelNotifierLow, kHwProgressNotifierChannel}, {kHwPrivateNotifierLow, kHwProgressNotifierPrivate},
    {kHwSharedNotifierLow, kHwProgressNotifierShared}, {kHwPushBufferLow, kHwProgressPushObject}, {kHwFbSurfacesLow, kHwProgressFbSurfaces},
    {kHwFbTexturesLow, kHwProgressFbTextures}, {kHwHeapObjectLow, kHwProgressHeapObject},
};

// Pairs of (class, handle) through subchannel 0: method 0x300 creates, 0x304 destroys.
BOOL writeObjectPairs(HwState *hw, uint32_t method) {
    uint32_t *w = __glHwReserve(hw, 4 * 26);
    for (const ChannelObject &o : kChannelObjects) {
        *w++ = hwMethodHeader(1, 0, 0);
        *w++ = o.cls;
        *w++ = hwMethodHeader(1, 0, method);
        *w++ = o.handle;
    }
    hw->writeIndex += 4 * 26;
    return TRUE;
}

// A flush whose push the display driver must accept: the start-up fails when it did not.
BOOL flushAndWait(HwState *hw) {
    __glHwKickoff(hw, 1);
    __glHwWaitIdle(hw);
    return !hw->hardwareLost && hw->driverModeCounter == hw->modeCounter;
}

uint32_t sharedAttachCount(const HwState *hw) {
    return hw->sharedHeader != nullptr ? uint32_t(hw->sharedHeader->attachCount) : 0;
}

void loadIdentityGamma() {
    BYTE table[256];
    for (int i = 0; i < 256; ++i) table[i] = BYTE(i);
    wglSetDeviceGammaRampZORVEK(table, table, table);
}

}  // namespace

// ---- settings ------------------------------------------------------------------------------------

void __glHwReadSettings(HwState *hw) {
    uint32_t values[kSettingCount];
    bool taken[kSettingCount] = {};
    for (int i = 0; i < kSettingCount; ++i) values[i] = kSettings[i].defaultValue;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) == ERROR_SUCCESS) {
        if (disposition == REG_OPENED_EXISTING_KEY) {
            for (SettingId id : kReadOrder) {
                DWORD type = 0, size = 4;
                uint8_t data[4] = {};
                if (RegQueryValueExA(key, kSettings[id].name, nullptr, &type, data, &size) != ERROR_SUCCESS) continue;
                if (type != kSettings[id].type) continue;
                if (type == REG_DWORD && size == 4) {
                    std::memcpy(&values[id], data, 4);
                    taken[id] = true;
                } else if (type == REG_BINARY && size == 1) {
                    values[id] = data[0];
                    taken[id] = true;
                }
            }
        }
        // Values out of range: the command buffer's allocation is computed from its size, and the
        // early kick-off threshold must lie inside a half.
        auto bring = [&](SettingId id, uint32_t v) {
            if (v != values[id]) {
                values[id] = v;
                taken[id] = false;
            }
        };
        bring(kCmdBufSizeWords, clampU(values[kCmdBufSizeWords], kMinCmdBufWords, kMaxCmdBufWords));
        bring(kCmdBufMinWords, clampU(values[kCmdBufMinWords], 0, values[kCmdBufSizeWords] - 1));
        bring(kMaxTexSize, clampU(values[kMaxTexSize], 1, kMaxTexSizeLimit));
        bring(kVidMemMinTexWidth, clampU(values[kVidMemMinTexWidth], 1, kMaxTexSizeLimit));
        for (SettingId id : kWriteOrder) {
            if (taken[id]) continue;
            if (kSettings[id].type == REG_BINARY) {
                const BYTE b = BYTE(values[id]);
                RegSetValueExA(key, kSettings[id].name, 0, REG_BINARY, &b, 1);
            } else {
                RegSetValueExA(key, kSettings[id].name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&values[id]), 4);
            }
        }
        RegCloseKey(key);
    }
    hw->maxTexSize = values[kMaxTexSize];
    hw->cmdBufSizeWords = values[kCmdBufSizeWords];
    hw->cmdBufMinWords = values[kCmdBufMinWords];
    hw->vidMemMinTexWidth = values[kVidMemMinTexWidth];
    hw->maxPciTexHeapSize = values[kMaxPciTexHeapSize];
    hw->triangleRegs[2] = hw->pointRegs[2] = qualityWord(values[kTextureQuality]);
    // A gamma of zero or below would divide by zero and black the screen out.
    const int32_t gamma = int32_t(values[kGammaTimes1000]);
    __glHwGammaTimes1000 = gamma > 0 ? gamma : 1000;
}

void __glHwWriteHeapSetting(uint32_t size) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "MaxPCITexHeapSize", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&size), 4);
    RegCloseKey(key);
}

void __glHwBuildGammaTable(int32_t gammaTimes1000, BYTE table[256]) {
    if (gammaTimes1000 <= 0) gammaTimes1000 = 1000;
    const double gamma = gammaTimes1000 * 0.001;
    for (int i = 0; i < 256; ++i) {
        const double v = std::pow(i / 256.0, 1.0 / gamma) * 255.0;
        const unsigned e = unsigned(v);
        table[i] = BYTE(e > 255 ? 255 : e);
    }
}

// ---- shared objects ------------------------------------------------------------------------------

BOOL __glHwOpenSharedMutex(HwState *hw) {
    HANDLE m = CreateMutexA(nullptr, FALSE, kMutexName);
    if (m == nullptr) return FALSE;
    hw->sharedMutex = m;
    hw->progress |= kHwProgressMutex;
    const DWORD r = WaitForSingleObject(m, INFINITE);
    if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED) return FALSE;
    ReleaseMutex(m);
    return TRUE;
}

// The mapping keeps the size its creator gave it: a process that joins takes the heap size from
// the header, never from its own settings, and the header holds offsets only.
BOOL __glHwOpenSharedMemory(HwState *hw) {
    const uint32_t bytes = hw->maxPciTexHeapSize + sizeof(HwSharedHeader);
    if (bytes < hw->maxPciTexHeapSize) return FALSE;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, bytes, kMappingName);
    if (mapping == nullptr) return FALSE;
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    void *view = MapViewOfFile(mapping, existed ? FILE_MAP_WRITE : FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (view == nullptr) {
        CloseHandle(mapping);
        return FALSE;
    }
    auto *header = static_cast<HwSharedHeader *>(view);
    if (!existed) {
        std::memset(view, 0, sizeof(HwSharedHeader));
        header->heapSize = hw->maxPciTexHeapSize;
        header->heapData = sizeof(HwSharedHeader);
    } else {
        hw->maxPciTexHeapSize = header->heapSize;
    }
    hw->mappingHandle = mapping;
    hw->sharedHeader = header;
    InterlockedIncrement(reinterpret_cast<volatile LONG *>(&header->attachCount));
    hw->progress |= kHwProgressMapping;
    return TRUE;
}

void __glHwCloseSharedMemory(HwState *hw) {
    if (hw->sharedHeader != nullptr) UnmapViewOfFile(hw->sharedHeader);
    if (hw->mappingHandle != nullptr) CloseHandle(hw->mappingHandle);
    hw->sharedHeader = nullptr;
    hw->mappingHandle = nullptr;
    hw->notifier = nullptr;
}

// ---- the display driver ----------------------------------------------------------------------

BOOL __glHwSetOpenGlActive(HwState *hw, uint32_t count) {
    HDC dc = GetDC(nullptr);
    if (dc == nullptr) return FALSE;
    uint32_t value = count;
    const uint32_t address = uint32_t(reinterpret_cast<uintptr_t>(&value));
    uint32_t counter = hw->driverModeCounter;
    const int r = ExtEscape(dc, ESC_ZK_OPENGL_ACTIVE, 4, reinterpret_cast<LPCSTR>(&address), 4,
                            reinterpret_cast<LPSTR>(&counter));
    ReleaseDC(nullptr, dc);
    if (r <= 0) return FALSE;
    hw->modeCounter = hw->driverModeCounter = counter;
    return TRUE;
}

// ---- the channel -----------------------------------------------------------------------------

BOOL __glHwQueryChannel(HwState *hw) {
    uint32_t words[3] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    uint32_t record[4] = {uint32_t(reinterpret_cast<uintptr_t>(words)), 0, 0, 0};
    ZK_RM_CONTROL_PARAMS p{};
    p.Target = hwHandle(hw, kHwChannelLow);
    p.Function = 0;
    p.InParams = p.OutParams = uint32_t(reinterpret_cast<uintptr_t>(record));
    p.Status = 0xFFFFFFFFu;
    // Every push names these words: without them no push can start.
    if (!__glHwZkgfxRequest(hw, ZK_RM_CONTROL, &p, sizeof p) || p.Status != 0) return FALSE;
    std::memcpy(hw->channelWords, words, sizeof words);
    return TRUE;
}

BOOL __glHwCreateObjects(HwState *hw) {
    writeObjectPairs(hw, 0x300);
    return flushAndWait(hw);
}

BOOL __glHwBindObjects(HwState *hw) {
    const bool heap = (hw->progress & kHwProgressHeapObject) != 0;
    uint32_t n = 0;
    for (const ConfigRow &r : kConfigStream)
        if (heap || !(r.flags & kHeapOnly)) n += 1 + r.count;
    uint32_t *w = __glHwReserve(hw, n);
    for (const ConfigRow &r : kConfigStream) {
        if (!heap && (r.flags & kHeapOnly)) continue;
        *w++ = hwMethodHeader(r.count, r.sub, r.method);
        *w++ = (r.flags & kClientRelative) ? hwHandle(hw, r.v0) : r.v0;
        if (r.count == 2) *w++ = r.v1;
    }
    hw->writeIndex += n;
    return flushAndWait(hw);
}

// ---- start-up ----------------------------------------------------------------------------------

namespace {

// Each start-up step sets its progress bit once it holds something, so that a failure at any
// later step lets __glHwCloseDevice undo exactly what was done.
BOOL openSettings(GlContext *, HwState *hw) {
    __glHwReadSettings(hw);
    hw->progress |= kHwProgressSettings;
    bool heapChanged = false;
    hw->maxPciTexHeapSize = clampHeapSize(hw->maxPciTexHeapSize, &heapChanged);
    if (heapChanged) __glHwWriteHeapSetting(hw->maxPciTexHeapSize);
    return TRUE;
}

BOOL openDirectDraw(GlContext *, HwState *hw) { return __glHwOpenDirectDraw(hw); }
BOOL openSharedMutex(GlContext *, HwState *hw) { return __glHwOpenSharedMutex(hw); }
BOOL openSharedMemory(GlContext *, HwState *hw) { return __glHwOpenSharedMemory(hw); }

BOOL takeClientIdAndNotifier(GlContext *, HwState *hw) {
    hw->clientId = takeClientId(GetTickCount() + GetCurrentProcessId() + sharedAttachCount(hw));
    hw->notifier = hw->sharedHeader->notifier;
    return TRUE;
}

BOOL openZkgfx(GlContext *, HwState *hw) {
    HANDLE device = CreateFileA(ZKGFX_USER_PATH, GENERIC_READ | GENERIC_WRITE, kFileShareRead | kFileShareWrite,
                                nullptr, OPEN_EXISTING, kFileAttributeNormal, nullptr);
    if (device == INVALID_HANDLE_VALUE || device == nullptr) return FALSE;
    hw->deviceHandle = hw->requestHandle = device;
    hw->progress |= kHwProgressDevice;
    return TRUE;
}

BOOL takeFrameBufferRegion(GlContext *ctx, HwState *hw) {
    static const char kRegion[] = ZK_RM_REGION_FRAME_BUFFER;
    ZK_RM_MEMORY_REGION_PARAMS p{};
    p.Name = uint32_t(reinterpret_cast<uintptr_t>(kRegion));
    p.Status = 0xFFFF;
    const BOOL ok = __glHwZkgfxRequest(hw, ZK_RM_GET_MEMORY_REGION, &p, sizeof p);
    if (!ok || p.Status != 0 || p.Address == 0) return FALSE;
    hw->fbRegionAddress = p.Address;
    hw->fbRegionSize = p.Size;
    hw->progress |= kHwProgressFbRegion;
    hw->fbBase = ctx->hostProcs.getPrimary != nullptr
                     ? uint32_t(reinterpret_cast<uintptr_t>(ctx->hostProcs.getPrimary(ctx)))
                     : 0;
    return TRUE;
}

// The device index of the ZK3; none found leaves kNoDevice, which the channel request refuses.
BOOL findDeviceIndex(GlContext *, HwState *hw) {
    for (uint32_t i = 0; i < kNoDevice; ++i) {
        char name[ZK_RM_DEVICE_NAME_SIZE] = {};
        ZK_RM_DEVICE_NAME_PARAMS p{};
        p.DeviceIndex = uint16_t(i);
        p.NameBuffer = uint32_t(reinterpret_cast<uintptr_t>(name));
        p.BufferSize = ZK_RM_DEVICE_NAME_SIZE;
        p.Status = 0xFFFF;
        if (__glHwZkgfxRequest(hw, ZK_RM_GET_DEVICE_NAME, &p, sizeof p) && p.Status == 0 &&
            std::memcmp(name, "ZK3", 4) == 0) {
            hw->deviceIndex = i;
            break;
        }
    }
    return TRUE;
}

BOOL createNotifiers(GlContext *ctx, HwState *hw) {
    hw->notifierBlock = static_cast<uint8_t *>(ctx->hostProcs.calloc(ctx, 1, 48));
    if (hw->notifierBlock == nullptr) return FALSE;
    hw->progress |= kHwProgressNotifierBlock;
    hw->notifierRecord[0] = hw->notifierBlock;
    hw->notifierRecord[1] = hw->notifierBlock + 16;
    hw->notifierRecord[0][15] = 0;
    if (!__glHwCreateMemoryObject(hw, hwHandle(hw, kHwChannelNotifierLow), ZK_RM_CLASS_NOTIFIER,
                                  hw->notifierRecord[0], 15))
        return FALSE;
    hw->progress |= kHwProgressNotifierChannel;
    hw->notifierRecord[1][15] = 0;
    if (!__glHwCreateMemoryObject(hw, hwHandle(hw, kHwPrivateNotifierLow), ZK_RM_CLASS_NOTIFIER,
                                  hw->notifierRecord[1], 15))
        return FALSE;
    hw->progress |= kHwProgressNotifierPrivate;
    if (!__glHwCreateMemoryObject(hw, hwHandle(hw, kHwSharedNotifierLow), ZK_RM_CLASS_NOTIFIER,
                                  const_cast<uint8_t *>(hw->sharedHeader->notifier), 15))
        return FALSE;
    hw->progress |= kHwProgressNotifierShared;
    return TRUE;
}

// The gamma ramp is loaded by the first context of the machine only; failing to load it is no
// reason to give up the hardware.
BOOL loadGamma(GlContext *, HwState *hw) {
    if (sharedAttachCount(hw) != 0) {
        BYTE table[256];
        __glHwBuildGammaTable(__glHwGammaTimes1000, table);
        if (wglSetDeviceGammaRampZORVEK(table, table, table)) hw->progress |= kHwProgressGamma;
    }
    return TRUE;
}

BOOL createCommandBuffer(GlContext *, HwState *hw) {
    if (!__glHwAllocPushBuffer(hw)) return FALSE;
    hw->progress |= kHwProgressCmdBuf;
    uint8_t *aligned = reinterpret_cast<uint8_t *>((reinterpret_cast<uintptr_t>(hw->cmdBufAlloc) + 4095) & ~uintptr_t(4095));
    if (!__glHwCreateMemoryObject(hw, hwHandle(hw, kHwPushBufferLow), ZK_RM_CLASS_BUFFER, aligned,
                                  hw->cmdBufSizeWords * 8 + 0x27FF))
        return FALSE;
    hw->progress |= kHwProgressPushObject;
    __glHwInitPushBuffer(hw, aligned);
    return TRUE;
}

// Video memory for surfaces and for textures; then the region goes back.
BOOL createFrameBufferObjects(GlContext *, HwState *hw) {
    const void *fb = reinterpret_cast<const void *>(uintptr_t(hw->fbRegionAddress));
    if (!__glHwCreateMemoryObject(hw, hwHandle(hw, kHwFbSurfacesLow), ZK_RM_CLASS_BUFFER, fb, hw->fbRegionSize - 1))
        return FALSE;
    hw->progress |= kHwProgressFbSurfaces;
    if (!__glHwCreateMemoryObject(hw, hwHandle(hw, kHwFbTexturesLow), ZK_RM_CLASS_BUFFER, fb, hw->fbRegionSize - 1))
        return FALSE;
    hw->progress |= kHwProgressFbTextures;
    ZK_RM_RELEASE_REGION_PARAMS p{};
    p.Address = hw->fbRegionAddress;
    __glHwZkgfxRequest(hw, ZK_RM_RELEASE_MEMORY_REGION, &p, sizeof p);
    hw->progress &= ~kHwProgressFbRegion;
    hw->fbRegionAddress = 0;
    return TRUE;
}

// Texture memory: the heap is optional, and so are the built-in textures.
BOOL createTextureMemory(GlContext *, HwState *hw) {
    hw->heapInfo = __glHwCreateHeapInfo(hw);
    if (hw->heapInfo != nullptr) {
        hw->progress |= kHwProgressHeapInfo;
        const uint8_t *data = reinterpret_cast<const uint8_t *>(hw->sharedHeader) + hw->sharedHeader->heapData;
        if (hw->maxPciTexHeapSize != 0) {
            if (!__glHwCreateMemoryObject(hw, hwHandle(hw, kHwHeapObjectLow), ZK_RM_CLASS_BUFFER, data,
                                          hw->maxPciTexHeapSize - 1))
                return FALSE;
            hw->progress |= kHwProgressHeapObject;
        }
    }
    if ((hw->defaultTexture = __glHwCreateDefaultTexture(hw)) != nullptr) hw->progress |= kHwProgressDefaultTexture;
    if ((hw->pointTexture = __glHwCreatePointTexture(hw)) != nullptr) hw->progress |= kHwProgressPointTexture;
    if ((hw->lineTexture = __glHwCreateLineTexture(hw)) != nullptr) hw->progress |= kHwProgressLineTexture;
    return TRUE;
}

// The DMA channel, then its three words.
BOOL openChannel(GlContext *, HwState *hw) {
    ZK_RM_DMA_CHANNEL_PARAMS p{};
    p.ChannelHandle = hwHandle(hw, kHwChannelLow);
    p.DeviceIndex = hw->deviceIndex;
    p.NotifierObject = hwHandle(hw, kHwChannelNotifierLow);
    p.PushBufferObject = hwHandle(hw, kHwPushBufferLow);
    p.Status = 0xFFFFFFFFu;
    if (!__glHwZkgfxRequest(hw, ZK_RM_OPEN_DMA_CHANNEL, &p, sizeof p) || p.Status != 0) return FALSE;
    hw->progress |= kHwProgressChannel;
    return __glHwQueryChannel(hw);
}

BOOL markOpenGlActive(GlContext *, HwState *hw) {
    if (!__glHwSetOpenGlActive(hw, sharedAttachCount(hw))) return FALSE;
    hw->progress |= kHwProgressOpenGlActive;
    return TRUE;
}

// The channel's objects: created, then configured. Whatever reached the chip is destroyed again
// on failure, so the progress bit is set whether or not creation went through.
BOOL createChannelObjects(GlContext *, HwState *hw) {
    const bool created = __glHwCreateObjects(hw);
    hw->progress |= kHwProgressObjects;
    return created && __glHwBindObjects(hw);
}

using OpenStep = BOOL (*)(GlContext *, HwState *);
constexpr OpenStep kOpenSteps[] = {
    openSettings,         openDirectDraw,      openSharedMutex,        openSharedMemory,
    takeClientIdAndNotifier, openZkgfx,        takeFrameBufferRegion,  findDeviceIndex,
    createNotifiers,      loadGamma,           createCommandBuffer,    createFrameBufferObjects,
    createTextureMemory,  openChannel,         markOpenGlActive,       createChannelObjects,
};

}  // namespace

BOOL __glHwOpenDevice(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    hw->context = ctx;
    hw->progress = 0;
    hw->loadedBlock = 3;
    hw->deviceOpen = 0;
    hw->hardwareLost = 0;
    hw->deviceHandle = hw->requestHandle = INVALID_HANDLE_VALUE;
    hw->sharedMutex = INVALID_HANDLE_VALUE;
    hw->deviceIndex = kNoDevice;
    hw->triangleRegs[3] = hw->pointRegs[3] = 0xFFFFFFFFu;
    hw->blendWord = 0xFFFFFFFFu;
    for (uint32_t &w : hw->surfaceCache) w = 0xFFFFFFFFu;
    hw->agpBus = 0;

    for (OpenStep step : kOpenSteps) {
        if (!step(ctx, hw)) {
            __glHwCloseDevice(ctx, hw);
            hw->deviceOpen = 0;
            hw->hardwareLost = 1;
            return FALSE;
        }
    }
    hw->deviceOpen = 1;
    return TRUE;
}

// ---- tear-down -----------------------------------------------------------------------------------

void __glHwCloseDevice(GlContext *ctx, HwState *hw) {
    // 1. The channel's objects. The notify object goes with them, so this flush asks for none.
    if (hw->progress & kHwProgressObjects) {
        hw->progress &= ~kHwProgressObjects;
        if (!hw->hardwareLost && hw->cpuBase != nullptr) {
            writeObjectPairs(hw, 0x304);
            __glHwKickoff(hw, 1);
            __glHwWaitIdle(hw);
        }
    }
    // 2. Memory objects.
    for (const MemoryObject &o : kMemoryObjects)
        if (hw->progress & o.bit) __glHwFreeObject(hw, hwHandle(hw, o.low));
    // 3. The channel.
    if (hw->progress & kHwProgressChannel) {
        ZK_RM_CLOSE_DMA_CHANNEL_PARAMS p{};
        p.DeviceIndex = uint16_t(hw->deviceIndex);
        p.ChannelHandle = hwHandle(hw, kHwChannelLow);
        __glHwZkgfxRequest(hw, ZK_RM_CLOSE_DMA_CHANNEL, &p, sizeof p);
    }
    // 4. The frame-buffer region.
    if (hw->progress & kHwProgressFbRegion) {
        ZK_RM_RELEASE_REGION_PARAMS p{};
        p.Address = hw->fbRegionAddress;
        __glHwZkgfxRequest(hw, ZK_RM_RELEASE_MEMORY_REGION, &p, sizeof p);
        hw->fbRegionAddress = 0;
    }
    // 5. This context leaves the mapping.
    if (hw->progress & kHwProgressMapping)
        InterlockedDecrement(reinterpret_cast<volatile LONG *>(&hw->sharedHeader->attachCount));
    // 6. Textures, the heap descriptor, the notifier block, the command buffer, DirectDraw.
    if (hw->progress & kHwProgressDefaultTexture) __glHwFreeDefaultTexture(hw, hw->defaultTexture);
    if (hw->progress & kHwProgressPointTexture) __glHwFreePointTexture(hw, hw->pointTexture);
    if (hw->progress & kHwProgressLineTexture) __glHwFreeLineTexture(hw, hw->lineTexture);
    hw->defaultTexture = hw->pointTexture = hw->lineTexture = nullptr;
    if (hw->progress & kHwProgressHeapInfo) __glHwFreeHeapInfo(hw);
    hw->heapInfo = nullptr;
    if (hw->progress & kHwProgressNotifierBlock) ctx->hostProcs.free(ctx, hw->notifierBlock);
    hw->notifierBlock = hw->notifierRecord[0] = hw->notifierRecord[1] = nullptr;
    if (hw->progress & kHwProgressCmdBuf) __glHwFreePushBuffer(hw);
    if (hw->progress & kHwProgressDirectDraw) __glHwCloseDirectDraw(hw);
    // 7. The device.
    if (hw->progress & kHwProgressDevice) CloseHandle(hw->deviceHandle);
    hw->deviceHandle = hw->requestHandle = INVALID_HANDLE_VALUE;
    // 8. The last context of the machine puts the identity ramp back.
    if ((hw->progress & kHwProgressGamma) && sharedAttachCount(hw) == 0) loadIdentityGamma();
    // 9. Tell the display driver how many contexts remain.
    if (hw->progress & kHwProgressOpenGlActive) __glHwSetOpenGlActive(hw, sharedAttachCount(hw));
    // 10. The mutex.
    if (hw->progress & kHwProgressMutex) CloseHandle(hw->sharedMutex);
    hw->sharedMutex = INVALID_HANDLE_VALUE;
    // 11. The mapping.
    if (hw->progress & kHwProgressMapping) __glHwCloseSharedMemory(hw);
    if (hw->clientId != 0) dropClientId(hw->clientId);
    hw->clientId = 0;
    // 12.
    hw->progress = 0;
    hw->deviceOpen = 0;
}

void __glHwShutdown(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    // Textures of a share group outlive this context: their copies in its memory go now, while
    // the chip can still be waited for, and the textures forget it.
    __glHwTexReleaseContextCopies(ctx);
    if (hw->deviceOpen == 1) {
        __glHwKickoff(hw, 0);
        __glHwWaitIdle(hw);
    }
    __glHwCloseDevice(ctx, hw);
}

BOOL __glHwReopenDevice(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    __glHwEvictAllTextures(hw);
    // After a mode change the chip's objects are gone with the old mode: nothing to destroy.
    hw->progress &= ~kHwProgressObjects;
    __glHwShutdown(ctx);
    const BOOL ok = __glHwOpenDevice(ctx);
    hw->deviceOpen = ok ? 1 : 0;
    hw->hardwareLost = ok ? 0 : 1;
    hw->loadedBlock = 3;
    return ok;
}

BOOL __glHwProcessAttach(DWORD) { return TRUE; }
BOOL __glHwProcessDetach(DWORD) { return TRUE; }

// ---- gamma ramps ---------------------------------------------------------------------------------
// Three runs of 256 u16: entry i of run k is byte i of table k in the high byte.

extern "C" BOOL WINAPI wglSetDeviceGammaRampZORVEK(const BYTE *red, const BYTE *green, const BYTE *blue) {
    if (red == nullptr || green == nullptr || blue == nullptr) return FALSE;
    HDC dc = GetDC(nullptr);
    if (dc == nullptr) return FALSE;
    const BYTE *tables[3] = {red, green, blue};
    uint16_t ramp[768];
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 256; ++i) ramp[256 * k + i] = uint16_t(tables[k][i] << 8);
    uint32_t reply = 0;
    int r = ExtEscape(dc, ESC_ZK_SET_GAMMA_RAMP, sizeof ramp, reinterpret_cast<LPCSTR>(ramp), 4,
                      reinterpret_cast<LPSTR>(&reply));
    BOOL loaded = r > 0;
    if (r == 0) {
        // A driver that loads the ramp may answer 0, like one that does not know the escape:
        // the ramp it now holds tells them apart.
        uint16_t now[768];
        uint32_t scratch = 0;
        if (ExtEscape(dc, ESC_ZK_GET_GAMMA_RAMP, 4, reinterpret_cast<LPCSTR>(&scratch), sizeof now,
                      reinterpret_cast<LPSTR>(now)) > 0) {
            loaded = TRUE;
            for (int i = 0; i < 768 && loaded; ++i) loaded = (now[i] >> 8) == (ramp[i] >> 8);
        }
    }
    ReleaseDC(nullptr, dc);
    return loaded;
}

extern "C" BOOL WINAPI wglGetDeviceGammaRampZORVEK(BYTE *red, BYTE *green, BYTE *blue) {
    if (red == nullptr || green == nullptr || blue == nullptr) return FALSE;
    HDC dc = GetDC(nullptr);
    if (dc == nullptr) return FALSE;
    uint16_t ramp[768];
    uint32_t scratch = 0;
    const int r = ExtEscape(dc, ESC_ZK_GET_GAMMA_RAMP, 4, reinterpret_cast<LPCSTR>(&scratch), sizeof ramp,
                            reinterpret_cast<LPSTR>(ramp));
    ReleaseDC(nullptr, dc);
    if (r <= 0) return FALSE;   // nothing came back: the tables stay as they were
    BYTE *tables[3] = {red, green, blue};
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 256; ++i) tables[k][i] = BYTE(ramp[256 * k + i] >> 8);
    return TRUE;
}
