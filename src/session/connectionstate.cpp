#include "connectionstate.h"

#include <QCoreApplication>

QString ConnectionState::statusSource() const
{
    switch (m_kind) {
    case Kind::AwaitingApproval:
        return QStringLiteral(QT_TRANSLATE_NOOP("ConnectionState", "等待配对"));
    case Kind::Error:
        return QStringLiteral(QT_TRANSLATE_NOOP("ConnectionState", "连接失败"));
    case Kind::Offline:
        return QStringLiteral(QT_TRANSLATE_NOOP("ConnectionState", "未连接"));
    case Kind::Connecting:
        return QStringLiteral(QT_TRANSLATE_NOOP("ConnectionState", "连接中"));
    case Kind::Ready:
        return QStringLiteral(QT_TRANSLATE_NOOP("ConnectionState", "已连接"));
    case Kind::Waking:
        return QStringLiteral(QT_TRANSLATE_NOOP("ConnectionState", "唤醒中"));
    }
    return {};
}

QString ConnectionState::statusText() const
{
    return QCoreApplication::translate("ConnectionState", statusSource().toUtf8().constData());
}
