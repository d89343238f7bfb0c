// The kit's line edit: input target tracking, keypad choice and placement, range.
#include "edit.h"

#include <utility>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "c_type_com.h"
#include "globals.h"
#include "keypads.h"
#include "lanstr.h"
#include "mainstate.h"
#include "numberinput.h"
#include "numcharinput.h"
#include "textids.h"

namespace {

constexpr int kKeyDot = 46;
constexpr int kKeypadGap = 5;        // between the edit and its keypad
constexpr int kBottomReserve = 49;   // the status strip at the screen's foot
constexpr int kAboveExtraLift = 45;  // a keypad flipped above also clears the edit
const char* const kNetDialogClass = "NetworkSettingDialog";

// The network settings dialog that holds this edit (through the card dialog's window).
QWidget* enclosingNetDialog(QWidget* w)
{
    for (QWidget* p = w ? w->parentWidget() : nullptr; p; p = p->parentWidget())
        if (p->inherits(kNetDialogClass))
            return p;
    return nullptr;
}

Edit* currentTarget()
{
    return gpState ? gpState->curInputEdit : nullptr;
}

void setCurrentTarget(Edit* edit)
{
    if (gpState)
        gpState->curInputEdit = edit;
}

}  // namespace

Edit::Edit(int type, QWidget* parent, int style)
    : QLineEdit(parent), type(type), validator(new QIntValidator(this)), minValue(-1), maxValue(-1)
{
    if (style == 1)
        C_Type_COM::setTxtQss(this, C_Type_COM::Color_Blue);
    connect(this, &QLineEdit::textChanged, this, &Edit::SlotRange);
}

Edit::~Edit()
{
    // The keypads type into the target unchecked; a password field is the target without
    // the focus, so no focus-out clears it when its screen is deleted.
    if (currentTarget() == this)
        setCurrentTarget(nullptr);
}

int Edit::value() const
{
    bool ok = false;
    const int v = text().toInt(&ok, 10);
    return ok ? v : 0;
}

void Edit::setValue(int v)
{
    setText(QString::number(v));
}

void Edit::setValue(double v)
{
    setText(QString::number(v, 'g', 6));
}

void Edit::setRange(int min, int max)
{
    minValue = min;
    maxValue = max;
    validator->setRange(min, max);
}

void Edit::addValue(QString key, bool replace)
{
    if (key.isEmpty())
        return;
    const QString c(QChar::fromLatin1(key.at(0).toLatin1()));
    setText(replace ? c : text() + c);
    setCursorPosition(text().length());
}

void Edit::deleteValue(bool& emptied)
{
    QString t = text();
    if (!t.isEmpty()) {
        t.chop(1);
        setText(t);
    }
    if (t.isEmpty())
        emptied = true;
    setCursorPosition(t.length());
}

void Edit::SlotRange(QString text)
{
    if (minValue == -1 || maxValue == -1)
        return;
    if (minValue > maxValue)
        std::swap(minValue, maxValue);
    // Only a decimal int counts: longer digit strings stay as typed until they are checked.
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    if (!ok)
        return;
    const QString clamped = QString("%1").arg(qBound(minValue, number, maxValue));
    if (clamped != text)
        setText(clamped);
}

bool Edit::event(QEvent* e)
{
    if (!gpNumPad || !gpNumCharPad) {
        // A keypad destroyed anywhere comes back with the next event of any edit; not
        // while the program closes down, when it would only be leaked.
        if (!KeypadsClosingDown()) {
            if (!gpNumPad)
                CreateNumPad();
            if (!gpNumCharPad)
                CreateNumCharPad();
        }
        return QLineEdit::event(e);
    }

    switch (e->type()) {
        case QEvent::FocusIn:
            if (echoMode() == QLineEdit::Password) {
                // A password is always typed afresh and the field never keeps the focus.
                clear();
                clearFocus();
                setPlaceholderText(LanStr(kTextPassword));
            }
            setCurrentTarget(this);
            break;
        case QEvent::FocusOut:
            setCurrentTarget(nullptr);
            gpNumPad->hide();
            gpNumCharPad->hide();
            break;
        case QEvent::MouseButtonRelease:
            if (currentTarget())
                showKeypad();
            break;
        default:
            break;
    }
    return QLineEdit::event(e);
}

void Edit::showKeypad()
{
    QWidget* pad = gpNumCharPad;
    if (!(type & kCharPad)) {
        gpNumPad->eraseAll();
        pad = gpNumPad;
    }

    QWidget* parent = parentWidget();
    QWidget* grandparent = parent ? parent->parentWidget() : nullptr;
    QWidget* container = parent;
    int x = this->x();
    int top = y() + height() + kKeypadGap;
    const int padW = pad->width();
    const int padH = pad->height();
    const int screenFoot = gShowH - kBottomReserve;

    QWidget* netDialog = (type & kInNetDialog) ? enclosingNetDialog(this) : nullptr;
    if ((type & kInGrandparent) && grandparent) {
        container = grandparent;
        x += parent->x();
        top += parent->y();
    } else if ((type & kThreeUp) && grandparent && grandparent->parentWidget()) {
        container = grandparent->parentWidget();
        x += parent->x() + grandparent->x();
        top += parent->y() + grandparent->y();
    } else if (netDialog) {
        // The card dialog is a window of its own: map through the screen.
        container = netDialog;
        const QPoint at = netDialog->mapFromGlobal(mapToGlobal(QPoint(0, 0)));
        x = at.x();
        top = at.y() + height() + kKeypadGap;
        if (top + padH >= screenFoot)
            top = at.y() - padH - kKeypadGap;
    }
    if (!container)
        return;

    if (container != netDialog) {
        if (x + padW > container->width())
            x = container->width() - padW;
        if (top + padH >= screenFoot)
            top = top - padH - kAboveExtraLift;
        if (top + padH > container->height())
            top = container->height() - padH;
    }

    if (pad->parentWidget() != container)
        pad->setParent(container);
    pad->move(x, top);
    pad->show();
    pad->raise();
    pad->activateWindow();
}

void Edit::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == kKeyDot)
        emit sig_Dot();
    if (e->key() == Qt::Key_Return) {
        if (gpNumCharPad && gpNumCharPad->isVisible()) {
            gpNumCharPad->HideUpdate();
        } else if (gpNumPad && gpNumPad->isVisible()) {
            gpNumPad->HideUpdate();
        } else {
            QMouseEvent release(QEvent::MouseButtonRelease, QPointF(0, 0), Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QApplication::sendEvent(this, &release);
        }
    }
    QLineEdit::keyPressEvent(e);
}

void Edit::focusInEvent(QFocusEvent* e)
{
    QLineEdit::focusInEvent(e);
}

void Edit::focusOutEvent(QFocusEvent* e)
{
    emit focusOut();
    QLineEdit::focusOutEvent(e);
}
