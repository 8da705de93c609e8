#pragma once

#include <QString>

// Everything the command line can set for one emulated TV.
struct TVSimOptions {
    QString address;
    QString stateDir;
    bool newCert = false;
    bool newUUID = false;
    bool chain = false;
    QString pairing = QStringLiteral("prompt-accept"); // prompt-accept | prompt-reject | prompt-ignore
    int pairingDelayMs = 1000;
    QString pin; // empty: a random 8-digit PIN per pairing
    int inputs = 4;
    int apps = 20;
    int channels = 12;
    QString volumeShape = QStringLiteral("nested"); // nested | flat
    QString firmware = QStringLiteral("classic"); // classic | 2026
    int wakeDelayMs = 3000;
    int controlPort = 3080;
    int httpPort = 3000;
    QString name;
    QString model = QStringLiteral("OLED55C3PCA");
    QString replay; // a protocol trace of the app: answer as the TV recorded in it did
};
