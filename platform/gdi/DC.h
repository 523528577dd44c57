#pragma once

// A device context as painting code sees it: a thin handle over a DeviceContext backend that
// turns logical coordinates into device units, clips, and keeps the selected objects and colours
// in the backend so that every CDC over the same backend shares them.
//
// A CDC either borrows its backend (Attach: a window's paint surface) or owns it
// (CreateCompatibleDC: a memory context, freed by DeleteDC or destruction). Setters act on the
// output context and, where it differs, on the attribute context; getters read the attribute
// context.
//
// Threading rules: UI thread only, like the backend.

#include <memory>
#include <string>

#include "platform/gdi/DeviceContext.h"
#include "platform/gdi/GdiObjects.h"
#include "platform/gdi/GdiTypes.h"

class CDC {
  public:
    CDC() = default;
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    DeviceContext* m_hDC = nullptr;
    DeviceContext* m_hAttribDC = nullptr;
    BOOL m_bPrinting = 0;

    // Borrows `dc` as output and attribute context and takes over its printing flag.
    BOOL Attach(DeviceContext* dc);
    // Lets go of the output context and returns it; a context this CDC made is then the caller's
    // to delete.
    DeviceContext* Detach();
    // Frees a context this CDC made; only lets go of a borrowed one.
    BOOL DeleteDC();
    // Makes a memory context compatible with `like` and owns it; fails when `like` has no
    // output context (a window the host cannot paint, such as the command line's).
    BOOL CreateCompatibleDC(CDC* like);
    DeviceContext* GetSafeHdc() const { return m_hDC; }

    BOOL IsPrinting() const { return m_bPrinting; }

    // The area drawing can reach, in logical units; answers the region's kind.
    int GetClipBox(RECT* box) const;
    int SelectClipRgn(CRgn* region);

    void FillSolidRect(const RECT& area, COLORREF colour);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF colour);
    SIZE GetTextExtent(const std::string& text) const;
    BOOL ExtTextOut(int x, int y, UINT options, const RECT* clip, const std::string& text);
    BOOL BitBlt(int x, int y, int width, int height, CDC* source, int xSource, int ySource,
                DWORD rop);

    int SetBkMode(int mode);
    int GetBkMode() const;
    COLORREF SetTextColor(COLORREF colour);
    COLORREF GetTextColor() const;
    COLORREF SetBkColor(COLORREF colour);
    COLORREF GetBkColor() const;

    // Each answers the object it replaced, or null when the selection failed.
    CFont* SelectObject(CFont* font);
    CBrush* SelectObject(CBrush* brush);
    CPen* SelectObject(CPen* pen);
    CBitmap* SelectObject(CBitmap* bitmap);
    CGdiObject* SelectObject(CGdiObject* object);
    // OBJ_FONT, OBJ_BRUSH, OBJ_PEN or OBJ_BITMAP; null for any other kind.
    CGdiObject* GetCurrentObject(UINT objectType) const;

    POINT SetWindowOrg(int x, int y);
    POINT SetWindowOrg(POINT origin) { return SetWindowOrg(origin.x, origin.y); }
    POINT GetWindowOrg() const;
    int SetMapMode(int mode);
    int GetMapMode() const;
    SIZE SetWindowExt(int cx, int cy);
    SIZE SetWindowExt(SIZE extent) { return SetWindowExt(extent.cx, extent.cy); }
    SIZE GetWindowExt() const;
    SIZE SetViewportExt(int cx, int cy);
    SIZE SetViewportExt(SIZE extent) { return SetViewportExt(extent.cx, extent.cy); }
    SIZE GetViewportExt() const;

    void LPtoDP(POINT* points, int count = 1) const;
    void LPtoDP(RECT* rect) const;
    void DPtoLP(POINT* points, int count = 1) const;
    void DPtoLP(RECT* rect) const;

  private:
    // Calls `apply` on the output context and on a distinct attribute context.
    template <typename Apply>
    void ForBoth(Apply apply);
    RECT ToDevice(const RECT& logical) const;

    std::unique_ptr<DeviceContext> m_owned;
};
