// A library that stands in for one planted beside a program, under the name of a system
// library: loaded into a process, it leaves a mark, a file named after its own path with
// ".loaded" appended, and does nothing else.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*pReserved*/)
{
    if (dwReason != DLL_PROCESS_ATTACH)
        return TRUE;
    char path[MAX_PATH + 8];
    const DWORD length = ::GetModuleFileNameA(hInstance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    ::lstrcpyA(path + length, ".loaded");
    const HANDLE hMark = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hMark != INVALID_HANDLE_VALUE)
        ::CloseHandle(hMark);
    return TRUE;
}

// The one function Quillmark imports from the common controls, so that this library can
// stand in for them too and the program still starts far enough to show it was loaded.
extern "C" BOOL WINAPI InitCommonControlsEx(const void* /*pInitCtrls*/) { return FALSE; }
