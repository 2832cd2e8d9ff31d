// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A large office's archive, ten times over, made with a fixed seed.

#include <QElapsedTimer>
#include <QString>

#include <functional>

struct BenchSize {
    int clients = 10000;
    int projects = 10000;
    int itemsPerProject = 10;       // 100,000 items
    int componentsPerProject = 10;  // 100,000 components
};

bool buildBenchArchive(const QString &path, const BenchSize &size, QString *error);

// Milliseconds for fn, best of runs.
double timeMs(const std::function<void()> &fn, int runs = 3);
void report(const char *name, double ms, double plainMs = -1);
