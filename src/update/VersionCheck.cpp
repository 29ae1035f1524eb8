#include "update/VersionCheck.h"
#include "update/BuildInfo.h"
#include "update/UpdateLog.h"

#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QRegularExpression>
#include <QWidget>

#include <memory>

QString appName() { return QString::fromUtf8(BuildInfo::name); }
QString appVersion() { return QString::fromUtf8(BuildInfo::version); }
QString pricePlans() { return QString::fromUtf8(BuildInfo::edition).toLower(); }

QString updateServerBase() {
    QString base = qEnvironmentVariable("REELNOOK_UPDATE_SERVER");
    if (base.isEmpty())
        base = QString::fromUtf8(BuildInfo::updateServer);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QString versionJson() {
    return updateServerBase() + QStringLiteral("/player/version/") + pricePlans() + QStringLiteral("-macos.json");
}
std::optional<QUrl> downloadUrl(const QString& address) {
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QStringLiteral("http") && scheme != QStringLiteral("https")))
        return std::nullopt;
    return url;
}

QString versionUrl() { return updateServerBase() + QStringLiteral("/player/version/?type=") + pricePlans(); }

namespace {

// The most of the version file that is read.
constexpr qint64 maxAnswerBytes = 64 * 1024;

// An optional sign and one or more ASCII digits, nothing else, within 64 bits.
std::optional<qint64> strictInteger(const QString& part) {
    static const QRegularExpression form(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    if (!form.match(part).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 value = part.toLongLong(&ok, 10);
    return ok ? std::optional(value) : std::nullopt;
}

}  // namespace

qint64 versionToNumber(const QString& version) {
    const QStringList parts = version.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return 0;
    qint64 numbers[3];
    for (int i = 0; i < 3; ++i) {
        const auto n = strictInteger(parts[i]);
        if (!n)
            return 0;
        numbers[i] = *n;
    }
    // Versions far beyond any real one would overflow; they count as malformed.
    qint64 result = 0, middle = 0;
    if (__builtin_mul_overflow(numbers[0], qint64(10000), &result) ||
        __builtin_mul_overflow(numbers[1], qint64(100), &middle) || __builtin_add_overflow(result, middle, &result) ||
        __builtin_add_overflow(result, numbers[2], &result))
        return 0;
    return result;
}

std::optional<VersionData> VersionData::decode(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject obj = doc.object();
    const QJsonValue title = obj.value(QStringLiteral("title")), version = obj.value(QStringLiteral("version")),
                     url = obj.value(QStringLiteral("url"));
    if (!title.isString() || !version.isString() || !url.isString())
        return std::nullopt;
    return VersionData{title.toString(), version.toString(), url.toString()};
}

VersionChecker::VersionChecker(QWidget* window, QObject* parent)
    : QObject(parent), window_(window), network_(new QNetworkAccessManager(this)) {}

void VersionChecker::requestVersionPage(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (address.isEmpty() || !url.isValid() || url.isRelative())
        return;
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs_);
    QNetworkReply* reply = network_->get(request);
    connect(reply, &QNetworkReply::metaDataChanged, reply, &QNetworkReply::abort);
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

void VersionChecker::checkVersion() {
    if (window_)
        window_->setWindowTitle(appName() + QStringLiteral("-") + appVersion());
    const QUrl url(versionJson());
    if (!url.isValid())
        return;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
    request.setTransferTimeout(timeoutMs_);
    QNetworkReply* reply = network_->get(request);
    // The answer is a few hundred bytes; more than the limit is no version file. It is read
    // as it arrives, so an endless or huge answer never piles up in memory: past the limit,
    // or when the headers announce more, the request is dropped and the check ends silently.
    auto body = std::make_shared<QByteArray>();
    const auto tooLong = [reply] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        return length.isValid() && length.toLongLong() > maxAnswerBytes;
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, tooLong] {
        if (tooLong())
            reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply, body] {
        body->append(reply->read(maxAnswerBytes + 1 - body->size()));
        if (body->size() > maxAnswerBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, body] {
        reply->deleteLater();
        // Transport failures (connection, time-out, TLS, proxy, an answer cut off here) end
        // the check. The HTTP status is not looked at: a body that decodes counts as an
        // answer whatever the status.
        if (reply->error() != QNetworkReply::NoError && reply->error() < QNetworkReply::ContentAccessDenied) {
            qCDebug(lcUpdate) << "no version answer from" << reply->url().toString() << ":" << reply->errorString();
            return;
        }
        body->append(reply->read(maxAnswerBytes + 1 - body->size()));
        if (body->size() > maxAnswerBytes)
            return;
        handleAnswer(*body);
    });
}

void VersionChecker::handleAnswer(const QByteArray& body) {
    if (body.isEmpty())
        return;
    const auto data = VersionData::decode(body);
    if (!data)
        return;
    const bool newer = versionToNumber(appVersion()) < versionToNumber(data->version);
    if (window_)
        window_->setWindowTitle(appName() + QStringLiteral("-") + appVersion() + QStringLiteral("*"));
    Q_EMIT answered(*data, newer);
    if (newer)
        showVersionAlert(*data, window_);
}

void VersionChecker::showVersionAlert(const VersionData& data, QWidget* window) {
    // A child of the window, so that it stays in front of it even without a window manager.
    QMessageBox alert(window);
    alert.setWindowTitle(appName());
    alert.setText(QStringLiteral("Notification"));
    alert.setInformativeText(QStringLiteral("A new version %1 has been detected.").arg(data.version));
    QPushButton* close = alert.addButton(QStringLiteral("Close"), QMessageBox::RejectRole);
    QPushButton* download = alert.addButton(QStringLiteral("Download"), QMessageBox::AcceptRole);
    alert.setDefaultButton(close);
    alert.exec();
    if (alert.clickedButton() != download)
        return;
    if (const auto url = downloadUrl(data.url))
        QDesktopServices::openUrl(*url);
    else
        qCWarning(lcUpdate) << "not opening the download address" << data.url << "which is no web address";
}
