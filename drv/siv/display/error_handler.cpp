// sivd16's messages to the HAL, and the outside error-handler library it can have loaded.
#include "drv/siv/display/sivhal.h"

#include <cstring>

namespace {

constexpr DWORD kInterfaceVersion = 0x203;
constexpr DWORD kNameOffset = 4;

}  // namespace

DWORD HandleDriverMessage(DWORD context, DWORD message, BYTE *block) {
    switch (message) {
    case 0x10001:
        return kInterfaceVersion;
    case 0x10003:
        return CallErrorHandler(block);
    case 0x10004:
        return LoadErrorHandlerLibrary(context, block);
    case 0x10005:
        return FreeErrorHandlerLibrary();
    default:
        return kMsgNotHandled;
    }
}

DWORD LoadErrorHandlerLibrary(DWORD context, BYTE *block) {
    HalShared &s = Shared();
    if (!block)
        return kMsgBadName;
    const char *name = reinterpret_cast<const char *>(block + kNameOffset);
    // The name is kept in a 16-byte buffer: a longer one is refused before anything is loaded.
    size_t len = strnlen(name, sizeof s.errorHandlerName);
    if (len == 0 || len >= sizeof s.errorHandlerName)
        return kMsgBadName;
    if (s.errorHandlerName[0] && lstrcmpiA(s.errorHandlerName, name) != 0)
        return kMsgOtherLibrary;
    HMODULE module = LoadLibraryA(name);
    if (!module)
        return kMsgLoadFailed;
    auto critical = reinterpret_cast<PFN_CriticalErrorHandler>(GetProcAddress(module, "CriticalErrorHandler"));
    auto setup = reinterpret_cast<PFN_SetupCriticalErrorHandler>(GetProcAddress(module, "SetupCriticalErrorHandler"));
    if (!critical || !setup) {
        FreeLibrary(module);
        s.errorHandlerModule = nullptr;
        return kMsgMissingExport;
    }
    s.errorHandlerModule = module;
    s.pfnCriticalErrorHandler = critical;
    s.pfnSetupCriticalErrorHandler = setup;
    s.errorHandlerLoads += 1;
    lstrcpyA(s.errorHandlerName, name);
    DWORD value = Driver16Fn3(reinterpret_cast<void *>(static_cast<uintptr_t>(context)));
    return setup(block, context, value, reinterpret_cast<void *>(&Driver16Fn4));
}

DWORD FreeErrorHandlerLibrary() {
    HalShared &s = Shared();
    if (!s.errorHandlerModule || s.errorHandlerLoads <= 0)
        return kMsgNothingLoaded;
    s.errorHandlerLoads -= 1;
    BOOL freed = FreeLibrary(s.errorHandlerModule);
    if (s.errorHandlerLoads > 0)
        return kMsgStillLoaded;
    s.errorHandlerModule = nullptr;
    s.errorHandlerName[0] = 0;
    s.pfnCriticalErrorHandler = nullptr;
    s.pfnSetupCriticalErrorHandler = nullptr;
    return freed ? 0 : (kMsgFreeFailed | (GetLastError() & 0xFFFF));
}

DWORD CallErrorHandler(BYTE *block) {
    PFN_CriticalErrorHandler handler = Shared().pfnCriticalErrorHandler;
    if (!handler)
        return kMsgNotHandled;
    return handler(0, 0x10003, 0, 0, 4, block);
}
