// Display-list storage and control: the node arena, appending nodes, the finisher that flattens a
// list into its compiled block, list objects, the list entries and the share-group list state.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/list.h"
#include "icd/core/names.h"

namespace {

inline GlListState &listsOf(GlContext *ctx) { return ctx->state.list; }
inline GlListCompiler &compilerOf(GlContext *ctx) { return ctx->state.list.compiler; }

// The end marker is recognised by its address and never called.
const uint8_t *endMarker(const uint8_t *) { return nullptr; }
// A pad entry puts the payload after it on an 8-byte boundary.
const uint8_t *padEntry(const uint8_t *p) { return p; }
// Unassigned opcodes: no node carries them, so reaching one means a corrupted block.
const uint8_t *trapEntry(const uint8_t *) {
    __glSetError(GL_INVALID_OPERATION);
    return nullptr;
}

inline void putWord(uint8_t *at, const void *pointer) { std::memcpy(at, &pointer, 4); }
inline GlListExecProc routineAt(const uint8_t *at) {
    GlListExecProc r;
    std::memcpy(&r, at, 4);
    return r;
}

void executeNothing(GlContext *, GlDisplayList *) {}
void deleteNothing(GlContext *, GlDisplayList *) {}

// Publishes a table switch: the live table becomes src, and the immediate procs are reached
// through execTable.
void switchLive(GlContext *ctx, const GlProcTable *src, GlProcTable *exec) {
    __glCopyProcTable(src, &ctx->liveTable);
    ctx->execTable = exec;
}

GlContext *outsideBegin() {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return nullptr;
    }
    return ctx;
}

}  // namespace

GlDisplayList __glEmptyListObject = {1, deleteNothing, executeNothing, nullptr, 0, {{nullptr, nullptr}}};

static_assert(sizeof(void *) == 4, "compiled blocks hold 32-bit routine addresses");

// ---- arena ----------------------------------------------------------------------------------------

namespace {
GlArenaBlock *newBlock(GlContext *owner, uint32_t capacity) {
    GlArenaBlock *b = static_cast<GlArenaBlock *>(owner->hostProcs.alloc(owner, sizeof(GlArenaBlock)));
    if (b == nullptr) return nullptr;
    b->data = static_cast<uint8_t *>(owner->hostProcs.alloc(owner, capacity));
    if (b->data == nullptr) {
        owner->hostProcs.free(owner, b);
        return nullptr;
    }
    b->capacity = capacity;
    b->used = 0;
    b->next = nullptr;
    return b;
}
void freeBlock(GlContext *owner, GlArenaBlock *b) {
    owner->hostProcs.free(owner, b->data);
    owner->hostProcs.free(owner, b);
}
}  // namespace

GlListArena *__glArenaCreate(GlContext *ctx) {
    GlListArena *a = static_cast<GlListArena *>(ctx->hostProcs.alloc(ctx, sizeof(GlListArena)));
    if (a == nullptr) return nullptr;
    a->owner = ctx;
    a->firstBlock = a->currentBlock = newBlock(ctx, kGlArenaBlockBytes);
    if (a->firstBlock == nullptr) {
        ctx->hostProcs.free(ctx, a);
        return nullptr;
    }
    return a;
}

void *__glArenaAlloc(GlListArena *arena, uint32_t bytes) {
    // Every request takes a multiple of 8 that is larger than the request.
    if (bytes > 0x7FFFFFF0u) return nullptr;
    uint32_t need = (bytes & ~7u) + 8;
    GlArenaBlock *b = arena->currentBlock;
    if (b->capacity - b->used >= need) {
        void *p = b->data + b->used;
        b->used += need;
        return p;
    }
    GlArenaBlock *grown = newBlock(arena->owner, need > kGlArenaBlockBytes ? need : kGlArenaBlockBytes);
    if (grown == nullptr) return nullptr;
    grown->next = b->next;
    b->next = grown;
    arena->currentBlock = grown;
    grown->used = need;
    return grown->data;
}

void __glArenaReset(GlListArena *arena) {
    GlArenaBlock *first = arena->firstBlock;
    for (GlArenaBlock *b = first->next; b != nullptr;) {
        GlArenaBlock *next = b->next;
        freeBlock(arena->owner, b);
        b = next;
    }
    first->next = nullptr;
    first->used = 0;
    arena->currentBlock = first;
}

void __glArenaDestroy(GlListArena *arena) {
    GlContext *owner = arena->owner;
    for (GlArenaBlock *b = arena->firstBlock; b != nullptr;) {
        GlArenaBlock *next = b->next;
        freeBlock(owner, b);
        b = next;
    }
    owner->hostProcs.free(owner, arena);
}

// ---- nodes ----------------------------------------------------------------------------------------

GlListNode *__glAllocListNode(GlContext *ctx, uint32_t payloadBytes) {
    GlListArena *arena = compilerOf(ctx).arena;
    void *p = arena != nullptr && payloadBytes <= 0x7FFFFFF0u - sizeof(GlListNode)
                  ? __glArenaAlloc(arena, uint32_t(sizeof(GlListNode)) + payloadBytes)
                  : nullptr;
    if (p == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return nullptr;
    }
    GlListNode *node = static_cast<GlListNode *>(p);
    node->next = nullptr;
    node->cleanup = nullptr;
    node->payloadSize = int32_t(payloadBytes);
    node->opcode = 0;
    node->align8 = 0;
    node->spare = 0;
    return node;
}

void __glAppendListNode(GlContext *ctx, GlListNode *node, GlListExecProc execute) {
    GlListCompiler &c = compilerOf(ctx);
    c.appendHook(ctx, node);
    if (listsOf(ctx).listMode == GL_COMPILE_AND_EXECUTE) {
        switchLive(ctx, &ctx->savedTable, &ctx->liveTable);
        execute(node->payload());
        // Validation may have patched the immediate procs meanwhile: keep them.
        std::memcpy(&ctx->savedTable, &ctx->liveTable, sizeof(GlProcTable));
        switchLive(ctx, &ctx->compileTable, &ctx->savedTable);
    }
    if (c.build.last != nullptr)
        c.build.last->next = node;
    else
        c.build.first = node;
    c.build.last = node;
}

void __glDropListNode(GlContext *, GlListNode *) {}

GlListExecProc __glListExecRoutine(const GlContext *ctx, int32_t opcode) {
    const GlListCompiler &c = ctx->state.list.compiler;
    GlListExecProc r = nullptr;
    if (opcode >= 0 && opcode < kGlListMainOpcodes)
        r = c.execTable[opcode];
    else if (opcode >= kGlListExtOpcodeBase && opcode < kGlListExtOpcodeBase + kGlListExtOpcodes)
        r = c.execTableExt[opcode - kGlListExtOpcodeBase];
    return r != nullptr ? r : trapEntry;
}

// ---- list objects -----------------------------------------------------------------------------------

GlDisplayList *__glNewListObject(GlContext *ctx, uint32_t codeBytes, int32_t cleanupCount) {
    GlListCompiler &c = compilerOf(ctx);
    size_t bytes = sizeof(GlDisplayList) + size_t(cleanupCount) * sizeof(GlListCleanup);
    GlDisplayList *list = static_cast<GlDisplayList *>(c.objAlloc(ctx, bytes));
    if (list == nullptr) return nullptr;
    list->refCount = 1;
    list->deleteProc = __glDeleteListObject;
    list->executeProc = codeBytes != 0 ? __glExecuteListObject : executeNothing;
    list->code = nullptr;
    list->count = 0;
    if (codeBytes != 0) {
        list->code = static_cast<uint8_t *>(c.objAlloc(ctx, codeBytes));
        if (list->code == nullptr) {
            c.objFree(ctx, list);
            return nullptr;
        }
        list->count = cleanupCount + 1;
    }
    return list;
}

GlDisplayList *__glFinishDisplayList(GlContext *ctx, GlListBuild *build) {
    GlListCompiler &c = compilerOf(ctx);
    uint64_t size = 0;
    int32_t cleanups = 0;
    for (GlListNode *n = build->first; n != nullptr; n = n->next) {
        if (n->align8 && size % 8 != 4) size += 4;
        size += 4 + uint32_t(n->payloadSize);
        if (n->cleanup != nullptr) ++cleanups;
    }
    bool empty = build->first == nullptr;
    if (!empty) size += 4;
    GlDisplayList *list = size <= 0x7FFFFFF0u ? __glNewListObject(ctx, uint32_t(size), cleanups) : nullptr;
    if (list == nullptr) {
        // An empty list that cannot be made fails as loudly as a full one.
        __glArenaReset(c.arena);
        build->first = build->last = nullptr;
        listsOf(ctx).listName = 0;
        __glSetError(GL_OUT_OF_MEMORY);
        return nullptr;
    }
    if (empty) return list;
    uint8_t *out = list->code;
    GlListCleanup *entry = list->cleanups;
    for (GlListNode *n = build->first; n != nullptr; n = n->next) {
        if (n->align8 && (out - list->code) % 8 != 4) {
            putWord(out, reinterpret_cast<const void *>(&padEntry));
            out += 4;
        }
        putWord(out, reinterpret_cast<const void *>(__glListExecRoutine(ctx, n->opcode)));
        out += 4;
        if (n->cleanup != nullptr) *entry++ = {n->cleanup, out};
        std::memcpy(out, n->payload(), size_t(n->payloadSize));
        out += n->payloadSize;
    }
    putWord(out, reinterpret_cast<const void *>(&endMarker));
    return list;
}

void __glExecuteListObject(GlContext *, GlDisplayList *list) {
    const uint8_t *p = list->code;
    for (;;) {
        GlListExecProc r = routineAt(p);
        if (r == endMarker || r == nullptr) return;
        p = r(p + 4);
        if (p == nullptr) return;  // a trapped opcode ends the run
    }
}

void __glDeleteListObject(GlContext *ctx, GlDisplayList *list) {
    GlListCompiler &c = compilerOf(ctx);
    if (list->count != 0) {
        for (int32_t i = 0; i < list->count - 1; ++i) list->cleanups[i].routine(ctx, list->cleanups[i].payload);
        c.objFree(ctx, list->code);
    }
    c.objFree(ctx, list);
}

void __glReleaseListObject(GlContext *ctx, void *object) {
    GlDisplayList *list = static_cast<GlDisplayList *>(object);
    if (--list->refCount == 0) list->deleteProc(ctx, list);
}

// ---- calls --------------------------------------------------------------------------------------------

int32_t __glCallListsElementSize(GLenum type) {
    switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE: return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
    case GL_2_BYTES: return 2;
    case GL_3_BYTES: return 3;
    case GL_INT:
    case GL_UNSIGNED_INT:
    case GL_FLOAT:
    case GL_4_BYTES: return 4;
    default: return 0;
    }
}

void __glDoCallList(GlContext *ctx, GLuint name) {
    GlListState &s = listsOf(ctx);
    if (s.listCallDepth >= kGlListNestingLimit) {
        s.listCallDepth = 2 * kGlListNestingLimit;
        return;
    }
    GlNameSpace *ns = s.listNames;
    void *object = __glNamesLockObject(ctx, ns, name);
    if (object == nullptr) return;
    GlDisplayList *list = static_cast<GlDisplayList *>(object);
    s.listCallDepth += 1;
    list->executeProc(ctx, list);
    s.listCallDepth -= 1;
    __glNamesUnlockObject(ctx, ns, object);
}

void __glDoCallLists(GlContext *ctx, GLsizei n, GLenum type, const GLvoid *lists) {
    GlListState &s = listsOf(ctx);
    int32_t element = __glCallListsElementSize(type);
    if (element == 0) return;
    if (s.listCallDepth >= kGlListNestingLimit) {
        s.listCallDepth = 2 * kGlListNestingLimit;
        return;
    }
    s.listCallDepth += 1;
    GlNameSpace *ns = s.listNames;
    const uint8_t *names = static_cast<const uint8_t *>(lists);
    void *objects[kGlListCallBatch];
    while (n > 0) {
        int32_t batch = n < kGlListCallBatch ? n : kGlListCallBatch;
        // The base is read per batch: a list of the batch may change it for the next one.
        __glNamesLockList(ctx, ns, batch, type, s.listBase, names, objects);
        for (int32_t i = 0; i < batch; ++i) {
            GlDisplayList *list = static_cast<GlDisplayList *>(objects[i]);
            list->executeProc(ctx, list);
        }
        __glNamesUnlockList(ctx, ns, batch, objects);
        n -= batch;
        names += batch * element;
    }
    s.listCallDepth -= 1;
}

// ---- list state of the share group ----------------------------------------------------------------------

void __glInitListState(GlContext *ctx) {
    GlListState &s = listsOf(ctx);
    GlListCompiler &c = s.compiler;
    s.listCallDepth = 0;
    s.listName = 0;
    c.objAlloc = ctx->hostProcs.alloc;
    c.objFree = ctx->hostProcs.free;
    c.optimizer = __glOptimizeDisplayList;
    c.finisher = __glFinishDisplayList;
    c.appendHook = [](GlContext *, GlListNode *) {};
    c.beginHook = __glNopProc;
    c.execTable = __glListExecTable;
    c.execTableExt = __glListExecTableExt;
    if (s.listNames == nullptr) s.listNames = __glNewNameSpace(ctx, 0);
}

void __glReleaseListState(GlContext *ctx) {
    GlListState &s = listsOf(ctx);
    GlNameSpace *ns = s.listNames;
    s.listNames = nullptr;
    if (ns != nullptr && --ns->refCount == 0) __glFreeNameSpace(ctx, ns);
    if (s.compiler.arena != nullptr) {
        __glArenaDestroy(s.compiler.arena);
        s.compiler.arena = nullptr;
        s.compiler.build.first = s.compiler.build.last = nullptr;
    }
}

void __glShareLists(GlContext *ctx, GlContext *other) {
    GlNameSpace *theirs = other->state.list.listNames;
    if (theirs == listsOf(ctx).listNames) return;  // already one group
    GlNameSpace *mine = listsOf(ctx).listNames;
    listsOf(ctx).listNames = nullptr;
    if (mine != nullptr && --mine->refCount == 0) __glFreeNameSpace(ctx, mine);
    listsOf(ctx).listNames = theirs;
    if (theirs != nullptr) theirs->refCount += 1;
}

// ---- entries ------------------------------------------------------------------------------------------------

namespace icd {

void APIENTRY glNewList(GLuint list, GLenum mode) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (mode != GL_COMPILE && mode != GL_COMPILE_AND_EXECUTE) return __glSetError(GL_INVALID_ENUM);
    GlListState &s = listsOf(ctx);
    if (s.listName != 0) return __glSetError(GL_INVALID_OPERATION);
    if (list == 0) return __glSetError(GL_INVALID_VALUE);
    GlListCompiler &c = s.compiler;
    if (c.arena == nullptr) {
        c.arena = __glArenaCreate(ctx);
        if (c.arena == nullptr) return __glSetError(GL_OUT_OF_MEMORY);
    }
    std::memcpy(&ctx->savedTable, &ctx->liveTable, sizeof(GlProcTable));
    switchLive(ctx, &ctx->compileTable, &ctx->savedTable);
    s.listName = list;
    s.listMode = mode;
    c.build.contentFlags = 0;
    c.build.first = c.build.last = nullptr;
    c.beginHook(ctx);
}

void APIENTRY glEndList(void) {
    GlContext *ctx = __glGetCurrentContext();
    GlListState &s = listsOf(ctx);
    if (ctx->beginMode == kGlInsideBegin || s.listName == 0) return __glSetError(GL_INVALID_OPERATION);
    GlListCompiler &c = s.compiler;
    GLuint name = s.listName;
    c.optimizer(ctx, &c.build);
    GlDisplayList *list = c.finisher(ctx, &c.build);
    __glArenaReset(c.arena);
    c.build.first = c.build.last = nullptr;
    if (list != nullptr && !__glNamesBindObject(ctx, s.listNames, name, list)) list->deleteProc(ctx, list);
    switchLive(ctx, &ctx->savedTable, &ctx->liveTable);
    s.listName = 0;
}

void APIENTRY glCallList(GLuint list) {
    GlContext *ctx = __glGetCurrentContext();
    if (list == 0) return __glSetError(GL_INVALID_VALUE);
    __glDoCallList(ctx, list);
    listsOf(ctx).listCallDepth = 0;
}

void APIENTRY glCallLists(GLsizei n, GLenum type, const GLvoid *lists) {
    GlContext *ctx = __glGetCurrentContext();
    if (n < 0) return __glSetError(GL_INVALID_VALUE);
    if (__glCallListsElementSize(type) == 0) return __glSetError(GL_INVALID_ENUM);
    if (n == 0) return;
    __glDoCallLists(ctx, n, type, lists);
    listsOf(ctx).listCallDepth = 0;
}

void APIENTRY glListBase(GLuint base) {
    GlContext *ctx = outsideBegin();
    if (ctx != nullptr) listsOf(ctx).listBase = base;
}

GLuint APIENTRY glGenLists(GLsizei range) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return 0;
    if (range < 0) {
        __glSetError(GL_INVALID_VALUE);
        return 0;
    }
    if (range == 0) return 0;
    return __glNamesGenRange(ctx, listsOf(ctx).listNames, range);
}

void APIENTRY glDeleteLists(GLuint list, GLsizei range) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (range < 0) return __glSetError(GL_INVALID_VALUE);
    if (range == 0) return;
    __glNamesDeleteRange(ctx, listsOf(ctx).listNames, list, GLuint(range));
}

GLboolean APIENTRY glIsList(GLuint list) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return GL_FALSE;
    return __glNamesIsUsed(ctx, listsOf(ctx).listNames, list) ? GL_TRUE : GL_FALSE;
}

}  // namespace icd
