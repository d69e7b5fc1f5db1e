// GlShadeFlags: the context's mode word. Validation rebuilds it from the enables at every pick;
// every proc choice of the pipeline and the rasteriser keys on it. Nothing else sets a bit: the
// clear paths clear bits around a clear and restore the word afterwards, and the fast triangle
// chooser may drop the texture and texture-varies bits.
#pragma once
#include <cstdint>

typedef uint32_t GlShadeFlags;

constexpr GlShadeFlags kGlShadeRgba = 0x1;
constexpr GlShadeFlags kGlShadeSmooth = 0x2;
constexpr GlShadeFlags kGlShadeDepthTest = 0x4;
constexpr GlShadeFlags kGlShadeTexture = 0x8;
constexpr GlShadeFlags kGlShadePolygonStipple = 0x10;
constexpr GlShadeFlags kGlShadeStencilTest = 0x20;
constexpr GlShadeFlags kGlShadeDither = 0x40;
constexpr GlShadeFlags kGlShadeLogicOp = 0x80;
constexpr GlShadeFlags kGlShadeBlend = 0x100;
constexpr GlShadeFlags kGlShadeAlphaTest = 0x200;
constexpr GlShadeFlags kGlShadeTwoSided = 0x400;
constexpr GlShadeFlags kGlShadeColorMask = 0x800;
constexpr GlShadeFlags kGlShadeFog = 0x1000;
constexpr GlShadeFlags kGlShadeDepthIterate = 0x4000;
constexpr GlShadeFlags kGlShadeLineStipple = 0x8000;
constexpr GlShadeFlags kGlShadeCull = 0x10000;
constexpr GlShadeFlags kGlShadeSmoothColors = 0x20000;
constexpr GlShadeFlags kGlShadeOffsetPoint = 0x40000;
constexpr GlShadeFlags kGlShadeOffsetLine = 0x80000;
constexpr GlShadeFlags kGlShadePolygonOffset = 0x100000;  // offset of filled polygons
constexpr GlShadeFlags kGlShadeFrontClip = 0x400000;
constexpr GlShadeFlags kGlShadePerspectiveTex = 0x2000000;
constexpr GlShadeFlags kGlShadeMipmap = 0x4000000;
// With kGlShadePerspectiveTex under GL_PERSPECTIVE_CORRECTION_HINT GL_NICEST: texture coordinates
// divided at every pixel and the level of detail formed at every fragment. Without it a perspective
// texture divides once per 16 pixels and steps the coordinates and the level in between.
constexpr GlShadeFlags kGlShadePerspectiveExact = 0x8000000;
