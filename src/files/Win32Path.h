#pragma once

// Windows only: the form in which the program's own Win32 file calls take a path.
#include <QDir>
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
// unprefixed call would: separators, "." and "..", the current folder and drive; a trailing
// blank, which the system would drop, is kept, so the name stays the one given. A path that
// already has a "\\?\" or "\\.\" prefix is taken as it stands, and one that the system takes for
// a device (CON, NUL, COM1 and the like, also at the end of a folder path) comes back as its
// "\\.\" path. Qt's own file classes do the same.
inline std::wstring Win32Path(const QString &path)
{
    const std::wstring given = QDir::toNativeSeparators(path).toStdWString();
    if (given.empty() || given.starts_with(L"\\\\.\\") || given.starts_with(L"\\\\?\\"))
        return given;
    std::wstring full(std::max<std::size_t>(MAX_PATH, given.size() + 1), L'\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            return given;                       // the call made with it tells what is wrong with it
        const bool fits = length < full.size(); // else the length needed, with the NUL, came back
        full.resize(length);
        if (fits)
            break;
    }
    if (full.starts_with(L"\\\\.\\"))
        return full;
    if (given.back() == L' ')
        full += L' ';
    return full.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

} // namespace tarnwell
