// glGetTexImage's copy of a level into client memory: the level, border included, as the source
// of an image copy from the texture, whose fetch stage returns the texels as RGBA by the base
// format's rule, packed into the client's image with the pack modes.
#include "icd/core/core.h"
#include "icd/pixel/pixel_span.h"
#include "icd/pixel/pixel_image_copy.h"
#include "icd/pixel/texture.h"

void __glGetTexLevelImage(GlContext *ctx, GlTextureObject *tex, int32_t level, GLenum format, GLenum type,
                          void *pixels) {
    if (tex == nullptr || tex->levels == nullptr || pixels == nullptr) return;
    const GlMipLevel *l = tex->levels[level];
    if (l == nullptr || l->image == nullptr || l->texelFormat == nullptr || l->width <= 0 || l->height <= 0) return;
    GlPixelSpan span{};
    __glSetTexLevelAsSource(ctx, &span, tex, level);
    __glSetClientImageAsDest(ctx, &span, span.width, span.height, 1, format, type, pixels);
    // The texels are returned as stored: no pixel transfer.
    __glRunCopyImageFromTexture(ctx, tex, &span, GL_FALSE);
}
