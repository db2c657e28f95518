#pragma once

#include "TextBox.h"
#include "filelist/FileList.h"
#include "look/Look.h"
#include "look/PointerStates.h"
#include "trap/ErrorTrap.h"

#include <QElapsedTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QDropEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace tarnwell {

class AppendHost;
class Platform;
class SettingsStore;

// The main window. Its handlers are named after the control and the event they answer; the
// work itself lives in the engine and the list library.
class Form1 final : public QWidget, private ErrorReporter
{
    Q_OBJECT
public:
    // The long operations that own the list while they run.
    enum class Busy { None, Run, Filter, Scan, Drop, Check, Undo };

    Form1(Platform &platform, SettingsStore &settings, QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: caption, icon, title, skin, cursor, column, combo items, restored choices, and
    // the record of an append that a killed run left unfinished resolved.
    void Form_Load();

    void PushButton1_Click();  // Add All File(s) In Folder
    void PushButton2_Click();  // Start Appending Text To All Files
    void PushButton3_Click();  // Load Sample/Example Files
    void PushButton4_Click();  // Add Text File(s)
    void PushButton5_Click();  // Remove Filenames Containing X
    void PushButton7_Click();  // Clear List
    void PushButton11_Click(); // Remove Filenames Not Cont. X
    // Appends dropped files and folders in order (a folder is walked, "*.*").
    void DropPaths(const QStringList &paths);
    // "Check Which Files Qualify" in the list's menu: the run's test over every entry, nothing
    // written; each entry marked, then the counts, offering to remove the entries that do not qualify.
    void mnuCheck_Click();

    // The list's context menu (Form1ContextMenu.cpp), and its items for the record of the last
    // runs (Form1RunRecord.cpp): "Last Run..." shows the newest record, "Undo Last Run..." takes
    // that run back after a Yes.
    void AddRunRecordActions(QMenu &menu);
    void ShowLastRun();
    void UndoLastRun();

    FileList &Files() { return m_files; }
    int PointerState() const { return m_pointerState; }
    void SetPointerState(int state);
    // True while a long operation (a run, a list filter, a folder scan or a drop) owns the list.
    // Every handler that changes the list or starts long work refuses while it holds; the
    // operations that show the hourglass all hold it, so it also covers the hourglass.
    bool ListLocked() const { return m_busy != Busy::None; }
    const QString &AppTitle() const { return m_appTitle; }
    const QCursor *HandCursor() const { return m_handCursor.get(); }
    const SkinFramework &Skin() const { return *m_skin; }

    // The title of message and input boxes: the product name cut at its last blank, and again
    // while longer than 40 characters; a name without a blank stays whole.
    static QString AppTitleFor(const QString &productName);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    friend class WindowRunHost;
    void BuildControls(); // the layout (Form1Layout.cpp)
    void SetTabOrder();
    void WireEvents();
    int Twips(int twips) const; // twips to pixels at the screen's dpi
    // The handlers that only the controls raise (the options, Form1Options.cpp; the list's own
    // events, Form1ListEvents.cpp; the pointer, Form1Look.cpp).
    void PushButton6_Click(); // "...": pick the output folder
    void Combo1_Click();
    void Option1_Click();
    void Option2_Click();
    bool HandleListEvent(QObject *watched, QEvent *event);
    bool TakesDrop(const QDropEvent *event) const;
    void RemoveSelectedEntry();
    void MouseMovedOver(const QString &objectName);
    // The list's menu (Form1ContextMenu.cpp): the right button, Shift+F10 and the Menu key open it.
    void WireListMenu();
    bool HandleListMenuEvent(QObject *watched, QEvent *event);
    void ShowListMenu(const QPoint &globalPos);
    // What the list shows besides the paths (Form1ListMarks.cpp): the marks, the count.
    void ShowListMarks();
    void UpdateListToolTip();
    // Runs `work` with the window as the host of a run (Form1Run.cpp), the fields read as Start reads them.
    void WithRunHost(const std::function<void(AppendHost &)> &work);
    // Lets the message loop run, at most every few milliseconds, so that a long operation keeps
    // the window painted without paying a repaint per item.
    void Yield();
    // Whether the next Yield lets the message loop run.
    bool TurnDue() const;
    void ShowMessage(const QString &text);
    void ShowErrorBox(const QString &description, const QString &procedure, int line) override;
    void SetAppTitle();
    QString DesktopFolderPath();
    bool BeginBusy(Busy what);
    void EndBusy();
    void RemoveEntries(bool containing, const QString &prompt, const QString &procedure);

    Platform &m_platform;
    SettingsStore &m_settings;
    FileList m_files;
    std::unique_ptr<SkinFramework> m_skin;
    std::unique_ptr<QCursor> m_handCursor;
    QString m_appTitle;
    int m_pointerState = kPointerDefault;
    Busy m_busy = Busy::None;
    bool m_centred = false;
    QElapsedTimer m_sinceYield;

    // The controls, named as their objects are (Form1Layout.cpp); tests find them by those names.
    QTreeView *ListView1 = nullptr;
    QPushButton *PushButton1 = nullptr, *PushButton2 = nullptr, *PushButton3 = nullptr, *PushButton4 = nullptr,
                *PushButton5 = nullptr, *PushButton6 = nullptr, *PushButton7 = nullptr, *PushButton11 = nullptr;
    QGroupBox *Frame1 = nullptr, *Frame2 = nullptr, *Frame3 = nullptr;
    QLabel *Label2 = nullptr, *Label3 = nullptr;
    TextBox *Text1 = nullptr, *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QComboBox *Combo1 = nullptr;
    QRadioButton *Option1 = nullptr, *Option2 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
};

} // namespace tarnwell
