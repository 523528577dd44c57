#include "serial/ThreadWatchComm.h"

#include "platform/base/Sleep.h"
#include "platform/host/MessageQueue.h"
#include "serial/SerialLink.h"

namespace {

constexpr DWORD kReadChunk = 2048;

// Stores the chunk only when all of it fits: a frame split between kept and dropped bytes
// would be worse than a dropped read the operator is told about.
void StoreWhole(CSerialLink* link, const BYTE* chunk, DWORD n) {
    const int room = RING_BUFFER_SIZE - link->m_rxRing.GetCount();
    if (room > static_cast<int>(n)) {
        for (DWORD i = 0; i < n; ++i) {
            link->m_rxRing.PutByte(chunk[i]);
        }
        return;
    }
    link->m_droppedBytes += n;
    link->m_watchBox.Show("buff full", MB_OK);
}

// Reads until the driver is empty, then one notification for the whole drain, also when every
// read was dropped or none returned anything. A Close under way ends the drain early: the bytes
// left are about to be purged anyway, and a device that keeps sending must not hold Close up.
void Drain(CSerialLink* link) {
    BYTE chunk[kReadChunk];
    for (;;) {
        const DWORD n = link->Read(chunk, kReadChunk);
        if (n == 0) {
            break;
        }
        StoreWhole(link, chunk, n);
        if (link->m_bOpen.load() == 0) {
            break;
        }
    }
    PostMessage(link->m_hOwnerWnd.load(), link->m_uRxMessage, 0, 0);
}

// The device has gone: whatever it sent before is handed on, then the owner hears of the loss
// once, and the link stops counting as open so writes fail at once. An owner already closing
// the link needs no news.
void ReportLoss(CSerialLink* link, const SysResult& why) {
    if (link->m_hPort->BytesWaiting().count > 0) {
        Drain(link);
    }
    if (link->m_bOpen.exchange(0) != 0) {
        link->NoteLoss(why);
        PostMessage(link->m_hOwnerWnd.load(), link->m_uLostMessage, 0, 0);
    }
}

}  // namespace

DWORD ThreadWatchComm(CSerialLink* link) {
    if (!link->m_hPort || !link->m_ovRead) {
        link->m_watchBox.Show("Error while creating ThreadWatchComm, " + link->m_strPortName,
                              MB_OK);
        return 0;
    }
    while (link->m_bOpen.load() != 0) {
        const SysResult waited = link->m_hPort->WaitReadable(*link->m_ovRead);
        if (waited.Ok()) {
            Drain(link);
        } else if (waited.status == SysStatus::Lost || waited.status == SysStatus::Failed) {
            // A wait that fails outright would fail again at once: treat it as a lost port
            // rather than spin.
            ReportLoss(link, waited);
            break;
        }
        Sleep(0);
    }
    return 1;
}
