#pragma once
// The converter's watch mode, `plq2trq --watch DIR`: a service that converts every recording
// below DIR/STA/ that the catalog's record of recordings does not hold as it is, then each
// one that arrives, until SIGTERM or SIGINT. Each is converted as the classic form converts
// it; a station's recordings one after the other in the order they came, stations side by
// side (--jobs), each worker on its own catalog connection.
//
// It keeps going through what a data centre's surroundings do to it: a catalog that
// restarts is connected again by the registration itself; a catalog away for longer is
// left to the stations' journals and tried again every [WATCH] RETRY seconds, and the
// journals are applied by the service once it answers; a recording the archive cannot
// take (a full disk) is said once and tried again, holding its station's later
// recordings back; a station another converter holds is waited for. SIGHUP reads the
// settings again. Its log is one line per recording on standard output (watch/WatchLog.h);
// its state goes to a file (watch/WatchState.h).

#include "site/Settings.h"
#include "watch/WatchOptions.h"

// Runs the service; returns 0 once stopped by a signal, else the exit code of what kept it
// from starting (a catalog without the record of recordings: ExitCode::kDatabase).
int RunWatch(const WatchOptions& options, const SettingsFiles& files);
