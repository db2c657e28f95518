#include "Look.h"

#include <QDir>

#include <windows.h>

namespace tarnwell {

// What a listing of ordinary files shows: no folders, no hidden and no system files.
bool IsPlainVisibleFile(const QString &path)
{
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (attributes & kNotPlain) == 0;
}

} // namespace tarnwell
