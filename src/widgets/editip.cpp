// IPv4 address editor.
#include "editip.h"

#include <QFont>
#include <QPalette>

#include "textfit.h"

namespace {

constexpr int kHeight = 80;
constexpr int kPixelSize = 30;
constexpr int kCaptionWidth = 160;
constexpr int kOctetWidth = 80;
constexpr int kOctetHeight = 50;
constexpr int kOctetMax = 255;
constexpr int kTypeInNetDialog = Edit::kNumericPad | Edit::kInNetDialog;  // inside the network settings dialog
constexpr int kTypeInParent = Edit::kNumericPad | Edit::kInGrandparent;   // in the editor's parent
constexpr int kCaptionStretch = 10;
constexpr int kOctetStretch = 5;
const char* const kFontFamily = "wenquanyi";

}  // namespace

EditIP::EditIP(const QString& caption, int flag, QWidget* parent) : QWidget(parent)
{
    setFixedHeight(kHeight);
    QFont font(kFontFamily);
    font.setPixelSize(kPixelSize);
    setFont(font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, titleColor);

    layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    captionLabel = new QLabel(this);
    captionLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    captionLabel->setFixedSize(kCaptionWidth, kHeight);
    captionLabel->setPalette(palette);
    captionLabel->setFont(font);
    // The caption's width is fixed: a longer one takes a second line of the editor's height.
    TextFit::FitLabel(captionLabel, caption);
    layout->addWidget(captionLabel, kCaptionStretch);

    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            dotLabels[i - 1] = new QLabel(".", this);
            dotLabels[i - 1]->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
            dotLabels[i - 1]->setPalette(palette);
            layout->addWidget(dotLabels[i - 1], 0);
        }
        octets[i] = new Edit(flag == 1 ? kTypeInNetDialog : kTypeInParent, this, 1);
        octets[i]->setFixedSize(kOctetWidth, kOctetHeight);
        octets[i]->setRange(0, kOctetMax);
        connect(octets[i], &QLineEdit::textChanged, this, [this] { emit textchange(getAddress()); });
        layout->addWidget(octets[i], kOctetStretch);
    }
    // A "." typed in an octet moves on to the next one; the last has nowhere to go.
    connect(octets[0], &Edit::sig_Dot, this, &EditIP::SlotPressDot_0);
    connect(octets[1], &Edit::sig_Dot, this, &EditIP::SlotPressDot_1);
    connect(octets[2], &Edit::sig_Dot, this, &EditIP::SlotPressDot_2);
}

void EditIP::moveToOctet(int index)
{
    octets[index]->setText("0");
    octets[index]->setFocus(Qt::OtherFocusReason);
}

void EditIP::SlotPressDot_0()
{
    moveToOctet(1);
}

void EditIP::SlotPressDot_1()
{
    moveToOctet(2);
}

void EditIP::SlotPressDot_2()
{
    moveToOctet(3);
}

QString EditIP::getAddress()
{
    QStringList parts;
    for (Edit* octet : octets) {
        QString part = octet->text().remove('.');
        bool number = false;
        part.toUInt(&number, 10);
        parts << (number ? part : QString("0"));
    }
    address = parts.join('.');
    return address;
}

void EditIP::setAddress(const QString& text)
{
    int index = 0;
    QString part;
    for (const QChar c : text) {
        if (c == '.') {
            part.clear();
            if (index < 3)
                ++index;
            continue;
        }
        part += c;
        octets[index]->setText(part);
    }
}
