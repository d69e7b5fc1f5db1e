// The image copies as the texture and colour-table code runs them: a span from RGBA rows to client
// memory, the cut of a frame-buffer source, and the calls through the context's image-copy slots.
#pragma once
#include <GL/gl.h>
#include "icd/pixel/pixel_ops.h"

// Sets up a span from RGBA floats in [0, 1] (width x rows groups) to client memory in the format
// and type with the pack modes; the caller runs the copy, without pixel transfer (the image is
// returned as held).
void __glSetupRgbaToImage(GlContext *ctx, GlPixelSpan *span, const float *rgba, GLsizei width, GLsizei rows,
                          GLenum format, GLenum type, void *pixels);
// Cuts a frame-buffer image source to the drawable and moves the destination start past the rows
// and columns cut; false when nothing is left to read. Cutting twice cuts nothing more.
bool __glClipFramebufferImageSource(GlContext *ctx, GlPixelSpan *span);
// The context's image-copy slots (the installed procs, or the plain ones while nothing is
// installed).
void __glRunCopyImage(GlContext *ctx, GlPixelSpan *span, GLboolean applyTransfer);
void __glRunCopyImageWithStoreStage(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span, GLboolean applyTransfer);
void __glRunCopyImageFromTexture(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span, GLboolean applyTransfer);
// The frame-buffer copy inside the read buffer's access bracket; false when access was refused.
bool __glRunCopyImageFromFramebuffer(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span);
