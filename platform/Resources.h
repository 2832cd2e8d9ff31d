#pragma once
// The pictures live in a static library: their registration must be asked for.
void ensureResources();
