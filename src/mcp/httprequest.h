#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// One parsed HTTP request: what the listener hands to routing.
struct HTTPRequest {
    QString method; // first token of the request line, case kept
    QString path; // second token, query included
    QHash<QString, QString> headers; // names lower-cased, values trimmed; the last repeat wins
    QByteArray body; // exactly Content-Length bytes
};

// A complete request at the start of buffer, or none while more bytes are needed (also for a
// head that never parses, such as a one-token request line). Bytes after the body are ignored.
// A Content-Length that is absent, not a number or negative counts as 0.
std::optional<HTTPRequest> parseRequest(const QByteArray &buffer);
