#pragma once

#include "CodePage.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>
#include <memory>

class QIODevice;

namespace tarnwell {

class AppendJournal;

// How a file's text is stored, told by its byte-order mark. A file whose first byte is FE or FF
// without a complete mark is text in the code page.
enum class FileEncoding { CodePage, Utf8Bom, Utf16LE, Utf16BE };

// Files are read and copied in blocks of this size, so memory does not grow with the file.
inline constexpr qint64 kFileBlockBytes = qint64(256) << 10;

// The name of an encoding for messages, for example "UTF-16LE" or "windows-1252".
QString EncodingName(FileEncoding encoding, const CodePage &codePage);

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

struct ReadResult
{
    bool exists = false; // false: a missing file, read as empty text
    qint64 size = 0;     // bytes on disk; 0 reads as empty text too
    FileEncoding encoding = FileEncoding::CodePage;
    FileId id; // of the file read, from the open file itself
};

// Reads the whole file in bounded chunks and hands its text to `sink` piece by piece (the
// byte-order mark takes no part). Memory does not grow with the file. A missing file or one of
// length zero gives no text and no error. Throws AppError when the file cannot be read.
ReadResult ReadWholeFile(const QString &path, const CodePage &codePage, const std::function<void(QStringView)> &sink);

// Where ReadWholeFile can hand a file's text without decoding it. A block of a file in the code
// page or in UTF-8, read where no character is left unfinished, is first offered to `Bytes`: each
// byte below 80 hex is its ASCII character, and `highHalf` is either null (every byte of the block
// is below 80 hex) or, for a code page of one byte per character, the 128 characters of the bytes
// 80 to FF hex. A block that `Bytes` does not take (it returns false having used nothing) is
// decoded and handed to `Text`, as are the blocks of every other file.
class TextSink
{
public:
    virtual ~TextSink() = default;
    virtual void Text(QStringView text) = 0;
    virtual bool Bytes(QByteArrayView bytes, const char16_t *highHalf) = 0;
};
ReadResult ReadWholeFile(const QString &path, const CodePage &codePage, TextSink &sink);

// Files read one after another: the read block is kept from file to file, and the file just read
// may be kept open so that appending to it needs no second open (on POSIX systems; elsewhere the
// append opens the file again).
class ReadSession
{
public:
    ReadSession() = default;
    ~ReadSession() { Close(); }
    ReadSession(const ReadSession &) = delete;
    ReadSession &operator=(const ReadSession &) = delete;
    void Close(); // closes the file kept open, if any
    // The read block, kFileBlockBytes long, on a 64-byte boundary: the system copies into it
    // markedly faster than into one that is only 16-byte aligned.
    char *Block();

    std::unique_ptr<char[]> blockStorage;
    int heldFd = -1;     // the file last read, open to read and append; -1: none
    QString heldPath;    // its path
    qint64 heldSize = 0; // the bytes read from it
};

// The same, in a session. With `keepForAppend` the file is opened for reading and appending
// where it allows that, and kept open in the session for WriteWholeFile; a file that cannot be
// opened for writing is read all the same.
ReadResult ReadWholeFile(const QString &path, const CodePage &codePage, TextSink &sink, ReadSession &session,
                         bool keepForAppend);

// The bytes that follow a file's content when `appendText` is added to it: CR LF and the text,
// in the file's own encoding. Throws AppError naming `file` when a character cannot be written
// in it.
QByteArray EncodeAppendix(const QString &appendText, FileEncoding encoding, const CodePage &codePage,
                          const QString &file = QString());

// Writes `target` as the bytes of `source` (nothing when it is missing) followed by `appendix`.
// When target and source are the same file, the appendix is appended in place and the original
// bytes are never rewritten; a failed append cuts the file back to its original length, and with
// a `journal` the append is recorded first, so a killed process leaves no part of it either. Any
// other target is replaced atomically: a failure leaves the old target or none, never a partial
// file. Throws AppError on failure.
void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix,
                    AppendJournal *journal = nullptr);
// The same, appending in place through the file the session holds open when it is the target.
void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix, ReadSession &session,
                    AppendJournal *journal = nullptr);

// Writes one block to the device and gives the number of bytes written, or -1 on failure, like
// QIODevice::write. WriteWholeFile writes every block through one; tests pass one that fails
// part-way to prove that a failed write loses nothing.
using BlockWriter = std::function<qint64(QIODevice &device, QByteArrayView block)>;
void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix,
                    const BlockWriter &writeBlock, const ReadSession *session = nullptr,
                    AppendJournal *journal = nullptr);

// The hidden name beside a target under which its new file waits to replace it, from the target's
// file name: 30 characters whatever the target's length, so it fits wherever the target's name does,
// and the same each time, so that one left by a killed process is removed when that target is next
// written.
QString PendingFileName(const QString &targetName);

// Whether a new file is first made unnamed (O_TMPFILE) where the system supports it; on by default.
// Some file systems refuse unnamed files (vfat, NFS, SMB), and new files are then made under their
// pending name; tests turn this off to take that way anywhere. Windows always takes it.
void UseUnnamedFiles(bool use);

// Whether two paths name the same file (the same path, or one file reached by two names).
bool IsSameFile(const QString &a, const QString &b);

} // namespace tarnwell
