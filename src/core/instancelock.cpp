#include "instancelock.h"

#include "platform.h"

#include <QFileInfo>

namespace InstanceLock {

std::unique_ptr<QLockFile> make()
{
    auto lock = std::make_unique<QLockFile>(Platform::instanceLockPath());
    lock->setStaleLockTime(0);
    return lock;
}

bool heldElsewhere()
{
    if (!QFileInfo::exists(Platform::instanceLockPath()))
        return false;
    const std::unique_ptr<QLockFile> lock = make();
    if (lock->tryLock(0)) {
        lock->unlock();
        return false;
    }
    return lock->error() == QLockFile::LockFailedError;
}

} // namespace InstanceLock
