#pragma once

#include <QByteArray>
#include <QString>

// Plain PNG icons for launch points and inputs: a coloured square with a lighter band, the
// colour derived from the id so every app looks different but stays the same across runs.
class IconImage {
public:
    static QByteArray png(const QString &id, int size);
};
