// The shared password dialog and its operator and factory codes.
#include "passwordbox.h"

#include <QFont>
#include <QMouseEvent>

#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "numberinput.h"
#include "platformclock.h"
#include "textids.h"
#include "warnbox.h"
#include "wizardpara.h"

PasswordBox* gpPasswordBox = nullptr;

namespace {

constexpr int kConfirmX = 100;
constexpr int kCancelInset = 320;                               // from the right edge
constexpr int kButtonRise = 150;                                // from the bottom edge
constexpr int kEditType = Edit::kNumericPad | Edit::kInParent;  // numeric keypad in the box
constexpr int kEditX = 245;
constexpr int kEditY = 70;
constexpr int kEditWidth = 350;
constexpr int kEditWidthJapanese = 420;
constexpr int kEditHeight = 50;
constexpr int kEditPixelSize = 27;
constexpr int kLabelX = 95;
constexpr int kLabelXJapanese = 45;
constexpr int kLabelY = 75;
constexpr int kLabelWidth = 200;
constexpr int kLabelHeight = 40;
constexpr int kWrongEntry = 2;

constexpr int kLevelOperator = 1;
constexpr int kLevelFactory = 2;

const char* const kFactoryCode = "8517";
const char* const kHourStamp = "MMddhh";
const char* const kFontFamily = "wqy-microhei";

void setLevel(int level)
{
    if (gpState)
        gpState->pswLevel = level;
}

}  // namespace

PasswordBox::PasswordBox(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::CustomizeWindowHint);
    setGeometry(WarnBox::centredRect());

    confirmButton = WarnBox::makeButton(kTextConfirm, this);
    confirmButton->move(kConfirmX, height() - kButtonRise);
    connect(confirmButton, &QPushButton::clicked, this, &PasswordBox::accept);

    cancelButton = WarnBox::makeButton(kTextCancel, this);
    cancelButton->move(width() - kCancelInset, height() - kButtonRise);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    passwordEdit = new Edit(kEditType, this, 1);
    passwordEdit->setEchoMode(QLineEdit::Password);
    passwordEdit->setGeometry(kEditX, kEditY, gLan == kLanJapanese ? kEditWidthJapanese : kEditWidth, kEditHeight);
    QFont font(kFontFamily);
    font.setPixelSize(kEditPixelSize);
    passwordEdit->setFont(font);
    connect(passwordEdit, &QLineEdit::textChanged, this, &PasswordBox::SlotTextChanged);
    // A tap on the field may bring a fresh keypad (Edit::event): check it is connected.
    passwordEdit->installEventFilter(this);

    keypad();
    hide();
}

QString PasswordBox::factoryCode()
{
    QString code = QString::fromLatin1(kFactoryCode);
    if (gpWPara && gpWPara->isPswUsed != 0)
        code += PlatformClock::now().toString(kHourStamp);
    return code;
}

QString PasswordBox::operatorPassword()
{
    if (!gpWPara)
        return QString();
    // The stored field need not hold a NUL: read no further than its size.
    const char* field = gpWPara->password;
    return QString::fromLatin1(field, static_cast<int>(qstrnlen(field, sizeof(gpWPara->password))));
}

NumberInput* PasswordBox::keypad()
{
    // The keypad is re-created over the program's life (network card dialog, edits, the
    // main window): whichever is current must check this box's entry, exactly once.
    if (gpNumPad)
        connect(gpNumPad, &NumberInput::chkpassword, this, &PasswordBox::accept, Qt::UniqueConnection);
    return gpNumPad;
}

void PasswordBox::accept()
{
    const QString entry = passwordEdit->text();
    int level = 0;
    if (entry == factoryCode())
        level = kLevelFactory;
    else if (gpWPara && entry == operatorPassword())
        level = kLevelOperator;

    setLevel(level);
    if (level == 0) {
        wrongEntry = kWrongEntry;
        passwordEdit->clear();
        passwordEdit->setPlaceholderText(LanStr(kTextWrong));
        return;
    }
    wrongEntry = 0;
    passwordEdit->setPlaceholderText(LanStr(kTextPassword));
    QDialog::accept();
}

void PasswordBox::SlotTextChanged(const QString& text)
{
    if (!text.isEmpty()) {
        passwordEdit->setPlaceholderText(QString());
    } else if (wrongEntry == kWrongEntry) {
        passwordEdit->setPlaceholderText(LanStr(kTextWrong));
        wrongEntry = 0;
    } else {
        passwordEdit->setPlaceholderText(LanStr(kTextPassword));
    }
}

bool PasswordBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == passwordEdit && event->type() == QEvent::MouseButtonRelease)
        keypad();
    return QDialog::eventFilter(watched, event);
}

void PasswordBox::mouseReleaseEvent(QMouseEvent*)
{
    if (NumberInput* pad = keypad())
        pad->HideUpdate();
    else
        accept();
}

void PasswordBox::paintEvent(QPaintEvent*)
{
    // The message boxes' look, with the field's label in place of the message.
    WarnBox::paintBox(this, QRect(gLan == kLanJapanese ? kLabelXJapanese : kLabelX, kLabelY, kLabelWidth, kLabelHeight),
                      Qt::AlignLeft | Qt::AlignVCenter, LanStr(kTextPwdLabel), Qt::yellow);
}

void PasswordBox::showEvent(QShowEvent* event)
{
    setGeometry(WarnBox::centredRect());
    passwordEdit->clear();
    passwordEdit->setPlaceholderText(LanStr(kTextPassword));
    keypad();
    QDialog::showEvent(event);
}

void PasswordBox::hideEvent(QHideEvent* event)
{
    if (gpState && gpState->curInputEdit) {
        gpState->curInputEdit->clearFocus();
        gpState->curInputEdit = nullptr;
    }
    // Hidden first, so the keypad's Enter handling only hides it and checks nothing.
    if (gpNumPad)
        gpNumPad->HideUpdate();
    QWidget::hideEvent(event);
}
