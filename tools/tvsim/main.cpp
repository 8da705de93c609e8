#include "messagelog.h"
#include "tvsimoptions.h"
#include "tvsimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so every socket is closed in order.
void installSignalHandlers(QCoreApplication *app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "tvsim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tvsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Emulates one LG webOS TV on one IPv4 address: SSAP over TLS on ADDRESS:3001 (pairing by prompt or\n"
        "PIN, services with real state, subscriptions, the pointer socket on the same port), SSDP answers\n"
        "and the device description, Wake-on-LAN on UDP port 9, and a control interface (HTTP+JSON on\n"
        "ADDRESS:CONTROL_PORT): GET /state, GET /received, POST /received/clear, /set, /fault, /pairing,\n"
        "/standby, /wake. Every received message is printed as one JSON line; a line containing\n"
        "\"tvsim ready\" follows once every listener is up. SIGTERM or SIGINT ends it cleanly."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption address(QStringLiteral("address"),
        QStringLiteral("IPv4 address to bind (required), e.g. 127.0.0.2."), QStringLiteral("A"));
    const QCommandLineOption stateDir(QStringLiteral("state-dir"),
        QStringLiteral(
            "Directory keeping key and certificate, device UUID and client keys across restarts (required)."),
        QStringLiteral("D"));
    const QCommandLineOption newCert(
        QStringLiteral("new-cert"), QStringLiteral("Make a fresh certificate (a replaced TV)."));
    const QCommandLineOption newUUID(QStringLiteral("new-uuid"), QStringLiteral("Make a fresh device UUID."));
    const QCommandLineOption chain(
        QStringLiteral("chain"), QStringLiteral("Present the leaf signed by an intermediate CA, sent along with it."));
    const QCommandLineOption pairing(QStringLiteral("pairing"),
        QStringLiteral("Answer to a prompt pairing: prompt-accept (default), prompt-reject or prompt-ignore."),
        QStringLiteral("MODE"), QStringLiteral("prompt-accept"));
    const QCommandLineOption pairingDelay(QStringLiteral("pairing-delay"),
        QStringLiteral("Milliseconds before the prompt is answered (default 1000)."), QStringLiteral("MS"),
        QStringLiteral("1000"));
    const QCommandLineOption pin(QStringLiteral("pin"),
        QStringLiteral("Fixed PIN for PIN pairing (default: a random 8-digit PIN per pairing, printed)."),
        QStringLiteral("PIN"));
    const QCommandLineOption inputs(QStringLiteral("inputs"),
        QStringLiteral("Number of external inputs HDMI_1.. (default 4; HDMI_1 and HDMI_2 connected)."),
        QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption apps(QStringLiteral("apps"),
        QStringLiteral("Number of launch points (default 20); their icons are served by the emulator."),
        QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption channels(QStringLiteral("channels"),
        QStringLiteral("Number of live TV channels (default 12)."), QStringLiteral("N"), QStringLiteral("12"));
    const QCommandLineOption volumeShape(QStringLiteral("volume-shape"),
        QStringLiteral("Volume replies: nested (default; \"volume\" and \"muteStatus\" inside \"volumeStatus\") or "
                       "flat (\"volume\", \"muted\" at top level)."),
        QStringLiteral("S"), QStringLiteral("nested"));
    const QCommandLineOption firmware(QStringLiteral("firmware"),
        QStringLiteral("classic (default) or 2026 (refuses signed manifests and the pointer socket)."),
        QStringLiteral("F"), QStringLiteral("classic"));
    const QCommandLineOption wakeDelay(QStringLiteral("wake-delay"),
        QStringLiteral("Milliseconds between a matching magic packet and being back (default 3000)."),
        QStringLiteral("MS"), QStringLiteral("3000"));
    const QCommandLineOption controlPort(QStringLiteral("control-port"),
        QStringLiteral("Control interface port on the same address (default 3080)."), QStringLiteral("P"),
        QStringLiteral("3080"));
    const QCommandLineOption httpPort(QStringLiteral("http-port"),
        QStringLiteral("Port of the description document and icons (default 3000, another one when taken; 0: any)."),
        QStringLiteral("P"), QStringLiteral("3000"));
    const QCommandLineOption name(QStringLiteral("name"),
        QStringLiteral("friendlyName of the description (default \"[LG] webOS TV \" + model)."),
        QStringLiteral("NAME"));
    const QCommandLineOption model(QStringLiteral("model"),
        QStringLiteral("modelName of the description and getSystemInfo (default OLED55C3PCA)."),
        QStringLiteral("MODEL"), QStringLiteral("OLED55C3PCA"));
    const QCommandLineOption replay(QStringLiteral("replay"),
        QStringLiteral("Answer as the TV recorded in this protocol trace of the app (corvane-remote -trace FILE) did: "
                       "greeting,\nregistration, each service's replies in order (the last repeats), pushes, refusals. "
                       "The rest is answered as usual."),
        QStringLiteral("FILE"));
    parser.addOptions({ address, stateDir, newCert, newUUID, chain, pairing, pairingDelay, pin, inputs, apps, channels,
        volumeShape, firmware, wakeDelay, controlPort, httpPort, name, model, replay });
    parser.process(app);

    TVSimOptions options;
    options.address = parser.value(address);
    options.stateDir = parser.value(stateDir);
    if (options.address.isEmpty() || options.stateDir.isEmpty())
        return fail(QStringLiteral("--address and --state-dir are required (see --help)"));
    options.newCert = parser.isSet(newCert);
    options.newUUID = parser.isSet(newUUID);
    options.chain = parser.isSet(chain);
    options.pairing = parser.value(pairing);
    if (!QStringList {
            QStringLiteral("prompt-accept"), QStringLiteral("prompt-reject"), QStringLiteral("prompt-ignore") }
             .contains(options.pairing))
        return fail(QStringLiteral("--pairing must be prompt-accept, prompt-reject or prompt-ignore"));
    options.volumeShape = parser.value(volumeShape);
    if (options.volumeShape != QStringLiteral("nested") && options.volumeShape != QStringLiteral("flat"))
        return fail(QStringLiteral("--volume-shape must be nested or flat"));
    options.firmware = parser.value(firmware);
    if (options.firmware != QStringLiteral("classic") && options.firmware != QStringLiteral("2026"))
        return fail(QStringLiteral("--firmware must be classic or 2026"));
    options.pin = parser.value(pin);
    options.name = parser.value(name);
    options.model = parser.value(model);
    options.replay = parser.value(replay);
    struct Number {
        const QCommandLineOption &option;
        int *target;
        int min;
        int max;
    };
    for (const Number &number : { Number { pairingDelay, &options.pairingDelayMs, 0, 3600000 },
             Number { inputs, &options.inputs, 0, 100 }, Number { apps, &options.apps, 0, 10000 },
             Number { channels, &options.channels, 0, 10000 }, Number { wakeDelay, &options.wakeDelayMs, 0, 3600000 },
             Number { controlPort, &options.controlPort, 1, 65535 },
             Number { httpPort, &options.httpPort, 0, 65535 } }) {
        bool ok = false;
        const int value = parser.value(number.option).toInt(&ok);
        if (!ok || value < number.min || value > number.max)
            return fail(QStringLiteral("--%1 must be a number from %2 to %3")
                            .arg(number.option.names().constFirst())
                            .arg(number.min)
                            .arg(number.max));
        *number.target = value;
    }

    installSignalHandlers(&app);
    TVSimulator simulator(options);
    QString error;
    if (!simulator.start(&error))
        return fail(error);
    const int result = QCoreApplication::exec();
    MessageLog::printEvent(QStringLiteral("exit"));
    return result;
}
