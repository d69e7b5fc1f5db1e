// A program's context for the pixel operations: a 32-bit front colour buffer (or a 16-bit one),
// a depth buffer of a chosen kind and an 8-bit stencil buffer over plain memory, an orthographic
// projection of one unit per pixel. The rectangle commands go through the live table; glBitmap's
// proc is called the way its entry calls it.
#pragma once
#include <bit>
#include <cstring>
#include <vector>
#include "tests/icd_triangle/program_fixture.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/stencil_buffer.h"

template <class P>
P procAs(GlProc p) {
    return reinterpret_cast<P>(reinterpret_cast<void (*)(void)>(p));
}

class PixelOpsTest : public ProgramTest {
protected:
    PlainMemory stencilMem;

    void SetUp() override {
        ProgramTest::SetUp();
        if (HasFatalFailure()) return;
        ctx->visual.hasDepth = 1;
        ctx->visual.hasStencil = 1;
        ctx->visual.stencilBits = 8;
        GlStencilBuffer *sb = &ctx->buffers.stencil;
        __glInitSoftStencilBuffer(sb, ctx);
        stencilMem.setUp(kW, kH, 1);
        sb->head.attach(&sb->head, &stencilMem.desc, ctx);
        GL(glDisable)(GL_DITHER);
        GL(glRasterPos2i)(0, 0);
    }
    void TearDown() override {
        GlDepthBuffer *db = &ctx->buffers.depth;
        if (depthMem.desc.depthSave != nullptr) ctx->hostProcs.free(ctx, depthMem.desc.depthSave);
        depthMem.desc.depthSave = nullptr;
        ctx->buffers.stencil.head.detach(&ctx->buffers.stencil.head, ctx);
        (void)db;
        ProgramTest::TearDown();
    }

    // Replaces the 16-bit depth buffer by one of the given kind (16, 24 or 32 bits).
    void useDepthKind(int kind) {
        GlDepthBuffer *db = &ctx->buffers.depth;
        db->head.detach(&db->head, ctx);
        if (depthMem.desc.depthSave != nullptr) ctx->hostProcs.free(ctx, depthMem.desc.depthSave);
        depthMem.desc.depthSave = nullptr;
        ctx->visual.depthBits = kind;
        if (kind == 16)
            __glInitDepthBuffer16(db, ctx);
        else if (kind == 24)
            __glInitDepthBuffer24(db, ctx);
        else
            __glInitDepthBuffer32(db, ctx);
        depthMem.setUp(kW, kH, db->head.elementSize);
        db->head.attach(&db->head, &depthMem.desc, ctx);
        db->head.resize(&db->head, kW, kH, kGlBufferDepth);
        __glUpdateDepthRange(ctx);
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask |= 0x7FF;
    }

    // Replaces the front buffer by one of the given layout (8, 16, 24 or 32 bits).
    void useFront16(const PixelLayout &f) { useFront(f); }
    void useFront(const PixelLayout &f) {
        GlVisual &v = ctx->visual;
        v.redMask = f.red;
        v.greenMask = f.green;
        v.blueMask = f.blue;
        v.alphaMask = f.alpha;
        v.redBits = std::popcount(f.red);
        v.greenBits = std::popcount(f.green);
        v.blueBits = std::popcount(f.blue);
        v.alphaBits = std::popcount(f.alpha);
        v.colorBits = f.colorBits;
        colorMem.setUp(kW, kH, f.bytes);
        GlColorBuffer *cb = &ctx->buffers.color.front;
        __glInitRgbaColorBuffer(cb, ctx);
        cb->head.attach(&cb->head, &colorMem.desc, ctx);
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask |= 0x7FF;
    }

    void validate() {
        if (ctx->beginMode == kGlNeedValidate) {
            ctx->slots.validate(ctx);
            ctx->beginMode = kGlOutsideBegin;
        }
    }
    // The three rectangle commands through the live table, as a program calls them.
    void drawPixels(int w, int h, GLenum format, GLenum type, const void *data) {
        GL(glDrawPixels)(w, h, format, type, data);
    }
    void readPixels(int x, int y, int w, int h, GLenum format, GLenum type, void *data) {
        GL(glReadPixels)(x, y, w, h, format, type, data);
    }
    void copyPixels(int x, int y, int w, int h, GLenum type) { GL(glCopyPixels)(x, y, w, h, type); }
    void bitmap(int w, int h, float xo, float yo, float xm, float ym, const uint8_t *bits) {
        validate();
        procAs<GlBitmapDrawProc>(ctx->slots.bitmap)(ctx, w, h, xo, yo, xm, ym, bits);
    }
    // The raster position in GL window coordinates.
    float rasterX() { return __glUnbiasWindowX(ctx, ctx->current.vertex.rasterPos.window[0]); }
    float rasterY() { return __glUnbiasWindowY(ctx, ctx->current.vertex.rasterPos.window[1]); }
    // The memory row of GL window row y, whichever way the drawable's rows run.
    int row(int y) { return ctx->state.transform.drawable.yInverted ? kH - 1 - y : y; }
    void setPixel(int x, int y, uint32_t v) { colorMem.setElement(x, row(y), v); }
    uint32_t pixel(int x, int y) { return colorMem.element(x, row(y)); }
    uint32_t stencilAt(int x, int y) { return stencilMem.element(x, row(y)); }
    void setStencil(int x, int y, uint32_t v) { stencilMem.setElement(x, row(y), v); }

    void clearColor() { std::fill(colorMem.bytes.begin(), colorMem.bytes.end(), 0); }
    // Fills every pixel with a value from its position, so that copies show where pixels came from.
    void fillPattern() {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) setPixel(x, y, uint32_t((x * 8) << 16 | (y * 16) << 8 | 0x40));
    }
    std::vector<uint32_t> snapshot() {
        std::vector<uint32_t> v;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) v.push_back(at(x, y));
        return v;
    }
    void restore(const std::vector<uint32_t> &v) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) setPixel(x, y, v[size_t(y * kW + x)]);
    }
};
