// CStatic: a static control taken over from a dialog template.
#pragma once

#include "framework/Wnd.h"

// Nothing of its own: the link controls build on it, as on the platform's static class.
class CStatic : public CWnd {
public:
    CStatic() = default;
};
