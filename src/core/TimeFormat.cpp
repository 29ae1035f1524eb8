#include "core/TimeFormat.h"

#include <QRegularExpression>
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

std::optional<double> parseTime(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(?:(?:(\\d{1,6}):)?(\\d{1,2}):)?(\\d{1,6})(?:[.,](\\d{1,3}))?\\s*$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const bool hasMinutes = match.capturedLength(2) > 0;
    const bool hasHours = match.capturedLength(1) > 0;
    const int minutes = match.captured(2).toInt();
    const int seconds = match.captured(3).toInt();
    if ((hasMinutes && seconds >= 60) || (hasHours && minutes >= 60))
        return std::nullopt;
    const QString fraction = match.captured(4);
    const double part = fraction.isEmpty() ? 0 : fraction.toInt() / std::pow(10.0, fraction.size());
    return match.captured(1).toInt() * 3600.0 + minutes * 60.0 + seconds + part;
}
