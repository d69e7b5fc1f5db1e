// What the evaluation and the meshes share: calls through the proc table being executed, so
// that evaluated vertices follow the current primitive (and the vertex cache or a list replay
// sees them), and the current attributes an evaluation keeps and puts back.
#pragma once
#include <cstring>
#include "icd/core/core.h"
#include "icd/vertex/eval.h"
#include "icd/vertex/transform_state.h"

namespace evalexec {

namespace slot = ::glslot;

// The command `name` as the executed table holds it, typed as the command.
#define GL_EVAL_EXEC(ctx, name) \
    reinterpret_cast<decltype(&icd::name)>((ctx)->execTable->slot[evalexec::slot::name])

inline void applyColor(GlContext *ctx) {
    if (ctx->slots.applyColor != nullptr) ctx->slots.applyColor(ctx);
}

// The evalCoord slots of the context (the evaluation procs themselves until they are installed).
inline void evalCoord1(GlContext *ctx, float u) {
    typedef void (*Proc)(GlContext *ctx, float u);
    GlProc slot = ctx->slots.evaluateCoord1;
    (slot != nullptr ? __glSlotAs<Proc>(slot) : __glEvaluateCoord1)(ctx, u);
}
inline void evalCoord2(GlContext *ctx, float u, float v) {
    typedef void (*Proc)(GlContext *ctx, float u, float v);
    GlProc slot = ctx->slots.evaluateCoord2;
    (slot != nullptr ? __glSlotAs<Proc>(slot) : __glEvaluateCoord2)(ctx, u, v);
}

// The current index, scaled colour, normal and texture coordinates of set 0: what the
// evaluated values would otherwise leave behind.
struct KeptAttributes {
    float index;
    float scaledColor[4];
    float normal[3];
    float texCoord[4];

    explicit KeptAttributes(const GlContext *ctx) {
        const GlCurrentState &c = ctx->current;
        index = c.index;
        std::memcpy(scaledColor, c.vertex.scaledColor, sizeof(scaledColor));
        std::memcpy(normal, c.normal, sizeof(normal));
        std::memcpy(texCoord, c.texCoord, sizeof(texCoord));
    }
    void restore(GlContext *ctx) const {
        GlCurrentState &c = ctx->current;
        c.index = index;
        std::memcpy(c.vertex.scaledColor, scaledColor, sizeof(scaledColor));
        std::memcpy(c.normal, normal, sizeof(normal));
        std::memcpy(c.texCoord, texCoord, sizeof(texCoord));
    }
};

}  // namespace evalexec
