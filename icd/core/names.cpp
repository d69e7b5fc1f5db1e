// The name manager: ranges of used names with their objects, per object kind and share group.
//
// The ranges live in one sorted array, found by binary search. Every operation that may add
// ranges makes room for them before it changes anything, so a change, once begun, never fails
// half way; removing and trimming ranges never needs memory.
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include "icd/core/core.h"
#include "icd/core/names.h"
#include "icd/core/list.h"

const GlNameKind __glNameKinds[2] = {
    {0, &__glEmptyListObject, 20, __glReleaseListObject, 0},
    {1, nullptr, 196, __glReleaseTextureObject, 0},
};

namespace {

constexpr uint32_t kLastName = 0xFFFFFFFFu;

// Holds a name space's lock for a scope. The lock is recursive: a release callback may reach the
// same space again.
class Locked {
public:
    explicit Locked(GlNameSpace *ns) : m_(static_cast<std::recursive_mutex *>(ns->lock)) { m_->lock(); }
    ~Locked() { m_->unlock(); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    std::recursive_mutex *m_;
};

inline uint32_t span(const GlNameRange &r) { return r.last - r.first + 1; }
inline void *emptyOf(const GlNameSpace *ns) { return ns->kind->emptyObject; }
inline int32_t &refOf(void *object) { return *static_cast<int32_t *>(object); }

void releaseObject(GlContext *ctx, GlNameSpace *ns, void *object) {
    if (object != nullptr && object != emptyOf(ns)) ns->kind->release(ctx, object);
}

// Index of the first range whose last name is not below name (rangeCount when none).
int32_t lowerBound(const GlNameSpace *ns, uint32_t name) {
    int32_t lo = 0, hi = ns->rangeCount;
    while (lo < hi) {
        int32_t mid = (lo + hi) / 2;
        if (ns->ranges[mid].last < name)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// The range holding name, or null.
GlNameRange *lookup(GlNameSpace *ns, uint32_t name) {
    int32_t i = lowerBound(ns, name);
    if (i < ns->rangeCount && ns->ranges[i].first <= name) return &ns->ranges[i];
    return nullptr;
}

// Room for `extra` more ranges; false after GL_OUT_OF_MEMORY.
bool makeRoom(GlContext *ctx, GlNameSpace *ns, int32_t extra) {
    if (ns->rangeCount + extra <= ns->capacity) return true;
    int32_t capacity = ns->capacity * 2 + extra + 4;
    void *grown = ctx->hostProcs.realloc(ctx, ns->ranges, size_t(capacity) * sizeof(GlNameRange));
    if (grown == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return false;
    }
    ns->ranges = static_cast<GlNameRange *>(grown);
    ns->capacity = capacity;
    return true;
}

void insertAt(GlNameSpace *ns, int32_t i, const GlNameRange &r) {
    std::memmove(&ns->ranges[i + 1], &ns->ranges[i], size_t(ns->rangeCount - i) * sizeof(GlNameRange));
    ns->ranges[i] = r;
    ns->rangeCount += 1;
}

void removeAt(GlNameSpace *ns, int32_t i) {
    std::memmove(&ns->ranges[i], &ns->ranges[i + 1], size_t(ns->rangeCount - i - 1) * sizeof(GlNameRange));
    ns->rangeCount -= 1;
}

void **newObjectArray(GlContext *ctx, GlNameSpace *ns, uint32_t count) {
    void **a = static_cast<void **>(ctx->hostProcs.alloc(ctx, size_t(count) * sizeof(void *)));
    if (a != nullptr)
        for (uint32_t k = 0; k < count; ++k) a[k] = emptyOf(ns);
    return a;
}

// Keeps names [first, last] of a range with objects: the kept pointers move to the start and the
// array shrinks when it can (a failed shrink keeps the larger array).
void trim(GlContext *ctx, GlNameRange &r, uint32_t first, uint32_t last) {
    if (r.objects != nullptr) {
        uint32_t keep = last - first + 1;
        if (first != r.first) std::memmove(r.objects, r.objects + (first - r.first), keep * sizeof(void *));
        void *smaller = ctx->hostProcs.realloc(ctx, r.objects, keep * sizeof(void *));
        if (smaller != nullptr) r.objects = static_cast<void **>(smaller);
    }
    r.first = first;
    r.last = last;
}

// Whether two adjacent ranges may become one.
bool joinable(const GlNameRange &a, const GlNameRange &b) {
    if ((a.objects == nullptr) != (b.objects == nullptr)) return false;
    if (a.objects == nullptr) return true;
    return uint64_t(b.last) - a.first + 1 < kGlNameObjectSpan;
}

// Joins ranges i and i + 1 when they touch and may be joined; a failed reallocation leaves both.
bool joinWithNext(GlContext *ctx, GlNameSpace *ns, int32_t i) {
    if (i < 0 || i + 1 >= ns->rangeCount) return false;
    GlNameRange &a = ns->ranges[i];
    GlNameRange &b = ns->ranges[i + 1];
    if (a.last == kLastName || a.last + 1 != b.first || !joinable(a, b)) return false;
    if (a.objects != nullptr) {
        uint32_t n = span(a);
        void *grown = ctx->hostProcs.realloc(ctx, a.objects, size_t(n + span(b)) * sizeof(void *));
        if (grown == nullptr) return false;
        a.objects = static_cast<void **>(grown);
        std::memcpy(a.objects + n, b.objects, span(b) * sizeof(void *));
        ctx->hostProcs.free(ctx, b.objects);
    }
    a.last = b.last;
    removeAt(ns, i + 1);
    return true;
}

// After range i was made or grown: joined with the next one, then with the previous one.
void mergeNeighbours(GlContext *ctx, GlNameSpace *ns, int32_t i) {
    joinWithNext(ctx, ns, i);
    joinWithNext(ctx, ns, i - 1);
}

}  // namespace

GlNameSpace *__glNewNameSpaceOfKind(GlContext *ctx, const GlNameKind *kind) {
    GlNameSpace *ns = static_cast<GlNameSpace *>(ctx->hostProcs.calloc(ctx, 1, sizeof(GlNameSpace)));
    if (ns == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return nullptr;
    }
    void *lock = ctx->hostProcs.alloc(ctx, sizeof(std::recursive_mutex));
    if (lock == nullptr) {
        ctx->hostProcs.free(ctx, ns);
        __glSetError(GL_OUT_OF_MEMORY);
        return nullptr;
    }
    ns->lock = new (lock) std::recursive_mutex;
    ns->refCount = 1;
    ns->kind = kind;
    // A first handful of ranges; a space that cannot have them now grows on first use.
    ns->ranges = static_cast<GlNameRange *>(ctx->hostProcs.alloc(ctx, 8 * sizeof(GlNameRange)));
    ns->capacity = ns->ranges != nullptr ? 8 : 0;
    return ns;
}

GlNameSpace *__glNewNameSpace(GlContext *ctx, int32_t kindIndex) {
    return __glNewNameSpaceOfKind(ctx, &__glNameKinds[kindIndex == 1 ? 1 : 0]);
}

void __glFreeNameSpace(GlContext *ctx, GlNameSpace *ns) {
    if (ns == nullptr) return;
    // The last holder frees the space: no other thread can reach it any more.
    for (int32_t i = 0; i < ns->rangeCount; ++i) {
        GlNameRange &r = ns->ranges[i];
        if (r.objects == nullptr) continue;
        for (uint32_t k = 0; k < span(r); ++k) {
            void *object = r.objects[k];
            r.objects[k] = emptyOf(ns);
            releaseObject(ctx, ns, object);
        }
        ctx->hostProcs.free(ctx, r.objects);
    }
    if (ns->ranges != nullptr) ctx->hostProcs.free(ctx, ns->ranges);
    static_cast<std::recursive_mutex *>(ns->lock)->~recursive_mutex();
    ctx->hostProcs.free(ctx, ns->lock);
    ctx->hostProcs.free(ctx, ns);
}

int32_t __glNamesBindObject(GlContext *ctx, GlNameSpace *ns, GLuint name, void *object) {
    Locked hold(ns);
    int32_t i = lowerBound(ns, name);
    bool inRange = i < ns->rangeCount && ns->ranges[i].first <= name;
    if (inRange && ns->ranges[i].objects != nullptr) {
        GlNameRange &r = ns->ranges[i];
        void *old = r.objects[name - r.first];
        r.objects[name - r.first] = emptyOf(ns);
        releaseObject(ctx, ns, old);
        if (object != nullptr) {
            r.objects[name - r.first] = object;
            refOf(object) = 1;
        }
        return 1;
    }
    if (inRange && object == nullptr) return 1;
    if (!makeRoom(ctx, ns, 2)) return 0;
    if (!inRange) {
        GlNameRange r{name, name, nullptr};
        if (object != nullptr) {
            r.objects = static_cast<void **>(ctx->hostProcs.alloc(ctx, sizeof(void *)));
            if (r.objects == nullptr) {
                __glSetError(GL_OUT_OF_MEMORY);
                return 0;
            }
            r.objects[0] = object;
            refOf(object) = 1;
        }
        insertAt(ns, i, r);
        mergeNeighbours(ctx, ns, i);
        return 1;
    }
    // A reserved range without objects: a block of about 16 names around the name gets objects,
    // or the whole range when too few names would remain on either side.
    GlNameRange whole = ns->ranges[i];
    uint32_t b = (name < 8 || name - 8 < whole.first) ? whole.first : name - 8;
    uint32_t d = b + (kGlNameBlock - 1);
    if (d < b || d > whole.last) d = whole.last;
    if (b - whole.first < kGlNameBlock) b = whole.first;
    if (whole.last - d < kGlNameBlock) d = whole.last;
    void **objects = newObjectArray(ctx, ns, d - b + 1);
    if (objects == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return 0;
    }
    objects[name - b] = object;
    refOf(object) = 1;
    int32_t at = i;
    if (b == whole.first && d == whole.last) {
        ns->ranges[i].objects = objects;
    } else if (b == whole.first) {
        ns->ranges[i].first = d + 1;
        insertAt(ns, i, GlNameRange{b, d, objects});
    } else if (d == whole.last) {
        ns->ranges[i].last = b - 1;
        insertAt(ns, i + 1, GlNameRange{b, d, objects});
        at = i + 1;
    } else {
        ns->ranges[i].last = b - 1;
        insertAt(ns, i + 1, GlNameRange{b, d, objects});
        insertAt(ns, i + 2, GlNameRange{d + 1, whole.last, nullptr});
        at = i + 1;
    }
    mergeNeighbours(ctx, ns, at);
    return 1;
}

void *__glNamesLockObject(GlContext *, GlNameSpace *ns, GLuint name) {
    Locked hold(ns);
    GlNameRange *r = lookup(ns, name);
    if (r == nullptr || r->objects == nullptr) return nullptr;
    void *object = r->objects[name - r->first];
    if (object != nullptr) refOf(object) += 1;
    return object;
}

void __glNamesUnlockObject(GlContext *ctx, GlNameSpace *ns, void *object) {
    Locked hold(ns);
    if (object != nullptr) ns->kind->release(ctx, object);
}

namespace {
// Name i of a glCallLists array, offset by base; false for a name no object can have.
bool listName(GLenum type, const void *lists, int32_t i, GLuint base, GLuint &name) {
    const uint8_t *b = static_cast<const uint8_t *>(lists);
    switch (type) {
    case GL_BYTE: name = base + GLuint(int32_t(int8_t(b[i]))); return true;
    case GL_UNSIGNED_BYTE: name = base + b[i]; return true;
    case GL_SHORT: {
        int16_t v;
        std::memcpy(&v, b + 2 * i, 2);
        name = base + GLuint(int32_t(v));
        return true;
    }
    case GL_UNSIGNED_SHORT: {
        uint16_t v;
        std::memcpy(&v, b + 2 * i, 2);
        name = base + v;
        return true;
    }
    case GL_INT:
    case GL_UNSIGNED_INT: {
        uint32_t v;
        std::memcpy(&v, b + 4 * i, 4);
        name = base + v;
        return true;
    }
    case GL_FLOAT: {
        float v;
        std::memcpy(&v, b + 4 * i, 4);
        float sum = v + float(base);
        // NaN, negative and too large sums name nothing.
        if (!(sum >= 0.0f && sum < 4294967296.0f)) return false;
        name = GLuint(sum);
        return true;
    }
    case GL_2_BYTES: name = base + (GLuint(b[2 * i]) << 8 | b[2 * i + 1]); return true;
    case GL_3_BYTES:
        name = base + (GLuint(b[3 * i]) << 16 | GLuint(b[3 * i + 1]) << 8 | b[3 * i + 2]);
        return true;
    case GL_4_BYTES:
        name = base + (GLuint(b[4 * i]) << 24 | GLuint(b[4 * i + 1]) << 16 | GLuint(b[4 * i + 2]) << 8 | b[4 * i + 3]);
        return true;
    default: return false;
    }
}
}  // namespace

int32_t __glNamesLockList(GlContext *, GlNameSpace *ns, int32_t n, GLenum type, GLuint base, const void *lists,
                          void **out) {
    Locked hold(ns);
    if (type < GL_BYTE || type > GL_4_BYTES) return 0;
    const GlNameRange *range = nullptr;  // consecutive names mostly fall into the same range
    for (int32_t i = 0; i < n; ++i) {
        GLuint name = 0;
        void *object = nullptr;
        if (listName(type, lists, i, base, name)) {
            if (range == nullptr || name < range->first || name > range->last) range = lookup(ns, name);
            if (range != nullptr && range->objects != nullptr) object = range->objects[name - range->first];
        }
        if (object == nullptr) object = emptyOf(ns);
        if (object != nullptr) refOf(object) += 1;
        out[i] = object;
    }
    return n;
}

void __glNamesUnlockList(GlContext *ctx, GlNameSpace *ns, int32_t n, void **objects) {
    Locked hold(ns);
    for (int32_t i = 0; i < n; ++i) __glNamesUnlockObject(ctx, ns, objects[i]);
}

GLuint __glNamesGenRange(GlContext *ctx, GlNameSpace *ns, GLsizei count) {
    Locked hold(ns);
    if (count <= 0) return 0;
    uint32_t c = uint32_t(count);
    if (!makeRoom(ctx, ns, 1)) return 0;
    if (ns->rangeCount == 0) {
        insertAt(ns, 0, GlNameRange{1, c, nullptr});
        return 1;
    }
    GlNameRange &head = ns->ranges[0];
    if (c < head.first) {
        if (head.objects == nullptr) {
            head.first -= c;
            return head.first;
        }
        insertAt(ns, 0, GlNameRange{1, c, nullptr});
        mergeNeighbours(ctx, ns, 0);
        return 1;
    }
    for (int32_t i = 0; i < ns->rangeCount; ++i) {
        GlNameRange &p = ns->ranges[i];
        if (i + 1 == ns->rangeCount) {
            if (uint64_t(p.last) + c > kLastName) return 0;
            GLuint first = p.last + 1;
            if (p.objects == nullptr)
                p.last += c;
            else
                insertAt(ns, i + 1, GlNameRange{first, p.last + c, nullptr});
            return first;
        }
        GlNameRange &q = ns->ranges[i + 1];
        if (q.first - p.last - 1 < c) continue;
        GLuint first = p.last + 1;
        if (p.objects == nullptr) {
            p.last += c;
            joinWithNext(ctx, ns, i);
            return first;
        }
        if (q.objects == nullptr) {
            q.first -= c;
            return q.first;
        }
        insertAt(ns, i + 1, GlNameRange{first, p.last + c, nullptr});
        return first;
    }
    return 0;
}

GLuint __glNamesGenNames(GlContext *ctx, GlNameSpace *ns, GLsizei count, GLuint *names) {
    if (names == nullptr) return 0;
    GLuint first = __glNamesGenRange(ctx, ns, count);
    if (first != 0)
        for (GLsizei k = 0; k < count; ++k) names[k] = first + GLuint(k);
    return first;
}

void __glNamesDeleteRange(GlContext *ctx, GlNameSpace *ns, GLuint first, GLuint count) {
    Locked hold(ns);
    if (count == 0) return;
    // The range ends at the last name rather than wrapping round to the first ones.
    uint32_t end = uint64_t(first) + count - 1 > kLastName ? kLastName : first + count - 1;
    int32_t i = lowerBound(ns, first);
    while (i < ns->rangeCount && ns->ranges[i].first <= end) {
        GlNameRange &r = ns->ranges[i];
        uint32_t c = r.first > first ? r.first : first;
        uint32_t e = r.last < end ? r.last : end;
        if (r.objects != nullptr) {
            for (uint32_t name = c;; ++name) {
                void *object = r.objects[name - r.first];
                r.objects[name - r.first] = emptyOf(ns);
                releaseObject(ctx, ns, object);
                if (name == e) break;
            }
        }
        // The releases may have run list code; the range is where it was (releasing never
        // changes a name space), so r is still valid.
        if (c == r.first && e == r.last) {
            if (r.objects != nullptr) ctx->hostProcs.free(ctx, r.objects);
            removeAt(ns, i);
            continue;
        }
        if (c == r.first) {
            trim(ctx, r, e + 1, r.last);
            ++i;
            continue;
        }
        if (e == r.last) {
            trim(ctx, r, r.first, c - 1);
            ++i;
            continue;
        }
        // The middle of a range: its upper part becomes a range of its own.
        GlNameRange upper{e + 1, r.last, nullptr};
        if (r.objects != nullptr) {
            upper.objects = static_cast<void **>(ctx->hostProcs.alloc(ctx, span(upper) * sizeof(void *)));
            if (upper.objects == nullptr) {
                __glSetError(GL_OUT_OF_MEMORY);
                return;
            }
            std::memcpy(upper.objects, r.objects + (upper.first - r.first), span(upper) * sizeof(void *));
        }
        if (!makeRoom(ctx, ns, 1)) {
            if (upper.objects != nullptr) ctx->hostProcs.free(ctx, upper.objects);
            return;
        }
        GlNameRange &kept = ns->ranges[i];  // makeRoom may have moved the array
        trim(ctx, kept, kept.first, c - 1);
        insertAt(ns, i + 1, upper);
        return;
    }
}

int32_t __glNamesIsUsed(GlContext *, GlNameSpace *ns, GLuint name) {
    Locked hold(ns);
    return lookup(ns, name) != nullptr ? 1 : 0;
}
