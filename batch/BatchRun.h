#pragma once
// The converter's batch form: `plq2trq --station STA FILE...` or `plq2trq --tree DIR`.
// Each recording is converted exactly as `plq2trq FILE STATION` converts it; a station's
// recordings one after the other in time order, stations side by side (--jobs), each
// worker on its own catalog connection. A recording that fails is reported and the others
// go on.

#include "batch/BatchOptions.h"
#include "site/Settings.h"

// Runs the batch `options` ask for (plq2trq/CommandLine.h parses them) with the converter's
// setup from `files` (site/ConverterSetup.h); returns 0 when every recording converted, else
// the exit code of the most severe failure (batch/CampaignSummary.h).
int RunBatch(const BatchOptions& options, const SettingsFiles& files);
