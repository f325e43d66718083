// The console as it opens, its credential switch, and the About box from the system menu.
#include <string>

#include "tests/windows/e2e/E2eTest.h"

namespace e2e {
namespace {

using ConsoleTest = QuillmarkE2eTest;

constexpr int kCredentialControls[] = {IDC_USER_NAME_LABEL, IDC_USER_NAME, IDC_PASSWORD_LABEL,
                                       IDC_PASSWORD};

struct ChildTexts {
    std::vector<std::string> texts;
};

BOOL CALLBACK CollectChildText(HWND hWnd, LPARAM lParam)
{
    char text[256] = "";
    ::GetWindowTextA(hWnd, text, sizeof text);
    reinterpret_cast<ChildTexts*>(lParam)->texts.push_back(text);
    return TRUE;
}

TEST_F(ConsoleTest, OpensWithItsDefaultsAndSwitchesCredentialModes)
{
    EXPECT_EQ(App().Text(IDC_REMOTE_COMPUTER), "192.168.0.1");
    EXPECT_EQ(App().Text(IDC_USER_NAME), "Administrator");
    EXPECT_EQ(App().Text(IDC_PASSWORD), "");
    EXPECT_TRUE(App().IsChecked(IDC_CURRENT_CREDENTIAL));
    EXPECT_FALSE(App().IsChecked(IDC_ADMIN_CREDENTIAL));
    for (int id : kCredentialControls)
        EXPECT_FALSE(App().IsEnabled(id)) << "control " << id;
    EXPECT_EQ(App().RowCount(), 0);
    Shot("console-at-start");

    App().UseExplicitCredential("someone", "secret");
    EXPECT_FALSE(App().IsChecked(IDC_CURRENT_CREDENTIAL));
    for (int id : kCredentialControls)
        EXPECT_TRUE(App().IsEnabled(id)) << "control " << id;

    App().UseCurrentCredential();
    EXPECT_FALSE(App().IsChecked(IDC_ADMIN_CREDENTIAL));
    for (int id : kCredentialControls)
        EXPECT_FALSE(App().IsEnabled(id)) << "control " << id;
    EXPECT_EQ(App().Text(IDC_USER_NAME), "someone") << "disabling keeps the texts";
    EXPECT_EQ(App().Text(IDC_PASSWORD), "secret") << "disabling keeps the texts";
    EXPECT_TRUE(Calls().empty()) << "nothing reaches the network before Run\n" << Describe(Calls());
}

TEST_F(ConsoleTest, AboutBoxOpensFromTheSystemMenuAndOkClosesIt)
{
    // Any command whose low four bits are the system's own opens it: 0x0010 to 0x001F.
    for (WPARAM command : {WPARAM{IDM_ABOUTBOX}, WPARAM{IDM_ABOUTBOX | 0xF}}) {
        SCOPED_TRACE("system command " + std::to_string(command));
        ::PostMessageA(App().Console(), WM_SYSCOMMAND, command, 0);
        HWND hAbout = nullptr;
        WaitUntil([&] { return (hAbout = App().FindWindowOfProcess("#32770", "About Quillmark")); },
                  10000, "the About box (\"About Quillmark\")");
        if (command == IDM_ABOUTBOX)
            Shot("about-box");

        ChildTexts children;
        ::EnumChildWindows(hAbout, &CollectChildText, reinterpret_cast<LPARAM>(&children));
        EXPECT_NE(std::find(children.texts.begin(), children.texts.end(), "Quillmark Version 1.0"),
                  children.texts.end());
        char text[256] = "";
        EXPECT_GT(::GetDlgItemTextA(hAbout, IDC_ABOUT_NOTICE, text, sizeof text), 0);
        EXPECT_GT(::GetDlgItemTextA(hAbout, IDC_ABOUT_WEB, text, sizeof text), 0);
        ::GetDlgItemTextA(hAbout, IDOK, text, sizeof text);
        EXPECT_STREQ(text, "OK");
        EXPECT_EQ(::GetWindow(hAbout, GW_OWNER), App().Console());
        EXPECT_FALSE(::IsWindowEnabled(App().Console())) << "the About box is modal";

        ::PostMessageA(::GetDlgItem(hAbout, IDOK), BM_CLICK, 0, 0);
        WaitUntil([&] { return !::IsWindow(hAbout); }, 10000, "the About box to close on OK");
        WaitUntil([&] { return ::IsWindowEnabled(App().Console()) != FALSE; }, 5000,
                  "the console to be usable again");
    }
    EXPECT_EQ(App().Text(IDC_REMOTE_COMPUTER), "192.168.0.1") << "the About box changes nothing";
}

}  // namespace
}  // namespace e2e
