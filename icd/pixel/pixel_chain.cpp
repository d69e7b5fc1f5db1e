// The chooser of a pixel operation's span chain: from the two halves of the span, the zoom and
// the transfer state it appends the fewest stages that turn the source form into the destination
// form, and picks the reader and renderer that frame them. Runs once per operation.
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_ops_util.h"
#include "icd/pixel/pixel_state.h"

namespace {

using namespace glpixel;

template <class P>
P slotAs(GlProc p) {
    return reinterpret_cast<P>(reinterpret_cast<void (*)(void)>(p));
}

bool isRgbaKindFormat(GLenum f) {
    return f == kGlFormatRedAlpha || (f >= GL_RED && f <= GL_LUMINANCE_ALPHA) || f == kGlFormatABGR ||
           f == kGlFormatBGR || f == kGlFormatBGRA;
}

// RGBA-type destination formats (those a colour row is reduced to).
bool isRgbaDestinationFormat(GLenum f) { return isRgbaKindFormat(f) || f == GL_INTENSITY; }

bool isPowerOfTwoMinusOne(uint32_t v) { return (v & (v + 1)) == 0; }

// Formats that hold the same components for a memory copy.
GLenum canonical(GLenum f) {
    if (f == kGlFormatRedAlpha) return GL_LUMINANCE_ALPHA;
    if (f == GL_LUMINANCE) return GL_RED;
    return f;
}

struct Chain {
    GlPixelSpan *span;
    int32_t count;
    void add(GlPixelSpanProc p) {
        if (p != nullptr && count < kGlPixelSpanMaxStages) span->stages[count++] = p;
    }
    GlPixelSpanProc last() const { return count > 0 ? span->stages[count - 1] : nullptr; }
};

// The direct byte-to-texel stages: destination texel code, client format, the level base formats
// for which the stage computes what the float chain would (luminance repeated into colour, the
// missing channels of the base format ignored).
struct ByteTexelStage {
    GLenum code, srcFormat;
    GLenum finalFormats[2];
    GlPixelSpanProc stage;
};
const ByteTexelStage kByteTexelStages[] = {
    {kGlTexelCodeRGB565, GL_LUMINANCE, {GL_LUMINANCE, GL_RGB}, __glByteTexelL8ToRGB565},
    {kGlTexelCodeRGB565, GL_RGB, {GL_RGB, GL_RGB}, __glByteTexelRGB8ToRGB565},
    {kGlTexelCodeRGB565, GL_RGBA, {GL_RGB, GL_RGB}, __glByteTexelRGBA8ToRGB565},
    {kGlTexelCodeXRGB1555, GL_LUMINANCE, {GL_LUMINANCE, GL_RGB}, __glByteTexelL8ToXRGB1555},
    {kGlTexelCodeXRGB1555, GL_RGB, {GL_RGB, GL_RGB}, __glByteTexelRGB8ToXRGB1555},
    {kGlTexelCodeXRGB1555, GL_RGBA, {GL_RGB, GL_RGB}, __glByteTexelRGBA8ToXRGB1555},
    {kGlTexelCodeARGB1555, GL_LUMINANCE_ALPHA, {GL_LUMINANCE_ALPHA, GL_RGBA}, __glByteTexelLA8ToARGB1555},
    {kGlTexelCodeARGB1555, GL_RGBA, {GL_RGBA, GL_RGBA}, __glByteTexelRGBA8ToARGB1555},
    {kGlTexelCodeARGB4444, GL_LUMINANCE, {GL_INTENSITY, GL_INTENSITY}, __glByteTexelI8ToARGB4444},
    {kGlTexelCodeARGB4444, GL_LUMINANCE_ALPHA, {GL_LUMINANCE_ALPHA, GL_RGBA}, __glByteTexelLA8ToARGB4444},
    {kGlTexelCodeARGB4444, GL_RGBA, {GL_RGBA, GL_RGBA}, __glByteTexelRGBA8ToARGB4444},
    {kGlTexelCodeA4, GL_ALPHA, {GL_ALPHA, GL_ALPHA}, __glByteTexelA8ToARGB4444},
};
GlPixelSpanProc byteTexelStage(GLenum code, GLenum srcFormat, GLenum finalFormat) {
    for (const ByteTexelStage &b : kByteTexelStages)
        if (b.code == code && b.srcFormat == srcFormat &&
            (b.finalFormats[0] == finalFormat || b.finalFormats[1] == finalFormat))
            return b.stage;
    return nullptr;
}

// The unpack and pack stages of every client type, for index rows and for colour rows; a packed
// type also gives the component count it unpacks to or packs from.
struct TypeStages {
    GLenum type;
    GlPixelSpanProc unpackIndex, packIndex, unpack, pack;
    int32_t unpackComponents, packComponents;  // 0: as the format says
};
const TypeStages kTypeStages[] = {
    {GL_BITMAP, nullptr, __glPackBitmap, nullptr, nullptr, 0, 0},
    {GL_BYTE, __glUnpackIndexByte, __glPackIndexByte, __glUnpackByte, __glPackByte, 0, 0},
    {GL_UNSIGNED_BYTE, __glUnpackIndexUnsignedByte, __glPackIndexUnsignedByte, __glUnpackUnsignedByte,
     __glPackUnsignedByte, 0, 0},
    {GL_SHORT, __glUnpackIndexShort, __glPackIndexShort, __glUnpackShort, __glPackShort, 0, 0},
    {GL_UNSIGNED_SHORT, __glUnpackIndexUnsignedShort, __glPackIndexUnsignedShort, __glUnpackUnsignedShort,
     __glPackUnsignedShort, 0, 0},
    {GL_INT, __glUnpackIndexInt, __glPackIndexInt, __glUnpackInt, __glPackInt, 0, 0},
    {GL_UNSIGNED_INT, __glUnpackIndexUnsignedInt, __glPackIndexUnsignedInt, __glUnpackUnsignedInt,
     __glPackUnsignedInt, 0, 0},
    {kGlUnsignedByte332, nullptr, nullptr, __glUnpackUbyte332, __glPackUbyte332, 3, 3},
    {kGlUnsignedShort4444, nullptr, nullptr, __glUnpackUshort4444, __glPackUshort4444, 4, 4},
    {kGlUnsignedShort5551, nullptr, nullptr, __glUnpackUshort5551, __glPackUshort5551, 4, 4},
    {kGlUnsignedInt8888, nullptr, nullptr, __glUnpackUint8888, __glPackUint8888, 4, 4},
    {kGlUnsignedInt1010102, nullptr, nullptr, __glUnpackUint1010102, __glPackUint1010102, 4, 4},
    {kGlTexelCodeRGB565, nullptr, nullptr, __glUnpackTexelRGB565, __glPackTexelRGB565, 3, 3},
    {kGlTexelCodeXRGB1555, nullptr, nullptr, __glUnpackTexelXRGB1555, __glPackTexelXRGB1555, 3, 3},
    {kGlTexelCodeARGB1555, nullptr, nullptr, __glUnpackTexelARGB1555, __glPackTexelARGB1555, 4, 4},
    {kGlTexelCodeARGB4444, nullptr, nullptr, __glUnpackTexelARGB4444, __glPackTexelARGB4444, 4, 4},
    {kGlTexelCodeA4, nullptr, nullptr, __glUnpackTexelA4, __glAlphaToTexelARGB4444, 4, 1},
};
const TypeStages *typeStages(GLenum type) {
    for (const TypeStages &t : kTypeStages)
        if (t.type == type) return &t;
    return nullptr;
}

// Unpack of a source type to floats; sets the component count after a packed-type unpack.
GlPixelSpanProc unpackStage(GlPixelSpan *s, bool indexFormat) {
    const TypeStages *t = typeStages(s->srcType);
    if (t == nullptr) return nullptr;
    if (indexFormat) return t->unpackIndex;
    if (t->unpackComponents != 0 && t->unpack != nullptr) s->srcComponents = t->unpackComponents;
    return t->unpack;
}

// The conversion of a memory source's format into colour-buffer units (or the transfer of an
// index, stencil or depth row).
GlPixelSpanProc sourceConversion(GLenum format, const GlPixelTables &t, bool transfer) {
    switch (format) {
    case kGlFormatRedAlpha: return transfer ? __glTransferRedAlpha : __glExpandRedAlphaScaled;
    case GL_COLOR_INDEX: return t.transferIndex ? __glTransferIndex : nullptr;
    case GL_STENCIL_INDEX: return t.transferStencil ? __glTransferStencil : nullptr;
    case GL_DEPTH_COMPONENT: return t.transferDepth ? __glTransferDepth : nullptr;
    default: break;
    }
    const bool rgba = t.transferRGBA != 0;
    switch (format) {
    case GL_RED: return rgba ? __glTransferRed : __glExpandRedScaled;
    case GL_GREEN: return rgba ? __glTransferGreen : __glExpandGreenScaled;
    case GL_BLUE: return rgba ? __glTransferBlue : __glExpandBlueScaled;
    case GL_ALPHA: return rgba ? __glTransferAlpha : __glExpandAlphaScaled;
    case GL_RGB: return rgba ? __glTransferRGB : __glExpandRGBScaled;
    case kGlFormatBGR: return rgba ? __glTransferBGR : __glExpandBGRScaled;
    case GL_RGBA: return rgba ? __glTransferRGBA : __glScaleRGBAToBuffer;
    case kGlFormatABGR: return rgba ? __glTransferABGR : __glScaleABGRToBuffer;
    case kGlFormatBGRA: return rgba ? __glTransferBGRA : __glScaleBGRAToBuffer;
    case GL_LUMINANCE: return rgba ? __glTransferLuminance : __glExpandLuminanceScaled;
    case GL_LUMINANCE_ALPHA: return rgba ? __glTransferLuminanceAlpha : __glExpandLuminanceAlphaScaled;
    case GL_INTENSITY: return __glExpandIntensityScaled;
    default: return nullptr;
    }
}

// The pack stage of a destination type; sets the component count a packed type takes.
GlPixelSpanProc packStage(GlPixelSpan *s, bool indexDestination) {
    const TypeStages *t = typeStages(s->dstType);
    if (t == nullptr) return nullptr;
    if (indexDestination) return t->packIndex;
    if (t->packComponents != 0 && t->pack != nullptr) s->dstComponents = t->packComponents;
    return t->pack;
}

// The reduction of a colour row in colour-buffer units to the final format's components.
void addReduction(Chain &c, GLenum format, int32_t operation, bool packedDestination) {
    switch (format) {
    case kGlFormatRedAlpha: c.add(__glReduceToRedAlpha); return;
    case GL_RED: c.add(__glReduceToRed); return;
    case GL_GREEN: c.add(__glReduceToGreen); return;
    case GL_BLUE: c.add(__glReduceToBlue); return;
    case GL_ALPHA: c.add(__glReduceToAlpha); return;
    case GL_RGB: c.add(__glReduceToRGB); return;
    case kGlFormatBGR: c.add(__glReduceToBGR); return;
    case kGlFormatABGR: c.add(__glReduceToABGR); return;
    case kGlFormatBGRA: c.add(__glReduceToBGRA); return;
    case GL_RGBA: c.add(__glScaleRGBAFromBuffer2); return;
    case GL_LUMINANCE:
        if (operation == kGlPixelOpRead) {
            c.add(__glReduceToLuminance);
        } else {
            c.add(__glReduceToRed);
            if (packedDestination) c.add(__glReplicateToRGB);
        }
        return;
    case GL_LUMINANCE_ALPHA:
        if (operation == kGlPixelOpRead) {
            c.add(__glReduceToLuminanceAlpha);
        } else {
            c.add(__glReduceToRedAlpha);
            if (packedDestination) c.add(__glReplicateLuminanceAlpha);
        }
        return;
    case GL_INTENSITY:
        c.add(__glReduceToRed);
        if (packedDestination) c.add(__glReplicateToRGBA);
        return;
    default:
        return;
    }
}

// A colour buffer's channel maxima, R, G, B, A: the units its fragments and fetched pixels are in.
// Without a buffer (colour-index mode has none that scales, a context with nothing attached) the
// rows stay in the client's [0, 1].
void bufferUnits(const GlColorBuffer *cb, bool rgbaMode, float u[4]) {
    if (cb == nullptr || !rgbaMode) {
        u[0] = u[1] = u[2] = u[3] = 1.0f;
        return;
    }
    u[0] = cb->redScale, u[1] = cb->greenScale, u[2] = cb->blueScale, u[3] = cb->alphaScale;
}

}  // namespace

// Colour units of a pixel operation. The client's colours are [0, 1]; a colour buffer's are its
// channel maxima (31 for a 5-bit channel, 255 for an 8-bit one, 255 for the alpha of a buffer
// without alpha bits, which then reads back as 1.0). Every row that crosses between the two is
// multiplied by the buffer's maxima (expansion, transfer: [0, 1] -> buffer units) or by their
// reciprocals (reduction: buffer units -> [0, 1]) exactly once; the store rounds to nearest when
// it packs the channel and the pack stages round to the client type. So glDrawPixels of byte c
// into a 5-bit channel stores round(c x 31 / 255) and glReadPixels of v returns
// round(v x 255 / 31). A memory-to-memory copy stays in [0, 1] on both sides.
void __glSetPixelColorUnits(GlContext *ctx, GlPixelSpan *s, const GlPixelPathChoice &choice) {
    const bool rgbaMode = ctx->visual.rgbaMode != 0;
    GlColorBuffers &cbs = ctx->buffers.color;
    const GlColorBuffer *read = cbs.readColorBuffer != nullptr ? cbs.readColorBuffer : &cbs.front;
    if (read->head.context == nullptr) read = nullptr;
    const bool fromBuffer = choice.sourceKind == kGlPixelFramebuffer;
    const bool toBuffer = choice.destinationKind == kGlPixelFramebuffer;
    bufferUnits(fromBuffer ? read : nullptr, rgbaMode, s->fromUnits);
    if (toBuffer)
        bufferUnits(fragmentTarget(ctx), rgbaMode, s->toUnits);
    else
        // A read transfers into the units it then reduces from.
        for (int k = 0; k < 4; ++k) s->toUnits[k] = s->fromUnits[k];
}

bool __glIsPackedPixelType(GLenum type) {
    return type <= kGlTexelCodeA4 || (type >= kGlUnsignedByte332 && type <= kGlUnsignedInt1010102);
}

namespace {

// The values the chooser derives once from the span, the request and the transfer state.
struct ChainFacts {
    bool rgbaMode;
    bool notAbove1, atLeast1;  // |zoomX| <= 1, |zoomX| >= 1 (a memory destination has zoom 1)
    bool direct;               // the source rows can be read in place
    bool shrink;               // a shrinking zoom drops source pixels
    bool srcSwap, dstSwap;
    bool transfer;             // the request applies a transfer and the source's kind has one
    bool convert;              // the formats differ in what they hold, or a transfer applies
    bool srcMisaligned, dstMisaligned;
    bool unpack, pack;         // the source is not floats, the destination is not floats
    bool srcIndexFormat;
    bool clampSource, clampAfter;
    bool indexDestination;
};

ChainFacts deriveFacts(GlContext *ctx, const GlPixelSpan *s, const GlPixelPathChoice *choice) {
    const GlPixelTables &t = ctx->state.pixel.tables;
    ChainFacts f{};
    f.rgbaMode = ctx->visual.rgbaMode != 0;
    const float zoom = choice->destinationKind == kGlPixelFramebuffer ? ctx->state.pixel.transfer.zoomX : 1.0f;
    f.notAbove1 = zoom >= -1.0f && zoom <= 1.0f;
    f.atLeast1 = zoom <= -1.0f || zoom >= 1.0f;
    f.direct = s->srcDirect && f.atLeast1;
    f.shrink = !f.atLeast1 && s->srcType != GL_BITMAP;
    f.srcSwap = s->srcSwapBytes && s->srcElementBytes > 1;
    f.dstSwap = s->dstSwapBytes && s->dstElementBytes > 1;
    bool kindFlag = false;
    if (isRgbaKindFormat(s->srcFormat))
        kindFlag = t.transferRGBA;
    else if (s->srcFormat == GL_COLOR_INDEX)
        kindFlag = t.transferIndex;
    else if (s->srcFormat == GL_STENCIL_INDEX)
        kindFlag = t.transferStencil;
    else if (s->srcFormat == GL_DEPTH_COMPONENT)
        kindFlag = t.transferDepth;
    f.transfer = choice->applyTransfer && kindFlag;
    f.convert = !(choice->operation == kGlPixelOpImageCopy && !f.transfer &&
                  canonical(s->srcFormat) == canonical(s->dstFormat));
    auto misaligned = [](GLenum type, const void *data, int32_t element) {
        return type != GL_BITMAP && element > 1 && (reinterpret_cast<uintptr_t>(data) % uint32_t(element)) != 0;
    };
    f.srcMisaligned = misaligned(s->srcType, s->srcData, s->srcElementBytes);
    f.dstMisaligned = misaligned(s->dstType, s->dstData, s->dstElementBytes);
    f.unpack = s->srcType != GL_FLOAT;
    f.pack = s->dstType != GL_FLOAT;
    f.srcIndexFormat = s->srcFormat == GL_COLOR_INDEX || s->srcFormat == GL_STENCIL_INDEX;
    const GLenum st = s->srcType;
    f.clampSource = choice->sourceKind == kGlPixelMemory && st != GL_BITMAP && st != GL_UNSIGNED_BYTE &&
                    st != GL_UNSIGNED_SHORT && st != GL_UNSIGNED_INT && !f.srcIndexFormat &&
                    !(s->srcFormat == GL_DEPTH_COMPONENT ? t.transferDepth : t.transferRGBA);
    f.clampAfter = choice->applyTransfer && f.clampSource;
    f.indexDestination = s->dstFormat == GL_COLOR_INDEX || s->dstFormat == GL_STENCIL_INDEX;
    return f;
}

// Step 1, byte copies between memory images: true when the chain is complete (no stage, or one
// direct byte-to-texel stage).
bool byteCopyStep(GlPixelSpan *s, Chain &c, const ChainFacts &f, const GlPixelPathChoice *choice) {
    if (!(choice->operation == kGlPixelOpImageCopy && s->srcType == GL_UNSIGNED_BYTE &&
          (s->dstType == GL_UNSIGNED_BYTE || __glIsPackedPixelType(s->dstType)) && !f.shrink && !f.transfer &&
          !f.srcMisaligned && !f.dstMisaligned && !f.clampSource && !f.clampAfter))
        return false;
    if (s->dstType == GL_UNSIGNED_BYTE && !f.convert) return true;
    if (s->dstType <= kGlTexelCodeA4) {
        GlPixelSpanProc p = byteTexelStage(s->dstType, s->srcFormat, s->finalFormat);
        if (p != nullptr) {
            c.add(p);
            return true;
        }
    }
    return false;
}

// Step 2 for a frame-buffer source: the reader and the stages that bring its rows to the
// destination's kind. True when the depth reader already gives full-range integers, so that no
// pack stage follows.
bool framebufferSourceStep(GlContext *ctx, GlPixelSpan *s, Chain &c, const ChainFacts &f, GlPixelPathChoice *choice) {
    const GlPixelTables &t = ctx->state.pixel.tables;
    const GlProcSlots &slots = ctx->slots;
    auto reader = [&](GlProc zoomed, GlProc unzoomed) {
        choice->reader = slotAs<GlPixelReadProc>(f.atLeast1 ? unzoomed : zoomed);
    };
    const GLenum df = s->dstFormat;
    if (isRgbaDestinationFormat(df)) {
        if (f.rgbaMode) {
            reader(slots.readRGBASpanZoomed, slots.readRGBASpan);
            if (t.transferRGBA) {
                c.add(__glScaleRGBAFromBuffer);
                c.add(__glTransferRGBA);
            }
        } else {
            reader(slots.readIndexSpanZoomed, slots.readIndexSpan);
            c.add(__glTransferIndex);
        }
    } else if (df == GL_COLOR_INDEX) {
        reader(slots.readIndexSpanZoomed, slots.readIndexSpan);
        if (t.transferIndex) c.add(__glTransferIndex);
    } else if (df == GL_STENCIL_INDEX) {
        reader(slots.readStencilSpanZoomed, slots.readStencilSpan);
        if (t.transferStencil) c.add(__glTransferStencil);
    } else if (df == GL_DEPTH_COMPONENT) {
        const GlDepthBuffer &db = ctx->buffers.depth;
        if (choice->operation == kGlPixelOpRead && s->dstType == GL_UNSIGNED_INT && !t.transferDepth &&
            (db.scale >> db.shift) != 0 && isPowerOfTwoMinusOne(db.scale >> db.shift)) {
            choice->reader = __glReadDepthSpanShifted;
            return true;
        }
        reader(slots.readDepthSpanZoomed, slots.readDepthSpan);
        if (t.transferDepth) c.add(__glTransferDepth);
    }
    return false;
}

// Step 2 for a memory source: fetch (compaction, swap or realignment), unpack, clamp, bitmap
// unpack, then the conversion or transfer into the operation's colour units.
void memorySourceStep(GlContext *ctx, GlPixelSpan *s, Chain &c, const ChainFacts &f) {
    const int32_t e = s->srcElementBytes;
    if (f.srcSwap)
        c.add(e == 2 ? (f.shrink ? __glSwapElements2Compacted : __glSwapElements2)
                     : (f.shrink ? __glSwapElements4Compacted : __glSwapElements4));
    else if (f.srcMisaligned)
        c.add(e == 2 ? (f.shrink ? __glCompactElements2Bytewise : __glCopyElements2)
                     : (f.shrink ? __glCompactElements4Bytewise : __glCopyElements4));
    else if (f.shrink)
        c.add(e == 1 ? __glCompactElements1 : (e == 2 ? __glCompactElements2 : __glCompactElements4));
    if (f.unpack) c.add(unpackStage(s, f.srcIndexFormat));
    if (f.clampSource) c.add(__glClampColors);
    if (s->srcType == GL_BITMAP) c.add(f.atLeast1 ? __glUnpackBitmap : __glUnpackBitmapCompacted);
    if (f.convert) c.add(sourceConversion(s->srcFormat, ctx->state.pixel.tables, f.transfer));
}

// Step 3 for a frame-buffer destination: the renderer of the destination's kind.
void framebufferDestinationStep(GlContext *ctx, const GlPixelSpan *s, const ChainFacts &f, GlPixelPathChoice *choice) {
    const GlProcSlots &slots = ctx->slots;
    auto renderer = [&](GlProc zoomed, GlProc unzoomed) {
        choice->renderer = slotAs<GlPixelRenderProc>(f.notAbove1 ? unzoomed : zoomed);
    };
    const GLenum df = s->dstFormat;
    if (df == GL_COLOR_INDEX)
        renderer(slots.renderIndexSpanZoomed, slots.renderIndexSpan);
    else if (df == GL_STENCIL_INDEX)
        renderer(slots.renderStencilSpanZoomed, slots.renderStencilSpan);
    else if (df == GL_DEPTH_COMPONENT)
        renderer(slots.renderDepthSpanZoomed, slots.renderDepthSpan);
    else if (isRgbaDestinationFormat(df))
        renderer(slots.renderRGBASpanZoomed, slots.renderRGBASpan);
}

// The byte tables a byte renderer reads, in the span's colour units; false (the general chain
// stays) when they cannot be had.
bool colourTables(GlContext *ctx, const GlPixelSpan *s) {
    GlPixelTables &t = ctx->state.pixel.tables;
    if (!__glUsePixelTableUnits(ctx, s->toUnits)) return false;
    if (t.transferRGBA) {
        if (!t.rgbaValid && !__glBuildUbyteTransferTables(ctx, &t)) return false;
        t.currentRed = t.rgba[0], t.currentGreen = t.rgba[1];
        t.currentBlue = t.rgba[2], t.currentAlpha = t.rgba[3];
    } else {
        t.currentRed = t.ubyteRed, t.currentGreen = t.ubyteGreen;
        t.currentBlue = t.ubyteBlue, t.currentAlpha = t.ubyteAlpha;
    }
    return t.currentRed != nullptr && t.currentGreen != nullptr && t.currentBlue != nullptr &&
           t.currentAlpha != nullptr;
}

bool indexTables(GlContext *ctx, const GlPixelSpan *s, bool rgbaMode) {
    GlPixelTables &t = ctx->state.pixel.tables;
    if (!__glUsePixelTableUnits(ctx, s->toUnits)) return false;
    if (!t.transferIndex) {
        t.currentIndex = t.ubyteIndex;
        return t.currentIndex != nullptr;
    }
    if (rgbaMode) {
        if (!t.indexToRGBAValid && !__glBuildIndexToRGBATables(ctx, &t)) return false;
        t.currentRed = t.indexToRGBA[0], t.currentGreen = t.indexToRGBA[1];
        t.currentBlue = t.indexToRGBA[2], t.currentAlpha = t.indexToRGBA[3];
        return t.currentRed != nullptr;
    }
    if (!t.indexValid && !__glBuildIndexTransferTable(ctx, &t)) return false;
    t.currentIndex = t.indexToIndex;
    return t.currentIndex != nullptr;
}

// Step 3 of glDrawPixels: the integer shortcuts that replace the chain with a raw-row renderer
// (byte rows through tables, unsigned short and int indices and depths as they are).
void drawShortcutStep(GlContext *ctx, GlPixelSpan *s, Chain &c, const ChainFacts &f, GlPixelPathChoice *choice) {
    const GlPixelTables &t = ctx->state.pixel.tables;
    const GLenum sf = s->srcFormat, st = s->srcType;
    auto pick = [&](GlPixelRenderProc zoomed, GlPixelRenderProc unzoomed) {
        choice->renderer = f.notAbove1 ? unzoomed : zoomed;
    };
    // Byte rows: the chain is replaced by at most a compaction and a table renderer.
    auto bytes = [&](GlPixelSpanProc compact, GlPixelRenderProc zoomed, GlPixelRenderProc unzoomed) {
        c.count = 0;
        if (!f.direct) c.add(compact);
        pick(zoomed, unzoomed);
    };
    const GlDepthBuffer &db = ctx->buffers.depth;
    if (st == GL_UNSIGNED_BYTE && sf == GL_COLOR_INDEX) {
        if (indexTables(ctx, s, f.rgbaMode)) {
            if (t.transferIndex && f.rgbaMode)
                bytes(__glCompactPixels1, __glRenderIndexToRGBAUbyteZoomed, __glRenderIndexToRGBAUbyte);
            else
                bytes(__glCompactPixels1, __glRenderIndexUbyteZoomed, __glRenderIndexUbyte);
        }
    } else if (st == GL_UNSIGNED_BYTE && sf == GL_STENCIL_INDEX && !t.transferStencil) {
        bytes(__glCompactPixels1, __glRenderStencilUbyteZoomed, __glRenderStencilUbyte);
    } else if (st == GL_UNSIGNED_BYTE && sf == GL_RGB) {
        if (colourTables(ctx, s)) bytes(__glCompactPixels3, __glRenderRGBUbyteZoomed, __glRenderRGBUbyte);
    } else if (st == GL_UNSIGNED_BYTE && sf == GL_RGBA) {
        if (colourTables(ctx, s)) bytes(__glCompactPixels4, __glRenderRGBAUbyteZoomed, __glRenderRGBAUbyte);
    } else if (st == GL_UNSIGNED_SHORT && sf == GL_COLOR_INDEX && !t.transferIndex &&
               c.last() == __glUnpackIndexUnsignedShort) {
        --c.count;
        pick(__glRenderIndexUshortZoomed, __glRenderIndexUshort);
    } else if (st == GL_UNSIGNED_SHORT && sf == GL_STENCIL_INDEX && !t.transferStencil &&
               c.last() == __glUnpackIndexUnsignedShort) {
        --c.count;
        pick(__glRenderStencilUshortZoomed, __glRenderStencilUshort);
    } else if (st == GL_UNSIGNED_INT && sf == GL_COLOR_INDEX && !t.transferIndex &&
               c.last() == __glUnpackIndexUnsignedInt) {
        --c.count;
        pick(__glRenderIndexUintZoomed, __glRenderIndexUint);
    } else if (st == GL_UNSIGNED_INT && sf == GL_DEPTH_COMPONENT && !t.transferDepth &&
               c.last() == __glUnpackUnsignedInt && isPowerOfTwoMinusOne(db.writeMask) &&
               isPowerOfTwoMinusOne(db.maxValue >> db.shift)) {
        // The raw depth renderer scales full-range integers onto the buffer's own range, so
        // every depth kind may take it.
        --c.count;
        pick(__glRenderDepthUintZoomed, __glRenderDepthUint);
    }
}

// Step 3 for a memory destination: reduce or replicate, clamp, pack, then swap or realign.
void memoryDestinationStep(GlPixelSpan *s, Chain &c, const ChainFacts &f, const GlPixelPathChoice *choice,
                           bool skipUintPack) {
    const GLenum st = s->srcType;
    // A pack of one component (the alpha-only texels) takes the reduced row as it is.
    const bool packed = __glIsPackedPixelType(s->dstType) && s->dstType != kGlTexelCodeA4;
    if (f.convert) addReduction(c, s->finalFormat, choice->operation, packed);
    if (f.clampAfter) {
        if (st == GL_BYTE || st == GL_SHORT || st == GL_INT)
            c.add(__glClampNegativeToZero);
        else if (st == GL_FLOAT)
            c.add(__glClampColorsPack);
    }
    if (f.pack && !skipUintPack) c.add(packStage(s, f.indexDestination));
    const int32_t e = s->dstElementBytes;
    if (f.dstSwap) {
        if (e == 2) c.add(__glSwapElements2Pack);
        if (e == 4) c.add(__glSwapElements4Pack);
    } else if (f.dstMisaligned) {
        if (e == 2) c.add(__glCopyElements2Pack);
        if (e == 4) c.add(__glCopyElements4Pack);
    }
}

}  // namespace

GlPixelPathChoice *__glPickPixelSpanStages(GlContext *ctx, GlPixelSpan *s, GlPixelPathChoice *choice) {
    Chain c{s, s->stageCount < 0 ? 0 : (s->stageCount > kGlPixelSpanMaxStages ? kGlPixelSpanMaxStages : s->stageCount)};
    choice->reader = nullptr;
    choice->renderer = nullptr;
    __glSetPixelColorUnits(ctx, s, *choice);
    const ChainFacts f = deriveFacts(ctx, s, choice);

    if (byteCopyStep(s, c, f, choice)) {
        s->stageCount = c.count;
        return choice;
    }
    bool skipUintPack = false;
    if (choice->sourceKind == kGlPixelFramebuffer)
        skipUintPack = framebufferSourceStep(ctx, s, c, f, choice);
    else
        memorySourceStep(ctx, s, c, f);
    if (choice->destinationKind == kGlPixelFramebuffer) {
        framebufferDestinationStep(ctx, s, f, choice);
        if (choice->operation == kGlPixelOpDraw) drawShortcutStep(ctx, s, c, f, choice);
    } else {
        memoryDestinationStep(s, c, f, choice, skipUintPack);
    }
    s->stageCount = c.count;
    return choice;
}
