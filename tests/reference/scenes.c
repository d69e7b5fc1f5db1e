/* The scenes (see scenes.h). Every vertex, texel and parameter comes from the arithmetic here,
   so that both renderers receive exactly the same calls. */
#include "scenes.h"

#include <GL/gl.h>
#include <math.h>
#include <stdio.h>

/* ---- helpers ------------------------------------------------------------------------------ */

typedef struct Tile {
    float x0, y0, x1, y1;
} Tile;

static Tile tileOf(const RefScene *s, int i) {
    const int tw = s->w / s->cols, th = s->h / s->rows;
    Tile t;
    t.x0 = (float)(i % s->cols * tw);
    t.y0 = (float)(i / s->cols * th);
    t.x1 = t.x0 + (float)tw;
    t.y1 = t.y0 + (float)th;
    return t;
}

static void rect(float x0, float y0, float x1, float y1, float z) {
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, z);
    glVertex3f(x1, y0, z);
    glVertex3f(x1, y1, z);
    glVertex3f(x0, y1, z);
    glEnd();
}

/* A quad over the tile with a colour at each corner (lower left, lower right, upper right,
   upper left) and texture coordinates 0..sMax, 0..tMax. */
static void shadedTile(Tile t, const float c[4][4], float sMax, float tMax) {
    const float xy[4][2] = {{t.x0, t.y0}, {t.x1, t.y0}, {t.x1, t.y1}, {t.x0, t.y1}};
    const float st[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    int k;
    glBegin(GL_QUADS);
    for (k = 0; k < 4; ++k) {
        glColor4fv(c[k]);
        glTexCoord2f(st[k][0] * sMax, st[k][1] * tMax);
        glVertex2f(xy[k][0], xy[k][1]);
    }
    glEnd();
}

/* ---- stencil operations over a depth test that fails ------------------------------------ */

/* Left half of each tile holds stencil 4, the right half 0; the lower half's depth is cleared to
   0, so that a quad at depth 0.5 under GL_LESS fails the depth test there. The stencil test
   (1 <= stencil) fails on the right half. The values that result are then painted in colours. */
static void drawStencil(const RefScene *s) {
    static const GLenum ops[][3] = {
        {GL_KEEP, GL_REPLACE, GL_KEEP}, {GL_KEEP, GL_INCR, GL_DECR},     {GL_INVERT, GL_ZERO, GL_INCR},
        {GL_ZERO, GL_DECR, GL_REPLACE}, {GL_REPLACE, GL_INVERT, GL_KEEP}, {GL_INCR, GL_KEEP, GL_INVERT},
    };
    static const int values[] = {0, 1, 3, 4, 5, 251, 255};
    int i, k;
    for (i = 0; i < 6; ++i) {
        const Tile t = tileOf(s, i);
        const float xm = (t.x0 + t.x1) / 2, ym = (t.y0 + t.y1) / 2;
        glEnable(GL_SCISSOR_TEST);
        glScissor((GLint)t.x0, (GLint)t.y0, (GLsizei)(t.x1 - t.x0), (GLsizei)(ym - t.y0));
        glClearDepth(0.0);
        glClear(GL_DEPTH_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        glEnable(GL_STENCIL_TEST);
        glStencilFunc(GL_ALWAYS, 4, 0xFF);
        glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
        rect(t.x0, t.y0, xm, t.y1, 0.0f);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glStencilFunc(GL_LEQUAL, 1, 0xFF);
        glStencilOp(ops[i][0], ops[i][1], ops[i][2]);
        glColor3f(0.5f, 0.5f, 0.5f);
        rect(t.x0, t.y0, t.x1, t.y1, 0.0f);
        glDisable(GL_DEPTH_TEST);
    }
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    for (k = 0; k < (int)(sizeof values / sizeof values[0]); ++k) {
        glStencilFunc(GL_EQUAL, values[k], 0xFF);
        glColor3f((float)(k & 1), (float)((k >> 1) & 1) * 0.75f + 0.25f * (k >= 4), (float)((k >> 2) & 1));
        rect(0, 0, (float)s->w, (float)s->h, 0.0f);
    }
    glDisable(GL_STENCIL_TEST);
}

/* ---- blend factor pairs ------------------------------------------------------------------ */

/* Destination: red 0 to 1 upwards, green full, blue 0 to 1 rightwards. Source: red full, green 0
   to 1 and blue 1 to a quarter rightwards, alpha 0 to 1 rightwards. The blues' sum under
   (ONE, ONE) stays above full scale by more than a dithered destination's error except at the
   left edge: at exactly full scale the destination's dither errors below it would survive the
   clamp and those above it not, a bias that a dithered 16-bit destination implies. */
static void drawBlend(const RefScene *s) {
    static const GLenum pairs[][2] = {
        {GL_ZERO, GL_SRC_COLOR},          {GL_DST_COLOR, GL_ZERO},
        {GL_SRC_ALPHA_SATURATE, GL_ONE},  {GL_ZERO, GL_ONE},
        {GL_ONE, GL_ZERO},                {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
        {GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR}, {GL_ONE, GL_ONE},
    };
    static const float dst[4][4] = {{0, 1, 0, 1}, {0, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 0, 1}};
    static const float src[4][4] = {{1, 0, 1, 0}, {1, 1, 0.25f, 1}, {1, 1, 0.25f, 1}, {1, 0, 1, 0}};
    int i;
    for (i = 0; i < 8; ++i) {
        const Tile t = tileOf(s, i);
        glDisable(GL_BLEND);
        shadedTile(t, dst, 0, 0);
        glEnable(GL_BLEND);
        glBlendFunc(pairs[i][0], pairs[i][1]);
        shadedTile(t, src, 0, 0);
    }
    glDisable(GL_BLEND);
}

/* ---- texture environments x formats x filters -------------------------------------------- */

enum { FILTER_NEAREST, FILTER_LINEAR, FILTER_MIPMAP };

/* The bits a channel the driver under test keeps for the format of a scene's texture: RGB and
   luminance textures five, the others (which carry alpha, or are intensities) four. OpenGL lets
   an implementation choose the resolution of a texture's texels; values on those steps are held
   exactly by both renderers, so that no quantisation of ours hides or fakes a bias. */
static int channelBits(GLenum format) { return format == GL_RGB || format == GL_LUMINANCE ? 5 : 4; }

/* Step v of a channel of `bits` bits as the nearest byte. */
static unsigned char onStep(int v, int bits) {
    const int q = (1 << bits) - 1;
    return (unsigned char)((255 * v + q / 2) / q);
}

/* Texel (i, j) of an n x n level: every channel spans 0..255, with full-scale texels, on the
   steps of a channel of `bits` bits. */
static void texel(int i, int j, int n, int bits, unsigned char out[4]) {
    const int m = n - 1, q = (1 << bits) - 1;
    out[0] = onStep(q * i / m, bits);
    out[1] = onStep(q * j / m, bits);
    out[2] = onStep(q - q * (i + j) / (2 * m), bits);
    out[3] = onStep(q * (i + m - j) / (2 * m), bits);
}

/* One level in the layout of `format`, from RGBA texels (luminance and intensity take red). */
static int packLevel(const unsigned char *rgba, int texels, GLenum format, unsigned char *out) {
    int k, c, n = 0;
    for (k = 0; k < texels; ++k) {
        const unsigned char *p = rgba + 4 * k;
        switch (format) {
        case GL_RGB: for (c = 0; c < 3; ++c) out[n++] = p[c]; break;
        case GL_RGBA: for (c = 0; c < 4; ++c) out[n++] = p[c]; break;
        case GL_LUMINANCE_ALPHA: out[n++] = p[0]; out[n++] = p[3]; break;
        case GL_ALPHA: out[n++] = p[3]; break;
        default: out[n++] = p[0]; break; /* GL_LUMINANCE, GL_INTENSITY (given as luminance) */
        }
    }
    return n;
}

/* A side x side texture of `format` and its mipmaps (each a box filter of the one above, kept
   on the format's steps). */
static void loadTexture(GLenum format, int side, int mipmaps) {
    static unsigned char rgba[2][64 * 64 * 4], packed[64 * 64 * 4];
    const GLenum external = format == GL_INTENSITY ? GL_LUMINANCE : format;
    const int bits = channelBits(format), q = (1 << bits) - 1;
    int i, j, c, level = 0, n = side, cur = 0;
    for (j = 0; j < n; ++j)
        for (i = 0; i < n; ++i) texel(i, j, n, bits, rgba[0] + 4 * (j * n + i));
    for (;;) {
        packLevel(rgba[cur], n * n, format, packed);
        glTexImage2D(GL_TEXTURE_2D, level, (GLint)format, n, n, 0, external, GL_UNSIGNED_BYTE, packed);
        if (!mipmaps || n == 1) break;
        for (j = 0; j < n / 2; ++j)
            for (i = 0; i < n / 2; ++i)
                for (c = 0; c < 4; ++c) {
                    const unsigned char *a = rgba[cur];
                    const int sum = a[4 * (2 * j * n + 2 * i) + c] + a[4 * (2 * j * n + 2 * i + 1) + c] +
                                    a[4 * ((2 * j + 1) * n + 2 * i) + c] + a[4 * ((2 * j + 1) * n + 2 * i + 1) + c];
                    rgba[1 - cur][4 * (j * (n / 2) + i) + c] = onStep((sum * q + 510) / 1020, bits);
                }
        cur = 1 - cur;
        n /= 2;
        ++level;
    }
}

/* Six formats across, the upper row blended over the clear colour by the result's alpha. */
static void drawTexEnv(const RefScene *s) {
    static const GLenum formats[] = {GL_RGB, GL_RGBA, GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_INTENSITY, GL_ALPHA};
    static const float colors[4][4] = {{1, 1, 1, 1}, {1, 0.5f, 0.25f, 1}, {1, 1, 1, 1}, {0.5f, 1, 1, 0.5f}};
    static const float envColor[4] = {1.0f, 0.2f, 0.5f, 0.6f};
    const GLenum env = (GLenum)s->a;
    const int filter = s->b;
    int i;
    /* The clear colour the upper row blends over: steps 9, 13 and 18 of a 5-bit channel, which
       are within a 30th of a step of bytes, so that both buffers hold the same destination. */
    glClearColor(9.0f / 31.0f, 13.0f / 31.0f, 18.0f / 31.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, (GLint)env);
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, envColor);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter == FILTER_NEAREST ? GL_NEAREST : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    filter == FILTER_NEAREST  ? GL_NEAREST
                    : filter == FILTER_LINEAR ? GL_LINEAR
                                              : GL_LINEAR_MIPMAP_LINEAR);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (i = 0; i < 12; ++i) {
        const Tile t = tileOf(s, i);
        loadTexture(formats[i % 6], filter == FILTER_MIPMAP ? 64 : 16, filter == FILTER_MIPMAP);
        if (i >= 6) glEnable(GL_BLEND);
        /* 16 texels over 32 pixels (every pixel centre a quarter texel from a boundary), or the
           64-texel texture repeated 2.5 times: a level of detail of about 2.3. */
        shadedTile(t, colors, filter == FILTER_MIPMAP ? 2.5f : 1.0f, filter == FILTER_MIPMAP ? 2.5f : 1.0f);
        glDisable(GL_BLEND);
    }
    glDisable(GL_TEXTURE_2D);
}

/* ---- fog --------------------------------------------------------------------------------- */

/* Eye distance 0.5 on the left of each tile to 9.5 on the right, in strips two pixels wide so
   that a factor computed per vertex and one computed per fragment agree. The lower row fogs a
   shaded colour towards a blue; the upper a colour with full and zero channels towards one
   with the others. */
static void drawFog(const RefScene *s) {
    static const GLenum modes[] = {GL_LINEAR, GL_EXP, GL_EXP2};
    static const float fogColors[2][4] = {{0.2f, 0.6f, 1.0f, 1}, {1, 1, 0, 1}};
    int i, k;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, s->w, 0, s->h, 0, 10);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_FOG);
    glFogf(GL_FOG_START, 1.0f);
    glFogf(GL_FOG_END, 9.0f);
    for (i = 0; i < 6; ++i) {
        const Tile t = tileOf(s, i);
        const int strips = (int)(t.x1 - t.x0) / 2;
        glFogi(GL_FOG_MODE, (GLint)modes[i % 3]);
        glFogf(GL_FOG_DENSITY, modes[i % 3] == GL_EXP ? 0.25f : 0.2f);
        glFogfv(GL_FOG_COLOR, fogColors[i / 3]);
        glBegin(GL_QUADS);
        for (k = 0; k < strips; ++k) {
            const float xa = t.x0 + 2.0f * (float)k, xb = xa + 2.0f;
            const float w = t.x1 - t.x0;
            const float za = -0.5f - 9.0f * (xa - t.x0) / w, zb = -0.5f - 9.0f * (xb - t.x0) / w;
            if (i < 3) glColor3f(1, 1, 1); else glColor3f(0, 1, 1);
            glVertex3f(xa, t.y0, za);
            glVertex3f(xb, t.y0, zb);
            if (i < 3) glColor3f(1, 0.5f, 0); else glColor3f(0, 1, 1);
            glVertex3f(xb, t.y1, zb);
            glVertex3f(xa, t.y1, za);
        }
        glEnd();
    }
    glDisable(GL_FOG);
}

/* ---- the alpha test at equal values ------------------------------------------------------- */

/* Six functions against fragments whose alpha equals the reference: 0.5 as a float, then 128
   as a byte with the reference 128/255. */
static void drawAlphaTest(const RefScene *s) {
    static const GLenum funcs[] = {GL_EQUAL, GL_LEQUAL, GL_GEQUAL, GL_GREATER, GL_LESS, GL_NOTEQUAL};
    int i;
    glEnable(GL_ALPHA_TEST);
    for (i = 0; i < 12; ++i) {
        const Tile t = tileOf(s, i);
        glAlphaFunc(funcs[i % 6], i < 6 ? 0.5f : 128.0f / 255.0f);
        if (i < 6) glColor4f(1, 1, 1, 0.5f); else glColor4ub(255, 255, 255, 128);
        rect(t.x0 + 2, t.y0 + 2, t.x1 - 2, t.y1 - 2, 0.0f);
    }
    glDisable(GL_ALPHA_TEST);
}

/* ---- projective and perspective texture coordinates --------------------------------------- */

/* Texturing on, repeating, the texel replacing the fragment's colour. */
static void replaceTexels(void) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_TEXTURE_2D);
}

/* Tile i as the viewport of a perspective view reaching to `far`, the modelview reset. */
static void perspectiveTile(const RefScene *s, int i, double far) {
    const Tile t = tileOf(s, i);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.5, 0.5, 1.0, far);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glViewport((GLint)t.x0, (GLint)t.y0, (GLsizei)(t.x1 - t.x0), (GLsizei)(t.y1 - t.y0));
}

/* An n x n texture (n at most 128) of 8 x 8 texel tiles, every texel of a tile its own colour;
   neighbours differ by about an eighth of the range in red or green. */
static void loadTexelGrid(int n) {
    static unsigned char t[128 * 128 * 3];
    int i, j;
    for (j = 0; j < n; ++j)
        for (i = 0; i < n; ++i) {
            unsigned char *p = t + 3 * (j * n + i);
            p[0] = (unsigned char)(17 + 34 * (i % 8));
            p[1] = (unsigned char)(17 + 34 * (j % 8));
            p[2] = (unsigned char)((i + j) % 2 ? 221 : 34);
        }
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, n, n, 0, GL_RGB, GL_UNSIGNED_BYTE, t);
    replaceTexels();
}

static void setFilter(GLenum filter) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, (GLint)filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, (GLint)filter);
}

/* A screen-aligned quad per tile whose q differs at every corner (s and t stay 0..1 at the
   corners): texels bunch up towards the corners of large q. Nearest, then linear. The picture
   holds every pixel to the division of s and t by q there, which GL_NICEST asks for. */
static void drawProjective(const RefScene *s) {
    static const float corner[4][3] = {{0, 0, 1.0f}, {1, 0, 3.0f}, {1, 1, 2.0f}, {0, 1, 4.0f}};
    int i, k;
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    loadTexelGrid(8);
    for (i = 0; i < 2; ++i) {
        const Tile t = tileOf(s, i);
        const float xy[4][2] = {{t.x0, t.y0}, {t.x1, t.y0}, {t.x1, t.y1}, {t.x0, t.y1}};
        setFilter(i == 0 ? GL_NEAREST : GL_LINEAR);
        glBegin(GL_QUADS);
        for (k = 0; k < 4; ++k) {
            const float q = corner[k][2];
            glTexCoord4f(corner[k][0] * q, corner[k][1] * q, 0, q);
            glVertex2f(xy[k][0], xy[k][1]);
        }
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_DONT_CARE);
}

/* A perspective view of a square tilted back, in each tile: 12 texels of a 128-texel texture
   across it (texels of several pixels, at coordinates where a small relative error moves the
   picture by texels), nearest then linear, under GL_NICEST (the division at every pixel). */
static void drawPerspective(const RefScene *s) {
    static const float corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    int i, k;
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    loadTexelGrid(128);
    for (i = 0; i < 2; ++i) {
        perspectiveTile(s, i, 10.0);
        setFilter(i == 0 ? GL_NEAREST : GL_LINEAR);
        glTranslatef(0.03f, -0.35f, -1.6f);
        glRotatef(-72.0f, 1, 0, 0);
        glRotatef(17.0f, 0, 0, 1);
        glBegin(GL_QUADS);
        for (k = 0; k < 4; ++k) {
            glTexCoord2f((104.0f + 6.0f * (corner[k][0] + 1)) / 128.0f, (100.0f + 6.0f * (corner[k][1] + 1)) / 128.0f);
            glVertex2f(corner[k][0], corner[k][1]);
        }
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_DONT_CARE);
}

/* A floor reaching far away with a 64 x 64 mipmapped texture whose levels are each one colour
   (red and green two 5-bit steps darker, blue two lighter from one level to the next),
   trilinear in the left tile, nearest-mipmap-nearest in the right: the picture shows the level
   of detail chosen. */
enum { FLOOR_SIDE = 64, FLOOR_LAST_LEVEL = 6 };

/* Channel c of every texel of a level of the floor's texture. */
static double floorTexel(int level, int c) { return onStep(c < 2 ? 29 - 2 * level : 4 + 2 * level, 5); }

/* Channel c of what a tile of the floor shows at level of detail lambda: trilinear (tile 0,
   minifying above 0) or the nearest level (tile 1, minifying above 0.5, as a linear
   magnification with a nearest-mipmap filter does). */
static double floorColour(int tile, double lambda, int c) {
    int d;
    if (tile == 0) {
        if (lambda <= 0) return floorTexel(0, c);
        if (lambda >= FLOOR_LAST_LEVEL) return floorTexel(FLOOR_LAST_LEVEL, c);
        d = (int)floor(lambda);
        return floorTexel(d, c) + (floorTexel(d + 1, c) - floorTexel(d, c)) * (lambda - d);
    }
    if (lambda <= 0.5) return floorTexel(0, c);
    d = (int)ceil(lambda + 0.5) - 1;
    return floorTexel(d < FLOOR_LAST_LEVEL ? d : FLOOR_LAST_LEVEL, c);
}

/* The floor's texels under the centre of pixel (x, y) follow from the view alone: the ray
   through it meets the plane y = -1 at eye depth D = -2 / Y (Y the normalised device y), at eye
   x = -X / Y, so s = 2 - X / Y and t = 40 (D - 1.2) / 58.8. Their derivatives give OpenGL's
   bounds on the level of detail, log2 max(m_u, m_v) and log2 (m_u + m_v), and the colours of
   the range's ends bound what the pixel may show. */
static int floorRange(const RefScene *s, int x, int y, double lo[3], double hi[3]) {
    const int tile = x / (s->w / s->cols);
    const Tile t = tileOf(s, tile);
    const double w = t.x1 - t.x0, h = t.y1 - t.y0;
    const double X = 2.0 * (x + 0.5 - t.x0) / w - 1.0, Y = 2.0 * (y + 0.5 - t.y0) / h - 1.0;
    double depth, ex, ux, uy, vy, mu, lambdaLo, lambdaHi;
    int c;
    if (Y >= 0) return 0;
    depth = -2.0 / Y;
    ex = -X / Y;
    if (ex < -2 || ex > 2 || depth < 1.2 || depth > 60) return 0;
    ux = FLOOR_SIDE * (-1.0 / Y) * 2.0 / w;
    uy = FLOOR_SIDE * (X / (Y * Y)) * 2.0 / h;
    vy = FLOOR_SIDE * (40.0 * 2.0 / (Y * Y) / 58.8) * 2.0 / h; /* t does not change along x */
    mu = fabs(ux) > fabs(uy) ? fabs(ux) : fabs(uy);
    lambdaLo = log2(mu > fabs(vy) ? mu : fabs(vy));
    lambdaHi = log2(mu + fabs(vy));
    /* Each channel moves one way as lambda grows. */
    for (c = 0; c < 3; ++c) {
        const double a = floorColour(tile, lambdaLo, c), b = floorColour(tile, lambdaHi, c);
        lo[c] = a < b ? a : b;
        hi[c] = a < b ? b : a;
    }
    return 1;
}

static void drawMipFloor(const RefScene *s) {
    static unsigned char t[FLOOR_SIDE * FLOOR_SIDE * 3];
    int i, c, level, side;
    for (level = 0, side = FLOOR_SIDE; side >= 1; ++level, side /= 2) {
        for (i = 0; i < side * side; ++i)
            for (c = 0; c < 3; ++c) t[3 * i + c] = (unsigned char)floorTexel(level, c);
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGB, side, side, 0, GL_RGB, GL_UNSIGNED_BYTE, t);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    replaceTexels();
    for (i = 0; i < 2; ++i) {
        perspectiveTile(s, i, 100.0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                        i == 0 ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0); glVertex3f(-2, -1, -1.2f);
        glTexCoord2f(4, 0); glVertex3f(2, -1, -1.2f);
        glTexCoord2f(4, 40); glVertex3f(2, -1, -60);
        glTexCoord2f(0, 40); glVertex3f(-2, -1, -60);
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
}

/* ---- generated texture coordinates at the default hint ---------------------------------- */

/* Under a rotated modelview and a perspective view, at the default perspective hint, with a
   bilinear RGBA texture replacing the colour: a sphere whose coordinates come from sphere mapping
   (left tile), and a floor receding from the eye whose coordinates come from eye-linear planes
   given under that modelview (right tile). The texture's channels are ramps across it, so that
   a coordinate a little off moves a pixel by little. The sphere is the cap facing the eye (its
   normals within about 75 degrees of the view), away from the silhouette where sphere-map
   coordinates change without bound. */
static void sphereBand(float lat0, float lat1, float lon0, float lon1, int slices) {
    int k, e;
    glBegin(GL_QUAD_STRIP);
    for (k = 0; k <= slices; ++k) {
        const float lon = lon0 + (lon1 - lon0) * (float)k / (float)slices;
        for (e = 0; e < 2; ++e) {
            const float lat = e ? lat1 : lat0;
            const float x = cosf(lat) * cosf(lon), y = sinf(lat), z = cosf(lat) * sinf(lon);
            glNormal3f(x, y, z);
            glVertex3f(x, y, z);
        }
    }
    glEnd();
}

static void drawTexGen(const RefScene *s) {
    static const float sPlane[4] = {0.35f, 0.08f, 0.21f, 0.4f}, tPlane[4] = {-0.06f, 0.3f, 0.27f, 0.55f};
    const float d2r = 0.017453293f;
    int i, band;
    loadTexture(GL_RGBA, 16, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    replaceTexels();
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    for (i = 0; i < 2; ++i) {
        perspectiveTile(s, i, 40.0);
        glTranslatef(0.0f, 0.0f, i == 0 ? -2.6f : -2.2f);
        glRotatef(i == 0 ? -28.0f : 20.0f, 1, 0, 0);
        glRotatef(33.0f, 0, 1, 0);
        if (i == 0) {
            /* Sphere-map coordinates reach 0 and 1 at the silhouette: the texture matrix keeps
               them off the seam where the repeating ramps jump. */
            glMatrixMode(GL_TEXTURE);
            glLoadIdentity();
            glTranslatef(0.1f, 0.1f, 0.0f);
            glScalef(0.8f, 0.8f, 1.0f);
            glMatrixMode(GL_MODELVIEW);
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            /* The point facing the eye under these rotations: latitude -28, longitude 123 degrees. */
            for (band = 0; band < 10; ++band)
                sphereBand(d2r * (-83.0f + 11.0f * (float)band), d2r * (-72.0f + 11.0f * (float)band), d2r * 68.0f,
                           d2r * 178.0f, 16);
            glMatrixMode(GL_TEXTURE);
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
        } else {
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
            glTexGenfv(GL_S, GL_EYE_PLANE, sPlane);
            glTexGenfv(GL_T, GL_EYE_PLANE, tPlane);
            glBegin(GL_QUADS);
            glVertex3f(-1.5f, -0.6f, 1.0f);
            glVertex3f(1.5f, -0.6f, 1.0f);
            glVertex3f(1.5f, -0.6f, -14.0f);
            glVertex3f(-1.5f, -0.6f, -14.0f);
            glEnd();
        }
    }
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_2D);
}

/* ---- polygon offset ----------------------------------------------------------------------- */

/* A red quad sloping in depth, then a green one on the same plane: pulled forward by the offset
   (green everywhere), pushed back (red everywhere), and without an offset under GL_LEQUAL
   (green: the same vertices give the same depths). */
static void drawPolygonOffset(const RefScene *s) {
    static const float offsets[3][2] = {{-1.0f, -2.0f}, {1.0f, 2.0f}, {0, 0}};
    int i, pass;
    glEnable(GL_DEPTH_TEST);
    for (i = 0; i < 3; ++i) {
        const Tile t = tileOf(s, i);
        glDepthFunc(i == 2 ? GL_LEQUAL : GL_LESS);
        for (pass = 0; pass < 2; ++pass) {
            if (pass == 1) {
                glEnable(GL_POLYGON_OFFSET_FILL);
                glPolygonOffset(offsets[i][0], offsets[i][1]);
                glColor3f(0, 1, 0);
            } else {
                glColor3f(1, 0, 0);
            }
            glBegin(GL_QUADS);
            glVertex3f(t.x0 + 1, t.y0 + 1, 0.8f);
            glVertex3f(t.x1 - 1, t.y0 + 1, 0.1f);
            glVertex3f(t.x1 - 1, t.y1 - 1, -0.7f);
            glVertex3f(t.x0 + 1, t.y1 - 1, 0.05f);
            glEnd();
            glDisable(GL_POLYGON_OFFSET_FILL);
        }
    }
    glDisable(GL_DEPTH_TEST);
}

/* ---- smooth colour under the depth orderings ------------------------------------------------ */

/* Per tile one ordering: a quad that leans back to the right is drawn under GL_ALWAYS, then a
   quad of other colours that leans back to the left and upwards under the tile's function. The
   two depth planes cross along a slanted line, so that rows of the second quad pass whole,
   fail whole and change over inside runs of pixels; its two triangles walk the rows in opposite
   directions. Tiles are wide enough for rows of several 32-pixel runs. */
static void depthQuad(Tile t, const float c[4][4], const float z[4]) {
    const float xy[4][2] = {{t.x0, t.y0}, {t.x1, t.y0}, {t.x1, t.y1}, {t.x0, t.y1}};
    int k;
    glBegin(GL_QUADS);
    for (k = 0; k < 4; ++k) {
        glColor4fv(c[k]);
        glVertex3f(xy[k][0], xy[k][1], z[k]);
    }
    glEnd();
}

static void drawDepthOrders(const RefScene *s) {
    static const GLenum funcs[] = {GL_LESS, GL_LEQUAL, GL_GREATER, GL_GEQUAL};
    static const float under[4][4] = {{1, 0, 0, 1}, {1, 0.5f, 0, 1}, {1, 1, 0, 1}, {0.75f, 0, 0.25f, 1}};
    static const float over[4][4] = {{0, 0.25f, 1, 1}, {0, 1, 1, 1}, {0, 1, 0.25f, 1}, {0.25f, 0.75f, 1, 1}};
    /* Depths (window z between -1 and 1) at the corners: lower left, lower right, upper right,
       upper left. */
    static const float zUnder[4] = {-0.6f, 0.6f, 0.6f, -0.6f};
    static const float zOver[4] = {0.5f, -0.7f, -0.1f, 0.9f};
    int i;
    glEnable(GL_DEPTH_TEST);
    for (i = 0; i < 4; ++i) {
        const Tile t = tileOf(s, i);
        glDepthFunc(GL_ALWAYS);
        depthQuad(t, under, zUnder);
        glDepthFunc(funcs[i]);
        depthQuad(t, over, zOver);
    }
    glDepthFunc(GL_LESS);
    glDisable(GL_DEPTH_TEST);
}

/* ---- logic ops ---------------------------------------------------------------------------- */

/* The sixteen operations with a source of full and zero channels (magenta) over a shaded
   destination: only such sources give the same results on channels of every width. */
static void drawLogicOp(const RefScene *s) {
    static const float dst[4][4] = {{0, 0.2f, 1, 1}, {1, 0.4f, 0.5f, 1}, {0.6f, 1, 0, 1}, {0.1f, 0.8f, 0.3f, 1}};
    int i;
    for (i = 0; i < 16; ++i) {
        const Tile t = tileOf(s, i);
        shadedTile(t, dst, 0, 0);
        glEnable(GL_COLOR_LOGIC_OP);
        glLogicOp((GLenum)(GL_CLEAR + i));
        glColor3f(1, 0, 1);
        rect(t.x0 + 3, t.y0 + 3, t.x1 - 3, t.y1 - 3, 0.0f);
        glDisable(GL_COLOR_LOGIC_OP);
    }
}

/* ---- lines and points ---------------------------------------------------------------------- */

/* Shaded lines of every octant and three widths from pixel centres, flat ones at other
   positions, and points of sizes 1 to 4. */
static void drawLinesPoints(const RefScene *s) {
    int k, size;
    (void)s;
    for (k = 0; k < 3; ++k) {
        const float cx = 16.5f + 32.0f * (float)k, cy = 32.5f;
        int d;
        glLineWidth((float)(1 + 2 * (k == 2)));
        glBegin(GL_LINES);
        for (d = 0; d < 8; ++d) {
            static const float dirs[8][2] = {{13, 4},   {4, 13},   {-4, 13}, {-13, 4},
                                             {-13, -4}, {-4, -13}, {4, -13}, {13, -4}};
            glColor3f(1, (float)d / 7.0f, 0);
            glVertex2f(cx + (k == 1 ? 0.25f : 0), cy + (k == 1 ? 0.3f : 0));
            glColor3f(0, 0.5f, 1);
            glVertex2f(cx + dirs[d][0], cy + dirs[d][1]);
        }
        glEnd();
    }
    glLineWidth(1);
    glColor3f(1, 1, 0.5f);
    for (size = 1; size <= 4; ++size) {
        /* Odd sizes centred on a pixel centre, even ones on a pixel corner. */
        const float half = size % 2 ? 0.5f : 0.0f;
        glPointSize((float)size);
        glBegin(GL_POINTS);
        for (k = 0; k < 4; ++k) glVertex2f(6.0f + 24.0f * (float)k + 6.0f * (float)(size - 1) + half, 6.0f + half);
        glEnd();
    }
    glPointSize(1);
}

/* ---- the table ---------------------------------------------------------------------------- */

static RefScene g_scenes[64];
static int g_count;

static void add(const char *name, int w, int h, int cols, int rows, int flags, int steps, const char *allowed,
                void (*draw)(const RefScene *), int a, int b) {
    RefScene *s = &g_scenes[g_count++];
    snprintf(s->name, sizeof s->name, "%s", name);
    s->w = w;
    s->h = h;
    s->cols = cols;
    s->rows = rows;
    s->flags = flags;
    s->stepsPerPixel = steps;
    s->allowed = allowed;
    s->draw = draw;
    s->a = a;
    s->b = b;
    s->range = 0;
}

static void build(void) {
    static const struct {
        const char *name;
        GLenum env;
    } envs[] = {{"modulate", GL_MODULATE}, {"decal", GL_DECAL}, {"blend", GL_BLEND}, {"replace", GL_REPLACE}};
    static const char *filters[] = {"nearest", "linear", "mipmap"};
    int e, f, d;
    char name[48];
    if (g_count) return;
    add("stencil_depth_fail", 96, 64, 3, 2, 0, 1, "", drawStencil, 0, 0);
    add("blend_pairs", 96, 64, 4, 2, 0, 1, "linear colour interpolation", drawBlend, 0, 0);
    add("blend_pairs_dither", 96, 64, 4, 2, REF_DITHER, 1, "linear colour interpolation; the dither pattern",
        drawBlend, 0, 0);
    for (e = 0; e < 4; ++e)
        for (f = 0; f < 3; ++f)
            for (d = 0; d < 2; ++d) {
                snprintf(name, sizeof name, "texenv_%s_%s%s", envs[e].name, filters[f], d ? "_dither" : "");
                add(name, 192, 64, 6, 2, d ? REF_DITHER : 0, 1,
                    f == FILTER_MIPMAP ? "linear colour interpolation; the level of detail's approximation"
                                       : "linear colour interpolation",
                    drawTexEnv, (int)envs[e].env, f);
            }
    add("fog_modes", 96, 64, 3, 2, 0, 1, "linear colour interpolation", drawFog, 0, 0);
    add("alpha_test_equal", 96, 72, 4, 3, 0, 0, "", drawAlphaTest, 0, 0);
    add("projective_q", 96, 48, 2, 1, REF_TIES, 1, "texel-boundary ties; filter weights", drawProjective, 0, 0);
    add("perspective_checker", 192, 96, 2, 1, REF_TIES, 1, "polygon-edge and texel-boundary ties; filter weights",
        drawPerspective, 0, 0);
    add("mipmap_floor", 128, 64, 2, 1, REF_TIES, 1,
        "polygon-edge ties; the level of detail anywhere between OpenGL's bounds (a pixel beyond a step may "
        "show any colour of its range)",
        drawMipFloor, 0, 0);
    g_scenes[g_count - 1].range = floorRange;
    add("texgen_default_hint", 192, 96, 2, 1, REF_TIES, 1,
        "polygon-edge and texel-boundary ties; filter weights; the perspective division between run ends",
        drawTexGen, 0, 0);
    add("polygon_offset", 96, 32, 3, 1, REF_TIES, 0, "polygon-edge ties", drawPolygonOffset, 0, 0);
    add("depth_orders", 192, 96, 2, 2, REF_TIES, 1, "linear colour interpolation; depth ties where the planes cross",
        drawDepthOrders, 0, 0);
    add("depth_orders_dither", 192, 96, 2, 2, REF_DITHER | REF_TIES, 1,
        "linear colour interpolation; the dither pattern; depth ties where the planes cross", drawDepthOrders, 0, 0);
    add("logic_ops", 96, 64, 4, 4, 0, 1, "linear colour interpolation", drawLogicOp, 0, 0);
    add("lines_points", 96, 64, 1, 1, REF_TIES, 1, "line ends and the pixels of wide lines; colour interpolation",
        drawLinesPoints, 0, 0);
}

int refSceneCount(void) {
    build();
    return g_count;
}

const RefScene *refScene(int i) {
    build();
    return i >= 0 && i < g_count ? &g_scenes[i] : 0;
}

void refDrawScene(const RefScene *s) {
    glViewport(0, 0, s->w, s->h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, s->w, 0, s->h, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (s->flags & REF_DITHER) glEnable(GL_DITHER); else glDisable(GL_DITHER);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    s->draw(s);
    glFinish();
}
