#include "appearancepreference.h"

#include "preferences.h"

namespace {

std::function<void(AppearancePreference)> &applier()
{
    static std::function<void(AppearancePreference)> instance;
    return instance;
}

const QString appearanceKey = QStringLiteral("appearance");

} // namespace

QString rawValue(AppearancePreference value)
{
    switch (value) {
    case AppearancePreference::Light:
        return QStringLiteral("light");
    case AppearancePreference::Dark:
        return QStringLiteral("dark");
    case AppearancePreference::System:
        break;
    }
    return QStringLiteral("system");
}

std::optional<AppearancePreference> appearanceFromRaw(const QString &raw)
{
    if (raw == u"system")
        return AppearancePreference::System;
    if (raw == u"light")
        return AppearancePreference::Light;
    if (raw == u"dark")
        return AppearancePreference::Dark;
    return std::nullopt;
}

AppearancePreference storedAppearance(const Preferences &preferences)
{
    const auto text = preferences.string(appearanceKey);
    if (!text)
        return AppearancePreference::System;
    return appearanceFromRaw(*text).value_or(AppearancePreference::System);
}

void setAppearance(Preferences &preferences, AppearancePreference value)
{
    preferences.setString(appearanceKey, rawValue(value));
    applyAppearance(value);
}

void applyAppearance(AppearancePreference value)
{
    if (applier())
        applier()(value);
}

void setAppearanceApplier(std::function<void(AppearancePreference)> fn)
{
    applier() = std::move(fn);
}
