// Status and cache rules of the four field kinds, text buffer sizes and date conversion,
// without a database.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "odbc/FieldRules.h"

using namespace fieldrules;

namespace {

// Runs the test in a fixed time zone (restored afterwards), so that local dates are known.
class FixedTimeZone {
  public:
    explicit FixedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old, hadZone_ = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~FixedTimeZone() {
        if (hadZone_) {
            setenv("TZ", saved_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    std::string saved_;
    bool hadZone_ = false;
};

TEST(FieldRules, NewRecordMarksEveryFieldThatIsNotAtItsNullMarker) {
    auto mark = [](auto kind, const auto& value) {
        uint8_t status = kFieldNull;
        MarkForAddNew<decltype(kind)>(status, value);
        return status;
    };
    EXPECT_EQ(mark(TextKind{}, std::string("STA1")), kFieldDirty);
    EXPECT_EQ(mark(TextKind{}, std::string()), kFieldNull);
    EXPECT_EQ(mark(LongKind{}, int32_t{512}), kFieldDirty);
    EXPECT_EQ(mark(LongKind{}, int32_t{0}), kFieldDirty);
    EXPECT_EQ(mark(LongKind{}, kLongNullMarker), kFieldNull);
    EXPECT_EQ(mark(DoubleKind{}, 100.0), kFieldDirty);
    EXPECT_EQ(mark(DoubleKind{}, kDoubleNullMarker), kFieldNull);
    EXPECT_EQ(mark(DateKind{}, std::time_t{1}), kFieldDirty);
    EXPECT_EQ(mark(DateKind{}, kDateNullMarker), kFieldNull);
}

// Status after MarkForUpdate, given the cached status/value and the member now.
template <typename Kind>
uint8_t Marked(uint8_t cachedStatus, const CachedValue& cached, typename Kind::Member member) {
    uint8_t status = cachedStatus;  // as after Edit: the status stays the fetched one
    MarkForUpdate<Kind>(status, member, cachedStatus, cached);
    return status;
}

TEST(FieldRules, EditedRecordMarksChangedFieldsOnly) {
    // Unchanged values stay clean.
    EXPECT_EQ(Marked<TextKind>(0, std::string("CH1"), "CH1"), 0);
    EXPECT_EQ(Marked<LongKind>(0, int32_t{512}, 512), 0);
    EXPECT_EQ(Marked<DoubleKind>(0, 3600.0, 3600.0), 0);
    EXPECT_EQ(Marked<DateKind>(0, std::time_t{1600000000}, 1600000000), 0);
    // Changed values are dirty.
    EXPECT_EQ(Marked<TextKind>(0, std::string("CH1"), "CH2"), kFieldDirty);
    EXPECT_EQ(Marked<LongKind>(0, int32_t{512}, 513), kFieldDirty);
    EXPECT_EQ(Marked<DoubleKind>(0, 3600.0, 3550.0), kFieldDirty);
    EXPECT_EQ(Marked<DateKind>(0, std::time_t{1600000000}, 1600000001), kFieldDirty);
    // A text emptied becomes null and dirty; a null text given a value becomes dirty.
    EXPECT_EQ(Marked<TextKind>(0, std::string("CH1"), ""), kFieldDirty | kFieldNull);
    EXPECT_EQ(Marked<TextKind>(kFieldNull, std::string(), "CH1"), kFieldDirty);
    EXPECT_EQ(Marked<TextKind>(kFieldNull, std::string(), ""), kFieldNull);
    // A null number given a value becomes dirty and not null; left at the marker it stays
    // null and clean. A number set to its marker is not turned null (only texts are).
    EXPECT_EQ(Marked<LongKind>(kFieldNull, int32_t{}, 1), kFieldDirty);
    EXPECT_EQ(Marked<LongKind>(kFieldNull, int32_t{}, kLongNullMarker), kFieldNull);
    EXPECT_EQ(Marked<LongKind>(0, int32_t{1}, kLongNullMarker), kFieldDirty);
    EXPECT_EQ(Marked<DateKind>(kFieldNull, std::time_t{}, 5), kFieldDirty);
}

TEST(FieldRules, DoublesAreEqualUnlessOneIsLessOrGreater) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Marked<DoubleKind>(0, 1.0, nan), 0);
    EXPECT_EQ(Marked<DoubleKind>(0, nan, 2.0), 0);
    EXPECT_EQ(Marked<DoubleKind>(0, 0.0, -0.0), 0);
    EXPECT_EQ(Marked<DoubleKind>(0, 951868799.9990005, 951868799.999), kFieldDirty);
}

TEST(FieldRules, StoreAndLoadRoundTripValuesAndNulls) {
    uint8_t cachedStatus = 0;
    CachedValue cached = std::string();
    Store<TextKind>(kFieldDirty, std::string("STA1"), cachedStatus, cached);
    EXPECT_EQ(cachedStatus, kFieldDirty);
    EXPECT_EQ(std::get<std::string>(cached), "STA1");

    uint8_t status = 0;
    std::string member = "other";
    EXPECT_TRUE(Load<TextKind>(status, member, cachedStatus, cached));
    EXPECT_EQ(member, "STA1");
    EXPECT_EQ(status, kFieldDirty);

    // A null field keeps the cached value untouched and loads as the null marker.
    Store<LongKind>(kFieldNull, 77, cachedStatus, cached = int32_t{5});
    EXPECT_EQ(std::get<int32_t>(cached), 5);
    int32_t number = 9;
    EXPECT_FALSE(Load<LongKind>(status, number, cachedStatus, cached));
    EXPECT_EQ(number, kLongNullMarker);
    EXPECT_EQ(status, kFieldNull);
}

TEST(FieldRules, TextColumnBuffersFollowTheColumnPrecision) {
    struct Case {
        SQLSMALLINT type;
        SQLULEN precision;
        SQLLEN maxLength;
        SQLLEN expected;
    } cases[] = {
        {SQL_VARCHAR, 255, 255, 255},         // every text column of FILELIST
        {SQL_VARCHAR, 20, 255, 255},          // below 256: the maximum length
        {SQL_CHAR, 300, 1000, 300},           // between 256 and the maximum: the precision
        {SQL_LONGVARCHAR, 5000, 1000, 1000},  // above the maximum: the maximum
        {SQL_DECIMAL, 300, 1000, 302},        // sign and point
        {SQL_NUMERIC, 300, 1000, 302},
        {SQL_INTEGER, 300, 1000, 301},  // sign
        {SQL_BIGINT, 300, 1000, 301},
        {SQL_TIMESTAMP, 300, 1000, 310},  // any other type: 10 more
        {SQL_DOUBLE, 250, 1000, 260},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextColumnLength(c.type, c.precision, c.maxLength), c.expected)
            << "type " << c.type << " precision " << c.precision;
    }
}

TEST(FieldRules, DatesTravelAsLocalTimeWithoutFraction) {
    FixedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    // 2020-07-01 10:00:00 UTC is 12:00:00 summer time in Central Europe.
    TIMESTAMP_STRUCT summer = ToTimestamp(1593597600);
    EXPECT_EQ(summer.year, 2020);
    EXPECT_EQ(summer.month, 7);
    EXPECT_EQ(summer.day, 1);
    EXPECT_EQ(summer.hour, 12);
    EXPECT_EQ(summer.minute, 0);
    EXPECT_EQ(summer.second, 0);
    EXPECT_EQ(summer.fraction, 0u);
    std::time_t back = 0;
    ASSERT_TRUE(FromTimestamp(summer, back));
    EXPECT_EQ(back, 1593597600);
    // The fraction of a fetched date is ignored.
    summer.fraction = 999000000;
    ASSERT_TRUE(FromTimestamp(summer, back));
    EXPECT_EQ(back, 1593597600);
}

TEST(FieldRules, DatesBefore1970AreNullAndAfter2038AreKept) {
    FixedTimeZone zone("UTC0");
    std::time_t seconds = 12345;
    EXPECT_FALSE(FromTimestamp(TIMESTAMP_STRUCT{1969, 12, 31, 23, 59, 59, 0}, seconds));
    // 2039-01-01 00:00:00 UTC does not fit 32 bits; the 64-bit member keeps it.
    ASSERT_TRUE(FromTimestamp(TIMESTAMP_STRUCT{2039, 1, 1, 0, 0, 0, 0}, seconds));
    EXPECT_EQ(seconds, 2177452800);
    const TIMESTAMP_STRUCT written = ToTimestamp(2177452800);
    EXPECT_EQ(written.year, 2039);
    EXPECT_EQ(written.month, 1);
    EXPECT_EQ(written.day, 1);
}

}  // namespace
