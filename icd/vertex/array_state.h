// Client vertex arrays and the vertex cache: the records a context keeps for glDrawArrays,
// glDrawElements, compiled (locked) arrays and the batched immediate mode.
//
// Arrays reach the pipeline along two roads. The per-element road calls the ordinary immediate
// entries for every element; the cache road fetches elements straight into 160-byte GlVertex
// records of the array cache, transforms them a range at a time and hands them to a per-mode
// array renderer in batches of 36. The vertex cache reuses the cache road for glBegin/glEnd: it
// writes untransformed vertices into the same block and flushes them through the renderers.
//
// This header is included by the context's area headers: it must not include the context.
#pragma once
#include <cstdint>
#include <cstring>
#include <GL/gl.h>
#include "icd/vertex/vertex.h"
#include "icd/vertex/matrix.h"

struct GlContext;

// The six client arrays, in the order of GlArrayState::arrays and of attrFetch.
enum : int32_t {
    kGlArrayVertex = 0,
    kGlArrayNormal = 1,
    kGlArrayColor = 2,
    kGlArrayIndex = 3,
    kGlArrayTexCoord = 4,
    kGlArrayEdgeFlag = 5,
    kGlArrayCount = 6,
};

// GlArrayEnableState::enableMask bits (also the index of the per-element draw loops).
enum : uint32_t {
    kGlArrayEnableNormal = 0x1,
    kGlArrayEnableColor = 0x2,
    kGlArrayEnableTexCoord = 0x4,
    kGlArrayEnableIndex = 0x8,
    kGlArrayEnableEdgeFlag = 0x10,
    kGlArrayEnableVertex = 0x20,
};

// formatWord / enabledFormatMask / arrayNeedMask fields.
enum : uint32_t {
    kGlFormatVertex = 0xFF,         // bits 0-3 type code, 4-7 size
    kGlFormatNormal = 0xF00,        // bits 8-11 type code
    kGlFormatColor = 0xFF000,       // bits 12-15 type code, 16-19 size
    kGlFormatTexCoord = 0x7F00000,  // bits 20-23 type code, 24-26 size
    kGlFormatEdgeFlag = 0x8000000,  // bit 27: an edge-flag array was given
    kGlFormatIndex = 0xF0000000,    // bits 28-31 type code
};

// arrayFlags.
enum : uint32_t {
    kGlArrayCacheHoldsLock = 0x1,   // the array cache holds the locked range
    kGlArrayRangeStale = 0x2,       // the locked range must be transformed again (or: not locked)
    kGlArraysLocked = 0x4,          // glLockArraysEXT in force
    kGlArrayCullVertex = 0x8,       // GL_CULL_VERTEX_EXT in effect
    kGlArrayCullPoint = 0x10,       // the cull-vertex position is a point (w not 0)
    kGlArrayLitColorMaterial = 0x20,  // lighting with colour material: per-element road
    kGlArrayNoVertexArray = 0x40,   // the vertex array cannot feed the cache road: per-element road
    kGlArrayPerElementRoad = kGlArrayLitColorMaterial | kGlArrayNoVertexArray,
};

// An immediate-mode vector entry reached through the live proc table with an element's address
// (glVertex3fv, glColor4ubv ...). Standard calling: it is an OpenGL entry.
typedef void(APIENTRY *GlArrayImmediateProc)(const void *element);
// One element of one array into its fields of a record.
typedef void (*GlArrayFetchProc)(GlContext *ctx, const void *element, GlVertex *v);
// renderers[mode]: element i of the draw is first + i, or indices[i] when indices is given.
typedef void (*GlArrayRenderer)(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);
// Fills records cacheBase + firstRecord .. + count - 1 from elements firstElement .. + count - 1.
typedef void (*GlRangeTransformProc)(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count);
typedef void (*GlBatchTransformProc)(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count,
                                     const uint32_t *indices);
// Fetches and transforms one record again with every attribute (for the clipper).
typedef void (*GlRefetchProc)(GlContext *ctx, GlVertex *record, int32_t element);
// The per-element draw loops: no context argument, standard calling.
typedef void(APIENTRY *GlDrawLoop)(GLenum mode, GLint first, GLsizei count);
// A batch flush proc of the vertex cache: kind 2 the batch is full and the primitive goes on,
// 1 glEnd; any other kind flushes without continuation.
typedef void (*GlBatchFlushProc)(GlContext *ctx, int32_t kind);

struct GlClientArray {
    const void *pointer;   // as given to the pointer call
    int32_t size;          // components per element (vertex, colour, texture coordinates)
    GLenum type;
    int32_t stride;        // effective: the given stride, or the packed element size when 0
    int32_t userStride;    // as given (the stride queries return it)
    int32_t count;         // the EXT pointer forms' element count; 0 after a 1.1 pointer call
    GlArrayImmediateProc immediateProc;
    GlArrayFetchProc fetchProc;
};
static_assert(sizeof(GlClientArray) == 32);

// The address of element e of an array (32-bit arithmetic: element numbers come from the
// application and may be anything).
inline const void *__glClientElement(const GlClientArray &c, int32_t e) {
    return reinterpret_cast<const void *>(uintptr_t(c.pointer) + uint32_t(e) * uint32_t(c.stride));
}

// Bytes of one component of a pointer call's type (GL_BYTE .. GL_DOUBLE).
inline int32_t __glArrayTypeBytes(GLenum type) {
    switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE: return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT: return 2;
    case GL_DOUBLE: return 8;
    default: return 4;
    }
}

// How an array's elements go to its immediate entry. Any stride is legal, so an element need not
// be aligned for its type, while the entry, and whatever else stands in its table slot (the list
// compiler, the vertex cache), may read typed values: an element off its alignment goes over as
// an aligned copy of its `bytes`. The edge-flag array holds single bytes.
struct GlArrayElementCall {
    GlArrayImmediateProc proc;
    uint32_t alignMask;
    uint32_t bytes;
    void operator()(const void *element) const {
        if ((uintptr_t(element) & alignMask) == 0) return proc(element);
        alignas(8) uint8_t copy[4 * sizeof(GLdouble)];
        std::memcpy(copy, element, bytes);
        proc(copy);
    }
};
inline GlArrayElementCall __glArrayElementCall(int32_t array, const GlClientArray &c) {
    if (array == kGlArrayEdgeFlag) return {c.immediateProc, 0, 1};
    const int32_t component = __glArrayTypeBytes(c.type);
    return {c.immediateProc, uint32_t(component - 1), uint32_t(component * c.size)};
}

constexpr int32_t kGlArrayBatchSize = 36;      // elements fetched and drawn per batch
constexpr int32_t kGlArrayCarriedMax = 2;      // records a later batch carries in front
constexpr int32_t kGlArrayCacheGranule = 4096;
constexpr int32_t kGlArrayCacheInitialRecords = kGlArrayBatchSize + kGlArrayCarriedMax;  // 38

// The inputs of a transformed locked range that change without revalidating arrays (matrix
// calls, current attributes): a draw under other inputs transforms the range again.
struct GlArrayLockInputs {
    const void *modelViewEntry;
    float composite[16];
    float modelView[16];
    float normal[3];
    float color[4];   // the scaled current colour
    float index;
    float texCoord[4];
    uint8_t edgeFlag;
    uint8_t reserved[3];
};

// The enable bits (enableMask, enabledFormatMask) live in GlStateAreas::arrayEnable, where the
// client-state entries and the client attribute stack keep them.
struct GlArrayState {
    GlClientArray arrays[kGlArrayCount];  // vertex, normal, colour, index, texcoord 0, edge flag
    uint32_t formatWord;
    uint32_t arrayFlags;
    uint32_t sizeCode;            // 0x400 / 0x800 / 0xC00 for a 2-, 3-, 4-component vertex array
    int32_t lockFirst, lockCount;
    int32_t cacheGranule;         // 4096
    int32_t cacheBytes;           // size of cacheBlock
    GlVertex *cacheBlock;
    GlVertex *cacheBase;          // the record element 0 maps to (cacheBlock - lockFirst when locked)
    int32_t batchSize;            // 36
    int32_t drawMode, drawFirst;  // the current draw (read by the index map)
    const uint32_t *drawIndices;
    int32_t batchFirst;           // first element of the current batch
    uint32_t cullWord[2];         // flag bits of a record facing front [0] / back [1]
    GlArrayRenderer renderers[10];
    GlArrayFetchProc attrFetch[kGlArrayCount];
    int32_t arrayNeedIndex;       // bit 1 normal, 2 colour or index, 4 texcoord; -1 generic only
    uint32_t arrayNeedMask;       // formatWord bits the cache road must fetch; ~0 generic only
    GlRangeTransformProc ogVertexProc;   // the generated range transform
    GlRangeTransformProc rangeTransform;  // the range transform in use
    GlBatchTransformProc batchTransform;
    GlRangeTransformProc fullTransform;
    GlRefetchProc refetchVertex;
    GlXformProc rangeTransformPoint;      // composite matrix transform for the vertex size
    GlClipCheckProc rangeClipCheck;
    GlCompleteVertexProc rangeCompleteVertex;
    const GlDrawLoop *drawLoops;          // the 64 per-element loops, by enableMask
    GlRangeTransformProc referenceTransform;  // the table's range transform for the state (fallback
                                              // of the generated one)
    uint8_t carriedReady;         // the vertex cache's carried records are already transformed
    uint8_t arraysDirty;          // revalidate before the next array draw
    uint8_t cacheFailed;          // the cache could not be sized for the state: the cache road draws nothing
    uint8_t reserved[1];
    GlArrayLockInputs lockedWith;  // what the locked range was last transformed with
    // Cull face, front and back polygon modes and render mode at the last array validation:
    // they change groups after which the pick sequence does not revalidate arrays, so the array
    // entries compare them.
    GLenum validatedModes[4];
    uint32_t validatedFormatMask;  // enabledFormatMask at the last array pick, likewise
};

// batchFlags of the vertex cache.
enum : uint32_t {
    kGlVcacheLineLoopSplit = 0x1,
    kGlVcachePolygonSplit = 0x2,
    kGlVcacheCompleted = 0x8,  // some records were completed by __glVcacheCompletePending
};

struct GlVertexCache {
    GlVertex *records;     // the array cache's block (cacheBlock), at least 38 records
    int32_t count;         // records written in the batch, carried ones included
    int32_t step;          // 1 inside glBegin/glEnd, 0 outside
    uint32_t batchFlags;
    uint8_t vcacheOn;      // the vertex-proc picker installs the cache while set
    uint8_t reserved[3];
    int32_t mode;          // of the current glBegin
    int32_t completed;     // records below have been completed by __glVcacheCompletePending
    uint32_t seenSizes;    // 0x1, 0x2, 0x4: a 2-, 3-, 4-component vertex since glBegin
    GlVertexProc vcacheCopyAttributes;
    GlRangeTransformProc ogVertexCacheProcs[3];  // batch transform for 2, 3, 4 components
};

// Process-wide switches read from the environment at every context reset; 0 at load.
struct GlArraySwitches {
    uint8_t disableOgVarray;        // "__GL_DISABLE_OG_VARRAY"
    uint8_t disableOgDrawVertexes;  // "__GL_DISABLE_OG_DRAWVERTEXES"
    uint8_t disableOgVcache;        // "__GL_DISABLE_OG_VCACHE"
};
extern GlArraySwitches __glArraySwitches;
