// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pictures live in a static library: their registration must be asked for.
void ensureResources();
