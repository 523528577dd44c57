#pragma once

// The application's icons (pixels registered by the application, Icon.h) as wx bitmaps.
//
// Threading rules: UI thread only.

#include <wx/bitmap.h>
#include <wx/iconbndl.h>

#include "platform/window/Icon.h"

// The icon's pixels, transparent where the icon is; an empty bitmap for kNoIcon. A `size` other
// than the icon's own scales it smoothly.
wxBitmap BitmapFromIcon(HICON icon, int size = 0);
// The window icons: the icon at its own size and at 16 x 16 for title bars and task lists.
wxIconBundle IconBundleFrom(HICON icon);
