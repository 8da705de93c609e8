#include "application.h"

#include "applog.h"
#include "commandline.h"
#include "devicestore.h"
#include "mainwindow.h"
#include "mcpbridge.h"
#include "mcpserver.h"
#include "mcptools.h"
#include "preferences.h"
#include "protocoltrace.h"
#include "singleinstance.h"
#include "systemevents.h"
#include "tvsession.h"

#include <QCoreApplication>
#include <QGuiApplication>

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
    QGuiApplication app(argc, argv);
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
    Preferences::initShared(QCoreApplication::arguments());
    Preferences &preferences = Preferences::shared();
    // "-trace FILE": a protocol trace for a bug report, from the first message on, this run only.
    if (const std::optional<QString> trace = preferences.launchArgument(QStringLiteral("trace")))
        ProtocolTrace::instance().start(*trace);

    // Built in this order and kept for the whole run; nothing starts before the window shows.
    DeviceStore store(preferences);
    TVSession session(store, preferences);
    MCPTools tools(session);
    MCPServer server(tools, preferences);

    MainWindow window(session, server, preferences);
    if (!window.load())
        return 1;
    QObject::connect(&instance, &SingleInstance::showRequested, &window, &MainWindow::bringToFront);
    // After a suspend the TV connection is dead: the background reconnect need not wait its turn.
    SystemEvents system;
    QObject::connect(&system, &SystemEvents::resumed, &session, &TVSession::reconnectNow);
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
        Preferences::initShared(QCoreApplication::arguments());
        return MCPBridge(Preferences::shared()).run();
    }
    return runWindowApplication(argc, argv);
}
