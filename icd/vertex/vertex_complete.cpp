// The lazy complete-vertex procs: eye coordinates, the transformed normal, fog, texture
// coordinates and colours, computed only for the bits a drawn primitive needs and never twice
// for the same record.
#include "icd/core/core.h"
#include "icd/vertex/vertex_ring.h"
#include "icd/vertex/array_procs.h"

namespace {
template <int N>
void completeVertex(GlContext *ctx, GlVertex *v, uint32_t need) {
    const uint32_t missing = need & ~v->flags;
    if (missing == 0) return;
    GlTransform *top = ctx->state.transform.modelView;
    GlPrimitiveProcs &p = ctx->slots.primitive;
    if (missing & kGlVertexEyeDone) {
        const GlMatrix *m = &top->matrix;
        (N == 2 ? m->xform2 : N == 3 ? m->xform3 : m->xform4)(v->eye, v->obj, m);
    }
    if (missing & kGlVertexNormalDone) {
        __glRefreshModelViewInverse(ctx, top);
        const GlMatrix *it = &top->inverseTranspose;
        if (it->type == kGlMatrixGeneral) {
            // The plane constant of the normal through the object point.
            float px = v->obj[0], py = v->obj[1], pz = N == 2 ? 0.0f : v->obj[2];
            if (N == 4) {
                const float w = v->obj[3];
                if (w == 0.0f) {
                    px = py = pz = 0.0f;
                } else {
                    px /= w, py /= w, pz /= w;
                }
            }
            v->normal[3] = -(v->normal[0] * px + v->normal[1] * py + v->normal[2] * pz);
        }
        float t[4];
        it->xform3(t, v->normal, it);
        if (ctx->state.enable.enables & kGlEnableNormalize) {
            __glNormalize(v->normal, t);
        } else {
            v->normal[0] = t[0], v->normal[1] = t[1], v->normal[2] = t[2];
        }
    }
    if (missing & kGlVertexFogDone) v->fog = p.fogFactor != nullptr ? p.fogFactor(ctx, v) : 1.0f;
    if (missing & kGlVertexTexCoordDone) {
        if (N <= 2) v->obj[2] = 0.0f;
        if (N <= 3) v->obj[3] = 1.0f;
        if (p.texCoord != nullptr) p.texCoord(ctx, v);
    }
    if (p.faceColor != nullptr) {
        if (missing & kGlVertexFrontColorDone) p.faceColor(ctx, 0, v);
        if (missing & kGlVertexBackColorDone) p.faceColor(ctx, 1, v);
    }
    v->flags |= missing;
}
}  // namespace

void __glCompleteVertex2(GlContext *ctx, GlVertex *v, uint32_t need) { completeVertex<2>(ctx, v, need); }
void __glCompleteVertex3(GlContext *ctx, GlVertex *v, uint32_t need) { completeVertex<3>(ctx, v, need); }
void __glCompleteVertex4(GlContext *ctx, GlVertex *v, uint32_t need) { completeVertex<4>(ctx, v, need); }
