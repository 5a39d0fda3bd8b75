#include "trq/CatalogOptions.h"

#include <CLI/CLI.hpp>
#include <fstream>
#include <stdexcept>

#include "app/RunFlow.h"
#include "app/Settings.h"

namespace trq {

namespace {

std::string ReadPasswordFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read the password file " + path);
    std::string password;
    std::getline(in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

}  // namespace

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

FoundCatalog FindCatalog(const CatalogArguments& arguments) {
    FoundCatalog found;
    const ConnectionSettings settings = ReadSettings(DefaultSettingsFiles());
    found.dataDir = arguments.dataDir.empty() ? settings.dataDir : arguments.dataDir;
    if (arguments.login.dsn.empty()) {
        found.login = {settings.dataSource, settings.user, settings.password, false, ""};
        found.fromSettings = true;
        if (!arguments.login.user.empty()) found.login.user = arguments.login.user;
        if (!arguments.login.password.empty()) found.login.password = arguments.login.password;
    } else {
        found.login = arguments.login;
    }
    if (!arguments.passwordFile.empty()) {
        found.login.password = ReadPasswordFile(arguments.passwordFile);
    }
    found.login.timeoutSeconds = settings.catalogTimeout;
    return found;
}

}  // namespace trq
