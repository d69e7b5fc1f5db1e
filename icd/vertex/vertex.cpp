// The vertex ring at context reset, the clip checks (out-codes, 1/w and window coordinates in
// one pass) and the attribute-copy procs that hand a filled record to the primitive handler.
#include <bit>
#include <cstring>
#include "icd/core/core.h"
#include "icd/vertex/light.h"
#include "icd/vertex/vertex_ring.h"

namespace {
// Do-nothing procs for the slots whose owners have not picked anything yet, so a primitive
// drawn before the first validation runs harmlessly.
void nopVertex(GlContext *, GlVertex *) {}
void nopFaceColor(GlContext *, int32_t, GlVertex *) {}
float noFog(GlContext *, GlVertex *) { return 1.0f; }
void nopLine(GlContext *, GlVertex *, GlVertex *) {}
void nopTriangle(GlContext *, GlVertex *, GlVertex *, GlVertex *) {}
void nopClipTriangle(GlContext *, GlVertex *, GlVertex *, GlVertex *, uint32_t) {}
void nopPolygon(GlContext *, GlVertex *, int32_t) {}
void nopClipPolygon(GlContext *, GlVertex **, int32_t, uint32_t) {}

inline uint32_t bitsOf(float f) { return std::bit_cast<uint32_t>(f); }

// Window coordinates of a vertex inside the frustum.
inline void toWindow(GlContext *ctx, GlVertex *v, float invW) {
    const GlViewport &vp = ctx->state.transform.viewport;
    v->window[0] = v->clip[0] * invW * vp.xScale + vp.xCenter;
    v->window[1] = v->clip[1] * invW * vp.yScale + vp.yCenter;
    v->window[2] = v->clip[2] * invW * vp.zScale + vp.zCenter;
}

// The frustum bits by floating-point compares (x < -w, x > w, ... z > w).
inline uint32_t frustumByCompare(const GlVertex *v) {
    const float w = v->clip[3];
    uint32_t codes = 0;
    for (int i = 0; i < 3; ++i) {
        if (v->clip[i] < -w) codes |= kGlClipLeft << (2 * i);
        if (v->clip[i] > w) codes |= kGlClipRight << (2 * i);
    }
    return codes;
}

template <int N>
uint32_t clipCheckUser(GlContext *ctx, GlVertex *v) {
    if (N <= 2) v->obj[2] = 0.0f;
    if (N <= 3) v->obj[3] = 1.0f;
    // The plane test needs eye coordinates whatever the need masks say: use the complete proc
    // of the record's size directly, not the slot (which may be the do-nothing one).
    const uint32_t size = v->flags & kGlVertexSizeMask;
    if (size == kGlVertexSize2) __glCompleteVertex2(ctx, v, kGlVertexEyeDone);
    else if (size == kGlVertexSize3) __glCompleteVertex3(ctx, v, kGlVertexEyeDone);
    else __glCompleteVertex4(ctx, v, kGlVertexEyeDone);
    const float invW = 1.0f / v->clip[3];
    v->invW = invW;
    uint32_t codes = frustumByCompare(v);
    const uint32_t enabled = ctx->state.enable.clipPlaneEnables;
    const float *plane = static_cast<const float *>(ctx->arrays.clipPlanes);
    if (plane != nullptr) {
        for (int i = 0; i < ctx->limits.maxClipPlanes && i < 6; ++i, plane += 4) {
            if (!(enabled & (1u << i))) continue;
            float d = plane[0] * v->eye[0] + plane[1] * v->eye[1] + plane[2] * v->eye[2] + plane[3] * v->eye[3];
            if (d < 0.0f) codes |= kGlClipUser0 << i;
        }
    }
    if (codes == 0) {
        toWindow(ctx, v, invW);
        codes = kGlVertexWindowDone;
    }
    return codes;
}

// ---- attribute copies ------------------------------------------------------------------------------
// The copy, then the record goes to the open primitive's handler.
template <uint32_t What>
void copyCurrent(GlContext *ctx, GlVertex *v) {
    __glCopyCurrentAttributes<What>(ctx, v);
    ctx->slots.primitive.vertex(ctx, v);
}
}  // namespace

#define GL_COPY_BITS_Normal kGlCopyNormal
#define GL_COPY_BITS_Color kGlCopyColor
#define GL_COPY_BITS_Index kGlCopyIndex
#define GL_COPY_BITS_Tex kGlCopyTex
#define GL_COPY_BITS_NormalTex (kGlCopyNormal | kGlCopyTex)
#define GL_COPY_BITS_ColorTex (kGlCopyColor | kGlCopyTex)
#define GL_COPY_BITS_IndexTex (kGlCopyIndex | kGlCopyTex)
#define GL_COPY_BITS_NormalColorTex (kGlCopyNormal | kGlCopyColor | kGlCopyTex)
#define GL_COPY_BITS_NormalIndexTex (kGlCopyNormal | kGlCopyIndex | kGlCopyTex)
#define GL_COPY_BITS_Tex2 kGlCopyTex2
#define GL_COPY_BITS_NormalTex2 (kGlCopyNormal | kGlCopyTex2)
#define GL_COPY_BITS_ColorTex2 (kGlCopyColor | kGlCopyTex2)
#define GL_COPY_BITS_NormalColorTex2 (kGlCopyNormal | kGlCopyColor | kGlCopyTex2)
#define GL_DEFINE_COPY(what) \
    void __glCopyCurrent##what(GlContext *ctx, GlVertex *v) { copyCurrent<GL_COPY_BITS_##what>(ctx, v); }
GL_COPY_ATTRIBUTE_PROCS(GL_DEFINE_COPY)
#undef GL_DEFINE_COPY

// ---- clip checks -----------------------------------------------------------------------------------
// The frustum check compares magnitudes as IEEE bit patterns (for non-negative floats the bits
// order like the values). It returns the out-codes, plus the window-done bit when the vertex is
// inside and its window coordinates were written: a clipped vertex never claims a window
// position it does not have.
uint32_t __glClipCheckFrustum(GlContext *ctx, GlVertex *v) {
    const uint32_t wBits = bitsOf(v->clip[3]);
    const uint32_t wMag = wBits & 0x7FFFFFFFu;
    const bool wNegative = (wBits >> 31) != 0;
    const float invW = 1.0f / v->clip[3];
    v->invW = invW;
    uint32_t codes = 0;
    for (int i = 0; i < 3; ++i) {
        const uint32_t cBits = bitsOf(v->clip[i]);
        const uint32_t cMag = cBits & 0x7FFFFFFFu;
        const uint32_t own = (cBits >> 31) ? kGlClipLeft << (2 * i) : kGlClipRight << (2 * i);
        if (!wNegative) {
            if (cMag > wMag) codes |= own;
        } else {
            codes |= cMag < wMag ? (kGlClipLeft | kGlClipRight) << (2 * i) : own;
        }
    }
    if (codes == 0) {
        toWindow(ctx, v, invW);
        codes = kGlVertexWindowDone;
    }
    return codes;
}

// Two-component vertices under a composite that keeps z and w inside: x and y only, w (1 for
// these matrices) as invW, no division.
uint32_t __glClipCheckFrustumXY(GlContext *ctx, GlVertex *v) {
    const float w = v->clip[3];
    v->invW = w;
    uint32_t codes = 0;
    if (v->clip[0] < -w) codes |= kGlClipLeft;
    if (v->clip[0] > w) codes |= kGlClipRight;
    if (v->clip[1] < -w) codes |= kGlClipBottom;
    if (v->clip[1] > w) codes |= kGlClipTop;
    if (codes == 0) {
        const GlViewport &vp = ctx->state.transform.viewport;
        v->window[0] = v->clip[0] * vp.xScale + vp.xCenter;
        v->window[1] = v->clip[1] * vp.yScale + vp.yCenter;
        v->window[2] = v->clip[2] * vp.zScale + vp.zCenter;
        codes = kGlVertexWindowDone;
    }
    return codes;
}

uint32_t __glClipCheckUser2(GlContext *ctx, GlVertex *v) { return clipCheckUser<2>(ctx, v); }
uint32_t __glClipCheckUser3(GlContext *ctx, GlVertex *v) { return clipCheckUser<3>(ctx, v); }
uint32_t __glClipCheckUser4(GlContext *ctx, GlVertex *v) { return clipCheckUser<4>(ctx, v); }

void __glCompleteVertexNop(GlContext *, GlVertex *, uint32_t) {}

// ---- reset ---------------------------------------------------------------------------------------
void __glInitVertexBuffer(GlContext *ctx) {
    GlVertex *ring = __glVertexRing(ctx);
    for (int i = 0; i < kGlVertexBufferSize; ++i) ring[i].color = ring[i].frontColor;
    GlVertexBuffer &b = ctx->arrays.vertexBuffer;
    b.writePtr = b.prev = b.prev2 = b.prev3 = b.provokingVertex = ring;
    b.lineReset = 0;

    GlVertexCurrent &cur = ctx->current.vertex;
    static const float kTexDefault[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::memcpy(cur.texCoord1, kTexDefault, sizeof(kTexDefault));
    ctx->state.unitSelect.activeTexture = ctx->state.unitSelect.activeTexCoordSet = 0;

    // The raster position of a fresh context: window (0, 0, 0), w 1, the current attributes.
    GlVertex &rp = cur.rasterPos;
    std::memset(&rp, 0, sizeof(rp));
    rp.obj[3] = rp.clip[3] = rp.invW = 1.0f;
    rp.flags = kGlVertexSize4 | kGlVertexWindowDone;
    rp.color = rp.frontColor;
    rp.normal[2] = 1.0f;
    rp.window[0] = 0.5f + ctx->limits.biasXf;
    rp.window[1] = 0.5f + ctx->limits.biasYf;
    for (int i = 0; i < 4; ++i) rp.frontColor[i] = ctx->current.rasterColor[i];
    if (!ctx->visual.rgbaMode) rp.frontColor[0] = ctx->current.rasterIndex;
    std::memcpy(rp.texCoord[0], kTexDefault, sizeof(kTexDefault));

    if (ctx->slots.applyColor == nullptr) ctx->slots.applyColor = __glScaleCurrentColor;  // until the lighting picks
    ctx->slots.applyColor(ctx);
    if (ctx->slots.completePending == nullptr) ctx->slots.completePending = __glNopProc;

    GlPrimitiveProcs &p = ctx->slots.primitive;
    for (GlClipCheckProc &check : p.clipCheck) check = __glClipCheckFrustum;
    for (GlCompleteVertexProc &complete : p.completeVertex) complete = __glCompleteVertexNop;
    p.copyAttributes = ctx->visual.rgbaMode ? __glCopyCurrentNormalColorTex2 : __glCopyCurrentNormalIndexTex;
    p.vertex = __glPrimIgnoreVertex;
    p.texCoord = p.rasterTexCoord = nopVertex;
    p.faceColor = p.rasterFaceColor = nopFaceColor;
    p.fogFactor = noFog;
    p.pointsVertex = __glPrimPointsVertex;
    p.stripNextVertex = __glLineStripVertex;
    p.linesSecondVertex = __glLinesSecondVertex;
    p.renderPoint = nopVertex;
    p.renderLine = p.clipLine = nopLine;
    p.renderTriangle = nopTriangle;
    p.clipTriangle = nopClipTriangle;
    p.renderPolygon = nopPolygon;
    p.clipPolygon = nopClipPolygon;
}

// Outside glBegin/glEnd a vertex is transformed and then ignored.
void __glPrimIgnoreVertex(GlContext *, GlVertex *) {}
