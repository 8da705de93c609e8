// The HTTP request parser of the MCP listener, fed the bytes a client may send.

#include "fuzzsupport.h"

#include "httprequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray buffer = Fuzz::bytes(data, size);
    const std::optional<HTTPRequest> request = parseRequest(buffer);
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (!request) {
        // Without the end of the head there is never a request.
        return 0;
    }
    FUZZ_CHECK(headEnd >= 0);
    FUZZ_CHECK(!request->method.isEmpty() && !request->path.isEmpty());
    FUZZ_CHECK(!request->method.contains(QLatin1Char(' ')) && !request->path.contains(QLatin1Char(' ')));
    // The body is a slice of what arrived right after the head, never more.
    const qsizetype bodyStart = headEnd + 4;
    FUZZ_CHECK(request->body.size() <= buffer.size() - bodyStart);
    FUZZ_CHECK(buffer.mid(bodyStart, request->body.size()) == request->body);
    for (auto it = request->headers.cbegin(); it != request->headers.cend(); ++it)
        FUZZ_CHECK(it.key() == it.key().toLower());

    // More bytes after a complete request change nothing about it.
    QByteArray longer = buffer;
    longer.append("GET / HTTP/1.1\r\n\r\n");
    const std::optional<HTTPRequest> again = parseRequest(longer);
    FUZZ_CHECK(again && again->method == request->method && again->path == request->path && again->body == request->body
        && again->headers == request->headers);
    return 0;
}
