#include "ui/WebView.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

WebView::WebView(QString url, QObject* parent) : QObject(parent), url_(std::move(url)) {}

void WebView::update() {
    const QUrl url(url_, QUrl::StrictMode);
    if (url_.isEmpty() || !url.isValid() || url.isRelative())
        return;
    if (!network_)
        network_ = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setTransferTimeout(60000);
    QNetworkReply* reply = network_->get(request);
    // Nothing of the page is read: once its headers are in, the rest is not even received.
    connect(reply, &QNetworkReply::metaDataChanged, reply, &QNetworkReply::abort);
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}
