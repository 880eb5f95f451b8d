#pragma once

#include <QCoro/QCoroTask>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <exception>
#include <optional>
#include <stdexcept>

// Runs the event loop until `task` finishes and returns its result, or rethrows what it threw
// (QCoro's own waitFor never returns when the task throws). A task still running after `limit`
// throws std::runtime_error, so a hung coroutine fails its test instead of the run.
template <typename T>
T waitForTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(60))
{
    QEventLoop loop;
    bool done = false;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
    std::exception_ptr error;
    auto body = [&]() -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await task;
            } else {
                result = co_await task;
            }
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        loop.quit();
    };
    QCoro::Task<> running = body();
    if (!done) {
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!done) {
        throw std::runtime_error("the task did not finish in time");
    }
    if (error) {
        std::rethrow_exception(error);
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*result);
    }
}
