#pragma once

// The About box: icon, name and version, OK. Everything it does is the base dialog's.

#include "app/Resources.h"
#include "platform/window/Dialog.h"

class CAboutDialog : public CDialog {
  public:
    CAboutDialog() : CDialog(IDD_ABOUTBOX) {}

  protected:
    void DoDataExchange(CDataExchange*) override {}
};
