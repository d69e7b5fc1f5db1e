// A current context whose vertex handler records every vertex it receives, with the entries of
// its live table at hand (GL(name)) as opengl32 calls them.
#pragma once
#include <bit>
#include <vector>
#include "tests/icd_state/state_fixture.h"
#include "icd/vertex/vertex_ring.h"

// The vertices the recording handler received, copied at the time of the call.
inline std::vector<GlVertex> &receivedVertices() {
    static std::vector<GlVertex> log;
    return log;
}
inline void recordVertex(GlContext *, GlVertex *v) { receivedVertices().push_back(*v); }

inline uint32_t bitsOf(float f) { return std::bit_cast<uint32_t>(f); }
inline float floatOf(uint32_t bits) { return std::bit_cast<float>(bits); }

class ImmediateTest : public StateTest {
protected:
    void SetUp() override {
        StateTest::SetUp();
        receivedVertices().clear();
        settle();
    }
    // The handler a primitive would install: every vertex is recorded.
    void recordVertices() { ctx->slots.primitive.vertex = recordVertex; }
    GLenum error() {
        GLenum e = ctx->error;
        ctx->error = GL_NO_ERROR;
        return e;
    }
    const GlViewport &viewport() { return ctx->state.transform.viewport; }
};
