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
#include <vector>

namespace sivd3d {

namespace {

// The grid is at most this many pieces along an edge; coordinates are bounded first (below), so
// only textures wider than the engine's registers reach it.
constexpr int kMaxDivisions = 512;

// Rows of grid points, by the parity of their row (CutGrid::Point); and the ends of every row.
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

// The box primitives are cut to: the target with at least a pixel to spare on every side (each
// side a pixel or more beyond the samples of the target's outermost pixels), so that the rounding
// of a cut edge touches no pixel of the target; well inside the engine's grid, which no target
// with a context reaches past (kTargetReach). A point p is inside a side when
// sign * (p's x or y - bound) >= 0.
struct BoxSide {
    bool vertical;
    double bound, sign;
    double Inside(const D3DTLVERTEX &p) const { return sign * ((vertical ? p.sy : p.sx) - bound); }
};
std::array<BoxSide, 4> ClipBoxSides(const HalContext *c) {
    const double far = kTargetReach;
    return {{{false, -1.0, 1}, {false, std::min(c->clipRight + 2.0, far), -1},
             {true, -1.0, 1}, {true, std::min(c->clipBottom + 2.0, far), -1}}};
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
    const double area = Cross(&a, &b, &d);
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

// The point of the edge from a to b whose screen position weighs a by rest and b by s (the two
// given apart, each to its own precision, so that a weight of 1e-30 is not lost beside 1): ClipEdge
// takes the parameter in texture space, which perspective bends (w is linear in it, the screen
// position in s).
void ScreenPoint(const HalContext *c, D3DTLVERTEX &out, const D3DTLVERTEX &a, const D3DTLVERTEX &b, double s,
                 double rest, DWORD flatColor, DWORD flatSpecular) {
    double t = s;
    if (State(c, D3DRS_TEXTUREPERSPECTIVE) && GoodRhw(a.rhw) && GoodRhw(b.rhw))
        t = s * b.rhw / (rest * a.rhw + s * b.rhw);
    ClipEdge(c, out, a, b, t, flatColor, flatSpecular);
}

// The sum of a few doubles to the precision of the result, however much larger the terms are and
// however nearly they cancel: each addition's rounding error is kept as a term of its own (the
// running sum is held as an exact expansion, its parts in increasing size), and the parts are
// added up from the smallest.
template <size_t N>
double SumToItsOwnPrecision(const std::array<double, N> &terms) {
    double part[N];
    int parts = 0;
    for (double x : terms) {
        int kept = 0;
        for (int i = 0; i < parts; i++) {
            const double sum = x + part[i];
            const double virtualPart = sum - x;
            const double error = (x - (sum - virtualPart)) + (part[i] - virtualPart);
            x = sum;
            if (error != 0)
                part[kept++] = error;
        }
        part[kept++] = x;
        parts = kept;
    }
    double sum = 0;
    for (int i = 0; i < parts; i++)
        sum += part[i];
    return sum;
}

// The point where the segment from a to b crosses the side (a and b on either side of it), however
// far the ends lie. Interpolating from an end 1e20 pixels away would keep nothing of the crossing
// but that end's rounding; instead the other coordinate is taken from the line through both ends,
// (bound q_b - bound q_a + q_a p_b - p_a q_b) / (p_b - p_a) with p the side's axis and q the
// other. Each product is exact in double (two floats, or a float and the bound, a whole number of
// at most 11 bits), and the four are summed to the precision of their sum: the terms may be 1e24
// where they cancel to 1e3 (an end on the side and the other 1e22 pixels along it, nearly
// parallel), so summed in turn they would leave nothing of the crossing. The error is a few units
// of the result's own size, whatever the ends' size.
void SideCrossing(const HalContext *c, const BoxSide &side, const D3DTLVERTEX &a, const D3DTLVERTEX &b,
                  D3DTLVERTEX &out, DWORD flatColor, DWORD flatSpecular) {
    const double da = side.Inside(a), db = side.Inside(b);
    ScreenPoint(c, out, a, b, da / (da - db), db / (db - da), flatColor, flatSpecular);
    const double pa = side.vertical ? a.sy : a.sx, pb = side.vertical ? b.sy : b.sx;
    const double qa = side.vertical ? a.sx : a.sy, qb = side.vertical ? b.sx : b.sy;
    const double bound = side.bound;
    const std::array<double, 4> terms = {bound * qb, -bound * qa, qa * pb, -pa * qb};
    const double other = SumToItsOwnPrecision(terms) / (pb - pa);
    (side.vertical ? out.sy : out.sx) = static_cast<float>(bound);
    (side.vertical ? out.sx : out.sy) = static_cast<float>(other);
}

bool Finite(const D3DTLVERTEX &v) { return std::isfinite(v.sx) && std::isfinite(v.sy); }


// The vertices of the polygon cut to the clip box. A convex one gains at most one a side (3 + 4),
// but the cut points are rounded to floats, which may leave a corner a hair beyond a side still to
// come, and that side then crosses the polygon more than twice. With k of n corners inside a side
// and n - k outside, the cut has at most k + 2 min(k, n - k) <= 3n/2 corners: 3, 4, 6, 9, 13.
constexpr int kMaxCut = 13;

// A corner of the polygon being cut, with the line its edge to the next corner lies on: one of
// the triangle's edges (0-2, from corner k to corner k + 1) or a side of the box (3 + side). A
// crossing is taken from the triangle's own corners, never from corners cut before it, which
// may lie 1e20 pixels away in floats.
struct CutCorner {
    D3DTLVERTEX v;
    int line;
};
constexpr int kBoxLine = 3;

// Cuts the triangle to the clip box; the polygon's vertices (to be drawn as a fan) go to out and
// their count is returned (0: nothing of it is inside, or a corner is not a number).
int CutToBox(const HalContext *c, const D3DTLVERTEX in[3], D3DTLVERTEX out[kMaxCut], DWORD flatColor,
             DWORD flatSpecular) {
    if (!Finite(in[0]) || !Finite(in[1]) || !Finite(in[2]))
        return 0;
    const std::array<BoxSide, 4> sides = ClipBoxSides(c);
    CutCorner polygon[2][kMaxCut];
    // Each side writes into the other array.
    CutCorner *src = polygon[0], *dst = polygon[1];
    for (int k = 0; k < 3; k++)
        src[k] = {in[k], k};
    int n = 3;
    for (int si = 0; si < 4; si++) {
        const BoxSide &side = sides[si];
        int m = 0;
        for (int i = 0; i < n; i++) {
            const CutCorner &a = src[(i + n - 1) % n], &b = src[i];
            const bool aIn = side.Inside(a.v) >= 0, bIn = side.Inside(b.v) >= 0;
            if (aIn != bIn) {
                CutCorner &p = dst[m++];
                const D3DTLVERTEX *from = &a.v, *to = &b.v;
                if (a.line < kBoxLine) {
                    const D3DTLVERTEX &e = in[a.line], &f = in[(a.line + 1) % 3];
                    // (The corners of an edge lying along the side, within the rounding of the cut
                    // points, need not straddle it: then the cut points are all there is.)
                    if ((side.Inside(e) >= 0) != (side.Inside(f) >= 0))
                        from = &e, to = &f;
                }
                SideCrossing(c, side, *from, *to, p.v, flatColor, flatSpecular);
                if (a.line >= kBoxLine) {
                    // Along a side of the box: the crossing is a corner of the box.
                    const BoxSide &along = sides[a.line - kBoxLine];
                    (along.vertical ? p.v.sy : p.v.sx) = static_cast<float>(along.bound);
                }
                // Going out, the polygon follows the side to where it comes back in.
                p.line = bIn ? a.line : kBoxLine + si;
            }
            if (bIn)
                dst[m++] = b;
        }
        n = m;
        std::swap(src, dst);
    }
    for (int k = 0; k < n; k++)
        out[k] = src[k].v;
    return n >= 3 ? n : 0;
}

}  // namespace

bool CutLineToTarget(const HalContext *c, const D3DTLVERTEX &a, const D3DTLVERTEX &b, D3DTLVERTEX out[2], DWORD flatColor,
             DWORD flatSpecular) {
    if (!Finite(a) || !Finite(b))
        return false;
    // Where the line crosses a side: the weights of b and of a, each to its own precision.
    struct Crossing {
        double s, rest;
        const BoxSide *side;
        // Whether it comes before another along the line: by the weight nearer 0, since the other
        // may round to 1 beside it (an end 1e20 pixels away).
        bool Before(const Crossing &o) const { return s <= 0.5 || o.s <= 0.5 ? s < o.s : rest > o.rest; }
    };
    const std::array<BoxSide, 4> sides = ClipBoxSides(c);
    Crossing enter = {0, 1, nullptr}, leave = {1, 0, nullptr};
    for (const BoxSide &side : sides) {
        const double da = side.Inside(a), db = side.Inside(b);
        if (da < 0 && db < 0)
            return false;
        if (da >= 0 && db >= 0)
            continue;
        const Crossing x = {da / (da - db), db / (db - da), &side};
        if (da < 0 && enter.Before(x))
            enter = x;
        else if (db < 0 && x.Before(leave))
            leave = x;
    }
    if (!enter.Before(leave))
        return false;
    for (int k = 0; k < 2; k++) {
        const Crossing &x = k ? leave : enter;
        if (x.side) {
            SideCrossing(c, *x.side, a, b, out[k], flatColor, flatSpecular);
        } else {
            // An end inside the box is the end itself, in the colours the line gives it (reached
            // from an end 1e20 pixels away, its position would be lost in that end's rounding).
            ScreenPoint(c, out[k], a, b, x.s, x.rest, flatColor, flatSpecular);
            const DWORD color = out[k].color, specular = out[k].specular;
            out[k] = k ? b : a;
            out[k].color = color;
            out[k].specular = specular;
        }
    }
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

// How close (in either axis) a pixel must be to a piece for the piece to be one that may light it:
// the slack of PieceLightsPixels, plus, per pixel of the target's size, more than the rounding of
// the grid's points to floats and the error of the engine's 20-bit edge slopes over the rows a
// piece can have.
double NearPixel(const HalContext *c) {
    return 1.0 / 4096 + (std::max(c->clipRight, c->clipBottom) + 3.0) * 0x1p-18;
}

// The grid a triangle E, F, D is cut into: n + 1 rows of points parallel to the cut edge E-F, row
// j (0 at E-F, n at D) with n - j + 1 points; point i of row j has the texture-space weights
// (n - i - j, i, j) / n of E, F and D. Strip j (1..n) lies between rows j - 1 and j and holds the
// pieces lower(i) = (j-1, i) (j-1, i+1) (j, i) for i <= n - j and upper(i) = (j-1, i+1) (j, i+1)
// (j, i) for i < n - j. A piece is named by the key (j << 11) | (i << 1) | upper, so that keys
// sort in drawing order.
class CutGrid {
public:
    CutGrid(const HalContext *c, int n, DWORD flatColor, DWORD flatSpecular)
        : c_(c), n_(n), near_(NearPixel(c)), flatColor_(flatColor), flatSpecular_(flatSpecular) {
        for (auto &row : stamp_)
            std::fill(std::begin(row), std::end(row), -1);
    }

    // Point i of row j; the rows' ends must be in g_left and g_right. Rows of one parity share
    // their storage, so a point stays valid while only the rows next to it are asked for.
    const D3DTLVERTEX &Point(int j, int i) {
        const int points = n_ - j;
        if (i == 0)
            return g_left[j];
        if (i == points)
            return g_right[j];
        D3DTLVERTEX &slot = g_rows[j & 1][i];
        if (stamp_[j & 1][i] != j) {
            ClipEdge(c_, slot, g_left[j], g_right[j], static_cast<double>(i) / points, flatColor_, flatSpecular_);
            stamp_[j & 1][i] = j;
        }
        return slot;
    }

    // Adds the keys of the pieces that lie within NearPixel of a pixel of the target, found from
    // the pixels near the triangle rather than by visiting every piece, so that the work follows
    // what is drawn. False when the triangle has no area (its pieces light nothing).
    bool PiecesNearPixels(std::array<const D3DTLVERTEX *, 3> t, std::vector<uint32_t> &keys) const {
        const ScreenToGrid map(c_, t, n_);
        if (!map.Valid())
            return false;
        double y0 = INFINITY, y1 = -INFINITY;
        for (const D3DTLVERTEX *p : t)
            y0 = std::min<double>(y0, p->sy), y1 = std::max<double>(y1, p->sy);
        const double yFirst = std::max(0.0, std::ceil(y0 - near_));
        const double yLast = std::min<double>(c_->clipBottom, std::floor(y1 + near_));
        for (double y = yFirst; y <= yLast; y++) {
            double x0, x1;
            if (!BandSpan(t, y, x0, x1))
                continue;
            const double xLast = std::min<double>(c_->clipRight, std::floor(x1 + near_));
            for (double x = std::max(0.0, std::ceil(x0 - near_)); x <= xLast; x++)
                AddPiecesNear(map, t, x, y, keys);
        }
        return true;
    }

private:
    // Screen to grid coordinates (A, B) = n * (weight of D, weight of F): a perspective cut places
    // its points by their rhw, as ClipEdge does; a cut whose corners have no usable rhw is placed as
    // an affine one (it has no right picture, only a bounded one).
    class ScreenToGrid {
    public:
        ScreenToGrid(const HalContext *c, const std::array<const D3DTLVERTEX *, 3> &t, int n) : t_(t), n_(n) {
            const bool persp = State(c, D3DRS_TEXTUREPERSPECTIVE) && GoodRhw(t[0]->rhw) && GoodRhw(t[1]->rhw) &&
                               GoodRhw(t[2]->rhw);
            for (int k = 0; k < 3; k++)
                q_[k] = persp ? t[k]->rhw : 1.0;
        }
        bool Valid() const { return Edge(*t_[0], *t_[1], t_[2]->sx, t_[2]->sy) != 0; }
        // Grid coordinates of a point of the triangle (or on its border).
        void At(double x, double y, double &A, double &B) const {
            double w[3];
            for (int k = 0; k < 3; k++)
                w[k] = Edge(*t_[(k + 1) % 3], *t_[(k + 2) % 3], x, y) * q_[k];
            const double sum = w[0] + w[1] + w[2];
            A = std::clamp(w[2] / sum, 0.0, 1.0) * n_;
            B = std::clamp(w[1] / sum, 0.0, 1.0) * n_;
        }

    private:
        static double Edge(const D3DTLVERTEX &a, const D3DTLVERTEX &b, double x, double y) {
            return (static_cast<double>(b.sx) - a.sx) * (y - a.sy) - (static_cast<double>(b.sy) - a.sy) * (x - a.sx);
        }
        std::array<const D3DTLVERTEX *, 3> t_;
        int n_;
        double q_[3];
    };

    // The x extent of the triangle's part within NearPixel of row y; false when it has none.
    bool BandSpan(const std::array<const D3DTLVERTEX *, 3> &t, double y, double &x0, double &x1) const {
        x0 = INFINITY;
        x1 = -INFINITY;
        for (int k = 0; k < 3; k++) {
            const D3DTLVERTEX &a = *t[k], &b = *t[(k + 1) % 3];
            if (std::fabs(a.sy - y) <= near_)
                x0 = std::min<double>(x0, a.sx), x1 = std::max<double>(x1, a.sx);
            for (double line : {y - near_, y + near_})
                if ((a.sy - line) * (b.sy - line) < 0) {
                    const double x = a.sx + (line - a.sy) / (static_cast<double>(b.sy) - a.sy) * (b.sx - a.sx);
                    x0 = std::min(x0, x), x1 = std::max(x1, x);
                }
        }
        return x0 <= x1;
    }

    // The keys of the pieces meeting the square of half-side NearPixel around pixel (x, y): the
    // triangle cut to the square is mapped to the grid (the map keeps it convex, so its corners
    // bound it there), and every piece its bounds meet is taken.
    void AddPiecesNear(const ScreenToGrid &map, const std::array<const D3DTLVERTEX *, 3> &t, double x, double y,
                       std::vector<uint32_t> &keys) const {
        std::array<std::array<double, 2>, 7> poly, spare;
        for (int k = 0; k < 3; k++)
            poly[k] = {t[k]->sx, t[k]->sy};
        int count = 3;
        const double bounds[4][3] = {{0, 1, x - near_}, {0, -1, x + near_},
                                     {1, 1, y - near_}, {1, -1, y + near_}};
        for (const auto &[axis, sign, bound] : bounds) {
            int m = 0;
            for (int k = 0; k < count; k++) {
                const auto &a = poly[(k + count - 1) % count], &b = poly[k];
                const int ax = static_cast<int>(axis);
                const double da = sign * (a[ax] - bound), db = sign * (b[ax] - bound);
                if ((da >= 0) != (db >= 0)) {
                    const double s = da / (da - db);
                    spare[m] = {a[0] + s * (b[0] - a[0]), a[1] + s * (b[1] - a[1])};
                    spare[m++][ax] = bound;
                }
                if (db >= 0)
                    spare[m++] = b;
            }
            count = m;
            std::swap(poly, spare);
            if (count == 0)
                return;
        }
        constexpr double kRound = 1e-6;   // the map's own rounding, in grid units
        double aLo = INFINITY, aHi = -INFINITY, bLo = INFINITY, bHi = -INFINITY;
        for (int k = 0; k < count; k++) {
            double A, B;
            map.At(poly[k][0], poly[k][1], A, B);
            aLo = std::min(aLo, A - kRound), aHi = std::max(aHi, A + kRound);
            bLo = std::min(bLo, B - kRound), bHi = std::max(bHi, B + kRound);
        }
        const int jFirst = std::max(1, static_cast<int>(std::floor(aLo)) + 1);
        const int jLast = std::min(n_, static_cast<int>(std::floor(aHi)) + 1);
        for (int j = jFirst; j <= jLast; j++) {
            const int points = n_ - j;
            const int iLast = std::min(points, static_cast<int>(std::floor(bHi)));
            for (int i = std::max(0, static_cast<int>(std::floor(bLo))); i <= iLast; i++) {
                // In the strip's own coordinates the lower piece is a + b <= 1, the upper one a + b >= 1.
                const double a0 = aLo - (j - 1), a1 = aHi - (j - 1), b0 = bLo - i, b1 = bHi - i;
                if (a0 + b0 <= 1)
                    keys.push_back(static_cast<uint32_t>(j) << 11 | static_cast<uint32_t>(i) << 1);
                if (i < points && a1 + b1 >= 1)
                    keys.push_back(static_cast<uint32_t>(j) << 11 | static_cast<uint32_t>(i) << 1 | 1);
            }
        }
    }

    const HalContext *c_;
    int n_;
    double near_;   // NearPixel
    DWORD flatColor_, flatSpecular_;
    int stamp_[2][kMaxDivisions + 1];
};

// Draws a triangle within the clip box by the set-up table, cut into a grid of pieces when its
// texel span is more than the engine holds. Only the pieces near the pixels the triangle covers
// are computed, and only those that can light one are set up: the grid may have 512 x 512 pieces
// where a sliver covers a handful of pixels.
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
    CutGrid grid(c, n, flatColor, flatSpecular);
    auto drawPiece = [&](int j, int i, bool upper) {
        const D3DTLVERTEX &a = upper ? grid.Point(j - 1, i + 1) : grid.Point(j - 1, i);
        const D3DTLVERTEX &b = upper ? grid.Point(j, i + 1) : grid.Point(j - 1, i + 1);
        const D3DTLVERTEX &d = grid.Point(j, i);
        if (PieceLightsPixels(c, a, b, d))
            draw(c, &a, &b, &d);
    };
    // The grid has n x n pieces. Finding them from the pixels costs a search per pixel covered
    // (several times the engine's own work on that pixel), which only pays where the pieces
    // outnumber the pixels: a coarse grid over a large triangle is walked piece by piece, every
    // strip that reaches the target in turn. Both ways visit the pieces in the same order and set
    // up the same ones, so the choice changes the time, not the picture.
    if (static_cast<double>(n) * n <= std::fabs(Cross(&E, &F, &D)) / 2) {
        for (int j = 1; j <= n; j++) {
            if (!ReachesPixels(c, {&g_left[j - 1], &g_right[j - 1], &g_left[j], &g_right[j]}))
                continue;
            for (int i = 0; i <= n - j; i++) {
                drawPiece(j, i, false);
                if (i < n - j)
                    drawPiece(j, i, true);
            }
        }
        return;
    }
    std::vector<uint32_t> pieces;
    if (!grid.PiecesNearPixels({&E, &F, &D}, pieces))
        return;
    std::sort(pieces.begin(), pieces.end());
    pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
    for (uint32_t key : pieces)
        drawPiece(static_cast<int>(key >> 11), static_cast<int>((key >> 1) & 1023), (key & 1) != 0);
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
