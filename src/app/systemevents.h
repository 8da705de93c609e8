#pragma once

#include <QObject>

// What the system tells a desktop app over logind's D-Bus interface: the machine is about to
// sleep, or has just resumed. Silent where there is no system bus (tests, containers).
class SystemEvents : public QObject {
    Q_OBJECT

public:
    explicit SystemEvents(QObject *parent = nullptr);

Q_SIGNALS:
    void aboutToSleep();
    void resumed();

private Q_SLOTS:
    void prepareForSleep(bool sleeping);
};
