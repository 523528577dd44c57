#include "platform/window/Dialog.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi/GdiObjects.h"
#include "platform/gdi/GdiTypes.h"
#include "platform/host/Host.h"

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_templateId(templateId), m_parentHwnd(parent != nullptr ? parent->m_hWnd : kNoWindow) {}

CDialog::~CDialog() {
    // The window goes before the controls the template made, so that they leave it in order.
    DestroyWindow();
}

const DialogTemplate* CDialog::Template() const {
    return FindDialogTemplate(m_templateId);
}

bool CDialog::Create(DialogBaseUnits units) {
    const DialogTemplate* dialogTemplate = Template();
    if (dialogTemplate == nullptr || m_hWnd != kNoWindow) {
        return false;
    }
    CreateParams params;
    params.kind = ControlKind::Dialog;
    params.text = dialogTemplate->caption;
    params.style = dialogTemplate->style;
    params.exStyle = dialogTemplate->exStyle;
    params.placement = MapDialogRect(0, 0, dialogTemplate->cx, dialogTemplate->cy, units);
    CWnd::Create(params, FromHandle(m_parentHwnd));
    m_templateControls.clear();
    for (const DialogItemTemplate& item : dialogTemplate->items) {
        CreateParams child;
        child.kind = item.kind;
        child.text = item.text;
        child.style = item.style;
        child.exStyle = item.exStyle;
        child.placement = MapDialogRect(item.x, item.y, item.cx, item.cy, units);
        child.id = item.id;
        child.icon = item.iconId != 0 ? LoadIcon(item.iconId) : kNoIcon;
        auto control = std::make_unique<CWnd>();
        control->Create(child, this);
        m_templateControls.push_back(std::move(control));
    }
    MakeTemplateFont(*dialogTemplate);
    m_hasSystemMenu = (dialogTemplate->style & WS_SYSMENU) != 0;
    ResetSystemMenu();
    m_ended = false;
    m_endCode = 0;
    return true;
}

void CDialog::MakeTemplateFont(const DialogTemplate& dialogTemplate) {
    if (dialogTemplate.fontFace.empty()) {
        return;
    }
    LOGFONT logFont{};
    // Points to pixels at 96 dots per inch, negative: the character height without leading.
    logFont.lfHeight = -((dialogTemplate.pointSize * 96 + 36) / 72);
    logFont.lfWeight = 400;
    const std::size_t n = std::min(dialogTemplate.fontFace.size(), sizeof logFont.lfFaceName - 1);
    std::memcpy(logFont.lfFaceName, dialogTemplate.fontFace.data(), n);
    m_font = std::make_unique<CFont>();
    m_font->CreateFontIndirect(&logFont);
    SetFont(m_font.get(), 0);
    for (const auto& control : m_templateControls) {
        control->SetFont(m_font.get(), 0);
    }
}

BOOL CDialog::Initialize() {
    m_ended = false;
    CDataExchange dx(this, 0);
    DoDataExchange(&dx);
    return OnInitDialog();
}

BOOL CDialog::OnInitDialog() {
    return 1;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::PreTranslateMessage(MSG*) {
    return 0;
}

void CDialog::OnOK() {
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int result) {
    m_ended = true;
    m_endCode = result;
}

int CDialog::DoModal() {
    return CurrentHost().RunModal(*this);
}

void CDialog::ResetSystemMenu() {
    m_systemMenu.Clear();
    // A modal frame without minimize or maximize boxes: the window can be moved and closed.
    m_systemMenu.AppendMenu(MF_STRING, SC_MOVE, "&Move");
    m_systemMenu.AppendMenu(MF_STRING, SC_CLOSE, "&Close\tAlt+F4");
}

CMenu* CDialog::GetSystemMenu(BOOL revert) {
    if (revert != 0) {
        ResetSystemMenu();
        return nullptr;
    }
    return m_hasSystemMenu ? &m_systemMenu : nullptr;
}

HICON CDialog::SetIcon(HICON icon, BOOL big) {
    return static_cast<HICON>(
        SendMessage(WM_SETICON, big != 0 ? ICON_BIG : ICON_SMALL, static_cast<LPARAM>(icon)));
}

HICON CDialog::GetIcon(BOOL big) const {
    return big != 0 ? State().icon : State().smallIcon;
}

int CDialog::DefaultButtonId() const {
    for (HWND child : GetChildren()) {
        const CWnd* window = FromHandle(child);
        if (window != nullptr && window->GetKind() == ControlKind::Button &&
            (window->GetStyle() & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            return window->GetDlgCtrlID();
        }
    }
    return IDOK;
}

void CDialog::RouteMessage(const MSG& msg) {
    MSG copy = msg;
    if (PreTranslateMessage(&copy) != 0) {
        return;
    }
    if (copy.message == WM_KEYDOWN) {
        HandleDialogKey(copy);
        return;
    }
    DispatchMessage(copy);
}

void CDialog::RouteItem(MessageQueue::Item& item) {
    if (auto* task = std::get_if<MessageQueue::Task>(&item)) {
        (*task)();
    } else {
        RouteMessage(std::get<MSG>(item));
    }
}

void CDialog::HandleDialogKey(const MSG& msg) {
    // The dialog manager's standard keys: Escape cancels, Enter presses the default button.
    if (msg.wParam == VK_ESCAPE) {
        SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    } else if (msg.wParam == VK_RETURN) {
        const int id = DefaultButtonId();
        CWnd* button = GetDlgItem(id);
        if (button == nullptr || button->IsWindowEnabled()) {
            SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                        button != nullptr ? static_cast<LPARAM>(button->m_hWnd) : 0);
        }
    } else if (CWnd* target = FromHandle(msg.hwnd); target != nullptr && target != this) {
        target->SendMessage(msg.message, msg.wParam, msg.lParam);
    }
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return 0;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return 0;
        }
    }
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        SendMessage(WM_CLOSE);
        return 0;
    }
    if (message == WM_CLOSE) {
        // A dialog closes as if Cancel were pressed.
        SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}
