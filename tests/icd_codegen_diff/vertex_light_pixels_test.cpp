// A program drawing lit triangles through opengl32 from vertex and normal arrays sees the same
// pixels with the generated vertex routines (which light the vertices themselves) as with the C
// transforms and the completion procs. The same triangles through glNormal3fv/glVertex3fv draw
// the same picture too (a driver's context keeps its vertex cache off: immediate mode lights each
// vertex in C either way).
#include <cmath>
#include <vector>

#include "tests/icd_codegen_diff/vertex_pixels.h"

namespace {

// A lit, rotated grid of triangles, once from arrays and once through glNormal3fv/glVertex3fv.
class LitPixels : public VertexRoutinePixels {
protected:
    std::vector<float> xyz, nrm;

    void makeGrid() {
        xyz.clear();
        nrm.clear();
        const int cells = 9;
        auto point = [&](int i, int j) {
            const float u = float(i) / cells * 3.0f - 1.5f, v = float(j) / cells * 3.0f - 1.5f;
            const float nx = std::sin(u * 1.7f), ny = std::cos(v * 1.3f) * 0.8f, nz = 0.6f + 0.3f * u;
            xyz.insert(xyz.end(), {float(kW) * (0.5f + u / 3.4f), float(kH) * (0.5f + v / 3.4f), 0.1f * u * v});
            nrm.insert(nrm.end(), {nx, ny, nz});
        };
        for (int i = 0; i < cells; ++i)
            for (int j = 0; j < cells; ++j) {
                point(i, j), point(i + 1, j), point(i + 1, j + 1);
                point(i, j), point(i + 1, j + 1), point(i, j + 1);
            }
    }

    std::vector<uint8_t> draw(bool generated, bool immediate, bool normalize) {
        openWithVertexRoutines(generated);
        if (::testing::Test::HasFatalFailure()) return {};
        twoInfiniteLights(20.0f);
        if (normalize) glEnable(GL_NORMALIZE);
        glTranslatef(kW / 2.0f, kH / 2.0f, 0);
        glRotatef(20.0f, 0.2f, 0.3f, 1.0f);
        glScalef(0.9f, 1.1f, 1.0f);
        glTranslatef(-kW / 2.0f, -kH / 2.0f, 0);
        makeGrid();
        const GLsizei n = GLsizei(xyz.size() / 3);
        if (immediate) {
            glBegin(GL_TRIANGLES);
            for (GLsizei i = 0; i < n; ++i) {
                glNormal3fv(&nrm[size_t(3 * i)]);
                glVertex3fv(&xyz[size_t(3 * i)]);
            }
            glEnd();
        } else {
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_NORMAL_ARRAY);
            glVertexPointer(3, GL_FLOAT, 0, xyz.data());
            glNormalPointer(GL_FLOAT, 0, nrm.data());
            glDrawArrays(GL_TRIANGLES, 0, n);
        }
        return readAndClose();
    }
};

TEST_F(LitPixels, LitTrianglesDrawTheSamePixelsWithAndWithoutGeneratedRoutines) {
    for (bool immediate : {false, true}) {
        for (bool normalize : {false, true}) {
            SCOPED_TRACE(::testing::Message() << (immediate ? "immediate" : "arrays") << " normalize " << normalize);
            const std::vector<uint8_t> c = draw(false, immediate, normalize);
            const std::vector<uint8_t> g = draw(true, immediate, normalize);
            if (HasFatalFailure()) return;
            EXPECT_TRUE(c == g);
            EXPECT_GT(distinctColours(g), 20u) << "a shaded picture, not a flat one";
        }
    }
}

}  // namespace
