#pragma once

#include "externalinput.h"
#include "ssapclient.h"
#include "tvapp.h"
#include "tvchannel.h"
#include "tvcommands.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <QCoro/QCoroTask>

class PointerInput;
class TVConnection;
class TVStateMirror;

// The remote actions on the current connection. The awaitable forms throw SSAPError carrying the
// TV's reason (the MCP tools show it); the others are the window's: they return at once and log a
// failure in one line.
class TVActions : public QObject {
    Q_OBJECT

public:
    TVActions(TVConnection &connection, TVStateMirror &mirror, PointerInput &pointer, QObject *parent = nullptr);

    QCoro::Task<QJsonObject> request(QString uri, QJsonObject payload); // throws
    QCoro::Task<QJsonObject> request(TVRequest command); // throws

    void volumeUp();
    void volumeDown();
    void setVolume(); // the mirror's volume, as the slider left it
    void insertText(const QString &text);
    void launch(const TVApp &app);
    void switchInput(const ExternalInput &input);
    void launchApp(const QString &appID); // the app with that id, if listed
    void switchToInput(const QString &inputID); // the input with that id, if listed
    void powerOff();
    QCoro::Task<void> setMuteAsync(bool mute); // the MUTE key when the request fails

    static bool isWebAddress(const QString &url); // http or https with a host: all a TV may open
    QCoro::Task<QString> readSoundOutput();
    QCoro::Task<void> changeSoundOutput(QString output);
    QCoro::Task<void> turnScreen(bool on);
    QCoro::Task<QList<TVChannel>> readChannels();
    QCoro::Task<TVChannel> readCurrentChannel();
    QCoro::Task<void> openChannel(TVChannel channel);
    QCoro::Task<void> openURL(QString url);
    QCoro::Task<void> launchInto(TVApp app, QString contentID, QJsonObject params);
    void refreshSoundOutput();
    void selectSoundOutput(const QString &output);
    void screenOff();
    void screenOn();
    void refreshChannels();
    void tuneChannel(const QString &channelID);
    void openWebPage(const QString &url);
    void launchContent(const QString &appID, const QString &contentID, const QVariantMap &params);

private:
    void sendOneWay(const TVRequest &command);

    TVConnection &m_connection;
    TVStateMirror &m_mirror;
    PointerInput &m_pointer;
};
