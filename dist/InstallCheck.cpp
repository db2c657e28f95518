// Checks an installed Tarnwell: runs the window's real start-up with the installed program
// folder as the program folder, then loads the samples and runs a job on them.
//   tarnwell_install_check <program file or a link to it>
// The program folder is the folder of the program file after all links are resolved, as the
// program itself finds it. Exits 0 when the skin, the hand cursor and the samples were found
// and the job wrote its files; prints every failure and exits 1 otherwise. It also prints the
// skinned window's background colour ("background #rrggbb") for a screenshot check.
#include "FakePlatform.h"
#include "FindControl.h"
#include "filelist/Fillers.h"
#include "window/Form1.h"
#include "window/Settings.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTextStream>

using tarnwell::testing::FakePlatform;

namespace {

int failures = 0;

void Check(bool ok, const QString &what)
{
    QTextStream(stdout) << (ok ? "ok   " : "FAIL ") << what << Qt::endl;
    if (!ok)
        ++failures;
}

QString BoxesText(const FakePlatform &platform)
{
    QStringList lines;
    for (const FakePlatform::Box &box : platform.boxes)
        lines << box.kind + QStringLiteral(": ") + box.text;
    return lines.join(QLatin1String(" | "));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: tarnwell_install_check <installed program or link>" << Qt::endl;
        return 2;
    }
    const QFileInfo program(args.at(1));
    const QString resolved = program.canonicalFilePath();
    Check(!resolved.isEmpty() && QFileInfo(resolved).isExecutable(),
          QStringLiteral("program file %1 -> %2").arg(args.at(1), resolved));
    if (resolved.isEmpty())
        return 1;
    const QString folder = QDir::toNativeSeparators(QFileInfo(resolved).absolutePath());

    QTemporaryDir scratch;
    FakePlatform platform;
    platform.programFolder = folder;
    platform.desktop = scratch.path();
    tarnwell::SettingsStore settings(scratch.filePath(QStringLiteral("settings.ini")));
    tarnwell::Form1 form(platform, settings);
    form.Form_Load();

    Check(platform.boxes.isEmpty(), QStringLiteral("start-up shows no box: ") + BoxesText(platform));
    Check(!form.styleSheet().isEmpty() && form.styleSheet() == form.Skin().ComposedStyleSheet(),
          QStringLiteral("skin %1 applied (%2 characters of style sheet)")
              .arg(tarnwell::SkinFilePath(folder))
              .arg(form.styleSheet().size()));
    Check(form.HandCursor() && !form.HandCursor()->pixmap().isNull(),
          QStringLiteral("hand cursor %1 loaded").arg(tarnwell::CursorFilePath(folder)));

    // The skinned window's background, which a screenshot of the installed program must show; a
    // window without its skin would show the plain one.
    {
        QTemporaryDir empty;
        FakePlatform plain;
        plain.programFolder = empty.path();
        plain.desktop = empty.path();
        tarnwell::SettingsStore plainSettings(empty.filePath(QStringLiteral("settings.ini")));
        tarnwell::Form1 unskinned(plain, plainSettings);
        unskinned.Form_Load();
        const QColor skinned = form.grab().toImage().pixelColor(3, 3);
        const QColor bare = unskinned.grab().toImage().pixelColor(3, 3);
        Check(skinned != bare,
              QStringLiteral("skinned background %1 differs from the plain %2").arg(skinned.name(), bare.name()));
        QTextStream(stdout) << "background " << skinned.name() << Qt::endl;
    }

    const QStringList samples = tarnwell::SampleEntries(folder);
    Check(!samples.isEmpty(),
          QStringLiteral("%1 sample files in %2").arg(samples.size()).arg(tarnwell::SampleFolder(folder)));

    // The samples button fills the list and the job's fields; the job writes new files.
    form.PushButton3_Click();
    Check(form.Files().Count() == samples.size(), QStringLiteral("list holds %1 entries").arg(form.Files().Count()));
    const QString output = scratch.filePath(QStringLiteral("out"));
    QDir().mkpath(output);
    tarnwell::testing::FindControl<QLineEdit>(form, "Text3")->setText(QDir::toNativeSeparators(output));
    platform.boxes.clear();
    form.PushButton2_Click();
    Check(platform.BoxTexts(QStringLiteral("message")) == QStringList{QStringLiteral("Done.")}
              && platform.BoxTexts(QStringLiteral("warning")).isEmpty(),
          QStringLiteral("the run on the samples ends with \"Done.\" alone: ") + BoxesText(platform));
    const qsizetype written = QDir(output).entryList(QDir::Files).size();
    Check(written > 0 && written <= samples.size(), QStringLiteral("the run wrote %1 new files").arg(written));

    QTextStream(stdout) << (failures == 0 ? "install check passed" : "install check FAILED") << Qt::endl;
    return failures == 0 ? 0 : 1;
}
