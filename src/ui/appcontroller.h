#pragma once

#include "applistmodel.h"
#include "devicelistmodel.h"
#include "inputlistmodel.h"
#include "keyshortcuts.h"
#include "pagelogic.h"

#include "enginesingleton.h"

#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <optional>

class DeviceStore;
class TVSession;

// What the window, the remote, apps and devices pages show and do, bound to the live session
// and store: the texts of PageLogic evaluated on the current state, the lists as models, and
// every button's action. QML only lays these out and reaches the session through here alone.
// Each group of properties that changes together has its own signal, so a volume step does not
// re-evaluate the pairing texts.
class AppController : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Controller)
    QML_SINGLETON
    // the saved TVs, for the picker and the devices list
    Q_PROPERTY(DeviceListModel *devices READ devices CONSTANT)
    Q_PROPERTY(AppListModel *apps READ apps CONSTANT)
    Q_PROPERTY(InputListModel *inputs READ inputs CONSTANT)
    // the remote page's keyboard keys, on while that page is shown
    Q_PROPERTY(KeyShortcuts *keyShortcuts READ keyShortcuts CONSTANT)

    // the selected TV
    Q_PROPERTY(QString pickerLabel READ pickerLabel NOTIFY selectionChanged)
    Q_PROPERTY(bool hasSelection READ hasSelection NOTIFY selectionChanged)
    Q_PROPERTY(QString selectedDisplayName READ selectedDisplayName NOTIFY selectionChanged)
    Q_PROPERTY(QString selectedName READ selectedName NOTIFY selectionChanged)
    Q_PROPERTY(QString selectedModel READ selectedModel NOTIFY selectionChanged)
    Q_PROPERTY(QString selectedHost READ selectedHost NOTIFY selectionChanged)
    Q_PROPERTY(QString selectedMAC READ selectedMAC NOTIFY selectionChanged)
    Q_PROPERTY(bool selectedPaired READ selectedPaired NOTIFY selectionChanged)
    Q_PROPERTY(QString hostLine READ hostLine NOTIFY selectionChanged)
    Q_PROPERTY(QString modelText READ modelText NOTIFY selectionChanged)
    Q_PROPERTY(QString pairingTitle READ pairingTitle NOTIFY selectionChanged)
    Q_PROPERTY(QString pairedText READ pairedText NOTIFY selectionChanged)

    // the connection (state, standby, what the TV shows, a refused input)
    Q_PROPERTY(bool isReady READ isReady NOTIFY connectionChanged)
    // "ready", "busy", "error", "offline" or "standby": the colour of status dots
    Q_PROPERTY(QString statusTone READ statusTone NOTIFY connectionChanged)
    Q_PROPERTY(QString statusBadge READ statusBadge NOTIFY connectionChanged)
    Q_PROPERTY(bool powerWakes READ powerWakes NOTIFY connectionChanged)
    Q_PROPERTY(QString powerTooltip READ powerTooltip NOTIFY connectionChanged)
    Q_PROPERTY(QString inputNotice READ inputNotice NOTIFY connectionChanged) // why it failed, or what the TV refused
    Q_PROPERTY(bool tvReady READ tvReady NOTIFY connectionChanged)
    Q_PROPERTY(QString needsTVReason READ needsTVReason NOTIFY connectionChanged) // tooltip of the disabled buttons
    Q_PROPERTY(QString currentInputText READ currentInputText NOTIFY connectionChanged)
    Q_PROPERTY(QString foregroundText READ foregroundText NOTIFY connectionChanged) // empty unless a TV is ready
    Q_PROPERTY(bool pairingStatusIsError READ pairingStatusIsError NOTIFY connectionChanged)
    Q_PROPERTY(QString primaryLabel READ primaryLabel NOTIFY connectionChanged)
    Q_PROPERTY(bool showPinEntry READ showPinEntry NOTIFY connectionChanged)
    // the connection and the selected TV together
    Q_PROPERTY(QString pairingStatus READ pairingStatus NOTIFY pairingChanged)
    Q_PROPERTY(int progressStep READ progressStep NOTIFY pairingChanged)

    Q_PROPERTY(int volume READ volume NOTIFY volumeChanged)
    Q_PROPERTY(QString volumeText READ volumeText NOTIFY volumeChanged)
    Q_PROPERTY(bool muted READ muted NOTIFY mutedChanged)
    Q_PROPERTY(QString muteLabel READ muteLabel NOTIFY mutedChanged)

    // discovery
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY scanningChanged)
    Q_PROPERTY(QString discoverySubtitle READ discoverySubtitle NOTIFY scanningChanged)
    Q_PROPERTY(QString emptyListText READ emptyListText NOTIFY scanningChanged)

public:
    AppController(TVSession &session, QObject *parent = nullptr);

    std::optional<TVDevice> selectedDevice() const;

    DeviceListModel *devices() const { return m_devices; }
    AppListModel *apps() const { return m_apps; }
    InputListModel *inputs() const { return m_inputs; }
    KeyShortcuts *keyShortcuts() const { return m_keys; }

    QString pickerLabel() const;
    bool hasSelection() const { return selectedDevice().has_value(); }
    QString selectedDisplayName() const;
    QString selectedName() const;
    QString selectedModel() const;
    QString selectedHost() const;
    QString selectedMAC() const;
    bool selectedPaired() const;
    QString hostLine() const;
    QString modelText() const;
    QString pairingTitle() const;
    QString pairedText() const;

    bool isReady() const;
    QString statusTone() const;
    QString statusBadge() const;
    bool powerWakes() const;
    QString powerTooltip() const;
    QString inputNotice() const;
    bool tvReady() const { return needsTVReason().isEmpty(); }
    QString needsTVReason() const;
    QString currentInputText() const;
    QString foregroundText() const;
    bool pairingStatusIsError() const;
    QString primaryLabel() const;
    bool showPinEntry() const;
    QString pairingStatus() const;
    int progressStep() const;

    int volume() const;
    QString volumeText() const;
    bool muted() const;
    QString muteLabel() const;

    bool isScanning() const;
    QString discoverySubtitle() const;
    QString emptyListText() const;

    // ---- window
    Q_INVOKABLE void chooseFromPicker(const QString &deviceID);

    // ---- remote page
    Q_INVOKABLE void powerButton();
    Q_INVOKABLE void toggleMute();
    Q_INVOKABLE void volumeUp();
    Q_INVOKABLE void volumeDown();
    Q_INVOKABLE void volumeDragged(double position); // slider moved: writes the field only
    Q_INVOKABLE void volumeReleased(); // slider let go: sends it
    Q_INVOKABLE bool sendText(const QString &text); // true when sent (the box is then emptied)
    Q_INVOKABLE void press(const QString &button);
    Q_INVOKABLE void click();
    Q_INVOKABLE void move(double dx, double dy);
    Q_INVOKABLE void scroll(int steps);

    // ---- apps page
    Q_INVOKABLE void loadAppsPage(); // both lists, only while connected
    Q_INVOKABLE void launchApp(const QString &appID);
    Q_INVOKABLE void switchToInput(const QString &inputID);
    Q_INVOKABLE QString iconSource(const QString &iconURL) const;

    // ---- devices page
    Q_INVOKABLE void selectDevice(const QString &deviceID);
    Q_INVOKABLE void primaryAction();
    Q_INVOKABLE void pairWithPin();
    Q_INVOKABLE bool submitPin(const QString &pin); // true when it was sent
    Q_INVOKABLE bool isValidAddress(const QString &text) const;
    // What is wrong with the typed address, shown under the field that turned red; empty when fine.
    Q_INVOKABLE QString ipProblem(const QString &text) const;
    Q_INVOKABLE bool addManualHost(const QString &text); // true when added (the entry then closes)
    Q_INVOKABLE void removeDevice(const QString &deviceID);
    Q_INVOKABLE void scan();

    static AppController *create(QQmlEngine *, QJSEngine *engine)
    {
        return engineSingleton<AppController>(engine, "Controller");
    }

Q_SIGNALS:
    void selectionChanged();
    void connectionChanged();
    void pairingChanged();
    void volumeChanged();
    void mutedChanged();
    void scanningChanged();

private:
    void connectSelected(bool usePin);

    TVSession &m_session;
    DeviceStore &m_store;
    DeviceListModel *m_devices;
    AppListModel *m_apps;
    InputListModel *m_inputs;
    KeyShortcuts *m_keys;
};
