// The JSON-RPC layer of the MCP service, fed any POST body. The tools sit on a session with no
// saved TV, so every call that needs the TV fails at once and nothing touches the network.

#include "fuzzsupport.h"

#include "appparts.h"
#include "mcpdispatch.h"
#include "testawait.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <algorithm>

namespace {

// A reply to one message: the envelope and exactly one of result and error.
void checkEnvelope(const QJsonValue &reply)
{
    const QJsonObject object = reply.toObject();
    FUZZ_CHECK(
        object.value(QStringLiteral("jsonrpc")) == QStringLiteral("2.0") && object.contains(QStringLiteral("id")));
    FUZZ_CHECK(object.contains(QStringLiteral("result")) != object.contains(QStringLiteral("error")));
}

// Messages that must be answered: objects with an "id" and a text "method".
qsizetype answerable(const QJsonArray &messages)
{
    return std::count_if(messages.begin(), messages.end(), [](const QJsonValue &message) {
        return message.toObject().contains(QStringLiteral("id")) && message[QStringLiteral("method")].isString();
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static AppParts &r = *new AppParts({ .tools = { .connectTimeout = 0.05,
                                             .pressSpacing = std::chrono::milliseconds(0),
                                             .powerOnPoll = std::chrono::milliseconds(1),
                                             .powerOnDeadline = std::chrono::milliseconds(20) } }); // never ends
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    // Every body is answered once; handleBody never throws (a throw leaves the outcome undone).
    const auto outcome = start(handleBody(body, r.tools()));
    FUZZ_CHECK(QTest::qWaitFor([&outcome] { return outcome->done(); }, 10000));
    FUZZ_CHECK(outcome->value && outcome->completions == 1);
    const DispatchReply &reply = *outcome->value;

    const QJsonDocument request = QJsonDocument::fromJson(body);
    const QJsonDocument answer = QJsonDocument::fromJson(reply.body);
    if (reply.status == QLatin1String("202 Accepted")) {
        // Only notifications (and responses) go unanswered.
        FUZZ_CHECK(reply.body.isEmpty() && (!request.isObject() || answerable({ request.object() }) == 0));
    } else if (answer.isArray()) {
        // A batch: one answer for each request in it.
        FUZZ_CHECK(reply.status == QLatin1String("200 OK") && request.isArray());
        FUZZ_CHECK(answer.array().size() == answerable(request.array()));
        for (const QJsonValue &value : answer.array())
            checkEnvelope(value);
    } else {
        FUZZ_CHECK(reply.status == QLatin1String("200 OK") || reply.status == QLatin1String("400 Bad Request"));
        checkEnvelope(answer.object());
        FUZZ_CHECK(reply.status != QLatin1String("200 OK") || !request.isObject()
            || answer[QStringLiteral("id")] == request[QStringLiteral("id")]);
    }

    // No saved TV appeared and the session never got anywhere.
    FUZZ_CHECK(r.store().devices().isEmpty() && !r.session().hasClient());
    return 0;
}
