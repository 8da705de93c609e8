#pragma once

#include <QString>
#include <QStringList>

// Everything that differs between desktop platforms lives here, so that another platform is
// one file away (the window's Gui and D-Bus parts are in src/ui/windowplatform.h).
namespace Platform {

// $XDG_STATE_HOME/CorvaneRemote (default ~/.local/state/CorvaneRemote).
QString logDirectory();

// $XDG_CONFIG_HOME/CorvaneRemote/CorvaneRemote.conf (default ~/.config/...).
QString settingsFilePath();

// The word for this kind of program in texts that agents read.
QString appKindWord();

// Absolute path of the running executable, or empty when the system does not tell.
QString executablePath();

// Starts this program's own executable in the background, detached, with the given launch
// arguments. Returns false when it could not be started.
bool startApplicationDetached(const QStringList &arguments);

// The lock that keeps one window app per user: $XDG_RUNTIME_DIR/CorvaneRemote/app.lock, or in
// the log folder when there is no runtime folder.
QString instanceLockPath();

// The local socket through which a later launch asks the running app to show its window: a
// path beside the lock, or (when that path is too long for a socket address) a name derived
// from the lock's path, so that it is per user either way.
QString instanceServerName();

// The desktop's login start entry for this program: $XDG_CONFIG_HOME/autostart/... (default
// ~/.config/autostart/).
QString autostartFilePath();
// Writes that entry, starting this executable with the given launch arguments; or removes it.
// False when the file could not be written or removed.
bool setAutostart(bool enabled, const QStringList &arguments);

} // namespace Platform
