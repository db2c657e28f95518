#pragma once

#include "engine/CodePage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

namespace tarnwell {

// How a file's text is stored, told by its byte-order mark. A file whose first byte is FE or FF
// without a complete mark is text in the code page.
enum class FileEncoding { CodePage, Utf8Bom, Utf16LE, Utf16BE };

// The encoding that the byte-order mark at the start of a file tells, and in `markLength` the
// mark's length (0 for text in the code page).
FileEncoding EncodingOfMark(QByteArrayView start, qsizetype &markLength);

// A decoder for a file's text after its mark; partial characters carry over to the next block.
std::unique_ptr<CodePage::Decoder> NewDecoder(FileEncoding encoding, const CodePage &codePage);

// The name of an encoding for messages, for example "UTF-16LE" or "windows-1252".
QString EncodingName(FileEncoding encoding, const CodePage &codePage);

// The bytes that follow a file's content when `appendText` is added to it: CR LF and the text,
// in the file's own encoding. Throws AppError naming `file` when a character cannot be written
// in it.
QByteArray EncodeAppendix(const QString &appendText, FileEncoding encoding, const CodePage &codePage,
                          const QString &file = QString());

} // namespace tarnwell
