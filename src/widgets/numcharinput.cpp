// The shared alphanumeric keypad.
#include "numcharinput.h"

#include <QPaintEvent>

#include "edit.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "numberinput.h"
#include "textids.h"

NumCharInput* gpNumCharPad = nullptr;

namespace {

constexpr int kPadWidth = 785;
constexpr int kPadHeight = 295;
constexpr int kCharKeySize = 65;
constexpr int kFunctionKeyWidth = 80;
constexpr int kPitch = 70;
constexpr int kKeySizeClass = 3;
constexpr int kCharKeyCount = 37;
constexpr int kRightKeyInset = 90;  // the toggle and Enter: keypad width - 90
constexpr int kBackKeyInset = 180;  // backspace: keypad width - 180
constexpr int kCapsKeyX = 10;

struct KeyRow
{
    int y;
    int startX;
    int firstId;
    const char* text;  // the row's characters at construction
};
const KeyRow kRows[] = {
    {10, 10, 0, "1234567890_"},
    {80, 42, 11, "qwertyuiop"},
    {150, 62, 21, "asdfghjkl"},
    {220, 106, 30, "zxcvbnm"},
};
constexpr int kRowCount = 4;

// Rows 1 to 3 of each page; row 0 never changes.
const char* const kLowerPage[3] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
const char* const kUpperPage[3] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
const char* const kPunctuationPage[3] = {"-=[]\\;',./", "@#$%^?*()", "`~!{}:\""};

Edit* target()
{
    return gpState ? gpState->curInputEdit : nullptr;
}

}  // namespace

NumCharInput::NumCharInput(QWidget* parent) : QWidget(parent)
{
    setWindowFlags(Qt::CustomizeWindowHint);
    setGeometry(0, 0, kPadWidth, kPadHeight);
    setFocusPolicy(Qt::NoFocus);

    group = new QButtonGroup(this);
    auto makeKey = [this](const QString& text, int x, int y, int w) {
        auto* key = new ColorButton(text, this, kKeySizeClass);
        key->setGeometry(x, y, w, kCharKeySize);
        key->setFocusPolicy(Qt::NoFocus);
        return key;
    };
    for (const KeyRow& row : kRows) {
        const QString chars = QString::fromLatin1(row.text);
        for (int k = 0; k < chars.size(); ++k) {
            const int id = row.firstId + k;
            keys[id] = makeKey(chars.mid(k, 1), row.startX + kPitch * k, row.y, kCharKeySize);
            group->addButton(keys[id], id);
        }
    }
    keys[kPuncKey] = makeKey(LanStr(kTextPunctuation), kPadWidth - kRightKeyInset, kRows[2].y, kFunctionKeyWidth);
    keys[kCapsKey] = makeKey(LanStr(kTextCapsWhileLower), kCapsKeyX, kRows[3].y, kFunctionKeyWidth);
    keys[kBackKey] = makeKey(LanStr(kTextBackspace), kPadWidth - kBackKeyInset, kRows[3].y, kFunctionKeyWidth);
    keys[kEnterKey] = makeKey(LanStr(kTextConfirm), kPadWidth - kRightKeyInset, kRows[3].y, kFunctionKeyWidth);

    connect(group, &QButtonGroup::idClicked, this, &NumCharInput::setContent);
    connect(keys[kPuncKey], &QPushButton::clicked, this, &NumCharInput::SlotChgChar_Punc);
    connect(keys[kCapsKey], &QPushButton::clicked, this, &NumCharInput::SlotCap);
    connect(keys[kBackKey], &QPushButton::clicked, this, &NumCharInput::eraseContent);
    connect(keys[kEnterKey], &QPushButton::clicked, this, &NumCharInput::HideUpdate);
    hide();
}

NumCharInput::~NumCharInput()
{
    if (gpNumCharPad == this)
        gpNumCharPad = nullptr;
}

void NumCharInput::showPage(const char* const rows[3], int puncEntry, int capsEntry)
{
    for (int r = 1; r < kRowCount; ++r) {
        const QString chars = QString::fromLatin1(rows[r - 1]);
        for (int k = 0; k < chars.size(); ++k) {
            ColorButton* key = keys[kRows[r].firstId + k];
            key->setText(chars.mid(k, 1));
            key->repaint();
        }
    }
    keys[kPuncKey]->setText(LanStr(puncEntry));
    keys[kCapsKey]->setText(LanStr(capsEntry));
}

void NumCharInput::SlotChgChar_Punc()
{
    if (keys[kPuncKey]->text() == LanStr(kTextPunctuation))
        showPage(kPunctuationPage, kTextCharacters, kTextCapsWhileLower);
    else
        showPage(kLowerPage, kTextPunctuation, kTextCapsWhileLower);
}

void NumCharInput::SlotCap()
{
    if (keys[kCapsKey]->text() == LanStr(kTextCapsWhileLower))
        showPage(kUpperPage, kTextPunctuation, kTextCapsWhileUpper);
    else
        showPage(kLowerPage, kTextPunctuation, kTextCapsWhileLower);
}

void NumCharInput::setContent(int id)
{
    Edit* edit = target();
    if (!edit || id < 0 || id >= kCharKeyCount)
        return;
    const QString key = keys[id]->text();
    if (key.isEmpty())
        return;
    edit->setText(edit->text() + QChar::fromLatin1(key.at(0).toLatin1()));
    edit->setCursorPosition(edit->text().length());
}

void NumCharInput::eraseContent()
{
    Edit* edit = target();
    if (!edit)
        return;
    QString t = edit->text();
    t.chop(1);
    edit->setText(t);
    edit->setCursorPosition(qMax(0, t.length() - 1));
}

void NumCharInput::HideUpdate()
{
    if (!isVisible())
        return;
    hide();
    if (QWidget* parent = parentWidget())
        parent->update();
}

void NumCharInput::paintEvent(QPaintEvent* event)
{
    NumberInput::paintPad(this, event->rect());
}

void NumCharInput::showEvent(QShowEvent* event)
{
    // Every showing starts on the lower-case letters.
    keys[kPuncKey]->setText(LanStr(kTextCharacters));
    keys[kCapsKey]->setText(LanStr(kTextCapsWhileLower));
    SlotChgChar_Punc();
    QWidget::showEvent(event);
}
