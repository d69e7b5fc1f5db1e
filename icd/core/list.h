// Display lists: the nodes of the list under construction, the arena they come from, the list
// objects with their compiled blocks, and the per-context list machinery.
//
// While a list is compiled the live proc table is the compile table: each compiled command takes a
// node from the arena, stores its opcode and arguments and appends it. glEndList flattens the
// chain into one compiled block: for every node the address of its execute routine followed by
// its payload, ended by the end marker. Running a list calls the routines one after the other;
// each takes its payload and returns the address of the next entry.
#pragma once
#include <cstdint>
#include <GL/gl.h>

struct GlContext;

// Executes one command of a compiled block; returns the address of the next entry.
typedef const uint8_t *(*GlListExecProc)(const uint8_t *payload);

struct GlListNode {
    GlListNode *next;
    void (*cleanup)(GlContext *ctx, void *payload);  // run when the list object is deleted
    int32_t payloadSize;                              // bytes, a multiple of 4
    int16_t opcode;
    uint8_t align8;  // the payload holds doubles: it starts on an 8-byte boundary of the block
    uint8_t spare;
    // the payload follows
    uint8_t *payload() { return reinterpret_cast<uint8_t *>(this + 1); }
};
static_assert(sizeof(GlListNode) == 16);

// contentFlags: the list holds glMaterial commands (the optimiser's material pass runs).
constexpr uint32_t kGlListHasMaterial = 0x100;

struct GlListBuild {
    uint32_t contentFlags;
    GlListNode *first, *last;
};

struct GlListCleanup {
    void (*routine)(GlContext *ctx, void *payload);
    void *payload;
};

struct GlDisplayList {
    int32_t refCount;  // the binding holds one, every running call one more
    void (*deleteProc)(GlContext *ctx, GlDisplayList *list);
    void (*executeProc)(GlContext *ctx, GlDisplayList *list);
    uint8_t *code;     // the compiled block; null for an empty list
    int32_t count;     // 0 for an empty list, else 1 + the clean-up entries
    GlListCleanup cleanups[1];  // count - 1 of them
};
static_assert(sizeof(GlDisplayList) - sizeof(GlListCleanup) == 20);

struct GlArenaBlock {
    uint32_t capacity, used;  // bytes
    uint8_t *data;
    GlArenaBlock *next;
};

struct GlListArena {
    GlContext *owner;
    GlArenaBlock *firstBlock, *currentBlock;
};

constexpr uint32_t kGlArenaBlockBytes = 0x40000;
constexpr int32_t kGlListNestingLimit = 64;
constexpr int32_t kGlListCallBatch = 256;
// Opcode ranges of the execute tables.
constexpr int32_t kGlListMainOpcodes = 228;
constexpr int32_t kGlListExtOpcodeBase = 1000;
constexpr int32_t kGlListExtOpcodes = 16;

// Opcodes the control code and the optimiser name.
constexpr int16_t kGlOpCallList = 0;
constexpr int16_t kGlOpCallLists = 1;
constexpr int16_t kGlOpMaterialfv = 96;
constexpr int16_t kGlOpMaterialiv = 98;
constexpr int16_t kGlOpErrorInvalidValue = 1010;
constexpr int16_t kGlOpErrorInvalidEnum = 1011;
constexpr int16_t kGlOpErrorInvalidOperation = 1012;
constexpr int16_t kGlOpErrorTableTooLarge = 1015;

// The list machinery of a context (in its list state).
struct GlListCompiler {
    GlListBuild build;
    GlListArena *arena;  // made by the first glNewList, lives as long as the context
    void (*optimizer)(GlContext *ctx, GlListBuild *build);
    GlDisplayList *(*finisher)(GlContext *ctx, GlListBuild *build);
    void (*appendHook)(GlContext *ctx, GlListNode *node);
    void (*beginHook)(GlContext *ctx);
    const GlListExecProc *execTable;     // opcodes 0 .. 227
    const GlListExecProc *execTableExt;  // opcodes 1000 .. 1015
    void *(*objAlloc)(GlContext *ctx, size_t size);
    void (*objFree)(GlContext *ctx, void *block);
};

// ---- nodes ------------------------------------------------------------------------------------
// A node with room for payloadBytes, or null after GL_OUT_OF_MEMORY (the command is not recorded).
GlListNode *__glAllocListNode(GlContext *ctx, uint32_t payloadBytes);
// Appends a filled node; in GL_COMPILE_AND_EXECUTE the command also runs now, through the
// immediate table.
void __glAppendListNode(GlContext *ctx, GlListNode *node, GlListExecProc execute);
// Nodes die with the arena: dropping one does nothing.
void __glDropListNode(GlContext *ctx, GlListNode *node);
// The execute routine of an opcode (a trap routine for unassigned ones).
GlListExecProc __glListExecRoutine(const GlContext *ctx, int32_t opcode);

// ---- list objects -------------------------------------------------------------------------------
extern GlDisplayList __glEmptyListObject;
GlDisplayList *__glFinishDisplayList(GlContext *ctx, GlListBuild *build);
GlDisplayList *__glNewListObject(GlContext *ctx, uint32_t codeBytes, int32_t cleanupCount);
void __glExecuteListObject(GlContext *ctx, GlDisplayList *list);
void __glDeleteListObject(GlContext *ctx, GlDisplayList *list);
// Drops one reference; the last one deletes the object (the name-space release of kind 0).
void __glReleaseListObject(GlContext *ctx, void *list);
void __glOptimizeDisplayList(GlContext *ctx, GlListBuild *build);

// ---- calls --------------------------------------------------------------------------------------
// The bodies of glCallList and glCallLists; the nesting counter is left for the outermost call.
void __glDoCallList(GlContext *ctx, GLuint list);
void __glDoCallLists(GlContext *ctx, GLsizei n, GLenum type, const GLvoid *lists);
// Bytes of one name of a glCallLists type; 0 for an unknown type.
int32_t __glCallListsElementSize(GLenum type);

// ---- arena ----------------------------------------------------------------------------------------
GlListArena *__glArenaCreate(GlContext *ctx);
void *__glArenaAlloc(GlListArena *arena, uint32_t bytes);
void __glArenaReset(GlListArena *arena);
void __glArenaDestroy(GlListArena *arena);

// ---- compile-side helpers -------------------------------------------------------------------------
// Records an error node raising code each time the list runs (GL_INVALID_VALUE, GL_INVALID_ENUM,
// GL_INVALID_OPERATION, GL_TABLE_TOO_LARGE); other codes record nothing.
void __glCompileError(GlContext *ctx, GLenum code);
// The static execute tables.
extern const GlListExecProc *const __glListExecTable;     // kGlListMainOpcodes rows
extern const GlListExecProc *const __glListExecTableExt;  // kGlListExtOpcodes rows
