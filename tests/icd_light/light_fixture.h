// A current context whose lighting state is set through the GL entries of its live table, and
// a double-precision reference of the OpenGL lighting equation that knows how far the power
// tables may move a term.
#pragma once
#include <algorithm>
#include <cmath>
#include <set>
#include "tests/icd_state/state_fixture.h"
#include "icd/vertex/light.h"
#include "icd/vertex/vertex.h"
#include "icd/vertex/transform_state.h"

// Colour-buffer units of the test contexts.
constexpr double kScale = 255.0;

class LightTest : public CurrentContextTest {
protected:
    void SetUp() override {
        IcdTest::SetUp();
        openContext(kDoubleFormat);
        if (HasFatalFailure()) return;
        ASSERT_EQ(ctx->scales.redScale, float(kScale));
        settle();
    }
    void settle() {
        ctx->beginMode = kGlOutsideBegin;
        ctx->dirtyMask = 0;
        ctx->error = GL_NO_ERROR;
    }
    // What validation does for lighting after the entries marked it.
    void validate() {
        __glValidateLighting(ctx);
        __glPickColorMaterialProcs(ctx);
        ctx->dirtyMask = 0;
        ctx->beginMode = kGlOutsideBegin;
    }
    GlFaceColorProc faceColor() const { return ctx->slots.primitive.faceColor; }
    GlLightingCaches &caches() { return ctx->state.lightingCaches; }

};

// A vertex as the complete-vertex procs leave it for lighting: eye point and eye normal done.
inline GlVertex litVertex(const double eye[4], const double normal[3]) {
    GlVertex v{};
    for (int i = 0; i < 4; ++i) v.eye[i] = float(eye[i]);
    for (int i = 0; i < 3; ++i) v.normal[i] = float(normal[i]);
    v.color = v.frontColor;
    v.flags = kGlVertexSize4 | kGlVertexEyeDone | kGlVertexNormalDone;
    return v;
}

// ---- reference ----------------------------------------------------------------------------------

struct RefLight {
    double ambient[4] = {0, 0, 0, 1};
    double diffuse[4] = {1, 1, 1, 1};
    double specular[4] = {1, 1, 1, 1};
    double position[4] = {0, 0, 1, 0};  // eye space
    double spotDirection[3] = {0, 0, -1};  // eye space
    double spotExponent = 0;
    double spotCutoff = 180;
    double attenuation[3] = {1, 0, 0};  // constant, linear, quadratic
};

struct RefMaterial {
    double ambient[4] = {0.2, 0.2, 0.2, 1};
    double diffuse[4] = {0.8, 0.8, 0.8, 1};
    double specular[4] = {0, 0, 0, 1};
    double emission[4] = {0, 0, 0, 1};
    double shininess = 0;
    double indexes[3] = {0, 1, 1};  // ambient, diffuse, specular
};

struct RefModel {
    double ambient[4] = {0.2, 0.2, 0.2, 1};
    bool localViewer = false;
};

// A value with the range the tables allow around it.
struct Range {
    double lo = 0, hi = 0;
    Range &operator+=(const Range &o) {
        lo += o.lo, hi += o.hi;
        return *this;
    }
};
inline Range scaled(Range r, double s) { return {r.lo * s, r.hi * s}; }

// x^e as a table of 256 steps between 0.0007^(1/e) and 1 gives it: x may move by half a step
// (plus the error of the pipeline's unit vectors), and below the threshold it gives 0.
inline Range tablePower(double x, double e) {
    double t = e != 0 ? std::pow(0.0007, 1.0 / e) : 0.0;
    double h = 0.5 * (1.0 - t) / 255.0 + 2e-5;
    Range r;
    r.lo = x - h < t ? 0.0 : std::pow(x - h, e);
    r.hi = x + h < t ? 0.0 : std::pow(std::max(x + h, 0.0), e);
    return r;
}

inline double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline void normalise(double v[3]) {
    double l = std::sqrt(dot(v, v));
    if (l > 0)
        for (int i = 0; i < 3; ++i) v[i] /= l;
}
// From the point v to the point l, both homogeneous.
inline void vectorTo(double out[3], const double l[4], const double v[4]) {
    bool lw = l[3] != 0, vw = v[3] != 0;
    for (int i = 0; i < 3; ++i) {
        if (!lw && !vw) out[i] = l[i] - v[i];
        else if (lw && vw) out[i] = l[i] * v[3] - v[i] * l[3];
        else if (vw) out[i] = l[i];
        else out[i] = -v[i];
    }
}

// The per-light quantities of the lighting equation at one vertex.
struct RefTerms {
    Range factor;      // attenuation x spot
    double nDotL;      // normal . unit vector to the light
    double nDotH;      // normal . unit half vector
};

inline RefTerms refTerms(const RefLight &l, const RefModel &m, const double eye[4], const double n[3]) {
    double vp[3];
    vectorTo(vp, l.position, eye);
    double dist = std::sqrt(dot(vp, vp));
    normalise(vp);
    double h[3];
    if (m.localViewer) {
        double e[3] = {-eye[0], -eye[1], -eye[2]};
        normalise(e);
        for (int i = 0; i < 3; ++i) h[i] = vp[i] + e[i];
    } else {
        h[0] = vp[0], h[1] = vp[1], h[2] = vp[2] + 1.0;
    }
    normalise(h);
    double att = 1.0;
    if (l.position[3] != 0) att = 1.0 / (l.attenuation[0] + l.attenuation[1] * dist + l.attenuation[2] * dist * dist);
    Range spot{1.0, 1.0};
    if (l.spotCutoff != 180) {
        double d[3] = {l.spotDirection[0], l.spotDirection[1], l.spotDirection[2]};
        normalise(d);
        double c = -dot(vp, d);
        double cosCut = std::cos(l.spotCutoff * M_PI / 180.0);
        spot = tablePower(c, l.spotExponent);
        if (c < cosCut - 1e-4) spot = {0, 0};
        else if (c < cosCut + 1e-4) spot.lo = 0;  // either side of the cone's edge
    }
    return {scaled(spot, att), dot(n, vp), dot(n, h)};
}

// The lit RGBA colour of one face in colour-buffer units (R, G, B as ranges, alpha exact).
struct RefColor {
    Range rgb[3];
    double alpha;
};

inline RefColor refLightRgba(const std::vector<RefLight> &lights, const RefMaterial &mat, const RefModel &model,
                             const double eye[4], const double normal[3]) {
    RefColor out;
    for (int i = 0; i < 3; ++i) {
        double base = mat.emission[i] + model.ambient[i] * mat.ambient[i];
        out.rgb[i] = {base, base};
    }
    for (const RefLight &l : lights) {
        RefTerms t = refTerms(l, model, eye, normal);
        Range highlight = tablePower(t.nDotH, mat.shininess);
        for (int i = 0; i < 3; ++i) {
            double amb = l.ambient[i] * mat.ambient[i];
            Range term{amb, amb};
            if (t.nDotL > -1e-5) {
                double diffuse = l.diffuse[i] * mat.diffuse[i] * std::max(t.nDotL, 0.0);
                term += Range{diffuse, diffuse};
                Range s = scaled(highlight, l.specular[i] * mat.specular[i]);
                if (t.nDotL < 1e-5) s.lo = 0;  // grazing: either side of the horizon
                term += s;
            }
            out.rgb[i] += Range{term.lo * t.factor.lo, term.hi * t.factor.hi};
        }
    }
    for (Range &r : out.rgb) r = {std::clamp(r.lo, 0.0, 1.0) * kScale, std::clamp(r.hi, 0.0, 1.0) * kScale};
    out.alpha = std::clamp(mat.diffuse[3], 0.0, 1.0) * kScale;
    return out;
}

inline void expectWithin(float actual, const Range &r, const char *what) {
    double eps = 0.03 + 2e-4 * std::fabs(r.hi);
    EXPECT_GE(actual, r.lo - eps) << what << " below [" << r.lo << ", " << r.hi << "]";
    EXPECT_LE(actual, r.hi + eps) << what << " above [" << r.lo << ", " << r.hi << "]";
}

// ---- setting the state through the GL entries ---------------------------------------------------

inline void toFloats(float out[4], const double in[4]) {
    for (int i = 0; i < 4; ++i) out[i] = float(in[i]);
}

// ---- an allocator that tells which blocks the lighting code still holds -------------------------

struct CountingAllocator {
    static std::set<void *> &live() {
        static std::set<void *> s;
        return s;
    }
    static GlHostProcs &original() {
        static GlHostProcs p;
        return p;
    }
    static void *alloc(GlContext *ctx, size_t size) {
        void *p = original().alloc(ctx, size);
        if (p != nullptr) live().insert(p);
        return p;
    }
    static void *calloc(GlContext *ctx, size_t count, size_t size) {
        void *p = original().calloc(ctx, count, size);
        if (p != nullptr) live().insert(p);
        return p;
    }
    static void *realloc(GlContext *ctx, void *block, size_t size) {
        void *p = original().realloc(ctx, block, size);
        if (p != nullptr) {
            live().erase(block);
            live().insert(p);
        }
        return p;
    }
    static void free(GlContext *ctx, void *block) {
        live().erase(block);
        original().free(ctx, block);
    }
    // Blocks allocated from now on are tracked; freeing an older block is simply passed on.
    static void install(GlContext *ctx) {
        original() = ctx->hostProcs;
        live().clear();
        ctx->hostProcs.alloc = alloc;
        ctx->hostProcs.calloc = calloc;
        ctx->hostProcs.realloc = realloc;
        ctx->hostProcs.free = free;
    }
};
