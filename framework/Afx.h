// Everything the program's window classes need of the framework, in one include.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "framework/Dialog.h"
#include "framework/Gdi.h"
#include "framework/ListCtrl.h"
#include "framework/MessageMap.h"
#include "framework/Static.h"
#include "framework/WinApp.h"
#include "framework/Wnd.h"
