#pragma once

#include <QObject>
#include <QString>

class QNetworkAccessManager;

// Requests one page and discards the answer: the version page is loaded for the server's
// sake, never shown or read, so no browser engine is needed.
class WebView : public QObject {
    Q_OBJECT
public:
    explicit WebView(QString url, QObject* parent = nullptr);

    // Issues a fresh request of the address; an address that does not parse loads nothing.
    void update();

private:
    QString url_;
    QNetworkAccessManager* network_ = nullptr;
};
