#include "fuzzsupport.h"

#include "testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

// Never destroyed: the code under test keeps objects alive until the process ends.
static TestHome *s_home = nullptr;

QString Fuzz::temporaryPath(const QString &name)
{
    static int counter = 0;
    return s_home->path() + QStringLiteral("/%1-%2.conf").arg(name).arg(++counter);
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    s_home = new TestHome;
    // Millions of inputs would write a log of gigabytes: the lines go to /dev/null instead.
    QDir().mkpath(QFileInfo(s_home->logFile()).path());
    QFile::link(QStringLiteral("/dev/null"), s_home->logFile());
    new QCoreApplication(*argc, *argv);
    return 0;
}
