#include "application.h"

#include "applog.h"
#include "mcpbridge.h"
#include "preferences.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

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
    Preferences::initShared(QCoreApplication::arguments());

    QQmlApplicationEngine engine;
    engine.load(QUrl(QStringLiteral("qrc:/ui/qml/Main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().constFirst());
    if (window) {
        // Start-up runs once, when the window has first been shown on screen.
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = QObject::connect(window, &QQuickWindow::frameSwapped, window, [once] {
            QObject::disconnect(*once);
            appLog(QStringLiteral("启动 Corvane Remote"));
        });
    }
    const int status = app.exec();
    appLogFlush();
    return status;
}

} // namespace

int runProgram(int argc, char **argv)
{
    // The bridge is chosen before anything else is built: no window, store or listener.
    if (wantsBridge(argc, argv)) {
        QCoreApplication app(argc, argv);
        Preferences::initShared(QCoreApplication::arguments());
        return MCPBridge(Preferences::shared()).run();
    }
    return runWindowApplication(argc, argv);
}
