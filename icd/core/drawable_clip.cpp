// The clip list of a drawable as the device layer builds it: rectangles in the device's
// bottom-up window coordinates stored top-down in the platform's region-data layout, and the
// bounds of the clip box.
#include <climits>
#include "icd/core/core.h"
#include "icd/core/drawable.h"

namespace {
// Grows the list to twice its capacity. The list and its capacity change only when the larger
// block exists, so a failed growth keeps every rectangle stored so far.
bool growClipList(GlDrawable *d) {
    if (d->clipCapacity > INT_MAX / 64) return false;
    int32_t capacity = d->clipCapacity > 0 ? d->clipCapacity * 2 : kGlClipInitialCapacity;
    void *grown = d->buffers.realloc(nullptr, d->clipList, kGlClipListBytes(capacity));
    if (grown == nullptr) return false;
    d->clipList = static_cast<GlClipList *>(grown);
    d->clipCapacity = capacity;
    return true;
}
}  // namespace

void __wglClipAddRect(GlDrawableBuffers *buffers, int32_t x, int32_t y, int32_t w, int32_t h) {
    GlDrawable *d = buffers->drawable;
    if (d->clipList == nullptr) return;
    if (int32_t(d->clipList->rdh.nCount) >= d->clipCapacity && !growClipList(d)) return;
    GlClipListHeader &rdh = d->clipList->rdh;
    RECT r;
    r.left = x;
    r.right = x + w;
    r.bottom = d->height - y;
    r.top = r.bottom - h;
    d->clipList->rects[rdh.nCount] = r;
    if (rdh.nCount == 0) {
        rdh.nRgnSize = sizeof(RECT);
        rdh.rcBound = r;
    } else {
        rdh.nRgnSize += sizeof(RECT);
        RECT &b = rdh.rcBound;
        if (r.left < b.left) b.left = r.left;
        if (r.top < b.top) b.top = r.top;
        if (r.right > b.right) b.right = r.right;
        if (r.bottom > b.bottom) b.bottom = r.bottom;
    }
    rdh.nCount += 1;
}

void __wglClipSetBounds(GlDrawableBuffers *buffers, int32_t x, int32_t y, int32_t w, int32_t h) {
    GlDrawable *d = buffers->drawable;
    d->clipBounds = {x, y, x + w, y + h};
    d->moved = 1;
}
