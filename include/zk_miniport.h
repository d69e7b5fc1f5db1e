// Records and request codes exchanged between the display driver and the video miniport
// through the video port's device-control path (all METHOD_BUFFERED: one system buffer holds
// the input and then the output). Little-endian, 32-bit pointers.
#pragma once
#include <cstddef>
#include <cstdint>

static_assert(sizeof(void *) == 4, "these records hold 32-bit addresses");

// ---- standard video requests -----------------------------------------------------------------
#define IOCTL_VIDEO_ENABLE_VDM                 0x00230000u
#define IOCTL_VIDEO_SAVE_HARDWARE_STATE        0x00230200u
#define IOCTL_VIDEO_RESTORE_HARDWARE_STATE     0x00230204u
#define IOCTL_VIDEO_QUERY_AVAIL_MODES          0x00230400u
#define IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES      0x00230404u
#define IOCTL_VIDEO_QUERY_CURRENT_MODE         0x00230408u
#define IOCTL_VIDEO_SET_CURRENT_MODE           0x0023040Cu
#define IOCTL_VIDEO_RESET_DEVICE               0x00230410u
#define IOCTL_VIDEO_LOAD_AND_SET_FONT          0x00230414u
#define IOCTL_VIDEO_SET_PALETTE_REGISTERS      0x00230418u
#define IOCTL_VIDEO_SET_COLOR_REGISTERS        0x0023041Cu
#define IOCTL_VIDEO_SET_CURSOR_ATTR            0x00230428u
#define IOCTL_VIDEO_QUERY_CURSOR_ATTR          0x0023042Cu
#define IOCTL_VIDEO_SET_CURSOR_POSITION        0x00230430u
#define IOCTL_VIDEO_QUERY_CURSOR_POSITION      0x00230434u
#define IOCTL_VIDEO_GET_BANK_SELECT_CODE       0x00230454u
#define IOCTL_VIDEO_MAP_VIDEO_MEMORY           0x00230458u
#define IOCTL_VIDEO_UNMAP_VIDEO_MEMORY         0x0023045Cu
#define IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES 0x00230460u
#define IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES  0x00230464u
#define IOCTL_VIDEO_SHARE_VIDEO_MEMORY         0x00230474u
#define IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY       0x00230478u

// ---- private requests of the display driver (device type 0x23, buffered, any access) ----------
#define IOCTL_VIDEO_ZK_QUERY_CHIP_INFO         0x00232000u
#define IOCTL_VIDEO_ZK_QUERY_DMA_BUFFER_SIZE   0x0023200Cu
#define IOCTL_VIDEO_ZK_QUERY_TEXTURE_MEMORY    0x00232010u
#define IOCTL_VIDEO_ZK_QUERY_DMA_PUSH          0x00232014u
#define IOCTL_VIDEO_ZK_MAP_USER_FRAME_BUFFER   0x0023201Cu
#define IOCTL_VIDEO_ZK_ENABLE_WRITE_COMBINING  0x00232020u
#define IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG   0x00232024u
#define IOCTL_VIDEO_ZK_QUERY_IF09              0x00232028u
#define IOCTL_VIDEO_ZK_LOCK_USER_BUFFER        0x0023202Cu
#define IOCTL_VIDEO_ZK_UNLOCK_USER_BUFFER      0x00232030u
#define IOCTL_VIDEO_ZK_QUERY_HARDWARE_OPENGL   0x00232034u

// Chip codes (the chips' PCI device ids) and the chip flag reported in
// VIDEO_MODE_INFORMATION.DriverSpecificAttributeFlags of IOCTL_VIDEO_QUERY_CURRENT_MODE.
#define ZK_CHIP_CODE_ZK3  24u
#define ZK_CHIP_CODE_ZK4  32u
#define ZK_CHIP_FLAG_ZK3  0x20u
#define ZK_CHIP_FLAG_ZK4  0x40u

// VIDEO_MODE_INFORMATION.AttributeFlags
#define VIDEO_MODE_COLOR            0x0001u
#define VIDEO_MODE_GRAPHICS         0x0002u
#define VIDEO_MODE_PALETTE_DRIVEN   0x0004u
#define VIDEO_MODE_MANAGED_PALETTE  0x0008u

// InIoSpace words of memory mappings.
#define VIDEO_MEMORY_SPACE_MEMORY     0x00u
#define VIDEO_MEMORY_SPACE_IO         0x01u
#define VIDEO_MEMORY_SPACE_USER_MODE  0x02u
#define VIDEO_MEMORY_SPACE_DENSE      0x04u
#define VIDEO_MEMORY_SPACE_P6CACHE    0x08u

#pragma pack(push, 1)

typedef struct _VIDEO_MODE { uint32_t RequestedMode; } VIDEO_MODE;

// Word-aligned as the platform's own record is, so that its words are read where they lie.
typedef struct __attribute__((aligned(4))) _VIDEO_NUM_MODES { uint32_t NumModes, ModeInformationLength; } VIDEO_NUM_MODES;

typedef struct _VIDEO_MODE_INFORMATION {
    uint32_t Length;
    uint32_t ModeIndex;
    uint32_t VisScreenWidth, VisScreenHeight;
    uint32_t ScreenStride;
    uint32_t NumberOfPlanes, BitsPerPlane;
    uint32_t Frequency;
    uint32_t XMillimeter, YMillimeter;
    uint32_t NumberRedBits, NumberGreenBits, NumberBlueBits;
    uint32_t RedMask, GreenMask, BlueMask;
    uint32_t AttributeFlags;
    uint32_t VideoMemoryBitmapWidth, VideoMemoryBitmapHeight;
    uint32_t DriverSpecificAttributeFlags;
} VIDEO_MODE_INFORMATION;

typedef struct _VIDEO_MEMORY { uint32_t RequestedVirtualAddress; } VIDEO_MEMORY;

typedef struct _VIDEO_MEMORY_INFORMATION {
    uint32_t VideoRamBase, VideoRamLength, FrameBufferBase, FrameBufferLength;
} VIDEO_MEMORY_INFORMATION;

typedef struct _VIDEO_SHARE_MEMORY {
    uint32_t ProcessHandle, ViewOffset, ViewSize, RequestedVirtualAddress;
} VIDEO_SHARE_MEMORY;

typedef struct _VIDEO_SHARE_MEMORY_INFORMATION {
    uint32_t SharedViewOffset, SharedViewSize, VirtualAddress;
} VIDEO_SHARE_MEMORY_INFORMATION;

typedef struct _VIDEO_PUBLIC_ACCESS_RANGES {
    uint32_t InIoSpace, MappedInIoSpace, VirtualAddress;
} VIDEO_PUBLIC_ACCESS_RANGES;

// IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES answers twelve entries (144 bytes, buffer >= 156).
#define ZK_PUBLIC_RANGE_COUNT 12u
// IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES takes the mapped addresses at the query's entry
// positions: at least the first ten (40 bytes); entries 10 and 11 are freed too when the input
// carries them (48 bytes).
#define ZK_FREE_RANGES_MIN_INPUT  40u
#define ZK_FREE_RANGES_FULL_INPUT 48u

typedef struct _VIDEO_CLUTDATA { uint8_t Red, Green, Blue, Unused; } VIDEO_CLUTDATA;
typedef struct _VIDEO_CLUT {
    uint16_t NumEntries, FirstEntry;
    VIDEO_CLUTDATA LookupTable[1];   // NumEntries entries
} VIDEO_CLUT;

typedef struct _VIDEO_PALETTE_DATA {
    uint16_t NumEntries, FirstEntry;
    uint16_t Colors[1];              // NumEntries entries
} VIDEO_PALETTE_DATA;

typedef struct _VIDEO_LOAD_FONT_INFORMATION {
    uint16_t WidthInPixels, HeightInPixels;
    uint32_t FontSize;
    uint8_t Font[1];                 // FontSize bytes: 256 glyphs of HeightInPixels bytes
} VIDEO_LOAD_FONT_INFORMATION;

typedef struct _VIDEO_CURSOR_POSITION { int16_t Column, Row; } VIDEO_CURSOR_POSITION;

typedef struct _VIDEO_CURSOR_ATTRIBUTES {
    uint16_t Width, Height;
    int16_t Column, Row;
    uint8_t Rows, Enable;
} VIDEO_CURSOR_ATTRIBUTES;

typedef struct _VIDEO_HARDWARE_STATE_HEADER {
    uint32_t Length;
    uint8_t PortValue[0x30];
    uint32_t AttribIndexDataState;
    uint32_t BasicSequencerOffset, BasicCrtContOffset, BasicGraphContOffset, BasicAttribContOffset;
    uint32_t BasicDacOffset, BasicLatchesOffset;
    uint32_t ExtendedSequencerOffset, ExtendedCrtContOffset, ExtendedGraphContOffset;
    uint32_t ExtendedAttribContOffset, ExtendedDacOffset, ExtendedValidatorStateOffset;
    uint32_t ExtendedMiscDataOffset;
    uint32_t PlaneLength, Plane1Offset, Plane2Offset, Plane3Offset, Plane4Offset;
    uint32_t VGAStateFlags;
    uint32_t DIBOffset, DIBBitsPerPixel, DIBXResolution, DIBYResolution, DIBXlatOffset, DIBXlatLength;
} VIDEO_HARDWARE_STATE_HEADER;

typedef struct _VIDEO_HARDWARE_STATE {
    uint32_t StateHeader;            // address of the VIDEO_HARDWARE_STATE_HEADER block
    uint32_t StateLength;
} VIDEO_HARDWARE_STATE;

// The saved VGA state is this long (header, registers, DAC, latches, VDM state, four planes).
#define ZK_HARDWARE_STATE_SIZE 264359u

// IOCTL_VIDEO_ZK_LOCK_USER_BUFFER / IOCTL_VIDEO_ZK_UNLOCK_USER_BUFFER.
typedef struct _ZK_LOCKED_BUFFER {
    uint32_t Mdl;            // out (lock), in (unlock; cleared): 0 = nothing locked
    uint32_t Reserved;       // set to 0 by the lock
    uint32_t UserAddress;    // in: address of the buffer in the calling process
    uint32_t KernelAddress;  // out: system-space address of the same byte
    uint32_t Length;         // in/out: the caller's length, returned unchanged
} ZK_LOCKED_BUFFER;

// IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG output.
typedef struct _ZK_HARDWARE_CONFIG {
    uint32_t OutputKind, VisibleWidth, VisibleHeight, ScaleX, ScaleY, OutputMode;
    int32_t PictureOffsetX, PictureOffsetY;
} ZK_HARDWARE_CONFIG;

// IOCTL_VIDEO_ZK_QUERY_CHIP_INFO output.
typedef struct _ZK_CHIP_INFO { uint32_t ChipCode, ChipClass, UsableMemory; } ZK_CHIP_INFO;

#pragma pack(pop)

static_assert(sizeof(VIDEO_NUM_MODES) == 8);
static_assert(sizeof(VIDEO_MODE_INFORMATION) == 80);
static_assert(offsetof(VIDEO_MODE_INFORMATION, AttributeFlags) == 64);
static_assert(offsetof(VIDEO_MODE_INFORMATION, DriverSpecificAttributeFlags) == 76);
static_assert(sizeof(VIDEO_MEMORY_INFORMATION) == 16);
static_assert(sizeof(VIDEO_SHARE_MEMORY) == 16);
static_assert(sizeof(VIDEO_SHARE_MEMORY_INFORMATION) == 12);
static_assert(sizeof(VIDEO_PUBLIC_ACCESS_RANGES) == 12);
static_assert(offsetof(VIDEO_CLUT, LookupTable) == 4);
static_assert(offsetof(VIDEO_PALETTE_DATA, Colors) == 4);
static_assert(offsetof(VIDEO_LOAD_FONT_INFORMATION, Font) == 8);
static_assert(sizeof(VIDEO_CURSOR_POSITION) == 4);
static_assert(sizeof(VIDEO_CURSOR_ATTRIBUTES) == 10);
static_assert(sizeof(VIDEO_HARDWARE_STATE_HEADER) == 156);
static_assert(offsetof(VIDEO_HARDWARE_STATE_HEADER, BasicSequencerOffset) == 56);
static_assert(offsetof(VIDEO_HARDWARE_STATE_HEADER, PlaneLength) == 108);
static_assert(offsetof(VIDEO_HARDWARE_STATE_HEADER, VGAStateFlags) == 128);
static_assert(sizeof(VIDEO_HARDWARE_STATE) == 8);
static_assert(sizeof(ZK_LOCKED_BUFFER) == 20);
static_assert(offsetof(ZK_LOCKED_BUFFER, KernelAddress) == 12);
static_assert(sizeof(ZK_HARDWARE_CONFIG) == 32);
static_assert(sizeof(ZK_CHIP_INFO) == 12);
