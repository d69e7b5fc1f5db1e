// The rectangle fills the buffer clears use: exactly width x height pixels of the value for
// every start alignment and width, the row skip honoured and the bytes around left alone.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "icd/codegen/og_context.h"
#include "icd/raster/color_buffer.h"

namespace {

using FillProc = void (*)(GlContext *, uint8_t *, int32_t, int32_t, int32_t, uint32_t);

// Widths past 32 bytes reach the blocks of wide stores; a skip of 0 makes the rectangle one run.
// Both roads of the 32-bit fill are taken: the MMX loop and the integer stores.
TEST(FillRect, WritesExactlyTheRectangleForEveryAlignmentAndWidth) {
    struct Kind {
        FillProc fill;
        int bytes;
    } kinds[] = {{__glFillRect8, 1}, {__glFillRect16, 2}, {__glFillRect32, 4}};
    // Zero, and a pattern whose bits 20-30 are all set (not a value the x87 unit copies as is).
    const uint32_t values[] = {0, 0x7FF5A5A5u, 0x12345678u};
    constexpr int kGuard = 16, kRows = 3;
    for (int mmx : {0, 1}) {
        icd::__glOgOverrideMmx(mmx);
        for (const Kind &k : kinds)
            for (uint32_t value : values)
                for (int skipPixels : {0, 5})
                    for (int align = 0; align < 8; ++align)
                        for (int w = 1; w <= 40; ++w) {
                            const int pitch = (w + skipPixels) * k.bytes;
                            std::vector<uint8_t> mem(size_t(kGuard * 2 + align + pitch * kRows), 0xEE);
                            uint8_t *first = mem.data() + kGuard + align;
                            k.fill(nullptr, first, w, kRows, skipPixels * k.bytes, value);
                            const uint32_t want = k.bytes == 4 ? value : value & ((1u << (8 * k.bytes)) - 1);
                            for (size_t i = 0; i < mem.size(); ++i) {
                                const long off = long(i) - (kGuard + align);
                                const bool inRow = off >= 0 && off < pitch * kRows && off % pitch < w * k.bytes;
                                if (!inRow) {
                                    ASSERT_EQ(mem[i], 0xEE) << k.bytes << " bytes, mmx " << mmx << ", skip "
                                                            << skipPixels << ", align " << align << ", width " << w;
                                    continue;
                                }
                                const int byte = int(off % pitch) % k.bytes;
                                ASSERT_EQ(mem[i], uint8_t(want >> (8 * byte)))
                                    << k.bytes << " bytes, mmx " << mmx << ", skip " << skipPixels << ", align "
                                    << align << ", width " << w;
                            }
                        }
    }
    icd::__glOgOverrideMmx(-1);
}

}  // namespace
