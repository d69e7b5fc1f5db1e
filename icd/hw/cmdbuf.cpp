// The double command buffer of a context and its kick-off through the display driver's DMA
// escape, the wait for the chip, flush and finish, the screen blit and the recovery after a
// display-mode change.
//
// Completion: once the channel's objects are configured, every push ends in a notification
// request on the shared notifier, and every kick-off waits for the previous one before it
// pushes. A half is therefore never refilled before the chip has consumed it: the half being
// refilled was pushed before the batch the last kick-off waited for.
#include <cstring>
#include "icd/core/state_entries_util.h"
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/drawable.h"
#include "icd/hw/drawable_buffers.h"
#include "icd/hw/hw.h"
#include "icd/hw/hw_services.h"

namespace {

constexpr uint32_t kHalfSlackBytes = kHwSlackWords * 4;   // 5120
constexpr uint32_t kPollReads = 0x7FFF;
constexpr DWORD kChipHungMs = 2000;   // a notification this late means the chip is gone
constexpr int kReopenAttempts = 3;

volatile uint8_t *statusByte(HwState *hw) { return hw->notifier != nullptr ? hw->notifier + 15 : nullptr; }

void setStatus(HwState *hw, uint8_t v) {
    if (volatile uint8_t *s = statusByte(hw)) *s = v;
}

bool modeChanged(const HwState *hw) { return hw->driverModeCounter != hw->modeCounter; }

// The device can no longer be used: later drawing goes to software.
// The commands not yet run go with the device: the frame they belong to is not the frame drawn,
// and the drawable's next swap says so.
void loseDevice(HwState *hw) {
    hw->hardwareLost = 1;
    setStatus(hw, 0);
    GlContext *ctx = __glGetCurrentContext();
    if (ctx != nullptr && &ctx->hw == hw && ctx->tail.drawableBuffers != nullptr &&
        ctx->tail.drawableBuffers->drawable != nullptr)
        ctx->tail.drawableBuffers->drawable->flags |= kGlDrawableFrameLost;
}

ZK_DMA_PUSH_PARAMS pushRecord(const HwState *hw, uint32_t start, uint32_t end) {
    return ZK_DMA_PUSH_PARAMS{hw->channelWords[0], hw->channelWords[1], hw->channelWords[2], start, end,
                              hw->modeCounter};
}

}  // namespace

// ---- the buffer ----------------------------------------------------------------------------------

BOOL __glHwAllocPushBuffer(HwState *hw) {
    const uint64_t bytes = uint64_t(hw->cmdBufSizeWords) * 8 + 0x3800;
    if (hw->cmdBufSizeWords == 0 || bytes > 0x40000000u) return FALSE;
    void *p = VirtualAlloc(nullptr, SIZE_T(bytes), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (p == nullptr) return FALSE;
    hw->cmdBufAlloc = static_cast<uint8_t *>(p);
    return TRUE;
}

void __glHwInitPushBuffer(HwState *hw, uint8_t *alignedStart) {
    const uint32_t second = hw->cmdBufSizeWords * 4 + kHalfSlackBytes;
    hw->halfCpuBase[0] = reinterpret_cast<uint32_t *>(alignedStart);
    hw->halfCpuBase[1] = reinterpret_cast<uint32_t *>(alignedStart + second);
    hw->halfGpuOffset[0] = 0;
    hw->halfGpuOffset[1] = second;
    hw->halfIndex = 0;
    hw->cpuBase = hw->halfCpuBase[0];
    hw->gpuOffset = 0;
    hw->writeIndex = 0;
    hw->submissionCount = 0;
}

void __glHwFreePushBuffer(HwState *hw) {
    if (hw->cmdBufAlloc != nullptr) VirtualFree(hw->cmdBufAlloc, 0, MEM_RELEASE);
    hw->cmdBufAlloc = nullptr;
    hw->halfCpuBase[0] = hw->halfCpuBase[1] = nullptr;
    hw->halfGpuOffset[0] = hw->halfGpuOffset[1] = 0;
    hw->cpuBase = nullptr;
    hw->writeIndex = 0;
    hw->cmdBufSizeWords = 0;
}

void __glHwSwapHalves(HwState *hw) {
    hw->halfIndex ^= 1;
    hw->cpuBase = hw->halfCpuBase[hw->halfIndex];
    hw->gpuOffset = hw->halfGpuOffset[hw->halfIndex];
    hw->submissionCount += 1;
    hw->bindPending = 1;
    hw->loadedBlock = 3;
}

// ---- pushing -------------------------------------------------------------------------------------

// Output word 0 starts at 0 and word 1 at the counter already known, so that a driver that did
// not try to start the pusher, or did not answer at all, reads as a refusal and leaves the
// counter alone.
uint32_t __glHwSendPushEscape(HwState *hw, const ZK_DMA_PUSH_PARAMS *record) {
    HDC dc = GetDC(nullptr);
    if (dc == nullptr) return 0;
    ZK_DMA_PUSH_PARAMS out = *record;
    out.dmaObject = 0;
    out.param1 = hw->driverModeCounter;
    const int r = ExtEscape(dc, ESC_ZK_START_DMA_PUSH, sizeof *record, reinterpret_cast<LPCSTR>(record),
                            sizeof out, reinterpret_cast<LPSTR>(&out));
    hw->driverModeCounter = out.param1;
    ReleaseDC(nullptr, dc);
    return r > 0 ? out.dmaObject : 0;
}

// Waits until no notification is pending. A chip that is still busy is waited for; the wait
// ends early only when the display mode changed (the batch was dropped with the old mode) or
// when the chip has not answered for so long that the device counts as lost.
void __glHwWaitIdle(HwState *hw) {
    volatile uint8_t *status = statusByte(hw);
    if (status == nullptr) return;
    const DWORD start = GetTickCount();
    for (;;) {
        for (uint32_t i = 0; i < kPollReads; ++i)
            if (*status != kHwStatusPending) return;
        const ZK_DMA_PUSH_PARAMS empty = pushRecord(hw, 0, 0);
        __glHwSendPushEscape(hw, &empty);   // asks for the display driver's mode-change counter
        if (modeChanged(hw)) {
            *status = 0;
            return;
        }
        if (*status != kHwStatusPending) return;
        if (GetTickCount() - start > kChipHungMs) {
            loseDevice(hw);
            return;
        }
        Sleep(0);
    }
}

uint32_t __glHwKickoff(HwState *hw, uint32_t need) {
    (void)need;   // every push is notified once the notify object exists (see the top)
    // 1. A mode change since the start-up: the commands are dropped until re-initialisation.
    if (modeChanged(hw)) {
        __glHwSwapHalves(hw);
        hw->writeIndex = 0;
        return 0;
    }
    // 2. Nothing written.
    if (hw->writeIndex == 0) return 0;
    // 3. The shared mutex; a wait that fails means the handle is unusable.
    const DWORD w = WaitForSingleObject(hw->sharedMutex, INFINITE);
    if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) {
        loseDevice(hw);
        __glHwSwapHalves(hw);
        hw->writeIndex = 0;
        return 0;
    }
    // 4, 5. The previous notified batch is done.
    __glHwWaitIdle(hw);
    setStatus(hw, 0);
    // 6. The notification request.
    const bool notify = (hw->progress & kHwProgressObjects) != 0;
    if (notify) {
        uint32_t *p = hw->cpuBase + hw->writeIndex;
        const uint32_t words[kHwNotifyWords] = {hwMethodHeader(1, 2, 0),     0x1010, hwMethodHeader(1, 2, 0x104), 0,
                                                hwMethodHeader(1, 2, 0x304), 0,      hwMethodHeader(2, 2, 0x400), 0,
                                                0};
        std::memcpy(p, words, sizeof words);
        hw->bindPending = 1;
        hw->loadedBlock = 3;
        hw->writeIndex += kHwNotifyWords;
    }
    // 7. The push. A refusal is tried once more; a second one, without a mode change to
    // explain it, loses the device rather than dropping drawing silently.
    const ZK_DMA_PUSH_PARAMS record = pushRecord(hw, hw->gpuOffset, hw->gpuOffset + 4 * hw->writeIndex);
    uint32_t started = 0;
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        setStatus(hw, notify ? kHwStatusPending : 0);
        started = __glHwSendPushEscape(hw, &record);
        if (!started) {
            setStatus(hw, 0);
            if (modeChanged(hw)) break;
        }
    }
    if (!started && !modeChanged(hw)) loseDevice(hw);
    // 8, 9.
    ReleaseMutex(hw->sharedMutex);
    __glHwSwapHalves(hw);
    hw->writeIndex = 0;
    return 0;
}

// ---- flush and finish ----------------------------------------------------------------------------

void __glHwFlush(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    if (hw->hardwareLost) return;
    if (modeChanged(hw)) __glHwReinit(ctx);
    __glHwKickoff(hw, 0);
    __glHwWaitIdle(hw);
}

void __glHwFinish(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    if (!hw->drawingPending || hw->hardwareLost) return;
    if (modeChanged(hw)) __glHwReinit(ctx);
    __glHwKickoff(hw, 0);
    __glHwWaitIdle(hw);
    hw->loadedBlock = 3;
}

namespace {
// A single-buffered drawable has no swap to fail: glFinish and glFlush say, through the thread's
// last error as a failed swap does, that drawing or a read since the last of them was dropped.
// A double-buffered one keeps the mark for its swap.
void reportDroppedFrontWork(GlContext *ctx) {
    GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    if (ctx->visual.doubleBuffer || rec == nullptr || rec->drawable == nullptr) return;
    if (__glTakeFrameLost(rec->drawable)) SetLastError(ERROR_GEN_FAILURE);
}
}  // namespace

void __glHwFinishFrom(GlContext *ctx, const void *returnAddress) {
    const uintptr_t entry = reinterpret_cast<uintptr_t>(ctx->tail.wglSwapBuffersAddress);
    const uintptr_t ra = reinterpret_cast<uintptr_t>(returnAddress);
    const uintptr_t distance = ra > entry ? ra - entry : entry - ra;
    // glFinish has no result: a swap that fails tells opengl32's wglSwapBuffers through the last
    // error, so that the program hears of a frame not shown.
    if (entry != 0 && distance <= 100) {
        if (!__wglSwapDrawable(ctx)) SetLastError(ERROR_GEN_FAILURE);
    } else {
        ctx->slots.finish(ctx);
        reportDroppedFrontWork(ctx);
    }
}

namespace icd {

void APIENTRY glFinish(void) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return;
    }
    __glHwFinishFrom(ctx, __builtin_return_address(0));
}

void APIENTRY glFlush(void) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return;
    }
    ctx->slots.flush(ctx);
    reportDroppedFrontWork(ctx);
}

}  // namespace icd

// ---- screen blit ---------------------------------------------------------------------------------

BOOL __glHwScreenBlit(int32_t width, int32_t height, int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY,
                      BOOL noFlush) {
    GlContext *ctx = __glGetCurrentContext();
    if (!__glHasHwState(ctx)) return FALSE;   // no application context: nothing to blit for
    HwState *hw = &ctx->hw;
    if (hw->hardwareLost || !hw->deviceOpen || hw->cpuBase == nullptr) {
        const GlBuffer &src = ctx->buffers.color.back.head;
        const GlBuffer &dst = ctx->buffers.color.front.head;
        uint8_t *fb = ctx->hostProcs.getPrimary != nullptr ? static_cast<uint8_t *>(ctx->hostProcs.getPrimary(ctx)) : nullptr;
        if (src.base == nullptr || fb == nullptr || width <= 0 || height <= 0) return TRUE;
        const size_t rowBytes = size_t(width) * size_t(src.elementSize);
        for (int32_t row = 0; row < height; ++row)
            std::memcpy(fb + ptrdiff_t(dstY + row) * dst.pitchBytes + ptrdiff_t(dstX) * dst.elementSize,
                        src.base + ptrdiff_t(srcY + row) * src.pitchBytes + ptrdiff_t(srcX) * src.elementSize, rowBytes);
        return TRUE;
    }
    uint32_t *w = __glHwReserve(hw, 3);
    w[0] = hwMethodHeader(1, 7, 0);
    w[1] = 0x1011;
    w[2] = hwMethodHeader(3, 7, 0x300);
    w[3] = uint32_t(srcY & 0xFFFF) << 16 | uint32_t(srcX & 0xFFFF);
    w[4] = uint32_t(dstY & 0xFFFF) << 16 | uint32_t(dstX & 0xFFFF);
    w[5] = uint32_t(height & 0xFFFF) << 16 | uint32_t(width & 0xFFFF);
    hw->writeIndex += 6;
    hw->loadedBlock = 3;
    if (noFlush) return TRUE;
    if (modeChanged(hw)) __glHwReinit(ctx);
    __glHwKickoff(hw, 0);
    return TRUE;
}

// ---- after a display-mode change -----------------------------------------------------------------

void __glHwReinit(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    // 1. What was written for the old mode is dropped.
    __glHwSwapHalves(hw);
    setStatus(hw, 0);
    hw->writeIndex = 0;
    // 2. With the drawable's surfaces back, start the device again for the new mode.
    if (ctx->handle != nullptr && __wglRevalidateDrawable(ctx->handle) == 1) {
        hw->modeCounter = hw->driverModeCounter;
        BOOL reopened = FALSE;
        for (int attempt = 0; attempt < kReopenAttempts && !reopened; ++attempt) {
            if (attempt != 0) Sleep(10);
            reopened = __glHwReopenDevice(ctx);
        }
        if (reopened) {
            __glAttachDrawableBuffers(ctx, ctx->tail.drawableBuffers);
            if (ctx->slots.validateSurfaces != nullptr) ctx->slots.validateSurfaces(ctx);
            for (uint32_t &word : hw->surfaceCache) word = 0xFFFFFFFFu;
        } else {
            hw->hardwareLost = 1;
        }
    } else {
        // 3.
        hw->hardwareLost = 1;
    }
    // 4. Everything is chosen again at the next primitive.
    __glRequestValidation(ctx);
    ctx->dirtyMask |= 0x7FF;
    if (ctx->renderMode == GL_RENDER) {
        GlPrimitiveProcs &p = ctx->slots.primitive;
        auto nop = reinterpret_cast<void (*)(void)>(&__glNopProc);   // ignores the vertices
        p.renderTriangle = reinterpret_cast<GlRenderTriangleProc>(nop);
        p.renderLine = reinterpret_cast<GlRenderLineProc>(nop);
        p.renderPoint = reinterpret_cast<GlVertexProc>(nop);
    }
}
