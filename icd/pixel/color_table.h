// The colour tables of texture objects: the loads the context procs make, their argument checks
// and the per-context hooks.
#pragma once
#include <cstdint>
#include <GL/gl.h>

struct GlContext;

// The checks of a full load and of a partial one: 0 or the error to record (GL_TABLE_TOO_LARGE,
// kGlTableTooLarge, for a table of more than 32768 client bytes).
GLenum __glCheckColorTableArgs(GlContext *ctx, GLenum target, GLenum internalFormat, GLsizei width, GLenum format,
                               GLenum type);
GLenum __glCheckColorSubTableArgs(GlContext *ctx, GLenum target, GLsizei start, GLsizei count, GLenum format,
                                  GLenum type);
// The context procs: load a whole table (width 0 empties it) or entries start .. start + count - 1
// of the table of the texture bound for the target; `packed` takes the client data as tightly
// packed (display-list bodies), else the unpack modes apply.
void __glLoadColorTable(GlContext *ctx, GLenum target, GLenum internalFormat, GLsizei width, GLenum format,
                        GLenum type, const GLvoid *data, GLboolean packed);
void __glLoadColorSubTable(GlContext *ctx, GLenum target, GLsizei start, GLsizei count, GLenum format, GLenum type,
                           const GLvoid *data, GLboolean packed);
// The replay of glColorTableEXT and glColorSubTableEXT from a display list: the entries' checks
// and loads with the entries already tightly packed.
void __glColorTableFromList(GLenum target, GLenum internalFormat, GLsizei width, GLenum format, GLenum type,
                            const GLvoid *table);
void __glColorSubTableFromList(GLenum target, GLsizei start, GLsizei count, GLenum format, GLenum type,
                               const GLvoid *table);
