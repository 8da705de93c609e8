#pragma once

#include "pagelogic.h"

#include <QObject>
#include <QString>
#include <QVariantList>

#include <optional>

class DeviceStore;
class MCPServer;
class Preferences;
class TVSession;

// What the pages show and do, bound to the live session, store and MCP server: the texts of
// PageLogic evaluated on the current state (one change signal for all of them) and every
// button's action. QML only lays these out.
class AppController : public QObject {
    Q_OBJECT
    // window
    Q_PROPERTY(QString pickerLabel READ pickerLabel NOTIFY changed)
    Q_PROPERTY(QVariantList pickerEntries READ pickerEntries NOTIFY changed)
    Q_PROPERTY(bool hasSelection READ hasSelection NOTIFY changed)
    Q_PROPERTY(QString selectedDisplayName READ selectedDisplayName NOTIFY changed)
    Q_PROPERTY(QString selectedName READ selectedName NOTIFY changed)
    Q_PROPERTY(QString selectedModel READ selectedModel NOTIFY changed)
    Q_PROPERTY(QString selectedHost READ selectedHost NOTIFY changed)
    Q_PROPERTY(QString selectedMac READ selectedMac NOTIFY changed)
    Q_PROPERTY(bool selectedPaired READ selectedPaired NOTIFY changed)
    // "ready", "busy", "error", "offline" or "standby": the colour of status dots
    Q_PROPERTY(QString statusTone READ statusTone NOTIFY changed)
    // remote page
    Q_PROPERTY(QString hostLine READ hostLine NOTIFY changed)
    Q_PROPERTY(QString modelText READ modelText NOTIFY changed)
    Q_PROPERTY(QString statusBadge READ statusBadge NOTIFY changed)
    Q_PROPERTY(bool powerWakes READ powerWakes NOTIFY changed)
    Q_PROPERTY(QString powerTooltip READ powerTooltip NOTIFY changed)
    Q_PROPERTY(QString muteLabel READ muteLabel NOTIFY changed)
    Q_PROPERTY(QString volumeText READ volumeText NOTIFY changed)
    Q_PROPERTY(QString inputNotice READ inputNotice NOTIFY changed) // why it failed, or what the TV refused
    Q_PROPERTY(bool tvReady READ tvReady NOTIFY changed)
    Q_PROPERTY(QString needsTVReason READ needsTVReason NOTIFY changed) // tooltip of the disabled buttons
    // apps page
    Q_PROPERTY(QString currentInputText READ currentInputText NOTIFY changed)
    Q_PROPERTY(QString foregroundText READ foregroundText NOTIFY changed) // empty unless a TV is ready
    Q_PROPERTY(QVariantList inputRows READ inputRows NOTIFY changed)
    // devices page
    Q_PROPERTY(QString pairingStatus READ pairingStatus NOTIFY changed)
    Q_PROPERTY(bool pairingStatusIsError READ pairingStatusIsError NOTIFY changed)
    Q_PROPERTY(QString primaryLabel READ primaryLabel NOTIFY changed)
    Q_PROPERTY(int progressStep READ progressStep NOTIFY changed)
    Q_PROPERTY(QString pairingTitle READ pairingTitle NOTIFY changed)
    Q_PROPERTY(QString discoverySubtitle READ discoverySubtitle NOTIFY changed)
    Q_PROPERTY(QString emptyListText READ emptyListText NOTIFY changed)
    Q_PROPERTY(QVariantList deviceRows READ deviceRows NOTIFY changed)
    Q_PROPERTY(bool showPinEntry READ showPinEntry NOTIFY changed)
    // settings page
    Q_PROPERTY(QString pairedText READ pairedText NOTIFY changed)
    // The two fields of the TV panel: what the user typed, else the record as it is now.
    Q_PROPERTY(QString nameField READ nameField NOTIFY fieldsChanged)
    Q_PROPERTY(QString macField READ macField NOTIFY fieldsChanged)
    Q_PROPERTY(bool mcpEnabled READ mcpEnabled NOTIFY mcpEnabledChanged)
    Q_PROPERTY(QString mcpStatus READ mcpStatus NOTIFY changed)
    Q_PROPERTY(QString mcpError READ mcpError NOTIFY changed)
    Q_PROPERTY(QString endpointURL READ endpointURL CONSTANT)
    Q_PROPERTY(QString copied READ copied NOTIFY copiedChanged)
    Q_PROPERTY(QString appearance READ appearance NOTIFY appearanceChanged)
    Q_PROPERTY(QString logPath READ logPath CONSTANT)
    // The protocol trace: on or off (never stored), and its file (the last one once it is off).
    Q_PROPERTY(bool tracing READ tracing NOTIFY traceChanged)
    Q_PROPERTY(QString tracePath READ tracePath NOTIFY traceChanged)

public:
    AppController(TVSession &session, MCPServer &server, Preferences &preferences, QObject *parent = nullptr);

    std::optional<TVDevice> selectedDevice() const;

    QString pickerLabel() const;
    QVariantList pickerEntries() const;
    bool hasSelection() const { return selectedDevice().has_value(); }
    QString selectedDisplayName() const;
    QString selectedName() const;
    QString selectedModel() const;
    QString selectedHost() const;
    QString selectedMac() const;
    bool selectedPaired() const;
    QString statusTone() const;

    QString hostLine() const;
    QString modelText() const;
    QString statusBadge() const;
    bool powerWakes() const;
    QString powerTooltip() const;
    QString muteLabel() const;
    QString volumeText() const;
    QString inputNotice() const;
    bool tvReady() const { return needsTVReason().isEmpty(); }
    QString needsTVReason() const;

    QString currentInputText() const;
    QString foregroundText() const;
    QVariantList inputRows() const;

    QString pairingStatus() const;
    bool pairingStatusIsError() const;
    QString primaryLabel() const;
    int progressStep() const;
    QString pairingTitle() const;
    QString discoverySubtitle() const;
    QString emptyListText() const;
    QVariantList deviceRows() const;
    bool showPinEntry() const;

    QString pairedText() const;
    QString nameField() const;
    QString macField() const;
    bool mcpEnabled() const;
    QString mcpStatus() const;
    QString mcpError() const;
    QString endpointURL() const;
    QString copied() const { return m_copied; }
    QString appearance() const;
    QString logPath() const;
    bool tracing() const;
    QString tracePath() const;

    // ---- window
    Q_INVOKABLE void chooseFromPicker(const QString &deviceID);

    // ---- remote page
    Q_INVOKABLE void powerButton();
    Q_INVOKABLE void toggleMute();
    Q_INVOKABLE void volumeDragged(double position); // slider moved: writes the field only
    Q_INVOKABLE void volumeReleased(); // slider let go: sends it
    Q_INVOKABLE bool sendText(const QString &text); // true when sent (the box is then emptied)

    // ---- apps page
    Q_INVOKABLE void loadAppsPage(); // both lists, only while connected
    Q_INVOKABLE QVariantList filterApps(const QVariantList &apps, const QString &search) const;
    Q_INVOKABLE QString iconSource(const QString &iconURL) const;

    // ---- devices page
    Q_INVOKABLE void selectDevice(const QString &deviceID);
    Q_INVOKABLE void primaryAction();
    Q_INVOKABLE void pairWithPin();
    Q_INVOKABLE bool submitPin(const QString &pin); // true when it was sent
    Q_INVOKABLE bool isValidAddress(const QString &text) const;
    Q_INVOKABLE bool addManualHost(const QString &text); // true when added (the entry then closes)
    Q_INVOKABLE void removeDevice(const QString &deviceID);
    Q_INVOKABLE void scan();

    // ---- settings page
    Q_INVOKABLE void resetSettingsPage(); // the page opens: no copy marker, no edits
    Q_INVOKABLE void editNameField(const QString &text);
    Q_INVOKABLE void editMacField(const QString &text);
    Q_INVOKABLE void saveSelected(); // writes only the edited fields; the fields then follow the record
    Q_INVOKABLE bool isValidMac(const QString &text) const; // empty counts as valid (no MAC)
    // What is wrong with the typed text, shown under a field that turned red; empty when fine.
    Q_INVOKABLE QString macProblem(const QString &text) const;
    Q_INVOKABLE QString ipProblem(const QString &text) const;
    Q_INVOKABLE void wakeSelected();
    Q_INVOKABLE void deleteSelected();
    Q_INVOKABLE void setMcpEnabled(bool enabled);
    Q_INVOKABLE void copyHttpConfiguration();
    Q_INVOKABLE void copyStdioConfiguration();
    Q_INVOKABLE void setAppearanceChoice(const QString &raw);
    Q_INVOKABLE void revealLog();
    // On: to the file of the launch argument "-trace", else to a new file in the log folder.
    Q_INVOKABLE void setTracing(bool on);
    Q_INVOKABLE void revealTrace();

    // The two configuration texts as the copy buttons put them on the clipboard.
    QString httpConfiguration() const;
    QString stdioConfiguration() const;

Q_SIGNALS:
    void changed();
    void fieldsChanged();
    void mcpEnabledChanged();
    void copiedChanged();
    void appearanceChanged();
    void traceChanged();

private:
    void connectSelected(bool usePin);
    void setCopied(const QString &which, const QString &text);
    void dropEdits();

    TVSession &m_session;
    DeviceStore &m_store;
    MCPServer &m_server;
    Preferences &m_preferences;
    QString m_copied;
    // The settings fields the user has typed into since the page opened, the selection changed
    // or the last save; the others show the record.
    std::optional<QString> m_nameEdit;
    std::optional<QString> m_macEdit;
};
