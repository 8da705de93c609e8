#pragma once

#include <QByteArray>
#include <QList>

// A plain TCP client for the listener tests: sends the pieces with pauses in between, then
// collects everything the server writes until it closes the connection.
struct RawExchange {
    QByteArray response; // every byte received
    bool closedByServer = false;
};

RawExchange rawExchange(quint16 port, const QList<QByteArray> &pieces, int pauseMs = 0, int waitMs = 10000);

// "POST /mcp HTTP/1.1" with Content-Length and the given extra header lines.
QByteArray postRequest(const QByteArray &body, const QByteArray &path = "/mcp", const QByteArray &extraHeaders = {});

// The status line, the header lines and the body of a response.
struct RawResponse {
    QByteArray statusLine;
    QList<QByteArray> headerLines;
    QByteArray body;
};
RawResponse splitResponse(const QByteArray &bytes);
