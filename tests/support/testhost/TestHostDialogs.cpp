// Running dialogs on the test host: step by step, or modally with a driver.

#include <algorithm>

#include "tests/support/testhost/TestHost.h"
#include "tests/support/uiqueue/UiPump.h"

bool TestHost::Start(CDialog& dialog, DialogBaseUnits units) {
    MarkUiThread();
    if (!dialog.Create(units)) {
        return false;
    }
    m_running.push_back(dialog.m_hWnd);
    dialog.Initialize();
    return true;
}

void TestHost::RunItem(MessageQueue::Item& item) {
    // The innermost running dialog whose window still exists sees messages first, as its modal
    // loop would.
    CDialog* dialog = nullptr;
    for (HWND hwnd : m_running) {
        if (auto* running = dynamic_cast<CDialog*>(CWnd::FromHandle(hwnd))) {
            dialog = running;
        }
    }
    if (dialog != nullptr) {
        dialog->RouteItem(item);
    } else if (auto* task = std::get_if<MessageQueue::Task>(&item)) {
        (*task)();
    } else {
        DispatchMessage(std::get<MSG>(item));
    }
}

int TestHost::Pump() {
    int count = 0;
    while (auto item = MessageQueue::Ui().TryTake()) {
        RunItem(*item);
        ++count;
    }
    return count;
}

bool TestHost::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return PumpUiQueue([this](MessageQueue::Item& item) { RunItem(item); }, done, limit);
}

int TestHost::RunModal(CDialog& dialog) {
    if (!Start(dialog)) {
        return -1;
    }
    const HWND hwnd = dialog.m_hWnd;
    while (!dialog.HasEnded()) {
        Pump();
        if (dialog.HasEnded()) {
            break;
        }
        if (!m_driver || !m_driver(dialog)) {
            dialog.EndDialog(IDCANCEL);
        }
    }
    std::erase(m_running, hwnd);
    const int code = dialog.EndCode();
    // A modal dialog's window goes when its run ends; its object lives on with the caller.
    dialog.DestroyWindow();
    return code;
}
