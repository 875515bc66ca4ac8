// The actions of a run, in their fixed order: install, remove, upgrade,
// upgrade-only, enable, disable, each when its switch is set.
#pragma once

void RunActions();
