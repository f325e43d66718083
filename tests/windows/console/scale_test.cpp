// The console and the About box at the display scale of the prefix they run in: ctest
// runs this program at 100 % and again at 150 % (LogPixels 144). At either scale the
// banner fills its place, every text fits its control, the console fits the work area
// and the About box shows the icon image made for its size.
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/windows/console/ConsoleTestSupport.h"

namespace consoletest {
namespace {

using ConsoleAtScale = ConsoleTest;

int LogPixels()
{
    const HDC hdc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(hdc, LOGPIXELSY);
    ::ReleaseDC(nullptr, hdc);
    return dpi;
}

// A bitmap's pixels as 32-bit values (0xAARRGGBB), top row first.
struct Pixels {
    int cx = 0;
    int cy = 0;
    std::vector<DWORD> values;
    DWORD At(int x, int y) const { return values[static_cast<size_t>(y) * cx + x]; }
};

Pixels PixelsOf(HBITMAP hBitmap)
{
    Pixels pixels;
    BITMAP bm = {};
    if (!hBitmap || !::GetObjectA(hBitmap, sizeof bm, &bm))
        return pixels;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = bm.bmWidth;
    info.bmiHeader.biHeight = -bm.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    pixels.values.resize(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    const HDC hdc = ::GetDC(nullptr);
    const int rows = ::GetDIBits(hdc, hBitmap, 0, static_cast<UINT>(bm.bmHeight),
                                 pixels.values.data(), &info, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, hdc);
    if (rows == bm.bmHeight) {
        pixels.cx = bm.bmWidth;
        pixels.cy = bm.bmHeight;
    }
    return pixels;
}

// The share of columns that repeat their left neighbour exactly: what a picture enlarged
// by repeating pixels has in excess of its original.
double RepeatedColumns(const Pixels& p)
{
    int repeated = 0;
    for (int x = 1; x < p.cx; ++x) {
        bool same = true;
        for (int y = 0; y < p.cy && same; ++y)
            same = (p.At(x, y) & 0xFFFFFF) == (p.At(x - 1, y) & 0xFFFFFF);
        repeated += same;
    }
    return p.cx > 1 ? static_cast<double>(repeated) / (p.cx - 1) : 0.0;
}

// Each colour channel's mean over the picture.
std::vector<double> MeanColour(const Pixels& p)
{
    std::vector<double> mean(3, 0.0);
    for (DWORD v : p.values)
        for (int c = 0; c < 3; ++c)
            mean[c] += (v >> (8 * c)) & 0xFF;
    for (double& m : mean)
        m /= p.values.empty() ? 1.0 : static_cast<double>(p.values.size());
    return mean;
}

// A child's window rectangle in its dialog's client coordinates.
RECT PlaceOf(HWND hChild)
{
    RECT rect = {};
    ::GetWindowRect(hChild, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(hChild), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

TEST_F(ConsoleAtScale, TheBannersPictureFillsItsPlaceInsideAnEdgeAllRound)
{
    const HWND hBanner = Item(IDC_BANNER);
    RECT place = {IDC_BANNER_PLACE};
    ::MapDialogRect(m_hDlg, &place);
    const RECT expected = {place.left, place.top, place.left + place.right, place.top + place.bottom};
    const RECT window = PlaceOf(hBanner);
    EXPECT_TRUE(::EqualRect(&window, &expected))
        << "at " << window.left << "," << window.top << " to " << window.right << ","
        << window.bottom << "; its place: " << expected.left << "," << expected.top << " to "
        << expected.right << "," << expected.bottom;

    RECT client = {};
    ::GetClientRect(hBanner, &client);
    ::MapWindowPoints(hBanner, m_hDlg, reinterpret_cast<POINT*>(&client), 2);
    EXPECT_GT(client.left, window.left);
    EXPECT_GT(client.top, window.top);
    EXPECT_LT(client.right, window.right);
    EXPECT_LT(client.bottom, window.bottom);

    const Pixels shown = PixelsOf(reinterpret_cast<HBITMAP>(
        ::SendMessageA(hBanner, STM_GETIMAGE, IMAGE_BITMAP, 0)));
    EXPECT_EQ(shown.cx, client.right - client.left);
    EXPECT_EQ(shown.cy, client.bottom - client.top);

    const HBITMAP hOriginal = ::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BANNER));
    const Pixels original = PixelsOf(hOriginal);
    ::DeleteObject(hOriginal);
    ASSERT_EQ(original.cx, 612);
    if (LogPixels() == 96) {
        EXPECT_TRUE(shown.values == original.values) << "at 100 % the picture is the bitmap itself";
        return;
    }
    // Resampled: no more repeated columns than the original has, and the same colours.
    EXPECT_LE(RepeatedColumns(shown), RepeatedColumns(original) + 0.02)
        << "columns repeated: " << RepeatedColumns(shown) << " against "
        << RepeatedColumns(original) << " in the original";
    const std::vector<double> shownMean = MeanColour(shown);
    const std::vector<double> originalMean = MeanColour(original);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(shownMean[c], originalMean[c], 1.5) << "channel " << c;
}

// How much room the control leaves its text, beside it (a radio button's mark) or
// around it (a button's edges, a group box's caption inset), in its own font.
SIZE TextRoom(HWND hControl, HDC hdc, const RECT& client)
{
    SIZE room = {client.right, client.bottom};
    TEXTMETRICA tm = {};
    ::GetTextMetricsA(hdc, &tm);
    const LONG style = ::GetWindowLongA(hControl, GWL_STYLE);
    if (testbed::ClassOf(hControl).find("Button") == std::string::npos)
        return room;
    switch (style & BS_TYPEMASK) {
    case BS_AUTORADIOBUTTON:
        // The mark is as tall as the text, and a space's width keeps the text off it.
        room.cx -= tm.tmHeight + tm.tmAveCharWidth;
        break;
    case BS_GROUPBOX:
        room.cx -= 2 * tm.tmAveCharWidth;
        break;
    default:
        room.cx -= 2 * ::GetSystemMetrics(SM_CXEDGE) + 2;
        room.cy -= 2 * ::GetSystemMetrics(SM_CYEDGE) + 2;
        break;
    }
    return room;
}

TEST_F(ConsoleAtScale, EveryTextFitsItsControlInTheControlsOwnFont)
{
    const auto hDialogFont = reinterpret_cast<HFONT>(::SendMessageA(m_hDlg, WM_GETFONT, 0, 0));
    LOGFONTA dialogFont = {};
    ASSERT_TRUE(::GetObjectA(hDialogFont, sizeof dialogFont, &dialogFont));

    int measured = 0;
    for (HWND hControl = ::GetWindow(m_hDlg, GW_CHILD); hControl;
         hControl = ::GetWindow(hControl, GW_HWNDNEXT)) {
        const std::string className = testbed::ClassOf(hControl);
        const LONG style = ::GetWindowLongA(hControl, GWL_STYLE);
        const bool isText = (className.find("Static") != std::string::npos &&
                             (style & SS_TYPEMASK) == SS_LEFT) ||
                            className.find("Button") != std::string::npos;
        const std::string text = WindowText(hControl);
        if (!isText || text.empty())
            continue;

        const auto hFont = reinterpret_cast<HFONT>(::SendMessageA(hControl, WM_GETFONT, 0, 0));
        LOGFONTA font = {};
        ASSERT_TRUE(::GetObjectA(hFont, sizeof font, &font)) << text;
        // Our own fonts (the links' underlined one) follow the dialog's at every scale.
        EXPECT_EQ(font.lfHeight, dialogFont.lfHeight) << text;
        EXPECT_STREQ(font.lfFaceName, dialogFont.lfFaceName) << text;

        RECT client = {};
        ::GetClientRect(hControl, &client);
        const HDC hdc = ::GetDC(hControl);
        const HGDIOBJ hOld = ::SelectObject(hdc, hFont);
        const SIZE room = TextRoom(hControl, hdc, client);
        // A static breaks its text into lines at its width; a line below its height is lost.
        RECT needed = {0, 0, room.cx, 0};
        ::DrawTextA(hdc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        ::SelectObject(hdc, hOld);
        ::ReleaseDC(hControl, hdc);
        EXPECT_LE(needed.right, room.cx) << "\"" << text << "\" is too wide";
        EXPECT_LE(needed.bottom, room.cy)
            << "\"" << text << "\" needs " << needed.bottom << " pixels of height, has " << room.cy;
        ++measured;
    }
    EXPECT_EQ(measured, 10) << "the texts of the labels, links, buttons and the group box";
}

TEST_F(ConsoleAtScale, TheConsoleOpensWhollyInsideTheWorkArea)
{
    RECT work = {};
    ASSERT_TRUE(::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    // No larger than a 1920 x 1080 screen's, which the scale's prefix gives.
    EXPECT_LE(work.right - work.left, 1920);
    EXPECT_LE(work.bottom - work.top, 1080);
    RECT window = {};
    ::GetWindowRect(m_hDlg, &window);
    EXPECT_GE(window.left, work.left);
    EXPECT_GE(window.top, work.top);
    EXPECT_LE(window.right, work.right);
    EXPECT_LE(window.bottom, work.bottom);
}

// The image of the program icon that the group offers for this size, as an icon.
HICON IconImageOfSize(int size)
{
    const HMODULE hModule = ::GetModuleHandleA(nullptr);
    const HRSRC hGroup = ::FindResourceA(hModule, MAKEINTRESOURCEA(IDR_MAINFRAME), MAKEINTRESOURCEA(14));
    auto* pGroup = static_cast<BYTE*>(::LockResource(::LoadResource(hModule, hGroup)));
    const int id = pGroup ? ::LookupIconIdFromDirectoryEx(pGroup, TRUE, size, size, 0) : 0;
    const HRSRC hImage = ::FindResourceA(hModule, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3));
    auto* pImage = static_cast<BYTE*>(::LockResource(::LoadResource(hModule, hImage)));
    return pImage ? ::CreateIconFromResourceEx(pImage, ::SizeofResource(hModule, hImage), TRUE,
                                               0x00030000, size, size, 0)
                  : nullptr;
}

Pixels ColourOfIcon(HICON hIcon)
{
    ICONINFO info = {};
    if (!hIcon || !::GetIconInfo(hIcon, &info))
        return {};
    Pixels pixels = PixelsOf(info.hbmColor);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return pixels;
}

using AboutAtScale = ConsoleTest;

TEST_F(AboutAtScale, ShowsTheIconImageMadeForItsSizeWhole)
{
    struct Seen {
        Pixels icon;
        RECT client = {};
    };
    auto onAbout = OnSecondThread([] {
        Seen seen;
        AnswerBox("About Quillmark", IDOK, 10000, [&seen](const SeenBox& box) {
            const HWND hIcon = ::GetWindow(box.hWnd, GW_CHILD);
            seen.icon = ColourOfIcon(reinterpret_cast<HICON>(::SendMessageA(hIcon, STM_GETICON, 0, 0)));
            ::GetClientRect(hIcon, &seen.client);
        });
        return seen;
    });
    ::SendMessageA(m_hDlg, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    const Seen seen = Await(onAbout);

    const int size = ::GetSystemMetrics(SM_CXICON);
    EXPECT_EQ(size, 32 * LogPixels() / 96);
    const HICON hExpected = IconImageOfSize(size);
    const Pixels expected = ColourOfIcon(hExpected);
    ::DestroyIcon(hExpected);
    ASSERT_EQ(expected.cx, size);
    EXPECT_EQ(seen.icon.cx, size);
    EXPECT_TRUE(seen.icon.values == expected.values) << "not the " << size << "-pixel image";
    EXPECT_GE(seen.client.right, size);
    EXPECT_GE(seen.client.bottom, size);
}

}  // namespace
}  // namespace consoletest
