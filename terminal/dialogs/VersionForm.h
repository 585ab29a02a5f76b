#pragma once
// "VersionForm": banner, program icon, version and release date; modal, "OK" closes it.
#include <QPixmap>
#include "terminal/dialogs/MessageForm.h"

class TVersionForm : public TDialogForm {
    Q_OBJECT
public:
    explicit TVersionForm(QWidget* parent = nullptr);
    // Drawn in code: a radio mast sending waves, so the program needs no image files.
    static QPixmap DrawBanner(int width, int height);
    static QPixmap DrawIcon(int size);
};
