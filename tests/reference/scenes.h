/* Scenes drawn with OpenGL 1.1 calls alone, in C, so that the same source draws through this
   project's opengl32 (i386) and through the reference renderer on the host. A scene is cut into
   regions (a grid of equal tiles), each of which is judged on its own. */
#ifndef KIV_TESTS_REFERENCE_SCENES_H
#define KIV_TESTS_REFERENCE_SCENES_H

#ifdef __cplusplus
extern "C" {
#endif

enum {
    REF_DITHER = 1, /* drawn with dithering on: compared in 4 x 4 block means */
    REF_TIES = 2    /* pixels next to a sharp edge may differ (rasterisation or texel-boundary ties) */
};

typedef struct RefScene RefScene;
struct RefScene {
    char name[48];             /* letters, digits and '_' */
    int w, h;                  /* window size */
    int cols, rows;            /* regions: a grid of tiles of w / cols x h / rows */
    int flags;                 /* REF_* */
    int stepsPerPixel;         /* largest difference of one pixel (or block), in buffer steps */
    const char *allowed;       /* what OpenGL leaves open in this scene, or "" */
    void (*draw)(const RefScene *s);
    int a, b;                  /* the family's parameters */
    /* Where OpenGL leaves a pixel's value open over a range (the level of detail between its
       bounds): the lowest and highest value (0..255 a channel) it allows at window pixel (x, y),
       and 1; 0 where the scene states no range there. Null for scenes without ranges. */
    int (*range)(const RefScene *s, int x, int y, double lo[3], double hi[3]);
};

int refSceneCount(void);
const RefScene *refScene(int i);
/* Sets the state every scene starts from (viewport, one unit per pixel, dithering as the row
   says, buffers cleared) and draws the scene. */
void refDrawScene(const RefScene *s);

#ifdef __cplusplus
}
#endif

#endif
