#pragma once

// Binding a dialog's members to the controls its template made.

#include "platform/base/Win32Types.h"

class CDialog;
class CWnd;

class CDataExchange {
  public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Makes `member` take over the dialog's control `id` (its handle, state and place), so that the
// member's WindowProc runs for it from then on. A member already bound, or an id the dialog does
// not have, leaves everything as it was.
void DDX_Control(CDataExchange* dx, int id, CWnd& member);
