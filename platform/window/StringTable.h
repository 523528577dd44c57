#pragma once

// The application's string resources, registered by id at start-up.

#include <string>

#include "platform/base/Win32Types.h"

void RegisterString(UINT id, std::string text);
// The text of string `id`, or an empty text when there is none (as a failed load leaves it).
std::string LoadString(UINT id);
