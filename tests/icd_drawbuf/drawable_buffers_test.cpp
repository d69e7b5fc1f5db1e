// The device side of drawables through the driver's exports: a window's client block and
// descriptors, a memory bitmap's, the plain-memory and DIB-section kinds, failures of the
// block and of the set-up escape, clip rectangles and the ownership mask.
#include <cstring>
#include "tests/common/dib_section.h"
#include <set>
#include "tests/icd_core/icd_fixture.h"
#include "icd/hw/drawable_buffers.h"
#include "platform/videoprt/ntkernel.h"

namespace {

// Blocks given back through a drawable's free proc.
std::set<void *> gFreed;
void recordFree(GlContext *ctx, void *block) {
    gFreed.insert(block);
    __wglHostProcs.procs.free(ctx, block);
}

class DrawableBuffers : public IcdTest {
protected:
    TestWindow *window = nullptr;
    DHGLRC handle = 0;

    void TearDown() override {
        if (handle != 0) {
            DrvReleaseContext(handle);
            DrvDeleteContext(handle);
        }
        delete window;
        kivFailVirtualAllocAfter(0);
        IcdTest::TearDown();
    }
    GlDrawable *openWindow(int format, int w, int h) {
        window = new TestWindow(format, w, h);
        handle = DrvCreateContext(window->hdc);
        EXPECT_NE(handle, 0u);
        if (DrvSetContext(window->hdc, handle, nullptr) == nullptr) return nullptr;
        return handleOf(handle)->drawable;
    }
    static GlBufferDescriptor *desc(GlDrawable *d, GlDescriptorIndex i) { return &d->buffers.descriptors[i]; }
};

TEST_F(DrawableBuffers, ADoubleBufferedWindowGetsItsBlockAndSixDescriptorsAndGivesThemBack) {
    GlDrawable *d = openWindow(kDoubleFormat, 100, 50);
    ASSERT_NE(d, nullptr);
    ZK_CLIENT_WINDOW_BLOCK *block = d->windowState;
    ASSERT_NE(block, nullptr);
    // The display driver took the block: it holds its page lock and has set the counters.
    EXPECT_EQ(block->hwnd, uint32_t(reinterpret_cast<uintptr_t>(window->hwnd)));
    EXPECT_NE(block->lockHandle, 0u);
    EXPECT_GE(block->changeCounter, 1u);
    // Without DirectDraw the screen offers no surface: the front buffer is the window's memory,
    // and the swap copies the back buffer into it. Memory rows run bottom-up.
    EXPECT_EQ(d->swap, __wglSwapBuffersCopy);
    EXPECT_EQ(d->savedSwap[0], __glHwSwapBuffers);
    EXPECT_EQ(d->savedSwap[1], __wglSwapBuffersCopy);
    EXPECT_EQ(d->buffers.topDown, 0);

    // Front, back, depth and stencil are plain memory (the off-screen ones fell back to it);
    // accumulation is plain memory; the mask is a one-bit DIB section.
    struct Expect {
        GlDescriptorIndex which;
        int32_t elementSize;
    } memory[] = {{kGlDescriptorFront, 2}, {kGlDescriptorBack, 2}, {kGlDescriptorAccum, 8}, {kGlDescriptorDepth, 2},
                  {kGlDescriptorStencil, 1}};
    for (const Expect &e : memory) {
        EXPECT_EQ(desc(d, e.which)->resize, __glMemBufferResize) << e.which;
        EXPECT_EQ(desc(d, e.which)->elementSize, e.elementSize) << e.which;
    }
    for (GlDescriptorIndex i : {kGlDescriptorFront, kGlDescriptorBack, kGlDescriptorDepth, kGlDescriptorStencil}) {
        const GlBufferDescriptor *m = desc(d, i);
        ASSERT_NE(m->storage, nullptr) << i;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(m->base) % 32, 0u) << i;
        EXPECT_EQ(m->width, 100);
        EXPECT_EQ(m->height, 50);
        EXPECT_EQ(m->pitchBytes, 100 * m->elementSize);
    }
    const GlBufferDescriptor *mask = desc(d, kGlDescriptorAncillary);
    EXPECT_EQ(mask->resize, __wglDibBufferResize);
    ASSERT_NE(mask->storage, nullptr);
    const HGDIOBJ maskBitmap = mask->storage;

    // Destroying the window frees every block the descriptors hold and releases the client block.
    std::set<void *> held = {desc(d, kGlDescriptorBack)->storage, desc(d, kGlDescriptorDepth)->storage,
                             desc(d, kGlDescriptorStencil)->storage, mask->privateData};
    if (desc(d, kGlDescriptorDepth)->depthSave != nullptr) held.insert(desc(d, kGlDescriptorDepth)->depthSave);
    gFreed.clear();
    d->buffers.free = recordFree;
    DrvReleaseContext(handle);
    DrvDeleteContext(handle);
    handle = 0;
    delete window;
    window = nullptr;
    for (void *p : held) EXPECT_EQ(gFreed.count(p), 1u) << p;
    EXPECT_EQ(GetObjectType(maskBitmap), 0u);
    EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE)) << "the client block was released";
}

TEST_F(DrawableBuffers, APlainBufferKeepsItsBlockWhenShrunkAndRegrown) {
    GlDrawable *d = openWindow(kDoubleFormat, 80, 60);
    ASSERT_NE(d, nullptr);
    GlBufferDescriptor *back = desc(d, kGlDescriptorBack);
    void *block = back->storage;
    const uint32_t size = back->size;
    MoveWindow(window->hwnd, 10, 20, 40, 30, FALSE);
    ASSERT_EQ(back->resize(back, &d->buffers, 40, 30, kGlBufferBack), 1);
    EXPECT_EQ(back->storage, block);
    EXPECT_EQ(back->pitchBytes, 80);
    MoveWindow(window->hwnd, 10, 20, 80, 60, FALSE);
    ASSERT_EQ(back->resize(back, &d->buffers, 80, 60, kGlBufferBack), 1);
    EXPECT_EQ(back->storage, block);
    EXPECT_EQ(back->size, size);
    MoveWindow(window->hwnd, 10, 20, 90, 60, FALSE);
    ASSERT_EQ(back->resize(back, &d->buffers, 90, 60, kGlBufferBack), 1);
    EXPECT_EQ(back->size, 90u * 60u * 2u);
    EXPECT_EQ(back->pitchBytes, 180);
}

TEST_F(DrawableBuffers, AFailedClientBlockFailsTheDrawableCleanly) {
    window = new TestWindow(kSingleFormat, 50, 50);
    handle = DrvCreateContext(window->hdc);
    ASSERT_NE(handle, 0u);
    kivFailVirtualAllocAfter(1);
    EXPECT_EQ(DrvSetContext(window->hdc, handle, nullptr), nullptr);
    kivFailVirtualAllocAfter(0);
    EXPECT_EQ(__wglFindDrawable(window->hdc, window->hwnd), nullptr);
    ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
    EXPECT_NE(handleOf(handle)->drawable->windowState, nullptr);
}

// The driver could not take the block: it is released, never handed over again, and the
// drawable has no hardware swap; it still draws into its other buffers.
TEST_F(DrawableBuffers, ARefusedSetUpEscapeLeavesADrawableWithoutBlockOrHardwareSwap) {
    window = new TestWindow(kDoubleFormat, 50, 50);
    handle = DrvCreateContext(window->hdc);
    ASSERT_NE(handle, 0u);
    kivKernelFailMdlAllocations(1);
    ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
    kivKernelFailMdlAllocations(0);
    GlDrawable *d = handleOf(handle)->drawable;
    EXPECT_EQ(d->windowState, nullptr);
    EXPECT_EQ(d->swap, __wglSwapBuffersCopy);
    EXPECT_NE(desc(d, kGlDescriptorBack)->storage, nullptr);
}

// ---- a memory bitmap's descriptors ------------------------------------------------------------

class BitmapDrawable : public IcdTest {
protected:
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    void *bits = nullptr;
    DHGLRC handle = 0;

    void SetUp() override {
        IcdTest::SetUp();
        dc = CreateCompatibleDC(nullptr);
        bitmap = NewDibSection(dc, 30, 20, 16, &bits);
        previous = SelectObject(dc, bitmap);
        ASSERT_TRUE(SetPixelFormat(dc, kSingleFormat, nullptr));
        handle = DrvCreateContext(dc);
        ASSERT_NE(handle, 0u);
        ASSERT_NE(DrvSetContext(dc, handle, nullptr), nullptr);
    }
    void TearDown() override {
        DrvReleaseContext(handle);
        DrvDeleteContext(handle);
        SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
        IcdTest::TearDown();
    }
    GlDrawable *drawable() { return handleOf(handle)->drawable; }
    GlBufferDescriptor *desc(GlDescriptorIndex i) { return &drawable()->buffers.descriptors[i]; }
};

TEST_F(BitmapDrawable, TheFrontBufferIsTheBitmapAndDepthAndStencilAreDibSections) {
    GlDrawable *d = drawable();
    const GlBufferDescriptor *front = desc(kGlDescriptorFront);
    EXPECT_EQ(front->base, bits);
    EXPECT_EQ(front->width, 30);
    EXPECT_EQ(front->height, 20);
    EXPECT_EQ(front->pitchBytes, 60);
    EXPECT_EQ(d->buffers.topDown, 0) << "a bottom-up DIB";
    EXPECT_EQ(d->windowState, nullptr);

    // Sections one row taller than the drawable, rows a multiple of 16 bytes, top-down; the
    // 16-bit depth section carries the visual's masks.
    struct Expect {
        GlDescriptorIndex which;
        int bitCount;
        int pitch;
    } dibs[] = {{kGlDescriptorDepth, 16, 64}, {kGlDescriptorStencil, 8, 32}, {kGlDescriptorAncillary, 1, 16}};
    for (const Expect &e : dibs) {
        const GlBufferDescriptor *x = desc(e.which);
        ASSERT_NE(x->storage, nullptr) << e.which;
        DIBSECTION ds;
        ASSERT_EQ(GetObjectA(x->storage, sizeof ds, &ds), int(sizeof ds));
        EXPECT_EQ(ds.dsBm.bmBitsPixel, e.bitCount) << e.which;
        EXPECT_EQ(ds.dsBmih.biHeight, -21) << e.which;
        EXPECT_EQ(ds.dsBm.bmWidthBytes, e.pitch) << e.which;
        EXPECT_EQ(x->pitchBytes, e.pitch) << e.which;
        EXPECT_EQ(x->base, ds.dsBm.bmBits) << e.which;
        if (e.bitCount == 16) {
            EXPECT_EQ(ds.dsBmih.biCompression, DWORD(BI_BITFIELDS));
            EXPECT_EQ(ds.dsBitfields[0], 0x7C00u);
            EXPECT_EQ(ds.dsBitfields[1], 0x03E0u);
            EXPECT_EQ(ds.dsBitfields[2], 0x001Fu);
        }
    }
}

// Another bitmap selected into the DC may have taken the old one's pixels with it: the front
// buffer refuses to lock until the drawable is made for the new one.
TEST_F(BitmapDrawable, TheFrontBufferRefusesToLockOnceAnotherBitmapIsSelected) {
    GlBufferDescriptor *front = desc(kGlDescriptorFront);
    EXPECT_TRUE(front->lock(front, &drawable()->buffers));
    void *otherBits = nullptr;
    HBITMAP other = NewDibSection(dc, 30, 20, 16, &otherBits);
    ASSERT_NE(other, nullptr);
    SelectObject(dc, other);
    EXPECT_FALSE(front->lock(front, &drawable()->buffers));
    SelectObject(dc, bitmap);
    EXPECT_TRUE(front->lock(front, &drawable()->buffers));
    DeleteObject(other);
}

// The DC and its bitmap deleted and their handle values given to a new DC and section: the old
// drawable must not draw into the freed pixels through the reused handles.
TEST_F(BitmapDrawable, ReusedHandlesOfADeletedBitmapDoNotUnlockItsDrawable) {
    GlBufferDescriptor *front = desc(kGlDescriptorFront);
    GlDrawableBuffers *set = &drawable()->buffers;
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(bitmap);
    dc = CreateCompatibleDC(nullptr);
    void *otherBits = nullptr;
    bitmap = NewDibSection(dc, 40, 20, 16, &otherBits);
    ASSERT_NE(bitmap, nullptr);
    previous = SelectObject(dc, bitmap);
    EXPECT_FALSE(front->lock(front, set));
}

// A memory DC and its bitmap deleted once no context uses them: a new DC, which may get the same
// handle value, with another bitmap gets a drawable over the new bitmap.
TEST_F(BitmapDrawable, ANewMemoryDcDrawsIntoItsOwnBitmapWhateverHandleItGets) {
    DrvReleaseContext(handle);
    DrvDeleteContext(handle);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(bitmap);
    dc = CreateCompatibleDC(nullptr);
    bitmap = NewDibSection(dc, 40, 10, 16, &bits);
    ASSERT_NE(bitmap, nullptr);
    previous = SelectObject(dc, bitmap);
    ASSERT_TRUE(SetPixelFormat(dc, kSingleFormat, nullptr));
    handle = DrvCreateContext(dc);
    ASSERT_NE(handle, 0u);
    ASSERT_NE(DrvSetContext(dc, handle, nullptr), nullptr);
    GlBufferDescriptor *front = desc(kGlDescriptorFront);
    EXPECT_EQ(front->base, bits);
    EXPECT_EQ(front->width, 40);
    EXPECT_EQ(front->height, 10);
    EXPECT_TRUE(front->lock(front, &drawable()->buffers));
}

// Clears through a section's fill write the value asked for (a depth of 1.0, a stencil value),
// exactly over the rectangle.
TEST_F(BitmapDrawable, ASectionFillWritesTheValueOverExactlyTheRectangle) {
    struct Case {
        GlDescriptorIndex which;
        uint32_t value;
    } cases[] = {{kGlDescriptorDepth, 0xFFFF}, {kGlDescriptorStencil, 0x5A}};
    for (const Case &c : cases) {
        GlBufferDescriptor *x = desc(c.which);
        std::memset(x->base, 0, size_t(x->pitchBytes) * size_t(x->height));
        x->fill(x, &drawable()->buffers, c.value, 3, 2, 5, 4);
        for (int y = 0; y < x->height; ++y)
            for (int px = 0; px < x->width; ++px) {
                uint32_t v = 0;
                std::memcpy(&v, x->base + y * x->pitchBytes + px * x->elementSize, size_t(x->elementSize));
                const bool inside = px >= 3 && px < 8 && y >= 2 && y < 6;
                ASSERT_EQ(v, inside ? c.value : 0u) << c.which << " at " << px << "," << y;
            }
    }
}

// ---- clip rectangles and the ownership mask ---------------------------------------------------

class ClipRects : public DrawableBuffers {
protected:
    GlDrawable *d = nullptr;
    void SetUp() override {
        DrawableBuffers::SetUp();
        d = openWindow(kSingleFormat, 40, 30);
        ASSERT_NE(d, nullptr);
        d->clipBounds = RECT{0, 0, 40, 30};
    }
    // A region in screen coordinates.
    void set(std::initializer_list<RECT> screenRects) {
        std::vector<uint8_t> bytes(sizeof(RGNDATAHEADER) + screenRects.size() * sizeof(RECT));
        RGNDATA *r = reinterpret_cast<RGNDATA *>(bytes.data());
        r->rdh = RGNDATAHEADER{sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(screenRects.size()), 0, {0, 0, 0, 0}};
        std::memcpy(r->Buffer, screenRects.begin(), screenRects.size() * sizeof(RECT));
        __wglSetDrawableClipRects(d, r);
    }
    std::vector<RECT> kept() {
        GlDrawableClipRects *c = __wglDrawableClipRects(d);
        return std::vector<RECT>(c->rects, c->rects + c->count);
    }
    bool owned(int x, int y) {
        const GlBufferDescriptor *m = &d->buffers.descriptors[kGlDescriptorAncillary];
        return (m->base[y * m->pitchBytes + x / 8] & (0x80 >> (x % 8))) != 0;
    }
    static bool same(const RECT &a, const RECT &b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
};

// The window's client area starts at (10, 20) on the screen.
TEST_F(ClipRects, OneRectangleIsMovedToWindowCoordinatesAndCutToTheBounds) {
    set({RECT{15, 25, 70, 40}});
    auto r = kept();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_TRUE(same(r[0], RECT{5, 5, 40, 20}));
    EXPECT_FALSE(owned(4, 5));
    EXPECT_TRUE(owned(5, 5));
    EXPECT_TRUE(owned(39, 19));
    EXPECT_FALSE(owned(39, 20));
}

TEST_F(ClipRects, SeveralRectanglesAreIntersectedWithTheBounds) {
    set({RECT{10, 20, 20, 30}, RECT{40, 30, 90, 90}});
    auto r = kept();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_TRUE(same(r[0], RECT{0, 0, 10, 10}));
    EXPECT_TRUE(same(r[1], RECT{30, 10, 40, 30}));
    EXPECT_TRUE(owned(0, 0));
    EXPECT_TRUE(owned(9, 9));
    EXPECT_FALSE(owned(10, 9));
    EXPECT_FALSE(owned(29, 10));
    EXPECT_TRUE(owned(30, 10));
    EXPECT_TRUE(owned(39, 29));
}

TEST_F(ClipRects, NoRegionMeansTheBounds) {
    d->clipBounds = RECT{2, 3, 12, 13};
    __wglSetDrawableClipRects(d, nullptr);
    auto r = kept();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_TRUE(same(r[0], RECT{2, 3, 12, 13}));
    EXPECT_FALSE(owned(1, 3));
    EXPECT_TRUE(owned(2, 3));
    EXPECT_FALSE(owned(12, 12));
}

}  // namespace
