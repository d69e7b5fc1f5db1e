// Client arrays whose elements lie off their type's alignment (any stride is legal), drawn by a
// program through opengl32 into a bitmap and read back with glReadPixels: every road that reads
// the arrays (glDrawArrays, glDrawElements, glArrayElement, a display list compiled from them)
// draws the same picture as from aligned arrays, and each triangle its own colour.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "apps/kivdemo/scenes.h"
#include "platform/machine/machine.h"
#include "platform/opengl32/wgl.h"

namespace {

constexpr int kSize = 32;

// Four triangles, each a colour of its own, one in each quarter of the window.
struct Tri {
    float x, y;       // lower-left corner of its quarter
    float rgb[3];
};
constexpr Tri kTris[4] = {{0, 0, {1, 0, 0}}, {16, 0, {0, 1, 0}}, {0, 16, {0, 0, 1}}, {16, 16, {1, 1, 0}}};

// The arrays' bytes: element i at start + i * stride, its position (x, y as vertexType) first and
// its colour (r, g, b as colorType, full scale 1) right behind.
struct Layout {
    GLenum vertexType, colorType;
};

size_t bytesOf(GLenum type) { return type == GL_DOUBLE ? 8 : type == GL_SHORT ? 2 : 4; }

template <class T>
void put(uint8_t *p, T v) {
    std::memcpy(p, &v, sizeof v);
}

void putValue(uint8_t *p, GLenum type, double v) {
    switch (type) {
    case GL_DOUBLE: return put(p, v);
    case GL_SHORT: return put(p, GLshort(v));
    case GL_INT: return put(p, GLint(v));
    default: return put(p, GLfloat(v));
    }
}

class UnalignedArrays : public ::testing::Test {
protected:
    std::unique_ptr<kivscenes::BitmapTarget> target;
    void SetUp() override {
        ASSERT_TRUE(kivMachineBoot());
        ASSERT_TRUE(kivOpenGlUnloadDriver());
        target = std::make_unique<kivscenes::BitmapTarget>(kSize, kSize);
        ASSERT_TRUE(target->ok) << target->why;
        kivscenes::windowProjection(kSize, kSize);
        glDisable(GL_DITHER);
    }
    void TearDown() override {
        target.reset();
        kivOpenGlUnloadDriver();
    }

    // Fills the arrays at `skew` bytes past an 8-byte boundary with `pad` bytes after each element.
    static std::vector<uint8_t> arrays(const Layout &l, int skew, int pad, uint8_t **start, GLsizei *stride) {
        const size_t position = 2 * bytesOf(l.vertexType), colour = 3 * bytesOf(l.colorType);
        *stride = GLsizei(position + colour + size_t(pad));
        std::vector<uint8_t> bytes(size_t(*stride) * 12 + 16);
        *start = bytes.data() + (8 - reinterpret_cast<uintptr_t>(bytes.data()) % 8) % 8 + size_t(skew);
        const int full = l.colorType == GL_SHORT ? 32767 : l.colorType == GL_INT ? 2147483647 : 1;
        for (int t = 0; t < 4; ++t) {
            const float corner[3][2] = {{2, 2}, {14, 2}, {2, 14}};
            for (int k = 0; k < 3; ++k) {
                uint8_t *e = *start + size_t(3 * t + k) * size_t(*stride);
                putValue(e, l.vertexType, kTris[t].x + corner[k][0]);
                putValue(e + bytesOf(l.vertexType), l.vertexType, kTris[t].y + corner[k][1]);
                for (int c = 0; c < 3; ++c)
                    putValue(e + position + c * bytesOf(l.colorType), l.colorType, double(kTris[t].rgb[c]) * full);
            }
        }
        return bytes;
    }

    // Draws the 12 elements by one road and reads the picture back.
    std::vector<uint8_t> draw(const Layout &l, int skew, int pad, int road) {
        uint8_t *start = nullptr;
        GLsizei stride = 0;
        const std::vector<uint8_t> bytes = arrays(l, skew, pad, &start, &stride);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(2, l.vertexType, stride, start);
        glColorPointer(3, l.colorType, stride, start + 2 * bytesOf(l.vertexType));
        static const GLubyte order[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        switch (road) {
        case 0: glDrawArrays(GL_TRIANGLES, 0, 12); break;
        case 1: glDrawElements(GL_TRIANGLES, 12, GL_UNSIGNED_BYTE, order); break;
        case 2:
            glBegin(GL_TRIANGLES);
            for (int i = 0; i < 12; ++i) glArrayElement(i);
            glEnd();
            break;
        default: {
            const GLuint list = glGenLists(1);
            glNewList(list, GL_COMPILE);
            glDrawArrays(GL_TRIANGLES, 0, 12);
            glEndList();
            glCallList(list);
            glDeleteLists(list, 1);
        }
        }
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        std::vector<uint8_t> rgb(3 * kSize * kSize);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kSize, kSize, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }
};

TEST_F(UnalignedArrays, AnyStrideDrawsTheAlignedPicture) {
    const Layout layouts[] = {{GL_FLOAT, GL_FLOAT}, {GL_DOUBLE, GL_SHORT}, {GL_SHORT, GL_INT}, {GL_INT, GL_DOUBLE}};
    const char *roads[] = {"glDrawArrays", "glDrawElements", "glArrayElement", "a display list"};
    for (const Layout &l : layouts)
        for (int road = 0; road < 4; ++road) {
            SCOPED_TRACE(testing::Message() << roads[road] << ", vertex type " << std::hex << l.vertexType
                                            << ", colour type " << l.colorType << std::dec);
            const std::vector<uint8_t> aligned = draw(l, 0, 0, road);
            // Each triangle's colour near its right angle, a pixel inside by any rounding.
            for (const Tri &t : kTris) {
                const uint8_t *p = &aligned[size_t(3 * ((int(t.y) + 4) * kSize + int(t.x) + 4))];
                for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], t.rgb[c] * 255, 8) << "channel " << c;
            }
            for (int off = 1; off <= 17; ++off) {
                // Off the alignment by the start, the stride, or both.
                EXPECT_EQ(draw(l, off % 8, off, road), aligned) << off << " bytes off";
                EXPECT_EQ(draw(l, 0, off, road), aligned) << "stride " << off << " bytes off";
            }
        }
}

}  // namespace
