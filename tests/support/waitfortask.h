#pragma once

#include <QCoro/QCoroTask>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <exception>
#include <optional>
#include <stdexcept>

// Runs the event loop until `task` returns or throws (QCoro::waitFor hangs on a throw); after
// `limit` throws std::runtime_error, so a hung coroutine fails its test and not the run.
template <typename T>
T waitForTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(60))
{
    QEventLoop loop;
    std::optional<T> result;
    std::exception_ptr error;
    auto body = [&]() -> QCoro::Task<> {
        try {
            result = co_await task;
        } catch (...) {
            error = std::current_exception();
        }
        loop.quit();
    };
    QCoro::Task<> running = body();
    if (!result && !error) {
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (error) {
        std::rethrow_exception(error);
    }
    if (!result) {
        throw std::runtime_error("the task did not finish in time");
    }
    return std::move(*result);
}
