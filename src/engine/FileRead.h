#pragma once

#include "FileIdentity.h"
#include "engine/CodePage.h"
#include "engine/Encoding.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace tarnwell {

// Files are read and copied in blocks of this size, so memory does not grow with the file.
inline constexpr qint64 kFileBlockBytes = qint64(256) << 10;

struct ReadResult
{
    bool exists = false; // false: a missing file, read as empty text
    qint64 size = 0;     // bytes on disk; 0 reads as empty text too
    FileEncoding encoding = FileEncoding::CodePage;
    FileId id;             // of the file read, from the open file itself
    qint64 modifiedNs = 0; // its modification time, nanoseconds since 1970, from the same query
};

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

class ReadAhead;
class ReadSession;

// Reads the whole file in bounded chunks and hands its text to `sink` piece by piece (the
// byte-order mark takes no part). Memory does not grow with the file. A missing file or one of
// length zero gives no text and no error. Throws AppError when the file cannot be read.
ReadResult ReadWholeFile(const QString &path, const CodePage &codePage, const std::function<void(QStringView)> &sink);

// The same, in a session. With `keepForAppend` the file is opened for reading and appending
// where it allows that, and kept open in the session for WriteWholeFile; a file that cannot be
// opened for writing is read all the same.
ReadResult ReadWholeFile(const QString &path, const CodePage &codePage, TextSink &sink, ReadSession &session,
                         bool keepForAppend);

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
    // Files are taken from `ahead`, where it has opened them, instead of opened at their turn.
    void TakeFrom(ReadAhead *ahead) { m_ahead = ahead; }

    // The file last read, kept open to read and append: the system's handle of it (-1: none is
    // kept), its path and the bytes read from it.
    struct HeldFile
    {
        qintptr handle = -1;
        QString path;
        qint64 size = 0;
    };
    const HeldFile &Held() const { return m_held; }

private:
    friend ReadResult ReadWholeFile(const QString &path, const CodePage &codePage, TextSink &sink, ReadSession &session,
                                    bool keepForAppend);
    std::unique_ptr<char[]> m_blockStorage; // the read block, kept from file to file
    HeldFile m_held;
    ReadAhead *m_ahead = nullptr;
};

// Hands the bytes of the file to `take` block by block, as they are on disk (a byte-order mark
// too). A missing file gives none. Throws AppError when the file cannot be read.
void ReadWholeBytes(const QString &path, const std::function<void(QByteArrayView)> &take);

} // namespace tarnwell
