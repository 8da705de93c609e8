#include "commandline.h"

#include "platform.h"
#include "preferences.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstring>

namespace {

enum class InfoOption { none, help, version };

InfoOption findInfoOption(int argc, char **argv)
{
    InfoOption found = InfoOption::none;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--mcp-stdio") == 0)
            return InfoOption::none;
        if (found != InfoOption::none)
            continue; // keep looking for the bridge argument; the first info option wins
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)
            found = InfoOption::help;
        else if (std::strcmp(arg, "--version") == 0)
            found = InfoOption::version;
    }
    return found;
}

QString helpText(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Reading only: QSettings creates no file until something is written.
    const Preferences preferences(Platform::settingsFilePath(), arguments);
    const QString endpoint = QStringLiteral("http://127.0.0.1:%1/mcp").arg(preferences.mcpPort());
    const QString logFile = Platform::logDirectory() + QStringLiteral("/app.log");

    return QStringLiteral("Usage: corvane-remote [-KEY VALUE]...\n"
                          "       corvane-remote --mcp-stdio\n"
                          "\n"
                          "Corvane Remote: desktop remote control for LG webOS TVs, with a local MCP service\n"
                          "so that an AI agent on this machine can control the paired TV.\n"
                          "\n"
                          "Modes:\n"
                          "  (no mode argument)    open the window\n"
                          "  --mcp-stdio           MCP stdio bridge: forward each JSON-RPC message read from\n"
                          "                        standard input (one per line) to the running app's MCP\n"
                          "                        service and write each reply as one line to standard\n"
                          "                        output; starts the app in the background when needed\n"
                          "  -h, --help            print this help and exit\n"
                          "  --version             print the version and exit\n"
                          "\n"
                          "Launch arguments override a stored preference for this run only:\n"
                          "  -autoHost ADDRESS     connect to the TV at ADDRESS at start-up (saved if new)\n"
                          "  -autotest MODE        run the self-test after connecting: basic, full or power\n"
                          "  -snapshotDir DIR      directory for window snapshots\n"
                          "  -mcpPort PORT         port of the MCP service on 127.0.0.1 (default 8765)\n"
                          "  -mcpEnabled BOOL      start the MCP service at start-up: true or false\n"
                          "                        (default true)\n"
                          "  -appearance MODE      window appearance: system, light or dark (default system)\n"
                          "  -language LANG        window language: zh or en (default: the system's)\n"
                          "  -background true      with monitor mode on: start without showing the window\n"
                          "  -trace FILE           record every message exchanged with the TV in FILE (one\n"
                          "                        JSON object per line, without keys, PINs or typed text)\n"
                          "                        for a bug report\n"
                          "Other arguments are ignored.\n"
                          "\n"
                          "Files:\n"
                          "  log           %1\n"
                          "  preferences   %2\n"
                          "\n"
                          "MCP endpoint:   %3\n")
        .arg(logFile, Platform::settingsFilePath(), endpoint);
}

void printOut(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

std::optional<int> handleInfoOptions(int argc, char **argv)
{
    switch (findInfoOption(argc, argv)) {
    case InfoOption::help:
        printOut(helpText(argc, argv));
        return 0;
    case InfoOption::version:
        printOut(QStringLiteral("Corvane Remote " CORVANE_VERSION "\n"));
        return 0;
    case InfoOption::none:
        break;
    }
    return std::nullopt;
}
