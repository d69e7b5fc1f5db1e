// The texel procs of the fast path by kind and by where texels come from, for the chooser.
#pragma once
#include <array>
#include "icd/raster/fast_span.h"

// Texel sources: the level's fetch proc, or direct reads of the RGBA8 and RGB8 layouts.
constexpr int kGlTexelSourceFetch = 0;
constexpr int kGlTexelSourceRgba8 = 1;
constexpr int kGlTexelSourceRgb8 = 2;
struct GlTexelProcsBySource {
    GlTexelProc bySource[3];
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
