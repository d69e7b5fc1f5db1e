// The pixel state of a context: pixel-transfer scales, biases, index shift and offset, zoom, the
// ten pixel maps, the pack and unpack modes, the read buffer, and the lookup block that the
// pixel spans and the byte renderers read.
//
// The records are plain data so that the attribute stacks can copy them:
// - GL_PIXEL_MODE_BIT saves GlPixelTransferState and the two read-buffer words (the maps are a
//   record of their own and belong to no attribute group);
// - GL_CLIENT_PIXEL_STORE_BIT saves GlPixelStoreState.
#pragma once
#include <cstdint>
#include <cstddef>
#include <GL/gl.h>

struct GlContext;

// Scales, biases, zoom, index shift/offset and the map flags.
struct GlPixelTransferState {
    float redScale, greenScale, blueScale, alphaScale, depthScale;
    float redBias, greenBias, blueBias, alphaBias, depthBias;
    float zoomX, zoomY;
    int32_t indexShift, indexOffset;
    uint8_t mapColor, mapStencil;
    uint8_t reserved[2];
};

constexpr int kGlPixelMapCount = 10;
// Map numbers: the map enum minus GL_PIXEL_MAP_I_TO_I.
constexpr int kGlMapIToI = 0, kGlMapSToS = 1, kGlMapIToR = 2, kGlMapIToG = 3, kGlMapIToB = 4, kGlMapIToA = 5,
              kGlMapRToR = 6, kGlMapGToG = 7, kGlMapBToB = 8, kGlMapAToA = 9;

// One pixel map: I_TO_I and S_TO_S hold int32 entries, the others floats in [0, 1]. The table is
// a block of size x 4 bytes from the context allocator. A map always has a table of at least one
// entry once the pixel state is initialised.
struct GlPixelMap {
    int32_t size;
    union {
        float *f;
        int32_t *i;
        void *p;
    } table;
};

struct GlPixelMapState {
    GlPixelMap maps[kGlPixelMapCount];
};

// One direction of the pixel-store modes, in the order of the GL_*_SWAP_BYTES ..
// GL_*_ALIGNMENT names.
struct GlPixelStoreModes {
    uint8_t swapBytes, lsbFirst;
    uint8_t reserved[2];
    int32_t rowLength, skipRows, skipPixels, alignment;
};

struct GlPixelStoreState {
    GlPixelStoreModes pack, unpack;
};

// The per-context lookup block. The tables are 256 floats each, allocated on first use and freed
// with the pixel state.
struct GlPixelTables {
    // Which transfer operations are active (set by the pixel-proc validation).
    uint8_t transferRGBA, transferIndex, transferDepth, transferStencil;
    // The transfer of (0, 0, 0, 1) in [0, 1]: fills the components a format lacks.
    float transferredColor[4];
    // Plain unsigned-byte tables: entry i = i x maximum / 255 (red, green, blue, alpha) and
    // i AND index mask (index).
    float *ubyteRed, *ubyteGreen, *ubyteBlue, *ubyteAlpha, *ubyteIndex;
    // The tables the byte renderers read for the current operation (chosen per operation).
    float *currentIndex, *currentRed, *currentGreen, *currentBlue, *currentAlpha;
    // Tables with the pixel transfer applied, built on demand while their valid byte is 0.
    uint8_t rgbaValid;
    uint8_t reserved0[3];
    float *rgba[4];
    uint8_t indexValid;
    uint8_t reserved1[3];
    float *indexToIndex;
    uint8_t indexToRGBAValid;
    uint8_t reserved2[3];
    float *indexToRGBA[4];
    // The colour units (R, G, B, A) the byte tables ubyteRed..ubyteAlpha, rgba and indexToRGBA
    // hold their values in: the channel maxima of the buffer last drawn into.
    float tableUnits[4];
};

// The pixel area of the context's state.
struct GlPixelState {
    GlPixelTransferState transfer;
    GlPixelMapState maps;
    GlPixelStoreState store;
    GLenum readBuffer;           // the buffer read: GL_FRONT, GL_BACK or GL_AUXi
    GLenum readBufferRequested;  // the enum last given to glReadBuffer
    GlPixelTables tables;
};

// Lifecycle (the context reset and destruction call these; declared in services.h as well).
void __glInitPixelState(GlContext *ctx);
void __glFreePixelState(GlContext *ctx);
// Gives map (a GL_PIXEL_MAP_* enum) a one-entry table holding 0 and size 1. Returns false (and
// records GL_OUT_OF_MEMORY) when the table cannot be allocated; the map then has size 0 and no
// table. A map enum out of range records GL_INVALID_ENUM.
bool __glSetDefaultPixelMap(GlContext *ctx, GLenum map);
// Allocates (once) and fills the five unsigned-byte tables from the colour maxima and the index
// mask, and marks the RGBA transfer tables stale. False when the tables cannot be allocated.
bool __glBuildPixelByteTables(GlContext *ctx);
// Makes the byte tables hold values in `units` (the colour units of a glDrawPixels): rebuilds the
// plain tables and drops the transferred ones when they were built for other units. False (and
// GL_OUT_OF_MEMORY) when a table cannot be had.
bool __glUsePixelTableUnits(GlContext *ctx, const float units[4]);
// The index mask the pixel path applies to colour indices (the colour buffer's, else the
// visual's index bits).
uint32_t __glPixelIndexMask(GlContext *ctx);
// The transfer tables, built on demand by the chooser while their valid byte is 0: each
// allocates its tables when absent, fills them from the transfer state and the maps, and sets
// its valid byte. False (GL_OUT_OF_MEMORY recorded, valid byte left 0) when a table cannot be
// allocated.
bool __glBuildUbyteTransferTables(GlContext *ctx, GlPixelTables *tables);
bool __glBuildIndexTransferTable(GlContext *ctx, GlPixelTables *tables);
bool __glBuildIndexToRGBATables(GlContext *ctx, GlPixelTables *tables);
// Pixel-path validation: the four transfer flags, the constant transferred colour, and the
// tables the new state makes stale.
void __glComputePixelTransferFlags(GlContext *ctx);
// Marks every transfer table stale (they are rebuilt by the next operation that needs them).
void __glInvalidatePixelTables(GlContext *ctx);

// Argument checks of the pixel-rectangle entries. Each records the error and returns false when
// the arguments are refused. glCopyPixels' check also maps its type (GL_COLOR, GL_DEPTH,
// GL_STENCIL) to the pixel format it copies.
bool __glCheckDrawPixelArgs(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type);
bool __glCheckReadPixelArgs(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type);
bool __glCheckCopyPixelArgs(GlContext *ctx, GLsizei width, GLsizei height, GLenum type, GLenum *format);
