#pragma once

#include <QDir>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell::testing {

// A temporary folder tree, made by raw bytes (names that do not decode too), parents as needed.
// A step the file system refuses throws, which fails the running test.
class Fixture
{
public:
    Fixture() { Check(m_dir.isValid() && ::chmod(Native("").constData(), 0755) == 0); } // open to all users
    ~Fixture()
    {
        for (const QByteArray &folder : std::as_const(m_shut))
            ::chmod(folder.constData(), 0755);
        // By bytes, links not followed: QTemporaryDir cannot remove a name that does not decode.
        std::error_code ignored;
        std::filesystem::remove_all(Native("").constData(), ignored);
    }

    QString Root() const { return m_dir.path(); }
    QString Path(const QString &relative) const { return Root() + QLatin1Char('/') + relative; }

    void File(const QByteArray &relative, mode_t mode = 0644)
    {
        const int fd = ::open(Parented(relative).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        Check(fd >= 0 && ::write(fd, "text\n", 5) == 5 && ::fchmod(fd, mode) == 0 && ::close(fd) == 0);
    }
    void Link(const QByteArray &relative, const QString &target)
    {
        Check(::symlink(QFile::encodeName(target).constData(), Parented(relative).constData()) == 0);
    }
    // Takes every access away from a folder, or all but `mode`; given back before the tree is
    // removed.
    void Shut(const QByteArray &relative, mode_t mode = 0)
    {
        m_shut.prepend(Native(relative));
        Check(::chmod(m_shut.front().constData(), mode) == 0);
    }

private:
    QByteArray Native(const QByteArray &relative) const { return QFile::encodeName(Root()) + '/' + relative; }
    QByteArray Parented(const QByteArray &relative) const
    {
        std::filesystem::create_directories(std::filesystem::path(Native(relative).constData()).parent_path());
        return Native(relative);
    }
    static void Check(bool done)
    {
        if (!done)
            throw std::runtime_error(std::strerror(errno));
    }

    QTemporaryDir m_dir;
    QList<QByteArray> m_shut;
};

// The names of `folder` in `wanted`, in the order the platform lists them.
inline QStringList InListingOrder(const QString &folder, const QStringList &wanted)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
    names.removeIf([&wanted](const QString &name) { return !wanted.contains(name); });
    if (names.size() != wanted.size())
        throw std::runtime_error("a wanted name is missing");
    return names;
}

} // namespace tarnwell::testing
