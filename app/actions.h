// The actions of a run, in their fixed order: install, remove, upgrade,
// upgrade-only, enable, disable, each when its switch is set.
#pragma once

void RunActions();
// Undoes the changes of the action under way, if any, after it failed or
// was ended by an unexpected error: the run then ends with 13, and an
// action undone in full leaves the run's reboot need as it found it.
void UndoFailedAction();
// The dialog's Enable or Disable, under the run lock and the journal as
// the command line's are; whether a reboot is needed.
bool EnableOrDisableFromDialog(bool enabling);
