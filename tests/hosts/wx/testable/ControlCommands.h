#pragma once

// The verbs of the test-only control channel (ControlChannel.h). Each acts on the innermost
// running dialog through its widgets, the way the operator's input arrives:
//   click ID          the button or check box with that control id is clicked
//   choose ID INDEX   entry INDEX of the combo box is chosen
//   key VK            a key press (27 Escape, 13 Enter) reaches the dialog's key hook
//   close             the close box
//   sysmenu CMD       the window-menu item with command CMD (16: About)
//   menu              the window menu's items, separators as "-", joined by "|"
//   file PATH         the next file dialog picks PATH once it is open
//   state             what the windows show, as "key=value" fields joined by "\t"
//   log               the text the log view shows (in the code set in force)
//   logshown          the same in UTF-8
//   logmenu           the log's menu items, separators as "-", joined by "|"
//   logfont           "fixed FACE" or "proportional FACE": the log's font
//   places            the client area's place and size, and each control's ("ID=x,y,w,h")
//   resize W H        the client area made W x H;  move X Y  the window moved there
//   drop PATH         PATH dropped on the window as a file: "ok taken" or "ok refused"
//   ctrlkey L         Ctrl+L pressed (S: Save Log As)
//   msgbox [ok]       the open message box: "WIDTH HEIGHT TITLEWIDTH TITLE TEXT"; "ok" presses OK
//   screenshot PATH   a PNG of the innermost dialog's client area; answers its size, the base
//                     units and the progress bar's position and place at that moment
//
// Threading rules: UI thread only.

#include <string>

// Runs one command line ("<tag> <verb> [arguments]") and answers its answer line.
std::string RunControlCommand(const std::string& line);
