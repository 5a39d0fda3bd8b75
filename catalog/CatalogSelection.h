#pragma once
// Finding archive files by station, channel and time: what a selection asks for and which
// FILELIST rows answer it. CatalogStore::SelectRows runs it against the catalog;
// ContinuousSegments.h joins the rows into runs of samples.
//
// Times are whole microseconds since 1970-01-01 00:00:00 UTC: the resolution of TBEGIN as
// the converter writes it and of a miniSEED start time, and exact where doubles of epoch
// seconds are not.

#include <cstdint>
#include <functional>
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

// The year 0001 in microseconds: before any row a selection without a start can meet.
inline constexpr int64_t kEarliestTime = -62135596800LL * 1000000;

// What the command line and the web services ask of the catalog: the codes of the streams
// (each list a set of patterns, '*' standing for any run of characters and '?' for one, "--"
// for the blank code) and a time window. The catalog knows stations and channels; every
// stream has the network code a server gives it and the blank location code.
struct CatalogSelection {
    std::vector<std::string> networks{"*"};
    std::vector<std::string> stations{"*"};
    std::vector<std::string> locations{"*"};
    std::vector<std::string> channels{"*"};
    std::optional<int64_t> from;  // window start, microseconds; none: from the first sample
    std::optional<int64_t> to;    // window end (not included); none: up to the last sample

    int64_t From() const { return from.value_or(kEarliestTime); }
};

// The one wildcard matcher: true when `code` fits `pattern` ('*' and '?' as above, every
// other character itself, letter case included: the catalog keeps names as the converter
// wrote them).
bool MatchesPattern(std::string_view pattern, std::string_view code);
// True when `code` fits one of `patterns`; "--" fits the blank code only.
bool MatchesAnyPattern(const std::vector<std::string>& patterns, std::string_view code);
bool HasWildcard(std::string_view pattern);

// A row's span: from TBEGIN to TBEGIN + TQTY, microseconds.
int64_t RowStart(const CatalogRow& row);
int64_t RowEnd(const CatalogRow& row);

// A WHERE condition with '?' markers and the texts bound to them, in order.
struct SqlCondition {
    std::string text;
    std::vector<std::string> parameters;
};

// The names that fit one of `patterns`, ascending and each once. When no pattern has a
// wildcard they are the patterns themselves (a name the catalog lacks simply has no rows),
// and `listNames` is never called; otherwise they are those of `listNames()`, the names
// there are, that fit.
std::vector<std::string> NamesMatching(const std::vector<std::string>& patterns,
                                       const std::function<std::vector<std::string>()>& listNames);

// The WHERE condition that finds the rows of one stream, a `station` and `channel` without
// wildcards, within the window of `selection`, through the index on (STA, CH, TBEGIN). It is
// wider than the window by a millisecond, so that rounding in the database never loses a row;
// RowMeetsSelection decides exactly. The station and the channel are bound parameters, never
// part of the text: they may come from a web request.
SqlCondition StreamCondition(const std::string& station, const std::string& channel,
                             const CatalogSelection& selection);

// True when the row is one of the selection's stations and channels and its span meets the
// window.
// Rows with a span or rate no sample can have (negative, not finite, beyond year 5000)
// meet none.
bool RowMeetsSelection(const CatalogRow& row, const CatalogSelection& selection);
