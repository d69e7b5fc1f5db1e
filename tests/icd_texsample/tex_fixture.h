// A texture object and its mip levels built by hand in test memory: levels of any texel layout,
// texels written by element, the sampling procs chosen as the texture picker chooses them.
#pragma once
#include <cmath>
#include <cstring>
#include <vector>
#include "icd/core/pick.h"
#include "icd/raster/tex_fetch.h"
#include "icd/raster/tex_sample.h"

// Bytes of one texel by texel-layout row.
constexpr int kTexelBytes[kGlTexelLayoutCount] = {1, 2, 3, 1, 2, 2, 4, 2, 2, 2, 2, 1, 1, 1, 2, 2};

inline void noTexel(GlMipLevel *, GlTextureObject *, int32_t, int32_t, int32_t, uint8_t *) {}

struct HandTexture {
    static constexpr int kLevels = 11;
    GlTextureObject tex{};
    GlMipLevel level[kLevels]{};
    GlMipLevel *levels[kLevels];
    std::vector<uint8_t> images[kLevels];

    HandTexture() {
        for (int i = 0; i < kLevels; ++i) {
            levels[i] = &level[i];
            level[i].fetch = noTexel;
            level[i].requestedFormat = 1;
        }
        tex.levels = levels;
        tex.levelCount = kLevels;
        tex.wrapS = tex.wrapT = GL_REPEAT;
        tex.minFilter = tex.magFilter = GL_NEAREST;
        tex.dimensions = 2;
        tex.lodThreshold = 1.0f;
    }

    // Level i: inner w x h texels of layout `row` and base format `base`, with a border of 0 or 1.
    // A one-dimensional level has one inner row (h = 1).
    uint8_t *define(int i, int w, int h, int row, GLenum base, int border = 0) {
        GlMipLevel &l = level[i];
        l.width = w + 2 * border;
        l.height = h + 2 * border;
        l.depth = 1;
        l.area = l.width * l.height;
        l.innerWidth = w;
        l.innerHeight = h;
        l.innerDepth = 1;
        l.innerWidthF = float(w);
        l.innerHeightF = float(h);
        l.innerDepthF = 1.0f;
        l.log2Width = int32_t(std::log2(double(w)));
        l.log2Height = int32_t(std::log2(double(h)));
        l.border = border;
        l.baseFormat = int32_t(base);
        l.requestedFormat = int32_t(base);
        l.texelFormatId = row;
        l.fetch = border ? __glTexelFetchProcs[row].fetchBorder : __glTexelFetchProcs[row].fetch;
        images[i].assign(size_t(kTexelBytes[row]) * size_t(l.area), 0);
        l.image = images[i].data();
        if (i == 0) tex.level0BaseFormat = base;
        return l.image;
    }

    // Writes the texel at inner column x, row y of level i (x or y -1 reach the border).
    void put(int i, int x, int y, uint32_t texel) {
        GlMipLevel &l = level[i];
        const int bytes = kTexelBytes[l.texelFormatId];
        const size_t index = size_t(y + l.border) * size_t(l.width) + size_t(x + l.border);
        std::memcpy(l.image + index * size_t(bytes), &texel, size_t(bytes));
    }
    void fill(int i, uint32_t texel) {
        for (int y = 0; y < level[i].innerHeight; ++y)
            for (int x = 0; x < level[i].innerWidth; ++x) put(i, x, y, texel);
    }

    // The procs the texture picker gives these filters and this environment.
    void choose(GLenum min, GLenum mag, GLenum env = GL_REPLACE) {
        tex.minFilter = min;
        tex.magFilter = mag;
        const GlTexturePick p = __glChooseTextureProcs(min, mag, tex.dimensions, env, tex.level0BaseFormat);
        tex.apply = p.apply;
        tex.lodThreshold = p.lodThreshold;
        tex.env = p.env;
        tex.sampleNearest = p.sampleNearest;
        tex.sampleLinear = p.sampleLinear;
        tex.minify = p.minify;
        tex.magnify = p.magnify;
    }
};
