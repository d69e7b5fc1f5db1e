/* <GL/gl.h> as a C89 program sees it: the version and extension macros, the tokens and the
   entry-point types of every extension the driver reports. */
#include <GL/gl.h>

#if !defined(GL_VERSION_1_0) || !defined(GL_VERSION_1_1)
#error "the header must say which OpenGL versions it declares"
#endif
#if !defined(GL_EXT_bgra) || !defined(GL_EXT_vertex_array) || !defined(GL_EXT_compiled_vertex_array) || \
    !defined(GL_EXT_abgr) || !defined(GL_EXT_packed_pixels) || !defined(GL_EXT_point_parameters) ||     \
    !defined(GL_EXT_cull_vertex) || !defined(GL_WIN_swap_hint) || !defined(GL_SGI_compiled_vertex_array) || \
    !defined(GL_SGI_cull_vertex)
#error "an extension the driver reports has no macro"
#endif

static const GLenum tokens[] = {GL_BGRA_EXT, GL_ABGR_EXT, GL_UNSIGNED_SHORT_4_4_4_4_EXT, GL_VERTEX_ARRAY_EXT,
                                GL_ARRAY_ELEMENT_LOCK_FIRST_EXT, GL_CULL_VERTEX_EXT, GL_POINT_SIZE_MIN_EXT};

static PFNGLLOCKARRAYSEXTPROC lockArrays;
static PFNGLDRAWARRAYSEXTPROC drawArrays;
static PFNGLADDSWAPHINTRECTWINPROC swapHint;
static PFNGLPOINTPARAMETERFVEXTPROC pointParameters;
static PFNGLCULLPARAMETERFVSGIPROC cullParameters;

int drawWith(const GLfloat *vertices);

int drawWith(const GLfloat *vertices) {
    glBegin(GL_TRIANGLES);
    glVertex2fv(vertices);
    glEnd();
    if (lockArrays && drawArrays && swapHint && pointParameters && cullParameters) return 1;
    return (int)(sizeof tokens / sizeof tokens[0]);
}
