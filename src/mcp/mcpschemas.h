#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// Builders for the JSON schemas of the tool catalogue.
namespace MCPSchemas {

// ---- members of an input schema

QJsonObject stringProperty(const QString &description = {});
QJsonObject enumProperty(const QStringList &values);
QJsonObject describedEnumProperty(const QStringList &values, const QString &description);
QJsonObject integerProperty(int minimum, int maximum, const QString &description);
QJsonObject booleanProperty(const QString &description = {});

// ---- whole schemas

QJsonObject typed(const QString &type);
QJsonObject objectSchema(const QJsonObject &properties = {}, const QStringList &required = {});
// An object whose members are all required.
QJsonObject recordSchema(const QJsonObject &properties);
QJsonObject arraySchema(const QJsonObject &items);

// ---- the records the tools answer with

QJsonObject externalInputSchema();
QJsonObject channelSchema();
QJsonObject statusSchema();
QJsonObject devicesSchema();
QJsonObject appsSchema();
QJsonObject channelResultSchema();

} // namespace MCPSchemas
