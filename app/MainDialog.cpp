#include "app/MainDialog.h"

#include <cstdio>

#include "app/AboutDialog.h"
#include "app/Resources.h"
#include "platform/base/Sleep.h"
#include "platform/gdi/GdiTypes.h"
#include "platform/host/Host.h"
#include "platform/host/ModulePath.h"
#include "platform/window/PaintDC.h"
#include "platform/window/StringTable.h"
#include "platform/window/WindowMessages.h"
#include "serial/CommMessages.h"
#include "settings/IniLocation.h"

namespace {

constexpr int kPortCount = 50;
// The dialog waits this long before its first connection.
constexpr DWORD kConnectDelayMs = 500;

const char* const kFileFilter =
    "SDL file (*.SDL) | *.SDL; |VDL file (*.VDL) | *.VDL; |DNL file (*.DNL) | *.DNL; |"
    "All files (*.*)|*.*|";
// OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT
constexpr DWORD kFileDialogFlags = 0x00080006;

// Draws an icon's pixels; the transparent ones leave what lies beneath.
void DrawIcon(CDC& dc, int x, int y, HICON icon) {
    const IconImage* image = FindIcon(icon);
    if (image == nullptr) {
        return;
    }
    for (int row = 0; row < image->height; ++row) {
        for (int col = 0; col < image->width; ++col) {
            const COLORREF colour =
                image->pixels[static_cast<std::size_t>(row) * image->width + col];
            if (colour != kIconTransparent) {
                const RECT pixel{x + col, y + row, x + col + 1, y + row + 1};
                dc.FillSolidRect(pixel, colour);
            }
        }
    }
}

}  // namespace

CMainDialog::CMainDialog(CWnd* parent)
    : CDialog(IDD_STAVEL_OV_DIALOG, parent),
      m_hIcon(LoadIcon(IDR_MAINFRAME)),
      m_control(CDownloadControl::Wiring{*this, m_link, m_ini, m_log, m_progress, m_comboPort,
                                         m_editPath, m_btnBrowse, m_btnStart, m_lampGreen,
                                         m_lampRed, m_download, m_observers}),
      m_protocol(CStbProtocol::Wiring{m_link, m_log, m_progress, m_chkDebug, m_download,
                                      [this](const DownloadEnded& ended) { StopFor(ended); },
                                      m_observers}) {}

CMainDialog::~CMainDialog() {
    // The watch thread must be gone before the members it uses, and no download outlives the
    // dialog that shows it.
    m_link.Close();
    m_download.CloseImage();
    DownloadState::s_bRunning = false;
}

const MessageMap* CMainDialog::GetMessageMap() const {
    static const MessageMapEntry kEntries[] = {
        MapSysCommand<&CMainDialog::OnSysCommand>(),
        MapPaint<&CMainDialog::OnPaint>(),
        MapQueryDragIcon<&CMainDialog::OnQueryDragIcon>(),
        MapCommand<&CMainDialog::OnBrowse>(IDC_BTN_BROWSE, BN_CLICKED),
        MapCommand<&CMainDialog::ConnectSerialPort>(IDC_COMBO_PORT, CBN_SELCHANGE),
        MapCommand<&CMainDialog::OnStartStop>(IDC_BTN_START, BN_CLICKED),
        MapMessage<&CMainDialog::OnCommReceived>(WM_COMM_RECEIVED),
        MapMessage<&CMainDialog::OnCommLost>(WM_COMM_LOST),
        MapTimer<&CMainDialog::OnTimer>(),
    };
    static const MessageMap kMap{CDialog::ThisMessageMap(), kEntries};
    return &kMap;
}

void CMainDialog::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_CHK_DEBUG, m_chkDebug);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    DDX_Control(pDX, IDC_EDIT_PATH, m_editPath);
    DDX_Control(pDX, IDC_LOG, m_log);
    DDX_Control(pDX, IDC_COMBO_PORT, m_comboPort);
    DDX_Control(pDX, IDC_LAMP_GREEN, m_lampGreen);
    DDX_Control(pDX, IDC_LAMP_RED, m_lampRed);
    DDX_Control(pDX, IDC_BTN_BROWSE, m_btnBrowse);
    DDX_Control(pDX, IDC_BTN_START, m_btnStart);
}

std::string CMainDialog::IniPath() const {
    return m_iniPath ? *m_iniPath : IniPathBeside(ModuleFileName());
}

BOOL CMainDialog::OnInitDialog() {
    CDialog::OnInitDialog();

    if (CMenu* systemMenu = GetSystemMenu(0)) {
        const std::string about = LoadString(IDS_ABOUTBOX);
        if (!about.empty()) {
            systemMenu->AppendMenu(MF_SEPARATOR, 0, "");
            systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    SetIcon(m_hIcon, 1);
    SetIcon(m_hIcon, 0);

    m_ini.Open(IniPath());
    m_log.AppendText(
        "***************************** Start program *****************************\r\n");

    char title[64];
    // The build date as the compiler writes it: "May 26 2009".
    std::snprintf(title, sizeof title, "Stavel for Orvanta (%s)", __DATE__);
    SetWindowText(title);

    for (int i = 0; i < kPortCount; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "COM%d", i + 1);
        m_comboPort.SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(i),
                                reinterpret_cast<LPARAM>(name));
    }
    m_comboPort.SendMessage(CB_SETCURSEL, 0);
    // Read even when a host chose the port, so that a first start still writes the default.
    int port = m_ini.GetInt("Gerneral", "COM Port Number", 1);
    if (m_startupPort) {
        port = *m_startupPort;
    }
    if (port != 0) {
        // A number outside 1..50 names no entry and leaves the list without a selection.
        m_comboPort.SendMessage(CB_SETCURSEL, static_cast<WPARAM>(port - 1));
    }

    m_download.m_strImagePath = m_ini.GetString("Gerneral", "SdlFileName", "");
    m_editPath.SetWindowText(m_download.m_strImagePath);

    m_progress.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 10000));
    m_progress.SendMessage(PBM_SETPOS, 0);
    m_progress.SetWindowText("");
    m_progress.SendMessage(TPBM_SHOWPERCENT, 0);

    m_chkDebug.SendMessage(BM_SETCHECK, BST_UNCHECKED);

    Sleep(kConnectDelayMs);
    ConnectSerialPort();
    return 1;
}

void CMainDialog::OnBrowse() {
    FileDialogRequest request;
    request.openFileDialog = true;
    request.defaultExt = "File";
    request.fileName = "";
    request.flags = kFileDialogFlags;
    request.filter = kFileFilter;
    const std::optional<std::string> chosen = CurrentHost().OpenFileDialog(request);
    if (chosen) {
        ChooseImage(*chosen);
    }
}

bool CMainDialog::ChooseImage(const std::string& path) {
    if (DownloadState::s_bRunning) {
        return false;
    }
    m_download.m_strImagePath = path;
    m_ini.SetString("Gerneral", "SdlFileName", path);
    m_editPath.SetWindowText(path);
    m_log.AppendFormat("SDL Filename = %s\r\n", path.c_str());
    return true;
}

BOOL CMainDialog::PreTranslateMessage(MSG* pMsg) {
    // Escape and Enter would end the dialog; only EXIT and the close box may. The test looks
    // at wParam alone, whatever the message.
    if (pMsg->wParam == VK_ESCAPE || pMsg->wParam == VK_RETURN) {
        return 1;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

void CMainDialog::OnSysCommand(UINT nID, LPARAM) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDialog about;
        about.DoModal();
    } else {
        Default();
    }
}

void CMainDialog::OnPaint() {
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect{};
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
}

HICON CMainDialog::OnQueryDragIcon() {
    return m_hIcon;
}
