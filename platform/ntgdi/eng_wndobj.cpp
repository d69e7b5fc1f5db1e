// Window objects and the engine's window manager. A display driver asks to track a window with
// EngCreateWnd; the engine then tells it through the window object's callback whenever the
// visible part of the window's client area changes: the window moved or was resized, another
// window came over it, moved off it or went away, or the screen changed mode (then every window
// is told, changed region or not). When the window is destroyed (or the engine shuts down) the
// callback gets WOC_DELETE and the object is gone.
//
// Stacking: top-level windows are stacked in the order they were made, the newest on top (the
// stand-in's windows have no frames and nothing raises them). A window's visible region is its
// client rectangle cut to the screen, less the client rectangles of every newer top-level window.
#include "platform/ntgdi/eng_internal.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace {

struct EngWnd {
    WNDOBJ wo{};                 // first: the driver's WNDOBJ * is this record's address
    HWND hwnd = nullptr;
    WNDOBJCHANGEPROC pfn = nullptr;
    FLONG fl = 0;
    std::vector<RECTL> rects;    // the visible region, top to bottom, left to right
    size_t enumPos = 0;
    bool announced = false;      // the first WOC_RGN_CLIENT has been delivered
};

struct WindowManager {
    std::set<HWND> windows;                        // every live window, oldest first
    std::vector<std::unique_ptr<EngWnd>> objects;  // in creation order
    bool observing = false;
};

WindowManager &wm() {
    static WindowManager m;
    return m;
}

bool sameRect(const RECTL &a, const RECTL &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
bool emptyRect(const RECTL &r) { return r.left >= r.right || r.top >= r.bottom; }

bool screenClient(HWND hwnd, RECTL *out) {
    RECT rc;
    POINT origin{0, 0};
    if (!GetClientRect(hwnd, &rc) || !ClientToScreen(hwnd, &origin)) return false;
    *out = RECTL{origin.x + rc.left, origin.y + rc.top, origin.x + rc.right, origin.y + rc.bottom};
    return true;
}

// r less s, appended to out.
void subtract(const RECTL &r, const RECTL &s, std::vector<RECTL> &out) {
    const RECTL i{std::max(r.left, s.left), std::max(r.top, s.top), std::min(r.right, s.right),
                  std::min(r.bottom, s.bottom)};
    if (emptyRect(i)) {
        out.push_back(r);
        return;
    }
    if (r.top < i.top) out.push_back(RECTL{r.left, r.top, r.right, i.top});
    if (r.left < i.left) out.push_back(RECTL{r.left, i.top, i.left, i.bottom});
    if (i.right < r.right) out.push_back(RECTL{i.right, i.top, r.right, i.bottom});
    if (i.bottom < r.bottom) out.push_back(RECTL{r.left, i.bottom, r.right, r.bottom});
}

// Recomputes the client rectangle and visible region; true when either changed.
bool recompute(EngWnd &w, HWND leaving) {
    RECTL client{};
    if (!screenClient(w.hwnd, &client)) return false;
    std::vector<RECTL> region;
    const SURFOBJ *pso = w.wo.psoOwner;
    const RECTL screen{0, 0, pso ? pso->sizlBitmap.cx : 0, pso ? pso->sizlBitmap.cy : 0};
    const RECTL first{std::max(client.left, screen.left), std::max(client.top, screen.top),
                      std::min(client.right, screen.right), std::min(client.bottom, screen.bottom)};
    if (!emptyRect(first)) region.push_back(first);
    for (HWND other : wm().windows) {
        if (other <= w.hwnd || other == leaving || GetParent(other) != nullptr) continue;
        RECTL cover;
        if (!screenClient(other, &cover) || emptyRect(cover)) continue;
        std::vector<RECTL> next;
        for (const RECTL &r : region) subtract(r, cover, next);
        region.swap(next);
    }
    std::sort(region.begin(), region.end(), [](const RECTL &a, const RECTL &b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    bool changed = !sameRect(client, w.wo.rclClient) || region.size() != w.rects.size();
    for (size_t i = 0; !changed && i < region.size(); ++i) changed = !sameRect(region[i], w.rects[i]);
    w.wo.rclClient = client;
    w.rects = region;
    CLIPOBJ &co = w.wo.coClient;
    if (region.empty()) {
        co.iDComplexity = DC_RECT;
        co.rclBounds = RECTL{0, 0, 0, 0};
    } else if (region.size() == 1) {
        co.iDComplexity = sameRect(region[0], client) ? DC_TRIVIAL : DC_RECT;
        co.rclBounds = region[0];
    } else {
        co.iDComplexity = DC_COMPLEX;
        RECTL b = region[0];
        for (const RECTL &r : region) {
            b.left = std::min(b.left, r.left);
            b.top = std::min(b.top, r.top);
            b.right = std::max(b.right, r.right);
            b.bottom = std::max(b.bottom, r.bottom);
        }
        co.rclBounds = b;
    }
    if (changed) ++co.iUniq;
    return changed;
}

// Tells every window object whose region changed; the window being destroyed gets WOC_DELETE.
void update(HWND changed, bool destroyed) {
    std::lock_guard<std::recursive_mutex> calls(kivEngDriverCallLock());
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    auto &objs = wm().objects;
    std::vector<EngWnd *> told;
    for (size_t i = 0; i < objs.size();) {
        EngWnd *w = objs[i].get();
        if (destroyed && w->hwnd == changed) {
            std::unique_ptr<EngWnd> gone = std::move(objs[i]);
            objs.erase(objs.begin() + static_cast<long>(i));
            gone->pfn(&gone->wo, WOC_DELETE);
            continue;
        }
        if ((recompute(*w, destroyed ? changed : nullptr) || !w->announced) && (w->fl & WO_RGN_CLIENT)) {
            w->announced = true;
            w->pfn(&w->wo, WOC_RGN_CLIENT);
            told.push_back(w);
        }
        ++i;
    }
    for (EngWnd *w : told) {
        auto it = std::find_if(objs.begin(), objs.end(), [w](const auto &p) { return p.get() == w; });
        if (it != objs.end()) w->pfn(&w->wo, WOC_CHANGED);
    }
}

void observe(void *, HWND hwnd, UINT event) {
    {
        std::lock_guard<std::recursive_mutex> g(kivEngLock());
        if (event == KIV_WINDOW_CREATED) wm().windows.insert(hwnd);
    }
    update(hwnd, event == KIV_WINDOW_DESTROYED);
    if (event == KIV_WINDOW_DESTROYED) {
        std::lock_guard<std::recursive_mutex> g(kivEngLock());
        wm().windows.erase(hwnd);
    }
}

// Windows are watched from the start, so the stacking knows windows made before the engine ran.
struct StartObserving {
    StartObserving() {
        kivAddWindowObserver(observe, nullptr);
        wm().observing = true;
    }
} g_startObserving;

EngWnd *recordOf(WNDOBJ *pwo) {
    if (!pwo || pwo == reinterpret_cast<WNDOBJ *>(-1)) return nullptr;
    for (auto &p : wm().objects)
        if (&p->wo == pwo) return p.get();
    return nullptr;
}

}  // namespace

extern "C" WNDOBJ *APIENTRY EngCreateWnd(SURFOBJ *pso, HWND hwnd, WNDOBJCHANGEPROC pfn, FLONG fl, int) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    if (!pso || !pfn || !IsWindow(hwnd)) return nullptr;
    for (auto &p : wm().objects)
        if (p->hwnd == hwnd && p->pfn == pfn) return reinterpret_cast<WNDOBJ *>(-1);
    wm().windows.insert(hwnd);
    auto w = std::make_unique<EngWnd>();
    w->hwnd = hwnd;
    w->pfn = pfn;
    w->fl = fl;
    w->wo.psoOwner = pso;
    recompute(*w, nullptr);
    WNDOBJ *pwo = &w->wo;
    wm().objects.push_back(std::move(w));
    return pwo;
}

extern "C" void APIENTRY WNDOBJ_vSetConsumer(WNDOBJ *pwo, PVOID pvConsumer) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    if (EngWnd *w = recordOf(pwo)) w->wo.pvConsumer = pvConsumer;
    else kivEngError("WNDOBJ_vSetConsumer of an unknown window object");
}

extern "C" ULONG APIENTRY WNDOBJ_cEnumStart(WNDOBJ *pwo, ULONG iType, ULONG, ULONG cLimit) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    EngWnd *w = recordOf(pwo);
    if (!w || iType != CT_RECTANGLES) return 0xFFFFFFFFu;
    w->enumPos = 0;
    const size_t n = w->rects.size();
    return cLimit && n > cLimit ? 0xFFFFFFFFu : static_cast<ULONG>(n);
}

extern "C" BOOL APIENTRY WNDOBJ_bEnum(WNDOBJ *pwo, ULONG cj, ULONG *pul) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    EngWnd *w = recordOf(pwo);
    if (!pul || cj < sizeof(ENUMRECTS)) return FALSE;
    auto *er = reinterpret_cast<ENUMRECTS *>(pul);
    er->c = 0;
    if (!w) return FALSE;
    const size_t room = (cj - sizeof(ULONG)) / sizeof(RECTL);
    while (er->c < room && w->enumPos < w->rects.size()) er->arcl[er->c++] = w->rects[w->enumPos++];
    return w->enumPos < w->rects.size() ? TRUE : FALSE;
}

// ---- the engine's side -----------------------------------------------------------------------------

void kivEngAnnounceNewWindows() { update(nullptr, false); }

// Every window hears of the new screen, also one whose region stayed the same: what its driver
// wrote for it (whether it covers the whole screen, the screen it was cut to) belongs to the
// old mode.
void kivEngRetargetWindows(SURFOBJ *pso) {
    {
        std::lock_guard<std::recursive_mutex> g(kivEngLock());
        for (auto &p : wm().objects) {
            p->wo.psoOwner = pso;
            p->announced = false;
        }
    }
    update(nullptr, false);
}

void kivEngDeleteAllWindows() {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    auto &objs = wm().objects;
    while (!objs.empty()) {
        std::unique_ptr<EngWnd> w = std::move(objs.front());
        objs.erase(objs.begin());
        w->pfn(&w->wo, WOC_DELETE);
    }
}

size_t kivEngLiveWindowObjects() {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    return wm().objects.size();
}
