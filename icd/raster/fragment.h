// Single fragments that do not travel through a span list (points, wide and antialiased lines,
// pixel rectangles): the fragment store runs the per-fragment tests in GL order (the clip box,
// alpha, stencil, depth with the stencil operations) and hands what passes to the colour store,
// which writes the draw buffer or buffers.
#pragma once
#include <cstdint>
#include "icd/raster/blend.h"

struct GlContext;
struct GlColorBuffer;
struct GlFragment;

// Both take the colour buffer being drawn (its head names the owning context) and the fragment.
typedef void (*GlFragmentStoreProc)(GlColorBuffer *cb, const GlFragment *frag);

// The per-fragment procs of a context, chosen by __glPickFragmentStoreProcs and
// __glPickBlendProcs.
struct GlFragmentProcs {
    GlFragmentStoreProc store;       // the tests, then storeColor
    GlFragmentStoreProc storeColor;  // the colour into the draw buffer(s)
    GlBlendProcs blend;
};

void __glPickFragmentStoreProcs(GlContext *ctx);

// The fragment stores, indexed by 1 alpha test (RGBA) + 2 stencil + 4 depth test. Every one
// drops fragments outside the clip box first.
void __glStoreFragment(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreFragmentAlpha(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreFragmentStencil(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreFragmentAlphaStencil(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreFragmentDepth(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreFragmentAlphaDepth(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreFragmentStencilDepth(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreFragmentAlphaStencilDepth(GlColorBuffer *cb, const GlFragment *frag);
extern const GlFragmentStoreProc __glFragmentStoreProcs[8];

// Colour stores.
void __glStoreColorNone(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreColorFrontBack(GlColorBuffer *cb, const GlFragment *frag);
