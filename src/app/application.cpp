#include "application.h"

#include "applog.h"
#include "commandline.h"
#include "devicestore.h"
#include "mainwindow.h"
#include "mcpbridge.h"
#include "mcpserver.h"
#include "mcptools.h"
#include "monitormode.h"
#include "platform.h"
#include "preferences.h"
#include "protocoltrace.h"
#include "selftest.h"
#include "singleinstance.h"
#include "systemevents.h"
#include "trayicon.h"
#include "tvsession.h"

#include <QApplication>
#include <QCoreApplication>

namespace {

bool wantsBridge(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--mcp-stdio") == 0)
            return true;
    }
    return false;
}

int runWindowApplication(int argc, char **argv)
{
    QApplication app(argc, argv); // Widgets for the tray icon's menu
    QCoreApplication::setApplicationName(QStringLiteral("Corvane Remote"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.corvane.Remote"));

    // One window app per user: a second one would scan, connect and save the TVs over the first.
    SingleInstance instance;
    switch (instance.claim()) {
    case SingleInstance::Claim::First:
        break;
    case SingleInstance::Claim::HandedOver:
        appLog(QStringLiteral("已有 Corvane Remote 在运行，已唤起其窗口"));
        appLogFlush();
        return 0;
    case SingleInstance::Claim::Unanswered:
        appLog(QStringLiteral("已有 Corvane Remote 在运行，但它没有应答"));
        appLogFlush();
        return 1;
    }
    Preferences preferences(Platform::settingsFilePath(), QCoreApplication::arguments());
    // "-trace FILE": a protocol trace for a bug report, from the first message on, this run only.
    if (const std::optional<QString> trace = preferences.launchArgument(QStringLiteral("trace")))
        ProtocolTrace::instance().start(*trace);

    // Built in this order and kept for the whole run; nothing starts before the window shows.
    DeviceStore store(preferences);
    TVScanner scanner(store);
    TVSession session(store, scanner);
    SelfTest::runWhenSettled(&session, preferences);
    MCPTools tools(session);
    MCPServer server(tools, preferences);

    // After a suspend the TV connection is dead: the background reconnect need not wait its turn.
    SystemEvents system;
    QObject::connect(&system, &SystemEvents::resumed, &session, &TVSession::reconnectNow);
    MonitorMode monitor(session, preferences, system);

    MainWindow window(session, server, preferences);
    window.setMonitorMode(&monitor);
    // In monitor mode the app lives on in the tray; started at login it shows no window.
    TrayIcon tray(session, window);
    auto followMonitorMode = [&] {
        tray.setVisible(monitor.enabled());
        app.setQuitOnLastWindowClosed(!monitor.enabled());
    };
    QObject::connect(&monitor, &MonitorMode::enabledChanged, &tray, followMonitorMode);
    const bool background = monitor.enabled() && MonitorMode::startsInBackground(QCoreApplication::arguments());
    if (!window.load(!background))
        return 1;
    followMonitorMode();
    QObject::connect(&instance, &SingleInstance::showRequested, &window, &MainWindow::bringToFront);
    // After the start-up routine, whose connection attempt the wake at login lets finish first.
    QObject::connect(&window, &MainWindow::startupFinished, &monitor, [&] { monitor.start(background); });
    const int status = app.exec();
    appLogFlush();
    return status;
}

} // namespace

int runProgram(int argc, char **argv)
{
    if (const std::optional<int> status = handleInfoOptions(argc, argv))
        return *status;
    // The bridge is chosen before anything else is built: no window, store or listener.
    if (wantsBridge(argc, argv)) {
        QCoreApplication app(argc, argv);
        Preferences preferences(Platform::settingsFilePath(), QCoreApplication::arguments());
        return MCPBridge(preferences).run();
    }
    return runWindowApplication(argc, argv);
}
