#pragma once

// The main dialog as the operator meets it, on the test host: its settings in a fresh temporary
// folder, COM1..COM4 mapped to devices that do not exist, and COM5 to a pseudo-terminal whose
// master plays the box.

#include <memory>
#include <string>
#include <vector>

#include "app/MainDialog.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/pty/Pty.h"
#include "tests/support/testhost/TestHost.h"

class DialogRig {
  public:
    static constexpr int kBoxPort = 5;

    DialogRig();
    ~DialogRig();

    // Writes the settings file before the dialog starts.
    void WriteIni(const std::string& content);
    std::string ReadIni() const;
    // Makes the dialog and runs its start-up (with its half-second wait and first connection).
    CMainDialog& Start();
    // Chooses COM<number> in the port list, as the operator does.
    void ChoosePort(int number);
    void ClickStart();
    // A file of `size` bytes in the temporary folder.
    std::string MakeImage(const std::string& name, std::size_t size);
    std::string Folder() const { return m_folder; }
    std::string Log() const { return dialog->m_log.Text(); }
    bool GreenLampShown() const { return dialog->m_lampGreen.IsWindowVisible(); }
    bool RedLampShown() const { return dialog->m_lampRed.IsWindowVisible(); }
    // The box sends `request` and reads `answerLength` bytes of answer, while the dialog serves.
    std::vector<std::uint8_t> BoxAsks(const std::vector<std::uint8_t>& request,
                                      std::size_t answerLength);
    // Pumps the UI queue until `done`, waiting for the watch thread.
    bool PumpUntil(const std::function<bool()>& done) { return host.PumpUntil(done); }

    TestHost host;
    std::unique_ptr<Pty> box;
    std::unique_ptr<CMainDialog> dialog;

  private:
    TempDir m_dir;
    std::string m_folder;
};
