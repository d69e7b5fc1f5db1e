// Rendering workloads at 640 x 480, the same frames the peer comparison draws: fill rate of
// full-screen smooth depth-tested quads (all written, or all but the first rejected), of textured
// quads (bilinear magnification, trilinear minification), small lit triangles and clears. Each
// name says the path it measures:
//   *_bitmap16  a program through opengl32 and the driver module into a memory-DC bitmap (a
//               16-bit 5-5-5 DIB section: the only colour layout the display's pixel formats have),
//               with the drawable's own depth buffer;
//   *_mem16, *_mem32  the driver linked in, its context's front buffer attached to plain memory
//               of 16 (5-6-5) or 32 (8-8-8) bits with a 16-bit depth buffer, the entries called
//               through the context's live table: the same software procs without opengl32 and
//               the drawable's buffers, and the one way to reach a 32-bit colour buffer here.
// A workload whose set-up fails reports 0. Each notes which generated routines its context ran,
// as the driver describes the context right after the workload's last frame.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "apps/kivdemo/scenes.h"
#include "bench/bench.h"
#include "bench/generated_note.h"
#include "icd/core/core.h"
#include "icd/core/drawable.h"
#include "icd/core/drv_exports.h"
#include "icd/core/gl_entries.h"
#include "icd/raster/color_buffer.h"
#include "icd/raster/depth_buffer.h"
#include "icd/codegen/og_procs.h"
#include "icd/raster/raster.h"
#include "platform/machine/machine.h"

namespace {

constexpr int kW = 640, kH = 480;

// The GL entries a workload calls, from opengl32's exports or from a context's live table (then
// `ctx` is that context; null for opengl32's).
struct Gl {
    GlContext *ctx;
    void(APIENTRY *Begin)(GLenum);
    void(APIENTRY *End)(void);
    void(APIENTRY *Color3f)(GLfloat, GLfloat, GLfloat);
    void(APIENTRY *Normal3f)(GLfloat, GLfloat, GLfloat);
    void(APIENTRY *Vertex3f)(GLfloat, GLfloat, GLfloat);
    void(APIENTRY *Enable)(GLenum);
    void(APIENTRY *Disable)(GLenum);
    void(APIENTRY *DepthFunc)(GLenum);
    void(APIENTRY *ShadeModel)(GLenum);
    void(APIENTRY *Clear)(GLbitfield);
    void(APIENTRY *ClearColor)(GLclampf, GLclampf, GLclampf, GLclampf);
    void(APIENTRY *Lightfv)(GLenum, GLenum, const GLfloat *);
    void(APIENTRY *Viewport)(GLint, GLint, GLsizei, GLsizei);
    void(APIENTRY *MatrixMode)(GLenum);
    void(APIENTRY *LoadIdentity)(void);
    void(APIENTRY *Ortho)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble);
    void(APIENTRY *Finish)(void);
    void(APIENTRY *EnableClientState)(GLenum);
    void(APIENTRY *DisableClientState)(GLenum);
    void(APIENTRY *VertexPointer)(GLint, GLenum, GLsizei, const GLvoid *);
    void(APIENTRY *NormalPointer)(GLenum, GLsizei, const GLvoid *);
    void(APIENTRY *DrawArrays)(GLenum, GLint, GLsizei);
    void(APIENTRY *TexCoord2f)(GLfloat, GLfloat);
    void(APIENTRY *GenTextures)(GLsizei, GLuint *);
    void(APIENTRY *BindTexture)(GLenum, GLuint);
    void(APIENTRY *DeleteTextures)(GLsizei, const GLuint *);
    void(APIENTRY *TexImage2D)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const GLvoid *);
    void(APIENTRY *TexParameteri)(GLenum, GLenum, GLint);
    void(APIENTRY *TexEnvi)(GLenum, GLenum, GLint);
    void(APIENTRY *PixelStorei)(GLenum, GLint);
    void(APIENTRY *Materialfv)(GLenum, GLenum, const GLfloat *);
    void(APIENTRY *Normal3fv)(const GLfloat *);
    void(APIENTRY *Vertex3fv)(const GLfloat *);
    void(APIENTRY *ClearDepth)(GLclampd);
};

#define KIV_BENCH_GL_NAMES(X)                                                                                   \
    X(Begin) X(End) X(Color3f) X(Normal3f) X(Vertex3f) X(Enable) X(Disable) X(DepthFunc) X(ShadeModel) X(Clear) \
        X(ClearColor) X(Lightfv) X(Viewport) X(MatrixMode) X(LoadIdentity) X(Ortho) X(Finish)             \
            X(EnableClientState) X(DisableClientState) X(VertexPointer) X(NormalPointer) X(DrawArrays)     \
                X(TexCoord2f) X(GenTextures) X(BindTexture) X(DeleteTextures) X(TexImage2D) X(TexParameteri) \
                    X(TexEnvi) X(PixelStorei) X(Materialfv) X(Normal3fv) X(Vertex3fv) X(ClearDepth)

Gl exportsTable() {
    Gl gl{};
#define X(n) gl.n = gl##n;
    KIV_BENCH_GL_NAMES(X)
#undef X
    return gl;
}

namespace slot {
#define GL_ENTRY(offset, ret, name, params, args, bytes) constexpr int name = offset;
#include <GL/gl_entries.inc>
#undef GL_ENTRY
}  // namespace slot

Gl liveTable(GlContext *ctx) {
    Gl gl{};
    gl.ctx = ctx;
#define X(n) gl.n = reinterpret_cast<decltype(gl.n)>(ctx->liveTable.slot[slot::gl##n]);
    KIV_BENCH_GL_NAMES(X)
#undef X
    return gl;
}

// Records, as the running workload's note, which generated routines the context drew its last
// frame with: called after the frame's last primitive, before the state is put back.
std::string generatedCodeLine(const Gl &gl) {
    return gl.ctx ? kivbench::generatedCodeOf(gl.ctx) : kivbench::generatedCodeOfLoadedModule();
}
void noteGeneratedCode(const Gl &gl) { kivbench::recordNote(generatedCodeLine(gl)); }

void windowProjection(const Gl &gl) {
    gl.Viewport(0, 0, kW, kH);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Ortho(0, kW, 0, kH, -1, 1);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
}

// ---- the two paths -----------------------------------------------------------------------------

uint64_t fill(const Gl *gl, uint64_t frames);

// A path counts only when a frame of the fill workload really reaches its memory: the pixel in
// the middle is then neither the clear colour (black) nor untouched.
bool drawsInto(const Gl &gl, const void *middle, int bytes) {
    gl.ClearColor(0, 0, 0, 0);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    fill(&gl, 1);
    uint32_t v = 0;
    std::memcpy(&v, middle, size_t(bytes));
    if (v != 0 && v != 0xA5A5A5A5u && v != 0xA5A5u) return true;
    std::fprintf(stderr, "kivbench: the fill workload leaves the target's memory unchanged\n");
    return false;
}

// Through opengl32 into a memory-DC bitmap: the demo's target, kept for the whole run.
const Gl *bitmapPath() {
    // Never deleted: the platform's own objects are gone by the time static destructors run.
    static kivscenes::BitmapTarget *target = nullptr;
    static Gl gl;
    static int state = 0;  // 0 not tried, 1 ready, -1 failed
    if (state == 0) {
        state = -1;
        if (!kivMachineBoot()) return nullptr;
        target = new kivscenes::BitmapTarget(kW, kH);
        if (!target->ok) {
            std::fprintf(stderr, "kivbench: no memory-DC bitmap to draw into: %s\n", target->why.c_str());
            return nullptr;
        }
        gl = exportsTable();
        const kivscenes::Picture &p = target->picture;
        target->poison();
        const auto *middle = static_cast<const uint8_t *>(p.bits) + size_t(kH / 2) * p.pitch + (kW / 2) * p.bytesPerPixel;
        if (!drawsInto(gl, middle, p.bytesPerPixel)) return nullptr;
        char legend[256];
        std::snprintf(legend, sizeof legend,
                      "*_bitmap16 = opengl32 and the %s module into a %d x %d %d-bit DIB section in a memory DC, "
                      "pixel format %d",
                      kivOpenGlDriverName(), kW, kH, target->pfd.cColorBits, target->format);
        kivbench::recordLegend(legend);
        state = 1;
    }
    return state > 0 ? &gl : nullptr;
}

// The driver linked in: a window context whose front colour buffer and depth buffer are plain
// memory of the asked-for colour depth.
struct MemoryTarget {
    std::vector<uint8_t> colour, depth;
    GlBufferDescriptor colourDesc{}, depthDesc{};
    HDC hdc = nullptr;
    DHGLRC handle = 0;
    GlContext *ctx = nullptr;
    Gl gl{};

    static BOOL lock(GlBufferDescriptor *, GlDrawableBuffers *) { return TRUE; }
    static void unlock(GlBufferDescriptor *, GlDrawableBuffers *) {}
    static int32_t resize(GlBufferDescriptor *d, GlDrawableBuffers *, int32_t w, int32_t h, uint32_t) {
        d->width = w;
        d->height = h;
        return 1;
    }
    static void describe(GlBufferDescriptor *d, std::vector<uint8_t> &bytes, int elementSize) {
        const int pitch = (kW * elementSize + 3) & ~3;
        bytes.assign(size_t(pitch) * kH + 32, 0);
        *d = {};
        d->width = kW;
        d->height = kH;
        d->bits = elementSize * 8;
        d->base = bytes.data();
        d->size = uint32_t(bytes.size());
        d->elementSize = elementSize;
        d->pitchBytes = pitch;
        d->storage = bytes.data();
        d->lock = lock;
        d->unlock = unlock;
        d->resize = resize;
    }

    bool open(int colourBits) {
        static bool attached = false;
        if (!attached) {
            if (!kivMachineBoot() || !DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr)) return false;
            attached = true;
        }
        HWND hwnd = CreateWindowExA(0, "kivbench", "kivbench", WS_VISIBLE, 0, 0, kW, kH, nullptr, nullptr, nullptr,
                                    nullptr);
        hdc = GetDC(hwnd);
        if (!hdc || !SetPixelFormat(hdc, 1, nullptr)) return false;
        handle = DrvCreateContext(hdc);
        GlContextHandle *h = handle ? __wglFindContextHandle(uint32_t(handle)) : nullptr;
        ctx = h ? h->context : nullptr;
        if (!ctx) return false;
        describe(&colourDesc, colour, colourBits / 8);
        describe(&depthDesc, depth, 2);
        return makeCurrent();
    }

    // Making the context current attaches the window's own buffers (drawn by the chip where the
    // window has it): the memory buffers and their visual go back in every time, and a frame
    // must then reach the memory, poisoned first so that an earlier workload's picture does not
    // count.
    bool makeCurrent() {
        if (!DrvSetContext(hdc, handle, nullptr)) return false;
        attachMemory();
        gl = liveTable(ctx);
        std::fill(colour.begin(), colour.end(), uint8_t(0xA5));
        return drawsInto(gl, colourDesc.base + size_t(kH / 2) * colourDesc.pitchBytes + (kW / 2) * colourDesc.elementSize,
                         colourDesc.elementSize);
    }

    void attachMemory() {
        const int colourBits = colourDesc.elementSize * 8;
        GlVisual &v = ctx->visual;
        v.rgbaMode = 1;
        v.colorIndexMode = 0;
        v.alphaMask = 0;
        v.alphaBits = 0;
        v.colorBits = colourBits;
        v.depthBits = 16;
        if (colourBits == 32) {
            v.redMask = 0xFF0000, v.greenMask = 0x00FF00, v.blueMask = 0x0000FF;
            v.redBits = v.greenBits = v.blueBits = 8;
        } else {
            v.redMask = 0xF800, v.greenMask = 0x07E0, v.blueMask = 0x001F;
            v.redBits = 5, v.greenBits = 6, v.blueBits = 5;
        }
        GlColorBuffer *cb = &ctx->buffers.color.front;
        __glInitRgbaColorBuffer(cb, ctx);
        cb->head.attach(&cb->head, &colourDesc, ctx);
        ctx->buffers.color.frontBuffer = cb;
        GlDepthBuffer *db = &ctx->buffers.depth;
        __glInitDepthBuffer16(db, ctx);
        db->head.attach(&db->head, &depthDesc, ctx);
        for (int i = 0; i < 2; ++i) {
            ctx->tail.drawableBuffers->descriptors[i].width = kW;
            ctx->tail.drawableBuffers->descriptors[i].height = kH;
        }
    }
};

const Gl *memoryPath(int colourBits) {
    static MemoryTarget targets[2];
    static int state[2] = {0, 0};
    static MemoryTarget *current = nullptr;
    const int i = colourBits == 32;
    if (state[i] == 0) {
        if (current) DrvReleaseContext(current->handle);
        current = nullptr;
        state[i] = targets[i].open(colourBits) ? 1 : -1;
        if (state[i] > 0) {
            current = &targets[i];
            char legend[256];
            std::snprintf(legend, sizeof legend,
                          "*_mem%d = the driver linked in, live-table entries, %d x %d front buffer of %d-bit plain "
                          "memory (%s) and a 16-bit depth buffer",
                          colourBits, kW, kH, colourBits, colourBits == 32 ? "8-8-8" : "5-6-5");
            kivbench::recordLegend(legend);
        }
    }
    if (state[i] < 0) return nullptr;
    if (current != &targets[i]) {  // one linked-in context current on the thread at a time
        if (current) DrvReleaseContext(current->handle);
        current = targets[i].makeCurrent() ? &targets[i] : nullptr;
        if (!current) return nullptr;
    }
    return &targets[i].gl;
}

// ---- the workloads -------------------------------------------------------------------------------

// The fill workloads draw what a program draws in the peer comparison: full-screen smooth quads
// (two GL_TRIANGLES each) under glOrtho(-1, 1, -1, 1, -1, 1), depth test GL_LESS, dithering on.
constexpr int kQuads = 50;

void quadProjection(const Gl &gl) {
    gl.Viewport(0, 0, kW, kH);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Ortho(-1, 1, -1, 1, -1, 1);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
}

// One frame: clear, then kQuads quads, each nearer than the last (a larger z is nearer here) when
// `nearerEachTime`, else the first one nearest so that the others fail the depth test.
void quadsFrame(const Gl &gl, bool nearerEachTime) {
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.Begin(GL_TRIANGLES);
    for (int q = 0; q < kQuads; ++q) {
        const float z = nearerEachTime ? -0.9f + 1.8f * q / kQuads : 0.9f - 1.8f * q / kQuads;
        const float a = float(q) / kQuads;
        gl.Color3f(1, a, 0), gl.Vertex3f(-1, -1, z);
        gl.Color3f(0, 1, a), gl.Vertex3f(1, -1, z);
        gl.Color3f(a, 0, 1), gl.Vertex3f(1, 1, z);
        gl.Color3f(1, a, 0), gl.Vertex3f(-1, -1, z);
        gl.Color3f(a, 0, 1), gl.Vertex3f(1, 1, z);
        gl.Color3f(0.5f, a, 1), gl.Vertex3f(-1, 1, z);
    }
    gl.End();
}

// Returns the fragments drawn (written, or tested against the depth buffer).
uint64_t quads(const Gl *gl, uint64_t frames, bool nearerEachTime) {
    if (!gl) return 0;
    quadProjection(*gl);
    gl->Enable(GL_DEPTH_TEST);
    gl->DepthFunc(GL_LESS);
    gl->ShadeModel(GL_SMOOTH);
    for (uint64_t f = 0; f < frames; ++f) quadsFrame(*gl, nearerEachTime);
    noteGeneratedCode(*gl);
    gl->Finish();
    gl->Disable(GL_DEPTH_TEST);
    return frames * uint64_t(kQuads) * kW * kH;
}
uint64_t fill(const Gl *gl, uint64_t frames) { return quads(gl, frames, true); }

// Textured fill: 20 full-screen quads, each nearer than the last, a 256 x 256 RGBA texture with
// all its mipmaps, GL_LINEAR_MIPMAP_LINEAR / GL_LINEAR, GL_MODULATE with smooth colour. With
// coordinates times k = 1 a pixel covers 0.64 texels (magnification: one bilinear level); with
// k = 4, 2.56 texels (minification: two levels blended).
uint64_t texturedFill(const Gl *gl, uint64_t frames, float k) {
    if (!gl) return 0;
    constexpr int kSize = 256, kTexQuads = 20;
    static std::vector<uint8_t> image(size_t(kSize) * kSize * 4);
    GLuint name = 0;
    gl->GenTextures(1, &name);
    gl->BindTexture(GL_TEXTURE_2D, name);
    gl->PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int side = kSize, level = 0; side >= 1; side /= 2, ++level) {
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                uint8_t *p = &image[size_t(y * side + x) * 4];
                p[0] = uint8_t(x * 255 / side);
                p[1] = uint8_t(y * 255 / side);
                p[2] = (((x * kSize / side) / 16) ^ ((y * kSize / side) / 16)) & 1 ? 255 : 0;
                p[3] = 255;
            }
        gl->TexImage2D(GL_TEXTURE_2D, level, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
    }
    gl->TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    gl->TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl->TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl->Enable(GL_TEXTURE_2D);
    quadProjection(*gl);
    gl->Enable(GL_DEPTH_TEST);
    gl->DepthFunc(GL_LESS);
    gl->ShadeModel(GL_SMOOTH);
    for (uint64_t f = 0; f < frames; ++f) {
        gl->Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        gl->Begin(GL_QUADS);
        for (int q = 0; q < kTexQuads; ++q) {
            const float z = -0.9f + 1.8f * q / kTexQuads, o = q * 0.01f;
            gl->Color3f(1, 1, 1), gl->TexCoord2f(o, o), gl->Vertex3f(-1, -1, z);
            gl->Color3f(1, 0.8f, 0.8f), gl->TexCoord2f(o + 1.6f * k, o), gl->Vertex3f(1, -1, z);
            gl->Color3f(0.8f, 1, 0.8f), gl->TexCoord2f(o + 1.6f * k, o + 1.2f * k), gl->Vertex3f(1, 1, z);
            gl->Color3f(0.8f, 0.8f, 1), gl->TexCoord2f(o, o + 1.2f * k), gl->Vertex3f(-1, 1, z);
        }
        gl->End();
    }
    noteGeneratedCode(*gl);
    gl->Finish();
    gl->Disable(GL_DEPTH_TEST);
    gl->Disable(GL_TEXTURE_2D);
    gl->DeleteTextures(1, &name);
    return frames * uint64_t(kTexQuads) * kW * kH;
}

// Lit triangles: a grid of cells of `Cell` x `Cell` pixels with two right triangles each (legs of
// Cell - 1 pixels; 10 pixels each for the 5-pixel cell), no pixel centre nearer than 0.25 pixel to
// an edge; one directional light, a normal per vertex, depth test GL_LEQUAL, all in one glBegin.
// The larger cells show where a span's length starts to count. Returns the triangles drawn.
template <int Cell>
struct LitGrid {
    static constexpr int kGridX = kW / Cell, kGridY = kH / Cell, kTriangles = kGridX * kGridY * 2;
    std::vector<float> vertices, normals;
    LitGrid() {
        constexpr float leg = float(Cell - 1);
        for (int y = 0; y < kGridY; ++y)
            for (int x = 0; x < kGridX; ++x) {
                const float x0 = x * Cell + 0.25f, y0 = y * Cell + 0.25f;
                const float v[6][2] = {{x0, y0}, {x0 + leg, y0}, {x0, y0 + leg},
                                       {x0 + leg + 0.5f, y0 + 0.5f}, {x0 + leg + 0.5f, y0 + leg + 0.5f},
                                       {x0 + 0.5f, y0 + leg + 0.5f}};
                const float nx = float(x - kGridX / 2) / kGridX, ny = float(y - kGridY / 2) / kGridY;
                const float l = std::sqrt(nx * nx + ny * ny + 1);
                for (const auto &p : v) {
                    vertices.insert(vertices.end(), {p[0], p[1], -0.5f});
                    normals.insert(normals.end(), {nx / l, ny / l, 1 / l});
                }
            }
    }
};

template <int Cell = 5>
uint64_t smallLit(const Gl *gl, uint64_t count) {
    if (!gl) return 0;
    static const LitGrid<Cell> grid;
    windowProjection(*gl);
    const GLfloat dir[4] = {0.3f, 0.5f, 1, 0}, white[4] = {1, 1, 1, 1}, diffuse[4] = {0.2f, 0.6f, 0.9f, 1};
    gl->Lightfv(GL_LIGHT0, GL_POSITION, dir);
    gl->Lightfv(GL_LIGHT0, GL_DIFFUSE, white);
    gl->Materialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    gl->Enable(GL_LIGHTING);
    gl->Enable(GL_LIGHT0);
    gl->Enable(GL_DEPTH_TEST);
    gl->DepthFunc(GL_LEQUAL);
    gl->ShadeModel(GL_SMOOTH);
    uint64_t done = 0;
    while (done < count) {
        gl->Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        gl->Begin(GL_TRIANGLES);
        const uint64_t n = count - done < uint64_t(grid.kTriangles) ? count - done : uint64_t(grid.kTriangles);
        for (uint64_t i = 0; i < n * 3; ++i) {
            gl->Normal3fv(&grid.normals[i * 3]);
            gl->Vertex3fv(&grid.vertices[i * 3]);
        }
        gl->End();
        done += n;
    }
    noteGeneratedCode(*gl);
    gl->Finish();
    gl->Disable(GL_DEPTH_TEST);
    gl->Disable(GL_LIGHTING);
    return count;
}

// The same triangles as smallLit, their vertices and normals in client arrays drawn with
// glDrawArrays in runs of 3000 triangles: the array road against the immediate one.
uint64_t smallLitArrays(const Gl *gl, uint64_t count) {
    if (!gl) return 0;
    windowProjection(*gl);
    constexpr int kRun = 3000;
    static float vertices[kRun * 9], normals[kRun * 9];
    for (int i = 0; i < kRun; ++i) {
        const float x = float((i * 37) % (kW - 8)) + 1, y = float((i * 11) % (kH - 8)) + 1;
        const float v[9] = {x, y, 0, x + 4.5f, y, 0, x, y + 4.5f, 0};
        const float n[9] = {0, 0, 1, 0.6f, 0, 0.8f, 0, 0.6f, 0.8f};
        std::memcpy(vertices + 9 * i, v, sizeof v);
        std::memcpy(normals + 9 * i, n, sizeof n);
    }
    const GLfloat dir[4] = {0.3f, 0.5f, 1, 0}, white[4] = {1, 1, 1, 1};
    gl->Lightfv(GL_LIGHT0, GL_POSITION, dir);
    gl->Lightfv(GL_LIGHT0, GL_DIFFUSE, white);
    gl->Enable(GL_LIGHTING);
    gl->Enable(GL_LIGHT0);
    gl->ShadeModel(GL_SMOOTH);
    gl->VertexPointer(3, GL_FLOAT, 0, vertices);
    gl->NormalPointer(GL_FLOAT, 0, normals);
    gl->EnableClientState(GL_VERTEX_ARRAY);
    gl->EnableClientState(GL_NORMAL_ARRAY);
    for (uint64_t done = 0; done < count; done += kRun) {
        const uint64_t n = count - done < uint64_t(kRun) ? count - done : uint64_t(kRun);
        gl->DrawArrays(GL_TRIANGLES, 0, GLsizei(3 * n));
    }
    noteGeneratedCode(*gl);
    gl->Finish();
    gl->DisableClientState(GL_NORMAL_ARRAY);
    gl->DisableClientState(GL_VERTEX_ARRAY);
    gl->Disable(GL_LIGHTING);
    return count;
}

// The same triangles unlit, one colour, positions alone in a client array: the array road with
// nothing but the vertex array to fetch.
uint64_t smallUnlitArrays(const Gl *gl, uint64_t count) {
    if (!gl) return 0;
    windowProjection(*gl);
    constexpr int kRun = 3000;
    static float vertices[kRun * 9];
    for (int i = 0; i < kRun; ++i) {
        const float x = float((i * 37) % (kW - 8)) + 1, y = float((i * 11) % (kH - 8)) + 1;
        const float v[9] = {x, y, 0, x + 4.5f, y, 0, x, y + 4.5f, 0};
        std::memcpy(vertices + 9 * i, v, sizeof v);
    }
    gl->ShadeModel(GL_FLAT);
    gl->Color3f(0.2f, 0.7f, 0.4f);
    gl->VertexPointer(3, GL_FLOAT, 0, vertices);
    gl->EnableClientState(GL_VERTEX_ARRAY);
    for (uint64_t done = 0; done < count; done += kRun) {
        const uint64_t n = count - done < uint64_t(kRun) ? count - done : uint64_t(kRun);
        gl->DrawArrays(GL_TRIANGLES, 0, GLsizei(3 * n));
    }
    noteGeneratedCode(*gl);
    gl->Finish();
    gl->DisableClientState(GL_VERTEX_ARRAY);
    gl->ShadeModel(GL_SMOOTH);
    return count;
}

// Small triangles unlit and one colour, in strips of 10000 vertices through glDrawArrays: rows
// of 4.5-pixel steps across the target, the strip renderer's walking, batching and clip tests
// with the fill of each triangle small.
uint64_t smallUnlitStrips(const Gl *gl, uint64_t count) {
    if (!gl) return 0;
    windowProjection(*gl);
    constexpr int kRun = 10000;
    static float vertices[(kRun + 2) * 3];
    for (int i = 0; i < kRun + 2; ++i) {
        const int column = (i / 2) % ((kW - 8) * 2 / 9), row = (i / 2) / ((kW - 8) * 2 / 9);
        const float x = 1.0f + 4.5f * float(column), y = float((row * 7) % (kH - 8)) + 1.0f + (i % 2 ? 4.5f : 0.0f);
        vertices[3 * i] = x;
        vertices[3 * i + 1] = y;
        vertices[3 * i + 2] = 0;
    }
    gl->ShadeModel(GL_FLAT);
    gl->Color3f(0.7f, 0.2f, 0.4f);
    gl->VertexPointer(3, GL_FLOAT, 0, vertices);
    gl->EnableClientState(GL_VERTEX_ARRAY);
    for (uint64_t done = 0; done < count; done += kRun) {
        const uint64_t n = count - done < uint64_t(kRun) ? count - done : uint64_t(kRun);
        gl->DrawArrays(GL_TRIANGLE_STRIP, 0, GLsizei(n + 2));
    }
    noteGeneratedCode(*gl);
    gl->Finish();
    gl->DisableClientState(GL_VERTEX_ARRAY);
    gl->ShadeModel(GL_SMOOTH);
    return count;
}

// A workload run with generated span routines on or off (the C walker of the fast set-up), then
// the switch back to the environment's choice.
template <class Fn>
uint64_t withSpanRoutines(bool on, Fn fn) {
    kivbench::recordLegend("*_gen = the rows walked by generated span routines; *_C = the same workload with the "
                           "set-up's C row walker (generated span routines off)");
    __glOgSetSpanRoutinesForTest(on ? 1 : 0);
    const uint64_t done = fn();
    __glOgSetSpanRoutinesForTest(-1);
    return done;
}

// Flat full-screen quads without depth: the one-routine's simple fill.
uint64_t flatFill(const Gl *gl, uint64_t frames, bool dither) {
    if (!gl) return 0;
    quadProjection(*gl);
    gl->ShadeModel(GL_FLAT);
    if (!dither) gl->Disable(GL_DITHER);
    for (uint64_t f = 0; f < frames; ++f) {
        gl->Clear(GL_COLOR_BUFFER_BIT);
        gl->Begin(GL_TRIANGLES);
        for (int q = 0; q < kQuads; ++q) {
            const float a = float(q) / kQuads;
            static const float kCorners[6][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, -1}, {1, 1}, {-1, 1}};
            gl->Color3f(a, 1 - a, 0.5f);
            for (const auto &v : kCorners) gl->Vertex3f(v[0], v[1], 0);
        }
        gl->End();
    }
    noteGeneratedCode(*gl);
    gl->Finish();
    gl->Enable(GL_DITHER);
    gl->ShadeModel(GL_SMOOTH);
    return frames * uint64_t(kQuads) * kW * kH;
}

uint64_t clears(const Gl *gl, uint64_t count) {
    if (!gl) return 0;
    windowProjection(*gl);
    for (uint64_t i = 0; i < count; ++i) {
        gl->ClearColor(float(i & 1), 0.5f, 0.25f, 1);
        gl->Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    // Only the clears matter here: the routines in the slots are whatever drew last.
    const std::string line = generatedCodeLine(*gl);
    const size_t at = line.find("clears: ");
    kivbench::recordNote(at == std::string::npos ? line : line.substr(at));
    gl->Finish();
    return count;
}

// The rates of fill workloads come out in pixels; the figure is printed in millions.
KIV_BENCH("fill_smooth_depth_bitmap16", "Mpixels/s", [](uint64_t n) { return fill(bitmapPath(), n); }, 1e-6);
KIV_BENCH("fill_depth_rejected_bitmap16", "Mpixels/s", [](uint64_t n) { return quads(bitmapPath(), n, false); }, 1e-6);
KIV_BENCH("fill_textured_bilinear_bitmap16", "Mpixels/s",
          [](uint64_t n) { return texturedFill(bitmapPath(), n, 1.0f); }, 1e-6);
KIV_BENCH("fill_textured_trilinear_bitmap16", "Mpixels/s",
          [](uint64_t n) { return texturedFill(bitmapPath(), n, 4.0f); }, 1e-6);
KIV_BENCH("fill_smooth_depth_mem16", "Mpixels/s", [](uint64_t n) { return fill(memoryPath(16), n); }, 1e-6);
KIV_BENCH("fill_smooth_depth_mem32", "Mpixels/s", [](uint64_t n) { return fill(memoryPath(32), n); }, 1e-6);
// The fast path's rows walked by generated span routines (gen) and by the set-up's C walker (C).
KIV_BENCH("fill_smooth_depth_mem16_gen", "Mpixels/s",
          [](uint64_t n) { return withSpanRoutines(true, [n] { return fill(memoryPath(16), n); }); }, 1e-6);
KIV_BENCH("fill_smooth_depth_mem16_C", "Mpixels/s",
          [](uint64_t n) { return withSpanRoutines(false, [n] { return fill(memoryPath(16), n); }); }, 1e-6);
KIV_BENCH("fill_flat_mem16_gen", "Mpixels/s",
          [](uint64_t n) { return withSpanRoutines(true, [n] { return flatFill(memoryPath(16), n, false); }); }, 1e-6);
KIV_BENCH("fill_flat_mem16_C", "Mpixels/s",
          [](uint64_t n) { return withSpanRoutines(false, [n] { return flatFill(memoryPath(16), n, false); }); }, 1e-6);
KIV_BENCH("fill_flat_dither_mem16_gen", "Mpixels/s",
          [](uint64_t n) { return withSpanRoutines(true, [n] { return flatFill(memoryPath(16), n, true); }); }, 1e-6);
KIV_BENCH("fill_flat_dither_mem16_C", "Mpixels/s",
          [](uint64_t n) { return withSpanRoutines(false, [n] { return flatFill(memoryPath(16), n, true); }); }, 1e-6);
KIV_BENCH("fill_textured_bilinear_mem16_gen", "Mpixels/s",
          [](uint64_t n) { return withSpanRoutines(true, [n] { return texturedFill(memoryPath(16), n, 1.0f); }); }, 1e-6);
KIV_BENCH("fill_textured_bilinear_mem16_C", "Mpixels/s",
          [](uint64_t n) { return withSpanRoutines(false, [n] { return texturedFill(memoryPath(16), n, 1.0f); }); },
          1e-6);
KIV_BENCH("small_lit_triangles_bitmap16", "triangles/s", [](uint64_t n) { return smallLit(bitmapPath(), n); });
KIV_BENCH("lit_triangles_cell10_bitmap16", "triangles/s", [](uint64_t n) { return smallLit<10>(bitmapPath(), n); });
KIV_BENCH("lit_triangles_cell20_bitmap16", "triangles/s", [](uint64_t n) { return smallLit<20>(bitmapPath(), n); });
KIV_BENCH("lit_triangles_cell40_bitmap16", "triangles/s", [](uint64_t n) { return smallLit<40>(bitmapPath(), n); });
KIV_BENCH("small_lit_triangles_mem32", "triangles/s", [](uint64_t n) { return smallLit(memoryPath(32), n); });
KIV_BENCH("small_lit_triangles_arrays_mem32", "triangles/s",
          [](uint64_t n) { return smallLitArrays(memoryPath(32), n); });
KIV_BENCH("small_unlit_triangles_arrays_mem32", "triangles/s",
          [](uint64_t n) { return smallUnlitArrays(memoryPath(32), n); });
KIV_BENCH("small_unlit_strips_arrays_mem32", "triangles/s",
          [](uint64_t n) { return smallUnlitStrips(memoryPath(32), n); });
KIV_BENCH("clear_colour_depth_bitmap16", "clears/s", [](uint64_t n) { return clears(bitmapPath(), n); });
KIV_BENCH("clear_colour_depth_mem32", "clears/s", [](uint64_t n) { return clears(memoryPath(32), n); });

}  // namespace
