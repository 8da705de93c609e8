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

#include <algorithm>
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
    return std::count_if(messages.begin(), messages.end(), [](const QJsonValue &value) {
        const QJsonObject message = value.toObject();
        return message.contains(QStringLiteral("id")) && message.value(QStringLiteral("method")).isString();
    });
}

// QCoro::waitFor never returns from a task that throws; handleBody must not throw at all.
QCoro::Task<DispatchReply> handled(QByteArray body, MCPTools &tools)
{
    try {
        co_return co_await handleBody(std::move(body), tools);
    } catch (...) {
        std::fprintf(stderr, "handleBody threw\n");
    }
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Rig &r = *new Rig; // lives as long as the process
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const DispatchReply reply = QCoro::waitFor(handled(body, r.tools));

    const QJsonDocument request = QJsonDocument::fromJson(body);
    if (reply.status == QLatin1String("202 Accepted")) {
        // Only notifications (and responses) go unanswered.
        FUZZ_CHECK(reply.body.isEmpty());
        FUZZ_CHECK(!request.isObject() || answerable(QJsonArray { request.object() }) == 0);
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

    // No saved TV appeared and the session never got anywhere.
    FUZZ_CHECK(r.store.devices().isEmpty());
    FUZZ_CHECK(!r.session.hasClient());
    return 0;
}
