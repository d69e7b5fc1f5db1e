// What the demo's scenes must show, checked pixel by pixel from the geometry each scene draws:
// coverage and smooth colours of the triangle, which quad the depth test keeps, the lighting's
// colour bounds on the torus, blend arithmetic in every overlap, the stencil mask of the disc and
// linear fog along a column of the floor. Pixels whose centres lie within a pixel of an edge are
// left out: which side they fall on is the rasteriser's business, checked elsewhere.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "apps/kivdemo/scenes.h"

namespace scenecheck {

using kivscenes::Picture;

// Collects mismatching pixels and reports the count with the first few.
class Mismatches {
public:
    explicit Mismatches(const char *what) : what_(what) {}
    void add(const Picture &p, int x, int y, const std::string &expected) {
        if (count_++ < 5)
            first_ << "\n  (" << x << ", " << y << ") is (" << p.channel(x, y, 0) << ", " << p.channel(x, y, 1) << ", "
                   << p.channel(x, y, 2) << "), expected " << expected;
    }
    int checked = 0;
    ~Mismatches() {
        EXPECT_EQ(count_, 0) << what_ << ": " << count_ << " of " << checked << " pixels differ" << first_.str();
    }

private:
    const char *what_;
    int count_ = 0;
    std::ostringstream first_;
};

// The colour at (x, y) is (r, g, b) in [0, 1] within `tolerance` buffer units per channel.
inline bool matches(const Picture &p, int x, int y, const float rgb[3], float tolerance = 1) {
    for (int c = 0; c < 3; ++c)
        if (std::fabs(p.channel(x, y, c) - rgb[c] * p.channelMax(c)) > tolerance + 0.5f) return false;
    return true;
}
inline std::string describe(const Picture &p, const float rgb[3]) {
    std::ostringstream s;
    s << "(" << rgb[0] * p.channelMax(0) << ", " << rgb[1] * p.channelMax(1) << ", " << rgb[2] * p.channelMax(2) << ")";
    return s.str();
}

// Signed distance in pixels of (px, py) from the line a -> b; positive on the left.
inline float edgeDistance(const float a[2], const float b[2], float px, float py) {
    const float ex = b[0] - a[0], ey = b[1] - a[1];
    return (ex * (py - a[1]) - ey * (px - a[0])) / std::sqrt(ex * ex + ey * ey);
}

inline void checkTriangle(const Picture &p) {
    using kivscenes::Triangle;
    float v[3][2];
    Triangle::corners(p.w, p.h, v);
    Mismatches inside("inside the triangle"), outside("outside the triangle");
    const float area2 = (v[1][0] - v[0][0]) * (v[2][1] - v[0][1]) - (v[2][0] - v[0][0]) * (v[1][1] - v[0][1]);
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            const float px = x + 0.5f, py = y + 0.5f;
            float d[3];
            for (int i = 0; i < 3; ++i) d[i] = edgeDistance(v[i], v[(i + 1) % 3], px, py);
            if (std::fabs(d[0]) < 1 || std::fabs(d[1]) < 1 || std::fabs(d[2]) < 1) continue;
            if (d[0] > 0 && d[1] > 0 && d[2] > 0) {
                // Barycentric weights: vertex i's weight is the area opposite it.
                float rgb[3];
                for (int i = 0; i < 3; ++i) {
                    const float *a = v[(i + 1) % 3], *b = v[(i + 2) % 3];
                    rgb[i] = ((b[0] - a[0]) * (py - a[1]) - (b[1] - a[1]) * (px - a[0])) / area2;
                }
                ++inside.checked;
                if (!matches(p, x, y, rgb)) inside.add(p, x, y, describe(p, rgb));
            } else {
                ++outside.checked;
                if (!matches(p, x, y, Triangle::kClear)) outside.add(p, x, y, describe(p, Triangle::kClear));
            }
        }
    EXPECT_GT(inside.checked, p.w * p.h / 4);
}

// The board's cells in their array colours and the strip's blue rising linearly along x; the
// clear colour elsewhere. Pixels within a pixel of any edge are left out.
inline void checkArrays(const Picture &p) {
    using kivscenes::Arrays;
    Mismatches board("board cells"), band("band"), clear("clear area");
    const float bx0 = Arrays::kBoard[0] * p.w, by0 = Arrays::kBoard[1] * p.h;
    const float bx1 = Arrays::kBoard[2] * p.w, by1 = Arrays::kBoard[3] * p.h;
    const float cw = (bx1 - bx0) / Arrays::kCells, ch = (by1 - by0) / Arrays::kCells;
    const float sx0 = Arrays::kBand[0] * p.w, sy0 = Arrays::kBand[1] * p.h;
    const float sx1 = Arrays::kBand[2] * p.w, sy1 = Arrays::kBand[3] * p.h;
    auto nearEdge = [](float v, float lo, float hi) { return std::fabs(v - lo) < 1 || std::fabs(v - hi) < 1; };
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            const float px = x + 0.5f, py = y + 0.5f;
            if (px > bx0 && px < bx1 && py > by0 && py < by1) {
                const float fx = (px - bx0) / cw, fy = (py - by0) / ch;
                if (std::fabs(fx - std::round(fx)) * cw < 1 || std::fabs(fy - std::round(fy)) * ch < 1) continue;
                const float *c = Arrays::lightCell(int(fx), int(fy)) ? Arrays::kLight : Arrays::kDark;
                ++board.checked;
                if (!matches(p, x, y, c)) board.add(p, x, y, describe(p, c));
            } else if (px > sx0 && px < sx1 && py > sy0 && py < sy1) {
                if (nearEdge(px, sx0, sx1) || nearEdge(py, sy0, sy1)) continue;
                const float rgb[3] = {0, 0, (px - sx0) / (sx1 - sx0)};
                ++band.checked;
                if (!matches(p, x, y, rgb)) band.add(p, x, y, describe(p, rgb));
            } else {
                if (nearEdge(px, bx0, bx1) || nearEdge(py, by0, by1) || nearEdge(px, sx0, sx1) || nearEdge(py, sy0, sy1))
                    continue;
                ++clear.checked;
                if (!matches(p, x, y, Arrays::kClear)) clear.add(p, x, y, describe(p, Arrays::kClear));
            }
        }
}

// The grid's rows and columns, the outline's four sides and the points' squares, exactly; the
// rings just outside each point stay clear. Line ends are left out (the end-pixel rule is tested
// with the rasteriser).
inline void checkLines(const Picture &p) {
    using kivscenes::Lines;
    Mismatches grid("grid lines"), loop("outline"), points("points"), rings("around the points");
    int gx1, gy1;
    Lines::gridBox(p.w, p.h, &gx1, &gy1);
    for (int y = 4; y <= gy1; y += Lines::kGridStep)
        for (int x = 6; x <= gx1 - 2; ++x) {
            ++grid.checked;
            if (!matches(p, x, y, Lines::kGrid)) grid.add(p, x, y, describe(p, Lines::kGrid));
        }
    for (int x = 4; x <= gx1; x += Lines::kGridStep)
        for (int y = 6; y <= gy1 - 2; ++y) {
            ++grid.checked;
            if (!matches(p, x, y, Lines::kGrid)) grid.add(p, x, y, describe(p, Lines::kGrid));
        }
    int box[4];
    Lines::loopBox(p.w, p.h, box);
    for (int x = box[0] + 2; x <= box[2] - 2; ++x)
        for (int y : {box[1], box[3]}) {
            ++loop.checked;
            if (!matches(p, x, y, Lines::kLoop)) loop.add(p, x, y, describe(p, Lines::kLoop));
        }
    for (int y = box[1] + 2; y <= box[3] - 2; ++y)
        for (int x : {box[0], box[2]}) {
            ++loop.checked;
            if (!matches(p, x, y, Lines::kLoop)) loop.add(p, x, y, describe(p, Lines::kLoop));
        }
    for (int i = 0; i < Lines::kPoints; ++i) {
        int cx, cy;
        Lines::pointCentre(p.w, p.h, i, &cx, &cy);
        for (int y = cy - i - 1; y <= cy + i + 1; ++y)
            for (int x = cx - i - 1; x <= cx + i + 1; ++x) {
                const bool inside = std::abs(x - cx) <= i && std::abs(y - cy) <= i;
                Mismatches &m = inside ? points : rings;
                const float *c = inside ? Lines::kPoint : Lines::kClear;
                ++m.checked;
                if (!matches(p, x, y, c)) m.add(p, x, y, describe(p, c));
            }
    }
}

// The replaced quad shows exactly its texels (nearest filtering, one texel per cell of the
// quad); cell borders within a pixel are left out. The modulated quad is checked by the probe.
inline void checkTexture(const Picture &p) {
    using kivscenes::Texture;
    Mismatches cells("texels of the replaced quad");
    const float x0 = Texture::kQuad[0] * p.w, y0 = Texture::kQuad[1] * p.h;
    const float cw = (Texture::kQuad[2] - Texture::kQuad[0]) * p.w / Texture::kTexels;
    const float ch = (Texture::kQuad[3] - Texture::kQuad[1]) * p.h / Texture::kTexels;
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            const float fx = (x + 0.5f - x0) / cw, fy = (y + 0.5f - y0) / ch;
            if (fx <= 0 || fy <= 0 || fx >= Texture::kTexels || fy >= Texture::kTexels) continue;
            if (std::fabs(fx - std::round(fx)) * cw < 1 || std::fabs(fy - std::round(fy)) * ch < 1) continue;
            const uint8_t *c = Texture::texelA(int(fx), int(fy)) ? Texture::kA : Texture::kB;
            const float rgb[3] = {c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f};
            ++cells.checked;
            if (!matches(p, x, y, rgb)) cells.add(p, x, y, describe(p, rgb));
        }
}

inline void checkDepthOrder(const Picture &p) {
    const float red[3] = {1, 0, 0}, green[3] = {0, 1, 0}, black[3] = {0, 0, 0};
    const float x0 = 0.1f * p.w, x1 = 0.9f * p.w;
    Mismatches band("where the quads overlap"), single("where one quad lies"), none("outside both quads");
    auto within = [](float v, float lo, float hi) { return v > lo + 1 && v < hi - 1; };
    auto outsideOf = [](float v, float lo, float hi) { return v < lo - 1 || v > hi + 1; };
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            const float px = x + 0.5f, py = y + 0.5f;
            const bool inRed = within(px, x0, x1) && within(py, 0.1f * p.h, 0.6f * p.h);
            const bool inGreen = within(px, x0, x1) && within(py, 0.4f * p.h, 0.9f * p.h);
            if (inRed && inGreen) {
                // Red's window depth 0.1 + 0.8 t, green's 0.9 - 0.8 t: red is nearer while t < 0.5.
                const float t = (px - x0) / (x1 - x0);
                if (std::fabs(t - 0.5f) * (x1 - x0) < 1.5f) continue;
                const float *want = t < 0.5f ? red : green;
                ++band.checked;
                if (!matches(p, x, y, want, 0)) band.add(p, x, y, describe(p, want));
            } else if (inRed || inGreen) {
                const float *want = inRed ? red : green;
                if (std::fabs(py - 0.4f * p.h) < 1 || std::fabs(py - 0.6f * p.h) < 1) continue;
                ++single.checked;
                if (!matches(p, x, y, want, 0)) single.add(p, x, y, describe(p, want));
            } else if (outsideOf(px, x0, x1) || outsideOf(py, 0.1f * p.h, 0.9f * p.h)) {
                ++none.checked;
                if (!matches(p, x, y, black, 0)) none.add(p, x, y, describe(p, black));
            }
        }
    EXPECT_GT(band.checked, 0);
}

// The gold material under a white light: every lit pixel has red >= green >= blue (the specular
// part adds as much green as red and less blue), none is darker than the ambient part alone, and
// somewhere the highlight lifts blue above half.
inline void checkTorus(const Picture &p) {
    using kivscenes::Torus;
    int drawn = 0, minRed = 1 << 30, maxBlue = 0;
    Mismatches order("lit pixels with red >= green >= blue");
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            if (matches(p, x, y, Torus::kClear, 0)) continue;
            ++drawn;
            const int r = p.channel(x, y, 0), g = p.channel(x, y, 1), b = p.channel(x, y, 2);
            minRed = std::min(minRed, r);
            maxBlue = std::max(maxBlue, b);
            ++order.checked;
            if (r + 1 < g || g + 1 < b) order.add(p, x, y, "red >= green >= blue");
        }
    EXPECT_GT(drawn, p.w * p.h / 10) << "the torus covers too little of the picture";
    const float ambientRed = 0.15f * 0.85f;  // global ambient x material ambient
    EXPECT_GE(minRed, int(ambientRed * p.channelMax(0)) - 1) << "a pixel darker than the ambient light alone";
    EXPECT_GT(maxBlue * 2, p.channelMax(2)) << "no specular highlight";
}

inline void checkBlend(const Picture &p) {
    using kivscenes::Blend;
    Mismatches m("blended colours");
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            const float px = (x + 0.5f) / p.w, py = (y + 0.5f) / p.h;
            const float mx = 1.0f / p.w, my = 1.0f / p.h;  // a pixel, in fractions of the picture
            float dst[3] = {Blend::kClear[0], Blend::kClear[1], Blend::kClear[2]};
            int layers = 0;
            bool onEdge = false;
            auto over = [&](const float q[4], const float src[3], float a) {
                const bool in = px > q[0] && px < q[2] && py > q[1] && py < q[3];
                onEdge |= std::fabs(px - q[0]) < mx || std::fabs(px - q[2]) < mx || std::fabs(py - q[1]) < my ||
                          std::fabs(py - q[3]) < my;
                if (!in) return;
                ++layers;
                for (int c = 0; c < 3; ++c) dst[c] = a * src[c] + (1 - a) * dst[c];
            };
            for (const auto &q : Blend::kQuads) over(q, q + 4, Blend::kAlpha);
            const float white[3] = {1, 1, 1};
            over(Blend::kBar, white, Blend::kBarAlpha);
            if (onEdge) continue;
            ++m.checked;
            // Each stored result may be rounded once: a unit for the first layer, up to two for more.
            if (!matches(p, x, y, dst, layers > 1 ? 2 : 1)) m.add(p, x, y, describe(p, dst));
        }
}

inline void checkStencil(const Picture &p) {
    using kivscenes::Stencil;
    float cx, cy, r;
    Stencil::disc(p.w, p.h, &cx, &cy, &r);
    Mismatches inside("stripes inside the disc"), outside("the plain colour outside the disc");
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            const float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
            if (d < r - 1.5f) {
                const float *want = Stencil::kInside[(y / Stencil::kStripe) & 1];
                ++inside.checked;
                if (!matches(p, x, y, want)) inside.add(p, x, y, describe(p, want));
            } else if (d > r + 1.5f) {
                ++outside.checked;
                if (!matches(p, x, y, Stencil::kOutside)) outside.add(p, x, y, describe(p, Stencil::kOutside));
            }
        }
}

// Along a column a little right of the middle, below the horizon: the floor at eye distance
// d = 2 / -ndc_y (the eye is one unit above it, the frustum's half-height is half the near
// distance) has the fog factor f = (end - d) / (end - start) clamped to [0, 1]; its colour is
// f x tile + (1 - f) x fog for one of the two tile colours. Above the horizon only fog shows.
inline void checkFog(const Picture &p) {
    using kivscenes::Fog;
    const int x = int(p.w * 0.55f);
    Mismatches m("fogged floor");
    for (int y = 0; y < p.h; ++y) {
        const float ndcY = 2 * (y + 0.5f) / p.h - 1;
        if (std::fabs(ndcY) * p.h < 3) continue;  // the horizon
        float f = 0;
        if (ndcY < 0) {
            const float d = -2 / ndcY;
            f = std::clamp((Fog::kEnd - d) / (Fog::kEnd - Fog::kStart), 0.0f, 1.0f);
        }
        bool ok = false;
        std::string expected;
        for (float c : {0.9f, 0.15f}) {
            const float tile[3] = {c, c * 0.9f, c * 0.6f};
            float want[3];
            for (int k = 0; k < 3; ++k) want[k] = f * tile[k] + (1 - f) * Fog::kFogColor[k];
            ok |= matches(p, x, y, want, 2);
            expected += (expected.empty() ? "" : " or ") + describe(p, want);
        }
        ++m.checked;
        if (!ok) m.add(p, x, y, expected);
    }
}

}  // namespace scenecheck
