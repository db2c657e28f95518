// The real desktop's boxes and dialogs, each found while it is open, read, and closed: plain-text
// boxes, the file dialog's filter, the folder browser's start.
#include "window/QtPlatform.h"
#include "TestRegistry.h"

#include <QTest>
#include <QtWidgets>

#include <functional>

using namespace tarnwell;
using namespace Qt::StringLiterals;

namespace {

// Runs `show`, hands the modal dialog it opens to `inspect` and cancels it.
void InspectDialog(const std::function<void()> &show, const std::function<void(QDialog *)> &inspect)
{
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            watch.stop();
            inspect(dialog);
            dialog->reject();
        }
    });
    watch.start(10);
    show();
}

} // namespace

class QtPlatformTest : public QObject
{
    Q_OBJECT
private slots:
    // Every box shows its text as plain text: a name that looks like markup is shown as it is,
    // with its line breaks.
    void boxes_showTheirTextAsPlainText()
    {
        const QString text = u"Path not found: /home/u/<b>notes</b>.txt\r\r<img src=\"x.png\">"_s;
        QtPlatform platform;
        const QList<std::function<void()>> boxes{[&] { platform.MessageBox(nullptr, text, u"Tarnwell"_s); },
                                                 [&] { platform.WarningBox(nullptr, text, u"Application Error"_s); },
                                                 [&] { platform.AskYesNo(nullptr, text, u"Tarnwell"_s); },
                                                 [&] { platform.InputBox(nullptr, text, u"Tarnwell"_s, u"txt"_s); }};
        QStringList shown;
        for (const auto &show : boxes)
            InspectDialog(show, [&](QDialog *box) {
                for (const QLabel *label : box->findChildren<QLabel *>())
                    if (!label->text().isEmpty() && label->textFormat() == Qt::PlainText)
                        shown << QLatin1String(box->metaObject()->className()) + u": "_s + label->text();
            });
        const QString plain = u"Path not found: /home/u/<b>notes</b>.txt\n\n<img src=\"x.png\">"_s;
        QCOMPARE(shown, QStringList(3, u"QMessageBox: "_s + plain) << u"QInputDialog: "_s + plain);
    }

    // The folder browser starts at the desktop; the file dialog offers every name, also one without
    // a dot, behind the filter's description alone. Both in a home of their own, with a desktop.
    void fileAndFolderDialogs()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows shows its own file and folder dialogs, which a test cannot read; the file dialog shows the "
              "filter text as it stands.");
#else
        QTemporaryDir home;
        const QString desktop = QDir(home.filePath(u"Desktop"_s)).absolutePath();
        QVERIFY(QDir().mkpath(desktop));
        for (const char *name : {"noext", "a.txt"})
            QVERIFY(QFile(desktop + u'/' + QLatin1String(name)).open(QIODevice::WriteOnly));
        const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", oldHome);
            oldConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", oldConfig);
        });
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(u".config"_s)));
        QString start, chosen = u"<not cancelled>"_s;
        InspectDialog(
            [&] { chosen = QtPlatform().BrowseForFolder(nullptr, u"Please select folder:"_s); },
            [&](QDialog *dialog) { start = qobject_cast<QFileDialog *>(dialog)->directory().absolutePath(); });
        QCOMPARE(start, desktop);

        QStringList filters, names;
        InspectDialog([&] { QtPlatform().OpenFiles(nullptr, u"Add File(s)"_s, u"All Files (*.*)|*.*|"_s); },
                      [&](QDialog *dialog) {
                          qobject_cast<QFileDialog *>(dialog)->setDirectory(desktop);
                          const auto *types = dialog->findChild<QComboBox *>(u"fileTypeCombo"_s);
                          for (int i = 0; types && i < types->count(); ++i)
                              filters << types->itemText(i);
                          const auto *view = dialog->findChild<QListView *>(u"listView"_s);
                          QVERIFY(view);
                          // The folder is read in the background; names shown by then are what counts.
                          const auto rows = [view] { return view->model()->rowCount(view->rootIndex()); };
                          if (!QTest::qWaitFor([&] { return rows() >= 2; }, 5000))
                              names << u"<timed out>"_s;
                          for (int row = 0; row < rows(); ++row)
                              names << view->model()->index(row, 0, view->rootIndex()).data().toString();
                      });
        QCOMPARE(filters, QStringList{u"All Files (*.*)"_s});
        names.sort();
        QCOMPARE(names, (QStringList{u"a.txt"_s, u"noext"_s}));
#endif
    }
};

TARNWELL_TEST_CLASS(QtPlatformTest)
#include "QtPlatformTest.moc"
