// The scenes' drawing, the probes and the bitmap target: see scenes.h.
#include "apps/kivdemo/scenes.h"

#include "platform/machine/machine.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kivscenes {

std::vector<uint8_t> Picture::rgb8() const {
    std::vector<uint8_t> out(size_t(w) * h * 3);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const int m = channelMax(c);
                out[(size_t(row) * w + x) * 3 + c] = uint8_t((channel(x, h - 1 - row, c) * 255 + m / 2) / m);
            }
    return out;
}

bool Picture::untouched(int x, int y) const {
    uint32_t p = 0;
    std::memset(&p, 0xA5, bytesPerPixel);
    return raw(x, y) == p;
}

void BitmapTarget::poison() {
    for (int row = 0; row < h; ++row)
        std::memset(static_cast<uint8_t *>(bits) + size_t(row) * picture.pitch, 0xA5, picture.pitch);
}

bool BitmapTarget::fail(const std::string &reason) {
    why = reason;
    return false;
}

bool BitmapTarget::open() {
    using CreateDibFn = HBITMAP(WINAPI *)(HDC, const void *, UINT, void **, HANDLE, DWORD);
    // Looked up by name: the platform's DIB sections may not be there in every build.
    auto createDib = reinterpret_cast<CreateDibFn>(dlsym(RTLD_DEFAULT, "CreateDIBSection"));
    if (!createDib) return fail("the platform has no DIB sections (CreateDIBSection)");
    screen = GetDC(nullptr);
    memdc = CreateCompatibleDC(screen);
    if (!memdc) return fail("no memory DC");

    PIXELFORMATDESCRIPTOR want{};
    want.nSize = sizeof want;
    want.nVersion = 1;
    want.dwFlags = PFD_DRAW_TO_BITMAP | PFD_SUPPORT_OPENGL;
    want.iPixelType = PFD_TYPE_RGBA;
    want.cColorBits = 16;
    want.cDepthBits = 16;
    want.cStencilBits = 8;
    format = ChoosePixelFormat(memdc, &want);
    bitmapFormat = format != 0;
    if (!format) {  // no format draws to bitmaps: take the single-buffered one the driver has
        want.dwFlags = PFD_SUPPORT_OPENGL;
        format = ChoosePixelFormat(memdc, &want);
    }
    if (!format || !DescribePixelFormat(memdc, format, sizeof pfd, &pfd))
        return fail("the display driver describes no RGBA OpenGL pixel format");
    if (pfd.cColorBits != 16 && pfd.cColorBits != 32)
        return fail("pixel format " + std::to_string(format) + " has " + std::to_string(pfd.cColorBits) +
                    " colour bits");

    Picture &p = picture;
    p.w = w;
    p.h = h;
    p.bytesPerPixel = pfd.cColorBits / 8;
    p.masks[0] = ((1u << pfd.cRedBits) - 1) << pfd.cRedShift;
    p.masks[1] = ((1u << pfd.cGreenBits) - 1) << pfd.cGreenShift;
    p.masks[2] = ((1u << pfd.cBlueBits) - 1) << pfd.cBlueShift;
    p.pitch = (w * p.bytesPerPixel + 3) & ~3;
    DibInfo info{};
    info.size = 40;
    info.width = w;
    info.height = -h;  // top-down
    info.planes = 1;
    info.bitCount = uint16_t(pfd.cColorBits);
    info.compression = kBiBitfields;
    info.sizeImage = uint32_t(p.pitch * h);
    std::memcpy(info.masks, p.masks, sizeof p.masks);
    dib = createDib(memdc, &info, kDibRgbColors, &bits, nullptr, 0);
    if (!dib || !bits) return fail("CreateDIBSection refused a " + std::to_string(w) + " x " + std::to_string(h) +
                                    " bitmap");
    p.bits = bits;
    previous = SelectObject(memdc, dib);
    if (!previous) return fail("the DIB section could not be selected into the memory DC");
    poison();
    if (!SetPixelFormat(memdc, format, &pfd))
        return fail("SetPixelFormat " + std::to_string(format) + " on the memory DC failed");
    rc = wglCreateContext(memdc);
    if (!rc) return fail(std::string("wglCreateContext on the memory DC: ") + kivOpenGlError());
    if (!wglMakeCurrent(memdc, rc)) return fail(std::string("wglMakeCurrent: ") + kivOpenGlError());
    ok = true;
    return true;
}

void BitmapTarget::close() {
    if (rc) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(rc);
    }
    if (memdc && previous) SelectObject(memdc, previous);
    if (dib) DeleteObject(dib);
    if (memdc) DeleteDC(memdc);
    if (screen) ReleaseDC(nullptr, screen);
}

bool WindowTarget::fail(const std::string &reason) {
    why = reason;
    return false;
}

bool WindowTarget::open(int x, int y) {
    hwnd = CreateWindowExA(0, "kivdemo", "kivdemo", WS_VISIBLE, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
    if (!hwnd) return fail("no window");
    hdc = GetDC(hwnd);
    PIXELFORMATDESCRIPTOR want{};
    want.nSize = sizeof want;
    want.nVersion = 1;
    want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    want.iPixelType = PFD_TYPE_RGBA;
    want.cColorBits = 16;
    want.cDepthBits = 16;
    want.cStencilBits = 8;
    const int format = ChoosePixelFormat(hdc, &want);
    if (!format || !SetPixelFormat(hdc, format, nullptr)) return fail("no double-buffered window format");
    rc = wglCreateContext(hdc);
    if (!rc) return fail(std::string("wglCreateContext on the window: ") + kivOpenGlError());
    if (!makeCurrent()) return fail(std::string("wglMakeCurrent: ") + kivOpenGlError());
    ok = true;
    return true;
}

void WindowTarget::close() {
    if (rc) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(rc);
    }
    if (hdc) ReleaseDC(hwnd, hdc);
    if (hwnd) DestroyWindow(hwnd);
}

Picture WindowTarget::screen() {
    Picture p;
    const uint8_t *bits = nullptr;
    int pitch = 0;
    if (!kivScreenPixels(&bits, &pitch)) return p;
    const KivScreenMode *mode = kivScreenMode();
    p.bits = bits;
    p.w = mode->width;
    p.h = mode->height;
    p.pitch = pitch;
    p.bytesPerPixel = (mode->bpp + 7) / 8;
    p.topDown = true;
    if (mode->bpp == 16) {
        p.masks[0] = 0x7C00, p.masks[1] = 0x03E0, p.masks[2] = 0x001F;
    } else {
        p.masks[0] = 0xFF0000, p.masks[1] = 0xFF00, p.masks[2] = 0xFF;
    }
    return p;
}

Picture WindowTarget::onScreen() const {
    Picture whole = screen();
    POINT at{0, 0};
    if (whole.bits == nullptr || !ClientToScreen(hwnd, &at) || at.x < 0 || at.y < 0 || at.x + w > whole.w ||
        at.y + h > whole.h)
        return Picture{};
    Picture p = whole;
    p.bits = static_cast<const uint8_t *>(whole.bits) + size_t(at.y) * whole.pitch + size_t(at.x) * whole.bytesPerPixel;
    p.w = w;
    p.h = h;
    return p;
}

void windowProjection(int w, int h) {
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, 0, h, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// A frustum of the window's aspect, halfHeight high at the near plane; the model-view reset.
static void perspective(int w, int h, double halfHeight, double zNear, double zFar) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double aspect = double(w) / h;
    glFrustum(-halfHeight * aspect, halfHeight * aspect, -halfHeight, halfHeight, zNear, zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void startScene(int w, int h, float r, float g, float b) {
    glDisable(GL_DITHER);
    glClearColor(r, g, b, 1.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    windowProjection(w, h);
}

void quad(float x0, float y0, float x1, float y1, float z) {
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, z);
    glVertex3f(x1, y0, z);
    glVertex3f(x1, y1, z);
    glVertex3f(x0, y1, z);
    glEnd();
}

void Triangle::corners(int w, int h, float out[3][2]) {
    const float c[3][2] = {{0.1f * w, 0.1f * h}, {0.9f * w, 0.1f * h}, {0.5f * w, 0.9f * h}};
    std::memcpy(out, c, sizeof c);
}

void Triangle::draw(int w, int h) {
    startScene(w, h, kClear[0], kClear[1], kClear[2]);
    float p[3][2];
    corners(w, h, p);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    glColor3f(1, 0, 0);
    glVertex2f(p[0][0], p[0][1]);
    glColor3f(0, 1, 0);
    glVertex2f(p[1][0], p[1][1]);
    glColor3f(0, 0, 1);
    glVertex2f(p[2][0], p[2][1]);
    glEnd();
}

void DepthOrder::draw(int w, int h) {
    startScene(w, h, kClear[0], kClear[1], kClear[2]);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_FLAT);
    const float x0 = 0.1f * w, x1 = 0.9f * w;
    glBegin(GL_QUADS);
    glColor3f(1, 0, 0);  // z 0.8 (window depth 0.1) at x0 to -0.8 (depth 0.9) at x1
    glVertex3f(x0, 0.1f * h, 0.8f);
    glVertex3f(x1, 0.1f * h, -0.8f);
    glVertex3f(x1, 0.6f * h, -0.8f);
    glVertex3f(x0, 0.6f * h, 0.8f);
    glColor3f(0, 1, 0);
    glVertex3f(x0, 0.4f * h, -0.8f);
    glVertex3f(x1, 0.4f * h, 0.8f);
    glVertex3f(x1, 0.9f * h, 0.8f);
    glVertex3f(x0, 0.9f * h, -0.8f);
    glEnd();
    glDisable(GL_DEPTH_TEST);
}

void Torus::draw(int w, int h) {
    startScene(w, h, kClear[0], kClear[1], kClear[2]);
    perspective(w, h, 0.5, 1.0, 10.0);

    const GLfloat lightDir[4] = {0.4f, 0.7f, 1.0f, 0.0f};  // directional, from the upper right
    const GLfloat white[4] = {1, 1, 1, 1}, dim[4] = {0.15f, 0.15f, 0.15f, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, lightDir);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, dim);
    const GLfloat gold[4] = {0.85f, 0.6f, 0.2f, 1}, shine[4] = {0.9f, 0.9f, 0.8f, 1};
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, gold);
    glMaterialfv(GL_FRONT, GL_SPECULAR, shine);
    glMaterialf(GL_FRONT, GL_SHININESS, 40.0f);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glShadeModel(GL_SMOOTH);

    glTranslatef(0, 0, -3.2f);
    glRotatef(-55, 1, 0, 0);
    glRotatef(20, 0, 1, 0);
    glScalef(1.4f, 1.4f, 1.0f);  // scales the normals too: GL_NORMALIZE puts them back to unit length
    const float pi = 3.14159265f;
    for (int i = 0; i < kRings; ++i) {
        glBegin(GL_QUAD_STRIP);
        for (int j = 0; j <= kSides; ++j) {
            for (int k = 0; k <= 1; ++k) {  // ring i, then i + 1: counter-clockwise seen from outside
                const float u = 2 * pi * (i + k) / kRings, v = 2 * pi * j / kSides;
                const float cx = std::cos(u), sy = std::sin(u), cv = std::cos(v), sv = std::sin(v);
                glNormal3f(cx * cv, sy * cv, sv);
                glVertex3f((kMajor + kMinor * cv) * cx, (kMajor + kMinor * cv) * sy, kMinor * sv);
            }
        }
        glEnd();
    }
    glDisable(GL_CULL_FACE);
    glDisable(GL_NORMALIZE);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
}

void Blend::draw(int w, int h) {
    startScene(w, h, kClear[0], kClear[1], kClear[2]);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (const auto &q : kQuads) {
        glColor4f(q[4], q[5], q[6], kAlpha);
        quad(q[0] * w, q[1] * h, q[2] * w, q[3] * h);
    }
    glColor4f(1, 1, 1, kBarAlpha);
    quad(kBar[0] * w, kBar[1] * h, kBar[2] * w, kBar[3] * h);
    glDisable(GL_BLEND);
}

void Stencil::disc(int w, int h, float *cx, float *cy, float *r) {
    *cx = 0.5f * w;
    *cy = 0.5f * h;
    *r = 0.4f * (w < h ? w : h);
}

void Stencil::draw(int w, int h) {
    startScene(w, h, kClear[0], kClear[1], kClear[2]);
    float cx, cy, r;
    disc(w, h, &cx, &cy, &r);
    glEnable(GL_STENCIL_TEST);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glStencilFunc(GL_ALWAYS, 1, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    glBegin(GL_TRIANGLE_FAN);
    glVertex2f(cx, cy);
    for (int i = 0; i <= 64; ++i) {
        const float a = 2 * 3.14159265f * i / 64;
        glVertex2f(cx + r * std::cos(a), cy + r * std::sin(a));
    }
    glEnd();
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glStencilFunc(GL_EQUAL, 1, 0xFF);
    for (int y = 0, i = 0; y < h; y += kStripe, ++i) {
        glColor3fv(kInside[i & 1]);
        quad(0, float(y), float(w), float(y + kStripe));
    }
    glStencilFunc(GL_NOTEQUAL, 1, 0xFF);
    glColor3fv(kOutside);
    quad(0, 0, float(w), float(h));
    glDisable(GL_STENCIL_TEST);
}

void Fog::draw(int w, int h) {
    startScene(w, h, kFogColor[0], kFogColor[1], kFogColor[2]);
    perspective(w, h, 0.1, 0.2, 60.0);
    const GLfloat fog[4] = {kFogColor[0], kFogColor[1], kFogColor[2], 1};
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, kStart);
    glFogf(GL_FOG_END, kEnd);
    glFogfv(GL_FOG_COLOR, fog);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_FLAT);
    glTranslatef(0, -1.0f, 0);
    for (int z = 0; z < 40; ++z)  // the floor: 2-unit tiles from z = -1 to -81
        for (int x = -5; x < 5; ++x) {
            const float c = ((x + z) & 1) ? 0.9f : 0.15f;
            glColor3f(c, c * 0.9f, c * 0.6f);
            glBegin(GL_QUADS);
            glVertex3f(2.0f * x, 0, -1.0f - 2 * z);
            glVertex3f(2.0f * x + 2, 0, -1.0f - 2 * z);
            glVertex3f(2.0f * x + 2, 0, -3.0f - 2 * z);
            glVertex3f(2.0f * x, 0, -3.0f - 2 * z);
            glEnd();
        }
    for (int i = 0; i < 12; ++i) {  // posts: red on the left, green on the right
        const float z = -3.0f - 5.0f * i;
        for (int side = -1; side <= 1; side += 2) {
            glColor3f(side < 0 ? 0.8f : 0.1f, side < 0 ? 0.1f : 0.7f, 0.1f);
            const float x = 2.5f * side;
            glBegin(GL_QUADS);
            glVertex3f(x - 0.2f, 0, z);
            glVertex3f(x + 0.2f, 0, z);
            glVertex3f(x + 0.2f, 2.0f, z);
            glVertex3f(x - 0.2f, 2.0f, z);
            glEnd();
        }
    }
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
}

void Arrays::draw(int w, int h) {
    startScene(w, h, kClear[0], kClear[1], kClear[2]);
    glShadeModel(GL_FLAT);
    // The board: one vertex per cell corner would share colours between cells, so every
    // cell gets its four corners, colour C3F then position V3F, as glInterleavedArrays reads.
    std::vector<float> board;
    std::vector<GLushort> indices;
    const float x0 = kBoard[0] * w, y0 = kBoard[1] * h;
    const float cw = (kBoard[2] - kBoard[0]) * w / kCells, ch = (kBoard[3] - kBoard[1]) * h / kCells;
    for (int cy = 0; cy < kCells; ++cy)
        for (int cx = 0; cx < kCells; ++cx) {
            const float *c = lightCell(cx, cy) ? kLight : kDark;
            const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
            const GLushort base = GLushort(board.size() / 6);
            for (const auto &k : corners) {
                board.insert(board.end(), {c[0], c[1], c[2], x0 + (cx + k[0]) * cw, y0 + (cy + k[1]) * ch, 0.0f});
            }
            for (GLushort k = 0; k < 4; ++k) indices.push_back(GLushort(base + k));
        }
    glInterleavedArrays(GL_C3F_V3F, 0, board.data());
    glDrawElements(GL_QUADS, GLsizei(indices.size()), GL_UNSIGNED_SHORT, indices.data());

    // The band: pairs of vertices bottom, top from left to right, smooth blue.
    std::vector<float> positions, colors;
    for (int i = 0; i < kBandPairs; ++i) {
        const float x = (kBand[0] + (kBand[2] - kBand[0]) * i / (kBandPairs - 1)) * w;
        positions.insert(positions.end(), {x, kBand[1] * h, x, kBand[3] * h});
        for (int k = 0; k < 2; ++k) colors.insert(colors.end(), {0.0f, 0.0f, bandBlue(i)});
    }
    glShadeModel(GL_SMOOTH);
    glVertexPointer(2, GL_FLOAT, 0, positions.data());
    glColorPointer(3, GL_FLOAT, 0, colors.data());
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 2 * kBandPairs);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void Lines::gridBox(int w, int h, int *x1, int *y1) {
    *x1 = 4 + kGridStep * ((w / 2 - 4) / kGridStep);
    *y1 = 4 + kGridStep * ((h / 2 - 4) / kGridStep);
}

void Lines::loopBox(int w, int h, int box[4]) {
    box[0] = w / 2 + 10;
    box[1] = 10;
    box[2] = w - 11;
    box[3] = h / 2 - 6;
}

void Lines::pointCentre(int w, int h, int i, int *x, int *y) {
    *x = w / 8 + i * (w / (kPoints + 2));
    *y = h * 3 / 4;
}

void Lines::draw(int w, int h) {
    startScene(w, h, kClear[0], kClear[1], kClear[2]);
    glShadeModel(GL_FLAT);
    int gx1, gy1;
    gridBox(w, h, &gx1, &gy1);
    glColor3fv(kGrid);
    glBegin(GL_LINES);  // through pixel centres: rows and columns 4, 14, ...
    for (int y = 4; y <= gy1; y += kGridStep) {
        glVertex2f(4.5f, y + 0.5f);
        glVertex2f(gx1 + 0.5f, y + 0.5f);
    }
    for (int x = 4; x <= gx1; x += kGridStep) {
        glVertex2f(x + 0.5f, 4.5f);
        glVertex2f(x + 0.5f, gy1 + 0.5f);
    }
    glEnd();
    int box[4];
    loopBox(w, h, box);
    glColor3fv(kLoop);
    glBegin(GL_LINE_LOOP);
    glVertex2f(box[0] + 0.5f, box[1] + 0.5f);
    glVertex2f(box[2] + 0.5f, box[1] + 0.5f);
    glVertex2f(box[2] + 0.5f, box[3] + 0.5f);
    glVertex2f(box[0] + 0.5f, box[3] + 0.5f);
    glEnd();
    glShadeModel(GL_SMOOTH);
    glBegin(GL_LINE_STRIP);  // a zigzag across the middle, red to blue
    for (int i = 0; i <= 8; ++i) {
        glColor3f(1.0f - i / 8.0f, 0, i / 8.0f);
        glVertex2f(w * (0.1f + 0.1f * i), h * ((i & 1) ? 0.62f : 0.52f));
    }
    glEnd();
    glColor3fv(kPoint);
    for (int i = 0; i < kPoints; ++i) {
        int x, y;
        pointCentre(w, h, i, &x, &y);
        glPointSize(float(2 * i + 1));
        glBegin(GL_POINTS);
        glVertex2f(x + 0.5f, y + 0.5f);
        glEnd();
    }
    glPointSize(1.0f);
}

void Texture::draw(int w, int h) {
    startScene(w, h, kClear[0], kClear[1], kClear[2]);
    uint8_t texels[kTexels * kTexels * 3];
    for (int t = 0; t < kTexels; ++t)
        for (int s = 0; s < kTexels; ++s)
            std::memcpy(texels + 3 * (t * kTexels + s), texelA(s, t) ? kA : kB, 3);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, kTexels, kTexels, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    texturedQuad(kQuad, w, h, false);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glShadeModel(GL_SMOOTH);
    texturedQuad(kQuad2, w, h, true);
    glDisable(GL_TEXTURE_2D);
    glDeleteTextures(1, &name);
}

void Texture::texturedQuad(const float q[4], int w, int h, bool shaded) {
    const float x0 = q[0] * w, y0 = q[1] * h, x1 = q[2] * w, y1 = q[3] * h;
    glBegin(GL_QUADS);
    if (shaded) glColor3f(1, 1, 1);
    glTexCoord2f(0, 0);
    glVertex2f(x0, y0);
    if (shaded) glColor3f(0.2f, 0.4f, 1);
    glTexCoord2f(1, 0);
    glVertex2f(x1, y0);
    if (shaded) glColor3f(1, 1, 1);
    glTexCoord2f(1, 1);
    glVertex2f(x1, y1);
    if (shaded) glColor3f(1, 0.8f, 0.2f);
    glTexCoord2f(0, 1);
    glVertex2f(x0, y1);
    glEnd();
}

bool near(const Picture &t, int x, int y, const float rgb[3], int tolerance) {
    for (int c = 0; c < 3; ++c)
        if (std::abs(t.channel(x, y, c) - t.units(rgb[c], c)) > tolerance) return false;
    return true;
}

bool near(const Picture &t, int x, int y, float r, float g, float b, int tolerance) {
    const float rgb[3] = {r, g, b};
    return near(t, x, y, rgb, tolerance);
}

std::string probeAny(const Picture &t, const float clear[3]) {
    if (t.untouched(t.w / 2, t.h / 2) && t.untouched(0, 0)) return "nothing reached the bitmap's memory";
    if (!near(t, 0, 0, clear)) return "the clear colour is missing in the corner";
    return "";
}

std::string probeTriangle(const Picture &t) {
    std::string why = probeAny(t, Triangle::kClear);
    if (!why.empty()) return why;
    float p[3][2];
    Triangle::corners(t.w, t.h, p);
    const int x = int((p[0][0] + p[1][0] + p[2][0]) / 3), y = int((p[0][1] + p[1][1] + p[2][1]) / 3);
    if (near(t, x, y, Triangle::kClear)) return "no triangle drawn";
    if (near(t, x, y, 1, 0, 0) || near(t, x, y, 0, 0, 1)) return "the triangle is flat, not smooth";
    return "";
}

std::string probeDepth(const Picture &t) {
    std::string why = probeAny(t, DepthOrder::kClear);
    if (!why.empty()) return why;
    const int y = t.h / 2;
    if (near(t, t.w / 5, y, 0, 0, 0)) return "no quads drawn";
    if (!near(t, t.w / 5, y, 1, 0, 0)) return "the nearer red quad does not hide the green one (no depth test)";
    if (!near(t, t.w * 4 / 5, y, 0, 1, 0)) return "the nearer green quad does not show";
    return "";
}

std::string probeTorus(const Picture &t) {
    std::string why = probeAny(t, Torus::kClear);
    if (!why.empty()) return why;
    int drawn = 0, bright = 0;
    for (int y = 0; y < t.h; y += 2)
        for (int x = 0; x < t.w; x += 2) {
            if (near(t, x, y, Torus::kClear)) continue;
            ++drawn;
            bright += t.channel(x, y, 2) * 2 > t.channelMax(2);  // the gold is blue-poor: blue means highlight
        }
    if (drawn * 20 < (t.w / 2) * (t.h / 2)) return "the torus covers almost nothing";
    if (bright == 0) return "no specular highlight";
    return "";
}

std::string probeBlend(const Picture &t) {
    std::string why = probeAny(t, Blend::kClear);
    if (!why.empty()) return why;
    const int x = int(0.40f * t.w), y = int(0.42f * t.h);  // red, then green over it
    if (near(t, x, y, 0, 1, 0) || near(t, x, y, 0, 0.5f, 0)) return "the green quad replaced the red (no blending)";
    if (!near(t, x, y, 0.25f, 0.5f, 0)) return "the red-green overlap is not (0.25, 0.5, 0)";
    return "";
}

std::string probeStencil(const Picture &t) {
    std::string why = probeAny(t, Stencil::kOutside);
    if (!why.empty()) return why;
    const int x = t.w / 2, y = t.h / 2;
    if (!near(t, x, y, Stencil::kInside[(y / Stencil::kStripe) & 1])) return "the disc shows no stripes";
    return "";
}

std::string probeFog(const Picture &t) {
    if (t.untouched(t.w / 2, t.h / 2) && t.untouched(0, 0)) return "nothing reached the bitmap's memory";
    if (!near(t, t.w / 2, t.h - 1, Fog::kFogColor)) return "the sky is not the fog colour";
    // Just below the horizon the floor is far past the fog's end: all fog.
    if (!near(t, t.w / 2, t.h / 2 - 2, Fog::kFogColor, 2)) return "the far floor is not fogged";
    if (near(t, t.w / 2, 0, Fog::kFogColor, 3)) return "the near floor is fogged over (or not drawn)";
    return "";
}

std::string probeArrays(const Picture &t) {
    std::string why = probeAny(t, Arrays::kClear);
    if (!why.empty()) return why;
    const int cx = int((Arrays::kBoard[0] + (Arrays::kBoard[2] - Arrays::kBoard[0]) / (2 * Arrays::kCells)) * t.w);
    const int cy = int((Arrays::kBoard[1] + (Arrays::kBoard[3] - Arrays::kBoard[1]) / (2 * Arrays::kCells)) * t.h);
    if (near(t, cx, cy, Arrays::kClear)) return "glDrawElements drew no board";
    if (!near(t, cx, cy, Arrays::kLight)) return "the board's first cell is not the colour its array gives";
    const int by = int((Arrays::kBand[1] + Arrays::kBand[3]) / 2 * t.h);
    if (near(t, int(0.9f * t.w), by, Arrays::kClear)) return "glDrawArrays drew no band";
    return "";
}

std::string probeLines(const Picture &t) {
    std::string why = probeAny(t, Lines::kClear);
    if (!why.empty()) return why;
    if (!near(t, 9, 4, Lines::kGrid)) return "no grid lines drawn";
    int x, y;
    Lines::pointCentre(t.w, t.h, Lines::kPoints - 1, &x, &y);
    if (!near(t, x, y, Lines::kPoint)) return "no points drawn";
    return "";
}

std::string probeTexture(const Picture &t) {
    std::string why = probeAny(t, Texture::kClear);
    if (!why.empty()) return why;
    // The centre of texel (0, 0) of the replaced quad.
    const float cw = (Texture::kQuad[2] - Texture::kQuad[0]) * t.w / Texture::kTexels;
    const float ch = (Texture::kQuad[3] - Texture::kQuad[1]) * t.h / Texture::kTexels;
    const int x = int(Texture::kQuad[0] * t.w + cw / 2), y = int(Texture::kQuad[1] * t.h + ch / 2);
    if (near(t, x, y, Texture::kClear)) return "no textured quad drawn";
    if (!near(t, x, y, 1, 1, 1)) return "the quad does not show its texels";
    if (!near(t, int(x + cw), y, 200 / 255.0f, 40 / 255.0f, 40 / 255.0f)) return "the texture shows no checkerboard";
    return "";
}

constexpr Scene kScenes[kSceneCount] = {
    {"triangle", "smooth shading", Triangle::draw, probeTriangle},
    {"depth", "depth test (GL_LESS), flat shading, quads", DepthOrder::draw, probeDepth},
    {"torus", "quad strips, one directional light (diffuse, specular), GL_NORMALIZE, depth test, culling",
     Torus::draw, probeTorus},
    {"blend", "blending (SRC_ALPHA, ONE_MINUS_SRC_ALPHA), quads", Blend::draw, probeBlend},
    {"stencil", "stencil (REPLACE, EQUAL, NOTEQUAL), colour mask, triangle fan", Stencil::draw, probeStencil},
    {"fog", "linear fog, perspective, depth test", Fog::draw, probeFog},
    {"arrays", "glInterleavedArrays, glDrawElements (quads), glDrawArrays (a 122-vertex strip), colour arrays",
     Arrays::draw, probeArrays},
    {"lines", "lines, line loop, smooth line strip, points of sizes 1 to 9", Lines::draw, probeLines},
    {"texture", "a 2-D texture object (GL_RGB, nearest), GL_REPLACE and GL_MODULATE over smooth shading", Texture::draw,
     probeTexture},
};
static_assert(kScenes[kSceneCount - 1].name != nullptr, "every scene has its row");

const Scene *findScene(const char *name) {
    for (const Scene &s : kScenes)
        if (std::strcmp(s.name, name) == 0) return &s;
    return nullptr;
}
}  // namespace kivscenes
