// The texel procs of the fast path by kind and by where texels come from, for the chooser.
#pragma once
#include <array>
#include "icd/raster/fast_span.h"

// Texel sources: the level's fetch proc, or direct reads of the most used layouts.
constexpr int kGlTexelSourceFetch = 0;
constexpr int kGlTexelSourceRgba8 = 1;
constexpr int kGlTexelSourceRgb8 = 2;
constexpr int kGlTexelSourceArgb4444 = 3;
constexpr int kGlTexelSourceRgb565 = 4;
constexpr int kGlTexelSourceArgb1555 = 5;
constexpr int kGlTexelSourceCount = 6;
// Added to a source for the compiled-in routines: both wraps are GL_REPEAT.
constexpr int kGlTexelRepeatBoth = 8;
struct GlTexelProcsBySource {
    GlTexelProc bySource[kGlTexelSourceCount];
};
// Kinds: nearest, linear, the same scaled by level 0, and the four mipmap filters.
constexpr int kGlTexelNearestKind = 0;
constexpr int kGlTexelLinearKind = 1;
constexpr int kGlTexelNearestScaledKind = 2;
constexpr int kGlTexelLinearScaledKind = 3;
constexpr int kGlTexelNearestMipNearestKind = 4;
constexpr int kGlTexelLinearMipNearestKind = 5;
constexpr int kGlTexelNearestMipLinearKind = 6;
constexpr int kGlTexelLinearMipLinearKind = 7;
extern const std::array<GlTexelProcsBySource, 8> __glTexelProcs;
