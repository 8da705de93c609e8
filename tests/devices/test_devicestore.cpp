#include "devicestore.h"
#include "preferences.h"
#include "testenv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString kDevices = QStringLiteral("devices.v1");
const QString kSelected = QStringLiteral("devices.selected");
const QString kUnreadable = QStringLiteral("devices.v1.unreadable");

QJsonObject record(const QString &id, const QString &host, const QString &name = QStringLiteral("TV"))
{
    return { { "id", id }, { "name", name }, { "model", "OLED55" }, { "host", host } };
}

// upsertDiscovered with plain texts; a null pointer is an absent value.
TVDevice upsert(DeviceStore &store, const char *host, const char *uuid = nullptr, const char *name = nullptr,
    const char *model = nullptr)
{
    const auto text = [](const char *s) { return s ? std::optional<QString>(QString::fromUtf8(s)) : std::nullopt; };
    return store.upsertDiscovered(QString::fromUtf8(host), text(uuid), text(name), text(model));
}

QByteArray compact(const QJsonArray &array)
{
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

} // namespace

class TestDeviceStore : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    QString m_file;
    std::unique_ptr<Preferences> m_prefs;

    Preferences &prefs() { return *m_prefs; }

    // A second Preferences over the same file sees only what reached the disk.
    std::unique_ptr<Preferences> reopen() { return std::make_unique<Preferences>(m_file); }

private Q_SLOTS:
    void init()
    {
        m_file = m_home.path() + QStringLiteral("/prefs/store.conf");
        m_prefs.reset();
        QFile::remove(m_file);
        m_prefs = std::make_unique<Preferences>(m_file);
    }

    // Records of older builds lose the old default name, unknown keys of newer ones are ignored,
    // and loading writes nothing back but the selection. No stored selection: the first TV. A
    // stored one is kept even when no TV has it.
    void loadAndSelection()
    {
        QJsonObject newer = record("B", "10.0.0.2", QStringLiteral("LG 电视 2"));
        newer["future"] = QJsonArray { 1, 2 };
        prefs().setData(kDevices, compact({ record("A", "10.0.0.1", QStringLiteral("LG 电视")), newer }));
        const QByteArray before = *prefs().data(kDevices);
        {
            DeviceStore store(prefs());
            QCOMPARE(store.devices().size(), 2);
            QCOMPARE(store.devices().at(0).name, QString());
            QCOMPARE(store.devices().at(1).name, QStringLiteral("LG 电视 2"));
            QCOMPARE(*reopen()->data(kDevices), before);
            QCOMPARE(store.selectedID(), std::optional<QString>("A"));
            QCOMPARE(reopen()->string(kSelected), std::optional<QString>("A"));
            QCOMPARE(store.selectedDevice()->host, QStringLiteral("10.0.0.1"));
        }
        prefs().setString(kSelected, QStringLiteral("GONE"));
        DeviceStore store(prefs());
        QCOMPARE(store.selectedID(), std::optional<QString>("GONE"));
        QVERIFY(!store.selectedDevice());
        QCOMPARE(reopen()->string(kSelected), std::optional<QString>("GONE"));
    }

    // One bad record makes the whole list unreadable (the replay of fuzz_devicestore covers other
    // kinds): its bytes are kept aside before the first save replaces them.
    void undecodableListKeptAside()
    {
        QJsonObject noHost = record("B", "x");
        noHost.remove("host");
        const QByteArray bytes = compact({ record("A", "10.0.0.1"), noHost });
        prefs().setData(kDevices, bytes);
        prefs().setString(kSelected, QStringLiteral("A"));
        {
            DeviceStore store(prefs());
            QVERIFY(store.devices().isEmpty());
            QCOMPARE(store.selectedID(), std::optional<QString>("A")); // the stored selection stays
            QCOMPARE(*reopen()->data(kDevices), bytes); // untouched until a save
            upsert(store, "10.0.0.9");
        }
        QCOMPARE(reopen()->data(kUnreadable), std::optional<QByteArray>(bytes));
        QCOMPARE(
            readLogMessages().count(QStringLiteral("已保存的电视列表无法读取，原始数据保留在 devices.v1.unreadable")),
            1);
        QFile::remove(m_home.logFile());

        // A later start reads the list it saved and leaves the kept bytes alone.
        DeviceStore again(prefs());
        QCOMPARE(again.devices().size(), 1);
        QCOMPARE(reopen()->data(kUnreadable), std::optional<QByteArray>(bytes));
        QVERIFY(readLogMessages().isEmpty());
    }

    void upsertSaveReloadRemove()
    {
        DeviceStore store(prefs());
        QSignalSpy changed(&store, &DeviceStore::devicesChanged);
        const TVDevice fresh = upsert(store, "10.0.0.5", "uuid-1");
        QVERIFY(!fresh.id.isEmpty());
        QCOMPARE(changed.size(), 1);

        // Same TV under a new address: one record, new host.
        const TVDevice moved = upsert(store, "10.0.0.6", "uuid-1", "Living", "C1");
        QCOMPARE(store.devices().size(), 1);
        QCOMPARE(moved.id, fresh.id);
        QCOMPARE(moved.host, QStringLiteral("10.0.0.6"));
        QCOMPARE(moved.name, QStringLiteral("Living"));

        // A TV entered by address gets the UUID, name and model discovery finds there.
        const TVDevice typed = upsert(store, "10.0.0.7");
        const TVDevice filled = upsert(store, "10.0.0.7", "uuid-2", "卧室", "B9");
        QCOMPARE(filled.id, typed.id);
        QCOMPARE(filled.tvUUID, std::optional<QString>("uuid-2"));
        QCOMPARE(filled.model, QStringLiteral("B9"));

        // The first record that matches either way wins: here the first one, by UUID, although
        // the second one sits at the address.
        const TVDevice first = upsert(store, "10.0.0.7", "uuid-1");
        QCOMPARE(first.id, fresh.id);
        QCOMPARE(store.devices().size(), 2);
        QCOMPARE(store.devices().at(0).host, QStringLiteral("10.0.0.7"));
        QCOMPARE(store.devices().at(0).name, QStringLiteral("Living")); // absent name leaves it
        QCOMPARE(store.devices().at(1), filled);
        QVERIFY(!store.selectedID()); // upsert never selects

        // A paired TV keeps its name and model; its address still follows.
        TVDevice paired = filled;
        paired.clientKey = QStringLiteral("k\"ey");
        paired.mac = QStringLiteral("00:1a:2b:03:04:5e");
        paired.certFingerprint = QStringLiteral("ab12");
        store.update(paired);
        const TVDevice after = upsert(store, "tv.local", "uuid-2", "[LG] webOS TV", "OTHER");
        QCOMPARE(after.name, QStringLiteral("卧室"));
        QCOMPARE(after.model, QStringLiteral("B9"));
        QCOMPARE(after.host, QStringLiteral("tv.local"));
        store.setSelectedID(after.id);

        // Every field comes back on the next start.
        DeviceStore loaded(prefs());
        QCOMPARE(loaded.devices(), store.devices());
        QCOMPARE(loaded.selectedID(), std::optional<QString>(after.id));

        // Removing the selected TV selects the first one left; removing the last selects none.
        loaded.remove(after.id);
        QCOMPARE(reopen()->string(kSelected), std::optional<QString>(fresh.id));
        loaded.remove(fresh.id);
        QVERIFY(!loaded.selectedID());
        QVERIFY(!reopen()->contains(kSelected));
        QCOMPARE(reopen()->data(kDevices), std::optional<QByteArray>("[]"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceStore)
#include "test_devicestore.moc"
