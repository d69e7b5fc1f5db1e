// DIB sections, the bitmap query, rectangle fills by colour and regions as rectangle lists.
#include <gtest/gtest.h>
#include "tests/common/dib_section.h"

#include <cstring>
#include <vector>

#include "platform/win32/win32.h"

namespace {

std::vector<RECT> rectsOf(HRGN r) {
    DWORD n = GetRegionData(r, 0, nullptr);
    std::vector<uint8_t> bytes(n);
    RGNDATA *data = reinterpret_cast<RGNDATA *>(bytes.data());
    EXPECT_EQ(GetRegionData(r, n, data), n);
    EXPECT_EQ(data->rdh.nRgnSize, data->rdh.nCount * sizeof(RECT));
    const RECT *q = reinterpret_cast<const RECT *>(data->Buffer);
    return std::vector<RECT>(q, q + data->rdh.nCount);
}

bool same(const std::vector<RECT> &a, const std::vector<RECT> &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(RECT)) != 0) return false;
    return true;
}

TEST(Regions, CombineModesGiveBandedRectangleLists) {
    struct Case {
        int mode;
        int kind;
        std::vector<RECT> expect;
    } cases[] = {
        {RGN_AND, SIMPLEREGION, {{5, 5, 10, 10}}},
        {RGN_OR, COMPLEXREGION, {{0, 0, 10, 5}, {0, 5, 15, 10}, {5, 10, 15, 15}}},
        {RGN_DIFF, COMPLEXREGION, {{0, 0, 10, 5}, {0, 5, 5, 10}}},
        {RGN_XOR, COMPLEXREGION, {{0, 0, 10, 5}, {0, 5, 5, 10}, {10, 5, 15, 10}, {5, 10, 15, 15}}},
        {RGN_COPY, SIMPLEREGION, {{0, 0, 10, 10}}},
    };
    for (const Case &c : cases) {
        HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15), out = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(CombineRgn(out, a, b, c.mode), c.kind) << c.mode;
        EXPECT_TRUE(same(rectsOf(out), c.expect)) << c.mode;
        DeleteObject(a);
        DeleteObject(b);
        DeleteObject(out);
    }
}

TEST(Regions, ExtCreateRegionMergesOverlapsAndRejectsShortData) {
    std::vector<uint8_t> bytes(sizeof(RGNDATAHEADER) + 2 * sizeof(RECT));
    RGNDATA *d = reinterpret_cast<RGNDATA *>(bytes.data());
    d->rdh = RGNDATAHEADER{sizeof(RGNDATAHEADER), RDH_RECTANGLES, 2, 0, {0, 0, 0, 0}};
    const RECT in[2] = {{0, 0, 4, 4}, {2, 0, 8, 4}};
    std::memcpy(d->Buffer, in, sizeof in);
    HRGN r = ExtCreateRegion(nullptr, DWORD(bytes.size()), d);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(same(rectsOf(r), {{0, 0, 8, 4}}));
    DeleteObject(r);
    EXPECT_EQ(ExtCreateRegion(nullptr, DWORD(bytes.size() - 1), d), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(DibSections, RowsFollowTheHeightSignAndTheQueryGivesTheSection) {
    for (bool topDown : {false, true}) {
        void *bits = nullptr;
        HBITMAP b = NewDibSection(nullptr, 5, topDown ? -3 : 3, 24, &bits);
        ASSERT_NE(b, nullptr);
        DIBSECTION ds;
        ASSERT_EQ(GetObjectA(b, sizeof ds, &ds), int(sizeof ds));
        EXPECT_EQ(ds.dsBm.bmBits, bits);
        EXPECT_EQ(ds.dsBm.bmWidthBytes, 16);  // 15 bytes to a DWORD
        EXPECT_EQ(ds.dsBm.bmHeight, 3);
        EXPECT_EQ(ds.dsBmih.biHeight, topDown ? -3 : 3);
        // A red fill of the top row lands in the first row in memory only when top-down.
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, b);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        RECT top{0, 0, 5, 1};
        EXPECT_TRUE(FillRect(dc, &top, red));
        const uint8_t *first = static_cast<const uint8_t *>(bits);
        const uint8_t *last = first + 2 * 16;
        const uint8_t *row = topDown ? first : last;
        EXPECT_EQ(row[0], 0);     // blue
        EXPECT_EQ(row[2], 0xFF);  // red
        EXPECT_EQ(row[14], 0xFF);
        EXPECT_EQ((topDown ? last : first)[2], 0);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(red);
        DeleteObject(b);
    }
}

// A one-bit section with palette indices 0 and 1: black paints 0, white the nearer entry, 1.
TEST(DibSections, OneBitFillsByNearestColourAndRegionFills) {
    std::vector<uint8_t> bytes(sizeof(BITMAPINFOHEADER) + 8, 0);
    BITMAPINFO *info = reinterpret_cast<BITMAPINFO *>(bytes.data());
    info->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 16, -2, 1, 1, BI_RGB, 0, 0, 0, 0, 0};
    const WORD indices[2] = {0, 1};
    std::memcpy(bytes.data() + sizeof(BITMAPINFOHEADER), indices, sizeof indices);
    void *bits = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, info, DIB_PAL_COLORS, &bits, nullptr, 0);
    ASSERT_NE(b, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, b);
    HRGN r = CreateRectRgn(3, 0, 12, 1);
    EXPECT_TRUE(FillRgn(dc, r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))));
    const uint8_t *p = static_cast<const uint8_t *>(bits);
    EXPECT_EQ(p[0], 0x1F);
    EXPECT_EQ(p[1], 0xF0);
    EXPECT_EQ(p[4], 0);  // the second row (rows are 4 bytes)
    RECT all{0, 0, 16, 2};
    EXPECT_TRUE(FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    EXPECT_EQ(p[0] | p[1], 0);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(r);
    DeleteObject(b);
}

// The query writes every field of the caller's record, whatever was there before; handles that
// name no bitmap get the platform's errors: a value past the end of the table or of another type
// of object, a deleted one.
TEST(DibSections, TheQueryFillsEveryFieldAndRefusesOtherHandles) {
    void *bits = nullptr;
    HBITMAP b = NewDibSection(nullptr, 3, 2, 16, &bits);
    ASSERT_NE(b, nullptr);
    DIBSECTION ds;
    std::memset(&ds, 0xCC, sizeof ds);
    ASSERT_EQ(GetObjectA(b, sizeof ds, &ds), int(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmType, 0);
    EXPECT_EQ(ds.dsBm.bmWidth, 3);
    EXPECT_EQ(ds.dsBm.bmHeight, 2);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 8);  // 6 bytes to a DWORD
    EXPECT_EQ(ds.dsBm.bmPlanes, 1);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 16);
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biSizeImage, 16u);
    EXPECT_EQ(ds.dshSection, nullptr);
    EXPECT_EQ(ds.dsOffset, 0u);
    BITMAP bm;
    std::memset(&bm, 0xCC, sizeof bm);
    ASSERT_EQ(GetObjectA(b, sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(std::memcmp(&bm, &ds.dsBm, sizeof bm), 0);

    const uintptr_t value = reinterpret_cast<uintptr_t>(b);
    HDC dc = CreateCompatibleDC(nullptr);
    const struct {
        HGDIOBJ handle;
        DWORD error;
    } refused[] = {
        {reinterpret_cast<HGDIOBJ>(value + 4 * 4096), ERROR_INVALID_HANDLE},  // past the last slot
        {reinterpret_cast<HGDIOBJ>(value + 2), ERROR_INVALID_HANDLE},         // between slots
        {dc, ERROR_INVALID_PARAMETER},                                       // not a bitmap
    };
    for (const auto &r : refused) {
        SetLastError(0);
        EXPECT_EQ(GetObjectA(r.handle, sizeof bm, &bm), 0);
        EXPECT_EQ(GetLastError(), r.error);
    }
    DeleteDC(dc);
    DeleteObject(b);
    SetLastError(0);
    EXPECT_EQ(GetObjectA(b, sizeof bm, &bm), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(DibSections, ADeviceBitmapHasNoBitsToQuery) {
    HDC screen = GetDC(nullptr);
    HBITMAP b = CreateCompatibleBitmap(screen, 8, 8);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(b, nullptr);
    DIBSECTION ds;
    std::memset(&ds, 0xCC, sizeof ds);
    EXPECT_EQ(GetObjectA(b, sizeof ds, &ds), int(sizeof(BITMAP)));
    EXPECT_EQ(ds.dsBm.bmBits, nullptr);
    DeleteObject(b);
}

}  // namespace
