// A current context on the ZK3 machine whose buffers lie either in the chip's frame buffer (the
// chip draws) or in plain memory (software draws), programs that draw through the context's
// live table, and the command words the chip's pusher received, read back as operations.
#pragma once
#include <array>
#include <cstring>
#include <vector>
#include "tests/icd_hw/hw_fixture.h"
#include "tests/icd_state/state_fixture.h"
#include "icd/core/buffers.h"
#include "icd/core/drawable.h"
#include "icd/hw/hw_pick.h"
#include "icd/hw/hw_regs.h"
#include "icd/hw/hw_surface.h"

constexpr int kW = 64, kH = 32;

// Buffer memory for a descriptor: a block of the frame buffer the chip addresses, or plain memory.
struct TestSurface {
    GlBufferDescriptor desc{};
    std::vector<uint8_t> plain;
    static BOOL lock(GlBufferDescriptor *, GlDrawableBuffers *) { return TRUE; }
    static void unlock(GlBufferDescriptor *, GlDrawableBuffers *) {}
    static int32_t resize(GlBufferDescriptor *d, GlDrawableBuffers *, int32_t w, int32_t h, uint32_t) {
        d->width = w;
        d->height = h;
        return 1;
    }
    void setUp(uint8_t *base, int elementSize, int pitch) {
        desc = {};
        desc.width = kW;
        desc.height = kH;
        desc.bits = elementSize * 8;
        desc.base = base;
        desc.size = uint32_t(pitch * kH);
        desc.elementSize = elementSize;
        desc.pitchBytes = pitch;
        desc.storage = base;
        desc.lock = lock;
        desc.unlock = unlock;
        desc.resize = resize;
    }
    void inPlainMemory(int elementSize) {
        plain.assign(size_t(kW * elementSize * kH), 0);
        setUp(plain.data(), elementSize, kW * elementSize);
    }
    uint32_t element(int x, int y) const {
        uint32_t v = 0;
        std::memcpy(&v, desc.base + y * desc.pitchBytes + x * desc.elementSize, size_t(desc.elementSize));
        return v;
    }
};

// One method write the pusher ran.
struct Op {
    uint32_t sub, method, value;
    bool operator==(const Op &) const = default;
};
inline std::ostream &operator<<(std::ostream &o, const Op &w) {
    return o << std::hex << "{" << w.sub << ", 0x" << w.method << ", 0x" << w.value << "}";
}

inline float floatOf(uint32_t b) {
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

// Vertex data writes on subchannel 1 grouped by vertex (each one-vertex header restarts at 0x1000).
inline std::vector<std::array<uint32_t, 8>> verticesOf(const std::vector<Op> &ops) {
    std::vector<std::array<uint32_t, 8>> v;
    for (const Op &o : ops) {
        if (o.sub != 1 || o.method < 0x1000 || o.method >= 0x1100) continue;
        const uint32_t word = (o.method - 0x1000) / 4 % 8;
        if (word == 0) v.push_back({});
        v.back()[word] = o.value;
    }
    return v;
}

class HwPrimTest : public HwTest {
protected:
    DHGLRC id = 0;
    GlContext *ctx = nullptr;
    HwState *hw = nullptr;
    TestSurface front, back, depth;

    // One line or one point through the GL entries.
    void line(float x0, float y0, float x1, float y1) {
        GL(glBegin)(GL_LINES);
        GL(glVertex2f)(x0, y0);
        GL(glVertex2f)(x1, y1);
        GL(glEnd)();
    }
    void point(float x, float y) {
        GL(glBegin)(GL_POINTS);
        GL(glVertex2f)(x, y);
        GL(glEnd)();
    }
    // Stands for the process's mapping of the frame buffer, which the presentation layer gives
    // the back end as the primary's address.
    std::vector<uint8_t> frameBuffer;
    static inline void *primary = nullptr;

    void SetUp() override {
        HwTest::SetUp();
        windows.push_back(std::make_unique<TestWindow>(kDoubleFormat, kW, kH));
        id = DrvCreateContext(windows.back()->hdc);
        ASSERT_NE(id, DHGLRC(0));
        contexts.push_back(id);
        ctx = contextOf(id);
        ASSERT_NE(ctx, nullptr);
        ASSERT_EQ(ctx->hw.deviceOpen, 1u);
        makeCurrent(id);
        hw = &ctx->hw;
        ASSERT_GE(hw->fbRegionSize, 0x80000u);
        frameBuffer.assign(0x80000, 0);
    }

    // The drawable's own descriptors, put back before the context and the window go so that
    // they free their memory and the depth buffer's save block.
    static constexpr int kTaken[3] = {kGlDescriptorFront, kGlDescriptorBack, kGlDescriptorDepth};
    GlDrawableBuffers *takenFrom = nullptr;
    GlBufferDescriptor taken[3]{};

    void TearDown() override {
        if (takenFrom != nullptr) {
            if (void *save = takenFrom->descriptors[kGlDescriptorDepth].depthSave; save != nullptr && save != taken[2].depthSave)
                ctx->hostProcs.free(ctx, save);
            for (int i = 0; i < 3; ++i) takenFrom->descriptors[kTaken[i]] = taken[i];
            takenFrom = nullptr;
        }
        HwTest::TearDown();
    }

    // The drawable's colour and depth buffers: in the frame buffer or in plain memory.
    void buffers(bool video) {
        primary = frameBuffer.data();
        ctx->hostProcs.getPrimary = [](GlContext *) -> void * { return primary; };
        hw->fbBase = uint32_t(reinterpret_cast<uintptr_t>(primary));
        uint8_t *fb = reinterpret_cast<uint8_t *>(uintptr_t(hw->fbBase));
        const int es = (ctx->visual.colorBits + 7) / 8;
        if (video) {
            front.setUp(fb + 0x10000, es, 4096);
            back.setUp(fb + 0x40000, es, kW * es);
            depth.setUp(fb + 0x60000, 2, 128);
        } else {
            front.inPlainMemory(es);
            back.inPlainMemory(es);
            depth.inPlainMemory(2);
        }
        GlBufferHeads &h = ctx->buffers.heads;
        GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
        ASSERT_NE(rec, nullptr);
        ASSERT_NE(h.back, nullptr);
        ASSERT_NE(h.depth, nullptr);
        ASSERT_EQ(h.depth->elementSize, 2) << "the chip's 16-bit depth buffer";
        if (takenFrom == nullptr) {
            takenFrom = rec;
            for (int i = 0; i < 3; ++i) taken[i] = rec->descriptors[kTaken[i]];
        } else if (void *save = rec->descriptors[kGlDescriptorDepth].depthSave; save != nullptr && save != taken[2].depthSave) {
            ctx->hostProcs.free(ctx, save);
        }
        rec->descriptors[kGlDescriptorFront] = front.desc;
        rec->descriptors[kGlDescriptorBack] = back.desc;
        rec->descriptors[kGlDescriptorDepth] = depth.desc;
        h.front->attach(h.front, &rec->descriptors[kGlDescriptorFront], ctx);
        h.back->attach(h.back, &rec->descriptors[kGlDescriptorBack], ctx);
        h.depth->attach(h.depth, &rec->descriptors[kGlDescriptorDepth], ctx);
        GL(glViewport)(0, 0, kW, kH);
        GL(glScissor)(0, 0, kW, kH);
        GL(glMatrixMode)(GL_PROJECTION);
        GL(glLoadIdentity)();
        GL(glOrtho)(0, kW, 0, kH, -1, 1);
        GL(glMatrixMode)(GL_MODELVIEW);
        GL(glLoadIdentity)();
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask |= 0x7FF;
    }

    void triangle(float x0, float y0, float x1, float y1, float x2, float y2) {
        GL(glBegin)(GL_TRIANGLES);
        GL(glVertex2f)(x0, y0);
        GL(glVertex2f)(x1, y1);
        GL(glVertex2f)(x2, y2);
        GL(glEnd)();
    }

    // Flushes and returns what the pusher ran since the log was cleared, binds included.
    std::vector<Op> flushed() {
        GL(glFlush)();
        std::vector<Op> v;
        for (const Zk3FifoWrite &w : zk3EngineLog())
            if (w.fromPusher) v.push_back({w.subchannel, w.method, w.value});
        // The notification the kick-off appends is the buffer's, not the drawing's.
        if (v.size() >= 5 && v[v.size() - 5] == Op{2, 0, 0x1010}) v.resize(v.size() - 5);
        return v;
    }
    // The method writes of one subchannel.
    static std::vector<Op> onSub(const std::vector<Op> &v, uint32_t sub) {
        std::vector<Op> out;
        for (const Op &o : v)
            if (o.sub == sub) out.push_back(o);
        return out;
    }
};
