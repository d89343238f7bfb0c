// The shared yes/no box.
#include "choosebox.h"

#include "globals.h"
#include "textids.h"
#include "warnbox.h"

ChooseBox* gpChooseBox = nullptr;

namespace {

constexpr int kYesOffsetX = -270;  // from the box's horizontal centre
constexpr int kNoOffsetX = 50;
constexpr int kButtonOffsetY = 50;  // from the box's vertical centre
constexpr int kTextBandCut = 50;    // the text band ends this far above the centre

}  // namespace

ChooseBox::ChooseBox(QWidget* parent, int width, int height) : QDialog(parent), boxWidth(width), boxHeight(height)
{
    setGeometry(gShowW / 2 - width / 2, gShowH / 2 - height / 2, width, height);
    setFixedSize(width, height);

    yesButton = WarnBox::makeButton(kTextYes, this);
    yesButton->move(width / 2 + kYesOffsetX, height / 2 + kButtonOffsetY);
    connect(yesButton, &QPushButton::clicked, this, &QDialog::accept);

    noButton = WarnBox::makeButton(kTextNo, this);
    noButton->move(width / 2 + kNoOffsetX, height / 2 + kButtonOffsetY);
    connect(noButton, &QPushButton::clicked, this, &QDialog::reject);

    hide();
    raise();
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::CustomizeWindowHint | Qt::WindowFullscreenButtonHint);
}

void ChooseBox::setText(const QString& text)
{
    question = text;
}

QString ChooseBox::text() const
{
    return question;
}

void ChooseBox::paintEvent(QPaintEvent*)
{
    WarnBox::paintBox(this, QRect(0, 0, boxWidth, boxHeight / 2 - kTextBandCut),
                      Qt::AlignHCenter | Qt::AlignVCenter | Qt::AlignBottom, question);
}
