#pragma once

// Icons 128 (application), 130 (red lamp) and 131 (green lamp).
void RegisterIcons();
