// The texel procs of the fast path by kind, and where the compiled-in texture routines read texels
// from, for the chooser.
#pragma once
#include <array>
#include "icd/raster/fast_span.h"

// Texel sources of the texel procs and the compiled-in routines: the level's fetch proc, or
// direct reads of the most used layouts.
constexpr int kGlTexelSourceFetch = 0;
constexpr int kGlTexelSourceRgba8 = 1;
constexpr int kGlTexelSourceRgb8 = 2;
constexpr int kGlTexelSourceArgb4444 = 3;
constexpr int kGlTexelSourceRgb565 = 4;
constexpr int kGlTexelSourceArgb1555 = 5;
constexpr int kGlTexelSourceXrgb1555 = 6;
// Added to a source: both wraps are GL_REPEAT.
constexpr int kGlTexelRepeatBoth = 8;
// The sources with and without the repeat bit (0-6, 8-14) index the texel procs' instances.
constexpr int kGlTexelSourceSlots = 16;
constexpr bool __glIsTexelSource(int source) {
    return source >= 0 && source < kGlTexelSourceSlots && (source & ~kGlTexelRepeatBoth) <= kGlTexelSourceXrgb1555;
}
// Kinds: nearest, linear, the same scaled by level 0, and the four mipmap filters.
constexpr int kGlTexelNearestKind = 0;
constexpr int kGlTexelLinearKind = 1;
constexpr int kGlTexelNearestScaledKind = 2;
constexpr int kGlTexelLinearScaledKind = 3;
constexpr int kGlTexelNearestMipNearestKind = 4;
constexpr int kGlTexelLinearMipNearestKind = 5;
constexpr int kGlTexelNearestMipLinearKind = 6;
constexpr int kGlTexelLinearMipLinearKind = 7;
constexpr int kGlTexelKinds = 8;
// 1/k as a float for a perspective run of k steps between its divisions (k = 1 .. 16; 1/16
// exact): a run the span ends inside steps over the pixels up to its last without a second
// division. The chain's routines and the generated span routine step with these same floats.
inline constexpr std::array<float, 17> kGlRunStepInverse = [] {
    std::array<float, 17> a{};
    for (int k = 1; k <= 16; ++k) a[size_t(k)] = 1.0f / float(k);
    return a;
}();
static_assert(kGlRunStepInverse[16] == 0.0625f);

// The texel procs (fast_span.h) by kind and source: what the chooser puts in the texel slots. The
// null entries (indices 7 and 15, which are no source) are never chosen.
extern const std::array<std::array<GlTexelProc, kGlTexelSourceSlots>, kGlTexelKinds> __glTexelProcs;
