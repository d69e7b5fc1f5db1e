// The texture records the whole driver shares: a texture object, its mip levels and the colour
// table it carries. The texture entries, the sampler, the pickers and the hardware back end all
// read them.
#pragma once
#include <cstdint>
#include <GL/gl.h>

struct GlContext;
struct GlTexelFormat;

struct GlMipLevel {
    uint8_t *image;           // rows bottom first; null when the level is empty
    uint8_t *convertedImage;  // optional copy in the colour buffer's layout
    int32_t width, height, depth;  // border included
    int32_t area;
    int32_t innerWidth, innerHeight, innerDepth;
    float innerWidthF, innerHeightF, innerDepthF;
    int32_t log2Width, log2Height, log2Depth;
    int32_t border;
    int32_t requestedFormat;  // 1 in an empty level
    int32_t baseFormat;
    int32_t texelFormatId;
    const GlTexelFormat *texelFormat;
    int32_t redBits, greenBits, blueBits, alphaBits, luminanceBits, intensityBits;
    void (*fetch)(GlMipLevel *level, struct GlTextureObject *tex, int32_t r, int32_t t, int32_t s, uint8_t *out);
};

struct GlColorTable {
    GLenum target;
    uint8_t *entries;
    GLenum internalFormat;
    GLenum type;
    int32_t width;
    int32_t redBits, greenBits, blueBits, alphaBits, luminanceBits, intensityBits;
    GLenum baseFormat;
    int32_t components;
};

typedef void (*GlTexObjProc)(GlContext *ctx);

struct GlTextureObject {
    int32_t refCount;
    GlContext *owner;
    GLenum wrapS, wrapT;
    GLenum minFilter, magFilter;
    float borderColor[4];
    GLuint name;
    float priority;
    int32_t levelCount;
    GlMipLevel **levels;
    void (*destroy)(GlContext *ctx, GlTextureObject *tex);
    int32_t (*reloadHook)(GlContext *ctx, GlTextureObject *tex, int32_t arg);
    uint32_t reserved0;
    int32_t dimensions;
    int32_t maxLevel;
    float lodThreshold;
    GlColorTable colorTable;
    GLenum level0BaseFormat;
    GlTexObjProc storeLevel, freeLevel, levelLoaded, levelCopied;
    // The sampling procs the texture picker writes.
    GlTexObjProc apply, env, magnify, minify, sampleLinear, sampleNearest;
    const GlTexelFormat *lastTexelFormat;
    uint8_t consistencyDirty, consistent;
    uint8_t reserved1[2];
    int32_t kind;  // 0 1-D, 1 2-D, 2 1-D proxy, 3 2-D proxy
    int32_t reloadArg;
    int32_t reload;
    void *hwBlock;
};
