// Loading the saved TVs from a preferences file. The first byte chooses how the rest arrives:
// 0 as the stored data of "devices.v1", 1 as its text (a hand-edited file), anything else as the
// whole preferences file.

#include "fuzzsupport.h"

#include "devicestore.h"
#include "preferences.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QString key = QStringLiteral("devices.v1");
    static const QString path = Fuzz::temporaryPath(QStringLiteral("devices"));
    // The file and what an earlier input left beside it (".unreadable", the lock).
    for (const QFileInfo &old :
        QDir(QFileInfo(path).path()).entryInfoList({ QFileInfo(path).fileName() + u'*' }, QDir::Files))
        QFile::remove(old.filePath());
    const QByteArray payload = Fuzz::bytes(data + 1, size - 1);
    if (data[0] == 0) {
        Preferences(path).setData(key, payload);
    } else if (data[0] == 1) {
        Preferences(path).setString(key, QString::fromUtf8(payload));
    } else {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(payload) == payload.size());
    }

    Preferences preferences(path);
    QSettings check(path, QSettings::IniFormat);
    check.allKeys(); // parsed on first use
    // A file that does not parse is kept as it was before anything replaces it.
    QFile kept(path + QStringLiteral(".unreadable"));
    FUZZ_CHECK(
        check.status() != QSettings::FormatError || (kept.open(QIODevice::ReadOnly) && kept.readAll() == payload));
    // The list as the store reads it: data, else the text of a hand-edited file.
    const QVariant stored = preferences.value(key);
    const QByteArray bytes = preferences.data(key).value_or(stored.toString().toUtf8());
    QList<TVDevice> loaded;
    std::optional<QString> selected;
    {
        DeviceStore store(preferences);
        loaded = store.devices();
        selected = store.selectedID();
        // A list that gave no TV was empty, or is kept aside byte for byte.
        const QJsonDocument document = QJsonDocument::fromJson(bytes);
        if (stored.isValid() && loaded.isEmpty() && !(document.isArray() && document.array().isEmpty()))
            FUZZ_CHECK(preferences.data(QStringLiteral("devices.v1.unreadable")) == bytes);
        FUZZ_CHECK(loaded.isEmpty() || selected);
        // Nothing was rewritten: the list stays as it was until the next save.
        FUZZ_CHECK(preferences.value(key) == stored);
        store.save();
    }

    // What was loaded survives a save and a new start unchanged.
    Preferences reopened(path);
    DeviceStore again(reopened);
    FUZZ_CHECK(again.devices() == loaded && again.selectedID() == selected);
    return 0;
}
