#pragma once

// Windows only: the form in which the program's own Win32 file calls take a path.
#include <QString>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <string>

namespace tarnwell {

// The full path with the "\\?\" prefix ("\\?\UNC\server\share\..." for a network path), which
// the wide-character file calls take past 260 characters whether or not the machine enables
// long paths. The path is first made full by the system's own rules (GetFullPathNameW), as an
// unprefixed call would: separators, "." and "..", the current folder and drive. A path that
// already has a "\\?\" or "\\.\" prefix, or that the system resolves to a device, is taken as it
// stands. Qt's own file classes do the same.
inline std::wstring Win32Path(const QString &path)
{
    std::wstring native = path.toStdWString();
    if (path.startsWith(QLatin1String("\\\\?\\")) || path.startsWith(QLatin1String("\\\\.\\")) || path.isEmpty())
        return native;
    std::wstring full(std::max<std::size_t>(native.size() + 1, MAX_PATH), L'\0');
    DWORD length = ::GetFullPathNameW(native.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) { // too small: the length needed, with the NUL, came back
        full.resize(length);
        length = ::GetFullPathNameW(native.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size())
        return native;
    full.resize(length);
    if (full.starts_with(L"\\\\.\\") || full.starts_with(L"\\\\?\\"))
        return full;
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

} // namespace tarnwell
