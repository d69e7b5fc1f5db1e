// A current context whose live table records what the evaluators issue through it: glBegin,
// glEnd and every vertex with the current attributes at the moment it was issued. Reference
// values come from de Casteljau's construction in double precision.
#pragma once
#include <cmath>
#include <string>
#include <vector>
#include "tests/icd_state/state_fixture.h"

struct Issued {
    char op;      // 'B' glBegin, 'E' glEnd, '3' glVertex3fv, '4' glVertex4fv
    GLenum mode;  // of glBegin
    float v[4];
    float color[4];   // the current colour as given
    float scaled[4];  // what a vertex copies
    float normal[3];
    float tex[4];
    float index;
};

inline std::vector<Issued> &issued() {
    static std::vector<Issued> log;
    return log;
}
inline GlContext *&spiedContext() {
    static GlContext *ctx;
    return ctx;
}

inline Issued snapshot(char op) {
    const GlCurrentState &c = spiedContext()->current;
    Issued s{};
    s.op = op;
    std::memcpy(s.color, c.color, sizeof(s.color));
    std::memcpy(s.scaled, c.vertex.scaledColor, sizeof(s.scaled));
    std::memcpy(s.normal, c.normal, sizeof(s.normal));
    std::memcpy(s.tex, c.texCoord, sizeof(s.tex));
    s.index = c.index;
    return s;
}
inline void APIENTRY spyBegin(GLenum mode) {
    Issued s = snapshot('B');
    s.mode = mode;
    issued().push_back(s);
    spiedContext()->beginMode = kGlInsideBegin;
}
inline void APIENTRY spyEnd() {
    issued().push_back(snapshot('E'));
    spiedContext()->beginMode = kGlOutsideBegin;
}
template <int N>
void APIENTRY spyVertex(const GLfloat *v) {
    Issued s = snapshot(char('0' + N));
    s.v[3] = 1.0f;
    std::memcpy(s.v, v, N * sizeof(float));
    issued().push_back(s);
}

// Only the vertices of a record.
inline std::vector<Issued> verticesOf(const std::vector<Issued> &all) {
    std::vector<Issued> out;
    for (const Issued &s : all)
        if (s.op == '3' || s.op == '4') out.push_back(s);
    return out;
}

class EvalTest : public StateTest {
protected:
    void SetUp() override {
        StateTest::SetUp();
        if (HasFatalFailure()) return;
        settle();
        issued().clear();
    }
    // Routes glBegin, glEnd and the vertex entries of the live table to the recorders, after a
    // pending validation (which may install the table's entries again).
    void spy() {
        if (ctx->beginMode == kGlNeedValidate) {
            ctx->slots.validate(ctx);
            ctx->beginMode = kGlOutsideBegin;
        }
        spiedContext() = ctx;
        GlProcTable &t = ctx->liveTable;
        t.slot[slot::glBegin] = reinterpret_cast<GlEntry>(&spyBegin);
        t.slot[slot::glEnd] = reinterpret_cast<GlEntry>(&spyEnd);
        t.slot[slot::glVertex3fv] = reinterpret_cast<GlEntry>(&spyVertex<3>);
        t.slot[slot::glVertex4fv] = reinterpret_cast<GlEntry>(&spyVertex<4>);
        issued().clear();
    }
    GLenum error() {
        GLenum e = ctx->error;
        ctx->error = GL_NO_ERROR;
        return e;
    }
    void able(GLenum cap, bool on) {
        if (on) GL(glEnable)(cap);
        else GL(glDisable)(cap);
    }
};

// ---- references ----------------------------------------------------------------------------------
// de Casteljau on `order` points of k values each, `stride` values apart, at t.
inline std::vector<double> casteljau(const double *p, int order, int k, int stride, double t) {
    std::vector<double> w(size_t(order) * size_t(k));
    for (int i = 0; i < order; ++i)
        for (int c = 0; c < k; ++c) w[size_t(i * k + c)] = p[i * stride + c];
    for (int level = order - 1; level > 0; --level)
        for (int i = 0; i < level; ++i)
            for (int c = 0; c < k; ++c) w[size_t(i * k + c)] = (1 - t) * w[size_t(i * k + c)] + t * w[size_t((i + 1) * k + c)];
    return std::vector<double>(w.begin(), w.begin() + k);
}

// A surface of uorder x vorder points stored [i][j][k]: each row along v first, then along u.
inline std::vector<double> casteljau2(const double *p, int uorder, int vorder, int k, double s, double t) {
    std::vector<double> rows;
    for (int i = 0; i < uorder; ++i) {
        std::vector<double> r = casteljau(p + size_t(i) * size_t(vorder) * size_t(k), vorder, k, k, t);
        rows.insert(rows.end(), r.begin(), r.end());
    }
    return casteljau(rows.data(), uorder, k, k, s);
}

// Control points with no pattern a wrong index could hide: fixed pseudo-random values in
// [-2, 2].
inline std::vector<double> controlPoints(size_t n, uint32_t seed) {
    std::vector<double> p(n);
    for (double &v : p) {
        seed = seed * 1664525u + 1013904223u;
        v = double(seed >> 8) / double(1u << 24) * 4.0 - 2.0;
    }
    return p;
}

inline std::vector<float> toFloats(const std::vector<double> &d) { return std::vector<float>(d.begin(), d.end()); }
