// The shared numeric keypad.
#include "numberinput.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QRandomGenerator>

#include "edit.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "passwordbox.h"
#include "textids.h"

NumberInput* gpNumPad = nullptr;

namespace {

constexpr int kPadWidth = 427;
constexpr int kPadHeight = 230;
constexpr int kKeyWidth = 100;
constexpr int kKeyHeight = 70;
constexpr int kOrigin = 5;
constexpr int kColumnPitch = 106;
constexpr int kRowPitch = 76;
constexpr int kColumns = 4;
constexpr int kDigits = 10;
constexpr int kKeySizeClass = 3;
const QColor kFaceColour(255, 251, 240, 200);
const char* const kOutlineColour = "#191532";

QRect keyRect(int slot)
{
    return QRect(kOrigin + (slot % kColumns) * kColumnPitch, kOrigin + (slot / kColumns) * kRowPitch, kKeyWidth,
                 kKeyHeight);
}

Edit* target()
{
    return gpState ? gpState->curInputEdit : nullptr;
}

}  // namespace

QVector<int> genRandomNumber()
{
    QVector<int> digits;
    while (digits.size() < kDigits) {
        const int d = static_cast<int>(QRandomGenerator::global()->bounded(kDigits));
        if (!digits.contains(d))
            digits.append(d);
    }
    return digits;
}

NumberInput::NumberInput(QWidget* parent) : QWidget(parent)
{
    setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint);
    setGeometry(0, 0, kPadWidth, kPadHeight);
    setFocusPolicy(Qt::NoFocus);

    group = new QButtonGroup(this);
    auto makeKey = [this](const QString& text, int slot) {
        auto* key = new ColorButton(text, this, kKeySizeClass);
        key->setGeometry(keyRect(slot));
        key->setFocusPolicy(Qt::NoFocus);
        return key;
    };
    for (int i = 0; i < kDigits; ++i) {
        digitKeys[i] = makeKey(QString::number((i + 1) % kDigits), i);
        group->addButton(digitKeys[i], i);
    }
    deleteKey = makeKey(LanStr(kTextBackspace), kDigits);
    confirmKey = makeKey(LanStr(kTextConfirm), kDigits + 1);

    connect(group, &QButtonGroup::idClicked, this, &NumberInput::setContent);
    connect(deleteKey, &QPushButton::clicked, this, &NumberInput::eraseContent);
    connect(confirmKey, &QPushButton::clicked, this, &NumberInput::HideUpdate);
    hide();
}

NumberInput::~NumberInput()
{
    if (gpNumPad == this)
        gpNumPad = nullptr;
}

void NumberInput::setContent(int id)
{
    Edit* edit = target();
    if (!edit || id < 0 || id >= kDigits)
        return;
    edit->addValue(digitKeys[id]->text(), replace);
    replace = false;
}

void NumberInput::eraseContent()
{
    if (Edit* edit = target())
        edit->deleteValue(replace);
}

void NumberInput::eraseAll()
{
    if (Edit* edit = target()) {
        edit->setText(QString());
        edit->setCursorPosition(0);
    }
    replace = true;
}

void NumberInput::HideUpdate()
{
    if (isVisible()) {
        hide();
        // The windows under the keypad (the main window) repaint what it covered.
        for (QWidget* below : QApplication::topLevelWidgets())
            if (below != this && below->isVisible())
                below->update();
    }
    if (gpPasswordBox && gpPasswordBox->isVisible()) {
        emit chkpassword();
        return;
    }
    if (Edit* edit = target())
        edit->clearFocus();
}

void NumberInput::paintPad(QWidget* pad, const QRect& updateRect)
{
    QPainter painter(pad);
    painter.fillRect(updateRect, kFaceColour);
    painter.setPen(QColor(kOutlineColour));
    painter.drawRect(QRect(QPoint(0, 0), QPoint(pad->width() - 2, pad->height() - 2)));
}

void NumberInput::paintEvent(QPaintEvent* event)
{
    paintPad(this, event->rect());
}

void NumberInput::showEvent(QShowEvent* event)
{
    // A password is typed on shuffled digits, new on every showing.
    Edit* edit = target();
    if (edit && edit->echoMode() == QLineEdit::Password) {
        const QVector<int> order = genRandomNumber();
        for (int i = 0; i < kDigits; ++i) digitKeys[i]->setText(QString::number(order[i]));
    } else {
        for (int i = 0; i < kDigits; ++i) digitKeys[i]->setText(QString::number((i + 1) % kDigits));
    }
    QWidget::showEvent(event);
}
