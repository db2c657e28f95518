#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

namespace tarnwell::testing {

// A folder tree built for one test under a temporary folder. Paths are relative to the root and
// use "/". Every step throws when the file system refuses it, which fails the running test.
class Fixture
{
public:
    Fixture();
    ~Fixture();
    Fixture(const Fixture &) = delete;
    Fixture &operator=(const Fixture &) = delete;

    QString Root() const { return m_root; }                 // no final separator
    QString Path(const QString &relative) const;           // root, "/", relative
    QByteArray NativePath(const QByteArray &relativeBytes) const;

    void File(const QString &relative, const QByteArray &content = QByteArrayLiteral("text\n"));
    void Folder(const QString &relative);
    void RawFolder(const QByteArray &relativeBytes);        // a name in bytes, decodable or not
    void RawFile(const QByteArray &relativeBytes);
    void Link(const QString &relative, const QString &target); // target as written into the link
    void Fifo(const QString &relative);
    // Sets the mode bits; the fixture gives owner access back before it is removed.
    void Mode(const QString &relative, mode_t mode);

private:
    QTemporaryDir m_dir;
    QString m_root;
    QStringList m_restrained;
};

// The names of `folder` in the order the platform lists them, kept only if in `wanted`; so a test
// can state what it expects and take only the order from the file system.
QStringList InListingOrder(const QString &folder, const QStringList &wanted);

// True when running as root, who may read and write what the mode bits forbid.
bool RunningAsRoot();

} // namespace tarnwell::testing
