// Programs that draw the same frame through opengl32 with and without the generated vertex
// routines: the context made either way, the lights they share, the picture read back.
#pragma once
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "tests/gl_program/window_program.h"

class VertexRoutinePixels : public WindowProgram {
protected:
    // A current context cleared to black, with generated vertex routines on or off
    // ("__GL_DISABLE_OG_VARRAY" and "__GL_DISABLE_OG_VCACHE" are read when a context is made).
    void openWithVertexRoutines(bool generated) {
        const char *off = generated ? "0" : "1";
        setenv("__GL_DISABLE_OG_VARRAY", off, 1);
        setenv("__GL_DISABLE_OG_VCACHE", off, 1);
        open(kSingleBuffered);
        setenv("__GL_DISABLE_OG_VARRAY", "0", 1);
        setenv("__GL_DISABLE_OG_VCACHE", "0", 1);
        if (!::testing::Test::HasFatalFailure()) clearTo(0, 0, 0);
    }

    // Lighting on with two infinite lights (the second bluish) and a white specular material.
    static void twoInfiniteLights(float shininess) {
        const float p0[4] = {0.3f, 0.4f, 1.0f, 0}, p1[4] = {-1.0f, 0.2f, 0.5f, 0};
        const float d1[4] = {0.2f, 0.5f, 0.9f, 1}, white[4] = {1, 1, 1, 1};
        glLightfv(GL_LIGHT0, GL_POSITION, p0);
        glLightfv(GL_LIGHT1, GL_POSITION, p1);
        glLightfv(GL_LIGHT1, GL_DIFFUSE, d1);
        glMaterialfv(GL_FRONT, GL_SPECULAR, white);
        glMaterialf(GL_FRONT, GL_SHININESS, shininess);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_LIGHT1);
    }

    // The frame as RGBA bytes, bottom row first; the context is deleted after.
    std::vector<uint8_t> readAndClose() {
        std::vector<uint8_t> rgba(size_t(kW) * kH * 4, 0);
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(rc);
        rc = nullptr;
        return rgba;
    }

    // How many different colours other than black a frame has.
    static size_t distinctColours(const std::vector<uint8_t> &rgba) {
        std::vector<uint32_t> colours;
        for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
            const uint32_t rgb = uint32_t(rgba[i]) << 16 | uint32_t(rgba[i + 1]) << 8 | rgba[i + 2];
            if (rgb != 0 && std::find(colours.begin(), colours.end(), rgb) == colours.end()) colours.push_back(rgb);
        }
        return colours.size();
    }
};
