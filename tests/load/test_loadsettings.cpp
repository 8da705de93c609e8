// Start-up with a damaged preferences file: the app starts all the same, keeps the saved TVs it
// could not read where a person can recover them, and says so in the log.

#include "loadrig.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QTest>

using namespace Load;

namespace {

const quint16 kPort = 18970;
const QString kUnreadableLine = QStringLiteral("已保存的电视列表无法读取，原始数据保留在 devices.v1.unreadable");

QByteArray twoPairedTVs()
{
    QJsonArray list;
    for (int i = 1; i <= 2; ++i) {
        list.append(QJsonObject{{QStringLiteral("id"), QStringLiteral("7C1A0E4A-0000-4000-8000-00000000000%1").arg(i)},
                                {QStringLiteral("name"), QStringLiteral("客厅电视 %1").arg(i)},
                                {QStringLiteral("model"), QStringLiteral("LG OLED55C1")},
                                {QStringLiteral("host"), QStringLiteral("192.0.2.%1").arg(i + 10)},
                                {QStringLiteral("clientKey"), QStringLiteral("key-%1").arg(i)},
                                {QStringLiteral("certFingerprint"), QString(64, QLatin1Char('a'))}});
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class TestLoadSettings : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;
    AppProcess m_app;

    // The preferences as a fresh reader sees them after the app has run.
    QVariant stored(const QString &key) const
    {
        QSettings settings(m_home.settingsFile(), QSettings::IniFormat);
        return settings.value(key);
    }

    // The app starts, serves MCP and lists the saved TVs it could read; then it is stopped.
    void startAndStop(const QStringList &arguments = {}, int savedTVs = 0)
    {
        QFile::remove(m_home.logFile());
        QVERIFY2(m_app.start(arguments, kPort), "the app did not start with the damaged preferences");
        QVERIFY(readLogMessages().contains(QStringLiteral("启动 Corvane Remote")));
        QCOMPARE(post(kPort, rpc(QStringLiteral("ping"))).status, 200);
        const ToolResult devices = toolResult(post(kPort, toolCall(QStringLiteral("tv_list_devices"))));
        QVERIFY(devices.ok && !devices.isError);
        QCOMPARE(QJsonDocument::fromJson(devices.text.toUtf8()).array().size(), savedTVs);
        m_app.stop();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString reason = enterPrivateNetwork(); !reason.isEmpty())
            QSKIP(qPrintable(reason));
    }

    void cleanup()
    {
        m_app.stop();
        QFile::remove(m_home.settingsFile());
    }

    void unreadableList()
    {
        QByteArray list;
        for (int i = 0; i < 512; ++i)
            list.append(char((i * 37 + 11) % 256));
        {
            QSettings settings(m_home.settingsFile(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("devices.v1"), list);
            settings.setValue(QStringLiteral("mcpPort"), 1); // overridden on the command line
        }
        startAndStop();
        QVERIFY(readLogMessages().contains(kUnreadableLine));
        QCOMPARE(stored(QStringLiteral("devices.v1.unreadable")).toByteArray(), list);
        // Nothing else was lost on the way.
        QCOMPARE(stored(QStringLiteral("mcpPort")).toInt(), 1);
    }

    void truncatedFile()
    {
        // A file cut short while it was written: the list's line ends in the middle.
        {
            QSettings settings(m_home.settingsFile(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("devices.v1"), twoPairedTVs());
            settings.setValue(QStringLiteral("devices.selected"), QStringLiteral("7C1A0E4A-0000-4000-8000-000000000001"));
        }
        const QByteArray whole = readFile(m_home.settingsFile());
        const qsizetype cut = whole.indexOf("devices.v1=") + 200;
        QVERIFY(cut > 200 && cut < whole.size());
        writeFile(m_home.settingsFile(), whole.left(cut));
        const QByteArray readable = QSettings(m_home.settingsFile(), QSettings::IniFormat)
                                        .value(QStringLiteral("devices.v1")).toString().toUtf8();

        startAndStop();
        QVERIFY(readLogMessages().contains(kUnreadableLine));
        const QVariant kept = stored(QStringLiteral("devices.v1.unreadable"));
        QVERIFY(!kept.toByteArray().isEmpty());
        QCOMPARE(kept.toByteArray(), readable);
        // The pairing data that survived the cut is still there to recover.
        QVERIFY(kept.toByteArray().contains("key-1"));
    }

    void garbageFile()
    {
        // A file that does not parse at all. The first save replaces the whole file, so its
        // bytes are kept beside it before anything is written.
        QByteArray contents;
        for (int i = 0; i < 4096; ++i)
            contents.append(char((i * 131 + 7) % 251));
        writeFile(m_home.settingsFile(), contents);
        // Connecting to a TV saves it: the file is written while the app runs.
        startAndStop({QStringLiteral("-autoHost"), QStringLiteral("127.0.0.46")}, 1);
        const QString kept = m_home.settingsFile() + QStringLiteral(".unreadable");
        QVERIFY(readLogMessages().contains(QStringLiteral("偏好设置文件无法读取，原始内容保留在 ") + kept));
        QCOMPARE(readFile(kept), contents);
        QCOMPARE(QFileInfo(kept).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
        // The file the app wrote reads again, with the TV it saved.
        QCOMPARE(QSettings(m_home.settingsFile(), QSettings::IniFormat).status(), QSettings::NoError);
        QCOMPARE(stored(QStringLiteral("devices.selected")).toString().isEmpty(), false);

        // A later start finds nothing to keep and keeps nothing twice.
        startAndStop({}, 1);
        QVERIFY(!readLogMessages().join(QLatin1Char('\n')).contains(QStringLiteral("偏好设置文件无法读取")));
        QCOMPARE(readFile(kept), contents);
        QFile::remove(kept);
    }
};

QTEST_GUILESS_MAIN(TestLoadSettings)
#include "test_loadsettings.moc"
