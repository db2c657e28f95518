#pragma once

#include <QString>

#include <functional>

namespace tarnwell {

class FileList;

// Removes every entry whose path contains / does not contain `text`, both lower-cased by the
// user's locale. Yields once per entry while testing; the removal itself is one pass, and the
// entries that stay keep their order.
void RemoveEntriesContaining(FileList &list, const QString &text, const std::function<void()> &yield);
void RemoveEntriesNotContaining(FileList &list, const QString &text, const std::function<void()> &yield);

} // namespace tarnwell
