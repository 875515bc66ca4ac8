// The journal of one action: while it records, every change the calls of
// platform.h make to HKEY_LOCAL_MACHINE and to files outside the keep
// directory is written down with what was there before, on disk and
// flushed before the change is made, and undone in reverse order when the
// action fails, or by the next run when this one dies.
//
//   - a registry value set or deleted: its old type and bytes, or none;
//   - a key created (the first of its path that was not there) or deleted,
//     and a key the registry editor is about to change: its whole tree;
//   - a file created, copied over, renamed or deleted: a file is never
//     written over or deleted in place. A new one is copied to a fresh name
//     beside its target and then moved to its name; the one it replaces, or
//     deletes, is moved aside in its own folder (no free space needed) and
//     deleted only once the action succeeded;
//   - the setup information files SetupCopyOEMInfA puts into the store.
//
// A change whose old state cannot be read, kept or written down is not
// made: the call fails as if the system had refused it.
#pragma once

#include <string>

namespace plat {

// Starts a new journal in its folder in the system directory (made
// private; one that is there is used only while it still is, and only
// without a journal in it). keepDir is the run's private temporary
// directory, whose files are not recorded. False when no journal could be
// started: nothing may change then.
bool JournalBegin(const std::string& keepDir);
// Takes the whole tree of a key under HKEY_LOCAL_MACHINE before another
// program (the registry editor) changes it, or before a tree is deleted key
// by key; false when it cannot be read.
bool JournalKey(const std::string& path);
// Undoes every change recorded, the last first, each with a log line
// ("UNDO: Restored X", "UNDO: Deleted X", "UNDO: Failed to restore X"); an
// undo step that fails does not stop the rest. True when every one was
// undone. The journal is gone and stopped afterwards.
bool JournalUndo(void (*log)(const std::string& line));
// Stops recording: the action succeeded. The files moved aside are deleted
// (one that cannot be is logged and left) and the journal goes.
bool JournalEnd(void (*log)(const std::string& line));
bool JournalRecording();

// Whether a journal is on disk: a run is under way, or one died.
bool JournalPending();
// The journal a run that died left: undone (or, when that run had
// succeeded, finished), with a line before and after, and removed.
// keepDir: that run's private temporary directory.
enum class JournalRecovery { kNone, kRecovered, kIncomplete, kUntrusted };
JournalRecovery JournalRecover(void (*log)(const std::string& line), std::string* keepDir);

}  // namespace plat
