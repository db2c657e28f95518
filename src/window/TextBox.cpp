#include "TextBox.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextObjectInterface>

#include <algorithm>
#include <array>

namespace tarnwell {

namespace {

// The characters that a text document turns into a line break when they are inserted, though they
// are none in the box: a CR without a LF after it, the paragraph separator and the two frame
// marks. Each is held as an inline object whose type tells the character, and shown as a tag.
constexpr std::array<char16_t, 4> kKeptCharacters{u'\r', u'\u2029', u'\uFDD0', u'\uFDD1'};

bool IsKept(int character)
{
    return std::find(kKeptCharacters.begin(), kKeptCharacters.end(), character) != kKeptCharacters.end();
}

int ObjectTypeOf(char16_t character)
{
    return QTextFormat::UserObject + character;
}

// The kept character at document position `position`, or 0 when none stands there (a U+FFFC that
// was typed or pasted as itself is no tag).
char16_t KeptCharacterAt(const QTextDocument &document, int position)
{
    const QTextBlock block = document.findBlock(position);
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.contains(position))
            continue;
        const int character = fragment.charFormat().objectType() - QTextFormat::UserObject;
        return IsKept(character) ? static_cast<char16_t>(character) : char16_t{0};
    }
    return 0;
}

QString TagText(int character)
{
    if (character == u'\r')
        return QStringLiteral("CR");
    if (character == u'\u2029')
        return QStringLiteral("PS");
    return QStringLiteral("U+") + QString::number(character, 16).toUpper();
}

// Draws a kept character as a small framed tag ("CR", "PS") as high as the box's letters, so the
// line keeps its height.
class KeptCharacterTag final : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    using QObject::QObject;

    QSizeF intrinsicSize(QTextDocument *document, int, const QTextFormat &format) override
    {
        const QFontMetricsF tag(TagFont(*document));
        return {tag.horizontalAdvance(TagText(format.objectType() - QTextFormat::UserObject)) + 4,
                QFontMetricsF(document->defaultFont()).ascent()};
    }

    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document, int,
                    const QTextFormat &format) override
    {
        painter->save();
        painter->setFont(TagFont(*document));
        painter->drawRect(rect.adjusted(0.5, 0.5, -0.5, -0.5));
        painter->drawText(rect, Qt::AlignCenter, TagText(format.objectType() - QTextFormat::UserObject));
        painter->restore();
    }

private:
    static QFont TagFont(const QTextDocument &document)
    {
        QFont font = document.defaultFont();
        font.setPointSizeF(font.pointSizeF() * 0.7);
        return font;
    }
};

} // namespace

TextBox::TextBox(QWidget *parent) : QPlainTextEdit(parent)
{
    auto *tag = new KeptCharacterTag(this);
    for (const char16_t character : kKeptCharacters)
        document()->documentLayout()->registerHandler(ObjectTypeOf(character), tag);
}

QString TextBox::ExactText() const
{
    return ExactText(0, document()->characterCount() - 1);
}

QString TextBox::ExactText(int from, int to) const
{
    // The document's own characters: a paragraph separator in it is always a line's end (a pasted
    // one is held as a tag), and U+FFFC a tag or itself.
    QString text = document()->toRawText().mid(from, to - from);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QChar::ParagraphSeparator) {
            text[i] = u'\n';
        } else if (text.at(i) == QChar::ObjectReplacementCharacter) {
            const char16_t kept = KeptCharacterAt(*document(), from + static_cast<int>(i));
            if (kept != 0)
                text[i] = QChar(kept);
        }
    }
    return text;
}

void TextBox::keyPressEvent(QKeyEvent *event)
{
    // Shift+Enter ends a line as Enter does, instead of typing a line separator.
    if (event->matches(QKeySequence::InsertLineSeparator)) {
        QTextCursor cursor = textCursor();
        cursor.insertBlock();
        setTextCursor(cursor);
        ensureCursorVisible();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TextBox::insertFromMimeData(const QMimeData *source)
{
    if (source == nullptr || isReadOnly())
        return;
    const QString text = source->text();
    if (text.isEmpty())
        return;
    QTextCursor cursor = textCursor();
    QTextCharFormat plain = cursor.charFormat();
    plain.clearProperty(QTextFormat::ObjectType);
    cursor.beginEditBlock();
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t character = text.at(i).unicode();
        const bool crLf = character == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n';
        if (crLf || !IsKept(character))
            continue;
        cursor.insertText(text.mid(start, i - start), plain);
        QTextCharFormat tag = plain;
        tag.setObjectType(ObjectTypeOf(character));
        cursor.insertText(QString(QChar::ObjectReplacementCharacter), tag);
        start = i + 1;
    }
    cursor.insertText(text.mid(start), plain);
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData *TextBox::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    auto *mime = new QMimeData;
    mime->setText(ExactText(cursor.selectionStart(), cursor.selectionEnd()));
    return mime;
}

} // namespace tarnwell

#include "TextBox.moc"
