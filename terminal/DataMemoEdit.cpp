#include "terminal/DataMemoEdit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

int WireLength(const QString& text) {
    return static_cast<int>(text.size() + text.count(QChar('\n')));
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
    const int room = Room();
    while (!text.isEmpty() && WireLength(text) > room) text.chop(1);
    if (!text.isEmpty()) insertPlainText(text);
}
