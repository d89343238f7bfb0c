// The date-and-time question box.
#include "modifytimewidget.h"

#include <QPainter>

#include "globals.h"
#include "lanstr.h"
#include "textids.h"
#include "warnbox.h"

namespace {

constexpr int kEditorX = 0;
constexpr int kEditorY = 50;
constexpr int kEditorWidth = 280;
constexpr int kEditorHeight = 60;

}  // namespace

ModifyTimeWidget::ModifyTimeWidget(QWidget* parent) : ChooseBox(parent, WarnBox::kBoxWidth, WarnBox::kBoxHeight)
{
    editDateTime = new EditDateTime(QString(), this);
    editDateTime->setGeometry(kEditorX, kEditorY, kEditorWidth, kEditorHeight);
    yesButton->setText(LanStr(kTextConfirm));
    noButton->setText(LanStr(kTextCancel));
}

void ModifyTimeWidget::paintEvent(QPaintEvent*)
{
    if (!gpPixmapBG)
        return;
    QPainter painter(this);
    painter.drawPixmap(rect(), *gpPixmapBG);
}
