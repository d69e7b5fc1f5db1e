// The chip and the software rasteriser draw the same pictures: triangles flat and smooth, every
// depth function, the alpha test, the blend pairs the chip expresses exactly, linear fog, clears,
// lines and points of the sizes the chip draws, and textured triangles between untextured ones.
#include <cmath>

#include "tests/zk3_render/render_fixture.h"

namespace {

void tri(GlContext *ctx, float x0, float y0, float x1, float y1, float x2, float y2, float z = 0.0f) {
    GL(glBegin)(GL_TRIANGLES);
    GL(glVertex3f)(x0, y0, z);
    GL(glVertex3f)(x1, y1, z);
    GL(glVertex3f)(x2, y2, z);
    GL(glEnd)();
}


// A fan of triangles in every direction around a centre, with vertices off the pixel grid and on
// it, so that every edge slope and both windings occur.
void fan(GlContext *ctx, bool smooth) {
    const float cx = 47.3f, cy = 31.6f;
    const float pts[][2] = {{90, 32}, {80, 60}, {48, 62}, {12, 58.5f}, {3.25f, 31}, {10, 4}, {47.5f, 2}, {85, 6.75f}};
    GL(glShadeModel)(smooth ? GL_SMOOTH : GL_FLAT);
    GL(glBegin)(GL_TRIANGLES);
    for (int i = 0; i < 8; ++i) {
        const float *a = pts[i], *b = pts[(i + 1) % 8];
        GL(glColor3f)(0.9f, 0.1f * float(i), 0.3f);
        GL(glVertex2f)(cx, cy);
        GL(glColor3f)(0.1f, 0.8f, 0.12f * float(i));
        GL(glVertex2f)(a[0], a[1]);
        // Neighbouring flat triangles differ by more than two 5-bit steps, so that their shared
        // edge counts as an edge where the roads may snap vertices differently.
        GL(glColor3f)(0.12f * float(i), 0.3f, 0.95f);
        GL(glVertex2f)(b[0], b[1]);
    }
    GL(glEnd)();
}

}  // namespace

TEST_F(RenderPair, FlatAndSmoothTriangles) {
    for (bool smooth : {false, true}) {
        SCOPED_TRACE(smooth ? "smooth" : "flat");
        expectSamePicture([smooth](GlContext *ctx) { fan(ctx, smooth); });
    }
    // Thin slivers and a strip: shared edges drawn once on both roads.
    expectSamePicture([](GlContext *ctx) {
        GL(glEnable)(GL_BLEND);
        GL(glBlendFunc)(GL_ONE, GL_ONE);
        GL(glColor3f)(0.25f, 0.25f, 0.25f);
        GL(glBegin)(GL_TRIANGLE_STRIP);
        for (int i = 0; i < 12; ++i) {
            GL(glVertex2f)(4.0f + 7.3f * float(i), i % 2 ? 60.0f : 3.5f);
        }
        GL(glEnd)();
        tri(ctx, 2, 30, 94, 31.4f, 3, 32);
    });
}

// Every function against depths written by drawing (left quad nearer, right quad farther, the
// rest the cleared far plane), then two wide triangles at the middle depth and at the left
// quad's depth.
TEST_F(RenderPair, EveryDepthFunction) {
    for (GLenum func = GL_NEVER; func <= GL_ALWAYS; ++func) {
        SCOPED_TRACE(func);
        expectSamePicture([func](GlContext *ctx) {
            GL(glEnable)(GL_DEPTH_TEST);
            GL(glDepthFunc)(GL_ALWAYS);
            GL(glColor3f)(0.6f, 0.0f, 0.0f);
            rect(ctx, 4, 4, 40, 60, 0.4f);
            GL(glColor3f)(0.0f, 0.0f, 0.6f);
            rect(ctx, 44, 4, 70, 60, -0.4f);
            GL(glDepthFunc)(func);
            GL(glColor3f)(0.0f, 0.9f, 0.0f);
            tri(ctx, 2, 10, 94, 20, 30, 50, 0.0f);
            GL(glColor3f)(0.9f, 0.9f, 0.0f);
            tri(ctx, 2, 40, 60, 62, 94, 30, 0.4f);
        });
    }
}

TEST_F(RenderPair, DepthClearsAndMaskedWrites) {
    expectSamePicture([](GlContext *ctx) {
        GL(glEnable)(GL_DEPTH_TEST);
        GL(glClearDepth)(0.75);
        GL(glClearColor)(0.2f, 0.4f, 0.6f, 0.0f);
        GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        GL(glColor3f)(1.0f, 0.0f, 0.0f);
        rect(ctx, 10, 10, 50, 50, -0.6f);  // depth 0.8: behind the cleared 0.75
        GL(glColor3f)(0.0f, 1.0f, 0.0f);
        rect(ctx, 30, 20, 80, 40, 0.2f);   // depth 0.4: in front
        GL(glDepthMask)(GL_FALSE);
        GL(glColor3f)(0.0f, 0.0f, 1.0f);
        rect(ctx, 40, 5, 60, 60, 0.3f);    // drawn, leaves depth alone
        GL(glDepthMask)(GL_TRUE);
        GL(glColor3f)(1.0f, 1.0f, 0.0f);
        rect(ctx, 20, 30, 90, 35, 0.25f);  // in front of 0.4? no: 0.375 < 0.4
    });
}

TEST_F(RenderPair, ColourClearsWithAndWithoutScissor) {
    expectSamePicture([](GlContext *ctx) {
        GL(glClearColor)(0.1f, 0.7f, 0.35f, 0.0f);
        GL(glClear)(GL_COLOR_BUFFER_BIT);
        GL(glEnable)(GL_SCISSOR_TEST);
        GL(glScissor)(10, 12, 40, 30);
        GL(glClearColor)(0.9f, 0.2f, 0.55f, 0.0f);
        GL(glClear)(GL_COLOR_BUFFER_BIT);
        GL(glScissor)(60, 0, 20, 64);
        GL(glClearColor)(1.0f, 1.0f, 1.0f, 0.0f);
        GL(glClear)(GL_COLOR_BUFFER_BIT);
    }, false);
}

// Flat alphas away from the reference, each function.
TEST_F(RenderPair, AlphaTest) {
    for (GLenum func = GL_NEVER; func <= GL_ALWAYS; ++func) {
        SCOPED_TRACE(func);
        expectSamePicture([func](GlContext *ctx) {
            GL(glEnable)(GL_ALPHA_TEST);
            GL(glAlphaFunc)(func, 0.5f);
            const float alphas[4] = {0.2f, 0.45f, 0.55f, 0.8f};
            for (int i = 0; i < 4; ++i) {
                GL(glColor4f)(0.2f * float(i + 1), 0.5f, 1.0f - 0.2f * float(i), alphas[i]);
                tri(ctx, 3.0f + 23.0f * float(i), 4, 24.0f + 23.0f * float(i), 10, 10.0f + 23.0f * float(i), 60);
            }
        }, func != GL_NEVER && func != GL_EQUAL);
    }
}

// Every pair the back end gives the chip: a background of opaque stripes, then triangles whose
// colour and alpha vary, bright enough that sums saturate.
TEST_F(RenderPair, TheBlendPairsTheChipDraws) {
    const GLenum factors[] = {GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                              GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR,
                              GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
    int drawnByChip = 0;
    for (GLenum src : factors)
        for (GLenum dst : factors) {
            if (dst == GL_SRC_ALPHA_SATURATE || dst == GL_DST_COLOR || dst == GL_ONE_MINUS_DST_COLOR) continue;
            if (!__glHwBlendEntry(src, dst).exact) continue;
            SCOPED_TRACE(testing::Message() << std::hex << src << " " << dst);
            ++drawnByChip;
            expectSamePicture([src, dst](GlContext *ctx) {
                GL(glShadeModel)(GL_SMOOTH);
                for (int i = 0; i < 4; ++i) {
                    GL(glColor3f)(i & 1 ? 0.9f : 0.3f, i & 2 ? 0.8f : 0.1f, 0.25f * float(i));
                    rect(ctx, 0, 16.0f * float(i), 96, 16.0f * float(i + 1));
                }
                GL(glEnable)(GL_BLEND);
                GL(glBlendFunc)(src, dst);
                GL(glBegin)(GL_TRIANGLES);
                GL(glColor4f)(1.0f, 0.9f, 0.2f, 0.9f);
                GL(glVertex2f)(4, 4);
                GL(glColor4f)(0.1f, 0.7f, 1.0f, 0.2f);
                GL(glVertex2f)(92, 10);
                GL(glColor4f)(0.8f, 0.2f, 0.6f, 0.6f);
                GL(glVertex2f)(40, 62);
                GL(glEnd)();
            });
        }
    EXPECT_GE(drawnByChip, 10);
}

TEST_F(RenderPair, LinearFog) {
    expectSamePicture([](GlContext *ctx) {
        GL(glEnable)(GL_FOG);
        GL(glFogi)(GL_FOG_MODE, GL_LINEAR);
        GL(glFogf)(GL_FOG_START, -0.5f);
        GL(glFogf)(GL_FOG_END, 0.8f);
        const float fog[4] = {0.3f, 0.3f, 0.9f, 1.0f};
        GL(glFogfv)(GL_FOG_COLOR, fog);
        GL(glShadeModel)(GL_SMOOTH);
        GL(glBegin)(GL_TRIANGLES);
        GL(glColor3f)(1.0f, 0.2f, 0.0f);
        GL(glVertex3f)(3, 3, 0.9f);
        GL(glColor3f)(0.0f, 1.0f, 0.2f);
        GL(glVertex3f)(93, 8, -0.9f);
        GL(glColor3f)(1.0f, 1.0f, 1.0f);
        GL(glVertex3f)(50, 61, 0.0f);
        GL(glEnd)();
    });
}

// The chip's line is a quad from end to end; the software line's last pixel follows the diamond
// rule, so a line's end pixels may differ (within the edge budget).
TEST_F(RenderPair, LinesOfEveryWidthTheChipDraws) {
    for (float width : {1.0f, 2.0f, 3.0f}) {
        SCOPED_TRACE(width);
        expectSamePicture([width](GlContext *ctx) {
            GL(glLineWidth)(width);
            GL(glShadeModel)(GL_FLAT);
            GL(glColor3f)(1.0f, 1.0f, 0.0f);
            GL(glBegin)(GL_LINES);
            const float ends[][4] = {{5, 5.5f, 90, 5.5f},   {5, 15, 90, 22},  {8.5f, 25, 8.5f, 60},
                                     {20, 28, 35, 62},      {50, 60, 92, 30}, {60.25f, 40.75f, 80.5f, 41.25f}};
            for (const auto &e : ends) {
                GL(glVertex2f)(e[0], e[1]);
                GL(glVertex2f)(e[2], e[3]);
            }
            GL(glEnd)();
        });
    }
}

TEST_F(RenderPair, PointsOfEverySizeTheChipDraws) {
    for (float size : {1.0f, 2.0f, 3.0f, 4.0f}) {
        SCOPED_TRACE(size);
        expectSamePicture([size](GlContext *ctx) {
            GL(glPointSize)(size);
            GL(glBegin)(GL_POINTS);
            for (int i = 0; i < 24; ++i) {
                GL(glColor3f)(1.0f, 0.04f * float(i), 0.5f);
                GL(glVertex2f)(4.0f + 3.7f * float(i), 6.0f + 2.3f * float(i));
            }
            GL(glEnd)();
        });
    }
}

namespace {

// The screen as the chip's video memory holds it: 1024 x 768 at 16 bits, from offset 0.
constexpr int kScreenPitch = 2048;
uint8_t *screen() { return zk3EngineChip()->videoMemory(); }

}  // namespace

// Drawing into the front buffer: the screen, in video memory whichever road draws, so the
// software road is the same context with the chip set aside. The picture is read from the screen,
// where the window's client area starts at (10, 20); the screen around it keeps its pattern.
TEST_F(RenderPair, TheFrontBufferOnTheScreen) {
    Picture pictures[2];
    uint64_t chipPixels[2] = {};
    for (int road = 0; road < 2; ++road) {
        open(true);
        ASSERT_FALSE(HasFatalFailure());
        if (road == 1) {
            ctx->hw.hardwareLost = 1;
            ctx->beginMode = kGlNeedValidate;
            ctx->dirtyMask |= 0x7FF;
        }
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x) {
                const uint16_t v = uint16_t(((x / 4 + y / 4) & 1) ? 0x1234 : 0x5555);
                std::memcpy(screen() + y * kScreenPitch + 2 * x, &v, 2);
            }
        const uint64_t before = zk3TriangleStats().pixelsWritten;
        GL(glDrawBuffer)(GL_FRONT);
        GL(glClearColor)(0.2f, 0.3f, 0.9f, 0.0f);
        GL(glClear)(GL_COLOR_BUFFER_BIT);
        fan(ctx, true);
        GL(glPointSize)(3.0f);
        GL(glBegin)(GL_POINTS);
        GL(glVertex2f)(20.5f, 200.5f);
        GL(glEnd)();
        GL(glBegin)(GL_LINES);
        GL(glVertex2f)(2, 230);
        GL(glVertex2f)(90, 200);
        GL(glEnd)();
        GL(glFinish)();
        chipPixels[road] = zk3TriangleStats().pixelsWritten - before;
        uint16_t outside;
        std::memcpy(&outside, screen() + 15 * kScreenPitch + 2 * 8, 2);   // screen (8, 15)
        EXPECT_EQ(outside, 0x1234);   // (8 / 4 + 15 / 4) is odd
        // Rows from the window's bottom (GL y 0) upwards, as in the other pictures.
        Picture &p = pictures[road];
        p.rgb.resize(size_t(3 * kPicW * kPicH));
        for (int c = 0; c < 3; ++c) p.step[c] = 9;
        for (int y = 0; y < kPicH; ++y)
            for (int x = 0; x < kPicW; ++x) {
                // The window's top rows hold the cover: GL rows from height - kPicH up.
                const int sy = 20 + (kPicH - 1 - y), sx = 10 + x;
                uint16_t v;
                std::memcpy(&v, screen() + sy * kScreenPitch + 2 * sx, 2);
                for (int c = 0; c < 3; ++c) p.rgb[size_t(3 * (y * kPicW + x) + c)] = uint8_t(((v >> (10 - 5 * c)) & 31) * 255 / 31);
            }
        // The chip was only set aside: the context's tear-down destroys its objects as usual.
        ctx->hw.hardwareLost = 0;
        closeContext();
    }
    EXPECT_GT(chipPixels[0], 0u);
    const Comparison c = compare(pictures[0], pictures[1]);
    EXPECT_EQ(c.interiorMisses, 0) << c.report;
    EXPECT_LE(c.edgeMisses, int(0.03 * c.edgePixels) + 2) << c.report;
    EXPECT_EQ(chipPixels[1], 0u);
}

// Textured triangles: nearest and linear, REPLACE and MODULATE. The back end cannot place
// textures in the chip's memory yet and draws them in software behind the chip's pending work, so
// the chip draws the background and the flush-first wrapper keeps the order.
TEST_F(RenderPair, TexturesOverTheChipsDrawing) {
    for (GLenum filter : {GL_NEAREST, GL_LINEAR})
        for (GLenum env : {GL_REPLACE, GL_MODULATE}) {
            SCOPED_TRACE(testing::Message() << std::hex << filter << " " << env);
            expectSamePicture([filter, env](GlContext *ctx) {
                GL(glColor3f)(0.2f, 0.6f, 0.3f);
                tri(ctx, 0, 0, 96, 0, 48, 64);
                uint8_t texels[8 * 8 * 4];
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) {
                        uint8_t *t = texels + 4 * (y * 8 + x);
                        t[0] = uint8_t(x * 32), t[1] = uint8_t(y * 32), t[2] = uint8_t(((x ^ y) & 1) * 255), t[3] = 255;
                    }
                GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGBA, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
                GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(filter));
                GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(filter));
                GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(env));
                GL(glEnable)(GL_TEXTURE_2D);
                GL(glColor3f)(1.0f, 0.5f, 0.75f);
                GL(glBegin)(GL_QUADS);
                GL(glTexCoord2f)(0, 0);
                GL(glVertex2f)(8, 8);
                GL(glTexCoord2f)(1, 0);
                GL(glVertex2f)(72, 8);
                GL(glTexCoord2f)(1, 1);
                GL(glVertex2f)(72, 56);
                GL(glTexCoord2f)(0, 1);
                GL(glVertex2f)(8, 56);
                GL(glEnd)();
                GL(glDisable)(GL_TEXTURE_2D);
            });
        }
}

// A front buffer that other windows overlap: only the software stores test pixel ownership, so
// triangles, lines and points go to software and the chip draws none of them.
TEST_F(RenderPair, AnOverlappedFrontBufferIsLeftToSoftware) {
    open(true);
    ASSERT_FALSE(HasFatalFailure());
    GL(glDrawBuffer)(GL_FRONT);
    ctx->tail.drawableBuffers->contextState = 1;
    ctx->beginMode = kGlNeedValidate;
    ctx->dirtyMask |= 0x7FF;
    const uint64_t before = zk3TriangleStats().triangles;
    tri(ctx, 2, 2, 40, 2, 2, 40);
    GL(glBegin)(GL_LINES);
    GL(glVertex2f)(2, 50);
    GL(glVertex2f)(60, 50);
    GL(glEnd)();
    GL(glBegin)(GL_POINTS);
    GL(glVertex2f)(70, 20);
    GL(glEnd)();
    GL(glFinish)();
    EXPECT_EQ(ctx->slots.primitive.renderTriangle, __glFlushThenTriangle);
    EXPECT_EQ(ctx->slots.primitive.renderLine, __glHwFlushThenSoftLine);
    EXPECT_EQ(ctx->slots.primitive.renderPoint, __glHwFlushThenSoftPoint);
    EXPECT_EQ(zk3TriangleStats().triangles, before);
    ctx->tail.drawableBuffers->contextState = 0;
}

// The swap of a window whose back buffer is in video memory: the chip's blit object copies the
// back buffer onto the window's place on the screen.
TEST_F(RenderPair, TheChipsSwapBlitsTheBackBufferToTheScreen) {
    open(true);
    ASSERT_FALSE(HasFatalFailure());
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) std::memcpy(screen() + y * kScreenPitch + 2 * x, "\x34\x12", 2);
    GL(glClearColor)(1.0f, 0.0f, 0.0f, 0.0f);
    GL(glClear)(GL_COLOR_BUFFER_BIT);
    GL(glColor3f)(0.0f, 0.0f, 1.0f);
    rect(ctx, 0, 0, 20, 10);   // the window's lower-left corner
    const uint64_t blitsBefore = zk3DrawStats().blits;
    ASSERT_EQ(DrvSwapLayerBuffers(window->hdc, 1), TRUE);
    GL(glFinish)();
    EXPECT_GT(zk3DrawStats().blits, blitsBefore);
    auto at = [](int x, int y) {
        uint16_t v;
        std::memcpy(&v, screen() + y * kScreenPitch + 2 * x, 2);
        return v;
    };
    const int bottom = 20 + ctx->handle->drawable->height - 1;   // the client area's last row
    EXPECT_EQ(at(10, 20), 0x7C00) << "the window's top left: the clear colour";
    EXPECT_EQ(at(10, bottom), 0x001F) << "its bottom left: the blue rectangle";
    EXPECT_EQ(at(29, bottom - 9), 0x001F);
    EXPECT_EQ(at(30, bottom), 0x7C00);
    EXPECT_EQ(at(9, 20), 0x1234) << "left of the window";
    EXPECT_EQ(at(10, 19), 0x1234) << "above the window";
}

// The scissor box cuts triangles, lines and points on both roads alike: the back end sends it to
// the chip as the clip rectangle, and the whole window again once the scissor test is off.
TEST_F(RenderPair, TheScissorBox) {
    expectSamePicture([](GlContext *ctx) {
        GL(glEnable)(GL_SCISSOR_TEST);
        GL(glScissor)(20, 10, 50, 30);
        fan(ctx, true);
        GL(glColor3f)(1.0f, 1.0f, 1.0f);
        GL(glBegin)(GL_LINES);
        GL(glVertex2f)(0, 20);
        GL(glVertex2f)(96, 25);
        GL(glEnd)();
        GL(glPointSize)(4.0f);
        GL(glBegin)(GL_POINTS);
        GL(glVertex2f)(21, 11);
        GL(glVertex2f)(69, 39);
        GL(glEnd)();
        // Back to the whole window, and a second, smaller box.
        GL(glDisable)(GL_SCISSOR_TEST);
        GL(glColor4f)(0.5f, 0.0f, 0.5f, 1.0f);
        tri(ctx, 0, 60, 96, 62, 90, 45);
        GL(glEnable)(GL_SCISSOR_TEST);
        GL(glScissor)(75, 0, 10, 64);
        GL(glColor3f)(0.0f, 0.7f, 0.7f);
        tri(ctx, 0, 0, 96, 30, 0, 64);
    });
}

// The triangle's second road on the chip: polygon modes (edges as the chip's lines, corners as its
// points) and polygon offset (a coplanar quad drawn again in front with GL_LESS).
TEST_F(RenderPair, PolygonModesAndPolygonOffset) {
    for (GLenum mode : {GL_LINE, GL_POINT}) {
        SCOPED_TRACE(mode);
        expectSamePicture([mode](GlContext *ctx) {
            GL(glPolygonMode)(GL_FRONT_AND_BACK, mode);
            GL(glPointSize)(2.0f);
            fan(ctx, false);
        });
    }
    expectSamePicture([](GlContext *ctx) {
        GL(glEnable)(GL_DEPTH_TEST);
        GL(glColor3f)(0.8f, 0.1f, 0.1f);
        tri(ctx, 4, 4, 90, 10, 40, 60, 0.1f);
        GL(glEnable)(GL_POLYGON_OFFSET_FILL);
        GL(glPolygonOffset)(0.0f, -4.0f);
        GL(glColor3f)(0.1f, 0.8f, 0.1f);
        tri(ctx, 4, 4, 90, 10, 40, 60, 0.1f);
    });
}

// Polygons (one fan with the strip walk's tags), strips, fans and quads, with and without culling.
TEST_F(RenderPair, PolygonsStripsAndCulling) {
    for (bool cull : {false, true}) {
        SCOPED_TRACE(cull ? "cull back faces" : "no culling");
        expectSamePicture([cull](GlContext *ctx) {
            if (cull) GL(glEnable)(GL_CULL_FACE);
            GL(glShadeModel)(GL_SMOOTH);
            GL(glBegin)(GL_POLYGON);
            for (int i = 0; i < 7; ++i) {
                const float a = 6.2831853f * float(i) / 7.0f;
                GL(glColor3f)(0.5f + 0.5f * std::cos(a), 0.5f + 0.5f * std::sin(a), 0.4f);
                GL(glVertex2f)(24.0f + 20.0f * std::cos(a), 32.0f + 20.0f * std::sin(a));
            }
            GL(glEnd)();
            GL(glBegin)(GL_QUAD_STRIP);
            for (int i = 0; i < 6; ++i) {
                GL(glColor3f)(0.1f * float(i), 0.9f, 0.5f);
                GL(glVertex2f)(50.0f + 8.0f * float(i), 4.0f + float(i % 2));
                GL(glVertex2f)(50.0f + 8.0f * float(i), 28.0f - float(i % 3));
            }
            GL(glEnd)();
            GL(glBegin)(GL_TRIANGLE_FAN);   // clockwise: culled when culling
            GL(glColor3f)(1.0f, 1.0f, 1.0f);
            GL(glVertex2f)(70, 46);
            for (int i = 0; i < 6; ++i) {
                GL(glColor3f)(0.2f, 0.2f * float(i), 1.0f);
                GL(glVertex2f)(70.0f + 20.0f * std::cos(-1.0f * float(i)), 46.0f + 16.0f * std::sin(-1.0f * float(i)));
            }
            GL(glEnd)();
        }, true);
    }
}

// The device's start-up stream (which ends with an empty rectangle, before any surface is set)
// leaves the chip model nothing to complain of.
TEST_F(RenderPair, OpeningAContextLeavesTheModelWithoutErrors) {
    zk3DrawClearErrors();
    open(true);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
    closeContext();
}
