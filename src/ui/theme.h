#pragma once

#include "appearancepreference.h"

#include "enginesingleton.h"
#include <QColor>
#include <QQmlEngine>

#include <QObject>
#include <QtQml/qqmlregistration.h>

// The window's own light and dark palettes. The Basic style has no theme of its own, so every
// component reads its colours here. "system" follows the desktop's colour scheme where Qt can
// tell, else the lightness of the platform palette's window colour.
class Theme : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Theme)
    QML_SINGLETON
    Q_PROPERTY(QString mode READ modeText NOTIFY changed)
    // The one family of monospaced text (addresses, MACs, configuration).
    Q_PROPERTY(QString monoFamily READ monoFamily CONSTANT)
    Q_PROPERTY(bool dark READ dark NOTIFY changed)

    Q_PROPERTY(QColor window READ window NOTIFY changed)
    Q_PROPERTY(QColor sidebar READ sidebar NOTIFY changed)
    Q_PROPERTY(QColor surface READ surface NOTIFY changed)
    Q_PROPERTY(QColor surfaceAlt READ surfaceAlt NOTIFY changed)
    Q_PROPERTY(QColor control READ control NOTIFY changed)
    Q_PROPERTY(QColor controlHover READ controlHover NOTIFY changed)
    Q_PROPERTY(QColor controlPressed READ controlPressed NOTIFY changed)
    Q_PROPERTY(QColor border READ border NOTIFY changed)
    Q_PROPERTY(QColor borderStrong READ borderStrong NOTIFY changed)
    Q_PROPERTY(QColor text READ text NOTIFY changed)
    Q_PROPERTY(QColor textSecondary READ textSecondary NOTIFY changed)
    Q_PROPERTY(QColor textTertiary READ textTertiary NOTIFY changed)
    Q_PROPERTY(QColor accent READ accent NOTIFY changed)
    Q_PROPERTY(QColor accentHover READ accentHover NOTIFY changed)
    Q_PROPERTY(QColor accentPressed READ accentPressed NOTIFY changed)
    Q_PROPERTY(QColor accentSoft READ accentSoft NOTIFY changed)
    Q_PROPERTY(QColor onAccent READ onAccent NOTIFY changed)
    Q_PROPERTY(QColor success READ success NOTIFY changed)
    Q_PROPERTY(QColor successSoft READ successSoft NOTIFY changed)
    Q_PROPERTY(QColor warning READ warning NOTIFY changed)
    Q_PROPERTY(QColor warningSoft READ warningSoft NOTIFY changed)
    Q_PROPERTY(QColor danger READ danger NOTIFY changed)
    Q_PROPERTY(QColor dangerSoft READ dangerSoft NOTIFY changed)
    Q_PROPERTY(QColor focus READ focus NOTIFY changed)
    Q_PROPERTY(QColor shadow READ shadow NOTIFY changed)
    Q_PROPERTY(QColor selection READ selection NOTIFY changed)

public:
    struct Palette {
        QColor window, sidebar, surface, surfaceAlt, control, controlHover, controlPressed;
        QColor border, borderStrong, text, textSecondary, textTertiary;
        QColor accent, accentHover, accentPressed, accentSoft, onAccent;
        QColor success, successSoft, warning, warningSoft, danger, dangerSoft;
        QColor focus, shadow, selection;
    };
    static const Palette &lightPalette();
    static const Palette &darkPalette();

    // No default: QML would make a theme of its own instead of calling create().
    explicit Theme(QObject *parent);
    ~Theme() override;

    AppearancePreference mode() const { return m_mode; }
    QString modeText() const { return rawValue(m_mode); }
    static QString monoFamily();
    void setMode(AppearancePreference mode);
    bool dark() const;
    static bool systemIsDark();

    QColor window() const { return palette().window; }
    QColor sidebar() const { return palette().sidebar; }
    QColor surface() const { return palette().surface; }
    QColor surfaceAlt() const { return palette().surfaceAlt; }
    QColor control() const { return palette().control; }
    QColor controlHover() const { return palette().controlHover; }
    QColor controlPressed() const { return palette().controlPressed; }
    QColor border() const { return palette().border; }
    QColor borderStrong() const { return palette().borderStrong; }
    QColor text() const { return palette().text; }
    QColor textSecondary() const { return palette().textSecondary; }
    QColor textTertiary() const { return palette().textTertiary; }
    QColor accent() const { return palette().accent; }
    QColor accentHover() const { return palette().accentHover; }
    QColor accentPressed() const { return palette().accentPressed; }
    QColor accentSoft() const { return palette().accentSoft; }
    QColor onAccent() const { return palette().onAccent; }
    QColor success() const { return palette().success; }
    QColor successSoft() const { return palette().successSoft; }
    QColor warning() const { return palette().warning; }
    QColor warningSoft() const { return palette().warningSoft; }
    QColor danger() const { return palette().danger; }
    QColor dangerSoft() const { return palette().dangerSoft; }
    QColor focus() const { return palette().focus; }
    QColor shadow() const { return palette().shadow; }
    QColor selection() const { return palette().selection; }

    static Theme *create(QQmlEngine *, QJSEngine *engine) { return engineSingleton<Theme>(engine, "Theme"); }

Q_SIGNALS:
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    const Palette &palette() const { return dark() ? darkPalette() : lightPalette(); }
    void systemChanged();

    AppearancePreference m_mode = AppearancePreference::System;
    bool m_lastDark = false;
};
