#pragma once
// The watch mode's log: one line per recording, as a data centre's log collector keeps it
// (no progress line, no colour), and the lines of the service's own events.
//
//   converted incoming/ABC/a.plq (ABC): 1080000 samples, 3 files (created 3), 0.04 s
//   converted incoming/ABC/a.plq (ABC): ...; it changed since its conversion at T
//   converted incoming/ABC/c.plq (ABC): ...; it changed since it was recorded incomplete at T
//   journaled incoming/ABC/b.plq (ABC): ..., 0.02 s; its rows wait in the journal
//   FAILED -6 incoming/ABC/x.dat (ABC): ERROR: file ... is not PLQ-format ...
//   incomplete incoming/ABC/c.plq (ABC): 30000 of 60268 bytes, unchanged for 60 s; ...
//   unchanged incoming/ABC/a.plq (ABC): the content converted at T; not converted again
//   warning incoming/ABC/a.plq (ABC): replaced ..., which held other data: ...

#include <string>
#include <vector>

#include "watch/WatchJob.h"

// The line of a job that came to its end (not one put back to be tried again).
std::string RecordingLine(const WatchResult& result, int quietSeconds);
// The notices of a conversion that went through (exit code 0 or -9), one line each.
std::vector<std::string> WarningLines(const WatchResult& result);
// "PATH (STA)".
std::string Named(const WatchJob& job);
