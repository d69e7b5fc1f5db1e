// The device's choosers: at every validation they decide, primitive by primitive, whether the
// chip draws or the software rasteriser does, and install the chip's procs or the software ones
// behind a flush-first wrapper.
#pragma once
#include <cstdint>

struct GlContext;
struct GlVertex;
struct GlBitmapArgs;

// The saved-proc slots of the hardware state keep procs of every primitive signature.
template <class To, class From>
To __glHwProcCast(From f) {
    return reinterpret_cast<To>(reinterpret_cast<void (*)(void)>(f));
}

// The context's pick proc: whether the drawable's surfaces let the chip draw at all, then the
// generic validation (which runs the choosers below through the context's pick slots).
void __glHwPickProcs(GlContext *ctx);
// Surfaces the chip reaches: 0x1 front, 0x4 back, 0x20 depth.
// What the chip can reach of the drawable: a bit for each buffer that lies in video memory.
enum : uint32_t {
    kHwCapFrontInVideo = 0x1,
    kHwCapBackInVideo = 0x4,
    kHwCapDepthInVideo = 0x20,
    kHwCapNeverMet = 0xFFFFFFFFu,   // as a need: no drawable meets it, so the CPU draws
};
uint32_t __glHwCapabilityMask(GlContext *ctx);

void __glHwPickTriangleProcs(GlContext *ctx);
void __glHwPickLineProcs(GlContext *ctx);
void __glHwPickPointProcs(GlContext *ctx);
bool __glHwTriangleNeedsSoftware(GlContext *ctx);

// Chip procs.
void __glHwRenderTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
void __glHwRenderTexTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
void __glHwRenderTriangleTwoPass(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
void __glHwRenderPolygon(GlContext *ctx, GlVertex **list, int32_t n);
void __glHwRenderLine(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glHwRenderPoint(GlContext *ctx, GlVertex *v);
// Antialiased: quads whose alpha the built-in line and point textures give (a zero-length line
// draws nothing).
void __glHwRenderSmoothLine(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glHwRenderSmoothPoint(GlContext *ctx, GlVertex *v);
void __glHwLoadLineState(GlContext *ctx);
void __glHwLoadPointState(GlContext *ctx);

// Flush-first wrappers: the chip's pending drawing is finished, then the kept software proc runs.
void __glFlushThenTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
void __glHwFlushThenSoftLine(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glHwFlushThenSoftPoint(GlContext *ctx, GlVertex *v);
void __glHwFlushThenSoftBitmap(GlContext *ctx, const GlBitmapArgs *args, const uint8_t *bits);
