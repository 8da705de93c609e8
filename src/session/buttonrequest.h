#pragma once

#include "tvcommands.h"

#include <QString>
#include <QStringList>

#include <optional>

// The SSAP request that does a remote button's job when the TV refuses the pointer socket. Only
// some buttons have one; the others exist on the pointer socket alone.
struct ButtonRequest {
    // The request for a button; muted is the TV's mute state as last reported (MUTE toggles it).
    static std::optional<TVRequest> forButton(const QString &name, bool muted);
    // The buttons that have one, in the remote's order.
    static const QStringList &buttons();
};
