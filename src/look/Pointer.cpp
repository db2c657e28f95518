#include "look/Look.h"

#include "look/PointerStates.h"
#include "trap/AppError.h"
#include "trap/ErrorNumbers.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

#include <array>

namespace tarnwell {

namespace {

// A cursor file is an icon directory of type 2; its first entry gives the hotspot where an
// icon keeps its planes and bit count.
constexpr qsizetype kDirectorySize = 6;
constexpr qsizetype kEntrySize = 16;

quint16 U16(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 U32(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

AppError NotACursor(const QString &path, const QString &why)
{
    return AppError(QStringLiteral("\"%1\" is not a cursor image (%2).").arg(QDir::toNativeSeparators(path), why),
                    kErrInvalidPicture);
}

} // namespace

QString CursorFilePath(const QString &programFolder)
{
    return programFolder + QDir::separator() + QStringLiteral("HAND-M.CUR");
}

QCursor LoadCursorFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("The cursor file \"%1\" cannot be read: %2.")
                           .arg(QDir::toNativeSeparators(path), file.errorString()),
                       kErrFileNotFound);
    QByteArray bytes = file.readAll();
    file.close();

    if (bytes.size() < kDirectorySize + kEntrySize)
        throw NotACursor(path, QStringLiteral("too short"));
    if (U16(bytes, 0) != 0 || U16(bytes, 2) != 2 || U16(bytes, 4) == 0)
        throw NotACursor(path, QStringLiteral("no cursor directory at its start"));
    const int hotX = U16(bytes, kDirectorySize + 4);
    const int hotY = U16(bytes, kDirectorySize + 6);
    const quint64 imageSize = U32(bytes, kDirectorySize + 8);
    const quint64 imageOffset = U32(bytes, kDirectorySize + 12);
    if (imageOffset + imageSize > quint64(bytes.size()))
        throw NotACursor(path, QStringLiteral("its picture lies beyond the end of the file"));

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "cur");
    const QImage image = reader.read();
    if (image.isNull())
        throw NotACursor(path, reader.errorString());
    if (hotX >= image.width() || hotY >= image.height())
        throw NotACursor(path, QStringLiteral("its hotspot lies outside the picture"));
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

std::optional<int> MouseMovePointer(const QString &objectName)
{
    static const std::array<QLatin1String, 7> handOver = {QLatin1String("PushButton1"), QLatin1String("PushButton2"),
                                                          QLatin1String("PushButton3"), QLatin1String("PushButton4"),
                                                          QLatin1String("PushButton5"), QLatin1String("PushButton7"),
                                                          QLatin1String("PushButton11")};
    static const std::array<QLatin1String, 7> arrowOver = {
        QLatin1String("Form1"), QLatin1String("Frame1"), QLatin1String("Frame2"),   QLatin1String("Frame3"),
        QLatin1String("Text1"), QLatin1String("Text2"),  QLatin1String("ListView1")};
    for (const QLatin1String &name : handOver) {
        if (objectName == name)
            return kPointerHand;
    }
    for (const QLatin1String &name : arrowOver) {
        if (objectName == name)
            return kPointerDefault;
    }
    return std::nullopt;
}

int PointerAfterMouseMove(int current, std::optional<int> requested)
{
    if (current == kPointerBusy || !requested)
        return current;
    return *requested;
}

} // namespace tarnwell
