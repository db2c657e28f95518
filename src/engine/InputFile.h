#pragma once

#include "FileIdentity.h"
#include "engine/FileRead.h"

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace tarnwell {

// A file read block by block: opened once, read until a short read tells its end.
class InputFile
{
public:
    // `openedAhead`: opened before its turn, so that on Windows its name may be removed or replaced
    // meanwhile, as if it were not open (the turn then finds out).
    explicit InputFile(bool openedAhead = false) : m_openedAhead(openedAhead) {}
    ~InputFile() { Close(); }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    // Whether a file may be opened before its turn: only what is a regular file now (a device or
    // a pipe may answer an open, so it is opened once only, at its turn).
    static bool MayOpenAhead(const QString &path);

    // Opens the file; false when it does not exist (it reads as empty text). Throws when it
    // exists but cannot be opened, or is not a file on a disk (a folder, a pipe, a device): the
    // open never waits, and nothing else is read. With `forAppend`, opens it for appending too
    // where it can. Gives the file's identity in `id`.
    bool Open(const QString &path, bool forAppend, FileId &id);
    FileId Id() const { return m_id; }
    // Its modification time, nanoseconds since 1970, when it was opened or last rewound.
    qint64 ModifiedNs() const { return m_modifiedNs; }
    // Whether `path` still names the file opened.
    bool StillNamedBy(const QString &path) const;
    // Back to the first byte, to be read again from there.
    void Rewind();
    // Fills data[0, size) as far as the file goes; gives the number of bytes read.
    qint64 Read(char *data, qint64 size);
    // Reads the file into `block`, kFileBlockBytes long, and hands each block read to `take`; a
    // small file is one read, and the short read that ends it tells the end of the file. Gives the
    // number of bytes read.
    template <typename Take>
    qint64 ReadBlocks(char *block, Take &&take)
    {
        qint64 total = 0;
        for (qint64 got = kFileBlockBytes; got == kFileBlockBytes;) {
            got = Read(block, kFileBlockBytes);
            total += got;
            if (got > 0)
                take(QByteArrayView(block, got));
        }
        return total;
    }
    // Gives up the open file, for a session to keep, when it was opened for appending too; else
    // gives -1 and keeps it, to be closed.
    qintptr ReleaseForAppend();
    void Close();

private:
    QString m_path;
    FileId m_id;
    qint64 m_modifiedNs = 0;
    bool m_openedAhead = false;
#ifdef Q_OS_WIN
    HANDLE m_handle = INVALID_HANDLE_VALUE;
#else
    int m_fd = -1;
    bool m_writable = false;
#endif
};

} // namespace tarnwell
