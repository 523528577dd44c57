#pragma once

// Replaces a file's contents so that the file on disk is always either the old or the new one,
// whatever happens in between (a crash, a kill, a full disk): the new bytes go to a temporary
// file in the same folder, are flushed to disk, and the temporary file is renamed over the old
// one. A symbolic link is followed, so the link stays and its target is replaced.
//
// A file that is read-only is never replaced, although the rename alone would allow it: a file
// that cannot be opened for writing, or that carries no write permission bit at all (which even
// the superuser honours here, as Windows honours its read-only attribute), refuses the write.
// The new file keeps the old one's permission bits; a new file gets 0666 less the umask.

#include <string>
#include <string_view>

// True when the file was replaced. On failure the old file is untouched and `errorNumber`
// (when given) holds the errno of the step that failed.
bool ReplaceFileAtomically(const std::string& path, std::string_view content,
                           int* errorNumber = nullptr);

// True when `path` names an existing file that must not be written: not a regular file, or
// read-only in the sense above.
bool IsReadOnlyFile(const std::string& path);
