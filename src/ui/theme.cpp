#include "theme.h"

#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QStyleHints>

const Theme::Palette &Theme::lightPalette()
{
    static const Palette palette {
        .window = QColor(0xF4, 0xF5, 0xF8),
        .sidebar = QColor(0xEB, 0xED, 0xF1),
        .surface = QColor(0xFF, 0xFF, 0xFF),
        .surfaceAlt = QColor(0xF6, 0xF7, 0xF9),
        .control = QColor(0xEE, 0xF0, 0xF3),
        .controlHover = QColor(0xE3, 0xE6, 0xEB),
        .controlPressed = QColor(0xD6, 0xDA, 0xE1),
        .border = QColor(0xE1, 0xE4, 0xE9),
        .borderStrong = QColor(0xC9, 0xCE, 0xD6),
        .text = QColor(0x1B, 0x1E, 0x24),
        .textSecondary = QColor(0x5A, 0x61, 0x6D),
        .textTertiary = QColor(0x86, 0x8D, 0x98),
        .accent = QColor(0x2D, 0x67, 0xE6),
        .accentHover = QColor(0x27, 0x5C, 0xD2),
        .accentPressed = QColor(0x21, 0x50, 0xB8),
        .accentSoft = QColor(0xE5, 0xED, 0xFD),
        .onAccent = QColor(0xFF, 0xFF, 0xFF),
        .success = QColor(0x1A, 0x8F, 0x4C),
        .successSoft = QColor(0xE1, 0xF3, 0xE8),
        .warning = QColor(0xB8, 0x6E, 0x00),
        .warningSoft = QColor(0xFB, 0xEF, 0xD9),
        .danger = QColor(0xD0, 0x36, 0x2F),
        .dangerSoft = QColor(0xFB, 0xE6, 0xE5),
        .focus = QColor(0x2D, 0x67, 0xE6),
        .shadow = QColor(0, 0, 0, 0x12),
        .selection = QColor(0xC9, 0xDA, 0xFB),
    };
    return palette;
}

const Theme::Palette &Theme::darkPalette()
{
    static const Palette palette {
        .window = QColor(0x17, 0x18, 0x1B),
        .sidebar = QColor(0x1F, 0x20, 0x24),
        .surface = QColor(0x25, 0x27, 0x2C),
        .surfaceAlt = QColor(0x1D, 0x1F, 0x23),
        .control = QColor(0x31, 0x34, 0x3A),
        .controlHover = QColor(0x3A, 0x3D, 0x44),
        .controlPressed = QColor(0x45, 0x49, 0x51),
        .border = QColor(0x35, 0x38, 0x3E),
        .borderStrong = QColor(0x4A, 0x4E, 0x56),
        .text = QColor(0xEC, 0xEE, 0xF1),
        .textSecondary = QColor(0xA9, 0xAF, 0xB9),
        .textTertiary = QColor(0x7E, 0x84, 0x8E),
        .accent = QColor(0x3F, 0x77, 0xEE),
        .accentHover = QColor(0x4F, 0x84, 0xF2),
        .accentPressed = QColor(0x35, 0x69, 0xD8),
        .accentSoft = QColor(0x22, 0x31, 0x50),
        .onAccent = QColor(0xFF, 0xFF, 0xFF),
        .success = QColor(0x45, 0xC2, 0x7C),
        .successSoft = QColor(0x1B, 0x34, 0x27),
        .warning = QColor(0xE6, 0xA8, 0x45),
        .warningSoft = QColor(0x3B, 0x2F, 0x18),
        .danger = QColor(0xF2, 0x6B, 0x63),
        .dangerSoft = QColor(0x40, 0x22, 0x22),
        .focus = QColor(0x6B, 0x98, 0xF5),
        .shadow = QColor(0, 0, 0, 0x50),
        .selection = QColor(0x2E, 0x4A, 0x80),
    };
    return palette;
}

Theme::Theme(QObject *parent)
    : QObject(parent)
{
    m_lastDark = dark();
    if (qApp)
        qApp->installEventFilter(this);
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    if (qGuiApp)
        connect(qGuiApp->styleHints(), &QStyleHints::colorSchemeChanged, this, &Theme::systemChanged);
#endif
}

Theme::~Theme()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void Theme::setMode(AppearancePreference mode)
{
    if (m_mode == mode)
        return;
    m_mode = mode;
    m_lastDark = dark();
    Q_EMIT changed();
}

bool Theme::dark() const
{
    switch (m_mode) {
    case AppearancePreference::Light:
        return false;
    case AppearancePreference::Dark:
        return true;
    case AppearancePreference::System:
        break;
    }
    return systemIsDark();
}

bool Theme::systemIsDark()
{
    if (!qGuiApp)
        return false;
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    switch (qGuiApp->styleHints()->colorScheme()) {
    case Qt::ColorScheme::Dark:
        return true;
    case Qt::ColorScheme::Light:
        return false;
    case Qt::ColorScheme::Unknown:
        break;
    }
#endif
    // Qt 6.4 cannot name the scheme; a dark desktop gives a dark window colour.
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

bool Theme::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        systemChanged();
    return QObject::eventFilter(watched, event);
}

void Theme::systemChanged()
{
    if (m_mode != AppearancePreference::System)
        return;
    const bool nowDark = dark();
    if (nowDark != m_lastDark) {
        m_lastDark = nowDark;
        Q_EMIT changed();
    }
}

QString Theme::monoFamily()
{
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}
