// The journal of one action: while it records, every change the calls of
// platform.h make to HKEY_LOCAL_MACHINE and to files outside the keep
// directory is written down with what was there before, and undone in
// reverse order when the action fails.
//
//   - a registry value set or deleted: its old type and bytes, or none;
//   - a key created (the first of its path that was not there) or deleted,
//     and a key the registry editor is about to change: its whole tree;
//   - a file created, written, copied over, renamed or deleted: a copy of
//     the old file in the keep directory and its three times, or none;
//   - a setup information file SetupCopyOEMInfA put into the store.
//
// A change whose old state cannot be read or kept is not made: the call
// fails as if the system had refused it.
#pragma once

#include <string>

namespace plat {

// Starts a new journal. keepDir holds the copies of replaced files (the
// run's private temporary directory); without one, no file that is there
// may change.
void JournalBegin(const std::string& keepDir);
// Takes the whole tree of a key under HKEY_LOCAL_MACHINE before another
// program (the registry editor) changes it; false when it cannot be read.
bool JournalKey(const std::string& path);
// Undoes every change recorded, the last first, each with a log line
// ("UNDO: Restored X", "UNDO: Deleted X", "UNDO: Failed to restore X"); an
// undo step that fails does not stop the rest. True when every one was
// undone. The journal is empty and stopped afterwards.
bool JournalUndo(void (*log)(const std::string& line));
// Stops recording and forgets the journal (the action succeeded).
void JournalEnd();
bool JournalRecording();

}  // namespace plat
