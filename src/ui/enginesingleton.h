#pragma once

#include <QJSEngine>
#include <QVariant>

// The object the window made for this engine under that name (MainWindow::load sets it as an
// engine property), handed to QML as a singleton the engine does not own.
template <typename T> T *engineSingleton(QJSEngine *engine, const char *name)
{
    auto *object = qobject_cast<T *>(engine->property(name).template value<QObject *>());
    if (object)
        QJSEngine::setObjectOwnership(object, QJSEngine::CppOwnership);
    return object;
}
