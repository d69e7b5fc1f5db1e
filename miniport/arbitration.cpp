// Display FIFO arbitration of the ZK3: simulates the FIFO levels of the display, video and
// engine requesters for candidate burst sizes and keeps the first setting under which no FIFO
// runs dry or overflows. All arithmetic is 32-bit signed, left to right, truncating divisions.
#include "miniport/kivport.h"

namespace {

constexpr LONG kMillion = 1000000;
constexpr LONG kEngineRate = 33000;
constexpr int kMaxServiceSteps = 101;

// 32-bit machine arithmetic: products wrap, quotients truncate toward zero.
LONG mul(LONG a, LONG b) { return LONG(uint32_t(a) * uint32_t(b)); }
LONG dv(LONG a, LONG b) {
    if (b == 0) return 0;
    if (b == -1) return LONG(0u - uint32_t(a));
    return a / b;
}
LONG labs32(LONG a) { return a < 0 ? LONG(0u - uint32_t(a)) : a; }
LONG min32(LONG a, LONG b) { return a < b ? a : b; }

enum { kVideo = 0, kGraphics = 1, kEngine = 2, kNone = 3 };

void setInvalid(ZK_ARB_RESULT *r) {
    r->GraphicsWatermark = 256;
    r->VideoWatermark = 128;
    r->GraphicsBurst = 64;
    r->VideoBurst = 64;
    r->ModeOne = 0;
    r->ModeTwo = 0;
    r->Valid = 0;
}

}  // namespace

void ZkCheckArbitration(ZK_ARB_RESULT *, const ZK_ARB_INPUT *in, ZK_ARB_STATE *s) {
    const LONG W = in->BusWidth / 8;
    const LONG M = in->MemoryClock;
    const LONG pc = in->PageCost, bc = in->BaseCost;
    LONG vLow = 0, gLow = 0, d = 0, e = 0;
    LONG cur = s->Current;
    for (int step = 0;; ++step) {
        if (s->VideoEnabled) {
            s->VideoMin = min32(s->VideoMin, s->VideoLevel);
            s->VideoLow = min32(s->VideoLow, vLow);
            d = dv(mul(dv(dv(mul(s->VideoBurst, kMillion), W), M), s->VideoRate), kMillion) + s->VideoLow - s->VideoBurst;
        }
        if (in->EngineClient) s->EngineMin = min32(s->EngineMin, s->EngineLevel);
        if (s->GraphicsEnabled) {
            s->GraphicsLow = min32(s->GraphicsLow, gLow);
            s->GraphicsMin = min32(s->GraphicsMin, s->GraphicsLevel);
            e = dv(mul(dv(mul(dv(s->GraphicsBurst, W), kMillion), M), s->GraphicsRate), kMillion) + s->GraphicsLow -
                s->GraphicsBurst;
        }

        const bool videoStarving = s->VideoEnabled && s->VideoLevel < 0 && !s->VideoHeld;
        const bool graphicsStarving = s->GraphicsEnabled && s->GraphicsLevel < 0 && !s->GraphicsHeld;
        const bool engineStarving = s->EngineLevel < 0;
        LONG f = kNone;
        if (in->SinglePass || !s->VideoEnabled) {
            if (s->Mode == 0) f = videoStarving ? kVideo : graphicsStarving ? kGraphics : engineStarving ? kEngine : kNone;
            else if (s->Mode == 1) f = graphicsStarving ? kGraphics : videoStarving ? kVideo : engineStarving ? kEngine : kNone;
            else f = engineStarving ? kEngine : graphicsStarving ? kGraphics : videoStarving ? kVideo : kNone;
        } else {
            if (s->VideoLevel < 0 && !s->VideoHeld) f = kVideo;
            else if (engineStarving) f = kEngine;
            else if (s->GraphicsLevel < s->LatencyBytes) f = kGraphics;
        }
        if (f == kNone) return;   // nobody needs service: the run passes

        const bool same = f == cur;
        UCHAR &first = f == kVideo ? s->FirstVideo : f == kGraphics ? s->FirstGraphics : s->FirstEngine;
        const LONG h = same ? 0 : (first ? 2 : 1);
        first = 0;

        LONG m, g;
        if (f == kVideo) {
            if (!same) vLow = dv(mul(dv(mul(2 * pc + bc, -kMillion), M), s->VideoRate), kMillion) + s->VideoLevel;
            m = dv(dv(mul(mul(h, pc) + s->VideoBurst, kMillion), W), M);
            s->VideoLevel += dv(mul(m, s->VideoRate), -kMillion) + s->VideoBurst;
            s->GraphicsLevel += dv(mul(m, s->GraphicsRate), -kMillion);
            g = dv(mul(m, s->EngineRate), -kMillion);
        } else if (f == kGraphics) {
            if (!same) gLow = dv(mul(dv(mul(2 * pc + bc, -kMillion), M), s->GraphicsRate), kMillion) + s->GraphicsLevel;
            m = dv(mul(mul(h, pc) + dv(s->GraphicsBurst, W), kMillion), M);
            s->VideoLevel += dv(mul(m, s->VideoRate), -kMillion);
            s->GraphicsLevel += dv(mul(m, s->GraphicsRate), -kMillion) + s->GraphicsBurst;
            g = dv(mul(m, s->EngineRate), -kMillion);
        } else {
            m = dv(mul(mul(h, pc) + dv(32, W), kMillion), M);
            s->VideoLevel += dv(mul(m, s->VideoRate), -kMillion);
            s->GraphicsLevel += dv(mul(m, s->GraphicsRate), -kMillion);
            g = dv(mul(m, s->EngineRate), -kMillion) + 32;
        }
        s->EngineLevel += g;

        const LONG gBound = dv(mul(dv(dv(mul(s->GraphicsBurst, -kMillion), W), M), s->GraphicsRate), kMillion) +
                            ((labs32(s->GraphicsLow) + 16) & ~7) + s->GraphicsBurst;
        const LONG vMark = s->VideoLow + 32 > 0 ? s->VideoLow + 32 : 32 - s->VideoLow;
        const LONG vBound = (vMark & ~15) + s->VideoBurst -
                            dv(mul(dv(dv(mul(s->VideoBurst, kMillion), W), M), s->VideoRate), kMillion);
        if (step + 1 >= kMaxServiceSteps || gBound > 320 || vBound > 256 || labs32(s->GraphicsLevel) > 320 ||
            labs32(s->VideoLevel) > 256 || labs32(s->EngineLevel) > 120 || labs32(d) > 256 || labs32(e) > 320) {
            s->Valid = 0;
            return;
        }
        cur = f;
    }
}

void ZkEvaluateArbitration(ZK_ARB_RESULT *result, const ZK_ARB_INPUT *in, ZK_ARB_STATE *s) {
    const LONG pages = in->FastPages ? 2 : 3;
    const LONG W = in->BusWidth / 8;
    const LONG M = in->MemoryClock;
    const LONG pc = in->PageCost;
    const LONG cyc = dv(M, in->PixelClock) * 2 + 5;
    auto drain = [&](LONG t, LONG rate) { return dv(mul(t, rate), -kMillion); };

    s->LatencyBytes = dv(mul(dv(mul(pages * pc + in->BaseCost, kMillion), M), s->GraphicsRate), kMillion);
    s->VideoMin = s->GraphicsMin = s->EngineMin = 0;
    s->GraphicsLow = s->VideoLow = 0;
    s->Valid = 1;

    // Run A: nobody served yet.
    LONG t = dv(mul(8 + pc + cyc, kMillion), M);
    s->VideoLevel = s->VideoEnabled ? drain(t, s->VideoRate) : 0;
    s->GraphicsLevel = s->GraphicsEnabled ? drain(t, s->GraphicsRate) : 0;
    s->EngineLevel = in->EngineClient ? drain(t, s->EngineRate) : 0;
    s->Current = kNone;
    s->FirstVideo = s->FirstGraphics = s->FirstEngine = 1;
    ZkCheckArbitration(result, in, s);

    // Run B: the engine was served last.
    if (in->EngineClient) {
        t = dv(mul(dv(32, W) + 2 * pc + cyc, kMillion), M);
        s->EngineLevel = 0;
        s->VideoLevel = s->VideoEnabled ? 0 : drain(t, s->VideoRate);
        s->GraphicsLevel = s->GraphicsEnabled ? 0 : drain(t, s->GraphicsRate);
        s->Current = kEngine;
        s->FirstVideo = s->FirstGraphics = 1;
        s->FirstEngine = 0;
        ZkCheckArbitration(result, in, s);
    }
    // Run C: the display was served last.
    if (s->GraphicsEnabled) {
        t = dv(mul(dv(s->GraphicsBurst, W) + pages * pc + cyc, kMillion), M);
        s->GraphicsLevel = drain(t, s->GraphicsRate) + s->GraphicsBurst;
        s->VideoLevel = s->VideoEnabled ? drain(t, s->VideoRate) : 0;
        s->EngineLevel = in->EngineClient ? drain(t, s->EngineRate) : 0;
        s->Current = kGraphics;
        s->FirstVideo = s->FirstEngine = 1;
        s->FirstGraphics = 0;
        ZkCheckArbitration(result, in, s);
    }
    // Run D: the video requester was served last.
    if (s->VideoEnabled) {
        t = dv(mul(dv(s->VideoBurst, W) + 2 * pc + cyc, kMillion), M);
        s->VideoLevel = drain(t, s->VideoRate) + s->VideoBurst;
        s->GraphicsLevel = s->GraphicsEnabled ? drain(t, s->GraphicsRate) : 0;
        s->EngineLevel = in->EngineClient ? drain(t, s->EngineRate) : 0;
        s->Current = kVideo;
        s->FirstGraphics = s->FirstEngine = 1;
        s->FirstVideo = 0;
        ZkCheckArbitration(result, in, s);
    }

    if (!s->Valid) {
        setInvalid(result);
        return;
    }
    result->GraphicsWatermark = labs32(s->GraphicsLow) + 16;
    const LONG v = labs32(s->VideoLow) + 32;
    result->GraphicsBurst = s->GraphicsBurst;
    result->VideoBurst = s->VideoBurst;
    result->ModeOne = s->Mode == 1;
    result->ModeTwo = s->Mode == 2;
    if (v <= 160) {
        result->VideoWatermark = min32(v, 128);
        result->Valid = 1;
    } else {
        setInvalid(result);
    }
}

void ZkIterateArbitration(ZK_ARB_RESULT *result, const ZK_ARB_INPUT *in, ZK_ARB_STATE *s) {
    static const LONG kGraphicsBursts[2] = {128, 64};
    static const LONG kVideoBursts[3] = {128, 64, 32};
    result->Valid = 0;
    for (LONG mode = 0; mode <= 1; ++mode)
        for (LONG gb : kGraphicsBursts)
            for (LONG vb : kVideoBursts) {
                s->Mode = mode;
                s->GraphicsBurst = gb;
                s->VideoBurst = vb;
                ZkEvaluateArbitration(result, in, s);
                if (!result->Valid) continue;
                if (gb == 128 && result->GraphicsWatermark > 128) {   // 128 + watermark > 256
                    result->Valid = 0;
                    continue;
                }
                return;
            }
}

void ZkComputeArbitration(ZK_ARB_RESULT *result, const ZK_ARB_INPUT *in) {
    ZK_ARB_STATE s{};
    s.GraphicsEnabled = 1;
    s.GraphicsHeld = 0;
    s.VideoHeld = 0;
    s.VideoEnabled = in->VideoClient;
    s.GraphicsRate = dv(mul(in->PixelClock, LONG(in->Depth)), 8);
    s.VideoRate = dv(2 * in->PixelClock, in->VideoDivisor);
    s.EngineRate = kEngineRate;
    result->Reserved = 0;
    if (in->MemoryClock <= 0 || in->PixelClock <= 0 || in->BusWidth < 8) {
        setInvalid(result);   // no clock to simulate with
        return;
    }

    if (in->SinglePass || !in->VideoClient) {
        if (!s.VideoEnabled) s.VideoRate = 0;
        ZkIterateArbitration(result, in, &s);
        return;
    }
    // Two searches: the video requester alone, then the display with the video slot reserved.
    const LONG graphicsRate = s.GraphicsRate;
    s.GraphicsRate = 0;
    s.GraphicsHeld = 1;
    ZkIterateArbitration(result, in, &s);
    const UCHAR firstValid = result->Valid;
    const LONG videoWatermark = result->VideoWatermark, videoBurst = result->VideoBurst;
    s.VideoEnabled = 1;
    s.VideoHeld = 1;
    s.VideoRate = 0;
    s.GraphicsRate = graphicsRate;
    ZkIterateArbitration(result, in, &s);
    result->VideoWatermark = videoWatermark;
    result->VideoBurst = videoBurst;
    result->Valid = firstValid && result->Valid;
}

ULONG ZkPllClockHz(ULONG pll, ULONG referenceKhz) {
    const uint64_t m = pll & 0xFF, n = (pll >> 8) & 0xFF, p = (pll >> 16) & 7;
    if (m == 0) return 0;
    return ULONG(n * referenceKhz * 1000 / (uint64_t(1) << p) / m);
}

void ZkSetArbitrationZk3(ZK_DEVICE_EXTENSION *ext) {
    // The clocks come from the PLL registers with the reference the PLL was computed with.
    const ULONG ref = (ZkReadChipRegister(ext, 0x101000, 4) & 0x40) ? 14318 : 13500;
    ext->MemoryClock = ZkPllClockHz(ZkReadChipRegister(ext, 0x680504, 4), ref);
    ext->PixelClock = ZkPllClockHz(ZkReadChipRegister(ext, 0x680508, 4), ref);

    ZK_ARB_INPUT in{};
    in.Depth = ext->ModeBitsPerPixel;
    in.EngineClient = 0;
    in.VideoClient = 1;
    in.SinglePass = 1;
    in.FastPages = 1;
    in.BusWidth = LONG(ext->MemoryBusWidth);
    in.VideoDivisor = 1;
    in.PixelClock = LONG(ext->PixelClock / 1000);
    in.MemoryClock = LONG(ext->MemoryClock / 1000);
    in.PageCost = 11;
    in.BaseCost = 9;
    ZK_ARB_RESULT first{}, second{};
    ZkComputeArbitration(&first, &in);
    ext->ArbitrationValid = ext->OutputKind != 0 ? 0 : first.Valid;

    in.VideoClient = 0;
    in.SinglePass = 0;
    in.EngineClient = 0;
    ZkComputeArbitration(&second, &in);

    if (second.Valid) {
        const ULONG r238 = ZkReadChipRegister(ext, 0x680238, 4);
        ZkWriteChipRegister32(ext, 0x680238, (r238 & ~0x78u) | (ULONG((second.VideoWatermark >> 1) & 0xF) << 3));
        const ULONG burstCode = second.VideoBurst == 32 ? 1 : second.VideoBurst == 64 ? 2 : second.VideoBurst == 128 ? 3 : 0;
        const ULONG r23c = ZkReadChipRegister(ext, 0x68023C, 4);
        ZkWriteChipRegister32(ext, 0x68023C, (r23c & ~3u) | burstCode);
        const ULONG r300 = ZkReadChipRegister(ext, 0x100300, 4);
        ZkWriteChipRegister32(ext, 0x100300, (r300 & ~0x11000000u) | (ULONG(second.ModeOne) << 24) |
                                                 (ULONG(second.ModeTwo) << 28));
    }
    const UCHAR seqIndex = UCHAR(ZkReadChipRegister(ext, kZkSeqIndex, 1));
    const UCHAR oldSeq5 = ZkReadSeq(ext, 5);
    ZkWriteSeq(ext, 5, 0x57);
    if (second.Valid) {
        static const LONG kBursts[5] = {16, 32, 64, 128, 256};
        UCHAR code = 0;
        for (UCHAR i = 0; i < 5; ++i)
            if (kBursts[i] == second.GraphicsBurst) code = i;
        ZkWriteCrtc(ext, 0x20, UCHAR(second.GraphicsWatermark >> 3));
        ZkWriteCrtc(ext, 0x1B, code);
    } else {
        ZkWriteCrtc(ext, 0x1B, 2);
        ZkWriteCrtc(ext, 0x20, 0x24);
    }
    if (oldSeq5 == 0) ZkWriteSeq(ext, 5, 0x99);
    ZkWriteChipRegister8(ext, kZkSeqIndex, seqIndex);
}
