#pragma once

#include "ssaperror.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <QCoro/QCoroTask>

#include <coroutine>
#include <memory>
#include <utility>
#include <variant>

// A one-shot outcome that one coroutine awaits. The first resolve() or fail() wins; later
// calls do nothing and say so. Keep it in a std::shared_ptr: the map entry, the time-out and the
// awaiting coroutine each hold it, so whichever event comes first completes it and the others
// find it already done.
//
// The waiting coroutine is resumed from the event loop, never from inside the code that
// completed it. A completion fired from a destructor or from a socket callback therefore never
// runs the caller's code while the client is half torn down; when it resumes, the caller's
// QPointer to the client is already null.
template <typename T> class Completion {
public:
    bool isDone() const { return m_outcome.index() != 0; }

    bool resolve(T value)
    {
        if (isDone())
            return false;
        m_outcome.template emplace<1>(std::move(value));
        wake();
        return true;
    }

    bool fail(const SSAPError &error)
    {
        if (isDone())
            return false;
        m_outcome.template emplace<2>(error);
        wake();
        return true;
    }

    auto operator co_await() noexcept
    {
        struct Awaiter {
            Completion *c;
            bool await_ready() const noexcept { return c->isDone(); }
            void await_suspend(std::coroutine_handle<> handle) noexcept { c->m_waiting = handle; }
            T await_resume()
            {
                if (c->m_outcome.index() == 2)
                    throw std::get<2>(c->m_outcome);
                return std::move(std::get<1>(c->m_outcome));
            }
        };
        return Awaiter { this };
    }

    // The coroutine that awaits a completion; it holds the completion and nothing else.
    static QCoro::Task<T> wait(std::shared_ptr<Completion> completion) { co_return co_await *completion; }

private:
    void wake()
    {
        const std::coroutine_handle<> handle = std::exchange(m_waiting, {});
        if (!handle)
            return;
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [handle] { handle.resume(); }, Qt::QueuedConnection);
        else
            handle.resume();
    }

    std::variant<std::monostate, T, SSAPError> m_outcome;
    std::coroutine_handle<> m_waiting;
};
