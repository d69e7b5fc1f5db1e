// The hardware path's CPU cost per triangle: a context on the ZK3 machine whose buffers are
// DirectDraw surfaces in video memory, drawing small flat triangles that the back end encodes into
// the command buffer and kicks off to the chip. The stand-in chip decodes and checks every word
// but does not rasterise meanwhile (a real chip's drawing is not the CPU's time); its decoding
// runs inside the kick-off all the same, so the figure is a lower bound. Beside it, the
// same triangles on the software path into plain 16-bit memory: vertex processing plus the
// rasteriser's set-up of such small triangles. Antialiased blended lines likewise: quads reading
// the line texture on the chip, coverage computed per pixel in software. Each notes the generated
// routines its context had after the last primitive.
#include <GL/gl.h>

#include <cstdio>
#include <vector>

#include "bench/bench.h"
#include "bench/generated_note.h"
#include "icd/core/core.h"
#include "icd/core/drawable.h"
#include "icd/core/drv_exports.h"
#include "icd/hw/hw.h"
#include "icd/hw/present.h"
#include "platform/machine/machine.h"
#include "platform/zk3/zk3_triangle.h"

namespace {

namespace slot {
#define GL_ENTRY(offset, ret, name, params, args, bytes) constexpr int name = offset;
#include <GL/gl_entries.inc>
#undef GL_ENTRY
}  // namespace slot

template <class Fn>
Fn entry(const GlContext *ctx, int s) {
    return reinterpret_cast<Fn>(ctx->liveTable.slot[s]);
}

struct Target {
    HDC hdc = nullptr;
    DHGLRC handle = 0;
    GlContext *ctx = nullptr;
};

// A window context; `video`: its buffers in video memory (the chip draws), else in memory.
bool open(Target &t, bool video) {
    static bool attached = false;
    if (!attached) {
        if (!kivMachineBoot() || !DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr)) return false;
        attached = true;
    }
    kivDDrawSetVideoBudget(video ? 0xFFFFFFFFu : 0);
    kivDDrawOffer(video);
    HWND hwnd = CreateWindowExA(0, "kivbench", "kivbench", WS_VISIBLE, 0, 0, 256, 256, nullptr, nullptr, nullptr, nullptr);
    t.hdc = GetDC(hwnd);
    if (!t.hdc || !SetPixelFormat(t.hdc, 2, nullptr)) return false;
    t.handle = DrvCreateContext(t.hdc);
    if (!t.handle || !DrvSetContext(t.hdc, t.handle, nullptr)) return false;
    GlContextHandle *h = __wglFindContextHandle(uint32_t(t.handle));
    t.ctx = h ? h->context : nullptr;
    DrvReleaseContext(t.handle);
    kivDDrawOffer(false);
    kivDDrawSetVideoBudget(0);
    return t.ctx != nullptr && (!video || (t.ctx->hw.deviceOpen && !t.ctx->hw.hardwareLost));
}

// The road's context made current with one unit per pixel and flat shading; null when it cannot
// be had.
Target *current(bool video, const char *workload) {
    static Target targets[2];
    static int state[2] = {0, 0};
    Target &t = targets[video];
    if (state[video] == 0) {
        state[video] = open(t, video) ? 1 : -1;
        if (state[video] < 0)
            std::fprintf(stderr, "kivbench: no %s context for the %s workload\n", video ? "video-memory" : "memory", workload);
    }
    if (state[video] < 0 || !DrvSetContext(t.hdc, t.handle, nullptr)) return nullptr;
    GlContext *ctx = t.ctx;
    auto Ortho = entry<void(APIENTRY *)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble)>(ctx, slot::glOrtho);
    auto MatrixMode = entry<void(APIENTRY *)(GLenum)>(ctx, slot::glMatrixMode);
    auto LoadIdentity = entry<void(APIENTRY *)()>(ctx, slot::glLoadIdentity);
    MatrixMode(GL_PROJECTION);
    LoadIdentity();
    Ortho(0, 256, 0, 256, -1, 1);
    MatrixMode(GL_MODELVIEW);
    LoadIdentity();
    entry<void(APIENTRY *)(GLenum)>(ctx, slot::glShadeModel)(GL_FLAT);
    entry<void(APIENTRY *)(GLfloat, GLfloat, GLfloat)>(ctx, slot::glColor3f)(0.8f, 0.4f, 0.2f);
    return &t;
}

// Runs `count` primitives of `mode`, each from `perPrimitive` vertices emitted by `vertices`, on
// one road, the chip decoding without rasterising.
template <class Vertices>
uint64_t workload(bool video, const char *name, GLenum mode, uint64_t count, Vertices vertices) {
    Target *t = current(video, name);
    if (t == nullptr) return 0;
    GlContext *ctx = t->ctx;
    auto Begin = entry<void(APIENTRY *)(GLenum)>(ctx, slot::glBegin);
    auto End = entry<void(APIENTRY *)()>(ctx, slot::glEnd);
    auto Vertex2f = entry<void(APIENTRY *)(GLfloat, GLfloat)>(ctx, slot::glVertex2f);
    zk3TriangleSetDrawing(false);
    Begin(mode);
    for (uint64_t i = 0; i < count; ++i) vertices(Vertex2f, float((i * 37) % 248) + 1, float((i * 11) % 248) + 1);
    End();
    kivbench::recordNote(kivbench::generatedCodeOf(ctx));
    entry<void(APIENTRY *)()>(ctx, slot::glFinish)();
    zk3TriangleSetDrawing(true);
    DrvReleaseContext(t->handle);
    return count;
}

uint64_t smallTriangles(bool video, uint64_t count) {
    return workload(video, "triangle", GL_TRIANGLES, count, [](auto Vertex2f, float x, float y) {
        Vertex2f(x, y);
        Vertex2f(x + 4.5f, y);
        Vertex2f(x, y + 4.5f);
    });
}

// Antialiased, blended lines 2.5 pixels wide and up to 7 long, in every direction.
uint64_t smoothLines(bool video, uint64_t count) {
    Target *t = current(video, "smooth line");
    if (t == nullptr) return 0;
    GlContext *ctx = t->ctx;
    auto Enable = entry<void(APIENTRY *)(GLenum)>(ctx, slot::glEnable);
    auto Disable = entry<void(APIENTRY *)(GLenum)>(ctx, slot::glDisable);
    Enable(GL_LINE_SMOOTH);
    Enable(GL_BLEND);
    entry<void(APIENTRY *)(GLenum, GLenum)>(ctx, slot::glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    entry<void(APIENTRY *)(GLfloat)>(ctx, slot::glLineWidth)(2.5f);
    DrvReleaseContext(t->handle);
    const uint64_t n = workload(video, "smooth line", GL_LINES, count, [](auto Vertex2f, float x, float y) {
        Vertex2f(x, y);
        Vertex2f(x + 5.0f - float(int(x) % 11), y + 6.0f - float(int(y) % 13));
    });
    if (DrvSetContext(t->hdc, t->handle, nullptr)) {
        Disable(GL_LINE_SMOOTH);
        Disable(GL_BLEND);
        DrvReleaseContext(t->handle);
    }
    return n;
}

}  // namespace

KIV_BENCH("small_flat_triangles_chip_encode_kickoff", "triangles/s", [](uint64_t n) { return smallTriangles(true, n); });
KIV_BENCH("small_flat_triangles_soft_setup_mem16", "triangles/s", [](uint64_t n) { return smallTriangles(false, n); });
KIV_BENCH("smooth_lines_chip_encode_kickoff", "lines/s", [](uint64_t n) { return smoothLines(true, n); });
KIV_BENCH("smooth_lines_soft_mem16", "lines/s", [](uint64_t n) { return smoothLines(false, n); });
