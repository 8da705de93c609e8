#pragma once

#include <QString>
#include <QStringList>

class Preferences;

// The window's language: its texts are written in Chinese; every other language gets English.
namespace WindowLanguage {

// "zh" or "en": the launch argument "-language" when it names one of them, else the first of
// the system's UI languages.
QString choose(const Preferences &preferences, const QStringList &uiLanguages);
// Installs the English translation for "en", removes it otherwise.
void apply(const QString &language);

} // namespace WindowLanguage
