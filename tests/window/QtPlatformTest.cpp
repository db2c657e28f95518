// The real desktop's boxes and dialogs, each found while it is open, read, and closed: plain-text
// boxes, the file dialog's filter, the folder browser's start.
#include "QtPlatform.h"
#include "TestRegistry.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace tarnwell;

namespace {

// Hands the next modal dialog of type D to `inspect` once it is open, then cancels it. `seen`
// tells whether it ever opened; the watch ends with the returned timer.
template <typename D>
std::unique_ptr<QTimer> InspectNextDialog(const std::function<void(D *)> &inspect, bool &seen)
{
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(10);
    QObject::connect(timer.get(), &QTimer::timeout, [watch = timer.get(), inspect, &seen] {
        auto *dialog = qobject_cast<D *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        watch->stop();
        seen = true;
        inspect(dialog);
        dialog->reject();
    });
    timer->start();
    return timer;
}

} // namespace

class QtPlatformTest : public QObject
{
    Q_OBJECT
private slots:
    // A name that looks like markup is shown as it is, with its line breaks.
    void boxes_showTheirTextAsPlainText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("message") << "message";
        QTest::newRow("warning") << "warning";
        QTest::newRow("Yes/No") << "question";
        QTest::newRow("input") << "input";
    }
    void boxes_showTheirTextAsPlainText()
    {
        QFETCH(QString, kind);
        const QString text = QStringLiteral("Path not found: /home/u/<b>notes</b>.txt\r\r<img src=\"x.png\">");
        const QString shown = QStringLiteral("Path not found: /home/u/<b>notes</b>.txt\n\n<img src=\"x.png\">");
        QtPlatform platform;
        bool seen = false;
        Qt::TextFormat format = Qt::RichText;
        QString label;
        if (kind == QLatin1String("input")) {
            const auto watch = InspectNextDialog<QInputDialog>(
                [&](QInputDialog *box) {
                    label = box->labelText();
                    const QList<QLabel *> labels = box->findChildren<QLabel *>();
                    format = labels.size() == 1 ? labels.first()->textFormat() : Qt::RichText;
                },
                seen);
            platform.InputBox(nullptr, text, QStringLiteral("Tarnwell"), QStringLiteral("txt"));
        } else {
            const auto watch = InspectNextDialog<QMessageBox>(
                [&](QMessageBox *box) {
                    label = box->text();
                    format = box->textFormat();
                },
                seen);
            if (kind == QLatin1String("message"))
                platform.MessageBox(nullptr, text, QStringLiteral("Tarnwell"));
            else if (kind == QLatin1String("warning"))
                platform.WarningBox(nullptr, text, QStringLiteral("Application Error"));
            else
                platform.AskYesNo(nullptr, text, QStringLiteral("Tarnwell"));
        }
        QVERIFY(seen);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(label, shown);
    }

    void fileDialog_offersAllFilesAsWritten()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows shows its own file dialog, which a test cannot read; it shows the filter text as it stands.");
#else
        QTemporaryDir dir;
        for (const char *name : {"noext", "a.txt"}) {
            QFile file(dir.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QStringList filters, names;
        bool seen = false;
        const auto watch = InspectNextDialog<QFileDialog>(
            [&](QFileDialog *dialog) {
                dialog->setDirectory(dir.path());
                const auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
                for (int i = 0; types && i < types->count(); ++i)
                    filters << types->itemText(i);
                const auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
                if (!view)
                    return;
                // The folder is read in the background; names shown by then are what counts.
                if (!QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) >= 2; }, 5000))
                    names << QStringLiteral("<timed out>");
                for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                    names << view->model()->index(row, 0, view->rootIndex()).data().toString();
            },
            seen);
        const PickedFiles picked = QtPlatform().OpenFiles(nullptr, QStringLiteral("Add File(s)"),
                                                          QStringLiteral("All Files (*.*)|*.*|"));
        QVERIFY(seen);
        QVERIFY(picked.paths.isEmpty()); // cancelled
        QCOMPARE(filters, QStringList{QStringLiteral("All Files (*.*)")});
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("a.txt"), QStringLiteral("noext")}));
#endif
    }

    void folderBrowser_startsAtTheDesktop()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows shows its own folder dialog, which a test cannot read.");
#else
        // A home of its own, whose desktop is "Desktop" in it.
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("Desktop")));
        const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", oldHome);
            oldConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", oldConfig);
        });
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral(".config"))));
        QString start;
        bool seen = false;
        const auto watch = InspectNextDialog<QFileDialog>(
            [&](QFileDialog *dialog) { start = dialog->directory().absolutePath(); }, seen);
        QVERIFY(QtPlatform().BrowseForFolder(nullptr, QStringLiteral("Please select folder:")).isEmpty());
        QVERIFY(seen);
        QCOMPARE(start, QDir(home.filePath(QStringLiteral("Desktop"))).absolutePath());
#endif
    }
};

TARNWELL_TEST_CLASS(QtPlatformTest)
#include "QtPlatformTest.moc"
