// The C example program (apps/cexample) as a user runs it: it must draw its triangle into a PNG,
// and what it prints of GL_EXTENSIONS must match the extension macros of <GL/gl.h>.
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string sourceDir() {
    std::string f = __FILE__;   // <source>/tests/opengl32/c_program_test.cpp
    for (int i = 0; i < 3; ++i) f = f.substr(0, f.rfind('/'));
    return f;
}

// The example's path: from ctest's environment, else beside the test program's build tree.
std::string examplePath() {
    if (const char *e = std::getenv("KIV_CEXAMPLE")) return e;
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, size_t(n)) : std::string();
    dir = dir.substr(0, dir.rfind('/'));
    for (const char *candidate : {"/apps/cexample", "/../apps/cexample"})
        if (access((dir + candidate).c_str(), X_OK) == 0) return dir + candidate;
    return dir + "/apps/cexample";
}

// Runs the example with `args`; returns its exit status and what it printed.
int run(const std::string &args, std::string *out) {
    FILE *p = popen((examplePath() + " " + args + " 2>&1").c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Rgb {
    int r, g, b;
};

}  // namespace

TEST(CProgram, TheExampleDrawsItsSmoothTriangleIntoAPng) {
    const int w = 96, h = 64;
    char dir[] = "/tmp/kiv-cexample-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string png = std::string(dir) + "/picture.png";
    std::string printed;
    ASSERT_EQ(run(png + " " + std::to_string(w) + " " + std::to_string(h), &printed), 0) << printed;

    int pw = 0, ph = 0, channels = 0;
    unsigned char *pixels = stbi_load(png.c_str(), &pw, &ph, &channels, 3);
    ASSERT_NE(pixels, nullptr) << printed;
    ASSERT_EQ(pw, w);
    ASSERT_EQ(ph, h);
    // GL window coordinates (y up) to the PNG's rows (top first).
    auto at = [&](double x, double y) {
        const unsigned char *p = pixels + (size_t(h - 1 - int(y)) * w + size_t(x)) * 3;
        return Rgb{p[0], p[1], p[2]};
    };
    // Expected colours: the clear colour (0, 0, 0.25) and the vertex colours weighted by the
    // barycentric coordinates of the sampled point, each through 5 bits per channel.
    const double ax = 0.125 * w, ay = 0.125 * h, bx = 0.875 * w, by = 0.125 * h, cx = 0.5 * w, cy = 0.875 * h;
    struct Sample {
        double a, b, c;   // barycentric weights of red, green and blue; all 0 means background
        double x, y;
    } samples[] = {
        {1.0 / 3, 1.0 / 3, 1.0 / 3, 0, 0}, {0.8, 0.1, 0.1, 0, 0}, {0.1, 0.8, 0.1, 0, 0}, {0.1, 0.1, 0.8, 0, 0},
        {0, 0, 0, 2, 2},                   {0, 0, 0, w - 3.0, h - 3.0},                    {0, 0, 0, 2, h - 3.0},
    };
    for (Sample &s : samples) {
        if (s.a + s.b + s.c > 0) {
            s.x = s.a * ax + s.b * bx + s.c * cx;
            s.y = s.a * ay + s.b * by + s.c * cy;
        }
        const bool inside = s.a + s.b + s.c > 0;
        const Rgb want = inside ? Rgb{int(255 * s.a), int(255 * s.b), int(255 * s.c)} : Rgb{0, 0, 64};
        const Rgb got = at(s.x, s.y);
        // Smooth shading at 5 bits per channel steps by 8; the sample sits within a pixel of its point.
        const int tolerance = inside ? 24 : 9;
        EXPECT_NEAR(got.r, want.r, tolerance) << "at " << s.x << "," << s.y;
        EXPECT_NEAR(got.g, want.g, tolerance) << "at " << s.x << "," << s.y;
        EXPECT_NEAR(got.b, want.b, tolerance) << "at " << s.x << "," << s.y;
    }
    stbi_image_free(pixels);
    std::remove(png.c_str());
    rmdir(dir);
}

TEST(CProgram, TheHeaderHasAMacroForEveryExtensionTheDriverReports) {
    std::string printed;
    char dir[] = "/tmp/kiv-cexample-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string png = std::string(dir) + "/picture.png";
    ASSERT_EQ(run(png + " 8 8", &printed), 0) << printed;
    std::remove(png.c_str());
    rmdir(dir);

    std::smatch m;
    ASSERT_TRUE(std::regex_search(printed, m, std::regex("GL_EXTENSIONS ([^\n]*)"))) << printed;
    std::set<std::string> reported;
    std::istringstream words(m[1].str());
    for (std::string w; words >> w;)
        if (w.rfind("GL_", 0) == 0) reported.insert(w);   // the WGL_ ones belong to wgl, not gl.h
    ASSERT_FALSE(reported.empty());

    std::ifstream header(sourceDir() + "/platform/opengl32/include/GL/gl.h");
    ASSERT_TRUE(header.good());
    std::set<std::string> macros;
    const std::regex extensionMacro("#define (GL_[A-Z0-9]+_[a-z][A-Za-z0-9_]*) 1");
    for (std::string line; std::getline(header, line);)
        if (std::regex_match(line, m, extensionMacro)) macros.insert(m[1].str());
    EXPECT_EQ(macros, reported);
}
