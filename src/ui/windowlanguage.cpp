#include "windowlanguage.h"

#include "preferences.h"

#include <QCoreApplication>
#include <QTranslator>

namespace WindowLanguage {

QString choose(const Preferences &preferences, const QStringList &uiLanguages)
{
    const QString argument = preferences.launchArgument(QStringLiteral("language")).value_or(QString()).toLower();
    if (argument == QLatin1String("zh") || argument == QLatin1String("en"))
        return argument;
    const QString first = uiLanguages.isEmpty() ? QString() : uiLanguages.constFirst();
    return first.startsWith(QLatin1String("zh"), Qt::CaseInsensitive) ? QStringLiteral("zh") : QStringLiteral("en");
}

void apply(const QString &language)
{
    static QTranslator *english = nullptr;
    if (english) {
        QCoreApplication::removeTranslator(english);
        delete english;
        english = nullptr;
    }
    if (language != QLatin1String("en"))
        return;
    english = new QTranslator;
    if (english->load(QStringLiteral(":/i18n/corvane_en.qm")))
        QCoreApplication::installTranslator(english);
}

} // namespace WindowLanguage
