#include "controls/MemDC.h"

CMemDC::CMemDC(CDC* pDC) : m_pTargetDC(pDC) {
    m_bBuffered = pDC->IsPrinting() ? 0 : 1;
    pDC->GetClipBox(&m_rcArea);
    if (m_bBuffered) {
        SetUpBuffer();
    } else {
        m_bPrinting = pDC->m_bPrinting;
        m_hDC = pDC->m_hDC;
        m_hAttribDC = pDC->m_hAttribDC;
        // Nothing was saved to clear with; the target's own background is the colour that
        // leaves a printed page as it would have looked.
        m_crSavedBk = pDC->GetBkColor();
    }
    FillSolidRect(m_rcArea, m_crSavedBk);
}

void CMemDC::SetUpBuffer() {
    CreateCompatibleDC(m_pTargetDC);
    m_pTargetDC->LPtoDP(&m_rcArea);
    m_bmBuffer.CreateCompatibleBitmap(m_pTargetDC, m_rcArea.right - m_rcArea.left,
                                      m_rcArea.bottom - m_rcArea.top);
    m_pSavedBitmap = SelectObject(&m_bmBuffer);
    SetMapMode(m_pTargetDC->GetMapMode());
    SetWindowExt(m_pTargetDC->GetWindowExt());
    SetViewportExt(m_pTargetDC->GetViewportExt());
    m_pTargetDC->DPtoLP(&m_rcArea);
    SaveState();
    // The bitmap's top-left pixel is the clip box's top-left corner, so the caller can keep
    // drawing in the target's coordinates.
    m_ptSavedOrg = SetWindowOrg(m_rcArea.left, m_rcArea.top);
}

void CMemDC::SaveState() {
    m_pSavedBrush = static_cast<CBrush*>(GetCurrentObject(OBJ_BRUSH));
    m_pSavedFont = static_cast<CFont*>(GetCurrentObject(OBJ_FONT));
    m_crSavedBk = GetBkColor();
    m_crSavedText = GetTextColor();
    m_pSavedPen = static_cast<CPen*>(GetCurrentObject(OBJ_PEN));
    m_nSavedBkMode = GetBkMode();
}

CMemDC::~CMemDC() {
    if (m_bBuffered) {
        CopyToTargetAndRestore();
    } else {
        // The handles are the target's: let go of them before the base could free them.
        m_hDC = nullptr;
        m_hAttribDC = nullptr;
    }
    m_bmBuffer.DeleteObject();
}

void CMemDC::CopyToTargetAndRestore() {
    m_pTargetDC->BitBlt(m_rcArea.left, m_rcArea.top, m_rcArea.right - m_rcArea.left,
                        m_rcArea.bottom - m_rcArea.top, this, m_rcArea.left, m_rcArea.top, SRCCOPY);
    SelectObject(m_pSavedBitmap);
    SelectObject(m_pSavedBrush);
    SelectObject(m_pSavedFont);
    SetBkColor(m_crSavedBk);
    SetTextColor(m_crSavedText);
    SelectObject(m_pSavedPen);
    SetBkMode(m_nSavedBkMode);
    SetWindowOrg(m_ptSavedOrg);
}
