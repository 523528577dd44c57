#pragma once

// Message maps: a class lists the messages it handles in a static table, one entry per message,
// each naming a member function. CWnd::WindowProc looks a message up in the most derived class's
// table (and the tables it chains to) and otherwise gives it the standard handling, Default().
//
// A class declares its table by overriding GetMessageMap:
//
//   const MessageMap* CMyDialog::GetMessageMap() const {
//       static const MessageMapEntry kEntries[] = {
//           MapCommand<&CMyDialog::OnBrowse>(1004, BN_CLICKED),
//           MapMessage<&CMyDialog::OnCommReceived>(WM_USER + 1),
//       };
//       static const MessageMap kMap{CDialog::ThisMessageMap(), kEntries};
//       return &kMap;
//   }
//
// The helpers below make an entry from a member function whose shape fits the message; a
// handler of the wrong shape does not compile.

#include <span>

#include "platform/base/Win32Types.h"
#include "platform/window/Icon.h"
#include "platform/window/WindowMessages.h"

class CWnd;
class CDC;

// Turns the message's parameters into the handler's arguments and its result into LRESULT.
using MessageThunk = LRESULT (*)(CWnd& self, WPARAM wParam, LPARAM lParam);

struct MessageMapEntry {
    UINT message = 0;
    UINT code = 0;  // WM_COMMAND: the notification code (high word of wParam)
    UINT id = 0;    // WM_COMMAND: the control id (low word of wParam)
    MessageThunk thunk = nullptr;
};

struct MessageMap {
    const MessageMap* base = nullptr;  // searched when this table has no entry
    std::span<const MessageMapEntry> entries;

    // The entry that handles the message, searching the chain; null when none does.
    const MessageMapEntry* Find(UINT message, WPARAM wParam) const;
};

namespace message_map_detail {

template <class F>
struct MemberOf;
template <class C, class R, class... A>
struct MemberOf<R (C::*)(A...)> {
    using type = C;
};

template <auto F>
using Owner = typename MemberOf<decltype(F)>::type;

}  // namespace message_map_detail

// WM_COMMAND from control `id` with notification `code`: void ().
template <auto F>
MessageMapEntry MapCommand(UINT id, UINT code = BN_CLICKED) {
    using C = message_map_detail::Owner<F>;
    return {WM_COMMAND, code, id, [](CWnd& self, WPARAM, LPARAM) -> LRESULT {
                (static_cast<C&>(self).*F)();
                return 0;
            }};
}

// Any message, with its parameters and result as they are: LRESULT (WPARAM, LPARAM).
template <auto F>
MessageMapEntry MapMessage(UINT message) {
    using C = message_map_detail::Owner<F>;
    return {message, 0, 0, [](CWnd& self, WPARAM wParam, LPARAM lParam) -> LRESULT {
                return (static_cast<C&>(self).*F)(wParam, lParam);
            }};
}

// WM_SYSCOMMAND: void (UINT nID, LPARAM).
template <auto F>
MessageMapEntry MapSysCommand() {
    using C = message_map_detail::Owner<F>;
    return {WM_SYSCOMMAND, 0, 0, [](CWnd& self, WPARAM wParam, LPARAM lParam) -> LRESULT {
                (static_cast<C&>(self).*F)(static_cast<UINT>(wParam), lParam);
                return 0;
            }};
}

// WM_PAINT: void ().
template <auto F>
MessageMapEntry MapPaint() {
    using C = message_map_detail::Owner<F>;
    return {WM_PAINT, 0, 0, [](CWnd& self, WPARAM, LPARAM) -> LRESULT {
                (static_cast<C&>(self).*F)();
                return 0;
            }};
}

// WM_QUERYDRAGICON: HICON ().
template <auto F>
MessageMapEntry MapQueryDragIcon() {
    using C = message_map_detail::Owner<F>;
    return {WM_QUERYDRAGICON, 0, 0, [](CWnd& self, WPARAM, LPARAM) -> LRESULT {
                return static_cast<LRESULT>((static_cast<C&>(self).*F)());
            }};
}

// WM_ERASEBKGND: BOOL (CDC*). wParam carries the CDC*.
template <auto F>
MessageMapEntry MapEraseBkgnd() {
    using C = message_map_detail::Owner<F>;
    return {WM_ERASEBKGND, 0, 0, [](CWnd& self, WPARAM wParam, LPARAM) -> LRESULT {
                return (static_cast<C&>(self).*F)(reinterpret_cast<CDC*>(wParam));
            }};
}

// WM_TIMER: void (UINT_PTR nIDEvent).
template <auto F>
MessageMapEntry MapTimer() {
    using C = message_map_detail::Owner<F>;
    return {WM_TIMER, 0, 0, [](CWnd& self, WPARAM wParam, LPARAM) -> LRESULT {
                (static_cast<C&>(self).*F)(static_cast<UINT_PTR>(wParam));
                return 0;
            }};
}
