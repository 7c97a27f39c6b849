// SPDX-License-Identifier: MIT
#include "system/Transfers.h"

#include "services/Http.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <atomic>
#include <exception>
#include <thread>

namespace paveno {

void RunWhileWindowsGoOn(const std::function<void()>& work) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() != application->thread()) {
        work();
        return;
    }
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        // Queued to the loop's thread: the loop ends once it takes this event, however late it starts.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // The loop also ends when the whole application is asked to end; the work is then waited for without events.
    if (!done) loop.exec();
    worker.join();
    if (failure) std::rethrow_exception(failure);
}

void RunTransfersOffTheWindowThread() {
    SetTransferRunner(RunWhileWindowsGoOn);
}

} // namespace paveno
