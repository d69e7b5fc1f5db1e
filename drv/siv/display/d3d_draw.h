// What the drawing parts of the Direct3D HAL share: the fixed-point conversions of the 3D
// engine's registers, register writes with the FIFO discipline, the triangle routines and the
// set-up table.
#pragma once
#include "drv/siv/display/sivhal.h"
#include "drv/siv/display/blt_engine.h"

#include <array>
#include <cfenv>
#include <cmath>
#include <cstring>

namespace sivd3d {

// floor(v * 2^n) as a 32-bit word: v plus 3 * 2^(51 - n), rounded toward zero to a double (the
// sum is positive, so that rounds v * 2^n down), low 32 bits of the sum's bit pattern. Valid
// under the drawing rounding mode (FpuTowardZero).
inline uint32_t FixLow32(double v, double constant) {
    volatile double sum = v + constant;   // stored, so the sum is a double rounded in the live mode
    double s = sum;
    uint64_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    return static_cast<uint32_t>(bits);
}
constexpr double kF20 = 6442450944.0;          // 3 * 2^31: 20 fraction bits
constexpr double kC16 = 52776558133248.0;      // 3 * 2^44: 7 fraction bits
constexpr double kF31 = 3145728.0;             // 3 * 2^20: 31 fraction bits
constexpr double kF19 = 12884901888.0;         // 3 * 2^32: 19 fraction bits
constexpr double kF27 = 50331648.0;            // 3 * 2^24: 27 fraction bits
constexpr double kP12 = 1649267441664.0;       // 3 * 2^39: 12 fraction bits
inline uint32_t F20(double v) { return FixLow32(v, kF20); }
inline uint32_t F31(double v) { return FixLow32(v, kF31); }
inline uint32_t F19(double v) { return FixLow32(v, kF19); }
inline uint32_t F27(double v) { return FixLow32(v, kF27); }
inline uint32_t C16(double v) { return FixLow32(v, kC16) & 0xFFFF; }
// U * W and V * W values: 12 fraction bits, then an arithmetic shift to 8.
inline uint32_t P(double v) { return static_cast<uint32_t>(static_cast<int32_t>(FixLow32(v, kP12)) >> 4); }
inline uint32_t T(const HalContext *c, double v) { return FixLow32(v, c->texCoordConst); }

// Drawing runs with the rounding mode toward zero; the caller's mode comes back on every way out.
class FpuTowardZero {
public:
    FpuTowardZero() : saved_(std::fegetround()) { std::fesetround(FE_TOWARDZERO); }
    ~FpuTowardZero() { std::fesetround(saved_); }
    FpuTowardZero(const FpuTowardZero &) = delete;
    FpuTowardZero &operator=(const FpuTowardZero &) = delete;

private:
    int saved_;
};

// A drawing call waits at most once for an engine that stopped answering (each wait is bounded
// by the HAL's limit; thousands of them would hold the caller for hours) and then sends nothing more.
inline void Wait(HalContext *c, DWORD slots) {
    if (!c->engineStalled && !sivblt::WaitFifo(c->driverBlock, slots))
        c->engineStalled = 1;
}
inline void Write(HalContext *c, DWORD reg, DWORD value) {
    if (!c->engineStalled)
        sivblt::WriteReg(c->driverBlock, reg, value);
}
// Brackets one drawing callback: starts it with the engine answering; its result, once the
// drawing is done, is DDERR_WASSTILLDRAWING when the engine stopped answering on the way.
inline void BeginDrawing(HalContext *c) { c->engineStalled = 0; }
inline HRESULT DrawingResult(const HalContext *c, HRESULT ok) {
    return c->engineStalled ? static_cast<HRESULT>(DDERR_WASSTILLDRAWING) : ok;
}

// The eps below which a triangle's width or a line's run counts as zero.
constexpr uint32_t kEpsBits = 0x36000640;
inline float Eps() {
    float e;
    std::memcpy(&e, &kEpsBits, 4);
    return e;
}
// 1/255 as the engine's set-up takes it.
inline float InvByte() {
    const uint32_t bits = 0x3B808081;
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// The engine's edge registers hold x in [-2048, 2048) with 20 fraction bits and its rows are as
// many; a primitive with a vertex beyond that is cut to the render target first (a vertex that is
// not a number cannot be placed, and its primitive is not drawn).
inline bool OnEngineGrid(const D3DTLVERTEX *v) {
    return v->sx > -2047.0f && v->sx < 2046.0f && v->sy > -2047.0f && v->sy < 2046.0f;
}
// The box such primitives are cut to reaches no further than this, a few pixels short of the
// grid's edge (set-up extends the edges it is given to whole rows, which may take them a little
// further out). So this is the widest and the tallest target whose every pixel the engine draws;
// a larger one gets no context.
constexpr DWORD kTargetReach = 2040;

// Twice the signed area, positive for triangles drawn counter-clockwise on screen.
inline double Cross(const D3DTLVERTEX *a, const D3DTLVERTEX *b, const D3DTLVERTEX *d) {
    return (static_cast<double>(b->sx) - a->sx) * (static_cast<double>(d->sy) - a->sy) -
           (static_cast<double>(d->sx) - a->sx) * (static_cast<double>(b->sy) - a->sy);
}

// A texel base brought to 0 or above by whole textures, in one step for any base.
inline double WrapPositive(double base, double size) {
    return base < 0 && size > 0 ? base + size * std::ceil(-base / size) : base;
}

inline DWORD State(const HalContext *c, DWORD s) { return c->renderStates[s]; }

// A triangle routine: the set-up members, the clipping path and wireframe all take this form.
typedef DWORD (*TriangleRoutine)(HalContext *c, const D3DTLVERTEX *v1, const D3DTLVERTEX *v2,
                                 const D3DTLVERTEX *v3);
extern const std::array<TriangleRoutine, 32> TriangleSetupTable;
inline TriangleRoutine SetupRoutine(const HalContext *c) {
    return TriangleSetupTable[(c->selectionBits | (c->renderStates[D3DRS_SPECULARENABLE] ? 0x10 : 0)) & 31];
}

DWORD ChooseTextureFilter(HalContext *c, const D3DTLVERTEX *a, const D3DTLVERTEX *b, const D3DTLVERTEX *c3);
DWORD ClipAndDrawTriangle(HalContext *c, const D3DTLVERTEX *v1, const D3DTLVERTEX *v2, const D3DTLVERTEX *v3);
// A triangle reaching beyond the engine's grid, cut to the target and drawn by the set-up table.
DWORD DrawClippedTriangle(HalContext *c, const D3DTLVERTEX *v1, const D3DTLVERTEX *v2, const D3DTLVERTEX *v3);
// The part of the line from a to b over the target (its ends in out); false when none is.
bool CutLineToTarget(const HalContext *c, const D3DTLVERTEX &a, const D3DTLVERTEX &b, D3DTLVERTEX out[2],
                     DWORD flatColor, DWORD flatSpecular);
DWORD DrawWireTriangle(HalContext *c, const D3DTLVERTEX *v1, const D3DTLVERTEX *v2, const D3DTLVERTEX *v3);
void DrawPoints(HalContext *c, const D3DTLVERTEX *v);
void DrawLine(HalContext *c, const D3DTLVERTEX *v1, const D3DTLVERTEX *v2, const D3DTLVERTEX *flat);

// Fog and specular folded into one vertex colour (bytes B, G, R; the alpha byte is what the
// alpha channel carries), as the fog and specular set-up does per vertex.
DWORD FogSpecularColor(const HalContext *c, DWORD color, DWORD specular);

}  // namespace sivd3d
