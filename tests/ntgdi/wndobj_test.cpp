// The engine's window objects as a display driver sees them: the callback's change flags, the
// clip complexity and enumeration of the visible region, stacking, and deletion.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/ntgdi/eng_internal.h"
#include "platform/ntgdi/ntgdi.h"

namespace {

struct Call { WNDOBJ *pwo; FLONG fl; };
std::vector<Call> g_calls;
void APIENTRY record(WNDOBJ *pwo, FLONG fl) { g_calls.push_back({pwo, fl}); }

HWND window(int x, int y, int w, int h) {
    return CreateWindowExA(0, "t", "t", WS_VISIBLE, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
}

std::vector<RECTL> enumerate(WNDOBJ *pwo, ULONG bufferBytes) {
    std::vector<RECTL> out;
    WNDOBJ_cEnumStart(pwo, CT_RECTANGLES, CD_ANY, 0);
    std::vector<ULONG> buffer(bufferBytes / 4);
    BOOL more;
    do {
        more = WNDOBJ_bEnum(pwo, bufferBytes, buffer.data());
        const auto *er = reinterpret_cast<const ENUMRECTS *>(buffer.data());
        for (ULONG i = 0; i < er->c; ++i) out.push_back(er->arcl[i]);
    } while (more);
    return out;
}

}  // namespace

TEST(WindowObjects, RegionsFollowTheStackAndDeletionEndsTheObject) {
    SURFOBJ screen{};
    screen.sizlBitmap = SIZEL{640, 480};
    HWND a = window(600, 400, 100, 100);   // partly off the screen
    g_calls.clear();
    WNDOBJ *pwo = EngCreateWnd(&screen, a, record, WO_RGN_CLIENT, 1);
    ASSERT_NE(pwo, nullptr);
    EXPECT_EQ(EngCreateWnd(&screen, a, record, WO_RGN_CLIENT, 1), reinterpret_cast<WNDOBJ *>(-1));
    EXPECT_EQ(EngCreateWnd(&screen, reinterpret_cast<HWND>(0x9999), record, WO_RGN_CLIENT, 1), nullptr);
    EXPECT_EQ(pwo->psoOwner, &screen);
    EXPECT_EQ(pwo->coClient.iDComplexity, DC_RECT);
    EXPECT_EQ(pwo->coClient.rclBounds.right, 640);
    EXPECT_EQ(pwo->rclClient.right, 700);

    MoveWindow(a, 10, 10, 300, 200, TRUE);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].fl, WOC_RGN_CLIENT);
    EXPECT_EQ(g_calls[1].fl, WOC_CHANGED);
    EXPECT_EQ(pwo->coClient.iDComplexity, DC_TRIVIAL);

    // An older window underneath changes nothing; a newer one on top cuts the region.
    g_calls.clear();
    HWND b = window(100, 50, 20, 20);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(pwo->coClient.iDComplexity, DC_COMPLEX);
    const std::vector<RECTL> one = enumerate(pwo, sizeof(ENUMRECTS));
    const std::vector<RECTL> many = enumerate(pwo, sizeof(ULONG) + 10 * sizeof(RECTL));
    ASSERT_EQ(one.size(), 4u) << "one rectangle per call with a one-rectangle buffer";
    ASSERT_EQ(many.size(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(std::memcmp(&one[i], &many[i], sizeof(RECTL)), 0);
    EXPECT_EQ(one[0].top, 10);
    EXPECT_EQ(one[0].bottom, 50);
    EXPECT_EQ(one[3].top, 70);

    g_calls.clear();
    MoveWindow(b, 500, 300, 20, 20, TRUE);   // away from a
    EXPECT_EQ(pwo->coClient.iDComplexity, DC_TRIVIAL);
    g_calls.clear();
    MoveWindow(b, 520, 300, 20, 20, TRUE);   // moving elsewhere: a's region is unchanged
    EXPECT_TRUE(g_calls.empty());

    DestroyWindow(b);
    EXPECT_EQ(kivEngLiveWindowObjects(), 1u);
    g_calls.clear();
    DestroyWindow(a);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].fl, WOC_DELETE);
    EXPECT_EQ(kivEngLiveWindowObjects(), 0u);
}

// After a mode change the driver hears of every window on the new screen, also of one whose
// region is the same: what it wrote for the window (a whole-screen mark, the screen it cut the
// region to) was worked out on the old screen.
TEST(WindowObjects, AModeChangeTellsEveryWindowOfTheNewScreen) {
    SURFOBJ small{}, large{};
    small.sizlBitmap = SIZEL{800, 600};
    large.sizlBitmap = SIZEL{1024, 768};
    HWND a = window(0, 0, 800, 600);   // the whole small screen
    HWND b = window(900, 0, 200, 100); // off the small screen, partly on the large one
    g_calls.clear();
    WNDOBJ *pa = EngCreateWnd(&small, a, record, WO_RGN_CLIENT, 1);
    WNDOBJ *pb = EngCreateWnd(&small, b, record, WO_RGN_CLIENT, 1);
    ASSERT_NE(pa, nullptr);
    ASSERT_NE(pb, nullptr);
    kivEngAnnounceNewWindows();
    g_calls.clear();

    kivEngRetargetWindows(&large);
    for (WNDOBJ *pwo : {pa, pb}) {
        EXPECT_EQ(pwo->psoOwner, &large);
        int told = 0;
        for (const Call &c : g_calls) told += c.pwo == pwo && c.fl == WOC_RGN_CLIENT;
        EXPECT_EQ(told, 1) << (pwo == pa ? "the window with the same region" : "the window that came on screen");
    }
    EXPECT_EQ(pa->coClient.iDComplexity, DC_TRIVIAL);
    EXPECT_EQ(pb->coClient.iDComplexity, DC_RECT);
    EXPECT_EQ(pb->coClient.rclBounds.right, 1024);

    // Nothing changed since: a second look tells nobody.
    g_calls.clear();
    kivEngAnnounceNewWindows();
    EXPECT_TRUE(g_calls.empty());
    DestroyWindow(b);
    DestroyWindow(a);
    EXPECT_EQ(kivEngLiveWindowObjects(), 0u);
}
