// What the core calls in the other subsystems of the driver, each under its final name and
// signature.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "platform/win32/win32.h"
#include "icd/core/records.h"
#include "icd/raster/raster.h"
#include "icd/vertex/matrix_procs.h"
#include "icd/hw/hw.h"
#include "icd/vertex/light.h"
#include "icd/vertex/vertex_procs.h"
#include "icd/pixel/color_table.h"
#include "icd/vertex/eval.h"

struct GlContext;
struct GlDrawable;
struct GlDrawableBuffers;

// Textures and pixel transfer.
int32_t __glChooseDeviceTexelFormat(GlContext *ctx, GLenum internalFormat);
void __glInstallTextureManager(GlContext *ctx);
void __glInitTextureState(GlContext *ctx);
void __glSetTextureDefaults(GlContext *ctx);
void __glFreeTextureState(GlContext *ctx);
void __glShareTextureNames(GlContext *ctx, GlContext *other);
void __glInitColorTableState(GlContext *ctx);
void __glFreeColorTableState(GlContext *ctx);
void __glInitPixelState(GlContext *ctx);
void __glFreePixelState(GlContext *ctx);
// Copies a client image into a tight buffer with the context's unpack modes; non-zero when it
// did.
int32_t __glUnpackImage(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type,
                        const void *source, void *destination);

// Run-time code generator.
BOOL __glOgCanUseMmx(GlContext *ctx);
BOOL __glOgQueryMmx(void);
void __glOgCreateCodeCaches(GlContext *ctx);
void __glOgFreeCodeCaches(GlContext *ctx);
void __glOgSetDirectDataMap(GlContext *ctx);

// Display lists.
void __glInitListState(GlContext *ctx);
void __glShareLists(GlContext *ctx, GlContext *other);
void __glReleaseListState(GlContext *ctx);

// Vertex pipeline state.
void __glInitEvalState(GlContext *ctx);
void __glFreeEvalState(GlContext *ctx);
void __glInitTransformState(GlContext *ctx);
BOOL __glAllocClipPlanes(GlContext *ctx);
void __glApplyViewport(GlContext *ctx);
void __glInitSpecularCache(GlContext *ctx);
void __glFreeSpecularCache(GlContext *ctx);
void __glRescaleContextColors(GlContext *ctx);
// Client arrays and the vertex cache (the rest of their procs: icd/vertex/array_procs.h).
void __glInitArrayState(GlContext *ctx);
void __glFreeArrayState(GlContext *ctx);
void __glSetArrayFanPolygonRenderers(GlContext *ctx);
void __glInitVertexCache(GlContext *ctx);
void __glDestroyVertexCache(GlContext *ctx);
void __glMarkArraysDirty(GlContext *ctx);
// Lighting: the derived material records after a glMaterial change (changed-bits per face), and
// the eye-space values of a light from the modelview matrix in force (the spot direction as
// given, x, y, z, taken through the matrix as a direction).
void __glApplyMaterialChange(GlContext *ctx, uint32_t frontBits, uint32_t backBits);
void __glTransformLightPosition(GlContext *ctx, int32_t light);
void __glTransformSpotDirection(GlContext *ctx, int32_t light, const float direction[4]);
// Software buffers: clears one buffer of the context within the clip box (1 front colour,
// 4 back colour, 16 accumulation, 32 depth, 64 stencil).
void __glClearBuffer(GlContext *ctx, uint32_t bufferBit);

// Hardware back end.
BOOL __glHwOpenDevice(GlContext *ctx);
void __glHwShutdown(GlContext *ctx);
void __glInitRsqrtTable(void);
BOOL __glHwProcessAttach(DWORD threadId);
BOOL __glHwProcessDetach(DWORD threadId);
BOOL __wglSetupWindowDrawable(GlDrawable *drawable, const GlVisual *visual);
BOOL __wglCreateBitmapDrawable(GlDrawable *drawable, const GlVisual *visual);
void __wglDestroyWindowDrawable(GlDrawable *drawable);
void __wglDrawableMoved(GlDrawable *drawable);
extern "C" BOOL WINAPI wglSetDeviceGammaRampZORVEK(const BYTE *red, const BYTE *green, const BYTE *blue);
extern "C" BOOL WINAPI wglGetDeviceGammaRampZORVEK(BYTE *red, BYTE *green, BYTE *blue);
