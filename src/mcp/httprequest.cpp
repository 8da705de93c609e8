#include "httprequest.h"

#include <QStringList>

#include <limits>

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimBlanks(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isBlank(text.at(start)))
        ++start;
    while (end > start && isBlank(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

// A decimal integer with an optional sign and nothing else; none on overflow.
std::optional<qint64> decimal(const QString &text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        const int digit = c.unicode() - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

} // namespace

std::optional<HTTPRequest> parseRequest(const QByteArray &buffer)
{
    static const QByteArray headEnd("\r\n\r\n");
    const qsizetype end = buffer.indexOf(headEnd);
    if (end < 0)
        return std::nullopt;

    const QString head = QString::fromUtf8(buffer.constData(), end);
    const QStringList lines = head.split(QStringLiteral("\r\n"));
    const QStringList requestLine = lines.constFirst().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (requestLine.size() < 2)
        return std::nullopt;

    HTTPRequest request;
    request.method = requestLine.at(0);
    request.path = requestLine.at(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        request.headers.insert(line.left(colon).toLower(), trimBlanks(line.mid(colon + 1)));
    }

    // A negative length is never used as one: such a request has an empty body.
    qint64 length = decimal(request.headers.value(QStringLiteral("content-length"))).value_or(0);
    if (length < 0)
        length = 0;
    const qsizetype bodyStart = end + headEnd.size();
    if (buffer.size() - bodyStart < length)
        return std::nullopt;
    request.body = buffer.mid(bodyStart, length);
    return request;
}
