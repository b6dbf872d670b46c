#pragma once

#include <QCoroTask>
#include <QEventLoop>

#include <exception>
#include <optional>
#include <type_traits>

// Runs a coroutine to its end in a local event loop and returns its result or rethrows its
// failure. (QCoro::waitFor never returns when the awaited task throws.)
template <typename T>
T runTask(QCoro::Task<T>&& task)
{
    QEventLoop loop;
    std::exception_ptr error;
    bool done = false;
    using Stored = std::conditional_t<std::is_void_v<T>, bool, std::optional<T>>;
    Stored result{};
    auto wrapper = [&](QCoro::Task<T> inner) -> QCoro::Task<void> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(inner);
            } else {
                result.emplace(co_await std::move(inner));
            }
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        loop.quit();
    };
    auto running = wrapper(std::move(task));
    if (!done)
        loop.exec();
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}
