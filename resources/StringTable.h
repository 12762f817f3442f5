#pragma once

#include <QString>

#include <vector>

namespace qv {

// Text of string resource `id`; an empty string for an unknown id.
QString LoadString(int id);

// True when the table holds `id`.
bool HasString(int id);

// All ids, ascending (for tests and tools).
std::vector<int> StringIds();

}  // namespace qv
