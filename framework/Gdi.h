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

// A region made by its owner and deleted with it (or when it makes another).
class CRgn {
public:
    CRgn() = default;
    ~CRgn() { DeleteObject(); }
    CRgn(const CRgn&) = delete;
    CRgn& operator=(const CRgn&) = delete;

    BOOL CreateRectRgn(int x1, int y1, int x2, int y2)
    {
        DeleteObject();
        m_hObject = ::CreateRectRgn(x1, y1, x2, y2);
        return m_hObject != nullptr;
    }

    BOOL SetRectRgn(int x1, int y1, int x2, int y2)
    {
        return ::SetRectRgn(m_hObject, x1, y1, x2, y2);
    }

    int CombineRgn(HRGN hRgn1, HRGN hRgn2, int nCombineMode)
    {
        return ::CombineRgn(m_hObject, hRgn1, hRgn2, nCombineMode);
    }

    BOOL DeleteObject()
    {
        if (!m_hObject)
            return FALSE;
        const BOOL bDeleted = ::DeleteObject(m_hObject);
        m_hObject = nullptr;
        return bDeleted;
    }

    HRGN GetSafeHandle() const { return m_hObject; }

    HRGN m_hObject = nullptr;
};
