// The display driver on a ZK4: boot, mode changes, full-screen switches and teardown over the
// real video port, miniport and zkgfx device, with the ZK4's objects (memory named through
// their methods, no patch graph) and its engine synchronisation; nothing is left behind.
#include "tests/display_draw/draw_fixture.h"

#include <algorithm>
#include <set>
#include <string>

#include "include/zk_escape.h"

namespace {

class Zk4 : public DrawTest {
protected:
    Zk4() { card_ = KivVideoCard::ZK4; }
    void TearDown() override {
        EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
        DrawTest::TearDown();
    }
    std::set<uint32_t> liveMemory() const {
        std::set<uint32_t> s;
        for (const auto &o : kivZkgfxState().objects) s.insert(o.handle);
        return s;
    }
    // The ZK4 objects of a depth: every subchannel holds its default, each names the engine's
    // notifier and the surfaces it draws on through its methods.
    void expectObjects(uint32_t depthCode, uint32_t surfaceFormat) {
        ZK_PDEV *p = pdev();
        const uint32_t bound[7] = {0xA0000, 0xA0001, 0xA0008, 0xA0003, 0xA0004, 0xA0005, 0xA0006};
        for (unsigned s = 0; s < 7; ++s) EXPECT_EQ(zk3EngineBound(s), bound[s]) << "subchannel " << s;
        EXPECT_EQ(zk3EngineBound(7), p->subchannel7Object);
        struct Want { uint32_t object, cls; uint16_t method; uint32_t value; };
        const Want wants[] = {
            {0xA00F2, 0x58, 0x184, 0x1022}, {0xA00F2, 0x58, 0x300, surfaceFormat}, {0xA00F2, 0x58, 0x308, uint32_t(p->lDelta)},
            {0xA00F4, 0x59, 0x184, 0x1022}, {0xA0004, 0x43, 0x300, 0xCCCC}, {0xA0005, 0x18, 0x300, depthCode},
            {0xA0007, 0x17, 0x300, depthCode}, {0xA0001, 0x1F, 0x198, 0xA00F4}, {0xA0001, 0x1F, 0x19C, 0xA00F2},
            {0xA0008, 0x4B, 0x190, 0xA00F2}, {0xA0003, 0x1E, 0x194, 0xA00F2}, {0xA0000, 0x21, 0x198, 0xA00F2},
        };
        for (const Want &w : wants) {
            const Zk3EngineObject *o = zk3EngineFind(w.object);
            ASSERT_NE(o, nullptr) << std::hex << w.object;
            EXPECT_EQ(o->cls, w.cls) << std::hex << w.object;
            EXPECT_EQ(o->method(0x180), 0x80021019u) << std::hex << w.object << " names the engine notifier";
            EXPECT_EQ(o->method(w.method), w.value) << std::hex << w.object << " method " << w.method;
        }
        EXPECT_EQ(zk3EngineLiveInstances(), p->cObjects);
        EXPECT_EQ(liveMemory().size(), p->cMemoryObjects);
        for (uint32_t h : {0x1022u, 0x80021019u, 0x1016u}) EXPECT_EQ(liveMemory().count(h), 1u) << std::hex << h;
        // The DMA buffer's objects, as on the ZK3.
        for (uint32_t h : {0x1020u, 0x1019u, 0x1021u}) EXPECT_EQ(liveMemory().count(h), p->pDmaBuffer ? 1u : 0u) << std::hex << h;
        if (p->pDmaBuffer) {
            const Zk3EngineObject *copy = zk3EngineFind(0x3400000A);
            ASSERT_NE(copy, nullptr);
            EXPECT_EQ(copy->method(0x304), 0x1020u);
        }
        EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
    }
    // The ZK4's synchronisation: the engine idle first, then the destination back on the screen, a
    // plain copy ROP and the no-op that drains the channel, and idle again.
    void expectSynchronisation() {
        ZK_PDEV *p = pdev();
        zk3EngineClearLog();
        zk3EngineHoldBusy(5);
        const uint64_t reads = zk3EngineFreeCountReads();
        kivEngineSynchronize();
        p->dstOffset = 0x1234;   // as if the drawing code had left another surface there
        p->pfnSyncEngine(p);
        EXPECT_GT(zk3EngineFreeCountReads(), reads);
        std::vector<std::pair<uint16_t, uint32_t>> got;
        for (const Zk3FifoWrite &w : zk3EngineLog()) got.push_back({uint16_t(w.subchannel << 13 | w.method), w.value});
        const std::vector<std::pair<uint16_t, uint32_t>> tail = {
            {0xE30C, 0}, {0xE308, uint32_t(p->lDelta)}, {0x8300, 0xCC}, {0x43FC, 0}};
        ASSERT_GE(got.size(), tail.size());
        typedef std::vector<std::pair<uint16_t, uint32_t>> Writes;
        EXPECT_EQ(Writes(got.end() - 4, got.end()), tail);
        EXPECT_EQ(zk3EngineBound(7), 0xA00F2u);
        EXPECT_EQ(p->dstOffset, 0u);
    }
};

}  // namespace

TEST_F(Zk4, BootsSetsModesAndTearsDownLeavingNothing) {
    struct Mode { uint32_t w, h, bpp, depthCode, surfaceFormat; };
    const Mode modes[] = {{1024, 768, 16, 2, 0x1000000}, {800, 600, 32, 3, 1}, {640, 480, 8, 1, 0x1010000}};
    ASSERT_TRUE(start(modes[0].bpp));
    ZK_PDEV *p = pdev();
    EXPECT_TRUE(p->chipFlags & ZK_CHIP_FLAG_ZK4);
    EXPECT_FALSE(p->chipFlags & ZK_CHIP_FLAG_ZK3);
    EXPECT_EQ(p->bEnabled, 1u);
    EXPECT_NE(p->fifo, nullptr);
    expectObjects(modes[0].depthCode, modes[0].surfaceFormat);
    // The ZK4's engine methods: its own synchronisation, no pusher, no DirectDraw method table.
    EXPECT_NE(p->pfnSyncEngine, nullptr);
    EXPECT_EQ(p->pfnStartDmaPush, nullptr);
    EXPECT_FALSE(p->flags & ZK_FLAG_HW_METHODS);
    EXPECT_EQ(p->hw.pfnFillRect, nullptr);
    expectSynchronisation();
    // Without the method table DirectDraw is not offered, and a client's command buffer is not
    // pushed (the ZK4 has no pusher method): the escape answers with a failed push.
    typedef BOOL(APIENTRY * PFN_GetInfo)(DHPDEV, void *, DWORD *, void *, DWORD *, DWORD *);
    uint8_t halInfo[404] = {};
    DWORD heaps = 0, codes = 0;
    EXPECT_FALSE(reinterpret_cast<PFN_GetInfo>(kivEngineDriverFunction(INDEX_DrvGetDirectDrawInfo))(
        kivEngineDisplay()->dhpdev, halInfo, &heaps, nullptr, &codes, nullptr));
    ZK_DMA_PUSH_PARAMS push{0x1020, 1, 2, 0, 16, p->modeChangeCounter}, out{0xFFFFFFFF, 0, 0, 0, 0, 0};
    kivEngineEscape(ESC_ZK_START_DMA_PUSH, sizeof push, &push, sizeof out, &out);
    EXPECT_NE(out.dmaObject, 1u) << "no push reported as done";
    EXPECT_TRUE(zk3EnginePusherRuns().empty());

    for (const Mode &m : modes) {
        SCOPED_TRACE(testing::Message() << m.w << "x" << m.h << "x" << m.bpp);
        ASSERT_TRUE(kivEngineChangeMode(m.w, m.h, m.bpp, 60));
        p = pdev();
        EXPECT_EQ(p->cxScreen, m.w);
        EXPECT_EQ(p->cBitsPerPel, m.bpp);
        expectObjects(m.depthCode, m.surfaceFormat);
        // A full-screen session gives the hardware up and takes it back: every object goes and
        // comes back once.
        const size_t instances = zk3EngineLiveInstances(), memory = liveMemory().size();
        ASSERT_TRUE(kivEngineAssertMode(false));
        EXPECT_EQ(zk3EngineLiveInstances(), 0u);
        EXPECT_TRUE(liveMemory().empty());
        EXPECT_EQ(kivZkgfxState().fifoAddress, 0u);
        ASSERT_TRUE(kivEngineAssertMode(true));
        EXPECT_EQ(zk3EngineLiveInstances(), instances);
        EXPECT_EQ(liveMemory().size(), memory);
        expectObjects(m.depthCode, m.surfaceFormat);
        expectSynchronisation();
    }
}

TEST_F(Zk4, DrawingThroughTheZk4sObjectsMatchesTheEngine) {
    for (uint32_t bpp : {16u, 32u}) {
        SCOPED_TRACE(bpp);
        if (bpp == 16) ASSERT_TRUE(start(16));
        else {
            ASSERT_TRUE(kivEngineChangeMode(1024, 768, 32, 60));
            screen = pdev()->psoScreen;
            delete ref;
            refBits.assign(size_t(pdev()->lDelta) * pdev()->cyScreen, 0);
            ref = new TestBitmap(1024, 768, pdev()->iBitmapFormat, true, pdev()->lDelta, refBits.data());
        }
        seedScreen(bpp);
        const Zk3DrawStats before = zk3DrawStats();
        // A solid fill, a clipped copy down and to the right within the screen, an inverting fill.
        KivBrushObj brush = KivBrushObj::solid(bpp == 16 ? 0x1A3Cu : 0x00C08040u);
        struct Op { RECTL r; POINTL src; ULONG rop4; bool copy; };
        const Op ops[] = {{{10, 20, 110, 70}, {}, 0xF0F0, false},
                          {{40, 50, 240, 150}, {30, 35}, 0xCCCC, true},
                          {{5, 5, 300, 40}, {}, 0x5555, false}};
        for (const Op &op : ops) {
            KivClipObj c1 = KivClipObj::rect(RECTL{0, 0, 200, 140}), c2 = KivClipObj::rect(RECTL{0, 0, 200, 140});
            RECTL t1 = op.r, t2 = op.r;
            POINTL s1 = op.src, s2 = op.src, o1{}, o2{};
            ASSERT_TRUE(DrvBitBlt(screen, op.copy ? screen : nullptr, nullptr, c1.get(), nullptr, &t1,
                                  op.copy ? &s1 : nullptr, nullptr, op.copy ? nullptr : brush.get(), &o1, op.rop4));
            EngBitBlt(ref->pso, op.copy ? ref->pso : nullptr, nullptr, c2.get(), nullptr, &t2, op.copy ? &s2 : nullptr,
                      nullptr, op.copy ? nullptr : brush.get(), &o2, op.rop4);
        }
        kivEngineSynchronize();
        EXPECT_EQ(compare(), "");
        const Zk3DrawStats after = zk3DrawStats();
        EXPECT_GT(after.blits, before.blits) << "the copy ran on the engine";
        EXPECT_GT(after.rectangles + after.monoA, before.rectangles + before.monoA) << "the fills ran on the engine";
    }
}
