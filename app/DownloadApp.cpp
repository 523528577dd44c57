#include "app/DownloadApp.h"

#include "app/MainDialog.h"
#include "app/Resources.h"
#include "platform/host/Host.h"
#include "platform/window/StringTable.h"

namespace {

// POSIX sockets need no start-up, so the layer is always ready here. The check stays so the
// start-up keeps its order and its failure path should a platform ever need one.
bool SocketLayerReady() {
    return true;
}

}  // namespace

CDownloadApp::CDownloadApp() {
    RegisterResources();
}

BOOL CDownloadApp::InitInstance() {
    if (!SocketLayerReady()) {
        AfxMessageBox(LoadString(IDP_SOCKETS_INIT_FAILED));
        return 0;
    }
    // Embedded controls, the rich-edit library and 3-D drawing need no preparation: every host
    // builds its controls itself.
    CMainDialog dialog;
    m_pMainWnd = &dialog;
    if (m_setup) {
        m_setup(dialog);
    }
    // EXIT and the close box are alike here.
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return 0;
}
