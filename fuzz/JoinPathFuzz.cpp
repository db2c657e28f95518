// JoinEntryPath against its rule told another way: every run of k separators in folder,
// separator, name becomes a run of ceil(k/2) (a doubled separator becomes one, left to right),
// except the two leading backslashes of a Windows network path; nothing else changes. Input: one
// byte for the folder's length, then Latin-1 text (folder, then name).
#include "FuzzCheck.h"
#include "filelist/FileList.h"

#include <cstdint>

using namespace tarnwell;

namespace {

QString CollapseRuns(const QString &text, QChar separator)
{
    QString out;
    qsizetype run = 0; // separators in a row so far
    for (const QChar c : text) {
        if (c == separator) {
            ++run;
            continue;
        }
        out += QString((run + 1) / 2, separator) + c;
        run = 0;
    }
    return out + QString((run + 1) / 2, separator);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QString all = QString::fromLatin1(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size) - 1);
    const qsizetype cut = std::min<qsizetype>(data[0], all.size());
    const QString folder = all.left(cut), name = all.mid(cut);
    const QChar sep = EntrySeparator();
    const QString joined = folder + sep + name;
    const bool network = sep == QLatin1Char('\\') && joined.startsWith(QLatin1String("\\\\")) && joined.size() > 2
                         && joined.at(2) != sep;
    const QString expected = network ? joined.left(2) + CollapseRuns(joined.mid(2), sep) : CollapseRuns(joined, sep);

    const QString result = JoinEntryPath(folder, name);
    FUZZ_CHECK(result == expected, "\"%s\", expected \"%s\"", qPrintable(result), qPrintable(expected));
    return 0;
}
