// Drawing callbacks: execute-buffer instructions and DrawPrimitive requests and batches. They
// validate the hardware state, cull by the sign of the area, choose the triangle routine, and
// draw points and lines themselves as one-row spans and parallelograms of the triangle engine.
#include "drv/siv/display/d3d_draw.h"

#include <algorithm>
#include <cmath>

namespace sivd3d {

namespace {

int Byte(DWORD v, int i) { return static_cast<int>((v >> (8 * i)) & 0xFF); }

// A vertex colour as points and lines take it: forced alpha, then fog and specular.
DWORD PreparedColor(const HalContext *c, const D3DTLVERTEX *v) {
    DWORD color = c->forceVertexAlpha ? v->color | 0xFF000000 : v->color;
    if (State(c, D3DRS_FOGENABLE) || State(c, D3DRS_SPECULARENABLE))
        color = FogSpecularColor(c, color, v->specular);
    return color;
}

void WriteColorStart(HalContext *c, DWORD color, int alpha) {
    Write(c, 0xB54C, (static_cast<DWORD>(Byte(color, 1)) << 16 | static_cast<DWORD>(Byte(color, 0))) << 7);
    Write(c, 0xB550, (static_cast<DWORD>(alpha) << 16 | static_cast<DWORD>(Byte(color, 2))) << 7);
}

bool Textured(const HalContext *c) { return (c->selectionBits & 4) != 0; }
bool VertexAlpha(const HalContext *c) { return (c->command & 0xC0000) == 0xC0000; }

// A texel coordinate brought to [0, size) by whole repeats; a coordinate that is not finite, or a
// texture of no size, gives 0.
double Repeat(double t, double size) {
    if (!std::isfinite(t) || !(size > 0))
        return 0.0;
    t = std::fmod(t, size);
    return t < 0 ? t + size : t;
}

}  // namespace

void DrawPoints(HalContext *c, const D3DTLVERTEX *v) {
    if (!OnEngineGrid(v))
        return;
    const int y = static_cast<int>(v->sy);
    const bool tex = Textured(c), persp = State(c, D3DRS_TEXTUREPERSPECTIVE) != 0;
    if ((tex && !persp) || (State(c, D3DRS_FOGENABLE) && !tex)) {
        Wait(c, 4);
        Write(c, 0xB504, 0);
        Write(c, 0xB508, 0x80000000);
    }
    if (tex) {
        double u = static_cast<double>(v->tu) * c->textureWidth, t = static_cast<double>(v->tv) * c->textureHeight;
        if (!persp) {
            Wait(c, 5);
            Write(c, 0xB530, 0);
            Write(c, 0xB538, T(c, u + 0.501));
            Write(c, 0xB534, T(c, t + 0.501));
        } else {
            u = Repeat(u, c->textureWidth);
            t = Repeat(t, c->textureHeight);
            Wait(c, 8);
            Write(c, 0xB504, T(c, t));
            Write(c, 0xB508, T(c, u) | 0x80000000);
            Write(c, 0xB514, F19(v->rhw));
            Write(c, 0xB530, 0);
            Write(c, 0xB534, 0);
            Write(c, 0xB538, 0);
        }
    } else if (c->fogTexture) {
        Wait(c, 5);
        Write(c, 0xB530, 0);
        Write(c, 0xB534, 0);
        Write(c, 0xB538, 0);
    }
    const DWORD color = PreparedColor(c, v);
    Wait(c, 10);
    WriteColorStart(c, color, Byte(color, 3));
    if (State(c, D3DRS_ZENABLE))
        Write(c, 0xB55C, F31(v->sz));
    Write(c, 0xB56C, F20(static_cast<double>(v->sx) + 1.0));
    Write(c, 0xB574, F20(v->sx));
    Write(c, 0xB578, static_cast<DWORD>(y));
    Write(c, 0xB57C, 0x80010000);   // one row, left to right
    Write(c, 0xB500, c->command);
}

void DrawLine(HalContext *c, const D3DTLVERTEX *v1, const D3DTLVERTEX *v2, const D3DTLVERTEX *flat) {
    D3DTLVERTEX ends[2];
    if (!OnEngineGrid(v1) || !OnEngineGrid(v2)) {
        if (!CutLineToTarget(c, *v1, *v2, ends, flat->color, flat->specular) || !OnEngineGrid(&ends[0]) ||
            !OnEngineGrid(&ends[1]))
            return;
        v1 = &ends[0];
        v2 = &ends[1];
    }
    const D3DTLVERTEX *top = v2->sy < v1->sy ? v2 : v1, *bot = top == v1 ? v2 : v1;
    const int topRow = static_cast<int>(top->sy), botRow = static_cast<int>(bot->sy);
    int rows = botRow - topRow;
    double dy = static_cast<double>(bot->sy) - top->sy;
    double dx = static_cast<double>(top->sx) - bot->sx;
    const double eps = Eps();
    if (rows == 0) {
        // Both ends on one row and no run: a point (a run of zero would give no gradient).
        if (std::fabs(dx) <= eps) {
            DrawPoints(c, bot);
            return;
        }
        rows = 1;
        dy = 1;
    }
    const double step = dx / rows;
    double f;
    if (dx > eps) {
        f = dx >= dy ? step : 1.0;
    } else if (dx >= -eps) {
        if (dy > 1) {
            f = 1.0;
            dx = 1.0;
        } else {
            f = step;
        }
    } else {
        f = -dx >= dy ? step : -1.0;
    }
    // Gradients per row walk upward; gradients along x step away from the bottom end, towards
    // the top end whichever side it is on (1/dx would turn them round for lines drawn leftwards).
    const bool perRow = dy > 1;
    const double m = perRow ? 1.0 / rows : 1.0 / std::fabs(dx);
    const double toRow = static_cast<double>(bot->sy) - botRow;

    // A perspective line whose ends have one rhw is drawn affine: the command goes without
    // bit 29 for this one line, as for such triangles.
    const DWORD savedCommand = c->command;
    const double savedConst = c->texCoordConst;
    const bool tex = Textured(c);
    const bool persp = tex && (c->command & (1u << 29)) && top->rhw != bot->rhw && top->rhw > 0 && bot->rhw > 0;
    if (tex && !persp && (c->command & (1u << 29))) {
        c->command &= ~(1u << 29);
        c->texCoordConst = AffineTexCoordConst(c->textureLog2 + 1);
    }
    if (tex) {
        double u1 = top->tu, u2 = bot->tu, t1 = top->tv, t2 = bot->tv;
        if (State(c, D3DRS_TEXTUREADDRESS) == D3DTADDRESS_WRAP) {
            auto seam = [](double &a, double &b) {
                if (std::fabs(a - b) > 0.5)
                    (a < b ? a : b) += 1.0;
            };
            if (State(c, D3DRS_WRAPU))
                seam(u1, u2);
            if (State(c, D3DRS_WRAPV))
                seam(t1, t2);
        }
        if (persp) {
            // The perspective protocol of triangles along the line: texel bases, W normalised
            // to 256 at the nearer end, U * W and V * W from the bottom end.
            const double U1 = u1 * c->textureWidth, U2 = u2 * c->textureWidth;
            const double V1 = t1 * c->textureHeight, V2 = t2 * c->textureHeight;
            const double baseU = std::trunc(std::min(U1, U2)), baseV = std::trunc(std::min(V1, V2));
            const double near = std::max(top->rhw, bot->rhw);
            const double W1 = top->rhw * (256.0 / near), W2 = bot->rhw * (256.0 / near);
            const double gw = (W1 - W2) * m;
            const double gu = ((U1 - baseU) * W1 - (U2 - baseU) * W2) * m;
            const double gv = ((V1 - baseV) * W1 - (V2 - baseV) * W2) * m;
            const double baseU2 = baseU - c->texCoordBias, baseV2 = baseV - c->texCoordBias;
            Wait(c, 16);
            Write(c, 0xB504, T(c, WrapPositive(baseV2, c->textureHeight)));
            Write(c, 0xB508, T(c, WrapPositive(baseU2, c->textureWidth)) | 0x80000000);
            Write(c, 0xB50C, perRow ? 0 : F19(gw));
            Write(c, 0xB510, perRow ? F19(gw) : 0);
            Write(c, 0xB514, F19(W2 + gw * toRow));
            Write(c, 0xB518, 0);
            Write(c, 0xB524, 0);
            Write(c, 0xB530, 0);
            Write(c, 0xB51C, perRow ? 0 : P(gv));
            Write(c, 0xB520, perRow ? 0 : P(gu));
            Write(c, 0xB528, perRow ? P(gv) : 0);
            Write(c, 0xB52C, perRow ? P(gu) : 0);
            Write(c, 0xB534, P((V2 - baseV) * W2 + gv * toRow));
            Write(c, 0xB538, P((U2 - baseU) * W2 + gu * toRow));
        } else {
            const double gu = (u1 - u2) * c->textureWidth * m, gv = (t1 - t2) * c->textureHeight * m;
            const double su = u2 * c->textureWidth + gu * toRow, sv = t2 * c->textureHeight + gv * toRow;
            Wait(c, 11);
            Write(c, 0xB518, 0);
            Write(c, 0xB524, 0);
            Write(c, 0xB51C, perRow ? 0 : T(c, gv));
            Write(c, 0xB520, perRow ? 0 : T(c, gu));
            Write(c, 0xB528, perRow ? T(c, gv) : 0);
            Write(c, 0xB52C, perRow ? T(c, gu) : 0);
            Write(c, 0xB530, 0);
            Write(c, 0xB534, T(c, sv + 0.501));
            Write(c, 0xB538, T(c, su + 0.501));
        }
    } else if (c->fogTexture) {
        Wait(c, 10);
        for (DWORD reg : {0xB51Cu, 0xB520u, 0xB528u, 0xB52Cu, 0xB524u, 0xB530u, 0xB534u, 0xB538u})
            Write(c, reg, 0);
    }
    // Colour.
    if (State(c, D3DRS_SHADEMODE) != D3DSHADE_FLAT) {
        const DWORD ct = PreparedColor(c, top), cb = PreparedColor(c, bot);
        DWORD g[4];
        for (int ch = 0; ch < 4; ch++)
            g[ch] = C16((Byte(ct, ch) - Byte(cb, ch)) * m);
        if (!VertexAlpha(c))
            g[3] = 0;
        Wait(c, 8);
        const DWORD ar = g[3] << 16 | g[2], gb = g[1] << 16 | g[0];
        Write(c, 0xB540, perRow ? 0 : ar);
        Write(c, 0xB53C, perRow ? 0 : gb);
        Write(c, 0xB544, perRow ? gb : 0);
        Write(c, 0xB548, perRow ? ar : 0);
        WriteColorStart(c, cb, VertexAlpha(c) ? Byte(cb, 3) : 0xFF);
    } else {
        const DWORD color = PreparedColor(c, flat);
        Wait(c, 8);
        Write(c, 0xB53C, 0);
        Write(c, 0xB540, 0);
        Write(c, 0xB544, 0);
        Write(c, 0xB548, 0);
        WriteColorStart(c, color, VertexAlpha(c) ? Byte(color, 3) : 0xFF);
    }
    if (State(c, D3DRS_ZENABLE)) {
        const double gz = (static_cast<double>(top->sz) - bot->sz) * m;
        Wait(c, 5);
        Write(c, 0xB554, perRow ? 0 : F31(gz));
        Write(c, 0xB558, perRow ? F31(gz) : 0);
        Write(c, 0xB55C, F31(bot->sz + gz * toRow));
    }
    const DWORD slope = F20(step);
    Wait(c, 12);
    Write(c, 0xB560, 0);
    Write(c, 0xB564, 0);
    Write(c, 0xB568, slope);
    Write(c, 0xB56C, F20(static_cast<double>(bot->sx) + f));
    Write(c, 0xB570, slope);
    Write(c, 0xB574, F20(bot->sx));
    Write(c, 0xB578, static_cast<DWORD>(botRow));
    Write(c, 0xB57C, static_cast<DWORD>(rows & 0x7FFF) << 16 | (dx > 0 ? 0x80000000u : 0));
    Write(c, 0xB500, c->command);
    c->command = savedCommand;
    c->texCoordConst = savedConst;
}

DWORD DrawWireTriangle(HalContext *c, const D3DTLVERTEX *v1, const D3DTLVERTEX *v2, const D3DTLVERTEX *v3) {
    DrawLine(c, v1, v2, v1);
    DrawLine(c, v2, v3, v1);
    DrawLine(c, v3, v1, v1);
    return 0;
}

namespace {

// Whether a textured triangle's coordinates span more texels than the engine holds, on either
// axis (or are not numbers): such a triangle goes through the clipping path.
bool NeedsClip(const HalContext *c, const D3DTLVERTEX *a, const D3DTLVERTEX *b, const D3DTLVERTEX *d) {
    const double limit = c->driverBlock->texCoordLimit();
    const D3DTLVERTEX *v[3] = {a, b, d};
    for (int i = 0; i < 3; i++) {
        const D3DTLVERTEX *p = v[i], *q = v[(i + 1) % 3];
        const double du = (static_cast<double>(p->tu) - q->tu) * c->textureWidth;
        const double dv = (static_cast<double>(p->tv) - q->tv) * c->textureHeight;
        if (!(std::fabs(du) < limit) || !(std::fabs(dv) < limit))
            return true;
    }
    return false;
}

// The routine for one solid triangle.
TriangleRoutine SolidRoutine(const HalContext *c, const D3DTLVERTEX *a, const D3DTLVERTEX *b,
                             const D3DTLVERTEX *d) {
    if (Textured(c) && (c->driverBlock->forceTexClip() || NeedsClip(c, a, b, d)))
        return ClipAndDrawTriangle;
    if (!OnEngineGrid(a) || !OnEngineGrid(b) || !OnEngineGrid(d))
        return DrawClippedTriangle;
    return SetupRoutine(c);
}

// Execute buffers draw zero-area triangles; DrawPrimitive culls them in CW and CCW modes.
bool CulledExecute(const HalContext *c, double cross) {
    const DWORD mode = State(c, D3DRS_CULLMODE);
    return (mode == D3DCULL_CCW && cross < 0) || (mode == D3DCULL_CW && cross > 0);
}
bool CulledDraw(const HalContext *c, double cross) {
    const DWORD mode = State(c, D3DRS_CULLMODE);
    return (mode == D3DCULL_CCW && !(cross > 0)) || (mode == D3DCULL_CW && !(cross < 0));
}

// The DrawPrimitive callbacks wait for a flip away from their target to be done.
HRESULT FlipPacing(HalContext *c) {
    DriverBlock *block = c->driverBlock;
    auto *target = static_cast<DDRAWI_DDRAWSURFACE_LCL *>(c->renderTarget);
    if (block->flipDone() == 0 && block->flipFromAddress() == target->lpGbl->fpVidMem)
        return CheckFlipPacing(block);
    return DD_OK;
}

// The context of a DrawPrimitive callback once a flip away from its target is done; null with
// ddrval set otherwise.
template <class Data>
HalContext *PacedDrawingContext(Data *data) {
    HalContext *c = CallContext(data);
    if (c && (data->ddrval = FlipPacing(c)))
        return nullptr;
    return c;
}

// A run of vertices addressed by index: consecutive ones, or through an index list. An index
// beyond the vertices gives null, and the primitive using it is skipped.
struct VertexRun {
    const uint8_t *base;
    DWORD numVertices;
    const WORD *indices;   // null: consecutive
    DWORD count;           // vertices or indices in the run
    const D3DTLVERTEX *operator[](DWORD i) const {
        const DWORD k = indices ? indices[i] : i;
        return k < numVertices ? reinterpret_cast<const D3DTLVERTEX *>(base + 32 * static_cast<size_t>(k)) : nullptr;
    }
};

// Draws one DrawPrimitive request's primitives. Returns 0 for an unknown primitive type.
DWORD DrawRun(HalContext *c, DWORD type, const VertexRun &run) {
    TriangleRoutine wire = State(c, D3DRS_FILLMODE) == D3DFILL_WIREFRAME ? DrawWireTriangle : nullptr;
    auto triangle = [&](DWORD i, DWORD j, DWORD k) {
        const D3DTLVERTEX *a = run[i], *b = run[j], *d = run[k];
        if (!a || !b || !d || CulledDraw(c, Cross(a, b, d)))
            return;
        (wire ? wire : SolidRoutine(c, a, b, d))(c, a, b, d);
    };
    auto line = [&](DWORD i, DWORD j) {
        if (run[i] && run[j])
            DrawLine(c, run[i], run[j], run[i]);
    };
    const DWORD n = run.count;
    switch (type) {
    case D3DPT_POINTLIST:
        for (DWORD i = 0; i < n; i++)
            if (run[i])
                DrawPoints(c, run[i]);
        return 1;
    case D3DPT_LINELIST:
        for (DWORD i = 0; i + 1 < n; i += 2)
            line(i, i + 1);
        return 1;
    case D3DPT_LINESTRIP:
        for (DWORD i = 1; i < n; i++)
            line(i - 1, i);
        return 1;
    case D3DPT_TRIANGLELIST:
        for (DWORD i = 0; i + 2 < n; i += 3)
            triangle(i, i + 1, i + 2);
        return 1;
    case D3DPT_TRIANGLESTRIP:
        for (DWORD i = 0; i + 2 < n; i++) {
            if (i & 1)
                triangle(i + 1, i, i + 2);
            else
                triangle(i, i + 1, i + 2);
        }
        return 1;
    case D3DPT_TRIANGLEFAN:
        for (DWORD i = 2; i < n; i++)
            triangle(0, i - 1, i);
        return 1;
    default:
        return 0;
    }
}

// Validates and draws one request; ddrval carries a validation failure.
DWORD DispatchPrimitive(HalContext *c, DWORD type, const VertexRun &run, HRESULT *ddrval) {
    *ddrval = static_cast<HRESULT>(ValidateHardwareState(c));
    if (*ddrval)
        return 1;
    BeginDrawing(c);
    const DWORD r = DrawRun(c, type, run);
    *ddrval = DrawingResult(c, DD_OK);
    return r;
}

// ---- execute buffers ---------------------------------------------------------------------------
struct ExecuteRecords {
    const uint8_t *first;
    DWORD stride;
    DWORD count;
    template <class R>
    R Get(DWORD i) const {
        R r;
        std::memcpy(&r, first + static_cast<size_t>(stride) * i, sizeof r);
        return r;
    }
};

void DrawTriangleRecords(HalContext *c, const ExecuteRecords &recs, const VertexRun &tl) {
    const DWORD fill = State(c, D3DRS_FILLMODE);
    for (DWORD i = 0; i < recs.count; i++) {
        const D3DTRIANGLE r = recs.Get<D3DTRIANGLE>(i);
        const D3DTLVERTEX *a = tl[r.v1], *b = tl[r.v2], *d = tl[r.v3];
        if (!a || !b || !d)
            continue;
        const double cross = Cross(a, b, d);
        if (fill == D3DFILL_POINT || fill == D3DFILL_WIREFRAME) {
            if (CulledDraw(c, cross))
                continue;
            if (fill == D3DFILL_POINT) {
                if (r.wFlags & D3DTRIFLAG_EDGEENABLE1)
                    DrawPoints(c, d);
                if (r.wFlags & D3DTRIFLAG_EDGEENABLE2)
                    DrawPoints(c, b);
                if (r.wFlags & D3DTRIFLAG_EDGEENABLE3)
                    DrawPoints(c, a);
            } else {
                if (r.wFlags & D3DTRIFLAG_EDGEENABLE1)
                    DrawLine(c, a, b, a);
                if (r.wFlags & D3DTRIFLAG_EDGEENABLE2)
                    DrawLine(c, b, d, a);
                if (r.wFlags & D3DTRIFLAG_EDGEENABLE3)
                    DrawLine(c, d, a, a);
            }
            continue;
        }
        if (CulledExecute(c, cross)) {
            // A culled start of a flat run skips the run, but never past the instruction.
            const DWORD code = r.wFlags & 0x1F;
            if (code < 30)
                i += std::min<DWORD>(code, recs.count - 1 - i);
            continue;
        }
        SolidRoutine(c, a, b, d)(c, a, b, d);
    }
}

// The memory of an execute or vertex buffer and its size, or null.
const uint8_t *BufferMemory(const DDRAWI_DDRAWSURFACE_LCL *s, DWORD *size) {
    if (!s || !s->lpGbl || !s->lpGbl->fpVidMem)
        return nullptr;
    *size = s->lpGbl->dwLinearSize;
    return reinterpret_cast<const uint8_t *>(s->lpGbl->fpVidMem);
}

}  // namespace

}  // namespace sivd3d

using namespace sivd3d;

DWORD WINAPI RenderPrimitive(D3DHAL_RENDERPRIMITIVEDATA *data) {
    const D3DINSTRUCTION ins = data->diInstruction;
    if (ins.wCount == 0) {
        data->ddrval = DD_OK;
        return DDHAL_DRIVER_HANDLED;
    }
    HalContext *c = LookupContext(data->dwhContext);
    if (!c) {
        data->ddrval = D3DHAL_CONTEXT_BAD;
        return DDHAL_DRIVER_HANDLED;
    }
    if (State(c, D3DRS_ZVISIBLE)) {
        data->dwStatus &= ~static_cast<DWORD>(D3DSTATUS_ZNOTVISIBLE);
        data->ddrval = DD_OK;
        return DDHAL_DRIVER_HANDLED;
    }
    if (c->driverBlock->currentContext() != data->dwhContext)
        MakeContextCurrent(c->driverBlock, static_cast<DWORD>(data->dwhContext));
    FpuTowardZero rounding;
    data->ddrval = static_cast<HRESULT>(ValidateHardwareState(c));
    if (data->ddrval)
        return DDHAL_DRIVER_HANDLED;
    DWORD exeSize = 0, tlSize = 0;
    const uint8_t *exe = BufferMemory(data->lpExeBuf, &exeSize);
    const uint8_t *tlMem = BufferMemory(data->lpTLBuf, &tlSize);
    if (!exe || !tlMem || data->dwOffset > exeSize || data->dwTLOffset > tlSize) {
        data->ddrval = DDERR_INVALIDPARAMS;
        return DDHAL_DRIVER_HANDLED;
    }
    const VertexRun tl = {tlMem + data->dwTLOffset, (tlSize - data->dwTLOffset) / 32, nullptr, 0};
    // Only records that lie wholly inside the execute buffer are read.
    size_t recordSize = ins.bOpcode == D3DOP_TRIANGLE ? sizeof(D3DTRIANGLE) : sizeof(D3DPOINT);
    const size_t room = exeSize - data->dwOffset;
    DWORD count = ins.wCount;
    if (ins.bSize == 0 || room < recordSize)
        count = 0;
    else
        count = static_cast<DWORD>(std::min<size_t>(count, (room - recordSize) / ins.bSize + 1));
    const ExecuteRecords recs = {exe + data->dwOffset, ins.bSize, count};
    BeginDrawing(c);
    switch (ins.bOpcode) {
    case D3DOP_POINT:
        for (DWORD i = 0; i < recs.count; i++) {
            const D3DPOINT p = recs.Get<D3DPOINT>(i);
            for (DWORD k = 0; k < p.wCount; k++)
                if (const D3DTLVERTEX *v = tl[static_cast<DWORD>(p.wFirst) + k])
                    DrawPoints(c, v);
        }
        break;
    case D3DOP_LINE:
        for (DWORD i = 0; i < recs.count; i++) {
            const D3DLINE l = recs.Get<D3DLINE>(i);
            if (tl[l.v1] && tl[l.v2])
                DrawLine(c, tl[l.v1], tl[l.v2], tl[l.v1]);
        }
        break;
    case D3DOP_TRIANGLE:
        DrawTriangleRecords(c, recs, tl);
        break;
    default:
        break;
    }
    data->ddrval = DrawingResult(c, count < ins.wCount && ins.bOpcode >= D3DOP_POINT && ins.bOpcode <= D3DOP_TRIANGLE
                                        ? DDERR_INVALIDPARAMS : DD_OK);
    return DDHAL_DRIVER_HANDLED;
}

DWORD WINAPI DrawOnePrimitive(D3DHAL_DRAWONEPRIMITIVEDATA *data) {
    HalContext *c = PacedDrawingContext(data);
    if (!c)
        return DDHAL_DRIVER_HANDLED;
    FpuTowardZero rounding;
    const VertexRun run = {static_cast<const uint8_t *>(data->lpvVertices), data->dwNumVertices, nullptr,
                           data->dwNumVertices};
    return DispatchPrimitive(c, data->PrimitiveType, run, &data->ddrval);
}

DWORD WINAPI DrawOneIndexedPrimitive(D3DHAL_DRAWONEINDEXEDPRIMITIVEDATA *data) {
    HalContext *c = PacedDrawingContext(data);
    if (!c)
        return DDHAL_DRIVER_HANDLED;
    FpuTowardZero rounding;
    const VertexRun run = {static_cast<const uint8_t *>(data->lpvVertices), data->dwNumVertices,
                           data->lpwIndices, data->lpwIndices ? data->dwNumIndices : 0};
    return DispatchPrimitive(c, data->PrimitiveType, run, &data->ddrval);
}

DWORD WINAPI DrawPrimitives(D3DHAL_DRAWPRIMITIVESDATA *data) {
    HalContext *c = PacedDrawingContext(data);
    if (!c)
        return DDHAL_DRIVER_HANDLED;
    FpuTowardZero rounding;
    const uint8_t *stream = static_cast<const uint8_t *>(data->lpvData);
    size_t at = 0;
    for (;;) {
        D3DHAL_DRAWPRIMCOUNTS counts;
        std::memcpy(&counts, stream + at, sizeof counts);
        at += sizeof counts;
        for (DWORD i = 0; i < counts.wNumStateChanges; i++, at += 8) {
            DWORD pair[2];
            std::memcpy(pair, stream + at, sizeof pair);
            DispatchRenderState(c, pair[0], pair[1]);
        }
        if (counts.wNumVertices == 0)
            break;
        at = (at + 31) & ~size_t(31);
        const VertexRun run = {stream + at, counts.wNumVertices, nullptr, counts.wNumVertices};
        HRESULT r;
        DispatchPrimitive(c, counts.wPrimitiveType, run, &r);
        if (r) {
            data->ddrval = r;
            return DDHAL_DRIVER_HANDLED;
        }
        at += 32 * static_cast<size_t>(counts.wNumVertices);
    }
    data->ddrval = DD_OK;
    return DDHAL_DRIVER_HANDLED;
}
