// Reading a whole file, block by block, into a text sink: the encoding told by the byte-order
// mark, blocks handed over undecoded where the condition test can take them.
#include "engine/FileRead.h"

#include "InputFile.h"
#include "ReadAhead.h"
#include "trap/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#ifdef Q_OS_WIN
#include "files/Win32Path.h"

#include <string>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarnwell {

namespace {

AppError ReadFailure(const QString &path, const QString &reason)
{
    return AppError(QStringLiteral("Could not read the file: %1 (%2)").arg(path, reason));
}

AppError FolderReadFailure(const QString &path)
{
    return ReadFailure(path, QStringLiteral("it is a folder, not a file"));
}

AppError DeviceReadFailure(const QString &path)
{
    return ReadFailure(path, QStringLiteral("it is a device or a pipe, not a file"));
}

#ifdef Q_OS_WIN
// The name a file is opened by, as QFile opens one: its full path behind "\\?\", so that long paths
// work. Empty for a name that the system takes for a device (CON, NUL, COM1 and the like, also at
// the end of a folder path) when it was not given as a "\\.\" path.
std::wstring OpenName(const QString &path)
{
    std::wstring name = Win32Path(path);
    const bool device = name.starts_with(L"\\\\.\\") && !QDir::toNativeSeparators(path).startsWith(u"\\\\.\\");
    return device ? std::wstring() : name;
}
#endif

} // namespace

namespace {

#ifdef Q_OS_WIN
// The last write, from 100 ns steps since 1601 to nanoseconds since 1970.
qint64 ModifiedNsOf(const BY_HANDLE_FILE_INFORMATION &info)
{
    const qint64 written = qint64(info.ftLastWriteTime.dwHighDateTime) << 32 | info.ftLastWriteTime.dwLowDateTime;
    return (written - 116444736000000000LL) * 100;
}
#else
qint64 ModifiedNsOf(const struct stat &status)
{
    return qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}
#endif

} // namespace

#ifdef Q_OS_WIN

bool InputFile::Open(const QString &path, bool, FileId &id)
{
    m_path = path;
    if (path.isEmpty())
        return false;
    const std::wstring name = OpenName(path);
    if (name.empty())
        throw DeviceReadFailure(path); // not even opened: a device may answer an open
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | (m_openedAhead ? FILE_SHARE_DELETE : 0);
    m_handle = ::CreateFileW(name.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (m_handle != INVALID_HANDLE_VALUE) {
        if (::GetFileType(m_handle) != FILE_TYPE_DISK)
            throw DeviceReadFailure(path); // a pipe or a device named by its "\\.\" path
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileInformationByHandle(m_handle, &info)) {
            id = {info.dwVolumeSerialNumber, quint64(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
            m_modifiedNs = ModifiedNsOf(info);
        }
        m_id = id;
        return true;
    }
    // Only a path that is not there reads as empty text (a file moved away since it was listed); one
    // that is there but cannot be reached is a failure to read it.
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return false;
    if (QFileInfo(path).isDir())
        throw FolderReadFailure(path);
    throw ReadFailure(path, qt_error_string(static_cast<int>(error)));
}

qint64 InputFile::Read(char *data, qint64 size)
{
    qint64 filled = 0;
    while (filled < size) {
        DWORD got = 0;
        if (!::ReadFile(m_handle, data + filled, static_cast<DWORD>(std::min<qint64>(size - filled, 1 << 30)), &got,
                        nullptr))
            throw ReadFailure(m_path, qt_error_string(static_cast<int>(::GetLastError())));
        if (got == 0)
            break;
        filled += got;
    }
    return filled;
}

qintptr InputFile::ReleaseForAppend()
{
    return -1; // opened for reading only: an append opens the file again
}

bool InputFile::MayOpenAhead(const QString &path)
{
    if (path.isEmpty())
        return false;
    const std::wstring name = OpenName(path);
    if (name.empty() || name.starts_with(L"\\\\.\\"))
        return false;
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool InputFile::StillNamedBy(const QString &path) const
{
    if (!m_openedAhead)
        return true; // opened at its turn without sharing its removal: nothing can take its name
    // Opened for no access at all: only to ask which file the name reaches now.
    const HANDLE now = ::CreateFileW(OpenName(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (now == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(now, &info) != 0;
    ::CloseHandle(now);
    return known && m_id.Known()
           && FileId{info.dwVolumeSerialNumber, quint64(info.nFileIndexHigh) << 32 | info.nFileIndexLow} == m_id;
}

void InputFile::Rewind()
{
    if (!::SetFilePointerEx(m_handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN))
        throw ReadFailure(m_path, qt_error_string(static_cast<int>(::GetLastError())));
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(m_handle, &info))
        m_modifiedNs = ModifiedNsOf(info);
}

void InputFile::Close()
{
    if (m_handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(std::exchange(m_handle, INVALID_HANDLE_VALUE));
}
#else
bool InputFile::Open(const QString &path, bool forAppend, FileId &id)
{
    m_path = path;
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return false;
    // Without waiting: a pipe without a writer, or a device, could hold the open. For a regular file
    // the flag changes nothing, neither for reading nor for appending through it.
    constexpr int kFlags = O_CLOEXEC | O_NONBLOCK;
    m_writable = false;
    if (forAppend) {
        m_fd = ::open(native.constData(), O_RDWR | O_APPEND | kFlags);
        m_writable = m_fd >= 0;
    }
    if (m_fd < 0 && (!forAppend || (errno != ENOENT && errno != ENOTDIR)))
        m_fd = ::open(native.constData(), O_RDONLY | kFlags);
    if (m_fd < 0) {
        // Only a path that is not there reads as empty text (a file moved away since it was listed);
        // one that is there but cannot be reached (a folder that may not be entered, a link loop, a
        // name too long) is a failure to read it.
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return false;
        if (QFileInfo(path).isDir())
            throw FolderReadFailure(path);
        throw ReadFailure(path, qt_error_string(error));
    }
    // Only a regular file is read: the first read of a pipe or a device may wait for ever. The same
    // query gives the file's identity.
    struct stat status
    {};
    if (::fstat(m_fd, &status) != 0)
        throw ReadFailure(path, qt_error_string(errno));
    if (S_ISDIR(status.st_mode))
        throw FolderReadFailure(path);
    if (!S_ISREG(status.st_mode))
        throw DeviceReadFailure(path);
    id = {static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino)};
    m_id = id;
    m_modifiedNs = ModifiedNsOf(status);
    return true;
}

qint64 InputFile::Read(char *data, qint64 size)
{
    for (;;) {
        const ssize_t got = ::read(m_fd, data, static_cast<std::size_t>(size));
        if (got >= 0)
            return got;
        if (errno != EINTR)
            throw ReadFailure(m_path, qt_error_string(errno));
    }
}

qintptr InputFile::ReleaseForAppend()
{
    return m_writable ? std::exchange(m_fd, -1) : -1;
}

bool InputFile::MayOpenAhead(const QString &path)
{
    struct stat status
    {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

bool InputFile::StillNamedBy(const QString &path) const
{
    if (!m_openedAhead)
        return true; // opened at its turn, by that name
    struct stat status
    {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0
           && FileId{static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino)} == m_id;
}

void InputFile::Rewind()
{
    if (::lseek(m_fd, 0, SEEK_SET) != 0)
        throw ReadFailure(m_path, qt_error_string(errno));
    struct stat status
    {};
    if (::fstat(m_fd, &status) != 0)
        throw ReadFailure(m_path, qt_error_string(errno));
    m_modifiedNs = ModifiedNsOf(status);
}

void InputFile::Close()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
}
#endif

namespace {

// Whether every byte is below 80 hex; eight at a time.
bool IsAscii(QByteArrayView bytes)
{
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    quint64 high = 0;
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        high |= word;
    }
    for (; p < end; ++p)
        high |= static_cast<unsigned char>(*p);
    return (high & 0x8080808080808080ull) == 0;
}

// The read block, kFileBlockBytes long, in `storage`, on a 64-byte boundary: the system copies
// into it markedly faster than into one that is only 16-byte aligned.
char *AlignedBlock(std::unique_ptr<char[]> &storage)
{
    constexpr std::size_t kAlign = 64;
    if (!storage)
        storage = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(kFileBlockBytes) + kAlign);
    const auto at = reinterpret_cast<std::uintptr_t>(storage.get());
    return storage.get() + (kAlign - at % kAlign) % kAlign;
}

} // namespace

ReadResult ReadWholeFile(const QString &path, const CodePage &codePage, const std::function<void(QStringView)> &sink)
{
    class DecodingSink final : public TextSink
    {
    public:
        explicit DecodingSink(const std::function<void(QStringView)> &sink) : m_sink(sink) {}
        void Text(QStringView text) override { m_sink(text); }
        bool Bytes(QByteArrayView, const char16_t *) override { return false; }

    private:
        const std::function<void(QStringView)> &m_sink;
    };
    DecodingSink decoding(sink);
    ReadSession session;
    return ReadWholeFile(path, codePage, decoding, session, false);
}

void ReadSession::Close()
{
#ifndef Q_OS_WIN
    if (m_held.handle >= 0)
        ::close(static_cast<int>(m_held.handle));
#endif
    m_held = {};
}

ReadResult ReadWholeFile(const QString &path, const CodePage &codePage, TextSink &sink, ReadSession &session,
                         bool keepForAppend)
{
    session.Close();
    ReadResult result;
    // A file opened ahead is read again from its start: what counts is what it holds at its turn.
    std::unique_ptr<InputFile> opened = session.m_ahead ? session.m_ahead->Take(path, keepForAppend) : nullptr;
    InputFile ownOpen;
    InputFile &file = opened ? *opened : ownOpen;
    if (opened) {
        result.id = file.Id();
        file.Rewind();
    } else {
        const auto start = std::chrono::steady_clock::now();
        const bool exists = file.Open(path, keepForAppend, result.id);
        if (session.m_ahead)
            session.m_ahead->RunOpened(
                std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count());
        if (!exists)
            return result;
    }
    result.modifiedNs = file.ModifiedNs();
    result.exists = true;

    // The first block's byte-order mark tells the encoding, and with it how the blocks are handed
    // over. Blocks may go to the sink undecoded only where a byte below 80 hex is always its ASCII
    // character: UTF-8 and the code pages, not UTF-16. A decoder that can hold an unfinished
    // character (all but one of one byte per character) holds none after a byte below 80 hex.
    std::unique_ptr<CodePage::Decoder> decoder;
    bool asciiCompatible = false;
    const char16_t *highHalf = nullptr;
    bool decoderEmpty = true;
    result.size = file.ReadBlocks(AlignedBlock(session.m_blockStorage), [&](QByteArrayView bytes) {
        if (!decoder) {
            qsizetype markLength = 0;
            result.encoding = EncodingOfMark(bytes, markLength);
            decoder = NewDecoder(result.encoding, codePage);
            asciiCompatible = result.encoding == FileEncoding::CodePage || result.encoding == FileEncoding::Utf8Bom;
            highHalf = result.encoding == FileEncoding::CodePage ? codePage.HighHalf() : nullptr;
            bytes = bytes.sliced(markLength);
        }
        bool taken = false;
        if (asciiCompatible && decoderEmpty && !bytes.isEmpty()) {
            // With a table for the high bytes there is no need to look for them first.
            if (highHalf != nullptr)
                taken = sink.Bytes(bytes, highHalf);
            else if (IsAscii(bytes))
                taken = sink.Bytes(bytes, nullptr);
        }
        if (!taken) {
            const QString text = decoder->Decode(bytes);
            if (!text.isEmpty())
                sink.Text(text);
            if (!bytes.isEmpty())
                decoderEmpty = highHalf != nullptr || static_cast<unsigned char>(bytes.back()) < 0x80;
        }
    });
    if (const qintptr held = file.ReleaseForAppend(); held >= 0)
        session.m_held = {held, path, result.size};
    return result;
}

void ReadWholeBytes(const QString &path, const std::function<void(QByteArrayView)> &take)
{
    InputFile file;
    FileId id;
    if (!file.Open(path, false, id))
        return;
    std::unique_ptr<char[]> storage;
    file.ReadBlocks(AlignedBlock(storage), take);
}

} // namespace tarnwell
