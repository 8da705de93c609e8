#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

// The application's preferences: a QSettings file (mode 0600, it holds client keys) plus the
// launch-argument domain: "-key value" pairs on the command line override stored values for
// that run and are never written back.
//
// Stored values lose their type in the file, so every read parses: a value that does not read
// as the key's type counts as absent, and the typed accessors then give the default.
class Preferences {
public:
    static constexpr int defaultMCPPort = 8765;

    explicit Preferences(const QString &filePath, const QStringList &arguments = {});
    ~Preferences();
    Preferences(const Preferences &) = delete;
    Preferences &operator=(const Preferences &) = delete;

    QString filePath() const;

    // Raw reads (launch arguments win over the file).
    bool contains(const QString &key) const;
    QVariant value(const QString &key) const;
    std::optional<QString> string(const QString &key) const;
    std::optional<bool> boolean(const QString &key) const;
    std::optional<qint64> integer(const QString &key) const;
    std::optional<QByteArray> data(const QString &key) const;

    // Writes go to the file at once.
    void setString(const QString &key, const QString &value);
    void setBool(const QString &key, bool value);
    void setInteger(const QString &key, qint64 value);
    void setData(const QString &key, const QByteArray &value);
    void remove(const QString &key);

    // The keys of the application table with their defaults.
    bool mcpEnabled() const; // "mcpEnabled", default true
    int mcpPort() const; // "mcpPort" in 1...65535, else 8765
    std::optional<QString> autoHost() const; // "autoHost"
    std::optional<QString> autotest() const; // "autotest"
    std::optional<QString> snapshotDir() const; // "snapshotDir"

    // The value given on the command line for key, without the stored one.
    std::optional<QString> launchArgument(const QString &key) const;

    // "-key value" pairs of a command line (arguments starting with "--" are not pairs).
    static QHash<QString, QString> parseLaunchArguments(const QStringList &arguments);

private:
    void write(const QString &key, const QVariant &value);
    void secureFile();

    std::unique_ptr<QSettings> m_settings;
    QHash<QString, QString> m_arguments;
};
