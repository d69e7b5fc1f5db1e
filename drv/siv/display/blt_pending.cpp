// What the blits need of the Direct3D contexts, which do not exist yet.
#include "drv/siv/display/sivhal.h"

// No Direct3D context programs the engine yet, so the 2D driver always holds it.
DWORD MakeContextCurrent(DriverBlock *block, DWORD handle) {
    (void)handle;
    return block->currentContext();
}
