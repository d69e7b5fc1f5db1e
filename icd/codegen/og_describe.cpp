// The line that names a context's generated routines (og_describe.h), and the module's export
// that describes the calling thread's current context.
#include "icd/codegen/og_describe.h"

#include <cstdio>
#include <cstring>

#include "icd/codegen/og_context.h"
#include "icd/codegen/og_procs.h"
#include "icd/core/core.h"
#include "icd/core/drv_exports.h"
#include "icd/raster/color_buffer.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/fast_span.h"
#include "icd/raster/raster.h"

using namespace icd;

namespace {

// A line written into the caller's buffer as far as it reaches; `length` counts the whole line.
struct Line {
    char *text;
    uint32_t size, length = 0;
    int items = 0;

    void put(const char *s) {
        const uint32_t n = uint32_t(std::strlen(s));
        if (size > 0 && length < size - 1) {
            const uint32_t room = size - 1 - length;
            std::memcpy(text + length, s, n < room ? n : room);
        }
        length += n;
    }
    void item(const char *s) {
        put(items++ == 0 ? "" : ", ");
        put(s);
    }
    uint32_t finish() {
        if (size > 0) text[length < size - 1 ? length : size - 1] = '\0';
        return length;
    }
};

const void *asVoid(auto proc) { return reinterpret_cast<const void *>(proc); }

// The form of the fast path's span routine that the context runs, or null when its rows are
// walked in C or its triangles do not go through the fast set-up at all (the chip's, the generic
// rasteriser's). The C set-up enters the slot's routine only while span routines are on; a
// generated triangle set-up jumps into it whatever the switch says.
const char *spanRoutineForm(GlContext *ctx, bool generatedSetup) {
    const void *routine = asVoid(ctx->state.span.fast.spanRoutine);
    const bool cSetup = ctx->state.pick.rasterTriangleProc == &__glFillTriangleFast && __glOgSpanRoutinesEnabled();
    if (routine == nullptr || !(generatedSetup || cSetup)) return nullptr;
    return __glOgSpanRoutineForm(ctx, routine);
}

// Whether the context's clears fill 4-byte rows through the process's MMX fill loop: a 32-bit
// colour or depth buffer, MMX not forbidden to the context, and the loop to be had.
bool clearsThroughFillLoop(GlContext *ctx) {
    if (ctx->codeCaches.modeFlags & kGlOgModeNoMmx) return false;
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    const bool colour32 = cb != nullptr && cb->head.elementSize == 4;
    const bool depth32 = ctx->visual.depthBits > 0 && ctx->buffers.depth.head.elementSize == 4;
    return (colour32 || depth32) && __glOgGenFillProc() != nullptr;
}

void describeGenerator(GlContext *ctx, Line &line) {
    const GlStageList &l = ctx->state.span.spanList;
    bool depthStage = false, shadeStage = false;
    for (int i = 0; i < l.stageCount; ++i) {
        const void *p = asVoid(l.unmaskedStages[i]);
        if (!__glOgIsGenerated(ctx, p)) continue;
        (__glOgReplacedProc(ctx, p) == asVoid(&__glSpanDepthTest) ? depthStage : shadeStage) = true;
    }
    if (depthStage) line.item("depth-test stage");
    if (shadeStage) line.item("shading stage");
    const GlArrayState &a = ctx->arrayState;
    if (__glOgIsGenerated(ctx, asVoid(a.ogVertexProc))) line.item("vertex routine");
    bool cacheRoutine = false;
    for (GlRangeTransformProc p : ctx->vertexCache.ogVertexCacheProcs) cacheRoutine |= __glOgIsGenerated(ctx, asVoid(p));
    if (cacheRoutine) line.item("vertex cache routine");
    if (__glOgIsGenerated(ctx, asVoid(a.renderers[GL_TRIANGLE_STRIP]))) line.item("strip routine");
    const bool generatedSetup = __glOgIsGenerated(ctx, asVoid(ctx->state.pick.rasterTriangleProc));
    if (const char *form = spanRoutineForm(ctx, generatedSetup)) line.item(form);
    if (generatedSetup) line.item("triangle set-up routine");
}

}  // namespace

uint32_t __glOgDescribe(GlContext *ctx, char *text, uint32_t size) {
    Line line{text, text != nullptr ? size : 0};
    line.put("generated code: ");
    if (ctx == nullptr) {
        line.put("no current context");
        return line.finish();
    }
    const bool generator = __glOgContextOf(ctx) != nullptr;
    if (generator) describeGenerator(ctx, line);
    if (line.items == 0) line.put(generator ? "none" : "none (no generator)");
    if (generator) {
        char runs[48];
        std::snprintf(runs, sizeof runs, "; span-routine runs: %u", unsigned(__glOgContextOf(ctx)->spanRuns));
        line.put(runs);
    }
    line.put(clearsThroughFillLoop(ctx) ? "; clears: MMX fill loop" : "; clears: C fill");
    return line.finish();
}

// A thread without a context of its own runs on the screen context, which draws nothing.
UINT WINAPI __glDescribeGeneratedCode(LPSTR text, UINT size) {
    GlContext *ctx = __glGetCurrentContext();
    return __glOgDescribe(ctx != __glScreenContext ? ctx : nullptr, text, size);
}
