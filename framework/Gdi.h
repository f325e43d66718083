// GDI objects whose handle belongs to the C++ object.
#pragma once

#include <windows.h>

// A GDI object made by its owner and deleted with it (or when it takes another).
template <typename THandle>
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

    THandle GetSafeHandle() const { return m_hObject; }

    THandle m_hObject = nullptr;

protected:
    BOOL Attach(THandle hObject)
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

class CBitmap : public CGdiObject<HBITMAP> {
public:
    // Takes a bitmap made elsewhere; it is this object's to delete from then on.
    using CGdiObject::Attach;
};
