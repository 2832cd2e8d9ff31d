// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An SQLite file layer over the default one that waits a set time on every
// file request and counts the requests, as a network share would cost them.
// Only the benchmark and the tests use it; the program keeps the default.

#include <QString>

namespace LatencyVfs {
struct Counts {
    long reads = 0, writes = 0, syncs = 0, locks = 0, opens = 0, other = 0;
    long total() const { return reads + writes + syncs + locks + opens + other; }
};

// Registers the layer under its name (not as the default) and returns the name.
const char *install();
void setDelayMicroseconds(int us);
Counts counts();
void resetCounts();
}
