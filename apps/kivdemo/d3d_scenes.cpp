// Direct3D scenes on the SIV card, as a 9x program draws them: sivd16 sets the desktop mode,
// DirectDraw loads the HAL and creates its driver object, Direct3D its device; a render target
// and a Z buffer come from DirectDraw's heap in video memory; the scenes go in as an execute
// buffer and as DrawPrimitive calls, and the program copies the finished picture into its
// window's rectangle of the primary surface, which is what the monitor shows.
#include "apps/kivdemo/d3d_scenes.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "platform/ddraw/ddraw9x_d3d.h"
#include "platform/machine/machine.h"
#include "platform/siv/siv_chip.h"
#include "platform/siv/siv_engine3d.h"
#include "platform/sivd16/sivd16.h"

namespace kivdemo {
namespace {

constexpr int kWindowX = 32, kWindowY = 24;
constexpr uint32_t kMask565[3] = {0xF800, 0x07E0, 0x001F};
constexpr DWORD kCaps3dDevice = 0x00002000;   // a surface Direct3D may render into

// A surface record DirectDraw keeps for the program.
struct Surface {
    DDRAWI_DDRAWSURFACE_LCL lcl{};
    DDRAWI_DDRAWSURFACE_GBL gbl{};
    Surface() { lcl.lpGbl = &gbl; }
    uint8_t *row(int y) const { return reinterpret_cast<uint8_t *>(gbl.fpVidMem) + size_t(y) * gbl.lPitch; }
};

D3DTLVERTEX vertex(float x, float y, D3DCOLOR colour, float z = 0.5f) {
    return D3DTLVERTEX{x, y, z, 1.0f, colour, 0xFF000000u, 0, 0};
}

// The card with its 9x drivers up to a Direct3D device; everything is undone in reverse.
class SivMachine {
public:
    bool ok = false;
    std::string why;
    Ddraw9xDriver drv{};
    D3d9xDevice dev{};

    SivMachine() { ok = open(); }
    ~SivMachine() {
        if (hal_) kivDdraw9xUnloadHal(hal_);
        if (sivd16_) kivSivd16Stop();
        if (chip_) kivSivPowerOff();
    }
    SivMachine(const SivMachine &) = delete;
    SivMachine &operator=(const SivMachine &) = delete;

    // A surface of `caps` from DirectDraw's create path (the driver, then the heap).
    bool create(Surface &s, DWORD caps, int w, int h) {
        s.gbl.wWidth = WORD(w);
        s.gbl.wHeight = WORD(h);
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = caps;
        DDRAWI_DDRAWSURFACE_LCL *list[1] = {&s.lcl};
        return kivDdraw9xCreateSurfaces(&drv, &desc, list, 1) == DD_OK && s.gbl.fpVidMem != 0;
    }
    // The screen as the monitor shows it: the primary surface at the start of video memory.
    kivscenes::Picture screen() const {
        kivscenes::Picture p;
        p.bits = reinterpret_cast<const void *>(drv.gbl.fpPrimaryOrig);
        p.w = int(drv.gbl.vmiData.dwDisplayWidth);
        p.h = int(drv.gbl.vmiData.dwDisplayHeight);
        p.pitch = int(drv.gbl.vmiData.lDisplayPitch);
        p.bytesPerPixel = 2;
        std::memcpy(p.masks, kMask565, sizeof p.masks);
        return p;
    }

private:
    SivChip *chip_ = nullptr;
    Sivd16 *sivd16_ = nullptr;
    HMODULE hal_ = nullptr;

    bool fail(const std::string &reason) {
        why = reason;
        return false;
    }
    bool open() {
        const KivMachineConfig *c = kivMachineConfig();
        const KivScreenMode *mode = kivScreenMode();
        if (mode->bpp != 16) return fail("the Direct3D HAL draws into 16-bit modes; the screen is not one");
        SivCardConfig card{c->videoMemoryBytes, 0, 0};
        if (!(chip_ = kivSivPowerOn(&card))) return fail("the SIV card did not power on");
        Sivd16Options options{};
        if (!(sivd16_ = kivSivd16Start(chip_, &options))) return fail("sivd16 did not start");
        if (!(hal_ = kivDdraw9xLoadHal("sivhal.dll")))
            return fail(std::string("cannot load the HAL sivhal.dll: ") + kivModuleLoadError());
        Sivd16Mode m{uint16_t(mode->width), uint16_t(mode->height), 16, true, 65000};
        if (!kivSivd16SetMode(&m)) return fail("sivd16 refused the desktop mode");
        DDHALINFO info;
        if (!kivSivd16FlatHalInfo(&info)) return fail("the HAL described no card");
        const DWORD context = DWORD(reinterpret_cast<uintptr_t>(sivd16_->driverBlock));
        if (!kivDdraw9xCreateDriver(hal_, "InitFromDDraw", context, &info, &drv))
            return fail("DirectDraw could not create its driver object");
        if (!kivD3d9xCreateDevice(&drv, 1, &dev)) return fail("the HAL announced no Direct3D");
        return true;
    }
};

// One scene: what it shows, and how it hands its primitives to the HAL.
struct D3dScene {
    const char *name;
    const char *uses;
    bool (*draw)(D3d9xDevice &dev, ULONG_PTR ctx, int w, int h);
};

bool states(D3d9xDevice &dev, ULONG_PTR ctx, std::initializer_list<std::pair<DWORD, DWORD>> list);

// A smooth triangle handed over in an execute buffer: its vertices, then the instructions.
bool drawTriangle(D3d9xDevice &dev, ULONG_PTR ctx, int w, int h) {
    std::vector<uint8_t> bytes;
    auto put = [&bytes](const void *p, size_t n) {
        bytes.insert(bytes.end(), static_cast<const uint8_t *>(p), static_cast<const uint8_t *>(p) + n);
    };
    const D3DTLVERTEX v[3] = {vertex(0.125f * w, 0.875f * h, 0xFFFF0000), vertex(0.875f * w, 0.875f * h, 0xFF00FF00),
                              vertex(0.5f * w, 0.125f * h, 0xFF0000FF)};
    put(v, sizeof v);
    const DWORD instructions = DWORD(bytes.size());
    const std::pair<DWORD, DWORD> rs[] = {{D3DRS_SHADEMODE, D3DSHADE_GOURAUD}, {D3DRS_CULLMODE, D3DCULL_NONE}};
    const D3DINSTRUCTION stateOp{D3DOP_STATERENDER, sizeof(D3DSTATE), WORD(std::size(rs))};
    put(&stateOp, sizeof stateOp);
    for (const auto &[state, value] : rs) {
        const D3DSTATE s{state, {value}};
        put(&s, sizeof s);
    }
    const D3DINSTRUCTION triangleOp{D3DOP_TRIANGLE, sizeof(D3DTRIANGLE), 1};
    const D3DTRIANGLE t{0, 1, 2, D3DTRIFLAG_START};
    const D3DINSTRUCTION exitOp{D3DOP_EXIT, 0, 0};
    put(&triangleOp, sizeof triangleOp);
    put(&t, sizeof t);
    put(&exitOp, sizeof exitOp);
    Surface buffer;   // an execute buffer lives in system memory
    buffer.lcl.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY;
    buffer.gbl.fpVidMem = reinterpret_cast<FLATPTR>(bytes.data());
    buffer.gbl.dwLinearSize = DWORD(bytes.size());
    D3d9xExecuteData data{0, 3, instructions, DWORD(bytes.size()) - instructions, 0};
    return kivD3d9xExecute(&dev, ctx, &buffer.lcl, &data).result == DD_OK;
}

// Two quads sloping through each other in depth: the Z buffer keeps the nearer one of each pixel,
// so they cross in the middle. DrawPrimitive, one triangle list each.
bool drawDepth(D3d9xDevice &dev, ULONG_PTR ctx, int w, int h) {
    if (!states(dev, ctx, {{D3DRS_SHADEMODE, D3DSHADE_GOURAUD}, {D3DRS_ZENABLE, 1}, {D3DRS_ZFUNC, D3DCMP_LESS}}))
        return false;
    const float x0 = 0.125f * w, x1 = 0.875f * w;
    auto quad = [&](float y0, float y1, float zLeft, float zRight, D3DCOLOR c) {
        const D3DTLVERTEX a = vertex(x0, y0, c, zLeft), b = vertex(x1, y0, c, zRight), d = vertex(x0, y1, c, zLeft),
                          e = vertex(x1, y1, c, zRight);
        const D3DTLVERTEX list[6] = {a, b, e, a, e, d};
        return kivD3d9xDrawPrimitive(&dev, ctx, D3DPT_TRIANGLELIST, list, 6).result == DD_OK;
    };
    const bool drawn = quad(0.25f * h, 0.625f * h, 0.2f, 0.8f, 0xFFE03020) && quad(0.375f * h, 0.75f * h, 0.8f, 0.2f, 0xFF20C040);
    return states(dev, ctx, {{D3DRS_ZENABLE, 0}}) && drawn;
}

// A fan of translucent blades over an opaque bar: alpha blending, one DrawPrimitive fan.
bool drawBlend(D3d9xDevice &dev, ULONG_PTR ctx, int w, int h) {
    const D3DTLVERTEX bar[6] = {vertex(0, 0.4f * h, 0xFF2040FF), vertex(float(w), 0.4f * h, 0xFF2040FF),
                                vertex(float(w), 0.6f * h, 0xFF2040FF), vertex(0, 0.4f * h, 0xFF2040FF),
                                vertex(float(w), 0.6f * h, 0xFF2040FF), vertex(0, 0.6f * h, 0xFF2040FF)};
    if (!states(dev, ctx, {{D3DRS_SHADEMODE, D3DSHADE_GOURAUD}}) ||
        kivD3d9xDrawPrimitive(&dev, ctx, D3DPT_TRIANGLELIST, bar, 6).result != DD_OK)
        return false;
    const float cx = 0.5f * w, cy = 0.5f * h, r = 0.4f * (w < h ? w : h);
    std::vector<D3DTLVERTEX> fan{vertex(cx, cy, 0x80FFFFFF)};
    for (int i = 0; i < 12; ++i) {
        const float a = float(i) * 6.2831853f / 12.0f;
        fan.push_back(vertex(cx + r * std::cos(a), cy + r * std::sin(a), i % 2 ? 0x80FF8000u : 0x8000FF80u));
    }
    fan.push_back(fan[1]);   // the same vertex closes the fan: its first and last edges are one edge
    const bool drawn =
        states(dev, ctx, {{D3DRS_BLENDENABLE, 1}, {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA}, {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA}}) &&
        kivD3d9xDrawPrimitive(&dev, ctx, D3DPT_TRIANGLEFAN, fan.data(), DWORD(fan.size())).result == DD_OK;
    return states(dev, ctx, {{D3DRS_BLENDENABLE, 0}}) && drawn;
}

constexpr D3dScene kD3dScenes[] = {
    {"triangle", "an execute buffer: render states and one gouraud triangle", drawTriangle},
    {"depth", "DrawPrimitive triangle lists under the Z buffer", drawDepth},
    {"blend", "DrawPrimitive: an opaque list, then a translucent fan blended over it", drawBlend},
};

// Render states as the runtime sends them: a STATERENDER instruction in an execute buffer of its own.
bool states(D3d9xDevice &dev, ULONG_PTR ctx, std::initializer_list<std::pair<DWORD, DWORD>> list) {
    std::vector<uint8_t> bytes(sizeof(D3DINSTRUCTION) + list.size() * sizeof(D3DSTATE) + sizeof(D3DINSTRUCTION));
    const D3DINSTRUCTION op{D3DOP_STATERENDER, sizeof(D3DSTATE), WORD(list.size())};
    std::memcpy(bytes.data(), &op, sizeof op);
    size_t at = sizeof op;
    for (const auto &[state, value] : list) {
        const D3DSTATE s{state, {value}};
        std::memcpy(bytes.data() + at, &s, sizeof s);
        at += sizeof s;
    }
    const D3DINSTRUCTION exitOp{D3DOP_EXIT, 0, 0};
    std::memcpy(bytes.data() + at, &exitOp, sizeof exitOp);
    Surface buffer;
    buffer.lcl.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY;
    buffer.gbl.fpVidMem = reinterpret_cast<FLATPTR>(bytes.data());
    buffer.gbl.dwLinearSize = DWORD(bytes.size());
    D3d9xExecuteData data{0, 0, 0, DWORD(bytes.size()), 0};
    return kivD3d9xExecute(&dev, ctx, &buffer.lcl, &data).result == DD_OK;
}

// The program's own fills and copies, through surface memory as a locked surface gives it.
void fill(const Surface &s, uint16_t value) {
    for (int y = 0; y < s.gbl.wHeight; ++y) {
        uint8_t *row = s.row(y);
        for (int x = 0; x < s.gbl.wWidth; ++x) std::memcpy(row + 2 * x, &value, 2);
    }
}
void copyToScreen(const Surface &from, const kivscenes::Picture &screen) {
    for (int y = 0; y < from.gbl.wHeight; ++y)
        std::memcpy(static_cast<uint8_t *>(const_cast<void *>(screen.bits)) + size_t(kWindowY + y) * screen.pitch +
                        2 * kWindowX,
                    from.row(y), size_t(from.gbl.wWidth) * 2);
}

}  // namespace

std::string direct3dSceneNames() {
    std::string names;
    for (const D3dScene &s : kD3dScenes) names += (names.empty() ? "" : " ") + std::string(s.name);
    return names;
}

bool runDirect3dScenes(const char *only, int w, int h, WritePicture write) {
    const KivScreenMode *mode = kivScreenMode();
    if (kWindowX + w > mode->width || kWindowY + h > mode->height) {
        std::printf("Direct3D scenes skipped — %d x %d does not fit on the %d x %d screen\n", w, h, mode->width,
                    mode->height);
        return true;
    }
    SivMachine machine;
    if (!machine.ok) {
        std::fprintf(stderr, "kivdemo: the SIV card's drivers did not start: %s\n", machine.why.c_str());
        return false;
    }
    std::printf("Direct3D: the SIV card's HAL through the DirectDraw and Direct3D runtimes, %d x %d at (%d, %d) on "
                "the screen:\n",
                w, h, kWindowX, kWindowY);
    Surface target, depth;
    ULONG_PTR ctx = 0;
    if (!machine.create(target, DDSCAPS_OFFSCREENPLAIN | kCaps3dDevice, w, h) ||
        !machine.create(depth, DDSCAPS_ZBUFFER, w, h) ||
        kivD3d9xCreateContext(&machine.dev, &target.lcl, &depth.lcl, &ctx).result != DD_OK) {
        std::fprintf(stderr, "kivdemo: no %d x %d render target with a Z buffer in the SIV card's video memory\n", w, h);
        return false;
    }
    const kivscenes::Picture screen = machine.screen();
    bool ok = true, any = false;
    for (const D3dScene &scene : kD3dScenes) {
        if (std::strcmp(only, "all") != 0 && std::strcmp(only, scene.name) != 0) continue;
        any = true;
        fill(target, 0x0008);   // dark blue
        fill(depth, 0xFFFF);    // farthest
        kivSiv3dClearStats();
        const bool drawn = scene.draw(machine.dev, ctx, w, h);
        const uint32_t pixels = kivSiv3dStats()->pixels;
        copyToScreen(target, screen);
        const std::string path = std::string("out/d3d_") + scene.name + ".screen.png";
        const bool written = drawn && pixels > 0 && write(screen, path);
        std::printf("%-8s d3d     %s; the chip drew %u pixels into video memory  %s\n", scene.name,
                    drawn ? scene.uses : "the HAL refused a call", pixels,
                    written ? path.c_str() : "no screen picture: nothing was drawn");
        ok &= written;
    }
    if (!any) std::printf("%-8s d3d     no Direct3D scene of that name (they are: %s)\n", only, direct3dSceneNames().c_str());
    kivD3d9xDestroyContext(&machine.dev, ctx);
    return ok;
}

}  // namespace kivdemo
