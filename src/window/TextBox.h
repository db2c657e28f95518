#pragma once

#include <QPlainTextEdit>

namespace tarnwell {

// A multi-line text box that holds exactly what was typed or pasted. Enter, with or without Shift,
// ends a line, and so does a pasted LF or CR LF; every other character stays as it came: a no-break
// space, a line separator (U+2028), a paragraph separator (U+2029) and a bare CR among them, which a
// plain text document would otherwise turn into blanks and line breaks.
class TextBox final : public QPlainTextEdit
{
public:
    explicit TextBox(QWidget *parent = nullptr);

    // What the box holds, its lines joined with "\n".
    QString ExactText() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    QString ExactText(int from, int to) const;
};

} // namespace tarnwell
