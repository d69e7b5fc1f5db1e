// The hardware side of a context's buffers: colour and depth buffer objects whose resize and
// clear procs belong to the chip, the clears and the clip rectangle written as chip commands, the
// surface words sent before drawing, and the bracket of software access to the drawable.
#pragma once
#include <cstdint>
#include "platform/win32/win32.h"

struct GlContext;
struct GlBuffer;
struct GlColorBuffer;
struct GlDepthBuffer;
struct HwState;

// ---- buffer set-up ------------------------------------------------------------------------------
// Every RGBA colour buffer of a context, software drawable or not: the generic RGBA buffer with
// the chip's resize and clear procs.
void __glHwInitColorBuffer(GlColorBuffer *cb, GlContext *ctx);
// The depth buffer of a context: the chip's 16-bit kind with the chip's resize and clear procs;
// a visual (or "GLFORCEZBITS") asking for more than 16 bits gets the software kind it asks for.
void __glHwInitDepthBuffer(GlDepthBuffer *db, GlContext *ctx);
// Re-applies the chip's resize and clear procs to a 16-bit depth buffer already initialised.
void __glHwSetupDepthBuffer(GlDepthBuffer *db, GlContext *ctx);
int32_t __glHwResizeBuffer(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit);
// Marks the depth buffer for a full clear, then resizes it.
int32_t __glHwResizeDepthBuffer(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit);

// ---- clears -------------------------------------------------------------------------------------
// Over the context's clip box. A buffer the chip cannot reach (plain memory, no usable device, a
// clipped window) is cleared in software instead.
void __glHwClearColorBuffer(GlColorBuffer *cb);
void __glHwClearDepthBuffer(GlDepthBuffer *db);

// ---- clip rectangle and surfaces ----------------------------------------------------------------
// FALSE (nothing written) while the context draws in software or the device is lost.
BOOL __glHwSetClipRect(GlContext *ctx, int32_t x, int32_t y, int32_t width, int32_t height);
// The context's resize-at-a-position proc: the chip's clip rectangle becomes the rectangle, which
// the clip box then only narrows.
BOOL __glHwResizeClip(GlContext *ctx, int32_t x, int32_t y, int32_t width, int32_t height);
// The context's pre-draw proc: the generic draw-buffer pick, then the choice of the colour, screen
// and depth surfaces; __glHwSendSurfaces writes the words of those that changed, and every proc
// that draws with the chip calls it first.
void __glHwValidateSurfaces(GlContext *ctx);
// The context's clip-box proc: the generic box, cut to the part of the window on the screen when
// the front buffer drawn into is the screen's (no road then addresses rows or columns of the
// window beyond the screen's edges).
void __glHwComputeClipBox(GlContext *ctx);
void __glHwSendSurfaces(HwState *hw);

// ---- software access to the drawable ------------------------------------------------------------
// FALSE when the drawable cannot be locked (a failed lock marks the device lost and installs
// do-nothing primitive procs until the next validation; the next lock that works gives the device
// back). On success the locked buffers' base and pitch are fresh.
BOOL __glHwBeginBufferAccess(GlContext *ctx, uint32_t flags);
// The same for one buffer that software fills or reads outside a primitive (a software clear,
// the accumulation operations); the caller unlocks it after.
bool __glHwLockBuffer(GlContext *ctx, GlBuffer *b);
// A window came above the front buffer drawn into since the procs were chosen: they are chosen
// again at once (ownership-testing software procs in place of the chip's), and the caller hands
// the primitive in hand to the procs now in the slots. One compare of the display driver's
// region serial while nothing changed: cheap enough for every chip primitive and every lock.
bool __glHwFrontOwnershipMoved(GlContext *ctx);
BOOL __glHwEndBufferAccess(GlContext *ctx, uint32_t flags);
// The primitive bracket's pair: the buffers drawing touches (the draw-buffer mask validation chose).
BOOL __glHwBeginDrawAccess(GlContext *ctx);
void __glHwEndDrawAccess(GlContext *ctx);
// Installs the four procs above into the context's buffer-access and primitive-lock slots.
void __glHwInstallBufferAccess(GlContext *ctx);

// ---- helpers the hardware procs share -----------------------------------------------------------
// The chip may draw for this context now: an application context with an open, unlost device.
bool __glHwUsable(const GlContext *ctx);
// The buffer's memory lies in the frame buffer the chip addresses; its byte offset there.
bool __glHwBufferOffset(const GlContext *ctx, const GlBuffer *b, uint32_t *offset);
// Pushes what is written when the buffer holds more than the early kick-off threshold and the chip
// is not busy with an earlier batch.
void __glHwEarlyKickoff(HwState *hw);
