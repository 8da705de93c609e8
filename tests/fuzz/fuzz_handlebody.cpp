// The JSON-RPC layer of the MCP service, fed any POST body. The tools sit on a session with no
// saved TV, so every call that needs the TV fails at once and nothing touches the network.

#include "fuzzsupport.h"

#include "devicestore.h"
#include "mcpdispatch.h"
#include "mcptools.h"
#include "preferences.h"
#include "tvsession.h"

#include <QCoro/QCoroTask>

#include <QJsonArray>
#include <QJsonDocument>

#include <memory>

namespace {

struct Rig {
    Preferences preferences { Fuzz::temporaryPath(QStringLiteral("handlebody")) };
    DeviceStore store { preferences };
    TVScanner scanner { store };
    TVSession session { store, scanner };
    MCPTools tools { session,
        { .connectTimeout = 0.05,
            .pressSpacing = std::chrono::milliseconds(0),
            .powerOnPoll = std::chrono::milliseconds(1),
            .powerOnDeadline = std::chrono::milliseconds(20) } };
};

Rig &rig()
{
    static Rig *instance = new Rig; // lives as long as the process
    return *instance;
}

// A reply to one message: the envelope and exactly one of result and error.
void checkEnvelope(const QJsonValue &value)
{
    FUZZ_CHECK(value.isObject());
    const QJsonObject reply = value.toObject();
    FUZZ_CHECK(reply.value(QStringLiteral("jsonrpc")) == QStringLiteral("2.0"));
    FUZZ_CHECK(reply.contains(QStringLiteral("id")));
    FUZZ_CHECK(reply.contains(QStringLiteral("result")) != reply.contains(QStringLiteral("error")));
    if (reply.contains(QStringLiteral("error"))) {
        const QJsonObject error = reply.value(QStringLiteral("error")).toObject();
        FUZZ_CHECK(error.value(QStringLiteral("code")).isDouble());
        FUZZ_CHECK(error.value(QStringLiteral("message")).isString());
    }
}

// Messages in the body that must be answered: objects with an "id" and a text "method".
qsizetype answerable(const QJsonArray &messages)
{
    qsizetype count = 0;
    for (const QJsonValue &value : messages) {
        const QJsonObject message = value.toObject();
        if (message.contains(QStringLiteral("id")) && message.value(QStringLiteral("method")).isString())
            ++count;
    }
    return count;
}

// QCoro::waitFor never returns from a task that throws; handleBody must not throw at all.
QCoro::Task<DispatchReply> handled(QByteArray body, MCPTools &tools)
{
    try {
        co_return co_await handleBody(std::move(body), tools);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "handleBody threw: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "handleBody threw\n");
    }
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Rig &r = rig();
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const DispatchReply reply = QCoro::waitFor(handled(body, r.tools));

    const QJsonDocument request = QJsonDocument::fromJson(body);
    if (reply.status == QLatin1String("202 Accepted")) {
        FUZZ_CHECK(reply.body.isEmpty());
    } else {
        FUZZ_CHECK(reply.status == QLatin1String("200 OK") || reply.status == QLatin1String("400 Bad Request"));
        QJsonParseError error {};
        const QJsonDocument answer = QJsonDocument::fromJson(reply.body, &error);
        FUZZ_CHECK(error.error == QJsonParseError::NoError);
        if (answer.isArray()) {
            FUZZ_CHECK(reply.status == QLatin1String("200 OK") && request.isArray());
            FUZZ_CHECK(answer.array().size() == answerable(request.array()));
            for (const QJsonValue &value : answer.array())
                checkEnvelope(value);
        } else {
            checkEnvelope(answer.object());
        }
        if (reply.status == QLatin1String("200 OK") && request.isObject()) {
            FUZZ_CHECK(answer.isObject());
            FUZZ_CHECK(answer.object().value(QStringLiteral("id")) == request.object().value(QStringLiteral("id")));
        }
    }
    if (request.isObject() && reply.status == QLatin1String("202 Accepted"))
        FUZZ_CHECK(answerable(QJsonArray { request.object() }) == 0);

    // No saved TV appeared and the session never got anywhere.
    FUZZ_CHECK(r.store.devices().isEmpty());
    FUZZ_CHECK(!r.session.hasClient());
    return 0;
}
