// The MMX span routine template: one routine per state that walks both halves of a triangle from
// the GlSpan record at esp, row by row, and draws each row four pixels at a time.
//
// The record is the fast path's own GlSpan at its real offsets, because the triangle set-up that
// fills it is the same (C++ or generated) for every span routine. Every row is cut into groups of
// four pixels starting at its first pixel in walking order; a group's lanes are in memory order,
// so a right-to-left group holds its first pixel in lane 3. The last one to three pixels of a row
// are drawn from a copy in the data area and copied back pixel by pixel, so that no byte outside
// the row is read or written.
#include "icd/codegen/og_mmx_span.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "icd/core/context.h"
#include "icd/pixel/texture_object.h"
#include "icd/raster/color_buffer.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/fast_span.h"
#include "icd/raster/raster_tables.h"

namespace icd {

uint8_t *GlOgMmxSpanGen::cell(int32_t bytes) {
    uint8_t *p = dataNext;
    const int32_t rounded = (bytes + 7) & ~7;
    if (dataEnd - p < rounded) {
        dataFull = true;
        return data;
    }
    dataNext += rounded;
    return p;
}

uint8_t *GlOgMmxSpanGen::words(uint16_t w0, uint16_t w1, uint16_t w2, uint16_t w3) {
    const uint64_t v = uint64_t(w0) | uint64_t(w1) << 16 | uint64_t(w2) << 32 | uint64_t(w3) << 48;
    uint8_t *&p = constCells[v];
    if (p == nullptr) {
        p = cell(8);
        std::memcpy(p, &v, 8);
    }
    return p;
}

GlOgNode *GlOgMmxSpanGen::abs(const void *address) {
    GlOgNode *&n = memNodes[uintptr_t(address)];
    if (n == nullptr) n = w.abs(address);
    return n;
}

GlOgNode *GlOgMmxSpanGen::field(size_t offset) {
    GlOgNode *&n = spanNodes[int64_t(offset)];
    if (n == nullptr) n = __glOgMemBase(w.s, w.imm(int32_t(offset)), __glOgR32(kEsp));
    return n;
}

GlOgNode *GlOgMmxSpanGen::fieldIndexed(size_t offset, int indexReg, int scale) {
    return __glOgMem(w.s, w.imm(int32_t(offset)), __glOgR32(kEsp), __glOgR32(indexReg), scale);
}

namespace {

#define SPAN(f) offsetof(GlSpan, f)

// The span iterators of the lanes R, G, B, A, S, T.
constexpr size_t kIter[GlOgMmxSpanGen::kIters] = {SPAN(red), SPAN(green), SPAN(blue), SPAN(alpha), SPAN(s), SPAN(t)};

// Under perspective s and t are set per segment from the float planes, not from their iterators.
bool steppedPerSegment(const GlOgMmxSpanGen &g, int i) {
    return g.perspective && (i == GlOgMmxSpanGen::kS || i == GlOgMmxSpanGen::kT);
}

// Lane k of a group holds walking position k (left to right) or 3 - k (right to left).
int laneIndex(int dir, int lane) { return dir > 0 ? lane : 3 - lane; }

// The lanes of pairs `offsets` get m * step for their walking position m, and `step4` four steps.
void emitLaneOffsets(GlOgMmxSpanGen &g, GlOgNode *step, uint8_t *const offsets[2], uint8_t *step4) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    g.op(__glOgMov(s, w.r(kEax), step));
    g.op(__glOgLea(s, w.r(kEcx), __glOgMem(s, nullptr, w.r(kEax), w.r(kEax), 1)));
    g.op(__glOgLea(s, w.r(kEdx), __glOgMem(s, nullptr, w.r(kEax), w.r(kEax), 2)));
    GlOgNode *multiple[4] = {w.imm(0), w.r(kEax), w.r(kEcx), w.r(kEdx)};
    for (int lane = 0; lane < 4; ++lane)
        g.op(__glOgMov(s, g.abs(offsets[lane / 2] + 4 * (lane % 2)), multiple[laneIndex(g.dir, lane)]));
    g.op(__glOgShl(s, w.r(kEax), w.imm(2)));
    g.op(__glOgMov(s, g.abs(step4), w.r(kEax)));
    g.op(__glOgMov(s, g.abs(step4 + 4), w.r(kEax)));
}

// The lanes of a row's first group from the iterator's row start.
void emitLaneStart(GlOgMmxSpanGen &g, GlOgNode *start, uint8_t *const offsets[2], uint8_t *const lanes[2]) {
    GlOgState *s = g.s();
    GlOgNode *mm0 = g.mm(0), *mm1 = g.mm(1);
    g.op(__glOgMovd(s, mm0, start));
    g.op(__glOgPunpckldq(s, mm0, mm0));
    g.op(__glOgMovq(s, mm1, mm0));
    g.op(__glOgPaddd(s, mm0, g.abs(offsets[0])));
    g.op(__glOgPaddd(s, mm1, g.abs(offsets[1])));
    g.op(__glOgMovq(s, g.abs(lanes[0]), mm0));
    g.op(__glOgMovq(s, g.abs(lanes[1]), mm1));
}

// The lanes of pairs `lanes` four steps on.
void emitLaneAdvance(GlOgMmxSpanGen &g, uint8_t *const lanes[2], uint8_t *step4) {
    GlOgState *s = g.s();
    for (int h = 0; h < 2; ++h) {
        g.op(__glOgMovq(s, g.mm(0), g.abs(lanes[h])));
        g.op(__glOgPaddd(s, g.mm(0), g.abs(step4)));
        g.op(__glOgMovq(s, g.abs(lanes[h]), g.mm(0)));
    }
}

// field += field's row step [carry in ecx].
void emitRowStep(GlOgMmxSpanGen &g, size_t valueField, size_t stepPairField) {
    GlOgState *s = g.s();
    g.op(__glOgMov(s, g.w.r(kEax), g.fieldIndexed(stepPairField, kEcx, 4)));
    g.op(__glOgAdd(s, g.field(valueField), g.w.r(kEax)));
}

// ecx = the carry of an edge's fraction step, the fraction updated.
void emitEdgeCarry(GlOgMmxSpanGen &g, size_t fracField, size_t fracStepField) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    g.op(__glOgMov(s, w.r(kEax), g.field(fracField)));
    g.op(__glOgAdd(s, w.r(kEax), g.field(fracStepField)));
    g.op(__glOgMov(s, w.r(kEcx), w.r(kEax)));
    g.op(__glOgShr(s, w.r(kEcx), w.imm(31)));
    g.op(__glOgAnd(s, w.r(kEax), w.imm(0x7FFFFFFF)));
    g.op(__glOgMov(s, g.field(fracField), w.r(kEax)));
}

}  // namespace

// Every group skips its stages' own stepping: the colour and coordinate lanes are stepped here
// once per group, whether or not a pixel of it passed.
void __glOgEmitMmxStepGroup(GlOgMmxSpanGen &g) {
    GlOgState *s = g.s();
    for (int i = 0; i < GlOgMmxSpanGen::kIters; ++i) {
        if (!g.iterated[i]) continue;
        if (!steppedPerSegment(g, i)) {
            emitLaneAdvance(g, g.lanes[i], g.laneStep[i]);
            continue;
        }
        // The segment's own lanes stepped; the next group reads them whole.
        uint8_t *const *own = g.segLanes[i == GlOgMmxSpanGen::kS ? 0 : 1];
        emitLaneAdvance(g, own, g.laneStep[i]);
        for (int h = 0; h < 2; ++h) {
            g.op(__glOgMovq(s, g.mm(0), g.abs(own[h])));
            g.op(__glOgMovq(s, g.abs(g.lanes[i][h]), g.mm(0)));
        }
    }
}

void __glOgEmitGroupAdvance(GlOgMmxSpanGen &g) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    g.op(__glOgLea(s, w.r(kEdi), w.at(kEdi, 8 * g.dir)));
    if (g.depth) {
        g.op(__glOgLea(s, w.r(kEsi), w.at(kEsi, 4 * g.depthBytes * g.dir)));
        emitLaneAdvance(g, g.zLanes, g.zStep);
    }
    g.op(__glOgSub(s, w.r(kEbx), w.imm(4)));
}

namespace {

// Copies the covered elements of a partial group (count in ebx, 1 to 3) between the buffers at
// base and the data-area copy, one element at a time.
void emitCopyCovered(GlOgMmxSpanGen &g, GlOgNode *base, uint8_t *copy, int32_t bytes, bool toCopy) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *done = __glOgShortLabel(s);
    GlOgNode *eax = w.r(kEax);
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            g.op(__glOgCmp(s, w.r(kEbx), w.imm(i + 1)));
            g.op(__glOgJl(s, done));
        }
        const int lane = laneIndex(g.dir, i);
        GlOgNode *there = __glOgMemBase(s, w.imm(lane * bytes), base);
        GlOgNode *here = g.abs(copy + lane * bytes);
        GlOgNode *from = toCopy ? there : here, *to = toCopy ? here : there;
        if (bytes == 2) {
            g.op(__glOgMovzx16(s, eax, from));
            g.op(__glOgOpSize(s));
            g.op(__glOgMov(s, to, eax));
        } else {
            g.op(__glOgMov(s, eax, from));
            g.op(__glOgMov(s, to, eax));
        }
    }
    w.place(done);
}

void emitRowLoop(GlOgMmxSpanGen &g, GlOgNode *exit) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *eax = w.r(kEax), *ebx = w.r(kEbx), *ecx = w.r(kEcx), *edi = w.r(kEdi), *esi = w.r(kEsi);
    GlOgNode *mm0 = g.mm(0);
    const bool color = !g.colorOff;

    // Once per call: the lane offsets and group steps of this direction, the flat colour lanes.
    if (g.flatPacked && color) {
        g.op(__glOgMovd(s, mm0, g.field(SPAN(red.rowStart))));
        g.op(__glOgPunpcklwd(s, mm0, mm0));
        g.op(__glOgPunpckldq(s, mm0, mm0));
        g.op(__glOgMovq(s, g.abs(g.flatPixels), mm0));
    } else if (!g.smooth && color) {
        for (int ch = 0; ch < 4; ++ch) {
            if (ch < 3 ? !g.fragColor : !g.alpha) continue;
            GlOgNode *low = __glOgShortLabel(s), *high = __glOgShortLabel(s);
            g.op(__glOgMov(s, eax, g.field(kIter[ch] + offsetof(GlSpanIter, cur))));
            if (ch < 3) {
                g.op(__glOgSar(s, eax, w.imm(1 + g.bits[ch])));
            } else {
                g.op(__glOgSar(s, eax, w.imm(16)));  // the alpha byte, a unit byte
            }
            g.op(__glOgTest(s, eax, eax));
            g.op(__glOgJns(s, low));
            g.op(__glOgXor(s, eax, eax));
            w.place(low);
            const int32_t top = ch < 3 ? 0x7FFF : 255;
            g.op(__glOgCmp(s, eax, w.imm(top)));
            g.op(__glOgJle(s, high));
            g.op(__glOgMov(s, eax, w.imm(top)));
            w.place(high);
            g.op(__glOgMovd(s, mm0, eax));
            g.op(__glOgPunpcklwd(s, mm0, mm0));
            g.op(__glOgPunpckldq(s, mm0, mm0));
            g.op(__glOgMovq(s, g.abs(g.flat[ch]), mm0));
        }
    }
    for (int i = 0; i < GlOgMmxSpanGen::kIters; ++i)
        if (g.iterated[i] && !steppedPerSegment(g, i))
            emitLaneOffsets(g, g.field(kIter[i] + offsetof(GlSpanIter, step)), g.laneOffset[i], g.laneStep[i]);
    if (g.texture && color) {
        // Level 0 of the texture the chain would sample: its image may be specified again between
        // calls, so it is looked up at every call.
        GlOgNode *level = __glOgMemBase(s, nullptr, eax);
        g.op(__glOgMov(s, eax, g.abs(&g.ctx->state.span.fast.texture)));
        g.op(__glOgMov(s, eax, __glOgMemBase(s, w.imm(offsetof(GlTextureObject, levels)), eax)));
        g.op(__glOgMov(s, eax, level));
        auto levelField = [&](size_t off) { return __glOgMemBase(s, w.imm(int32_t(off)), eax); };
        g.op(__glOgMov(s, ecx, levelField(offsetof(GlMipLevel, image))));
        g.op(__glOgMov(s, g.abs(g.texImage), ecx));
        g.op(__glOgMov(s, ecx, levelField(offsetof(GlMipLevel, log2Width))));
        g.op(__glOgMov(s, g.abs(g.texShiftRow), ecx));
        const struct {
            size_t log2, size;
            uint8_t *shift, *mask, *scale;
        } axes[2] = {{offsetof(GlMipLevel, log2Width), offsetof(GlMipLevel, innerWidth), g.texShiftS, g.texMaskS, g.texScaleS},
                     {offsetof(GlMipLevel, log2Height), offsetof(GlMipLevel, innerHeight), g.texShiftT, g.texMaskT, g.texScaleT}};
        for (const auto &a : axes) {
            if (g.linear) {
                g.op(__glOgMov(s, ecx, levelField(a.log2)));
                g.op(__glOgMov(s, g.abs(a.scale), ecx));
            }
            g.op(__glOgMov(s, ecx, w.imm(16)));
            g.op(__glOgSub(s, ecx, levelField(a.log2)));
            g.op(__glOgMov(s, g.abs(a.shift), ecx));
            g.op(__glOgMov(s, ecx, levelField(a.size)));
            g.op(__glOgDec(s, ecx));
            g.op(__glOgMov(s, g.abs(a.mask), ecx));
            g.op(__glOgMov(s, g.abs(a.mask + 4), ecx));
        }
    }
    if (g.depth) {
        emitLaneOffsets(g, g.field(SPAN(z.step)), g.zOffset, g.zStep);
        g.op(__glOgMovd(s, mm0, g.abs(&g.ctx->buffers.depth.epochBase)));
        g.op(__glOgPunpckldq(s, mm0, mm0));
        g.op(__glOgMovq(s, g.abs(g.epoch), mm0));
    }

    GlOgNode *rowLoop = w.label(), *rowBody = w.label(), *rowEnd = w.label(), *halfEnd = w.label();
    GlOgNode *groupTop = w.label(), *body = w.label(), *groupEnd = w.label(), *partialOut = w.label();

    w.place(rowLoop);
    g.op(__glOgMov(s, eax, g.field(SPAN(yMiddle))));
    g.op(__glOgSub(s, eax, g.field(SPAN(yStart))));
    g.op(__glOgJle(s, halfEnd));
    g.op(__glOgMov(s, g.abs(g.rowsLeft), eax));
    g.op(__glOgMov(s, eax, g.field(SPAN(yStart))));
    g.op(__glOgMov(s, g.field(SPAN(y)), eax));

    // A row: its pixel count, the first group's pointers and lanes.
    w.place(rowBody);
    g.op(__glOgMov(s, ebx, g.field(SPAN(otherEdgeX))));
    g.op(__glOgSub(s, ebx, g.field(SPAN(startEdgeX))));
    g.op(__glOgJle(s, rowEnd));
    g.op(__glOgMov(s, edi, g.field(SPAN(pixelRowStart))));
    if (g.dir < 0) g.op(__glOgLea(s, edi, w.at(kEdi, -6)));
    if (g.depth) {
        g.op(__glOgMov(s, esi, g.field(SPAN(depthRowStart))));
        if (g.dir < 0) g.op(__glOgLea(s, esi, w.at(kEsi, -3 * g.depthBytes)));
        emitLaneStart(g, g.field(SPAN(z.rowStart)), g.zOffset, g.zLanes);
    }
    for (int i = 0; i < GlOgMmxSpanGen::kIters; ++i)
        if (g.iterated[i] && !steppedPerSegment(g, i))
            emitLaneStart(g, g.field(kIter[i] + offsetof(GlSpanIter, rowStart)), g.laneOffset[i], g.lanes[i]);
    if (g.perspective && color) __glOgEmitPerspectiveRow(g);
    if (color && g.dither) {
        // The dither words of the row (y & 3) rotated to the window x of the group's lane 0.
        g.op(__glOgMov(s, eax, g.field(SPAN(y))));
        g.op(__glOgAnd(s, eax, w.imm(3)));
        g.op(__glOgShl(s, eax, w.imm(5)));
        g.op(__glOgMov(s, ecx, g.field(SPAN(startEdgeX))));
        if (g.dir < 0) {
            // startEdgeX is minus the first pixel; lane 0 lies three pixels left of it.
            g.op(__glOgXor(s, ecx, w.imm(-1)));
            g.op(__glOgSub(s, ecx, w.imm(2)));
        }
        g.op(__glOgAnd(s, ecx, w.imm(3)));
        g.op(__glOgLea(s, w.r(kEbp), __glOgMem(s, w.imm(__glOgWord(g.ditherTable)), eax, ecx, 8)));
    }

    // Whole groups; a last group of one to three pixels works on a copy.
    w.place(groupTop);
    g.op(__glOgTest(s, ebx, ebx));
    g.op(__glOgJle(s, rowEnd));
    if (g.perspective && color) {
        GlOgNode *inSegment = w.label();
        g.op(__glOgCmp(s, g.abs(g.segLeft), w.imm(4)));
        g.op(__glOgJge(s, inSegment));
        __glOgEmitNextSegment(g);
        w.place(inSegment);
    }
    g.op(__glOgCmp(s, ebx, w.imm(4)));
    g.op(__glOgJge(s, body));
    if (color) {
        g.op(__glOgMov(s, g.abs(g.savedColor), edi));
        emitCopyCovered(g, edi, g.tempColor, 2, true);
        g.op(__glOgMov(s, edi, w.imm(__glOgWord(g.tempColor))));
    }
    if (g.depth) {
        g.op(__glOgMov(s, g.abs(g.savedDepth), esi));
        emitCopyCovered(g, esi, g.tempDepth, g.depthBytes, true);
        g.op(__glOgMov(s, esi, w.imm(__glOgWord(g.tempDepth))));
    }

    w.place(body);
    if (g.depth) __glOgEmitMmxDepthTest(g, groupEnd);
    if (color) __glOgEmitMmxColor(g);

    w.place(groupEnd);
    g.op(__glOgCmp(s, ebx, w.imm(4)));
    g.op(__glOgJl(s, partialOut));
    __glOgEmitGroupAdvance(g);
    if (color) __glOgEmitMmxStepGroup(g);
    if (g.perspective && color) g.op(__glOgSub(s, g.abs(g.segLeft), w.imm(4)));
    g.op(__glOgJmp(s, groupTop));

    w.place(partialOut);
    if (color) {
        g.op(__glOgMov(s, edi, g.abs(g.savedColor)));
        emitCopyCovered(g, edi, g.tempColor, 2, false);
    }
    if (g.depth && g.depthWrite) {
        g.op(__glOgMov(s, esi, g.abs(g.savedDepth)));
        emitCopyCovered(g, esi, g.tempDepth, g.depthBytes, false);
    }

    // The edge step: the start edge's carry selects the row step of every iterator.
    w.place(rowEnd);
    emitEdgeCarry(g, SPAN(startEdgeFrac), SPAN(startEdgeFracStep));
    emitRowStep(g, SPAN(startEdgeX), SPAN(startEdgeStep));
    emitRowStep(g, SPAN(pixelRowStart), SPAN(pixelRowStep));
    if (g.depth) {
        emitRowStep(g, SPAN(depthRowStart), SPAN(depthRowStep));
        emitRowStep(g, SPAN(z.rowStart), SPAN(z.rowStep));
    }
    for (int i = 0; i < GlOgMmxSpanGen::kIters; ++i)
        if (g.iterated[i] && !steppedPerSegment(g, i))
            emitRowStep(g, kIter[i] + offsetof(GlSpanIter, rowStart), kIter[i] + offsetof(GlSpanIter, rowStep));
    if (g.perspective && color) {
        g.op(__glOgEmms(s));
        for (size_t plane : {SPAN(sw), SPAN(tw), SPAN(qw)}) {
            g.op(__glOgFld(s, g.field(plane + offsetof(GlSpanFloatIter, rowStart))));
            g.op(__glOgFadd(s, g.fieldIndexed(plane + offsetof(GlSpanFloatIter, rowStep), kEcx, 4)));
            g.op(__glOgFstp(s, g.field(plane + offsetof(GlSpanFloatIter, rowStart))));
        }
    }
    emitEdgeCarry(g, SPAN(otherEdgeFrac), SPAN(otherEdgeFracStep));
    emitRowStep(g, SPAN(otherEdgeX), SPAN(otherEdgeStep));
    g.op(__glOgInc(s, g.field(SPAN(y))));
    g.op(__glOgDec(s, g.abs(g.rowsLeft)));
    g.op(__glOgJne(s, rowBody));

    // The lower half: the lower short edge takes the other edge's place.
    w.place(halfEnd);
    g.op(__glOgMov(s, eax, g.field(SPAN(yEnd))));
    g.op(__glOgCmp(s, eax, g.field(SPAN(yMiddle))));
    g.op(__glOgJe(s, exit));
    g.op(__glOgMov(s, ecx, g.field(SPAN(yMiddle))));
    g.op(__glOgMov(s, g.field(SPAN(yStart)), ecx));
    g.op(__glOgMov(s, g.field(SPAN(yMiddle)), eax));
    const size_t moves[][2] = {{SPAN(otherEdgeX), SPAN(lowerEdgeX)},
                               {SPAN(otherEdgeStep[0]), SPAN(lowerEdgeStep[0])},
                               {SPAN(otherEdgeStep[1]), SPAN(lowerEdgeStep[1])},
                               {SPAN(otherEdgeFrac), SPAN(lowerEdgeFrac)},
                               {SPAN(otherEdgeFracStep), SPAN(lowerEdgeFracStep)}};
    for (const auto &m : moves) {
        g.op(__glOgMov(s, eax, g.field(m[1])));
        g.op(__glOgMov(s, g.field(m[0]), eax));
    }
    g.op(__glOgJmp(s, rowLoop));
}

// The texture the routine serves: level 0 of a 2-D texture sampled nearest, or bilinearly, at
// every size (one filter for minifying and magnifying), both coordinates repeating, affine or in
// perspective at the default hint (s/q and t/q once per segment; under GL_NICEST the exact
// division at every pixel is the chain's and the integer one-routine's), with
// GL_REPLACE or GL_MODULATE (GL_DECAL of a texture without alpha counts as GL_REPLACE, as in the
// chain); texels of 3 or 4 bytes are read as bytes, narrower layouts through their table.
bool readTexture(GlContext *ctx, GlShadeFlags f, GlOgMmxSpanGen &g) {
    g.texture = (f & kGlShadeTexture) != 0;
    if (!g.texture) return true;
    GlTextureObject *tex = ctx->state.span.fast.texture;
    if (tex == nullptr || tex->dimensions != 2 || tex->levels == nullptr || tex->levelCount <= 0) return false;
    // A minifying filter of its own (which the chain applies only under perspective) needs the
    // level of detail: the chain's.
    if ((f & kGlShadePerspectiveExact) || tex->minFilter != tex->magFilter) return false;
    g.perspective = (f & kGlShadePerspectiveTex) != 0;
    if (tex->wrapS != GL_REPEAT || tex->wrapT != GL_REPEAT || (tex->magFilter != GL_NEAREST && tex->magFilter != GL_LINEAR))
        return false;
    g.linear = tex->magFilter == GL_LINEAR;
    const GlMipLevel *l0 = tex->levels[0];
    if (l0 == nullptr || l0->image == nullptr || l0->border != 0 || l0->texelFormat == nullptr) return false;
    if (l0->log2Width > 16 || l0->log2Height > 16) return false;
    const GLenum base = GLenum(l0->baseFormat);
    if (base != GL_RGB && base != GL_RGBA && base != GL_LUMINANCE && base != GL_LUMINANCE_ALPHA && base != GL_INTENSITY)
        return false;
    g.texAlpha = __glOgFormatHasAlpha(base);
    g.texelBytes = l0->texelFormat->bitsPerTexel / 8;
    g.texelTable = nullptr;
    if (l0->texelFormatId == kGlTexelRgb8 || l0->texelFormatId == kGlTexelRgba8) {
        if (g.texelBytes != (l0->texelFormatId == kGlTexelRgb8 ? 3 : 4)) return false;
    } else if (g.texelBytes == 1 || g.texelBytes == 2) {
        if (l0->texelFormatId == kGlTexelIndex8 || l0->texelFormatId == kGlTexelIndex16) return false;
        g.texelTable = __glOgTexelWords(tex, l0);
    } else {
        return false;
    }
    // 4-4-4-4 texels filtered bilinearly at every size are the chain's own fast case (four pixels
    // at a time in SSE2, faster than these MMX lanes): they stay the chain's.
    const bool minLinear = tex->minFilter == GL_LINEAR || tex->minFilter == GL_LINEAR_MIPMAP_NEAREST ||
                           tex->minFilter == GL_LINEAR_MIPMAP_LINEAR;
    if (g.linear && minLinear && l0->texelFormatId == kGlTexelArgb4444) return false;
    const GLenum mode = ctx->state.pick.texEnvMode == 0 ? GL_MODULATE : ctx->state.pick.texEnvMode;
    const bool decalAsReplace = mode == GL_DECAL && (base == GL_RGB || base == GL_LUMINANCE || base == GL_INTENSITY);
    if (mode != GL_REPLACE && mode != GL_MODULATE && !decalAsReplace) return false;
    g.modulate = mode == GL_MODULATE;
    return true;
}

// The state the routine serves, read into the generator record; false for any other state.
bool readState(GlContext *ctx, GlOgMmxSpanGen &g) {
    const GlShadeFlags f = ctx->state.span.raster.shadeFlags;
    constexpr GlShadeFlags kServed = kGlShadeRgba | kGlShadeSmooth | kGlShadeDepthTest | kGlShadeDither | kGlShadeTexture |
                                     kGlShadePerspectiveTex | kGlShadeMipmap |
                                     kGlShadeBlend | kGlShadeColorMask | kGlShadeTwoSided | kGlShadeCull |
                                     kGlShadeSmoothColors | kGlShadeDepthIterate | kGlShadeLineStipple |
                                     kGlShadeOffsetPoint | kGlShadeOffsetLine;
    if (!(f & kGlShadeRgba) || (f & ~kServed)) return false;
    if (ctx->state.span.inputs.drawBothBuffers) return false;
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    // One byte per pixel never reaches the fast path; other sizes are not drawn four to a qword.
    if (cb == nullptr || cb->head.elementSize != 2) return false;
    const int32_t max[3] = {cb->redMax, cb->greenMax, cb->blueMax};
    const int32_t shift[3] = {cb->redShift, cb->greenShift, cb->blueShift};
    for (int ch = 0; ch < 3; ++ch) {
        int b = 0;
        while (b < 16 && (int64_t(1) << b) <= max[ch]) ++b;
        if (max[ch] != (1 << b) - 1 || b < 1 || b > 8 || shift[ch] < 0 || shift[ch] + b > 16) return false;
        g.bits[ch] = b;
        g.shift[ch] = shift[ch];
    }
    const uint8_t *cm = ctx->state.color.colorMask;
    g.colorOff = (f & kGlShadeColorMask) != 0;
    // Some channels masked: the routine writes whole pixels only.
    if (g.colorOff && (cm[0] || cm[1] || cm[2] || cm[3])) return false;

    g.smooth = (f & kGlShadeSmooth) != 0;
    g.dither = (f & kGlShadeDither) != 0;
    g.blend = (f & kGlShadeBlend) != 0;
    g.srcFactor = ctx->state.color.blendSrcFactor;
    g.dstFactor = ctx->state.color.blendDstFactor;
    const GLenum sf = g.srcFactor, df = g.dstFactor;
    // The destination-alpha factors and GL_SRC_ALPHA_SATURATE come out constant here (the colour
    // buffer has no alpha: destination alpha is 1), but the fragment's alpha is formed for them too.
    g.alpha = g.blend && (__glOgFactorUsesAlpha(sf) || __glOgFactorUsesAlpha(df));
    if (g.blend && !__glOgMmxBlendServes(g)) return false;
    if (!readTexture(ctx, f, g)) return false;
    g.fragColor = !g.colorOff && (!g.texture || g.modulate);
    g.flatPacked = !g.smooth && !g.dither && !g.blend && !g.texture;
    for (int ch = 0; ch < 3; ++ch) g.iterated[ch] = g.smooth && g.fragColor;
    g.iterated[GlOgMmxSpanGen::kA] = g.smooth && g.alpha && !g.colorOff;
    g.iterated[GlOgMmxSpanGen::kS] = g.iterated[GlOgMmxSpanGen::kT] = g.texture && !g.colorOff;

    g.depth = false;
    if (f & kGlShadeDepthTest) {
        const GlDepthBuffer &db = ctx->buffers.depth;
        const int32_t index = __glDepthTestIndex(ctx, &db);
        g.depthFunc = index & 7;
        g.depthWrite = (index & 8) == 0;
        g.depthWide = (index & 16) != 0;
        g.depthShift = db.shift;
        g.depthBytes = db.head.elementSize;
        if (g.depthBytes != (g.depthWide ? 4 : 2) || g.depthShift < 0 || g.depthShift > 31) return false;
        g.depth = !(g.depthFunc == GL_ALWAYS - GL_NEVER && !g.depthWrite);
    }
    return true;
}

// The data area's constants and cells; false when they do not fit.
bool layOutData(GlOgMmxSpanGen &g) {
    for (int i = 0; i < GlOgMmxSpanGen::kIters; ++i) {
        for (int h = 0; h < 2; ++h) {
            g.lanes[i][h] = g.cell(8);
            g.laneOffset[i][h] = g.cell(8);
        }
        g.laneStep[i] = g.cell(8);
    }
    for (uint8_t *&f : g.flat) f = g.cell(8);
    g.texImage = g.cell(4);
    for (uint8_t **c : {&g.texShiftS, &g.texShiftT, &g.texShiftRow, &g.texMaskS, &g.texMaskT}) {
        *c = g.cell(8);
        std::memset(*c, 0, 8);  // a shift count is the whole qword
    }
    g.texIndex = g.cell(16);
    if (g.texture && g.linear) {
        for (uint8_t **c : {&g.texScaleS, &g.texScaleT}) {
            *c = g.cell(8);
            std::memset(*c, 0, 8);
        }
        g.texCorners = g.cell(64);
        g.texWeights = g.cell(64);
    }
    g.texels = g.cell(16);
    if (g.texture && g.perspective) {
        for (uint8_t **c : {&g.segLeft, &g.segEnd, &g.segLength, &g.segBoundary, &g.rowScale}) *c = g.cell(4);
        g.planeEnds = g.cell(12);
        g.segInts = g.cell(16);
        for (uint8_t **c : {&g.segStarts, &g.segEnds, &g.segSteps, &g.recipWords, &g.recipBias, &g.segLanes[0][0],
                            &g.segLanes[0][1], &g.segLanes[1][0], &g.segLanes[1][1]})
            *c = g.cell(8);
        for (uint8_t **c : {&g.recipLeft, &g.recipRight}) {
            *c = g.cell(8);
            std::memset(*c, 0, 8);  // a shift count is the whole qword
        }
    }
    g.flatPixels = g.cell(8);
    for (int h = 0; h < 2; ++h) {
        g.zLanes[h] = g.cell(8);
        g.zOffset[h] = g.cell(8);
        g.zValues[h] = g.cell(8);
    }
    g.zStep = g.cell(8);
    g.epoch = g.cell(8);
    g.pass = g.cell(8);
    for (uint8_t *&d : g.dstLanes) d = g.cell(8);
    g.srcAlpha = g.cell(8);
    g.tempColor = g.cell(8);
    g.tempDepth = g.cell(16);
    g.savedColor = g.cell(4);
    g.savedDepth = g.cell(4);
    g.rowsLeft = g.cell(4);
    // Dither words: one sixteenth of the channel's step per Bayer level, at the lane scale.
    g.ditherTable = g.cell(3 * 128);
    for (int ch = 0; ch < 3; ++ch)
        for (int row = 0; row < 4; ++row)
            for (int rot = 0; rot < 4; ++rot)
                for (int k = 0; k < 4; ++k) {
                    const uint16_t v = uint16_t((uint32_t(__glDitherMatrix[row][(rot + k) & 3]) * 0x1000u) >> (g.bits[ch] + 1));
                    std::memcpy(g.ditherTable + 128 * ch + 32 * row + 8 * rot + 2 * k, &v, 2);
                }
    return !g.dataFull;
}

}  // namespace

}  // namespace icd

using namespace icd;

bool __glOgMmxSpanServes(GlContext *ctx) {
    GlOgMmxSpanGen g{};
    g.ctx = ctx;
    return __glOgContextOf(ctx) != nullptr && readState(ctx, g);
}

uint8_t *__glOgEmitMmxSpanProc(GlContext *ctx, uint8_t *out, uint8_t *end, GlOgCacheEntry *entry) {
    GlOgContext *og = __glOgContextOf(ctx);
    if (og == nullptr || entry == nullptr || entry->data == nullptr || out == nullptr || end <= out) return nullptr;
    GlOgMmxSpanGen g{};
    g.ctx = ctx;
    if (!readState(ctx, g)) return nullptr;

    GlOgState *s = &og->ir;
    const int32_t dataBytes = og->caches[kGlOgCacheSpan].dataSize;
    if (dataBytes <= kGlOgMmxDataStart) return nullptr;
    g.data = g.dataNext = entry->data + kGlOgMmxDataStart;
    g.dataEnd = entry->data + dataBytes;
    if (!layOutData(g)) return nullptr;

    // A failure of this routine must leave the caller's generation as it was.
    uint8_t *const limitBefore = s->ogCodeEnd;
    const int32_t failedBefore = s->ogFailed;
    __glOgSetCodeLimit(s, limitBefore != nullptr && limitBefore < end ? limitBefore : end);
    g.w = GlOgWriter{s, out, out, entry, kGlOgCacheSpan};
    GlOgWriter &w = g.w;

    GlOgNode *backward = w.label(), *exit = w.label(), *done = __glOgShortLabel(s);
    g.reciprocal = w.label();
    g.op(__glOgCmp(s, g.field(SPAN(xStep)), w.imm(0)));
    g.op(__glOgJl(s, backward));
    for (int dir : {1, -1}) {
        if (dir < 0) w.place(backward);
        g.dir = dir;
        emitRowLoop(g, exit);
    }

    // The exit: MMX state cleared, the drawable lock the set-up took released, 1 to the caller.
    w.place(exit);
    g.op(__glOgEmms(s));
    g.op(__glOgDec(s, g.abs(&ctx->buffers.lockCount)));
    g.op(__glOgJne(s, done));
    g.op(__glOgMov(s, w.r(kEax), g.abs(&ctx->buffers.drawableUnlock)));
    g.op(__glOgTest(s, w.r(kEax), w.r(kEax)));
    g.op(__glOgJe(s, done));
    g.op(__glOgPush(s, w.imm(__glOgWord(ctx))));
    g.op(__glOgCall(s, w.r(kEax)));
    g.op(__glOgAdd(s, w.r(kEsp), w.imm(4)));
    w.place(done);
    g.op(__glOgMov(s, w.r(kEax), w.imm(1)));
    g.op(__glOgJmpRm(s, g.abs(&og->spanReturn)));
    if (g.perspective && !g.colorOff) __glOgEmitReciprocal(g);

    const bool ok = !__glOgFailed(s) && !g.dataFull;
    __glOgSetCodeLimit(s, limitBefore);
    if (!ok) {
        s->ogFailed = failedBefore;
        return nullptr;
    }
    return w.p;
}

const uint32_t *__glOgTexelWords(GlTextureObject *tex, const GlMipLevel *l0) {
    static std::mutex lock;
    // Owned, so that unloading the driver gives them back (a process that loads and unloads it
    // again and again would otherwise lose them each time).
    static std::unique_ptr<uint32_t[]> tables[kGlTexelFormatCount];
    const int32_t id = l0->texelFormatId;
    const int32_t bytes = l0->texelFormat->bitsPerTexel / 8;
    std::lock_guard<std::mutex> hold(lock);
    if (tables[id] == nullptr) {
        const uint32_t count = 1u << (8 * bytes);
        std::vector<uint8_t> image(size_t(count) * size_t(bytes));
        for (uint32_t v = 0; v < count; ++v) std::memcpy(&image[size_t(v) * size_t(bytes)], &v, size_t(bytes));
        // One row holding every value, read by the layout's own fetch.
        GlMipLevel row = *l0;
        row.image = image.data();
        row.width = row.innerWidth = int32_t(count);
        row.height = row.innerHeight = 1;
        row.log2Width = 8 * bytes;
        row.log2Height = 0;
        std::unique_ptr<uint32_t[]> table(new uint32_t[count]);
        for (uint32_t v = 0; v < count; ++v) {
            uint8_t out[4] = {0, 0, 0, 255};
            l0->texelFormat->fetch(&row, tex, 0, 0, int32_t(v), out);
            table[v] = uint32_t(out[0]) | uint32_t(out[1]) << 8 | uint32_t(out[2]) << 16 | uint32_t(out[3]) << 24;
        }
        tables[id] = std::move(table);
    }
    return tables[id].get();
}
