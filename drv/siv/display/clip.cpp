// Clipping for the 3D engine. On screen: a primitive reaching beyond the engine's coordinate grid
// is cut to the render target (with a pixel to spare) and drawn. In texture space: a textured
// triangle whose texel span is more than the engine's texture registers hold is cut into a grid
// of pieces, each drawn by the set-up table; only the part over the target is cut, and only the
// pieces that can light a pixel of it are set up, so the work follows what is drawn.
#include "drv/siv/display/d3d_draw.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>

namespace sivd3d {

namespace {

// The grid is at most this many pieces along an edge; coordinates are bounded first (below), so
// only textures wider than the engine's registers reach it.
constexpr int kMaxDivisions = 512;

// Rows of grid points: the previous and the current one; and the ends of every row.
D3DTLVERTEX g_rows[2][kMaxDivisions + 1];
D3DTLVERTEX g_left[kMaxDivisions + 1], g_right[kMaxDivisions + 1];

int Byte(DWORD v, int i) { return static_cast<int>((v >> (8 * i)) & 0xFF); }

bool GoodRhw(float rhw) { return std::isfinite(rhw) && rhw > 0; }

// The point at parameter t (texture space) of the edge from a to b.
void ClipEdge(const HalContext *c, D3DTLVERTEX &out, const D3DTLVERTEX &a, const D3DTLVERTEX &b, double t,
              DWORD flatColor, DWORD flatSpecular) {
    out.tu = static_cast<float>(a.tu + t * (static_cast<double>(b.tu) - a.tu));
    out.tv = static_cast<float>(a.tv + t * (static_cast<double>(b.tv) - a.tv));
    double ts = t;
    if (GoodRhw(a.rhw) && GoodRhw(b.rhw)) {
        const double rhw = 1.0 / (t * (1.0 / b.rhw - 1.0 / a.rhw) + 1.0 / a.rhw);
        out.rhw = static_cast<float>(rhw);
        // The screen parameter of a perspective-correct point: w is linear in t, the screen
        // position is linear in t * rhw / b.rhw (the same as the ratio of coordinate * rhw,
        // without its division by zero where both ends have the same coordinate * rhw).
        if (State(c, D3DRS_TEXTUREPERSPECTIVE))
            ts = t * rhw / b.rhw;
    } else {
        out.rhw = static_cast<float>(a.rhw + t * (static_cast<double>(b.rhw) - a.rhw));
    }
    out.sx = static_cast<float>(a.sx + ts * (static_cast<double>(b.sx) - a.sx));
    out.sy = static_cast<float>(a.sy + ts * (static_cast<double>(b.sy) - a.sy));
    out.sz = static_cast<float>(a.sz + ts * (static_cast<double>(b.sz) - a.sz));
    if (State(c, D3DRS_SHADEMODE) == D3DSHADE_GOURAUD) {
        auto mix = [&](DWORD p, DWORD q) {
            DWORD r = 0;
            for (int i = 0; i < 4; i++) {
                const int delta = static_cast<int>(FixLow32(ts * (Byte(q, i) - Byte(p, i)), 6755399441055744.0));
                r |= static_cast<DWORD>((Byte(p, i) + delta) & 0xFF) << (8 * i);
            }
            return r;
        };
        out.color = mix(a.color, b.color);
        out.specular = mix(a.specular, b.specular);
    } else {
        out.color = flatColor;
        out.specular = flatSpecular;
    }
}

// The short way across the wrap seam on one axis: an outlier more than half a texture from the
// other two is brought next to them.
void WrapOutlier(float *x[3]) {
    int close = 0, pairA = -1, pairB = -1;
    for (int i = 0; i < 3; i++)
        for (int j = i + 1; j < 3; j++)
            if (std::fabs(static_cast<double>(*x[i]) - *x[j]) <= 0.5) {
                close++;
                pairA = i;
                pairB = j;
            }
    if (close != 1)
        return;
    const int out = 3 - pairA - pairB;
    if (*x[out] > *x[pairA]) {
        *x[pairA] += 1.0f;
        *x[pairB] += 1.0f;
    } else {
        *x[out] += 1.0f;
    }
}

// A flat-shaded triangle takes its first vertex's colours: every piece cut from it shows them.
void FlatShade(const HalContext *c, D3DTLVERTEX v[3]) {
    if (State(c, D3DRS_SHADEMODE) != D3DSHADE_GOURAUD)
        for (int i = 1; i < 3; i++) {
            v[i].color = v[0].color;
            v[i].specular = v[0].specular;
        }
}

// The box primitives are cut to: the target with a pixel to spare on every side, so that the
// rounding of a cut edge touches no pixel of the target; well inside the engine's grid. A point p
// is inside a side when sign * (p's x or y - bound) >= 0.
struct BoxSide {
    bool vertical;
    double bound, sign;
    double Inside(const D3DTLVERTEX &p) const { return sign * ((vertical ? p.sy : p.sx) - bound); }
};
std::array<BoxSide, 4> ClipBoxSides(const HalContext *c) {
    return {{{false, -1.0, 1}, {false, std::min(c->clipRight + 2.0, 2040.0), -1},
             {true, -1.0, 1}, {true, std::min(c->clipBottom + 2.0, 2040.0), -1}}};
}
// Whether a primitive lying within [x0, x1] x [y0, y1] may light a pixel of the target. The engine
// lights (x, y) only on integral rows within the primitive's height and between the edges'
// values on that row; the slack covers the edges' fixed-point rounding. False for NaN bounds.
bool ReachesPixels(const HalContext *c, double x0, double x1, double y0, double y1) {
    constexpr double kSlack = 1.0 / 64;
    auto any = [](double lo, double hi, double last) {
        return std::ceil(std::max(lo - kSlack, 0.0)) <= std::min(hi + kSlack, last);
    };
    return any(x0, x1, c->clipRight) && any(y0, y1, c->clipBottom);
}
bool ReachesPixels(const HalContext *c, std::initializer_list<const D3DTLVERTEX *> v) {
    double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    for (const D3DTLVERTEX *p : v) {
        x0 = std::min<double>(x0, p->sx), x1 = std::max<double>(x1, p->sx);
        y0 = std::min<double>(y0, p->sy), y1 = std::max<double>(y1, p->sy);
    }
    return ReachesPixels(c, x0, x1, y0, y1);
}

// Whether the piece may light a pixel of the target: a pixel of the target lies inside it, or
// within the slack of its edges (far more than the edges' fixed-point error, far less than a
// piece of a fine grid is wide). A piece over more than a few pixels is taken as it is.
bool PieceLightsPixels(const HalContext *c, const D3DTLVERTEX &a, const D3DTLVERTEX &b, const D3DTLVERTEX &d) {
    if (!ReachesPixels(c, {&a, &b, &d}))
        return false;
    constexpr double kSlack = 1.0 / 4096;
    const double x0 = std::max(0.0, std::ceil(std::min({a.sx, b.sx, d.sx}) - kSlack));
    const double x1 = std::min<double>(c->clipRight, std::floor(std::max({a.sx, b.sx, d.sx}) + kSlack));
    const double y0 = std::max(0.0, std::ceil(std::min({a.sy, b.sy, d.sy}) - kSlack));
    const double y1 = std::min<double>(c->clipBottom, std::floor(std::max({a.sy, b.sy, d.sy}) + kSlack));
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > 16)
        return true;
    const D3DTLVERTEX *v[3] = {&a, &b, &d};
    const double area = (static_cast<double>(b.sx) - a.sx) * (static_cast<double>(d.sy) - a.sy) -
                        (static_cast<double>(d.sx) - a.sx) * (static_cast<double>(b.sy) - a.sy);
    for (double y = y0; y <= y1; y++)
        for (double x = x0; x <= x1; x++) {
            bool inside = true;
            for (int i = 0; i < 3 && inside; i++) {
                const D3DTLVERTEX &p = *v[i], &q = *v[(i + 1) % 3];
                const double ex = static_cast<double>(q.sx) - p.sx, ey = static_cast<double>(q.sy) - p.sy;
                const double side = (ex * (y - p.sy) - ey * (x - p.sx)) * (area < 0 ? -1 : 1);
                inside = side >= -kSlack * std::hypot(ex, ey);
            }
            if (inside)
                return true;
        }
    return false;
}

// The point of the edge from a to b at screen parameter s: ClipEdge takes the parameter in
// texture space, which perspective bends (w is linear in it, the screen position in s).
void ScreenPoint(const HalContext *c, D3DTLVERTEX &out, const D3DTLVERTEX &a, const D3DTLVERTEX &b, double s,
                 DWORD flatColor, DWORD flatSpecular) {
    double t = s;
    if (State(c, D3DRS_TEXTUREPERSPECTIVE) && GoodRhw(a.rhw) && GoodRhw(b.rhw)) {
        const double k = static_cast<double>(b.rhw) / a.rhw;
        t = s * k / (1.0 - s + s * k);
    }
    ClipEdge(c, out, a, b, t, flatColor, flatSpecular);
}

bool Finite(const D3DTLVERTEX &v) { return std::isfinite(v.sx) && std::isfinite(v.sy); }


// The vertices of a convex polygon cut to the clip box: three, plus one for each side cut.
constexpr int kMaxCut = 3 + 4;

// Cuts the triangle to the clip box; the polygon's vertices (to be drawn as a fan) go to out and
// their count is returned (0: nothing of it is inside, or a corner is not a number).
int CutToBox(const HalContext *c, const D3DTLVERTEX in[3], D3DTLVERTEX out[kMaxCut], DWORD flatColor,
             DWORD flatSpecular) {
    if (!Finite(in[0]) || !Finite(in[1]) || !Finite(in[2]))
        return 0;
    const std::array<BoxSide, 4> sides = ClipBoxSides(c);
    D3DTLVERTEX spare[kMaxCut];
    // Each side writes into the other array; after an even number of them the polygon is in out.
    D3DTLVERTEX *src = out, *dst = spare;
    std::copy(in, in + 3, src);
    int n = 3;
    for (const BoxSide &side : sides) {
        int m = 0;
        for (int i = 0; i < n; i++) {
            const D3DTLVERTEX &a = src[(i + n - 1) % n], &b = src[i];
            const double da = side.Inside(a), db = side.Inside(b);
            if ((da >= 0) != (db >= 0)) {
                ScreenPoint(c, dst[m], a, b, da / (da - db), flatColor, flatSpecular);
                (side.vertical ? dst[m].sy : dst[m].sx) = static_cast<float>(side.bound);
                m++;
            }
            if (db >= 0)
                dst[m++] = b;
        }
        n = m;
        std::swap(src, dst);
    }
    return n >= 3 ? n : 0;
}

}  // namespace

bool CutLineToTarget(const HalContext *c, const D3DTLVERTEX &a, const D3DTLVERTEX &b, D3DTLVERTEX out[2], DWORD flatColor,
             DWORD flatSpecular) {
    if (!Finite(a) || !Finite(b))
        return false;
    const std::array<BoxSide, 4> sides = ClipBoxSides(c);
    double s0 = 0, s1 = 1;
    for (const BoxSide &side : sides) {
        const double da = side.Inside(a), db = side.Inside(b);
        if (da < 0 && db < 0)
            return false;
        if (da < 0)
            s0 = std::max(s0, da / (da - db));
        else if (db < 0)
            s1 = std::min(s1, da / (da - db));
    }
    if (!(s0 < s1))
        return false;
    ScreenPoint(c, out[0], a, b, s0, flatColor, flatSpecular);
    ScreenPoint(c, out[1], a, b, s1, flatColor, flatSpecular);
    return true;
}

// 0: no cut; 1: cut along u; 2: along v; the edge (0: 0-1, 1: 1-2, 2: 2-0) in *edge.
DWORD ChooseClipAxis(DriverBlock *block, D3DTLVERTEX v[3], float width, float height, int *edge) {
    for (int i = 0; i < 3; i++) {
        const int j = (i + 1) % 3, k = (i + 2) % 3;
        if (v[i].tu == std::floor(v[i].tu) && v[i].tu >= v[j].tu && v[i].tu >= v[k].tu)
            v[i].tu -= (1.0f / 256.0f) / width;
        if (v[i].tv == std::floor(v[i].tv) && v[i].tv >= v[j].tv && v[i].tv >= v[k].tv)
            v[i].tv -= (1.0f / 256.0f) / height;
    }
    double du = -1, dv = -1;
    int eu = 0, ev = 0;
    for (int e = 0; e < 3; e++) {
        const D3DTLVERTEX &a = v[e], &b = v[(e + 1) % 3];
        const double u = std::fabs(width * (static_cast<double>(a.tu) - b.tu));
        const double t = std::fabs(height * (static_cast<double>(a.tv) - b.tv));
        if (u > du)
            du = u, eu = e;
        if (t > dv)
            dv = t, ev = e;
    }
    const double limit = block->texCoordLimit();
    if (!(du > limit) && !(dv > limit))
        return 0;
    if (du > dv) {
        *edge = eu;
        return 1;
    }
    *edge = ev;
    return 2;
}

namespace {

// Draws a triangle within the clip box by the set-up table, cut into a grid of pieces when its
// texel span is more than the engine holds. A strip of the grid, or a piece, that can light no
// pixel of the target is passed over without being computed or set up.
void CutInTextureSpace(HalContext *c, TriangleRoutine draw, const D3DTLVERTEX &v1, const D3DTLVERTEX &v2,
                       const D3DTLVERTEX &v3) {
    D3DTLVERTEX v[3] = {v1, v2, v3};
    if (!ReachesPixels(c, {&v[0], &v[1], &v[2]}))
        return;
    int edge = 0;
    const DWORD axis = ChooseClipAxis(c->driverBlock, v, c->textureWidth, c->textureHeight, &edge);
    if (axis == 0) {
        draw(c, &v[0], &v[1], &v[2]);
        return;
    }
    // E and F: the cut edge's ends, E the farther from D in texture space.
    const D3DTLVERTEX &p = v[edge], &q = v[(edge + 1) % 3], &D = v[(edge + 2) % 3];
    auto distance = [](const D3DTLVERTEX &a, const D3DTLVERTEX &b) {
        return std::max(std::fabs(static_cast<double>(a.tu) - b.tu), std::fabs(static_cast<double>(a.tv) - b.tv));
    };
    const bool pFarther = distance(p, D) >= distance(q, D);
    const D3DTLVERTEX &E = pFarther ? p : q, &F = pFarther ? q : p;
    const double size = axis == 1 ? c->textureWidth : c->textureHeight;
    const double diff = axis == 1 ? std::fabs(static_cast<double>(E.tu) - F.tu)
                                  : std::fabs(static_cast<double>(E.tv) - F.tv);
    const double limit = c->driverBlock->texCoordLimit();
    const double s = (limit / size) / diff;
    // Equal steps of at most s: the grid divides the triangle into similar pieces, each a 1/n
    // copy of it in texture space, so n is also raised until every piece's widest span on either
    // axis is below the limit.
    double widest = 0;
    for (int i = 0; i < 3; i++) {
        const D3DTLVERTEX &a = v[i], &b = v[(i + 1) % 3];
        widest = std::max({widest, std::fabs(static_cast<double>(a.tu) - b.tu) * c->textureWidth,
                           std::fabs(static_cast<double>(a.tv) - b.tv) * c->textureHeight});
    }
    const double want = std::max(std::ceil(1.0 / s), std::floor(widest / limit) + 1);
    const int n = static_cast<int>(std::min<double>(kMaxDivisions, std::max(1.0, want)));
    const DWORD flatColor = v[0].color, flatSpecular = v[0].specular;
    // The ends of every row first: row j runs from the point j/n of the way from E to D to the one
    // from F to D, and has n - j segments; row n is D.
    for (int j = 0; j <= n; j++) {
        if (j == 0) {
            g_left[j] = E;
            g_right[j] = F;
        } else if (j == n) {
            g_left[j] = g_right[j] = D;
        } else {
            ClipEdge(c, g_left[j], E, D, static_cast<double>(j) / n, flatColor, flatSpecular);
            ClipEdge(c, g_right[j], F, D, static_cast<double>(j) / n, flatColor, flatSpecular);
        }
    }
    auto fillRow = [&](int j, D3DTLVERTEX *row) {
        const int points = n - j;
        row[0] = g_left[j];
        row[points] = g_right[j];
        for (int i = 1; i < points; i++)
            ClipEdge(c, row[i], g_left[j], g_right[j], static_cast<double>(i) / points, flatColor, flatSpecular);
    };
    D3DTLVERTEX *prev = g_rows[0], *cur = g_rows[1];
    for (int j = 1; j <= n; j++) {
        // The strip between rows j - 1 and j: the trapezoid of their ends.
        if (!ReachesPixels(c, {&g_left[j - 1], &g_right[j - 1], &g_left[j], &g_right[j]}))
            continue;
        fillRow(j - 1, prev);
        fillRow(j, cur);
        // Row j-1 has points + 1 segments; join it to row j in strip order.
        const int points = n - j;
        for (int i = 0; i <= points; i++) {
            if (PieceLightsPixels(c, prev[i], prev[i + 1], cur[i]))
                draw(c, &prev[i], &prev[i + 1], &cur[i]);
            if (i < points && PieceLightsPixels(c, prev[i + 1], cur[i + 1], cur[i]))
                draw(c, &prev[i + 1], &cur[i + 1], &cur[i]);
        }
    }
}

}  // namespace

DWORD DrawClippedTriangle(HalContext *c, const D3DTLVERTEX *v1, const D3DTLVERTEX *v2, const D3DTLVERTEX *v3) {
    D3DTLVERTEX v[3] = {*v1, *v2, *v3};
    FlatShade(c, v);
    D3DTLVERTEX polygon[kMaxCut];
    const int corners = CutToBox(c, v, polygon, v[0].color, v[0].specular);
    const TriangleRoutine draw = SetupRoutine(c);
    for (int i = 1; i + 1 < corners; i++)
        draw(c, &polygon[0], &polygon[i], &polygon[i + 1]);
    return 0;
}

DWORD ClipAndDrawTriangle(HalContext *c, const D3DTLVERTEX *v1, const D3DTLVERTEX *v2, const D3DTLVERTEX *v3) {
    D3DTLVERTEX v[3] = {*v1, *v2, *v3};
    DWORD *rs = c->renderStates;
    const DWORD savedAddress = rs[D3DRS_TEXTUREADDRESS];
    const DWORD savedForceAlpha = c->forceVertexAlpha;
    for (D3DTLVERTEX &p : v)
        for (float *t : {&p.tu, &p.tv}) {
            if (*t > 1e6f)
                *t = 127.9f;
            else if (!(*t >= -1e6f))
                *t = -128.0f;
        }
    FlatShade(c, v);
    if (c->forceVertexAlpha) {
        for (D3DTLVERTEX &p : v)
            p.color |= 0xFF000000;
        c->forceVertexAlpha = 0;
    }
    const bool affineShortcut = rs[D3DRS_TEXTUREPERSPECTIVE] && v[0].rhw == v[1].rhw && v[1].rhw == v[2].rhw;
    if (affineShortcut) {
        rs[D3DRS_TEXTUREPERSPECTIVE] = 0;
        c->selectionBits &= ~8u;
        c->command &= ~(1u << 29);
        c->texCoordConst = AffineTexCoordConst(c->textureLog2 + 1);
    }
    rs[D3DRS_TEXTUREADDRESS] = 0;
    if (savedAddress == D3DTADDRESS_WRAP) {
        if (rs[D3DRS_WRAPU]) {
            float *u[3] = {&v[0].tu, &v[1].tu, &v[2].tu};
            WrapOutlier(u);
        }
        if (rs[D3DRS_WRAPV]) {
            float *t[3] = {&v[0].tv, &v[1].tv, &v[2].tv};
            WrapOutlier(t);
        }
    } else if (savedAddress == D3DTADDRESS_CLAMP) {
        for (D3DTLVERTEX &p : v) {
            p.tu = std::min(1.0f, std::max(0.0f, p.tu));
            p.tv = std::min(1.0f, std::max(0.0f, p.tv));
        }
    }
    c->clipping = 1;
    const TriangleRoutine draw = SetupRoutine(c);
    D3DTLVERTEX polygon[kMaxCut];
    const int corners = CutToBox(c, v, polygon, v[0].color, v[0].specular);
    for (int i = 1; i + 1 < corners; i++)
        CutInTextureSpace(c, draw, polygon[0], polygon[i], polygon[i + 1]);
    if (affineShortcut) {
        rs[D3DRS_TEXTUREPERSPECTIVE] = 1;
        c->selectionBits |= 8;
        c->command |= 1u << 29;
        c->texCoordConst = PerspectiveTexCoordConst(c->textureLog2 + 1);
    }
    c->clipping = 0;
    rs[D3DRS_TEXTUREADDRESS] = savedAddress;
    c->forceVertexAlpha = savedForceAlpha;
    return 0;
}

}  // namespace sivd3d
