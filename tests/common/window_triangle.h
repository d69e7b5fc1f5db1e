// Independent arithmetic over a triangle in window coordinates, for tests that judge pixels
// against values computed from the vertices: the plane of a value given at the three vertices,
// and whether a pixel centre lies well inside. A triangle type holds `v[3]`, each with window
// x and y.
#pragma once

#include <cmath>

namespace kivtest {

// A plane a + b x + c y through three values at the triangle's window positions.
struct Plane {
    double a, b, c;
    double at(double x, double y) const { return a + b * x + c * y; }
};

template <class Triangle>
Plane planeOf(const Triangle &tri, double v0, double v1, double v2) {
    const auto &p = tri.v[0], &q = tri.v[1], &r = tri.v[2];
    const double det = (q.x - p.x) * (r.y - p.y) - (r.x - p.x) * (q.y - p.y);
    const double b = ((v1 - v0) * (r.y - p.y) - (v2 - v0) * (q.y - p.y)) / det;
    const double c = ((v2 - v0) * (q.x - p.x) - (v1 - v0) * (r.x - p.x)) / det;
    return {v0 - b * p.x - c * p.y, b, c};
}

// Whether a pixel centre lies inside the triangle by at least `margin` pixels from every edge.
template <class Triangle>
bool wellInside(const Triangle &tri, double x, double y, double margin) {
    double sign = 0;
    for (int i = 0; i < 3; ++i) {
        const auto &a = tri.v[i], &b = tri.v[(i + 1) % 3];
        const double ex = b.x - a.x, ey = b.y - a.y, len = std::hypot(ex, ey);
        const double d = (ex * (y - a.y) - ey * (x - a.x)) / len;
        if (sign == 0) sign = d > 0 ? 1 : -1;
        if (d * sign < margin) return false;
    }
    return true;
}

}  // namespace kivtest
