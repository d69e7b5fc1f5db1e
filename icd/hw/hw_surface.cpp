// Colour and depth buffer objects of the chip, their clears, the clip rectangle and the surface
// words. The buffer objects are the software ones with the chip's resize and clear procs, so that
// a drawable the chip cannot reach still works through the same objects.
#include <algorithm>
#include <cstdlib>
#include "icd/core/buffers.h"
#include "icd/core/context.h"
#include "icd/core/core.h"
#include "icd/core/pick.h"
#include "icd/core/state_entries_util.h"
#include "icd/hw/drawable_buffers.h"
#include "icd/hw/hw.h"
#include "icd/hw/hw_surface.h"
#include "icd/hw/present.h"
#include "icd/raster/color_buffer.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/raster_state.h"
#include "icd/vertex/color_units.h"
#include "icd/vertex/matrix_procs.h"

using glraster::clipBoxOf;
using glraster::rasterOf;

namespace {

constexpr uint32_t kHwSurfaceColour = 0x1008;
constexpr uint32_t kHwSurfaceScreen = 0x1009;
constexpr uint32_t kHwSurfaceDepthA = 0x100A;
constexpr uint32_t kHwSurfaceDepthB = 0x100B;
constexpr uint32_t kHwColourFill = 0x100E;
constexpr uint32_t kHwDepthFill = 0x100F;
constexpr uint32_t kHwClipObject = 0x1012;

HwState *hwOf(GlContext *ctx) { return &ctx->hw; }


// The clear box relative to the buffer's pixel (0, 0): point word then size word.
void boxWords(const GlContext *ctx, const GlClipBox &box, uint32_t *w) {
    const int32_t x = box.x0 - ctx->limits.biasX, y = box.y0 - ctx->limits.biasY;
    w[0] = uint32_t(y & 0xFFFF) << 16 | uint32_t(x & 0xFFFF);
    w[1] = uint32_t((box.y1 - box.y0) & 0xFFFF) << 16 | uint32_t((box.x1 - box.x0) & 0xFFFF);
}

void finishClear(HwState *hw) {
    __glHwEarlyKickoff(hw);
    hw->loadedBlock = 3;
    hw->drawingPending = 1;
}

// The software clear the colour buffer's picker would choose for a full write mask.
void softColourClear(GlColorBuffer *cb) {
    GlContext *ctx = cb->head.context;
    const uint32_t all = ctx->visual.redMask | ctx->visual.greenMask | ctx->visual.blueMask | ctx->visual.alphaMask;
    if (cb->writeMask != 0 && (cb->writeMask & all) != all)
        __glClearRgbaBuffer(cb);
    else if (cb->head.descriptor != nullptr && cb->head.descriptor->fill != nullptr &&
             !(rasterOf(ctx).shadeFlags & kGlShadeFrontClip))
        __glClearRgbaBufferDevice(cb);
    else if (cb->head.elementSize == 3)
        __glClearRgbaBuffer24(cb);
    else
        __glClearRgbaBufferFill(cb);
}

// Software writes wait for what the chip has pending.
void finishChip(GlContext *ctx) {
    if (!__glHwUsable(ctx) || !ctx->hw.drawingPending) return;
    ctx->slots.finish(ctx);
    ctx->hw.drawingPending = 0;
}

// The chip clears one rectangle of a surface it reaches; a window cut into several visible
// rectangles is cleared rectangle by rectangle in software.
bool chipClears(GlContext *ctx, const GlBuffer *b, uint32_t *offset) {
    if (!__glHwUsable(ctx)) return false;
    if (rasterOf(ctx).shadeFlags & kGlShadeFrontClip) return false;
    // A window stacked above since the last validation: the front buffer is no longer all ours.
    GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    if (rec != nullptr && b == &ctx->buffers.color.front.head) {
        __wglRefreshWindowRegion(rec->drawable);
        if (rec->contextState != 0) return false;
    }
    return __glHwBufferOffset(ctx, b, offset);
}

void bindWords(uint32_t *&w, uint32_t subchannel, uint32_t object) {
    *w++ = hwMethodHeader(1, subchannel, 0);
    *w++ = object;
}

void surfaceWords(uint32_t *&w, uint32_t subchannel, uint32_t pitch, uint32_t offset) {
    *w++ = hwMethodHeader(2, subchannel, 0x308);
    *w++ = pitch;
    *w++ = offset;
}

}  // namespace

// ---- helpers ----------------------------------------------------------------------------------------

bool __glHwUsable(const GlContext *ctx) {
    if (!__glHasHwState(ctx) || !ctx->tail.hwPresent) return false;
    const HwState &hw = ctx->hw;
    return hw.deviceOpen && !hw.softwareOnly && !hw.hardwareLost && hw.cpuBase != nullptr;
}

bool __glHwBufferOffset(const GlContext *ctx, const GlBuffer *b, uint32_t *offset) {
    if (b == nullptr || b->base == nullptr) return false;
    const HwState &hw = ctx->hw;
    const uint32_t base = uint32_t(reinterpret_cast<uintptr_t>(b->base));
    if (hw.fbBase == 0 || base < hw.fbBase) return false;
    const uint32_t off = base - hw.fbBase;
    if (off >= hw.fbRegionSize) return false;
    *offset = off;
    return true;
}

void __glHwEarlyKickoff(HwState *hw) {
    const bool pending = hw->notifier != nullptr && hw->notifier[15] == kHwStatusPending;
    if (hw->writeIndex > hw->cmdBufMinWords && !pending) __glHwKickoff(hw, 0);
}

// ---- buffer set-up ----------------------------------------------------------------------------------

void __glHwInitColorBuffer(GlColorBuffer *cb, GlContext *ctx) {
    __glInitRgbaColorBuffer(cb, ctx);
    cb->head.resize = __glHwResizeBuffer;
    cb->clear = __glHwClearColorBuffer;
}

int32_t __glHwResizeBuffer(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit) {
    return __glBufferResize(b, width, height, bufferBit);
}

void __glHwInitDepthBuffer(GlDepthBuffer *db, GlContext *ctx) {
    const char *forced = std::getenv("GLFORCEZBITS");
    const long bits = forced != nullptr ? std::strtol(forced, nullptr, 10) : ctx->visual.depthBits;
    if (bits > 16) {
        // The chip's depth surfaces are 16-bit: deeper buffers stay with the software kinds.
        __glInitDepthBuffer(db, ctx);
        return;
    }
    __glInitDepthBuffer16(db, ctx);
    __glHwSetupDepthBuffer(db, ctx);
}

void __glHwSetupDepthBuffer(GlDepthBuffer *db, GlContext *) {
    db->head.resize = __glHwResizeDepthBuffer;
    db->clear = __glHwClearDepthBuffer;
}

// The drawable's descriptor gives the geometry; the element and the bits stay the kind's own.
int32_t __glHwResizeDepthBuffer(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit) {
    GlDepthBuffer *db = reinterpret_cast<GlDepthBuffer *>(b);
    const int32_t es = b->elementSize > 0 ? b->elementSize : 2;
    const int32_t depth = b->depth;
    db->needsFullClear = 1;
    const int32_t result = __glBufferResize(b, width, height, bufferBit);
    b->elementSize = es;
    b->depth = depth;
    return result;
}

// ---- clears -------------------------------------------------------------------------------------

void __glHwClearColorBuffer(GlColorBuffer *cb) {
    GlContext *ctx = cb->head.context;
    if (ctx == nullptr) return;
    uint32_t offset = 0;
    if (!chipClears(ctx, &cb->head, &offset)) {
        finishChip(ctx);
        if (!__glHwLockBuffer(ctx, &cb->head)) return;
        softColourClear(cb);
        if (GlBufferDescriptor *d = cb->head.descriptor; d != nullptr && d->unlock != nullptr)
            d->unlock(d, __glBufferRecord(&cb->head));
        return;
    }
    const GlClipBox box = clipBoxOf(ctx);
    if (box.x1 <= box.x0 || box.y1 <= box.y0) return;
    HwState *hw = hwOf(ctx);
    __glHwSendSurfaces(hw);
    const bool other = offset != hw->surfaceCache[0];
    uint32_t *start = __glHwReserve(hw, other ? 13 : 7);
    uint32_t *w = start;
    // Subchannel 4 holds the colour surface object after every surface validation: a clear of
    // another buffer points it there and back.
    if (other) surfaceWords(w, 4, uint32_t(cb->head.pitchBytes), offset);
    const float *c = ctx->state.color.clearColor;
    bindWords(w, 2, kHwColourFill);
    *w++ = hwMethodHeader(1, 2, 0x304);
    *w++ = 0xFF000000u | unitToScaleRound(c[0], 255.0) << 16 | unitToScaleRound(c[1], 255.0) << 8 | unitToScaleRound(c[2], 255.0);
    *w++ = hwMethodHeader(2, 2, 0x400);
    boxWords(ctx, box, w);
    w += 2;
    if (other) surfaceWords(w, 4, hw->surfaceCache[1], hw->surfaceCache[0]);
    hw->writeIndex += uint32_t(w - start);
    finishClear(hw);
}

void __glHwClearDepthBuffer(GlDepthBuffer *db) {
    GlContext *ctx = db->head.context;
    if (ctx == nullptr) return;
    uint32_t offset = 0;
    if (db->head.elementSize != 2 || !chipClears(ctx, &db->head, &offset)) {
        finishChip(ctx);
        __glClearDepthBuffer(db);
        return;
    }
    const GlClipBox box = clipBoxOf(ctx);
    if (box.x1 <= box.x0 || box.y1 <= box.y0) return;
    HwState *hw = hwOf(ctx);
    __glHwSendSurfaces(hw);
    uint32_t *start = __glHwReserve(hw, 7);
    uint32_t *w = start;
    bindWords(w, 3, kHwDepthFill);
    *w++ = hwMethodHeader(1, 3, 0x304);
    *w++ = unitToScaleRound(ctx->state.mode.depthClear, 65535.0);
    *w++ = hwMethodHeader(2, 3, 0x400);
    boxWords(ctx, box, w);
    w += 2;
    hw->writeIndex += uint32_t(w - start);
    db->needsFullClear = 0;
    finishClear(hw);
}

// ---- clip rectangle and surfaces ----------------------------------------------------------------

BOOL __glHwSetClipRect(GlContext *ctx, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!__glHwUsable(ctx)) return FALSE;
    HwState *hw = hwOf(ctx);
    uint32_t *start = __glHwReserve(hw, 5);
    uint32_t *w = start;
    bindWords(w, 0, kHwClipObject);
    *w++ = hwMethodHeader(2, 0, 0x300);
    *w++ = uint32_t(y & 0xFFFF) << 16 | uint32_t(x & 0xFFFF);
    *w++ = uint32_t(height & 0xFFFF) << 16 | uint32_t(width & 0xFFFF);
    hw->writeIndex += uint32_t(w - start);
    hw->loadedBlock = 3;
    return TRUE;
}

BOOL __glHwResizeClip(GlContext *ctx, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!__glHwSetClipRect(ctx, x, y, width, height)) return FALSE;
    HwState *hw = hwOf(ctx);
    const GlDrawableExtent &d = ctx->state.transform.drawable;
    hw->clipNarrowed = x == 0 && y == 0 && width == d.width && height == d.height ? 0 : 1;
    hw->clipPending = 1;   // the clip box is applied again before the next drawing
    return TRUE;
}

void __glHwComputeClipBox(GlContext *ctx) {
    __glComputeClipBox(ctx);
    const GLenum draw = ctx->state.mode.drawBuffer;
    RECT v;
    if ((draw != GL_FRONT && draw != GL_FRONT_AND_BACK) || !__wglScreenFrontVisibleBox(ctx, &v))
        return;
    GlTransformState &t = ctx->state.transform;
    const int32_t bx = ctx->limits.biasX, by = ctx->limits.biasY;
    t.clipBoxX0 = std::max<int32_t>(t.clipBoxX0, v.left + bx);
    t.clipBoxY0 = std::max<int32_t>(t.clipBoxY0, v.top + by);
    t.clipBoxX1 = std::max<int32_t>(t.clipBoxX0, std::min<int32_t>(t.clipBoxX1, v.right + bx));
    t.clipBoxY1 = std::max<int32_t>(t.clipBoxY0, std::min<int32_t>(t.clipBoxY1, v.bottom + by));
}

// Validation chooses the surfaces; their words go out in front of the next drawing by the chip,
// so that a context drawing in software, or not drawing at all, writes nothing.
void __glHwValidateSurfaces(GlContext *ctx) {
    __glPickDrawBufferProcs(ctx);
    if (!__glHwUsable(ctx)) return;
    HwState *hw = hwOf(ctx);
    if (ctx->hostProcs.getPrimary != nullptr)
        hw->fbBase = uint32_t(reinterpret_cast<uintptr_t>(ctx->hostProcs.getPrimary(ctx)));
    uint32_t *want = hw->surfaceWanted;
    for (int i = 0; i < 6; ++i) want[i] = hw->surfaceCache[i];
    // The colour surface: the buffer drawn into, when it lies in video memory.
    const GlColorBuffer *draw = ctx->buffers.color.drawColorBuffer;
    uint32_t offset = 0;
    if (draw != nullptr && __glHwBufferOffset(ctx, &draw->head, &offset)) {
        want[0] = offset;
        want[1] = uint32_t(draw->head.pitchBytes);
    }
    // The screen surface: the primary at the screen's pitch.
    want[2] = 0;
    want[3] = uint32_t(ctx->buffers.color.front.head.pitchBytes);
    // The depth surfaces, when the depth buffer is in video memory.
    const GlBuffer *depth = ctx->buffers.heads.depth;
    if (depth != nullptr && __glHwBufferOffset(ctx, depth, &offset)) {
        want[4] = offset;
        want[5] = uint32_t(depth->pitchBytes);
    }
    hw->surfacesChosen = 1;
    hw->clipPending = 1;
}

namespace {

// The chip clips its triangles, lines and points to the clip rectangle, which follows the clip
// box (the scissor box within the drawable). While the box is the whole drawable and no narrower
// rectangle was sent, nothing is sent: the chip then clips to the surface.
void sendClip(HwState *hw) {
    if (!hw->clipPending) return;
    hw->clipPending = 0;
    GlContext *ctx = hw->context;
    if (ctx == nullptr) return;
    const GlClipBox box = clipBoxOf(ctx);
    const int32_t x = box.x0 - ctx->limits.biasX, y = box.y0 - ctx->limits.biasY;
    const int32_t w = box.x1 > box.x0 ? box.x1 - box.x0 : 0, h = box.y1 > box.y0 ? box.y1 - box.y0 : 0;
    const GlDrawableExtent &d = ctx->state.transform.drawable;
    const bool whole = x == 0 && y == 0 && w == d.width && h == d.height;
    if (whole && !hw->clipNarrowed) return;
    if (__glHwSetClipRect(ctx, x, y, w, h)) hw->clipNarrowed = whole ? 0 : 1;
}

}  // namespace

void __glHwSendSurfaces(HwState *hw) {
    sendClip(hw);
    if (!hw->surfacesChosen) return;
    const uint32_t *want = hw->surfaceWanted;
    uint32_t *cache = hw->surfaceCache;
    uint32_t *w = nullptr;
    uint32_t *start = nullptr;
    auto begin = [&](uint32_t n) { start = w = __glHwReserve(hw, n); };
    auto end = [&]() {
        hw->writeIndex += uint32_t(w - start);
        hw->loadedBlock = 3;
    };
    if (want[0] != cache[0] || want[1] != cache[1]) {
        begin(5);
        bindWords(w, 4, kHwSurfaceColour);
        surfaceWords(w, 4, want[1], want[0]);
        end();
        cache[0] = want[0];
        cache[1] = want[1];
    }
    if (cache[2] != want[2] || cache[3] != want[3]) {
        begin(7);
        bindWords(w, 4, kHwSurfaceScreen);
        surfaceWords(w, 4, want[3], want[2]);
        bindWords(w, 4, kHwSurfaceColour);
        end();
        cache[2] = want[2];
        cache[3] = want[3];
    }
    if (want[4] != cache[4] || want[5] != cache[5]) {
        begin(10);
        bindWords(w, 5, kHwSurfaceDepthA);
        surfaceWords(w, 5, want[5], want[4]);
        bindWords(w, 5, kHwSurfaceDepthB);
        surfaceWords(w, 5, want[5], want[4]);
        end();
        cache[4] = want[4];
        cache[5] = want[5];
    }
}

// ---- software access to the drawable ------------------------------------------------------------

namespace {

// What the primitive slots hold while the device is lost: the chip must not be given commands,
// and the next validation (which the failed lock asks for) chooses again.
void dropPoint(GlContext *, GlVertex *) {}
void dropLine(GlContext *, GlVertex *, GlVertex *) {}
void dropTriangle(GlContext *, GlVertex *, GlVertex *, GlVertex *) {}
void dropPolygon(GlContext *, GlVertex **, int32_t) {}

}  // namespace

bool __glHwFrontOwnershipMoved(GlContext *ctx) {
    GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    GlDrawable *dr = rec != nullptr ? rec->drawable : nullptr;
    // The serial alone while nothing changed; the region is taken under the block's lock word.
    if (dr == nullptr || dr->windowState == nullptr || dr->windowState->changeCounter == dr->windowStateSeen)
        return false;
    __wglRefreshWindowRegion(dr);
    if ((rasterOf(ctx).shadeFlags & kGlShadeFrontClip) || !(__glComputeShadeFlags(ctx) & kGlShadeFrontClip))
        return false;
    __glPickOwnershipProcs(ctx);
    return true;
}

namespace {

// A lock that refuses drops the drawing: the frame is marked lost for the swap (or glFinish) to
// report, and the chip is given nothing until a lock works again.
void refuseAccess(GlContext *ctx) {
    if (GlDrawableBuffers *rec = ctx->tail.drawableBuffers; rec != nullptr && rec->drawable != nullptr)
        rec->drawable->flags |= kGlDrawableFrameLost;
    // Called inside glBegin/glEnd too (the primitive bracket): validation waits for glEnd.
    __glRequestValidation(ctx);
    ctx->dirtyMask |= 0x7FF;
    if (__glHasHwState(ctx)) {
        GlPrimitiveProcs &prim = ctx->slots.primitive;
        prim.renderPoint = dropPoint;
        prim.renderLine = dropLine;
        prim.renderTriangle = dropTriangle;
        ctx->state.clip.polygonProc = dropPolygon;
        // Only a chip that was drawing is lost by the lock; one already lost (a device that
        // failed to open again after a mode change) stays lost until it is opened again.
        if (!ctx->hw.hardwareLost) ctx->hw.lostByLock = 1;
        ctx->hw.hardwareLost = 1;
    }
}

// A device lost only because a lock once failed comes back with the next lock that works:
// the procs are chosen again at the next validation.
void accessGranted(GlContext *ctx) {
    if (__glHasHwState(ctx) && ctx->hw.lostByLock) {
        ctx->hw.lostByLock = 0;
        ctx->hw.hardwareLost = ctx->hw.deviceOpen && ctx->hw.cpuBase != nullptr ? 0 : 1;
        __glRequestValidation(ctx);
        ctx->dirtyMask |= 0x7FF;
    }
}

}  // namespace

// Dirty bits do not refuse access: every drawing, reading and clearing entry validates before
// it reaches the buffers, and the lock refreshes each buffer's base and pitch. The bits seen here
// were set by the operation itself (a deep depth buffer's clear moving its tag epoch right before
// its fill, this very lock giving the chip back), and refusing them would lose its work.
BOOL __glHwBeginBufferAccess(GlContext *ctx, uint32_t flags) {
    if (flags & kGlBufferFront) __glHwFrontOwnershipMoved(ctx);
    if (!__glPrepareBuffers(ctx, flags)) {
        refuseAccess(ctx);
        return FALSE;
    }
    accessGranted(ctx);
    return TRUE;
}

// A buffer that software fills or reads outside a primitive (a clear the chip cannot do, the
// accumulation operations) is locked here, so that a refusal (the buffer's surface busy or lost)
// is the frame's like any other drawing's, rather than work silently not done under a swap that
// reports the frame drawn.
bool __glHwLockBuffer(GlContext *ctx, GlBuffer *b) {
    GlBufferDescriptor *d = b->descriptor;
    if (d == nullptr || d->lock == nullptr) return true;
    if (!d->lock(d, __glBufferRecord(b))) {
        refuseAccess(ctx);
        return false;
    }
    accessGranted(ctx);
    return true;
}

BOOL __glHwEndBufferAccess(GlContext *ctx, uint32_t flags) { return __glReleaseBuffers(ctx, flags); }

// Drawing locks what it draws into, as validation chose: the colour buffers drawn, the depth
// buffer under the depth test, the stencil buffer under the stencil test. The others stay
// unlocked: no time goes into them, and one whose lock would refuse (say a stencil surface lost
// while the stencil test is off) does not stop drawing that never reads it.
BOOL __glHwBeginDrawAccess(GlContext *ctx) { return __glHwBeginBufferAccess(ctx, ctx->state.pick.drawBufferMask); }
void __glHwEndDrawAccess(GlContext *ctx) { __glHwEndBufferAccess(ctx, ctx->state.pick.drawBufferMask); }

void __glHwInstallBufferAccess(GlContext *ctx) {
    GlBufferArea &b = ctx->buffers;
    b.prepare = __glHwBeginBufferAccess;
    b.release = __glHwEndBufferAccess;
    b.drawableLock = __glHwBeginDrawAccess;
    b.drawableUnlock = __glHwEndDrawAccess;
}
