// Regions as lists of rectangles in bands, their set operations, their data in the platform's
// RGNDATA layout, and filling them into a memory DC's bitmap.
#include "platform/win32/dib_objects.h"

#include <algorithm>
#include <cstring>

using namespace kiv::gdi;

namespace {

struct Interval {
    LONG x0, x1;
};

bool bandCovers(const RECT &r, LONG y0, LONG y1) { return r.top <= y0 && r.bottom >= y1; }

// The x intervals a list covers over the band [y0, y1), merged.
std::vector<Interval> coverage(const std::vector<RECT> &rects, LONG y0, LONG y1) {
    std::vector<Interval> in;
    for (const RECT &r : rects)
        if (bandCovers(r, y0, y1)) in.push_back({r.left, r.right});
    std::sort(in.begin(), in.end(), [](const Interval &a, const Interval &b) { return a.x0 < b.x0; });
    std::vector<Interval> out;
    for (const Interval &i : in) {
        if (!out.empty() && i.x0 <= out.back().x1)
            out.back().x1 = std::max(out.back().x1, i.x1);
        else
            out.push_back(i);
    }
    return out;
}

bool keeps(int mode, bool inA, bool inB) {
    switch (mode) {
    case RGN_AND: return inA && inB;
    case RGN_OR: return inA || inB;
    case RGN_XOR: return inA != inB;
    case RGN_DIFF: return inA && !inB;
    default: return inA;  // RGN_COPY
    }
}

bool inside(const std::vector<Interval> &list, LONG x0, LONG x1) {
    for (const Interval &i : list)
        if (i.x0 <= x0 && i.x1 >= x1) return true;
    return false;
}

// The columns of one band after the operation.
std::vector<Interval> combineBand(const std::vector<Interval> &a, const std::vector<Interval> &b, int mode) {
    std::vector<LONG> xs;
    for (const auto *list : {&a, &b})
        for (const Interval &i : *list) {
            xs.push_back(i.x0);
            xs.push_back(i.x1);
        }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::vector<Interval> out;
    for (size_t k = 0; k + 1 < xs.size(); ++k) {
        if (!keeps(mode, inside(a, xs[k], xs[k + 1]), inside(b, xs[k], xs[k + 1]))) continue;
        if (!out.empty() && out.back().x1 == xs[k])
            out.back().x1 = xs[k + 1];
        else
            out.push_back({xs[k], xs[k + 1]});
    }
    return out;
}

bool sameColumns(const std::vector<Interval> &a, const std::vector<Interval> &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].x0 != b[i].x0 || a[i].x1 != b[i].x1) return false;
    return true;
}

// Any two rectangle lists (overlapping or not) combined into banded form.
std::vector<RECT> combine(const std::vector<RECT> &a, const std::vector<RECT> &b, int mode) {
    std::vector<LONG> ys;
    for (const auto *list : {&a, &b})
        for (const RECT &r : *list)
            if (r.left < r.right && r.top < r.bottom) {
                ys.push_back(r.top);
                ys.push_back(r.bottom);
            }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    struct Band {
        LONG y0, y1;
        std::vector<Interval> columns;
    };
    std::vector<Band> bands;
    for (size_t k = 0; k + 1 < ys.size(); ++k) {
        std::vector<Interval> columns = combineBand(coverage(a, ys[k], ys[k + 1]), coverage(b, ys[k], ys[k + 1]), mode);
        if (columns.empty()) continue;
        if (!bands.empty() && bands.back().y1 == ys[k] && sameColumns(bands.back().columns, columns))
            bands.back().y1 = ys[k + 1];
        else
            bands.push_back({ys[k], ys[k + 1], std::move(columns)});
    }
    std::vector<RECT> out;
    for (const Band &band : bands)
        for (const Interval &i : band.columns) out.push_back(RECT{i.x0, band.y0, i.x1, band.y1});
    return out;
}

int kindOf(const std::vector<RECT> &rects) {
    return rects.empty() ? NULLREGION : rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

RECT boundsOf(const std::vector<RECT> &rects) {
    if (rects.empty()) return RECT{0, 0, 0, 0};
    RECT b = rects[0];
    for (const RECT &r : rects) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

std::shared_ptr<Region> regionOf(HRGN h) { return get<Region>(reinterpret_cast<HGDIOBJ>(h), OBJ_REGION); }

HRGN newRegion(std::vector<RECT> rects) {
    auto r = std::make_shared<Region>();
    r->rects = std::move(rects);
    return reinterpret_cast<HRGN>(insert(r));
}

}  // namespace

extern "C" {

HRGN WINAPI CreateRectRgn(int left, int top, int right, int bottom) {
    RECT r{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
    return newRegion(combine({r}, {}, RGN_COPY));
}

HRGN WINAPI CreateRectRgnIndirect(const RECT *rect) {
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

// Only the identity transform is offered.
HRGN WINAPI ExtCreateRegion(const XFORM *xform, DWORD size, const RGNDATA *data) {
    const bool identity = !xform || (xform->eM11 == 1.0f && xform->eM12 == 0.0f && xform->eM21 == 0.0f &&
                                     xform->eM22 == 1.0f && xform->eDx == 0.0f && xform->eDy == 0.0f);
    if (!data || size < sizeof(RGNDATAHEADER) || !identity || data->rdh.dwSize != sizeof(RGNDATAHEADER) ||
        data->rdh.iType != RDH_RECTANGLES || data->rdh.nCount > (size - sizeof(RGNDATAHEADER)) / sizeof(RECT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<RECT> rects(data->rdh.nCount);
    if (!rects.empty()) std::memcpy(rects.data(), data->Buffer, rects.size() * sizeof(RECT));
    return newRegion(combine(rects, {}, RGN_OR));
}

int WINAPI CombineRgn(HRGN dst, HRGN a, HRGN b, int mode) {
    auto d = regionOf(dst), ra = regionOf(a);
    auto rb = mode == RGN_COPY ? ra : regionOf(b);
    if (!d || !ra || !rb || mode < RGN_AND || mode > RGN_COPY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return RGN_ERROR;
    }
    d->rects = combine(ra->rects, mode == RGN_COPY ? std::vector<RECT>{} : rb->rects, mode);
    return kindOf(d->rects);
}

DWORD WINAPI GetRegionData(HRGN region, DWORD size, RGNDATA *data) {
    auto r = regionOf(region);
    if (!r) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const DWORD need = DWORD(sizeof(RGNDATAHEADER) + r->rects.size() * sizeof(RECT));
    if (!data) return need;
    if (size < need) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    data->rdh = RGNDATAHEADER{sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(r->rects.size()),
                              DWORD(r->rects.size() * sizeof(RECT)), boundsOf(r->rects)};
    if (!r->rects.empty()) std::memcpy(data->Buffer, r->rects.data(), r->rects.size() * sizeof(RECT));
    return need;
}

int WINAPI GetRgnBox(HRGN region, LPRECT rect) {
    auto r = regionOf(region);
    if (!r || !rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return RGN_ERROR;
    }
    *rect = boundsOf(r->rects);
    return kindOf(r->rects);
}

int WINAPI OffsetRgn(HRGN region, int dx, int dy) {
    auto r = regionOf(region);
    if (!r) {
        SetLastError(ERROR_INVALID_HANDLE);
        return RGN_ERROR;
    }
    for (RECT &q : r->rects) q = RECT{q.left + dx, q.top + dy, q.right + dx, q.bottom + dy};
    return kindOf(r->rects);
}

BOOL WINAPI FillRgn(HDC hdc, HRGN region, HBRUSH brush) {
    auto r = regionOf(region);
    auto b = getBrush(brush);
    if (!r || !b || !getDC(hdc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    for (const RECT &q : r->rects)
        if (!fillDcRect(hdc, q, *b)) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
    return TRUE;
}

}  // extern "C"
