// The same GL content drawn twice on the ZK3 machine: once by a context whose buffers are
// DirectDraw surfaces in video memory (the chip model draws what the hardware back end sends),
// once by a context whose buffers are in plain memory (the software rasteriser draws), and the two
// pictures compared channel by channel in steps of the 16-bit colour buffer (five bits a channel:
// both of the display driver's pixel formats are 5-5-5).
#pragma once
#include <cstdio>
#include <functional>
#include <string>
#include <vector>
#include "tests/icd_state/state_fixture.h"
#include "icd/hw/hw.h"
#include "icd/hw/hw_pick.h"
#include "icd/hw/hw_regs.h"
#include "icd/hw/present.h"
#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_draw.h"
#include "platform/zk3/zk3_engine.h"
#include "platform/zk3/zk3_triangle.h"

constexpr int kPicW = 96, kPicH = 64;

// A picture as 8-bit channels widened from the buffer's own bits, with the size of one step of
// each channel, row 0 at the bottom.
struct Picture {
    std::vector<uint8_t> rgb;
    int step[3] = {1, 1, 1};
    const uint8_t *at(int x, int y) const { return &rgb[size_t(3 * (y * kPicW + x))]; }
};

// The difference of two pixels in steps of the coarser picture's channel, the worst channel.
inline double stepsApart(const Picture &a, int ax, int ay, const Picture &b, int bx, int by) {
    double worst = 0;
    for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(int(a.at(ax, ay)[c]) - int(b.at(bx, by)[c])) /
                                    double(std::max(a.step[c], b.step[c])));
    return worst;
}

// The outcome of a comparison: an edge pixel is one next to a jump of more than two steps in
// either picture (a primitive's edge, not a smooth gradient). A miss is a pixel whose channels are
// more than one step apart (widened values may differ by one unit more than a step).
struct Comparison {
    int interiorMisses = 0, edgePixels = 0, edgeMisses = 0;
    std::string report;
};

inline Comparison compare(const Picture &hw, const Picture &sw) {
    Comparison c;
    for (int y = 0; y < kPicH; ++y)
        for (int x = 0; x < kPicW; ++x) {
            bool edge = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= kPicW || ny >= kPicH) continue;
                    edge |= stepsApart(sw, x, y, sw, nx, ny) > 2.0 || stepsApart(hw, x, y, hw, nx, ny) > 2.0;
                }
            const bool miss = stepsApart(hw, x, y, sw, x, y) > 1.0 + 1.0 / 8;
            c.edgePixels += edge;
            if (!miss) continue;
            (edge ? c.edgeMisses : c.interiorMisses)++;
            if (!edge || c.report.size() < 700) {  // every interior miss is named
                char b[96];
                const uint8_t *h = hw.at(x, y), *s = sw.at(x, y);
                std::snprintf(b, sizeof b, " (%d,%d) chip %d,%d,%d soft %d,%d,%d%s;", x, y, h[0], h[1], h[2], s[0], s[1],
                              s[2], edge ? " edge" : "");
                c.report += b;
            }
        }
    return c;
}

// An axis-aligned quad at depth z through the GL entries.
inline void rect(GlContext *ctx, float x0, float y0, float x1, float y1, float z = 0.0f) {
    GL(glBegin)(GL_QUADS);
    GL(glVertex3f)(x0, y0, z);
    GL(glVertex3f)(x1, y0, z);
    GL(glVertex3f)(x1, y1, z);
    GL(glVertex3f)(x0, y1, z);
    GL(glEnd)();
}

class RenderPair : public CurrentContextTest {
protected:
    using Scene = std::function<void(GlContext *ctx)>;

    void SetUp() override {
        IcdTest::SetUp();
        kivDDrawResetInjections();
        kivDDrawSetVideoBudget(0xFFFFFFFFu);
    }
    void TearDown() override {
        if (window != nullptr) closeContext();
        IcdTest::TearDown();
        kivDDrawSetVideoBudget(0xFFFFFFFFu);
        kivDDrawOffer(true);
    }

    GlBufferDescriptor &desc(GlDescriptorIndex i) { return ctx->handle->drawable->buffers.descriptors[i]; }

    static bool inVideoMemory(const void *p) {
        kiv::ZkChip *chip = zk3EngineChip();
        const uint8_t *b = static_cast<const uint8_t *>(p);
        return chip != nullptr && b >= chip->videoMemory() && b < chip->videoMemory() + chip->videoMemorySize();
    }

    // A double-buffered context over video-memory surfaces (video) or plain memory, set up for
    // one unit per pixel with dithering off.
    void open(bool video) {
        kivDDrawOffer(video);
        openContext(kDoubleFormat);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(inVideoMemory(desc(kGlDescriptorBack).base), video);
        ASSERT_EQ(inVideoMemory(desc(kGlDescriptorDepth).base), video);
        windowProjection(ctx, ctx->handle->drawable->width, ctx->handle->drawable->height);
        GL(glDisable)(GL_DITHER);
        GL(glClearColor)(0.0f, 0.0f, 0.0f, 0.0f);
        GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    // The back buffer's lower-left kPicW x kPicH pixels as a program reads them (glReadPixels,
    // 8 bits a channel); a step is one unit of the buffer's own channel, widened the same way.
    Picture readBack() {
        Picture p;
        const GlColorBuffer &cb = ctx->buffers.color.back;
        const int max[3] = {cb.redMax, cb.greenMax, cb.blueMax};
        for (int c = 0; c < 3; ++c) p.step[c] = (255 + max[c] - 1) / max[c];
        p.rgb.resize(size_t(3 * kPicW * kPicH));
        GL(glReadBuffer)(GL_BACK);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
        GL(glReadPixels)(0, 0, kPicW, kPicH, GL_RGB, GL_UNSIGNED_BYTE, p.rgb.data());
        return p;
    }

    // Draws the scene on one road and reads its picture; `chipPixels` receives the pixels the chip
    // model wrote meanwhile.
    Picture draw(bool video, const Scene &scene, uint64_t *chipPixels) {
        Picture p;
        open(video);
        if (HasFatalFailure()) return p;
        const uint64_t before = zk3TriangleStats().pixelsWritten;
        zk3DrawClearErrors();
        scene(ctx);
        GL(glFinish)();
        p = readBack();
        *chipPixels = zk3TriangleStats().pixelsWritten - before;
        EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
        EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
        closeContext();
        return p;
    }

    // Both roads; the chip must have drawn (when chipDraws) and the pictures must agree: no
    // interior pixel more than one step apart, at most `edgeBudget` of the edge pixels.
    void expectSamePicture(const Scene &scene, bool chipDraws = true, double edgeBudget = 0.03) {
        const uint64_t errorsBefore = zk3EngineErrorCount();
        uint64_t chip = 0, none = 0;
        const Picture hw = draw(true, scene, &chip);
        ASSERT_FALSE(HasFatalFailure());
        const Picture sw = draw(false, scene, &none);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(none, 0u) << "the software road drew through the chip";
        if (chipDraws) {
            EXPECT_GT(chip, 0u) << "the chip drew nothing";
        }
        EXPECT_EQ(zk3EngineErrorCount(), errorsBefore) << (zk3EngineErrors().empty() ? "" : zk3EngineErrors().back());
        const Comparison c = compare(hw, sw);
        EXPECT_EQ(c.interiorMisses, 0) << c.report;
        EXPECT_LE(c.edgeMisses, int(edgeBudget * c.edgePixels) + 2) << c.edgePixels << " edge pixels:" << c.report;
    }
};
