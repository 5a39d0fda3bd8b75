#pragma once
// What a batch checks before it converts (or, in a dry run, tells of) any recording: the
// settings can be read, the catalog can be opened and holds FILELIST, the data directory can
// be written, and no other converter keeps a station of the batch busy. A setup that fails
// one of them fails every recording alike: it is told once, with the exit code the classic
// form gives that failure, and nothing is written.

#include <vector>

#include "batch/CampaignPlan.h"
#include "site/Settings.h"

// Both ini files are missing or readable. Else ExitCode::kDatabase (the run cannot know its
// catalog) after the notice "cannot read the settings FILE: <the system's text>".
int CheckSettingsFiles(const SettingsFiles& files);

// The catalog of `settings` opens as the converter opens it (-3 after its notice); the data
// directory (the current one when empty) is a directory this process may write (-8 after
// "cannot use the data directory DIR: <the system's text>"); and each station of `plan`
// whose lock another process holds is waited for as a conversion waits, with the notice that
// names the holder (-13 after "gave up waiting for station STA after N s: nothing was
// converted"). Returns 0 when the batch may go on.
int CheckSetup(const ConnectionSettings& settings, const std::vector<StationPlan>& plan);
