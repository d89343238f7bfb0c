// A drop-down whose entries are check boxes.
#include "mulcheckbox.h"

#include <QCheckBox>
#include <QStyledItemDelegate>

namespace {
constexpr int kCheckBoxWidth = 200;
}

MulCheckbox::MulCheckbox(QWidget* parent) : QComboBox(parent)
{
    setItemDelegate(new QStyledItemDelegate(this));
    listWidget = new QListWidget(parent);
    setModel(listWidget->model());
    setView(listWidget);
}

void MulCheckbox::addChkItem(const QString& text, bool checked)
{
    auto* box = new QCheckBox(text, this);
    box->setFixedWidth(kCheckBoxWidth);
    auto* item = new QListWidgetItem(listWidget);
    box->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    listWidget->setItemWidget(item, box);
}
