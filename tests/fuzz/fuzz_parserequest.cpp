// The HTTP request parser of the MCP listener, fed the bytes a client may send.

#include "fuzzsupport.h"

#include "httprequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray buffer = Fuzz::bytes(data, size);
    const std::optional<HTTPRequest> request = parseRequest(buffer);
    if (!request)
        return 0;
    // The body is a slice of what arrived right after the head, never more.
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    FUZZ_CHECK(headEnd >= 0 && !request->method.isEmpty() && !request->path.isEmpty());
    FUZZ_CHECK(buffer.mid(headEnd + 4, request->body.size()) == request->body);

    // More bytes after a complete request (the next one on the connection) change nothing.
    const std::optional<HTTPRequest> again = parseRequest(buffer + "GET / HTTP/1.1\r\n\r\n");
    FUZZ_CHECK(again && again->method == request->method && again->path == request->path && again->body == request->body
        && again->headers == request->headers);
    return 0;
}
