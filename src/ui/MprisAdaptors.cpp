#include "ui/MprisAdaptors.h"

#include "ui/MprisService.h"
#include "update/BuildInfo.h"

MprisRootAdaptor::MprisRootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}

QString MprisRootAdaptor::identity() const { return QString::fromUtf8(BuildInfo::name); }
QString MprisRootAdaptor::desktopEntry() const { return QString::fromUtf8(BuildInfo::desktopId); }
QStringList MprisRootAdaptor::supportedUriSchemes() const { return {QStringLiteral("file")}; }
QStringList MprisRootAdaptor::supportedMimeTypes() const {
    return {QStringLiteral("video/mp4"), QStringLiteral("video/quicktime")};
}

void MprisRootAdaptor::Raise() { service_->raise(); }
void MprisRootAdaptor::Quit() { service_->quit(); }

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}

QString MprisPlayerAdaptor::playbackStatus() const { return service_->playbackStatus(); }
QVariantMap MprisPlayerAdaptor::metadata() const { return service_->metadata(); }
double MprisPlayerAdaptor::volume() const { return service_->volume(); }
double MprisPlayerAdaptor::rate() const { return service_->rate(); }
void MprisPlayerAdaptor::setRate(double rate) { service_->setRateFromBus(rate); }
void MprisPlayerAdaptor::setVolume(double volume) { service_->setVolumeFromBus(volume); }
qlonglong MprisPlayerAdaptor::position() const { return service_->position(); }
bool MprisPlayerAdaptor::canGoNext() const { return service_->canGoNext(); }
bool MprisPlayerAdaptor::canGoPrevious() const { return service_->canGoPrevious(); }
bool MprisPlayerAdaptor::canPlay() const { return service_->canPlay(); }
bool MprisPlayerAdaptor::canSeek() const { return service_->canSeek(); }

void MprisPlayerAdaptor::Play() { service_->play(); }
void MprisPlayerAdaptor::Pause() { service_->pause(); }
void MprisPlayerAdaptor::PlayPause() { service_->playPause(); }
void MprisPlayerAdaptor::Stop() { service_->stop(); }
void MprisPlayerAdaptor::Next() { service_->next(); }
void MprisPlayerAdaptor::Previous() { service_->previous(); }
void MprisPlayerAdaptor::Seek(qlonglong Offset) { service_->seekBy(Offset); }
void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
    service_->setPosition(TrackId, Position);
}
void MprisPlayerAdaptor::OpenUri(const QString& Uri) { service_->openUri(Uri); }
