// Every scene of scenes.c drawn by a program through opengl32 into a window of the default
// machine, on the road this process was started for, against the picture the reference renderer
// drew of the same calls (refgen, on the host). The reference is quantised to the window's
// channel bits; each region of a scene must then have no pixel more than the row's steps apart
// (4 x 4 block means where dithering is on; pixels next to a sharp edge where the row allows
// ties) and a mean difference below a quarter step in every channel, so that a small bias that
// stays under one step per pixel still fails. Where a scene states a range OpenGL leaves open at a
// pixel (the level of detail between its bounds), a pixel beyond the steps must lie within it.
//
// The road: KIV_REFERENCE_ROAD (default "chip": DirectDraw surfaces in video memory, the chip
// drawing what it can); "generic", "fast", "og_mmx", "og_c" draw in plain memory, the driver's
// own switches (set by tests.cmake) choosing the rasteriser.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ddraw_nt/ddraw_nt.h"
#include "tests/common/program_fixture.h"
#include "tests/reference/scenes.h"

namespace {

std::string road() {
    const char *r = std::getenv("KIV_REFERENCE_ROAD");
    return r && *r ? r : "chip";
}

std::string referenceDir() {
    const char *d = std::getenv("KIV_REFERENCE_DIR");
    return d && *d ? d : KIV_REFERENCE_DIR;
}

// A picture, 3 bytes a pixel, the bottom row first.
struct Image {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    const uint8_t *at(int x, int y) const { return &rgb[size_t(3 * (y * w + x))]; }
};

// What one region came to.
struct Verdict {
    int units = 0, misses = 0, inRange = 0;
    double worst = 0, mean[3] = {0, 0, 0};
    std::string firstMiss;
};

class Reference : public BootedProgram, public ::testing::WithParamInterface<int> {
protected:
    void TearDown() override {
        wglMakeCurrent(nullptr, nullptr);
        if (rc != nullptr) wglDeleteContext(rc);
        if (hwnd != nullptr) {
            ReleaseDC(hwnd, hdc);
            DestroyWindow(hwnd);
        }
        kivDDrawOffer(true);
        BootedProgram::TearDown();
    }

    // The scene drawn through opengl32 into a double-buffered window with depth and stencil.
    void draw(const RefScene &s) {
        kivDDrawOffer(road() == "chip");
        hwnd = CreateWindowExA(0, "t", "t", WS_VISIBLE, 8, 8, s.w, s.h, nullptr, nullptr, nullptr, nullptr);
        hdc = GetDC(hwnd);
        PIXELFORMATDESCRIPTOR want{};
        want.nSize = sizeof want;
        want.nVersion = 1;
        want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        want.iPixelType = PFD_TYPE_RGBA;
        want.cColorBits = 16;
        want.cDepthBits = 16;
        want.cStencilBits = 8;
        const int format = ChoosePixelFormat(hdc, &want);
        ASSERT_NE(format, 0);
        ASSERT_TRUE(SetPixelFormat(hdc, format, nullptr));
        rc = wglCreateContext(hdc);
        ASSERT_NE(rc, nullptr) << kivOpenGlError();
        ASSERT_TRUE(wglMakeCurrent(hdc, rc)) << kivOpenGlError();
        GLint bits[4];
        glGetIntegerv(GL_RED_BITS, &bits[0]);
        glGetIntegerv(GL_GREEN_BITS, &bits[1]);
        glGetIntegerv(GL_BLUE_BITS, &bits[2]);
        glGetIntegerv(GL_STENCIL_BITS, &bits[3]);
        ASSERT_GE(bits[3], 8) << "pixel format " << format << " has no 8-bit stencil buffer";
        for (int c = 0; c < 3; ++c) max[c] = (1 << bits[c]) - 1;
        refDrawScene(&s);
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        ours.w = s.w;
        ours.h = s.h;
        ours.rgb.assign(size_t(3 * s.w * s.h), 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, s.w, s.h, GL_RGB, GL_UNSIGNED_BYTE, ours.rgb.data());
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }

    // A channel of 0..255 in steps of the window's channel c, unrounded.
    double steps(double v, int c) const { return v * max[c] / 255.0; }
    int field(int v, int c) const { return int(std::lround(steps(v, c))); }

    // Whether (x, y) lies next to a jump of more than two steps in the reference.
    bool nearEdge(const Image &ref, int x, int y) const {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= ref.w || ny >= ref.h) continue;
                for (int c = 0; c < 3; ++c)
                    if (std::abs(field(ref.at(x, y)[c], c) - field(ref.at(nx, ny)[c], c)) > 2) return true;
            }
        return false;
    }

    // Whether ours at (x, y) lies within what the scene's range allows there, give or take the
    // row's steps.
    bool withinRange(const RefScene &s, int x, int y) const {
        double lo[3], hi[3];
        if (s.range == nullptr || !s.range(&s, x, y, lo, hi)) return false;
        for (int c = 0; c < 3; ++c) {
            const int v = field(ours.at(x, y)[c], c);
            if (v < std::lround(steps(lo[c], c)) - s.stepsPerPixel || v > std::lround(steps(hi[c], c)) + s.stepsPerPixel)
                return false;
        }
        return true;
    }

    // One region: pixels (or 4 x 4 blocks under dithering) of ours against the reference; a pixel
    // beyond the steps that lies within the scene's range is counted apart.
    Verdict judge(const RefScene &s, const Image &ref, int x0, int y0, int x1, int y1) const {
        Verdict v;
        const bool dither = s.flags & REF_DITHER, ties = s.flags & REF_TIES;
        const int cell = dither ? 4 : 1;
        for (int by = y0; by + cell <= y1; by += cell)
            for (int bx = x0; bx + cell <= x1; bx += cell) {
                bool edge = false;
                double diff[3] = {0, 0, 0};
                for (int y = by; y < by + cell; ++y)
                    for (int x = bx; x < bx + cell; ++x) {
                        edge = edge || (ties && nearEdge(ref, x, y));
                        for (int c = 0; c < 3; ++c) {
                            // Dithered blocks: the mean of ours against the exact mean; else the
                            // quantised reference.
                            const double r = dither ? steps(ref.at(x, y)[c], c) : field(ref.at(x, y)[c], c);
                            diff[c] += (field(ours.at(x, y)[c], c) - r) / (cell * cell);
                        }
                    }
                if (edge) continue;
                ++v.units;
                double d = 0;
                for (int c = 0; c < 3; ++c) {
                    v.mean[c] += diff[c];
                    d = std::max(d, std::abs(diff[c]));
                }
                v.worst = std::max(v.worst, d);
                if (d > s.stepsPerPixel + 1e-9) {
                    if (cell == 1 && withinRange(s, bx, by)) {
                        ++v.inRange;
                    } else if (v.misses++ == 0) {
                        const uint8_t *o = ours.at(bx, by), *r = ref.at(bx, by);
                        char b[160];
                        std::snprintf(b, sizeof b, "(%d,%d) ours %d,%d,%d reference %d,%d,%d", bx, by, o[0], o[1], o[2],
                                      r[0], r[1], r[2]);
                        v.firstMiss = b;
                    }
                }
            }
        for (double &m : v.mean) m = v.units ? m / v.units : 0;
        return v;
    }

    // Ours is kept beside the reference pictures when it differs, to look at.
    void keep(const RefScene &s) const {
        std::ofstream(referenceDir() + "/ours_" + road() + "_" + s.name + ".rgb", std::ios::binary)
            .write(reinterpret_cast<const char *>(ours.rgb.data()), std::streamsize(ours.rgb.size()));
    }

    HWND hwnd = nullptr;
    HDC hdc = nullptr;
    HGLRC rc = nullptr;
    int max[3] = {31, 31, 31};
    Image ours;
};

Image loadReference(const RefScene &s) {
    Image img;
    const std::string path = referenceDir() + "/" + s.name + ".rgb";
    std::ifstream in(path, std::ios::binary);
    img.w = s.w;
    img.h = s.h;
    img.rgb.assign(size_t(3 * s.w * s.h), 0);
    if (!in.read(reinterpret_cast<char *>(img.rgb.data()), std::streamsize(img.rgb.size()))) img.w = 0;
    return img;
}

TEST_P(Reference, SceneMatchesTheReferenceRenderer) {
    const RefScene &s = *refScene(GetParam());
    SCOPED_TRACE(testing::Message() << s.name << " on the " << road() << " road"
                                    << (*s.allowed ? std::string("; allowed: ") + s.allowed : std::string()));
    const Image ref = loadReference(s);
    ASSERT_NE(ref.w, 0) << "no reference picture " << referenceDir() << "/" << s.name
                        << ".rgb: the test reference_pictures makes them with the host's OSMesa "
                           "(install it with tools/install-osmesa)";
    draw(s);
    if (HasFatalFailure()) return;
    const int tw = s.w / s.cols, th = s.h / s.rows;
    std::string report;
    for (int t = 0; t < s.cols * s.rows; ++t) {
        const int x0 = t % s.cols * tw, y0 = t / s.cols * th;
        const Verdict v = judge(s, ref, x0, y0, x0 + tw, y0 + th);
        const bool biased = std::abs(v.mean[0]) >= 0.25 || std::abs(v.mean[1]) >= 0.25 || std::abs(v.mean[2]) >= 0.25;
        if (v.misses == 0 && !biased) continue;
        char b[400], range[48] = "";
        if (v.inRange > 0) std::snprintf(range, sizeof range, " (%d more within the range)", v.inRange);
        std::snprintf(b, sizeof b,
                      "\n  region %d at (%d,%d): %d of %d over %d step(s)%s, worst %.2f%s%s; mean %+.2f %+.2f %+.2f", t,
                      x0, y0, v.misses, v.units, s.stepsPerPixel, range, v.worst, v.misses ? ", first " : "",
                      v.firstMiss.c_str(), v.mean[0], v.mean[1], v.mean[2]);
        report += b;
    }
    if (report.empty()) return;
    keep(s);
    ADD_FAILURE() << "differs from the reference (ours kept beside it):" << report;
}

INSTANTIATE_TEST_SUITE_P(Scenes, Reference, testing::Range(0, refSceneCount()),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::string(refScene(info.param)->name);
                         });

}  // namespace
