#pragma once

#include "CodePage.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>

namespace tarnwell {

// How a file's text is stored, told by its byte-order mark. A file whose first byte is FE or FF
// without a complete mark is text in the code page.
enum class FileEncoding { CodePage, Utf8Bom, Utf16LE, Utf16BE };

// Whether the path names an existing file or folder. Never fails.
bool FileExists(const QString &path);

struct ReadResult
{
    bool exists = false;        // false: a missing file, read as empty text
    qint64 size = 0;            // bytes on disk; 0 reads as empty text too
    FileEncoding encoding = FileEncoding::CodePage;
};

// Reads the whole file in bounded chunks and hands its text to `sink` piece by piece (the
// byte-order mark takes no part). Memory does not grow with the file. A missing file or one of
// length zero gives no text and no error. Throws AppError when the file cannot be read.
ReadResult ReadWholeFile(const QString &path, const CodePage &codePage,
                         const std::function<void(QStringView)> &sink);

// The bytes that follow a file's content when `appendText` is added to it: CR LF and the text,
// in the file's own encoding. Throws AppError when a character cannot be written in it.
QByteArray EncodeAppendix(const QString &appendText, FileEncoding encoding, const CodePage &codePage);

// Writes `target` as the bytes of `source` (nothing when it is missing) followed by `appendix`.
// When target and source are the same file, the appendix is appended in place and the original
// bytes are never rewritten; a failed append cuts the file back to its original length. Any other
// target is replaced atomically: a failure leaves the old target or none, never a partial file.
// Throws AppError on failure.
void WriteWholeFile(const QString &source, const QString &target, const QByteArray &appendix);

} // namespace tarnwell
