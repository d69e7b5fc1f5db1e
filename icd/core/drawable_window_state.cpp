// The window state the display driver keeps for a tracked window: a block in this process that
// the driver rewrites from kernel mode under the block's lock word whenever the window's client
// region changes. The lock word is the only guard between the two sides.
#include "icd/core/core.h"
#include "icd/core/drawable.h"

namespace {
// The driver holds the word for a handful of stores; a holder that keeps it far longer has died
// with it, and waiting on would hang the application.
constexpr DWORD kWindowStateWaitMs = 100;
constexpr uint32_t kSpinsBeforeYield = 64;
}  // namespace

BOOL __wglLockWindowState(GlDrawable *d) {
    ZK_CLIENT_WINDOW_BLOCK *block = d->windowState;
    if (block == nullptr) return FALSE;
    volatile LONG *word = reinterpret_cast<volatile LONG *>(&block->lock);
    DWORD start = 0;
    for (uint32_t tries = 0;; ++tries) {
        if (InterlockedExchange(word, 1) != 1) return TRUE;
        if (tries < kSpinsBeforeYield) continue;
        if (tries == kSpinsBeforeYield) start = GetTickCount();
        else if (GetTickCount() - start >= kWindowStateWaitMs) return FALSE;
        Sleep(tries < kSpinsBeforeYield + 256 ? 0 : 1);
    }
}

void __wglUnlockWindowState(GlDrawable *d) {
    if (d->windowState != nullptr) InterlockedExchange(reinterpret_cast<volatile LONG *>(&d->windowState->lock), 0);
}

// A block that cannot be locked is stale: nothing is taken from it, and the change waits for the
// next look.
BOOL __wglWindowStateChanged(GlDrawable *d) {
    if (!__wglLockWindowState(d)) return FALSE;
    uint32_t counter = d->windowState->changeCounter;
    BOOL changed = counter != d->windowStateSeen;
    if (changed) d->windowStateSeen = counter;
    __wglUnlockWindowState(d);
    return changed;
}
