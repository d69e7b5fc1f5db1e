// The display driver's off-screen memory, pointer and DirectDraw, driven as the engine drives them.
#pragma once
#include "tests/display_draw/draw_fixture.h"

#include <deque>

#include "display/heap.h"
#include "platform/ntgdi/eng_devbitmap.h"

class MoreTest : public DrawTest {
protected:
    std::deque<KivEngBitmap> bitmaps;   // references stay valid as it grows

    void SetUp() override {
        DrawTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(start(16));
    }
    void TearDown() override {
        if (!stopped_)
            for (auto &b : bitmaps) kivEngineDeleteBitmap(b);
        DrawTest::TearDown();
    }
    KivEngBitmap &make(LONG cx, LONG cy) {
        bitmaps.push_back(kivEngineCreateBitmap(cx, cy));
        return bitmaps.back();
    }
    static ZK_DSURF *dsurfOf(const KivEngBitmap &b) { return reinterpret_cast<ZK_DSURF *>(b.pso->dhsurf); }
    static ZK_OFFSCREEN_NODE *nodeOf(const KivEngBitmap &b) {
        return static_cast<ZK_OFFSCREEN_NODE *>(dsurfOf(b)->p);
    }
};
