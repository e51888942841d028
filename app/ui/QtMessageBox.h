#pragma once
// Modal message boxes of the three kinds, shown with Qt.

#include <string>

#include "UiPort.h"

class QWidget;
class QString;

namespace tovanel {

// Qt breaks no line at a lone carriage return, so each CR (and CR LF pair) becomes a line break
// for display; the text itself keeps its CRs everywhere else.
QString DisplayTextForBox(const std::string& text);

// Shows the box modally over parent (or alone when parent is null) and returns the button value:
// kButtonOk, kButtonYes or kButtonNo. Closing a Yes/No box without a button answers No.
int ShowQtMessageBox(QWidget* parent, const std::string& text, const std::string& title,
                     MessageKind kind);

}  // namespace tovanel
