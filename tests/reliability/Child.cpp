// The program the reliability tests start, to kill it, to run it as an unprivileged user or with
// failing writes; it prints what it does on its standard output, one line each.
//   child run inplace|newfiles OUTPUT_FOLDER LIST_FILE  "START", then the run's boxes
//   child scan FOLDER                                   "ENTRY <path>" per file "*.*" lists
//   child load SETTINGS_FILE    the main window on a scripted desktop: "BOX <kind> <text>" per
//       box, "LOADED <combo> <option1> <option2> <text3>", then "SHOWN <visible>"
#include "AppendRun.h"
#include "ChildProtocol.h"
#include "FakePlatform.h"
#include "FileList.h"
#include "FolderScan.h"
#include "Form1.h"
#include "Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>

#include <cstdio>
#include <memory>

using namespace tarnwell;

namespace {

void Print(QString line)
{
    line.replace(QLatin1Char('\n'), QLatin1String("\\n")).replace(QLatin1Char('\r'), QLatin1String("\\r"));
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

int Main(const QString &mode, const QStringList &args)
{
    if (mode == QLatin1String("run") && args.size() == 3) {
        reliability::ScriptedHost host;
        host.inPlace = args.at(0) == QLatin1String("inplace");
        host.outputFolder = args.at(1);
        host.report = Print;
        QFile list(args.at(2));
        if (!list.open(QIODevice::ReadOnly))
            return 3;
        host.entries = QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        Print(QStringLiteral("START"));
        RunAppendJob(host);
        return 0;
    }
    if (mode == QLatin1String("scan") && args.size() == 1) {
        FileList list;
        ScanFolderIntoList(args.at(0), QStringLiteral("*.*"), list, [] {});
        for (const QString &entry : list.Entries())
            Print(QStringLiteral("ENTRY ") + entry);
        return 0;
    }
    if (mode == QLatin1String("load") && args.size() == 1) {
        testing::FakePlatform platform;
        platform.onBox = [](const testing::FakePlatform::Box &box) {
            Print(QStringLiteral("BOX %1 %2").arg(box.kind, box.text));
        };
        SettingsStore settings(args.at(0));
        Form1 form(platform, settings);
        form.Form_Load();
        Print(QStringLiteral("LOADED %1 %2 %3 %4")
                  .arg(form.Combo1->currentIndex())
                  .arg(form.Option1->isChecked())
                  .arg(form.Option2->isChecked())
                  .arg(form.Text3->text()));
        form.show();
        QApplication::processEvents();
        Print(QStringLiteral("SHOWN %1").arg(form.isVisible()));
        return 0;
    }
    std::fputs("usage: child run inplace|newfiles OUTPUT LIST | scan FOLDER | load SETTINGS\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    // Only the window needs a display; the run and the scan start faster without one.
    const bool window = argc > 1 && qstrcmp(argv[1], "load") == 0;
    if (window && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app = window ? std::make_unique<QApplication>(argc, argv)
                                                         : std::make_unique<QCoreApplication>(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    return Main(args.value(1), args.mid(2));
}
