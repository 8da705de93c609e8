#pragma once

#include "mcptools.h"

#include <QCoro/QCoroTask>

#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QString>

class TVSession;

// One tool of the catalogue: all that tools/list says about it, and the handler tools/call runs.
struct MCPTool {
    using Handler = QCoro::Task<MCPTools::Result> (*)(
        QPointer<TVSession> session, MCPTools::Timings timings, QJsonObject arguments);

    // Reading tools change nothing; "idempotent" marks those whose repeat changes nothing more.
    struct Hints {
        bool readOnly = false;
        bool destructive = false;
        bool idempotent = false;
    };

    QString name;
    QString title;
    QString description;
    QJsonObject inputSchema;
    QJsonObject outputSchema {}; // none when empty
    Hints hints;
    // The argument that carries text typed on the TV (searches, passwords): the log shows only its length.
    QString typedTextArgument {};
    Handler handler = nullptr;

    // The tools/list entry: the title also among the annotations, where clients of the
    // 2025-03-26 revision look for it.
    QJsonObject definition() const;
};

// Every tool, in the order tools/list gives them.
const QList<MCPTool> &mcpToolTable();
// The tool of that name, or none.
const MCPTool *findMCPTool(const QString &name);
