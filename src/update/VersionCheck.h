#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <optional>

class QNetworkAccessManager;
class QWidget;

// The program's metadata, compiled in.
QString appName();
QString appVersion();
QString pricePlans();  // the edition word, lower case

// The update server's base address: REELNOOK_UPDATE_SERVER from the environment when set,
// else the compiled-in one; no trailing slash.
QString updateServerBase();
QString versionJson();  // base + "/player/version/" + pricePlans + "-macos.json"
QString versionUrl();   // base + "/player/version/?type=" + pricePlans

// "a.b.c" -> a*10000 + b*100 + c with strict decimal parts; anything else gives 0.
qint64 versionToNumber(const QString& version);

// The update server's answer. All three keys are required strings; others are ignored.
struct VersionData {
    QString title;
    QString version;
    QString url;

    static std::optional<VersionData> decode(const QByteArray& json);
};

// The address of the server's "url" the Download button may open: an absolute http or https
// address with a host; absent for anything else (file:, javascript:, a relative path, ...).
std::optional<QUrl> downloadUrl(const QString& address);

// Asks the update server once for the newest version of this edition. The window's title
// becomes "<name>-<version>", and gains a "*" once a valid answer arrived; a newer version
// raises the alert. Every failure is silent.
class VersionChecker : public QObject {
    Q_OBJECT
public:
    explicit VersionChecker(QWidget* window, QObject* parent = nullptr);

    void checkVersion();
    void setTimeout(int milliseconds) { timeoutMs_ = milliseconds; }

    // Requests the version page at `url` for the server's sake and reads none of it: the
    // request is dropped once the headers are in. An address that does not parse loads nothing.
    void requestVersionPage(const QString& url = versionUrl());

    // Shows the modal alert and opens the download page when the user chooses "Download".
    static void showVersionAlert(const VersionData& data, QWidget* window = nullptr);

Q_SIGNALS:
    // The answer was understood (after the title gained its "*").
    void answered(const VersionData& data, bool newer);

private:
    void handleAnswer(const QByteArray& body);

    QPointer<QWidget> window_;
    QNetworkAccessManager* network_;
    int timeoutMs_ = 60000;
};
