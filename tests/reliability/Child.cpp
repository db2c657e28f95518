// The program the reliability tests start, to kill it, to run it as an unprivileged user or with
// failing writes; it prints what it does on its standard output, one line each.
//   child run inplace|newfiles OUTPUT_FOLDER LIST_FILE RECORD_FOLDER
//       "START", then the run's boxes; in-place appends are recorded in RECORD_FOLDER
//   child undo DATA_FOLDER                              "START", then the newest recorded run undone:
//       "UNDONE <restored> <left alone>"
//   child scan FOLDER                                   "ENTRY <path>" per file "*.*" lists
//   child window SETTINGS_FILE [DATA_FOLDER [inplace|newfiles OUTPUT_FOLDER LIST_FILE TEXT_FILE]]
//       the main window started on a scripted desktop, with its per-user data folder: "MESSAGE
//       <text>" or "BOX <kind> <text>" per box; then without a job "LOADED <combo> <option1>
//       <option2>" and "SHOWN <visible>"; with one, as a user drives it: the list filled,
//       TEXT_FILE (UTF-8) typed into the text to append, "does" the condition, "START", Start clicked
#include "ChildProtocol.h"
#include "FakePlatform.h"
#include "FindControl.h"
#include "engine/AppendJournal.h"
#include "engine/AppendRun.h"
#include "engine/RunRecord.h"
#include "engine/RunUndo.h"
#include "filelist/FileList.h"
#include "filelist/FolderScan.h"
#include "window/Form1.h"
#include "window/Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>

#include <cstdio>
#include <memory>
#include <optional>

using namespace tarnwell;

namespace {

void Print(QString line)
{
    line.replace(QLatin1Char('\n'), QLatin1String("\\n")).replace(QLatin1Char('\r'), QLatin1String("\\r"));
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// The file's text (UTF-8); none for a file that cannot be read.
QString ReadText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int Main(const QString &mode, const QStringList &args)
{
    if (mode == QLatin1String("window") && (args.size() == 1 || args.size() == 2 || args.size() == 6)) {
        testing::FakePlatform platform; // a scripted desktop that prints every box
        platform.dataFolder = args.value(1);
        platform.onBox = [](const testing::FakePlatform::Box &box) {
            Print(box.kind == QLatin1String("message") ? QStringLiteral("MESSAGE ") + box.text
                                                       : QStringLiteral("BOX %1 %2").arg(box.kind, box.text));
        };
        SettingsStore settings(args.at(0));
        Form1 form(platform, settings);
        form.Form_Load();
        using testing::FindControl;
        auto *option1 = FindControl<QRadioButton>(form, "Option1");
        auto *option2 = FindControl<QRadioButton>(form, "Option2");
        if (args.size() < 6) {
            Print(QStringLiteral("LOADED %1 %2 %3")
                      .arg(FindControl<QComboBox>(form, "Combo1")->currentIndex())
                      .arg(option1->isChecked())
                      .arg(option2->isChecked()));
            form.show();
            QApplication::processEvents();
            Print(QStringLiteral("SHOWN %1").arg(form.isVisible()));
            return 0;
        }
        form.Files().AppendMany(ReadText(args.at(4)).split(u'\n', Qt::SkipEmptyParts));
        FindControl<QPlainTextEdit>(form, "Text1")->setPlainText(ReadText(args.at(5)));
        FindControl<QPlainTextEdit>(form, "Text2")->setPlainText(QLatin1String(reliability::kConditionText));
        FindControl<QComboBox>(form, "Combo1")->setCurrentIndex(0);
        (args.at(2) == QLatin1String("inplace") ? option1 : option2)->setChecked(true);
        FindControl<QLineEdit>(form, "Text3")->setText(args.at(3));
        Print(QStringLiteral("START"));
        form.PushButton2_Click();
        return 0;
    }
    if (mode == QLatin1String("run") && args.size() == 4) {
        const QStringList files = ReadText(args.at(2)).split(u'\n', Qt::SkipEmptyParts);
        testing::RecordingHost host(reliability::ChildJob(files, args.at(1), args.at(0) == QLatin1String("inplace")));
        host.quiet = true;
        host.onCall = [](const QString &call) {
            if (const std::optional<QString> line = reliability::BoxLine(call))
                Print(*line);
        };
        Print(QStringLiteral("START"));
        AppendJournal journal(args.at(3));
        RunAppendJob(host, QStringLiteral("PushButton2_Click"), CodePage::System(), &journal);
        return 0;
    }
    if (mode == QLatin1String("undo") && args.size() == 1) {
        QString error;
        const std::optional<RunRecord> record = LoadRunRecord(RunRecordFiles(args.at(0)).value(0), error);
        if (!record)
            return 1;
        Print(QStringLiteral("START"));
        const UndoResult result = UndoRun(args.at(0), *record);
        Print(QStringLiteral("UNDONE %1 %2").arg(result.restored).arg(result.leftAlone.size()));
        return 0;
    }
    if (mode == QLatin1String("scan") && args.size() == 1) {
        FileList list;
        ScanFolderIntoList(args.at(0), QStringLiteral("*.*"), list, [] {});
        for (const QString &entry : list.Entries())
            Print(QStringLiteral("ENTRY ") + entry);
        return 0;
    }
    std::fputs("child: unknown mode or wrong arguments (see the top of Child.cpp)\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    // Only the window needs a display; the run and the scan start faster without one.
    const bool window = argc > 1 && qstrcmp(argv[1], "window") == 0;
    if (window && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app = window ? std::make_unique<QApplication>(argc, argv)
                                                         : std::make_unique<QCoreApplication>(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    return Main(args.value(1), args.mid(2));
}
