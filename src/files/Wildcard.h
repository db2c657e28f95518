#pragma once

#include <QString>

namespace tarnwell {

// Whether `name` matches the wildcard `pattern` as Windows matches it: letter case ignored, "*"
// any run, "?" one character, and a final ".*" also matches a name without a dot ("*.*" matches
// every name).
bool WildcardMatches(const QString &pattern, const QString &name);

} // namespace tarnwell
