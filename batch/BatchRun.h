#pragma once
// The converter's batch form: `plq2trq --station STA FILE...` or `plq2trq --tree DIR`.
// Each recording is converted exactly as `plq2trq FILE STATION` converts it; a station's
// recordings one after the other in time order, stations side by side (--jobs), each
// worker on its own catalog connection. A recording that fails is reported and the others
// go on.

#include "site/Settings.h"

// Runs the batch; returns 0 when every recording converted, else the exit code of the most
// severe failure (batch/CampaignSummary.h), or -1 for an unusable command line.
int RunBatch(int argc, char** argv, const SettingsFiles& files);
