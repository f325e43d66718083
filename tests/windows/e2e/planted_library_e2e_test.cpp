// A library planted beside Quillmark.exe under a system library's name, as anything may
// lie beside it in a download folder, never runs inside the program.
#include <memory>
#include <string>

#include "tests/windows/e2e/E2eTest.h"

namespace e2e {
namespace {

// The copy of Quillmark.exe and the planted library share a folder of their own. Wine is
// told to load the library as Windows would: the file beside the program first.
class PlantedLibraryTest : public QuillmarkE2eTest, public testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        const std::string folder = Env("QUILLMARK_E2E_PLANTED_DIR");
        const std::string library = Env("QUILLMARK_E2E_PLANTED_LIBRARY");
        ASSERT_FALSE(folder.empty() || library.empty())
            << "QUILLMARK_E2E_PLANTED_DIR or QUILLMARK_E2E_PLANTED_LIBRARY is not set";
        ::CreateDirectoryA(DosPathOf(folder).c_str(), nullptr);
        m_strMark = DosPathOf(folder + "/" + GetParam() + ".loaded");
        ::DeleteFileA(m_strMark.c_str());
        ASSERT_TRUE(::CopyFileA(DosPathOf(m_strProduct).c_str(),
                                DosPathOf(folder + "/Quillmark.exe").c_str(), FALSE));
        ASSERT_TRUE(::CopyFileA(DosPathOf(library).c_str(),
                                DosPathOf(folder + "/" + GetParam()).c_str(), FALSE));
        m_nativeFirst = std::make_unique<CNativeLibraryFirst>("Quillmark.exe", GetParam());
        m_strProduct = folder + "/Quillmark.exe";
        QuillmarkE2eTest::SetUp();
    }

    bool WasLoaded() const { return ::GetFileAttributesA(m_strMark.c_str()) != INVALID_FILE_ATTRIBUTES; }

private:
    std::string m_strMark;  // the file the planted library makes when it is loaded
    std::unique_ptr<CNativeLibraryFirst> m_nativeFirst;
};

// The network provider's library is loaded by the first Run's connect; the common controls
// are in the import table, and the manifest's side-by-side dependency decides where they
// come from.
TEST_P(PlantedLibraryTest, ALibraryBesideTheProgramNeverRunsInIt)
{
    const std::vector<ListRow> expected = BedEnumeration();
    App().RunOn(kBedHost);
    WaitUntil([&] { return App().RowCount() > 0 || !App().OpenMessageBoxes().empty(); }, 60000,
              "the first rows, or a message box");
    EXPECT_FALSE(WasLoaded()) << "the " << GetParam() << " beside Quillmark.exe was loaded";
    ASSERT_TRUE(App().OpenMessageBoxes().empty()) << "a box opened instead of the list";
    App().WaitForRefreshEnd(Log(), 1, static_cast<int>(expected.size()));
}

INSTANTIATE_TEST_SUITE_P(SystemLibraries, PlantedLibraryTest, testing::Values("mpr.dll", "comctl32.dll"));

}  // namespace
}  // namespace e2e
