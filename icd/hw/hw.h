// What the other subsystems of the driver may call in the hardware back end: device start-up
// and tear-down, the double command buffer and its kick-off, flush and finish.
#pragma once
#include <cstdint>
#include "platform/win32/win32.h"
#include "include/zk_escape.h"
#include "icd/hw/hw_state.h"

struct GlContext;

// ---- command words ------------------------------------------------------------------------------
// A method header: `count` data words follow for methods method, method + 4, ...
constexpr uint32_t hwMethodHeader(uint32_t count, uint32_t subchannel, uint32_t method) {
    return count << 18 | subchannel << 13 | method;
}
constexpr uint32_t kHwSlackWords = 1280;   // behind each half, for writers that overrun
constexpr uint32_t kHwNotifyWords = 9;     // the notify sequence a flush appends

// Handles of this context's zkgfx objects: the client id in the upper half.
inline uint32_t hwHandle(const HwState *hw, uint32_t low) { return (hw->clientId << 16) + low; }
constexpr uint32_t kHwChannelNotifierLow = uint32_t(-0xF003);
constexpr uint32_t kHwChannelLow = 0x1234;
// The memory objects' low words: the chip reaches each block of memory through one of them.
constexpr uint32_t kHwPrivateNotifierLow = 0x1001;   // this context's notifier record
constexpr uint32_t kHwSharedNotifierLow = 0x1002;    // the notifier in the shared mapping
constexpr uint32_t kHwFbSurfacesLow = 0x1003;        // video memory, for surfaces
constexpr uint32_t kHwHeapObjectLow = 0x1005;        // the shared texture heap (system memory)
constexpr uint32_t kHwFbTexturesLow = 0x1006;        // video memory, for textures
constexpr uint32_t kHwPushBufferLow = 0x1007;        // the command buffer

// ---- device start-up and tear-down ----------------------------------------------------------
BOOL __glHwOpenDevice(GlContext *ctx);
void __glHwShutdown(GlContext *ctx);
BOOL __glHwReopenDevice(GlContext *ctx);
void __glHwCloseDevice(GlContext *ctx, HwState *hw);
void __glHwReadSettings(HwState *hw);
void __glHwWriteHeapSetting(uint32_t size);
BOOL __glHwOpenSharedMutex(HwState *hw);
BOOL __glHwOpenSharedMemory(HwState *hw);
void __glHwCloseSharedMemory(HwState *hw);
BOOL __glHwOpenDirectDraw(HwState *hw);
BOOL __glHwSetOpenGlActive(HwState *hw, uint32_t count);
BOOL __glHwQueryChannel(HwState *hw);
BOOL __glHwCreateObjects(HwState *hw);
BOOL __glHwBindObjects(HwState *hw);
BOOL __glHwProcessAttach(DWORD threadId);
BOOL __glHwProcessDetach(DWORD threadId);
// The gamma ramp entries: three 256-byte tables each (extension entries of the driver).
extern "C" BOOL WINAPI wglSetDeviceGammaRampZORVEK(const BYTE *red, const BYTE *green, const BYTE *blue);
extern "C" BOOL WINAPI wglGetDeviceGammaRampZORVEK(BYTE *red, BYTE *green, BYTE *blue);
// The gamma ramp the start-up loads: entry i of all three tables, for gamma x 1000.
void __glHwBuildGammaTable(int32_t gammaTimes1000, BYTE table[256]);

// ---- zkgfx requests -------------------------------------------------------------------------
// One block, both input and output: FALSE when the call itself fails.
BOOL __glHwZkgfxRequest(HwState *hw, uint32_t code, void *block, uint32_t size);
BOOL __glHwCreateMemoryObject(HwState *hw, uint32_t handle, uint32_t cls, const void *base, uint32_t limit);
void __glHwFreeObject(HwState *hw, uint32_t handle);

// ---- command buffer -------------------------------------------------------------------------
BOOL __glHwAllocPushBuffer(HwState *hw);
void __glHwInitPushBuffer(HwState *hw, uint8_t *alignedStart);
void __glHwFreePushBuffer(HwState *hw);
// Sends the current half and switches to the other; returns 0. `need` is 0 for a flush that
// wants the chip's completion, else the words the caller was about to reserve; either way the
// push carries a notification once the channel's objects are configured, so that no half is
// refilled before the chip has consumed it. A refused push is tried once more and then marks
// the device lost (hardwareLost), unless a display-mode change explains it.
uint32_t __glHwKickoff(HwState *hw, uint32_t need);
uint32_t __glHwSendPushEscape(HwState *hw, const ZK_DMA_PUSH_PARAMS *record);
// Waits while a notification is pending; gives up only on a display-mode change or when the
// chip has not answered for seconds (the device is then lost).
void __glHwWaitIdle(HwState *hw);
void __glHwSwapHalves(HwState *hw);
void __glHwFlush(GlContext *ctx);
void __glHwFinish(GlContext *ctx);
// glFinish's rule: called from within 100 bytes of opengl32's wglSwapBuffers it swaps.
void __glHwFinishFrom(GlContext *ctx, const void *returnAddress);
BOOL __glHwScreenBlit(int32_t width, int32_t height, int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY,
                      BOOL noFlush);
void __glHwReinit(GlContext *ctx);

// Reserves n words in the current half (flushing first when they do not fit) and returns where
// to write them; the writer adds what it wrote to writeIndex. A writer may run past its
// reservation into the slack.
inline uint32_t *__glHwReserve(HwState *hw, uint32_t n) {
    if (hw->cmdBufSizeWords < hw->writeIndex + n) __glHwKickoff(hw, n);
    return hw->cpuBase + hw->writeIndex;
}

// ---- process-wide settings ------------------------------------------------------------------
extern int32_t __glHwGammaTimes1000;
