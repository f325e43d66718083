// GDI objects whose handle belongs to the C++ object.
#pragma once

#include <windows.h>

// A font made by its owner and deleted with it (or when it makes another).
class CFont {
public:
    CFont() = default;
    ~CFont() { DeleteObject(); }
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    BOOL CreateFontIndirect(const LOGFONTA* pLogFont)
    {
        DeleteObject();
        m_hObject = ::CreateFontIndirectA(pLogFont);
        return m_hObject != nullptr;
    }

    BOOL DeleteObject()
    {
        if (!m_hObject)
            return FALSE;
        const BOOL bDeleted = ::DeleteObject(m_hObject);
        m_hObject = nullptr;
        return bDeleted;
    }

    HFONT GetSafeHandle() const { return m_hObject; }

    HFONT m_hObject = nullptr;
};
