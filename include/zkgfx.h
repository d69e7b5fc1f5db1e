// Requests to the outside kernel device zkgfx, which owns the ZK3's channels, objects, DMA
// contexts and notifiers. The OpenGL driver sends them with DeviceIoControl on
// ZKGFX_USER_PATH; the display driver sends them to the miniport, which relays each block
// unchanged (input dword 0 = the block's address, output length = the block's size). Every
// block is both input and output and ends in a status word written by zkgfx: 0 = success.
#pragma once
#include <cstddef>
#include <cstdint>

static_assert(sizeof(void *) == 4, "these records hold 32-bit addresses");

#define ZKGFX_DEVICE_NAME u"\\Device\\zkgfx"   // kernel object name (the miniport's link)
#define ZKGFX_USER_PATH   "\\\\.\\ZKGFX"         // path the OpenGL driver opens

// Access mask of the miniport's link to the device.
#define ZKGFX_LINK_ACCESS 0x001F01FFu

#define ZK_RM_GET_DEVICE_NAME        0x80012000u
#define ZK_RM_CREATE_MEMORY_OBJECT   0x80022000u
#define ZK_RM_FREE_OBJECT            0x80032000u
#define ZK_RM_OPEN_DMA_CHANNEL       0x80072000u
#define ZK_RM_OPEN_FIFO_CHANNEL      0x80082000u
#define ZK_RM_CLOSE_FIFO_CHANNEL     0x80092000u
#define ZK_RM_CLOSE_DMA_CHANNEL      0x800B2000u
#define ZK_RM_GET_MEMORY_REGION      0x800E2000u
#define ZK_RM_RELEASE_MEMORY_REGION  0x800F2000u
#define ZK_RM_REQUEST_16             0x80102000u
#define ZK_RM_CONTROL                0x80FF2000u
#define ZK_RM_OPEN_LINK              0x81002000u   // miniport only: no buffers
#define ZK_RM_CLOSE_LINK             0x81012000u   // miniport only: no buffers
#define ZK_RM_NOTIFY_POST_MODESET    0x90002000u   // miniport -> zkgfx around each mode set
#define ZK_RM_NOTIFY_PRE_MODESET     0x90012000u

// Memory-object classes.
#define ZK_RM_CLASS_BUFFER        2u
#define ZK_RM_CLASS_NOTIFIER      3u
#define ZK_RM_CLASS_VIDEO_MEMORY  61u

// Region names of ZK_RM_GET_MEMORY_REGION.
#define ZK_RM_REGION_FRAME_BUFFER "frame buffer"
#define ZK_RM_REGION_CURSOR       "cursor"

#define ZK_RM_DEVICE_NAME_SIZE 128u

#pragma pack(push, 1)

typedef struct _ZK_RM_DEVICE_NAME_PARAMS {      // ZK_RM_GET_DEVICE_NAME
    uint16_t DeviceIndex;
    uint16_t Pad;
    uint32_t NameBuffer;     // address of the caller's name buffer
    uint16_t BufferSize;     // 128
    uint16_t Status;
} ZK_RM_DEVICE_NAME_PARAMS;

typedef struct _ZK_RM_MEMORY_OBJECT_PARAMS {    // ZK_RM_CREATE_MEMORY_OBJECT
    uint32_t Handle;         // chosen by the caller
    uint32_t Class;
    uint32_t Base;           // address in the caller's process
    uint32_t Limit;          // size - 1
    uint16_t Flags;          // 0
    uint16_t Status;
} ZK_RM_MEMORY_OBJECT_PARAMS;

typedef struct _ZK_RM_OBJECT_HANDLE_PARAMS {    // ZK_RM_FREE_OBJECT
    uint32_t Handle;
    uint16_t Status;
    uint16_t Pad;
} ZK_RM_OBJECT_HANDLE_PARAMS;

typedef struct _ZK_RM_FIFO_CHANNEL_PARAMS {     // ZK_RM_OPEN_FIFO_CHANNEL (16 bytes)
    uint16_t DeviceIndex;
    uint16_t Pad;
    uint32_t Argument;       // 0
    uint32_t FifoAddress;    // out
    uint16_t Status;
    uint16_t Pad2;
} ZK_RM_FIFO_CHANNEL_PARAMS;

typedef struct _ZK_RM_CLOSE_FIFO_CHANNEL_PARAMS {   // ZK_RM_CLOSE_FIFO_CHANNEL (12 bytes)
    uint16_t DeviceIndex;
    uint16_t Pad;
    uint32_t FifoAddress;    // as returned by the open
    uint16_t Status;
    uint16_t Pad2;
} ZK_RM_CLOSE_FIFO_CHANNEL_PARAMS;

typedef struct _ZK_RM_DMA_CHANNEL_PARAMS {      // ZK_RM_OPEN_DMA_CHANNEL (36 bytes)
    uint32_t ChannelHandle;  // chosen by the caller
    uint32_t DeviceIndex;
    uint32_t Reserved0;      // 0
    uint32_t NotifierObject;
    uint32_t PushBufferObject;
    uint32_t Reserved1;      // 0
    uint32_t Reserved2[2];
    uint32_t Status;         // offset 32
} ZK_RM_DMA_CHANNEL_PARAMS;

typedef struct _ZK_RM_CLOSE_DMA_CHANNEL_PARAMS {    // ZK_RM_CLOSE_DMA_CHANNEL (12 bytes)
    uint16_t DeviceIndex;
    uint16_t Pad;
    uint32_t ChannelHandle;
    uint16_t Status;
    uint16_t Pad2;
} ZK_RM_CLOSE_DMA_CHANNEL_PARAMS;

typedef struct _ZK_RM_MEMORY_REGION_PARAMS {    // ZK_RM_GET_MEMORY_REGION
    uint32_t Name;           // address of a NUL-terminated region name
    uint32_t Address;        // in/out
    uint32_t Size;           // in/out
    uint16_t Status;
    uint16_t Pad;
} ZK_RM_MEMORY_REGION_PARAMS;

typedef struct _ZK_RM_RELEASE_REGION_PARAMS {   // ZK_RM_RELEASE_MEMORY_REGION (8 bytes)
    uint32_t Address;
    uint16_t Status;
    uint16_t Pad;
} ZK_RM_RELEASE_REGION_PARAMS;

typedef struct _ZK_RM_CONTROL_PARAMS {          // ZK_RM_CONTROL
    uint32_t Target;         // e.g. a DMA channel handle
    uint32_t Function;       // 0: query the channel's three words
    uint32_t InParams;       // address
    uint32_t OutParams;      // address
    uint32_t Status;         // offset 16
} ZK_RM_CONTROL_PARAMS;

typedef struct _ZK_RM_MODESET_PARAMS {          // ZK_RM_NOTIFY_PRE/POST_MODESET
    uint32_t Width, Height, BitsPerPixel, Refresh;
    uint32_t Status;         // written by zkgfx: 0 = go on
} ZK_RM_MODESET_PARAMS;

#pragma pack(pop)

static_assert(sizeof(ZK_RM_DEVICE_NAME_PARAMS) == 12 && offsetof(ZK_RM_DEVICE_NAME_PARAMS, Status) == 10);
static_assert(sizeof(ZK_RM_MEMORY_OBJECT_PARAMS) == 20 && offsetof(ZK_RM_MEMORY_OBJECT_PARAMS, Status) == 18);
static_assert(sizeof(ZK_RM_OBJECT_HANDLE_PARAMS) == 8 && offsetof(ZK_RM_OBJECT_HANDLE_PARAMS, Status) == 4);
static_assert(sizeof(ZK_RM_FIFO_CHANNEL_PARAMS) == 16 && offsetof(ZK_RM_FIFO_CHANNEL_PARAMS, Status) == 12);
static_assert(sizeof(ZK_RM_CLOSE_FIFO_CHANNEL_PARAMS) == 12 && offsetof(ZK_RM_CLOSE_FIFO_CHANNEL_PARAMS, Status) == 8);
static_assert(sizeof(ZK_RM_DMA_CHANNEL_PARAMS) == 36 && offsetof(ZK_RM_DMA_CHANNEL_PARAMS, Status) == 32);
static_assert(sizeof(ZK_RM_CLOSE_DMA_CHANNEL_PARAMS) == 12 && offsetof(ZK_RM_CLOSE_DMA_CHANNEL_PARAMS, Status) == 8);
static_assert(sizeof(ZK_RM_MEMORY_REGION_PARAMS) == 16 && offsetof(ZK_RM_MEMORY_REGION_PARAMS, Status) == 12);
static_assert(sizeof(ZK_RM_RELEASE_REGION_PARAMS) == 8 && offsetof(ZK_RM_RELEASE_REGION_PARAMS, Status) == 4);
static_assert(sizeof(ZK_RM_CONTROL_PARAMS) == 20 && offsetof(ZK_RM_CONTROL_PARAMS, Status) == 16);
static_assert(sizeof(ZK_RM_MODESET_PARAMS) == 20 && offsetof(ZK_RM_MODESET_PARAMS, Status) == 16);
