// Grids: glEvalPoint* and the meshes of glEvalMesh* as points, line strips and quad strips. The
// 2-D line and fill meshes carry the points of one grid row into the next through a row cache,
// so that each is evaluated once; columns beyond the cache are evaluated again.
#include "icd/vertex/eval_exec.h"

using evalexec::KeptAttributes;

namespace {

// Parameter i of a grid axis: exactly the domain's end at i == n, else i steps from its start.
struct Axis {
    float start, end, step;
    int32_t n;
    Axis(float a1, float a2, int32_t segments) : start(a1), end(a2), step((a2 - a1) / float(segments)), n(segments) {}
    float at(int32_t i) const { return i == n ? end : float(i) * step + start; }
};

inline Axis axisU(const GlEvalGrid2 &g) { return Axis(g.u1, g.u2, g.un); }
inline Axis axisV(const GlEvalGrid2 &g) { return Axis(g.v1, g.v2, g.vn); }

inline void begin(GlContext *ctx, GLenum mode) { GL_EVAL_EXEC(ctx, glBegin)(mode); }
inline void end(GlContext *ctx) { GL_EVAL_EXEC(ctx, glEnd)(); }

// The row cache, allocated once per context; null when there is no memory for it (every point
// is then evaluated where it is needed).
GlEvalPoint *rowCache(GlContext *ctx) {
    GlEvalState &e = ctx->state.eval;
    if (e.rowCache == nullptr)
        e.rowCache = static_cast<GlEvalPoint *>(ctx->hostProcs.alloc(ctx, kGlEvalRowCacheSize * sizeof(GlEvalPoint)));
    return e.rowCache;
}

// The cache record of a column, or null beyond the cache.
inline GlEvalPoint *cached(GlEvalPoint *cache, int64_t column) {
    return cache != nullptr && column < kGlEvalRowCacheSize ? cache + column : nullptr;
}

// A point of the current row: issued from the cache once an earlier row has filled it.
inline void rowPoint(GlContext *ctx, GlEvalPoint *record, bool filled, float u, float v) {
    if (record != nullptr && filled) __glEmitEvalPoint(ctx, record);
    else __glEvalMaps2(ctx, u, v, nullptr);
}

// Validation pending runs before the mesh; inside glBegin/glEnd a mesh is an error. Null when the
// entry must stop.
GlContext *meshContext(GLenum mode, bool fillAllowed) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return nullptr;
    }
    if (mode != GL_POINT && mode != GL_LINE && !(fillAllowed && mode == GL_FILL)) {
        __glSetError(GL_INVALID_ENUM);
        return nullptr;
    }
    if (ctx->beginMode == kGlNeedValidate) {
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
    }
    return ctx;
}

void mesh1(GlContext *ctx, GLenum primitive, int32_t i1, int32_t i2) {
    const GlEvalGrid1 &g = ctx->state.eval.grids.grid1;
    if (g.n <= 0) return;
    const Axis u(g.u1, g.u2, g.n);
    const KeptAttributes kept(ctx);
    begin(ctx, primitive);
    for (int64_t i = i1; i <= i2; ++i) __glEvalMaps1(ctx, u.at(int32_t(i)));
    end(ctx);
    kept.restore(ctx);
}

}  // namespace

void __glEvalMesh1Points(GlContext *ctx, int32_t i1, int32_t i2) { mesh1(ctx, GL_POINTS, i1, i2); }
void __glEvalMesh1Lines(GlContext *ctx, int32_t i1, int32_t i2) { mesh1(ctx, GL_LINE_STRIP, i1, i2); }

void __glEvalMesh2Points(GlContext *ctx, int32_t i1, int32_t i2, int32_t j1, int32_t j2) {
    const GlEvalGrid2 &g = ctx->state.eval.grids.grid2;
    if (g.un <= 0 || g.vn <= 0) return;
    const Axis u = axisU(g), v = axisV(g);
    const KeptAttributes kept(ctx);
    begin(ctx, GL_POINTS);
    for (int64_t i = i1; i <= i2; ++i)
        for (int64_t j = j1; j <= j2; ++j) __glEvalMaps2(ctx, u.at(int32_t(i)), v.at(int32_t(j)), nullptr);
    end(ctx);
    kept.restore(ctx);
}

// One quad strip per row, down the columns from j2 to j1, pairing (u_i, v_j) with (u_i+1, v_j).
void __glEvalMesh2Fill(GlContext *ctx, int32_t i1, int32_t i2, int32_t j1, int32_t j2) {
    const GlEvalGrid2 &g = ctx->state.eval.grids.grid2;
    if (g.un <= 0 || g.vn <= 0) return;
    const Axis u = axisU(g), v = axisV(g);
    GlEvalPoint *cache = rowCache(ctx);
    const KeptAttributes kept(ctx);
    for (int64_t i = i1; i < i2; ++i) {
        const float ua = u.at(int32_t(i)), ub = u.at(int32_t(i + 1));
        begin(ctx, GL_QUAD_STRIP);
        for (int64_t j = j2; j >= j1; --j) {
            const float vj = v.at(int32_t(j));
            GlEvalPoint *record = cached(cache, j - j1);
            rowPoint(ctx, record, i > i1, ua, vj);
            __glEvalMaps2(ctx, ub, vj, record);
        }
        end(ctx);
    }
    kept.restore(ctx);
}

// Each row i gives, per column j, the strip (u_i, v_j+1), (u_i, v_j), (u_i+1, v_j): the row's
// segment towards the next column and the column's segment towards the next row; the last row
// is one strip. The columns run upwards, so a column's record is overwritten by the next row's
// point only after the current row no longer needs it.
void __glEvalMesh2Lines(GlContext *ctx, int32_t i1, int32_t i2, int32_t j1, int32_t j2) {
    const GlEvalGrid2 &g = ctx->state.eval.grids.grid2;
    if (g.un <= 0 || g.vn <= 0 || i1 > i2) return;  // no rows: nothing to draw
    const Axis u = axisU(g), v = axisV(g);
    GlEvalPoint *cache = rowCache(ctx);
    const KeptAttributes kept(ctx);
    for (int64_t i = i1; i < i2; ++i) {
        const float ua = u.at(int32_t(i)), ub = u.at(int32_t(i + 1));
        const bool filled = i > i1;
        for (int64_t j = j1; j <= j2; ++j) {
            const float vj = v.at(int32_t(j));
            begin(ctx, GL_LINE_STRIP);
            if (j < j2) rowPoint(ctx, cached(cache, j + 1 - j1), filled, ua, v.at(int32_t(j + 1)));
            GlEvalPoint *record = cached(cache, j - j1);
            rowPoint(ctx, record, filled, ua, vj);
            __glEvalMaps2(ctx, ub, vj, record);
            end(ctx);
        }
    }
    begin(ctx, GL_LINE_STRIP);
    const float ulast = u.at(i2);
    for (int64_t j = j2; j >= j1; --j) rowPoint(ctx, cached(cache, j - j1), i2 > i1, ulast, v.at(int32_t(j)));
    end(ctx);
    kept.restore(ctx);
}

namespace icd {
void APIENTRY glEvalPoint1(GLint i) {
    GlContext *ctx = __glGetCurrentContext();
    const GlEvalGrid1 &g = ctx->state.eval.grids.grid1;
    if (g.n <= 0) return;
    evalexec::evalCoord1(ctx, Axis(g.u1, g.u2, g.n).at(i));
}

void APIENTRY glEvalPoint2(GLint i, GLint j) {
    GlContext *ctx = __glGetCurrentContext();
    const GlEvalGrid2 &g = ctx->state.eval.grids.grid2;
    if (g.un <= 0 || g.vn <= 0) return;
    evalexec::evalCoord2(ctx, axisU(g).at(i), axisV(g).at(j));
}

void APIENTRY glEvalMesh1(GLenum mode, GLint i1, GLint i2) {
    GlContext *ctx = meshContext(mode, false);
    if (ctx == nullptr) return;
    if (mode == GL_POINT) __glEvalMesh1Points(ctx, i1, i2);
    else __glEvalMesh1Lines(ctx, i1, i2);
}

void APIENTRY glEvalMesh2(GLenum mode, GLint i1, GLint i2, GLint j1, GLint j2) {
    GlContext *ctx = meshContext(mode, true);
    if (ctx == nullptr) return;
    if (mode == GL_POINT) __glEvalMesh2Points(ctx, i1, i2, j1, j2);
    else if (mode == GL_LINE) __glEvalMesh2Lines(ctx, i1, i2, j1, j2);
    else __glEvalMesh2Fill(ctx, i1, i2, j1, j2);
}
}  // namespace icd
