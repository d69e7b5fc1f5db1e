// Records and codes of the private escapes between the OpenGL driver and the display driver.
// Both sides compile this header; the layouts are fixed and little-endian.
#pragma once
#include <cstddef>
#include <cstdint>

#define ESC_QUERYESCSUPPORT        8
#define ESC_OPENGL_GETINFO         0x1101
#define ESC_WNDOBJ_SETUP           0x1102
#define ESC_ZK_OPENGL_ACTIVE       0x6988   // OpenGL-active flag and mode-change counter
#define ESC_ZK_SET_GAMMA_RAMP      0x698E
#define ESC_ZK_GET_GAMMA_RAMP      0x698F
#define ESC_ZK_START_DMA_PUSH      0x7001
#define ESC_ZK_SET_OPENGL_ACTIVE   ESC_ZK_OPENGL_ACTIVE   // in: address of the u32 count of OpenGL processes
#define ESC_OPENGL_CMD             0x1100   // not served: answers 0
#define ESC_ZK_MAP_FRAME_BUFFER    0xE4000000u   // in: the caller's process handle; out: the address

// Change kinds written into a client window block.
#define ZK_WINDOW_WHOLE_CLIENT  0x01   // one rectangle: the whole client rectangle
#define ZK_WINDOW_INVISIBLE     0x02
#define ZK_WINDOW_ONE_RECT      0x04   // one clipped rectangle
#define ZK_WINDOW_RECT_LIST     0x08
#define ZK_WINDOW_FULL_SCREEN   0x10   // added to 1 or 4 when the rectangle covers the screen

#define ZK_WINDOW_MAX_RECTS 250

struct ZK_RECTL {
    int32_t left, top, right, bottom;  // screen coordinates, right and bottom exclusive
};

// The block the OpenGL driver allocates for each tracked window and whose address it hands to
// the display driver; the display driver keeps it up to date under the lock word.
struct ZK_CLIENT_WINDOW_BLOCK {
    volatile uint32_t lock;             // 0 free, 1 held: taken by exchanging 1 in until 0 comes back
    uint32_t lockHandle;                // the display driver's lock on the block's pages
    uint32_t reserved;                  // the client's
    uint32_t hwnd;                      // written by the client before WNDOBJ_SETUP
    uint32_t modeChangeCounter;         // the display driver's counter, rewritten on mode changes
    volatile uint32_t changeCounter;    // 1 after set-up, +1 on every client-region change
    uint32_t changeKind;                // ZK_WINDOW_*; 0 before the first change
    uint32_t clientOrigin;              // left << 16 | top
    uint32_t rectCount;                 // 0..250
    ZK_RECTL rects[ZK_WINDOW_MAX_RECTS];
    uint8_t tail[4096 - 36 - 16 * ZK_WINDOW_MAX_RECTS];
};
static_assert(sizeof(ZK_CLIENT_WINDOW_BLOCK) == 4096);
static_assert(offsetof(ZK_CLIENT_WINDOW_BLOCK, hwnd) == 12);
static_assert(offsetof(ZK_CLIENT_WINDOW_BLOCK, changeCounter) == 20);
static_assert(offsetof(ZK_CLIENT_WINDOW_BLOCK, clientOrigin) == 28);
static_assert(offsetof(ZK_CLIENT_WINDOW_BLOCK, rects) == 36);

// Escape 0x7001: start the chip's DMA pusher over a client's command buffer.
struct ZK_DMA_PUSH_PARAMS {
    uint32_t dmaObject;      // in: the command buffer's memory object; out: the push result
    uint32_t param1;         // in: channel word 1; out: the display driver's mode-change counter
    uint32_t param2;         // in: channel word 2
    uint32_t startOffset;    // byte offset of the first command word
    uint32_t endOffset;      // start + 4 x words
    uint32_t modeCounter;    // the client's mode-change counter
};
static_assert(sizeof(ZK_DMA_PUSH_PARAMS) == 24);
