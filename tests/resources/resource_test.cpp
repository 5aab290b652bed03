// The resources as the plug-in carries them: every test reads the built DLL,
// loaded as a data file so that none of its code runs.
#include "common/handles.h"
#include "resources/resource_ids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr POINT kHotSpot{15, 16};
constexpr int kSmallSize = 32;

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;

// The build tree's path, as Wine's Z: drive shows the Linux file system.
std::string PluginPath() {
    std::string path = "Z:" PIXMERLE_DLL_PATH;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

HMODULE Plugin() {
    static const UniqueModule module(LoadLibraryExA(PluginPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    return module.get();
}

std::vector<uint8_t> ResourceBytes(LPCSTR type, WORD id) {
    HRSRC found = FindResourceA(Plugin(), MAKEINTRESOURCEA(id), type);
    if (!found) return {};
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(Plugin(), found)));
    if (!data) return {};
    return std::vector<uint8_t>(data, data + SizeofResource(Plugin(), found));
}

// Little-endian fields of a resource, read in order; reading past the end
// gives zeros and marks the reader.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes, size_t offset = 0) : bytes_(bytes), offset_(offset) {}

    uint8_t Byte() {
        if (offset_ + 1 > bytes_.size()) return Overrun();
        return bytes_[offset_++];
    }
    uint16_t Word() {
        const uint16_t low = Byte();
        return uint16_t(low | Byte() << 8);
    }
    uint32_t Dword() {
        const uint32_t low = Word();
        return low | uint32_t(Word()) << 16;
    }
    int16_t Short() { return int16_t(Word()); }

    struct NameOrOrdinal {
        bool ordinal = false;
        uint16_t id = 0;
        std::wstring text;
    };
    // A zero-terminated UTF-16 string, or 0xFFFF and a 16-bit ordinal.
    NameOrOrdinal SzOrOrd() {
        NameOrOrdinal result;
        uint16_t first = Word();
        if (first == 0xFFFF) {
            result.ordinal = true;
            result.id = Word();
            return result;
        }
        for (uint16_t c = first; c != 0 && !overran_; c = Word()) result.text.push_back(wchar_t(c));
        return result;
    }

    // Skips to the next DWORD boundary; the skipped bytes must be zero.
    bool AlignToDword() {
        bool zeros = true;
        while (offset_ % 4 != 0 && !overran_) zeros = Byte() == 0 && zeros;
        return zeros;
    }

    size_t offset() const { return offset_; }
    bool overran() const { return overran_; }

private:
    uint8_t Overrun() {
        overran_ = true;
        return 0;
    }

    const std::vector<uint8_t>& bytes_;
    size_t offset_;
    bool overran_ = false;
};

// One image of an icon or cursor resource: a BITMAPINFOHEADER whose height
// counts the colour image and the mask, the colour table, the colour bits and
// the AND mask, both bottom-up.
struct IconImage {
    BITMAPINFOHEADER header{};
    int width = 0;
    int height = 0;
    std::vector<uint32_t> colours;  // 0xRRGGBB
    std::vector<uint8_t> bits;
    std::vector<uint8_t> mask;

    static size_t RowBytes(int width, int bitCount) { return size_t((width * bitCount + 31) / 32 * 4); }

    bool Transparent(int x, int y) const {
        const uint8_t byte = mask[size_t(height - 1 - y) * RowBytes(width, 1) + size_t(x / 8)];
        return (byte & (0x80 >> (x % 8))) != 0;
    }
    uint32_t Rgb(int x, int y) const {
        const uint8_t* row = &bits[size_t(height - 1 - y) * RowBytes(width, header.biBitCount)];
        if (header.biBitCount == 4) return colours[x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F];
        const uint8_t* pixel = row + 4 * x;
        return uint32_t(pixel[2]) << 16 | uint32_t(pixel[1]) << 8 | pixel[0];
    }
    int Alpha(int x, int y) const {
        return bits[size_t(height - 1 - y) * RowBytes(width, 32) + size_t(4 * x + 3)];
    }
};

// The image, when the header's sizes account for exactly the bytes given.
std::optional<IconImage> ParseImage(const std::vector<uint8_t>& bytes, size_t offset) {
    IconImage image;
    if (bytes.size() < offset + sizeof(BITMAPINFOHEADER)) return std::nullopt;
    std::copy_n(bytes.begin() + ptrdiff_t(offset), sizeof(image.header), reinterpret_cast<uint8_t*>(&image.header));
    const BITMAPINFOHEADER& h = image.header;
    if (h.biSize != sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight <= 0 || h.biHeight % 2 != 0 ||
        h.biCompression != BI_RGB || (h.biBitCount != 4 && h.biBitCount != 32))
        return std::nullopt;
    image.width = h.biWidth;
    image.height = h.biHeight / 2;
    const size_t colourCount = h.biBitCount == 4 ? (h.biClrUsed ? h.biClrUsed : 16) : 0;
    const size_t bitsSize = IconImage::RowBytes(image.width, h.biBitCount) * size_t(image.height);
    const size_t maskSize = IconImage::RowBytes(image.width, 1) * size_t(image.height);
    size_t at = offset + h.biSize;
    if (bytes.size() != at + 4 * colourCount + bitsSize + maskSize) return std::nullopt;
    for (size_t i = 0; i < colourCount; ++i, at += 4)
        image.colours.push_back(uint32_t(bytes[at + 2]) << 16 | uint32_t(bytes[at + 1]) << 8 | bytes[at]);
    image.bits.assign(bytes.begin() + ptrdiff_t(at), bytes.begin() + ptrdiff_t(at + bitsSize));
    image.mask.assign(bytes.begin() + ptrdiff_t(at + bitsSize), bytes.end());
    return image;
}

struct IconGroupEntry {
    int width, height, colourCount, planes, bitCount;
    uint32_t bytes;
    WORD id;
};

// The entries of an RT_GROUP_ICON (type 1) or RT_GROUP_CURSOR (type 2) directory.
std::vector<IconGroupEntry> GroupEntries(LPCSTR type, WORD id, WORD kind) {
    const std::vector<uint8_t> bytes = ResourceBytes(type, id);
    Reader in(bytes);
    EXPECT_EQ(in.Word(), 0) << "reserved";
    EXPECT_EQ(in.Word(), kind);
    const int count = in.Word();
    std::vector<IconGroupEntry> entries;
    for (int i = 0; i < count; ++i) {
        IconGroupEntry entry{};
        if (kind == 1) {
            entry.width = in.Byte();
            entry.height = in.Byte();
            entry.colourCount = in.Byte();
            EXPECT_EQ(in.Byte(), 0) << "reserved";
        } else {
            entry.width = in.Word();
            entry.height = in.Word();
        }
        entry.planes = in.Word();
        entry.bitCount = in.Word();
        entry.bytes = in.Dword();
        entry.id = in.Word();
        entries.push_back(entry);
    }
    EXPECT_FALSE(in.overran());
    EXPECT_EQ(in.offset(), bytes.size());
    return entries;
}

// The one 32 x 32, 16-colour image of a group icon.
std::optional<IconImage> SmallIcon(WORD group) {
    const std::vector<IconGroupEntry> entries = GroupEntries(RT_GROUP_ICON, group, 1);
    if (entries.size() != 1) {
        ADD_FAILURE() << "icon " << group << " has " << entries.size() << " images";
        return std::nullopt;
    }
    const IconGroupEntry& entry = entries[0];
    EXPECT_EQ(entry.width, kSmallSize);
    EXPECT_EQ(entry.height, kSmallSize);
    EXPECT_EQ(entry.colourCount, 16);
    EXPECT_EQ(entry.planes, 1);
    EXPECT_EQ(entry.bitCount, 4);
    const std::vector<uint8_t> bytes = ResourceBytes(RT_ICON, entry.id);
    EXPECT_EQ(bytes.size(), entry.bytes);
    std::optional<IconImage> image = ParseImage(bytes, 0);
    if (!image) {
        ADD_FAILURE() << "icon " << group << ": image " << entry.id << " is not a 4-bit icon image";
        return std::nullopt;
    }
    EXPECT_EQ(image->width, kSmallSize);
    EXPECT_EQ(image->height, kSmallSize);
    EXPECT_EQ(image->header.biPlanes, 1);
    EXPECT_EQ(image->header.biBitCount, 4);
    EXPECT_EQ(image->colours.size(), 16u);
    return image;
}

// Where the AND mask hides a pixel, a black colour leaves the screen as it
// is; any other colour would invert it.
void ExpectHiddenPixelsBlack(const IconImage& image) {
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.Transparent(x, y)) { EXPECT_EQ(image.Rgb(x, y), kBlack) << x << ", " << y; }
}

struct Box {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    void Add(int x, int y) {
        left = std::min(left, x), top = std::min(top, y), right = std::max(right, x), bottom = std::max(bottom, y);
    }
    bool Empty() const { return left > right; }
};

// The smallest box around the shown pixels of one colour.
Box BoxOf(const IconImage& image, uint32_t colour) {
    Box box;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (!image.Transparent(x, y) && image.Rgb(x, y) == colour) box.Add(x, y);
    return box;
}

// The crosshair is centred on the hot spot, in the finder icon as in the cursor.
void ExpectCentredOnHotSpot(const Box& box) {
    ASSERT_FALSE(box.Empty());
    EXPECT_EQ(box.left + box.right, 2 * kHotSpot.x);
    EXPECT_EQ(box.top + box.bottom, 2 * kHotSpot.y);
}

// Black marks on the row and column through the centre on every side (the
// tick marks), and off them in every quarter (the ring).
void ExpectRingWithTicks(const IconImage& image) {
    auto black = [&](int x, int y) { return !image.Transparent(x, y) && image.Rgb(x, y) == kBlack; };
    int left = 0, right = 0, above = 0, below = 0, quarters[4] = {};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            if (!black(x, y)) continue;
            const int dx = x - kHotSpot.x, dy = y - kHotSpot.y;
            if (dy == 0) (dx < 0 ? left : right) += 1;
            if (dx == 0) (dy < 0 ? above : below) += 1;
            if (dx != 0 && dy != 0) quarters[(dx > 0) + 2 * (dy > 0)] += 1;
        }
    EXPECT_GE(left, 3);
    EXPECT_GE(right, 3);
    EXPECT_GE(above, 3);
    EXPECT_GE(below, 3);
    for (int count : quarters) EXPECT_GE(count, 3);
}

// ---------------------------------------------------------------------------
// The capture dialog's template

struct ExpectedControl {
    uint32_t id;
    uint16_t classAtom;
    const wchar_t* text;  // null: the icon below, by ordinal
    uint16_t icon;
    uint32_t style;
    uint32_t exStyle;
    int16_t x, y, cx, cy;
};

constexpr uint32_t kNoId = 0xFFFFFFFF;
constexpr uint16_t kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;

const ExpectedControl kControls[] = {
    {IDC_FINDER, kStatic, nullptr, IDI_FINDER, 0x50000003, 0, 55, 2, 21, 20},
    {kNoId, kStatic, L"Pixmerle 1.1.7 by", 0, 0x58020000, 0, 3, 60, 70, 10},
    {kNoId, kStatic, L"the team", 0, 0x58020000, 0, 76, 60, 40, 10},
    {IDC_ABOUT, kButton, L"About", 0, 0x50000000, 0x200, 2, 2, 50, 12},
    {IDC_EXIT, kButton, L"Exit", 0, 0x50000000, 0x200, 2, 15, 50, 12},
    {IDC_TAKE_CAPTURE, kButton, L"Take Screen Capture", 0, 0x50000000, 0x200, 2, 44, 80, 14},
    {IDC_FLASH, kButton, L"Flash Target", 0, 0x50000000, 0x200, 2, 30, 50, 14},
    {IDC_FOLDER_EDIT, kEdit, L"", 0, 0x50800080, 0, 91, 14, 97, 11},
    {IDC_BROWSE, kButton, L"...", 0, 0x54009000, 0x4, 174, 1, 12, 11},
    {IDC_APPLY, kButton, L"Apply", 0, 0x54009000, 0x4, 141, 45, 45, 12},
    {IDC_SAVE_TO_FOLDER, kButton, L"Save capture to :", 0, 0x50008003, 0, 91, 1, 72, 12},
    {IDC_HIDE_ON_CAPTURE, kButton, L"Hide app on capture", 0, 0x50008003, 0, 91, 25, 82, 12},
    {IDC_COPY_TO_CLIPBOARD, kButton, L"Copy to clipboard", 0, 0x50008003, 0, 91, 71, 82, 12},
    // SS_LEFT | SS_NOPREFIX: two wrapped lines, an ampersand in a title shown as it is.
    {IDC_PICK_LINE, kStatic, L"", 0, 0x50000080, 0, 3, 84, 184, 18},
};

TEST(PluginResources, DllLoadsAsDataFile) {
    EXPECT_NE(Plugin(), nullptr) << PluginPath() << ": error " << GetLastError();
}

TEST(CaptureDialogTemplate, HeaderIsExtendedTemplateWithTahomaFont) {
    ASSERT_NE(Plugin(), nullptr);
    const std::vector<uint8_t> bytes = ResourceBytes(RT_DIALOG, IDD_CAPTURE);
    ASSERT_FALSE(bytes.empty());
    Reader in(bytes);
    EXPECT_EQ(in.Word(), 1) << "dlgVer";
    EXPECT_EQ(in.Word(), 0xFFFF) << "signature";
    EXPECT_EQ(in.Dword(), 0u) << "helpID";
    EXPECT_EQ(in.Dword(), 0x00004081u) << "exStyle";
    EXPECT_EQ(in.Dword(), 0x10CA08C2u) << "style";
    EXPECT_EQ(in.Word(), 14) << "cDlgItems";
    EXPECT_EQ(in.Short(), 0) << "x";
    EXPECT_EQ(in.Short(), 0) << "y";
    EXPECT_EQ(in.Short(), 190) << "cx";
    EXPECT_EQ(in.Short(), 104) << "cy";
    EXPECT_EQ(in.Word(), 0) << "no menu";
    EXPECT_EQ(in.Word(), 0) << "the standard dialog class";
    const Reader::NameOrOrdinal title = in.SzOrOrd();
    EXPECT_FALSE(title.ordinal);
    EXPECT_EQ(title.text, L"  Pixmerle 1.1.7");
    EXPECT_EQ(in.Word(), 7) << "pointsize";
    EXPECT_EQ(in.Word(), 0) << "weight";
    EXPECT_EQ(in.Byte(), 0) << "italic";
    EXPECT_EQ(in.Byte(), 1) << "charset";
    const Reader::NameOrOrdinal typeface = in.SzOrOrd();
    EXPECT_FALSE(typeface.ordinal);
    EXPECT_EQ(typeface.text, L"TAHOMA");
    EXPECT_FALSE(in.overran());
}

TEST(CaptureDialogTemplate, ControlsInOrderWithExactFields) {
    ASSERT_NE(Plugin(), nullptr);
    const std::vector<uint8_t> bytes = ResourceBytes(RT_DIALOG, IDD_CAPTURE);
    ASSERT_FALSE(bytes.empty());
    Reader in(bytes, 26);  // past the header's fixed part
    in.SzOrOrd();          // menu
    in.SzOrOrd();          // class
    in.SzOrOrd();          // title
    in.Word();             // pointsize
    in.Word();             // weight
    in.Byte();             // italic
    in.Byte();             // charset
    in.SzOrOrd();          // typeface
    for (const ExpectedControl& expected : kControls) {
        SCOPED_TRACE(testing::Message() << "control " << (&expected - kControls) + 1);
        EXPECT_TRUE(in.AlignToDword()) << "padding before the control is not zero";
        EXPECT_EQ(in.Dword(), 0u) << "helpID";
        EXPECT_EQ(in.Dword(), expected.exStyle) << "exStyle";
        const uint32_t style = in.Dword();
        EXPECT_EQ(style, expected.style) << "style";
        EXPECT_EQ(style & WS_TABSTOP, 0u);
        EXPECT_EQ(in.Short(), expected.x) << "x";
        EXPECT_EQ(in.Short(), expected.y) << "y";
        EXPECT_EQ(in.Short(), expected.cx) << "cx";
        EXPECT_EQ(in.Short(), expected.cy) << "cy";
        EXPECT_EQ(in.Dword(), expected.id) << "id";
        const Reader::NameOrOrdinal windowClass = in.SzOrOrd();
        EXPECT_TRUE(windowClass.ordinal) << "class given by name";
        EXPECT_EQ(windowClass.id, expected.classAtom);
        const Reader::NameOrOrdinal title = in.SzOrOrd();
        if (expected.text) {
            EXPECT_FALSE(title.ordinal);
            EXPECT_EQ(title.text, expected.text);
        } else {
            EXPECT_TRUE(title.ordinal);
            EXPECT_EQ(title.id, expected.icon);
        }
        EXPECT_EQ(in.Word(), 0) << "extra count";
    }
    EXPECT_FALSE(in.overran());
    EXPECT_EQ(in.offset(), bytes.size()) << "bytes after the last control";
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(CaptureDialogTemplate, DialogShowsFinderIconAndWholeLabels) {
    ASSERT_NE(Plugin(), nullptr);
    const std::vector<uint8_t> bytes = ResourceBytes(RT_DIALOG, IDD_CAPTURE);
    ASSERT_FALSE(bytes.empty());
    HWND dialog = CreateDialogIndirectParamA(Plugin(), reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), nullptr,
                                             QuietDialogProc, 0);
    ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
    ScopeExit destroy([dialog] { DestroyWindow(dialog); });

    HWND finder = GetDlgItem(dialog, IDC_FINDER);
    ASSERT_NE(finder, nullptr);
    EXPECT_NE(SendMessageA(finder, STM_GETICON, 0, 0), 0) << "the finder shows no icon";

    int labels = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(child) != -1) continue;
        ++labels;
        char text[64] = {};
        GetWindowTextA(child, text, sizeof(text));
        WindowDc dc(child);
        Selection font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0)));
        RECT needed{};
        DrawTextA(dc.get(), text, -1, &needed, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        RECT client{};
        GetClientRect(child, &client);
        EXPECT_LE(needed.right, client.right) << "\"" << text << "\" does not fit on one line";
        EXPECT_LE(needed.bottom, client.bottom) << "\"" << text << "\" is taller than its label";
    }
    EXPECT_EQ(labels, 2);
}

// ---------------------------------------------------------------------------
// The icons and the cursor, byte by byte

TEST(ApplicationIcon, ThreeSizesOfAlphaImages) {
    ASSERT_NE(Plugin(), nullptr);
    const std::vector<IconGroupEntry> entries = GroupEntries(RT_GROUP_ICON, IDI_APP, 1);
    ASSERT_EQ(entries.size(), 3u);
    const int sizes[] = {16, 32, 48};
    for (size_t i = 0; i < 3; ++i) {
        const IconGroupEntry& entry = entries[i];
        const int size = sizes[i];
        SCOPED_TRACE(testing::Message() << size << " x " << size);
        EXPECT_EQ(entry.width, size);
        EXPECT_EQ(entry.height, size);
        EXPECT_EQ(entry.colourCount, 0);
        EXPECT_EQ(entry.planes, 1);
        EXPECT_EQ(entry.bitCount, 32);
        const std::vector<uint8_t> bytes = ResourceBytes(RT_ICON, entry.id);
        EXPECT_EQ(bytes.size(), entry.bytes);
        const std::optional<IconImage> image = ParseImage(bytes, 0);
        ASSERT_TRUE(image) << "image " << entry.id << " is no 32-bit icon image";
        EXPECT_EQ(image->header.biBitCount, 32);
        EXPECT_EQ(image->header.biWidth, size);
        EXPECT_EQ(image->header.biHeight, 2 * size);
        int clear = 0, partial = 0, opaque = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const int alpha = image->Alpha(x, y);
                (alpha == 0 ? clear : alpha == 255 ? opaque : partial) += 1;
                // Without alpha blending, the mask alone decides what shows.
                EXPECT_EQ(image->Transparent(x, y), alpha == 0) << x << ", " << y;
                if (alpha == 0) { EXPECT_EQ(image->Rgb(x, y), kBlack) << x << ", " << y; }
            }
        EXPECT_GT(clear, 0);
        EXPECT_GT(partial, 0) << "no smooth edges";
        EXPECT_GT(opaque, size * size / 3);
    }
}

TEST(FinderIcons, EmptyFrameIsThinBlueSquareAroundTheHotSpot) {
    ASSERT_NE(Plugin(), nullptr);
    const std::optional<IconImage> image = SmallIcon(IDI_FINDER_EMPTY);
    ASSERT_TRUE(image);
    ExpectHiddenPixelsBlack(*image);
    const Box frame = BoxOf(*image, kBlue);
    ASSERT_FALSE(frame.Empty());
    EXPECT_EQ(frame.right - frame.left, frame.bottom - frame.top) << "not a square";
    EXPECT_EQ(frame.left + frame.right, 2 * kHotSpot.x);
    EXPECT_EQ(frame.top + frame.bottom, 2 * kHotSpot.y);
    int thickness = 0;
    while (!image->Transparent(frame.left + thickness, kHotSpot.y)) ++thickness;
    EXPECT_GE(thickness, 1);
    EXPECT_LE(thickness, 3) << "not thin";
    for (int y = 0; y < kSmallSize; ++y)
        for (int x = 0; x < kSmallSize; ++x) {
            const bool inBox = x >= frame.left && x <= frame.right && y >= frame.top && y <= frame.bottom;
            const bool inside = x >= frame.left + thickness && x <= frame.right - thickness &&
                                y >= frame.top + thickness && y <= frame.bottom - thickness;
            const bool edge = inBox && !inside;
            EXPECT_EQ(!image->Transparent(x, y), edge) << x << ", " << y;
            if (edge) { EXPECT_EQ(image->Rgb(x, y), kBlue) << x << ", " << y; }
        }
}

TEST(FinderIcons, FullFrameHoldsBlackTargetWithGreenCentre) {
    ASSERT_NE(Plugin(), nullptr);
    const std::optional<IconImage> empty = SmallIcon(IDI_FINDER_EMPTY);
    const std::optional<IconImage> image = SmallIcon(IDI_FINDER);
    ASSERT_TRUE(empty && image);
    ExpectHiddenPixelsBlack(*image);
    const Box frame = BoxOf(*empty, kBlue);
    ASSERT_FALSE(frame.Empty());
    for (int y = 0; y < kSmallSize; ++y)
        for (int x = 0; x < kSmallSize; ++x) {
            if (!empty->Transparent(x, y)) {
                EXPECT_FALSE(image->Transparent(x, y)) << "frame at " << x << ", " << y;
                EXPECT_EQ(image->Rgb(x, y), empty->Rgb(x, y)) << "frame at " << x << ", " << y;
            } else if (!image->Transparent(x, y)) {
                const uint32_t colour = image->Rgb(x, y);
                EXPECT_TRUE(colour == kBlack || colour == kGreen) << std::hex << colour << " at " << std::dec << x
                                                                  << ", " << y;
                EXPECT_TRUE(x > frame.left && x < frame.right && y > frame.top && y < frame.bottom)
                    << "outside the frame: " << x << ", " << y;
            }
        }
    EXPECT_FALSE(image->Transparent(kHotSpot.x, kHotSpot.y));
    EXPECT_EQ(image->Rgb(kHotSpot.x, kHotSpot.y), kGreen);
    ExpectCentredOnHotSpot(BoxOf(*image, kBlack));
    ExpectCentredOnHotSpot(BoxOf(*image, kGreen));
    ExpectRingWithTicks(*image);
}

TEST(DragCursor, OneImageWithHotSpotOnRedCentre) {
    ASSERT_NE(Plugin(), nullptr);
    const std::vector<IconGroupEntry> entries = GroupEntries(RT_GROUP_CURSOR, IDC_DRAG, 2);
    ASSERT_EQ(entries.size(), 1u);
    const IconGroupEntry& entry = entries[0];
    EXPECT_EQ(entry.width, kSmallSize);
    EXPECT_EQ(entry.height, 2 * kSmallSize) << "cursor directories count the colour image and the mask";
    EXPECT_EQ(entry.planes, 1);
    // windres writes 1 as the bit count of every cursor directory entry; the
    // image's own header is checked below.
    const std::vector<uint8_t> bytes = ResourceBytes(RT_CURSOR, entry.id);
    EXPECT_EQ(bytes.size(), entry.bytes);
    Reader in(bytes);
    EXPECT_EQ(in.Word(), kHotSpot.x) << "hot spot x";
    EXPECT_EQ(in.Word(), kHotSpot.y) << "hot spot y";
    const std::optional<IconImage> image = ParseImage(bytes, 4);
    ASSERT_TRUE(image) << "no cursor image after the hot spot";
    EXPECT_EQ(image->header.biBitCount, 4);
    EXPECT_EQ(image->header.biWidth, kSmallSize);
    EXPECT_EQ(image->header.biHeight, 2 * kSmallSize);
    EXPECT_EQ(image->colours.size(), 16u);
    ExpectHiddenPixelsBlack(*image);

    EXPECT_FALSE(image->Transparent(kHotSpot.x, kHotSpot.y));
    EXPECT_EQ(image->Rgb(kHotSpot.x, kHotSpot.y), kRed);
    ExpectCentredOnHotSpot(BoxOf(*image, kBlack));
    ExpectCentredOnHotSpot(BoxOf(*image, kRed));
    ExpectRingWithTicks(*image);
    for (int y = 0; y < kSmallSize; ++y)
        for (int x = 0; x < kSmallSize; ++x) {
            if (image->Transparent(x, y)) continue;
            const uint32_t colour = image->Rgb(x, y);
            EXPECT_TRUE(colour == kBlack || colour == kWhite || colour == kRed)
                << std::hex << colour << " at " << std::dec << x << ", " << y;
            if (colour != kBlack) continue;
            // Edged in white: black never meets what lies under the cursor.
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    const bool shown = nx >= 0 && ny >= 0 && nx < kSmallSize && ny < kSmallSize &&
                                       !image->Transparent(nx, ny);
                    EXPECT_TRUE(shown) << "black at " << x << ", " << y << " touches the background";
                }
        }
    EXPECT_TRUE(image->Transparent(0, 0));
    EXPECT_TRUE(image->Transparent(kSmallSize - 1, kSmallSize - 1));
}

// ---------------------------------------------------------------------------
// The icons and the cursor as Windows loads and draws them

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    GetObjectA(bitmap, sizeof(info), &info);
    return SIZE{info.bmWidth, info.bmHeight};
}

TEST(LoadedArtwork, ApplicationIconLoadsAtEverySize) {
    ASSERT_NE(Plugin(), nullptr);
    for (int size : {16, 32, 48}) {
        HICON icon = static_cast<HICON>(LoadImageA(Plugin(), MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ScopeExit destroy([icon] { DestroyIcon(icon); });
        ICONINFO info{};
        EXPECT_TRUE(GetIconInfo(icon, &info));
        UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
        EXPECT_TRUE(info.fIcon);
        ASSERT_TRUE(colour) << size;
        const SIZE got = BitmapSize(colour.get());
        EXPECT_EQ(got.cx, size);
        EXPECT_EQ(got.cy, size);
    }
}

TEST(LoadedArtwork, CursorReportsHotSpot) {
    ASSERT_NE(Plugin(), nullptr);
    HCURSOR cursor = LoadCursorA(Plugin(), MAKEINTRESOURCEA(IDC_DRAG));
    ASSERT_NE(cursor, nullptr) << "error " << GetLastError();
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, DWORD(kHotSpot.x));
    EXPECT_EQ(info.yHotspot, DWORD(kHotSpot.y));
}

// A 32-bit drawing surface filled with a colour none of the artwork uses.
class Canvas {
public:
    static constexpr uint32_t kBackground = 0x3C7A9E;

    Canvas() {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = kSmallSize;
        info.bmiHeader.biHeight = -kSmallSize;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        pixels_ = static_cast<uint32_t*>(bits);
        if (pixels_) std::fill(pixels_, pixels_ + kSmallSize * kSmallSize, kBackground);
    }
    bool Draw(HICON icon) {
        Selection selected(dc_.get(), bitmap_.get());
        const bool drawn = selected && DrawIconEx(dc_.get(), 0, 0, icon, kSmallSize, kSmallSize, 0, nullptr, DI_NORMAL);
        GdiFlush();
        return drawn;
    }
    uint32_t At(int x, int y) const { return pixels_[y * kSmallSize + x] & 0xFFFFFF; }
    bool Ready() const { return pixels_ && dc_; }

private:
    UniqueDc dc_{CreateCompatibleDC(nullptr)};
    UniqueBitmap bitmap_;
    uint32_t* pixels_ = nullptr;
};

// What Windows draws is what the resource's bytes say, at the display's depth.
void ExpectDrawnAsImage(HICON icon, const IconImage& image) {
    Canvas canvas;
    ASSERT_TRUE(canvas.Ready());
    ASSERT_TRUE(canvas.Draw(icon));
    for (int y = 0; y < kSmallSize; ++y)
        for (int x = 0; x < kSmallSize; ++x) {
            const uint32_t expected = image.Transparent(x, y) ? Canvas::kBackground : image.Rgb(x, y);
            EXPECT_EQ(canvas.At(x, y), expected) << std::hex << "at " << std::dec << x << ", " << y;
        }
}

TEST(LoadedArtwork, FinderIconsDrawAsTheirImages) {
    ASSERT_NE(Plugin(), nullptr);
    for (WORD id : {WORD(IDI_FINDER_EMPTY), WORD(IDI_FINDER)}) {
        SCOPED_TRACE(testing::Message() << "icon " << id);
        HICON icon = LoadIconA(Plugin(), MAKEINTRESOURCEA(id));
        ASSERT_NE(icon, nullptr);
        const std::optional<IconImage> image = SmallIcon(id);
        ASSERT_TRUE(image);
        ExpectDrawnAsImage(icon, *image);
    }
}

TEST(LoadedArtwork, CursorDrawsAsItsImage) {
    ASSERT_NE(Plugin(), nullptr);
    HCURSOR cursor = LoadCursorA(Plugin(), MAKEINTRESOURCEA(IDC_DRAG));
    ASSERT_NE(cursor, nullptr);
    const std::vector<IconGroupEntry> entries = GroupEntries(RT_GROUP_CURSOR, IDC_DRAG, 2);
    ASSERT_EQ(entries.size(), 1u);
    const std::optional<IconImage> image = ParseImage(ResourceBytes(RT_CURSOR, entries[0].id), 4);
    ASSERT_TRUE(image);
    ExpectDrawnAsImage(cursor, *image);
}

}  // namespace
