// Placement, eviction, release and upload of textures' hardware copies, and the built-in textures.
#include "icd/hw/tex_memory.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include "icd/core/core.h"
#include "icd/hw/hw.h"
#include "icd/hw/present.h"
#include "icd/hw/tex_heap.h"

namespace {

struct SpreadTable {
    uint16_t byte[256];
    SpreadTable() {
        for (uint32_t v = 0; v < 256; ++v) {
            uint32_t s = 0;
            for (uint32_t k = 0; k < 8; ++k) s |= ((v >> k) & 1u) << (2 * k);
            byte[v] = uint16_t(s);
        }
    }
};
const SpreadTable kSpread;

// The texel at (x, y) of a level whose first texel is `level`.
inline uint16_t *texelAt(uint16_t *level, uint32_t x, uint32_t y) {
    return level + (__glHwSpread(x) | __glHwSpread(y) << 1);
}

// Copies w x h texels into a square level, each repeated rx times across and ry times down.
void copyStretched(uint16_t *level, const uint16_t *texels, int32_t w, int32_t h, int32_t rx, int32_t ry) {
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int32_t j = 0; j < ry; ++j)
                for (int32_t i = 0; i < rx; ++i)
                    *texelAt(level, uint32_t(x * rx + i), uint32_t(y * ry + j)) = texels[y * w + x];
}

void releaseVideo(HwTexBlock *b) {
    if (b->surface != nullptr) static_cast<IDirectDrawSurface *>(b->surface)->Release();
    b->surface = nullptr;
}

// The built-in textures go to the heap first and anywhere when the heap refuses.
HwTexBlock *makeBuiltIn(HwState *hw, int32_t minLevel, int32_t maxLevel) {
    HwTexBlock *b = static_cast<HwTexBlock *>(std::calloc(1, sizeof(HwTexBlock)));
    if (b == nullptr) return nullptr;
    __glHwTexSize(b, minLevel, maxLevel);
    const uint32_t bytes = __glHwTexBytes(minLevel, maxLevel);
    b->flags = kHwTexHeapOnly;
    if (!__glHwAllocTexBlock(hw, b, bytes)) {
        b->flags = 0;
        if (!__glHwAllocTexBlock(hw, b, bytes)) {
            std::free(b);
            return nullptr;
        }
    }
    return b;
}

void freeBuiltIn(HwState *hw, HwTexBlock *b) {
    if (b == nullptr) return;
    __glHwFreeTexBlock(hw, b);
    std::free(b);
}

// A round dot with a soft edge, one pixel wide, for the points each level draws. A smooth point
// of size n reads the middle three quarters of the dot (radius 0.75, the texture's edge at 1)
// across n + 1 pixels, and the chip takes the level nearest to its texels per pixel: sides 8, 16,
// 32 and 64 serve points of about 3, 12, 24 and 48 pixels, whose rim (radius n / 2 pixels) lies
// at 0.75 n / (n + 1), and whose half pixel is 0.75 / (n + 1).
uint16_t dotTexel(int32_t x, int32_t y, int32_t side) {
    const float n = side <= 8 ? 3.0f : side <= 16 ? 12.0f : side <= 32 ? 24.0f : 48.0f;
    const float rim = 0.75f * n / (n + 1.0f), halfPixel = 0.75f / (n + 1.0f);
    const float c = float(side) / 2.0f;
    const float dx = (float(x) + 0.5f - c) / c, dy = (float(y) + 0.5f - c) / c;
    const float r = std::sqrt(dx * dx + dy * dy);
    const float a = std::clamp((rim + halfPixel - r) / (2.0f * halfPixel), 0.0f, 1.0f);
    return uint16_t(uint16_t(a * 15.0f + 0.5f) << 12 | 0x0FFF);
}

}  // namespace

uint32_t __glHwSpread(uint32_t v) { return kSpread.byte[v & 0xFF] | uint32_t(kSpread.byte[(v >> 8) & 0xFF]) << 16; }

int32_t __glHwIntSqrt(int32_t a) {
    if (a <= 0) return 0;
    int32_t c;
    if (a < 9) {
        c = a;
        for (int32_t d = a; d < 8; d *= 4) c *= 2;
    } else {
        c = a >> 1;
        for (int32_t b = a; b > 35; b >>= 2) c >>= 1;
    }
    const int32_t f = (c + a / c) >> 1;
    const int32_t h = (f + a / f) >> 1;
    return (h + a / h) >> 1;
}

uint32_t __glHwTexBytes(int32_t minLevel, int32_t maxLevel) {
    uint32_t texels = 0;
    for (int32_t i = minLevel; i <= maxLevel; ++i) texels += 1u << (2 * i);
    return 2 * texels;
}

void __glHwTexSize(HwTexBlock *b, int32_t minLevel, int32_t maxLevel) {
    b->minLevel = uint8_t(minLevel);
    b->maxLevel = uint8_t(maxLevel);
    b->lodWord = maxLevel <= 2 ? 0.109375f : 0.4375f / float(1 << maxLevel);
    b->scaleWord = std::ldexp(1.0f, 11 - maxLevel);
}

// A video-memory surface holds at least the bytes asked for behind the address rounded up to
// 256; otherwise the heap.
BOOL __glHwAllocTexBlock(HwState *hw, HwTexBlock *b, uint32_t n) {
    IDirectDraw *dd = static_cast<IDirectDraw *>(hw->directDraw);
    if (!(b->flags & kHwTexHeapOnly) && dd != nullptr && n <= 0x7FFFFF00u) {
        const int32_t pixels = int32_t((n + 255) / 2);
        const int32_t width = __glHwIntSqrt(pixels) > 0 ? __glHwIntSqrt(pixels) : 1;
        const int32_t height = (pixels + width - 1) / width;
        DDSURFACEDESC desc;
        std::memset(&desc, 0, sizeof desc);
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
        desc.dwWidth = DWORD(width);
        desc.dwHeight = DWORD(height);
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
        IDirectDrawSurface *s = nullptr;
        if (dd->CreateSurface(&desc, &s, nullptr) == DD_OK && s != nullptr) {
            DDSURFACEDESC lock;
            std::memset(&lock, 0, sizeof lock);
            lock.dwSize = sizeof lock;
            if (s->Lock(nullptr, &lock, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) == DD_OK) {
                uint8_t *surfaceBase = static_cast<uint8_t *>(lock.lpSurface);
                s->Unlock(lock.lpSurface);
                const uintptr_t at = (reinterpret_cast<uintptr_t>(surfaceBase) + 255) & ~uintptr_t(255);
                const uint64_t covered = uint64_t(uint32_t(lock.lPitch)) * lock.dwHeight;
                const uint64_t used = uint64_t(at - reinterpret_cast<uintptr_t>(surfaceBase)) + n;
                const uint32_t offset = uint32_t(at) - hw->fbBase;
                if (used <= covered && hw->fbBase != 0 && uint32_t(at) >= hw->fbBase &&
                    uint64_t(offset) + n + 512 <= hw->fbRegionSize) {
                    b->surface = s;
                    b->address = reinterpret_cast<uint8_t *>(at);
                    b->offset = offset;
                    b->size = n;
                    b->object = kHwTexObjectVideo;
                    return TRUE;
                }
            }
            s->Release();
        }
    }
    if (hw->heapInfo == nullptr) return FALSE;
    const uint32_t offset = __glHwHeapAlloc(hw, n);
    if (offset == 0) return FALSE;
    b->surface = nullptr;
    b->offset = offset;
    b->address = __glHwHeapAddress(hw, offset);
    b->size = n;
    b->object = kHwTexObjectHeap;
    return TRUE;
}

// The chip may still read a copy it was given in this submission or the one before: the older
// batch is waited for, the current one finished first.
void __glHwFreeTexBlock(HwState *hw, HwTexBlock *b) {
    if (b->size == 0 && b->surface == nullptr) return;
    if (hw->cpuBase != nullptr && !hw->hardwareLost && hw->submissionCount - b->stamp < 2) {
        // An older batch: the wait covers it. The current half: it goes first, then the wait
        // (whatever the drawing flag says: the copy's use is the reason).
        if (b->stamp != hw->submissionCount || hw->writeIndex != 0) {
            __glHwKickoff(hw, 0);
            __glHwWaitIdle(hw);
        }
    }
    if (b->object == kHwTexObjectVideo)
        releaseVideo(b);
    else if (b->object == kHwTexObjectHeap)
        __glHwHeapFree(hw, b->offset);
    b->offset = 0;
    b->address = nullptr;
    b->size = 0;
    b->object = 0;
}

void __glHwLruAppend(HwState *hw, HwTexBlock *b) {
    b->lruNext = nullptr;
    b->lruPrev = hw->lruTail;
    if (hw->lruTail != nullptr) hw->lruTail->lruNext = b;
    else hw->lruHead = b;
    hw->lruTail = b;
    b->flags |= kHwTexResident;
}

void __glHwLruUnlink(HwState *hw, HwTexBlock *b) {
    if (!(b->flags & kHwTexResident)) return;
    if (b->lruPrev != nullptr) b->lruPrev->lruNext = b->lruNext;
    else hw->lruHead = b->lruNext;
    if (b->lruNext != nullptr) b->lruNext->lruPrev = b->lruPrev;
    else hw->lruTail = b->lruPrev;
    b->lruNext = b->lruPrev = nullptr;
    b->flags &= uint8_t(~kHwTexResident);
}

void __glHwLruTouch(HwState *hw, HwTexBlock *b) {
    if (!(b->flags & kHwTexResident) || hw->lruTail == b) return;
    __glHwLruUnlink(hw, b);
    __glHwLruAppend(hw, b);
}

void __glUploadTexLevelSwizzled(const uint16_t *texels, int32_t level, HwTexBlock *b, int32_t width,
                                int32_t height) {
    if (b->address == nullptr || texels == nullptr || width <= 0 || height <= 0) return;
    uint32_t start = 0;  // texels before this level
    for (int32_t i = 0; i < level; ++i) start += 1u << (2 * (b->maxLevel - i));
    uint16_t *dst = reinterpret_cast<uint16_t *>(b->address) + start;
    // Levels under 4 texels both ways are widened first.
    uint16_t wide[8];
    if (width < 4 && height < 4) {
        if (width == 2) {
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < 4; ++x) wide[y * 4 + x] = texels[y * 2 + x / 2];
            width = 4;
        } else {
            for (int32_t y = 0; y < 4; ++y) wide[y] = texels[(y * height) / 4];
            height = 4;
        }
        texels = wide;
    }
    if (width == height)
        copyStretched(dst, texels, width, height, 1, 1);
    else if (height > width)
        copyStretched(dst, texels, width, height, height / width, 1);
    else
        copyStretched(dst, texels, width, height, 1, width / height);
}

BOOL __glHwMakeBlockResident(HwState *hw, HwTexBlock *b, const HwTexLevelImage *levels, int32_t count) {
    if (!(b->flags & kHwTexResident)) {
        const uint32_t bytes = __glHwTexBytes(b->minLevel, b->maxLevel);
        bool placed = false;
        for (;;) {
            if (__glHwAllocTexBlock(hw, b, bytes)) {
                placed = true;
                break;
            }
            HwTexBlock *victim = hw->lruHead;
            if (victim == nullptr) break;
            __glHwLruUnlink(hw, victim);
            __glHwFreeTexBlock(hw, victim);
        }
        if (placed) {
            __glHwLruAppend(hw, b);
            const int32_t stored = b->maxLevel - b->minLevel + 1;
            for (int32_t j = 0; j < count && j < stored; ++j)
                __glUploadTexLevelSwizzled(levels[j].texels, j, b, levels[j].width, levels[j].height);
        }
    } else {
        __glHwLruTouch(hw, b);
    }
    b->stamp = hw->submissionCount;
    return (b->flags & kHwTexResident) != 0;
}

void __glHwEvictAllTextures(HwState *hw) {
    while (HwTexBlock *b = hw->lruHead) {
        __glHwLruUnlink(hw, b);
        __glHwFreeTexBlock(hw, b);
    }
}

// ---- built-in textures -------------------------------------------------------------------------------

HwTexBlock *__glHwCreateDefaultTexture(HwState *hw) {
    HwTexBlock *b = makeBuiltIn(hw, 2, 2);
    if (b != nullptr) std::memset(b->address, 0xFF, b->size);
    return b;
}

HwTexBlock *__glHwCreatePointTexture(HwState *hw) {
    HwTexBlock *b = makeBuiltIn(hw, 3, 6);
    if (b == nullptr) return nullptr;
    static uint16_t texels[64 * 64];
    for (int32_t level = 0, side = 64; side >= 8; ++level, side /= 2) {
        for (int32_t y = 0; y < side; ++y)
            for (int32_t x = 0; x < side; ++x) texels[y * side + x] = dotTexel(x, y, side);
        __glUploadTexLevelSwizzled(texels, level, b, side, side);
    }
    return b;
}

HwTexBlock *__glHwCreateLineTexture(HwState *hw) {
    HwTexBlock *b = makeBuiltIn(hw, 2, 2);
    if (b == nullptr) return nullptr;
    uint16_t texels[16];
    for (int32_t i = 0; i < 16; ++i) texels[i] = i / 4 == 1 ? 0xFFFF : 0x0FFF;
    __glUploadTexLevelSwizzled(texels, 0, b, 4, 4);
    return b;
}

void __glHwFreeDefaultTexture(HwState *hw, HwTexBlock *b) { freeBuiltIn(hw, b); }
void __glHwFreePointTexture(HwState *hw, HwTexBlock *b) { freeBuiltIn(hw, b); }
void __glHwFreeLineTexture(HwState *hw, HwTexBlock *b) { freeBuiltIn(hw, b); }

// ---- copies of a texture -----------------------------------------------------------------------------

namespace {
// The memory of two block records changes hands; their places in the lists stay.
void swapMemory(HwTexBlock *a, HwTexBlock *b) {
    std::swap(a->offset, b->offset);
    std::swap(a->address, b->address);
    std::swap(a->size, b->size);
    std::swap(a->object, b->object);
    std::swap(a->surface, b->surface);
    std::swap(a->stamp, b->stamp);
}

void unchain(HwTexBlock *b) {
    if (b->newer != nullptr) b->newer->older = b->older;
    if (b->older != nullptr) b->older->newer = b->newer;
    b->newer = b->older = nullptr;
}
}  // namespace

void __glHwTexReleaseBlock(HwState *hw, HwTexBlock *b) {
    if (b->flags & kHwTexFresh) return;
    while (HwTexBlock *old = b->older) {
        unchain(old);
        __glHwFreeTexBlock(hw, old);
        std::free(old);
    }
    if (b->flags & kHwTexResident) {
        __glHwLruUnlink(hw, b);
        __glHwFreeTexBlock(hw, b);
    }
    b->flags = kHwTexFresh;
}

BOOL __glHwTexCloneBusyBlock(HwState *hw, HwTexBlock *b) {
    if (!(b->flags & kHwTexResident) || b->address == nullptr) return TRUE;
    if (hw->submissionCount - b->stamp >= 2) return TRUE;  // the chip is done with it
    HwTexBlock *copy = nullptr;
    for (HwTexBlock *old = b->older; old != nullptr; old = old->older)
        if (hw->submissionCount - old->stamp >= 2 && old->size >= b->size) {
            copy = old;
            unchain(copy);
            break;
        }
    if (copy == nullptr) {
        copy = static_cast<HwTexBlock *>(std::calloc(1, sizeof(HwTexBlock)));
        bool placed = false;
        if (copy != nullptr) {
            __glHwTexSize(copy, b->minLevel, b->maxLevel);
            copy->flags = kHwTexHeapOnly;
            for (;;) {
                if (__glHwAllocTexBlock(hw, copy, b->size)) {
                    placed = true;
                    break;
                }
                HwTexBlock *victim = hw->lruHead;
                if (victim == nullptr || victim == b) break;
                __glHwLruUnlink(hw, victim);
                __glHwFreeTexBlock(hw, victim);
            }
        }
        // Nowhere to copy to: the chip finishes and the copy is written where it is.
        if (!placed) {
            std::free(copy);
            if (hw->cpuBase != nullptr && !hw->hardwareLost) {
                __glHwKickoff(hw, 0);
                __glHwWaitIdle(hw);
            }
            return FALSE;
        }
    }
    std::memcpy(copy->address, b->address, b->size);
    swapMemory(b, copy);  // the block keeps the older stamp, the retired copy the recent one
    copy->flags = uint8_t((copy->flags & ~kHwTexResident) | kHwTexRetired);
    copy->older = b->older;
    if (copy->older != nullptr) copy->older->newer = copy;
    copy->newer = b;
    b->older = copy;
    return TRUE;
}
