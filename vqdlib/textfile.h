// Plain 8-bit text files.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// A file made new by this run: the file at path (or a hard link another user
// planted there) is deleted first, then the name is created with CREATE_NEW. Nothing is written through a link: a
// symbolic link or junction at the name is left alone and, like a name taken
// again in between or one that cannot be deleted (read-only, open, a
// folder), makes the creation fail. shareMode: what others may do meanwhile.
plat::FileHandle CreateFileAnew(const std::string& path, plat::Access access,
                                uint32_t shareMode = plat::kFileShareRead | plat::kFileShareWrite);
// DeleteFileA of the name unless a symbolic link or junction is there (Wine's
// DeleteFileA deletes what a symbolic link points to); false when not deleted.
bool DeleteFileUnlessLink(const std::string& path);

// Opens a file for reading as text; false when it cannot be opened.
// Reading stops at a read failure, keeping the lines read so far.
bool ReadTextLines(const std::string& path, std::vector<std::string>* lines);

// Creates (or replaces, as CreateFileAnew) a file for writing text. Raises InstallerError when
// it cannot be created.
plat::FileHandle CreateTextFile(const std::string& path);

// Writes the lines, each ended by CR LF, into a file of CreateTextFile and
// closes it. Raises InstallerError when writing or closing fails (the file is
// closed all the same); path names the file in the error.
void WriteTextLines(plat::FileHandle file, const std::string& path, const std::vector<std::string>& lines);
