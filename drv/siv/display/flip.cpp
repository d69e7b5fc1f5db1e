// Flips: which surface the display shows, and when the previous flip counts as finished.
#include "drv/siv/display/blt_engine.h"

using namespace sivblt;

namespace {

// A wait for the display that ran out: the caller hears that the chip is still busy.
DWORD StillDrawing(DDHAL_WAITFORVERTICALBLANKDATA *data) {
    data->ddRVal = DDERR_WASSTILLDRAWING;
    return DDHAL_DRIVER_HANDLED;
}

// A flip is pending until CheckFlipPacing has seen it through.
bool FlipPending(DriverBlock *block) { return block->flipDone() == 0 && CheckFlipPacing(block) == DDERR_WASSTILLDRAWING; }

DWORD FlipProgrammed(DDHAL_FLIPDATA *data, DriverBlock *block) {
    block->flipDone() = 0;
    block->flipSawActive() = 0;
    block->flipSawRetrace() = 0;
    block->flipFromAddress() = static_cast<uint32_t>(data->lpSurfCurr ? data->lpSurfCurr->lpGbl->fpVidMem : 0);
    block->flipTime() = timeGetTime();
    block->flipCount() += 1;
    data->ddRVal = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}

void RmwCrtc(uint8_t index, uint8_t clear) {
    kivOutPort8(0x3D4, index);
    kivOutPort8(0x3D5, static_cast<uint8_t>(kivInPort8(0x3D5) & ~clear));
}

}  // namespace

// The display start through the CRTC, in 4-byte units; never switched during a retrace.
DWORD FlipCrtc(DDHAL_FLIPDATA *data) {
    DriverBlock *block = BlockOf(data->lpDD);
    data->ddRVal = DDERR_WASSTILLDRAWING;
    if (FlipPending(block))
        return DDHAL_DRIVER_HANDLED;
    if (data->lpSurfTarg->ddsCaps.dwCaps & DDSCAPS_OVERLAY) {
        data->ddRVal = DD_OK;   // the overlay needs the streams processor; nothing to show it with
        return DDHAL_DRIVER_HANDLED;
    }
    const DWORD start = VideoOffset(block, data->lpSurfTarg) / 4;
    if (!WaitOutsideRetrace()) return DDHAL_DRIVER_HANDLED;   // still drawing (set above)
    kivOutPort16(0x3D4, static_cast<uint16_t>(0x0D | (start & 0xFF) << 8));
    kivOutPort16(0x3D4, static_cast<uint16_t>(0x0C | ((start >> 8) & 0xFF) << 8));
    kivOutPort16(0x3D4, static_cast<uint16_t>(0x69 | ((start >> 16) & 0x0F) << 8));
    // The start bits kept in the older registers no longer apply once 0x69 holds them.
    RmwCrtc(0x31, 0x30);
    RmwCrtc(0x51, 0x03);
    return FlipProgrammed(data, block);
}

DWORD WINAPI Flip(DDHAL_FLIPDATA *data) {
    DriverBlock *block = BlockOf(data->lpDD);
    data->ddRVal = DDERR_WASSTILLDRAWING;
    const bool streams = IsOverlayEnabled(), overlay = (data->lpSurfTarg->ddsCaps.dwCaps & DDSCAPS_OVERLAY) != 0;
    // A surface the display cannot start at is refused at once, whatever is pending, and nothing
    // changes: DirectDraw keeps its surfaces as they were, the display what it shows. (An overlay
    // without the streams processor is shown nowhere, so where it lies does not matter.)
    const DWORD offset = VideoOffset(block, data->lpSurfTarg);
    if ((streams || !overlay) && offset >= kDisplayReach) {
        data->ddRVal = DDERR_NOTFLIPPABLE;
        return DDHAL_DRIVER_HANDLED;
    }
    if (!streams)
        return FlipCrtc(data);
    if (FlipPending(block))
        return DDHAL_DRIVER_HANDLED;
    if (!WaitIdle(block)) return DDHAL_DRIVER_HANDLED;   // still drawing
    if (overlay) {
        WriteStream(block, 0x81D0, offset);
    } else {
        if (!WaitOutsideRetrace()) return DDHAL_DRIVER_HANDLED;
        WriteStream(block, 0x81C0, offset);
    }
    return FlipProgrammed(data, block);
}

// "Can I flip now" and "is the flip done" get the same answer: whether the last flip has been
// seen through.
DWORD WINAPI GetFlipStatus(DDHAL_GETFLIPSTATUSDATA *data) {
    DriverBlock *block = BlockOf(data->lpDD);
    data->ddRVal = block->flipDone() ? DD_OK : CheckFlipPacing(block);
    return DDHAL_DRIVER_HANDLED;
}

DWORD WINAPI WaitForVerticalBlank(DDHAL_WAITFORVERTICALBLANKDATA *data) {
    switch (data->dwFlags) {
    case DDWAITVB_BLOCKBEGIN:
        if (!WaitOutsideRetrace() || !WaitInRetrace()) return StillDrawing(data);
        break;
    case DDWAITVB_BLOCKEND:
        if (!WaitInRetrace() || !WaitOutsideRetrace()) return StillDrawing(data);
        break;
    case DDWAITVB_I_TESTVB:
        data->bIsInVB = InRetrace() ? 1 : 0;
        break;
    default:
        return DDHAL_DRIVER_NOTHANDLED;
    }
    data->ddRVal = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}
