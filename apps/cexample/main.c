/* cexample: an OpenGL 1.1 program in C, built the way a program of one's own is. It boots the
   simulated PC, makes a context on a memory-DC bitmap (a DIB section selected into a memory DC),
   draws a smooth-shaded triangle from vertex arrays over a cleared background and writes the
   bitmap's pixels as a PNG. With --window it draws the same triangle into a double-buffered
   window on the simulated screen instead, swaps, and writes what the screen shows.

     cexample [OUT.png [WIDTH HEIGHT]]            default out/cexample.png, 256 x 256
     cexample --window [OUT.png [WIDTH HEIGHT]]   default out/cexample.screen.png
     cexample --help

   The machine comes from KIV_MACHINE (default: Windows NT with the ZK3). */
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "platform/machine/machine.h"
#include "platform/opengl32/wgl.h"
#include <GL/gl.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

/* A 16- or 32-bit BI_BITFIELDS header: the three colour masks follow the header. */
typedef struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
} BitfieldsInfo;

typedef struct {
    HDC screen, memdc;
    HBITMAP dib;
    HGDIOBJ previous;
    HGLRC rc;
    const unsigned char *bits; /* the bitmap's pixels, top row first */
    int bytesPerPixel, pitch;
    DWORD masks[3];
} Target;

static const char *glString(GLenum name) {
    const GLubyte *s = glGetString(name);
    return s ? (const char *)s : "(null)";
}

/* TRUE when the driver reports `name` as a whole word of GL_EXTENSIONS. */
static int hasExtension(const char *name) {
    const char *all = glString(GL_EXTENSIONS), *p = all;
    const size_t n = strlen(name);
    while ((p = strstr(p, name)) != NULL) {
        if ((p == all || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return 1;
        p += n;
    }
    return 0;
}

/* wglGetProcAddress answers with one generic type; through this one the answer converts to each
   entry point's own type without a warning. */
typedef void (APIENTRY *AnyProc)(void);

/* The display's format closest to 16-bit RGBA with a 16-bit depth buffer and `flags`; 0 when none
   has every capability of `flags` (GetLastError then says ERROR_INVALID_PIXEL_FORMAT). */
static int chooseFormat(HDC dc, DWORD flags) {
    PIXELFORMATDESCRIPTOR want;
    memset(&want, 0, sizeof want);
    want.nSize = sizeof want;
    want.nVersion = 1;
    want.dwFlags = flags;
    want.iPixelType = PFD_TYPE_RGBA;
    want.cColorBits = 16;
    want.cDepthBits = 16;
    return ChoosePixelFormat(dc, &want);
}

static DWORD maskOf(int bits, int shift) { return ((1u << bits) - 1u) << shift; }

static int openTarget(Target *t, int w, int h) {
    PIXELFORMATDESCRIPTOR got;
    BitfieldsInfo info;
    void *bits = NULL;
    int format;

    memset(t, 0, sizeof *t);
    t->screen = GetDC(NULL);
    t->memdc = CreateCompatibleDC(t->screen);
    if (!t->memdc) return fprintf(stderr, "cexample: no memory DC\n"), 0;

    format = chooseFormat(t->memdc, PFD_DRAW_TO_BITMAP | PFD_SUPPORT_OPENGL);
    if (!format) /* no format draws to bitmaps: take the single-buffered window one */
        format = chooseFormat(t->memdc, PFD_SUPPORT_OPENGL);
    if (!format || !DescribePixelFormat(t->memdc, format, sizeof got, &got))
        return fprintf(stderr, "cexample: the display offers no OpenGL pixel format\n"), 0;

    /* The bitmap takes the format's own pixel layout. */
    memset(&info, 0, sizeof info);
    info.header.biSize = sizeof info.header;
    info.header.biWidth = w;
    info.header.biHeight = -h; /* top-down */
    info.header.biPlanes = 1;
    info.header.biBitCount = got.cColorBits;
    info.header.biCompression = BI_BITFIELDS;
    info.masks[0] = maskOf(got.cRedBits, got.cRedShift);
    info.masks[1] = maskOf(got.cGreenBits, got.cGreenShift);
    info.masks[2] = maskOf(got.cBlueBits, got.cBlueShift);
    t->dib = CreateDIBSection(t->memdc, (const BITMAPINFO *)&info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (!t->dib) return fprintf(stderr, "cexample: CreateDIBSection refused %d x %d\n", w, h), 0;
    t->bits = (const unsigned char *)bits;
    t->bytesPerPixel = got.cColorBits / 8;
    t->pitch = (w * t->bytesPerPixel + 3) & ~3; /* rows are DWORD-aligned */
    memcpy(t->masks, info.masks, sizeof t->masks);
    t->previous = SelectObject(t->memdc, t->dib);
    if (!SetPixelFormat(t->memdc, format, &got))
        return fprintf(stderr, "cexample: SetPixelFormat %d failed\n", format), 0;
    t->rc = wglCreateContext(t->memdc);
    if (!t->rc) return fprintf(stderr, "cexample: wglCreateContext: %s\n", kivOpenGlError()), 0;
    if (!wglMakeCurrent(t->memdc, t->rc)) return fprintf(stderr, "cexample: wglMakeCurrent: %s\n", kivOpenGlError()), 0;
    printf("pixel format %d: %d colour bits, %d depth bits\n", format, got.cColorBits, got.cDepthBits);
    return 1;
}

static void closeTarget(Target *t) {
    if (t->rc) {
        wglMakeCurrent(NULL, NULL);
        wglDeleteContext(t->rc);
    }
    if (t->memdc && t->previous) SelectObject(t->memdc, t->previous);
    if (t->dib) DeleteObject(t->dib);
    if (t->memdc) DeleteDC(t->memdc);
    if (t->screen) ReleaseDC(NULL, t->screen);
}

/* Dark blue background; a triangle red at the bottom left, green at the bottom right and blue
   at the top, one pixel per unit with the origin at the bottom left. */
static void draw(int w, int h) {
    const GLfloat vertices[] = {0.125f, 0.125f, 0.875f, 0.125f, 0.5f, 0.875f};
    const GLubyte colors[] = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    GLfloat scaled[6];
    int i;
    for (i = 0; i < 6; i += 2) {
        scaled[i] = vertices[i] * (GLfloat)w;
        scaled[i + 1] = vertices[i + 1] * (GLfloat)h;
    }
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, 0, h, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DITHER);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.25f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, scaled);
    glColorPointer(3, GL_UNSIGNED_BYTE, 0, colors);
#ifdef GL_EXT_compiled_vertex_array
    /* An extension entry point, found by name while the context is current. */
    if (hasExtension("GL_EXT_compiled_vertex_array")) {
        PFNGLLOCKARRAYSEXTPROC lockArrays = (PFNGLLOCKARRAYSEXTPROC)(AnyProc)wglGetProcAddress("glLockArraysEXT");
        PFNGLUNLOCKARRAYSEXTPROC unlockArrays = (PFNGLUNLOCKARRAYSEXTPROC)(AnyProc)wglGetProcAddress("glUnlockArraysEXT");
        if (lockArrays && unlockArrays) {
            lockArrays(0, 3);
            glDrawArrays(GL_TRIANGLES, 0, 3);
            unlockArrays();
        } else {
            glDrawArrays(GL_TRIANGLES, 0, 3);
        }
    } else
#endif
        glDrawArrays(GL_TRIANGLES, 0, 3);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glFinish();
}

/* One channel of a pixel word, widened to 8 bits. */
static unsigned char channel(DWORD pixel, DWORD mask) {
    DWORD shift = 0, top;
    if (!mask) return 0;
    while (!((mask >> shift) & 1u)) ++shift;
    top = mask >> shift;
    return (unsigned char)((((pixel & mask) >> shift) * 255u + top / 2u) / top);
}

/* Writes the bitmap's pixels as 8-bit RGB, top row first. */
static int writePng(const Target *t, const char *path, int w, int h) {
    unsigned char *rgb = (unsigned char *)malloc((size_t)w * (size_t)h * 3);
    int x, y, c, ok;
    if (!rgb) return 0;
    GdiFlush();
    for (y = 0; y < h; ++y)
        for (x = 0; x < w; ++x) {
            const unsigned char *p = t->bits + (size_t)y * (size_t)t->pitch + (size_t)x * (size_t)t->bytesPerPixel;
            DWORD pixel = 0;
            memcpy(&pixel, p, (size_t)t->bytesPerPixel);
            for (c = 0; c < 3; ++c) rgb[((size_t)y * (size_t)w + (size_t)x) * 3 + (size_t)c] = channel(pixel, t->masks[c]);
        }
    ok = stbi_write_png(path, w, h, 3, rgb, w * 3) != 0;
    free(rgb);
    return ok;
}

/* The window road: a double-buffered window format (no format draws to bitmaps and to windows
   alike, so a program asks for the one it draws to), a context on the window's DC, a swap, and
   the screen as the monitor shows it (5-5-5 at 16 bits per pixel). */
static int drawInWindow(const char *path, int w, int h) {
    static const DWORD screenMasks[3] = {0x7C00, 0x03E0, 0x001F};
    const KivScreenMode *mode = kivScreenMode();
    Target screen;
    HWND hwnd;
    HDC dc;
    HGLRC rc = NULL;
    const uint8_t *bits = NULL;
    int format, pitch = 0, ok = 0;

    if (w + 16 > mode->width || h + 16 > mode->height)
        return fprintf(stderr, "cexample: a %d x %d window does not fit on the %d x %d screen\n", w, h, mode->width,
                       mode->height), 0;
    hwnd = CreateWindowExA(0, "cexample", "cexample", WS_OVERLAPPED | WS_VISIBLE, 16, 16, w, h, NULL, NULL, NULL, NULL);
    dc = hwnd ? GetDC(hwnd) : NULL;
    if (!dc) return fprintf(stderr, "cexample: no window\n"), 0;
    format = chooseFormat(dc, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER);
    if (!format || !SetPixelFormat(dc, format, NULL))
        fprintf(stderr, "cexample: no window pixel format (error %lu)\n", (unsigned long)GetLastError());
    else if (!(rc = wglCreateContext(dc)) || !wglMakeCurrent(dc, rc))
        fprintf(stderr, "cexample: no context on the window: %s\n", kivOpenGlError());
    else {
        draw(w, h);
        if (!SwapBuffers(dc)) fprintf(stderr, "cexample: SwapBuffers failed\n");
        else if (!kivMachineOffersDirectDraw() || !kivScreenPixels(&bits, &pitch))
            fprintf(stderr, "cexample: drawn, but nothing shows on this machine's screen (windows draw into memory "
                            "without DirectDraw on the ZK3 under NT)\n");
        else {
            memset(&screen, 0, sizeof screen);
            screen.bits = bits;
            screen.pitch = pitch;
            screen.bytesPerPixel = (mode->bpp + 7) / 8;
            memcpy(screen.masks, screenMasks, sizeof screen.masks);
            ok = glGetError() == GL_NO_ERROR && writePng(&screen, path, mode->width, mode->height);
            printf(ok ? "the screen, %d x %d, written to %s\n" : "%d x %d: %s could not be written\n", mode->width,
                   mode->height, path);
        }
    }
    if (rc) {
        wglMakeCurrent(NULL, NULL);
        wglDeleteContext(rc);
    }
    ReleaseDC(hwnd, dc);
    DestroyWindow(hwnd);
    return ok;
}

static int usage(FILE *to, int exitCode) {
    fprintf(to, "usage: cexample [--window] [OUT.png [WIDTH HEIGHT]]\n"
                "  draws a triangle into a memory-DC bitmap and writes it (default out/cexample.png, 256 x 256);\n"
                "  --window draws it into a window and writes the screen (default out/cexample.screen.png)\n"
                "environment: KIV_MACHINE (the simulated PC), KIV_MODULE_PATH (folders of the driver modules),\n"
                "  KIV_OBJECT_NAMESPACE (keeps two machines running at once apart)\n");
    return exitCode;
}

int main(int argc, char **argv) {
    const int window = argc > 1 && strcmp(argv[1], "--window") == 0;
    const char *path;
    int w, h, i;
    Target target;
    int ok;

    if (argc > 1 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) return usage(stdout, 0);
    argv += window;
    argc -= window;
    for (i = 1; i < argc; ++i)
        if (argv[i][0] == '-') {
            fprintf(stderr, "cexample: unknown option %s (known: --window, --help)\n", argv[i]);
            return usage(stderr, 2);
        }
    path = argc > 1 ? argv[1] : window ? "out/cexample.screen.png" : "out/cexample.png";
    w = argc > 3 ? atoi(argv[2]) : 256;
    h = argc > 3 ? atoi(argv[3]) : 256;
    if (argc == 3 || argc > 4 || w < 1 || h < 1 || w > 4096 || h > 4096) return usage(stderr, 2);
    if (!kivMachineBoot()) {
        fprintf(stderr, "cexample: the machine did not boot\n");
        return 1;
    }
    printf("machine: %s\n", kivMachineDescribe());
#ifndef GL_VERSION_1_1
    printf("this program needs the OpenGL 1.1 header\n");
    return 1;
#endif
    if (argc <= 1) mkdir("out", 0777);
    if (window) return drawInWindow(path, w, h) ? 0 : 1;
    ok = openTarget(&target, w, h);
    if (ok) {
        printf("GL_RENDERER %s\nGL_VERSION %s\nGL_EXTENSIONS %s\n", glString(GL_RENDERER), glString(GL_VERSION),
               glString(GL_EXTENSIONS));
        draw(w, h);
        ok = glGetError() == GL_NO_ERROR && writePng(&target, path, w, h);
        printf(ok ? "%d x %d written to %s\n" : "%d x %d: %s could not be written\n", w, h, path);
    }
    closeTarget(&target);
    return ok ? 0 : 1;
}
