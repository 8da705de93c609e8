#include "fuzzsupport.h"

#include "testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace {

// Never destroyed: the code under test keeps objects alive until the process ends.
TestHome *s_home = nullptr;
QCoreApplication *s_app = nullptr;

} // namespace

namespace Fuzz {

void setUp(int *argc, char ***argv)
{
    if (s_app)
        return;
    s_home = new TestHome;
    // Millions of inputs would write a log of gigabytes: the lines go to /dev/null instead.
    const QString log = s_home->logFile();
    QDir().mkpath(QFileInfo(log).absolutePath());
    QFile::link(QStringLiteral("/dev/null"), log);
    s_app = new QCoreApplication(*argc, *argv);
}

QString temporaryPath(const QString &name)
{
    static int counter = 0;
    return s_home->path() + QStringLiteral("/%1-%2.conf").arg(name).arg(++counter);
}

} // namespace Fuzz

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Fuzz::setUp(argc, argv);
    return 0;
}
