#pragma once
// Converter runs kept in case files (see CaseScript.h): the set-up lines a case gives, the
// run it is about, and what the run gave, as lines to compare whole with the case's "> "
// lines. Words are separated by blanks; {BLANK} is a blank inside a word. In every line
// @ARCHIVE@ stands for the workspace's archive directory and @USER@
// for its catalog user. Set-up lines, paths below the workspace unless absolute:
//   golden NAME          a copy of tests/golden/rec.plq (2013-10-22 13:47:34, format 0)
//   recording NAME [samples=N] [format=N] [sps=N] [year=N] [sine]
//                        a generated recording: by default three channels of 1000 int32
//                        samples (format 2) of a ramp at 100 sps from 2013-10-22 13:47:34
//   convert NAME [STA]   plq2trq NAME STA (ABC), which must succeed without a word on standard
//                        error
//   flip-last NAME       the file's last byte changed
//   resize NAME N        the file cut to N bytes
//   append PATH TEXT     TEXT added at the end of the file
//   poke NAME OFFSET TEXT  bytes from OFFSET replaced by TEXT
//   remove PATH, write PATH TEXT, mkdir PATH, mkfifo PATH
//   channels MAP         plq2trq.ini with this [CHANNELMAP] ({LF} between its entries)
//   ini TEXT             TEXT put before plq2trq.ini's lines: its keys win ({LF} as above)
//   trq-ini              etc/trq.ini with the workspace's settings but no channel map
//   sql STATEMENT...     a statement on the catalog (words joined by blanks)
//   database PATH        the catalog's data source names PATH as its database file
//   hold-lock STA        this process holds station STA's lock during the runs
//   read-only PATH       the runs see PATH read-only (a mount namespace of their own; the
//                        case is skipped where none can be made)
//   plq2trq ARG...       a run the case is about (several runs are told one after the other)
// In every line @PID@ stands for this process's id. The lines of the runs, one after the
// other: "exit N", each line of standard output ("out ...", an empty line "out") and of
// standard error ("err ...", but the batch's progress lines, which come as time passes);
// then each file below the archive directory ("file PATH") or "no archive directory"; for a
// batch run with --report FILE, each recording and station of the last report ("report
// recordings {...}", "report stations {...}") and its exit code ("report exitCode N"), as
// compact JSON.

#include <string>
#include <vector>

#include "tests/support/CaseScript.h"
#include "tests/support/Workspace.h"

namespace testsupport {

class ConverterRun {
  public:
    explicit ConverterRun(const Workspace& ws) : ws_(ws) {}
    ~ConverterRun();
    ConverterRun(const ConverterRun&) = delete;
    ConverterRun& operator=(const ConverterRun&) = delete;

    // Carries out the case's set-up lines and its run; a failed step fails the test.
    void Perform(const ScriptCase& c);
    // The run's lines, as described above.
    std::vector<std::string> Lines() const;
    // The case's "> " lines with @ARCHIVE@ and @USER@ put in.
    std::vector<std::string> Expected(const ScriptCase& c) const;

    // The last run.
    const ProcessResult& Result() const { return result_; }
    // The last recording a "recording" line generated.
    const plqgen::RecordingSpec& Spec() const { return spec_; }

  private:
    void Step(const std::string& line);
    std::string Expanded(std::string text) const;

    const Workspace& ws_;
    ProcessResult result_;
    std::string report_;  // the path of the run's --report, if any
    plqgen::RecordingSpec spec_;
    std::vector<int> heldLocks_;         // descriptors of the station locks held
    std::string readOnly_;               // what the runs see read-only
    std::vector<std::string> runLines_;  // of every run so far
};

// Runs case `c` in a workspace of its own and compares the lines its run gives whole with
// the case's.
void RunCase(const ScriptCase& c);

}  // namespace testsupport
