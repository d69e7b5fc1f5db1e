// The NT video port as a miniport sees it: the records it exchanges with the miniport's
// callbacks and the VideoPort* services. Written for this project from how the miniport uses
// them. Kernel entry points use the platform's calling convention (stdcall on i386).
#pragma once
#include <cstddef>
#include <cstdint>
#include "platform/win32/win32.h"

typedef uint8_t UCHAR, BOOLEAN, *PUCHAR;
typedef uint16_t USHORT, *PUSHORT;
typedef ULONG *PULONG;
typedef void *PVOID;
typedef LONG VP_STATUS;          // a Win32 error code: NO_ERROR, ERROR_INVALID_PARAMETER ...
typedef char16_t VP_WCHAR;       // UTF-16 code unit of the kernel's strings
typedef VP_WCHAR *PVP_WSTR;

#ifndef NO_ERROR
#define NO_ERROR 0
#endif

// A 64-bit physical address held as two words (4-byte aligned, as the port lays it out).
typedef struct _VP_PHYSICAL_ADDRESS { ULONG LowPart; LONG HighPart; } VP_PHYSICAL_ADDRESS;

enum { Internal = 0, Isa = 1, Eisa = 2, MicroChannel = 3, TurboChannel = 4, PCIBus = 5 };

typedef struct _VIDEO_ACCESS_RANGE {
    VP_PHYSICAL_ADDRESS RangeStart;
    ULONG RangeLength;
    UCHAR RangeInIoSpace, RangeVisible, RangeShareable, Reserved;
} VIDEO_ACCESS_RANGE, *PVIDEO_ACCESS_RANGE;

typedef struct _VIDEO_PORT_CONFIG_INFO {
    ULONG Length;
    ULONG SystemIoBusNumber;
    ULONG AdapterInterfaceType;
    ULONG BusInterruptLevel;
    ULONG BusInterruptVector;
    ULONG InterruptMode;
    ULONG NumEmulatorAccessEntries;
    PVIDEO_ACCESS_RANGE EmulatorAccessEntries;
    ULONG EmulatorAccessEntriesContext;
    ULONG Reserved0;
    VP_PHYSICAL_ADDRESS VdmPhysicalVideoMemoryAddress;
    ULONG VdmPhysicalVideoMemoryLength;
    ULONG HardwareStateSize;
    ULONG DmaChannel, DmaPort;
    UCHAR DmaShareable, InterruptShareable, Reserved1[2];
    ULONG Reserved2;
} VIDEO_PORT_CONFIG_INFO, *PVIDEO_PORT_CONFIG_INFO;

typedef struct _STATUS_BLOCK { ULONG Status; ULONG Information; } STATUS_BLOCK, *PSTATUS_BLOCK;

typedef struct _VIDEO_REQUEST_PACKET {
    ULONG IoControlCode;
    PSTATUS_BLOCK StatusBlock;
    PVOID InputBuffer;
    ULONG InputBufferLength;
    PVOID OutputBuffer;
    ULONG OutputBufferLength;
} VIDEO_REQUEST_PACKET, *PVIDEO_REQUEST_PACKET;

typedef struct _VIDEO_X86_BIOS_ARGUMENTS {
    ULONG Eax, Ebx, Ecx, Edx, Esi, Edi, Ebp;
} VIDEO_X86_BIOS_ARGUMENTS, *PVIDEO_X86_BIOS_ARGUMENTS;

typedef VP_STATUS (WINAPI *PVIDEO_HW_FIND_ADAPTER)(PVOID HwDeviceExtension, PVOID HwContext,
                                                   PVP_WSTR ArgumentString,
                                                   PVIDEO_PORT_CONFIG_INFO ConfigInfo, PUCHAR Again);
typedef BOOLEAN (WINAPI *PVIDEO_HW_INITIALIZE)(PVOID HwDeviceExtension);
typedef BOOLEAN (WINAPI *PVIDEO_HW_INTERRUPT)(PVOID HwDeviceExtension);
typedef BOOLEAN (WINAPI *PVIDEO_HW_START_IO)(PVOID HwDeviceExtension, PVIDEO_REQUEST_PACKET Packet);
typedef BOOLEAN (WINAPI *PVIDEO_HW_RESET_HW)(PVOID HwDeviceExtension, ULONG Columns, ULONG Rows);
typedef void (WINAPI *PVIDEO_HW_TIMER)(PVOID HwDeviceExtension);

typedef struct _VIDEO_HW_INITIALIZATION_DATA {
    ULONG HwInitDataSize;
    ULONG AdapterInterfaceType;
    PVIDEO_HW_FIND_ADAPTER HwFindAdapter;
    PVIDEO_HW_INITIALIZE HwInitialize;
    PVIDEO_HW_INTERRUPT HwInterrupt;
    PVIDEO_HW_START_IO HwStartIO;
    ULONG HwDeviceExtensionSize;
    ULONG StartingDeviceNumber;
    PVIDEO_HW_RESET_HW HwResetHw;
    PVIDEO_HW_TIMER HwTimer;
} VIDEO_HW_INITIALIZATION_DATA, *PVIDEO_HW_INITIALIZATION_DATA;

typedef VP_STATUS (WINAPI *PMINIPORT_GET_REGISTRY_ROUTINE)(PVOID HwDeviceExtension, PVOID Context,
                                                           PVP_WSTR ValueName, PVOID ValueData,
                                                           ULONG ValueLength);

// The miniport image's entry point.
typedef ULONG (WINAPI *PKIV_DRIVER_ENTRY)(PVOID Context1, PVOID Context2);

extern "C" {
ULONG WINAPI VideoPortInitialize(PVOID Argument1, PVOID Argument2,
                                 PVIDEO_HW_INITIALIZATION_DATA HwInitializationData, PVOID HwContext);
VP_STATUS WINAPI VideoPortGetAccessRanges(PVOID HwDeviceExtension, ULONG NumRequestedResources,
                                          PVOID RequestedResources, ULONG NumAccessRanges,
                                          PVIDEO_ACCESS_RANGE AccessRanges, PVOID VendorId,
                                          PVOID DeviceId, PULONG Slot);
VP_STATUS WINAPI VideoPortVerifyAccessRanges(PVOID HwDeviceExtension, ULONG NumAccessRanges,
                                             PVIDEO_ACCESS_RANGE AccessRanges);
PVOID WINAPI VideoPortGetDeviceBase(PVOID HwDeviceExtension, VP_PHYSICAL_ADDRESS IoAddress,
                                    ULONG NumberOfUchars, UCHAR InIoSpace);
void WINAPI VideoPortFreeDeviceBase(PVOID HwDeviceExtension, PVOID MappedAddress);
VP_STATUS WINAPI VideoPortMapMemory(PVOID HwDeviceExtension, VP_PHYSICAL_ADDRESS PhysicalAddress,
                                    PULONG Length, PULONG InIoSpace, PVOID *VirtualAddress);
VP_STATUS WINAPI VideoPortUnmapMemory(PVOID HwDeviceExtension, PVOID VirtualAddress,
                                      HANDLE ProcessHandle);
VP_STATUS WINAPI VideoPortGetRegistryParameters(PVOID HwDeviceExtension, PVP_WSTR ParameterName,
                                                UCHAR IsParameterFileName,
                                                PMINIPORT_GET_REGISTRY_ROUTINE GetRegistryRoutine,
                                                PVOID HwContext);
VP_STATUS WINAPI VideoPortSetRegistryParameters(PVOID HwDeviceExtension, PVP_WSTR ValueName,
                                                PVOID ValueData, ULONG ValueLength);
VP_STATUS WINAPI VideoPortInt10(PVOID HwDeviceExtension, PVIDEO_X86_BIOS_ARGUMENTS BiosArguments);
VP_STATUS WINAPI VideoPortSetTrappedEmulatorPorts(PVOID HwDeviceExtension, ULONG NumAccessRanges,
                                                  PVIDEO_ACCESS_RANGE AccessRange);

UCHAR WINAPI VideoPortReadPortUchar(PUCHAR Port);
USHORT WINAPI VideoPortReadPortUshort(PUSHORT Port);
void WINAPI VideoPortWritePortUchar(PUCHAR Port, UCHAR Value);
void WINAPI VideoPortWritePortUshort(PUSHORT Port, USHORT Value);
UCHAR WINAPI VideoPortReadRegisterUchar(PUCHAR Register);
USHORT WINAPI VideoPortReadRegisterUshort(PUSHORT Register);
ULONG WINAPI VideoPortReadRegisterUlong(PULONG Register);
void WINAPI VideoPortWriteRegisterUchar(PUCHAR Register, UCHAR Value);
void WINAPI VideoPortWriteRegisterUshort(PUSHORT Register, USHORT Value);
void WINAPI VideoPortWriteRegisterUlong(PULONG Register, ULONG Value);
void WINAPI VideoPortZeroMemory(PVOID Destination, ULONG Length);
void WINAPI VideoPortMoveMemory(PVOID Destination, PVOID Source, ULONG Length);
}

static_assert(sizeof(VIDEO_HW_INITIALIZATION_DATA) == 40);
static_assert(sizeof(VIDEO_PORT_CONFIG_INFO) == 72);
static_assert(sizeof(VIDEO_ACCESS_RANGE) == 16);
static_assert(sizeof(VIDEO_REQUEST_PACKET) == 24);

// ---- the port itself: boot, requests, shutdown ---------------------------------------------------
#include <functional>
#include <map>
#include <string>
#include <vector>
#include "platform/zk3/zk3.h"

enum class KivVideoCard { None, ZK3, ZK4 };

struct KivVideoPortConfig {
    KivVideoCard card = KivVideoCard::ZK3;
    uint32_t videoMemoryBytes = 8u << 20;
    bool bus128 = false;
    bool crystal14318 = false;
    bool scaledOutput = false;
    int strapOverride = -1;
    // Called with the new chip before the miniport runs (tests set register state here).
    std::function<void(kiv::ZkChip &)> prepareChip;
    // The outside device \Device\zkgfx is present (it owns the card's channels).
    bool startZkgfx = true;
    // Registry values of the miniport's service key present at boot.
    std::map<std::u16string, std::vector<uint8_t>> registry;
    // The miniport image: loaded as a module by name ("kivport.dll" -> kivport.so), unless an
    // entry point is given (a program that links the miniport itself).
    const char *moduleName = "kivport.dll";
    PKIV_DRIVER_ENTRY driverEntry = nullptr;
};

// Creates the chip for the configured card, loads the miniport and calls its entry, which
// registers with VideoPortInitialize: HwFindAdapter, then HwInitialize. True when an adapter
// was found and initialised. A second boot shuts the first down.
bool kivVideoPortBoot(const KivVideoPortConfig &config);
// Why the last boot could not load the miniport's image (the file and the folders searched, or
// the loader's complaint); "" when it loaded or an entry point was given.
const char *kivVideoPortLoadError();
// One device-control request to the miniport (what EngDeviceIoControl calls): buffered, one
// system buffer of max(inSize, outSize); the output is copied back (and *returned set) only when
// the request succeeds. Returns the request's Win32 status; 1 (invalid function) without a
// started adapter.
DWORD KivVideoPortDeviceIoControl(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize,
                                  DWORD *returned);
// Unloads the miniport and drops the chip (live mappings are released).
void kivVideoPortShutdown();
