#pragma once

// A progress bar that paints itself: a bar (or, in marquee style, a bouncing block) and across it
// a text in two colours, one where the text lies over the filled part and one over the rest,
// split exactly at the bar's edge. It keeps range, position, step and colours in its own fields
// and answers every progress message itself; the standard control's handling is never reached.
//
// The drawn text is the window text, read at each paint (a text change alone does not repaint),
// followed by the percentage when that is on. Colours set to CLR_DEFAULT follow the system
// colours, looked up at each use.
//
// Threading rules: UI thread only. s_nMarqueeDir is shared by every instance and touched only on
// that thread.

#include "platform/gdi/GdiObjects.h"
#include "platform/window/ProgressCtrl.h"

class CDC;
struct ProgressAreas;

inline constexpr UINT TPBM_GETBARCOLOR = WM_USER + 100;
inline constexpr UINT TPBM_GETBKCOLOR = WM_USER + 101;
inline constexpr UINT TPBM_SETTEXTCOLOR = WM_USER + 102;
inline constexpr UINT TPBM_GETTEXTCOLOR = WM_USER + 103;
inline constexpr UINT TPBM_SETBARTEXTCOLOR = WM_USER + 104;
inline constexpr UINT TPBM_GETBARTEXTCOLOR = WM_USER + 105;
inline constexpr UINT TPBM_SHOWPERCENT = WM_USER + 106;
inline constexpr UINT TPBM_SETTEXTALIGN = WM_USER + 107;
inline constexpr UINT TPBM_SETMARQUEESIZE = WM_USER + 108;

// The timer that moves the marquee block.
inline constexpr UINT_PTR kMarqueeTimerId = 1;

class CTextProgressCtrl : public CProgressCtrl {
  public:
    CTextProgressCtrl() = default;
    ~CTextProgressCtrl() override;

    const MessageMap* GetMessageMap() const override;

    // The direction every marquee block moves in: +1 or -1.
    static int s_nMarqueeDir;

  private:
    BOOL OnEraseBkgnd(CDC* dc);
    void OnPaint();
    void OnTimer(UINT_PTR id);
    LRESULT OnSetRange(WPARAM, LPARAM lParam);
    LRESULT OnSetPos(WPARAM wParam, LPARAM);
    LRESULT OnDeltaPos(WPARAM wParam, LPARAM);
    LRESULT OnSetStep(WPARAM wParam, LPARAM);
    LRESULT OnStepIt(WPARAM, LPARAM);
    LRESULT OnSetRange32(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetRange(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetPos(WPARAM, LPARAM);
    LRESULT OnSetBarColor(WPARAM, LPARAM lParam);
    LRESULT OnSetBkColor(WPARAM, LPARAM lParam);
    LRESULT OnSetMarquee(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetBarColor(WPARAM, LPARAM);
    LRESULT OnGetBkColor(WPARAM, LPARAM);
    LRESULT OnSetTextColor(WPARAM, LPARAM lParam);
    LRESULT OnGetTextColor(WPARAM, LPARAM);
    LRESULT OnSetBarTextColor(WPARAM, LPARAM lParam);
    LRESULT OnGetBarTextColor(WPARAM, LPARAM);
    LRESULT OnShowPercent(WPARAM wParam, LPARAM);
    LRESULT OnSetTextAlign(WPARAM wParam, LPARAM);
    LRESULT OnSetMarqueeSize(WPARAM wParam, LPARAM);

    // Stores a position clamped to the range (to MarqueeLimit in marquee style), repaints and
    // answers the previous one. Wide enough that no delta or step can overflow on the way.
    LRESULT SetPosition(long long position);
    // Stores `colour` in `field`, repaints and answers the old raw value.
    LRESULT SetColour(COLORREF& field, LPARAM colour);
    void Repaint();
    // A colour field's value, with CLR_DEFAULT standing for system colour `index` as it is now.
    static COLORREF Effective(COLORREF field, int index);
    int UpperBound() const;
    CFont* DrawingFont();
    void MakeRotatedFont(CFont* source);
    std::string BarText();
    void DrawBarText(CDC& dc, const ProgressAreas& areas, const std::string& text, bool vertical,
                     COLORREF textColour, COLORREF barTextColour);
    void DrawTextPass(CDC& dc, POINT at, const RECT& client, const RECT& area, COLORREF colour,
                      const std::string& text);

    BOOL m_bShowPercent = 1;
    CFont m_fontRotated;
    COLORREF m_crBar = CLR_DEFAULT;
    COLORREF m_crBack = CLR_DEFAULT;
    COLORREF m_crText = CLR_DEFAULT;
    COLORREF m_crBarText = CLR_DEFAULT;
    int m_nTextAlign = 1;
    int m_nPosition = 0;
    int m_nStep = 10;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nMarqueePercent = 20;
};
