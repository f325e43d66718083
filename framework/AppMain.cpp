// The program's entry point: hands over to the application object that the program
// defines. Kept out of the framework library so that test programs have their own.
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
