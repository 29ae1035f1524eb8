#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGHUP and SIGINT (a logout that ends the process, the launching terminal closed,
// Ctrl+C) as a Qt signal on the main thread, so that the program ends through its own path
// instead of dying where it stands. The handler only writes the signal's number to a pipe,
// which is all a signal handler may safely do; the event loop reads it. One instance at a time;
// destroying it restores the default handlers.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void received(int signalNumber);

private:
    QSocketNotifier* notifier_ = nullptr;
};
