#include "platform/window/DataExchange.h"

#include "platform/window/Dialog.h"

void DDX_Control(CDataExchange* dx, int id, CWnd& member) {
    if (dx == nullptr || dx->m_pDlgWnd == nullptr || member.m_hWnd != kNoWindow) {
        return;
    }
    CWnd* control = dx->m_pDlgWnd->GetDlgItem(id);
    if (control != nullptr) {
        member.SubclassWindow(control->m_hWnd);
    }
}
