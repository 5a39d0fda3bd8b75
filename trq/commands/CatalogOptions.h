#pragma once
// The command-line options that name the catalog of a trq command (site/CatalogLocation.h
// finds it from them).

#include "site/CatalogLocation.h"

namespace CLI {
class App;
}

namespace trq {

// --dsn, --user, --password-file and --password (which the help advises against: a
// password on the command line shows in `ps` and in the shell's history).
void AddCatalogArguments(CLI::App& command, CatalogArguments& arguments);

}  // namespace trq
