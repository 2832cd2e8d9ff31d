// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A piece of work on a thread of its own: a QThread whose run() is the work.
// Not QThread::create, whose std::future leaves per-thread storage of
// mingw-w64's posix-threads runtime behind (the Windows build then hangs as
// it ends), nor a std::thread, whose end Qt's adopted-thread cleanup
// crashes there.

#include <QThread>

#include <functional>

class Worker {
public:
    // Starts work at once.
    explicit Worker(std::function<void()> work);
    // Waits for the work to end.
    ~Worker();
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    void wait();

private:
    class Thread : public QThread {
    public:
        explicit Thread(std::function<void()> work) : m_work(std::move(work)) {}
        void run() override { m_work(); }

    private:
        std::function<void()> m_work;
    };
    Thread m_thread;
};
