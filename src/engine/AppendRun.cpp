#include "AppendRun.h"

#include "FileIO.h"

#include <QDir>
#include <QFileInfo>

namespace tarnwell {

namespace {

const QString kByVal = QStringLiteral("ByVal ");

bool IsLineBreakOrTab(QChar c)
{
    return c == u'\r' || c == u'\n' || c == u'\t';
}

} // namespace

ConditionMode ConditionModeFromPosition(int combo1Position)
{
    switch (combo1Position) {
    case 0:
        return ConditionMode::Does;
    case 1:
        return ConditionMode::DoesNot;
    default:
        return ConditionMode::Unset;
    }
}

bool Qualifies(ConditionMode mode, bool found)
{
    return (mode == ConditionMode::Does && found) || (mode == ConditionMode::DoesNot && !found);
}

QString FileNameOf(const QString &path)
{
#ifdef Q_OS_WIN
    const qsizetype cut = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
#else
    const qsizetype cut = path.lastIndexOf(u'/');
#endif
    return cut < 0 ? path : path.mid(cut + 1);
}

bool IsFolder(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QString StripForTest(const QString &text)
{
    QString stripped = text;
    stripped.remove(u'\r');
    stripped.remove(u'\n');
    stripped.remove(u'\t');
    stripped.remove(kByVal, Qt::CaseSensitive);
    return stripped;
}

// The file's text arrives in pieces. Line breaks and tabs are dropped at once; "ByVal " is
// removed from what is left, holding back the last five characters, which may begin one that the
// next piece completes. The stripped text is searched with the last (needle length - 1)
// characters of the previous search kept in front, so a match across pieces is found. Case
// folding maps each character to one of the same length, so that carry is enough.
struct ConditionScanner::Impl
{
    QString needle;
    QString pending;     // line breaks and tabs gone; "ByVal " not yet removed from its tail
    QString searchCarry; // end of the stripped text already searched
    QString stripped;    // scratch
    bool probeNonEmpty = false;
    bool found = false;

    void Search(QStringView piece)
    {
        if (piece.isEmpty())
            return;
        probeNonEmpty = true;
        if (needle.isEmpty()) {
            found = true;
            return;
        }
        QString window = searchCarry + piece;
        if (window.indexOf(needle, 0, Qt::CaseInsensitive) >= 0) {
            found = true;
            return;
        }
        const qsizetype keep = std::min(window.size(), needle.size() - 1);
        searchCarry = window.right(keep);
    }
};

ConditionScanner::ConditionScanner(const QString &conditionText) : d(std::make_unique<Impl>())
{
    d->needle = StripForTest(conditionText);
}

ConditionScanner::~ConditionScanner() = default;

void ConditionScanner::Feed(QStringView text)
{
    if (d->found)
        return;
    QString &pending = d->pending;
    const qsizetype carried = pending.size();
    pending.resize(carried + text.size());
    QChar *out = pending.data() + carried;
    for (const QChar c : text) {
        if (!IsLineBreakOrTab(c))
            *out++ = c;
    }
    pending.truncate(out - pending.constData());

    QString &stripped = d->stripped;
    stripped.clear();
    qsizetype from = 0;
    for (qsizetype hit; (hit = pending.indexOf(kByVal, from, Qt::CaseSensitive)) >= 0; from = hit + kByVal.size())
        stripped += QStringView(pending).sliced(from, hit - from);
    const qsizetype holdFrom = std::max(from, pending.size() - (kByVal.size() - 1));
    stripped += QStringView(pending).sliced(from, holdFrom - from);
    pending.remove(0, holdFrom);
    d->Search(stripped);
}

bool ConditionScanner::Found()
{
    d->Search(d->pending);
    d->pending.clear();
    return d->found;
}

void RunAppendJob(AppendHost &host, const CodePage &codePage)
{
    ErrorTrap trap(host, QStringLiteral("PushButton2_Click"));
    int count = 0;
    bool stop = false;
    trap.Line(100, [&] {
        count = host.EntryCount();
        if (count <= 0) {
            host.ShowMessage(QStringLiteral("No files added."));
            stop = true;
        }
    });
    if (stop)
        return;
    trap.Line(102, [&] {
        if (!IsFolder(host.Text3())) {
            host.ShowMessage(QStringLiteral("Folder does not exist. Please select another folder."));
            stop = true;
        }
    });
    if (stop)
        return;

    for (int i = 1; i <= count; ++i) {
        QString path;
        ReadResult read;
        bool found = false;
        ConditionMode mode = ConditionMode::Unset;
        QByteArray appendix;
        QString target;

        trap.Line(104, [&] {
            host.Yield();
            host.SetPointer(kPointerBusy);
        });
        trap.Line(106, [&] { host.SetProgressValue(static_cast<double>(i) / count * 100.0); });
        if (!trap.Line(108, [&] { path = host.EntryText(i); }))
            continue;
        trap.Line(110, [&] {
            host.SetProgressText(QStringLiteral("Processing: ") + FileNameOf(path));
            host.Yield();
            host.SetPointer(kPointerBusy);
        });
        // A file that could not be read whole is never written.
        const bool tested = trap.Line(112, [&] {
            ConditionScanner scanner(host.Text2());
            mode = ConditionModeFromPosition(host.Combo1Position());
            read = ReadWholeFile(path, codePage, [&](QStringView text) { scanner.Feed(text); });
            found = scanner.Found();
        });
        if (!tested)
            continue;
        if (!trap.Test(114, [&] { return Qualifies(mode, found); }))
            continue;
        // The appendix is made, and checked, before anything is written.
        const bool prepared = trap.Line(116, [&] {
            const QString appendText = host.Text1();
            target = host.Option1Selected() ? path : host.Text3() + QDir::separator() + FileNameOf(path);
            const bool utf16 = read.encoding == FileEncoding::Utf16LE || read.encoding == FileEncoding::Utf16BE;
            if (utf16 && read.size % 2 != 0) {
                throw AppError(QStringLiteral("The file begins with a UTF-16 byte-order mark but holds an odd "
                                              "number of bytes, so text cannot be appended to it safely: %1")
                                   .arg(path));
            }
            appendix = EncodeAppendix(appendText, read.encoding, codePage, path);
        });
        if (prepared)
            trap.Line(118, [&] { WriteWholeFile(path, target, appendix); });
    }

    trap.Line(120, [&] {
        host.SetPointer(kPointerDefault);
        host.SetProgressValue(0);
        host.SetProgressText(QStringLiteral("Progress Bar"));
    });
    trap.Line(122, [&] { host.ShowMessage(QStringLiteral("Done.")); });
}

} // namespace tarnwell
