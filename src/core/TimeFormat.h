#pragma once

#include <QString>
#include <optional>

// "HH:MM:SS.mmm"; milliseconds that round to 1000 carry into the seconds. Negative,
// infinite or NaN input gives "00:00:00.000".
QString fixedFormatTimeDetail(double seconds);

// "MM:SS", or "HH:MM:SS" from one hour on; the fraction is dropped. Negative, infinite or
// NaN input gives "00:00".
QString formatTime(double seconds);

// A time within a movie of `length` seconds: "HH:MM:SS" throughout a movie of an hour or more,
// so all its times read alike; otherwise as formatTime(). The fraction is dropped.
QString formatTime(double seconds, double length);

// Reads a time as people type it: "HH:MM:SS.mmm" as fixedFormatTimeDetail writes it, or shorter
// ("MM:SS", "SS", "SS.mmm"; a comma for the point as in SRT). Minutes and seconds below a
// larger unit stay under 60; none for anything else.
std::optional<double> parseTime(const QString& text);
