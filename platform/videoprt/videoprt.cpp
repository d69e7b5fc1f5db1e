// The NT video port stand-in: loads the miniport, calls its callbacks and serves its VideoPort*
// requests against the simulated PCI card and chip model.
#include "platform/videoprt/videoprt_sim.h"
#include "platform/win32/internal.h"
#include "platform/zkgfx/zkgfx.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

KivVideoPortSim g_sim;
void *g_module = nullptr;
std::string g_loadError;   // why the last boot did not load the miniport

constexpr uint32_t kIoSpaceSize = 0x10000;
constexpr ULONG kSpaceIo = 0x01;        // InIoSpace: I/O space
constexpr ULONG kSpaceUserMode = 0x02;  // InIoSpace: map into a user process

uint8_t *reserveToken(size_t bytes) {
    void *p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<uint8_t *>(p);
}

// Which simulated space a kernel address falls into.
enum class Where { None, Registers, FrameBuffer, Io, VgaMemory };

Where classify(const void *address, uint32_t &offset) {
    const uint8_t *p = static_cast<const uint8_t *>(address);
    auto *chip = g_sim.chip.get();
    if (chip) {
        if (p >= chip->aperture() && p < chip->aperture() + kiv::ZkChip::kApertureSize) {
            offset = uint32_t(p - chip->aperture());
            return Where::Registers;
        }
        if (p >= chip->frameBufferAperture() && p < chip->frameBufferAperture() + kiv::ZkChip::kFrameBufferSize) {
            offset = uint32_t(p - chip->frameBufferAperture());
            return Where::FrameBuffer;
        }
    }
    if (g_sim.ioBase && p >= g_sim.ioBase && p < g_sim.ioBase + kIoSpaceSize) {
        offset = uint32_t(p - g_sim.ioBase);
        return Where::Io;
    }
    if (g_sim.vgaWindow && p >= g_sim.vgaWindow && p < g_sim.vgaWindow + kiv::ZkChip::kVgaWindowSize) {
        offset = uint32_t(p - g_sim.vgaWindow);
        return Where::VgaMemory;
    }
    return Where::None;
}

uint32_t accessRead(const void *address, unsigned size) {
    uint32_t off = 0;
    switch (classify(address, off)) {
    case Where::Registers: return g_sim.chip->read(off, size);
    case Where::FrameBuffer: return g_sim.chip->readFrameBuffer(off, size);
    case Where::Io: return g_sim.chip ? g_sim.chip->readPort(uint16_t(off), size) : (0xFFFFFFFFu >> (32 - 8 * size));
    case Where::VgaMemory: {
        uint32_t v = 0;
        for (unsigned i = 0; i < size; ++i)
            v |= uint32_t(g_sim.chip ? g_sim.chip->readVgaMemory(off + i) : 0xFF) << (8 * i);
        return v;
    }
    case Where::None: break;
    }
    uint32_t v = 0;
    std::memcpy(&v, address, size);   // ordinary system memory
    return v;
}

void accessWrite(void *address, uint32_t value, unsigned size) {
    uint32_t off = 0;
    switch (classify(address, off)) {
    case Where::Registers: g_sim.chip->write(off, value, size); return;
    case Where::FrameBuffer: g_sim.chip->writeFrameBuffer(off, value, size); return;
    case Where::Io: if (g_sim.chip) g_sim.chip->writePort(uint16_t(off), value, size); return;
    case Where::VgaMemory:
        if (g_sim.chip)
            for (unsigned i = 0; i < size; ++i) g_sim.chip->writeVgaMemory(off + i, uint8_t(value >> (8 * i)));
        return;
    case Where::None: break;
    }
    std::memcpy(address, &value, size);
}

// Host address of a physical memory range, or null when nothing answers there.
uint8_t *physicalToHost(uint32_t physical, uint32_t length) {
    auto *chip = g_sim.chip.get();
    if (!chip || length == 0) return nullptr;
    if (physical - kKivRange0Physical < kiv::ZkChip::kApertureSize &&
        kiv::ZkChip::kApertureSize - (physical - kKivRange0Physical) >= length)
        return chip->aperture() + (physical - kKivRange0Physical);
    if (physical - kKivRange1Physical < kiv::ZkChip::kFrameBufferSize &&
        kiv::ZkChip::kFrameBufferSize - (physical - kKivRange1Physical) >= length)
        return chip->frameBufferAperture() + (physical - kKivRange1Physical);
    if (physical - kKivVgaMemoryPhysical < kiv::ZkChip::kVgaWindowSize &&
        kiv::ZkChip::kVgaWindowSize - (physical - kKivVgaMemoryPhysical) >= length)
        return g_sim.vgaWindow + (physical - kKivVgaMemoryPhysical);
    return nullptr;
}

std::u16string wideName(const VP_WCHAR *name) {
    std::u16string s;
    if (name)
        while (*name) s.push_back(*name++);
    return s;
}

void unloadModule() {
    if (g_module) {
        dlclose(g_module);
        g_module = nullptr;
    }
}

// The kernel's loader: "kivport.dll" -> kivport.so in the folders programs' modules come from
// (no DllMain, no place in the process's module list).
PKIV_DRIVER_ENTRY loadMiniport(const char *name) {
    g_loadError.clear();
    const std::string path = kiv::win32::findModuleFile(name ? name : "kivport.dll", &g_loadError);
    if (path.empty()) return nullptr;
    g_module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!g_module) {
        const char *e = dlerror();
        g_loadError = e ? e : path + " does not load";
        return nullptr;
    }
    auto entry = reinterpret_cast<PKIV_DRIVER_ENTRY>(dlsym(g_module, "DriverEntry"));
    if (!entry) {
        g_loadError = path + " exports no DriverEntry";
        unloadModule();
    }
    return entry;
}

}  // namespace

KivVideoPortSim &kivVideoPortSim() { return g_sim; }

const char *kivVideoPortLoadError() { return g_loadError.c_str(); }

// ---- boot, requests, shutdown ---------------------------------------------------------------------

void kivVideoPortShutdown() {
    unloadModule();
    g_sim.started = false;
    g_sim.findAdapterStatus = -1;
    g_sim.hwData = {};
    g_sim.extension.clear();
    g_sim.configInfo = {};
    g_sim.int10Eax.clear();
    g_sim.trappedPorts.clear();
    g_sim.verifiedRanges.clear();
    g_sim.mappings.clear();
    g_sim.deviceBases.clear();
    g_sim.registryWrites.clear();
    g_sim.registry.clear();
    kivZkgfxStop();
    g_sim.chip.reset();
}

bool kivVideoPortBoot(const KivVideoPortConfig &config) {
    kivVideoPortShutdown();
    if (!g_sim.ioBase) g_sim.ioBase = reserveToken(kIoSpaceSize);
    if (!g_sim.vgaWindow) g_sim.vgaWindow = reserveToken(kiv::ZkChip::kVgaWindowSize);
    if (config.card != KivVideoCard::None) {
        kiv::ZkChipConfig cc;
        cc.kind = config.card == KivVideoCard::ZK4 ? kiv::ZkChipKind::ZK4 : kiv::ZkChipKind::ZK3;
        cc.memoryBytes = config.videoMemoryBytes;
        cc.bus128 = config.bus128;
        cc.crystal14318 = config.crystal14318;
        cc.scaledOutput = config.scaledOutput;
        cc.strapOverride = config.strapOverride;
        g_sim.chip = std::make_unique<kiv::ZkChip>(cc);
        if (config.prepareChip) config.prepareChip(*g_sim.chip);
        if (config.startZkgfx) kivZkgfxStart(g_sim.chip.get());
    }
    g_sim.registry = config.registry;
    PKIV_DRIVER_ENTRY entry = config.driverEntry ? config.driverEntry : loadMiniport(config.moduleName);
    if (!entry) return false;
    static char driverObject[64], registryPath[64];
    const ULONG status = entry(driverObject, registryPath);
    return status == 0 && g_sim.started;
}

BOOLEAN kivVideoPortStartIo(VIDEO_REQUEST_PACKET *packet) {
    if (!g_sim.started || !g_sim.hwData.HwStartIO) return FALSE;
    return g_sim.hwData.HwStartIO(g_sim.deviceExtension(), packet);
}

DWORD KivVideoPortDeviceIoControl(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize,
                                  DWORD *returned) {
    if (returned) *returned = 0;
    if (!g_sim.started) return ERROR_INVALID_FUNCTION;
    std::vector<uint8_t> system(std::max<DWORD>(std::max(inSize, outSize), 4), 0);
    if (in && inSize) std::memcpy(system.data(), in, inSize);
    STATUS_BLOCK status{ERROR_INVALID_FUNCTION, 0};
    VIDEO_REQUEST_PACKET packet{code, &status, system.data(), inSize, system.data(), outSize};
    g_sim.hwData.HwStartIO(g_sim.deviceExtension(), &packet);
    if (status.Status == NO_ERROR) {
        const DWORD n = std::min<DWORD>(status.Information, outSize);
        if (out && n) std::memcpy(out, system.data(), n);
        if (returned) *returned = n;
    }
    return status.Status;
}

// ---- VideoPort services ---------------------------------------------------------------------------

extern "C" {

ULONG WINAPI VideoPortInitialize(PVOID, PVOID, PVIDEO_HW_INITIALIZATION_DATA data, PVOID hwContext) {
    constexpr ULONG kNoSuchDevice = 0xC000000Eu;
    if (!data || data->HwInitDataSize < sizeof(VIDEO_HW_INITIALIZATION_DATA) || !data->HwFindAdapter ||
        !data->HwStartIO)
        return 0xC000000Du;   // invalid parameter
    g_sim.hwData = *data;
    g_sim.extension.assign(std::max<ULONG>(data->HwDeviceExtensionSize, 4), 0);
    VIDEO_PORT_CONFIG_INFO info{};
    info.Length = g_sim.configInfoLength;
    info.AdapterInterfaceType = data->AdapterInterfaceType;
    UCHAR again = TRUE;
    g_sim.findAdapterStatus = data->HwFindAdapter(g_sim.deviceExtension(), hwContext, nullptr, &info, &again);
    g_sim.configInfo = info;
    if (g_sim.findAdapterStatus != NO_ERROR) return kNoSuchDevice;
    if (data->HwInitialize && !data->HwInitialize(g_sim.deviceExtension())) return kNoSuchDevice;
    g_sim.started = true;
    return 0;
}

VP_STATUS WINAPI VideoPortGetAccessRanges(PVOID, ULONG, PVOID, ULONG numAccessRanges,
                                          PVIDEO_ACCESS_RANGE ranges, PVOID vendorId, PVOID deviceId,
                                          PULONG slot) {
    auto *chip = g_sim.chip.get();
    if (!chip || !vendorId || !deviceId) return ERROR_DEV_NOT_EXIST;
    if (*static_cast<USHORT *>(vendorId) != kiv::kZkPciVendorId ||
        *static_cast<USHORT *>(deviceId) != chip->pciDeviceId())
        return ERROR_DEV_NOT_EXIST;
    if (numAccessRanges < 2 || !ranges) return ERROR_MORE_DATA;
    const VIDEO_ACCESS_RANGE r0{{kKivRange0Physical, 0}, kiv::ZkChip::kApertureSize, 0, 1, 0, 0};
    const VIDEO_ACCESS_RANGE r1{{kKivRange1Physical, 0}, kiv::ZkChip::kFrameBufferSize, 0, 1, 0, 0};
    ranges[0] = r0;
    ranges[1] = r1;
    if (slot) *slot = kKivPciSlot;
    return NO_ERROR;
}

VP_STATUS WINAPI VideoPortVerifyAccessRanges(PVOID, ULONG count, PVIDEO_ACCESS_RANGE ranges) {
    if (g_sim.failVerifyAccessRanges) return ERROR_INVALID_PARAMETER;
    if (count && !ranges) return ERROR_INVALID_PARAMETER;
    g_sim.verifiedRanges.assign(ranges, ranges + count);
    return NO_ERROR;
}

PVOID WINAPI VideoPortGetDeviceBase(PVOID, VP_PHYSICAL_ADDRESS address, ULONG bytes, UCHAR inIoSpace) {
    const uint32_t phys = address.LowPart;
    if (address.HighPart != 0) return nullptr;
    if (std::find(g_sim.failDeviceBase.begin(), g_sim.failDeviceBase.end(), phys) != g_sim.failDeviceBase.end())
        return nullptr;
    uint8_t *p = nullptr;
    if (inIoSpace & kSpaceIo) {
        if (phys < kIoSpaceSize && kIoSpaceSize - phys >= bytes) p = g_sim.ioBase + phys;
    } else {
        p = physicalToHost(phys, bytes);
    }
    if (p) g_sim.deviceBases.push_back(KivVideoPortMapping{p, phys, bytes, inIoSpace, 0});
    return p;
}

void WINAPI VideoPortFreeDeviceBase(PVOID, PVOID mapped) {
    auto &v = g_sim.deviceBases;
    auto it = std::find_if(v.begin(), v.end(), [&](const KivVideoPortMapping &m) { return m.address == mapped; });
    if (it != v.end()) v.erase(it);
}

VP_STATUS WINAPI VideoPortMapMemory(PVOID, VP_PHYSICAL_ADDRESS address, PULONG length, PULONG inIoSpace,
                                    PVOID *virtualAddress) {
    if (!length || !inIoSpace || !virtualAddress) return ERROR_INVALID_PARAMETER;
    if (g_sim.failMapMemory || address.HighPart != 0) return ERROR_INVALID_PARAMETER;
    uint8_t *p = physicalToHost(address.LowPart, *length);
    if (!p) return ERROR_INVALID_PARAMETER;
    // A user-mode mapping names its process in the virtual-address argument.
    uint32_t process = 0;
    if (*inIoSpace & kSpaceUserMode) {
        process = uint32_t(reinterpret_cast<uintptr_t>(*virtualAddress));
        if (process == 0) return ERROR_INVALID_PARAMETER;
    }
    g_sim.mappings.push_back(KivVideoPortMapping{p, address.LowPart, *length, *inIoSpace, process});
    *virtualAddress = p;
    return NO_ERROR;
}

VP_STATUS WINAPI VideoPortUnmapMemory(PVOID, PVOID virtualAddress, HANDLE process) {
    auto &v = g_sim.mappings;
    // A mapping is named by its address and its process (none for a kernel mapping): views of the
    // same pages in the kernel and in processes share one address here, and unmapping the
    // kernel's must not take a process's view instead.
    const uint32_t proc = uint32_t(reinterpret_cast<uintptr_t>(process));
    auto it = std::find_if(v.begin(), v.end(), [&](const KivVideoPortMapping &m) {
        return m.address == virtualAddress && m.process == proc;
    });
    if (it == v.end()) return ERROR_INVALID_PARAMETER;
    v.erase(it);
    return NO_ERROR;
}

VP_STATUS WINAPI VideoPortGetRegistryParameters(PVOID ext, PVP_WSTR name, UCHAR,
                                                PMINIPORT_GET_REGISTRY_ROUTINE callback, PVOID context) {
    if (!name || !callback) return ERROR_INVALID_PARAMETER;
    auto it = g_sim.registry.find(wideName(name));
    if (it == g_sim.registry.end()) return ERROR_INVALID_PARAMETER;
    std::vector<uint8_t> data = it->second;   // the callback sees a copy, as the port hands it out
    return callback(ext, context, name, data.empty() ? nullptr : data.data(), ULONG(data.size()));
}

VP_STATUS WINAPI VideoPortSetRegistryParameters(PVOID, PVP_WSTR name, PVOID data, ULONG length) {
    if (!name || (length && !data)) return ERROR_INVALID_PARAMETER;
    const auto *bytes = static_cast<const uint8_t *>(data);
    g_sim.registry[wideName(name)].assign(bytes, bytes + length);
    g_sim.registryWrites.push_back(wideName(name));
    return NO_ERROR;
}

VP_STATUS WINAPI VideoPortInt10(PVOID, PVIDEO_X86_BIOS_ARGUMENTS args) {
    if (!args) return ERROR_INVALID_PARAMETER;
    g_sim.int10Eax.push_back(args->Eax);
    return NO_ERROR;
}

VP_STATUS WINAPI VideoPortSetTrappedEmulatorPorts(PVOID, ULONG count, PVIDEO_ACCESS_RANGE ranges) {
    if (count && !ranges) return ERROR_INVALID_PARAMETER;
    g_sim.trappedPorts.assign(ranges, ranges + count);
    return NO_ERROR;
}

UCHAR WINAPI VideoPortReadPortUchar(PUCHAR port) { return UCHAR(accessRead(port, 1)); }
USHORT WINAPI VideoPortReadPortUshort(PUSHORT port) { return USHORT(accessRead(port, 2)); }
void WINAPI VideoPortWritePortUchar(PUCHAR port, UCHAR value) { accessWrite(port, value, 1); }
void WINAPI VideoPortWritePortUshort(PUSHORT port, USHORT value) { accessWrite(port, value, 2); }
UCHAR WINAPI VideoPortReadRegisterUchar(PUCHAR reg) { return UCHAR(accessRead(reg, 1)); }
USHORT WINAPI VideoPortReadRegisterUshort(PUSHORT reg) { return USHORT(accessRead(reg, 2)); }
ULONG WINAPI VideoPortReadRegisterUlong(PULONG reg) { return accessRead(reg, 4); }
void WINAPI VideoPortWriteRegisterUchar(PUCHAR reg, UCHAR value) { accessWrite(reg, value, 1); }
void WINAPI VideoPortWriteRegisterUshort(PUSHORT reg, USHORT value) { accessWrite(reg, value, 2); }
void WINAPI VideoPortWriteRegisterUlong(PULONG reg, ULONG value) { accessWrite(reg, value, 4); }
void WINAPI VideoPortZeroMemory(PVOID dst, ULONG length) { std::memset(dst, 0, length); }
void WINAPI VideoPortMoveMemory(PVOID dst, PVOID src, ULONG length) { std::memmove(dst, src, length); }

}  // extern "C"
