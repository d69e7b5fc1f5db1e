// Texel fetch procs: every layout's channels, widened exactly; only the layout's channels are
// written; the border colour outside a level without border; bordered addressing; colour
// indices through the texture's colour table.
#include <gtest/gtest.h>
#include "tests/icd_texsample/tex_fixture.h"

namespace {

constexpr uint8_t kUntouched = 0xAA;

struct Out {
    uint8_t c[4];
};
bool operator==(const Out &a, const Out &b) { return std::memcmp(a.c, b.c, 4) == 0; }
std::ostream &operator<<(std::ostream &os, const Out &o) {
    return os << int(o.c[0]) << "," << int(o.c[1]) << "," << int(o.c[2]) << "," << int(o.c[3]);
}

Out fetch(HandTexture &h, int t, int s) {
    Out o{{kUntouched, kUntouched, kUntouched, kUntouched}};
    h.level[0].fetch(&h.level[0], &h.tex, 0, t, s, o.c);
    return o;
}

constexpr uint8_t U = kUntouched;

TEST(TexelFetch, EveryLayoutWidensItsChannelsAndWritesNoOther) {
    struct Row {
        int row;
        GLenum base;
        uint32_t texel;
        Out out;
    };
    const Row rows[] = {
        {0, GL_LUMINANCE, 0x5A, {{0x5A, 0x5A, 0x5A, U}}},
        {1, GL_LUMINANCE_ALPHA, 0xF010, {{0x10, 0x10, 0x10, 0xF0}}},  // L then A
        {2, GL_RGB, 0x030201, {{1, 2, 3, U}}},
        {3, GL_RGB, 0xFF, {{255, 255, 255, U}}},  // every full channel reads as 255
        {3, GL_RGB, 0x89, {{146, 73, 85, U}}},    // 4, 2, 1 of 7, 7, 3: 145.7, 72.9, 85
        {4, GL_RGB, (31u << 10) | (16u << 5), {{255, 132, 0, U}}},  // 16 of 31: 131.6
        {4, GL_RGB, 0x8000, {{0, 0, 0, U}}},  // the x bit is ignored
        {5, GL_RGB, 0xFFFF, {{255, 255, 255, U}}},
        {5, GL_RGB, 32u << 5, {{0, 130, 0, U}}},  // 32 of 63: 129.5
        {6, GL_RGBA, 0x06070809, {{9, 8, 7, 6}}},
        {7, GL_RGBA, 0xF0A5, {{255, 0, 170, 85}}},
        {8, GL_RGBA, 0xF0A5, {{0, 170, 85, 255}}},
        {9, GL_RGBA, (31u << 11) | (16u << 1) | 1u, {{255, 0, 132, 255}}},
        {9, GL_RGBA, 1u << 6, {{0, 8, 0, 0}}},
        {10, GL_RGBA, 0x8000 | (31u << 5) | 16u, {{0, 255, 132, 255}}},
        {10, GL_RGBA, 1u << 10, {{8, 0, 0, 0}}},
        {11, GL_ALPHA, 0x40, {{U, U, U, 0x40}}},
        {12, GL_INTENSITY, 0x33, {{0x33, 0x33, 0x33, 0x33}}},
        {15, GL_ALPHA, 0xF000, {{U, U, U, 255}}},
        {15, GL_ALPHA, 0x8FFF, {{U, U, U, 136}}},  // the low 12 bits are ignored
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "row " << r.row << " texel 0x" << std::hex << r.texel);
        HandTexture h;
        h.define(0, 4, 2, r.row, r.base);
        h.put(0, 3, 1, r.texel);
        EXPECT_EQ(fetch(h, 1, 3), r.out);
        // Row 1 of a level 4 texels wide starts at element 4.
        EXPECT_EQ(std::memcmp(h.level[0].image + 7 * kTexelBytes[r.row], &r.texel, size_t(kTexelBytes[r.row])), 0);
    }
}

// Outside a level without border the texel is the border colour times 255, truncated, in the
// channels of the layout.
TEST(TexelFetch, OutsideALevelWithoutBorderIsTheBorderColour) {
    struct Row {
        int row;
        GLenum base;
        Out out;
    };
    const Row rows[] = {
        {5, GL_RGB, {{127, 63, 255, U}}},
        {6, GL_RGBA, {{127, 63, 255, 191}}},
        {11, GL_ALPHA, {{U, U, U, 191}}},
        {15, GL_ALPHA, {{U, U, U, 191}}},
        {12, GL_INTENSITY, {{127, 63, 255, 191}}},
        {1, GL_LUMINANCE_ALPHA, {{127, 63, 255, 191}}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "row " << r.row);
        HandTexture h;
        h.define(0, 4, 2, r.row, r.base);
        h.fill(0, 0);
        const float border[4] = {0.5f, 0.25f, 1.0f, 0.75f};
        std::memcpy(h.tex.borderColor, border, sizeof border);
        for (auto [t, s] : {std::pair{0, -1}, {-1, 0}, {0, 4}, {2, 0}, {-5, 100}}) EXPECT_EQ(fetch(h, t, s), r.out);
        // Just inside: the texel.
        Out inside = fetch(h, 1, 3);
        EXPECT_NE(inside, r.out);
    }
}

// A bordered level is read directly: -1 .. the inner size lie inside the image.
TEST(TexelFetch, BorderedLevelsReadTheBorderTexels) {
    HandTexture h;
    uint8_t *image = h.define(0, 2, 2, 0, GL_LUMINANCE, 1);
    for (int i = 0; i < 16; ++i) image[i] = uint8_t(10 + i);
    EXPECT_EQ(fetch(h, -1, -1).c[0], 10);  // the first element
    EXPECT_EQ(fetch(h, 0, 0).c[0], 15);    // (1, 1) of the 4 x 4 image
    EXPECT_EQ(fetch(h, 1, 0).c[0], 19);
    EXPECT_EQ(fetch(h, 2, 2).c[0], 25);    // the last element
    EXPECT_EQ(fetch(h, 0, 2).c[0], 17);
}

// Colour indices: through the colour table by its base format, or the index itself when level 0
// is a colour-index image.
TEST(TexelFetch, IndicesLookUpTheColourTable) {
    const uint8_t rgba[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const uint8_t la[] = {20, 21, 22, 23, 24, 25, 26, 27};
    struct Row {
        int row;
        uint32_t index;
        GLenum tableBase;
        const uint8_t *entries;
        Out out;
    };
    const Row rows[] = {
        {13, 2, GL_RGBA, rgba, {{9, 10, 11, 12}}},
        {13, 1, GL_RGB, rgba, {{4, 5, 6, U}}},
        {13, 3, GL_ALPHA, la, {{U, U, U, 23}}},
        {13, 3, GL_LUMINANCE, la, {{23, 23, 23, U}}},
        {13, 3, GL_INTENSITY, la, {{23, 23, 23, 23}}},
        {14, 1, GL_LUMINANCE_ALPHA, la, {{22, 22, 22, 23}}},
        {14, 3, GL_RGBA, rgba, {{13, 14, 15, 16}}},
        // An index past the table's end wraps inside it instead of reading past the entries.
        {14, 0x0102, GL_RGBA, rgba, {{9, 10, 11, 12}}},
        {13, 6, GL_LUMINANCE_ALPHA, la, {{24, 24, 24, 25}}},
        {13, 0, GL_COLOR_INDEX, rgba, {{U, U, U, U}}},  // a table without colours writes nothing
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "row " << r.row << " index " << r.index << " table 0x" << std::hex
                                        << r.tableBase);
        HandTexture h;
        h.define(0, 4, 4, r.row, GL_RGBA);
        h.put(0, 1, 1, r.index);
        h.tex.colorTable.entries = const_cast<uint8_t *>(r.entries);
        h.tex.colorTable.width = 4;
        h.tex.colorTable.baseFormat = r.tableBase;
        EXPECT_EQ(fetch(h, 1, 1), r.out);
    }
    // Level 0 of colour-index base format: the index itself in R (the low byte of a 16-bit one).
    HandTexture h;
    h.define(0, 4, 4, 14, GL_COLOR_INDEX);
    h.put(0, 2, 0, 0x1234);
    h.tex.colorTable.entries = const_cast<uint8_t *>(rgba);
    h.tex.colorTable.width = 4;
    h.tex.colorTable.baseFormat = GL_RGBA;
    EXPECT_EQ(fetch(h, 0, 2), (Out{{0x34, U, U, U}}));
    // Outside the level: the border colour's red times 255 is the index.
    h.tex.borderColor[0] = 0.1f;  // 25
    EXPECT_EQ(fetch(h, 0, -1), (Out{{25, U, U, U}}));
}

TEST(TexelFetch, TheTableNamesEachRowsProcs) {
    EXPECT_EQ(__glTexelFetchProcs[0].fetch, __glFetchTexelL8);
    EXPECT_EQ(__glTexelFetchProcs[5].fetchBorder, __glFetchTexelRgb565Border);
    EXPECT_EQ(__glTexelFetchProcs[15].fetch, __glFetchTexelA4);
}

}  // namespace
