// The window state the display driver keeps in the client's block: a stand-in for the driver
// rewrites the block from another thread under the lock word, as the driver does from kernel
// mode, while the client takes the lock, reads and watches the change counter.
#include <atomic>
#include <memory>
#include <thread>
#include "tests/icd_drawable/drawable_fixture.h"

namespace {
// The display driver's side of the lock word: exchange 1 in until 0 comes back.
void driverLock(ZK_CLIENT_WINDOW_BLOCK *b) {
    while (InterlockedExchange(reinterpret_cast<volatile LONG *>(&b->lock), 1) == 1) std::this_thread::yield();
}
void driverUnlock(ZK_CLIENT_WINDOW_BLOCK *b) { InterlockedExchange(reinterpret_cast<volatile LONG *>(&b->lock), 0); }

// Writes change number n: n rectangles (up to the block's 250), each carrying n.
void driverWrite(ZK_CLIENT_WINDOW_BLOCK *b, uint32_t n) {
    driverLock(b);
    b->changeKind = ZK_WINDOW_RECT_LIST;
    b->rectCount = n % ZK_WINDOW_MAX_RECTS + 1;
    for (uint32_t i = 0; i < b->rectCount; ++i) b->rects[i] = {int32_t(n), int32_t(i), int32_t(n + 1), int32_t(i + 1)};
    b->changeCounter = n;
    driverUnlock(b);
}
}  // namespace

class WindowState : public IcdTest {
protected:
    std::unique_ptr<ZK_CLIENT_WINDOW_BLOCK> block = std::make_unique<ZK_CLIENT_WINDOW_BLOCK>();
    GlDrawable d{};
    void SetUp() override {
        IcdTest::SetUp();
        *block = {};
        block->changeCounter = 1;  // as the driver's set-up leaves it
        d.windowState = block.get();
    }
};

TEST_F(WindowState, ChangedIsTrueOncePerCounterChange) {
    EXPECT_TRUE(__wglWindowStateChanged(&d));
    EXPECT_FALSE(__wglWindowStateChanged(&d));
    block->changeCounter = 2;
    EXPECT_TRUE(__wglWindowStateChanged(&d));
    EXPECT_EQ(d.windowStateSeen, 2u);
    EXPECT_FALSE(__wglWindowStateChanged(&d));
    EXPECT_EQ(block->lock, 0u);  // released every time

    GlDrawable untracked{};
    EXPECT_FALSE(__wglLockWindowState(&untracked));
    EXPECT_FALSE(__wglWindowStateChanged(&untracked));
}

TEST_F(WindowState, LockWordKeepsTheDriversWritesWholeAcrossThreads) {
    constexpr uint32_t kChanges = 3000;
    std::atomic<bool> done{false};
    std::thread driver([&] {
        for (uint32_t n = 2; n <= kChanges; ++n) driverWrite(block.get(), n);
        done = true;
    });
    uint32_t seen = 0, reads = 0, changes = 0;
    while (!done || reads == 0) {
        if (__wglWindowStateChanged(&d)) ++changes;
        ASSERT_TRUE(__wglLockWindowState(&d));
        uint32_t n = block->changeCounter;
        if (n > 1) {
            // Under the lock the block is one change, never a mix of two.
            ASSERT_EQ(block->rectCount, n % ZK_WINDOW_MAX_RECTS + 1);
            for (uint32_t i = 0; i < block->rectCount; ++i) ASSERT_EQ(uint32_t(block->rects[i].left), n);
        }
        ASSERT_GE(n, seen);
        seen = n;
        ++reads;
        __wglUnlockWindowState(&d);
    }
    driver.join();
    if (__wglWindowStateChanged(&d)) ++changes;
    EXPECT_EQ(d.windowStateSeen, kChanges);
    EXPECT_GE(changes, 1u);
    EXPECT_LE(changes, kChanges);
    EXPECT_FALSE(__wglWindowStateChanged(&d));
}

TEST_F(WindowState, ALockWordHeldForeverIsGivenUpAndTheBlockLeftUnread) {
    block->lock = 1;  // the other side died holding it
    block->changeCounter = 7;
    EXPECT_FALSE(__wglLockWindowState(&d));
    EXPECT_FALSE(__wglWindowStateChanged(&d));
    EXPECT_EQ(d.windowStateSeen, 0u);
    block->lock = 0;
    EXPECT_TRUE(__wglWindowStateChanged(&d));
    EXPECT_EQ(d.windowStateSeen, 7u);
}
