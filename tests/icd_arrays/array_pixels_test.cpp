// Arrays drawn into a memory front buffer give the pixels of the same vertices given between
// glBegin and glEnd: through glDrawArrays, glDrawElements and a locked range, for primitives
// inside the window, crossing its edges and longer than one batch.
#include <vector>
#include "tests/icd_pick/pick_fixture.h"
#include "tests/icd_raster/raster_fixture.h"

namespace {
constexpr int kWidth = 16, kHeight = 8;

struct Vert {
    GLubyte color[4];
    float xy[2];
};

class ArrayPixels : public PickTest {
protected:
    PlainMemory memory;
    void SetUp() override {
        openOnMemory(memory, kWidth, kHeight);
        GL(glShadeModel)(GL_SMOOTH);
    }
    std::vector<uint8_t> take() {
        std::vector<uint8_t> pixels = memory.bytes;
        std::fill(memory.bytes.begin(), memory.bytes.end(), 0);
        return pixels;
    }
    int lit(const std::vector<uint8_t> &pixels) {
        int n = 0;
        for (size_t i = 0; i + 4 <= pixels.size(); i += 4)
            if (pixels[i] | pixels[i + 1] | pixels[i + 2]) ++n;
        return n;
    }
};

// A zigzag of n vertices across the window (and 3 pixels beyond its left and right edges when
// asked), with colours that change along it.
std::vector<Vert> zigzag(int n, bool crossing) {
    std::vector<Vert> v(n);
    const float left = crossing ? -3.0f : 0.5f, right = crossing ? 19.0f : 15.5f;
    for (int i = 0; i < n; ++i) {
        float t = n > 1 ? float(i) / float(n - 1) : 0.0f;
        v[i].xy[0] = left + (right - left) * t;
        v[i].xy[1] = (i & 1) ? 7.5f : 0.5f;
        v[i].color[0] = GLubyte(40 + 200 * t);
        v[i].color[1] = GLubyte((i * 37) & 0xFF);
        v[i].color[2] = GLubyte(255 - 200 * t);
        v[i].color[3] = 255;
    }
    return v;
}
}  // namespace

TEST_F(ArrayPixels, ArrayDrawsMatchImmediateMode) {
    struct Row {
        const char *name;
        GLenum mode;
        int count;
        bool crossing;
    };
    const Row rows[] = {
        {"one triangle", GL_TRIANGLES, 3, false},
        {"triangles crossing the edges", GL_TRIANGLES, 12, true},
        {"strip of 40", GL_TRIANGLE_STRIP, 40, false},
        {"strip of 40 crossing", GL_TRIANGLE_STRIP, 40, true},
        {"fan of 41", GL_TRIANGLE_FAN, 41, true},
        {"quad strip of 42", GL_QUAD_STRIP, 42, false},
        {"quads", GL_QUADS, 16, true},
        {"polygon", GL_POLYGON, 5, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<Vert> v = zigzag(row.count, row.crossing);
        std::vector<GLushort> indices(v.size());
        for (size_t i = 0; i < v.size(); ++i) indices[i] = GLushort(i);
        take();
        GL(glDisableClientState)(GL_VERTEX_ARRAY);
        GL(glDisableClientState)(GL_COLOR_ARRAY);
        GL(glBegin)(row.mode);
        for (const Vert &e : v) {
            GL(glColor4ubv)(e.color);
            GL(glVertex2fv)(e.xy);
        }
        GL(glEnd)();
        const std::vector<uint8_t> immediate = take();
        EXPECT_GT(lit(immediate), 4);

        GL(glColorPointer)(4, GL_UNSIGNED_BYTE, sizeof(Vert), v[0].color);
        GL(glVertexPointer)(2, GL_FLOAT, sizeof(Vert), v[0].xy);
        GL(glEnableClientState)(GL_VERTEX_ARRAY);
        GL(glEnableClientState)(GL_COLOR_ARRAY);
        GL(glDrawArrays)(row.mode, 0, GLsizei(v.size()));
        EXPECT_TRUE(take() == immediate) << "glDrawArrays";
        GL(glDrawElements)(row.mode, GLsizei(v.size()), GL_UNSIGNED_SHORT, indices.data());
        EXPECT_TRUE(take() == immediate) << "glDrawElements";
        GL(__glDoLockArraysEXT)(0, GLsizei(v.size()));
        GL(glDrawArrays)(row.mode, 0, GLsizei(v.size()));
        EXPECT_TRUE(take() == immediate) << "locked, first draw";
        GL(glDrawArrays)(row.mode, 0, GLsizei(v.size()));
        EXPECT_TRUE(take() == immediate) << "locked, second draw";
        GL(__glDoUnlockArraysEXT)();
        EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    }
}

namespace {
int g_locks, g_unlocks, g_lockAnswer;
int32_t countingLock(GlContext *) {
    ++g_locks;
    return g_lockAnswer;
}
void countingUnlock(GlContext *) { ++g_unlocks; }
}  // namespace

// An array draw of software triangles takes the drawable lock once for all of them (no
// application code runs inside the call), where immediate mode locks each triangle; a refused
// lock draws nothing.
TEST_F(ArrayPixels, AnArrayDrawOfTrianglesLocksTheDrawableOnce) {
    const std::vector<Vert> v = zigzag(12, true);
    std::vector<GLushort> indices(v.size());
    for (size_t i = 0; i < v.size(); ++i) indices[i] = GLushort(i);
    GL(glColorPointer)(4, GL_UNSIGNED_BYTE, sizeof(Vert), v[0].color);
    GL(glVertexPointer)(2, GL_FLOAT, sizeof(Vert), v[0].xy);
    GL(glEnableClientState)(GL_VERTEX_ARRAY);
    GL(glEnableClientState)(GL_COLOR_ARRAY);
    // Validated before the lock procs are replaced (the pick installs its own).
    GL(glDrawArrays)(GL_TRIANGLES, 0, 1);
    GlBufferArea &b = ctx->buffers;
    auto savedLock = b.drawableLock;
    auto savedUnlock = b.drawableUnlock;
    b.drawableLock = countingLock;
    b.drawableUnlock = countingUnlock;
    g_lockAnswer = 1;
    g_locks = g_unlocks = 0;
    GL(glBegin)(GL_TRIANGLES);
    for (const Vert &e : v) {
        GL(glColor4ubv)(e.color);
        GL(glVertex2fv)(e.xy);
    }
    GL(glEnd)();
    const std::vector<uint8_t> immediate = take();
    EXPECT_GT(lit(immediate), 4);
    EXPECT_GE(g_locks, 4) << "immediate mode: one bracket a triangle";
    EXPECT_EQ(g_unlocks, g_locks);

    for (bool elements : {false, true}) {
        SCOPED_TRACE(elements ? "glDrawElements" : "glDrawArrays");
        g_locks = g_unlocks = 0;
        if (elements)
            GL(glDrawElements)(GL_TRIANGLES, GLsizei(v.size()), GL_UNSIGNED_SHORT, indices.data());
        else
            GL(glDrawArrays)(GL_TRIANGLES, 0, GLsizei(v.size()));
        EXPECT_TRUE(take() == immediate);
        EXPECT_EQ(g_locks, 1);
        EXPECT_EQ(g_unlocks, 1);
        EXPECT_EQ(b.lockCount, 0);
    }
    g_lockAnswer = 0;
    g_locks = g_unlocks = 0;
    GL(glDrawArrays)(GL_TRIANGLES, 0, GLsizei(v.size()));
    EXPECT_EQ(lit(take()), 0);
    EXPECT_GE(g_locks, 1);
    EXPECT_EQ(g_unlocks, 0);
    EXPECT_EQ(b.lockCount, 0);
    b.drawableLock = savedLock;
    b.drawableUnlock = savedUnlock;
}
