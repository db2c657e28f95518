// The program the reliability tests start in a process of its own, to kill it, to run it under an
// unprivileged user or with failing writes, and read what it reported on its standard output.
//
//   child run inplace|newfiles OUTPUT_FOLDER LIST_FILE
//       Runs the append job over the paths of LIST_FILE (one a line): mode "does", condition
//       "mark", append text kAppendText. Prints "START" before the run, then one line per box:
//       "BOX <line> <description>" for an error box, "MESSAGE <text>" for a message.
//   child scan FOLDER
//       Scans FOLDER with "*.*" and prints "ENTRY <path>" per listed file.
//   child load SETTINGS_FILE
//       Starts the main window on a scripted desktop with the given settings file, shows it and
//       prints "BOX <kind> <text>" per box, then "LOADED <combo> <option1> <option2> <text3>" and
//       "SHOWN <visible>".
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
#include <cstring>
#include <memory>

using namespace tarnwell;

namespace {

void Print(const QString &line)
{
    QString oneLine = line;
    oneLine.replace(QLatin1Char('\n'), QLatin1String("\\n")).replace(QLatin1Char('\r'), QLatin1String("\\r"));
    std::fputs((oneLine + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

class PrintingHost final : public AppendHost
{
public:
    QStringList entries;
    QString outputFolder;
    bool inPlace = true;

    int EntryCount() override { return static_cast<int>(entries.size()); }
    QString EntryText(int position) override { return entries.value(position - 1); }
    QString Text1() override { return QLatin1String(reliability::kAppendText); }
    QString Text2() override { return QLatin1String(reliability::kConditionText); }
    QString Text3() override { return outputFolder; }
    int Combo1Position() override { return 0; }
    bool Option1Selected() override { return inPlace; }
    void SetProgressValue(double) override {}
    void SetProgressText(const QString &) override {}
    void SetPointer(int) override {}
    void ShowMessage(const QString &text) override { Print(QStringLiteral("MESSAGE ") + text); }
    void Yield() override {}
    void ShowErrorBox(const QString &description, const QString &, int line) override
    {
        Print(QStringLiteral("BOX %1 %2").arg(line).arg(description));
    }
};

int Run(const QStringList &args)
{
    PrintingHost host;
    host.inPlace = args.at(0) == QLatin1String("inplace");
    host.outputFolder = args.at(1);
    QFile list(args.at(2));
    if (!list.open(QIODevice::ReadOnly))
        return 3;
    host.entries = QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    Print(QStringLiteral("START"));
    RunAppendJob(host);
    return 0;
}

int Scan(const QString &folder)
{
    FileList list;
    ScanFolderIntoList(folder, QStringLiteral("*.*"), list, [] {});
    for (const QString &entry : list.Entries())
        Print(QStringLiteral("ENTRY ") + entry);
    return 0;
}

int Load(const QString &settingsFile)
{
    testing::FakePlatform platform;
    platform.onBox = [](const testing::FakePlatform::Box &box) { Print(QStringLiteral("BOX %1 %2").arg(box.kind, box.text)); };
    SettingsStore settings(settingsFile);
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

} // namespace

int main(int argc, char **argv)
{
    const bool window = argc > 1 && std::strcmp(argv[1], "load") == 0;
    if (window && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Only the window needs a display; the run and the scan start faster without one.
    const std::unique_ptr<QCoreApplication> app =
        window ? std::make_unique<QApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const QString mode = args.isEmpty() ? QString() : args.takeFirst();
    if (mode == QLatin1String("run") && args.size() == 3)
        return Run(args);
    if (mode == QLatin1String("scan") && args.size() == 1)
        return Scan(args.at(0));
    if (window && args.size() == 1)
        return Load(args.at(0));
    std::fprintf(stderr, "usage: %s run inplace|newfiles OUTPUT LIST | scan FOLDER | load SETTINGS\n", argv[0]);
    return 2;
}
