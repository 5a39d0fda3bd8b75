#pragma once
// `trq list --station S [--channel C] --from T1 [--to T2]`: the catalog's rows of a
// selection, one line each, in time order.

#include <ostream>

#include "trq/SelectionQuery.h"

namespace trq {

struct ListOptions {
    SelectionArguments selection;
    bool json = false;
};

int RunList(const ListOptions& options, std::ostream& out, std::ostream& err);

}  // namespace trq
