// Placeholders for what the texture code calls in parts of the driver that have not landed
// yet. The hardware back end keeps no texture memory so far: there is nothing to release or
// refresh, and the luminance-as-alpha form is never chosen. The texel fetch procs belong to the
// software sampler: until it lands a fetch reads nothing, and its definitions take the place of
// these weak ones.
#include "icd/pixel/texture.h"
#include "icd/pixel/texel_format.h"

void __glHwTexRelease(GlContext *, GlTextureObject *) {}
void __glHwTexImageChanged(GlContext *, GlTextureObject *, int32_t, int32_t) {}
void __glHwUpdateTexSubImage(GlContext *, GlTextureObject *, int32_t, int32_t, int32_t, int32_t, int32_t) {}
bool __glHwLuminanceAsAlpha(GlContext *) { return false; }

#define GL_PENDING_TEXEL_FETCH(name) \
    __attribute__((weak)) void name(GlMipLevel *, GlTextureObject *, int32_t, int32_t, int32_t, uint8_t *) {}
GL_TEXEL_FETCH_PROCS(GL_PENDING_TEXEL_FETCH)
#undef GL_PENDING_TEXEL_FETCH
