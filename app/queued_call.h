#pragma once

#include <QMetaObject>
#include <QObject>

#include <mutex>
#include <utility>

// A call made on a worker thread and run later on the receiver's thread.
// Qt hands it over under a lock of its own that ThreadSanitizer cannot see
// into, so both sides also take this one. The lock lives outside the call,
// so the receiving side takes it before it reads anything the call carries
// (even the receiver's own address): the call cannot run before the posting
// side lets go, and everything it reads was written before.
inline std::mutex& queued_call_mutex() {
    static std::mutex m;
    return m;
}

template <typename F>
void post_queued(QObject* receiver, F call) {
    const std::lock_guard<std::mutex> posting(queued_call_mutex());
    QMetaObject::invokeMethod(
        receiver,
        [call = std::move(call)]() mutable {
            { const std::lock_guard<std::mutex> received(queued_call_mutex()); }
            call();
        },
        Qt::QueuedConnection);
}
