#include "controls/TextProgressCtrl.h"

#include <algorithm>
#include <climits>

#include "controls/ProgressLayout.h"
#include "platform/host/Host.h"

int CTextProgressCtrl::s_nMarqueeDir = 1;

namespace {

LRESULT ColourResult(COLORREF colour) {
    return static_cast<LRESULT>(colour);
}

}  // namespace

COLORREF CTextProgressCtrl::Effective(COLORREF field, int index) {
    return field == CLR_DEFAULT ? CurrentHost().GetSysColor(index) : field;
}

CTextProgressCtrl::~CTextProgressCtrl() {
    if (m_fontRotated.GetSafeHandle() != nullptr) {
        m_fontRotated.DeleteObject();
    }
}

const MessageMap* CTextProgressCtrl::GetMessageMap() const {
    using C = CTextProgressCtrl;
    static const MessageMapEntry kEntries[] = {
        MapEraseBkgnd<&C::OnEraseBkgnd>(),
        MapPaint<&C::OnPaint>(),
        MapTimer<&C::OnTimer>(),
        MapMessage<&C::OnSetRange>(PBM_SETRANGE),
        MapMessage<&C::OnSetPos>(PBM_SETPOS),
        MapMessage<&C::OnDeltaPos>(PBM_DELTAPOS),
        MapMessage<&C::OnSetStep>(PBM_SETSTEP),
        MapMessage<&C::OnStepIt>(PBM_STEPIT),
        MapMessage<&C::OnSetRange32>(PBM_SETRANGE32),
        MapMessage<&C::OnGetRange>(PBM_GETRANGE),
        MapMessage<&C::OnGetPos>(PBM_GETPOS),
        MapMessage<&C::OnSetBarColor>(PBM_SETBARCOLOR),
        MapMessage<&C::OnSetBkColor>(PBM_SETBKCOLOR),
        MapMessage<&C::OnSetMarquee>(PBM_SETMARQUEE),
        MapMessage<&C::OnGetBarColor>(TPBM_GETBARCOLOR),
        MapMessage<&C::OnGetBkColor>(TPBM_GETBKCOLOR),
        MapMessage<&C::OnSetTextColor>(TPBM_SETTEXTCOLOR),
        MapMessage<&C::OnGetTextColor>(TPBM_GETTEXTCOLOR),
        MapMessage<&C::OnSetBarTextColor>(TPBM_SETBARTEXTCOLOR),
        MapMessage<&C::OnGetBarTextColor>(TPBM_GETBARTEXTCOLOR),
        MapMessage<&C::OnShowPercent>(TPBM_SHOWPERCENT),
        MapMessage<&C::OnSetTextAlign>(TPBM_SETTEXTALIGN),
        MapMessage<&C::OnSetMarqueeSize>(TPBM_SETMARQUEESIZE),
    };
    static const MessageMap kMap{CProgressCtrl::ThisMessageMap(), kEntries};
    return &kMap;
}

// Everything is painted in one copy from the buffer, so erasing first would only flicker.
BOOL CTextProgressCtrl::OnEraseBkgnd(CDC*) {
    return 1;
}

void CTextProgressCtrl::Repaint() {
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

int CTextProgressCtrl::UpperBound() const {
    return (GetStyle() & PBS_MARQUEE) != 0 ? MarqueeLimit(m_nMarqueePercent, m_nUpper) : m_nUpper;
}

// The lower bound is applied first, so with an inverted range the upper bound wins.
LRESULT CTextProgressCtrl::SetPosition(long long position) {
    const int old = m_nPosition;
    if (position < m_nLower) {
        position = m_nLower;
    }
    const int upper = UpperBound();
    if (position > upper) {
        position = upper;
    }
    m_nPosition = static_cast<int>(position);
    Repaint();
    return old;
}

LRESULT CTextProgressCtrl::SetColour(COLORREF& field, LPARAM colour) {
    const COLORREF old = field;
    field = static_cast<COLORREF>(colour);
    Repaint();
    return ColourResult(old);
}

LRESULT CTextProgressCtrl::OnSetRange(WPARAM, LPARAM lParam) {
    const auto packed = static_cast<std::uintptr_t>(lParam);
    return OnSetRange32(LOWORD(packed), HIWORD(packed));
}

LRESULT CTextProgressCtrl::OnSetPos(WPARAM wParam, LPARAM) {
    return SetPosition(static_cast<int>(wParam));
}

LRESULT CTextProgressCtrl::OnDeltaPos(WPARAM wParam, LPARAM) {
    return SetPosition(static_cast<long long>(m_nPosition) + static_cast<int>(wParam));
}

LRESULT CTextProgressCtrl::OnSetStep(WPARAM wParam, LPARAM) {
    const int old = m_nStep;
    m_nStep = static_cast<int>(wParam);
    return old;
}

// A step past either end wraps round by the amount it overshoots.
LRESULT CTextProgressCtrl::OnStepIt(WPARAM, LPARAM) {
    long long n = static_cast<long long>(m_nPosition) + m_nStep;
    if (n < m_nLower) {
        n = m_nUpper - (m_nLower - n);
    } else if (n > m_nUpper) {
        n = m_nLower + (n - m_nUpper);
    }
    return SetPosition(n);
}

// The range is taken as given: not ordered, the position not moved into it, nothing repainted.
LRESULT CTextProgressCtrl::OnSetRange32(WPARAM wParam, LPARAM lParam) {
    const LRESULT old = static_cast<LRESULT>(((static_cast<DWORD>(m_nUpper) & 0xFFFF) << 16) |
                                             (static_cast<DWORD>(m_nLower) & 0xFFFF));
    m_nLower = static_cast<int>(wParam);
    m_nUpper = static_cast<int>(lParam);
    return old;
}

LRESULT CTextProgressCtrl::OnGetRange(WPARAM wParam, LPARAM lParam) {
    if (auto* range = reinterpret_cast<PBRANGE*>(lParam); range != nullptr) {
        range->iLow = m_nLower;
        range->iHigh = m_nUpper;
    }
    return wParam != 0 ? m_nLower : m_nUpper;
}

LRESULT CTextProgressCtrl::OnGetPos(WPARAM, LPARAM) {
    return m_nPosition;
}

LRESULT CTextProgressCtrl::OnSetBarColor(WPARAM, LPARAM lParam) {
    return SetColour(m_crBar, lParam);
}

LRESULT CTextProgressCtrl::OnSetBkColor(WPARAM, LPARAM lParam) {
    return SetColour(m_crBack, lParam);
}

LRESULT CTextProgressCtrl::OnSetTextColor(WPARAM, LPARAM lParam) {
    return SetColour(m_crText, lParam);
}

LRESULT CTextProgressCtrl::OnSetBarTextColor(WPARAM, LPARAM lParam) {
    return SetColour(m_crBarText, lParam);
}

LRESULT CTextProgressCtrl::OnGetBarColor(WPARAM, LPARAM) {
    return ColourResult(Effective(m_crBar, COLOR_HIGHLIGHT));
}

LRESULT CTextProgressCtrl::OnGetBkColor(WPARAM, LPARAM) {
    return ColourResult(Effective(m_crBack, COLOR_BTNFACE));
}

LRESULT CTextProgressCtrl::OnGetTextColor(WPARAM, LPARAM) {
    return ColourResult(Effective(m_crText, COLOR_WINDOWTEXT));
}

LRESULT CTextProgressCtrl::OnGetBarTextColor(WPARAM, LPARAM) {
    return ColourResult(Effective(m_crBarText, COLOR_WINDOW));
}

LRESULT CTextProgressCtrl::OnShowPercent(WPARAM wParam, LPARAM) {
    const BOOL old = m_bShowPercent;
    m_bShowPercent = static_cast<BOOL>(wParam);
    Repaint();
    return old;
}

LRESULT CTextProgressCtrl::OnSetTextAlign(WPARAM wParam, LPARAM) {
    const int old = m_nTextAlign;
    m_nTextAlign = static_cast<int>(wParam);
    Repaint();
    return old;
}

LRESULT CTextProgressCtrl::OnSetMarqueeSize(WPARAM wParam, LPARAM) {
    m_nMarqueePercent = static_cast<int>(wParam);
    Repaint();
    return static_cast<LRESULT>(wParam);
}

// Starting and stopping both leave the marquee style on and the percentage off; a stopped block
// stays where it was.
LRESULT CTextProgressCtrl::OnSetMarquee(WPARAM wParam, LPARAM lParam) {
    ModifyStyle(0, PBS_MARQUEE, 0);
    m_bShowPercent = 0;
    if (wParam != 0) {
        SetTimer(kMarqueeTimerId, static_cast<UINT>(lParam), nullptr);
    } else {
        KillTimer(kMarqueeTimerId);
    }
    Repaint();
    return static_cast<LRESULT>(wParam);
}

// One marquee step: the block moves one position unit and turns at the lower bound and at
// MarqueeLimit. Through messages to itself, so that clamping and repaint apply as to any caller.
void CTextProgressCtrl::OnTimer(UINT_PTR id) {
    if (id != kMarqueeTimerId) {
        return;
    }
    const auto position = static_cast<int>(SendMessage(PBM_GETPOS));
    if (s_nMarqueeDir == 1 && position >= MarqueeLimit(m_nMarqueePercent, m_nUpper)) {
        s_nMarqueeDir = -1;
    } else if (s_nMarqueeDir == -1 && position <= m_nLower) {
        s_nMarqueeDir = 1;
    }
    const long long next =
        std::clamp<long long>(static_cast<long long>(position) + s_nMarqueeDir, INT_MIN, INT_MAX);
    SendMessage(PBM_SETPOS, static_cast<WPARAM>(static_cast<int>(next)));
}
