// The kit's drop-down box.
#include "combobox.h"

#include <QEvent>

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent)
{
    installEventFilter(this);
    // Without focus the box never steals the on-screen keypads' target.
    setFocusPolicy(Qt::NoFocus);
    listView = new QListView(this);
    setView(listView);
}

void ComboBox::setItemHeight(int h)
{
    setStyleSheet(QString("QComboBox QAbstractItemView::item{height:%1px;}").arg(h) +
                  "QComboBox::tab-bar{border-width:0px;}");
    // A box made inside a page that has a style sheet of its own (the statistics page) keeps
    // the list the page's style polished it with, rows a line of text high: the list takes
    // the height itself too.
    listView->setStyleSheet(QString("QAbstractItemView::item{height:%1px;}").arg(h));
}

void ComboBox::setItemWidth(int w)
{
    listView->setFixedWidth(w);
}

bool ComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress)
        emit clicked();
    // Not consumed: the press still opens the list.
    return QObject::eventFilter(watched, event);
}
