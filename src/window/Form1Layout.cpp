// The window's layout: every control with its caption, container, position and size (in twips,
// as designed), the accessible names, and the tab order.
#include "Controls.h"
#include "window/Form1.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTreeView>

namespace tarnwell {

namespace {

// A label whose designed width is too narrow for its caption in the font at hand grows to fit,
// so that no caption is cut off.
void FitLabel(QLabel *label)
{
    const int needed = label->sizeHint().width();
    if (needed > label->width())
        label->resize(needed, label->height());
}

// The white of the window, behind the control as behind the window itself.
void PaintWhite(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::white);
    widget->setPalette(palette);
    widget->setBackgroundRole(QPalette::Window); // buttons would fill with the button colour
    widget->setAutoFillBackground(true);
}

} // namespace

int Form1::Twips(int twips) const
{
    const QScreen *screen = this->screen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return qRound(twips / 15.0 * dpi / 96.0);
}

void Form1::BuildControls()
{
    setFont(WindowFont());
    PaintWhite(this);
    setFixedSize(Twips(8040), Twips(10845));

    const auto place = [this](QWidget *widget, const char *name, int left, int top, int width, int height) {
        widget->setObjectName(QLatin1String(name));
        widget->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
    };
    const auto button = [&](QWidget *container, const char *name, const char *caption, int left, int top, int width,
                            int height) {
        auto *pushButton = new CommandButton(QString::fromUtf8(caption), container);
        pushButton->setFont(ButtonFont());
        pushButton->setAutoDefault(false);
        place(pushButton, name, left, top, width, height);
        return pushButton;
    };

    ListView1 = new QTreeView(this);
    place(ListView1, "ListView1", 120, 120, 7800, 1830);
    ListView1->setModel(&m_files);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSortingEnabled(false);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setTextElideMode(Qt::ElideMiddle); // a long path keeps its file name in view
    ListView1->header()->setSectionsClickable(false);
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setStretchLastSection(false);
    ListView1->viewport()->setAcceptDrops(true);

    PushButton4 = button(this, "PushButton4", "Add Text File(s)", 120, 2040, 3840, 405);
    PushButton1 = button(this, "PushButton1", "Add All File(s) In Folder", 4080, 2040, 3840, 405);
    PushButton7 = button(this, "PushButton7", "Clear List", 120, 2550, 3840, 405);
    PushButton3 = button(this, "PushButton3", "Load Sample/Example Files", 4080, 2550, 3840, 405);
    PushButton5 = button(this, "PushButton5", "Remove Filenames Containing X", 120, 3060, 3840, 405);
    PushButton11 = button(this, "PushButton11", "Remove Filenames Not Cont. X", 4080, 3060, 3840, 405);

    Frame1 = new FrameBox(QStringLiteral("For all files listed above..."), this);
    place(Frame1, "Frame1", 120, 3540, 7800, 4065);
    PaintWhite(Frame1);
    Label2 = new QLabel(QStringLiteral("...append this text to the end of the file..."), Frame1);
    place(Label2, "Label2", 240, 300, 3345, 225);
    Text1 = new TextBox(Frame1);
    place(Text1, "Text1", 240, 570, 7320, 1395);
    Label3 = new QLabel(QStringLiteral(" ...if this text            xxx                exist at all in the file:"),
                        Frame1);
    place(Label3, "Label3", 240, 2130, 4320, 225);
    FitLabel(Label2);
    FitLabel(Label3);
    Combo1 = new QComboBox(Frame1); // after Label3, so it lies over the gap in the sentence
    place(Combo1, "Combo1", 1400, 2070, 1335, 345);
    Text2 = new TextBox(Frame1);
    place(Text2, "Text2", 240, 2490, 7320, 1395);
    for (TextBox *edit : {Text1, Text2}) {
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setTabChangesFocus(true);
    }

    Frame3 = new FrameBox(QStringLiteral("Save Options"), this);
    place(Frame3, "Frame3", 120, 7680, 7800, 1980);
    PaintWhite(Frame3);
    Option1 = new OptionButton(QStringLiteral("Edit and save changes to input files directly"), Frame3);
    place(Option1, "Option1", 240, 300, 4095, 300);
    Option2 = new OptionButton(QStringLiteral("Create new files based on input files and save to this folder:"),
                               Frame3);
    place(Option2, "Option2", 240, 650, 7095, 300);
    for (QRadioButton *option : {Option1, Option2})
        PaintWhite(option);
    Frame2 = new FrameBox(QStringLiteral("Save Results To This Folder"), Frame3);
    place(Frame2, "Frame2", 600, 990, 6720, 810);
    PaintWhite(Frame2);
    Text3 = new QLineEdit(Frame2);
    place(Text3, "Text3", 240, 300, 5505, 345);
    PushButton6 = button(Frame2, "PushButton6", "...", 5880, 300, 600, 345);

    PushButton2 = button(this, "PushButton2", "Start Appending Text To All Files", 120, 9795, 7800, 405);
    ProgressBar1 = new QProgressBar(this);
    place(ProgressBar1, "ProgressBar1", 120, 10320, 7800, 405);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setFormat(QStringLiteral("Progress Bar"));
    ProgressBar1->setFocusPolicy(Qt::TabFocus);

    // Names for screen readers: the buttons speak their captions; the boxes, the combo and the
    // list are named after the labels beside them.
    ListView1->setAccessibleName(QStringLiteral("Text File(s)"));
    Text1->setAccessibleName(QStringLiteral("Text to append"));
    Text1->setAccessibleDescription(Label2->text());
    Combo1->setAccessibleName(QStringLiteral("Condition: does or does not"));
    Text2->setAccessibleName(QStringLiteral("Condition text"));
    Text2->setAccessibleDescription(QStringLiteral("...if this text does or does not exist at all in the file"));
    Text3->setAccessibleName(QStringLiteral("Output folder"));
    PushButton6->setAccessibleName(QStringLiteral("Browse for output folder"));
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    // A frame inside a frame would otherwise be announced by its container's caption.
    for (QGroupBox *frame : {Frame1, Frame2, Frame3})
        frame->setAccessibleName(frame->title());
}

void Form1::SetTabOrder()
{
    const QList<QWidget *> order{ListView1,   ProgressBar1, PushButton4, PushButton1, PushButton2,  PushButton7,
                                 PushButton3, Text1,        Text2,       PushButton5, PushButton11, Combo1,
                                 Option1,     Option2,      Text3,       PushButton6};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order.at(i), order.at(i + 1));
    for (QGroupBox *frame : {Frame1, Frame2, Frame3})
        frame->setFocusPolicy(Qt::NoFocus);
}

} // namespace tarnwell
