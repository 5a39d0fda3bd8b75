#include "site/CatalogLocation.h"

#include <fstream>
#include <stdexcept>

#include "site/Settings.h"

namespace {

std::string ReadPasswordFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw SettingsError("cannot read the password file " + path);
    std::string password;
    std::getline(in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

}  // namespace

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
