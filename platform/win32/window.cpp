// Windows (client rectangles, parents, owner threads), WH_CALLWNDPROC hooks per thread, the
// messages sent when windows move, change size or are destroyed, window observers, metrics.
#include "platform/machine/machine.h"
#include "platform/win32/internal.h"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

using namespace kiv::win32;

namespace {

struct Window {
    HWND hwnd;
    HWND parent;
    DWORD style;
    DWORD threadId;
    RECT rect;  // client rectangle relative to the parent's client area (screen for top level)
    int pixelFormat = 0;
    std::string title;
};

struct Hook {
    HHOOK handle;
    HOOKPROC proc;
    DWORD threadId;  // 0: every thread
    bool removed = false;
};

struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    WINDOWPOS pos;  // the storage lParam points to for WM_WINDOWPOSCHANGED
};

struct Observer {
    KivWindowObserver fn;
    void *context;
};

std::recursive_mutex &userLock() {
    static std::recursive_mutex m;
    return m;
}
std::map<HWND, Window> &windows() {
    static std::map<HWND, Window> w;
    return w;
}
uintptr_t g_nextHwnd = 0x10010;   // never reused
uintptr_t g_nextHook = 0x20004;
std::vector<std::shared_ptr<Hook>> &hooks() {  // newest last
    static std::vector<std::shared_ptr<Hook>> h;
    return h;
}
std::map<DWORD, std::deque<SentMessage>> &pending() {  // by receiving thread
    static std::map<DWORD, std::deque<SentMessage>> p;
    return p;
}
std::vector<Observer> &observers() {
    static std::vector<Observer> o;
    return o;
}

Window *find(HWND h) {
    auto it = windows().find(h);
    return it == windows().end() ? nullptr : &it->second;
}

// The screen position of a window's client origin (caller holds userLock).
POINT originOf(const Window &w) {
    POINT p{w.rect.left, w.rect.top};
    HWND parent = w.parent;
    while (parent) {
        Window *pw = find(parent);
        if (!pw) break;
        p.x += pw->rect.left;
        p.y += pw->rect.top;
        parent = pw->parent;
    }
    return p;
}

// The hook chain for a thread, newest first.
std::vector<std::shared_ptr<Hook>> chainFor(DWORD threadId) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    std::vector<std::shared_ptr<Hook>> chain;
    auto &h = hooks();
    for (auto it = h.rbegin(); it != h.rend(); ++it)
        if (!(*it)->removed && (*it)->threadId == threadId) chain.push_back(*it);
    for (auto it = h.rbegin(); it != h.rend(); ++it)
        if (!(*it)->removed && (*it)->threadId == 0) chain.push_back(*it);
    return chain;
}

// Runs the calling thread's hook chain for one message.
void runHooks(const SentMessage &m, bool fromThisThread) {
    CWPSTRUCT cwp{m.lParam, m.wParam, m.message, m.hwnd};
    auto chain = chainFor(GetCurrentThreadId());
    if (chain.empty()) return;
    chain.front()->proc(0 /* HC_ACTION */, fromThisThread ? 1 : 0, reinterpret_cast<LPARAM>(&cwp));
}

// Sends a message to a window: at once on its own thread, else queued for its thread.
void send(const Window &w, UINT message, WPARAM wParam, LPARAM lParam, const WINDOWPOS *pos) {
    SentMessage m{w.hwnd, message, wParam, lParam, {}};
    if (pos) m.pos = *pos;
    if (w.threadId == GetCurrentThreadId()) {
        if (pos) m.lParam = reinterpret_cast<LPARAM>(&m.pos);
        runHooks(m, true);
        return;
    }
    std::lock_guard<std::recursive_mutex> g(userLock());
    pending()[w.threadId].push_back(m);
}

void notify(HWND hwnd, UINT event) {
    std::vector<Observer> list;
    {
        std::lock_guard<std::recursive_mutex> g(userLock());
        list = observers();
    }
    for (auto &o : list) o.fn(o.context, hwnd, event);
}

LPARAM makeLong(int lo, int hi) {
    return static_cast<LPARAM>((static_cast<uint32_t>(hi) << 16) | (static_cast<uint32_t>(lo) & 0xFFFF));
}

void destroyTree(HWND hwnd);

}  // namespace

namespace kiv::win32 {

std::vector<HWND> topLevelWindowsAbove(HWND hwnd) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    std::vector<HWND> above;
    for (const auto &[h, w] : windows())
        if (h > hwnd && w.parent == nullptr) above.push_back(h);
    return above;
}

bool windowInfo(HWND hwnd, WindowInfo *out) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    Window *w = find(hwnd);
    if (!w) return false;
    POINT o = originOf(*w);
    out->hwnd = hwnd;
    out->parent = w->parent;
    out->threadId = w->threadId;
    out->screenClient = RECT{o.x, o.y, o.x + (w->rect.right - w->rect.left),
                             o.y + (w->rect.bottom - w->rect.top)};
    return true;
}

int windowPixelFormat(HWND hwnd) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    Window *w = find(hwnd);
    return w ? w->pixelFormat : 0;
}

bool setWindowPixelFormat(HWND hwnd, int format) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    Window *w = find(hwnd);
    if (!w) return false;
    if (w->pixelFormat && w->pixelFormat != format) return false;
    w->pixelFormat = format;
    return true;
}

}  // namespace kiv::win32

extern "C" {

// ---- windows ---------------------------------------------------------------------------------

HWND WINAPI CreateWindowExA(DWORD, LPCSTR, LPCSTR title, DWORD style, int x, int y, int w, int h,
                            HWND parent, HMENU, HINSTANCE, LPVOID) {
    HWND hwnd;
    {
        std::lock_guard<std::recursive_mutex> g(userLock());
        if (parent && !find(parent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if ((style & WS_CHILD) && !parent) {
            SetLastError(ERROR_INVALID_PARAMETER);  // a child needs a parent
            return nullptr;
        }
        hwnd = reinterpret_cast<HWND>(g_nextHwnd);
        g_nextHwnd += 4;
        Window win;
        win.hwnd = hwnd;
        win.parent = parent;
        win.style = style;
        win.threadId = GetCurrentThreadId();
        win.rect = RECT{x, y, x + std::max(w, 0), y + std::max(h, 0)};
        win.title = title ? title : "";
        windows()[hwnd] = win;
    }
    notify(hwnd, KIV_WINDOW_CREATED);
    return hwnd;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int w, int h, BOOL) {
    Window copy;
    WINDOWPOS pos{};
    bool moved, sized;
    {
        std::lock_guard<std::recursive_mutex> g(userLock());
        Window *win = find(hwnd);
        if (!win) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        w = std::max(w, 0);
        h = std::max(h, 0);
        RECT old = win->rect;
        moved = old.left != x || old.top != y;
        sized = (old.right - old.left) != w || (old.bottom - old.top) != h;
        win->rect = RECT{x, y, x + w, y + h};
        copy = *win;
        pos = WINDOWPOS{hwnd, nullptr, x, y, w, h, 0x0004u /* SWP_NOZORDER */ | 0x0010u /* SWP_NOACTIVATE */};
        if (!moved) pos.flags |= SWP_NOMOVE;
        if (!sized) pos.flags |= SWP_NOSIZE;
    }
    notify(hwnd, KIV_WINDOW_CHANGED);
    send(copy, WM_WINDOWPOSCHANGED, 0, 0, &pos);
    if (moved) send(copy, WM_MOVE, 0, makeLong(x, y), nullptr);
    if (sized) send(copy, WM_SIZE, 0 /* SIZE_RESTORED */, makeLong(w, h), nullptr);
    return TRUE;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    {
        std::lock_guard<std::recursive_mutex> g(userLock());
        Window *win = find(hwnd);
        if (!win) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (win->threadId != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    destroyTree(hwnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    return find(hwnd) ? TRUE : FALSE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    Window *w = find(hwnd);
    if (!w || !rect) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    Window *w = find(hwnd);
    if (!w || !rect) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    POINT o = originOf(*w);  // the stand-in draws no frame: window = client area
    *rect = RECT{o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT pt) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    Window *w = find(hwnd);
    if (!w || !pt) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    POINT o = originOf(*w);
    pt->x += o.x;
    pt->y += o.y;
    return TRUE;
}

HWND WINAPI GetParent(HWND hwnd) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    Window *w = find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!w->parent) SetLastError(ERROR_SUCCESS);
    return w->parent;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    Window *w = find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (processId) *processId = GetCurrentProcessId();
    return w->threadId;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT *, BOOL) {
    if (!hwnd) return TRUE;  // the whole screen
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

int WINAPI GetSystemMetrics(int index) {
    const KivScreenMode *m = kivScreenMode();
    switch (index) {
        case SM_CXSCREEN: return m->width;
        case SM_CYSCREEN: return m->height;
        default: return 0;
    }
}

BOOL WINAPI IntersectRect(LPRECT dst, LPCRECT a, LPCRECT b) {
    if (!dst || !a || !b) return FALSE;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (r.left >= r.right || r.top >= r.bottom) {
        *dst = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *dst = r;
    return TRUE;
}

// ---- hooks -----------------------------------------------------------------------------------

HHOOK WINAPI SetWindowsHookExA(int idHook, HOOKPROC proc, HINSTANCE, DWORD threadId) {
    if (idHook != WH_CALLWNDPROC) {
        SetLastError(ERROR_INVALID_HOOK_FILTER);
        return nullptr;
    }
    if (!proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> g(userLock());
    auto hk = std::make_shared<Hook>();
    hk->handle = reinterpret_cast<HHOOK>(g_nextHook);
    g_nextHook += 4;
    hk->proc = proc;
    hk->threadId = threadId;
    hooks().push_back(hk);
    return hk->handle;
}

BOOL WINAPI UnhookWindowsHookEx(HHOOK hook) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    auto &h = hooks();
    for (auto it = h.begin(); it != h.end(); ++it) {
        if ((*it)->handle == hook) {
            (*it)->removed = true;  // a chain being run keeps its reference
            h.erase(it);
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_HOOK_HANDLE);
    return FALSE;
}

LRESULT WINAPI CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
    auto chain = chainFor(GetCurrentThreadId());
    for (size_t i = 0; i < chain.size(); ++i) {
        if (chain[i]->handle == hook) {
            if (i + 1 < chain.size()) return chain[i + 1]->proc(code, wParam, lParam);
            return 0;
        }
    }
    return 0;  // no next hook (or the hook is not in this thread's chain)
}

// ---- sent messages ---------------------------------------------------------------------------

void kivDeliverSentMessages(void) {
    DWORD me = GetCurrentThreadId();
    for (;;) {
        SentMessage m;
        {
            std::lock_guard<std::recursive_mutex> g(userLock());
            auto it = pending().find(me);
            if (it == pending().end() || it->second.empty()) return;
            m = it->second.front();
            it->second.pop_front();
        }
        if (m.message == WM_WINDOWPOSCHANGED) m.lParam = reinterpret_cast<LPARAM>(&m.pos);
        runHooks(m, false);
    }
}

BOOL WINAPI PeekMessageA(LPMSG, HWND, UINT, UINT, UINT) {
    kivDeliverSentMessages();
    return FALSE;
}

void kivAddWindowObserver(KivWindowObserver fn, void *context) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    observers().push_back(Observer{fn, context});
}

void kivRemoveWindowObserver(KivWindowObserver fn, void *context) {
    std::lock_guard<std::recursive_mutex> g(userLock());
    auto &o = observers();
    o.erase(std::remove_if(o.begin(), o.end(),
                           [&](const Observer &x) { return x.fn == fn && x.context == context; }),
            o.end());
}

}  // extern "C"

namespace {

// WM_DESTROY goes to the window first, then to its children; then they are gone.
void destroyTree(HWND hwnd) {
    Window copy;
    std::vector<HWND> children;
    {
        std::lock_guard<std::recursive_mutex> g(userLock());
        Window *w = find(hwnd);
        if (!w) return;
        copy = *w;
    }
    notify(hwnd, KIV_WINDOW_DESTROYED);
    send(copy, WM_DESTROY, 0, 0, nullptr);
    {
        std::lock_guard<std::recursive_mutex> g(userLock());
        for (auto &[h, w] : windows())
            if (w.parent == hwnd) children.push_back(h);
    }
    for (HWND c : children) destroyTree(c);
    std::lock_guard<std::recursive_mutex> g(userLock());
    windows().erase(hwnd);
}

}  // namespace
