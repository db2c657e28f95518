// "Start Appending Text To All Files": the append run, with the window as its host.
#include "window/Form1.h"

#include "engine/AppendJournal.h"
#include "engine/AppendRun.h"
#include "engine/RunRecord.h"
#include "window/Platform.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>

#include <optional>
#include <utility>

namespace tarnwell {

// The window's side of the run, and the one place that knows which control holds which of the
// job's fields: they are read from the controls when the run asks, so an edit made during a run
// applies from the next file on.
// The progress goes into the bar only when it can be seen: the latest value and text, when the
// message loop is about to run and before every box; the pointer only when it changes. A screen
// reader is then told of a few hundred changes in a long run, not of two for every file.
class WindowRunHost final : public AppendHost
{
public:
    explicit WindowRunHost(Form1 &form) : m_form(form) {}
    ~WindowRunHost() override { ShowProgress(); }
    Q_DISABLE_COPY_MOVE(WindowRunHost)

    int EntryCount() override { return m_form.m_files.Count(); }
    QString EntryText(int position) override { return m_form.m_files.EntryAt(position); }
    QString EntryTextAhead(int position) override { return m_form.m_files.EntryAt(position); }
    QString AppendText() override
    {
        // Lines typed in the box reach the file as CR LF; every other character as it stands.
        return m_form.Text1->ExactText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    }
    QString ConditionText() override { return m_form.Text2->ExactText(); }
    // "does" is the combo's first item, "does not" its second; no choice is no condition.
    tarnwell::ConditionMode ConditionMode() override
    {
        switch (m_form.Combo1->currentIndex()) {
        case 0:
            return ConditionMode::Does;
        case 1:
            return ConditionMode::DoesNot;
        default:
            return ConditionMode::Unset;
        }
    }
    tarnwell::SaveMode SaveMode() override
    {
        return m_form.Option1->isChecked() ? SaveMode::EditInPlace : SaveMode::NewFilesInFolder;
    }
    QString OutputFolder() override { return m_form.Text3->text(); }
    void SetProgressValue(double percent) override { m_value = qRound(percent); }
    void SetProgressText(const QString &text) override { m_text = text; }
    void SetBusy(bool busy) override
    {
        const int state = busy ? kPointerBusy : kPointerDefault;
        if (state != m_form.m_pointerState)
            m_form.SetPointerState(state);
    }
    void ShowMessage(const QString &text) override
    {
        ShowProgress();
        m_form.ShowMessage(text);
    }
    void Yield() override
    {
        if (m_form.TurnDue())
            ShowProgress();
        m_form.Yield();
    }
    void ShowErrorBox(const QString &description, const QString &procedure, int line) override
    {
        ShowProgress();
        m_form.ShowErrorBox(description, procedure, line);
    }

private:
    // Puts the progress set since the last time into the bar.
    void ShowProgress()
    {
        if (m_value)
            m_form.ProgressBar1->setValue(*std::exchange(m_value, std::nullopt));
        if (m_text)
            m_form.ProgressBar1->setFormat(
                std::exchange(m_text, std::nullopt)->replace(QLatin1Char('%'), QLatin1String("%%")));
    }

    Form1 &m_form;
    std::optional<int> m_value;
    std::optional<QString> m_text;
};

void Form1::WithRunHost(const std::function<void(AppendHost &)> &work)
{
    WindowRunHost host(*this);
    work(host);
}

void Form1::PushButton2_Click()
{
    // One long operation at a time: a click during a run, a filter or a scan is refused.
    if (!BeginBusy(Busy::Run))
        return;
    WindowRunHost host(*this);
    AppendJournal journal(m_platform.DataFolder());
    RunRecorder recorder(m_platform.DataFolder());
    RunAppendJob(host, QStringLiteral("PushButton2_Click"), CodePage::System(), &journal, &recorder);
    EndBusy();
}

} // namespace tarnwell
