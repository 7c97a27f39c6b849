// SPDX-License-Identifier: MIT
#include "system/Transfers.h"

#include "services/Http.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace paveno {

namespace {

// The works running on workers: the program's end waits until there are none.
std::mutex runningMutex;
std::condition_variable runningChanged;
int running = 0;

} // namespace

void RunWhileWindowsGoOn(const std::function<void()>& work) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() != application->thread()) {
        work();
        return;
    }
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    {
        std::lock_guard lock(runningMutex);
        ++running;
    }
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        // Queued to the loop's thread: the loop ends once it takes this event, however late it starts.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        std::lock_guard lock(runningMutex);
        --running;
        runningChanged.notify_all();
    });
    // The loop also ends when the whole application is asked to end; the work is then waited for without events.
    if (!done) loop.exec();
    worker.join();
    if (failure) std::rethrow_exception(failure);
}

void RunTransfersOffTheWindowThread() {
    StopAllTransfers(false);
    SetTransferRunner(RunWhileWindowsGoOn);
}

void StopTransfersAndWait() {
    StopAllTransfers(true);
    std::unique_lock lock(runningMutex);
    runningChanged.wait(lock, [] { return running == 0; });
}

int RunningTransfers() {
    std::lock_guard lock(runningMutex);
    return running;
}

} // namespace paveno
