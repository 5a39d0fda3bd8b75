#pragma once
// `trq info FILE...`: each archive file's header fields, sample count, time span and sample
// statistics; exits with kExitFault when a file is not consistent.

#include <ostream>
#include <string>
#include <vector>

namespace trq {

struct InfoOptions {
    std::vector<std::string> files;
    bool json = false;  // one JSON document on `out` instead of text
};

int RunInfo(const InfoOptions& options, std::ostream& out, std::ostream& err);

}  // namespace trq
