#pragma once

#include <QString>

// "HH:MM:SS.mmm"; milliseconds that round to 1000 carry into the seconds. Negative,
// infinite or NaN input gives "00:00:00.000".
QString fixedFormatTimeDetail(double seconds);

// "MM:SS", or "HH:MM:SS" from one hour on; the fraction is dropped. Negative, infinite or
// NaN input gives "00:00".
QString formatTime(double seconds);

// A time within a movie of `length` seconds: "HH:MM:SS" throughout a movie of an hour or more,
// so all its times read alike; otherwise as formatTime(). The fraction is dropped.
QString formatTime(double seconds, double length);
