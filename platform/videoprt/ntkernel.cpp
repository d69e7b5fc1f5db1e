// Kernel services: MDLs over the simulated page map, the object manager, device-control IRPs.
#include "platform/videoprt/ntkernel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct KivDeviceObject {
    std::u16string name;
    KivDeviceDispatch dispatch;
    void *context;
    LONG references;
};
struct KivFileObject {
    PDEVICE_OBJECT device;
    LONG references;
};
struct KivIrp {
    ULONG code;
    PVOID input, output;
    ULONG inputLength, outputLength;
    PIO_STATUS_BLOCK status;
};

namespace {

constexpr uintptr_t kPage = 0x1000;
constexpr uint64_t kAddressSpaceEnd = uint64_t(1) << 32;

std::recursive_mutex g_lock;
std::set<uintptr_t> g_userPages, g_kernelPages;
std::map<std::u16string, PDEVICE_OBJECT> g_devices;
std::map<const void *, bool> g_objects;   // live objects: true = device, false = file
std::set<PMDL> g_mdls;
KivKernelCounters g_counters;
int g_failIrps = 0, g_failMdls = 0;

void mapPages(std::set<uintptr_t> &pages, const void *base, size_t length, bool add) {
    const uint64_t first = reinterpret_cast<uintptr_t>(base) & ~(kPage - 1);
    const uint64_t end = std::min<uint64_t>(uint64_t(reinterpret_cast<uintptr_t>(base)) + length, kAddressSpaceEnd);
    std::lock_guard<std::recursive_mutex> g(g_lock);
    for (uint64_t p = first; p < end; p += kPage) {
        if (add) pages.insert(uintptr_t(p));
        else pages.erase(uintptr_t(p));
    }
}

bool g_userByDefault = false;

// The process's own mappings as the host kernel lists them: [start, end) and the access.
struct HostMapping {
    uint64_t start, end;
    bool read, write;
};
std::vector<HostMapping> hostMappings() {
    std::vector<HostMapping> out;
    FILE *f = std::fopen("/proc/self/maps", "r");
    if (!f) return out;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        unsigned long long start = 0, end = 0;
        char perms[8] = {};
        if (std::sscanf(line, "%llx-%llx %7s", &start, &end, perms) == 3 && end <= kAddressSpaceEnd)
            out.push_back({start, end, perms[0] == 'r', perms[1] == 'w'});
        if (!std::strchr(line, '\n'))   // a long file name: the rest of its line is not a mapping
            for (int c = std::fgetc(f); c != EOF && c != '\n'; c = std::fgetc(f)) {
            }
    }
    std::fclose(f);
    return out;
}
bool hostAllows(const std::vector<HostMapping> &mappings, uintptr_t page, bool write) {
    for (const HostMapping &m : mappings)
        if (page >= m.start && page < m.end) return m.read && (!write || m.write);
    return false;
}

LONG *referencesOf(const void *object) {
    auto it = g_objects.find(object);
    if (it == g_objects.end()) return nullptr;
    void *o = const_cast<void *>(object);
    return it->second ? &static_cast<KivDeviceObject *>(o)->references : &static_cast<KivFileObject *>(o)->references;
}

}  // namespace

void kivUserMemoryMap(const void *base, size_t length) { mapPages(g_userPages, base, length, true); }
void kivUserMemoryUnmap(const void *base, size_t length) { mapPages(g_userPages, base, length, false); }
void kivKernelMemoryMap(const void *base, size_t length) { mapPages(g_kernelPages, base, length, true); }
void kivKernelMemoryUnmap(const void *base, size_t length) { mapPages(g_kernelPages, base, length, false); }
void kivUserMemoryByDefault(bool on) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    g_userByDefault = on;
}
void kivKernelMemoryReset() {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    g_userPages.clear();
    g_kernelPages.clear();
}

KivKernelCounters kivKernelCounters() {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    return g_counters;
}
void kivKernelFailIrpBuilds(int n) { g_failIrps = n; }
void kivKernelFailMdlAllocations(int n) { g_failMdls = n; }

PDEVICE_OBJECT kivKernelCreateDevice(const char16_t *name, KivDeviceDispatch dispatch, void *context) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    if (g_devices.count(name)) return nullptr;
    auto *dev = new KivDeviceObject{name, dispatch, context, 1};
    g_devices[name] = dev;
    g_objects[dev] = true;
    return dev;
}

void kivKernelDeleteDevice(const char16_t *name) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    auto it = g_devices.find(name);
    if (it == g_devices.end()) return;
    // The name goes away; the object lives on while others hold references to it.
    PDEVICE_OBJECT dev = it->second;
    g_devices.erase(it);
    dev->dispatch = nullptr;
    if (--dev->references <= 0) {
        g_objects.erase(dev);
        delete dev;
    }
}

LONG kivKernelReferenceCount(const void *object) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    LONG *r = referencesOf(object);
    return r ? *r : -1;
}

extern "C" {

PMDL WINAPI IoAllocateMdl(PVOID va, ULONG length, BOOLEAN, BOOLEAN, PIRP) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    if (g_failMdls > 0) {
        --g_failMdls;
        return nullptr;
    }
    if (length == 0) return nullptr;
    auto *mdl = new MDL{};
    mdl->Size = sizeof(MDL);
    mdl->StartVa = reinterpret_cast<PVOID>(reinterpret_cast<uintptr_t>(va) & ~(kPage - 1));
    mdl->ByteOffset = ULONG(reinterpret_cast<uintptr_t>(va) & (kPage - 1));
    mdl->ByteCount = length;
    g_mdls.insert(mdl);
    ++g_counters.liveMdls;
    return mdl;
}

void WINAPI IoFreeMdl(PMDL mdl) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    if (!g_mdls.erase(mdl)) return;   // not an MDL of ours: ignore rather than corrupt
    if (mdl->MdlFlags & MDL_PAGES_LOCKED) --g_counters.lockedMdls;
    --g_counters.liveMdls;
    delete mdl;
}

void WINAPI MmProbeAndLockPages(PMDL mdl, KPROCESSOR_MODE mode, LOCK_OPERATION operation) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    if (!mdl || !g_mdls.count(mdl)) throw KivKernelException{STATUS_INVALID_PARAMETER};
    const uint64_t first = reinterpret_cast<uintptr_t>(mdl->StartVa);
    const uint64_t end = first + mdl->ByteOffset + mdl->ByteCount;
    // A range that runs past the top of the address space names no memory at all.
    if (end > kAddressSpaceEnd) throw KivKernelException{STATUS_ACCESS_VIOLATION};
    const bool write = operation != IoReadAccess;
    std::vector<HostMapping> host;
    if (g_userByDefault) host = hostMappings();
    for (uint64_t p = first; p < end; p += kPage) {
        const bool kernel = g_kernelPages.count(uintptr_t(p)) != 0;
        // On the booted machine a page is the program's when the process really has it mapped
        // with the access the lock asks for; kernel pages never are.
        const bool user = g_userPages.count(uintptr_t(p)) != 0 ||
                          (g_userByDefault && !kernel && hostAllows(host, uintptr_t(p), write));
        // A user-mode probe accepts user pages only; a kernel-mode probe any mapped page.
        if (mode == UserMode ? !user : !(user || kernel)) throw KivKernelException{STATUS_ACCESS_VIOLATION};
    }
    if (!(mdl->MdlFlags & MDL_PAGES_LOCKED)) ++g_counters.lockedMdls;
    mdl->MdlFlags |= MDL_PAGES_LOCKED;
}

PVOID WINAPI MmMapLockedPages(PMDL mdl, KPROCESSOR_MODE) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    if (!mdl || !(mdl->MdlFlags & MDL_PAGES_LOCKED)) return nullptr;
    mdl->MdlFlags |= MDL_MAPPED_TO_SYSTEM_VA;
    mdl->MappedSystemVa = mdl->StartVa;   // one address space: the pages' own address
    return mdl->MappedSystemVa;
}

void WINAPI MmUnlockPages(PMDL mdl) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    if (!mdl || !g_mdls.count(mdl) || !(mdl->MdlFlags & MDL_PAGES_LOCKED)) return;
    mdl->MdlFlags &= ~(MDL_PAGES_LOCKED | MDL_MAPPED_TO_SYSTEM_VA);
    mdl->MappedSystemVa = nullptr;
    --g_counters.lockedMdls;
}

void WINAPI RtlInitUnicodeString(PUNICODE_STRING dst, const VP_WCHAR *src) {
    size_t n = 0;
    if (src)
        while (src[n]) ++n;
    dst->Length = USHORT(n * 2);
    dst->MaximumLength = USHORT(src ? n * 2 + 2 : 0);
    dst->Buffer = const_cast<VP_WCHAR *>(src);
}

NTSTATUS WINAPI IoGetDeviceObjectPointer(PUNICODE_STRING name, ULONG, PFILE_OBJECT *file, PDEVICE_OBJECT *device) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    if (!name || !name->Buffer || !file || !device) return STATUS_INVALID_PARAMETER;
    auto it = g_devices.find(std::u16string(name->Buffer, name->Length / 2));
    if (it == g_devices.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
    // The file object holds a reference on the device; the caller owns the file object's.
    auto *fo = new KivFileObject{it->second, 1};
    ++it->second->references;
    g_objects[fo] = false;
    ++g_counters.liveFileObjects;
    *file = fo;
    *device = it->second;
    return STATUS_SUCCESS;
}

NTSTATUS WINAPI ObReferenceObjectByPointer(PVOID object, ULONG, PVOID, KPROCESSOR_MODE) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    LONG *r = referencesOf(object);
    if (!r) return STATUS_INVALID_PARAMETER;
    ++*r;
    return STATUS_SUCCESS;
}

LONG WINAPI ObfDereferenceObject(PVOID object) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    auto it = g_objects.find(object);
    if (it == g_objects.end()) return -1;
    if (it->second) {
        auto *dev = static_cast<KivDeviceObject *>(object);
        const LONG left = --dev->references;
        if (left <= 0 && !g_devices.count(dev->name)) {
            g_objects.erase(dev);
            delete dev;
        }
        return left;
    }
    auto *fo = static_cast<KivFileObject *>(object);
    const LONG left = --fo->references;
    if (left == 0) {
        PDEVICE_OBJECT dev = fo->device;
        g_objects.erase(fo);
        --g_counters.liveFileObjects;
        delete fo;
        ObfDereferenceObject(dev);   // the file object's reference on its device
    }
    return left;
}

PIRP WINAPI IoBuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, PVOID input, ULONG inputLength,
                                          PVOID output, ULONG outputLength, BOOLEAN, PVOID,
                                          PIO_STATUS_BLOCK status) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    if (g_failIrps > 0) {
        --g_failIrps;
        return nullptr;
    }
    if (!device || !g_objects.count(device) || !status) return nullptr;
    ++g_counters.liveIrps;
    return new KivIrp{code, input, output, inputLength, outputLength, status};
}

NTSTATUS WINAPI IofCallDriver(PDEVICE_OBJECT device, PIRP irp) {
    KivDeviceDispatch dispatch = nullptr;
    void *context = nullptr;
    {
        std::lock_guard<std::recursive_mutex> g(g_lock);
        if (!irp) return STATUS_INVALID_PARAMETER;
        if (device && g_objects.count(device)) {
            dispatch = device->dispatch;
            context = device->context;
        }
    }
    ULONG information = 0;
    const NTSTATUS status = dispatch ? dispatch(context, irp->code, irp->input, irp->inputLength, irp->output,
                                                irp->outputLength, &information)
                                     : STATUS_INVALID_DEVICE_REQUEST;
    irp->status->Status = status;
    irp->status->Information = information;
    std::lock_guard<std::recursive_mutex> g(g_lock);
    --g_counters.liveIrps;
    delete irp;
    return status;
}

}  // extern "C"
