#pragma once

#include "devicestore.h"
#include "ssapclient.h"
#include "tvcommands.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QObject>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

class TVStateMirror;

// What the connected TV offers and is: its inputs and apps (into the state mirror), the apps'
// icons (cached for the process) and the TV's MAC address (into the device store).
class TVCatalogue : public QObject {
    Q_OBJECT

public:
    TVCatalogue(std::function<SSAPClient *()> currentClient, TVStateMirror &mirror, DeviceStore &store,
        QObject *parent = nullptr);

    // The arp program learnMAC asks about the TV (a path that is not executable: /proc/net/arp).
    void setARPProgram(const QString &program) { m_arpProgram = program; }

    QCoro::Task<void> refreshInputs();
    QCoro::Task<void> refreshApps();
    QCoro::Task<void> learnMAC();
    // An icon's bytes as the TV serves them; the window decodes them.
    QCoro::Task<std::optional<QByteArray>> icon(const QUrl &url);
    std::optional<QByteArray> cachedIcon(const QUrl &url) const;

private:
    QCoro::Task<std::optional<QJsonArray>> fetchObjectList(TVRequest command, QString member);
    void storeMAC(const QString &deviceID, const QString &mac);

    std::function<SSAPClient *()> m_currentClient;
    TVStateMirror &m_mirror;
    DeviceStore &m_store;
    QString m_arpProgram;
    QHash<QUrl, QByteArray> m_iconCache;
};
