#include "TestMedia.h"
#include "update/VersionCheck.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

namespace {

// A loopback HTTP server that answers every request with one canned response, or never.
class CannedServer {
public:
    explicit CannedServer(QByteArray response, bool answer = true) : response_(std::move(response)) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this, answer] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, answer] {
                    request_ += socket->readAll();
                    if (answer && request_.contains("\r\n\r\n")) {
                        socket->write(response_);
                        socket->disconnectFromHost();
                    }
                });
            }
        });
        setenv("REELNOOK_UPDATE_SERVER", QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()).toUtf8(), 1);
    }
    ~CannedServer() { unsetenv("REELNOOK_UPDATE_SERVER"); }

    QByteArray request() const { return request_; }

private:
    QTcpServer server_;
    QByteArray response_;
    QByteArray request_;
};

QByteArray http(int status, const QByteArray& body) {
    return "HTTP/1.1 " + QByteArray::number(status) +
           " X\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// A valid answer of exactly `size` bytes (white space after the object).
QByteArray padded(qsizetype size) {
    QByteArray body = R"({"title":"R","version":"0.1.0","url":"u"})";
    return body + QByteArray(size - body.size(), ' ');
}

struct Outcome {
    QString title;
    QString alertText;  // informative text of the alert, when one came up
};

// Runs one check against `server`, answering any alert with "Close".
Outcome runCheck(int timeoutMs = 5000, int waitMs = 3000) {
    QWidget window;
    VersionChecker checker(&window);
    checker.setTimeout(timeoutMs);
    Outcome outcome;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            outcome.alertText = box->informativeText();
            for (QAbstractButton* b : box->buttons())
                if (b->text() == QStringLiteral("Close"))
                    b->click();
        }
    });
    closer.start(20);
    bool answered = false;
    QObject::connect(&checker, &VersionChecker::answered, [&] { answered = true; });
    checker.checkVersion();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Reelnook-0.1.0"));
    waitUntil([&] { return answered && QApplication::activeModalWidget() == nullptr; }, waitMs);
    waitUntil([] { return false; }, 100);  // let a late alert come up, if any
    outcome.title = window.windowTitle();
    return outcome;
}

}  // namespace

TEST(VersionCheck, VersionToNumber) {
    const struct {
        const char* text;
        qint64 number;
    } cases[] = {
        {"1.2.3", 10203},
        {"1.2", 0},
        {"1.2.3.4", 0},
        {"1..3", 0},
        {"+1.2.3", 10203},
        {"-1.0.0", -10000},
        {"", 0},
        {"1. 2.3", 0},
        {"1.100.0", 20000},
        {"2.0.0", 20000},
        {"01.02.03", 10203},
        {"1.2.3 ", 0},
        {"1.2.x", 0},
        {"++1.2.3", 0},
        {"1.2.+", 0},
        {"١.2.3", 0},  // non-ASCII digit
        {"99999999999999999999.0.0", 0},
        {"922337203685478.0.0", 0},  // beyond 64 bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(versionToNumber(QString::fromUtf8(c.text)), c.number) << c.text;
}

TEST(VersionCheck, AddressesFollowTheEditionAndServer) {
    setenv("REELNOOK_UPDATE_SERVER", "http://127.0.0.1:9/", 1);
    EXPECT_EQ(versionJson(), QStringLiteral("http://127.0.0.1:9/player/version/free-macos.json"));
    EXPECT_EQ(versionUrl(), QStringLiteral("http://127.0.0.1:9/player/version/?type=free"));
    unsetenv("REELNOOK_UPDATE_SERVER");
    EXPECT_TRUE(versionJson().startsWith(QStringLiteral("https://")));
}

TEST(VersionCheck, DecodesStrictly) {
    EXPECT_TRUE(VersionData::decode(R"({"title":"t","version":"1.0.0","url":"u","extra":1})"));
    EXPECT_FALSE(VersionData::decode(R"({"version":"1.0.0","url":"u"})"));
    EXPECT_FALSE(VersionData::decode(R"({"title":"t","version":1,"url":"u"})"));
    EXPECT_FALSE(VersionData::decode(R"(["t","1.0.0","u"])"));
    EXPECT_FALSE(VersionData::decode("not json"));
}

TEST(VersionCheck, DownloadOpensOnlyWebAddresses) {
    const struct {
        const char* address;
        bool opens;
    } cases[] = {
        {"https://example.org/dl", true},
        {"http://example.org:8080/dl?x=1", true},
        {"HTTPS://EXAMPLE.ORG/", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"ftp://example.org/dl", false},
        {"smb://server/share", false},
        {"/etc/passwd", false},
        {"example.org/dl", false},
        {"https:///no-host", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(downloadUrl(QString::fromLatin1(c.address)).has_value(), c.opens) << c.address;
}

TEST(VersionCheck, NewerVersionMarksTheTitleAndRaisesTheAlert) {
    CannedServer server(http(200, R"({"title":"R","version":"0.1.1","url":"https://example.org/dl"})"));
    const Outcome o = runCheck();
    EXPECT_EQ(o.title, QStringLiteral("Reelnook-0.1.0*"));
    EXPECT_EQ(o.alertText, QStringLiteral("A new version 0.1.1 has been detected."));
    EXPECT_TRUE(server.request().startsWith("GET /player/version/free-macos.json "));
}

TEST(VersionCheck, SameOrOlderVersionOnlyMarksTheTitle) {
    for (const char* version : {"0.1.0", "0.0.9"}) {
        CannedServer server(http(200, QByteArray(R"({"title":"R","version":")") + version + R"(","url":"u"})"));
        const Outcome o = runCheck();
        EXPECT_EQ(o.title, QStringLiteral("Reelnook-0.1.0*")) << version;
        EXPECT_TRUE(o.alertText.isEmpty()) << version;
    }
}

TEST(VersionCheck, AnAnswerOfAtMost64KilobytesCounts) {
    CannedServer server("HTTP/1.1 200 X\r\nConnection: close\r\n\r\n" + padded(64 * 1024));
    EXPECT_EQ(runCheck().title, QStringLiteral("Reelnook-0.1.0*"));
}

TEST(VersionCheck, AnAnswerWithAnErrorStatusStillCounts) {
    CannedServer server(http(500, R"({"title":"R","version":"0.1.0","url":"u"})"));
    EXPECT_EQ(runCheck().title, QStringLiteral("Reelnook-0.1.0*"));
}

TEST(VersionCheck, FailuresAreSilent) {
    const struct {
        const char* name;
        QByteArray response;
    } cases[] = {
        {"missing key", http(200, R"({"version":"9.0.0","url":"u"})")},
        {"number", http(200, R"({"title":"R","version":9,"url":"u"})")},
        {"not json", http(200, "<html>")},
        {"empty body", http(200, "")},
        {"garbage reply", "garbage\r\n\r\n"},
        // A valid answer padded beyond 64 KB: dropped whether or not its length is announced.
        {"oversized", http(200, padded(64 * 1024 + 1))},
        {"oversized without length", "HTTP/1.1 200 X\r\nConnection: close\r\n\r\n" + padded(64 * 1024 + 1)},
    };
    for (const auto& c : cases) {
        CannedServer server(c.response);
        const Outcome o = runCheck(5000, 800);
        EXPECT_EQ(o.title, QStringLiteral("Reelnook-0.1.0")) << c.name;
        EXPECT_TRUE(o.alertText.isEmpty()) << c.name;
    }
}

TEST(VersionCheck, AServerThatNeverAnswersTimesOutSilently) {
    CannedServer server({}, false);
    const Outcome o = runCheck(300, 1000);
    EXPECT_EQ(o.title, QStringLiteral("Reelnook-0.1.0"));
    EXPECT_TRUE(o.alertText.isEmpty());
}

TEST(VersionCheck, NoServerAtAllIsSilent) {
    setenv("REELNOOK_UPDATE_SERVER", "http://127.0.0.1:1", 1);
    const Outcome o = runCheck(2000, 800);
    unsetenv("REELNOOK_UPDATE_SERVER");
    EXPECT_EQ(o.title, QStringLiteral("Reelnook-0.1.0"));
}
