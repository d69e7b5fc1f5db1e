// Triangles drawn by calling the software triangle proc directly with window-space vertices, on
// a context whose colour buffer is plain memory.
#pragma once
#include <vector>
#include "tests/icd_raster/raster_fixture.h"
#include "icd/raster/triangle.h"
#include "icd/vertex/vertex.h"

// Window coordinates of a GL window position: the bias plus one half.
inline float winX(float gx) { return gx + float(kBias) + 0.5f; }

// One span as the runner saw it.
struct SeenSpan {
    int32_t x, y, length;
    uint32_t z;
    int32_t zStep;
    float color[4], colorStep[4];
    float tex[4], texStep[4], fog, fogStep;
    float offsetZ, offsetPixelsToLimit, offsetPixelsFullRange;
    uint32_t offsetNear, offsetFar;
};

class TriangleTest : public RasterTest {
protected:
    GlVertex v[3]{};
    static inline std::vector<SeenSpan> seen;

    static uint8_t recordSpan(GlContext *c) {
        const GlRasterState &rs = c->state.span.raster;
        SeenSpan s{rs.spanX - kBias, rs.spanY - kBias, rs.spanLength, rs.spanZ, rs.zStep, {}, {}, {}, {},
                   rs.spanFog, rs.fogStep, rs.offsetZ, rs.offsetPixelsToLimit, rs.offsetPixelsFullRange, rs.offsetNearLimit,
                   rs.offsetFarLimit};
        std::memcpy(s.color, rs.spanColor, 16);
        std::memcpy(s.colorStep, rs.colorStep, 16);
        std::memcpy(s.tex, rs.spanTexCoord, 16);
        std::memcpy(s.texStep, rs.texCoordStep, 16);
        seen.push_back(s);
        return 0;
    }

    // Vertex i at GL window position (x, y) with window z and colour.
    GlVertex *vertex(int i, float x, float y, float z = 0.0f, float r = 0, float g = 0, float b = 0, float a = 0) {
        GlVertex &p = v[i];
        p = GlVertex{};
        p.window[0] = winX(x);
        p.window[1] = winX(y);
        p.window[2] = z;
        p.invW = 1.0f;
        p.color = p.frontColor;
        p.frontColor[0] = r;
        p.frontColor[1] = g;
        p.frontColor[2] = b;
        p.frontColor[3] = a;
        return &p;
    }
    void draw(GlVertex *a, GlVertex *b, GlVertex *c) { __glRenderTriangle(ctx, a, b, c); }
    void draw() { draw(&v[0], &v[1], &v[2]); }
    // Replaces the runner by one that records the spans.
    void recordSpans() {
        seen.clear();
        spanList().runner = recordSpan;
    }
    // The red channel of a 32-bit pixel.
    uint32_t red(int x, int y) { return (front.element(x, y) >> 16) & 0xFF; }
};
