#include "keyshortcuts.h"
#include "testenv.h"

#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

// The remote page's keyboard filter on a real Qt Quick window: mapped keys act once and are
// consumed; inside a text field (or a popup) every key goes to the field.
class TestUiKeys : public QObject
{
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow *m_window = nullptr;

    QQuickItem *item(const char *name) const { return m_window->findChild<QQuickItem *>(QLatin1String(name)); }
    int itemKeys() const { return m_window->property("itemKeys").toInt(); }

private Q_SLOTS:
    void initTestCase()
    {
        m_engine = std::make_unique<QQmlApplicationEngine>();
        m_engine->loadData(R"(
import QtQuick
import QtQuick.Controls.Basic
ApplicationWindow {
    id: window
    width: 400; height: 300; visible: true
    property int itemKeys: 0
    property int accepted: 0
    Item {
        objectName: "plain"
        width: 100; height: 50
        focus: true
        Keys.onPressed: (event) => { window.itemKeys++; event.accepted = true }
    }
    TextField {
        objectName: "field"
        y: 100; width: 200
        onAccepted: window.accepted++
    }
    Menu {
        objectName: "menu"
        MenuItem { text: "a" }
        MenuItem { text: "b" }
    }
}
)");
        QVERIFY(!m_engine->rootObjects().isEmpty());
        m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().constFirst());
        QVERIFY(m_window);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        m_window->requestActivate();
    }

    void init()
    {
        item("plain")->forceActiveFocus();
        m_window->setProperty("itemKeys", 0);
    }

    void mappedKeysActAndAreConsumed_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("action");
        QTest::newRow("Return") << int(Qt::Key_Return) << "CLICK";
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << "CLICK";
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << "BACK";
        QTest::newRow("Escape") << int(Qt::Key_Escape) << "BACK";
        QTest::newRow("Up") << int(Qt::Key_Up) << "UP";
    }

    void mappedKeysActAndAreConsumed()
    {
        QFETCH(int, key);
        QFETCH(QString, action);
        KeyShortcuts keys;
        keys.setActive(true);
        QSignalSpy triggered(&keys, &KeyShortcuts::triggered);
        QTest::keyClick(m_window, Qt::Key(key));
        QCOMPARE(triggered.count(), 1);
        QCOMPARE(triggered.at(0).at(0).toString(), action);
        QCOMPARE(itemKeys(), 0); // consumed: the focused item never saw it
        // A held key repeats: one action per key-down.
        QTest::keyPress(m_window, Qt::Key(key));
        QTest::keyPress(m_window, Qt::Key(key));
        QTest::keyRelease(m_window, Qt::Key(key));
        QCOMPARE(triggered.count(), 3);
    }

    void otherKeysPassOn()
    {
        KeyShortcuts keys;
        keys.setActive(true);
        QSignalSpy triggered(&keys, &KeyShortcuts::triggered);
        QTest::keyClick(m_window, Qt::Key_A);
        QTest::keyClick(m_window, Qt::Key_Space);
        QTest::keyClick(m_window, Qt::Key_Delete);
        QCOMPARE(triggered.count(), 0);
        QCOMPARE(itemKeys(), 3);
    }

    void openPopupKeepsItsKeys()
    {
        KeyShortcuts keys;
        keys.setActive(true);
        QSignalSpy triggered(&keys, &KeyShortcuts::triggered);
        QObject *menu = m_window->findChild<QObject *>(QStringLiteral("menu"));
        QVERIFY(menu);
        QMetaObject::invokeMethod(menu, "open");
        QTRY_VERIFY(menu->property("opened").toBool());
        QTest::keyClick(m_window, Qt::Key_Down);
        QTest::keyClick(m_window, Qt::Key_Escape); // closes the menu
        QCOMPARE(triggered.count(), 0);
        QTRY_VERIFY(!menu->property("visible").toBool());
    }
};

QTEST_MAIN(TestUiKeys)
#include "test_ui_keys.moc"
