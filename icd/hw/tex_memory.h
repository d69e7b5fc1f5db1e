// Hardware copies of textures: one block per texture object (plus retired copies), placed in
// video memory through DirectDraw or in the shared heap, kept in a least-recently-used list,
// never freed while the chip may still read it, and filled in the chip's square, Z-ordered
// layout of 16-bit texels. Also the three built-in textures of the back end.
#pragma once
#include <cstdint>
#include "platform/win32/win32.h"
#include "icd/hw/hw_state.h"

struct HwTexBlock {
    uint32_t offset;   // video memory: address - fbBase; heap: the data offset
    uint8_t *address;  // the texels, for the CPU
    uint32_t size;
    uint32_t object;   // 0x100C video memory, 0x100D heap
    void *surface;     // the DirectDraw surface of a video-memory copy
    uint32_t stamp;    // submissionCount when the chip was last given this copy
    uint8_t flags;     // kHwTex*
    uint8_t minLevel, maxLevel;
    uint8_t reserved0;
    HwTexBlock *lruNext, *lruPrev;
    HwTexBlock *newer, *older;  // the chain of retired copies behind the live block
    float lodWord, scaleWord;
    uint32_t reserved1[2];
};
static_assert(sizeof(HwTexBlock) == 60);

// kHwTexLuminanceExpanded: the copy holds a luminance texture's expanded texels.
enum : uint8_t { kHwTexFresh = 1, kHwTexResident = 2, kHwTexHeapOnly = 4, kHwTexRetired = 8, kHwTexLuminanceExpanded = 16 };
constexpr uint32_t kHwTexObjectVideo = 0x100C;
constexpr uint32_t kHwTexObjectHeap = 0x100D;

int32_t __glHwIntSqrt(int32_t a);
// Places n bytes for the block: video memory unless the block is heap-only, else the heap.
BOOL __glHwAllocTexBlock(HwState *hw, HwTexBlock *block, uint32_t bytes);
// Frees the block's memory once the chip cannot be reading it any more.
void __glHwFreeTexBlock(HwState *hw, HwTexBlock *block);

void __glHwLruAppend(HwState *hw, HwTexBlock *block);
void __glHwLruUnlink(HwState *hw, HwTexBlock *block);
void __glHwLruTouch(HwState *hw, HwTexBlock *block);

// Bytes of the levels from `maxLevel` down to `minLevel` (log2 of their sides), stored square.
uint32_t __glHwTexBytes(int32_t minLevel, int32_t maxLevel);
// The block's LOD and scale words and its level range for a largest side of 2^maxLevel.
void __glHwTexSize(HwTexBlock *block, int32_t minLevel, int32_t maxLevel);

// One level's image (width x height 16-bit texels) into level `level` (0: the largest).
void __glUploadTexLevelSwizzled(const uint16_t *texels, int32_t level, HwTexBlock *block, int32_t width,
                                int32_t height);
uint32_t __glHwSpread(uint32_t v);  // bit k of v to bit 2k (16 bits)

// Makes the block resident: placed (evicting the least recently used copies while nothing fits)
// and appended to the LRU list; `levels` images are uploaded when it was not. Returns whether
// it is resident.
struct HwTexLevelImage {
    const uint16_t *texels;
    int32_t width, height;
};
BOOL __glHwMakeBlockResident(HwState *hw, HwTexBlock *block, const HwTexLevelImage *levels, int32_t count);
void __glHwEvictAllTextures(HwState *hw);
// Frees every copy of a texture's block, retired ones included; the block is fresh again.
void __glHwTexReleaseBlock(HwState *hw, HwTexBlock *block);
// Before a resident copy the chip may still read is overwritten: its memory moves to a retired
// copy and the block gets other memory with the same bytes. TRUE when the block may now be
// written; FALSE when no memory could be found, in which case the chip was finished and the
// copy may be written in place all the same.
BOOL __glHwTexCloneBusyBlock(HwState *hw, HwTexBlock *block);

HwTexBlock *__glHwCreateDefaultTexture(HwState *hw);
HwTexBlock *__glHwCreatePointTexture(HwState *hw);
HwTexBlock *__glHwCreateLineTexture(HwState *hw);
void __glHwFreeDefaultTexture(HwState *hw, HwTexBlock *block);
void __glHwFreePointTexture(HwState *hw, HwTexBlock *block);
void __glHwFreeLineTexture(HwState *hw, HwTexBlock *block);

// Texture objects on the chip. Whether the chip can draw the texture (16-bit texels in a layout
// it reads, no border); making its copy resident; the register words for the current texture,
// its copy in the expanded luminance form or the normal one (FALSE when it has no copy); the
// current texture's resident copy or null.
struct GlContext;
struct GlTextureObject;
bool __glHwTextureDrawable(const GlTextureObject *tex);
BOOL __glHwTexMakeResident(GlContext *ctx, GlTextureObject *tex);
BOOL __glHwTextureWords(GlContext *ctx, bool expanded, uint32_t *offset, uint32_t *object, uint32_t *format,
                        uint32_t *control, uint32_t *filters);
HwTexBlock *__glHwCurrentTexBlock(GlContext *ctx);
