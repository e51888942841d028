#pragma once
// The About box's widgets, over TFrmSobre's logic.

#include <QDialog>

namespace tovanel {

class TFrmSobre;
class TFrmPrincipal;

class TAboutBox : public QDialog {
public:
    // Every handler of the box runs through the main window's failure guard.
    TAboutBox(QWidget* parent, TFrmSobre& logic, TFrmPrincipal& guard);
};

}  // namespace tovanel
