#pragma once

#include "connectionstate.h"
#include "tvapp.h"
#include "tvdevice.h"

#include <QList>
#include <QString>
#include <QVariantList>

#include <optional>

// The decisions of the window's pages that can be wrong: texts by state, which action a button
// takes, address validation, configuration texts, search. Pure functions, so tests call them
// directly; AppController binds them to the live session for QML.
namespace PageLogic {

// ---- window
// An error state's message in the window's language: the session's own messages translated,
// socket and TLS failures (refused, unreachable, timed out, closed, handshake) described.
QString failureText(const QString &message);
// The session's name for what the TV shows, translated where the session named it.
QString sourceName(const QString &currentSourceName);
QString pickerLabel(const std::optional<TVDevice> &selected);
QString pickerEntry(const TVDevice &device);

// ---- remote page
QString remoteBadge(bool standby, const ConnectionState &state);
QString hostLine(const std::optional<TVDevice> &selected);
QString modelText(const std::optional<TVDevice> &selected);
enum class PowerAction { PowerOff, Wake };
PowerAction powerAction(ConnectionState::Kind kind, bool standby);
QString powerTooltip(PowerAction action);
QString muteLabel(bool muted);
QString volumeText(qint64 volume);
// The remote page's line when the TV refused remote-control input; empty without a reason.
QString inputRefusedText(const QString &reason);
// The remote page's notice: why the connection or the wake failed, else the refused input.
QString remoteNotice(const ConnectionState &state, const QString &refusalReason);
// Why the buttons that need a TV are disabled; empty when the TV is ready.
QString needsTVReason(ConnectionState::Kind kind, bool standby);

// ---- apps and inputs page
QString currentInputText(bool ready, const QString &currentSourceName);
QString inputConnectedText(bool connected);
bool titleMatches(const QString &title, const QString &search);

// ---- devices page
QString pairingStatusText(const ConnectionState &state, const std::optional<TVDevice> &selected);
enum class PrimaryAction { Reconnect, Disconnect, Connect };
PrimaryAction primaryAction(ConnectionState::Kind kind);
QString primaryLabel(ConnectionState::Kind kind);
int progressStep(ConnectionState::Kind kind, const std::optional<TVDevice> &selected);
QString pairingTitle(const std::optional<TVDevice> &selected);
QString deviceRowStatus(bool isSelected, const ConnectionState &state, bool paired);
QString discoverySubtitle(bool scanning);
QString emptyListText(bool scanning);
bool isValidIPv4(const QString &text);
QString trimBlanks(const QString &text); // spaces and tabs at both ends
// What is wrong with a typed IPv4 address or MAC; empty when it is fine (or left empty).
QString ipProblem(const QString &text);
QString macProblem(const QString &text);

// ---- settings page
QString pairedText(bool paired);
QString mcpStatusText(bool running);
QString httpConfiguration(const QString &endpointURL);
QString stdioConfiguration(const QString &executablePath);

// The stored record after "保存": the fields the user edited (none: not edited) written over
// the record as it is now, the name trimmed, the MAC normalised (none when it does not parse).
TVDevice savedRecord(
    const TVDevice &record, const std::optional<QString> &nameEdit, const std::optional<QString> &macEdit);

} // namespace PageLogic
