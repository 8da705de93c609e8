#include "preferences.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

#include <sys/stat.h>

class TestPreferences : public QObject {
    Q_OBJECT

private:
    TestHome m_home;

    static struct stat status(const QString &path)
    {
        struct stat st { };
        ::stat(QFile::encodeName(path).constData(), &st);
        return st;
    }
    static unsigned mode(const QString &path) { return status(path).st_mode & 07777; }
    QString m_file;

    // Writes raw text into the settings file, the way a hand edit or an older version would.
    void writeRaw(const QString &key, const QVariant &value)
    {
        QSettings raw(m_file, QSettings::IniFormat);
        raw.setValue(key, value);
        raw.sync();
    }

private Q_SLOTS:
    void init()
    {
        m_file = m_home.path() + QStringLiteral("/prefs/test.conf");
        QFile::remove(m_file);
    }

    void defaultsWhenAbsent()
    {
        Preferences prefs(m_file);
        QCOMPARE(prefs.mcpEnabled(), true);
        QCOMPARE(prefs.mcpPort(), 8765);
        QVERIFY(!prefs.autoHost());
        QVERIFY(!prefs.autotest());
        QVERIFY(!prefs.snapshotDir());
        QVERIFY(!QFile::exists(m_file)); // reading creates nothing
    }

    void wrongTypesReadAsDefaults_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("expected");
        for (const char *invalid : { "0", "70000", "eighty" })
            QTest::newRow(invalid) << invalid << 8765;
        QTest::newRow("upper bound") << "65535" << 65535;
    }

    void wrongTypesReadAsDefaults()
    {
        QFETCH(QString, port);
        QFETCH(int, expected);
        writeRaw(QStringLiteral("mcpPort"), port);
        writeRaw(QStringLiteral("mcpEnabled"), QStringLiteral("maybe"));
        Preferences prefs(m_file);
        QCOMPARE(prefs.mcpPort(), expected);
        QCOMPARE(prefs.mcpEnabled(), true);
    }

    void launchArgumentsOverrideAndAreNotPersisted()
    {
        {
            Preferences prefs(m_file);
            prefs.setString(QStringLiteral("autotest"), QStringLiteral("basic"));
            prefs.setInteger(QStringLiteral("mcpPort"), 9000);
        }
        const QStringList args { QStringLiteral("corvane-remote"), QStringLiteral("-autotest"), QStringLiteral("full"),
            QStringLiteral("--unknown"), QStringLiteral("-mcpPort"), QStringLiteral("9100"),
            QStringLiteral("-mcpEnabled"), QStringLiteral("NO") };
        Preferences prefs(m_file, args);
        QCOMPARE(prefs.autotest(), std::optional<QString>(QStringLiteral("full")));
        QCOMPARE(prefs.mcpPort(), 9100);
        QCOMPARE(prefs.mcpEnabled(), false);
        prefs.setString(QStringLiteral("appearance"), QStringLiteral("dark")); // forces a save

        Preferences stored(m_file);
        QCOMPARE(stored.autotest(), std::optional<QString>(QStringLiteral("basic")));
        QCOMPARE(stored.mcpPort(), 9000);
        QCOMPARE(stored.mcpEnabled(), true);
    }

    void savesArePrivateAndAtomic()
    {
        Preferences prefs(m_file);
        prefs.setString(QStringLiteral("devices.selected"), QStringLiteral("A"));
        QVERIFY(QFile::exists(m_file));
        QCOMPARE(mode(m_file), 0600u);
        // A save writes a new file and renames it over the old one: a crash leaves either whole.
        const ino_t before = status(m_file).st_ino;
        prefs.setString(QStringLiteral("devices.selected"), QStringLiteral("B"));
        QVERIFY(status(m_file).st_ino != before);
        QCOMPARE(mode(m_file), 0600u); // the new file is private too
    }

    // A file that does not parse is replaced whole by the first save: its bytes are kept beside
    // it first, privately.
    void unparsableFileKeptBeforeTheFirstSave()
    {
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage.append(char((i * 131 + 7) % 251));
        QDir().mkpath(QFileInfo(m_file).absolutePath());
        QFile file(m_file);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(garbage);
        file.close();
        const QString kept = m_file + QStringLiteral(".unreadable");
        const QString logged = QStringLiteral("偏好设置文件无法读取，原始内容保留在 ") + kept;
        Preferences(m_file).setString(QStringLiteral("devices.selected"), QStringLiteral("A"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("[General]\ndevices.selected=A\n")); // the save replaced it whole
        QFile copy(kept);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), garbage);
        QCOMPARE(mode(kept), 0600u);
        QCOMPARE(readLogMessages().count(logged), 1);
        QFile::remove(kept);
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "test_preferences.moc"
