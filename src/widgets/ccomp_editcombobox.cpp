// An editable drop-down whose text is selected whole on every tap.
#include "ccomp_editcombobox.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QResizeEvent>
#include <QStyledItemDelegate>
#include <QTimer>

namespace {

// The drop-down button and its arrow are squares that follow the box's height.
constexpr int kArrowInset = 4;

const char* const kEditComboStyle =
    "QComboBox {color:black;font-size:20px;padding: 0 5px 0 5px;background: #ffffff;border:1px solid "
    "#DCE4EC;border-radius: 4px;margin:0;combobox-popup:0;}QComboBox::drop-down{padding: 0px 3px 0px 3px;width: "
    "%1px;height: %1px;border-style:none;}QComboBox::down-arrow{width: %1px;height: "
    "%1px;image:url(:/go-down.png);}QComboBox:hover{border:2px solid #3498DB;}QComboBox:!hover{border:2px solid "
    "#DCE4EC;}QComboBox::drop-down:hover{background-color: #DCE4EC;}QComboBox::down-arrow:on{image: "
    "url(:/go-up.png);}QComboBox QAbstractItemView {border: 2px solid #3498DB;selection-background-color: "
    "#3498DB;}QComboBox QAbstractItemView::item:hover {color: white;background-color: "
    "#3498DB;selection-background-color: #3498DB;}QComboBox QAbstractItemView::item:!hover {color: "
    "black;background-color: white;selection-background-color: #3498DB;}";

}  // namespace

CComp_EditComboBox::CComp_EditComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setLineEdit(new QLineEdit(this));
    setItemDelegate(new QStyledItemDelegate(this));
    installEventFilter(this);
    lineEdit()->installEventFilter(this);
}

bool CComp_EditComboBox::eventFilter(QObject* watched, QEvent* event)
{
    QLineEdit* edit = lineEdit();
    if (event->type() == QEvent::FocusIn && (watched == this || watched == edit)) {
        edit->selectAll();
        edit->setFocus(Qt::OtherFocusReason);
        // The tap that brought the focus also places the cursor; select again after it.
        QTimer::singleShot(0, edit, &QLineEdit::selectAll);
    } else if (watched == this) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->text() == "\r")
            return true;
        if (event->type() == QEvent::MouseButtonPress)
            emit click();
    }
    return QObject::eventFilter(watched, event);
}

void CComp_EditComboBox::resizeEvent(QResizeEvent* event)
{
    setStyleSheet(QString::fromLatin1(kEditComboStyle).arg(event->size().height() - kArrowInset));
    QComboBox::resizeEvent(event);
}
