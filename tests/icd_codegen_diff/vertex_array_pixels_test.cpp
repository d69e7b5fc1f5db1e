// A program drawing coloured, textured and lit triangles through opengl32 from colour, texture-
// coordinate, normal and vertex arrays of several types (colours of shorts and unsigned ints,
// normals of bytes and shorts among them), with vertex culling and sphere mapping, sees the same
// pixels with the generated vertex routines as with the C range transforms.
#include <cmath>
#include <cstring>
#include <vector>

#include "tests/icd_codegen_diff/vertex_pixels.h"

namespace {

class ArrayPixels : public VertexRoutinePixels {
protected:
    std::vector<uint8_t> draw(bool generated) {
        openWithVertexRoutines(generated);
        if (::testing::Test::HasFatalFailure()) return {};

        // A grid of triangles from interleaved unsigned-byte colours and float positions.
        struct C4ubV3f {
            uint8_t c[4];
            float v[3];
        };
        std::vector<C4ubV3f> grid;
        const int cells = 6;
        auto corner = [&](int i, int j) {
            const float x = 2.0f + float(i) * 5.0f, y = 2.0f + float(j) * 3.5f;
            grid.push_back({{uint8_t(i * 42), uint8_t(255 - j * 40), uint8_t((i * j * 17) & 255), 255}, {x, y, 0.0f}});
        };
        for (int i = 0; i < cells; ++i)
            for (int j = 0; j < cells; ++j) {
                corner(i, j), corner(i + 1, j), corner(i + 1, j + 1);
                corner(i, j), corner(i + 1, j + 1), corner(i, j + 1);
            }
        glInterleavedArrays(GL_C4UB_V3F, 0, grid.data());
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(grid.size()));
        glDisableClientState(GL_COLOR_ARRAY);

        // A textured strip: short positions, three float colours (some beyond [0, 1]) modulating a
        // checkerboard, two texture coordinates.
        const uint8_t texels[16] = {255, 255, 255, 255, 60, 60, 200, 255, 200, 90, 40, 255, 255, 255, 255, 255};
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
        glEnable(GL_TEXTURE_2D);
        const GLshort strip[16] = {36, 2, 36, 22, 44, 4, 44, 24, 52, 2, 52, 20, 60, 5, 62, 23};
        const float stripColor[24] = {1.0f, 0.2f, 0.1f,  0.3f, 1.2f, 0.4f, -0.3f, 0.5f, 1.0f, 0.9f, 0.9f, 0.2f,
                                      0.5f, 0.1f, 0.7f,  1.0f, 1.0f, 1.0f, 0.2f,  0.8f, 0.3f, 0.6f, 0.4f, 0.9f};
        const float stripTex[16] = {0, 0, 0, 3, 1, 0, 1, 3, 2, 0, 2, 3, 3, 0, 3, 3};
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(2, GL_SHORT, 0, strip);
        glColorPointer(3, GL_FLOAT, 0, stripColor);
        glTexCoordPointer(2, GL_FLOAT, 0, stripTex);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 8);

        // A fan of separate triangles from double positions, four float colours and projective
        // texture coordinates (one block, one stride for both), under a rotation.
        struct T4fC4f {
            float t[4];
            float c[4];
        };
        std::vector<double> xyz;
        std::vector<T4fC4f> attrs;
        const int fan = 8;
        for (int k = 0; k < fan; ++k) {
            for (int corner = 0; corner < 3; ++corner) {
                const double a = 2.0 * M_PI * (k + (corner == 2)) / fan, r = corner == 0 ? 0.0 : 1.0;
                xyz.insert(xyz.end(), {40.0 + 14.0 * r * std::cos(a), 34.0 + 11.0 * r * std::sin(a), 0.0});
                const int n = int(xyz.size() / 3);
                const float q = 0.5f + 0.125f * float(n % 4);
                attrs.push_back({{float(n % 3) * q, float(n % 2) * 2.0f * q, 0.0f, q},
                                 {0.2f + 0.03f * float(n), 1.0f - 0.04f * float(n), corner * 0.5f, 1.0f}});
            }
        }
        glPushMatrix();
        glTranslatef(40.0f, 36.0f, 0.0f);
        glRotatef(25.0f, 0.0f, 0.0f, 1.0f);
        glTranslatef(-40.0f, -36.0f, 0.0f);
        glVertexPointer(3, GL_DOUBLE, 0, xyz.data());
        glColorPointer(4, GL_FLOAT, sizeof(T4fC4f), attrs[0].c);
        glTexCoordPointer(4, GL_FLOAT, sizeof(T4fC4f), attrs[0].t);
        glDrawArrays(GL_TRIANGLES, 0, 3 * fan);
        glPopMatrix();
        glDisableClientState(GL_COLOR_ARRAY);

        // A lit, textured, bumpy patch from one interleaved block of texture coordinates, normals
        // and positions, lit by two infinite lights with a specular term.
        struct T2fN3fV3f {
            float t[2], n[3], v[3];
        };
        std::vector<T2fN3fV3f> patch;
        auto vertex = [&](int i, int j) {
            const float u = float(i) / 5.0f, w = float(j) / 5.0f;
            patch.push_back({{u * 2.0f, w * 2.0f},
                             {std::sin(u * 5.0f) * 0.6f, std::cos(w * 4.0f) * 0.5f, 1.0f},
                             {2.0f + u * 28.0f, 26.0f + w * 20.0f, 0.0f}});
        };
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < 5; ++j) {
                vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1);
                vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1);
            }
        twoInfiniteLights(16.0f);
        glEnable(GL_NORMALIZE);
        glInterleavedArrays(GL_T2F_N3F_V3F, 0, patch.data());
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(patch.size()));

        // A lit band from int positions and byte normals, untextured.
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisable(GL_TEXTURE_2D);
        std::vector<GLint> bandXyz;
        std::vector<GLbyte> bandNormals;
        for (int k = 0; k <= 10; ++k) {
            for (int top = 0; top < 2; ++top) {
                bandXyz.insert(bandXyz.end(), {34 + 3 * k, top ? 47 : 38, 0});
                const float a = float(k) * 0.5f + float(top);
                bandNormals.insert(bandNormals.end(), {GLbyte(std::lround(std::sin(a) * 100.0f)),
                                                       GLbyte(std::lround(std::cos(a) * 90.0f)), GLbyte(80 + k)});
            }
        }
        glVertexPointer(3, GL_INT, 0, bandXyz.data());
        glNormalPointer(GL_BYTE, 0, bandNormals.data());
        glDrawArrays(GL_TRIANGLE_STRIP, 0, GLsizei(bandXyz.size() / 3));
        glDisable(GL_LIGHTING);
        glDisableClientState(GL_NORMAL_ARRAY);

        // Two unlit bands: four signed-short colours (the negative ones black) and three
        // unsigned-int colours.
        std::vector<float> bandXy;
        std::vector<GLshort> shortColours;
        std::vector<GLuint> uintColours;
        for (int k = 0; k <= 6; ++k) {
            for (int top = 0; top < 2; ++top) {
                bandXy.insert(bandXy.end(), {44.0f + 3.0f * float(k), 26.0f + 5.0f * float(top)});
                shortColours.insert(shortColours.end(), {GLshort(32767 - 9000 * k), GLshort(-12000 + 7000 * k),
                                                         GLshort(top ? 30000 : 5000), 32767});
                uintColours.insert(uintColours.end(), {0xFFFFFFFFu - 600000000u * GLuint(k), 0x40000000u * GLuint(top),
                                                       0x20000000u * GLuint(k)});
            }
        }
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, bandXy.data());
        glColorPointer(4, GL_SHORT, 0, shortColours.data());
        glDrawArrays(GL_TRIANGLE_STRIP, 0, GLsizei(bandXy.size() / 2));
        glTranslatef(0.0f, 6.0f, 0.0f);
        glColorPointer(3, GL_UNSIGNED_INT, 0, uintColours.data());
        glDrawArrays(GL_TRIANGLE_STRIP, 0, GLsizei(bandXy.size() / 2));
        glLoadIdentity();

        // Cull vertex over a checkerboard of yellow cells whose normals face the viewer or away
        // from it, in triangles of their own: the cells facing away are not drawn.
        using CullParameterfv = void(APIENTRY *)(GLenum, GLfloat *);
        const auto cullParameter = reinterpret_cast<CullParameterfv>(
            reinterpret_cast<void (*)(void)>(wglGetProcAddress("glCullParameterfvEXT")));
        EXPECT_NE(cullParameter, nullptr);
        if (cullParameter != nullptr) {
            std::vector<float> cellXyz, cellNormals;
            std::vector<uint8_t> cellColours;
            for (int i = 0; i < 5; ++i)
                for (int j = 0; j < 3; ++j)
                    for (int corner : {0, 1, 2, 0, 2, 3}) {
                        const float x = 6.0f + 4.0f * float(i + (corner == 1 || corner == 2));
                        const float y = 6.0f + 4.0f * float(j + (corner >= 2));
                        cellXyz.insert(cellXyz.end(), {x, y, 0.0f});
                        cellNormals.insert(cellNormals.end(), {0.25f, -0.5f, (i + j) % 2 ? -1.0f : 1.0f});
                        cellColours.insert(cellColours.end(), {255, 255, 0, 255});
                    }
            float towardViewer[4] = {0.0f, 0.0f, 1.0f, 0.0f};
            cullParameter(GL_CULL_VERTEX_EYE_POSITION_EXT, towardViewer);
            glCullFace(GL_BACK);
            glEnable(GL_CULL_VERTEX_EXT);
            glEnableClientState(GL_NORMAL_ARRAY);
            glVertexPointer(3, GL_FLOAT, 0, cellXyz.data());
            glNormalPointer(GL_FLOAT, 0, cellNormals.data());
            glColorPointer(4, GL_UNSIGNED_BYTE, 0, cellColours.data());
            glDrawArrays(GL_TRIANGLES, 0, GLsizei(cellXyz.size() / 3));
            glDisable(GL_CULL_VERTEX_EXT);
        }

        // A sphere-mapped band: the checkerboard looked up through short normals that turn along
        // it, white unsigned-byte colours.
        std::vector<float> sphereXy;
        std::vector<GLshort> sphereNormals;
        std::vector<uint8_t> white;
        for (int k = 0; k <= 8; ++k) {
            for (int top = 0; top < 2; ++top) {
                sphereXy.insert(sphereXy.end(), {2.0f + 2.0f * float(k), 39.0f + 8.0f * float(top)});
                const float a = float(k) * 0.35f - 1.4f;
                sphereNormals.insert(sphereNormals.end(), {GLshort(std::lround(std::sin(a) * 30000.0f)),
                                                           GLshort(top ? 12000 : -12000),
                                                           GLshort(std::lround(std::cos(a) * 30000.0f))});
                white.insert(white.end(), {255, 255, 255, 255});
            }
        }
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
        glEnable(GL_TEXTURE_2D);
        glVertexPointer(2, GL_FLOAT, 0, sphereXy.data());
        glNormalPointer(GL_SHORT, 0, sphereNormals.data());
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, white.data());
        glDrawArrays(GL_TRIANGLE_STRIP, 0, GLsizei(sphereXy.size() / 2));

        return readAndClose();
    }
};

TEST_F(ArrayPixels, ColouredTexturedAndLitArraysDrawTheSamePixelsWithAndWithoutGeneratedRoutines) {
    const std::vector<uint8_t> c = draw(false);
    const std::vector<uint8_t> g = draw(true);
    if (HasFatalFailure()) return;
    size_t differing = 0;
    for (size_t i = 0; i < c.size(); i += 4) differing += std::memcmp(&c[i], &g[i], 4) != 0;
    EXPECT_EQ(differing, 0u) << "pixels that differ";
    EXPECT_GT(distinctColours(g), 100u) << "a shaded, textured picture, not a flat one";
    // Eight of the fifteen 4x4 cells of the checkerboard face the viewer.
    size_t yellow = 0;
    for (size_t i = 0; i < g.size(); i += 4) yellow += g[i] == 255 && g[i + 1] == 255 && g[i + 2] == 0;
    EXPECT_EQ(yellow, 8u * 16u) << "the cells facing away culled";
}

}  // namespace
