#include "catalog/CatalogLogin.h"

#include <vector>

#include "odbc/ConnectString.h"
#include "odbc/Database.h"

namespace {

std::string Compose(const CatalogLogin& login, const std::string& password) {
    std::vector<connectstring::Attribute> attributes = {{"DSN", login.dsn}};
    if (login.nameEveryValue || !login.user.empty()) attributes.push_back({"UID", login.user});
    if (login.nameEveryValue || !login.password.empty()) attributes.push_back({"PWD", password});
    return connectstring::Build(attributes);
}

}  // namespace

std::string CatalogLogin::ConnectString() const {
    return wholeConnectString.empty() ? Compose(*this, password) : wholeConnectString;
}

std::string CatalogLogin::PrintableConnectString() const {
    return Compose(*this, "***");
}

bool CatalogLogin::Open(CDatabase& database, uint32_t options) const {
    if (!wholeConnectString.empty()) return database.Open(wholeConnectString, options);
    return database.OpenDataSource(ConnectString(), dsn, user, password, options);
}
