/* The reference pictures: every scene drawn by Mesa's off-screen renderer on the host, into an
   RGB buffer of 8 bits a channel without alpha (like the driver's 16-bit visuals, whose
   destination alpha reads as one), a 24-bit depth and an 8-bit stencil buffer. Each picture is
   written as OUTDIR/NAME.rgb: width x height x 3 bytes, the bottom row first.

     refgen OUTDIR */
#include <GL/osmesa.h>
#include <GL/gl.h>
#include <stdio.h>
#include <stdlib.h>

#include "scenes.h"

int main(int argc, char **argv) {
    int i;
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    for (i = 0; i < refSceneCount(); ++i) {
        const RefScene *s = refScene(i);
        const size_t bytes = (size_t)s->w * (size_t)s->h * 3;
        unsigned char *buf = calloc(bytes, 1);
        OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_RGB, 16, 8, 0, NULL);
        char path[512];
        FILE *f;
        GLenum err;
        if (!buf || !ctx || !OSMesaMakeCurrent(ctx, buf, GL_UNSIGNED_BYTE, s->w, s->h)) {
            fprintf(stderr, "refgen: no OSMesa context for %s\n", s->name);
            return 1;
        }
        refDrawScene(s);
        if ((err = glGetError()) != GL_NO_ERROR) {
            fprintf(stderr, "refgen: %s: GL error 0x%x\n", s->name, err);
            return 1;
        }
        snprintf(path, sizeof path, "%s/%s.rgb", argv[1], s->name);
        f = fopen(path, "wb");
        if (!f || fwrite(buf, 1, bytes, f) != bytes || fclose(f) != 0) {
            fprintf(stderr, "refgen: cannot write %s\n", path);
            return 1;
        }
        OSMesaDestroyContext(ctx);
        free(buf);
    }
    return 0;
}
