// Device contexts, bitmaps, pixel formats and escapes. Pixel formats and escapes are the display
// driver's: GDI reaches it through the machine's display device (platform/machine).
#include "platform/machine/machine.h"
#include "platform/win32/gdi_objects.h"
#include "platform/win32/internal.h"

#include <sched.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

namespace kiv::gdi {
namespace {

// The high byte of a handle says its type (as the platform's handles carry a type field).
uintptr_t tagOf(DWORD type) {
    switch (type) {
        case OBJ_DC: return 0x01;
        case OBJ_MEMDC: return 0x01;  // DCs of both kinds share the DC handle space
        case OBJ_BITMAP: return 0x05;
        case OBJ_REGION: return 0x04;
        case OBJ_BRUSH: return 0x10;
        case OBJ_PEN: return 0x30;
        case OBJ_PAL: return 0x08;
        default: return 0x7F;
    }
}

}  // namespace

// Constant-initialised: the table exists before any constructor runs.
std::array<std::vector<std::shared_ptr<Object>>, kTagCount> g_slots;
std::atomic<bool> g_tableBusy{false};

// Holds are a slot index, a few fields read or a slot filled: a waiter spins, giving the
// processor up between tries, rather than sleeping in the kernel.
void waitForTable() {
    do {
        while (g_tableBusy.load(std::memory_order_relaxed)) sched_yield();
    } while (g_tableBusy.exchange(true, std::memory_order_acquire));
}

HGDIOBJ insert(std::shared_ptr<Object> obj) {
    const uintptr_t tag = tagOf(obj->type);
    TableHold hold;
    std::vector<std::shared_ptr<Object>> &slots = g_slots[tag];
    size_t i = 0;
    while (i < slots.size() && slots[i]) ++i;  // lowest free value of the type
    if (i == slots.size()) slots.emplace_back();
    slots[i] = std::move(obj);
    return reinterpret_cast<HGDIOBJ>(tag << 24 | (kFirstSlotValue + 4 * i));
}

std::shared_ptr<Object> get(HGDIOBJ h) {
    TableHold hold;
    const std::shared_ptr<Object> *slot = slotOf(hold, h);
    return slot != nullptr ? *slot : nullptr;
}

std::shared_ptr<DC> getDC(HDC hdc) {
    auto o = get(reinterpret_cast<HGDIOBJ>(hdc));
    if (o && (o->type == OBJ_DC || o->type == OBJ_MEMDC)) return std::static_pointer_cast<DC>(o);
    return nullptr;
}

void remove(HGDIOBJ h) {
    std::shared_ptr<Object> dead;  // destroyed after the table is released
    TableHold hold;
    if (std::shared_ptr<Object> *slot = slotOf(hold, h)) dead = std::move(*slot);
}

}  // namespace kiv::gdi

using namespace kiv::gdi;

namespace {

std::recursive_mutex &selLock() {  // selection of bitmaps into DCs
    static std::recursive_mutex m;
    return m;
}

// The 1 x 1 monochrome bitmap every new memory DC starts with.
HGDIOBJ stockBitmap() {
    static HGDIOBJ h = [] {
        auto b = std::make_shared<Bitmap>();
        b->width = b->height = 1;
        b->bpp = 1;
        b->pitch = 2;
        b->bits.assign(2, 0);
        b->stock = true;
        return insert(b);
    }();
    return h;
}

int screenBpp() { return kivScreenMode()->bpp; }

// The bit depth a DC draws in: the screen's, or a memory DC's selected bitmap's.
int dcBpp(const DC &dc) {
    if (dc.type == OBJ_MEMDC) {
        auto b = get<Bitmap>(dc.bitmap, OBJ_BITMAP);
        return b ? b->bpp : 1;
    }
    return screenBpp();
}

HWND dcWindow(const DC &dc) { return (dc.hwnd && IsWindow(dc.hwnd)) ? dc.hwnd : nullptr; }

std::shared_ptr<DC> checkDC(HDC hdc) {
    auto dc = getDC(hdc);
    if (!dc) SetLastError(ERROR_INVALID_HANDLE);
    return dc;
}

}  // namespace

extern "C" {

HDC WINAPI GetDC(HWND hwnd) {
    if (hwnd && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto dc = std::make_shared<DC>(OBJ_DC);
    dc->hwnd = hwnd;
    dc->screen = hwnd == nullptr;
    return reinterpret_cast<HDC>(insert(dc));
}

int WINAPI ReleaseDC(HWND hwnd, HDC hdc) {
    auto dc = get<DC>(reinterpret_cast<HGDIOBJ>(hdc), OBJ_DC);
    if (!dc || dc->hwnd != hwnd) return 0;
    remove(reinterpret_cast<HGDIOBJ>(hdc));
    return 1;
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    if (hdc && !checkDC(hdc)) return nullptr;
    auto dc = std::make_shared<DC>(OBJ_MEMDC);
    dc->bitmap = stockBitmap();
    return reinterpret_cast<HDC>(insert(dc));
}

BOOL WINAPI DeleteDC(HDC hdc) {
    auto dc = get<DC>(reinterpret_cast<HGDIOBJ>(hdc), OBJ_MEMDC);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    {
        std::lock_guard<std::recursive_mutex> g(selLock());
        if (auto b = get<Bitmap>(dc->bitmap, OBJ_BITMAP)) b->selectedInto = nullptr;
    }
    remove(reinterpret_cast<HGDIOBJ>(hdc));
    return TRUE;
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int w, int h) {
    auto dc = checkDC(hdc);
    if (!dc) return nullptr;
    if (w < 0 || h < 0 || int64_t(w) * h > (int64_t(1) << 26)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (w == 0 || h == 0) return stockBitmap();  // as the platform: the stock 1 x 1 bitmap
    auto b = std::make_shared<Bitmap>();
    b->width = w;
    b->height = h;
    b->bpp = dcBpp(*dc);
    b->pitch = ((w * b->bpp + 15) / 16) * 2;
    b->bits.assign(size_t(b->pitch) * h, 0);
    return insert(b);
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ obj) {
    auto dc = checkDC(hdc);
    if (!dc) return nullptr;
    auto o = get(obj);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (o->type != OBJ_BITMAP) {
        // Only bitmaps are selected into a DC here: brushes and regions go to the calls that use
        // them (FillRgn), and there are no pens, palettes or fonts.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (dc->type != OBJ_MEMDC) {  // only memory DCs take bitmaps
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto b = std::static_pointer_cast<Bitmap>(o);
    std::lock_guard<std::recursive_mutex> g(selLock());
    if (dc->bitmap == obj) return obj;
    if (!b->stock && b->selectedInto) {  // a bitmap is in at most one DC
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (b->bpp != 1 && b->bpp != screenBpp() && !b->dibBits) {
        SetLastError(ERROR_INVALID_PARAMETER);  // a device bitmap of another depth
        return nullptr;
    }
    HGDIOBJ prev = dc->bitmap;
    if (auto pb = get<Bitmap>(prev, OBJ_BITMAP); pb && !pb->stock) pb->selectedInto = nullptr;
    if (!b->stock) b->selectedInto = hdc;
    dc->bitmap = obj;
    return prev;
}

BOOL WINAPI DeleteObject(HGDIOBJ obj) {
    auto o = get(obj);
    if (!o || o->type == OBJ_DC || o->type == OBJ_MEMDC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (o->stock) return TRUE;
    if (o->type == OBJ_BITMAP) {
        std::lock_guard<std::recursive_mutex> g(selLock());
        if (std::static_pointer_cast<Bitmap>(o)->selectedInto) return FALSE;  // still selected
    }
    remove(obj);
    return TRUE;
}

DWORD WINAPI GetObjectType(HGDIOBJ obj) {
    auto o = get(obj);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return o->type;
}

HWND WINAPI WindowFromDC(HDC hdc) {
    auto dc = getDC(hdc);
    return dc ? dcWindow(*dc) : nullptr;
}

// Asked on every lock of a drawable: the DC is read in place, without a reference.
HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
    DWORD kind = 0;
    HGDIOBJ selected = nullptr;
    {
        TableHold hold;
        if (const Object *o = peek(hold, hdc); o != nullptr && (o->type == OBJ_DC || o->type == OBJ_MEMDC)) {
            kind = o->type;
            if (kind == OBJ_MEMDC) selected = static_cast<const DC *>(o)->bitmap.load(std::memory_order_relaxed);
        }
    }
    if (kind == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (type != OBJ_BITMAP) return nullptr;  // a DC holds no other current object here
    // A window or screen DC shows the stock bitmap, made (if it is the first) outside the hold.
    return kind == OBJ_MEMDC ? selected : stockBitmap();
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
    if (!checkDC(hdc)) return 0;
    const KivScreenMode *m = kivScreenMode();
    switch (index) {
        case HORZRES: return m->width;
        case VERTRES: return m->height;
        case BITSPIXEL: return m->bpp;
        case PLANES: return 1;
        default: return 0;
    }
}

// ---- pixel formats ---------------------------------------------------------------------------

int WINAPI DescribePixelFormat(HDC hdc, int format, UINT bytes, LPPIXELFORMATDESCRIPTOR pfd) {
    if (!checkDC(hdc)) return 0;
    const KivDisplayDevice *d = kivMachineDisplay();
    int count = (d && d->describePixelFormat) ? d->describePixelFormat(d->context, 0, 0, nullptr) : 0;
    if (!pfd) return count;
    if (format < 1 || format > count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return d->describePixelFormat(d->context, format, bytes, pfd);
}

int WINAPI GetPixelFormat(HDC hdc) {
    auto dc = checkDC(hdc);
    if (!dc) return 0;
    int f = 0;
    if (dc->type == OBJ_MEMDC) f = dc->pixelFormat;
    else if (HWND w = dcWindow(*dc)) f = kiv::win32::windowPixelFormat(w);
    if (!f) SetLastError(ERROR_INVALID_PIXEL_FORMAT);
    return f;
}

BOOL WINAPI SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR *) {
    auto dc = checkDC(hdc);
    if (!dc) return FALSE;
    const KivDisplayDevice *d = kivMachineDisplay();
    int count = (d && d->describePixelFormat) ? d->describePixelFormat(d->context, 0, 0, nullptr) : 0;
    if (format < 1 || format > count) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    HWND hwnd = dcWindow(*dc);
    if (dc->type == OBJ_MEMDC) {
        if (dc->pixelFormat && dc->pixelFormat != format) {
            SetLastError(ERROR_INVALID_PIXEL_FORMAT);
            return FALSE;
        }
    } else if (!hwnd) {  // the screen DC (or a dead window's) takes no format
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    } else {
        int cur = kiv::win32::windowPixelFormat(hwnd);
        if (cur && cur != format) {  // a window's format is set once
            SetLastError(ERROR_INVALID_PIXEL_FORMAT);
            return FALSE;
        }
    }
    if (d->setPixelFormat && !d->setPixelFormat(d->context, hdc, hwnd, format)) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    if (dc->type == OBJ_MEMDC) dc->pixelFormat = format;
    else kiv::win32::setWindowPixelFormat(hwnd, format);
    return TRUE;
}

int WINAPI ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR *want) {
    if (!checkDC(hdc)) return 0;
    if (!want) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const DWORD kDoubleDontCare = 0x40000000u, kStereoDontCare = 0x80000000u;
    const KivDisplayDevice *d = kivMachineDisplay();
    int count = (d && d->describePixelFormat) ? d->describePixelFormat(d->context, 0, 0, nullptr) : 0;
    int best = 0;
    long bestScore = -1;
    for (int f = 1; f <= count; ++f) {
        PIXELFORMATDESCRIPTOR p;
        std::memset(&p, 0, sizeof p);
        if (!d->describePixelFormat(d->context, f, sizeof p, &p)) continue;
        // Required: every asked-for capability among draw-to-window/bitmap, GDI, OpenGL.
        const DWORD required = PFD_DRAW_TO_WINDOW | PFD_DRAW_TO_BITMAP | PFD_SUPPORT_GDI | PFD_SUPPORT_OPENGL;
        if ((want->dwFlags & required) & ~p.dwFlags) continue;
        if (p.iPixelType != want->iPixelType) continue;
        long score = 0;
        if (!(want->dwFlags & kDoubleDontCare) &&
            ((want->dwFlags & PFD_DOUBLEBUFFER) == (p.dwFlags & PFD_DOUBLEBUFFER)))
            score += 1000000;
        if (!(want->dwFlags & kStereoDontCare) &&
            ((want->dwFlags & PFD_STEREO) == (p.dwFlags & PFD_STEREO)))
            score += 500000;
        auto closeness = [](int have, int asked) {
            if (asked == 0) return have == 0 ? 100 : 50;
            return have >= asked ? 100 - (have - asked) : 40 - (asked - have);
        };
        score += 100 * closeness(p.cColorBits, want->cColorBits);
        score += 10 * closeness(p.cDepthBits, want->cDepthBits);
        score += closeness(p.cAlphaBits, want->cAlphaBits) + closeness(p.cStencilBits, want->cStencilBits) +
                 closeness(p.cAccumBits, want->cAccumBits);
        if (score > bestScore) {
            bestScore = score;
            best = f;
        }
    }
    if (!best) SetLastError(ERROR_INVALID_PIXEL_FORMAT);
    return best;
}

// ---- escapes ---------------------------------------------------------------------------------

int WINAPI ExtEscape(HDC hdc, int escape, int inSize, LPCSTR in, int outSize, LPSTR out) {
    auto dc = checkDC(hdc);
    if (!dc) return -1;
    const KivDisplayDevice *d = kivMachineDisplay();
    if (!d || !d->escape) return 0;  // no driver: the escape is not supported
    return d->escape(d->context, hdc, dcWindow(*dc), escape, inSize, in, outSize, out);
}

}  // extern "C"
