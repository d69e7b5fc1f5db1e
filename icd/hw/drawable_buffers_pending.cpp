// The presentation layer's buffer kinds and swaps, which land with DirectDraw presentation.
// Until then a window's front buffer has no storage (nothing is drawn into it), the off-screen
// kinds take their fallback kind at once, as they do when no surface can be made, and no swap
// reports success.
#include "icd/hw/drawable_buffers.h"

void __wglInitDDrawPrimary(GlBufferDescriptor *d, GlDrawableBuffers *) {
    void *saved = d->depthSave;
    *d = GlBufferDescriptor{};
    d->depthSave = saved;
}

void __wglInitDDrawBackBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits,
                              GlDescriptorInitProc fallback) {
    fallback(d, set, bits);
}

void __wglInitDDrawDepthBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits,
                               GlDescriptorInitProc fallback) {
    fallback(d, set, bits);
}

BOOL __glHwSwapBuffers(GlDrawable *) { return FALSE; }
BOOL __wglSwapBuffersCopy(GlDrawable *) { return FALSE; }
