#pragma once
// The DATA box: a multi-line edit whose typing is limited to a number of characters (a line break
// counts two, as it goes on the wire) and into which Enter never puts a line break: Enter sends.
#include <QPlainTextEdit>

// Characters of a DATA text as sent: a line break is CR LF, two characters.
int WireLength(const QString& text);
// The longest start of text whose wire length is at most room.
QString LeadingPartThatFits(const QString& text, int room);

class DataMemoEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit DataMemoEdit(QWidget* parent = nullptr);
    // Limits new typing and pasting only; a longer text already there is kept.
    void SetMaxLength(int length);
    int MaxLength() const { return maxLength_; }

signals:
    void EnterPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int Room() const;
    int maxLength_ = 100;
};
