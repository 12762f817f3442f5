#pragma once

#include <QString>

#include <vector>

namespace qv {

// Strings that several parts of the program use.
inline constexpr int kStrUserAgent = 114;              // the agent name sent with every request
inline constexpr int kStrPlaceholderIp = 115;          // the address shown before any selection
inline constexpr int kStrHostUnknown = 147;            // a row's host name when it is not known
inline constexpr int kStrSecureRedirectRefused = 179;  // a redirect from https to http
inline constexpr int kStrAppTitle = 57344;  // the program's name, the caption of its boxes

// Text of string resource `id`; an empty string for an unknown id.
QString LoadString(int id);

// True when the table holds `id`.
bool HasString(int id);

// All ids, ascending (for tests and tools).
std::vector<int> StringIds();

}  // namespace qv
