#pragma once

namespace qb {
// Registers the program's bundled pictures (they live in a static library).
void initResources();
}
