// The program's entry point: hands over to the application object that the program
// defines. Kept out of the framework library so that test programs have their own.
#include <cstdlib>

#include "framework/WinApp.h"

int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int /*nCmdShow*/)
{
    // Nothing may unwind out of the program's entry point.
    try {
        CWinApp* pApp = AfxGetApp();
        return pApp ? pApp->Run() : 1;
    } catch (...) {
        return 1;
    }
}

// The C++ runtime's default for std::terminate, replaced in this program. The runtime's
// own writes the escaped exception's demangled type to stderr, which a windowed program
// does not have, and brings the demangler and a printf with it: about 75 KB of the exe.
// The program ends the same way, with abort.
namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
}  // namespace __gnu_cxx
