// Texture objects' hardware copies: the hooks the texture code calls when a level's texels change
// or an object goes, and the residency the triangle chooser and the register words ask for.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include "icd/core/context.h"
#include "icd/core/core.h"
#include "icd/hw/hw.h"
#include "icd/hw/hw_regs.h"
#include "icd/hw/hw_services.h"
#include "icd/hw/tex_memory.h"
#include "icd/pixel/texture.h"

namespace {

HwTexBlock *blockOf(const GlTextureObject *tex) { return static_cast<HwTexBlock *>(tex->hwBlock); }

// The chip layout word of a level's texel format, 0 when the chip cannot read it.
uint32_t layoutWord(int32_t texelFormatId) {
    switch (texelFormatId) {
    case kHwTexelNormal: return 0x100000u;  // X1R5G5B5
    case 5: return 0x300000u;               // R5G6B5
    case 8:                                 // A4R4G4B4
    case kHwTexelLuminanceExpanded: return 0x200000u;  // alpha on top, the colour white
    default: return 0;
    }
}

// The textures whose copies each context placed in its memory, by context. A block that is not
// fresh always belongs to a context listed here, its texture's owner: that context's shutdown
// releases every such copy and leaves the texture without an owner, so a share group's texture
// never points at a context that is gone while it has copies. A texture whose owner never placed
// a copy, or is gone, is taken by the first context that draws it on the chip. Contexts of a share group may be current on different threads.
std::mutex g_placedLock;
std::map<const GlContext *, std::set<GlTextureObject *>> g_placed;

void notePlaced(GlContext *ctx, GlTextureObject *tex) {
    std::lock_guard<std::mutex> g(g_placedLock);
    g_placed[ctx].insert(tex);
}

void forgetPlaced(GlTextureObject *tex) {
    std::lock_guard<std::mutex> g(g_placedLock);
    auto it = g_placed.find(tex->owner);
    if (it != g_placed.end()) it->second.erase(tex);
}

// Whether ctx may place the texture's copy: it owns the texture, or takes it over from an owner
// that holds no copies. A stale owner pointer is only compared here, never followed.
bool mayPlace(GlContext *ctx, GlTextureObject *tex) {
    if (tex->owner == ctx) return true;
    std::lock_guard<std::mutex> g(g_placedLock);
    if (tex->owner != nullptr && g_placed.count(tex->owner) != 0) return false;
    tex->owner = ctx;
    return true;
}

// The hardware state whose memory holds the texture's copies; null when it has none.
HwState *homeOf(const GlTextureObject *tex) {
    const HwTexBlock *b = blockOf(tex);
    return b != nullptr && !(b->flags & kHwTexFresh) && tex->owner != nullptr ? &tex->owner->hw : nullptr;
}

}  // namespace

void __glHwTexBlockInit(void *block) { static_cast<HwTexBlock *>(block)->flags = kHwTexFresh; }

bool __glHwTexBlockResident(const void *block) {
    return block != nullptr && (static_cast<const HwTexBlock *>(block)->flags & kHwTexResident) != 0;
}

namespace {
bool mipmapped(GLenum minFilter) { return minFilter != GL_NEAREST && minFilter != GL_LINEAR; }
}  // namespace

// The chip reads 16-bit texels in three layouts, each filter of GL within a level or between two.
bool __glHwTextureDrawable(const GlTextureObject *tex) {
    if (tex == nullptr || tex->hwBlock == nullptr || tex->levelCount < 1 || tex->levels == nullptr) return false;
    const GlMipLevel *l = tex->levels[0];
    return l != nullptr && l->image != nullptr && l->border == 0 && layoutWord(l->texelFormatId) != 0;
}

namespace {

// The levels the copy holds: level 0, and with a mipmap filter every following level with an
// image in level 0's layout. Returns the count.
int32_t storedLevels(const GlTextureObject *tex, HwTexLevelImage *images, int32_t room) {
    const int32_t format = tex->levels[0]->texelFormatId;
    int32_t n = 0;
    for (int32_t j = 0; j < tex->levelCount && n < room; ++j) {
        const GlMipLevel *l = tex->levels[j];
        if (l == nullptr || l->image == nullptr || l->texelFormatId != format) break;
        if (j > 0 && !mipmapped(tex->minFilter)) break;
        images[n++] = {reinterpret_cast<const uint16_t *>(l->image), l->width, l->height};
    }
    return n;
}

// The texels of level j of the copy, in the chip's order: level 0 at the start, each level after
// the squares of the larger ones.
uint16_t *levelTexels(HwTexBlock *b, int32_t j, uint32_t *count) {
    uint32_t start = 0;
    for (int32_t i = 0; i < j; ++i) start += 1u << (2 * (b->maxLevel - i));
    *count = 1u << (2 * (b->maxLevel - j));
    return reinterpret_cast<uint16_t *>(b->address) + start;
}

// Level j of the copy. Levels of 4 texels or more on a side go through the shared upload; the
// 2- and 1-texel levels, which it widens to 4, are written here into their own 2^(max - j)
// square so that the levels after them stay in place. A copy in the expanded luminance form gets
// the level expanded.
void uploadLevel(HwTexBlock *b, int32_t j, const HwTexLevelImage &im) {
    if (b->address == nullptr || im.texels == nullptr) return;
    if (std::max(im.width, im.height) >= 4) {
        __glUploadTexLevelSwizzled(im.texels, j, b, im.width, im.height);
    } else {
        uint32_t n = 0;
        uint16_t *dst = levelTexels(b, j, &n);
        const int32_t side = 1 << (b->maxLevel - j);
        for (int32_t y = 0; y < side; ++y)
            for (int32_t x = 0; x < side; ++x)
                dst[__glHwSpread(uint32_t(x)) | __glHwSpread(uint32_t(y)) << 1] =
                    im.texels[(y * im.height / side) * im.width + x * im.width / side];
    }
    if (b->flags & kHwTexLuminanceExpanded) {
        uint32_t n = 0;
        uint16_t *t = levelTexels(b, j, &n);
        for (uint32_t k = 0; k < n; ++k) t[k] = __glHwExpandedLuminanceTexel(t[k]);
    }
}

}  // namespace

BOOL __glHwTexMakeResident(GlContext *ctx, GlTextureObject *tex) {
    // A copy lives in its owner's memory and list; another context of the share group draws the
    // texture in software meanwhile.
    if (!__glHwTextureDrawable(tex) || !__glHasHwState(ctx) || !mayPlace(ctx, tex)) return FALSE;
    HwState *hw = &ctx->hw;
    HwTexBlock *b = blockOf(tex);
    const GlMipLevel *l = tex->levels[0];
    HwTexLevelImage images[16];
    const int32_t count = storedLevels(tex, images, 16);
    const int32_t m = std::max({l->log2Width, l->log2Height, 2});
    // A copy with other levels than the filter now needs is placed afresh.
    if (!(b->flags & kHwTexFresh) && b->minLevel != m - (count - 1)) __glHwTexRelease(ctx, tex);
    if (b->flags & kHwTexFresh) {
        // Long thin textures and small ones stay out of video memory.
        const bool heapOnly = std::abs(l->log2Width - l->log2Height) >= 4 || (1u << m) < hw->vidMemMinTexWidth;
        b->flags = heapOnly ? kHwTexHeapOnly : 0;
        __glHwTexSize(b, m - (count - 1), m);
        notePlaced(ctx, tex);
    }
    // The shared placement uploads the levels of 4 texels or more; the smaller ones follow.
    int32_t large = 0;
    while (large < count && std::max(images[large].width, images[large].height) >= 4) ++large;
    const bool wasResident = (b->flags & kHwTexResident) != 0;
    if (!wasResident) b->flags &= uint8_t(~kHwTexLuminanceExpanded);  // placed afresh: the texture's own texels
    if (!__glHwMakeBlockResident(hw, b, images, large)) return FALSE;
    if (!wasResident)
        for (int32_t j = large; j < count; ++j) uploadLevel(b, j, images[j]);
    return TRUE;
}

// The register words for the current texture: offset, object and format of its copy, the wrap
// and filter bits of the control word, the filter bits of the quality word. The copy is brought
// into the luminance form asked for. FALSE when it has no copy the chip can read.
BOOL __glHwTextureWords(GlContext *ctx, bool expanded, uint32_t *offset, uint32_t *object, uint32_t *format,
                        uint32_t *control, uint32_t *filters) {
    GlTextureObject *tex = ctx->state.pick.currentTextures[0];
    if (!__glHwTexMakeResident(ctx, tex)) return FALSE;
    HwTexBlock *b = blockOf(tex);
    if (expanded != ((b->flags & kHwTexLuminanceExpanded) != 0)) {
        if (expanded)
            __glHwExpandLuminance(&ctx->hw, tex);
        else
            __glHwRestoreLuminance(&ctx->hw, tex);
    }
    *offset = b->offset;
    *object = b->object;
    const int32_t texels = expanded ? kHwTexelLuminanceExpanded : tex->levels[0]->texelFormatId;
    *format = uint32_t(b->maxLevel) << 28 | uint32_t(b->minLevel) << 24 | layoutWord(texels);
    *control |= (tex->wrapS == GL_REPEAT ? 0x10u : 0x30u) | (tex->wrapT == GL_REPEAT ? 0x40u : 0xC0u);
    if (tex->minFilter != GL_NEAREST || tex->magFilter != GL_NEAREST) *control |= 2u;
    *filters = __glHwFilterBits(tex->minFilter, tex->magFilter);
    return TRUE;
}

// Both forms are written in place, into memory the chip is done with: the expanded one from the
// copy's own texels, the normal one from the texture's images.
void __glHwExpandLuminance(HwState *hw, GlTextureObject *tex) {
    HwTexBlock *b = blockOf(tex);
    if (!__glHwTexBlockResident(b) || (b->flags & kHwTexLuminanceExpanded)) return;
    __glHwTexCloneBusyBlock(hw, b);
    for (int32_t j = 0; j <= b->maxLevel - b->minLevel; ++j) {
        uint32_t n = 0;
        uint16_t *t = levelTexels(b, j, &n);
        for (uint32_t k = 0; k < n; ++k) t[k] = __glHwExpandedLuminanceTexel(t[k]);
    }
    b->flags |= kHwTexLuminanceExpanded;
}

void __glHwRestoreLuminance(HwState *hw, GlTextureObject *tex) {
    HwTexBlock *b = blockOf(tex);
    if (!__glHwTexBlockResident(b) || !(b->flags & kHwTexLuminanceExpanded)) return;
    __glHwTexCloneBusyBlock(hw, b);
    b->flags &= uint8_t(~kHwTexLuminanceExpanded);
    HwTexLevelImage images[16];
    const int32_t count = storedLevels(tex, images, 16);
    for (int32_t j = 0; j < count && j <= b->maxLevel - b->minLevel; ++j) uploadLevel(b, j, images[j]);
}

// The copy of the texture the chip reads, for stamping at each draw; null when none.
HwTexBlock *__glHwCurrentTexBlock(GlContext *ctx) {
    GlTextureObject *tex = ctx->state.pick.currentTextures[0];
    return tex != nullptr && __glHwTexBlockResident(tex->hwBlock) ? blockOf(tex) : nullptr;
}

void __glHwTexRelease(GlContext *, GlTextureObject *tex) {
    HwState *hw = homeOf(tex);
    if (hw == nullptr) return;
    __glHwTexReleaseBlock(hw, blockOf(tex));
    hw->triangleRegsStale = 1;
    forgetPlaced(tex);
}

void __glHwTexReleaseContextCopies(GlContext *ctx) {
    std::set<GlTextureObject *> placed;
    {
        std::lock_guard<std::mutex> g(g_placedLock);
        auto it = g_placed.find(ctx);
        if (it == g_placed.end()) return;
        placed.swap(it->second);
        g_placed.erase(it);
    }
    for (GlTextureObject *tex : placed) {
        __glHwTexReleaseBlock(&ctx->hw, blockOf(tex));
        tex->owner = nullptr;
    }
    __glHwEvictAllTextures(&ctx->hw);  // nothing else may stay behind in its memory
}

// A level's image was specified or copied: the copy no longer matches. It is freed (once the chip
// is done with it) and placed afresh, with the new size, by the next draw that needs it.
void __glHwTexImageChanged(GlContext *ctx, GlTextureObject *tex, int32_t, int32_t) { __glHwTexRelease(ctx, tex); }

// Texels of a level were replaced: a copy the chip may still read moves aside, and the level is
// written again into the live copy, seen by the next draw.
void __glHwUpdateTexSubImage(GlContext *ctx, GlTextureObject *tex, int32_t level, int32_t, int32_t, int32_t, int32_t) {
    HwState *hw = homeOf(tex);
    if (hw == nullptr || !__glHwTexBlockResident(tex->hwBlock)) return;
    HwTexBlock *b = blockOf(tex);
    if (level > b->maxLevel - b->minLevel || !__glHwTextureDrawable(tex)) {
        if (level <= b->maxLevel - b->minLevel) __glHwTexRelease(ctx, tex);
        return;  // a level the copy does not hold
    }
    __glHwTexCloneBusyBlock(hw, b);  // moves the copy aside only while the chip may read it
    const GlMipLevel *l = tex->levels[level];
    uploadLevel(b, level, {reinterpret_cast<const uint16_t *>(l->image), l->width, l->height});
    hw->triangleRegsStale = 1;
    hw->loadedBlock = kHwBlockNone;
}
