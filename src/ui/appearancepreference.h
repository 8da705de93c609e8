#pragma once

#include <QString>

#include <functional>
#include <optional>

class Preferences;

// Window appearance; the raw value is the text stored under "appearance".
enum class AppearancePreference { System, Light, Dark };

QString rawValue(AppearancePreference value);
std::optional<AppearancePreference> appearanceFromRaw(const QString &raw); // exact, case-sensitive

// "appearance" as stored; anything that is not a raw value reads as System.
AppearancePreference storedAppearance(const Preferences &preferences);

// Stores the raw value and applies it at once.
void setAppearance(Preferences &preferences, AppearancePreference value);

// Applies an appearance through the applier the window installed (nothing without a window).
void applyAppearance(AppearancePreference value);
void setAppearanceApplier(std::function<void(AppearancePreference)> applier);
