// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Worker.h"

Worker::Worker(std::function<void()> work) : m_thread(std::move(work))
{
    m_thread.start();
}

Worker::~Worker()
{
    wait();
}

void Worker::wait()
{
    m_thread.wait();
}
