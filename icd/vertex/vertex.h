// The vertex record every stage of the vertex pipeline shares (immediate mode, clipper, both
// rasterisers, generated code), the immediate-mode ring pointers, the current attributes the
// vertex copies, and the per-context vertex-pipeline proc slots.
//
// This header is included by the context's area headers: it must not include the context.
#pragma once
#include <cstddef>
#include <cstdint>

struct GlContext;

// flags: what has been computed for the record, its size, and its out-codes.
enum : uint32_t {
    kGlVertexFrontColorDone = 0x1,
    kGlVertexBackColorDone = 0x2,
    kGlVertexTexCoordDone = 0x4,
    kGlVertexNormalDone = 0x8,
    kGlVertexEyeDone = 0x10,
    kGlVertexWindowDone = 0x20,  // window and invW valid
    kGlVertexFogDone = 0x40,
    kGlVertexDoneMask = 0x7F,

    kGlVertexSize2 = 0x400,  // two object coordinates given
    kGlVertexSize3 = 0x800,
    kGlVertexSize4 = 0xC00,
    kGlVertexSizeMask = 0xC00,
    kGlVertexSizeShift = 10,  // (flags & kGlVertexSizeMask) >> shift: 1, 2, 3

    kGlClipLeft = 0x10000,     // x < -w
    kGlClipRight = 0x20000,    // x > w
    kGlClipBottom = 0x40000,   // y < -w
    kGlClipTop = 0x80000,      // y > w
    kGlClipNear = 0x100000,    // z < -w
    kGlClipFar = 0x200000,     // z > w
    kGlClipFrustumMask = 0x3F0000,
    kGlClipUser0 = 0x400000,   // user plane i: kGlClipUser0 << i
    kGlClipUserMask = 0xFC00000,
    kGlVertexCulled = 0x10000000,
    kGlVertexClipMask = 0x1FFF0000,  // any clip bit (frustum, user planes, culled)
};

// The 160-byte vertex record. Its layout is fixed: generated code and the hardware primitives
// address the fields by offset.
struct GlVertex {
    float obj[4];          // object x, y, z, w as passed (z 0, w 1 filled in)
    float normal[4];       // x, y, z; [3] the plane constant -n.p under a general normal matrix
    float clip[4];         // obj times the composite modelview-projection
    uint32_t flags;
    float *color;          // frontColor or backColor of this record: the colour rasterised
    float window[3];       // viewport transform of clip / w
    float invW;            // 1 / clip w
    float eye[4];
    float texCoord[2][4];  // per coordinate set, after texgen and the texture matrix
    uint8_t edgeFlag;      // non-zero: draw the edge that starts here
    uint8_t pad[3];
    float fog;             // fog factor
    float frontColor[4];   // R, G, B, A; colour-index mode: the index in [0]
    float backColor[4];
};
static_assert(sizeof(GlVertex) == 160);
static_assert(offsetof(GlVertex, obj) == 0);
static_assert(offsetof(GlVertex, normal) == 16);
static_assert(offsetof(GlVertex, clip) == 32);
static_assert(offsetof(GlVertex, flags) == 48);
static_assert(offsetof(GlVertex, color) == 52);
static_assert(offsetof(GlVertex, window) == 56);
static_assert(offsetof(GlVertex, invW) == 68);
static_assert(offsetof(GlVertex, eye) == 72);
static_assert(offsetof(GlVertex, texCoord) == 88);
static_assert(offsetof(GlVertex, texCoord[1]) == 104);
static_assert(offsetof(GlVertex, edgeFlag) == 120);
static_assert(offsetof(GlVertex, fog) == 124);
static_assert(offsetof(GlVertex, frontColor) == 128);
static_assert(offsetof(GlVertex, backColor) == 144);

constexpr int kGlVertexBufferSize = 16;  // GL_POLYGON uses all of them, other modes at most 4

// The immediate-mode ring: the 16 records themselves are the context's arrays.vertexRing
// (reach them with __glVertexRing in vertex_procs.h); these are the pointers into it.
struct GlVertexBuffer {
    GlVertex *writePtr;         // the record the next glVertex fills
    GlVertex *prev, *prev2, *prev3;  // kept by the open primitive's state machine
    GlVertex *provokingVertex;  // last vertex of the latest point, line or triangle (flat shading)
    uint8_t lineReset;          // 0 restarts the line stipple / emits a reset token
    uint8_t reserved[3];
};

// Current attributes beyond the core's current-state record (which holds the colour as given,
// the index, the normal, texture-coordinate set 0 and the edge flag).
struct GlVertexCurrent {
    float scaledColor[4];  // the colour scaled to the colour buffer by applyColor: what vertices copy
    float texCoord1[4];    // texture-coordinate set 1
    GlVertex rasterPos;    // the full raster-position record
};

// Proc signatures of the vertex pipeline.
typedef void (*GlVertexProc)(GlContext *ctx, GlVertex *v);
typedef uint32_t (*GlClipCheckProc)(GlContext *ctx, GlVertex *v);       // returns the out-codes
typedef void (*GlCompleteVertexProc)(GlContext *ctx, GlVertex *v, uint32_t need);
typedef void (*GlFaceColorProc)(GlContext *ctx, int32_t face, GlVertex *v);  // 0 front, 1 back
typedef float (*GlFogFactorProc)(GlContext *ctx, GlVertex *v);
typedef void (*GlRenderLineProc)(GlContext *ctx, GlVertex *a, GlVertex *b);
// The edge flag of a controls edge a-b, that of b edge b-c, that of c edge c-a.
typedef void (*GlRenderTriangleProc)(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
typedef void (*GlClipTriangleProc)(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c,
                                   uint32_t orCodes);
typedef void (*GlRenderPolygonProc)(GlContext *ctx, GlVertex *first, int32_t n);  // contiguous records
typedef void (*GlClipPolygonProc)(GlContext *ctx, GlVertex **list, int32_t n, uint32_t orCodes);
typedef void (*GlRectProc)(GlContext *ctx, float x1, float y1, float x2, float y2);
typedef void (*GlRasterPosProc)(GlContext *ctx, const float *v);

// The per-vertex proc slots, chosen by the pickers and by vertex validation. The primitive
// begin procs, glEnd's proc, completePending, applyColor, the rect, raster-position and bitmap
// procs are slots of GlProcSlots (installer.inc).
struct GlPrimitiveProcs {
    GlVertexProc copyAttributes;          // current attributes into v, then vertex(ctx, v)
    GlClipCheckProc clipCheck[3];         // 2, 3, 4 components
    GlVertexProc vertex;                  // the open primitive's handler for the next vertex
    GlCompleteVertexProc completeVertex[4];  // by size code; [0] does nothing
    GlVertexProc texCoord, rasterTexCoord;
    GlFaceColorProc faceColor, rasterFaceColor;
    GlFogFactorProc fogFactor;
    // mode handlers chosen by the pickers
    GlVertexProc pointsVertex, stripNextVertex, linesSecondVertex;
    // render procs: hardware, software, feedback or selection
    GlVertexProc renderPoint;
    GlRenderLineProc renderLine, clipLine;
    GlRenderTriangleProc renderTriangle;
    GlClipTriangleProc clipTriangle;
    GlRenderPolygonProc renderPolygon;
    GlClipPolygonProc clipPolygon;        // the polygon clipper over a list of records
};
