#pragma once

#include <QString>
#include <QtGlobal>

namespace tarnwell {

// Which file a path reached: its device and its number there (on Windows the volume's serial number
// and the file index), shared by every name of the file (links, hard links, other spellings). Zero
// when it is not known.
struct FileId
{
    quint64 device = 0;
    quint64 file = 0;
    bool Known() const { return device != 0 || file != 0; }
    friend bool operator==(const FileId &, const FileId &) = default;
    friend bool operator<(const FileId &a, const FileId &b)
    {
        return a.device != b.device ? a.device < b.device : a.file < b.file;
    }
};

// Whether two paths name the same file (the same path, or one file reached by two names).
bool IsSameFile(const QString &a, const QString &b);

} // namespace tarnwell
