// The texture objects, their levels, the bindings of a context and the texture entries'
// helpers. The records are in texture_object.h and texture_state.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <GL/gl.h>
#include "icd/pixel/texture_object.h"
#include "icd/pixel/texture_state.h"

struct GlContext;
struct GlNameSpace;

// What the level hooks (levelLoaded, levelCopied) copy: a pixel span set up with (a region of)
// the level as its destination.
struct GlPixelSpan;
struct GlTexLevelCopy {
    GlPixelSpan *span;
};

// ---- objects and levels ------------------------------------------------------------------------
GlTextureObject *__glNewTextureObject(GlContext *ctx, GLuint name, int32_t kind);
void __glDeleteTextureObject(GlContext *ctx, GlTextureObject *tex);
void __glFreeTextureObject(GlContext *ctx, GlTextureObject *tex);
void __glFreeTexLevel(GlContext *ctx, GlTextureObject *tex, int32_t level);
uint8_t *__glStoreTexLevel(GlContext *ctx, GlTextureObject *tex, int32_t level, GLenum internalFormat, int32_t width,
                           int32_t height, int32_t depth, int32_t border);
uint8_t *__glStoreProxyTexLevel(GlContext *ctx, GlTextureObject *tex, int32_t level, GLenum internalFormat,
                                int32_t width, int32_t height, int32_t depth, int32_t border);
// The levelLoaded and levelCopied hooks: the copy, then the hardware back end is told.
void __glTexLevelCopied(GlContext *ctx, const GlTexLevelCopy *copy, GlTextureObject *tex, int32_t level);
void __glTexLevelCopiedFromFramebuffer(GlContext *ctx, const GlTexLevelCopy *copy, GlTextureObject *tex,
                                       int32_t level);
// Run a span set up with a level (region) as destination through the context's image copy
// (client images) or frame-buffer copy, refresh the level's colour-buffer copy and set the
// object's reload flag.
void __glCopyTexLevelImage(GlContext *ctx, const GlTexLevelCopy *copy, GlTextureObject *tex, int32_t level);
void __glCopyTexLevelFromFramebuffer(GlContext *ctx, const GlTexLevelCopy *copy, GlTextureObject *tex, int32_t level);
// Span halves of the texture loads: a client image as source (unpack modes, or the tight default
// layout of display-list data when packed), a level as destination in its own layout (a 1-D
// level's texels in its middle row), or the region of a level from (xoffset, yoffset) inside its
// border.
void __glSetClientImageAsSource(GlContext *ctx, GlPixelSpan *span, GLsizei width, GLsizei height, GLsizei depth,
                                GLenum format, GLenum type, const GLvoid *pixels, GLboolean packed);
void __glSetTexLevelAsDest(GlContext *ctx, GlPixelSpan *span, GlTextureObject *tex, int32_t level);
// The read side of glGetTexImage: a level as source (its whole image, border included, one row
// of a 1-D level, its base format kept for the copy's fetch stage), and a client image as
// destination with the pack modes.
void __glSetTexLevelAsSource(GlContext *ctx, GlPixelSpan *span, GlTextureObject *tex, int32_t level);
void __glSetClientImageAsDest(GlContext *ctx, GlPixelSpan *span, GLsizei width, GLsizei height, GLsizei depth,
                              GLenum format, GLenum type, GLvoid *pixels);
void __glSetTexSubLevelAsDest(GlContext *ctx, GlPixelSpan *span, GlTextureObject *tex, int32_t level, int32_t xoffset,
                              int32_t yoffset);
int32_t __glTexHookReturnZero(GlContext *ctx, GlTextureObject *tex, int32_t arg);
// The largest n with 2^n <= x; 0 for 0 and 1.
int32_t __glFloorLog2(uint32_t x);

// ---- bindings ----------------------------------------------------------------------------------
GlTextureObject *__glLookUpBoundTexture(GlContext *ctx, int32_t unit, GLenum target);
// The parameter fields (from wrapS on) of the object bound for GL_TEXTURE_1D or GL_TEXTURE_2D;
// null for any other target, proxies included.
GLenum *__glLookUpTextureParams(GlContext *ctx, int32_t unit, GLenum target);
// The object those parameter fields belong to.
inline GlTextureObject *__glTextureOfParams(GLenum *params) {
    return reinterpret_cast<GlTextureObject *>(reinterpret_cast<char *>(params) - offsetof(GlTextureObject, wrapS));
}
// The unit's {bound name, bound priority} for GL_TEXTURE_1D or GL_TEXTURE_2D; null otherwise.
GlTextureUnitCache *__glLookUpTextureUnitState(GlContext *ctx, int32_t unit, GLenum target);
void __glBindTextureToUnit(GlContext *ctx, int32_t unit, int32_t kind, GLuint name);
void __glInstallTextureManager(GlContext *ctx);
void __glReleaseTextureState(GlContext *ctx);
// The texture kind of a target (0-3), or -1.
int32_t __glTextureKind(GLenum target);
// Sets the priority of an object and of every unit cache that holds it.
void __glSetTexturePriority(GlContext *ctx, GlTextureObject *tex, float priority);

// ---- the share group's texture names ------------------------------------------------------------
// The object of a name with one more reference, or null.
GlTextureObject *__glTexNamesLock(GlContext *ctx, GLuint name);
// Drops a reference a look-up took.
void __glTexNamesUnlock(GlContext *ctx, GlTextureObject *tex);
// Enters an object under a name; the table holds one reference. False (GL_OUT_OF_MEMORY raised)
// when it cannot.
bool __glTexNamesBind(GlContext *ctx, GLuint name, GlTextureObject *tex);
// Removes names first .. first + count - 1, dropping the table's reference on their objects.
void __glTexNamesDeleteRange(GlContext *ctx, GLuint first, GLuint count);
void __glTexNamesGen(GlContext *ctx, GLsizei n, GLuint *names);
// Drops this context's hold on its name space; the last holder's drop frees the objects.
void __glTexNamesRelease(GlContext *ctx);

// ---- parameters and environments ----------------------------------------------------------------
// Values a vector command carries for a pname (for display-list compilation): 1, 4, or -1.
int32_t __glTexParameterParamCount(GLenum pname);
int32_t __glTexParameterivParamCount(GLenum pname);
int32_t __glTexEnvParamCount(GLenum pname);
int32_t __glTexEnvivParamCount(GLenum pname);
// The fragment colour units, R, G, B, A: the channel maxima of the colour buffer drawn into (the
// context's alpha scale for a format without alpha bits). The texture environment colour is kept
// in them.
void __glFragmentColorUnits(const GlContext *ctx, float unit[4]);
// glGetTexImage after its argument checks: the level, border included (one row of a 1-D
// texture), packed into `pixels` in the format and type with the pack modes.
void __glGetTexLevelImage(GlContext *ctx, GlTextureObject *tex, int32_t level, GLenum format, GLenum type,
                          void *pixels);

// ---- the colour buffer's copy of a level (for generated span code that reads texels directly) ----
// Gives level 0 of unit 0's current texture a copy in the colour buffer's layout; false when it
// has none (no memory, or a layout without a rule).
bool __glConvertTexLevelToDrawable(GlContext *ctx);
// Converts a rectangle (border included) of a level into its existing copy.
void __glConvertTexLevelRegion(GlContext *ctx, GlTextureObject *tex, int32_t level, int32_t x, int32_t y,
                               int32_t width, int32_t height);

// ---- completeness ------------------------------------------------------------------------------
bool __glIsTextureConsistent(GlContext *ctx, GlTextureObject *tex, int32_t unit);

// ---- hardware back end -------------------------------------------------------------------------
void __glHwTexRelease(GlContext *ctx, GlTextureObject *tex);
void __glHwTexImageChanged(GlContext *ctx, GlTextureObject *tex, int32_t level, int32_t flag);
void __glHwUpdateTexSubImage(GlContext *ctx, GlTextureObject *tex, int32_t level, int32_t x0, int32_t y0, int32_t x1,
                             int32_t y1);
// The hardware block of a new texture object starts fresh; GL_TEXTURE_RESIDENT reads whether it
// holds a copy in the chip's memory.
void __glHwTexBlockInit(void *block);
bool __glHwTexBlockResident(const void *block);
// Texture-manager user count of the process.
extern int32_t __glTextureManagerUsers;
