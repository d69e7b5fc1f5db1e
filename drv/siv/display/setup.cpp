// Triangle set-up for the 3D engine: the 24 members of the set-up table, composed from one
// template whose knobs are shading, Z, texture (none, affine, perspective) and fog/specular.
// Each member sorts the vertices, computes edges and gradients in floating point, converts them
// to the registers' fixed-point formats and writes them group by group, the command word last.
#include "drv/siv/display/d3d_draw.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace sivd3d {

namespace {

enum TexKind { kNoTex = 0, kAffine = 1, kPersp = 2 };

// The sorted triangle and what every gradient needs of it.
struct Tri {
    const D3DTLVERTEX *v[3];   // top, middle, bottom
    int iTop, iMid, iBot;
    float invLong, invW;
    bool right;                // the middle vertex lies right of the long edge
    double Y(int i) const { return v[i]->sy; }
};

// A value's gradients: per row along the long edge walking upward, across away from the long
// edge, and its start at the bottom vertex (moved to row iBot when asked).
struct Grad {
    float perRow, across;
    double start;
};

Grad Gradients(const Tri &t, double top, double mid, double bot, bool moveToRow) {
    Grad g;
    g.perRow = static_cast<float>((top - bot) * t.invLong);
    g.across = static_cast<float>((mid - (bot + g.perRow * (t.Y(2) - t.Y(1)))) * t.invW);
    g.start = bot + (moveToRow ? g.perRow * (t.Y(2) - t.iBot) : 0.0);
    return g;
}

// Sorting, rejection and edges. Returns false for a triangle that is dropped.
bool SortAndMeasure(const D3DTLVERTEX *a, const D3DTLVERTEX *b, const D3DTLVERTEX *c, Tri &t, double edge[6]) {
    if (!OnEngineGrid(a) || !OnEngineGrid(b) || !OnEngineGrid(c))
        return false;
    const D3DTLVERTEX *s[3] = {c, b, a};
    auto order = [&](int i, int j) {
        if (s[i]->sy > s[j]->sy)
            std::swap(s[i], s[j]);
    };
    order(0, 1);
    order(0, 2);
    order(1, 2);
    t.v[0] = s[0];
    t.v[1] = s[1];
    t.v[2] = s[2];
    // Rows are whole pixels at or above the y they start from: floor, so that a vertex in (-1, 0)
    // (as pieces cut at the target's top edge have) puts row 0 inside the triangle, not outside.
    t.iTop = static_cast<int>(std::floor(s[0]->sy));
    t.iMid = static_cast<int>(std::floor(s[1]->sy));
    t.iBot = static_cast<int>(std::floor(s[2]->sy));
    if (t.iBot == t.iTop)
        return false;
    const double x0 = s[0]->sx, y0 = s[0]->sy, x1 = s[1]->sx, y1 = s[1]->sy, x2 = s[2]->sx, y2 = s[2]->sy;
    t.invLong = static_cast<float>(1.0 / (y2 - y0));
    // The three slopes by one formula (upper end's x less lower end's, over the height), so that
    // an edge two triangles share gives both the same registers, whichever of its three roles it
    // plays in each. The pieces of a triangle cut to the target, or in texture space, meet along
    // such edges; a long slope rounded through the float invLong would leave a pixel centre on
    // the line between them to neither.
    const double s12 = y1 == y0 ? 0.0 : (x0 - x1) / (y1 - y0);
    const double s23 = y2 == y1 ? 0.0 : (x1 - x2) / (y2 - y1);
    const double s13 = (x0 - x2) / (y2 - y0);
    const double w = x1 - (x2 + (y2 - y1) * s13);
    if (std::fabs(w) <= Eps() || !(w == w))
        return false;
    t.invW = static_cast<float>(1.0 / std::fabs(w));
    t.right = w > 0;
    edge[0] = s12;
    edge[1] = x1 + s12 * (y1 - t.iMid);
    edge[2] = s23;
    edge[3] = x2 + s23 * (y2 - t.iBot);
    edge[4] = s13;
    edge[5] = x2 + s13 * (y2 - t.iBot);
    return true;
}

// ---- texture coordinates -----------------------------------------------------------------------
// The seam rule on one axis (top, middle, bottom): the triangle takes the short way across.
void Seam(double &t, double &m, double &b) {
    auto crosses = [](double d) { return d > 0.5 || d < -0.5; };
    const bool tb = crosses(t - b), mt = crosses(m - t), bm = crosses(b - m);
    if (tb && mt) {
        if (t < m)
            t += 1.0;
        else
            m += 1.0, b += 1.0;
    } else if (mt && bm) {
        if (m < b)
            m += 1.0;
        else
            b += 1.0, t += 1.0;
    } else if (bm && tb) {
        if (b < t)
            b += 1.0;
        else
            t += 1.0, m += 1.0;
    }
}

// Prepares the u and v copies of top, middle, bottom. Returns false when the triangle is dropped.
bool PrepareTexCoords(const HalContext *c, const Tri &t, double u[3], double v[3]) {
    for (int i = 0; i < 3; i++) {
        u[i] = t.v[i]->tu;
        v[i] = t.v[i]->tv;
    }
    const DWORD address = State(c, D3DRS_TEXTUREADDRESS);
    if (address == D3DTADDRESS_WRAP) {
        for (double *axis : {u, v}) {
            // Wrapping repeats the texture, so a triangle far out along an axis is moved back by
            // whole textures; only a span the engine cannot hold drops it.
            const double lowest = std::min({axis[0], axis[1], axis[2]});
            if (std::isfinite(lowest) && (lowest < -128.0 || lowest >= 128.0)) {
                const double whole = std::floor(lowest);
                for (int i = 0; i < 3; i++)
                    axis[i] -= whole;
            }
            for (int i = 0; i < 3; i++)
                if (!(axis[i] >= -128.0 && axis[i] < 128.0))
                    return false;
        }
        if (State(c, D3DRS_WRAPU))
            Seam(u[0], u[1], u[2]);
        if (State(c, D3DRS_WRAPV))
            Seam(v[0], v[1], v[2]);
    } else if (address == D3DTADDRESS_CLAMP && !c->driverBlock->forceTexClip()) {
        for (double *axis : {u, v})
            for (int i = 0; i < 3; i++)
                axis[i] = axis[i] >= 1.0 ? 1.0 : axis[i] < 0.0 ? 0.0 : axis[i];
    }
    return true;
}

// An integral largest value is pulled inside the texture, so the engine never reaches the texel
// past the edge. Order: bottom, middle, top.
void NudgeIntegralMaxima(double a[3]) {
    for (int i : {2, 1, 0}) {
        const double x = a[i], p = a[(i + 1) % 3], q = a[(i + 2) % 3];
        if (x == std::floor(x) && x >= p && x >= q)
            a[i] = x - 1.0 / 256.0;
    }
}

void WriteAffineTexture(HalContext *c, const Tri &t, double u[3], double v[3], bool oneGroup) {
    for (int i = 0; i < 3; i++) {
        u[i] *= c->textureWidth;
        v[i] *= c->textureHeight;
    }
    if (!c->clipping) {
        NudgeIntegralMaxima(u);
        NudgeIntegralMaxima(v);
    }
    const Grad gu = Gradients(t, u[0], u[1], u[2], true), gv = Gradients(t, v[0], v[1], v[2], true);
    if (oneGroup) {
        Wait(c, 13);
    } else {
        Wait(c, 4);
    }
    Write(c, 0xB504, 0);
    Write(c, 0xB508, 0);
    if (!oneGroup)
        Wait(c, 11);
    Write(c, 0xB518, 0);
    Write(c, 0xB51C, T(c, gv.across));
    Write(c, 0xB520, T(c, gu.across));
    Write(c, 0xB524, 0);
    Write(c, 0xB528, T(c, gv.perRow));
    Write(c, 0xB52C, T(c, gu.perRow));
    Write(c, 0xB530, 0);
    Write(c, 0xB534, T(c, gv.start - c->texCoordBias));
    Write(c, 0xB538, T(c, gu.start - c->texCoordBias));
}

// log2 read off a float's bits: exponent plus the top eight mantissa bits.
double ApproxLog2(float s) {
    uint32_t bits;
    std::memcpy(&bits, &s, 4);
    return static_cast<double>(static_cast<int>((bits >> 23) & 0xFF) - 127) + ((bits >> 15) & 0xFF) / 256.0;
}

// The mip level at each vertex from the screen derivatives of the texel coordinates.
void MipLevels(const Tri &t, const double q[3], const double U[3], const double V[3], double level[3]) {
    double x[3], y[3];
    for (int i = 0; i < 3; i++) {
        x[i] = t.v[i]->sx;
        y[i] = t.v[i]->sy;
    }
    double det = 0, cof[3][3];   // cof[j] = the cofactor column of vertex j: (dx, dy, constant)
    for (int j = 0; j < 3; j++) {
        const int k = (j + 1) % 3, l = (j + 2) % 3;
        cof[j][0] = y[k] - y[l];
        cof[j][1] = x[l] - x[k];
        cof[j][2] = x[k] * y[l] - x[l] * y[k];
        det += cof[j][2];
    }
    double dq[2] = {}, dU[2] = {}, dV[2] = {};
    for (int j = 0; j < 3; j++)
        for (int a = 0; a < 2; a++) {
            const double w = cof[j][a] * (q[j] / det);
            dq[a] += w;
            dU[a] += w * U[j];
            dV[a] += w * V[j];
        }
    for (int i = 0; i < 3; i++) {
        const double ux = (dU[0] - U[i] * dq[0]) / q[i], uy = (dU[1] - U[i] * dq[1]) / q[i];
        const double vx = (dV[0] - V[i] * dq[0]) / q[i], vy = (dV[1] - V[i] * dq[1]) / q[i];
        const double E = ux * ux + vx * vx, F = ux * uy + vx * vy, G = uy * uy + vy * vy;
        const double T2 = E + G, D = E * G - F * F;
        const double s = T2 + std::sqrt(T2 * T2 - 4 * D);
        const double L = s > 0 ? ApproxLog2(static_cast<float>(s)) : 0.0;
        const double lv = 0.5 * L - 0.5;
        // Beyond the coarsest level the coarsest is used, not the finest.
        level[i] = !(lv >= 0.0) ? 0.0 : lv > 9.0 ? 9.0 : lv;
    }
}

// Perspective texture registers; false when the triangle took the affine fallback (then the
// command and constant are put back after the command register is written).
bool WritePerspectiveTexture(HalContext *c, const Tri &t, double u[3], double v[3]) {
    const double q[3] = {t.v[0]->rhw, t.v[1]->rhw, t.v[2]->rhw};
    if (q[0] == q[1] && q[1] == q[2]) {
        c->command &= ~(1u << 29);
        c->texCoordConst = AffineTexCoordConst(c->textureLog2 + 1);
        WriteAffineTexture(c, t, u, v, true);
        return false;
    }
    double U[3], V[3];
    for (int i = 0; i < 3; i++) {
        U[i] = u[i] * c->textureWidth;
        V[i] = v[i] * c->textureHeight;
    }
    const double baseU = std::trunc(std::min({U[0], U[1], U[2]}));
    const double baseV = std::trunc(std::min({V[0], V[1], V[2]}));
    double level[3] = {0, 0, 0};
    const bool mip = State(c, D3DRS_TEXTUREMAG) > D3DFILTER_LINEAR;
    if (mip)
        MipLevels(t, q, U, V, level);
    const double top = q[2] > q[0] && q[2] > q[1] ? q[2] : q[1] > q[0] ? q[1] : q[0];
    double W[3], Uw[3], Vw[3];
    for (int i = 0; i < 3; i++) {
        W[i] = q[i] * (256.0 / top);
        Uw[i] = (U[i] - baseU) * W[i];
        Vw[i] = (V[i] - baseV) * W[i];
    }
    const double baseU2 = WrapPositive(baseU - c->texCoordBias, c->textureWidth);
    const double baseV2 = WrapPositive(baseV - c->texCoordBias, c->textureHeight);
    const Grad gw = Gradients(t, W[0], W[1], W[2], true);
    const Grad gu = Gradients(t, Uw[0], Uw[1], Uw[2], true);
    const Grad gv = Gradients(t, Vw[0], Vw[1], Vw[2], true);
    Wait(c, 16);
    Write(c, 0xB504, T(c, baseV2));
    Write(c, 0xB508, T(c, baseU2) | 0x80000000);
    Write(c, 0xB50C, F19(gw.across));
    Write(c, 0xB510, F19(gw.perRow));
    Write(c, 0xB514, F19(gw.start));
    if (mip) {
        const Grad gl = Gradients(t, level[0], level[1], level[2], true);
        Write(c, 0xB518, F27(gl.across));
        Write(c, 0xB524, F27(gl.perRow));
        Write(c, 0xB530, F27(gl.start));
    } else {
        Write(c, 0xB518, 0);
        Write(c, 0xB524, 0);
        Write(c, 0xB530, 0);
    }
    Write(c, 0xB51C, P(gv.across));
    Write(c, 0xB520, P(gu.across));
    Write(c, 0xB528, P(gv.perRow));
    Write(c, 0xB52C, P(gu.perRow));
    Write(c, 0xB534, P(gv.start));
    Write(c, 0xB538, P(gu.start));
    return true;
}

// ---- colour ----------------------------------------------------------------------------------
DWORD VertexColor(const HalContext *c, DWORD color) { return c->forceVertexAlpha ? color | 0xFF000000 : color; }
int Byte(DWORD v, int i) { return static_cast<int>((v >> (8 * i)) & 0xFF); }

void WriteColorStart(HalContext *c, int b, int g, int r, int a) {
    Write(c, 0xB54C, (static_cast<DWORD>(g) << 16 | static_cast<DWORD>(b)) << 7);
    Write(c, 0xB550, (static_cast<DWORD>(a) << 16 | static_cast<DWORD>(r)) << 7);
}

// Flat: one colour, no gradients. With fog or specular the colour is the first vertex's folded
// colour, its alpha the coefficient the fog unit takes.
template <bool Fog>
void WriteFlatColor(HalContext *c, const D3DTLVERTEX *first) {
    DWORD color = VertexColor(c, first->color);
    int alpha;
    if (Fog) {
        color = FogSpecularColor(c, color, first->specular);
        alpha = Byte(color, 3);
    } else {
        alpha = (c->command & 0xC0000) == 0xC0000 ? Byte(color, 3) : 0xFF;
    }
    Wait(c, 8);
    Write(c, 0xB53C, 0);
    Write(c, 0xB540, 0);
    Write(c, 0xB544, 0);
    Write(c, 0xB548, 0);
    WriteColorStart(c, Byte(color, 0), Byte(color, 1), Byte(color, 2), alpha);
}

template <bool Fog>
void WriteGouraudColor(HalContext *c, const Tri &t) {
    DWORD col[3];
    for (int i = 0; i < 3; i++) {
        col[i] = VertexColor(c, t.v[i]->color);
        if (Fog)
            col[i] = FogSpecularColor(c, col[i], t.v[i]->specular);
    }
    Grad g[4];
    for (int ch = 0; ch < 4; ch++)
        g[ch] = Gradients(t, Byte(col[0], ch), Byte(col[1], ch), Byte(col[2], ch), false);
    int alphaStart = Byte(col[2], 3);
    if (!Fog && (c->command & 0xC0000) != 0xC0000) {
        g[3].perRow = g[3].across = 0;
        alphaStart = 0xFF;
    }
    Wait(c, 8);
    Write(c, 0xB53C, C16(g[1].across) << 16 | C16(g[0].across));
    Write(c, 0xB540, C16(g[3].across) << 16 | C16(g[2].across));
    Write(c, 0xB544, C16(g[1].perRow) << 16 | C16(g[0].perRow));
    Write(c, 0xB548, C16(g[3].perRow) << 16 | C16(g[2].perRow));
    WriteColorStart(c, Byte(col[2], 0), Byte(col[2], 1), Byte(col[2], 2), alphaStart);
}

// ---- the members ------------------------------------------------------------------------------
template <bool Gouraud, bool Z, int Tex, bool Fog>
DWORD SetupTri(HalContext *c, const D3DTLVERTEX *v1, const D3DTLVERTEX *v2, const D3DTLVERTEX *v3) {
    Tri t;
    double edge[6];
    if (!SortAndMeasure(v1, v2, v3, t, edge))
        return 0;
    double u[3], v[3];
    if (Tex != kNoTex) {
        if (!PrepareTexCoords(c, t, u, v))
            return 0;
        if (State(c, D3DRS_TEXTUREMAG) == D3DFILTER_LINEAR)
            ChooseTextureFilter(c, t.v[2], t.v[1], t.v[0]);
    }
    if (Fog && Tex == kNoTex) {
        Wait(c, 10);
        for (DWORD reg = 0xB51C; reg <= 0xB538; reg += 4)
            if (reg != 0xB524 && reg != 0xB530)   // the eight coordinate registers
                Write(c, reg, 0);
    }
    bool restorePerspective = false;
    if (Tex == kAffine)
        WriteAffineTexture(c, t, u, v, false);
    else if (Tex == kPersp)
        restorePerspective = !WritePerspectiveTexture(c, t, u, v);
    if (Gouraud)
        WriteGouraudColor<Fog>(c, t);
    else
        WriteFlatColor<Fog>(c, v1);
    if (Z) {
        const Grad gz = Gradients(t, t.v[0]->sz, t.v[1]->sz, t.v[2]->sz, true);
        Wait(c, 5);
        Write(c, 0xB554, F31(gz.across));
        Write(c, 0xB558, F31(gz.perRow));
        Write(c, 0xB55C, F31(gz.start));
    }
    const DWORD upper = static_cast<DWORD>(t.iMid - t.iTop) + (t.v[0]->sy == static_cast<float>(t.iTop) ? 1 : 0);
    const DWORD lower = static_cast<DWORD>(t.iBot - t.iMid);
    Wait(c, 11);
    Write(c, 0xB560, F20(edge[0]));
    Write(c, 0xB564, F20(edge[1]));
    Write(c, 0xB568, F20(edge[2]));
    Write(c, 0xB56C, F20(edge[3]));
    Write(c, 0xB570, F20(edge[4]));
    Write(c, 0xB574, F20(edge[5]));
    Write(c, 0xB578, static_cast<DWORD>(t.iBot));
    Write(c, 0xB57C, (upper & 0xFFFF) | (lower & 0x7FFF) << 16 | (t.right ? 0x80000000u : 0));
    Write(c, 0xB500, c->command);
    if (restorePerspective) {
        c->command |= 1u << 29;
        c->texCoordConst = PerspectiveTexCoordConst(c->textureLog2 + 1);
    }
    return 0;
}

// Table entry i: bit 0 gouraud, bit 1 Z, bit 2 texture, bit 3 perspective (ignored without a
// texture, so entries 8-11 and 24-27 repeat 0-3 and 16-19), bit 4 fog or specular.
template <size_t I>
constexpr TriangleRoutine Member() {
    constexpr int tex = (I & 4) ? ((I & 8) ? kPersp : kAffine) : kNoTex;
    return SetupTri<(I & 1) != 0, (I & 2) != 0, tex, (I & 16) != 0>;
}
static_assert(Member<8>() == Member<0>() && Member<11>() == Member<3>() && Member<24>() == Member<16>() &&
              Member<27>() == Member<19>());
template <size_t... I>
constexpr std::array<TriangleRoutine, 32> MakeTable(std::index_sequence<I...>) {
    return {Member<I>()...};
}

}  // namespace

const std::array<TriangleRoutine, 32> TriangleSetupTable = MakeTable(std::make_index_sequence<32>{});


DWORD ChooseTextureFilter(HalContext *c, const D3DTLVERTEX *a, const D3DTLVERTEX *b, const D3DTLVERTEX *v) {
    const DWORD kept = c->command & ~(7u << 12);
    if (c->driverBlock->driverFlags() & 0x400000) {
        c->command = kept | 5u << 12;
        return 1;
    }
    const double screen = std::fabs((static_cast<double>(a->sx) - v->sx) * (static_cast<double>(b->sy) - v->sy) -
                                    (static_cast<double>(b->sx) - v->sx) * (static_cast<double>(a->sy) - v->sy));
    const double texture = std::fabs((static_cast<double>(a->tu) - v->tu) * (static_cast<double>(b->tv) - v->tv) -
                                     (static_cast<double>(b->tu) - v->tu) * (static_cast<double>(a->tv) - v->tv));
    if (4 * texture < screen) {
        c->command = kept | 6u << 12;
        return 0;
    }
    c->command = kept | 5u << 12;
    return 1;
}

DWORD FogSpecularColor(const HalContext *c, DWORD color, DWORD specular) {
    DWORD rgb = color & 0xFFFFFF;
    DWORD alpha = color >> 24;
    if (State(c, D3DRS_FOGENABLE)) {
        if (c->fogInColor) {
            const float f = static_cast<float>(specular >> 24) * InvByte();
            DWORD folded = 0;
            for (int i = 0; i < 3; i++) {
                const float mixed = static_cast<float>(Byte(rgb, i)) * f +
                                    static_cast<float>(Byte(c->fogColor, i)) * (1.0f - f);
                folded |= static_cast<DWORD>(std::min(255, std::max(0, static_cast<int>(mixed)))) << (8 * i);
            }
            rgb = folded;
        } else if (!c->fogTexture) {
            alpha = specular >> 24;
        }
    }
    if (State(c, D3DRS_SPECULARENABLE)) {
        if (c->specularInColor) {
            // The three channels added at once: a channel that passes 255 becomes 0xFE or 0xFF
            // and its carry lands in the lowest bit of the next one.
            DWORD sum = (rgb & 0xFEFEFE) + (specular & 0xFEFEFE);
            const DWORD carries = (sum >> 8) & 0x10101;
            sum |= (0x10100 - (carries << 1)) & 0xFEFEFE;
            rgb = sum & 0xFFFFFF;
        } else {
            alpha = 255 - static_cast<DWORD>(std::max({Byte(specular, 0), Byte(specular, 1), Byte(specular, 2)}));
        }
    }
    return rgb | alpha << 24;
}

}  // namespace sivd3d
