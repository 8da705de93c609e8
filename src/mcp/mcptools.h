#pragma once

#include "externalinput.h"
#include "tvapp.h"
#include "tvdevice.h"

#include <QCoro/QCoroTask>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <exception>
#include <optional>

class TVSession;

// The catalogue of MCP tools through which an agent drives the paired TV (the table in
// mcptooltable.h). Every handler works through the one TVSession, exactly as the window does.
class MCPTools {
public:
    // Failures of the handlers' own checks; SSAPError and the session's errors pass through.
    class Failure : public std::exception {
    public:
        enum class Kind { Invalid, UnknownTool };

        static Failure invalid(const QString &message);
        static Failure unknownTool(); // "Unknown tool"

        Kind kind() const { return m_kind; }
        QString description() const { return m_description; }
        const char *what() const noexcept override { return m_utf8.constData(); }

    private:
        Failure(Kind kind, const QString &description);

        Kind m_kind;
        QString m_description;
        QByteArray m_utf8;
    };

    // The handlers' own waits; the defaults are the real values, tests shorten them.
    struct Timings {
        double connectTimeout = 15.0; // seconds, for ensureConnected
        std::chrono::milliseconds pressSpacing { 180 }; // between two button presses
        std::chrono::milliseconds powerOnPoll { 300 }; // while a woken TV comes up
        std::chrono::milliseconds powerOnDeadline { 45000 }; // then "did not come online"
    };

    // A tool's answer: the text every client reads and, from the tools that declare an output
    // schema, the same data as an object.
    struct Result {
        Result(const QString &text) // most tools answer with a text only
            : text(text)
        {
        }
        Result(const QString &text, const QJsonObject &structured)
            : text(text)
            , structured(structured)
        {
        }

        QString text;
        std::optional<QJsonObject> structured;
    };

    explicit MCPTools(TVSession &session);
    MCPTools(TVSession &session, const Timings &timings);

    const Timings &timings() const { return m_timings; }

    // The tool definitions, built once.
    static const QJsonArray &definitions();
    // The 35 accepted button names, in catalogue order.
    static const QStringList &buttons();

    // Runs one tool; returns its result or throws (Failure, SSAPError).
    QCoro::Task<Result> call(const QString &name, const QJsonObject &arguments);

    // The matching rules of the handlers: passes over the whole list, first hit in list order.
    // Saved TV: id or host equal, then the displayed name contains the query (ignoring case).
    static std::optional<TVDevice> matchDevice(const QList<TVDevice> &devices, const QString &query);
    // App: id equal, then title equal ignoring case, then title or id contains it ignoring case.
    static std::optional<TVApp> matchApp(const QList<TVApp> &apps, const QString &query);
    // Input: id equal ignoring case, then label contains it ignoring case.
    static std::optional<ExternalInput> matchInput(const QList<ExternalInput> &inputs, const QString &query);

    // The arguments as the log shows them: text typed on the TV (searches, passwords) only by its
    // length in characters, "<12 个字符>"; everything else as given.
    static QJsonObject loggedArguments(const QString &name, const QJsonObject &arguments);

    // Indented JSON with sorted keys, the form of every listing result.
    static QString jsonText(const QJsonValue &value);

private:
    TVSession &m_session;
    const Timings m_timings;
};
