// Texture memory and presentation services that device start-up and tear-down call; they live
// in tex_heap.cpp, tex_memory.cpp, hw_texture.cpp and ddraw.cpp.
#pragma once
#include "platform/win32/win32.h"
#include "icd/hw/hw_state.h"

struct GlContext;

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
// Frees every texture copy the context placed, retired ones included, and leaves those textures
// without an owner (the next context of the share group that draws one takes it).
void __glHwTexReleaseContextCopies(GlContext *ctx);
// DirectDraw: gives the process's object back.
void __glHwCloseDirectDraw(HwState *hw);
