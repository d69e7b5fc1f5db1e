// Device I/O: CreateFileA on a device path registered by an outside kernel device (e.g. the
// zkgfx stand-in), DeviceIoControl to it, CloseHandle ending the open.
#include "platform/win32/internal.h"

#include <cctype>
#include <map>
#include <mutex>

using namespace kiv::win32;

namespace {

struct Device {
    KivDeviceOps ops;
};

std::mutex &devLock() {
    static std::mutex m;
    return m;
}
std::map<std::string, std::shared_ptr<Device>> &devices() {
    static std::map<std::string, std::shared_ptr<Device>> d;
    return d;
}

std::string key(LPCSTR path) {
    std::string s(path ? path : "");
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct FileObject : KernelObject {
    FileObject() : KernelObject(Kind::File) {}
    ~FileObject() override {
        if (device->ops.close) device->ops.close(device->ops.context, cookie);
    }
    std::shared_ptr<Device> device;
    void *cookie = nullptr;
};

}  // namespace

extern "C" {

void kivRegisterDevice(LPCSTR path, const KivDeviceOps *ops) {
    std::lock_guard<std::mutex> g(devLock());
    if (ops) devices()[key(path)] = std::make_shared<Device>(Device{*ops});
    else devices().erase(key(path));
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD, void *, DWORD disposition, DWORD, HANDLE) {
    std::shared_ptr<Device> dev;
    {
        std::lock_guard<std::mutex> g(devLock());
        auto it = devices().find(key(path));
        if (it != devices().end()) dev = it->second;
    }
    if (!dev) {  // only devices exist in the stand-in's file system
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition != OPEN_EXISTING) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    void *cookie = nullptr;
    if (dev->ops.open) {
        SetLastError(ERROR_SUCCESS);
        cookie = dev->ops.open(dev->ops.context, access);
        if (!cookie) {
            if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    auto f = std::make_shared<FileObject>();
    f->device = dev;
    f->cookie = cookie;
    return insertHandle(f);
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                            LPDWORD returned, void *) {
    auto f = lookup<FileObject>(device, Kind::File);
    if (!f) return FALSE;
    DWORD dummy = 0;
    if (!returned) returned = &dummy;
    *returned = 0;
    if (!f->device->ops.control) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    return f->device->ops.control(f->device->ops.context, f->cookie, code, in, inSize, out, outSize, returned);
}

}  // extern "C"
