// The two render modes that draw nothing: GL_FEEDBACK writes the primitives that would be
// rasterised into an application buffer as tokens and vertex values, GL_SELECT records a hit
// with the name stack and the depth range for every primitive that survives clipping and
// culling. Both work as render procs that the pickers install in these modes, so vertices
// arrive transformed, clipped and in window coordinates.
//
// This header is included by the context's area headers: it must not include the context.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/vertex/vertex.h"

struct GlContext;

struct GlFeedbackBuffer {
    uint8_t overflow;  // a value did not fit: the stream stops, glRenderMode reports -1
    uint8_t reserved[3];
    float *base;       // the application's buffer
    float *writePtr;   // next free float
    int32_t size;      // capacity in floats
    GLenum type;       // GL_2D .. GL_4D_COLOR_TEXTURE
};

struct GlSelectBuffer {
    uint8_t hitOpen;   // a hit record is open and widens its depth range with every primitive
    uint8_t reserved0[3];
    uint32_t *nameStackBase, *nameStackTop;  // top: one past the top name
    uint8_t overflow;
    uint8_t reserved1[3];
    uint32_t *base, *writePtr;
    int32_t size;                // capacity in words
    uint32_t hitCount;
    uint32_t *openHitMinMax;     // the min and max words of the open hit record
};

// Feedback tokens as the buffer holds them.
constexpr float kGlPassThroughToken = 1792.0f;
constexpr float kGlPointToken = 1793.0f;
constexpr float kGlLineToken = 1794.0f;
constexpr float kGlPolygonToken = 1795.0f;
constexpr float kGlBitmapToken = 1796.0f;
constexpr float kGlDrawPixelToken = 1797.0f;
constexpr float kGlCopyPixelToken = 1798.0f;
constexpr float kGlLineResetToken = 1799.0f;

// One value into the feedback buffer; once the buffer is full nothing more is written.
void __glFeedbackPut(GlContext *ctx, float value);
// One vertex in the layout of the buffer's type (completing its texture coordinates when the
// layout carries them).
void __glFeedbackVertex(GlContext *ctx, GlVertex *v);

// Render procs of GL_FEEDBACK.
void __glFeedbackPoint(GlContext *ctx, GlVertex *v);
void __glFeedbackLine(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glFeedbackTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
// What the pixel path reports with the raster position in GL_FEEDBACK.
void __glFeedbackBitmap(GlContext *ctx, GlVertex *v);
void __glFeedbackDrawPixel(GlContext *ctx, GlVertex *v);
void __glFeedbackCopyPixel(GlContext *ctx, GlVertex *v);

// A hit at window depth z: opens a hit record or widens the open one.
void __glSelectHit(GlContext *ctx, float z);
// Render procs of GL_SELECT (the raster position calls the point proc as well).
void __glSelectPoint(GlContext *ctx, GlVertex *v);
void __glSelectLine(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glSelectTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
