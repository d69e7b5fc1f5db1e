// Triangle clipping in texture space: a textured triangle whose texel span is more than the
// engine's texture registers hold is cut into a grid of pieces, each drawn by the set-up table.
#include "drv/siv/display/d3d_draw.h"

#include <algorithm>
#include <cmath>

namespace sivd3d {

namespace {

// The grid is at most this many pieces along an edge; coordinates are bounded first (below), so
// only textures wider than the engine's registers reach it.
constexpr int kMaxDivisions = 512;

// Rows of grid points: the previous and the current one.
D3DTLVERTEX g_rows[2][kMaxDivisions + 1];

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

}  // namespace

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
    if (rs[D3DRS_SHADEMODE] != D3DSHADE_GOURAUD)
        for (int i = 1; i < 3; i++) {
            v[i].color = v[0].color;
            v[i].specular = v[0].specular;
        }
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
    int edge = 0;
    const DWORD axis = ChooseClipAxis(c->driverBlock, v, c->textureWidth, c->textureHeight, &edge);
    if (axis == 0) {
        draw(c, &v[0], &v[1], &v[2]);
    } else {
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
        // Equal steps of at most s: the grid divides the triangle into similar pieces, each a
        // 1/n copy of it in texture space, so n is also raised until every piece's widest span
        // on either axis is below the limit.
        double widest = 0;
        for (int i = 0; i < 3; i++) {
            const D3DTLVERTEX &a = v[i], &b = v[(i + 1) % 3];
            widest = std::max({widest, std::fabs(static_cast<double>(a.tu) - b.tu) * c->textureWidth,
                               std::fabs(static_cast<double>(a.tv) - b.tv) * c->textureHeight});
        }
        double want = std::max(std::ceil(1.0 / s), std::floor(widest / limit) + 1);
        const int n = static_cast<int>(std::min<double>(kMaxDivisions, std::max(1.0, want)));
        const DWORD flatColor = v[0].color, flatSpecular = v[0].specular;
        D3DTLVERTEX left, right;
        D3DTLVERTEX *prev = g_rows[0], *cur = g_rows[1];
        for (int j = 0; j <= n; j++) {
            const int points = n - j;   // segments on row j
            if (j == n) {
                cur[0] = D;
            } else {
                const double r = static_cast<double>(j) / n;
                if (j == 0) {
                    left = E;
                    right = F;
                } else {
                    ClipEdge(c, left, E, D, r, flatColor, flatSpecular);
                    ClipEdge(c, right, F, D, r, flatColor, flatSpecular);
                }
                for (int i = 0; i <= points; i++) {
                    if (i == 0)
                        cur[i] = left;
                    else if (i == points)
                        cur[i] = right;
                    else
                        ClipEdge(c, cur[i], left, right, static_cast<double>(i) / points, flatColor, flatSpecular);
                }
            }
            if (j > 0) {
                // Row j-1 has points + 1 segments; join it to row j in strip order.
                for (int i = 0; i <= points; i++) {
                    draw(c, &prev[i], &prev[i + 1], &cur[i]);
                    if (i < points)
                        draw(c, &prev[i + 1], &cur[i + 1], &cur[i]);
                }
            }
            std::swap(prev, cur);
        }
    }
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
