// GDI objects whose handle belongs to the C++ object.
#pragma once

#include <windows.h>

// A GDI object made by its owner and deleted with it (or when it makes another).
template <typename Handle>
class CGdiObject {
public:
    CGdiObject() = default;
    ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    BOOL DeleteObject()
    {
        if (!m_hObject)
            return FALSE;
        const BOOL bDeleted = ::DeleteObject(m_hObject);
        m_hObject = nullptr;
        return bDeleted;
    }

    Handle GetSafeHandle() const { return m_hObject; }

    Handle m_hObject = nullptr;

protected:
    // Takes a handle just made, in place of the one held; FALSE when it is null.
    BOOL Attach(Handle hObject)
    {
        DeleteObject();
        m_hObject = hObject;
        return m_hObject != nullptr;
    }
};

class CFont : public CGdiObject<HFONT> {
public:
    BOOL CreateFontIndirect(const LOGFONTA* pLogFont)
    {
        return Attach(::CreateFontIndirectA(pLogFont));
    }
};

class CRgn : public CGdiObject<HRGN> {
public:
    BOOL CreateRectRgn(int x1, int y1, int x2, int y2)
    {
        return Attach(::CreateRectRgn(x1, y1, x2, y2));
    }
    BOOL SetRectRgn(int x1, int y1, int x2, int y2)
    {
        return ::SetRectRgn(m_hObject, x1, y1, x2, y2);
    }
    int CombineRgn(HRGN hRgn1, HRGN hRgn2, int nCombineMode)
    {
        return ::CombineRgn(m_hObject, hRgn1, hRgn2, nCombineMode);
    }
};

class CBitmap : public CGdiObject<HBITMAP> {
public:
    // Takes a bitmap made elsewhere; it is this object's to delete from then on.
    using CGdiObject::Attach;
};
