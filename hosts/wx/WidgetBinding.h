#pragma once

// One wx widget bound to one model window. The model is the truth: the binding observes the
// window and brings the widget into line with every change (text, enabled, visible, place, and
// what the kind adds); the widget's events go back to the model as the operator's input
// (OperatorInput.h), after which the host ends the modal run if the input ended the dialog.
//
// The model window is looked up by handle at every use: binding the dialog's members moves the
// window's state, observers included, to another object while the handle stays.
//
// Threading rules: UI thread only.

#include <wx/window.h>

#include "hosts/wx/WxHost.h"
#include "platform/window/WindowObserver.h"
#include "platform/window/Wnd.h"

class WidgetBinding : public WindowObserver {
  public:
    WidgetBinding(CWnd& model, wxWindow* widget);
    ~WidgetBinding() override;

    HWND Handle() const { return m_hwnd; }
    wxWindow* Widget() const { return m_widget; }
    // The model window, or null once it has gone.
    CWnd* Model() const { return CWnd::FromHandle(m_hwnd); }
    // Brings the whole widget into line with the model.
    virtual void Sync(CWnd& model);

    void OnEnabledChanged(CWnd& model) override;
    void OnVisibleChanged(CWnd& model) override;
    void OnPlacementChanged(CWnd& model) override;
    void OnDestroyed(CWnd&) override { m_hwnd = kNoWindow; }

  protected:
    // Runs the operator's input against the model, then lets the host end a finished dialog.
    template <class Input>
    void Operate(Input input) {
        if (CWnd* model = Model()) {
            input(*model);
        }
        WxHost::AfterInput();
    }

  private:
    HWND m_hwnd;
    wxWindow* m_widget;
};
