// Vertex transforms: the per-type point procs against the general one.
#include "bench/bench.h"
#include "icd/vertex/matrix.h"

namespace {

template <void (*Proc)(float[4], const float *, const GlMatrix *)>
uint64_t transformPoints(uint64_t n) {
    GlMatrix m{};
    for (int i = 0; i < 16; ++i) m.m[i] = float(i % 5) * 0.25f + (i % 5 == 0 ? 1.0f : 0.0f);
    float in[4] = {0.5f, -1.25f, 2.0f, 1.0f}, out[4];
    for (uint64_t i = 0; i < n; ++i) {
        Proc(out, in, &m);
        in[0] = out[1] * 0.5f;
        kivbench::keep(out);
    }
    return n;
}

KIV_BENCH("xform4_general", "points/s", transformPoints<__glXform4General>);
KIV_BENCH("xform3_affine", "points/s", transformPoints<__glXform3Affine3D>);
KIV_BENCH("xform3_scale_translate", "points/s", transformPoints<__glXform3ScaleTranslate>);

}  // namespace
