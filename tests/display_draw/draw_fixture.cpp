#include "tests/display_draw/draw_fixture.h"

#include <cstdio>
#include <cstring>

// The display tests' machine fixture is shared: one definition, built into this program too.
#include "tests/display/fixture.cpp"

TestBitmap::TestBitmap(LONG cx, LONG cy, ULONG format, bool topDown, LONG stride, void *bits) {
    HBITMAP h = EngCreateBitmap(SIZEL{cx, cy}, stride, format, topDown ? BMF_TOPDOWN : 0, bits);
    hsurf = reinterpret_cast<HSURF>(h);
    pso = hsurf ? EngLockSurface(hsurf) : nullptr;
}

TestBitmap::~TestBitmap() {
    if (pso) EngUnlockSurface(pso);
    if (hsurf) EngDeleteSurface(hsurf);
}

void TestBitmap::seed(uint32_t salt) {
    uint32_t s = salt * 2654435761u + 1;
    for (LONG y = 0; y < pso->sizlBitmap.cy; ++y)
        for (LONG x = 0; x < pso->sizlBitmap.cx; ++x) {
            s = s * 1664525u + 1013904223u;
            set(x, y, s >> 7);
        }
}

void DrawTest::SetUp() {
    DisplayTest::SetUp();
    if (HasFatalFailure()) return;
}

bool DrawTest::start(uint32_t bpp) {
    bpp_ = bpp;
    if (!boot(1024, 768, bpp)) return false;
    screen = pdev()->psoScreen;
    const ZK_PDEV *p = pdev();
    refBits.assign(static_cast<size_t>(p->lDelta) * p->cyScreen, 0);
    ref = new TestBitmap(static_cast<LONG>(p->cxScreen), static_cast<LONG>(p->cyScreen), p->iBitmapFormat, true,
                         p->lDelta, refBits.data());
    zk3DrawClearErrors();
    zk3EngineClearLog();
    kivEngResetDrawCounts();
    return screen && ref->pso;
}

void DrawTest::TearDown() {
    if (!stopped_) {
        EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
        delete ref;
        ref = nullptr;
    }
    DisplayTest::TearDown();
}

void DrawTest::seedScreen(uint32_t salt) {
    ZK_PDEV *p = pdev();
    uint32_t s = salt * 2654435761u + 7;
    for (size_t i = 0; i < static_cast<size_t>(p->lDelta) * p->cyScreen; ++i) {
        s = s * 1664525u + 1013904223u;
        p->frameBuffer[i] = static_cast<uint8_t>(s >> 24);
    }
    syncReference();
}

void DrawTest::syncReference() {
    ZK_PDEV *p = pdev();
    std::memcpy(refBits.data(), p->frameBuffer, refBits.size());
}

uint32_t DrawTest::screenPixel(LONG x, LONG y) const {
    const ZK_PDEV *p = pdev();
    uint32_t v = 0;
    std::memcpy(&v, p->frameBuffer + static_cast<size_t>(y) * p->lDelta + static_cast<size_t>(x) * p->cjPelSize,
                p->cjPelSize);
    return v;
}

std::string DrawTest::compare(const RECTL *only) const {
    const ZK_PDEV *p = pdev();
    RECTL r = only ? *only : RECTL{0, 0, static_cast<LONG>(p->cxScreen), static_cast<LONG>(p->cyScreen)};
    size_t bad = 0;
    char first[128] = "";
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x) {
            const uint32_t a = screenPixel(x, y), b = ref->get(x, y);
            if (a != b && bad++ == 0)
                std::snprintf(first, sizeof first, "(%ld, %ld): driver 0x%X, engine 0x%X", static_cast<long>(x),
                              static_cast<long>(y), a, b);
        }
    if (!bad) return "";
    return std::to_string(bad) + " pixels differ, first at " + first;
}

std::vector<uint32_t> DrawTest::ropWrites() const {
    std::vector<uint32_t> v;
    for (const Zk3FifoWrite &w : zk3EngineLog())
        if (w.subchannel == ZK_SUB_ROP && w.method == ZK_ROP_ROP3) v.push_back(w.value);
    return v;
}

std::vector<Zk3FifoWrite> DrawTest::writes(unsigned sub) const {
    std::vector<Zk3FifoWrite> v;
    for (const Zk3FifoWrite &w : zk3EngineLog())
        if (w.subchannel == sub && w.method != 0x10) v.push_back(w);
    return v;
}

void DrawAllDepths::SetUp() {
    DrawTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(start(GetParam())) << "boot at " << GetParam() << " bpp";
}
