#pragma once

// Dialog templates as data. The application registers each template by id at start-up; every
// host builds its windows from the same table, so the dialog looks alike everywhere and tests see
// the controls the operator sees. Sizes are in dialog units, as templates are written.

#include <string>
#include <vector>

#include "platform/base/Win32Types.h"
#include "platform/window/ControlKind.h"
#include "platform/window/WindowPlacement.h"

struct DialogItemTemplate {
    int id = 0;  // -1 for a control nobody addresses
    ControlKind kind = ControlKind::Static;
    std::string text;
    int iconId = 0;  // for ControlKind::StaticIcon
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
};

struct DialogTemplate {
    UINT id = 0;
    std::string caption;
    short cx = 0, cy = 0;
    std::string fontFace;
    int pointSize = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::vector<DialogItemTemplate> items;  // in tab order
};

// Replaces any template registered under the same id.
void RegisterDialogTemplate(DialogTemplate dialogTemplate);
// The template, or null when none has that id. The pointer stays valid until the same id is
// registered again.
const DialogTemplate* FindDialogTemplate(UINT id);

// The average character size of the dialog's font, in pixels. A dialog unit is a quarter of the
// width and an eighth of the height. The defaults are those of MS Sans Serif 8 point; a host with
// a real font passes its own.
struct DialogBaseUnits {
    int cx = 6;
    int cy = 13;
};

// Converts a rectangle in dialog units to pixels, like MapDialogRect.
WindowPlacement MapDialogRect(int x, int y, int cx, int cy, DialogBaseUnits units = {});
