#pragma once
// The batch's dry run: per recording, the checks a conversion makes before it writes
// (header, size, station and channel names) and the archive files it would create or
// replace, without writing anything. Of each file it would replace that is there now, it
// tells whether the file already holds the data the conversion would write (ReplacedData.h).

#include <set>
#include <string>

#include "batch/CampaignSummary.h"

struct ChannelMap;

// Tells what converting `recording` into `dataDir` would do. `planned` holds the archive
// files (catalog paths) that recordings told before would make: one of them again is a
// replacement (not compared: by then it holds what that recording wrote). Fills created,
// replaced and sameData, or the exit code and reasons of a refusal.
RecordingOutcome DryRunRecording(const PlannedRecording& recording, const std::string& dataDir,
                                 const ChannelMap& channelMap, std::set<std::string>& planned);
