// trq: looks at, checks, repairs and exports the archive the converter writes.

#include "platform/Console.h"
#include "trq/TrqCli.h"

int main(int argc, char** argv) {
    SetConsoleProgramName("trq");
    return trq::RunTrqCommandLine(argc, argv);
}
