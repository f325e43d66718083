// What every end-to-end scenario shares: a fresh Quillmark.exe on the bed, the provider
// log from the scenario's start, and the check, once the product has ended, that every
// session it opened was cancelled and no two of one name were ever open at once.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "BedConfig.h"
#include "resources/resource.h"
#include "testbed/driver/Bed.h"
#include "testbed/driver/Driver.h"

namespace e2e {

// The driver and the bed, shared with the benchmark, are the scenarios' own vocabulary.
using namespace testbed;

inline constexpr char kBedRemoteName[] = "\\\\127.0.0.1\\ipc$";
inline constexpr char kRemoteAuthenticationFailed[] = "Remote Authentication Failed!";

class QuillmarkE2eTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_log = std::make_unique<CProviderLog>();
        m_app = std::make_unique<CQuillmark>(m_strProduct);
    }

    void TearDown() override
    {
        if (!m_app)
            return;
        const DWORD pid = m_app->ProcessId();
        // Closing the console ends the program. After a failure a box may still be open;
        // then the driver answers it on the way out and only the sessions are checked.
        if (!HasFailure() && !m_app->HasExited() && m_app->OpenMessageBoxes().empty()) {
            m_app->Close();
            EXPECT_TRUE(m_app->WaitForExit(10000))
                << "Quillmark.exe still runs 10 s after its console was closed";
        }
        m_app.reset();
        ExpectSessionsClosed(pid);
    }

    // The Quillmark.exe a scenario starts: the build's own unless it says otherwise.
    std::string m_strProduct = Env("QUILLMARK_E2E_PRODUCT");

    CQuillmark& App() { return *m_app; }
    CProviderLog& Log() { return *m_log; }
    std::vector<ProviderCall> Calls() { return m_log->CallsOf(m_app->ProcessId()); }

    // Every scenario leaves a picture of the screen at its telling moment.
    void Shot(const std::string& name)
    {
        const std::string problem = TakeScreenshot(name);
        EXPECT_EQ(problem, "") << "screenshot " << name;
    }

    // Runs on the bed and waits for the list; returns the rows the bed enumerated.
    std::vector<ListRow> RunOnBed(int sessionsSoFar = 0)
    {
        std::vector<ListRow> expected = BedEnumeration();
        App().RunOn(kBedHost);
        App().WaitForRefreshEnd(Log(), sessionsSoFar + 1, static_cast<int>(expected.size()));
        return expected;
    }

    // The checks shared by every message box of the product.
    void ExpectProductBox(const MessageBoxSeen& box)
    {
        EXPECT_EQ(box.strCaption, "Quillmark") << "box: " << box.strText;
        EXPECT_EQ(box.hWndOwner, App().Console()) << "box: " << box.strText;
        EXPECT_FALSE(::IsWindowEnabled(App().Console())) << "the console is not disabled while the box is open";
    }

    // Sessions opened and cancelled by the product's process, per remote name.
    void ExpectSessionsClosed(DWORD pid)
    {
        const std::vector<ProviderCall> calls = m_log->CallsOf(pid);
        for (const auto& [remote, tally] : TallySessions(calls)) {
            EXPECT_EQ(tally.nOpened, tally.nCancels)
                << "sessions opened vs cancelled for " << remote << "\n" << Describe(calls);
            EXPECT_FALSE(tally.bCancelWithoutSession)
                << "a cancel of " << remote << " with no session open\n" << Describe(calls);
            EXPECT_LE(tally.nMostOpenAtOnce, 1)
                << "sessions of " << remote << " overlapped\n" << Describe(calls);
        }
    }

private:
    std::unique_ptr<CProviderLog> m_log;
    std::unique_ptr<CQuillmark> m_app;
};

// A scenario that starts bed services finds them stopped and leaves them stopped, so
// that the next scenario starts from stopped services too.
class StoppedServicesTest : public QuillmarkE2eTest {
protected:
    explicit StoppedServicesTest(std::initializer_list<const char*> names) : m_names(names) {}

    void SetUp() override
    {
        for (const char* name : m_names)
            bed::EnsureStopped(name);
        QuillmarkE2eTest::SetUp();
    }

    void TearDown() override
    {
        QuillmarkE2eTest::TearDown();
        for (const char* name : m_names) {
            try {
                bed::EnsureStopped(name);
            } catch (const DriverError& error) {
                ADD_FAILURE() << error.what();
            }
        }
    }

private:
    std::vector<const char*> m_names;
};

// Empty when the rows are the same, otherwise where they first differ.
inline std::string FirstDifference(const std::vector<ListRow>& actual,
                                   const std::vector<ListRow>& expected)
{
    auto show = [](const ListRow& row) {
        return "[" + row.strPosition + " | " + row.strName + " | " + row.strDisplayName + " | " +
               row.strState + "]";
    };
    for (size_t i = 0; i < actual.size() && i < expected.size(); ++i)
        if (!(actual[i] == expected[i]))
            return "row " + std::to_string(i) + ": listed " + show(actual[i]) + ", bed has " +
                   show(expected[i]);
    if (actual.size() != expected.size())
        return "listed " + std::to_string(actual.size()) + " rows, bed has " +
               std::to_string(expected.size());
    return "";
}

}  // namespace e2e
