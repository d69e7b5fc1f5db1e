// The Direct3D side of the 9x HAL fuzz driver: contexts made and destroyed, textures created,
// swapped and destroyed by random handles, render states of random numbers and values, vertices
// with NaNs, infinities and huge coordinates drawn as every primitive type, and execute buffers
// whose instructions are random and mutated (opcodes, record sizes, counts and vertex indices
// that run past the buffer or its vertices; the buffer itself is as long as it says). Contexts
// are made and retargeted onto targets as wide or as tall as the engine draws, and past that,
// with Z buffers that cover them or not: each must get the answer its sizes call for. After
// every batch a fresh context must draw a triangle onto its target, and one with corners up to
// 1e30 pixels away exactly onto the pixels inside it, now and then on a target as wide or as tall
// as the engine draws.
#include <cmath>
#include <limits>

#include "tests/fuzz_common/fuzz_run.h"
#include "tests/sivhal_d3d/d3d_fixture.h"

namespace {

class D3dFuzz : public D3dMachine {
protected:
    void TestBody() override {}

public:
    void Start() {
        Boot();
        target = Target(64, 48);
        small = Target(3, 11);
        z = ZBuffer(64, 48);
        textures = {Texture(Rgb16(), 16), Texture(Rgb4444(), 8), Texture(Rgb32(true), 32)};
        wide = Target(kReach, 3);
        tall = Target(3, kReach);
        tooWide = Target(kReach + 1, 2);
        tooTall = Target(2, kReach + 1);
        smallZ = ZBuffer(32, 24);
    }

    // The widest and tallest target whose every pixel the engine draws.
    static constexpr WORD kReach = 2040;
    // A target and a Z buffer for a context, and what the HAL must answer for them: targets past
    // the reach are too big (the width looked at first), a Z buffer must cover its target.
    struct Pair {
        Surf *target, *z;
        HRESULT want;
    };
    Pair pair(KivFuzzRandom &r) {
        // A tiny target now and then, where most of a large triangle lies off it.
        Surf *t = r.chance(20) ? small : r.chance(70) ? target : r.pick({wide, tall, tooWide, tooTall});
        Surf *d = r.chance(40) ? nullptr : r.chance(70) ? z : smallZ;
        const WORD w = t->gbl.wWidth, h = t->gbl.wHeight;
        const HRESULT want = w > kReach ? DDERR_TOOBIGWIDTH
                           : h > kReach ? DDERR_TOOBIGHEIGHT
                           : d && (d->gbl.wWidth < w || d->gbl.wHeight < h) ? DDERR_INVALIDPARAMS
                                                                            : DD_OK;
        return {t, d, want};
    }
    void Stop() { TearDown(); }

    float coord(KivFuzzRandom &r) {
        switch (r.below(12)) {
        case 0: return std::numeric_limits<float>::quiet_NaN();
        case 1: return std::numeric_limits<float>::infinity();
        case 2: return -std::numeric_limits<float>::infinity();
        case 3: return Far(r) * (r.chance(50) ? 1.0f : -1.0f);
        case 4: return r.chance(50) ? 3e9f : -3e9f;
        case 5: return float(int(r.below(8000)) - 4000);   // beyond the engine's grid, or near its edge
        default: return float(int(r.below(120)) - 30) + float(r.below(16)) / 16.0f;
        }
    }
    // A distance from 1e4 to 1e30 pixels, as likely in every decade.
    static float Far(KivFuzzRandom &r) { return float(std::pow(10.0, 4 + r.below(2601) / 100.0)); }
    // Mostly within a few repeats; now and then near a million texels, which the HAL cuts into
    // pieces.
    float texCoord(KivFuzzRandom &r) {
        if (r.chance(80)) return float(r.below(65)) / 16.0f;
        return r.chance(25) ? float(int(r.below(2000001)) - 1000000) : coord(r);
    }
    D3DTLVERTEX vertex(KivFuzzRandom &r) {
        D3DTLVERTEX v{};
        v.sx = coord(r);
        v.sy = coord(r);
        v.sz = r.chance(80) ? float(r.below(1001)) / 1000.0f : coord(r);
        v.rhw = r.chance(80) ? 1.0f : coord(r);
        v.color = r.word();
        v.specular = r.word();
        v.tu = texCoord(r);
        v.tv = texCoord(r);
        return v;
    }
    std::vector<D3DTLVERTEX> vertices(KivFuzzRandom &r, uint32_t most) {
        std::vector<D3DTLVERTEX> v(r.below(most + 1));
        for (D3DTLVERTEX &x : v) x = vertex(r);
        return v;
    }

    void batch(KivFuzzRandom &r) {
        std::vector<ULONG_PTR> contexts;
        std::vector<DWORD> handles;
        for (int i = 0; i < 60; ++i) {
            if (contexts.empty() || r.chance(5)) {
                ULONG_PTR ctx = 0;
                const Pair p = pair(r);
                const HRESULT made = kivD3d9xCreateContext(&dev, &p.target->lcl, p.z ? &p.z->lcl : nullptr, &ctx).result;
                EXPECT_EQ(made, p.want) << p.target->gbl.wWidth << "x" << p.target->gbl.wHeight;
                if (made == DD_OK)
                    contexts.push_back(ctx);
                continue;
            }
            const ULONG_PTR ctx = r.chance(95) ? r.pick(contexts) : ULONG_PTR(r.word());
            switch (r.below(10)) {
            case 0: {
                DWORD h = 0;
                if (kivD3d9xCreateTexture(&dev, ctx, &r.pick(textures)->lcl, &h).result == DD_OK) handles.push_back(h);
                break;
            }
            case 1:
                kivD3d9xDestroyTexture(&dev, ctx, handles.empty() || r.chance(20) ? r.word() : r.pick(handles));
                break;
            case 2:
                kivD3d9xSwapTextures(&dev, ctx, handles.empty() ? r.word() : r.pick(handles),
                                     handles.empty() || r.chance(20) ? r.word() : r.pick(handles));
                break;
            case 3: {
                DWORD v = 0;
                kivD3d9xGetRenderState(&dev, ctx, r.chance(80) ? r.below(64) : r.word(), &v);
                break;
            }
            case 4: case 5: {
                const std::vector<D3DTLVERTEX> v = vertices(r, 16);
                kivD3d9xDrawPrimitive(&dev, ctx, r.chance(90) ? 1 + r.below(6) : r.word(), v.data(), DWORD(v.size()));
                break;
            }
            case 8: {
                const Pair p = pair(r);
                const HRESULT set = kivD3d9xSetRenderTarget(&dev, ctx, &p.target->lcl, p.z ? &p.z->lcl : nullptr).result;
                if (set != D3DHAL_CONTEXT_BAD) {
                    EXPECT_EQ(set, p.want) << p.target->gbl.wWidth << "x" << p.target->gbl.wHeight;
                }
                break;
            }
            case 6:
                if (r.chance(10)) {
                    kivD3d9xDestroyContext(&dev, ctx);
                    std::erase(contexts, ctx);
                    handles.clear();
                }
                break;
            default:
                execute(r, ctx, handles);
                break;
            }
        }
        kivD3d9xDestroyAllContexts(&dev);
        triangleLands(r);
    }

    // An execute buffer of random vertices and random or mutated instructions.
    void execute(KivFuzzRandom &r, ULONG_PTR ctx, const std::vector<DWORD> &handles) {
        ExecBuffer *b = Exec(vertices(r, 12));
        const WORD n = WORD(b->vertexCount + 2);
        for (uint32_t k = 1 + r.below(6); k > 0; --k) {
            switch (r.below(5)) {
            case 0: {
                const DWORD state = r.chance(85) ? r.below(64) : r.word();
                DWORD value = r.chance(50) ? r.below(8) : r.word();
                if (state == 1 && !handles.empty() && r.chance(70)) value = r.pick(handles);   // the texture handle
                b->States({{state, value}});
                break;
            }
            case 1:
                b->Triangles({D3DTRIANGLE{WORD(r.below(n)), WORD(r.below(n)), WORD(r.below(n)), WORD(r.word())}});
                break;
            case 2:
                b->Lines({D3DLINE{WORD(r.below(n)), WORD(r.below(n))}});
                break;
            case 3:
                b->Points({D3DPOINT{WORD(r.below(n)), WORD(r.below(n))}});
                break;
            default: {
                // A header that lies about what follows, then whatever bytes.
                b->Instruction(BYTE(r.below(16)), BYTE(r.below(64)), WORD(r.chance(70) ? r.below(8) : r.word()));
                std::vector<uint8_t> junk(r.below(48));
                r.fill(junk.data(), junk.size());
                b->Put(junk.data(), junk.size());
                break;
            }
            }
        }
        if (r.chance(80)) b->Exit();
        DWORD status = 0;
        Run(ctx, b, &status);
    }

    // A fresh context with plain state draws a triangle over the target's centre.
    void triangleLands(KivFuzzRandom &r) {
        Clear(target, 0);
        ULONG_PTR ctx = 0;
        ASSERT_EQ(kivD3d9xCreateContext(&dev, &target->lcl, nullptr, &ctx).result, DD_OK);
        Plain(ctx);
        auto at = [](float x, float y) {
            D3DTLVERTEX v{};
            v.sx = x;
            v.sy = y;
            v.sz = 0.5f;
            v.rhw = 1.0f;
            v.color = 0xFFFFFFFF;
            v.specular = 0xFF000000;
            return v;
        };
        ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, {at(4, 4), at(60, 4), at(32, 44)}).result, DD_OK);
        EXPECT_TRUE(Lit(target, 32, 20)) << "a triangle no longer lands";
        EXPECT_FALSE(Lit(target, 2, 46)) << "a triangle lands outside itself";
        farTriangleLands(r, ctx, target);
        kivD3d9xDestroyContext(&dev, ctx);
        if (r.chance(30)) {
            Surf *edge = r.pick({wide, tall});
            ASSERT_EQ(kivD3d9xCreateContext(&dev, &edge->lcl, nullptr, &ctx).result, DD_OK);
            Plain(ctx);
            farTriangleLands(r, ctx, edge);
            kivD3d9xDestroyContext(&dev, ctx);
        }
        buffers.clear();
    }

    // A coordinate near the target: mostly on it, else up to 40 pixels off it, or on the line of
    // a side of the box the HAL cuts to (a pixel beyond the target's edge).
    static float Near(KivFuzzRandom &r, int size) {
        if (r.chance(60)) return float(r.below(size * 16)) / 16.0f;
        if (r.chance(25)) return r.chance(50) ? -1.0f : float(size + 1);
        return float(int(r.below((size + 80) * 16)) - 40 * 16) / 16.0f;
    }

    // A triangle from a corner on or near the target to two corners up to 1e30 pixels away (in a
    // wedge, or now and then nearly along an axis) lights the pixels inside it and no others.
    void farTriangleLands(KivFuzzRandom &r, ULONG_PTR ctx, Surf *on) {
        const int width = on->gbl.wWidth, height = on->gbl.wHeight;
        Clear(on, 0);
        const float x = Near(r, width), y = Near(r, height);
        const double a = r.below(6284) / 1000.0, spread = 0.05 + r.below(2950) / 1000.0;
        std::vector<D3DTLVERTEX> tri = {V(x, y)};
        for (double angle : {a, a + spread}) {
            const double d = Far(r);
            if (r.chance(20)) {   // nearly along an axis: the other coordinate near the target
                const double along = r.chance(50) ? d : -d;
                tri.push_back(r.chance(50) ? V(Near(r, width), float(y + along)) : V(float(x + along), Near(r, height)));
            } else {
                tri.push_back(V(float(x + d * std::cos(angle)), float(y + d * std::sin(angle))));
            }
        }
        ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, tri).result, DD_OK);
        for (int py = 0; py < height; py++)
            for (int px = 0; px < width; px++) {
                const int verdict = Verdict(tri, px, py);
                if (verdict != 0) {
                    ASSERT_EQ(Lit(on, px, py), verdict > 0)
                        << px << "," << py << " of (" << x << ", " << y << ") (" << tri[1].sx << ", " << tri[1].sy
                        << ") (" << tri[2].sx << ", " << tri[2].sy << ")";
                }
            }
    }

    Surf *target = nullptr, *small = nullptr, *z = nullptr;
    Surf *wide = nullptr, *tall = nullptr, *tooWide = nullptr, *tooTall = nullptr, *smallZ = nullptr;
    std::vector<Surf *> textures;
};

}  // namespace

TEST(FuzzSivhal, RandomDirect3dCallsAndExecuteBuffersLeaveTheHalDrawing) {
    D3dFuzz machine;
    machine.Start();
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    kivFuzzForEachSeed("fuzz_sivhal_d3d", [&](KivFuzzRandom &r, int) { machine.batch(r); });
    machine.Stop();
}
