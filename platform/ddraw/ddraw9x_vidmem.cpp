// DirectDraw's video-memory allocator over the linear heaps a 9x driver announced: first fit,
// blocks aligned to 8 bytes, every block inside its heap. The heaps start empty at every power-on
// of the card: blocks of surfaces a program never destroyed went with the video memory they lay in.
#include "platform/ddraw/ddraw9x_hal.h"
#include "platform/siv/siv_chip.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

namespace {

struct Block {
    FLATPTR start;
    DWORD bytes;
    const DDRAWI_DIRECTDRAW_GBL *owner;
};

std::mutex g_lock;
std::map<const VIDMEM *, std::vector<Block>> g_blocks;   // sorted by start within a heap
uint32_t g_powerOn;                                      // the card's power-on the blocks belong to
unsigned g_failAfter;

// The blocks under g_lock, emptied when the card was powered on since they were handed out.
std::map<const VIDMEM *, std::vector<Block>> &Blocks() {
    if (g_powerOn != kivSivPowerOns()) {
        g_blocks.clear();
        g_powerOn = kivSivPowerOns();
    }
    return g_blocks;
}

const VIDMEM *Heap(const DDRAWI_DIRECTDRAW_GBL *lpDD, int heap) {
    if (!lpDD || heap < 0 || static_cast<DWORD>(heap) >= lpDD->vmiData.dwNumHeaps || !lpDD->vmiData.pvmList)
        return nullptr;
    return &lpDD->vmiData.pvmList[heap];
}

}  // namespace

extern "C" FLATPTR WINAPI DDHAL32_VidMemAlloc(DDRAWI_DIRECTDRAW_GBL *lpDD, int heap, DWORD width, DWORD height) {
    std::lock_guard<std::mutex> g(g_lock);
    const VIDMEM *h = Heap(lpDD, heap);
    uint64_t bytes = static_cast<uint64_t>(width) * height;
    if (!h || bytes == 0 || bytes > 0xFFFFFFFFu)
        return 0;
    if (g_failAfter && --g_failAfter == 0)
        return 0;
    std::vector<Block> &list = Blocks()[h];
    // The candidate only ever moves up from the heap's start, so what is handed out lies inside
    // the heap whatever the list holds.
    FLATPTR at = (h->fpStart + 7) & ~FLATPTR(7);
    size_t i = 0;
    for (; i <= list.size(); i++) {
        FLATPTR limit = i < list.size() ? list[i].start : h->fpEnd + 1;
        if (at + bytes <= limit && at + bytes >= at)
            break;
        if (i < list.size())
            at = std::max(at, (list[i].start + list[i].bytes + 7) & ~FLATPTR(7));
    }
    if (i > list.size())
        return 0;
    list.insert(list.begin() + i, Block{at, static_cast<DWORD>(bytes), lpDD});
    return at;
}

extern "C" void WINAPI DDHAL32_VidMemFree(DDRAWI_DIRECTDRAW_GBL *lpDD, int heap, FLATPTR block) {
    std::lock_guard<std::mutex> g(g_lock);
    const VIDMEM *h = Heap(lpDD, heap);
    if (!h)
        return;
    std::vector<Block> &list = Blocks()[h];
    for (size_t i = 0; i < list.size(); i++)
        if (list[i].start == block) {
            list.erase(list.begin() + i);
            return;
        }
}

DWORD kivDdraw9xDestroySurface(DDRAWI_DIRECTDRAW_GBL *lpDD, LPDDHALSURFCB_DESTROYSURFACE destroy,
                               DDRAWI_DDRAWSURFACE_LCL *surface) {
    DDHAL_DESTROYSURFACEDATA d = {lpDD, surface, DD_OK, reinterpret_cast<void *>(destroy)};
    DWORD r = destroy ? destroy(&d) : DDHAL_DRIVER_NOTHANDLED;
    DDRAWI_DDRAWSURFACE_GBL *g = surface->lpGbl;
    if (r == DDHAL_DRIVER_NOTHANDLED && g && g->lpVidMemHeap && lpDD->vmiData.pvmList) {
        DDHAL32_VidMemFree(lpDD, static_cast<int>(g->lpVidMemHeap - lpDD->vmiData.pvmList), g->fpVidMem);
        g->lpVidMemHeap = nullptr;
        g->fpVidMem = 0;
    }
    return r;
}

void kivVidMemFailAfter(unsigned n) { g_failAfter = n; }

int kivVidMemLiveBlocks(const DDRAWI_DIRECTDRAW_GBL *lpDD) {
    std::lock_guard<std::mutex> g(g_lock);
    int n = 0;
    for (auto &[heap, list] : Blocks())
        for (const Block &b : list)
            n += b.owner == lpDD;
    return n;
}
