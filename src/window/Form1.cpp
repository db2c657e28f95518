// The main window: its construction, the wiring of the controls' events to their handlers, the
// event filter that takes the list's events and the mouse moves, the busy flag and the yield.
#include "window/Form1.h"

#include "window/ErrorBox.h"
#include "window/Platform.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTreeView>

namespace tarnwell {

Form1::Form1(Platform &platform, SettingsStore &settings, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_platform(platform), m_settings(settings), m_skin(std::make_unique<SkinFramework>())
{
    setObjectName(QStringLiteral("Form1"));
    BuildControls();
    SetTabOrder();
    WireEvents();
    WireListMenu();
    ShowListMarks();
}

Form1::~Form1() = default;

void Form1::WireEvents()
{
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton11, &QPushButton::clicked, this, &Form1::PushButton11_Click);
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            Combo1_Click();
    });
    // The group clears the other save mode before the chosen one's handler stores both.
    connect(Option1, &QRadioButton::toggled, this, [this](bool chosen) {
        if (chosen)
            Option1_Click();
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool chosen) {
        if (chosen)
            Option2_Click();
    });

    // Mouse moves set the pointer; the list also takes keys, double clicks and drops.
    const QList<QWidget *> tracked{
        this,        PushButton1,       PushButton2,       PushButton3, PushButton4,
        PushButton5, PushButton7,       PushButton11,      Frame1,      Frame2,
        Frame3,      Text1->viewport(), Text2->viewport(), ListView1,   ListView1->viewport()};
    for (QWidget *widget : tracked) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    if (const QScreen *screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Form_Unload: closing ends the program at once, also in the middle of a run.
    QWidget::closeEvent(event);
    m_platform.EndProcess();
}

bool Form1::BeginBusy(Busy what)
{
    if (ListLocked())
        return false;
    m_busy = what;
    return true;
}

void Form1::EndBusy()
{
    m_busy = Busy::None;
}

bool Form1::TurnDue() const
{
    // A few milliseconds between turns keeps the window lively without a repaint per file.
    constexpr qint64 kSliceMs = 8;
    return !m_sinceYield.isValid() || m_sinceYield.elapsed() >= kSliceMs;
}

void Form1::Yield()
{
    if (!TurnDue())
        return;
    QCoreApplication::processEvents();
    m_sinceYield.start();
}

void Form1::ShowMessage(const QString &text)
{
    m_platform.MessageBox(this, text, m_appTitle);
}

void Form1::ShowErrorBox(const QString &description, const QString &procedure, int line)
{
    m_platform.WarningBox(this, ErrorBoxText(description, procedure, line), ErrorBoxTitle());
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListView1 || watched == ListView1->viewport()) {
        if (HandleListEvent(watched, event))
            return true;
    }
    if (event->type() == QEvent::MouseMove) {
        // A move that a child did not take travels on to its parent; it belongs to the child.
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->childAt(static_cast<QMouseEvent *>(event)->position().toPoint()))
            return QWidget::eventFilter(watched, event);
        QObject *control = watched;
        if (watched == Text1->viewport() || watched == Text2->viewport() || watched == ListView1->viewport())
            control = watched->parent();
        MouseMovedOver(control->objectName());
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tarnwell
