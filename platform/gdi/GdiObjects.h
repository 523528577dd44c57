#pragma once

// The graphics objects a device context selects: font, brush, pen, bitmap and region. Each one is
// empty until created and owns what it made; deleting it (or its destruction) frees that. A
// context that still has an object selected keeps its own copy of what it needs to draw, so
// freeing an object early never leaves a context pointing at freed memory.

#include <memory>
#include <optional>

#include "platform/gdi/DeviceContext.h"
#include "platform/gdi/GdiTypes.h"

class CDC;

class CGdiObject {
  public:
    CGdiObject() = default;
    virtual ~CGdiObject() = default;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    virtual UINT GetObjectType() const = 0;
    // Null while the object is empty; two objects never share a handle.
    virtual const void* GetSafeHandle() const = 0;
    virtual BOOL DeleteObject() = 0;
};

class CFont : public CGdiObject {
  public:
    UINT GetObjectType() const override { return OBJ_FONT; }
    const void* GetSafeHandle() const override;
    BOOL DeleteObject() override;

    BOOL CreateFontIndirect(const LOGFONT* font);
    // Copies the font's description; returns the bytes copied, 0 for an empty font.
    int GetLogFont(LOGFONT* font) const;

  private:
    std::optional<LOGFONT> m_logFont;
};

class CBrush : public CGdiObject {
  public:
    CBrush() = default;
    explicit CBrush(COLORREF colour) : m_colour(colour) {}
    UINT GetObjectType() const override { return OBJ_BRUSH; }
    const void* GetSafeHandle() const override;
    BOOL DeleteObject() override;

  private:
    std::optional<COLORREF> m_colour;
};

class CPen : public CGdiObject {
  public:
    UINT GetObjectType() const override { return OBJ_PEN; }
    const void* GetSafeHandle() const override;
    BOOL DeleteObject() override;

    BOOL CreatePen(int style, int width, COLORREF colour);

  private:
    struct Pen {
        int style;
        int width;
        COLORREF colour;
    };
    std::optional<Pen> m_pen;
};

class CBitmap : public CGdiObject {
  public:
    UINT GetObjectType() const override { return OBJ_BITMAP; }
    const void* GetSafeHandle() const override { return m_bitmap.get(); }
    BOOL DeleteObject() override;

    // A bitmap that a memory context compatible with `dc` can draw into.
    BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
    const std::shared_ptr<GdiBitmap>& Bitmap() const { return m_bitmap; }

  private:
    std::shared_ptr<GdiBitmap> m_bitmap;
};

class CRgn : public CGdiObject {
  public:
    UINT GetObjectType() const override { return OBJ_REGION; }
    const void* GetSafeHandle() const override;
    BOOL DeleteObject() override;

    BOOL CreateRectRgn(int left, int top, int right, int bottom);
    // The region's bounding rectangle; answers the region's kind.
    int GetRgnBox(RECT* box) const;

  private:
    std::optional<RECT> m_rect;
};

// The objects a fresh device context starts with. They live for the whole process and are never
// deleted.
CFont& StockFont();
CBrush& StockBrush();
CPen& StockPen();
// The 1 x 1 bitmap of a fresh memory context: selecting it gives the context its own tiny surface
// back.
CBitmap& StockBitmap();
