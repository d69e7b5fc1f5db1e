// GDI objects of the stand-in (device contexts, bitmaps; later DIB sections, regions, brushes),
// shared by the GDI source files of platform/win32 only.
#pragma once
#include "platform/win32/win32.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

namespace kiv::gdi {

struct DibSection;

struct Object {
    explicit Object(DWORD t) : type(t) {}
    virtual ~Object() = default;
    const DWORD type;      // OBJ_DC, OBJ_MEMDC, OBJ_BITMAP, ...
    bool stock = false;    // stock objects are never deleted
};

struct Bitmap : Object {
    Bitmap() : Object(OBJ_BITMAP) {}
    int width = 0, height = 0;
    int bpp = 1;
    int planes = 1;
    int pitch = 0;                 // bytes per row (device-dependent bitmaps: WORD-aligned)
    std::vector<uint8_t> bits;     // device-dependent bitmaps keep their pixels here
    HDC selectedInto = nullptr;
    // A DIB section's bits, which the application sees, and their row order.
    void *dibBits = nullptr;
    bool topDown = false;
    // The DIB section this bitmap is, or null (asked on every lock of a drawable: a field read,
    // no RTTI walk or virtual call).
    DibSection *asSection() const { return section_; }

  protected:
    DibSection *section_ = nullptr;  // set by the section itself
};

struct DC : Object {
    explicit DC(DWORD t) : Object(t) {}
    HWND hwnd = nullptr;       // window DCs; 0 for the screen DC and memory DCs
    bool screen = false;       // GetDC(NULL)
    // Memory DCs: the selected bitmap (changed under the selection lock, read without it).
    std::atomic<HGDIOBJ> bitmap{nullptr};
    int pixelFormat = 0;       // memory DCs keep their own; window DCs use the window's
};

// The handle table: HDC values of released DCs are reused (lowest free first), as the platform
// reuses its cached DC handles; other objects likewise per type. A handle is an index: its high
// byte says the type, the rest the slot (0x10 + 4 x slot), so that a lookup reads one entry.
HGDIOBJ insert(std::shared_ptr<Object> obj);
std::shared_ptr<Object> get(HGDIOBJ h);
template <class T> std::shared_ptr<T> get(HGDIOBJ h, DWORD type) {
    auto o = get(h);
    return o && o->type == type ? std::static_pointer_cast<T>(o) : nullptr;
}
std::shared_ptr<DC> getDC(HDC hdc);   // OBJ_DC or OBJ_MEMDC
void remove(HGDIOBJ h);

// The table itself (gdi.cpp): the objects of each handle type by slot, and its lock word, held
// only while the table is read or changed (never while an object is destroyed).
constexpr uintptr_t kTagCount = 0x80, kFirstSlotValue = 0x10;
extern std::array<std::vector<std::shared_ptr<Object>>, kTagCount> g_slots;
extern std::atomic<bool> g_tableBusy;
void waitForTable();  // takes the lock word once its holder lets go

// For the lookups made on every drawing call: while a TableHold lives, no object leaves the
// table, so the object peek() returns stays alive without a reference being taken. Keep the
// hold short, and call nothing from inside it that inserts or removes objects.
class TableHold {
  public:
    TableHold() {
        if (g_tableBusy.exchange(true, std::memory_order_acquire)) waitForTable();
    }
    ~TableHold() { g_tableBusy.store(false, std::memory_order_release); }
    TableHold(const TableHold &) = delete;
    TableHold &operator=(const TableHold &) = delete;
};

// The slot a handle value names (tag << 24 | (0x10 + 4 x slot)), or null for a value that names
// none: a tag out of range, low bits set, or past the end.
// The slot's byte offset is compared with the slots' bytes, which costs no division by the size
// of a slot (this runs on every lock of a drawable).
inline std::shared_ptr<Object> *slotOf(const TableHold &, HGDIOBJ h) {
    using Slot = std::shared_ptr<Object>;
    const uintptr_t v = reinterpret_cast<uintptr_t>(h), tag = v >> 24, low = v & 0xFFFFFF;
    if (tag >= kTagCount || low < kFirstSlotValue || (low & 3) != 0) return nullptr;
    std::vector<Slot> &slots = g_slots[tag];
    const size_t offset = (low - kFirstSlotValue) / 4 * sizeof(Slot);
    uint8_t *first = reinterpret_cast<uint8_t *>(slots.data());
    const size_t bytes = size_t(reinterpret_cast<uint8_t *>(slots.data() + slots.size()) - first);
    return offset < bytes ? reinterpret_cast<Slot *>(first + offset) : nullptr;
}
inline Object *peek(const TableHold &hold, HGDIOBJ h) {
    const std::shared_ptr<Object> *slot = slotOf(hold, h);
    return slot != nullptr ? slot->get() : nullptr;
}

}  // namespace kiv::gdi
