// Creation, initialisation, soft reset and destruction of contexts, and the screen context
// that serves threads with no context of their own.
#include "icd/vertex/color_units.h"
#include <bit>
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/drawable.h"
#include "icd/core/attrib.h"

namespace {
constexpr float floatFromBits(uint32_t bits) { return std::bit_cast<float>(bits); }

const char kExtensions[] =
    "GL_EXT_abgr GL_EXT_bgra GL_EXT_compiled_vertex_array GL_EXT_cull_vertex GL_EXT_packed_pixels "
    "GL_EXT_point_parameters GL_EXT_vertex_array GL_SGI_compiled_vertex_array GL_SGI_cull_vertex "
    "GL_WIN_swap_hint WGL_ZORVEK_gamma_control ";

void setLimits(GlContext *ctx, bool screen) {
    GlLimits &l = ctx->limits;
    l.maxLights = 8;
    l.maxClipPlanes = 6;
    l.textureBindingWords[0] = 1;
    l.textureBindingWords[1] = 1;
    l.textureBindingWords[2] = 2;
    l.textureBindingWords[3] = 2;
    l.maxViewportWidth = l.maxViewportHeight = 2048;
    l.biasX = l.biasY = 6144;
    l.biasXf = l.biasYf = 6144.0f;
    l.subpixelBits = 3;
    l.textureLevels[0] = l.textureLevels[1] = 11;
    l.maxListNesting = 64;
    l.pointSizeMin = screen ? 0.5f : 1.0f;
    l.pointSizeMax = screen ? 10.0f : 64.0f;
    l.pointSizeGranularity = screen ? 0.125f : 0.5f;
    l.lineWidthMin = 0.5f;
    l.lineWidthMax = 10.0f;
    l.lineWidthGranularity = 0.125f;
    l.maxEvalOrder = 30;
    l.maxPixelMapTable = 65536;
    l.maxAttribStackDepth = l.maxClientAttribStackDepth = 16;
    l.maxNameStackDepth = 128;
    l.maxModelViewStackDepth = 32;
    l.maxProjectionStackDepth = screen ? 2 : 4;
    l.maxTextureStackDepth = 10;

    // Colour units: the context's scales are kGlContextColorScale for every channel; a colour
    // buffer has its own channel maxima (31 for a 5-bit channel). The fragment colour factors
    // convert context units to buffer units once, at triangle, line and point set-up; the pixel
    // path converts between the client's [0, 1] and a buffer's maxima once each way
    // (__glSetPixelColorUnits). Every conversion says from which unit to which.
    GlColorScales &s = ctx->scales;
    s.redScale = s.greenScale = s.blueScale = s.alphaScale = kGlContextColorScale;
    int d = ctx->visual.depthBits;
    if (screen || d <= 0)
        s.depthFraction = 1.0;
    else {
        double full = double(uint64_t(1) << (d > 32 ? 32 : d));
        s.depthFraction = (full - 1.0) / full;
    }
}

// The steps both kinds of context share: records, limits, list hooks, context procs.
GlContext *allocateContext(const GlHostProcTable *host, const GlVisual *visual, size_t size, bool screen) {
    GlContext *ctx = static_cast<GlContext *>(host->procs.calloc(nullptr, 1, size));
    if (ctx == nullptr) return nullptr;
    ctx->hostProcs = host->procs;
    ctx->handle = host->creatingHandle;
    ctx->visual = *visual;
    ctx->tail.self = ctx;
    ctx->tail.isScreenContext = screen;
    setLimits(ctx, screen);
    ctx->procs.loseCurrent = __glLoseCurrent;
    ctx->procs.makeCurrent = __glMakeCurrent;
    ctx->procs.share = __glShareContext;
    ctx->procs.resize = __glResizeContext;
    ctx->procs.lock = __glLockBuffers;
    ctx->procs.unlock = __glUnlockBuffers;
    return ctx;
}

template <class T>
bool take(GlContext *ctx, T *&field, size_t count, size_t size) {
    field = static_cast<T *>(ctx->hostProcs.calloc(ctx, count, size));
    return field != nullptr;
}

template <class T>
void drop(GlContext *ctx, T *&field) {
    ctx->hostProcs.free(ctx, const_cast<void *>(static_cast<const void *>(field)));
    field = nullptr;
}

bool initGrowable(GlContext *ctx, GlGrowableArray &a, int32_t elementSize) {
    a.capacity = 1000;
    a.count = 0;
    a.elementSize = elementSize;
    a.data = ctx->hostProcs.calloc(ctx, 1000, size_t(elementSize));
    return a.data != nullptr;
}

BOOL destroyScreenContext(GlContext *ctx) {
    __glDestroyContext(ctx);
    ctx->hostProcs.free(ctx, ctx);
    return TRUE;
}
}  // namespace

void __glNopProc(GlContext *) {}
void __glNotifySwap(GlContext *) {}

// Every allocation has a failure path: FALSE leaves the context for __glDestroyContext, which
// frees whatever was taken.
BOOL __glInitContext(GlContext *ctx) {
    ctx->half = 0.5f;
    ctx->one = 1.0f;
    ctx->limits.biasXf = float(ctx->limits.biasX);
    ctx->limits.biasYf = float(ctx->limits.biasY);
    ctx->procs.copy = __glCopyContext;
    ctx->procs.destroy = __glDestroyContext;
    ctx->procs.getDispatchTable = __glGetDispatchTable;
    ctx->procs.nop0 = __glNopProc;
    ctx->procs.nop1 = __glNopProc;
    ctx->slots.initNop[0] = __glNopProc;
    ctx->slots.initNop[1] = __glNopProc;
    GlArraysArea &a = ctx->arrays;
    int32_t lights = ctx->limits.maxLights;
    if (!take(ctx, a.lightSources, lights, 116) || !take(ctx, a.lights, lights, 256) ||
        !take(ctx, a.attribStack, 16, 4) || !take(ctx, a.clientAttribStack, 16, 4) ||
        !take(ctx, a.nameStack, 128, 4) || !take(ctx, ctx->tail.table2048a, 2048, 16) ||
        !take(ctx, ctx->tail.table2048b, 2048, 16) || !take(ctx, ctx->tail.table64, 64, 4))
        return FALSE;
    a.attribStackTop = a.attribStack;
    a.clientAttribStackTop = a.clientAttribStack;
    __glInitTextureState(ctx);
    if (ctx->state.texture.textureNames == nullptr || !__glAllocClipPlanes(ctx)) return FALSE;
    static const int32_t counts[5] = {4, 4, 4, 4, 10};
    static const int32_t sizes[5] = {1024, 256, 4096, 0x4000, 1024};
    for (int i = 0; i < 5; ++i) {
        ctx->codeCaches.entryCount[i] = counts[i];
        ctx->codeCaches.entrySize[i] = sizes[i];
    }
    ctx->codeCaches.scratchSize = 2048;
    __glOgCreateCodeCaches(ctx);
    if (!take(ctx, ctx->tail.block4160, 1, 4160) || !take(ctx, ctx->tail.bufferEntries, 40, 104) ||
        !take(ctx, ctx->tail.bufferBlock, 40, 3072))
        return FALSE;
    for (int i = 0; i < 40; ++i) {
        uint8_t *buffer = ctx->tail.bufferBlock + 3072 * i;
        std::memcpy(ctx->tail.bufferEntries + 104 * i, &buffer, sizeof(buffer));
    }
    if (!initGrowable(ctx, ctx->tail.words, 4) || !initGrowable(ctx, ctx->tail.pairs, 8)) return FALSE;
    __glInitListState(ctx);
    return ctx->state.list.listNames != nullptr;
}

GlContext *__glCreateContext(const GlHostProcTable *hostProcs, const GlVisual *visual) {
    GlContext *ctx = allocateContext(hostProcs, visual, kGlContextSize, false);
    if (ctx == nullptr) return nullptr;
    // A device that does not open still leaves a context; the flag tells the hardware paths.
    ctx->tail.hwPresent = __glHwOpenDevice(ctx) ? 1 : 0;
    ctx->tail.hwOpenFailed = !ctx->tail.hwPresent;
    if (!__glInitContext(ctx)) {
        __glDestroyContext(ctx);
        __glHwShutdown(ctx);
        ctx->hostProcs.free(ctx, ctx);
        return nullptr;
    }
    // Destruction shuts the device down and frees the record whether or not the context was
    // ever made current.
    ctx->procs.destroy = __glHwDestroyContext;
    HMODULE opengl32 = LoadLibraryA("opengl32.dll");
    if (opengl32 != nullptr) {
        ctx->tail.wglSwapBuffersAddress = reinterpret_cast<void *>(GetProcAddress(opengl32, "wglSwapBuffers"));
        FreeLibrary(opengl32);
    }
    __glInitRsqrtTable();
    return ctx;
}

GlContext *__glCreateScreenContext(const GlHostProcTable *hostProcs, const GlVisual *visual) {
    GlContext *ctx = allocateContext(hostProcs, visual, kGlScreenContextSize, true);
    if (ctx == nullptr) return nullptr;
    if (!__glInitContext(ctx)) {
        destroyScreenContext(ctx);
        return nullptr;
    }
    ctx->procs.destroy = destroyScreenContext;
    std::memcpy(&ctx->liveTable, &__glNopProcTable, sizeof(GlProcTable));
    std::memcpy(&ctx->compileTable, &__glNopProcTable, sizeof(GlProcTable));
    ctx->execTable = &ctx->liveTable;
    ctx->renderMode = GL_RENDER;
    return ctx;
}

void __glResetContext(GlContext *ctx) {
    ctx->vendor = "Sample";
    ctx->version = "1.1.0 Sample";
    ctx->renderer = __glOgCanUseMmx(ctx) ? "Generic/MMX" : "Generic";
    ctx->extensions = kExtensions;

    ctx->c255 = 255.0f;
    ctx->oneOver255 = floatFromBits(0x3B808081);
    ctx->c65535 = 65535.0f;
    ctx->oneOver65535 = floatFromBits(0x37800080);
    ctx->cUint = floatFromBits(0x4F7FFFF7);
    ctx->oneOverUint = floatFromBits(0x2F800005);
    GlColorScales &s = ctx->scales;
    if (s.indexRange == 0) s.indexRange = 256;
    s.indexScale = float(s.indexRange);
    s.oneOverRedScale = 1.0f / s.redScale;
    s.oneOverGreenScale = 1.0f / s.greenScale;
    s.oneOverBlueScale = 1.0f / s.blueScale;
    s.oneOverAlphaScale = 1.0f / s.alphaScale;
    auto maxOver = [](int bits, float scale) { return float((1u << (bits > 31 ? 31 : bits)) - 1u) / scale; };
    s.redMaxOverScale = maxOver(ctx->visual.redBits, s.redScale);
    s.greenMaxOverScale = maxOver(ctx->visual.greenBits, s.greenScale);
    s.blueMaxOverScale = maxOver(ctx->visual.blueBits, s.blueScale);
    s.alphaMaxOverScale = maxOver(ctx->visual.alphaBits, s.alphaScale);
    s.oneOverDepthFraction = 1.0 / s.depthFraction;
    for (int i = 0; i < 256; ++i) ctx->ubyteToFloat[i] = float(i) * ctx->oneOver255;

    // The smallest power of two that still moves a biased window coordinate, as a float.
    volatile float bias = ctx->limits.biasXf;
    float eps = 1.0f;
    for (;;) {
        volatile float moved = bias + eps * 0.5f;
        if (moved == bias) break;
        eps *= 0.5f;
    }
    ctx->roundingEpsilon = eps;
    ctx->halfMinusEpsilon = 0.5f - eps;

    ctx->beginMode = 2;
    ctx->arrays.attribStackTop = ctx->arrays.attribStack;
    ctx->arrays.clientAttribStackTop = ctx->arrays.clientAttribStack;
    ctx->dirtyMask = 0x7FF;
    ctx->tableDirtyMask = 0xFFFFFFFFu;

    GlCurrentState &c = ctx->current;
    c.color[0] = c.color[1] = c.color[2] = c.color[3] = 1.0f;
    c.index = 1.0f;
    c.normal[0] = c.normal[1] = 0.0f;
    c.normal[2] = 1.0f;
    c.texCoord[0] = c.texCoord[1] = c.texCoord[2] = 0.0f;
    c.texCoord[3] = 1.0f;
    c.edgeFlag = 1;
    c.rasterPos[0] = c.rasterPos[1] = c.rasterPos[2] = 0.0f;
    c.rasterPos[3] = 1.0f;
    for (int i = 0; i < 4; ++i) c.rasterColor[i] = 1.0f;
    c.rasterIndex = 1.0f;
    c.rasterTexCoord[3] = 1.0f;
    c.rasterPosValid = 1;

    GlModeState &m = ctx->state.mode;
    m.colorMaterialFace = GL_FRONT_AND_BACK;
    m.colorMaterialParam = GL_AMBIENT_AND_DIFFUSE;
    m.shadeModel = GL_SMOOTH;
    m.polygonMode[0] = m.polygonMode[1] = GL_FILL;
    m.cullFace = GL_BACK;
    m.frontFace = GL_CCW;
    for (GLenum &hint : m.hints) hint = GL_DONT_CARE;
    m.depthFunc = GL_LESS;
    m.depthClear = 1.0;
    m.stencilFunc = GL_ALWAYS;
    m.stencilFail = m.stencilDepthFail = m.stencilDepthPass = GL_KEEP;
    int stencilBits = ctx->visual.stencilBits;
    m.stencilValueMask = m.stencilWriteMask = stencilBits >= 32 ? 0xFFFFFFFFu : (1u << stencilBits) - 1u;
    m.alphaFunc = GL_ALWAYS;
    m.logicOp = GL_COPY;
    m.drawBuffer = ctx->visual.doubleBuffer ? GL_BACK : GL_FRONT;
    ctx->renderMode = GL_RENDER;
    std::memset(m.polygonStipple, 0xFF, sizeof(m.polygonStipple));
    std::memset(m.polygonStippleCopy, 0xFF, sizeof(m.polygonStippleCopy));
    __glSetStateDefaults(ctx);

    __glInitColorTableState(ctx);
    __glInitEvalState(ctx);
    __glSetTextureDefaults(ctx);
    __glInitTransformState(ctx);
    __glInitPixelState(ctx);
    __glInitSpecularCache(ctx);
    __glInitArrayState(ctx);
    __glInitVertexCache(ctx);
}

BOOL __glDestroyContext(GlContext *ctx) {
    GlContextTail &t = ctx->tail;
    drop(ctx, t.words.data);
    drop(ctx, t.pairs.data);
    drop(ctx, t.bufferBlock);
    drop(ctx, t.bufferEntries);
    __glOgFreeCodeCaches(ctx);
    GlArraysArea &a = ctx->arrays;
    __glFreeAttribStack(ctx);
    drop(ctx, a.attribStack);
    drop(ctx, a.clientAttribStack);
    a.attribStackTop = a.clientAttribStackTop = nullptr;
    drop(ctx, a.lightSources);
    drop(ctx, a.lights);
    drop(ctx, a.nameStack);
    drop(ctx, t.block4160);
    drop(ctx, t.table2048a);
    drop(ctx, t.table2048b);
    drop(ctx, t.table64);
    __glFreeColorTableState(ctx);
    __glFreeTransformState(ctx);
    __glFreeEvalState(ctx);
    __glFreePixelState(ctx);
    __glFreeArrayState(ctx);
    if (ctx->state.list.listNames != nullptr) __glReleaseListState(ctx);
    __glFreeTextureState(ctx);
    __glFreeSpecularCache(ctx);
    __glDestroyVertexCache(ctx);
    return TRUE;
}

BOOL __glHwDestroyContext(GlContext *ctx) {
    __glFreeContextBuffers(ctx);
    __glDestroyContext(ctx);
    __glHwShutdown(ctx);
    ctx->hostProcs.free(ctx, ctx);
    return TRUE;
}

BOOL __glShareContext(GlContext *ctx, GlContext *other) {
    // Sharing with itself, or within one share group, leaves everything as it is.
    if (ctx == other) return TRUE;
    __glShareLists(ctx, other);
    __glShareTextureNames(ctx, other);
    return TRUE;
}
