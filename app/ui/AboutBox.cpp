#include "AboutBox.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <functional>

#include "UFrmPrincipal.h"
#include "UFrmSobre.h"
#include "WindowFonts.h"

namespace tovanel {

namespace {

// A label that reports a left click, like a link.
class ClickableLabel : public QLabel {
public:
    ClickableLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
        : QLabel(text, parent), onClick_(std::move(onClick)) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            onClick_();
        QLabel::mouseReleaseEvent(event);
    }

private:
    std::function<void()> onClick_;
};

constexpr int kClientWidth = 359;
constexpr int kClientHeight = 139;

}  // namespace

TAboutBox::TAboutBox(QWidget* parent, TFrmSobre& logic, TFrmPrincipal& guard) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmSobre"));
    setWindowTitle(QString::fromUtf8(TFrmSobre::kCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFont(WindowDefaultFont());
    setFixedSize(kClientWidth, kClientHeight);

    auto* label1 = new QLabel(QString::fromUtf8(TFrmSobre::kLabel1), this);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setAlignment(Qt::AlignCenter);
    label1->setGeometry(0, 24, kClientWidth, 16);

    auto* version = new QLabel(QString::fromUtf8(TFrmSobre::kVersion), this);
    version->setObjectName(QStringLiteral("LblVersao"));
    version->setAlignment(Qt::AlignCenter);
    version->setGeometry(0, 40, kClientWidth, 16);

    auto* url = new ClickableLabel(QString::fromStdString(logic.LblUrlClickCaption()), this,
                                   [&logic, &guard] {
                                       guard.RunHandler([&logic] { logic.LblUrlClickClick(); });
                                   });
    url->setObjectName(QStringLiteral("LblUrlClick"));
    QFont urlFont = WindowDefaultFont();
    urlFont.setBold(true);
    urlFont.setUnderline(true);
    url->setFont(urlFont);
    QPalette urlPalette = url->palette();
    urlPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    url->setPalette(urlPalette);
    url->setCursor(Qt::PointingHandCursor);
    url->adjustSize();
    url->move((kClientWidth - url->width()) / 2, 56);

    auto* ok = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                               QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("BtBtnOk"));
    ok->setDefault(true);
    ok->setGeometry((kClientWidth - 75) / 2, 96, 75, 25);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen* screen = parent ? parent->screen() : this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

}  // namespace tovanel
