#include "tests/app/DialogRig.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/Resources.h"
#include "platform/ports/PortMap.h"
#include "platform/window/OperatorInput.h"

DialogRig::DialogRig() : box(std::make_unique<Pty>()) {
    RegisterResources();
    m_folder = m_dir.Path();
    for (int n = 1; n <= 4; ++n) {
        SetPortOverride(n, m_folder + "/no-such-tty" + std::to_string(n));
    }
    SetPortOverride(kBoxPort, box->SlavePath());
    MessageQueue::Ui().Clear();
}

DialogRig::~DialogRig() {
    dialog.reset();
    ClearPortOverrides();
    MessageQueue::Ui().Clear();
}

void DialogRig::WriteIni(const std::string& content) {
    WriteBytes(m_folder + "/Stavel_OV.ini", content);
}

std::string DialogRig::ReadIni() const {
    return ReadBytes(m_folder + "/Stavel_OV.ini");
}

CMainDialog& DialogRig::Start() {
    dialog = std::make_unique<CMainDialog>();
    dialog->SetIniPath(m_folder + "/Stavel_OV.ini");
    EXPECT_TRUE(host.Start(*dialog));
    return *dialog;
}

void DialogRig::ChoosePort(int number) {
    ChooseComboEntry(dialog->m_comboPort, number - 1);
}

void DialogRig::ClickStart() {
    ClickButton(dialog->m_btnStart);
}

std::string DialogRig::MakeImage(const std::string& name, std::size_t size) {
    const std::string path = m_folder + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) {
        out.put(static_cast<char>(i * 7 + 3));
    }
    return path;
}

std::vector<std::uint8_t> DialogRig::BoxAsks(const std::vector<std::uint8_t>& request,
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
