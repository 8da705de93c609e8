#include "resourceserver.h"

#include "iconimage.h"
#include "messagelog.h"
#include "tvstate.h"

#include <QJsonObject>

namespace {

QString xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

ResourceServer::ResourceServer(TVState *state, MessageLog *log, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_log(log)
    , m_http(new HttpServer([this](const HttpServer::Request &request) { return handle(request); }, this))
{
}

bool ResourceServer::listen(const QHostAddress &address, quint16 preferredPort, QString *error)
{
    if (preferredPort != 0 && m_http->listen(address, preferredPort, nullptr))
        return true;
    return m_http->listen(address, 0, error);
}

HttpServer::Response ResourceServer::handle(const HttpServer::Request &request)
{
    m_log->record(QStringLiteral("http"), QString::fromLatin1(request.method) + QLatin1Char(' ') + request.path,
        { { QStringLiteral("from"), request.peer } });
    if (request.method != "GET" && request.method != "HEAD")
        return { 405, "text/plain", "method not allowed\n" };
    if (request.path == descriptionPath())
        return { 200, "text/xml; charset=\"utf-8\"", description() };
    // /resources/<id>/icon.png and /resources/<id>/largeIcon.png
    const QStringList parts = request.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() == 3 && parts.at(0) == QStringLiteral("resources")) {
        const QString &id = parts.at(1);
        const bool known = m_state->findApp(id) || m_state->findInput(id);
        if (known && parts.at(2) == QStringLiteral("icon.png"))
            return { 200, "image/png", IconImage::png(id, 80) };
        if (known && parts.at(2) == QStringLiteral("largeIcon.png"))
            return { 200, "image/png", IconImage::png(id, 130) };
    }
    return { 404, "text/plain", "not found\n" };
}

QByteArray ResourceServer::description() const
{
    const QString xml
        = QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<root xmlns=\"urn:schemas-upnp-org:device-1-0\" xmlns:dlna=\"urn:schemas-dlna-org:device-1-0\">\n"
            "<specVersion>\n<major>1</major>\n<minor>0</minor>\n</specVersion>\n"
            "<device>\n"
            "<deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>\n"
            "<friendlyName>%1</friendlyName>\n"
            "<manufacturer>LG Electronics</manufacturer>\n"
            "<manufacturerURL>http://www.lge.com</manufacturerURL>\n"
            "<modelDescription></modelDescription>\n"
            "<modelName>%2</modelName>\n"
            "<modelURL>http://www.lge.com</modelURL>\n"
            "<modelNumber>%2</modelNumber>\n"
            "<serialNumber></serialNumber>\n"
            "<UDN>uuid:%3</UDN>\n"
            "<serviceList>\n"
            "<service>\n"
            "<serviceType>urn:lge-com:service:webos-second-screen:1</serviceType>\n"
            "<serviceId>urn:lge-com:serviceId:webos-second-screen-3000-3001</serviceId>\n"
            "<SCPDURL>/WebOS_SecondScreen/3000-3001/scpd.xml</SCPDURL>\n"
            "<controlURL>/WebOS_SecondScreen/3000-3001/control.xml</controlURL>\n"
            "<eventSubURL>/WebOS_SecondScreen/3000-3001/event.xml</eventSubURL>\n"
            "</service>\n"
            "</serviceList>\n"
            "</device>\n"
            "</root>\n")
              .arg(xmlEscaped(m_state->friendlyName()), xmlEscaped(m_state->options().model), m_state->deviceUUID());
    return xml.toUtf8();
}
