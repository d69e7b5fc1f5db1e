// A program's triangle through the live table: the first drawing call validates, and the procs
// the pickers installed for the state draw it (or, for states that draw nothing, leave the
// pixels alone).
#include "tests/icd_pick/pick_fixture.h"
#include "tests/icd_raster/raster_fixture.h"

namespace {

constexpr int kWidth = 16, kHeight = 8;

class DrawThroughPickedProcs : public PickTest {
protected:
    PlainMemory memory;
    void SetUp() override {
        openOnMemory(memory, kWidth, kHeight);
        GL(glColor3f)(1.0f, 0.0f, 0.0f);
    }
    void triangle() {
        GL(glBegin)(GL_TRIANGLES);
        GL(glVertex2f)(0.0f, 0.0f);
        GL(glVertex2f)(16.0f, 0.0f);
        GL(glVertex2f)(0.0f, 8.0f);
        GL(glEnd)();
    }
    // Pixels of the lower-left half that the triangle covers.
    int redPixels() {
        int n = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if ((memory.element(x, y) & 0xFFFFFF) == 0xFF0000) ++n;
        return n;
    }
};

TEST_F(DrawThroughPickedProcs, FirstDrawAfterAChangeValidatesAndDraws) {
    GL(glShadeModel)(GL_FLAT);
    ASSERT_EQ(ctx->beginMode, kGlNeedValidate);
    triangle();
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    EXPECT_EQ(prim().renderTriangle, __glTriangleFaceFlat);
    int n = redPixels();
    EXPECT_GT(n, 40);  // about half of 128
    EXPECT_LT(n, 90);
}

TEST_F(DrawThroughPickedProcs, StatesThatDrawNothing) {
    struct Row {
        const char *name;
        void (*set)(GlContext *ctx);
    };
    const Row rows[] = {
        {"draw buffer GL_NONE", [](GlContext *ctx) { GL(glDrawBuffer)(GL_NONE); }},
        {"both faces culled",
         [](GlContext *ctx) {
             GL(glEnable)(GL_CULL_FACE);
             GL(glCullFace)(GL_FRONT_AND_BACK);
         }},
        {"front faces culled",
         [](GlContext *ctx) {
             GL(glEnable)(GL_CULL_FACE);
             GL(glCullFace)(GL_FRONT);
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::fill(memory.bytes.begin(), memory.bytes.end(), 0);
        __glSetStateDefaults(ctx);
        GL(glDrawBuffer)(GL_FRONT);
        triangle();
        ASSERT_GT(redPixels(), 0) << "drawn before the change";
        std::fill(memory.bytes.begin(), memory.bytes.end(), 0);
        row.set(ctx);
        triangle();
        EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
        EXPECT_EQ(redPixels(), 0);
    }
}

}  // namespace
