#include "pairedtv.h"

#include "simmessages.h"

PairedTV::PairedTV(const TVSimProcess::Options &tv, const AppParts::Setup &parts)
    : PairedTV(std::make_unique<TVSimProcess>(tv), parts)
{
}

PairedTV::PairedTV(std::unique_ptr<TVSimProcess> tv, const AppParts::Setup &parts)
    : sim(std::move(tv))
    , parts(parts)
{
}

bool PairedTV::start(const QString &name)
{
    if (!sim->isRunning() && !sim->start())
        return false; // start() showed the emulator's output
    id = parts.addTV(sim->address(), name);
    return true;
}

QList<QJsonObject> PairedTV::sent(const QString &uri)
{
    return ssapRequests(sim->received(), uri);
}

QJsonObject PairedTV::payload(const QString &uri, qsizetype index)
{
    return ssapPayload(sim->received(), uri, index);
}

void PairedTV::answerWithError(const QString &uri, const QString &error)
{
    sim->control(QStringLiteral("/fault"), { { "fail", QJsonObject { { "uri", uri }, { "error", error } } } });
}

void PairedTV::clearFaults()
{
    sim->control(QStringLiteral("/fault"), { { "clear", true } });
}

void PairedTV::set(const QJsonObject &state)
{
    sim->control(QStringLiteral("/set"), state);
}
