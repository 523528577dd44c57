#include "hosts/wx/WidgetFactory.h"

#include "hosts/wx/ButtonBinding.h"
#include "hosts/wx/ComboBinding.h"
#include "hosts/wx/EditBinding.h"
#include "hosts/wx/LogView.h"
#include "hosts/wx/ProgressPanel.h"
#include "hosts/wx/StaticBinding.h"

std::unique_ptr<WidgetBinding> MakeBoundWidget(CWnd& model, wxWindow* parent) {
    switch (model.GetKind()) {
        case ControlKind::Button:
        case ControlKind::CheckBox:
            return std::make_unique<ButtonBinding>(model, parent);
        case ControlKind::ComboBox:
            return std::make_unique<ComboBinding>(model, parent);
        case ControlKind::Edit:
            return std::make_unique<EditBinding>(model, parent);
        case ControlKind::RichEdit:
            return std::make_unique<LogView>(model, parent);
        case ControlKind::Progress:
            return std::make_unique<ProgressPanel>(model, parent);
        case ControlKind::Static:
        case ControlKind::StaticIcon:
        case ControlKind::Dialog:
            break;
    }
    return std::make_unique<StaticBinding>(model, parent);
}
