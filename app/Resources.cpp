#include "app/Resources.h"

#include "app/DialogTemplates.h"
#include "app/Icons.h"
#include "platform/window/StringTable.h"

void RegisterResources() {
    RegisterDialogTemplates();
    RegisterIcons();
    RegisterString(IDS_ABOUTBOX, "&About Stavel_OV...");
    RegisterString(IDP_SOCKETS_INIT_FAILED, "Windows sockets initialization failed.");
}
