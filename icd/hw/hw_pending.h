// Services of the hardware back end that later work builds (texture memory, DirectDraw
// presentation): hw_pending.cpp holds their placeholders, which do nothing and report that
// nothing exists.
#pragma once
#include "platform/win32/win32.h"
#include "icd/hw/hw_state.h"

// Texture memory: the shared heap's descriptor and the three built-in textures (null: none).
HwHeapInfo *__glHwCreateHeapInfo(HwState *hw);
void __glHwFreeHeapInfo(HwState *hw);
HwTexBlock *__glHwCreateDefaultTexture(HwState *hw);
HwTexBlock *__glHwCreatePointTexture(HwState *hw);
HwTexBlock *__glHwCreateLineTexture(HwState *hw);
void __glHwFreeDefaultTexture(HwState *hw, HwTexBlock *block);
void __glHwFreePointTexture(HwState *hw, HwTexBlock *block);
void __glHwFreeLineTexture(HwState *hw, HwTexBlock *block);
void __glHwEvictAllTextures(HwState *hw);
// DirectDraw: gives the process's object back.
void __glHwCloseDirectDraw(HwState *hw);
