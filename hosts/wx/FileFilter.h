#pragma once

// The file dialog's filter as the dialog writes it, turned into what wxFileDialog takes.
//
// The caller writes "SDL file (*.SDL) | *.SDL; |VDL file (*.VDL) | *.VDL; |...|All files
// (*.*)|*.*|": display text and pattern alternate, each "|" ends a field, and the blanks around
// a pattern and a trailing ";" belong to it. wxWidgets wants "SDL file (*.SDL)|*.SDL|..." with
// bare patterns; a Linux file system tells case apart where Windows does not, so each pattern is
// offered in upper and lower case as well ("*.SDL;*.sdl").

#include <string>

std::string WildcardFromFilter(const std::string& filter);

// The path the operator chose, with `defaultExt` added when its file name has no extension and
// the path as typed names no existing file (Windows adds it to a typed name that has none).
std::string ApplyDefaultExtension(const std::string& path, const std::string& defaultExt,
                                  bool pathExists);
