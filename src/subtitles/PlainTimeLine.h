#pragma once

#include <QStringView>
#include <QtGlobal>
#include <array>
#include <optional>

// A time line in the form SRT writers produce: "hh:mm:ss,mmm --> hh:mm:ss,mmm" (two or more
// hour digits, as players read them, so that 100 hours and more read back) with ASCII
// digits and plain spaces around the arrow, read without the regex engine. What it accepts,
// the `time` and conversion patterns match as well, with the same captures; anything else
// (other digits, other white space) is left to those patterns.
struct PlainTimeLine {
    // More hour digits than a 64-bit number holds make no time line.
    static constexpr int maxHourDigits = 18;

    std::array<qint64, 8> fields{};  // hours, minutes, seconds, milliseconds of start and end
    qsizetype startComma = 0;        // index of the "," of the start stamp
    qsizetype endComma = 0;          // index of the "," of the end stamp
    qsizetype end = 0;               // index after the last millisecond digit

    double start() const { return seconds(0); }
    double finish() const { return seconds(4); }

    // The line beginning at `at` of `text`; anything may follow the end stamp.
    static std::optional<PlainTimeLine> read(QStringView text, qsizetype at = 0);

private:
    // Added left to right in double precision, like the pattern-based reading.
    double seconds(int first) const {
        return static_cast<double>(fields[first]) * 3600 + static_cast<double>(fields[first + 1]) * 60 +
               static_cast<double>(fields[first + 2]) + fields[first + 3] * 0.001;
    }
};
