// Buffer heads against a drawable whose six descriptors have counting procs: the order of
// resizes, locks and frees, what a failure leaves, the attach rules and the ownership mask.
#include <cstring>
#include <map>
#include <string>
#include "tests/icd_drawable/drawable_fixture.h"

namespace {
struct Event {
    char what;  // R resize, L lock, U unlock, F free
    int index;  // descriptor index
    bool operator==(const Event &) const = default;
};
std::vector<Event> gLog;
std::map<int, int32_t> gResizeResult;  // descriptor index -> result (1 when absent)
int gRefuseLock = -1;                  // descriptor index whose lock fails
uint8_t gMemory[6][64];

int indexOf(GlBufferDescriptor *d) { return int(reinterpret_cast<intptr_t>(d->privateData)); }
int32_t fakeResize(GlBufferDescriptor *d, GlDrawableBuffers *, int32_t w, int32_t h, uint32_t) {
    gLog.push_back({'R', indexOf(d)});
    auto it = gResizeResult.find(indexOf(d));
    int32_t result = it != gResizeResult.end() ? it->second : 1;
    if (result != 0) d->width = w, d->height = h;
    return result;
}
BOOL fakeLock(GlBufferDescriptor *d, GlDrawableBuffers *) {
    gLog.push_back({'L', indexOf(d)});
    if (indexOf(d) == gRefuseLock) return FALSE;
    d->base = gMemory[indexOf(d)] + 8;  // the memory moved while unlocked
    d->pitchBytes = 32;
    return TRUE;
}
void fakeUnlock(GlBufferDescriptor *d, GlDrawableBuffers *) { gLog.push_back({'U', indexOf(d)}); }
void fakeFree(GlBufferDescriptor *d, GlDrawableBuffers *) { gLog.push_back({'F', indexOf(d)}); }

std::vector<Event> events(const char *what, std::initializer_list<int> indices) {
    std::vector<Event> out;
    for (int i : indices) out.push_back({what[0], i});
    return out;
}
constexpr int F = kGlDescriptorFront, B = kGlDescriptorBack, A = kGlDescriptorAccum, D = kGlDescriptorDepth,
              S = kGlDescriptorStencil, M = kGlDescriptorAncillary;
}  // namespace

// The context has every kind of buffer: the accumulation, depth and stencil heads are plain
// heads here, attached to the drawable's descriptors like the others.
class BufferHeads : public DrawableTest {
protected:
    GlBuffer accum{}, depth{}, stencil{};
    // The drawable's own descriptors and the context's own heads, put back before the context
    // and the window go, so that they free what they hold.
    GlBufferDescriptor savedDescriptors[kGlDescriptorCount]{};
    GlBuffer *savedHeads[3]{};

    void SetUp() override {
        DrawableTest::SetUp();
        gLog.clear();
        gResizeResult.clear();
        gRefuseLock = -1;
        GlBufferHeads &h = heads();
        savedHeads[0] = h.accum;
        savedHeads[1] = h.depth;
        savedHeads[2] = h.stencil;
        for (int i = 0; i < kGlDescriptorCount; ++i) savedDescriptors[i] = rec()->descriptors[i];
        for (auto [head, buffer, index] : {std::tuple{&h.accum, &accum, A}, std::tuple{&h.depth, &depth, D},
                                           std::tuple{&h.stencil, &stencil, S}}) {
            __glInitBuffer(buffer, ctx());
            *head = buffer;
            buffer->attach(buffer, &rec()->descriptors[index], ctx());
        }
        for (int i = 0; i < kGlDescriptorCount; ++i) {
            GlBufferDescriptor &d = rec()->descriptors[i];
            d.privateData = reinterpret_cast<void *>(intptr_t(i));
            d.resize = fakeResize;
            d.lock = fakeLock;
            d.unlock = fakeUnlock;
            d.free = fakeFree;
        }
    }
    void TearDown() override {
        if (ctx() != nullptr) {
            GlBufferHeads &h = heads();
            h.accum = savedHeads[0];
            h.depth = savedHeads[1];
            h.stencil = savedHeads[2];
            for (int i = 0; i < kGlDescriptorCount; ++i) rec()->descriptors[i] = savedDescriptors[i];
        }
        DrawableTest::TearDown();
    }
    GlBufferHeads &heads() { return ctx()->buffers.heads; }
    BOOL resize(int w, int h) { return ctx()->procs.resize(ctx(), w, h); }
};

TEST_F(BufferHeads, ResizeVisitsTheDrawableThenEachBufferOnceUnlessTheSizeIsZero) {
    ASSERT_TRUE(resize(100, 50));
    EXPECT_EQ(gLog, events("R", {M, F, B, A, D, S}));
    EXPECT_EQ(rec()->bufWidth, 100);
    EXPECT_EQ(rec()->bufHeight, 50);
    EXPECT_EQ(ctx()->state.transform.drawable.width, 100);
    EXPECT_EQ(ctx()->state.transform.drawable.height, 50);
    EXPECT_EQ(accum.width, 100);  // the head took the descriptor's new geometry
    gLog.clear();
    ASSERT_TRUE(resize(100, 50));
    EXPECT_TRUE(gLog.empty());
    for (int i = 0; i < 2; ++i) {
        gLog.clear();
        ASSERT_TRUE(resize(0, 0));
        EXPECT_EQ(gLog.size(), 6u) << i;
    }
}

TEST_F(BufferHeads, EachResizeResultSetsOrClearsItsBufferBit) {
    gResizeResult = {{M, 1}, {F, kGlResizeNoStorage}, {B, 0x110}, {A, 5}, {D, 1}, {S, kGlResizeNoStorage}};
    rec()->changedMask = kGlBufferFront | kGlBufferBack | kGlBufferStencil;
    ASSERT_TRUE(resize(64, 32));
    EXPECT_EQ(rec()->changedMask, kGlBufferDrawable | kGlBufferAccum | kGlBufferDepth);
}

TEST_F(BufferHeads, AFailedResizeStopsAtOnceAndIsNeverTakenForDone) {
    ASSERT_TRUE(resize(100, 50));
    gLog.clear();
    gResizeResult[D] = 0;
    EXPECT_FALSE(resize(200, 80));
    EXPECT_EQ(gLog, events("R", {M, F, B, A, D}));
    EXPECT_NE(rec()->changedMask & kGlBufferDepth, 0u);
    // The context and the record keep the size the buffers were last made for.
    EXPECT_EQ(ctx()->state.transform.drawable.width, 100);
    EXPECT_EQ(rec()->bufWidth, 100);
    EXPECT_EQ(rec()->bufHeight, 50);

    // The same size again is tried again, and now it holds.
    gResizeResult.clear();
    gLog.clear();
    EXPECT_TRUE(resize(200, 80));
    EXPECT_EQ(gLog.size(), 6u);
    EXPECT_EQ(ctx()->state.transform.drawable.width, 200);

    // A window move whose resize fails marks the drawable's buffers invalid; the pending resize
    // of the presentation layer puts them back and clears the mark.
    gResizeResult[S] = 0;
    ASSERT_TRUE(MoveWindow(window->hwnd, 10, 20, 150, 60, TRUE));
    EXPECT_NE(drawable()->flags & kGlDrawableBuffersInvalid, 0u);
    EXPECT_EQ(ctx()->state.transform.drawable.width, 200);
    gResizeResult.clear();
    gLog.clear();
    EXPECT_TRUE(__wglRevalidateDrawable(handleOf(handle)));
    EXPECT_EQ(gLog.size(), 6u);  // not skipped as unchanged
    EXPECT_EQ(drawable()->flags & kGlDrawableBuffersInvalid, 0u);
    gResizeResult[F] = 0;
    EXPECT_FALSE(__wglRevalidateDrawable(handleOf(handle)));
    EXPECT_NE(drawable()->flags & kGlDrawableBuffersInvalid, 0u);
    // Another drawable's buffers are never resized through this thread's context.
    gResizeResult.clear();
    gLog.clear();
    GlDrawableBuffers other{};
    other.bufWidth = 640;
    EXPECT_FALSE(__wglApplyPendingResize(&other));
    EXPECT_TRUE(gLog.empty());
    EXPECT_EQ(other.bufWidth, 640);
}

TEST_F(BufferHeads, LocksGoInOrderAndAFailedOneReleasesWhatWasLocked) {
    GlContext *c = ctx();
    c->buffers.color.drawColorBuffer = &c->buffers.color.front;
    ASSERT_TRUE(__glPrepareBuffers(c, 0xFFFFFFFFu));
    EXPECT_EQ(gLog, events("L", {F, B, D, S, A}));
    // Each locked head took the memory the lock handed out.
    EXPECT_EQ(heads().front->base, gMemory[F] + 8);
    EXPECT_EQ(depth.base, gMemory[D] + 8);
    EXPECT_EQ(depth.pitchBytes, 32);
    EXPECT_EQ(depth.pitch, 32 / depth.elementSize);  // elements of the drawable's depth buffer
    gLog.clear();
    __glReleaseBuffers(c, 0xFFFFFFFFu);
    EXPECT_EQ(gLog, events("U", {F, B, D, S, A}));

    gLog.clear();
    gRefuseLock = D;
    EXPECT_FALSE(__glPrepareBuffers(c, 0xFFFFFFFFu));
    std::vector<Event> want = events("L", {F, B, D});
    for (Event e : events("U", {F, B})) want.push_back(e);
    EXPECT_EQ(gLog, want);

    gLog.clear();
    EXPECT_FALSE(__glLockDrawAndDepthBuffers(c));
    EXPECT_EQ(gLog, (std::vector<Event>{{'L', F}, {'L', D}, {'U', F}}));

    // Bit 1 follows the draw pointer; the back buffer it names is locked once.
    gLog.clear();
    gRefuseLock = -1;
    c->buffers.color.drawColorBuffer = &c->buffers.color.back;
    ASSERT_TRUE(__glPrepareBuffers(c, 0xFFFFFFFFu));
    EXPECT_EQ(gLog, events("L", {B, D, S, A}));
    gLog.clear();
    __glReleaseBuffers(c, 0xFFFFFFFFu);
    EXPECT_EQ(gLog, events("U", {B, D, S, A}));
    c->buffers.color.drawColorBuffer = &c->buffers.color.front;

    // Buffers the context lacks are passed by.
    gLog.clear();
    gRefuseLock = -1;
    heads().accum = heads().stencil = nullptr;
    ASSERT_TRUE(__glPrepareBuffers(c, 0xFFFFFFFFu));
    EXPECT_EQ(gLog, events("L", {F, B, D}));
    __glReleaseBuffers(c, 0xFFFFFFFFu);
}

TEST_F(BufferHeads, TheContextLockBracketReleasesWhatItPrepared) {
    GlContext *c = ctx();
    c->buffers.color.drawColorBuffer = &c->buffers.color.front;
    c->buffers.prepare = __glPrepareBuffers;
    c->buffers.release = __glReleaseBuffers;
    c->buffers.drawableLock = nullptr;  // the prepare pair alone: its locks are the ones counted
    c->buffers.drawableUnlock = nullptr;
    c->procs.lock(c);
    c->procs.lock(c);
    EXPECT_EQ(c->buffers.lockCount, 2);
    c->procs.unlock(c);
    c->procs.unlock(c);
    c->procs.unlock(c);  // one too many: nothing
    EXPECT_EQ(c->buffers.lockCount, 0);
    std::string order;
    for (Event e : gLog) order += e.what;
    EXPECT_EQ(order, "LLLLLLLLLLUUUUUUUUUU");
    gLog.clear();
    gRefuseLock = B;
    c->procs.lock(c);
    EXPECT_EQ(c->buffers.lockCount, 0);  // a failed prepare is not counted
}

TEST_F(BufferHeads, MakeCurrentResizesToAWindowThatChangedWhileReleased) {
    ASSERT_TRUE(DrvReleaseContext(handle));
    ASSERT_TRUE(MoveWindow(window->hwnd, 10, 20, 150, 60, TRUE));
    EXPECT_TRUE(gLog.empty());  // nothing current with it
    ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
    EXPECT_EQ(gLog, events("R", {M, F, B, A, D, S}));
    EXPECT_EQ(ctx()->state.transform.drawable.width, 150);
    EXPECT_EQ(ctx()->state.transform.drawable.height, 60);
    gLog.clear();
    ASSERT_TRUE(DrvReleaseContext(handle));
    ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
    EXPECT_TRUE(gLog.empty());  // the same size: nothing to do
}

TEST_F(BufferHeads, AttachTakesGeometryOnlyFromADescriptorWithMemory) {
    GlBuffer b{};
    __glInitBuffer(&b, ctx());
    b.width = 7;
    b.height = 3;
    GlBufferDescriptor empty{};
    empty.width = 99;
    b.attach(&b, &empty, ctx());
    EXPECT_EQ(b.width, 7);
    EXPECT_EQ(b.descriptor, &empty);
    EXPECT_EQ(b.context, ctx());

    GlBufferDescriptor full{};
    full.width = 40;
    full.height = 20;
    full.base = gMemory[0];
    full.elementSize = 4;
    full.pitchBytes = 192;
    b.attach(&b, &full, ctx());
    EXPECT_EQ(b.width, 40);
    EXPECT_EQ(b.height, 20);
    EXPECT_EQ(b.base, gMemory[0]);
    EXPECT_EQ(b.elementShift, 2);
    EXPECT_EQ(b.pitch, 48);
    b.detach(&b, ctx());
    EXPECT_EQ(b.context, nullptr);
}

TEST_F(BufferHeads, MakeCurrentTakesRowOrderAndStateFromTheDrawableAndLoseCurrentHandsThemBack) {
    GlDrawableBuffers *r = rec();
    heads().contextState = 42;
    ASSERT_TRUE(DrvReleaseContext(handle));
    EXPECT_EQ(r->contextState, 42);
    EXPECT_EQ(ctx()->tail.drawableBuffers, nullptr);
    EXPECT_EQ(heads().front->context, nullptr);
    EXPECT_EQ(accum.context, nullptr);

    r->contextState = 7;
    r->topDown = 1;
    ctx()->beginMode = kGlOutsideBegin;
    ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
    EXPECT_EQ(heads().contextState, 7);
    EXPECT_EQ(ctx()->state.transform.drawable.yInverted, 1);
    EXPECT_EQ(heads().yDirection, -1);
    EXPECT_EQ(ctx()->beginMode, kGlNeedValidate);
    EXPECT_EQ(ctx()->tail.drawableBuffers, r);
    EXPECT_EQ(heads().front->descriptor, &r->descriptors[F]);
    EXPECT_EQ(heads().ancillary.record, r);
}

TEST_F(BufferHeads, DestroyingTheDrawableFreesEachDescriptor) {
    rec()->freeWord = 1;
    __glFreeDrawableBuffers(rec());
    EXPECT_EQ(gLog, events("F", {F, B, A, D, S, M}));
    EXPECT_EQ(rec()->freeWord, 0u);
    for (GlBufferDescriptor &d : rec()->descriptors) d.free = nullptr;
}

TEST_F(BufferHeads, PixelMaskBitReadsOneBitPerPixelFromTheBiasOrigin) {
    GlBufferDescriptor &m = rec()->descriptors[M];
    std::memset(gMemory[M], 0, sizeof gMemory[M]);
    m.base = gMemory[M];
    m.storage = gMemory[M];
    m.width = 32;
    m.height = 4;
    m.elementSize = 1;
    m.pitchBytes = 4;
    GlBuffer *anc = &heads().ancillary.head;
    anc->attach(anc, &m, ctx());
    const int o = 6144;
    struct Case {
        int byte;
        uint8_t value;
        int x, y;
        int32_t expect;
    };
    const Case cases[] = {
        {0, 0x80, o, o, 1},          {0, 0x80, o + 1, o, 0},     {0, 0x01, o + 7, o, 1},
        {1, 0x80, o + 8, o, 1},      {4, 0x40, o + 1, o + 1, 1}, {4, 0x40, o + 1, o, 0},
        {0, 0xFF, o - 1, o, 0},      {3, 0xFF, o + 32, o, 0},    {12, 0xFF, o, o + 4, 0},
    };
    for (const Case &c : cases) {
        std::memset(gMemory[M], 0, 16);
        gMemory[M][c.byte] = c.value;
        EXPECT_EQ(__glPixelMaskBit(ctx(), c.x, c.y), c.expect) << c.x - o << "," << c.y - o;
    }
}

TEST_F(BufferHeads, ATopDownDrawableKeepsTheRasterPositionOnItsRowWhenTheHeightChanges) {
    GlDrawableExtent &e = ctx()->state.transform.drawable;
    ASSERT_EQ(e.height, 240);
    float &y = ctx()->current.vertex.rasterPos.window[1];
    e.yInverted = 1;
    y = 6200.0f;
    ASSERT_TRUE(resize(320, 250));
    EXPECT_EQ(y, 6210.0f);
    e.yInverted = 0;
    ASSERT_TRUE(resize(320, 200));
    EXPECT_EQ(y, 6210.0f);
}
