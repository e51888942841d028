#include "QtMessageBox.h"

#include <QMessageBox>
#include <QString>

namespace tovanel {

QString DisplayTextForBox(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

int ShowQtMessageBox(QWidget* parent, const std::string& text, const std::string& title,
                     MessageKind kind) {
    QMessageBox box(parent);
    box.setWindowTitle(QString::fromStdString(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(DisplayTextForBox(text));
    switch (kind) {
        case MessageKind::Error:
            box.setIcon(QMessageBox::Critical);
            box.setStandardButtons(QMessageBox::Ok);
            box.setDefaultButton(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Ok);
            break;
        case MessageKind::Confirmation:
        case MessageKind::QuestionYesDefault:
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(kind == MessageKind::Confirmation ? QMessageBox::No
                                                                   : QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
            break;
    }
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Yes: return kButtonYes;
        case QMessageBox::Ok: return kButtonOk;
        default: return kind == MessageKind::Error ? kButtonOk : kButtonNo;
    }
}

}  // namespace tovanel
