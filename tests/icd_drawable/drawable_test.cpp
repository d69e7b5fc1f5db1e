// Drawables as opengl32 reaches them: bound through DrvSetContext to windows and memory bitmaps,
// found again, dropped when their window goes, resized by window moves; their geometry and the
// clip list the device layer builds.
#include <cstring>
#include "tests/common/dib_section.h"
#include "tests/icd_drawable/drawable_fixture.h"

namespace {
GlVisual visualOf(int format) {
    PIXELFORMATDESCRIPTOR pfd;
    HDC screen = GetDC(nullptr);
    DescribePixelFormat(screen, format, sizeof pfd, &pfd);
    ReleaseDC(nullptr, screen);
    GlVisual v;
    __wglVisualFromPixelFormat(&v, &pfd);
    return v;
}

struct MemoryBitmap {
    HDC hdc = nullptr;
    HBITMAP bitmap = nullptr;
    explicit MemoryBitmap(int format) {
        HDC screen = GetDC(nullptr);
        hdc = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        // A DIB section: the driver draws into the bitmap's own pixels, which a device bitmap
        // does not give it.
        void *bits = nullptr;
        bitmap = NewDibSection(hdc, 64, 32, 16, &bits);
        SelectObject(hdc, bitmap);
        SetPixelFormat(hdc, format, nullptr);
    }
    ~MemoryBitmap() {
        DeleteDC(hdc);
        DeleteObject(bitmap);
    }
};
}  // namespace

class Drawables : public IcdTest {};

TEST_F(Drawables, SetContextBindsWindowsAndBitmapsAndFindsEachAgain) {
    TestWindow w(kDoubleFormat, 320, 240);
    DHGLRC rc = DrvCreateContext(w.hdc);
    ASSERT_NE(DrvSetContext(w.hdc, rc, nullptr), nullptr);
    GlDrawable *d = handleOf(rc)->drawable;
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->hwnd, w.hwnd);
    EXPECT_EQ(d->hdc, w.hdc);
    EXPECT_EQ(d->useCount, 1);
    EXPECT_EQ(d->pixelFormat, kDoubleFormat);
    EXPECT_EQ(d->buffers.visual->isBitmap, 0);
    EXPECT_EQ(d->buffers.visual->doubleBuffer, 1);
    EXPECT_EQ(d->buffers.drawable, d);
    EXPECT_EQ(d->clipCapacity, 4);
    ASSERT_NE(d->clipList, nullptr);
    EXPECT_EQ(GlobalSize(d->clipList), 100u);
    EXPECT_EQ(d->clipList->rdh.dwSize, 32u);
    EXPECT_EQ(d->clipList->rdh.iType, 1u);
    EXPECT_EQ(d->clipList->rdh.nCount, 1u) << "the window's visible rectangle, taken when the context validated";
    EXPECT_EQ(d->buffers.addClipRect, __wglClipAddRect);
    EXPECT_EQ(d->buffers.setClipBounds, __wglClipSetBounds);
    EXPECT_EQ(d->buffers.freeBuffers, __glFreeDrawableBuffers);
    EXPECT_EQ(d->originX, 10);
    EXPECT_EQ(d->originY, 20);
    EXPECT_EQ(d->width, 320);
    EXPECT_EQ(d->height, 240);
    EXPECT_TRUE(DrvReleaseContext(rc));
    EXPECT_EQ(d->useCount, 0);

    // The same window through another device context: the same drawable, which takes the DC.
    HDC second = GetDC(w.hwnd);
    ASSERT_NE(second, w.hdc);
    ASSERT_NE(DrvSetContext(second, rc, nullptr), nullptr);
    EXPECT_EQ(handleOf(rc)->drawable, d);
    EXPECT_EQ(d->hdc, second);
    EXPECT_TRUE(DrvReleaseContext(rc));
    ReleaseDC(w.hwnd, second);

    // A bitmap in a memory DC gets a window-less drawable of its own, found again by its DC.
    MemoryBitmap bm(kDoubleFormat);
    ASSERT_NE(DrvSetContext(bm.hdc, rc, nullptr), nullptr);
    GlDrawable *b = handleOf(rc)->drawable;
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b, d);
    EXPECT_EQ(b->hwnd, nullptr);
    EXPECT_EQ(b->buffers.visual->isBitmap, 1);
    EXPECT_TRUE(DrvReleaseContext(rc));
    ASSERT_NE(DrvSetContext(bm.hdc, rc, nullptr), nullptr);
    EXPECT_EQ(handleOf(rc)->drawable, b);
    EXPECT_EQ(__wglFindDrawable(bm.hdc, nullptr), b);
    EXPECT_TRUE(DrvReleaseContext(rc));
    EXPECT_TRUE(DrvDeleteContext(rc));
}

TEST_F(Drawables, DestroyedWindowFreesIdleDrawablesAndCurrentOnesAtTheirLastRelease) {
    gDestroyed.clear();
    TestWindow idle(kDoubleFormat), busy(kDoubleFormat);
    DHGLRC rc = DrvCreateContext(idle.hdc);
    ASSERT_NE(DrvSetContext(idle.hdc, rc, nullptr), nullptr);
    GlDrawable *idleDrawable = handleOf(rc)->drawable;
    idleDrawable->destroyHook = countDestroy;
    EXPECT_TRUE(DrvReleaseContext(rc));

    ASSERT_TRUE(DestroyWindow(idle.hwnd));
    ASSERT_EQ(gDestroyed.size(), 1u);
    EXPECT_EQ(gDestroyed[0], idleDrawable);
    EXPECT_EQ(__wglFindDrawable(idle.hdc, idle.hwnd), nullptr);

    ASSERT_NE(DrvSetContext(busy.hdc, rc, nullptr), nullptr);
    GlDrawable *busyDrawable = handleOf(rc)->drawable;
    busyDrawable->destroyHook = countDestroy;
    ASSERT_TRUE(DestroyWindow(busy.hwnd));
    EXPECT_EQ(gDestroyed.size(), 1u);  // still in use: lives on without its window
    EXPECT_EQ(busyDrawable->hwnd, nullptr);
    // Its old DC handle value, come back as a memory DC or a new window's DC, never finds it.
    EXPECT_EQ(__wglFindDrawable(busy.hdc, nullptr), nullptr);
    EXPECT_EQ(__wglFindDrawable(busy.hdc, idle.hwnd), nullptr);

    EXPECT_TRUE(DrvReleaseContext(rc));
    ASSERT_EQ(gDestroyed.size(), 2u);
    EXPECT_EQ(gDestroyed[1], busyDrawable);
    EXPECT_TRUE(DrvDeleteContext(rc));
}

class WindowMoves : public DrawableTest {};

TEST_F(WindowMoves, MoveAndResizeReachTheCurrentContextAtOnce) {
    GlDrawable *d = drawable();
    d->moved = 0;
    ASSERT_TRUE(MoveWindow(window->hwnd, 30, 40, 200, 100, TRUE));
    EXPECT_EQ(d->originX, 30);
    EXPECT_EQ(d->originY, 40);
    EXPECT_EQ(d->width, 200);
    EXPECT_EQ(d->height, 100);
    EXPECT_EQ(d->moved, 1);
    EXPECT_EQ(d->flags & kGlDrawableBuffersInvalid, 0u);
    EXPECT_EQ(handleOf(handle)->windowMoved, 0);
    EXPECT_EQ(ctx()->state.transform.drawable.width, 200);
    EXPECT_EQ(ctx()->state.transform.drawable.height, 100);
    EXPECT_EQ(rec()->bufWidth, 200);
    EXPECT_EQ(rec()->bufHeight, 100);
}

TEST_F(Drawables, GeometryClampsToTheScreenAndOffsetsTheClipPastItsEdges) {
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        const char *what;
        int x, y, w, h;
        RECT client, visible;
        int offsetX, offsetY, width, height;
    };
    const Case cases[] = {
        {"inside", 10, 20, 100, 50, {10, 20, 110, 70}, {10, 20, 110, 70}, 0, 0, 100, 50},
        {"past the top left", -10, -20, 100, 50, {-10, -20, 90, 30}, {0, 0, 90, 30}, -10, -20, 100, 50},
        {"larger than the screen", 0, 0, cx + 100, cy + 50, {0, 0, cx, cy}, {0, 0, cx, cy}, 0, 0, cx, cy},
        {"past the bottom right", cx - 40, cy - 30, 100, 50, {cx - 40, cy - 30, cx + 60, cy + 20},
         {cx - 40, cy - 30, cx, cy}, 0, 0, 100, 50},
    };
    const GlVisual v = visualOf(kDoubleFormat);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HWND hwnd = CreateWindowExA(0, "kiv", "geometry", WS_VISIBLE, c.x, c.y, c.w, c.h, nullptr, nullptr,
                                    nullptr, nullptr);
        HDC hdc = GetDC(hwnd);
        GlDrawable *d = __wglCreateDrawable(hdc, hwnd, &v);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->originX, c.x);
        EXPECT_EQ(d->originY, c.y);
        EXPECT_EQ(std::memcmp(&d->clientRect, &c.client, sizeof(RECT)), 0);
        EXPECT_EQ(std::memcmp(&d->visibleRect, &c.visible, sizeof(RECT)), 0);
        EXPECT_EQ(d->clipOffsetX, c.offsetX);
        EXPECT_EQ(d->clipOffsetY, c.offsetY);
        EXPECT_EQ(d->width, c.width);
        EXPECT_EQ(d->height, c.height);
        __wglDestroyDrawable(d);
        ReleaseDC(hwnd, hdc);
        DestroyWindow(hwnd);
    }
}

TEST_F(Drawables, CreationFailsWholeAtEveryAllocation) {
    TestWindow w(kDoubleFormat);
    const GlVisual v = visualOf(kDoubleFormat);
    for (unsigned n = 1; n <= 3; ++n) {
        kivFailGlobalAllocAfter(n);
        EXPECT_EQ(__wglCreateDrawable(w.hdc, w.hwnd, &v), nullptr) << n;
    }
    kivFailGlobalAllocAfter(0);
    GlDrawable *d = __wglCreateDrawable(w.hdc, w.hwnd, &v);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(__wglFindDrawable(w.hdc, w.hwnd), d);  // only the complete one was linked
    __wglDestroyDrawable(d);
    EXPECT_EQ(__wglFindDrawable(w.hdc, w.hwnd), nullptr);
}

class ClipList : public IcdTest {
protected:
    TestWindow w{kDoubleFormat, 200, 100};
    GlVisual v = visualOf(kDoubleFormat);
    GlDrawable *d = nullptr;
    void SetUp() override {
        IcdTest::SetUp();
        d = __wglCreateDrawable(w.hdc, w.hwnd, &v);
        ASSERT_NE(d, nullptr);
    }
    void TearDown() override {
        __wglDestroyDrawable(d);
        IcdTest::TearDown();
    }
    void add(int x, int y, int width, int height) { d->buffers.addClipRect(&d->buffers, x, y, width, height); }
    RECT rect(int i) { return d->clipList->rects[i]; }
};

TEST_F(ClipList, RectanglesComeBottomUpAndAreStoredTopDown) {
    add(0, 0, 10, 5);
    RECT r = rect(0);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 95);
    EXPECT_EQ(r.right, 10);
    EXPECT_EQ(r.bottom, 100);
    EXPECT_EQ(d->clipList->rdh.nCount, 1u);
    EXPECT_EQ(d->clipList->rdh.nRgnSize, 16u);
    EXPECT_EQ(std::memcmp(&d->clipList->rdh.rcBound, &r, sizeof r), 0);

    d->buffers.setClipBounds(&d->buffers, 5, 6, 70, 80);
    EXPECT_EQ(d->clipBounds.left, 5);
    EXPECT_EQ(d->clipBounds.top, 6);
    EXPECT_EQ(d->clipBounds.right, 75);
    EXPECT_EQ(d->clipBounds.bottom, 86);
    EXPECT_EQ(d->moved, 1);
}

TEST_F(ClipList, GrowsPastFourRectanglesAndKeepsItsListWhenItCannotGrow) {
    for (int i = 0; i < 5; ++i) add(10 * i, i, 10, 20);
    EXPECT_EQ(d->clipCapacity, 8);
    EXPECT_EQ(GlobalSize(d->clipList), size_t(36 + 16 * 8));
    EXPECT_EQ(d->clipList->rdh.nCount, 5u);
    EXPECT_EQ(d->clipList->rdh.nRgnSize, 80u);
    const RECT bound = d->clipList->rdh.rcBound;
    EXPECT_EQ(bound.left, 0);
    EXPECT_EQ(bound.right, 50);
    EXPECT_EQ(bound.top, 100 - 4 - 20);
    EXPECT_EQ(bound.bottom, 100);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(rect(i).left, 10 * i) << i;  // kept across the growth

    for (int i = 5; i < 8; ++i) add(10 * i, 0, 10, 20);
    GlClipList *before = d->clipList;
    kivFailGlobalAllocAfter(1);
    add(200, 0, 10, 20);  // dropped: no room and no memory
    kivFailGlobalAllocAfter(0);
    EXPECT_EQ(d->clipList, before);
    EXPECT_EQ(d->clipCapacity, 8);
    EXPECT_EQ(d->clipList->rdh.nCount, 8u);
    EXPECT_EQ(d->clipList->rdh.rcBound.right, 80);
    add(80, 0, 10, 20);
    EXPECT_EQ(d->clipCapacity, 16);
    EXPECT_EQ(d->clipList->rdh.nCount, 9u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(rect(i).left, 10 * i) << i;
}
