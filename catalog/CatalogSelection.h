#pragma once
// Finding archive files by station, channel and time: what a selection asks for and which
// FILELIST rows answer it. CatalogStore::SelectRows runs it against the catalog;
// ContinuousSegments.h joins the rows into runs of samples.
//
// Times are whole microseconds since 1970-01-01 00:00:00 UTC: the resolution of TBEGIN as
// the converter writes it and of a miniSEED start time, and exact where doubles of epoch
// seconds are not.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/CatalogRow.h"

// A half-open span of time [from, to), microseconds.
struct TimeWindow {
    int64_t from = 0;
    int64_t to = 0;

    int64_t Length() const { return to - from; }
};

struct CatalogSelection {
    std::string station;        // STA, matched exactly
    std::string channel = "*";  // CH: '*' stands for any run of characters, '?' for one
    int64_t from = 0;           // window start, microseconds
    std::optional<int64_t> to;  // window end; none: up to the last sample there is
};

// True when `channel` fits `pattern` ('*' and '?' as above, every other character itself,
// letter case included: the catalog keeps channel names as the converter wrote them).
bool ChannelMatches(std::string_view pattern, std::string_view channel);

// A row's span: from TBEGIN to TBEGIN + TQTY, microseconds.
int64_t RowStart(const CatalogRow& row);
int64_t RowEnd(const CatalogRow& row);

// A WHERE condition with '?' markers and the texts bound to them, in order.
struct SqlCondition {
    std::string text;
    std::vector<std::string> parameters;
};

// The WHERE condition that finds the rows of `selection` through the index on
// (STA, CH, TBEGIN). It is wider than the selection by a millisecond, so that rounding in
// the database never loses a row; RowMeetsSelection decides exactly. The station and the
// channel are bound parameters, never part of the text: they may come from a web request.
SqlCondition SelectionCondition(const CatalogSelection& selection);

// True when the row is the selection's station and channel and its span meets the window.
// Rows with a span or rate no sample can have (negative, not finite, beyond year 5000)
// meet none.
bool RowMeetsSelection(const CatalogRow& row, const CatalogSelection& selection);
