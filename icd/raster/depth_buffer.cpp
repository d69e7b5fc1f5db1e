// The software depth buffer: its three kinds, attach and detach with the drawable's save block,
// resize, the epoch bookkeeping of the 24-bit kind, the clear value, the clears and the fetches.
//
// The 24-bit kind keeps a tag in the top byte of every word. A clear of the whole drawable only
// advances the tag: words of older epochs compare as lying beyond the far plane, so they read as
// cleared, and each clear rewrites one 128th of the rows (a rolling slice) so that every row
// carries a recent tag long before the tags come round again. The tags fall through 128 values
// with GL_LESS-like functions and rise with mirrored depth (stored d = 1 - window depth) and
// mirrored functions; the direction changes when the tags run out.
#include <cstdlib>
#include <cstring>
#include "icd/core/state_entries_util.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/color_buffer.h"
#include "icd/raster/raster_state.h"
#include "icd/core/core.h"
#include "icd/core/drawable.h"
#include "icd/vertex/transform_state.h"

using namespace glraster;

namespace {

struct DepthKind {
    int32_t elementSize, bits;
    uint32_t scale;
    int32_t shift;
    uint32_t maxValue, epochBase, epochStep;
    uint8_t needsFullClear;
    uint32_t offsetUnitBits;
    uint32_t (*fetch)(GlDepthBuffer *, int32_t, int32_t);
    void (*retag)(GlDepthBuffer *, uint32_t);
};

void retagNone(GlDepthBuffer *, uint32_t) {}
void retag24(GlDepthBuffer *db, uint32_t tag);

const DepthKind kDepth16{2, 16, 0xFFFF0000u, 16, 0xFFFFu, 0, 0, 1, 0x3B800080u, __glFetchDepth16, retagNone};
const DepthKind kDepth24{4, 24, 0x7FC00000u, 7, 0xFFFFFFu, kGlEpochFalling, kGlEpochFalling, 0, 0x3C004020u,
                         __glFetchDepth24, retag24};
const DepthKind kDepth32{4, 32, 0x7FC00000u, 0, 0xFFFFFFFFu, 0, 0, 1, 0x3C004020u, __glFetchDepth32, retagNone};

int32_t kindBits(const GlDepthBuffer *db) {
    return db->maxValue == 0xFFFFu ? 16 : (db->maxValue == 0xFFFFFFu ? 24 : 32);
}

void initKind(GlDepthBuffer *db, GlContext *ctx, const DepthKind &k) {
    __glInitBuffer(&db->head, ctx);
    db->head.elementSize = k.elementSize;
    db->head.elementShift = k.elementSize == 4 ? 2 : 1;
    db->head.depth = k.bits;
    db->head.attach = __glAttachDepthBuffer;
    db->head.detach = __glDetachDepthBuffer;
    db->head.resize = __glResizeDepthBuffer;
    db->writeMask = 0xFFFFFFFFu;
    db->scale = k.scale;
    db->epochBase = k.epochBase;
    db->shift = k.shift;
    db->maxValue = k.maxValue;
    db->epochStep = k.epochStep;
    db->needsFullClear = k.needsFullClear;
    db->epochClearAllowed = 0;
    db->mirror = 0;
    db->effectiveFunc = GL_LESS;
    std::memcpy(&db->offsetUnit, &k.offsetUnitBits, sizeof db->offsetUnit);
    db->pick = __glPickDepthClear;
    db->test = __glDepthTestProcs[GL_LESS - GL_NEVER + (k.bits > 16 ? 16 : 0)];
    db->fragmentTest = __glDepthValueProcs[GL_LESS - GL_NEVER + (k.bits > 16 ? 16 : 0)];
    db->clear = __glClearDepthBuffer;
    db->fetch = k.fetch;
    db->retag = k.retag;
}

GlContext *contextOf(const GlDepthBuffer *db) {
    return db->head.context != nullptr ? db->head.context : __glGetCurrentContext();
}

GLenum mirrored(GLenum func) {
    switch (func) {
    case GL_LESS: return GL_GREATER;
    case GL_LEQUAL: return GL_GEQUAL;
    case GL_GREATER: return GL_LESS;
    case GL_GEQUAL: return GL_LEQUAL;
    default: return func;
    }
}

void markForValidation(GlContext *ctx, uint32_t dirty) {
    __glRequestValidation(ctx);
    ctx->dirtyMask |= dirty;
}

// When tags may advance instead of the box being rewritten: a function that passes
// towards the viewer with the clear depth at the far end, and a function whose mirrored form
// runs the way the tags do (otherwise older tags would compare as lying in front).
bool epochClearFits(const GlContext *ctx, const GlDepthBuffer *db) {
    if (db->epochStep == 0) return false;
    GLenum f = ctx->state.mode.depthFunc;
    double c = ctx->state.mode.depthClear;
    bool suits = ((f == GL_LESS || f == GL_LEQUAL) && c == 1.0) || ((f == GL_GREATER || f == GL_GEQUAL) && c == 0.0);
    if (!suits) return false;
    GLenum e = db->mirror ? mirrored(f) : f;
    if (db->epochStep == kGlEpochRising) return e == GL_GREATER || e == GL_GEQUAL;
    return e == GL_LESS || e == GL_LEQUAL;
}

bool lockDepth(GlContext *ctx, GlDepthBuffer *db) {
    if (ctx->buffers.prepare != nullptr) {
        if (!ctx->buffers.prepare(ctx, kGlBufferDepth)) return false;
    } else {
        GlBufferDescriptor *d = db->head.descriptor;
        if (d == nullptr) return false;
        if (d->lock != nullptr && !d->lock(d, __glBufferRecord(&db->head))) return false;
    }
    __glBufferRefresh(&db->head);
    return db->head.base != nullptr;
}

void unlockDepth(GlContext *ctx, GlDepthBuffer *db) {
    if (ctx->buffers.release != nullptr) {
        ctx->buffers.release(ctx, kGlBufferDepth);
        return;
    }
    GlBufferDescriptor *d = db->head.descriptor;
    if (d != nullptr && d->unlock != nullptr) d->unlock(d, __glBufferRecord(&db->head));
}

// Fills rows [y0, y1) of the box columns [x0, x1) with v; false when the lock was refused.
bool fillRows(GlContext *ctx, GlDepthBuffer *db, int32_t x0, int32_t x1, int32_t y0, int32_t y1, uint32_t v) {
    if (!lockDepth(ctx, db)) return false;
    int32_t w = x1 - x0, h = y1 - y0;
    uint8_t *first = __glDepthAddress(db, x0, y0);
    int32_t skip = (db->head.pitch - w) * db->head.elementSize;
    if (db->head.elementSize == 2)
        __glFillRect16(ctx, first, w, h, skip, v);
    else
        __glFillRect32(ctx, first, w, h, skip, v);
    unlockDepth(ctx, db);
    return true;
}

// The box covers every pixel of the drawable (the buffer's padding columns are never drawn).
bool coversDrawable(const GlContext *ctx, const GlDepthBuffer *db, const GlClipBox &box) {
    const GlDrawableExtent &d = ctx->state.transform.drawable;
    int32_t w = d.width > 0 ? d.width : db->head.width, h = d.height > 0 ? d.height : db->head.height;
    int32_t ox = ctx->limits.biasX, oy = ctx->limits.biasY;
    return box.x0 <= ox && box.y0 <= oy && box.x1 >= ox + w && box.y1 >= oy + h;
}

void saveInto(GlDepthSave *s, const GlDepthBuffer *db) {
    s->writeMask = db->writeMask;
    s->scale = db->scale;
    s->epochBase = db->epochBase;
    s->shift = db->shift;
    s->maxValue = db->maxValue;
    s->epochStep = db->epochStep;
    s->needsFullClear = db->needsFullClear;
    s->mirror = db->mirror;
}

void retag24(GlDepthBuffer *db, uint32_t tag) {
    GlContext *ctx = contextOf(db);
    const GlClipBox box = clipBoxOf(ctx);
    if (box.x1 <= box.x0 || box.y1 <= box.y0 || !lockDepth(ctx, db)) return;
    uint32_t cleared = (__glDepthClearValue(db) & db->maxValue) | tag;
    for (int32_t y = box.y0; y < box.y1; ++y) {
        uint8_t *p = __glDepthAddress(db, box.x0, y);
        for (int32_t x = box.x0; x < box.x1; ++x, p += 4) {
            uint32_t w;
            std::memcpy(&w, p, 4);
            w = (w & ~db->maxValue) == db->epochBase ? (w & db->maxValue) | tag : cleared;
            std::memcpy(p, &w, 4);
        }
    }
    unlockDepth(ctx, db);
}

template <class Element>
uint32_t fetchElement(GlDepthBuffer *db, int32_t x, int32_t y) {
    Element e;
    std::memcpy(&e, __glDepthAddress(db, x, y), sizeof e);
    return e;
}

}  // namespace

// ---- set-up ---------------------------------------------------------------------------------------
void __glInitDepthBuffer16(GlDepthBuffer *db, GlContext *ctx) { initKind(db, ctx, kDepth16); }
void __glInitDepthBuffer24(GlDepthBuffer *db, GlContext *ctx) { initKind(db, ctx, kDepth24); }
void __glInitDepthBuffer32(GlDepthBuffer *db, GlContext *ctx) { initKind(db, ctx, kDepth32); }

void __glInitDepthBuffer(GlDepthBuffer *db, GlContext *ctx) {
    const char *forced = std::getenv("GLFORCEZBITS");
    long bits = forced != nullptr ? std::strtol(forced, nullptr, 10) : ctx->visual.depthBits;
    if (bits <= 16)
        __glInitDepthBuffer16(db, ctx);
    else if (bits > 24)
        __glInitDepthBuffer32(db, ctx);
    else
        __glInitDepthBuffer24(db, ctx);
}

int32_t __glResizeDepthBuffer(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit) {
    GlDepthBuffer *db = reinterpret_cast<GlDepthBuffer *>(b);
    int32_t es = b->elementSize > 0 ? b->elementSize : 1;
    int32_t rounded = ((width * es + 15) & ~15) / es;
    int32_t result = __glBufferResize(b, rounded, height, bufferBit);
    b->elementSize = es;
    b->depth = kindBits(db);
    if (result != 0) db->needsFullClear = 1;
    return result;
}

void __glAttachDepthBuffer(GlBuffer *b, GlBufferDescriptor *d, GlContext *ctx) {
    GlDepthBuffer *db = reinterpret_cast<GlDepthBuffer *>(b);
    // Memory the drawable has yet to allocate gets this kind's element.
    if (d != nullptr && d->base == nullptr && d->storage == nullptr) {
        d->elementSize = b->elementSize;
        d->bits = kindBits(db);
    }
    __glBufferAttach(b, d, ctx);
    b->depth = kindBits(db);
    if (d != nullptr) {
        GlDepthSave *s = static_cast<GlDepthSave *>(d->depthSave);
        if (s != nullptr && s->maxValue == db->maxValue && s->scale != 0) {
            db->writeMask = s->writeMask;
            db->scale = s->scale;
            db->epochBase = s->epochBase;
            db->shift = s->shift;
            db->maxValue = s->maxValue;
            db->epochStep = s->epochStep;
            db->needsFullClear = s->needsFullClear;
            db->mirror = s->mirror;
        } else if (s != nullptr) {
            // Saved by a buffer of another kind: the tags in memory mean nothing to this one.
            db->needsFullClear = 1;
            saveInto(s, db);
        } else {
            // Filled at once, so that a second context attaching before this one detaches
            // takes a sane state rather than zeros.
            GlDrawableBuffers *rec = ctx != nullptr ? ctx->tail.drawableBuffers : nullptr;
            void *block = rec != nullptr && rec->calloc != nullptr ? rec->calloc(ctx, 1, sizeof(GlDepthSave))
                          : ctx != nullptr ? ctx->hostProcs.calloc(ctx, 1, sizeof(GlDepthSave))
                                           : nullptr;
            if (block != nullptr) saveInto(static_cast<GlDepthSave *>(block), db);
            d->depthSave = block;
        }
    }
    if (ctx != nullptr) markForValidation(ctx, 0x180);
}

void __glDetachDepthBuffer(GlBuffer *b, GlContext *ctx) {
    if (b->context == nullptr) return;
    GlDepthBuffer *db = reinterpret_cast<GlDepthBuffer *>(b);
    __glBufferDetach(b, ctx);
    if (b->descriptor != nullptr && b->descriptor->depthSave != nullptr)
        saveInto(static_cast<GlDepthSave *>(b->descriptor->depthSave), db);
}

// ---- validation -----------------------------------------------------------------------------------
int32_t __glDepthTestIndex(const GlContext *ctx, const GlDepthBuffer *db) {
    int32_t i = int32_t(db->effectiveFunc) - GL_NEVER;
    if (i < 0 || i > 7) i = GL_ALWAYS - GL_NEVER;
    if (!ctx->state.depthStencil.depthWriteMask) i += 8;
    if (kindBits(db) > 16) i += 16;
    return i;
}

// The index is recomputed from the buffer's own effective function, which is the authority on
// mirroring; a caller's index only says that a pick is due.
void __glPickDepthClear(GlContext *ctx, GlDepthBuffer *db, int32_t) {
    db->epochClearAllowed = epochClearFits(ctx, db) ? 1 : 0;
    int32_t index = __glDepthTestIndex(ctx, db);
    db->test = __glDepthTestProcs[index];
    db->fragmentTest = __glDepthValueProcs[index];
    const bool software = inputsOf(ctx).hwCannotDraw || !ctx->tail.hwPresent;
    db->clear = software ? __glClearDepthBuffer : __glHwClearDepthBuffer;
    inputsOf(ctx).effectiveDepthFunc = db->effectiveFunc;
}

void __glUpdateDepthEpoch(GlDepthBuffer *db) {
    GlContext *ctx = contextOf(db);
    GLenum f = ctx->state.mode.depthFunc;
    bool switched = false;
    if (db->epochStep == kGlEpochFalling && db->epochBase == kGlEpochFalling) {
        // Falling tags used up: rise from 0x80 with GL_LESS-like functions mirrored.
        db->epochBase = 0x80000000u;
        db->epochStep = kGlEpochRising;
        db->mirror = (f == GL_LESS || f == GL_LEQUAL) ? 1 : 0;
        switched = true;
    } else if (db->epochStep == kGlEpochRising && db->epochBase == 0) {
        // Rising tags wrapped: fall from 0x7F with GL_GREATER-like functions mirrored.
        db->epochBase = 0x7F000000u;
        db->epochStep = kGlEpochFalling;
        db->mirror = (f == GL_GREATER || f == GL_GEQUAL) ? 1 : 0;
        switched = true;
    } else if (db->epochStep == 0) {
        db->mirror = 0;
    }
    // Every update follows the context's function, not only a change of direction: a
    // glDepthFunc between two clears takes effect at once.
    db->effectiveFunc = db->mirror ? mirrored(f) : f;
    if (switched) {
        __glUpdateDepthRange(ctx);
        markForValidation(ctx, 0x80);
    }
}

uint32_t __glDepthClearValue(GlDepthBuffer *db) {
    __glUpdateDepthEpoch(db);
    double c = contextOf(db)->state.mode.depthClear;
    double d = db->mirror ? double(db->scale) * (1.0 - c) : double(db->scale) * c;
    uint32_t v = d <= 0.0 ? 0u : uint32_t(d);
    return (v >> db->shift) + db->epochBase;
}

// ---- clear ----------------------------------------------------------------------------------------
void __glClearDepthBuffer(GlDepthBuffer *db) {
    GlContext *ctx = contextOf(db);
    if (!ctx->state.depthStencil.depthWriteMask) return;
    const GlClipBox box = clipBoxOf(ctx);
    if (box.x1 <= box.x0 || box.y1 <= box.y0) return;
    const bool whole = coversDrawable(ctx, db, box);
    db->epochClearAllowed = epochClearFits(ctx, db) ? 1 : 0;

    if (whole && !db->needsFullClear && db->epochClearAllowed) {
        db->epochBase += db->epochStep;
        uint32_t v = __glDepthClearValue(db);
        // Slice k of 128 covers rows [k h / 128, (k + 1) h / 128): together the slices cover
        // every row of any box, narrow or short.
        int64_t h = box.y1 - box.y0, k = (db->epochBase >> 24) & 0x7F;
        int32_t first = box.y0 + int32_t(k * h / 128), last = box.y0 + int32_t((k + 1) * h / 128);
        if (first == last) return;
        // A slice left unwritten would let its old tags come round again: rewrite all next time.
        if (!fillRows(ctx, db, box.x0, box.x1, first, last, v)) db->needsFullClear = 1;
        return;
    }

    if (!whole && db->epochStep != 0) {
        // Part of the drawable: the rest keeps its tags, so the epoch stays where it is and the
        // box gets the clear value of the current one.
        fillRows(ctx, db, box.x0, box.x1, box.y0, box.y1, __glDepthClearValue(db));
        return;
    }
    if (db->epochStep != 0) {
        // Every word is rewritten: the tags start over as at creation (falling and used up), so
        // the clear value below takes the direction and mirror of the current function.
        db->epochStep = kGlEpochFalling;
        db->epochBase = ~db->maxValue;
    }
    uint32_t v = __glDepthClearValue(db);
    bool written = fillRows(ctx, db, box.x0, box.x1, box.y0, box.y1, v);
    if (whole) db->needsFullClear = written ? 0 : 1;
}

// ---- fetch ----------------------------------------------------------------------------------------
uint32_t __glFetchDepth16(GlDepthBuffer *db, int32_t x, int32_t y) { return fetchElement<uint16_t>(db, x, y); }
uint32_t __glFetchDepth32(GlDepthBuffer *db, int32_t x, int32_t y) { return fetchElement<uint32_t>(db, x, y); }

uint32_t __glFetchDepth24(GlDepthBuffer *db, int32_t x, int32_t y) {
    uint32_t w = fetchElement<uint32_t>(db, x, y);
    const uint32_t far = db->scale >> db->shift;
    if ((w & ~db->maxValue) != db->epochBase) {
        // An older epoch: the far end of the direction the tags run.
        bool farSide = (db->epochStep == kGlEpochFalling) != (db->mirror != 0);
        return farSide ? far : 0;
    }
    uint32_t v = w & db->maxValue;
    return db->mirror ? far - v : v;
}

// ---- what the vertex pipeline reads -----------------------------------------------------------------
float __glDepthBufferScale(GlContext *ctx) {
    const GlDepthBuffer &db = ctx->buffers.depth;
    if (db.scale != 0) return float(db.scale);
    // No depth buffer: the largest value of the visual's depth bits (16 without any).
    int bits = ctx->visual.depthBits > 0 ? ctx->visual.depthBits : 16;
    if (bits > 32) bits = 32;
    return float(double((uint64_t(1) << bits) - 1));
}

int __glDepthBufferInverted(GlContext *ctx) { return ctx->buffers.depth.mirror; }
