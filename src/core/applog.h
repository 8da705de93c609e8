#pragma once

#include <QString>

// The one diagnostic operation: appends "HH:mm:ss.SSS message\n" to the log file.
// Returns at once from any thread; a background writer does the disk work in call order.
void appLog(const QString &message);

// Absolute path of the log file (computed once; creating it also creates the folder).
QString logFileURL();

// Blocks until every line handed to appLog so far has been written (tests, shutdown).
void appLogFlush();
