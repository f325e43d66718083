// The compiled resources as the program meets them: the dialog templates byte by byte,
// the console built on screen, the menu, string, icon, banner, cursor and version data,
// and the shipped exe's manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "resource.h"
#include "testbed/driver/Programs.h"

namespace {

// Ids of one kind must not share a number: two controls with one id would answer for
// each other, and a menu command equal to a control id would pose as that control.
template <std::size_t N>
constexpr bool AllDistinct(const std::array<long, N>& ids)
{
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t j = i + 1; j < N; ++j)
            if (ids[i] == ids[j])
                return false;
    return true;
}
static_assert(AllDistinct(std::array<long, 7>{IDD_ABOUTBOX, IDS_ABOUTBOX, IDD_CONSOLE_DIALOG,
                                              IDR_MAINFRAME, IDB_BANNER, IDC_LINK_HAND,
                                              IDR_SERVICE_MENU}),
              "two resources share a number");
// Everything that reaches the console or the About box as a WM_COMMAND id.
static_assert(AllDistinct(std::array<long, 19>{
                  IDOK, IDCANCEL, IDC_RUN, IDC_SERVICE_LIST, IDC_REMOTE_COMPUTER, IDC_BANNER,
                  IDC_PROMO_TITLE, IDC_PROMO_TEXT, IDC_DOWNLOAD, IDC_USER_NAME, IDC_PASSWORD,
                  IDC_USER_NAME_LABEL, IDC_PASSWORD_LABEL, IDC_CURRENT_CREDENTIAL,
                  IDC_ADMIN_CREDENTIAL, IDC_ABOUT_NOTICE, IDC_ABOUT_WEB, ID_SERVICE_START,
                  ID_SERVICE_STOP}),
              "two command or control ids share a number");
// The system keeps a system-menu command's low four bits, and owns 0xF000 and above.
static_assert((IDM_ABOUTBOX & 0xF) == 0 && IDM_ABOUTBOX < 0xF000, "bad system-menu command");

HINSTANCE Module()
{
    return GetModuleHandleA(nullptr);
}

const BYTE* ResourceBytes(int id, int type)
{
    HRSRC found = FindResourceA(Module(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type));
    return found ? static_cast<const BYTE*>(LockResource(LoadResource(Module(), found)))
                 : nullptr;
}

template <typename T>
T Read(const BYTE* at)
{
    T value;
    std::memcpy(&value, at, sizeof(value));
    return value;
}

// ---------------------------------------------------------------------------
// Dialog templates, plain and extended, read field by field.

struct Box {
    int x, y, cx, cy;
    bool operator==(const Box&) const = default;
};

struct Control {
    int id;
    std::string className;  // lower case, the predefined classes by name
    std::string text;       // "#n" where the template names resource n instead
    Box box;
    DWORD style;
    DWORD exStyle = 0;
    bool operator==(const Control&) const = default;
};

void PrintTo(const Control& c, std::ostream* out)
{
    *out << "{id " << c.id << ", " << c.className << ", \"" << c.text << "\", " << c.box.x
         << "," << c.box.y << "," << c.box.cx << "," << c.box.cy << ", style 0x" << std::hex
         << c.style << ", ex 0x" << c.exStyle << std::dec << "}";
}

struct Dialog {
    bool extended = false;
    DWORD style = 0, exStyle = 0;
    Box box = {};
    std::string caption, face;
    int pointSize = 0;
    std::vector<Control> controls;
};

Dialog LoadDialog(int id)
{
    Dialog dlg;
    const BYTE* start = ResourceBytes(id, 5);  // RT_DIALOG
    if (!start)
        return dlg;
    const BYTE* at = start;
    auto word = [&] { WORD v = Read<WORD>(at); at += 2; return v; };
    auto dword = [&] { DWORD v = Read<DWORD>(at); at += 4; return v; };
    auto box = [&] { Box b; b.x = short(word()); b.y = short(word()); b.cx = short(word());
                     b.cy = short(word()); return b; };
    // A "string or ordinal" field: 0xFFFF and a number, or a zero-ended UTF-16 string.
    auto text = [&](int* ordinal) {
        std::string s;
        *ordinal = -1;
        if (Read<WORD>(at) == 0xFFFF) {
            at += 2;
            *ordinal = word();
            return s;
        }
        for (WORD c = word(); c != 0; c = word())
            s += c < 0x80 ? char(c) : '?';
        return s;
    };
    int ordinal = 0;

    dlg.extended = Read<WORD>(start + 2) == 0xFFFF;
    if (dlg.extended) {
        at += 8;  // version, signature, help id
        dlg.exStyle = dword();
        dlg.style = dword();
    } else {
        dlg.style = dword();
        dlg.exStyle = dword();
    }
    int count = word();
    dlg.box = box();
    text(&ordinal);  // menu
    text(&ordinal);  // window class
    dlg.caption = text(&ordinal);
    if (dlg.style & DS_SETFONT) {
        dlg.pointSize = word();
        if (dlg.extended)
            at += 4;  // weight, italic, character set
        dlg.face = text(&ordinal);
    }
    static const char* const kPredefined[] = {"button", "edit", "static", "listbox",
                                              "scrollbar", "combobox"};
    for (int i = 0; i < count; ++i) {
        Control c = {};
        at += (4 - (at - start) % 4) % 4;
        if (dlg.extended) {
            at += 4;  // help id
            c.exStyle = dword();
            c.style = dword();
            c.box = box();
            c.id = int(dword());
        } else {
            c.style = dword();
            c.exStyle = dword();
            c.box = box();
            c.id = short(word());
        }
        c.className = text(&ordinal);
        for (char& ch : c.className)
            ch = char(std::tolower(static_cast<unsigned char>(ch)));
        if (ordinal >= 0x80 && ordinal <= 0x85)
            c.className = kPredefined[ordinal - 0x80];
        c.text = text(&ordinal);
        if (ordinal >= 0)
            c.text = "#" + std::to_string(ordinal);
        at += word();  // creation data, unused
        dlg.controls.push_back(c);
    }
    return dlg;
}

void ExpectControls(const Dialog& dlg, const std::vector<Control>& expected)
{
    ASSERT_EQ(dlg.controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        Control want = expected[i];
        want.style |= WS_CHILD | WS_VISIBLE;
        EXPECT_EQ(dlg.controls[i], want) << "control " << i;
    }
}

const std::vector<Control> kConsoleControls = {
    {IDC_RUN, "button", "Run", {347, 136, 62, 14}, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {IDC_SERVICE_LIST, "syslistview32", "", {7, 158, 409, 204},
     LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP},
    {IDC_STATIC, "static", "Remote Computer:", {14, 119, 60, 8}, SS_LEFT | WS_GROUP},
    {IDC_REMOTE_COMPUTER, "edit", "", {78, 118, 93, 14}, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
    {IDC_CURRENT_CREDENTIAL, "button", "Current Credential", {189, 120, 72, 10},
     BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP},
    {IDC_ADMIN_CREDENTIAL, "button", "Admin User Name / Password", {278, 119, 111, 10},
     BS_AUTORADIOBUTTON},
    {IDC_BANNER, "static", "#129", {7, 7, 409, 67}, SS_BITMAP | SS_NOTIFY | SS_SUNKEN | WS_GROUP},
    {IDC_PROMO_TITLE, "static", "Tarnwick", {156, 79, 111, 8}, SS_LEFT | WS_GROUP},
    {IDC_PROMO_TEXT, "static",
     "Tarnwick watches the services on your network and tells you when one stops.",
     {11, 92, 334, 8}, SS_LEFT | WS_GROUP},
    {IDC_DOWNLOAD, "button", "Download Here", {347, 89, 62, 14}, BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_USER_NAME_LABEL, "static", "User Name:", {14, 138, 38, 8}, SS_LEFT | WS_GROUP},
    {IDC_USER_NAME, "edit", "", {78, 136, 93, 14}, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
    {IDC_PASSWORD_LABEL, "static", "Password:", {189, 138, 34, 8}, SS_LEFT | WS_GROUP},
    {IDC_PASSWORD, "edit", "", {226, 136, 93, 14},
     ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
    {IDC_STATIC, "button", "Remote Computer Information", {7, 105, 409, 50}, BS_GROUPBOX},
};

TEST(ConsoleTemplate, IsAnExtendedFixedSizeDialogWithEveryControlInTabOrder)
{
    Dialog dlg = LoadDialog(IDD_CONSOLE_DIALOG);
    ASSERT_TRUE(dlg.extended);
    EXPECT_EQ(dlg.style, DWORD(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                               DS_MODALFRAME | DS_SETFONT))
        << std::hex << dlg.style;
    EXPECT_EQ(dlg.exStyle, DWORD(WS_EX_APPWINDOW));
    // At (0, 0) with no centring style, so that the framework centres it.
    EXPECT_EQ(dlg.box, (Box{0, 0, 423, 369}));
    EXPECT_EQ(dlg.caption, "Quillmark");
    EXPECT_EQ(dlg.pointSize, 8);
    EXPECT_EQ(dlg.face, "MS Sans Serif");
    ExpectControls(dlg, kConsoleControls);
    // A screen reader names an edit box after the window just before it: its label.
    for (std::size_t i = 1; i < dlg.controls.size(); ++i)
        EXPECT_TRUE(dlg.controls[i].className != "edit" || dlg.controls[i - 1].text.ends_with(':')) << i;
}

TEST(ConsoleTemplate, TheCredentialButtonsAreOneTabStopAndNoTextHasAMnemonic)
{
    std::vector<int> tabStops;
    for (const Control& c : LoadDialog(IDD_CONSOLE_DIALOG).controls) {
        if (c.style & WS_TABSTOP)
            tabStops.push_back(c.id);
        EXPECT_EQ(c.text.find('&'), std::string::npos) << c.text;
    }
    EXPECT_EQ(tabStops, (std::vector<int>{IDC_RUN, IDC_SERVICE_LIST, IDC_REMOTE_COMPUTER,
                                          IDC_CURRENT_CREDENTIAL, IDC_DOWNLOAD, IDC_USER_NAME, IDC_PASSWORD}));
}

TEST(AboutTemplate, IsAPlainDialogWithTheIconVersionNoticeOkAndWebLine)
{
    Dialog dlg = LoadDialog(IDD_ABOUTBOX);
    EXPECT_FALSE(dlg.extended);
    EXPECT_EQ(dlg.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT))
        << std::hex << dlg.style;
    EXPECT_EQ(dlg.exStyle, 0u);
    EXPECT_EQ(dlg.box, (Box{0, 0, 235, 73}));
    EXPECT_EQ(dlg.caption, "About Quillmark");
    EXPECT_EQ(dlg.pointSize, 8);
    EXPECT_EQ(dlg.face, "MS Sans Serif");
    ExpectControls(dlg, {
        {IDC_STATIC, "static", "#128", {11, 17, 21, 20}, SS_ICON},
        {IDC_STATIC, "static", "Quillmark Version 1.0", {40, 17, 119, 8}, SS_NOPREFIX | WS_GROUP},
        {IDC_ABOUT_NOTICE, "static", "Free to use and to share.", {40, 32, 119, 8},
         SS_LEFT | WS_GROUP},
        {IDOK, "button", "OK", {178, 7, 50, 14}, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP},
        {IDC_ABOUT_WEB, "static", "www.quillmark.example", {40, 47, 119, 8}, SS_LEFT | WS_GROUP},
    });
}

// ---------------------------------------------------------------------------
// The dialogs built on screen with a do-nothing procedure.

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

HWND Build(int id)
{
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    return CreateDialogParamA(Module(), MAKEINTRESOURCEA(id), nullptr, PlainDialogProc, 0);
}

TEST(ConsoleOnScreen, ClientAreaIsTheTemplateSizeInClassicDialogUnits)
{
    HWND dialog = Build(IDD_CONSOLE_DIALOG);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    // "MS Sans Serif" 8 has the classic 6 x 13 pixel base units; a missing face would
    // stretch the whole window.
    RECT base = {0, 0, 4, 8}, expected = {0, 0, 423, 369}, client = {};
    MapDialogRect(dialog, &base);
    MapDialogRect(dialog, &expected);
    GetClientRect(dialog, &client);
    EXPECT_EQ(base.right, 6);
    EXPECT_EQ(base.bottom, 13);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);
    LONG_PTR style = GetWindowLongPtrA(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0) << "neither resizable nor maximisable";
    DestroyWindow(dialog);
}

TEST(ConsoleOnScreen, BannerFindsItsBitmapAndThePasswordIsMasked)
{
    HWND dialog = Build(IDD_CONSOLE_DIALOG);
    ASSERT_NE(dialog, nullptr);
    auto picture = reinterpret_cast<HBITMAP>(
        SendDlgItemMessageA(dialog, IDC_BANNER, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP info = {};
    ASSERT_TRUE(picture && GetObjectA(picture, sizeof(info), &info));
    EXPECT_EQ(info.bmWidth, 612);
    EXPECT_EQ(info.bmHeight, 107);
    EXPECT_NE(SendDlgItemMessageA(dialog, IDC_PASSWORD, EM_GETPASSWORDCHAR, 0, 0), 0);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_USER_NAME, EM_GETPASSWORDCHAR, 0, 0), 0);
    char className[32] = {};
    GetClassNameA(GetDlgItem(dialog, IDC_SERVICE_LIST), className, sizeof(className));
    EXPECT_STREQ(className, WC_LISTVIEWA);
    DestroyWindow(dialog);
}

TEST(AboutOnScreen, IconStaticFindsTheProgramIcon)
{
    HWND about = Build(IDD_ABOUTBOX);
    ASSERT_NE(about, nullptr);
    EXPECT_NE(SendMessageA(GetWindow(about, GW_CHILD), STM_GETICON, 0, 0), 0);
    DestroyWindow(about);
}

// ---------------------------------------------------------------------------
// Menu, string, pictures

TEST(ServiceMenu, HasOnePopupWithStartThenStop)
{
    HMENU menu = LoadMenuA(Module(), MAKEINTRESOURCEA(IDR_SERVICE_MENU));
    ASSERT_NE(menu, nullptr);
    char text[32] = {};
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    GetMenuStringA(menu, 0, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "POPUP");
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_EQ(GetMenuItemCount(popup), 2);
    const std::pair<UINT, const char*> items[] = {{ID_SERVICE_START, "Start"},
                                                  {ID_SERVICE_STOP, "Stop"}};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(GetMenuItemID(popup, i), items[i].first);
        GetMenuStringA(popup, i, text, sizeof(text), MF_BYPOSITION);
        EXPECT_STREQ(text, items[i].second);
        EXPECT_EQ(GetMenuState(popup, i, MF_BYPOSITION) & (MF_GRAYED | MF_SEPARATOR), 0u);
    }
    DestroyMenu(menu);
}

TEST(StringTable, HoldsTheAboutEntryWithItsMnemonic)
{
    char text[32] = {};
    ASSERT_GT(LoadStringA(Module(), IDS_ABOUTBOX, text, sizeof(text)), 0);
    EXPECT_STREQ(text, "&About Quillmark...");
}

// One image for each size the shell asks for at today's scales, so that none is shrunk
// or stretched from another.
TEST(ProgramIcon, HasAnImageOfEachSizeFrom16To256In32BitsWithAlphaThe256OneCompressed)
{
    const BYTE* group = ResourceBytes(IDR_MAINFRAME, 14);  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const int count = Read<WORD>(group + 4);
    std::vector<int> sizes;
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = group + 6 + 14 * i;  // width, height, colours, 0, planes, bits, ..., id
        const int size = entry[0] == 0 ? 256 : entry[0];
        sizes.push_back(size);
        EXPECT_EQ(entry[1], entry[0]);
        EXPECT_EQ(Read<WORD>(entry + 6), 32) << size;
        const WORD id = Read<WORD>(entry + 12);
        EXPECT_EQ(LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group), TRUE, size, size, 0), id)
            << "the " << size << "-pixel slot is served by another image";
        const BYTE* image = ResourceBytes(id, 3);  // RT_ICON
        ASSERT_NE(image, nullptr);
        if (size == 256) {
            EXPECT_EQ(std::memcmp(image, "\x89PNG\r\n\x1a\n", 8), 0) << "the 256-pixel image is a PNG";
            continue;
        }
        auto header = Read<BITMAPINFOHEADER>(image);
        EXPECT_EQ(header.biWidth, size);
        EXPECT_EQ(header.biHeight, 2 * size) << "colour image and AND mask";
        EXPECT_EQ(header.biBitCount, 32);
        // Smooth edges: some pixels are neither wholly transparent nor wholly opaque.
        int partial = 0;
        for (int p = 0; p < size * size; ++p) {
            const BYTE alpha = image[header.biSize + 4 * p + 3];
            partial += alpha > 0 && alpha < 255;
        }
        EXPECT_GT(partial, 0) << size;
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}));

    // And the compressed one loads.
    auto large = static_cast<HICON>(
        LoadImageA(Module(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, 256, 256, 0));
    ICONINFO info = {};
    ASSERT_TRUE(large && GetIconInfo(large, &info));
    BITMAP colour = {};
    GetObjectA(info.hbmColor, sizeof(colour), &colour);
    EXPECT_EQ(colour.bmWidth, 256);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(large);
}

TEST(Banner, IsA612By107TrueColourBitmap)
{
    const BYTE* bytes = ResourceBytes(IDB_BANNER, 2);  // RT_BITMAP
    ASSERT_NE(bytes, nullptr);
    auto header = Read<BITMAPINFOHEADER>(bytes);
    EXPECT_EQ(header.biWidth, 612);
    EXPECT_EQ(header.biHeight, 107);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, DWORD(BI_RGB));
}

TEST(LinkCursor, IsAMonochromeHandWithItsHotSpotOnTheFingertip)
{
    HCURSOR cursor = LoadCursorA(Module(), MAKEINTRESOURCEA(IDC_LINK_HAND));
    ICONINFO info = {};
    ASSERT_TRUE(cursor && GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 5u);
    EXPECT_EQ(info.yHotspot, 0u);
    EXPECT_EQ(info.hbmColor, nullptr) << "monochrome";
    BITMAP mask = {};
    GetObjectA(info.hbmMask, sizeof(mask), &mask);
    EXPECT_EQ(mask.bmWidth, 32);
    EXPECT_EQ(mask.bmHeight, 64);
    DeleteObject(info.hbmMask);

    // The hot spot must be a drawn pixel of the hand. The image is the hot spot, a
    // header, two colours, the colour rows and then the AND rows, bottom row first.
    const BYTE* group = ResourceBytes(IDC_LINK_HAND, 12);  // RT_GROUP_CURSOR
    ASSERT_NE(group, nullptr);
    const BYTE* image = ResourceBytes(Read<WORD>(group + 6 + 12), 1);  // RT_CURSOR
    ASSERT_NE(image, nullptr);
    auto header = Read<BITMAPINFOHEADER>(image + 4);
    ASSERT_EQ(header.biBitCount, 1);
    const BYTE* andRows = image + 4 + header.biSize + 2 * sizeof(RGBQUAD) + 32 * 4;
    auto transparent = [&](int x, int y) {
        return (andRows[(31 - y) * 4 + x / 8] >> (7 - x % 8)) & 1;
    };
    EXPECT_EQ(transparent(5, 0), 0);
    EXPECT_EQ(transparent(0, 0), 1);
}

// ---------------------------------------------------------------------------
// Version information, read back from this executable as the shell would.

class VersionInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, sizeof(path));
        DWORD unused = 0, size = GetFileVersionInfoSizeA(path, &unused);
        ASSERT_GT(size, 0u);
        m_data.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, m_data.data()));
    }

    const void* Query(const std::string& path, UINT* length)
    {
        void* value = nullptr;
        return VerQueryValueA(m_data.data(), path.c_str(), &value, length) ? value : nullptr;
    }

    std::string Value(const char* name)
    {
        UINT length = 0;
        auto text = static_cast<const char*>(
            Query(std::string("\\StringFileInfo\\040904B0\\") + name, &length));
        return text ? text : "<missing>";
    }

    std::vector<BYTE> m_data;
};

TEST_F(VersionInfo, FixedPartIsVersion1001APrivateSpecialBuildWin32Application)
{
    UINT length = 0;
    const void* value = Query("\\", &length);
    ASSERT_TRUE(value && length == sizeof(VS_FIXEDFILEINFO));
    auto fixed = Read<VS_FIXEDFILEINFO>(static_cast<const BYTE*>(value));
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed.dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed.dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed.dwFileFlags, DWORD(VS_FF_PRIVATEBUILD | VS_FF_SPECIALBUILD));
    EXPECT_EQ(fixed.dwFileOS, DWORD(VOS__WINDOWS32));
    EXPECT_EQ(fixed.dwFileType, DWORD(VFT_APP));
}

TEST_F(VersionInfo, StringsAreExactAndTheTranslationIsUsEnglishUnicode)
{
    EXPECT_EQ(Value("FileDescription"), "Quillmark  Application");  // two blanks
    EXPECT_EQ(Value("ProductName"), "Quillmark Application");
    for (const char* name : {"FileVersion", "ProductVersion", "PrivateBuild", "SpecialBuild"})
        EXPECT_EQ(Value(name), "1, 0, 0, 1") << name;
    EXPECT_EQ(Value("InternalName"), "Quillmark");
    EXPECT_EQ(Value("OriginalFilename"), "Quillmark.EXE");
    for (const char* name : {"Comments", "CompanyName", "LegalCopyright", "LegalTrademarks"}) {
        std::string text = Value(name);
        EXPECT_TRUE(text != "<missing>" && !text.empty()) << name;
    }
    UINT length = 0;
    const void* value = Query("\\VarFileInfo\\Translation", &length);
    ASSERT_TRUE(value && length == 4);
    EXPECT_EQ(Read<DWORD>(static_cast<const BYTE*>(value)), 0x04B00409u);  // 0x409, 1200
}

// ---------------------------------------------------------------------------
// The application manifest, read back from the shipped exe as Windows reads it.

// The start tag of the first element named tag whose attributes contain what.
std::string StartTag(const std::string& xml, const std::string& tag, const std::string& what = "")
{
    for (std::size_t at = xml.find("<" + tag + " "); at != std::string::npos;
         at = xml.find("<" + tag + " ", at + 1)) {
        const std::string element = xml.substr(at, xml.find('>', at) - at);
        if (element.find(what) != std::string::npos)
            return element;
    }
    return "";
}

std::string Attribute(const std::string& element, const std::string& name)
{
    const std::size_t at = element.find(" " + name + "=\"");
    if (at == std::string::npos)
        return "<missing>";
    const std::size_t begin = at + name.size() + 3;
    return element.substr(begin, element.find('"', begin) - begin);
}

class ShippedManifest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string unixPath = testbed::Env("QUILLMARK_EXE");
        ASSERT_FALSE(unixPath.empty()) << "QUILLMARK_EXE (the path of Quillmark.exe) is not set";
        m_path = testbed::DosPathOf(unixPath);
        HMODULE exe = LoadLibraryExA(m_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(exe, nullptr) << m_path << ": error " << GetLastError();
        // The manifest Windows reads at process creation: RT_MANIFEST 1.
        HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
        if (found) {
            auto text = static_cast<const char*>(LockResource(LoadResource(exe, found)));
            m_xml.assign(text, SizeofResource(exe, found));
        }
        FreeLibrary(exe);
        ASSERT_FALSE(m_xml.empty()) << "no manifest (RT_MANIFEST 1) in " << m_path;
    }

    // The processor the exe was built for, from its PE header.
    WORD Machine() const
    {
        std::vector<BYTE> head(4096);
        FILE* file = std::fopen(m_path.c_str(), "rb");
        if (!file)
            return 0;
        head.resize(std::fread(head.data(), 1, head.size(), file));
        std::fclose(file);
        const LONG peOffset = head.size() >= 64 ? Read<LONG>(head.data() + 0x3C) : 0;
        return peOffset > 0 && std::size_t(peOffset) + 6 <= head.size()
                   ? Read<WORD>(head.data() + peOffset + 4) : 0;
    }

    std::string m_path;
    std::string m_xml;
};

TEST_F(ShippedManifest, NamesTheProgramWithItsVersionResourcesVersionAndItsProcessor)
{
    const std::string identity = StartTag(m_xml, "assemblyIdentity", "name=\"Quillmark\"");
    ASSERT_NE(identity, "") << m_xml;
    DWORD unused = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeA(m_path.c_str(), &unused));
    ASSERT_TRUE(!info.empty() && GetFileVersionInfoA(m_path.c_str(), 0, info.size(), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    const std::string version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(Attribute(identity, "version"), version);
    EXPECT_EQ(Attribute(identity, "type"), "win32");
    const WORD machine = Machine();
    ASSERT_TRUE(machine == IMAGE_FILE_MACHINE_I386 || machine == IMAGE_FILE_MACHINE_AMD64) << machine;
    EXPECT_EQ(Attribute(identity, "processorArchitecture"),
              machine == IMAGE_FILE_MACHINE_I386 ? "x86" : "amd64");
}

TEST_F(ShippedManifest, AsksForCommonControls6AsInvokerAndSystemScaleOnVistaTo11)
{
    const std::string controls =
        StartTag(m_xml, "assemblyIdentity", "name=\"Microsoft.Windows.Common-Controls\"");
    EXPECT_EQ(Attribute(controls, "version"), "6.0.0.0");
    EXPECT_EQ(Attribute(controls, "publicKeyToken"), "6595b64144ccf1df");
    EXPECT_NE(m_xml.find("<dependentAssembly>"), std::string::npos);

    const std::string level = StartTag(m_xml, "requestedExecutionLevel");
    EXPECT_EQ(Attribute(level, "level"), "asInvoker");
    EXPECT_EQ(Attribute(level, "uiAccess"), "false");

    // System awareness only: no per-monitor setting beside it.
    EXPECT_NE(m_xml.find(">true</dpiAware>"), std::string::npos);
    EXPECT_EQ(m_xml.find("dpiAwareness"), std::string::npos);
    EXPECT_EQ(m_xml.find("PerMonitor"), std::string::npos);

    for (const char* os : {"{e2011457-1546-43c5-a5fe-008deee3d3f0}",    // Vista
                           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",    // 7
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",    // 8
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",    // 8.1
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) { // 10 and 11
        EXPECT_EQ(Attribute(StartTag(m_xml, "supportedOS", os), "Id"), os);
    }
}

// This program carries the same resources, and the system acts on their manifest: the
// common controls come from the side-by-side store, not from the system folder (or a
// file of that name beside the program). Under Wine that copy reports version 5 and
// every process counts as scale-aware, so the path is what tells.
TEST(ManifestInEffect, CommonControlsComeFromTheSideBySideStore)
{
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_LISTVIEW_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&classes));
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(GetModuleHandleA("comctl32.dll"), path, sizeof(path)), 0u);
    std::string lower = path;
    for (char& ch : lower)
        ch = char(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_NE(lower.find("\\winsxs\\"), std::string::npos) << path;
    EXPECT_NE(lower.find("common-controls"), std::string::npos) << path;
}

// Every 8-bit call of the program carries UTF-8, so a name in any script survives it.
TEST(ManifestInEffect, TheProcessCodePageIsUtf8) { EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)); }

}  // namespace
