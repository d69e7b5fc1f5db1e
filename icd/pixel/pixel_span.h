// The pixel span: the description of one pixel rectangle on its way through the software pixel
// path (glDrawPixels, glReadPixels, glCopyPixels, texture and colour-table image loads,
// glGetTexImage), and the span routines that move a row from one form to the next.
//
// A row runner pushes one row at a time through `stages`: each stage reads a row in one form
// and writes it in the next form into a scratch row. Stages are
//   void stage(GlContext *ctx, GlPixelSpan *span, const void *in, void *out);
// and work on the whole row in one call. Their pixel count is `width`, except after a shrinking
// compaction (|zoomX| < 1), where it is `keptCount` (see __glSpanPixelCount).
#pragma once
#include <cstdint>
#include <cstddef>
#include <GL/gl.h>

struct GlContext;
struct GlPixelSpan;

typedef void (*GlPixelSpanProc)(GlContext *ctx, GlPixelSpan *span, const void *in, void *out);
// Fetches `width` pixels of the framebuffer row the span addresses (readX, readY) into out.
typedef void (*GlPixelReadProc)(GlContext *ctx, GlPixelSpan *span, void *out);
// Draws one finished row; returns the remaining row budget and writes rowsLeft and currentRow back.
typedef int32_t (*GlPixelRenderProc)(GlContext *ctx, GlPixelSpan *span, const void *row);

constexpr int kGlPixelSpanMaxStages = 13;

// Internal format code in a format field: an (R, A) pair, used for luminance-alpha texel storage.
constexpr GLenum kGlFormatRedAlpha = 1;
// Internal texel codes in a type field: 16-bit pixels, one component in the layout's sense.
constexpr GLenum kGlTexelCodeRGB565 = 0;    // R5 G6 B5
constexpr GLenum kGlTexelCodeXRGB1555 = 1;  // X1 R5 G5 B5, the top bit written as 1
constexpr GLenum kGlTexelCodeARGB1555 = 2;  // A1 R5 G5 B5
constexpr GLenum kGlTexelCodeARGB4444 = 3;  // A4 R4 G4 B4
constexpr GLenum kGlTexelCodeA4 = 4;        // alpha-only texels: A4 in the top nibble, the rest white

// The EXT packed types and the EXT component orders.
constexpr GLenum kGlUnsignedByte332 = 0x8032;
constexpr GLenum kGlUnsignedShort4444 = 0x8033;
constexpr GLenum kGlUnsignedShort5551 = 0x8034;
constexpr GLenum kGlUnsignedInt8888 = 0x8035;
constexpr GLenum kGlUnsignedInt1010102 = 0x8036;
constexpr GLenum kGlFormatABGR = 0x8000;
constexpr GLenum kGlFormatBGR = 0x80E0;
constexpr GLenum kGlFormatBGRA = 0x80E1;

// One half of the span: the image read from (src) or written to (dst).
struct GlPixelImageSide {
    GLenum format;         // GL format, or kGlFormatRedAlpha
    GLenum type;           // GL type, or a texel code 0-4
    const uint8_t *data;   // base address of the image
    uint8_t *start;        // first pixel of the current row (advanced by rowBytes per row)
    int32_t rowBytes;      // signed row stride
    int32_t groupBytes;    // bytes per pixel
    int32_t components;    // components per pixel
    int32_t elementBytes;  // bytes per element
    int32_t swapBytes;
    int32_t lsbFirst;
    int32_t skipPixels;
    int32_t skipRows;
    int32_t rowLength;     // in pixels, never 0 once loaded
    int32_t alignment;     // 1, 2, 4 or 8
    uint8_t direct;        // 1 when a row can be read in place (no bit offset, no byte swap)
    uint8_t reserved[3];
    int32_t bitOffset;     // GL_BITMAP: bit index of the first pixel within its byte
};
static_assert(sizeof(GlPixelImageSide) == 64);

struct GlPixelSpan {
    // Source half.
    GLenum srcFormat;
    GLenum srcType;
    const uint8_t *srcData;
    const uint8_t *srcStart;
    int32_t srcRowBytes;
    int32_t srcGroupBytes;
    int32_t srcComponents;  // the chooser sets 3 or 4 once it has placed a packed-type unpack
    int32_t srcElementBytes;
    int32_t srcSwapBytes;
    int32_t srcLsbFirst;
    int32_t srcSkipPixels;
    int32_t srcSkipRows;
    int32_t srcRowLength;
    int32_t srcAlignment;
    uint8_t srcDirect;
    uint8_t srcReserved[3];
    int32_t srcBitOffset;

    // Destination half: the pack modes for glReadPixels, the target for image loads, the
    // internal form (GL_FLOAT, 4-byte elements, no swap) for glDrawPixels.
    GLenum dstFormat;
    GLenum dstType;
    uint8_t *dstData;
    uint8_t *dstStart;
    int32_t dstRowBytes;
    int32_t dstGroupBytes;
    int32_t dstComponents;
    int32_t dstElementBytes;
    int32_t dstSwapBytes;
    int32_t dstLsbFirst;
    int32_t dstSkipPixels;
    int32_t dstSkipRows;
    int32_t dstRowLength;
    int32_t dstAlignment;
    uint8_t dstDirect;
    uint8_t dstReserved[3];
    int32_t dstBitOffset;

    // Geometry and run state (the setup and clip of the pixel operations write these).
    float zoomX, zoomY;  // zoomY negated for a drawable whose rows run top-down
    int32_t width;       // source pixels per row after clipping
    int32_t height;      // rows after clipping
    float readX, readY;  // window position of the first pixel read
    float startX;        // destination x of the first source pixel
    float rowY;          // destination y at which the current source row starts
    int32_t startColumn;
    int32_t currentRow;
    int32_t endColumn;   // destination column just past the last one of a row
    int32_t dstWidth;    // |endColumn - startColumn|
    int32_t rowsLeft;
    int32_t yStep, xStep;
    float zoomXAtLeastOne;
    uint32_t fragmentZ;
    // Pixels a row holds after a shrinking compaction: the number of run-table entries (one per
    // kept pixel, at most dstWidth). 0 when no compaction stage is in the chain. Compaction
    // stages read `width` source pixels and write keptCount; every later stage, the renderer
    // included, works on keptCount pixels.
    int32_t keptCount;
    // Words the pixel operations keep for themselves (glCopyPixels overlap walking and the like).
    int32_t opWords[16];
    const int16_t *runTable;
    int32_t stageCount;
    GlPixelReadProc readProc;
    GlPixelSpanProc stages[kGlPixelSpanMaxStages];
    GlPixelRenderProc renderProc;
    uint8_t optClearAlpha, optChooser, optScaleToBuffer, optFloatHoldsIntegers;
    int32_t kind;          // 2 for the glDrawPixels, glReadPixels and glCopyPixels spans
    GLenum finalFormat;
    // A texture level read as the source (glGetTexImage): the level's base format, whose rule
    // the copy's fetch stage applies to the stored texels. 0 for every other source.
    GLenum srcBaseFormat;
    // The colour units of the operation's rows, R, G, B, A (see __glSetPixelColorUnits): the
    // expansion, transfer and index-to-RGBA spans write `toUnits`, the reductions read
    // `fromUnits`. A frame-buffer side uses its colour buffer's own channel maxima (31 for a
    // 5-bit channel), so that [0, 1] meets the buffer's range in exactly one multiplication.
    float toUnits[4];
    float fromUnits[4];
};

// The two halves have the same shape; code that serves either side can view them as one record.
static_assert(offsetof(GlPixelSpan, dstFormat) - offsetof(GlPixelSpan, srcFormat) == sizeof(GlPixelImageSide));
inline GlPixelImageSide *__glSpanSrc(GlPixelSpan *s) { return reinterpret_cast<GlPixelImageSide *>(&s->srcFormat); }
inline GlPixelImageSide *__glSpanDst(GlPixelSpan *s) { return reinterpret_cast<GlPixelImageSide *>(&s->dstFormat); }

// The pixel count of every stage that is not itself a compaction.
inline int32_t __glSpanPixelCount(const GlPixelSpan *s) { return s->keptCount > 0 ? s->keptCount : s->width; }

// ---- image layout ---------------------------------------------------------------------------
// 1 for packed types and texel codes; else by format (2 for LA and the (R, A) pair, 3 for RGB
// and BGR, 4 for RGBA, ABGR, BGRA, 1 otherwise).
int32_t __glComponentsPerPixel(GLenum format, GLenum type);
// Bytes per element; 0 for a type outside the known ones.
int32_t __glBytesPerElement(GLenum type);
// Fill the derived fields of one half (components, element and group bytes, row bytes, start,
// direct flag, bit offset) from its format, type, data and modes, and set the option bytes to
// 0, 1, 1, 0. The first argument is not used.
void __glComputeSrcImageLayout(GlContext *ctx, GlPixelSpan *span);
void __glComputeDstImageLayout(GlContext *ctx, GlPixelSpan *span);

// ---- images ----------------------------------------------------------------------------------
// Byte size of a tight image (rows without gaps); 0 for a type of no known size, -1 when a size
// is negative or the result does not fit in 31 bits.
int32_t __glImageSize(GLsizei width, GLsizei height, GLenum format, GLenum type);
// Copies a client image, addressed with the context's unpack modes, into a tight block; non-zero
// when it did (zero for a type or format it cannot size).
int32_t __glUnpackImage(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type,
                        const void *source, void *destination);
// Copies a tight bitmap (rows of (width + 7) / 8 bytes, first pixel in the most significant
// bit) into client memory addressed with the context's pack modes; the bits around each row
// keep their values. Non-zero when it did.
int32_t __glPackBitmapImage(GlContext *ctx, GLsizei width, GLsizei height, const void *source, void *destination);
int32_t __glUnpackImageSlices(GlContext *ctx, GLsizei width, GLsizei height, GLsizei depth, GLenum format,
                              GLenum type, const void *source, void *destination);

// ---- span routines ---------------------------------------------------------------------------
#define KIV_PIXEL_SPAN_DECL(name) void name(GlContext *ctx, GlPixelSpan *span, const void *in, void *out);
#include "icd/pixel/pixel_span_procs.inc"
#undef KIV_PIXEL_SPAN_DECL
