#pragma once

#include "ssaperror.h"

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>
#include <type_traits>
#include <variant>

// How the tests await a coroutine: start() runs it and fills in its outcome when it completes
// (also when it throws, where QCoro::waitFor would never return); tests wait on `done` with
// QTRY_VERIFY. `completions` would show a second completion.
template <typename T> struct Outcome {
    std::optional<std::conditional_t<std::is_void_v<T>, std::monostate, T>> value;
    std::optional<SSAPError> error;
    int completions = 0;
    bool done() const { return completions > 0; }
    QString errorText() const { return error ? error->description() : QString(); }
};

template <typename T> std::shared_ptr<Outcome<T>> start(QCoro::Task<T> task)
{
    auto outcome = std::make_shared<Outcome<T>>();
    [](QCoro::Task<T> running, std::shared_ptr<Outcome<T>> into) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(running);
                into->value.emplace();
            } else {
                into->value = co_await std::move(running);
            }
        } catch (const SSAPError &error) {
            into->error = error;
        }
        ++into->completions;
    }(std::move(task), outcome);
    return outcome;
}
