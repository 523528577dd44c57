#pragma once

// The widget that shows a model window of a given kind, bound to it.
//
// Threading rules: UI thread only.

#include <memory>

#include "hosts/wx/WidgetBinding.h"

std::unique_ptr<WidgetBinding> MakeBoundWidget(CWnd& model, wxWindow* parent);
