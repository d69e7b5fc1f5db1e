// The name manager on a kind of the test's own: ranges, binding blocks, joins, generation,
// deletion, locks, the glCallLists name decoding, and random sequences against a plain model.
#include <atomic>
#include <cmath>
#include <map>
#include <random>
#include <thread>
#include <vector>
#include "tests/icd_core/icd_fixture.h"
#include "icd/core/names.h"

namespace {

struct Object {
    int32_t refCount;
    GLuint id;
};

int g_destroyed = 0;
std::vector<GLuint> g_destroyedIds;
void releaseTestObject(GlContext *, void *p) {
    Object *o = static_cast<Object *>(p);
    if (--o->refCount == 0) {
        ++g_destroyed;
        g_destroyedIds.push_back(o->id);
        delete o;
    }
}
Object g_empty{1, 0};
const GlNameKind kTestKind{7, nullptr, sizeof(Object), releaseTestObject, 0};
const GlNameKind kTestKindWithEmpty{8, &g_empty, sizeof(Object), releaseTestObject, 0};

struct Range {
    uint32_t first, last;
    bool objects;
    bool operator==(const Range &o) const { return first == o.first && last == o.last && objects == o.objects; }
};
std::ostream &operator<<(std::ostream &os, const Range &r) {
    return os << "[" << r.first << "," << r.last << (r.objects ? " objects]" : "]");
}

class NameSpaces : public CurrentContextTest {
protected:
    GlNameSpace *ns = nullptr;
    void SetUp() override {
        IcdTest::SetUp();
        openContext(kDoubleFormat);
        g_destroyed = 0;
        g_destroyedIds.clear();
        ns = __glNewNameSpaceOfKind(ctx, &kTestKind);
        ASSERT_NE(ns, nullptr);
    }
    void TearDown() override {
        if (ns != nullptr) __glFreeNameSpace(ctx, ns);
        CurrentContextTest::TearDown();
    }
    std::vector<Range> ranges() const {
        std::vector<Range> out;
        for (int32_t i = 0; i < ns->rangeCount; ++i)
            out.push_back({ns->ranges[i].first, ns->ranges[i].last, ns->ranges[i].objects != nullptr});
        return out;
    }
    Object *bind(GLuint name) {
        Object *o = new Object{0, name};
        EXPECT_EQ(__glNamesBindObject(ctx, ns, name, o), 1);
        return o;
    }
    // Ranges sorted, disjoint, not inverted; object ranges below the join limit.
    void expectWellFormed() const {
        for (int32_t i = 0; i < ns->rangeCount; ++i) {
            const GlNameRange &r = ns->ranges[i];
            ASSERT_LE(r.first, r.last);
            if (r.objects != nullptr) {
                ASSERT_LT(r.last - r.first, kGlNameObjectSpan);
            }
            if (i > 0) {
                ASSERT_LT(ns->ranges[i - 1].last, r.first);
            }
        }
    }
};

TEST_F(NameSpaces, GeneratedRangesGrowTheReservedRange) {
    EXPECT_EQ(__glNamesGenRange(ctx, ns, 5), 1u);
    EXPECT_EQ(__glNamesGenRange(ctx, ns, 3), 6u);
    EXPECT_EQ(ranges(), (std::vector<Range>{{1, 8, false}}));
    EXPECT_EQ(__glNamesGenRange(ctx, ns, 0), 0u);
    EXPECT_EQ(ranges().size(), 1u);
    EXPECT_TRUE(__glNamesIsUsed(ctx, ns, 8));
    EXPECT_FALSE(__glNamesIsUsed(ctx, ns, 9));
    EXPECT_FALSE(__glNamesIsUsed(ctx, ns, 0));
}

TEST_F(NameSpaces, GenerationFillsGapsAndStopsAtTheLastName) {
    bind(10);
    bind(20);
    EXPECT_EQ(__glNamesGenRange(ctx, ns, 4), 1u);  // below the first range: a range of its own
    EXPECT_EQ(__glNamesGenRange(ctx, ns, 5), 5u);  // the reserved range grows up to the object
    EXPECT_EQ(__glNamesGenRange(ctx, ns, 5), 11u);  // between two object ranges: a new range
    EXPECT_EQ(ranges(), (std::vector<Range>{{1, 9, false}, {10, 10, true}, {11, 15, false}, {20, 20, true}}));
    // Up to the last name, and no further.
    GlNameSpace *full = __glNewNameSpaceOfKind(ctx, &kTestKind);
    EXPECT_EQ(__glNamesGenRange(ctx, full, 0x7FFFFFFF), 1u);
    EXPECT_EQ(__glNamesGenRange(ctx, full, 0x7FFFFFFF), 0x80000000u);
    EXPECT_EQ(__glNamesGenRange(ctx, full, 2), 0u);
    EXPECT_EQ(__glNamesGenRange(ctx, full, 1), 0xFFFFFFFFu);
    EXPECT_EQ(__glNamesGenRange(ctx, full, 1), 0u);
    EXPECT_EQ(full->rangeCount, 1);
    __glFreeNameSpace(ctx, full);
    expectWellFormed();
}

TEST_F(NameSpaces, BindingInAReservedRangeCutsABlockAroundTheName) {
    ASSERT_EQ(__glNamesGenRange(ctx, ns, 1000), 1u);
    bind(100);
    EXPECT_EQ(ranges(), (std::vector<Range>{{1, 91, false}, {92, 107, true}, {108, 1000, false}}));
    GlNameSpace *small = __glNewNameSpaceOfKind(ctx, &kTestKind);
    ASSERT_EQ(__glNamesGenRange(ctx, small, 20), 1u);
    std::swap(ns, small);
    bind(10);
    EXPECT_EQ(ranges(), (std::vector<Range>{{1, 20, true}}));
    std::swap(ns, small);
    __glFreeNameSpace(ctx, small);
}

TEST_F(NameSpaces, DeletingTheMiddleReleasesAndSplits) {
    for (GLuint n = 1; n <= 10; ++n) bind(n);
    ASSERT_EQ(ranges(), (std::vector<Range>{{1, 10, true}}));
    __glNamesDeleteRange(ctx, ns, 5, 2);
    EXPECT_EQ(g_destroyedIds, (std::vector<GLuint>{5, 6}));
    EXPECT_EQ(ranges(), (std::vector<Range>{{1, 4, true}, {7, 10, true}}));
    Object *seven = static_cast<Object *>(__glNamesLockObject(ctx, ns, 7));
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(seven->id, 7u);
    __glNamesUnlockObject(ctx, ns, seven);
}

TEST_F(NameSpaces, ObjectRangesJoinOnlyBelowTheSpanLimit) {
    for (GLuint n = 1; n <= 1023; ++n) bind(n);
    EXPECT_EQ(ranges(), (std::vector<Range>{{1, 1023, true}}));
    bind(1024);
    EXPECT_EQ(ranges(), (std::vector<Range>{{1, 1023, true}, {1024, 1024, true}}));
    // An object range never joins a reserved one.
    EXPECT_EQ(__glNamesGenRange(ctx, ns, 5), 1025u);
    EXPECT_EQ(ranges().size(), 3u);
}

TEST_F(NameSpaces, DeletionWrapsNeitherRoundNorNeedsMemory) {
    bind(0xFFFFFFFFu);
    bind(1);
    __glNamesDeleteRange(ctx, ns, 0xFFFFFFF0u, 0x20);  // would wrap past the last name
    EXPECT_FALSE(__glNamesIsUsed(ctx, ns, 0xFFFFFFFFu));
    EXPECT_TRUE(__glNamesIsUsed(ctx, ns, 1));
    ASSERT_EQ(__glNamesGenRange(ctx, ns, 100), 2u);
    for (GLuint n = 10; n < 30; ++n) bind(n);
    kivFailGlobalAllocAfter(1);  // every allocation from here would fail ...
    __glNamesDeleteRange(ctx, ns, 1, 200);  // ... but whole ranges go without one
    kivFailGlobalAllocAfter(0);
    EXPECT_TRUE(ranges().empty());
    EXPECT_EQ(g_destroyed, 22);
}

TEST_F(NameSpaces, ABindThatCannotGetMemoryChangesNothing) {
    ASSERT_EQ(__glNamesGenRange(ctx, ns, 1000), 1u);
    Object *o = new Object{0, 500};
    ctx->error = GL_NO_ERROR;
    kivFailGlobalAllocAfter(1);
    EXPECT_EQ(__glNamesBindObject(ctx, ns, 500, o), 0);
    kivFailGlobalAllocAfter(0);
    EXPECT_EQ(ctx->error, GLenum(GL_OUT_OF_MEMORY));
    EXPECT_EQ(ranges(), (std::vector<Range>{{1, 1000, false}}));
    delete o;
}

TEST_F(NameSpaces, LocksKeepAnObjectAfterItsNameGoes) {
    Object *o = bind(3);
    EXPECT_EQ(o->refCount, 1);
    ASSERT_EQ(__glNamesLockObject(ctx, ns, 3), o);
    EXPECT_EQ(o->refCount, 2);
    __glNamesDeleteRange(ctx, ns, 3, 1);
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_EQ(o->refCount, 1);
    __glNamesUnlockObject(ctx, ns, o);
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(__glNamesLockObject(ctx, ns, 3), nullptr);
}

TEST_F(NameSpaces, CallListsNamesDecodePerType) {
    __glFreeNameSpace(ctx, ns);
    ns = __glNewNameSpaceOfKind(ctx, &kTestKindWithEmpty);
    for (GLuint n : {1u, 2u, 3u, 0x10203u, 0x1020304u, 99u}) bind(n);
    auto ids = [&](GLenum type, GLuint base, const void *lists, int n) {
        std::vector<GLuint> out;
        void *objects[8];
        EXPECT_EQ(__glNamesLockList(ctx, ns, n, type, base, lists, objects), n);
        for (int i = 0; i < n; ++i) out.push_back(static_cast<Object *>(objects[i])->id);
        __glNamesUnlockList(ctx, ns, n, objects);
        return out;
    };
    const int8_t bytes[] = {1, -1, 3};
    EXPECT_EQ(ids(GL_BYTE, 2, bytes, 3), (std::vector<GLuint>{3, 1, 0}));  // 5 is free: the empty object
    const uint8_t twoBytes[] = {0, 1, 0, 2};
    EXPECT_EQ(ids(GL_2_BYTES, 0, twoBytes, 2), (std::vector<GLuint>{1, 2}));
    const uint8_t threeBytes[] = {1, 2, 3};
    EXPECT_EQ(ids(GL_3_BYTES, 0, threeBytes, 1), (std::vector<GLuint>{0x10203}));
    const uint8_t fourBytes[] = {1, 2, 3, 4};
    EXPECT_EQ(ids(GL_4_BYTES, 0, fourBytes, 1), (std::vector<GLuint>{0x1020304}));
    const float floats[] = {1.75f, -5.0f, std::nanf(""), 1e20f};
    EXPECT_EQ(ids(GL_FLOAT, 1, floats, 4), (std::vector<GLuint>{2, 0, 0, 0}));
    const uint16_t shorts[] = {99, 3};
    EXPECT_EQ(ids(GL_UNSIGNED_SHORT, 0, shorts, 2), (std::vector<GLuint>{99, 3}));
    void *none[1];
    EXPECT_EQ(__glNamesLockList(ctx, ns, 1, GL_DOUBLE, 0, shorts, none), 0);
    EXPECT_EQ(g_empty.refCount, 1);
}

// Random generate, bind, reserve, delete and lock sequences against a map of name -> bound id
// (0 for a name reserved without an object).
TEST_F(NameSpaces, RandomSequencesMatchAModel) {
    std::mt19937 rng(1234);
    std::map<GLuint, GLuint> model;
    GLuint nextId = 1;
    auto pick = [&](GLuint hi) { return std::uniform_int_distribution<GLuint>(1, hi)(rng); };
    for (int step = 0; step < 4000; ++step) {
        int op = int(pick(5));
        if (op == 1) {
            GLsizei count = GLsizei(pick(40));
            GLuint first = __glNamesGenRange(ctx, ns, count);
            ASSERT_NE(first, 0u);
            for (GLsizei k = 0; k < count; ++k) {
                ASSERT_EQ(model.count(first + GLuint(k)), 0u) << "handed out a used name";
                model[first + GLuint(k)] = 0;
            }
        } else if (op == 2 || op == 3) {
            GLuint name = pick(3000);
            if (op == 2) {
                Object *o = new Object{0, nextId};
                ASSERT_EQ(__glNamesBindObject(ctx, ns, name, o), 1);
                model[name] = nextId++;
            } else {
                // Binding nothing unbinds what the name had and keeps the name.
                ASSERT_EQ(__glNamesBindObject(ctx, ns, name, nullptr), 1);
                model[name] = 0;
            }
        } else if (op == 4) {
            GLuint first = pick(3000), count = pick(60);
            __glNamesDeleteRange(ctx, ns, first, count);
            model.erase(model.lower_bound(first), model.lower_bound(first + count));
        } else {
            GLuint name = pick(3000);
            Object *o = static_cast<Object *>(__glNamesLockObject(ctx, ns, name));
            auto it = model.find(name);
            GLuint expect = it != model.end() ? it->second : 0;
            ASSERT_EQ(o != nullptr ? o->id : 0, expect) << "name " << name;
            if (o != nullptr) __glNamesUnlockObject(ctx, ns, o);
        }
        ASSERT_NO_FATAL_FAILURE(expectWellFormed());
    }
    for (GLuint name = 0; name <= 3200; ++name) ASSERT_EQ(__glNamesIsUsed(ctx, ns, name) != 0, model.count(name) != 0);
    size_t bound = 0;
    for (auto &entry : model) bound += entry.second != 0;
    int destroyedBefore = g_destroyed;
    __glFreeNameSpace(ctx, ns);
    ns = nullptr;
    EXPECT_EQ(size_t(g_destroyed - destroyedBefore), bound);
}

}  // namespace


namespace {

std::atomic<int> g_sharedMade{0}, g_sharedGone{0};
void releaseSharedObject(GlContext *, void *p) {
    Object *o = static_cast<Object *>(p);
    if (--o->refCount == 0) {
        g_sharedGone += 1;
        o->id = 0;  // a use after this shows as id 0
        delete o;
    }
}
const GlNameKind kSharedKind{9, nullptr, sizeof(Object), releaseSharedObject, 0};

// Two threads on one space, as two contexts of a share group current on different threads: one
// calls (locks and unlocks) a name while the other rebinds and deletes it. Every object made is
// destroyed exactly once and none while it is locked.
TEST_F(NameSpaces, ThreadsOfOneShareGroupKeepObjectsAlive) {
    GlNameSpace *shared = __glNewNameSpaceOfKind(ctx, &kSharedKind);
    ASSERT_NE(shared, nullptr);
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    GlContext *c = ctx;
    std::thread caller([&] {
        while (!stop) {
            Object *o = static_cast<Object *>(__glNamesLockObject(c, shared, 5));
            if (o == nullptr) continue;
            if (o->id == 0) bad += 1;
            __glNamesUnlockObject(c, shared, o);
        }
    });
    for (int i = 1; i <= 20000; ++i) {
        Object *o = new Object{0, GLuint(i)};
        g_sharedMade += 1;
        __glNamesBindObject(c, shared, 5, o);
        if (i % 3 == 0) __glNamesDeleteRange(c, shared, 1, 10);
    }
    stop = true;
    caller.join();
    __glFreeNameSpace(ctx, shared);
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(g_sharedGone.load(), g_sharedMade.load());
}

}  // namespace
