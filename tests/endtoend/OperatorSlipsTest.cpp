// The slips a busy operator makes and what the converter answers (operator-slips.cases): a
// shell pattern in place of a station, arguments too many, a recording that replaces
// archived data, a data or station directory that is not there, a station lock that cannot
// be taken, a run without plq2trq.ini, and station names that miniSEED can and cannot
// carry. Each case gives the exit code, standard output and standard error whole and the
// archive files left.

#include <gtest/gtest.h>

#include "tests/support/ConverterRun.h"

using namespace testsupport;

namespace {

class OperatorSlips : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(OperatorSlips, Case) {
    RunCase(GetParam());
}

CASE_TABLE(operator_slips, OperatorSlips, ReadCaseScript("tests/endtoend/operator-slips.cases"));

}  // namespace
