#pragma once

#include <QFuture>
#include <QtConcurrent>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

// Work for the global thread pool that keeps the very exception it threw. (The pool on its own
// would wrap our errors in an exception that has lost their texts.)
//
//     auto hashing = startOffThread([path] { return digestOf(path); });
//     const Digest digest = resultOf(co_await hashing);
//
// Plain functions rather than a coroutine taking the work: GCC 12 mishandles class-type
// temporaries handed to a coroutine inside a co_await expression.

template <typename Result>
struct OffThreadOutcome
{
    std::optional<Result> value;
    std::exception_ptr failure;
};

template <>
struct OffThreadOutcome<void>
{
    std::exception_ptr failure;
};

// On `pool` (the global pool when none is given).
template <typename Work>
QFuture<OffThreadOutcome<std::invoke_result_t<Work>>> startOffThread(Work work, QThreadPool* pool = nullptr)
{
    using Result = std::invoke_result_t<Work>;
    if (!pool)
        pool = QThreadPool::globalInstance();
    return QtConcurrent::run(pool, [work = std::move(work)]() mutable -> OffThreadOutcome<Result> {
        try {
            if constexpr (std::is_void_v<Result>) {
                work();
                return {};
            } else {
                return {work(), nullptr};
            }
        } catch (...) {
            if constexpr (std::is_void_v<Result>)
                return {std::current_exception()};
            else
                return {std::nullopt, std::current_exception()};
        }
    });
}

// The work's result, or its exception thrown again on the caller's thread.
template <typename Result>
Result resultOf(OffThreadOutcome<Result> outcome)
{
    if (outcome.failure)
        std::rethrow_exception(outcome.failure);
    if constexpr (!std::is_void_v<Result>)
        return std::move(*outcome.value);
}
