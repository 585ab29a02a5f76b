#pragma once
// "Version Infomation": a banner, an emblem, the program's name, version and release date.
#include <QDialog>

class QLabel;
class QPushButton;

class TVersionForm : public QDialog {
    Q_OBJECT
public:
    explicit TVersionForm(QWidget* parent = nullptr);

    QLabel* Banner;       // 249 x 41
    QLabel* Emblem;       // 33 x 33
    QLabel* ProductName;  // "Talvane for Engineer"
    QLabel* VersionLine;  // "Version 1.06"
    QLabel* ReleaseDate;  // "Release Date  5/10/2000"
    QPushButton* OKButton;

protected:
    void showEvent(QShowEvent* event) override;
};
