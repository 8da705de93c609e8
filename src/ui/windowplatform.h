#pragma once

#include <QString>

#include <QCoro/QCoroTask>

// The platform details that need the window's libraries (Gui, D-Bus); the rest are in the
// core's platform.h.
namespace Platform {

// Shows the file in the desktop's file manager (FileManager1.ShowItems over D-Bus, awaited on
// the event loop), opening its folder only when that call failed. False when neither worked.
QCoro::Task<bool> revealInFileManager(QString path);

} // namespace Platform
