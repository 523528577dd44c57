#pragma once

// Replaces a file's contents so that, wherever the folder allows it, the file on disk is always
// either the old or the new one, whatever happens in between (a crash, a kill, a full disk): the
// new bytes go to a temporary file in the same folder, are flushed to disk, and the temporary
// file is renamed over the old one, keeping the old file's owner and permission bits.
//
// Symbolic links are followed, also a dangling one (its target is created) and chains of them,
// so the link stays and its target gets the bytes; a loop of links fails (ELOOP) and is left as
// it is. Where the rename cannot keep the file as it was (its folder may not be written, or the
// file belongs to someone the new file cannot be given to) the file is rewritten in place and
// flushed instead: not atomic, but saved, where the rename would save nothing or take the file
// from its owner. No temporary file outlives a save or the process (TemporaryFiles.h).
//
// A file that is read-only is never replaced, although the rename alone would allow it: a file
// that cannot be opened for writing, or that carries no write permission bit at all (which even
// the superuser honours here, as Windows honours its read-only attribute), refuses the write.
// A new file gets 0666 less the umask.

#include <string>
#include <string_view>

#include "platform/base/SysResult.h"

// Ok when the file was written. On failure the old file is untouched and the result names the
// step that failed and its errno.
SysResult ReplaceFileAtomically(const std::string& path, std::string_view content);

// True when `path` names an existing file that must not be written: not a regular file, or
// read-only in the sense above.
bool IsReadOnlyFile(const std::string& path);
