#include "core/TimeFormat.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

// Largest seconds value that still fits the integer arithmetic below.
constexpr double maxSeconds = 9.0e15;

double sanitized(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        return 0;
    return std::fmin(seconds, maxSeconds);
}

}  // namespace

QString fixedFormatTimeDetail(double seconds) {
    seconds = sanitized(seconds);
    auto whole = static_cast<int64_t>(seconds);
    auto ms = static_cast<int64_t>(std::round((seconds - static_cast<double>(whole)) * 1000));
    if (ms >= 1000) {
        whole += 1;
        ms -= 1000;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(whole / 3600),
                  static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60),
                  static_cast<long long>(ms));
    return QString::fromLatin1(text);
}

QString formatTime(double seconds) { return formatTime(seconds, 0); }

QString formatTime(double seconds, double length) {
    const auto whole = static_cast<long long>(sanitized(seconds));
    char text[64];
    if (whole > 3599 || sanitized(length) >= 3600)
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%02lld:%02lld", whole / 60, whole % 60);
    return QString::fromLatin1(text);
}
