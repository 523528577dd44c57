#pragma once

// The one road from other threads to the UI thread: CallOnUiThread hands work to wx's own
// thread-safe event queue (wxApp::CallAfter). That queue is served by every event loop,
// including the nested ones of a message box, the file dialog or the About box, so work handed
// over while one of those is open still runs; a second queue of our own would wait until the
// modal loop ended. The UI queue's notifier (MessageQueue.h) uses this road to wake the loop.
//
// The gate closes before the application object goes: work handed over after that, or still
// waiting when it closed, is dropped instead of running against a torn-down window.
//
// Threading rules: CallOnUiThread from any thread; OpenUiCalls and CloseUiCalls on the UI thread.

#include <functional>

void OpenUiCalls();
void CloseUiCalls();
// Answers false when the gate is closed and the work was dropped.
bool CallOnUiThread(std::function<void()> work);
