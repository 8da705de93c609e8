#pragma once

#include "mcptools.h"

#include <QCoro/QCoroTask>

#include <QJsonObject>
#include <QPointer>

class TVSession;

// The handlers of the tool catalogue, one per tool. Each holds the session weakly and gets its
// own copies of the timings and arguments, so it outlives neither the session nor the caller's
// values. Failures are thrown (MCPTools::Failure, SSAPError).
namespace MCPToolHandlers {

using Session = QPointer<TVSession>;
using Timings = MCPTools::Timings;
using Result = MCPTools::Result;

// The TV and the saved TVs
QCoro::Task<Result> status(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> listDevices(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> selectDevice(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> power(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> screen(Session session, Timings timings, QJsonObject arguments);

// What the TV shows
QCoro::Task<Result> listApps(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> launchApp(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> listInputs(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> switchInput(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> channel(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> openURL(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> notify(Session session, Timings timings, QJsonObject arguments);

// The remote control
QCoro::Task<Result> pressButton(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> volume(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> mute(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> soundOutput(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> media(Session session, Timings timings, QJsonObject arguments);
QCoro::Task<Result> inputText(Session session, Timings timings, QJsonObject arguments);

} // namespace MCPToolHandlers
