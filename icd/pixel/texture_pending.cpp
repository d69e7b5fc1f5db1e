// Placeholders for what the texture code calls in parts of the driver that have not landed
// yet. The hardware back end keeps no texture memory so far: there is nothing to release or
// refresh, and the luminance-as-alpha form is never chosen.
#include "icd/pixel/texture.h"

void __glHwTexRelease(GlContext *, GlTextureObject *) {}
void __glHwTexImageChanged(GlContext *, GlTextureObject *, int32_t, int32_t) {}
void __glHwUpdateTexSubImage(GlContext *, GlTextureObject *, int32_t, int32_t, int32_t, int32_t, int32_t) {}
bool __glHwLuminanceAsAlpha(GlContext *) { return false; }
