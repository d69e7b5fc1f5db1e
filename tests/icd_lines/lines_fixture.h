// Lines and points as a program draws them, into a 32-bit front buffer and a 16-bit depth buffer
// over plain memory (one unit per pixel, GL pixel (x, y) centred at x + 0.5, y + 0.5), with the
// drawn pixels read back as sets and the diamond-exit rule as the reference for aliased lines.
#pragma once
#include <algorithm>
#include <cmath>
#include <set>
#include <utility>
#include "tests/icd_triangle/program_fixture.h"
#include "icd/raster/line.h"

using PixelSet = std::set<std::pair<int, int>>;

// The pixels a segment from (x0, y0) to (x1, y1) draws by the diamond-exit rule: those whose
// diamond (|x - cx| + |y - cy| < 1/2 around the pixel centre) the segment meets and does not end
// in. Positions must keep clear of ties.
inline PixelSet diamondExit(float x0, float y0, float x1, float y1, int w, int h) {
    PixelSet out;
    const float dx = x1 - x0, dy = y1 - y0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const float cx = i + 0.5f, cy = j + 0.5f;
            float ts[4] = {0.0f, 1.0f, dx != 0.0f ? (cx - x0) / dx : 0.0f, dy != 0.0f ? (cy - y0) / dy : 0.0f};
            float best = 1e9f;
            for (float t : ts) {
                t = std::clamp(t, 0.0f, 1.0f);
                best = std::min(best, std::fabs(x0 + t * dx - cx) + std::fabs(y0 + t * dy - cy));
            }
            const bool endsInside = std::fabs(x1 - cx) + std::fabs(y1 - cy) < 0.5f;
            if (best < 0.5f && !endsInside) out.insert({i, j});
        }
    return out;
}

class LinesTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (HasFatalFailure()) return;
        GL(glDisable)(GL_DITHER);
        GL(glColor3f)(1.0f, 1.0f, 1.0f);
    }
    void clearPixels() { std::fill(colorMem.bytes.begin(), colorMem.bytes.end(), 0); }
    // Every pixel that is not black.
    PixelSet lit() {
        PixelSet s;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (at(x, y) != 0) s.insert({x, y});
        return s;
    }
    int red(int x, int y) { return int(at(x, y) >> 16); }
    int green(int x, int y) { return int((at(x, y) >> 8) & 0xFF); }
    int blue(int x, int y) { return int(at(x, y) & 0xFF); }
    void line(float x0, float y0, float x1, float y1) {
        GL(glBegin)(GL_LINES);
        vertex(x0, y0);
        vertex(x1, y1);
        GL(glEnd)();
    }
    void point(float x, float y) {
        GL(glBegin)(GL_POINTS);
        vertex(x, y);
        GL(glEnd)();
    }
    // Pixels of rows y0..y1 (inclusive) and columns x0..x1.
    static PixelSet rect(int x0, int y0, int x1, int y1) {
        PixelSet s;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) s.insert({x, y});
        return s;
    }
};
