// The depth-test procs, one per comparison function, element width and write mode, all made
// from one template: the buffer procs that take a window position and a fixed-point depth, and
// the value procs that take an already shifted and tagged value and the element's address.
#include <cstring>
#include "icd/raster/depth_buffer.h"
#include "icd/core/context.h"

namespace {

// The GL comparison of the new value against the stored one (unsigned).
template <GLenum Func>
constexpr bool passes(uint32_t incoming, uint32_t stored) {
    if constexpr (Func == GL_LESS) return incoming < stored;
    if constexpr (Func == GL_EQUAL) return incoming == stored;
    if constexpr (Func == GL_LEQUAL) return incoming <= stored;
    if constexpr (Func == GL_GREATER) return incoming > stored;
    if constexpr (Func == GL_NOTEQUAL) return incoming != stored;
    if constexpr (Func == GL_GEQUAL) return incoming >= stored;
    return Func == GL_ALWAYS;
}

template <class Element>
uint32_t load(const uint8_t *p) {
    Element e;
    std::memcpy(&e, p, sizeof e);
    return e;
}
template <class Element>
void storeElement(uint8_t *p, uint32_t v) {
    Element e = Element(v);
    std::memcpy(p, &e, sizeof e);
}

// Value procs: 16-bit elements compare the whole value with the zero-extended element; both
// widths store the element's low bits. GL_NEVER and GL_ALWAYS never read the buffer.
template <class Element, GLenum Func, bool Write>
uint8_t depthValue(uint32_t value, uint8_t *address) {
    if constexpr (Func == GL_NEVER) {
        return 0;
    } else if constexpr (Func == GL_ALWAYS) {
        if constexpr (Write) storeElement<Element>(address, value);
        return 1;
    } else {
        if (!passes<Func>(value, load<Element>(address))) return 0;
        if constexpr (Write) storeElement<Element>(address, value);
        return 1;
    }
}

// Buffer procs: the value of z is the epoch base plus z shifted; 16-bit elements compare the
// value's low 16 bits.
template <class Element, GLenum Func, bool Write>
uint8_t depthTest(GlDepthBuffer *db, int32_t x, int32_t y, uint32_t z) {
    if constexpr (Func == GL_NEVER) {
        return 0;
    } else {
        uint32_t value = db->epochBase + (z >> db->shift);
        if constexpr (sizeof(Element) == 2) value &= 0xFFFFu;
        return depthValue<Element, Func, Write>(value, __glDepthAddress(db, x, y));
    }
}

}  // namespace

uint8_t *__glDepthAddress(const GlDepthBuffer *db, int32_t x, int32_t y) {
    const GlBuffer &h = db->head;
    const GlContext *ctx = h.context;
    int32_t ox = ctx != nullptr ? ctx->limits.biasX : 0, oy = ctx != nullptr ? ctx->limits.biasY : 0;
    return h.base + (int32_t(y - oy) * h.pitch + (x - ox)) * h.elementSize;
}

// Named procs: every function in both write modes, except that GL_NEVER has one proc for both.
#define GL_DEPTH_FUNCS_WRITE(X, W, E, N) \
    X(W, E, N, Never, GL_NEVER, true)     \
    X(W, E, N, Less, GL_LESS, true)       \
    X(W, E, N, Equal, GL_EQUAL, true)     \
    X(W, E, N, Lequal, GL_LEQUAL, true)   \
    X(W, E, N, Greater, GL_GREATER, true) \
    X(W, E, N, Notequal, GL_NOTEQUAL, true) \
    X(W, E, N, Gequal, GL_GEQUAL, true)   \
    X(W, E, N, Always, GL_ALWAYS, true)
#define GL_DEPTH_FUNCS_NOWRITE(X, W, E, N)                \
    X(W, E, N, LessNoWrite, GL_LESS, false)               \
    X(W, E, N, EqualNoWrite, GL_EQUAL, false)             \
    X(W, E, N, LequalNoWrite, GL_LEQUAL, false)           \
    X(W, E, N, GreaterNoWrite, GL_GREATER, false)         \
    X(W, E, N, NotequalNoWrite, GL_NOTEQUAL, false)       \
    X(W, E, N, GequalNoWrite, GL_GEQUAL, false)           \
    X(W, E, N, AlwaysNoWrite, GL_ALWAYS, false)
#define GL_DEPTH_WIDTHS(X)                                                                    \
    GL_DEPTH_FUNCS_WRITE(X, 16, uint16_t, Test) GL_DEPTH_FUNCS_NOWRITE(X, 16, uint16_t, Test)   \
    GL_DEPTH_FUNCS_WRITE(X, 32, uint32_t, Test) GL_DEPTH_FUNCS_NOWRITE(X, 32, uint32_t, Test)   \
    GL_DEPTH_FUNCS_WRITE(X, 16, uint16_t, Value) GL_DEPTH_FUNCS_NOWRITE(X, 16, uint16_t, Value) \
    GL_DEPTH_FUNCS_WRITE(X, 32, uint32_t, Value) GL_DEPTH_FUNCS_NOWRITE(X, 32, uint32_t, Value)

#define GL_DEFINE_Test(W, E, Name, F, Wr)                                            \
    uint8_t __glDepthTest##W##Name(GlDepthBuffer *db, int32_t x, int32_t y, uint32_t z) { \
        return depthTest<E, F, Wr>(db, x, y, z);                                     \
    }
#define GL_DEFINE_Value(W, E, Name, F, Wr) \
    uint8_t __glDepthValue##W##Name(uint32_t value, uint8_t *address) { return depthValue<E, F, Wr>(value, address); }
#define GL_DEFINE(W, E, N, Name, F, Wr) GL_DEFINE_##N(W, E, Name, F, Wr)
GL_DEPTH_WIDTHS(GL_DEFINE)
#undef GL_DEFINE

#define GL_ROW(W, N)                                                                                      \
    __glDepth##N##W##Never, __glDepth##N##W##Less, __glDepth##N##W##Equal, __glDepth##N##W##Lequal,       \
        __glDepth##N##W##Greater, __glDepth##N##W##Notequal, __glDepth##N##W##Gequal,                     \
        __glDepth##N##W##Always, __glDepth##N##W##Never, __glDepth##N##W##LessNoWrite,                    \
        __glDepth##N##W##EqualNoWrite, __glDepth##N##W##LequalNoWrite, __glDepth##N##W##GreaterNoWrite,   \
        __glDepth##N##W##NotequalNoWrite, __glDepth##N##W##GequalNoWrite, __glDepth##N##W##AlwaysNoWrite

const GlDepthTestProc __glDepthTestProcs[32] = {GL_ROW(16, Test), GL_ROW(32, Test)};
const GlDepthValueProc __glDepthValueProcs[32] = {GL_ROW(16, Value), GL_ROW(32, Value)};
#undef GL_ROW
