// trq: looks at, checks, repairs and exports the archive the converter writes.

#include "trq/TrqCli.h"

int main(int argc, char** argv) {
    return trq::RunTrqCommandLine(argc, argv);
}
