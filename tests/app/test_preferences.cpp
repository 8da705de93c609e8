#include "preferences.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

class TestPreferences : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    const QString m_file = m_home.path() + QStringLiteral("/prefs/test.conf");

    static struct stat status(const QString &path)
    {
        struct stat st { };
        ::stat(QFile::encodeName(path).constData(), &st);
        return st;
    }
    static unsigned mode(const QString &path) { return status(path).st_mode & 07777; }

private Q_SLOTS:
    // Defaults, private and atomic saves, values that do not parse, and launch arguments that
    // win for one run without being saved.
    void storedValuesAndLaunchArguments()
    {
        {
            Preferences prefs(m_file);
            QCOMPARE(prefs.mcpEnabled(), true);
            QCOMPARE(prefs.mcpPort(), 8765);
            QVERIFY(!prefs.autoHost());
            QVERIFY(!prefs.autotest());
            QVERIFY(!prefs.snapshotDir());
            QVERIFY(!QFile::exists(m_file)); // reading creates nothing

            prefs.setString(QStringLiteral("autotest"), QStringLiteral("basic"));
            QCOMPARE(mode(m_file), 0600u);
            // A save writes a new file and renames it over the old one: a crash leaves either whole.
            const ino_t before = status(m_file).st_ino;
            prefs.setInteger(QStringLiteral("mcpPort"), 9000);
            QVERIFY(status(m_file).st_ino != before);
            QCOMPARE(mode(m_file), 0600u); // the new file is private too
            prefs.setString(QStringLiteral("mcpEnabled"), QStringLiteral("maybe"));
        }
        const QStringList args { "corvane-remote", "-autotest", "full", "--unknown", "-mcpPort", "9100", "-mcpEnabled",
            "NO" };
        Preferences prefs(m_file, args);
        QCOMPARE(prefs.autotest(), std::optional<QString>(QStringLiteral("full")));
        QCOMPARE(prefs.mcpPort(), 9100);
        QCOMPARE(prefs.mcpEnabled(), false);
        prefs.setString(QStringLiteral("appearance"), QStringLiteral("dark")); // forces a save

        Preferences stored(m_file);
        QCOMPARE(stored.autotest(), std::optional<QString>(QStringLiteral("basic")));
        QCOMPARE(stored.mcpPort(), 9000);
        QCOMPARE(stored.mcpEnabled(), true); // "maybe" is no boolean: the default
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
        Preferences(m_file).setString(QStringLiteral("devices.selected"), QStringLiteral("A"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("[General]\ndevices.selected=A\n"));
        QFile copy(kept);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), garbage);
        QCOMPARE(mode(kept), 0600u);
        QCOMPARE(readLogMessages().count(QStringLiteral("偏好设置文件无法读取，原始内容保留在 ") + kept), 1);
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "test_preferences.moc"
