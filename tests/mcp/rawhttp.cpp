#include "rawhttp.h"

#include "httpclient.h"

RawExchange rawExchange(quint16 port, const QList<QByteArray> &pieces, int pauseMs, int waitMs)
{
    const Http::Reply reply = Http::exchange(port, pieces, waitMs, pauseMs);
    return { reply.bytes, reply.closedByServer };
}

QByteArray postRequest(const QByteArray &body, const QByteArray &path, const QByteArray &extraHeaders)
{
    return Http::postRequest(body, path, extraHeaders);
}

RawResponse splitResponse(const QByteArray &bytes)
{
    RawResponse response;
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return response;
    QList<QByteArray> lines = bytes.left(end).split('\n');
    for (QByteArray &line : lines)
        line = line.chopped(line.endsWith('\r') ? 1 : 0);
    response.statusLine = lines.takeFirst();
    response.headerLines = lines;
    response.body = bytes.mid(end + 4);
    return response;
}
