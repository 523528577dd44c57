#pragma once

// A device context that stands in for a target context during one paint. Over a screen target
// everything drawn goes to an off-screen bitmap the size of the target's clip box and reaches the
// target in one copy when the object goes, so the screen never shows a half-drawn state. Over a
// printing target nothing is buffered: drawing goes straight through and the target's context is
// never copied or deleted.
//
// Use it on the stack for the span of one paint; the target must outlive it. Drawing uses the
// target's logical coordinates. UI thread only.

#include "platform/gdi/DC.h"
#include "platform/gdi/GdiObjects.h"

class CMemDC : public CDC {
  public:
    explicit CMemDC(CDC* pDC);
    ~CMemDC() override;

  private:
    void SetUpBuffer();
    void SaveState();
    void CopyToTargetAndRestore();

    BOOL m_bBuffered = 0;
    CBitmap m_bmBuffer;
    CDC* m_pTargetDC = nullptr;
    RECT m_rcArea{};
    CBitmap* m_pSavedBitmap = nullptr;
    CBrush* m_pSavedBrush = nullptr;
    CFont* m_pSavedFont = nullptr;
    COLORREF m_crSavedBk = 0;
    COLORREF m_crSavedText = 0;
    CPen* m_pSavedPen = nullptr;
    POINT m_ptSavedOrg{};
    int m_nSavedBkMode = 0;
};
