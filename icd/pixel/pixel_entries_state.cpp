// The life of the pixel state: defaults at context reset, the plain byte tables, and the release
// of every table at context destruction.
#include "icd/pixel/pixel_state.h"
#include "icd/core/context.h"
#include "icd/core/core.h"

namespace {

void freeBlock(GlContext *ctx, float *&table) {
    if (table != nullptr) ctx->hostProcs.free(ctx, table);
    table = nullptr;
}

float *allocTable(GlContext *ctx) { return static_cast<float *>(ctx->hostProcs.alloc(ctx, 256 * sizeof(float))); }


}  // namespace

uint32_t __glPixelIndexMask(GlContext *ctx) {
    const GlColorBuffer &cb = ctx->buffers.color.front;
    if (ctx->visual.colorIndexMode && cb.redMax != 0) return uint32_t(cb.redMax);
    int32_t bits = ctx->visual.indexBits;
    if (bits <= 0 || bits >= 32) return 0xFFFFFFFFu;
    return (1u << bits) - 1u;
}

bool __glSetDefaultPixelMap(GlContext *ctx, GLenum map) {
    uint32_t m = map - GL_PIXEL_MAP_I_TO_I;
    if (m >= uint32_t(kGlPixelMapCount)) {
        __glSetError(GL_INVALID_ENUM);
        return false;
    }
    GlPixelMap &pm = ctx->state.pixel.maps.maps[m];
    void *table = ctx->hostProcs.alloc(ctx, sizeof(int32_t));
    if (table == nullptr) {
        // The size always describes the table that exists, so no reader walks a missing one.
        if (pm.table.p == nullptr) pm.size = 0;
        __glSetError(GL_OUT_OF_MEMORY);
        return false;
    }
    if (pm.table.p != nullptr) ctx->hostProcs.free(ctx, pm.table.p);
    pm.table.p = table;
    if (m <= kGlMapSToS) pm.table.i[0] = 0;
    else pm.table.f[0] = 0.0f;
    pm.size = 1;
    return true;
}

bool __glBuildPixelByteTables(GlContext *ctx) {
    GlPixelTables &t = ctx->state.pixel.tables;
    float **tables[5] = {&t.ubyteRed, &t.ubyteGreen, &t.ubyteBlue, &t.ubyteAlpha, &t.ubyteIndex};
    for (float **table : tables) {
        if (*table == nullptr) *table = allocTable(ctx);
        if (*table == nullptr) {
            __glSetError(GL_OUT_OF_MEMORY);
            return false;
        }
    }
    // Byte i is i / 255 of the client's range: entry i = i x units / 255 in the table's units.
    const uint32_t indexMask = __glPixelIndexMask(ctx);
    for (int i = 0; i < 256; ++i) {
        for (int c = 0; c < 4; ++c) (*tables[c])[i] = float(double(i) * double(t.tableUnits[c]) / 255.0);
        t.ubyteIndex[i] = float(uint32_t(i) & indexMask);
    }
    t.rgbaValid = 0;
    return true;
}

bool __glUsePixelTableUnits(GlContext *ctx, const float units[4]) {
    GlPixelTables &t = ctx->state.pixel.tables;
    bool same = t.ubyteRed != nullptr && t.ubyteIndex != nullptr;
    for (int k = 0; k < 4; ++k) same = same && t.tableUnits[k] == units[k];
    if (same) return true;
    for (int k = 0; k < 4; ++k) t.tableUnits[k] = units[k];
    t.indexToRGBAValid = 0;
    return __glBuildPixelByteTables(ctx);
}

void __glInvalidatePixelTables(GlContext *ctx) {
    GlPixelTables &t = ctx->state.pixel.tables;
    t.rgbaValid = 0;
    t.indexValid = 0;
    t.indexToRGBAValid = 0;
}

void __glInitPixelState(GlContext *ctx) {
    GlPixelState &p = ctx->state.pixel;
    GlPixelTransferState &x = p.transfer;
    x.redScale = x.greenScale = x.blueScale = x.alphaScale = x.depthScale = 1.0f;
    x.redBias = x.greenBias = x.blueBias = x.alphaBias = x.depthBias = 0.0f;
    x.zoomX = x.zoomY = 1.0f;
    x.indexShift = x.indexOffset = 0;
    x.mapColor = x.mapStencil = 0;
    for (int m = 0; m < kGlPixelMapCount; ++m) __glSetDefaultPixelMap(ctx, GL_PIXEL_MAP_I_TO_I + GLenum(m));
    p.store.pack = GlPixelStoreModes{};
    p.store.unpack = GlPixelStoreModes{};
    p.store.pack.alignment = p.store.unpack.alignment = 4;
    p.readBuffer = p.readBufferRequested = ctx->visual.doubleBuffer ? GL_BACK : GL_FRONT;
    // Until a glDrawPixels names its buffer, the tables are in the context's colour units.
    const GlColorScales &s = ctx->scales;
    const float units[4] = {s.redScale, s.greenScale, s.blueScale, s.alphaScale};
    for (int k = 0; k < 4; ++k) p.tables.tableUnits[k] = units[k];
    __glBuildPixelByteTables(ctx);
    __glInvalidatePixelTables(ctx);
}

void __glFreePixelState(GlContext *ctx) {
    GlPixelState &p = ctx->state.pixel;
    for (GlPixelMap &m : p.maps.maps) {
        if (m.table.p != nullptr) ctx->hostProcs.free(ctx, m.table.p);
        m.table.p = nullptr;
        m.size = 0;
    }
    GlPixelTables &t = p.tables;
    float **all[] = {&t.ubyteRed,       &t.ubyteGreen,     &t.ubyteBlue,      &t.ubyteAlpha,     &t.ubyteIndex,
                     &t.rgba[0],        &t.rgba[1],        &t.rgba[2],        &t.rgba[3],        &t.indexToIndex,
                     &t.indexToRGBA[0], &t.indexToRGBA[1], &t.indexToRGBA[2], &t.indexToRGBA[3]};
    for (float **table : all) freeBlock(ctx, *table);
    t.currentIndex = t.currentRed = t.currentGreen = t.currentBlue = t.currentAlpha = nullptr;
    __glInvalidatePixelTables(ctx);
}
