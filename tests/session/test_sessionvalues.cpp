// The session's value types: connection states and the TV's list entries as the TV sends them.
#include "connectionstate.h"
#include "externalinput.h"
#include "tvapp.h"

#include <QJsonDocument>
#include <QSet>
#include <QTest>

namespace {

QJsonObject json(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}

} // namespace

class TestSessionValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void inputsFromTheTV()
    {
        QCOMPARE(ExternalInput::fromJson(json("{\"id\":\"HDMI_1\",\"label\":\"Game\",\"appId\":\"com.webos.app.hdmi1\",\"connected\":true}")),
                 (ExternalInput{"HDMI_1", "Game", "com.webos.app.hdmi1", true}));
        // Only an id: the label is the id, nothing else.
        QCOMPARE(ExternalInput::fromJson(json("{\"id\":\"AV_1\"}")), (ExternalInput{"AV_1", "AV_1", "", false}));
        // Members of the wrong type count as absent.
        QCOMPARE(ExternalInput::fromJson(json("{\"id\":\"X\",\"label\":5,\"appId\":null,\"connected\":\"yes\"}")),
                 (ExternalInput{"X", "X", "", false}));
        QCOMPARE(ExternalInput::fromJson(json("{\"label\":\"no id\"}")), std::nullopt);
        QCOMPARE(ExternalInput::fromJson(json("{\"id\":7}")), std::nullopt);
    }

    void appsFromTheTV()
    {
        const std::optional<TVApp> both =
            TVApp::fromJson(json("{\"id\":\"a\",\"title\":\"A\",\"largeIcon\":\"http://tv/l.png\",\"icon\":\"http://tv/s.png\"}"));
        QVERIFY(both);
        QCOMPARE(both->icon, std::optional<QUrl>(QUrl("http://tv/l.png")));
        QCOMPARE(TVApp::fromJson(json("{\"id\":\"a\",\"title\":\"A\",\"icon\":\"http://tv/s.png\"}"))->icon,
                 std::optional<QUrl>(QUrl("http://tv/s.png")));
        // "largeIcon" present but unusable: "icon" is not consulted.
        QCOMPARE(TVApp::fromJson(json("{\"id\":\"a\",\"title\":\"A\",\"largeIcon\":3,\"icon\":\"http://tv/s.png\"}"))->icon, std::nullopt);
        QCOMPARE(TVApp::fromJson(json("{\"id\":\"a\",\"title\":\"A\",\"icon\":\"http://bad host/x.png\"}"))->icon, std::nullopt);
        QCOMPARE(TVApp::fromJson(json("{\"id\":\"a\"}")), std::nullopt);
        QCOMPARE(TVApp::fromJson(json("{\"title\":\"A\"}")), std::nullopt);

        // Equal and hashed over every field.
        const TVApp plain{"a", "A", std::nullopt};
        const TVApp withIcon{"a", "A", QUrl("http://tv/s.png")};
        QVERIFY(plain != withIcon);
        QCOMPARE(QSet<TVApp>({plain, plain, withIcon}).size(), 2);
        QCOMPARE(QSet<ExternalInput>({{"a", "a", "", false}, {"a", "a", "", true}}).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSessionValues)
#include "test_sessionvalues.moc"
