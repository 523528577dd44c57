#pragma once

// The files of a box whose slot's process could not close them: the process was killed (the
// station's watchdog, a signal), or its station was, and the box's record is made elsewhere. The
// box's hidden log and capture (".A1.4711.partial.log", ".A1.4711.partial.cap") are closed as the
// slot closes a failed box's files, under the names BoxLogDir and BoxCaptureDir give, marked
// ".incomplete" since what the killed process had not yet written is lost: a file named with a
// plain verdict stays a complete one. A file that holds nothing to read is removed.
//
// Threading rules: none; plain functions on files no process writes any more.

#include <optional>
#include <string>

#include "download/SessionEvents.h"
#include "record/BoxRecord.h"

// Whether `path` names a box's hidden log or capture file as a slot's process writes it
// (".A1.4711.partial.log"): a path read from elsewhere is renamed or removed only then.
bool IsHiddenBoxFile(const std::string& path);

// The log at `partial` ends with `verdictLine` on a line of its own (with its UTC time when
// `stamps`), and is named "<slot>_<start>_FAIL.incomplete.log" beside it. Answers its new path;
// nothing when there was no file, or an empty one (removed).
std::optional<std::string> CloseKilledBoxLog(const std::string& partial, const BoxRecord& record,
                                             const std::string& verdictLine, bool stamps);

// The capture at `partial` is cut to its last whole entry, ends with the closing event of
// `ended` carrying `record`, and is named "<slot>_<start>_FAIL.incomplete.cap" beside it.
// Answers its new path; nothing when there was no file, or one that is no capture (removed).
std::optional<std::string> CloseKilledBoxCapture(const std::string& partial,
                                                 const BoxRecord& record,
                                                 const DownloadEnded& ended);

// The hidden files of a slot's process that had no box in hand: nothing in them is any box's.
void RemoveHiddenBoxFile(const std::string& path);
