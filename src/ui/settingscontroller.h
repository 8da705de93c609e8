#pragma once

#include "tvdevice.h"

#include "enginesingleton.h"

#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <optional>

class DeviceStore;
class MCPServer;
class Preferences;
class TVSession;

// The settings page: the selected TV's name and MAC fields, the MCP service, appearance, the
// log and the protocol trace.
class SettingsController : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Settings)
    QML_SINGLETON
    // The two fields of the TV panel: what the user typed, else the record as it is now.
    Q_PROPERTY(QString nameField READ nameField NOTIFY fieldsChanged)
    Q_PROPERTY(QString macField READ macField NOTIFY fieldsChanged)
    Q_PROPERTY(bool mcpEnabled READ mcpEnabled NOTIFY mcpEnabledChanged)
    Q_PROPERTY(bool mcpRunning READ mcpRunning NOTIFY mcpStatusChanged)
    Q_PROPERTY(QString mcpStatus READ mcpStatus NOTIFY mcpStatusChanged)
    Q_PROPERTY(QString mcpError READ mcpError NOTIFY mcpStatusChanged)
    Q_PROPERTY(QString endpointURL READ endpointURL CONSTANT)
    Q_PROPERTY(QString copied READ copied NOTIFY copiedChanged)
    Q_PROPERTY(QString appearance READ appearance NOTIFY appearanceChanged)
    Q_PROPERTY(QString logPath READ logPath CONSTANT)
    // The protocol trace: on or off (never stored), and its file (the last one once it is off).
    Q_PROPERTY(bool tracing READ tracing NOTIFY traceChanged)
    Q_PROPERTY(QString tracePath READ tracePath NOTIFY traceChanged)
    // The program's monitor mode, or null where the program has none.
    Q_PROPERTY(QObject *monitorMode READ monitorMode CONSTANT)

public:
    SettingsController(TVSession &session, MCPServer &server, Preferences &preferences, QObject *parent = nullptr);

    QString nameField() const;
    QString macField() const;
    bool mcpEnabled() const;
    bool mcpRunning() const;
    QString mcpStatus() const;
    QString mcpError() const;
    QString endpointURL() const;
    QString copied() const { return m_copied; }
    QString appearance() const;
    QString logPath() const;
    bool tracing() const;
    QString tracePath() const;
    QObject *monitorMode() const { return m_monitorMode; }
    void setMonitorMode(QObject *monitorMode) { m_monitorMode = monitorMode; }

    Q_INVOKABLE void resetSettingsPage(); // the page opens: no copy marker, no edits
    Q_INVOKABLE void editNameField(const QString &text);
    Q_INVOKABLE void editMACField(const QString &text);
    Q_INVOKABLE void saveSelected(); // writes only the edited fields; the fields then follow the record
    Q_INVOKABLE bool isValidMAC(const QString &text) const; // empty counts as valid (no MAC)
    // What is wrong with the typed MAC, shown under the field that turned red; empty when fine.
    Q_INVOKABLE QString macProblem(const QString &text) const;
    Q_INVOKABLE void wakeSelected();
    Q_INVOKABLE void deleteSelected();
    Q_INVOKABLE void setMCPEnabled(bool enabled);
    Q_INVOKABLE void copyHTTPConfiguration();
    Q_INVOKABLE void copyStdioConfiguration();
    Q_INVOKABLE void setAppearanceChoice(const QString &raw);
    Q_INVOKABLE void revealLog();
    // On: to the file of the launch argument "-trace", else to a new file in the log folder.
    Q_INVOKABLE void setTracing(bool on);
    Q_INVOKABLE void revealTrace();

    // The two configuration texts as the copy buttons put them on the clipboard.
    QString httpConfiguration() const;
    QString stdioConfiguration() const;

    static SettingsController *create(QQmlEngine *, QJSEngine *engine)
    {
        return engineSingleton<SettingsController>(engine, "Settings");
    }

Q_SIGNALS:
    void fieldsChanged();
    void mcpEnabledChanged();
    void mcpStatusChanged();
    void copiedChanged();
    void appearanceChanged();
    void traceChanged();

private:
    std::optional<TVDevice> selectedDevice() const;
    void setCopied(const QString &which, const QString &text);
    void dropEdits();

    TVSession &m_session;
    DeviceStore &m_store;
    MCPServer &m_server;
    Preferences &m_preferences;
    QString m_copied;
    QPointer<QObject> m_monitorMode;
    // The fields the user has typed into since the page opened, the selection changed or the
    // last save; the others show the record.
    std::optional<QString> m_nameEdit;
    std::optional<QString> m_macEdit;
};
