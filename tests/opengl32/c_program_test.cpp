// The C example program (apps/cexample) as a user runs it: it must draw its triangle into a PNG
// (or into a window, and the screen shows it), and what it prints of GL_EXTENSIONS must match the
// extension macros of <GL/gl.h>. The programs a user runs first (cexample, kivdemo, kivbench)
// answer --help and refuse what they do not know; the demo says why it draws nothing, writes only
// the pictures of its own run, and shows the SIV card's Direct3D HAL.
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
#include <sys/stat.h>
#include <vector>
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

// The other programs, beside the example: apps/kivdemo and bench/kivbench.
std::string programPath(const char *name) {
    const std::string apps = examplePath().substr(0, examplePath().rfind('/'));
    return std::string(name) == "kivbench" ? apps + "/../bench/kivbench" : apps + "/" + name;
}

// Runs a shell command line; returns its exit status and what it printed.
int runCommand(const std::string &line, std::string *out) {
    FILE *p = popen((line + " 2>&1").c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
// Runs the example with `args`.
int run(const std::string &args, std::string *out) { return runCommand(examplePath() + " " + args, out); }

// A folder of its own under /tmp, removed with what is in it.
struct TempDir {
    char path[32] = "/tmp/kiv-programs-XXXXXX";
    TempDir() { EXPECT_NE(mkdtemp(path), nullptr); }
    ~TempDir() { std::system((std::string("rm -rf ") + path).c_str()); }
    std::string operator/(const std::string &name) const { return std::string(path) + "/" + name; }
};

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

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

TEST(CProgram, TheWindowModeShowsTheTriangleOnTheScreen) {
    const int w = 64, h = 48, left = 16, top = 16;   // the example's window sits at (16, 16)
    TempDir dir;
    const std::string png = dir / "screen.png";
    std::string printed;
    ASSERT_EQ(runCommand("KIV_MACHINE=nt,zk3 " + examplePath() + " --window " + png + " " + std::to_string(w) + " " +
                             std::to_string(h),
                         &printed),
              0)
        << printed;
    int pw = 0, ph = 0, channels = 0;
    unsigned char *pixels = stbi_load(png.c_str(), &pw, &ph, &channels, 3);
    ASSERT_NE(pixels, nullptr) << printed;
    EXPECT_EQ(pw, 1024);
    EXPECT_EQ(ph, 768);
    // GL window coordinates (y up) to the screen's rows (top first).
    auto at = [&](double x, double y) {
        const unsigned char *p = pixels + (size_t(top + h - 1 - int(y)) * size_t(pw) + size_t(left + int(x))) * 3;
        return Rgb{p[0], p[1], p[2]};
    };
    // The centroid of the triangle is a third of each vertex colour; the corner is the clear
    // colour (0, 0, 0.25) through 5 bits per channel.
    const Rgb centre = at((0.125 + 0.875 + 0.5) / 3 * w, (0.125 + 0.125 + 0.875) / 3 * h), corner = at(1, 1);
    EXPECT_NEAR(centre.r, 85, 24);
    EXPECT_NEAR(centre.g, 85, 24);
    EXPECT_NEAR(centre.b, 85, 24);
    EXPECT_NEAR(corner.b, 64, 9);
    EXPECT_EQ(corner.r + corner.g, 0);
    stbi_image_free(pixels);
}

// Every program answers --help with its usage (the variables it reads, what it writes) and exit
// 0; an argument it does not know is an error that names what it knows.
TEST(Programs, HelpAndUnknownArguments) {
    struct Case {
        const char *program, *args;
        int exitCode;
        std::vector<const char *> says;
    } cases[] = {
        {"cexample", "--help", 0, {"usage: cexample", "--window", "KIV_MACHINE", "out/cexample.png"}},
        {"cexample", "--bogus", 2, {"unknown option --bogus", "--window, --help"}},
        {"kivdemo", "--help", 0, {"usage: kivdemo", "scenes: triangle", "KIV_MACHINE", "out/<scene>.png"}},
        {"kivdemo", "nosuchscene", 2, {"no scene \"nosuchscene\"", "scenes: triangle"}},
        {"kivbench", "--help", 0, {"usage: kivbench", "KIVBENCH_SECS", "KIV_I386_MODE", "clear_colour_depth_mem32"}},
        {"kivbench", "nosuchworkload", 2, {"no workload's name contains \"nosuchworkload\"", "xform3_affine"}},
    };
    TempDir dir;
    for (const Case &c : cases) {
        std::string printed;
        EXPECT_EQ(runCommand(std::string("cd ") + dir.path + " && " + programPath(c.program) + " " + c.args, &printed),
                  c.exitCode)
            << c.program << " " << c.args << "\n" << printed;
        for (const char *s : c.says) EXPECT_NE(printed.find(s), std::string::npos) << c.program << " " << c.args << ": " << printed;
    }
    EXPECT_FALSE(exists(dir / "--help")) << "no picture named after an option";
}

// The demo without its OpenGL driver says what is missing and where it looked, and fails.
TEST(Programs, TheDemoWithoutItsDriverSaysWhyAndFails) {
    TempDir dir;
    std::string printed;
    EXPECT_EQ(runCommand(std::string("cd ") + dir.path + " && KIV_MACHINE=9x KIV_MODULE_PATH=/nonexistent-kiv " +
                             programPath("kivdemo") + " triangle 32 32",
                         &printed),
              1);
    EXPECT_NE(printed.find("no file kivgl.so in /nonexistent-kiv (the folders of KIV_MODULE_PATH)"), std::string::npos)
        << printed;
    EXPECT_FALSE(exists(dir / "out/triangle.png"));
}

// Without DirectDraw nothing reaches the screen: no screen picture, and a picture an earlier run
// left is gone, while the bitmap's picture is this run's.
TEST(Programs, TheDemoWritesOnlyThePicturesOfItsRun) {
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "out").c_str(), 0777), 0);
    for (const char *old : {"out/triangle.screen.png", "out/triangle.incomplete.png"}) std::fclose(std::fopen((dir / old).c_str(), "w"));
    std::string printed;
    ASSERT_EQ(runCommand(std::string("cd ") + dir.path + " && KIV_MACHINE=nt,noddraw " + programPath("kivdemo") +
                             " triangle 32 32",
                         &printed),
              0)
        << printed;
    EXPECT_TRUE(exists(dir / "out/triangle.png")) << printed;
    EXPECT_FALSE(exists(dir / "out/triangle.screen.png")) << printed;
    EXPECT_FALSE(exists(dir / "out/triangle.incomplete.png")) << printed;
    EXPECT_NE(printed.find("no screen picture: without DirectDraw"), std::string::npos) << printed;
}

// On the 9x machine with the SIV card the demo draws through the Direct3D HAL: the smooth
// triangle of its execute buffer is on the screen at the window's place.
TEST(Programs, TheDemoShowsTheSivCardThroughDirect3d) {
    const int w = 64, h = 48, left = 32, top = 24;
    TempDir dir;
    std::string printed;
    ASSERT_EQ(runCommand(std::string("cd ") + dir.path + " && KIV_MACHINE=9x,siv " + programPath("kivdemo") +
                             " triangle " + std::to_string(w) + " " + std::to_string(h),
                         &printed),
              0)
        << printed;
    int pw = 0, ph = 0, channels = 0;
    unsigned char *pixels = stbi_load((dir / "out/d3d_triangle.screen.png").c_str(), &pw, &ph, &channels, 3);
    ASSERT_NE(pixels, nullptr) << printed;
    auto at = [&](double x, double y) {   // Direct3D screen coordinates: y down
        const unsigned char *p = pixels + (size_t(top + int(y)) * size_t(pw) + size_t(left + int(x))) * 3;
        return Rgb{p[0], p[1], p[2]};
    };
    // Red, green and blue corners at (w/8, 7h/8), (7w/8, 7h/8), (w/2, h/8): the centroid is a third
    // of each; the corner is the dark blue background, 8 of 31 in 5-6-5.
    const Rgb centre = at((0.125 + 0.875 + 0.5) / 3 * w, (0.875 + 0.875 + 0.125) / 3 * h), corner = at(1, 1);
    EXPECT_NEAR(centre.r, 85, 24) << printed;
    EXPECT_NEAR(centre.g, 85, 24);
    EXPECT_NEAR(centre.b, 85, 24);
    EXPECT_EQ(corner.r + corner.g, 0);
    EXPECT_NEAR(corner.b, 8 * 255 / 31, 8);
    stbi_image_free(pixels);
}

// kivbench says when it runs emulated, notes only the clears of a clear-only workload, and prints
// the legend below the table.
TEST(Programs, TheBenchmarkSaysHowItRanAndExplainsBelowTheTable) {
    for (const char *mode : {"binfmt", "native"}) {
        std::string printed;
        ASSERT_EQ(runCommand(std::string("KIV_I386_MODE=") + mode + " KIVBENCH_SECS=0.05 " + programPath("kivbench") +
                                 " clear_colour_depth_mem32",
                             &printed),
                  0)
            << printed;
        EXPECT_EQ(printed.find("running emulated") != std::string::npos, std::string(mode) == "binfmt") << printed;
        const size_t row = printed.find("clear_colour_depth_mem32 "), legend = printed.find("*_mem32 = ");
        ASSERT_NE(row, std::string::npos) << printed;
        ASSERT_NE(legend, std::string::npos) << printed;
        EXPECT_LT(row, legend) << printed;
        const std::string line = printed.substr(row, printed.find('\n', row) - row);
        EXPECT_NE(line.find("(clears: "), std::string::npos) << line;
        EXPECT_EQ(line.find("span"), std::string::npos) << line;
    }
}
