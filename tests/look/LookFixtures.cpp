#include "LookFixtures.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
#include <QWidget>
#include <QtEndian>

namespace tarnwell::testing {

namespace {

QRect Twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

template <typename Control>
Control *Place(QWidget *parent, const char *name, QRect geometry, const QString &caption = QString())
{
    auto *control = new Control(parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    if constexpr (requires { control->setText(caption); }) {
        if (!caption.isEmpty())
            control->setText(caption);
    }
    if constexpr (requires { control->setTitle(caption); })
        control->setTitle(caption);
    QPalette palette = control->palette();
    palette.setColor(control->backgroundRole(), Qt::white);
    control->setPalette(palette);
    return control;
}

QPushButton *Button(QWidget *parent, const char *name, QRect geometry, const QString &caption)
{
    auto *button = Place<QPushButton>(parent, name, geometry, caption);
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPointSizeF(11.25);
    button->setFont(font);
    return button;
}

} // namespace

std::unique_ptr<QWidget> MakeMainWindow()
{
    auto window = std::make_unique<QWidget>();
    window->setObjectName(QStringLiteral("Form1"));
    window->setFixedSize(536, 723);
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPointSizeF(9);
    window->setFont(font);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Qt::white);
    window->setPalette(palette);
    window->setAutoFillBackground(true);

    QWidget *w = window.get();
    Place<QTreeView>(w, "ListView1", Twips(120, 120, 7800, 1830));
    Button(w, "PushButton4", Twips(120, 2040, 3840, 405), QStringLiteral("Add Text File(s)"));
    Button(w, "PushButton1", Twips(4080, 2040, 3840, 405), QStringLiteral("Add All File(s) In Folder"));
    Button(w, "PushButton7", Twips(120, 2550, 3840, 405), QStringLiteral("Clear List"));
    Button(w, "PushButton3", Twips(4080, 2550, 3840, 405), QStringLiteral("Load Sample/Example Files"));
    Button(w, "PushButton5", Twips(120, 3060, 3840, 405), QStringLiteral("Remove Filenames Containing X"));
    Button(w, "PushButton11", Twips(4080, 3060, 3840, 405), QStringLiteral("Remove Filenames Not Cont. X"));
    auto *frame1 = Place<QGroupBox>(w, "Frame1", Twips(120, 3540, 7800, 4065),
                                    QStringLiteral("For all files listed above..."));
    Place<QLabel>(frame1, "Label2", Twips(240, 300, 3345, 225),
                  QStringLiteral("...append this text to the end of the file..."));
    Place<QPlainTextEdit>(frame1, "Text1", Twips(240, 570, 7320, 1395));
    Place<QLabel>(frame1, "Label3", Twips(240, 2130, 4320, 225),
                  QStringLiteral(" ...if this text            xxx                exist at all in the file:"));
    auto *combo = Place<QComboBox>(frame1, "Combo1", Twips(1400, 2070, 1335, 345));
    combo->addItems({QStringLiteral("does"), QStringLiteral("does not")});
    Place<QPlainTextEdit>(frame1, "Text2", Twips(240, 2490, 7320, 1395));
    auto *frame3 = Place<QGroupBox>(w, "Frame3", Twips(120, 7680, 7800, 1980), QStringLiteral("Save Options"));
    Place<QRadioButton>(frame3, "Option1", Twips(240, 300, 4095, 300),
                        QStringLiteral("Edit and save changes to input files directly"));
    Place<QRadioButton>(frame3, "Option2", Twips(240, 650, 7095, 300),
                        QStringLiteral("Create new files based on input files and save to this folder:"));
    auto *frame2 = Place<QGroupBox>(frame3, "Frame2", Twips(600, 990, 6720, 810),
                                    QStringLiteral("Save Results To This Folder"));
    Place<QLineEdit>(frame2, "Text3", Twips(240, 300, 5505, 345));
    Button(frame2, "PushButton6", Twips(5880, 300, 600, 345), QStringLiteral("..."));
    Button(w, "PushButton2", Twips(120, 9795, 7800, 405), QStringLiteral("Start Appending Text To All Files"));
    auto *bar = Place<QProgressBar>(w, "ProgressBar1", Twips(120, 10320, 7800, 405));
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setFormat(QStringLiteral("Progress Bar"));
    bar->setTextVisible(true);
    return window;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QString SourceFile(const QString &relative)
{
    return qEnvironmentVariable("TARNWELL_SOURCE_DIR") + u'/' + relative;
}

QByteArray CursorFileBytes(const QImage &picture, QPoint hotspot)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const int n = image.width();
    const auto le16 = [](QByteArray &out, int value) {
        char bytes[2];
        qToLittleEndian<quint16>(quint16(value), bytes);
        out.append(bytes, 2);
    };
    const auto le32 = [](QByteArray &out, qint64 value) {
        char bytes[4];
        qToLittleEndian<quint32>(quint32(value), bytes);
        out.append(bytes, 4);
    };
    QByteArray pixels;
    QByteArray mask;
    const int maskStride = (n + 31) / 32 * 4;
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray maskRow(maskStride, '\0');
        for (int x = 0; x < n; ++x) {
            const QRgb p = image.pixel(x, y);
            pixels.append(char(qBlue(p))).append(char(qGreen(p))).append(char(qRed(p))).append(char(qAlpha(p)));
            if (qAlpha(p) == 0)
                maskRow[x / 8] = char(maskRow[x / 8] | (0x80 >> (x % 8)));
        }
        mask += maskRow;
    }
    QByteArray info;
    le32(info, 40);
    le32(info, n);
    le32(info, image.height() * 2);
    le16(info, 1);
    le16(info, 32);
    le32(info, 0);
    le32(info, pixels.size() + mask.size());
    for (int i = 0; i < 4; ++i)
        le32(info, 0);
    const QByteArray body = info + pixels + mask;

    QByteArray file;
    le16(file, 0);
    le16(file, 2);
    le16(file, 1);
    file.append(char(n)).append(char(image.height())).append('\0').append('\0');
    le16(file, hotspot.x());
    le16(file, hotspot.y());
    le32(file, body.size());
    le32(file, 6 + 16);
    return file + body;
}

} // namespace tarnwell::testing
