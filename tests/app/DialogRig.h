#pragma once

// The main dialog as the operator meets it, on the test host: its settings in a fresh temporary
// folder, COM1..COM4 mapped to devices that do not exist, and COM5 to a pseudo-terminal whose
// master plays the box.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MainDialog.h"
#include "app/Resources.h"
#include "platform/ports/PortMap.h"
#include "platform/window/OperatorInput.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/pty/Pty.h"
#include "tests/support/testhost/TestHost.h"

inline const std::string kBanner =
    "***************************** Start program *****************************\r\n";

class DialogRig {
  public:
    static constexpr int kBoxPort = 5;

    DialogRig() : box(std::make_unique<Pty>()) {
        RegisterResources();
        for (int n = 1; n <= 4; ++n) {
            SetPortOverride(n, Folder() + "/no-such-tty" + std::to_string(n));
        }
        SetPortOverride(kBoxPort, box->SlavePath());
        MessageQueue::Ui().Clear();
    }
    ~DialogRig() {
        dialog.reset();
        ClearPortOverrides();
        MessageQueue::Ui().Clear();
    }

    // The settings file, written before the dialog starts.
    void WriteIni(const std::string& content) { WriteBytes(m_dir.File("Stavel_OV.ini"), content); }
    std::string ReadIni() const { return ReadBytes(m_dir.File("Stavel_OV.ini")); }
    // Makes the dialog and runs its start-up (with its half-second wait and first connection).
    CMainDialog& Start() {
        dialog = std::make_unique<CMainDialog>();
        dialog->SetIniPath(m_dir.File("Stavel_OV.ini"));
        EXPECT_TRUE(host.Start(*dialog));
        return *dialog;
    }
    // Chooses COM<number> in the port list, as the operator does.
    void ChoosePort(int number) { ChooseComboEntry(dialog->m_comboPort, number - 1); }
    void ClickStart() { ClickButton(dialog->m_btnStart); }
    // A file of `size` bytes (byte i is i * 7 + 3) in the temporary folder.
    std::string MakeImage(const std::string& name, std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>(i * 7 + 3);
        }
        WriteBytes(m_dir.File(name), bytes);
        return m_dir.File(name);
    }
    const std::string& Folder() const { return m_dir.Path(); }
    std::string Log() const { return dialog->m_log.Text(); }
    bool GreenLampShown() const { return dialog->m_lampGreen.IsWindowVisible(); }
    bool RedLampShown() const { return dialog->m_lampRed.IsWindowVisible(); }
    // The box sends `request` and reads `answerLength` bytes of answer, while the dialog serves.
    std::vector<std::uint8_t> BoxAsks(const std::vector<std::uint8_t>& request,
                                      std::size_t answerLength) {
        EXPECT_TRUE(box->WriteAll(request));
        std::vector<std::uint8_t> answer;
        host.PumpUntil([&] {
            const std::vector<std::uint8_t> more = box->ReadAvailable();
            answer.insert(answer.end(), more.begin(), more.end());
            return answer.size() >= answerLength;
        });
        return answer;
    }
    // Pumps the UI queue until `done`, waiting for the watch thread.
    bool PumpUntil(const std::function<bool()>& done) { return host.PumpUntil(done); }

    TempDir m_dir;  // first: the ports below name devices in it
    TestHost host;
    std::unique_ptr<Pty> box;
    std::unique_ptr<CMainDialog> dialog;
};
