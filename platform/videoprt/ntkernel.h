// Kernel services a miniport calls beside the video port: memory descriptor lists over the
// simulated address space (with its user/kernel boundary), the object manager's named devices
// and reference counts, and device-control requests to another driver. Our own declarations.
//
// The simulated machine has one address space: a locked page's system address is its host
// address. What the simulation adds is the page map: memory is user memory or kernel memory
// only once registered (kivUserMemoryMap / kivKernelMemoryMap); probing anything else faults.
#pragma once
#include <cstddef>
#include <cstdint>
#include "platform/videoprt/videoprt.h"

typedef LONG NTSTATUS;
#define KIV_NT_SUCCESS(s) ((NTSTATUS)(s) >= 0)
#define STATUS_SUCCESS                ((NTSTATUS)0x00000000)
#define STATUS_ACCESS_VIOLATION       ((NTSTATUS)0xC0000005)
#define STATUS_INVALID_PARAMETER      ((NTSTATUS)0xC000000D)
#define STATUS_INVALID_DEVICE_REQUEST ((NTSTATUS)0xC0000010)
#define STATUS_OBJECT_NAME_NOT_FOUND  ((NTSTATUS)0xC0000034)
#define STATUS_INSUFFICIENT_RESOURCES ((NTSTATUS)0xC000009A)

typedef enum { KernelMode = 0, UserMode = 1 } KPROCESSOR_MODE;
typedef enum { IoReadAccess = 0, IoWriteAccess = 1, IoModifyAccess = 2 } LOCK_OPERATION;

#define MDL_MAPPED_TO_SYSTEM_VA     0x0001
#define MDL_PAGES_LOCKED            0x0002
#define MDL_SOURCE_IS_NONPAGED_POOL 0x0004

typedef struct _MDL {
    struct _MDL *Next;
    USHORT Size;
    USHORT MdlFlags;
    PVOID Process;
    PVOID MappedSystemVa;
    PVOID StartVa;        // page-aligned start
    ULONG ByteCount;
    ULONG ByteOffset;     // offset of the first byte in its page
} MDL, *PMDL;

typedef struct _UNICODE_STRING {
    USHORT Length, MaximumLength;
    VP_WCHAR *Buffer;
} UNICODE_STRING, *PUNICODE_STRING;

typedef struct _IO_STATUS_BLOCK { NTSTATUS Status; ULONG Information; } IO_STATUS_BLOCK, *PIO_STATUS_BLOCK;

struct KivDeviceObject;
struct KivFileObject;
struct KivIrp;
typedef KivDeviceObject DEVICE_OBJECT, *PDEVICE_OBJECT;
typedef KivFileObject FILE_OBJECT, *PFILE_OBJECT;
typedef KivIrp IRP, *PIRP;

// A kernel exception raised by MmProbeAndLockPages; kernel code catches it where it would
// have its exception frame.
struct KivKernelException { NTSTATUS status; };

extern "C" {
PMDL WINAPI IoAllocateMdl(PVOID VirtualAddress, ULONG Length, BOOLEAN SecondaryBuffer, BOOLEAN ChargeQuota, PIRP Irp);
void WINAPI IoFreeMdl(PMDL Mdl);
void WINAPI MmProbeAndLockPages(PMDL Mdl, KPROCESSOR_MODE AccessMode, LOCK_OPERATION Operation);
PVOID WINAPI MmMapLockedPages(PMDL Mdl, KPROCESSOR_MODE AccessMode);
void WINAPI MmUnlockPages(PMDL Mdl);

void WINAPI RtlInitUnicodeString(PUNICODE_STRING Destination, const VP_WCHAR *Source);
NTSTATUS WINAPI IoGetDeviceObjectPointer(PUNICODE_STRING ObjectName, ULONG DesiredAccess,
                                         PFILE_OBJECT *FileObject, PDEVICE_OBJECT *DeviceObject);
NTSTATUS WINAPI ObReferenceObjectByPointer(PVOID Object, ULONG DesiredAccess, PVOID ObjectType,
                                           KPROCESSOR_MODE AccessMode);
// Dereference (fastcall on the platform; one pointer argument here).
LONG WINAPI ObfDereferenceObject(PVOID Object);
PIRP WINAPI IoBuildDeviceIoControlRequest(ULONG IoControlCode, PDEVICE_OBJECT DeviceObject, PVOID InputBuffer,
                                          ULONG InputBufferLength, PVOID OutputBuffer, ULONG OutputBufferLength,
                                          BOOLEAN InternalDeviceIoControl, PVOID Event,
                                          PIO_STATUS_BLOCK IoStatusBlock);
// Passes the request to the device's driver; the simulated drivers complete synchronously.
NTSTATUS WINAPI IofCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp);
}

// ---- the simulation side ---------------------------------------------------------------------------

// Registers [base, base + length) (whole pages) as memory of the calling process (user) or of the
// system (kernel); unmapping removes the pages again.
void kivUserMemoryMap(const void *base, size_t length);
void kivUserMemoryUnmap(const void *base, size_t length);
void kivKernelMemoryMap(const void *base, size_t length);
void kivKernelMemoryUnmap(const void *base, size_t length);
void kivKernelMemoryReset();   // forgets every registered page
// On the booted machine the application is the one client process: a page not registered as
// kernel memory is its user memory when the process has it mapped with the access a lock asks
// for (read, or read and write). Off (the default), only registered pages are user memory.
// Either way a probe refuses a range that runs past the top of the 4 GB address space.
void kivUserMemoryByDefault(bool on);

// A device's request handler: code, the request's buffer(s), and the bytes it returns.
typedef NTSTATUS (*KivDeviceDispatch)(void *context, ULONG code, void *input, ULONG inputLength, void *output,
                                      ULONG outputLength, ULONG *information);
// Creates a named device object (one reference, the creator's) / deletes it by name.
PDEVICE_OBJECT kivKernelCreateDevice(const char16_t *name, KivDeviceDispatch dispatch, void *context);
void kivKernelDeleteDevice(const char16_t *name);
LONG kivKernelReferenceCount(const void *object);   // -1 for an unknown object

struct KivKernelCounters {
    int liveMdls = 0;            // allocated and not freed
    int lockedMdls = 0;          // locked and not unlocked
    int liveFileObjects = 0;
    int liveIrps = 0;
};
KivKernelCounters kivKernelCounters();
// Test switch: the next IoBuildDeviceIoControlRequest calls fail (n of them).
void kivKernelFailIrpBuilds(int n);
// Test switch: the next IoAllocateMdl calls fail (n of them).
void kivKernelFailMdlAllocations(int n);
