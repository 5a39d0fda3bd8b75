#pragma once
// The converter's two command lines, side by side: the classic `plq2trq FILE STATION` and
// the batch form `plq2trq --station STA FILE... | --tree DIR [options]`, chosen by whether
// the first argument is an option.

struct BatchOptions;
struct WatchOptions;

// Whether the command line is the batch form's: its first argument is an option ("--...").
bool IsBatchCommandLine(int argc, char** argv);

// The classic form's arguments. Returns ExitCode::kUsage after the usage line and a notice
// of the reason when they cannot be a recording and a station; else 0, after a notice of
// the arguments it ignores.
int CheckClassicArguments(int argc, char** argv);

// Parses the batch form's command line into `options`, with --jobs, --quiet, --report and
// --dry-run. Returns ExitCode::kUsage after printing the usage and the reason when it is
// not usable, 1 when only help was asked for (printed), else 0.
int ParseBatchOptions(int argc, char** argv, BatchOptions& options);

// Whether the command line is the watch mode's: a batch-form command line with --watch.
bool IsWatchCommandLine(int argc, char** argv);

// Parses `plq2trq --watch DIR [--jobs N]` into `options`; returns as ParseBatchOptions does.
int ParseWatchOptions(int argc, char** argv, WatchOptions& options);
