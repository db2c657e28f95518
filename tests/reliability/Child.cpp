// The program the reliability tests start, to kill it, to run it as an unprivileged user or with
// failing writes; it prints what it does on its standard output, one line each.
//   child run inplace|newfiles OUTPUT_FOLDER LIST_FILE [RECORD_FOLDER]
//       "START", then the run's boxes; with RECORD_FOLDER in-place appends are recorded there
//   child scan FOLDER                                   "ENTRY <path>" per file "*.*" lists
//   child load SETTINGS_FILE [DATA_FOLDER]   the main window on a scripted desktop, its
//       per-user data folder DATA_FOLDER: "BOX <kind> <text>" per box, "LOADED <combo> <option1>
//       <option2> <text3>", then "SHOWN <visible>"
//   child window inplace|newfiles OUTPUT_FOLDER LIST_FILE TEXT_FILE DATA_FOLDER  the program as
//       a user drives it: started (settings in DATA_FOLDER), the list filled, TEXT_FILE (UTF-8)
//       typed into the text to append, "does" the condition, "START", then Start clicked;
//       "MESSAGE <text>" and "BOX <kind> <text>" per box
#include "AppendJournal.h"
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
#include <QPlainTextEdit>
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

void PrintBox(const testing::FakePlatform::Box &box)
{
    if (box.kind == QLatin1String("message"))
        Print(QStringLiteral("MESSAGE ") + box.text);
    else
        Print(QStringLiteral("BOX %1 %2").arg(box.kind, box.text));
}

// The window as the program starts it, on a scripted desktop that prints every box.
struct Program
{
    testing::FakePlatform platform;
    SettingsStore settings;
    Form1 form;
    Program(const QString &settingsFile, const QString &dataFolder) : settings(settingsFile), form(platform, settings)
    {
        platform.dataFolder = dataFolder;
        platform.onBox = PrintBox;
        form.Form_Load();
    }
};

int Main(const QString &mode, const QStringList &args)
{
    if (mode == QLatin1String("window") && args.size() == 5) {
        Program program(args.at(4) + QStringLiteral("/settings.ini"), args.at(4));
        Form1 &form = program.form;
        QFile list(args.at(2));
        QFile text(args.at(3));
        if (!list.open(QIODevice::ReadOnly) || !text.open(QIODevice::ReadOnly))
            return 3;
        form.Files().AppendMany(QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
        form.Text1->setPlainText(QString::fromUtf8(text.readAll()));
        form.Text2->setPlainText(QLatin1String(reliability::kConditionText));
        form.Combo1->setCurrentIndex(0);
        (args.at(0) == QLatin1String("inplace") ? form.Option1 : form.Option2)->setChecked(true);
        form.Text3->setText(args.at(1));
        Print(QStringLiteral("START"));
        form.PushButton2_Click();
        return 0;
    }
    if (mode == QLatin1String("run") && (args.size() == 3 || args.size() == 4)) {
        reliability::ScriptedHost host;
        host.inPlace = args.at(0) == QLatin1String("inplace");
        host.outputFolder = args.at(1);
        host.report = Print;
        QFile list(args.at(2));
        if (!list.open(QIODevice::ReadOnly))
            return 3;
        host.entries = QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        Print(QStringLiteral("START"));
        if (args.size() == 4) {
            AppendJournal journal(args.at(3));
            RunAppendJob(host, CodePage::System(), &journal);
        } else {
            RunAppendJob(host);
        }
        return 0;
    }
    if (mode == QLatin1String("scan") && args.size() == 1) {
        FileList list;
        ScanFolderIntoList(args.at(0), QStringLiteral("*.*"), list, [] {});
        for (const QString &entry : list.Entries())
            Print(QStringLiteral("ENTRY ") + entry);
        return 0;
    }
    if (mode == QLatin1String("load") && (args.size() == 1 || args.size() == 2)) {
        Program program(args.at(0), args.value(1));
        Form1 &form = program.form;
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
    std::fputs("usage: child run inplace|newfiles OUTPUT LIST [RECORD] | scan FOLDER | load SETTINGS [DATA] | "
               "window inplace|newfiles OUTPUT LIST TEXT DATA\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    // Only the window needs a display; the run and the scan start faster without one.
    const bool window = argc > 1 && (qstrcmp(argv[1], "load") == 0 || qstrcmp(argv[1], "window") == 0);
    if (window && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app = window ? std::make_unique<QApplication>(argc, argv)
                                                         : std::make_unique<QCoreApplication>(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    return Main(args.value(1), args.mid(2));
}
