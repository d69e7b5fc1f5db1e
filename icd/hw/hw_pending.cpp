// Placeholders for services that later work builds. None pretends to work: there is no texture
// heap, no built-in texture and no DirectDraw object.
#include "icd/hw/hw.h"
#include "icd/hw/hw_pending.h"

HwHeapInfo *__glHwCreateHeapInfo(HwState *) { return nullptr; }
void __glHwFreeHeapInfo(HwState *) {}
HwTexBlock *__glHwCreateDefaultTexture(HwState *) { return nullptr; }
HwTexBlock *__glHwCreatePointTexture(HwState *) { return nullptr; }
HwTexBlock *__glHwCreateLineTexture(HwState *) { return nullptr; }
void __glHwFreeDefaultTexture(HwState *, HwTexBlock *) {}
void __glHwFreePointTexture(HwState *, HwTexBlock *) {}
void __glHwFreeLineTexture(HwState *, HwTexBlock *) {}
void __glHwEvictAllTextures(HwState *) {}

// The presentation layer keeps the process's DirectDraw object; until it exists the start-up
// goes on without one (directDraw stays null and no progress bit is set).
BOOL __glHwOpenDirectDraw(HwState *hw) {
    hw->directDraw = nullptr;
    return TRUE;
}
void __glHwCloseDirectDraw(HwState *hw) { hw->directDraw = nullptr; }
