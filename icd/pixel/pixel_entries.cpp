// The GL entries that set pixel state (store modes, zoom, transfer, maps, read buffer) and the
// argument checks of the pixel-rectangle entries.
#include "icd/pixel/pixel_state.h"
#include "icd/pixel/pixel_span.h"
#include "icd/core/context.h"
#include "icd/core/gl_entries.h"
#include "icd/core/state_entries_util.h"

using namespace glstate;

namespace {

// Half away from zero, saturated to int32 (NaN gives 0).
inline int32_t roundHalfAway(double v) { return truncToInt(v >= 0.0 ? v + 0.5 : v - 0.5); }

inline bool powerOfTwo(GLint n) { return n > 0 && (n & (n - 1)) == 0; }

inline bool indexMap(uint32_t m) { return m <= uint32_t(kGlMapIToA); }
inline bool integerMap(uint32_t m) { return m <= uint32_t(kGlMapSToS); }

// Pixel state changed: validation runs before the next drawing call, and the byte tables built
// from the old state are not used again.
void pixelChanged(GlContext *ctx) {
    __glInvalidatePixelTables(ctx);
    markDirty(ctx, kGlDirtyPixel);
}

template <typename T>
void pixelMap(GLenum map, GLint mapsize, const T *values) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    const uint32_t m = map - GL_PIXEL_MAP_I_TO_I;
    if (m >= uint32_t(kGlPixelMapCount)) return __glSetError(GL_INVALID_ENUM);
    // The table limit keeps the byte count of the new table in range.
    const bool sizeOk = indexMap(m) ? powerOfTwo(mapsize) : mapsize >= 0;
    if (!sizeOk || mapsize > ctx->limits.maxPixelMapTable) return __glSetError(GL_INVALID_VALUE);
    GlPixelMap &pm = ctx->state.pixel.maps.maps[m];
    if (mapsize == 0) {
        __glSetDefaultPixelMap(ctx, map);
        return pixelChanged(ctx);
    }
    // The new table is allocated before the old one goes, so a failure keeps the old map.
    void *block = ctx->hostProcs.alloc(ctx, size_t(mapsize) * 4);
    if (block == nullptr) return __glSetError(GL_OUT_OF_MEMORY);
    if (pm.table.p != nullptr) ctx->hostProcs.free(ctx, pm.table.p);
    pm.table.p = block;
    pm.size = mapsize;
    for (GLint i = mapsize - 1; i >= 0; --i) {
        const T v = values[i];
        if (integerMap(m)) {
            if constexpr (std::is_same_v<T, GLfloat>) pm.table.i[i] = roundHalfAway(v);
            else pm.table.i[i] = int32_t(v);
        } else if constexpr (std::is_same_v<T, GLfloat>) {
            pm.table.f[i] = clampTo(v, 0.0f, 1.0f);
        } else if constexpr (std::is_same_v<T, GLuint>) {
            // (2^32 - 1) x the reciprocal rounds a little above 1.0; the map stays in [0, 1].
            const float f = float(v) * ctx->oneOverUint;
            pm.table.f[i] = f > 1.0f ? 1.0f : f;
        } else {
            pm.table.f[i] = float(v) * ctx->oneOver65535;
        }
    }
    pixelChanged(ctx);
}

bool isColorFormat(GLenum format) {
    return (format >= GL_RED && format <= GL_LUMINANCE_ALPHA) || format == kGlFormatABGR || format == kGlFormatBGR ||
           format == kGlFormatBGRA;
}

// The type half of the draw and read checks; `bitmapError` is the error of GL_BITMAP with a
// format that is not an index.
bool checkType(GLenum format, GLenum type, GLenum bitmapError) {
    if (type >= GL_BYTE && type <= GL_FLOAT) return true;
    if (type == GL_BITMAP) {
        if (format == GL_COLOR_INDEX || format == GL_STENCIL_INDEX) return true;
        __glSetError(bitmapError);
        return false;
    }
    if (type == kGlUnsignedByte332) {
        if (format == GL_RGB || format == kGlFormatBGR) return true;
        __glSetError(GL_INVALID_OPERATION);
        return false;
    }
    if (type >= kGlUnsignedShort4444 && type <= kGlUnsignedInt1010102) {
        if (format == GL_RGBA || format == kGlFormatABGR || format == kGlFormatBGRA) return true;
        __glSetError(GL_INVALID_OPERATION);
        return false;
    }
    __glSetError(GL_INVALID_ENUM);
    return false;
}

bool refuse(GLenum error) {
    __glSetError(error);
    return false;
}

}  // namespace

bool __glCheckDrawPixelArgs(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type) {
    if (width < 0 || height < 0) return refuse(GL_INVALID_VALUE);
    if (format == GL_STENCIL_INDEX) {
        if (ctx->visual.stencilBits <= 0) return refuse(GL_INVALID_OPERATION);
    } else if (isColorFormat(format)) {
        if (ctx->visual.colorIndexMode) return refuse(GL_INVALID_OPERATION);
    } else if (format != GL_COLOR_INDEX && format != GL_DEPTH_COMPONENT) {
        return refuse(GL_INVALID_ENUM);
    }
    return checkType(format, type, GL_INVALID_ENUM);
}

bool __glCheckReadPixelArgs(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type) {
    if (width < 0 || height < 0) return refuse(GL_INVALID_VALUE);
    if (format == GL_COLOR_INDEX) {
        if (ctx->visual.rgbaMode) return refuse(GL_INVALID_OPERATION);
    } else if (format == GL_STENCIL_INDEX) {
        if (ctx->visual.stencilBits <= 0) return refuse(GL_INVALID_OPERATION);
    } else if (format == GL_DEPTH_COMPONENT) {
        if (ctx->visual.depthBits <= 0) return refuse(GL_INVALID_OPERATION);
    } else if (!isColorFormat(format)) {
        return refuse(GL_INVALID_ENUM);
    }
    return checkType(format, type, GL_INVALID_OPERATION);
}

bool __glCheckCopyPixelArgs(GlContext *ctx, GLsizei width, GLsizei height, GLenum type, GLenum *format) {
    if (width < 0 || height < 0) return refuse(GL_INVALID_VALUE);
    switch (type) {
    case GL_COLOR:
        *format = ctx->visual.rgbaMode ? GL_RGBA : GL_COLOR_INDEX;
        return true;
    case GL_DEPTH:
        if (ctx->visual.depthBits <= 0) return refuse(GL_INVALID_OPERATION);
        *format = GL_DEPTH_COMPONENT;
        return true;
    case GL_STENCIL:
        if (ctx->visual.stencilBits <= 0) return refuse(GL_INVALID_OPERATION);
        *format = GL_STENCIL_INDEX;
        return true;
    default:
        return refuse(GL_INVALID_ENUM);
    }
}

namespace icd {

void APIENTRY glPixelStorei(GLenum pname, GLint param) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlPixelStoreState &s = ctx->state.pixel.store;
    GlPixelStoreModes *modes;
    if (pname >= GL_PACK_SWAP_BYTES && pname <= GL_PACK_ALIGNMENT) modes = &s.pack;
    else if (pname >= GL_UNPACK_SWAP_BYTES && pname <= GL_UNPACK_ALIGNMENT) modes = &s.unpack;
    else return __glSetError(GL_INVALID_ENUM);
    switch (pname & 0xF) {
    case 0:
        modes->swapBytes = param != 0;
        break;
    case 1:
        modes->lsbFirst = param != 0;
        break;
    case 5:
        if (param != 1 && param != 2 && param != 4 && param != 8) return __glSetError(GL_INVALID_VALUE);
        modes->alignment = param;
        break;
    default: {  // row length, skip rows, skip pixels
        if (param < 0) return __glSetError(GL_INVALID_VALUE);
        int32_t *field[3] = {&modes->rowLength, &modes->skipRows, &modes->skipPixels};
        *field[(pname & 0xF) - 2] = param;
        break;
    }
    }
    markDirty(ctx, kGlDirtyPixel);
}

void APIENTRY glPixelStoref(GLenum pname, GLfloat param) {
    switch (pname) {
    case GL_PACK_SWAP_BYTES:
    case GL_PACK_LSB_FIRST:
    case GL_UNPACK_SWAP_BYTES:
    case GL_UNPACK_LSB_FIRST:
        return glPixelStorei(pname, param != 0.0f ? 1 : 0);
    case GL_PACK_ROW_LENGTH:
    case GL_PACK_SKIP_ROWS:
    case GL_PACK_SKIP_PIXELS:
    case GL_PACK_ALIGNMENT:
    case GL_UNPACK_ROW_LENGTH:
    case GL_UNPACK_SKIP_ROWS:
    case GL_UNPACK_SKIP_PIXELS:
    case GL_UNPACK_ALIGNMENT:
        return glPixelStorei(pname, roundHalfAway(param));
    default:
        return glPixelStorei(pname, truncToInt(param));
    }
}

void APIENTRY glPixelZoom(GLfloat xfactor, GLfloat yfactor) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    // Zooms are kept on the window-coordinate grid, so that a zoomed rectangle's edges fall
    // where the rasteriser's do.
    const double p = ctx->roundingEpsilon > 0.0f ? ctx->roundingEpsilon : 1.0;
    GlPixelTransferState &x = ctx->state.pixel.transfer;
    x.zoomX = float(p * double(roundHalfAway(double(xfactor) / p)));
    x.zoomY = float(p * double(roundHalfAway(double(yfactor) / p)));
    markDirty(ctx, kGlDirtyPixel);
}

void APIENTRY glPixelTransferf(GLenum pname, GLfloat param) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlPixelTransferState &x = ctx->state.pixel.transfer;
    float *value = nullptr;
    switch (pname) {
    case GL_MAP_COLOR:
        x.mapColor = nonZero(param);
        break;
    case GL_MAP_STENCIL:
        x.mapStencil = nonZero(param);
        break;
    case GL_INDEX_SHIFT:
        x.indexShift = roundHalfAway(param);
        break;
    case GL_INDEX_OFFSET:
        x.indexOffset = roundHalfAway(param);
        break;
    case GL_RED_SCALE: value = &x.redScale; break;
    case GL_RED_BIAS: value = &x.redBias; break;
    case GL_GREEN_SCALE: value = &x.greenScale; break;
    case GL_GREEN_BIAS: value = &x.greenBias; break;
    case GL_BLUE_SCALE: value = &x.blueScale; break;
    case GL_BLUE_BIAS: value = &x.blueBias; break;
    case GL_ALPHA_SCALE: value = &x.alphaScale; break;
    case GL_ALPHA_BIAS: value = &x.alphaBias; break;
    case GL_DEPTH_SCALE: value = &x.depthScale; break;
    case GL_DEPTH_BIAS: value = &x.depthBias; break;
    default:
        return __glSetError(GL_INVALID_ENUM);
    }
    if (value != nullptr) *value = param;
    pixelChanged(ctx);
}

void APIENTRY glPixelTransferi(GLenum pname, GLint param) { glPixelTransferf(pname, float(param)); }

void APIENTRY glPixelMapfv(GLenum map, GLint mapsize, const GLfloat *values) { pixelMap(map, mapsize, values); }
void APIENTRY glPixelMapuiv(GLenum map, GLint mapsize, const GLuint *values) { pixelMap(map, mapsize, values); }
void APIENTRY glPixelMapusv(GLenum map, GLint mapsize, const GLushort *values) { pixelMap(map, mapsize, values); }

void APIENTRY glReadBuffer(GLenum mode) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    const GlVisual &v = ctx->visual;
    GLenum resolved;
    switch (mode) {
    case GL_FRONT:
    case GL_FRONT_LEFT:
    case GL_LEFT:
        resolved = GL_FRONT;
        break;
    case GL_BACK:
    case GL_BACK_LEFT:
        if (!v.doubleBuffer) return __glSetError(GL_INVALID_OPERATION);
        resolved = GL_BACK;
        break;
    case GL_FRONT_RIGHT:
    case GL_BACK_RIGHT:
    case GL_RIGHT:
        return __glSetError(GL_INVALID_OPERATION);
    default:
        // No visual has auxiliary buffers, so every one of them is absent.
        if (mode >= GL_AUX0 && mode <= GL_AUX3) return __glSetError(GL_INVALID_OPERATION);
        return __glSetError(GL_INVALID_ENUM);
    }
    ctx->state.pixel.readBuffer = resolved;
    ctx->state.pixel.readBufferRequested = mode;
    markDirty(ctx, kGlDirtyPixel);
}

}  // namespace icd
