#include "look/Look.h"

#include "files/Paths.h"
#include "trap/AppError.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QWidget>

namespace tarnwell {

namespace {

constexpr QLatin1StringView kMetricsSection("metrics");
constexpr QLatin1StringView kFrameSection("frame");

// Braces outside comments must pair up; a truncated or hand-mangled skin fails here instead of
// being half applied by Qt, which only prints a warning for a sheet it cannot parse.
bool BracesBalance(const QString &text)
{
    int depth = 0;
    bool inComment = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (inComment) {
            if (c == u'*' && next == u'/') {
                inComment = false;
                ++i;
            }
        } else if (c == u'/' && next == u'*') {
            inComment = true;
            ++i;
        } else if (c == u'{') {
            ++depth;
        } else if (c == u'}' && --depth < 0) {
            return false;
        }
    }
    return depth == 0 && !inComment;
}

std::map<QString, QString> SplitSections(const QStringList &lines)
{
    static const QRegularExpression marker(QStringLiteral(R"(^/\*\s*\[([^\]]+)\]\s*\*/$)"));
    std::map<QString, QString> sections;
    QString current; // the colours, before the first marker
    sections[current];
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = marker.match(line.trimmed());
        if (match.hasMatch()) {
            current = match.captured(1).trimmed();
            sections[current];
            continue;
        }
        sections[current] += line + u'\n';
    }
    return sections;
}

void Recolour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(widget->backgroundRole(), colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

bool TakesButtonFace(const QWidget *widget)
{
    return qobject_cast<const QRadioButton *>(widget) || qobject_cast<const QCheckBox *>(widget)
           || qobject_cast<const QGroupBox *>(widget) || qobject_cast<const QLabel *>(widget);
}

// The window's controls are its child widgets and those of its containers (frames and plain
// panels). The parts that a composite control builds for itself (a combo box's popup, a list's
// header, a text box's scroll bars) are not controls of the window.
bool IsContainer(const QWidget *widget)
{
    const QMetaObject *kind = widget->metaObject();
    return qobject_cast<const QGroupBox *>(widget) || kind == &QWidget::staticMetaObject
           || kind == &QFrame::staticMetaObject;
}

void RecolourControls(QWidget *parent, const QColor &colour)
{
    for (QObject *child : parent->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget || widget->isWindow())
            continue;
        if (TakesButtonFace(widget))
            Recolour(widget, colour);
        if (IsContainer(widget))
            RecolourControls(widget, colour);
    }
}

} // namespace

void SkinFramework::LoadSkin(const QString &path, const QString &iniName)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("The skin file \"%1\" cannot be read: %2.")
                           .arg(QDir::toNativeSeparators(path), file.errorString()));
    const QByteArray bytes = file.readAll();
    file.close();

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        throw AppError(QStringLiteral("The skin file \"%1\" is not UTF-8 text.").arg(QDir::toNativeSeparators(path)));
    QStringList lines = text.split(u'\n');
    for (QString &line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    if (lines.first().trimmed() != QLatin1String(kSkinHeader))
        throw AppError(QStringLiteral("The file \"%1\" is not a Tarnwell skin: its first line must be %2")
                           .arg(QDir::toNativeSeparators(path), QLatin1String(kSkinHeader)));
    lines.removeFirst();
    if (!BracesBalance(text))
        throw AppError(QStringLiteral("The skin file \"%1\" is damaged: its braces do not pair up.")
                           .arg(QDir::toNativeSeparators(path)));

    std::map<QString, QString> sections = SplitSections(lines);
    if (!iniName.isEmpty() && (iniName == kMetricsSection || iniName == kFrameSection || !sections.contains(iniName)))
        throw AppError(
            QStringLiteral("The skin file \"%1\" has no variant \"%2\".").arg(QDir::toNativeSeparators(path), iniName));

    m_styleSheet = text;
    m_sections = std::move(sections);
    m_variant = iniName;
}

int SkinFramework::ApplyOptions() const
{
    return m_options;
}

void SkinFramework::SetApplyOptions(int options)
{
    m_options = options;
}

void SkinFramework::SetApplyMetrics(bool on)
{
    m_metrics = on;
}

void SkinFramework::SetFrameSkinning(bool on)
{
    m_frameSkinning = on;
}

QString SkinFramework::ComposedStyleSheet() const
{
    const auto section = [this](const QString &name) {
        const auto found = m_sections.find(name);
        return found == m_sections.end() ? QString() : found->second;
    };
    QString sheet;
    if (m_options & kSkinApplyColours) {
        sheet += section(QString());
        if (!m_variant.isEmpty())
            sheet += section(m_variant);
    }
    if (m_metrics)
        sheet += section(kMetricsSection);
    if (m_frameSkinning)
        sheet += section(kFrameSection);
    return sheet;
}

void SkinFramework::ApplyWindow(QWidget *window)
{
    if (!window)
        throw AppError(QStringLiteral("The skin has no window to draw."));
    if (m_styleSheet.isEmpty())
        throw AppError(QStringLiteral("No skin is loaded."));
    window->setStyleSheet(ComposedStyleSheet());
}

QString SkinFilePath(const QString &programFolder)
{
    const QChar sep = QDir::separator();
    return programFolder + sep + QStringLiteral("x") + sep + QStringLiteral("o.cjs");
}

void ApplySkin(QWidget *window, const QString &programFolder, SkinFramework &skin)
{
    if (!window)
        throw AppError(QStringLiteral("There is no window to skin."));
    if (!IsPlainVisibleFile(SkinFilePath(programFolder)))
        return;

    const QColor buttonFace = QGuiApplication::palette().color(QPalette::Button);
    Recolour(window, buttonFace);
    RecolourControls(window, buttonFace);

    skin.LoadSkin(SkinFilePath(programFolder), QString());
    const int options = skin.ApplyOptions();
    skin.SetApplyOptions(options | kSkinApplyColours);
    skin.SetApplyMetrics(true);
    skin.SetFrameSkinning(true);
    skin.ApplyWindow(window);
}

} // namespace tarnwell
