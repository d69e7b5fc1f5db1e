// Name spaces of the object kinds that a share group holds (display lists, texture objects).
//
// A name space maps 32-bit names to objects. Used names are kept as ranges of consecutive names,
// sorted and disjoint: a range either carries no objects (names reserved by a generate call, or
// bound to nothing) or one object pointer per name. Every object kind begins with a 32-bit
// reference count: binding sets it to 1, each lock adds 1, and the kind's release operation drops
// one reference (destroying the object at 0) when a binding goes or a lock ends.
//
// Contexts of one share group hold the same name space; `refCount` counts them and the last one
// to let go calls __glFreeNameSpace. Those contexts may be current on different threads, so every
// operation below holds the space's lock; the reference counts of the objects change under it too.
#pragma once
#include <cstdint>
#include <GL/gl.h>

struct GlContext;

// One row per object kind.
struct GlNameKind {
    uint32_t id;
    void *emptyObject;   // what an unbound name of the kind yields (may be null)
    uint32_t objectSize;
    void (*release)(GlContext *ctx, void *object);  // drops one reference to the object
    uint32_t zero;
};
static_assert(sizeof(GlNameKind) == 20);

// Rows 0 (display lists) and 1 (texture objects).
extern const GlNameKind __glNameKinds[2];

// One range of used names [first, last]; `objects` holds last - first + 1 pointers, or is null.
struct GlNameRange {
    uint32_t first, last;
    void **objects;
};

struct GlNameSpace {
    GlNameRange *ranges;  // sorted by name
    int32_t rangeCount;
    int32_t refCount;     // contexts holding this space; the last release frees it
    const GlNameKind *kind;
    int32_t capacity;     // ranges that fit without growing
    void *lock;           // contexts of a share group may be current on different threads
};

// Ranges carrying objects are cut around a newly bound name to about this many names ...
constexpr uint32_t kGlNameBlock = 16;
// ... and two such ranges are joined only while the result spans fewer names than this.
constexpr uint32_t kGlNameObjectSpan = 1024;

// A new name space of the kind row (0 display lists, 1 texture objects) with refCount 1, or
// null (GL_OUT_OF_MEMORY raised) when it cannot be allocated.
GlNameSpace *__glNewNameSpace(GlContext *ctx, int32_t kindIndex);
// The same for a kind of the caller's own.
GlNameSpace *__glNewNameSpaceOfKind(GlContext *ctx, const GlNameKind *kind);
// Frees a name space whose refCount has reached 0: every bound object is released first.
void __glFreeNameSpace(GlContext *ctx, GlNameSpace *ns);

// Binds object to name (null reserves the name without an object). The object bound before, if
// any, is released; the new one gets refCount 1. Returns 1, or 0 after raising GL_OUT_OF_MEMORY
// with the space unchanged.
int32_t __glNamesBindObject(GlContext *ctx, GlNameSpace *ns, GLuint name, void *object);
// The object bound to name with one more reference, or null (nothing bound, or the empty object
// of a kind without one).
void *__glNamesLockObject(GlContext *ctx, GlNameSpace *ns, GLuint name);
// Ends a lock: drops the reference through the kind's release operation, which destroys the
// object when its name was deleted or rebound meanwhile.
void __glNamesUnlockObject(GlContext *ctx, GlNameSpace *ns, void *object);
// Locks n names read from `lists` in the given glCallLists type, each offset by base; a free name
// yields the kind's empty object (locked too). Unknown types lock nothing and return 0; else n.
int32_t __glNamesLockList(GlContext *ctx, GlNameSpace *ns, int32_t n, GLenum type, GLuint base,
                          const void *lists, void **out);
void __glNamesUnlockList(GlContext *ctx, GlNameSpace *ns, int32_t n, void **objects);
// The first of count consecutive names now reserved, or 0 (none free, count 0, or memory short:
// GL_OUT_OF_MEMORY then). Name 0 is never handed out.
GLuint __glNamesGenRange(GlContext *ctx, GlNameSpace *ns, GLsizei count);
// __glNamesGenRange and the names written out; returns the first name (0 when none).
GLuint __glNamesGenNames(GlContext *ctx, GlNameSpace *ns, GLsizei count, GLuint *names);
// Releases the objects of names first .. first + count - 1 (up to the last name) and frees the
// names. Removing whole ranges never needs memory; splitting a range may, and on failure the
// objects are gone but the names stay reserved (GL_OUT_OF_MEMORY).
void __glNamesDeleteRange(GlContext *ctx, GlNameSpace *ns, GLuint first, GLuint count);
// 1 when the name is used (reserved or bound), else 0.
int32_t __glNamesIsUsed(GlContext *ctx, GlNameSpace *ns, GLuint name);

// Texture objects: drops one reference to a texture object (its owner destroys it at 0).
void __glReleaseTextureObject(GlContext *ctx, void *object);
