// kivdemo: the main job. Boots the simulated PC, opens a window, chooses and sets a pixel format,
// loads the OpenGL driver through opengl32 as an application does (wglCreateContext,
// wglMakeCurrent) and prints the GL strings; then draws the scenes of scenes.h into memory-DC
// bitmaps (a DIB section selected into a memory DC) and writes each as a PNG under out/, one
// line per scene (its time marked as emulated where the program runs through an emulator). A
// scene whose picture does not show its feature says so and fails the run. Then the scenes once more
// in a window on the simulated screen (the hardware road when the machine offers DirectDraw), each
// followed by a PNG of the whole screen; the last line is the process's peak memory.
//
//   kivdemo                      every scene at 640 x 480
//   kivdemo SCENE [W H]          one scene (or "all") at another size
//   kivdemo --help               the usage, the environment it reads and where it writes
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "apps/kivdemo/d3d_scenes.h"
#include "apps/kivdemo/scenes.h"
#include "platform/machine/machine.h"
#include "platform/ntgdi/ntgdi.h"
#include "platform/opengl32/wgl.h"
#include "platform/zk3/zk3_triangle.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char *str(GLenum name) {
    const GLubyte *s = glGetString(name);
    return s ? reinterpret_cast<const char *>(s) : "(null)";
}

// A figure of the process's memory in kB from the kernel's own account ("VmHWM" the peak
// resident size so far, "VmRSS" the resident size now); -1 when it cannot be read.
long memoryKb(const char *field) {
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') kb = std::atol(line + n + 1);
    std::fclose(f);
    return kb;
}

// The kinds of picture a scene leaves in out/; a run removes the ones of the scenes it runs first,
// so that what is there afterwards is what this run drew.
constexpr const char *kPictureKinds[] = {".png", ".incomplete.png", ".screen.png"};

void removeOldPictures(const char *only) {
    for (const kivscenes::Scene &scene : kivscenes::kScenes)
        if (std::strcmp(only, "all") == 0 || std::strcmp(only, scene.name) == 0) {
            for (const char *kind : kPictureKinds) std::remove((std::string("out/") + scene.name + kind).c_str());
            std::remove((std::string("out/d3d_") + scene.name + ".screen.png").c_str());
        }
}

bool writePicture(const kivscenes::Picture &picture, const std::string &path) {
    const std::vector<uint8_t> rgb = picture.rgb8();
    return stbi_write_png(path.c_str(), picture.w, picture.h, 3, rgb.data(), picture.w * 3) != 0;
}

// True when every pixel of the picture is black: a screen nothing was drawn on.
bool allBlack(const kivscenes::Picture &p) {
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x)
            if (p.raw(x, y) & (p.masks[0] | p.masks[1] | p.masks[2])) return false;
    return true;
}

// Draws one scene into the bitmap and writes the picture. Returns false when the picture does
// not show the scene's feature (reported with the reason, the picture kept for a look) or could
// not be written: a demo whose pictures are wrong must not end as if all went well.
bool runScene(const kivscenes::Scene &scene, kivscenes::BitmapTarget &target, int *drawn) {
    using clock = std::chrono::steady_clock;
    const int w = target.w, h = target.h;
    target.poison();
    while (glGetError() != GL_NO_ERROR) {
    }
    const auto t0 = clock::now();
    scene.draw(w, h);
    glFinish();
    const double ms = std::chrono::duration<double, std::milli>(clock::now() - t0).count();
    const GLenum err = glGetError();
    std::string why = scene.probe(target.picture);
    if (err != GL_NO_ERROR && why.empty()) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "the driver reported GL error 0x%04X", err);
        why = buf;
    }
    // A wrong picture is kept under a name of its own, beside the right ones of other runs.
    const std::string path = std::string("out/") + scene.name + (why.empty() ? ".png" : ".incomplete.png");
    const bool written = writePicture(target.picture, path);
    if (!why.empty()) {
        std::printf("%-8s FAILED — %s (%d x %d, %.1f ms; uses %s; what was drawn is in %s)\n", scene.name, why.c_str(),
                    w, h, ms, scene.uses, written ? path.c_str() : "no file");
        return false;
    }
    if (!written) {
        std::printf("%-8s drawn, but %s could not be written\n", scene.name, path.c_str());
        return false;
    }
    ++*drawn;
    std::printf("%-8s %4d x %-4d %8.1f ms  %d-bit %s  %s  uses %s\n", scene.name, w, h, ms, target.pfd.cColorBits,
                target.bitmapFormat ? "bitmap format" : "window format on a memory DC", path.c_str(), scene.uses);
    return true;
}

// The scenes again in a window on the simulated screen, as a windowed program draws them: with
// the machine's DirectDraw the window's buffers are the display driver's surfaces in video memory
// and the chip draws what it can; the swap puts the picture on the screen, and the whole screen
// (what the monitor shows) is written as out/<scene>.screen.png. One line per scene says which
// road drew it.
bool runWindowScenes(const char *only, int w, int h) {
    const KivScreenMode *mode = kivScreenMode();
    const int x = 32, y = 24;
    if (x + w > mode->width || y + h > mode->height) {
        std::printf("window scenes skipped — %d x %d does not fit on the %d x %d screen\n", w, h, mode->width, mode->height);
        return true;
    }
    const bool directDraw = kivMachineOffersDirectDraw() != 0;
    std::printf("scenes, drawn through opengl32 into a %d x %d window at (%d, %d) on the screen (%s):\n", w, h, x, y,
                directDraw ? "DirectDraw through the display driver" : "no DirectDraw: buffers in memory, not on the screen");
    kivscenes::WindowTarget window(x, y, w, h);
    if (!window.ok) {
        std::printf("window scenes skipped — %s\n", window.why.c_str());
        return true;
    }
    bool written = true;
    for (const kivscenes::Scene &scene : kivscenes::kScenes) {
        if (std::strcmp(only, "all") != 0 && std::strcmp(only, scene.name) != 0) continue;
        while (glGetError() != GL_NO_ERROR) {
        }
        const uint64_t before = zk3TriangleStats().pixelsWritten;
        scene.draw(w, h);
        glFinish();
        const uint64_t chip = zk3TriangleStats().pixelsWritten - before;
        const bool swapped = window.swap();
        const GLenum err = glGetError();
        const kivscenes::Picture screen = kivscenes::WindowTarget::screen();
        std::string path = "no screen picture: no display driver drives the screen";
        if (!directDraw)
            path = "no screen picture: without DirectDraw the window's buffers are memory, nothing reaches the screen";
        else if (screen.bits != nullptr && allBlack(screen))
            path = "no screen picture: the screen is all black";
        else if (screen.bits != nullptr) {
            path = std::string("out/") + scene.name + ".screen.png";
            if (!writePicture(screen, path)) {
                path += " (not written)";
                written = false;
            }
        }
        char road[128];
        if (chip > 0)
            std::snprintf(road, sizeof road, "the chip drew %llu pixels into video memory",
                          static_cast<unsigned long long>(chip));
        else
            std::snprintf(road, sizeof road, "software drew into %s", directDraw ? "video memory" : "memory");
        const char *swap = !swapped ? "SWAP FAILED" : directDraw ? "swapped onto the screen" : "swapped into the memory front buffer";
        std::printf("%-8s window  %s; %s%s  %s\n", scene.name, road, swap,
                    err != GL_NO_ERROR ? " (GL error)" : "", path.c_str());
    }
    return written;
}

// The usage: on stdout for --help (exit 0), on stderr after a wrong argument (exit 2).
int usage(FILE *to, int exitCode) {
    std::fprintf(to, "usage: kivdemo [SCENE|all] [WIDTH HEIGHT]   (default: all 640 480; WIDTH and HEIGHT 1 to 4096)\n"
                     "scenes:");
    for (const kivscenes::Scene &s : kivscenes::kScenes) std::fprintf(to, " %s", s.name);
    std::fprintf(to, "\n"
                     "writes out/<scene>.png (the memory-DC bitmap) and out/<scene>.screen.png (the screen after the\n"
                     "window's swap) under the current folder, removing the pictures of earlier runs of those scenes;\n"
                     "on the 9x machine with the SIV card (no OpenGL there) it draws the Direct3D scenes %s\n"
                     "through the card's HAL and writes out/d3d_<scene>.screen.png\n"
                     "environment: KIV_MACHINE (the simulated PC, e.g. 9x,pci,8mb), KIV_MODULE_PATH (folders of the\n"
                     "driver modules, ':'-separated), KIV_OBJECT_NAMESPACE (keeps two machines running at once apart)\n",
                 kivdemo::direct3dSceneNames().c_str());
    return exitCode;
}

int run(int argc, char **argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) return usage(stdout, 0);
    const char *only = argc > 1 ? argv[1] : "all";
    int w = 640, h = 480;
    if (argc == 4) {
        w = std::atoi(argv[2]);
        h = std::atoi(argv[3]);
    }
    if (argc == 3 || argc > 4 || w < 1 || h < 1 || w > 4096 || h > 4096) return usage(stderr, 2);
    if (std::strcmp(only, "all") != 0 && !kivscenes::findScene(only)) {
        std::fprintf(stderr, "kivdemo: no scene \"%s\"\n", only);
        return usage(stderr, 2);
    }
    mkdir("out", 0777);
    removeOldPictures(only);

    if (!kivMachineBoot()) {
        std::fprintf(stderr, "kivdemo: the machine did not boot\n");
        return 1;
    }
    const KivScreenMode *mode = kivScreenMode();
    std::printf("machine: %s; screen %d x %d, %d bits per pixel\n", kivMachineDescribe(), mode->width,
                mode->height, mode->bpp);
    if (kivEngineRunning())
        std::printf("display: booted the display driver into %s\n", kivEngineDescribeMode().c_str());
    // The SIV card has no OpenGL driver: its drivers are the 9x DirectDraw and Direct3D HAL.
    if (kivMachineConfig()->card == KIV_CARD_SIV) {
        if (kivMachineConfig()->os != KIV_OS_9X) {
            std::fprintf(stderr, "kivdemo: the SIV card's drivers are for Windows 9x (its DirectDraw and Direct3D "
                                 "HAL); run it with KIV_MACHINE=9x,siv\n");
            return 1;
        }
        return kivdemo::runDirect3dScenes(only, w, h, writePicture) ? 0 : 1;
    }

    HWND hwnd = CreateWindowExA(0, "kivdemo", "kivdemo", WS_OVERLAPPED | WS_VISIBLE, 100, 80, 640, 480,
                                nullptr, nullptr, nullptr, nullptr);
    HDC hdc = hwnd ? GetDC(hwnd) : nullptr;
    if (!hdc) {
        std::fprintf(stderr, "kivdemo: no window (error %u)\n", static_cast<unsigned>(GetLastError()));
        return 1;
    }
    PIXELFORMATDESCRIPTOR want;
    std::memset(&want, 0, sizeof want);
    want.nSize = sizeof want;
    want.nVersion = 1;
    want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    want.iPixelType = PFD_TYPE_RGBA;
    want.cColorBits = 16;
    want.cDepthBits = 16;
    int pf = ChoosePixelFormat(hdc, &want);
    PIXELFORMATDESCRIPTOR got;
    if (!pf || !DescribePixelFormat(hdc, pf, sizeof got, &got) || !SetPixelFormat(hdc, pf, &got)) {
        std::fprintf(stderr, "kivdemo: no pixel format for OpenGL on this display (error %u)\n",
                     static_cast<unsigned>(GetLastError()));
        return 1;
    }
    std::printf("window: 640 x 480 at (100, 80); pixel format %d: %s, %d colour bits, %d depth, %d stencil\n", pf,
                (got.dwFlags & PFD_DOUBLEBUFFER) ? "double-buffered RGBA" : "single-buffered RGBA",
                got.cColorBits, got.cDepthBits, got.cStencilBits);

    HGLRC rc = wglCreateContext(hdc);
    if (!rc) {
        std::fprintf(stderr, "kivdemo: no OpenGL context, nothing drawn: %s\n", kivOpenGlError());
        ReleaseDC(hwnd, hdc);
        DestroyWindow(hwnd);
        return 1;
    }
    std::printf("OpenGL driver: %s, loaded through opengl32\n", kivOpenGlDriverName());
    if (!wglMakeCurrent(hdc, rc)) {
        std::fprintf(stderr, "kivdemo: wglMakeCurrent failed: %s\n", kivOpenGlError());
        wglDeleteContext(rc);
        ReleaseDC(hwnd, hdc);
        DestroyWindow(hwnd);
        return 1;
    }
    std::printf("GL_VENDOR     %s\n", str(GL_VENDOR));
    std::printf("GL_RENDERER   %s\n", str(GL_RENDERER));
    std::printf("GL_VERSION    %s\n", str(GL_VERSION));
    std::printf("GL_EXTENSIONS %s\n", str(GL_EXTENSIONS));
    GLenum err = glGetError();
    std::printf("glGetError    0x%04X\n", err);

    bool ok = wglMakeCurrent(nullptr, nullptr) && wglDeleteContext(rc);
    std::printf("context released and deleted: %s\n", ok ? "yes" : "NO");
    ReleaseDC(hwnd, hdc);
    DestroyWindow(hwnd);
    if (!ok) return 1;

    // One bitmap and one context for every scene, as a program drawing a series of pictures
    // keeps them; each scene sets the state it needs and turns off what it turned on.
    std::printf("scenes, drawn through opengl32 into a %d x %d memory-DC bitmap:\n", w, h);
    if (kivRunsEmulated())
        std::printf("(times are emulated: this i386 program runs through a user-mode emulator, so they do not "
                    "compare with native ones)\n");
    int drawn = 0, tried = 0;
    bool passed = true;
    const long before = memoryKb("VmRSS");
    kivscenes::BitmapTarget target(w, h);
    if (target.ok) {  // the first clear touches every buffer the drawable has
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        glFinish();
        std::printf("the context, its drawable and buffers at %d x %d: %ld kB resident\n", w, h,
                    memoryKb("VmRSS") - before);
    }
    for (const kivscenes::Scene &scene : kivscenes::kScenes) {
        if (std::strcmp(only, "all") != 0 && std::strcmp(only, scene.name) != 0) continue;
        ++tried;
        if (!target.ok) {
            std::printf("%-8s FAILED — %s\n", scene.name, target.why.c_str());
            passed = false;
            continue;
        }
        passed &= runScene(scene, target, &drawn);
    }
    std::printf("%d of %d scenes drawn\n", drawn, tried);
    passed &= runWindowScenes(only, w, h);
    std::printf("peak memory %ld kB\n", memoryKb("VmHWM"));
    return passed ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) { return run(argc, argv); }
