// Programs as a user meets them: started from a path, reached only through their
// windows. Every call works across processes, so a test of its own process's windows
// uses the same ones with its own process id.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace testbed {

// Every wait that runs out, and every step that cannot be taken, throws this; its text
// says what was awaited or attempted.
struct DriverError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Asks the condition every pollMs until it holds (at least once); false when the time
// ran out first.
bool PollUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs = 10);

// Polls the condition until it holds; throws "timed out after N ms waiting for <what>",
// followed by what `seen` then says about the state reached.
void WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, const std::string& what,
               const std::function<std::string()>& seen = {});

// An environment variable's value, empty when it is not set.
std::string Env(const char* name);

// The path under Wine's Z: drive, which is the root of this machine's file system.
std::string DosPathOf(const std::string& unixPath);

// Starts the program at this Unix path; throws when it cannot. The caller closes the
// handles.
PROCESS_INFORMATION StartProgram(const std::string& unixPath, const std::string& arguments = "");

// Windows looks for a library that is not one of its known ones in the program's own
// folder first, and loads whatever it finds there; Wine loads its own builtin library
// instead, whatever file it finds. For as long as this lives, Wine loads the library into
// programs of that file name as Windows would: a native file first. Wine's per-program
// settings of this prefix carry it.
class CNativeLibraryFirst {
public:
    CNativeLibraryFirst(const std::string& programFileName, const std::string& libraryName);
    ~CNativeLibraryFirst();
    CNativeLibraryFirst(const CNativeLibraryFirst&) = delete;
    CNativeLibraryFirst& operator=(const CNativeLibraryFirst&) = delete;

private:
    std::string m_strProgramKey;
    std::string m_strOverridesKey;
    std::string m_strLibrary;
    bool m_bProgramKeyMade = false;
    bool m_bOverridesKeyMade = false;
};

// A window's text, read across processes (empty when the window does not answer).
std::string WindowText(HWND hWnd);

std::string ClassOf(HWND hWnd);

// The visible top-level windows of the process, in Z order, of the class, with the
// caption (any when null), that accept (if given) takes.
std::vector<HWND> TopLevelWindows(DWORD processId, const char* className,
                                  const char* caption = nullptr,
                                  const std::function<bool(HWND)>& accept = {});
// The first of them, or null.
HWND TopLevelWindow(DWORD processId, const char* className, const char* caption = nullptr,
                    const std::function<bool(HWND)>& accept = {});

// The pixels of a screen rectangle as the user sees them, row by row from the top, colour
// only (0x00RRGGBB); empty when the rectangle is empty or the screen cannot be read.
std::vector<DWORD> ScreenPixels(const RECT& rect);

// ---- Message boxes ----

inline constexpr char kDialogClass[] = "#32770";
// A message box's text is the system's static with this id.
inline constexpr int kMessageBoxTextId = 0xFFFF;

// Whether the window has a message box's text control. A dialog's unnamed labels carry
// the same id, so a caller tells the dialogs it knows apart from the boxes itself.
bool HasMessageBoxText(HWND hWnd);

enum class BoxIcon { None, Exclamation, Hand, Question, Other };
const char* BoxIconName(BoxIcon icon);

// A message box as the user sees it; hWnd is null when no box was found.
struct MessageBoxSeen {
    HWND hWnd = nullptr;
    std::string strCaption;
    std::string strText;
    std::vector<int> buttons;  // ids of the buttons it offers, in id order
    HWND hWndOwner = nullptr;
    bool bOwnerEnabled = true;
    HWND hIconStatic = nullptr;  // the control that shows its icon, if any
    // The icon's handle, which means something only in the box's own process: under Wine
    // icon handles are private to each process (see ScreenIcon).
    HICON hIcon = nullptr;
    BoxIcon icon = BoxIcon::None;  // as ScreenIcon recognised it, when asked
};

// Everything the box shows but its icon as seen on the screen.
MessageBoxSeen ReadMessageBox(HWND hBox);

// The system icon that the static shows on the screen, recognised by its pixels: under
// Wine icon handles are private to each process. Looks again for up to timeoutMs while
// nothing matches (the box may not be painted yet); Other when nothing ever did.
BoxIcon ScreenIcon(HWND hIconStatic, DWORD timeoutMs);

// Keys as the keyboard sends them, to whichever window has the focus when they are read:
// the modifiers go down, the key is pressed, the modifiers come up.
void PressKey(WORD vk, std::initializer_list<WORD> modifiers = {});

// Types the text key by key, each character with the key (and Shift, where needed) that
// gives it on the current keyboard layout; throws for a character the layout has no key for.
void TypeText(const std::string& text);
// Types characters of any script, as a keyboard of that script gives them: each a Unicode
// key press, whatever the current layout.
void TypeText(const std::wstring& text);

}  // namespace testbed
