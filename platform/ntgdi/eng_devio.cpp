// EngDeviceIoControl: the display driver's one path to its video miniport.
#include "platform/ntgdi/eng_internal.h"
#include "platform/videoprt/videoprt.h"

namespace {
KivEngIoObserver &observer() {
    static KivEngIoObserver o;
    return o;
}
KivEngIoInterceptor &interceptor() {
    static KivEngIoInterceptor i;
    return i;
}
}  // namespace

extern "C" DWORD APIENTRY EngDeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                             DWORD nInBufferSize, LPVOID lpOutBuffer,
                                             DWORD nOutBufferSize, LPDWORD lpBytesReturned) {
    DWORD returned = 0, status;
    if (hDevice != KIV_ENGINE_VIDEO_DEVICE) {
        status = ERROR_INVALID_HANDLE;
    } else if (!(interceptor() && interceptor()(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                                                nOutBufferSize, &returned, &status))) {
        status = KivVideoPortDeviceIoControl(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                                             nOutBufferSize, &returned);
    }
    if (lpBytesReturned) *lpBytesReturned = returned;
    if (observer()) observer()(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize, status);
    return status;
}

void kivEngSetIoObserver(KivEngIoObserver o) { observer() = std::move(o); }
void kivEngSetIoInterceptor(KivEngIoInterceptor i) { interceptor() = std::move(i); }
