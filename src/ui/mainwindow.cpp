#include "mainwindow.h"

#include "appcontroller.h"
#include "appearancepreference.h"
#include "applog.h"
#include "devicestore.h"
#include "iconimageprovider.h"
#include "keyshortcuts.h"
#include "mcpserver.h"
#include "pagelogic.h"
#include "preferences.h"
#include "settingscontroller.h"
#include "snapshotroutine.h"
#include "theme.h"
#include "tviconprovider.h"
#include "tvsession.h"
#include "windowlanguage.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTimer>
#include <QtQml>

#include <memory>

void qml_register_types_Corvane_Ui(); // generated for the QML module

namespace {

// The mark of the sidebar, as the window's icon.
QIcon applicationIcon()
{
    QIcon icon;
    for (int size : { 32, 64, 128 }) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient gradient(0, 0, 0, size);
        gradient.setColorAt(0, QColor(0x4C, 0x86, 0xF4));
        gradient.setColorAt(1, QColor(0x24, 0x50, 0xC8));
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.28, size * 0.28);
        const int glyph = size * 5 / 8;
        painter.drawImage((size - glyph) / 2, (size - glyph) / 2,
            IconImageProvider::render(QStringLiteral("mark"), Qt::white, QSize(glyph, glyph)));
        painter.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

void registerTypes()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    qml_register_types_Corvane_Ui();
}

} // namespace

MainWindow::MainWindow(TVSession &session, MCPServer &server, Preferences &preferences,
    SnapshotRoutine::Timings snapshotTimings, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_server(server)
    , m_preferences(preferences)
{
    // Before any text of the window is made.
    WindowLanguage::apply(WindowLanguage::choose(preferences, QLocale::system().uiLanguages()));
    m_theme = new Theme(this);
    // The stored look from the first frame on; the start-up routine applies it again.
    m_theme->setMode(storedAppearance(m_preferences));
    m_controller = new AppController(session, this);
    m_settings = new SettingsController(session, server, preferences, this);
    m_snapshots = new SnapshotRoutine(
        preferences, [this](const QString &page) { showPage(page); }, snapshotTimings, this);
    QPointer<Theme> theme(m_theme);
    setAppearanceApplier([theme](AppearancePreference value) {
        if (theme)
            theme->setMode(value);
    });
}

MainWindow::~MainWindow()
{
    setAppearanceApplier({});
    keyShortcuts()->setActive(false);
    m_engine.reset();
}

bool MainWindow::load(bool show)
{
    registerTypes();
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QGuiApplication::setWindowIcon(applicationIcon());
    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_engine->addImportPath(QStringLiteral("qrc:/")); // the module Corvane.Ui
    // The module's singletons are this window's objects (engineSingleton reads them back).
    m_engine->setProperty("Controller", QVariant::fromValue<QObject *>(m_controller));
    m_engine->setProperty("Settings", QVariant::fromValue<QObject *>(m_settings));
    m_engine->setProperty("Theme", QVariant::fromValue<QObject *>(m_theme));
    if (!show)
        m_engine->setInitialProperties({ { QStringLiteral("visible"), false } });
    m_engine->addImageProvider(QStringLiteral("icon"), new IconImageProvider);
    m_engine->addImageProvider(QStringLiteral("tvicon"), new TVIconProvider(&m_session));
    m_engine->load(QUrl(QStringLiteral("qrc:/Corvane/Ui/Main.qml")));
    QQuickWindow *quickWindow = window();
    if (!quickWindow)
        return false;
    if (!show) {
        QTimer::singleShot(0, this, &MainWindow::runStartup);
        return true;
    }

    // Start-up runs once, when the window's content has first reached the screen.
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(
        quickWindow, &QQuickWindow::frameSwapped, this,
        [this, once] {
            disconnect(*once);
            runStartup();
        },
        Qt::QueuedConnection);
    return true;
}

KeyShortcuts *MainWindow::keyShortcuts() const
{
    return m_controller->keyShortcuts();
}

void MainWindow::setMonitorMode(QObject *monitorMode)
{
    m_settings->setMonitorMode(monitorMode);
}

QQuickWindow *MainWindow::window() const
{
    if (!m_engine || m_engine->rootObjects().isEmpty())
        return nullptr;
    return qobject_cast<QQuickWindow *>(m_engine->rootObjects().constFirst());
}

void MainWindow::showPage(const QString &page)
{
    if (QQuickWindow *w = window())
        w->setProperty("currentPage", page);
}

QString MainWindow::currentPage() const
{
    QQuickWindow *w = window();
    return w ? w->property("currentPage").toString() : QString();
}

void MainWindow::bringToFront()
{
    QQuickWindow *w = window();
    if (!w)
        return;
    w->setWindowStates(w->windowStates() & ~Qt::WindowMinimized);
    w->show();
    w->raise();
    w->requestActivate();
}

void MainWindow::runStartup()
{
    if (m_startupDone)
        return;
    m_startupDone = true;
    appLog(QStringLiteral("启动 Corvane Remote"));
    applyAppearance(storedAppearance(m_preferences));
    // The listener starts unless switched off; its failure stays in lastError.
    if (m_preferences.mcpEnabled())
        m_server.start();

    DeviceStore &store = *m_session.store();
    const QString autoHost = PageLogic::trimBlanks(m_preferences.autoHost().value_or(QString()));
    if (!autoHost.isEmpty()) {
        const TVDevice device = store.upsertDiscovered(autoHost, std::nullopt, std::nullopt, std::nullopt);
        m_session.connect(device.id, false);
    } else if (const auto selected = store.selectedDevice(); selected && selected->isPaired()) {
        m_session.connect(selected->id, false);
    }
    // The scan does not wait for the connection.
    m_session.scanner()->startScan();
    m_snapshots->start();
    Q_EMIT startupFinished();
}
