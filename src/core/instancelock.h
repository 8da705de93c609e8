#pragma once

#include <QLockFile>

#include <memory>

// The lock file that keeps one window app per user (Platform::instanceLockPath()). The window
// app holds it; the stdio bridge only looks, so this stays apart from the app's local server.
namespace InstanceLock {

// Held for a whole run: only a dead holder makes it stale.
std::unique_ptr<QLockFile> make();

// Whether some process holds the lock now (the bridge asks before it starts the app).
bool heldElsewhere();

} // namespace InstanceLock
