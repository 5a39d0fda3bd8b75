#include "catalog/FileRegistration.h"

// Stand-in until the catalog registration lands.
bool RegisterNewFileRow(CDatabase&, const std::string&, const FileRegistration&) { return true; }
bool UpdateExtendedFileRow(CDatabase&, const std::string&, const FileRegistration&) {
    return true;
}
