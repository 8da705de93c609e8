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

    QJsonArray storedArray()
    {
        const std::optional<QByteArray> bytes = reopen()->data(kDevices);
        if (!bytes)
            return {};
        return QJsonDocument::fromJson(*bytes).array();
    }

private Q_SLOTS:
    void init()
    {
        m_file = m_home.path() + QStringLiteral("/prefs/store.conf");
        m_prefs.reset();
        QFile::remove(m_file);
        m_prefs = std::make_unique<Preferences>(m_file);
    }

    // No stored selection: the first TV, written back. A stored one is kept even when no TV has it.
    void selectionOnLoad()
    {
        prefs().setData(kDevices, compact({ record("A", "10.0.0.1"), record("B", "10.0.0.2") }));
        {
            DeviceStore store(prefs());
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

    // Records of older and newer versions: the old default name is cleared (loading writes nothing
    // back), null optionals and unknown keys are read.
    void olderAndNewerRecordsRead()
    {
        QJsonObject newer = record("C", "10.0.0.3");
        newer["tvUUID"] = QJsonValue::Null;
        newer["clientKey"] = "key";
        newer["future"] = QJsonArray { 1, 2 };
        prefs().setData(kDevices,
            compact({ record("A", "10.0.0.1", QStringLiteral("LG 电视")),
                record("B", "10.0.0.2", QStringLiteral("LG 电视 2")), newer }));
        const QByteArray before = *prefs().data(kDevices);
        DeviceStore store(prefs());
        QCOMPARE(store.devices().size(), 3);
        QCOMPARE(store.devices().at(0).name, QString());
        QCOMPARE(store.devices().at(1).name, QStringLiteral("LG 电视 2"));
        QVERIFY(!store.devices().at(2).tvUUID);
        QCOMPARE(store.devices().at(2).clientKey, std::optional<QString>("key"));
        QCOMPARE(*reopen()->data(kDevices), before);
    }

    void undecodableListKeptAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QJsonObject noHost = record("B", "x");
        noHost.remove("host");
        QTest::newRow("record without host") << compact({ record("A", "10.0.0.1"), noHost });
        QTest::newRow("not JSON") << QByteArray("\x00\xff garbage", 10);
    }

    void undecodableListKeptAside()
    {
        QFETCH(QByteArray, bytes);
        prefs().setData(kDevices, bytes);
        prefs().setString(kSelected, QStringLiteral("A"));
        {
            DeviceStore store(prefs());
            QVERIFY(store.devices().isEmpty());
            QCOMPARE(store.selectedID(), std::optional<QString>("A")); // the stored selection stays
            QCOMPARE(*reopen()->data(kDevices), bytes); // untouched until a save
            upsert(store, "10.0.0.9");
        }
        auto disk = reopen();
        QCOMPARE(disk->data(kUnreadable), std::optional<QByteArray>(bytes));
        QCOMPARE(storedArray().size(), 1);
        const QStringList messages = readLogMessages();
        QCOMPARE(messages.count(QStringLiteral("已保存的电视列表无法读取，原始数据保留在 devices.v1.unreadable")), 1);
        QFile::remove(m_home.logFile());

        // A later start reads the list it saved and leaves the kept bytes alone.
        DeviceStore again(prefs());
        QCOMPARE(again.devices().size(), 1);
        QCOMPARE(reopen()->data(kUnreadable), std::optional<QByteArray>(bytes));
        QVERIFY(readLogMessages().isEmpty());
    }

    void upsertMatchesByUUIDThenHost()
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
        const TVDevice filled = upsert(store, "10.0.0.7", "uuid-2", "Bedroom", "B9");
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
        QCOMPARE(storedArray().size(), 2);
    }

    void pairedRecordKeepsNameAndModel()
    {
        DeviceStore store(prefs());
        TVDevice tv = upsert(store, "10.0.0.5", "u", "Mine", "C1");
        tv.clientKey = QStringLiteral("key");
        store.update(tv);
        const TVDevice after = upsert(store, "10.0.0.8", "u", "[LG] webOS TV", "OTHER");
        QCOMPARE(after.name, QStringLiteral("Mine"));
        QCOMPARE(after.model, QStringLiteral("C1"));
        QCOMPARE(after.host, QStringLiteral("10.0.0.8"));
        QCOMPARE(storedArray().at(0).toObject().value("host").toString(), QStringLiteral("10.0.0.8"));
    }

    void removalMovesSelection()
    {
        DeviceStore store(prefs());
        const TVDevice a = upsert(store, "10.0.0.1");
        const TVDevice b = upsert(store, "10.0.0.2");
        store.setSelectedID(b.id);
        store.remove(b.id);
        QCOMPARE(reopen()->string(kSelected), std::optional<QString>(a.id));

        store.remove(a.id);
        QVERIFY(!store.selectedID());
        QVERIFY(!reopen()->contains(kSelected));
        QCOMPARE(reopen()->data(kDevices), std::optional<QByteArray>("[]"));
    }

    void reloadEqualsSaved()
    {
        QList<TVDevice> saved;
        {
            DeviceStore store(prefs());
            upsert(store, "10.0.0.1", "u1", "名字");
            TVDevice full = upsert(store, "tv.local", "u2", nullptr, "OLED");
            full.mac = QStringLiteral("00:1a:2b:03:04:5e");
            full.clientKey = QStringLiteral("k\"ey");
            full.certFingerprint = QStringLiteral("ab12");
            store.update(full);
            store.setSelectedID(full.id);
            saved = store.devices();
        }
        DeviceStore loaded(prefs());
        QCOMPARE(loaded.devices(), saved);
        QCOMPARE(loaded.selectedID(), std::optional<QString>(saved.at(1).id));
    }
};

QTEST_GUILESS_MAIN(TestDeviceStore)
#include "test_devicestore.moc"
