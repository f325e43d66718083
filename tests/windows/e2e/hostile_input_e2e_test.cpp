// Hostile input end to end: host texts from empty to far beyond any name, format
// directives, quotes, backslashes and accented letters in every box, and a service whose
// name is not ASCII, all as typed into the real console.
#include <string>
#include <vector>

#include "tests/windows/e2e/E2eTest.h"
#include "tests/windows/support/Windows.h"

namespace e2e {
namespace {

// "QmBedÄÖü" and "Bed service ÄÖü ß" in the system code page (1252).
constexpr char kAccented[] = "QmBed\xC4\xD6\xFC";
constexpr char kAccentedDisplay[] = "Bed service \xC4\xD6\xFC \xDF";
// Characters that a careless format call, quoting or path handling would not pass
// through unchanged, and "ÄÖü ß" in code page 1252.
constexpr char kHostileText[] = "%s%n%x \"q\" 'q' \\\\x\\ \xC4\xD6\xFC \xDF";

// The provider writes what it received as UTF-8; the product sends code-page-1252 text.
std::string Utf8Of1252(const std::string& text)
{
    if (text.empty())
        return text;
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(
        1252, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, wide.data(),
                                                          static_cast<int>(wide.size()), utf8.data(),
                                                          static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

class HostileInputTest : public QuillmarkE2eTest {
protected:
    // Run, and the one box that follows: "Remote Authentication Failed!", dismissed.
    void RunExpectingAuthenticationFailure(const std::string& host, const std::string& shot = "")
    {
        App().RunOn(host);
        const MessageBoxSeen box = App().WaitForMessageBox();
        if (!shot.empty())
            Shot(shot);
        EXPECT_EQ(box.strText, kRemoteAuthenticationFailed);
        EXPECT_EQ(box.icon, BoxIcon::Exclamation) << BoxIconName(box.icon);
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        ExpectProductBox(box);
        App().Answer(box, IDOK);
        App().SyncWithConsole();
        EXPECT_EQ(App().RowCount(), 0);
        ASSERT_FALSE(App().HasExited()) << "exit code " << App().ExitCode();
    }
};

TEST_F(HostileInputTest, HostTextsFromEmptyToThirtyThousandCharacters)
{
    // Empty: the name is handed over as it is, and the provider knows no such computer.
    RunExpectingAuthenticationFailure("", "empty-host");
    std::vector<ProviderCall> calls = Calls();
    ASSERT_EQ(calls.size(), 1u) << Describe(calls);
    EXPECT_EQ(calls[0].strOp, "connect");
    EXPECT_EQ(calls[0].strRemote, "\\\\\\ipc$");
    EXPECT_EQ(calls[0].result, ERROR_BAD_NET_NAME);

    // 252 characters make a name of exactly 259: the longest that is sent, whole.
    const std::string longest(252, 'n');
    RunExpectingAuthenticationFailure(longest);
    calls = Calls();
    ASSERT_EQ(calls.size(), 2u) << Describe(calls);
    EXPECT_EQ(calls[1].strRemote, "\\\\" + longest + "\\ipc$");
    EXPECT_EQ(calls[1].result, ERROR_BAD_NET_NAME);

    // From 253 on the name would not fit: refused before anything reaches the network.
    for (size_t length : {253u, 5000u, 30000u}) {
        SCOPED_TRACE("host of " + std::to_string(length) + " characters");
        RunExpectingAuthenticationFailure(std::string(length, 'h'),
                                          length == 30000 ? "host-of-30000-characters" : "");
        EXPECT_EQ(App().Text(IDC_REMOTE_COMPUTER).size(), length) << "the box keeps what was typed";
    }
    EXPECT_EQ(Calls().size(), 2u) << Describe(Calls());

    // And the console still works.
    RunOnBed(0);
}

TEST_F(HostileInputTest, FormatDirectivesQuotesAndAccentsArriveByteExact)
{
    const std::string remoteOfHostile = std::string("\\\\") + kHostileText + "\\ipc$";

    // In the user name and password, on the bed: refused for the wrong account.
    App().UseExplicitCredential(kHostileText, kHostileText);
    RunExpectingAuthenticationFailure(kBedHost, "hostile-credentials");
    EXPECT_EQ(App().Text(IDC_USER_NAME), kHostileText) << "the box keeps what was typed";

    // In the host too: no such computer.
    RunExpectingAuthenticationFailure(kHostileText);

    // With the current logon as well.
    App().UseCurrentCredential();
    RunExpectingAuthenticationFailure(kHostileText);

    // The account's name in another case, with its password: the list comes.
    App().UseExplicitCredential("ADMINISTRATOR", BED_PASSWORD_A);
    RunOnBed(0);

    const std::vector<ProviderCall> calls = Calls();
    ASSERT_EQ(calls.size(), 5u) << Describe(calls);
    EXPECT_EQ(calls[0].strRemote, kBedRemoteName);
    EXPECT_EQ(calls[0].strUser, Utf8Of1252(kHostileText));
    EXPECT_EQ(calls[0].strPassword, "given");
    EXPECT_EQ(calls[0].result, ERROR_LOGON_FAILURE);
    EXPECT_EQ(calls[1].strRemote, Utf8Of1252(remoteOfHostile));
    EXPECT_EQ(calls[1].strUser, Utf8Of1252(kHostileText));
    EXPECT_EQ(calls[1].result, ERROR_BAD_NET_NAME);
    EXPECT_EQ(calls[2].strRemote, Utf8Of1252(remoteOfHostile));
    EXPECT_EQ(calls[2].strUser, "<null>");
    EXPECT_EQ(calls[2].strPassword, "null");
    EXPECT_EQ(calls[2].result, ERROR_BAD_NET_NAME);
    EXPECT_EQ(calls[3].strUser, "ADMINISTRATOR");
    EXPECT_EQ(calls[3].result, 0);
    EXPECT_EQ(calls[4].strOp, "cancel");
}

class AccentedServiceTest : public StoppedServicesTest {
protected:
    AccentedServiceTest() : StoppedServicesTest({kAccented}) {}
};

TEST_F(AccentedServiceTest, ListedInTheSystemCodePageAndStartableAndStoppable)
{
    const int rows = static_cast<int>(RunOnBed().size());
    int row = App().FindRow(kAccented);
    ASSERT_GE(row, 0) << "no row holds the bytes 51 6D 42 65 64 C4 D6 FC";
    EXPECT_EQ(App().CellText(row, 2), kAccentedDisplay);
    EXPECT_EQ(App().CellText(row, 3), "Stopped");

    App().StartService(row);
    App().WaitForRefreshEnd(Log(), 3, rows);
    EXPECT_TRUE(App().OpenMessageBoxes().empty());
    EXPECT_EQ(bed::State(kAccented), static_cast<DWORD>(SERVICE_RUNNING));
    row = App().FindRow(kAccented);
    ASSERT_GE(row, 0);
    EXPECT_EQ(App().CellText(row, 3), "Service Running");

    App().StopService(row);
    const MessageBoxSeen box = App().WaitForMessageBox();
    ASSERT_EQ(box.strText, "Do you really want to stop the service?");
    App().Answer(box, IDYES);
    App().WaitForRefreshEnd(Log(), 5, rows);
    bed::WaitForState(kAccented, SERVICE_STOPPED, 10000);
    row = App().FindRow(kAccented);
    ASSERT_GE(row, 0);
    const std::string state = App().CellText(row, 3);
    EXPECT_TRUE(state == "Stop Pending" || state == "Stopped") << state;
    EXPECT_EQ(App().CellText(row, 2), kAccentedDisplay);
    Shot("accented-service-stopped");
}

// On a program that runs in UTF-8: a user name typed in Cyrillic reaches the logon whole,
// and a service named in Cyrillic, Chinese and Greek is found by typing its first letters,
// shows both names as they are, is copied as shown, and stops after the question.
TEST_F(AccentedServiceTest, ANameInAnyScriptIsTypedListedCopiedAndStopped)
{
    const bed::CUnicodeService unicodeService;
    ::SetForegroundWindow(App().Console());
    App().UseExplicitCredential("", BED_PASSWORD_A);
    App().Focus(IDC_USER_NAME);
    TypeText(std::wstring(L"Администратор"));
    // Read in the driver's code page, each of its 13 letters is a '?'.
    WaitUntil([&] { return App().Text(IDC_USER_NAME).size() == 13; }, 10000, "the user name to be typed");
    App().Click(IDC_RUN);
    App().Answer(App().WaitForMessageBox(), IDOK);
    ASSERT_EQ(Calls().size(), 1u) << Describe(Calls());
    EXPECT_EQ(Calls()[0].strUser, "Администратор");  // the provider logs it in UTF-8

    App().UseCurrentCredential();
    const int rows = static_cast<int>(RunOnBed().size());
    App().Focus(IDC_SERVICE_LIST);
    TypeText(std::wstring(L"до"));
    WaitUntil([&] { return App().SelectedRow() >= 0; }, 10000, "typing до to select a row");
    const int row = App().SelectedRow();
    EXPECT_EQ(App().CellWideText(row, 1), bed::kUnicodeServiceName);
    EXPECT_EQ(App().CellWideText(row, 2), bed::kUnicodeServiceDisplayName);
    Shot("names-in-every-script");
    const std::wstring copied = std::to_wstring(row) + L"\t" + bed::kUnicodeServiceName + L"\t" +
                                bed::kUnicodeServiceDisplayName + L"\tStopped\r\n";
    PressKey('C', {VK_CONTROL});
    WaitUntil([&] { return testsupport::ClipboardUnicodeText() == copied; }, 10000,
              "Ctrl+C to copy the row as shown");

    App().StartService(row);
    App().WaitForRefreshEnd(Log(), 3, rows);
    App().StopService(row);
    const MessageBoxSeen question = App().WaitForMessageBox();
    ASSERT_EQ(question.strText, "Do you really want to stop the service?");
    App().Answer(question, IDYES);
    App().WaitForRefreshEnd(Log(), 5, rows);
    const std::string state = App().CellText(row, 3);
    EXPECT_TRUE(state == "Stop Pending" || state == "Stopped") << state;
}

}  // namespace
}  // namespace e2e
