#pragma once

// The drawing backend behind a CDC: one per host kind that has a screen (the desktop toolkit's;
// the tests paint into a software raster of their own). It keeps the state a device context carries
// between calls (colours, modes, mapping, selected objects, clip region) so that every CDC wrapping
// the same backend sees the same state, and it draws a handful of primitives in device units.
// Coordinates and clipping are worked out by CDC before a primitive is called: a backend only draws
// what it is told, inside the rectangle it is given.
//
// Threading rules: a backend belongs to the UI thread; nothing here is locked.

#include <memory>
#include <optional>
#include <string>

#include "platform/gdi/GdiTypes.h"

class CGdiObject;
class CFont;
class CBrush;
class CPen;
class CBitmap;

// A bitmap made by a backend for a compatible memory backend to draw into.
class GdiBitmap {
  public:
    virtual ~GdiBitmap() = default;
    virtual SIZE Size() const = 0;
};

// What a device context remembers between calls. The selected objects are kept twice: as the
// caller's pointers, handed back by SelectObject, and the font as a copy of its description so
// that drawing never reaches through a pointer the caller may have let go. A fresh state holds
// the stock objects, as a fresh context does.
struct DeviceState {
    DeviceState();

    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    int mapMode = MM_TEXT;
    POINT windowOrg{};
    SIZE windowExt{1, 1};
    SIZE viewportExt{1, 1};
    CFont* font = nullptr;
    CBrush* brush = nullptr;
    CPen* pen = nullptr;
    CBitmap* bitmap = nullptr;
    LOGFONT logFont{};
    std::optional<RECT> clipRegion;  // device units
};

class DeviceContext {
  public:
    DeviceContext();
    virtual ~DeviceContext();
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    // The drawing surface in device units, (0, 0) at its top-left pixel.
    virtual SIZE SurfaceSize() const = 0;
    virtual void FillRect(const RECT& area, COLORREF colour) = 0;
    // Extent of `text` in `font`: cx along the text, cy across it, whatever its direction.
    virtual SIZE MeasureText(const LOGFONT& font, const std::string& text) const = 0;
    // Draws the glyphs of `text` with their cell's top-left corner at `origin` (for text turned
    // by 900 tenths of a degree: the cell's bottom-left corner, running upward), only inside
    // `clip`.
    virtual void DrawText(POINT origin, const LOGFONT& font, const std::string& text,
                          COLORREF colour, const RECT& clip) = 0;
    // Copies `area` of this surface from `source` starting at `sourceOrigin`. False when the
    // source is of another kind.
    virtual bool CopyFrom(const RECT& area, const DeviceContext& source, POINT sourceOrigin) = 0;
    // A memory backend of the same kind, drawing into a 1 x 1 bitmap until another is selected.
    virtual std::unique_ptr<DeviceContext> CreateCompatible() const = 0;
    virtual std::shared_ptr<GdiBitmap> CreateBitmap(int width, int height) const = 0;
    // Makes `bitmap` the drawing surface (null: the backend's own 1 x 1 bitmap); false for a
    // backend that is not a memory backend, or for a bitmap of another kind.
    virtual bool SelectBitmap(std::shared_ptr<GdiBitmap> bitmap) = 0;

    // Whether the surface is a printer's page, which a memory context must not stand in for.
    // No host of this system prints; the tests' raster can pretend to.
    virtual bool IsPrinting() const { return false; }

    // The part of the surface that the current paint may change (a window's invalid area); the
    // whole surface when none is set.
    void SetUpdateArea(std::optional<RECT> area) { m_updateArea = area; }
    // Surface, update area and clip region together, in device units.
    RECT DrawableArea() const;

    DeviceState& State() { return m_state; }
    const DeviceState& State() const { return m_state; }

  private:
    DeviceState m_state;
    std::optional<RECT> m_updateArea;
};
