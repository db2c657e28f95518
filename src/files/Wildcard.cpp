#include "Wildcard.h"

#include <QStringView>

namespace tarnwell {

namespace {

char16_t Folded(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c;
    return QChar(c).toCaseFolded().unicode();
}

// "*" any run (also none), "?" exactly one character, anything else itself with case ignored.
// Greedy with one backtrack point: the last star seen.
bool GlobMatches(QStringView pattern, QStringView name)
{
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype starAt = -1;
    qsizetype resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size()) {
            const char16_t pc = pattern[p].unicode();
            if (pc == u'*') {
                starAt = p++;
                resumeAt = n;
                continue;
            }
            if (pc == u'?' || Folded(pc) == Folded(name[n].unicode())) {
                ++p;
                ++n;
                continue;
            }
        }
        if (starAt < 0)
            return false;
        p = starAt + 1;
        n = ++resumeAt;
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

} // namespace

bool WildcardMatches(const QString &pattern, const QString &name)
{
    if (GlobMatches(pattern, name))
        return true;
    // As on Windows, a final ".*" also stands for "no extension at all": "*.*" lists every file
    // and "read.*" finds "read" too.
    if (pattern.endsWith(QLatin1String(".*")) && !name.contains(QLatin1Char('.')))
        return GlobMatches(QStringView(pattern).chopped(2), name);
    return false;
}

} // namespace tarnwell
