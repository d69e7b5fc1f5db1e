// A 9x machine with the SIV card as a Direct3D application sees it: the runtime has loaded the
// HAL, sivd16 has set a mode, DirectDraw has created its driver object and Direct3D its device.
// Surfaces (render targets, Z buffers, textures, mip levels) are created through DirectDraw's
// callbacks; everything is drawn by the chip model into video memory and read back from there.
#pragma once
#include <gtest/gtest.h>

#include "drv/siv/display/driver_block.h"
#include "platform/ddraw/ddraw9x_d3d.h"
#include "platform/siv/siv_chip.h"
#include "platform/siv/siv_engine3d.h"
#include "platform/sivd16/sivd16.h"
#include "tests/sivhal_blit/siv_machine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

struct Surf {
    DDRAWI_DDRAWSURFACE_LCL lcl{};
    DDRAWI_DDRAWSURFACE_GBL gbl{};
    Surf() { lcl.lpGbl = &gbl; }
};

struct Rgb {
    int r, g, b;
};

inline D3DTLVERTEX V(float x, float y, DWORD color = 0xFFFFFFFF, float z = 0.5f, float u = 0, float v = 0,
                     float rhw = 1.0f, DWORD specular = 0xFF000000) {
    return D3DTLVERTEX{x, y, z, rhw, color, specular, u, v};
}

inline DDPIXELFORMAT Rgb16(bool alpha = false) {
    return {sizeof(DDPIXELFORMAT), DDPF_RGB | (alpha ? DDPF_ALPHAPIXELS : 0u), 0, 16, 0x7C00, 0x03E0, 0x001F,
            alpha ? 0x8000u : 0u};
}
inline DDPIXELFORMAT Rgb32(bool alpha = false) {
    return {sizeof(DDPIXELFORMAT), DDPF_RGB | (alpha ? DDPF_ALPHAPIXELS : 0u), 0, 32, 0xFF0000, 0xFF00, 0xFF,
            alpha ? 0xFF000000u : 0u};
}
inline DDPIXELFORMAT Rgb4444() { return {sizeof(DDPIXELFORMAT), DDPF_RGB | DDPF_ALPHAPIXELS, 0, 16, 0xF00, 0xF0, 0xF, 0xF000}; }

// An execute buffer as an application fills it: vertices first, then instructions.
struct ExecBuffer {
    std::vector<uint8_t> bytes;
    DWORD vertexCount = 0;
    DWORD instructionOffset = 0;
    Surf surface;

    explicit ExecBuffer(const std::vector<D3DTLVERTEX> &vertices) {
        vertexCount = static_cast<DWORD>(vertices.size());
        Put(vertices.data(), 32 * vertices.size());
        instructionOffset = static_cast<DWORD>(bytes.size());
    }
    void Put(const void *p, size_t n) {
        const uint8_t *b = static_cast<const uint8_t *>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
    void Instruction(BYTE op, BYTE size, WORD count) {
        D3DINSTRUCTION i = {op, size, count};
        Put(&i, sizeof i);
    }
    void States(std::initializer_list<std::pair<DWORD, DWORD>> states) {
        Instruction(D3DOP_STATERENDER, sizeof(D3DSTATE), static_cast<WORD>(states.size()));
        for (auto [s, v] : states) {
            D3DSTATE st = {s, {v}};
            Put(&st, sizeof st);
        }
    }
    void Triangles(std::initializer_list<D3DTRIANGLE> tris) {
        Instruction(D3DOP_TRIANGLE, sizeof(D3DTRIANGLE), static_cast<WORD>(tris.size()));
        for (const D3DTRIANGLE &t : tris)
            Put(&t, sizeof t);
    }
    void Lines(std::initializer_list<D3DLINE> lines) {
        Instruction(D3DOP_LINE, sizeof(D3DLINE), static_cast<WORD>(lines.size()));
        for (const D3DLINE &l : lines)
            Put(&l, sizeof l);
    }
    void Points(std::initializer_list<D3DPOINT> points) {
        Instruction(D3DOP_POINT, sizeof(D3DPOINT), static_cast<WORD>(points.size()));
        for (const D3DPOINT &p : points)
            Put(&p, sizeof p);
    }
    void Exit() { Instruction(D3DOP_EXIT, 0, 0); }
    DDRAWI_DDRAWSURFACE_LCL *Lcl() {
        surface.lcl.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY;
        surface.gbl.fpVidMem = reinterpret_cast<FLATPTR>(bytes.data());
        surface.gbl.dwLinearSize = static_cast<DWORD>(bytes.size());
        return &surface.lcl;
    }
};

class D3dMachine : public ::testing::Test, protected SivMachine {
protected:
    D3d9xDevice dev{};
    std::vector<std::unique_ptr<Surf>> surfaces;
    std::vector<std::unique_ptr<ExecBuffer>> buffers;

    void SetUp() override { Boot(); }
    // 16 bits are 5-6-5.
    void Boot(DWORD driverFlags = 0, uint8_t bits = 16) {
        BootSiv(640, 480, bits, driverFlags);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(kivD3d9xCreateDevice(&drv, 0x1234, &dev));
        kivSiv3dClearStats();
    }
    void TearDown() override {
        if (dev.drv)
            kivD3d9xDestroyAllContexts(&dev);
        // Every surface goes back to DirectDraw's heap, as a program's do when it ends (those a
        // test destroyed itself hold no memory any more).
        for (const std::unique_ptr<Surf> &s : surfaces)
            if (s->gbl.fpVidMem)
                kivDdraw9xDestroySurface(&drv.gbl, drv.surfaceCallbacks.DestroySurface, &s->lcl);
        surfaces.clear();
        kivDdraw9xUnloadHal(hal);
        kivSivd16Stop();
        kivSivPowerOff();
    }
    // A fresh machine with other driver flags or another display depth.
    void Reboot(DWORD driverFlags, uint8_t bits = 16) {
        TearDown();
        buffers.clear();
        dev = {};
        drv = {};
        Boot(driverFlags, bits);
    }

    // ---- surfaces ----
    Surf *Create(DWORD caps, WORD w, WORD h, const DDPIXELFORMAT *pf = nullptr) {
        surfaces.push_back(std::make_unique<Surf>());
        Surf *s = surfaces.back().get();
        s->gbl.wWidth = w;
        s->gbl.wHeight = h;
        EXPECT_EQ(CreateSurface(&s->lcl, caps, pf), DD_OK);
        return s;
    }
    // A render target in the display's format.
    Surf *Target(WORD w, WORD h) {
        Surf *s = Create(DDSCAPS_OFFSCREENPLAIN | 0x2000 /* 3DDEVICE */, w, h);
        Clear(s, 0);
        return s;
    }
    Surf *ZBuffer(WORD w, WORD h) {
        Surf *z = Create(DDSCAPS_ZBUFFER, w, h);
        ClearZ(z, 0xFFFF);
        return z;
    }
    Surf *Texture(const DDPIXELFORMAT &pf, WORD size, DWORD extraCaps = 0) {
        return Create(DDSCAPS_TEXTURE | extraCaps, size, size, &pf);
    }
    uint8_t *Row(Surf *s, int y) { return reinterpret_cast<uint8_t *>(s->gbl.fpVidMem) + y * s->gbl.lPitch; }
    int Bpp(Surf *s) {
        return static_cast<int>(((s->lcl.dwFlags & DDRAWISURF_HASPIXELFORMAT) ? s->gbl.ddpfSurface.dwRGBBitCount
                                                                               : drv.gbl.vmiData.ddpfDisplay.dwRGBBitCount) /
                                8);
    }
    void Clear(Surf *s, uint8_t byte) {
        for (int y = 0; y < s->gbl.wHeight; y++)
            std::memset(Row(s, y), byte, s->gbl.wWidth * Bpp(s));
    }
    void ClearZ(Surf *z, uint16_t v) {
        for (int y = 0; y < z->gbl.wHeight; y++)
            for (int x = 0; x < z->gbl.wWidth; x++)
                std::memcpy(Row(z, y) + 2 * x, &v, 2);
    }
    uint32_t Raw(Surf *s, int x, int y) {
        uint32_t v = 0;
        std::memcpy(&v, Row(s, y) + x * Bpp(s), Bpp(s));
        return v;
    }
    // A target pixel as 8-bit channels (5-6-5 channels widened by shifting).
    Rgb Pixel(Surf *s, int x, int y) {
        const uint32_t v = Raw(s, x, y);
        if (Bpp(s) == 3)
            return {int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)};
        return {int(((v >> 11) & 0x1F) << 3), int(((v >> 5) & 0x3F) << 2), int((v & 0x1F) << 3)};
    }
    bool Lit(Surf *s, int x, int y) { return Raw(s, x, y) != 0; }
    std::vector<uint8_t> Mask(Surf *s) {
        std::vector<uint8_t> m;
        for (int y = 0; y < s->gbl.wHeight; y++)
            for (int x = 0; x < s->gbl.wWidth; x++)
                m.push_back(Lit(s, x, y));
        return m;
    }

    // ---- Direct3D ----
    ULONG_PTR NewContext(Surf *target, Surf *z = nullptr) {
        ULONG_PTR ctx = 0;
        EXPECT_EQ(kivD3d9xCreateContext(&dev, &target->lcl, z ? &z->lcl : nullptr, &ctx).result, DD_OK);
        return ctx;
    }
    DWORD NewTexture(ULONG_PTR ctx, Surf *s) {
        DWORD h = 0;
        EXPECT_EQ(kivD3d9xCreateTexture(&dev, ctx, &s->lcl, &h).result, DD_OK);
        return h;
    }
    // Render states through an execute buffer, as the runtime sends them.
    D3d9xResult States(ULONG_PTR ctx, std::initializer_list<std::pair<DWORD, DWORD>> states) {
        ExecBuffer *b = Exec({});
        b->States(states);
        b->Exit();
        return Run(ctx, b);
    }
    DWORD GetState(ULONG_PTR ctx, DWORD state) {
        DWORD v = 0;
        EXPECT_EQ(kivD3d9xGetRenderState(&dev, ctx, state, &v).result, DD_OK);
        return v;
    }
    ExecBuffer *Exec(const std::vector<D3DTLVERTEX> &vertices) {
        buffers.push_back(std::make_unique<ExecBuffer>(vertices));
        return buffers.back().get();
    }
    D3d9xResult Run(ULONG_PTR ctx, ExecBuffer *b, DWORD *status = nullptr) {
        D3d9xExecuteData d = {0, b->vertexCount, b->instructionOffset,
                              static_cast<DWORD>(b->bytes.size()) - b->instructionOffset, status ? *status : 0};
        D3d9xResult r = kivD3d9xExecute(&dev, ctx, b->Lcl(), &d);
        if (status)
            *status = d.status;
        return r;
    }
    D3d9xResult Draw(ULONG_PTR ctx, DWORD type, const std::vector<D3DTLVERTEX> &v) {
        return kivD3d9xDrawPrimitive(&dev, ctx, type, v.data(), static_cast<DWORD>(v.size()));
    }
    // Drawing state for pictures: no culling, no specular, flat or gouraud as asked.
    void Plain(ULONG_PTR ctx, DWORD shade = D3DSHADE_GOURAUD) {
        EXPECT_EQ(States(ctx, {{D3DRS_CULLMODE, D3DCULL_NONE}, {D3DRS_SPECULARENABLE, 0}, {D3DRS_SHADEMODE, shade}})
                      .result,
                  DD_OK);
    }

    // ---- the register log (what it holds: Writes) ----
    uint32_t Commands() const {
        uint32_t n = 0;
        for (const SivRegWrite &w : Writes())
            n += w.offset == 0xB500;
        return n;
    }
    // The last value written to a register (0 when it was not written).
    uint32_t Last(uint32_t reg) const {
        uint32_t v = 0;
        for (const SivRegWrite &w : Writes())
            if (w.offset == reg)
                v = w.value;
        return v;
    }
    bool WroteReg(uint32_t reg) const {
        return std::any_of(Writes().begin(), Writes().end(), [reg](const SivRegWrite &w) { return w.offset == reg; });
    }
};

// ---- the true triangle, for coverage properties --------------------------------------------
inline double Edge(double ax, double ay, double bx, double by, double px, double py) {
    return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
}
// Distance from a point to the triangle (0 inside).
inline double DistanceToTriangle(const D3DTLVERTEX &a, const D3DTLVERTEX &b, const D3DTLVERTEX &c, double px,
                                 double py) {
    const double area = Edge(a.sx, a.sy, b.sx, b.sy, c.sx, c.sy);
    const D3DTLVERTEX *v[3] = {&a, &b, &c};
    bool inside = true;
    for (int i = 0; i < 3; i++) {
        const D3DTLVERTEX &p = *v[i], &q = *v[(i + 1) % 3];
        const double e = Edge(p.sx, p.sy, q.sx, q.sy, px, py);
        if ((area > 0 && e < 0) || (area < 0 && e > 0))
            inside = false;
    }
    if (inside)
        return 0;
    double best = 1e30;
    for (int i = 0; i < 3; i++) {
        const D3DTLVERTEX &p = *v[i], &q = *v[(i + 1) % 3];
        const double dx = q.sx - p.sx, dy = q.sy - p.sy, len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? ((px - p.sx) * dx + (py - p.sy) * dy) / len2 : 0;
        t = std::fmax(0, std::fmin(1, t));
        best = std::fmin(best, std::hypot(px - (p.sx + t * dx), py - (p.sy + t * dy)));
    }
    return best;
}
// The true triangle's verdict on pixel (x, y) by half-plane tests in double precision: +1 inside
// by more than a hundredth of a pixel, -1 outside by more, 0 within a hundredth of an edge. An
// edge from p to q is measured as (qx - px) y - (qy - py) x + (px qy - py qx): the two products of
// floats are exact in double and their difference is exact where they nearly cancel, so an edge
// whose ends lie 1e30 pixels apart is measured at a pixel of the target to about 1e-14 pixels.
inline int Verdict(const std::vector<D3DTLVERTEX> &t, double x, double y) {
    const double winding = Edge(t[0].sx, t[0].sy, t[1].sx, t[1].sy, t[2].sx, t[2].sy) > 0 ? 1 : -1;
    int verdict = 1;
    for (int i = 0; i < 3; i++) {
        const double px = t[i].sx, py = t[i].sy, qx = t[(i + 1) % 3].sx, qy = t[(i + 1) % 3].sy;
        const double side = (qx - px) * y - (qy - py) * x + (px * qy - py * qx);
        const double distance = winding * side / std::hypot(qx - px, qy - py);
        if (distance < -0.01)
            return -1;
        if (distance <= 0.01)
            verdict = 0;
    }
    return verdict;
}

// Barycentric weights of a point.
inline void Weights(const D3DTLVERTEX &a, const D3DTLVERTEX &b, const D3DTLVERTEX &c, double px, double py,
                    double w[3]) {
    const double area = Edge(a.sx, a.sy, b.sx, b.sy, c.sx, c.sy);
    w[0] = Edge(b.sx, b.sy, c.sx, c.sy, px, py) / area;
    w[1] = Edge(c.sx, c.sy, a.sx, a.sy, px, py) / area;
    w[2] = 1 - w[0] - w[1];
}

// A 64 x 64 render target and a context on it with flat shading, as most tests start.
class FlatContext : public D3dMachine {
protected:
    Surf *target = nullptr;
    ULONG_PTR ctx = 0;
    void SetUp() override {
        D3dMachine::SetUp();
        target = Target(64, 64);
        ctx = NewContext(target);
        Plain(ctx, D3DSHADE_FLAT);
    }
};
