// The application object: shows the console modally, then ends the program.
#pragma once

#include "framework/Afx.h"

class CConsoleApp : public CWinApp {
public:
    CConsoleApp() = default;
    ~CConsoleApp() override = default;

    BOOL InitInstance() override;
};
