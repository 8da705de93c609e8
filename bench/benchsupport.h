#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <vector>

// Small pieces shared by the benchmark programs. Each program prints one JSON object on
// standard output; scripts/bench gathers them into the table.
namespace Bench {

using Clock = std::chrono::steady_clock;

// Runs the event loop until done() or the time-out; false on time-out.
bool spinUntil(const std::function<bool()> &done, int timeoutMs);
void spinFor(int ms);

// The q-quantile (0..1) of the samples, nearest rank; 0 for no samples.
double quantile(std::vector<double> samples, double q);

// Milliseconds between two instants.
double ms(Clock::time_point from, Clock::time_point to);

// Prints the object as one line and flushes.
void print(const QJsonObject &object);

// Stops the program with a message on standard error.
[[noreturn]] void fail(const QString &message);

// The value after "--name" on the command line, or the fallback.
QString option(const QStringList &arguments, const QString &name, const QString &fallback);

} // namespace Bench
