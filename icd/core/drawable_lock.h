// The drawable's lock bracket around direct drawing: the lock is taken by the outermost bracket
// only, so that nested writers (a pixel operation calling a span store) share it.
#pragma once
#include "icd/core/context.h"

// Runs fn() with the drawable locked; false, without running it, when the lock was refused.
template <class Fn>
inline bool __glWithDrawableLock(GlContext *ctx, Fn fn) {
    GlBufferArea &bufs = ctx->buffers;
    if (bufs.lockCount == 0 && bufs.drawableLock != nullptr && !bufs.drawableLock(ctx)) return false;
    bufs.lockCount += 1;
    fn();
    bufs.lockCount -= 1;
    if (bufs.lockCount == 0 && bufs.drawableUnlock != nullptr) bufs.drawableUnlock(ctx);
    return true;
}
