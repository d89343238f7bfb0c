// Four octet fields separated by dots.
#include "ipaddressedite.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>

namespace {
constexpr int kOctetCount = 4;
constexpr int kOctetMax = 255;
constexpr int kOctetDigits = 3;
constexpr int kDotWidth = 20;
const char* const kDotStyle = "color:white;font-size:38px;";
}  // namespace

IPAddressEdite::IPAddressEdite(QWidget* parent) : QWidget(parent)
{
    installEventFilter(this);
    auto* validator = new QIntValidator(0, kOctetMax, this);
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < kOctetCount; ++i) {
        if (i > 0) {
            auto* dot = new QLabel(".", this);
            dot->setAlignment(Qt::AlignCenter);
            dot->setFixedWidth(kDotWidth);
            dot->setStyleSheet(kDotStyle);
            layout->addWidget(dot);
        }
        QLineEdit* octet = new QLineEdit(this);
        octet->setAlignment(Qt::AlignCenter);
        octet->setValidator(validator);
        octet->setMaxLength(kOctetDigits);
        octet->installEventFilter(this);
        connect(octet, &QLineEdit::textChanged, this, [this] { emit sigChangeStr(getAddress()); });
        octets[i] = octet;
        layout->addWidget(octet);
    }
}

bool IPAddressEdite::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Period) {
        // The dot moves on to the next field; the field's validator then refuses the dot.
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QCoreApplication::sendEvent(this, &tab);
    }
    return QWidget::eventFilter(watched, event);
}

QString IPAddressEdite::getAddress()
{
    QStringList parts;
    for (QLineEdit* octet : octets) parts << octet->text();
    return parts.join('.').replace("...", "0.0.0.0");
}

void IPAddressEdite::setAddress(QString text)
{
    const QStringList parts = text.split('.', Qt::SkipEmptyParts);
    for (int i = 0; i < kOctetCount; ++i) octets[i]->setText(parts.size() == kOctetCount ? parts[i] : QString("0"));
}

void IPAddressEdite::setReadOnly(bool readOnly)
{
    for (QLineEdit* octet : octets) octet->setReadOnly(readOnly);
}
