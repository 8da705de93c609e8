#include "ssdpdiscovery.h"

#include "applog.h"
#include "localnetwork.h"
#include "protocoltrace.h"

#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <QUdpSocket>
#include <QUrl>

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroNetworkReply>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace SSDPDiscovery {

namespace {

constexpr const char *kMulticastAddress = "239.255.255.250";
constexpr quint16 kSSDPPort = 1900;
constexpr int kReceiveBufferSize = 4096;
constexpr int kReceiveTimeoutMs = 300;
constexpr int kMulticastTTL = 2;
// A description document is a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxDescriptionBytes = 1024 * 1024;

QString withoutUUIDPrefix(QString text)
{
    return text.remove(QStringLiteral("uuid:"));
}

// Only plain web addresses: an answer from the network must not make the scan read local files.
bool isFetchableURL(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// Some devices serve their description with an error status; only a transfer that broke off
// (refused, cut short, over the size cap, timed out) leaves no usable body.
bool isAnsweredWithBody(QNetworkReply::NetworkError error)
{
    return error == QNetworkReply::NoError
        || (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError)
        || (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

QCoro::Task<std::optional<QString>> fetchDescription(QNetworkAccessManager &network, const QUrl &url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(); // Qt's default, so a silent device cannot stall the scan
    QPointer<QNetworkReply> reply = network.get(request);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxDescriptionBytes && reply)
            reply->abort();
    });
    co_await reply.get();
    if (!reply)
        co_return std::nullopt;
    reply->deleteLater();
    if (!isAnsweredWithBody(reply->error()))
        co_return std::nullopt;
    co_return QString::fromUtf8(reply->readAll());
}

QString hostListText(const QList<Found> &records)
{
    QStringList quoted;
    for (const Found &found : records)
        quoted.append(QLatin1Char('"') + found.host + QLatin1Char('"'));
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}

} // namespace

QByteArray searchDatagram()
{
    return QByteArrayLiteral("M-SEARCH * HTTP/1.1\r\n"
                             "HOST: 239.255.255.250:1900\r\n"
                             "MAN: \"ssdp:discover\"\r\n"
                             "ST: urn:lge-com:service:webos-second-screen:1\r\n"
                             "MX: 2\r\n"
                             "\r\n");
}

QHash<QString, QString> parseHeaders(const QString &text)
{
    QHash<QString, QString> headers;
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    for (const QString &line : lines) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        QStringView value = QStringView(line).mid(colon + 1);
        while (!value.isEmpty() && (value.front() == u' ' || value.front() == u'\t'))
            value = value.mid(1);
        while (!value.isEmpty() && (value.back() == u' ' || value.back() == u'\t'))
            value.chop(1);
        headers.insert(line.left(colon).toLower(), value.toString());
    }
    return headers;
}

std::optional<QString> extractTag(const QString &tag, const QString &xml)
{
    const QString open = QLatin1Char('<') + tag + QLatin1Char('>');
    const QString close = QStringLiteral("</") + tag + QLatin1Char('>');
    const qsizetype start = xml.indexOf(open);
    if (start < 0)
        return std::nullopt;
    const qsizetype valueStart = start + open.size();
    const qsizetype end = xml.indexOf(close, valueStart);
    if (end < 0)
        return std::nullopt;
    return xml.mid(valueStart, end - valueStart);
}

Found parseAnswer(const QString &host, const QString &text)
{
    const QHash<QString, QString> headers = parseHeaders(text);
    Found found;
    found.host = host;
    if (auto usn = headers.constFind(QStringLiteral("usn")); usn != headers.constEnd()) {
        const qsizetype separator = usn->indexOf(QStringLiteral("::"));
        found.uuid = withoutUUIDPrefix(separator < 0 ? *usn : usn->left(separator));
    }
    if (auto location = headers.constFind(QStringLiteral("location")); location != headers.constEnd())
        found.location = *location;
    return found;
}

QList<Found> collectResponses(double timeout)
{
    // One socket per link: Qt unbinds a UDP socket whose send the kernel refuses (a link without
    // a multicast route), and that must cost neither the other links nor their answers.
    const QHostAddress group(QString::fromLatin1(kMulticastAddress));
    const QByteArray datagram = searchDatagram();
    std::vector<std::unique_ptr<QUdpSocket>> sockets;
    const auto search = [&](const std::optional<QNetworkInterface> &link) {
        auto socket = std::make_unique<QUdpSocket>();
        socket->setProxy(QNetworkProxy::NoProxy); // the TVs are on the local network
        if (!socket->bind(QHostAddress::AnyIPv4, 0))
            return;
        socket->setSocketOption(QAbstractSocket::MulticastTtlOption, kMulticastTTL);
        if (link)
            socket->setMulticastInterface(*link);
        for (int i = 0; i < 2 && socket->state() == QAbstractSocket::BoundState; ++i)
            socket->writeDatagram(datagram, group, kSSDPPort);
        if (socket->state() == QAbstractSocket::BoundState)
            sockets.push_back(std::move(socket));
    };
    // Wired and Wi-Fi may lead to different subnets, and the TV can be on any of them.
    const QList<QNetworkInterface> links = LocalNetwork::multicastInterfaces();
    for (const QNetworkInterface &link : links)
        search(link);
    if (links.isEmpty())
        search(std::nullopt); // on the system's choice
    if (sockets.empty())
        return {};

    using Clock = std::chrono::steady_clock;
    const auto deadline
        = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
    const int wait = std::max(1, kReceiveTimeoutMs / int(sockets.size()));
    QMap<QString, Found> byHost; // ordered by host text
    char buffer[kReceiveBufferSize];
    while (Clock::now() < deadline && !sockets.empty()) {
        for (auto it = sockets.begin(); it != sockets.end();) {
            QUdpSocket &socket = **it;
            if (socket.state() != QAbstractSocket::BoundState) {
                it = sockets.erase(it);
                continue;
            }
            if (socket.hasPendingDatagrams() || socket.waitForReadyRead(wait)) {
                while (socket.hasPendingDatagrams()) {
                    QHostAddress sender;
                    // A longer datagram is cut.
                    const qint64 n = socket.readDatagram(buffer, sizeof buffer, &sender);
                    if (n <= 0)
                        break;
                    const QString host = sender.toString();
                    ProtocolTrace::ssdpAnswer(host, QByteArray(buffer, n));
                    byHost.insert(host, parseAnswer(host, QString::fromUtf8(buffer, n)));
                }
            }
            ++it;
        }
    }
    return byHost.values();
}

QCoro::Task<QList<Found>> discover(double timeout)
{
    QList<Found> records = co_await QtConcurrent::run(&collectResponses, timeout);

    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy); // the TVs are on the local network
    for (Found &found : records) {
        if (!found.location)
            continue;
        const QUrl url(*found.location, QUrl::StrictMode);
        if (!isFetchableURL(url))
            continue;
        const std::optional<QString> body = co_await fetchDescription(network, url);
        if (!body)
            continue;
        ProtocolTrace::description(*found.location, *body);
        if (std::optional<QString> name = extractTag(QStringLiteral("friendlyName"), *body))
            found.name = name;
        if (std::optional<QString> model = extractTag(QStringLiteral("modelName"), *body))
            found.model = model;
        if (std::optional<QString> udn = extractTag(QStringLiteral("UDN"), *body))
            found.uuid = withoutUUIDPrefix(*udn);
    }

    appLog(QStringLiteral("SSDP 发现 %1 台电视: %2").arg(records.size()).arg(hostListText(records)));
    co_return records;
}

} // namespace SSDPDiscovery
