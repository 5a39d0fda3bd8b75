#include "trq/commands/CatalogOptions.h"

#include <CLI/CLI.hpp>

namespace trq {

void AddCatalogArguments(CLI::App& command, CatalogArguments& arguments) {
    command.add_option("--dsn", arguments.login.dsn,
                       "Catalog data source (default: as the converter finds it in "
                       "./plq2trq.ini, then trq.ini)");
    command.add_option("--user", arguments.login.user, "User name for the data source");
    command.add_option("--password-file", arguments.passwordFile,
                       "File whose first line is the password for the data source");
    command.add_option("--password", arguments.login.password,
                       "Password for the data source (visible to every user in ps and kept "
                       "in the shell's history: prefer --password-file or the ini files)");
}

}  // namespace trq
