// Scale: an emulator with many launch points and a store with many saved TVs. Measures the time
// to refresh the app list through the real session, and to load and save the store.
//
// bench_scale --bin DIR --address 127.0.0.43 [--apps 500] [--devices 500] [--rounds 20]

#include "benchsupport.h"

#include "devicestore.h"
#include "preferences.h"
#include "testenv.h"
#include "tvsession.h"
#include "tvsimprocess.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QFileInfo>
#include <QUuid>

#include <optional>

namespace {

using Bench::Clock;

QJsonObject summary(const std::vector<double> &samples)
{
    return { { QStringLiteral("p50Ms"), Bench::quantile(samples, 0.5) },
        { QStringLiteral("p99Ms"), Bench::quantile(samples, 0.99) },
        { QStringLiteral("rounds"), qint64(samples.size()) } };
}

TVDevice savedTV(int index)
{
    TVDevice device;
    device.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    device.name = QStringLiteral("客厅电视 %1").arg(index);
    device.model = QStringLiteral("LG OLED55C1");
    device.host = QStringLiteral("192.168.%1.%2").arg(index / 250).arg(index % 250 + 2);
    device.tvUUID = QUuid::createUuid().toString(QUuid::WithoutBraces);
    device.mac = QStringLiteral("a4:5e:60:%1:%2:%3")
                     .arg(index / 65536 % 256, 2, 16, QLatin1Char('0'))
                     .arg(index / 256 % 256, 2, 16, QLatin1Char('0'))
                     .arg(index % 256, 2, 16, QLatin1Char('0'));
    device.clientKey = QUuid::createUuid().toString(QUuid::Id128);
    device.certFingerprint = QString(64, QLatin1Char('a' + index % 6));
    return device;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestHome home;
    const QStringList arguments = QCoreApplication::arguments();
    const QString address = Bench::option(arguments, QStringLiteral("address"), QStringLiteral("127.0.0.43"));
    const int appCount = Bench::option(arguments, QStringLiteral("apps"), QStringLiteral("500")).toInt();
    const int deviceCount = Bench::option(arguments, QStringLiteral("devices"), QStringLiteral("500")).toInt();
    const int rounds = Bench::option(arguments, QStringLiteral("rounds"), QStringLiteral("20")).toInt();
    qputenv("CORVANE_BIN_DIR", Bench::option(arguments, QStringLiteral("bin"), binDir()).toUtf8());

    // The app list: the session's refresh against an emulator with many launch points.
    TVSimProcess sim({ .address = address,
        .extraArgs = { QStringLiteral("--apps"), QString::number(appCount), QStringLiteral("--pairing-delay"),
            QStringLiteral("0"), QStringLiteral("--control-port"), QStringLiteral("3082") } });
    if (!sim.start())
        Bench::fail(QStringLiteral("tvsim did not start"));
    std::vector<double> refresh;
    {
        Preferences preferences(home.path() + QStringLiteral("/session.conf"));
        DeviceStore store(preferences);
        TVScanner scanner(store);
        TVSession session(store, scanner);
        session.connect(store.upsertDiscovered(address, std::nullopt, std::nullopt, std::nullopt).id);
        if (!Bench::spinUntil([&] { return session.isReady() && session.apps().size() == appCount; }, 30000))
            Bench::fail(QStringLiteral("the session did not list the apps: ") + session.statusText());
        for (int i = 0; i < rounds; ++i) {
            const Clock::time_point before = Clock::now();
            QCoro::waitFor(session.refreshApps());
            refresh.push_back(Bench::ms(before, Clock::now()));
        }
        if (session.apps().size() != appCount)
            Bench::fail(QStringLiteral("the refreshed list has %1 apps").arg(session.apps().size()));
        session.disconnect();
    }
    sim.stop();

    // The store: load and save of many saved TVs in a preferences file on disk.
    const QString path = home.path() + QStringLiteral("/store.conf");
    {
        Preferences preferences(path);
        DeviceStore store(preferences);
        QList<TVDevice> devices;
        for (int i = 0; i < deviceCount; ++i)
            devices.append(savedTV(i));
        store.setDevices(devices);
        store.save();
    }
    std::vector<double> load;
    std::vector<double> save;
    for (int i = 0; i < rounds; ++i) {
        const Clock::time_point before = Clock::now();
        Preferences preferences(path);
        DeviceStore store(preferences);
        const Clock::time_point loaded = Clock::now();
        if (store.devices().size() != deviceCount)
            Bench::fail(QStringLiteral("the store loaded %1 TVs").arg(store.devices().size()));
        store.save();
        const Clock::time_point saved = Clock::now();
        load.push_back(Bench::ms(before, loaded));
        save.push_back(Bench::ms(loaded, saved));
    }

    Bench::print({
        { QStringLiteral("apps"), appCount },
        { QStringLiteral("devices"), deviceCount },
        { QStringLiteral("refreshApps"), summary(refresh) },
        { QStringLiteral("storeLoad"), summary(load) },
        { QStringLiteral("storeSave"), summary(save) },
        { QStringLiteral("storeFileBytes"), QFileInfo(path).size() },
    });
    return 0;
}
