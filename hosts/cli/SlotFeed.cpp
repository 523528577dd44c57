#include "hosts/cli/SlotFeed.h"

#include <cstdio>

#include "platform/window/Wnd.h"

SlotFeed::SlotFeed(std::function<void(const SlotStatus&)> publish) : m_publish(std::move(publish)) {
    Publish();
}

void SlotFeed::Waiting() {
    m_status.state = SlotStatus::State::Waiting;
    m_status.percent = 0;
    m_status.rate = 0;
    m_status.etaSeconds.reset();
    m_rate.Restart();
    Publish();
}

void SlotFeed::Ended(bool pass) {
    m_status.state = pass ? SlotStatus::State::Passed : SlotStatus::State::Failed;
    ++(pass ? m_status.passes : m_status.fails);
    m_status.etaSeconds.reset();
    Publish();
}

void SlotFeed::OnTextChanged(CWnd& bar) {
    long long done = 0;
    long long size = 0;
    if (std::sscanf(bar.GetWindowText().c_str(), "( %lld / %lld ) Bytes", &done, &size) != 2 ||
        done <= 0 ||
        (m_status.state != SlotStatus::State::Waiting &&
         m_status.state != SlotStatus::State::Serving)) {
        return;  // cleared, the count START shows, or a box already judged
    }
    const long long received = size > 0 && done > size ? size : done;
    m_rate.OnRequest(received, TransferRate::Clock::now());
    m_status.state = SlotStatus::State::Serving;
    m_status.percent = size > 0 ? static_cast<int>(received * 100 / size) : 100;
    m_status.rate = m_rate.BytesPerSecond();
    if (m_status.rate > 0) {
        m_status.etaSeconds = static_cast<double>(size - received) / m_status.rate;
    } else {
        m_status.etaSeconds.reset();
    }
    Publish();
}
