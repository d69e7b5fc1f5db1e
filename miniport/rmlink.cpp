// The link to the outside device zkgfx and the relay of the display driver's request blocks.
#include "miniport/kivport.h"
#include "platform/videoprt/ntkernel.h"

namespace {
PDEVICE_OBJECT g_device;   // both referenced once while the link is open
PFILE_OBJECT g_file;
VP_WCHAR kDeviceName[] = u"\\Device\\zkgfx";

bool forward(ULONG code, void *block, ULONG length, NTSTATUS *callStatus) {
    *callStatus = STATUS_INVALID_DEVICE_REQUEST;
    if (!g_device) return false;   // no link: nobody to call
    IO_STATUS_BLOCK iosb{};
    PIRP irp = IoBuildDeviceIoControlRequest(code, g_device, block, length, block, length, FALSE, nullptr, &iosb);
    if (!irp) return false;
    *callStatus = IofCallDriver(g_device, irp);
    return true;
}

// The block address sits in the request's first input dword.
void *blockOf(PVIDEO_REQUEST_PACKET packet) {
    if (!packet->InputBuffer || packet->InputBufferLength < 4) return nullptr;
    return reinterpret_cast<void *>(uintptr_t(ZkLoadUlong(packet->InputBuffer)));
}
}  // namespace

void ZkResetRmLink() {
    g_device = nullptr;
    g_file = nullptr;
}

bool ZkRmLinkOpen() { return g_device != nullptr; }

bool ZkOpenRmLink() {
    if (g_device || g_file) ZkCloseRmLink();   // a second open must not leak the first link
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, kDeviceName);
    PFILE_OBJECT file = nullptr;
    PDEVICE_OBJECT device = nullptr;
    if (!KIV_NT_SUCCESS(IoGetDeviceObjectPointer(&name, ZKGFX_LINK_ACCESS, &file, &device))) return false;
    if (!KIV_NT_SUCCESS(ObReferenceObjectByPointer(device, ZKGFX_LINK_ACCESS, nullptr, KernelMode))) {
        ObfDereferenceObject(file);
        return false;
    }
    g_device = device;
    g_file = file;
    return true;
}

bool ZkCloseRmLink() {
    if (g_device) ObfDereferenceObject(g_device);
    if (g_file) ObfDereferenceObject(g_file);
    g_device = nullptr;
    g_file = nullptr;
    return true;
}

bool ZkForwardRmRequest(PVIDEO_REQUEST_PACKET packet) {
    void *block = blockOf(packet);
    if (!block || !g_device) return false;
    NTSTATUS status;
    forward(packet->IoControlCode, block, packet->OutputBufferLength, &status);
    return true;
}

VP_STATUS ZkForwardRmRequestFixed(PVIDEO_REQUEST_PACKET packet, ULONG length, ULONG statusOffset) {
    void *block = blockOf(packet);
    if (!block) return ERROR_INVALID_PARAMETER;
    // The block is as long as the caller says (the output length): a shorter one than the
    // request's record is neither forwarded nor written.
    if (packet->OutputBufferLength < length) return ERROR_INSUFFICIENT_BUFFER;
    NTSTATUS status;
    // The caller judges the request by the block's status word: a call that did not happen or
    // failed must read as a failure there.
    if (!forward(packet->IoControlCode, block, length, &status) || !KIV_NT_SUCCESS(status))
        ZkStoreUlong(static_cast<UCHAR *>(block) + statusOffset, 1);
    return g_device != nullptr ? NO_ERROR : ERROR_INVALID_PARAMETER;
}

bool ZkSendRmNotice(ZK_DEVICE_EXTENSION *, ULONG code, ZK_RM_MODESET_PARAMS *params) {
    NTSTATUS status;
    return forward(code, params, sizeof *params, &status) && KIV_NT_SUCCESS(status);
}
