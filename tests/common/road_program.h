// A program drawing on one road of a 5-5-5 memory DC: the driver loaded anew with the road's
// switches (read once per load), a DIB section of the given size and a current context on it.
#pragma once
#include <cstdlib>
#include <memory>
#include <vector>

#include "tests/common/program_fixture.h"

class RoadProgram : public BootedProgram {
protected:
    void TearDown() override {
        context.reset();
        dib.reset();
        unsetenv("__GL_DISABLE_OG");
        unsetenv("__GL_FORCE_MMX");
        BootedProgram::TearDown();
    }

    // disableOg and forceMmx: the values of "__GL_DISABLE_OG" and "__GL_FORCE_MMX"; a window
    // projection of one unit per pixel.
    void openRoad(const char *disableOg, const char *forceMmx, int w, int h) {
        context.reset();
        dib.reset();
        ASSERT_TRUE(kivOpenGlUnloadDriver());
        setenv("__GL_DISABLE_OG", disableOg, 1);
        setenv("__GL_FORCE_MMX", forceMmx, 1);
        dib = std::make_unique<MemoryDib>(w, h);
        ASSERT_TRUE(dib->ok());
        context = std::make_unique<DibContext>(*dib);
        ASSERT_TRUE(context->current) << kivOpenGlError();
        kivscenes::windowProjection(w, h);
    }

    // The bitmap's own pixels, bottom row first, once the drawing is finished.
    std::vector<uint16_t> pixels() const {
        glFinish();
        std::vector<uint16_t> p;
        for (int y = 0; y < dib->height; ++y)
            for (int x = 0; x < dib->width; ++x) p.push_back(dib->at(x, y));
        return p;
    }

    std::unique_ptr<MemoryDib> dib;
    std::unique_ptr<DibContext> context;  // deleted before its DIB
};
