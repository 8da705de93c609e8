#include "connectionstate.h"

#include <QCoreApplication>

QString ConnectionState::statusText() const
{
    switch (m_kind) {
    case Kind::AwaitingApproval:
        return QCoreApplication::translate("ConnectionState", "等待配对");
    case Kind::Error:
        return QCoreApplication::translate("ConnectionState", "连接失败");
    case Kind::Offline:
        return QCoreApplication::translate("ConnectionState", "未连接");
    case Kind::Connecting:
        return QCoreApplication::translate("ConnectionState", "连接中");
    case Kind::Ready:
        return QCoreApplication::translate("ConnectionState", "已连接");
    case Kind::Waking:
        return QCoreApplication::translate("ConnectionState", "唤醒中");
    }
    return {};
}
