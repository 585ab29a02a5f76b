#include "terminal/DataMemoEdit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

int WireLength(const QString& text) {
    return static_cast<int>(text.size() + text.count(QChar('\n')));
}

QString LeadingPartThatFits(const QString& text, int room) {
    qsizetype end = 0;
    for (int used = 0; end < text.size(); ++end) {
        used += text[end] == QChar('\n') ? 2 : 1;
        if (used > room) break;
    }
    // Half of a character beyond U+FFFF would be no character at all.
    if (end > 0 && end < text.size() && text[end - 1].isHighSurrogate()) --end;
    return text.left(end);
}

DataMemoEdit::DataMemoEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
}

void DataMemoEdit::SetMaxLength(int length) { maxLength_ = length; }

int DataMemoEdit::Room() const {
    const int selected = WireLength(textCursor().selectedText().replace(QChar::ParagraphSeparator, '\n'));
    return maxLength_ - WireLength(toPlainText()) + selected;
}

void DataMemoEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit EnterPressed();
        event->accept();
        return;
    }
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint();
    if (printable && !(event->modifiers() & Qt::ControlModifier) && WireLength(typed) > Room()) {
        event->accept();  // the box is full
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void DataMemoEdit::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText()) return;
    QString text = source->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // One pass over the paste, however long: a million characters must not freeze the window.
    text = LeadingPartThatFits(text, Room());
    if (!text.isEmpty()) insertPlainText(text);
}
