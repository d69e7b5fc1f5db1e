// The pixel operations of the software path: the drivers of glDrawPixels, glReadPixels and
// glCopyPixels and of the image copies that textures and colour tables use, the chooser that
// builds a span chain for one operation, the framebuffer readers that start a chain and the
// renderers that end one, and the direct paths for unsigned-byte DrawPixels and glBitmap.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/pixel/pixel_span.h"

struct GlContext;
struct GlColorBuffer;
struct GlFragment;
struct GlTextureObject;

// ---- proc signatures the context's slots hold untyped -----------------------------------------
typedef void (*GlDrawPixelsProc)(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type,
                                 const GLvoid *pixels, GLboolean listData);
typedef void (*GlReadPixelsProc)(GlContext *ctx, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format,
                                 GLenum type, GLvoid *pixels);
typedef void (*GlCopyPixelsProc)(GlContext *ctx, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format);
typedef void (*GlBitmapDrawProc)(GlContext *ctx, GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig,
                                 GLfloat xmove, GLfloat ymove, const GLubyte *bitmap);
typedef void (*GlCopyImageProc)(GlContext *ctx, GlPixelSpan *span, GLboolean applyTransfer);
typedef void (*GlCopyImageObjectProc)(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span,
                                      GLboolean applyTransfer);
typedef void (*GlCopyImageFramebufferProc)(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span);

// The bitmap argument record the glBitmap proc hands to the bitmap renderers.
struct GlBitmapArgs {
    int32_t width, height;
    float xorig, yorig, xmove, ymove;
};
typedef void (*GlBitmapRenderProc)(GlContext *ctx, const GlBitmapArgs *args, const uint8_t *bits);

// What the pixel-proc pickers choose for the pixel operations beyond the core's slots.
struct GlPixelOpsState {
    GlBitmapRenderProc bitmapRenderer;  // set by __glPickBitmapProc; null draws generically
};

// ---- chain chooser --------------------------------------------------------------------------------
// sourceKind / destinationKind
constexpr int32_t kGlPixelFramebuffer = 1;
constexpr int32_t kGlPixelMemory = 2;
// operation
constexpr int32_t kGlPixelOpDraw = 1;
constexpr int32_t kGlPixelOpRead = 2;
constexpr int32_t kGlPixelOpCopy = 3;
constexpr int32_t kGlPixelOpFramebufferImage = 4;
constexpr int32_t kGlPixelOpImageCopy = 5;

struct GlPixelPathChoice {
    int32_t sourceKind;
    int32_t destinationKind;
    int32_t operation;
    uint8_t applyTransfer;
    uint8_t reserved[3];
    GlPixelReadProc reader;      // meaningful for a framebuffer source
    GlPixelRenderProc renderer;  // meaningful for a framebuffer destination
};

// Sets the span's colour units (toUnits, fromUnits) for the operation the request names.
void __glSetPixelColorUnits(GlContext *ctx, GlPixelSpan *span, const GlPixelPathChoice &choice);
// True for the texel codes 0-4 and the EXT packed types 0x8032-0x8036.
bool __glIsPackedPixelType(GLenum type);
// Appends the stages this operation needs after the span's first stageCount ones, stores the new
// count, and the reader and renderer into the request.
GlPixelPathChoice *__glPickPixelSpanStages(GlContext *ctx, GlPixelSpan *span, GlPixelPathChoice *choice);

// ---- drivers --------------------------------------------------------------------------------------
void __glDrawPixelsGeneric(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type,
                           const GLvoid *pixels, GLboolean listData);
void __glReadPixelsGeneric(GlContext *ctx, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format,
                           GLenum type, GLvoid *pixels);
void __glCopyPixelsGeneric(GlContext *ctx, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format);
void __glDrawPixelsFast(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type,
                        const GLvoid *pixels, GLboolean listData);

// Image copies (no buffer-access bracket): memory to memory with both halves set up by the
// caller; the object forms add the level format's store stage (or fetch stage first).
void __glCopyImage(GlContext *ctx, GlPixelSpan *span, GLboolean applyTransfer);
void __glCopyImageWithStoreStage(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span, GLboolean applyTransfer);
// The copy from a texture starts with the fetch stage of the level its span's source names
// (__glSetTexLevelAsSource), which returns the texels as RGBA by the level's base format.
void __glCopyImageFromTexture(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span, GLboolean applyTransfer);
// Framebuffer rows (source half from __glSetupFramebufferImageSource) into memory.
void __glCopyImageFromFramebuffer(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span);

// Span-half set-ups for image loads and copies.
void __glSetupFramebufferImageSource(GlContext *ctx, GlPixelSpan *span, GLint x, GLint y, GLsizei width,
                                     GLsizei height);
void __glSetupMemoryImageSource(GlContext *ctx, GlPixelSpan *span, GLsizei width, GLsizei height, GLsizei depth,
                                GLenum format, GLenum type, const GLvoid *data, GLboolean listData);
// Destination half for image copies into client memory: size, format, type and data, with the
// pack modes.
void __glSetupMemoryImageDest(GlContext *ctx, GlPixelSpan *span, GLsizei width, GLsizei height, GLsizei depth,
                              GLenum format, GLenum type, GLvoid *data);
void __glLoadUnpackState(GlContext *ctx, GlPixelSpan *span, GLboolean listData);
void __glLoadPackState(GlContext *ctx, GlPixelSpan *span);

// ---- readers: fill `width` entries (the kept count with a shrinking zoom) of one row ---------
#define KIV_PIXEL_READERS(X)    \
    X(__glReadIndexSpanZoomed)   \
    X(__glReadIndexSpan)         \
    X(__glReadRGBASpanZoomed)    \
    X(__glReadRGBASpan)          \
    X(__glReadDepthSpanZoomed)   \
    X(__glReadDepthSpan)         \
    X(__glReadStencilSpanZoomed) \
    X(__glReadStencilSpan)       \
    X(__glReadDepthSpanShifted)
#define KIV_PIXEL_READER_DECL(name) void name(GlContext *ctx, GlPixelSpan *span, void *out);
KIV_PIXEL_READERS(KIV_PIXEL_READER_DECL)
#undef KIV_PIXEL_READER_DECL

// ---- renderers: draw one source row over the destination rows it covers; return rowsLeft ------
#define KIV_PIXEL_RENDERERS(X)       \
    X(__glRenderIndexSpanZoomed)      \
    X(__glRenderIndexSpan)            \
    X(__glRenderRGBASpanZoomed)       \
    X(__glRenderRGBASpan)             \
    X(__glRenderDepthSpanZoomed)      \
    X(__glRenderDepthSpan)            \
    X(__glRenderStencilSpanZoomed)    \
    X(__glRenderStencilSpan)          \
    X(__glRenderRGBUbyteZoomed)       \
    X(__glRenderRGBUbyte)             \
    X(__glRenderRGBAUbyteZoomed)      \
    X(__glRenderRGBAUbyte)            \
    X(__glRenderIndexUbyteZoomed)     \
    X(__glRenderIndexUbyte)           \
    X(__glRenderIndexToRGBAUbyteZoomed) \
    X(__glRenderIndexToRGBAUbyte)     \
    X(__glRenderIndexUshortZoomed)    \
    X(__glRenderIndexUshort)          \
    X(__glRenderIndexUintZoomed)      \
    X(__glRenderIndexUint)            \
    X(__glRenderDepthUintZoomed)      \
    X(__glRenderDepthUint)            \
    X(__glRenderStencilUbyteZoomed)   \
    X(__glRenderStencilUbyte)         \
    X(__glRenderStencilUshortZoomed)  \
    X(__glRenderStencilUshort)
#define KIV_PIXEL_RENDERER_DECL(name) int32_t name(GlContext *ctx, GlPixelSpan *span, const void *row);
KIV_PIXEL_RENDERERS(KIV_PIXEL_RENDERER_DECL)
#undef KIV_PIXEL_RENDERER_DECL

// The pixel fragment proc while texturing or fog is on: the fragment textured at the raster
// position's coordinates and fogged at its eye distance, then the fragment store.
void __glStoreFragmentTextureFog(GlColorBuffer *cb, const GlFragment *frag);

// ---- fast DrawPixels writers, glBitmap -----------------------------------------------------------
void __glDrawIndexBytesFast(GlContext *ctx, GlPixelSpan *span);
void __glDrawRGBBytesTo16(GlContext *ctx, GlPixelSpan *span);
void __glDrawRGBBytesTo16Dithered(GlContext *ctx, GlPixelSpan *span);
void __glDrawRGBABytesAlphaTestedTo16(GlContext *ctx, GlPixelSpan *span);

void __glUnpackAndDrawBitmap(GlContext *ctx, GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig,
                             GLfloat xmove, GLfloat ymove, const GLubyte *bitmap);
void __glRenderBitmap16(GlContext *ctx, const GlBitmapArgs *args, const uint8_t *bits);
void __glRenderBitmapIndex8(GlContext *ctx, const GlBitmapArgs *args, const uint8_t *bits);
void __glRenderBitmap(GlContext *ctx, const GlBitmapArgs *args, const uint8_t *bits);

// ---- pickers ----------------------------------------------------------------------------------------
void __glPickBitmapProc(GlContext *ctx);
void __glPickPixelProcsFlushing(GlContext *ctx);

// ---- what the drivers share (also the tests' view of one operation) -------------------------------
// Fills the geometry of a DrawPixels-style destination (raster position, zoom, depth) and clips
// it against the clip box; false when nothing is drawn.
bool __glSetupDrawGeometry(GlContext *ctx, GlPixelSpan *span);
bool __glClipDrawPixels(GlContext *ctx, GlPixelSpan *span);
// Fills the zoom run table (at most kGlPixelRowPixels entries) for the span's clipped row and sets
// keptCount for a shrinking zoom.
void __glBuildZoomRunTable(GlPixelSpan *span, int16_t *table);

// The widest row the runners' buffers hold; wider operations are split into column strips.
constexpr int32_t kGlPixelRowPixels = 2048;
