// The texture records the whole driver shares: a texture object, its mip levels, the texel
// layouts the levels are stored in and the colour table an object carries. The texture entries,
// the sampler, the pickers and the hardware back end all read them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <GL/gl.h>

struct GlContext;
struct GlMipLevel;
struct GlTextureObject;
struct GlTexelFormat;
struct GlTexLevelCopy;

// Reads the texel at (s, t) of slice r of a level as bytes R, G, B, A (the layout's channels).
typedef void (*GlTexelFetchProc)(GlMipLevel *level, GlTextureObject *tex, int32_t r, int32_t t, int32_t s,
                                 uint8_t *out);

// Packed-type codes of the device layouts (in the `type` word of a texel-format row).
constexpr GLenum kGlTexelR5G6B5 = 0;    // red in bits 11-15
constexpr GLenum kGlTexelX1R5G5B5 = 1;  // red in bits 10-14
constexpr GLenum kGlTexelA1R5G5B5 = 2;  // alpha in bit 15
constexpr GLenum kGlTexelA4R4G4B4 = 3;  // alpha in bits 12-15
constexpr GLenum kGlTexelA4X12 = 4;     // alpha in bits 12-15, the rest ignored
// The `format` word of the two-component luminance-then-alpha layout.
constexpr GLenum kGlTexelLuminanceAlphaFormat = 1;

// Row ids of the texel layouts.
enum GlTexelFormatId : int32_t {
    kGlTexelL8 = 0,
    kGlTexelL8A8 = 1,
    kGlTexelRgb8 = 2,
    kGlTexelRgb332 = 3,
    kGlTexelXrgb1555 = 4,
    kGlTexelRgb565 = 5,
    kGlTexelRgba8 = 6,
    kGlTexelRgba4444 = 7,
    kGlTexelArgb4444 = 8,
    kGlTexelRgba5551 = 9,
    kGlTexelArgb1555 = 10,
    kGlTexelA8 = 11,
    kGlTexelI8 = 12,
    kGlTexelIndex8 = 13,
    kGlTexelIndex16 = 14,
    kGlTexelA4 = 15,
    kGlTexelFormatCount = 16,
};

// One texel layout; the rows are constant data.
struct GlTexelFormat {
    int32_t id;
    int32_t zero;
    int32_t redBits, greenBits, blueBits, alphaBits, luminanceBits, intensityBits;
    int32_t bitsPerTexel;  // 8, 16, 24 or 32
    GLenum format;         // the pixel-path format the level is stored in
    GLenum type;           // a GL type, or a packed-type code above
    int32_t alignment;     // row alignment of the stored level
    GlTexelFetchProc fetch;        // levels without border
    GlTexelFetchProc fetchBorder;  // levels with a border of 1
    // [0]: a pixel-path stage appended to copies into the level; [1]: not read (a copy out of a
    // level starts with the fetch stage of its layout and base format). Null in every row.
    void *storeStage[2];
    uint32_t reserved[2];
};
static_assert(sizeof(GlTexelFormat) == 72);

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
    GlTexelFetchProc fetch;   // the row's fetch or fetchBorder; a do-nothing proc when empty
};
static_assert(sizeof(GlMipLevel) == 108);

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
static_assert(sizeof(GlColorTable) == 52);

typedef void (*GlTexObjProc)(GlContext *ctx);

// Stores (allocates and describes) one level; returns the image to copy texels into, or null.
typedef uint8_t *(*GlTexStoreLevelProc)(GlContext *ctx, GlTextureObject *tex, int32_t level, GLenum internalFormat,
                                        int32_t width, int32_t height, int32_t depth, int32_t border);
typedef void (*GlTexFreeLevelProc)(GlContext *ctx, GlTextureObject *tex, int32_t level);
// Copies texels described by `copy` into a level and marks the object for reload.
typedef void (*GlTexLevelCopyProc)(GlContext *ctx, const GlTexLevelCopy *copy, GlTextureObject *tex, int32_t level);

struct GlTextureObject {
    int32_t refCount;  // the name table's entry plus one per unit binding
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
    GlTexStoreLevelProc storeLevel;
    GlTexFreeLevelProc freeLevel;
    GlTexLevelCopyProc levelLoaded;  // after a client image was copied into a level
    GlTexLevelCopyProc levelCopied;  // after a frame-buffer image was copied into a level
    // The sampling procs the texture picker writes.
    GlTexObjProc apply, env, magnify, minify, sampleLinear, sampleNearest;
    const GlTexelFormat *lastTexelFormat;
    uint8_t consistencyDirty, consistent;
    uint8_t reserved1[2];
    int32_t kind;  // 0 1-D, 1 2-D, 2 1-D proxy, 3 2-D proxy
    int32_t reloadArg;
    int32_t reload;
    void *hwBlock;  // the hardware back end's block; its first byte is the flags byte
};
static_assert(sizeof(GlTextureObject) == 200);
static_assert(offsetof(GlTextureObject, colorTable) == 80 && offsetof(GlTextureObject, kind) == 184);

// The texel layouts by id (0-15) and the two internal-format choosers: the software rows for
// bordered levels, the device rows for levels without border. Null for an internal format
// neither accepts; the base format is written through the out argument.
const GlTexelFormat *__glTexelFormat(int32_t id);
const GlTexelFormat *__glChooseTexelFormat(GLenum internalFormat, GLenum *baseFormat);
const GlTexelFormat *__glChooseDeviceTexelFormat(GLenum internalFormat, GLenum *baseFormat);
