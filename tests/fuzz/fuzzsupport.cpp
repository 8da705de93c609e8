#include "fuzzsupport.h"

#include "testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace {

// Never destroyed: the code under test keeps objects alive until the process ends.
TestHome *s_home = nullptr;

} // namespace

QString Fuzz::temporaryPath(const QString &name)
{
    static int counter = 0;
    return s_home->path() + QStringLiteral("/%1-%2.conf").arg(name).arg(++counter);
}

// Before the first input: the private home (log into /dev/null, preferences in a temporary
// directory) and the QCoreApplication.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    s_home = new TestHome;
    // Millions of inputs would write a log of gigabytes: the lines go to /dev/null instead.
    const QString log = s_home->logFile();
    QDir().mkpath(QFileInfo(log).absolutePath());
    QFile::link(QStringLiteral("/dev/null"), log);
    new QCoreApplication(*argc, *argv);
    return 0;
}
