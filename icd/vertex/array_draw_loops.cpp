// The per-element draw loops of glDrawArrays, for states the cache road cannot serve: glBegin,
// then for every element the immediate entries of the enabled arrays with the element's
// address (normal, colour, texture coordinates, index, edge flag, vertex: the vertex last, so
// the attributes reach it as current state), then glEnd, all through the live proc table.
// One loop per combination of enabled arrays, indexed by the enable mask.
#include <cstddef>
#include "icd/core/core.h"
#include "icd/vertex/array_procs.h"

namespace {

// The arrays in the order their entries are called, with their enable bits.
struct LoopArray {
    uint32_t enable;
    int32_t array;
};
constexpr LoopArray kCallOrder[6] = {
    {kGlArrayEnableNormal, kGlArrayNormal},     {kGlArrayEnableColor, kGlArrayColor},
    {kGlArrayEnableTexCoord, kGlArrayTexCoord}, {kGlArrayEnableIndex, kGlArrayIndex},
    {kGlArrayEnableEdgeFlag, kGlArrayEdgeFlag}, {kGlArrayEnableVertex, kGlArrayVertex},
};

constexpr int popCount(uint32_t m) { return m == 0 ? 0 : int(m & 1) + popCount(m >> 1); }

template <uint32_t Mask>
void drawLoop(GLenum mode, GLint first, GLsizei count) {
    constexpr int kArrays = popCount(Mask);
    struct Source {
        GlArrayElementCall call;
        const uint8_t *pointer;
        ptrdiff_t stride;
    } sources[kArrays];
    // The entries, addresses and strides are read once, before any entry runs.
    const GlArrayState &as = __glGetCurrentContext()->arrayState;
    int n = 0;
    for (const LoopArray &a : kCallOrder) {
        if (!(Mask & a.enable)) continue;
        const GlClientArray &array = as.arrays[a.array];
        sources[n++] = {__glArrayElementCall(a.array, array), static_cast<const uint8_t *>(array.pointer), array.stride};
    }
    __glDispatchBegin(mode);
    for (GLsizei i = 0; i < count; ++i) {
        const ptrdiff_t element = ptrdiff_t(first) + i;
        for (const Source &s : sources) s.call(s.pointer + element * s.stride);
    }
    __glDispatchEnd();
}

void APIENTRY nopDrawLoop(GLenum, GLint, GLsizei) {}

}  // namespace

// The loops by name: V and the letters of the other arrays (N normal, C colour, T texture
// coordinates, I index, E edge flag); N alone issues the normals between glBegin and glEnd.
#define GL_DRAW_LOOPS(X)                                                                           \
    X(V, 0x20) X(VN, 0x21) X(VC, 0x22) X(VNC, 0x23) X(VT, 0x24) X(VNT, 0x25) X(VCT, 0x26)          \
    X(VNCT, 0x27) X(VI, 0x28) X(VNI, 0x29) X(VCI, 0x2A) X(VNCI, 0x2B) X(VTI, 0x2C) X(VNTI, 0x2D)   \
    X(VCTI, 0x2E) X(VNCTI, 0x2F) X(VE, 0x30) X(VNE, 0x31) X(VCE, 0x32) X(VNCE, 0x33) X(VTE, 0x34)  \
    X(VNTE, 0x35) X(VCTE, 0x36) X(VNCTE, 0x37) X(VIE, 0x38) X(VNIE, 0x39) X(VCIE, 0x3A)            \
    X(VNCIE, 0x3B) X(VTIE, 0x3C) X(VNTIE, 0x3D) X(VCTIE, 0x3E) X(VNCTIE, 0x3F) X(N, 0x01)

#define GL_DEFINE_DRAW_LOOP(name, mask) \
    void APIENTRY __glDrawArrays##name(GLenum mode, GLint first, GLsizei count) { drawLoop<mask>(mode, first, count); }
GL_DRAW_LOOPS(GL_DEFINE_DRAW_LOOP)
#undef GL_DEFINE_DRAW_LOOP

namespace {
// Masks without the vertex array draw nothing, except the normal array alone.
constexpr GlDrawLoop loopFor(uint32_t mask) {
#define GL_LOOP_FOR(name, m) \
    if (mask == m) return __glDrawArrays##name;
    GL_DRAW_LOOPS(GL_LOOP_FOR)
#undef GL_LOOP_FOR
    return nopDrawLoop;
}
}  // namespace

#define GL_LOOPS8(m) loopFor(m), loopFor(m + 1), loopFor(m + 2), loopFor(m + 3), \
                     loopFor(m + 4), loopFor(m + 5), loopFor(m + 6), loopFor(m + 7)
const GlDrawLoop __glDrawLoops[64] = {GL_LOOPS8(0),  GL_LOOPS8(8),  GL_LOOPS8(16), GL_LOOPS8(24),
                                      GL_LOOPS8(32), GL_LOOPS8(40), GL_LOOPS8(48), GL_LOOPS8(56)};
#undef GL_LOOPS8
#undef GL_DRAW_LOOPS
