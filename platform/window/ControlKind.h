#pragma once

// What a window is, which decides its standard answers to messages (a check box keeps a check
// state, a combo box a list, a rich edit a text with a selection). Hosts use it to pick the
// widget that shows the window.
enum class ControlKind {
    Button,
    CheckBox,
    ComboBox,
    Edit,
    Static,
    StaticIcon,
    RichEdit,
    Progress,
    Dialog,
};
