#include "station/LabelReprinter.h"

#include "label/LabelFields.h"
#include "platform/codepage/ShownText.h"

LabelReprinter::LabelReprinter(std::string zpl, std::string printer, std::function<void()> wake)
    : m_zpl(std::move(zpl)), m_printer(std::move(printer)), m_wake(std::move(wake)) {}

LabelReprinter::~LabelReprinter() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool LabelReprinter::Print(const BoxRecord& record, const std::string& slot) {
    {
        std::lock_guard lock(m_mutex);
        if (m_busy) {
            return false;
        }
        m_busy = true;
    }
    if (m_thread.joinable()) {
        m_thread.join();  // the last one is done: it said so before it let go of m_busy
    }
    m_thread = std::thread([this, record, slot] { Send(record, slot); });
    return true;
}

std::vector<std::string> LabelReprinter::TakeDone() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_done, {});
}

void LabelReprinter::Send(BoxRecord record, std::string slot) {
    const Result<void> sent = PrintLabel(m_zpl, m_printer, record, slot);
    const std::string box = record.boxId ? "box " + EscapeName(*record.boxId) : "its last box";
    std::string line = EscapeName(slot) + ": " +
                       (sent ? "label of " + box + " printed again"
                             : "label not printed: " + EscapeName(sent.Failure().Describe()));
    {
        std::lock_guard lock(m_mutex);
        m_done.push_back(std::move(line));
        m_busy = false;
    }
    if (m_wake) {
        m_wake();
    }
}
