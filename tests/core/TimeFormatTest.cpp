#include "core/TimeFormat.h"

#include <gtest/gtest.h>
#include <limits>

TEST(TimeFormat, FixedFormatTimeDetail) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "00:00:00.000"},       {1.5, "00:00:01.500"},       {3725.25, "01:02:05.250"},
        {0.0004, "00:00:00.000"},  {0.0005, "00:00:00.001"},    {0.9996, "00:00:01.000"},
        {59.9999, "00:01:00.000"}, {3599.9996, "01:00:00.000"}, {360000, "100:00:00.000"},
        {12.5, "00:00:12.500"},    {-1, "00:00:00.000"},        {-0.0, "00:00:00.000"},
        {inf, "00:00:00.000"},     {-inf, "00:00:00.000"},      {std::nan(""), "00:00:00.000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fixedFormatTimeDetail(c.seconds), QString::fromUtf8(c.text)) << c.seconds;
}

TEST(TimeFormat, FormatTime) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "00:00"},      {0.9, "00:00"},          {59.99, "00:59"},
        {3599.9, "59:59"}, {3600, "01:00:00"},      {7384, "02:03:04"},
        {-5, "00:00"},     {std::nan(""), "00:00"}, {std::numeric_limits<double>::infinity(), "00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatTime(c.seconds), QString::fromUtf8(c.text)) << c.seconds;
}

TEST(TimeFormat, FormatTimeWithinAMovie) {
    const struct {
        double seconds;
        double length;
        const char* text;
    } cases[] = {
        {54, 3599.9, "00:54"},       {54, 3600, "00:00:54"},
        {0, 5400, "00:00:00"},       {3599.9, 5400, "00:59:59"},
        {4000, 5400, "01:06:40"},    {3700, 60, "01:01:40"},
        {12, std::nan(""), "00:12"}, {12, -7200, "00:12"},
        {-3, 7200, "00:00:00"},      {12, std::numeric_limits<double>::infinity(), "00:12"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatTime(c.seconds, c.length), QString::fromUtf8(c.text)) << c.seconds << " of " << c.length;
}

TEST(TimeFormat, HugeValuesStayWellFormed) {
    EXPECT_FALSE(fixedFormatTimeDetail(1e300).isEmpty());
    EXPECT_FALSE(formatTime(1e300).contains(QLatin1Char('-')));
}

TEST(TimeFormat, ParseTimeReadsWhatPeopleTypeAndRefusesTheRest) {
    const struct {
        const char* text;
        std::optional<double> seconds;
    } cases[] = {
        {"00:00:12.500", 12.5},
        {"01:02:05.250", 3725.25},
        {"1:05", 65},
        {"75", 75},
        {"12,5", 12.5},
        {" 00:01:00.05 ", 60.05},
        {"100:00:00", 360000},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"1:60", std::nullopt},
        {"1:60:00", std::nullopt},
        {"-3", std::nullopt},
        {"1.2.3", std::nullopt},
        {"00:00:01.5000", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto parsed = parseTime(QString::fromUtf8(c.text));
        ASSERT_EQ(parsed.has_value(), c.seconds.has_value()) << c.text;
        if (!parsed)
            continue;
        EXPECT_NEAR(*parsed, *c.seconds, 1e-9) << c.text;
        EXPECT_NEAR(*parseTime(fixedFormatTimeDetail(*parsed)), *parsed, 1e-9) << c.text;  // reads what it writes
    }
}
