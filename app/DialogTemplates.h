#pragma once

// Templates 100 (About box) and 102 (main dialog), in dialog units.
void RegisterDialogTemplates();
