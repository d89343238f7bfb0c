#include "widgetchangecamera.h"

#include <QComboBox>
#include <QPainter>
#include <QPushButton>

#include "cameramanager.h"
#include "commandrunner.h"
#include "globals.h"
#include "lanstr.h"
#include "mojuwizard.h"
#include "monitorlimits.h"
#include "operatorprompts.h"
#include "textids.h"
#include "windowhooks.h"

namespace {

constexpr int kTextCameraSwitches = 395;
constexpr int kTextAskRestart = 293;
constexpr int kRowPitch = 60;
constexpr int kRowHeight = 50;
constexpr int kRowTop = 10;
constexpr int kCaptionLeft = 20;
constexpr int kChoiceLeft = 620;
constexpr int kChoiceWidth = 260;
constexpr int kButtonWidth = 200;

}  // namespace

WidgetChangeCamera::WidgetChangeCamera(MoJuWizard* parent) : QWidget(parent)
{
    const int cameras = qBound(0, numCamera, kMaxCameras);
    void (WidgetChangeCamera::*setters[])(int) = {
        &WidgetChangeCamera::SetCameraNO0, &WidgetChangeCamera::SetCameraNO1, &WidgetChangeCamera::SetCameraNO2,
        &WidgetChangeCamera::SetCameraNO3, &WidgetChangeCamera::SetCameraNO4, &WidgetChangeCamera::SetCameraNO5,
        &WidgetChangeCamera::SetCameraNO6, &WidgetChangeCamera::SetCameraNO7};
    for (int i = 0; i < cameras; ++i) {
        auto* box = new QComboBox(this);
        for (int c = 1; c <= cameras; ++c) box->addItem(QString::number(c));
        box->setCurrentIndex(i);
        box->setGeometry(kChoiceLeft, kRowTop + kRowPitch * i, kChoiceWidth, kRowHeight);
        connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, setters[i]);
        choices << box;
        chosen << i;
    }
    okButton = new QPushButton(LanStr(kTextConfirm), this);
    okButton->setGeometry(kChoiceLeft, kRowTop + kRowPitch * qMax(cameras, 1), kButtonWidth, kRowHeight);
    connect(okButton, &QPushButton::clicked, this, &WidgetChangeCamera::SlotOK);
}

QRect WidgetChangeCamera::captionRect(int camera, int width)
{
    const int top = kRowTop + kRowPitch * (camera - 1);
    return QRect(QPoint(kCaptionLeft, top), QPoint(width - 1, top + kRowHeight - 1));
}

void WidgetChangeCamera::setCameraNO(int position, int index)
{
    if (position < chosen.size())
        chosen[position] = index;
}

void WidgetChangeCamera::SetCameraNO0(int index) { setCameraNO(0, index); }
void WidgetChangeCamera::SetCameraNO1(int index) { setCameraNO(1, index); }
void WidgetChangeCamera::SetCameraNO2(int index) { setCameraNO(2, index); }
void WidgetChangeCamera::SetCameraNO3(int index) { setCameraNO(3, index); }
void WidgetChangeCamera::SetCameraNO4(int index) { setCameraNO(4, index); }
void WidgetChangeCamera::SetCameraNO5(int index) { setCameraNO(5, index); }
void WidgetChangeCamera::SetCameraNO6(int index) { setCameraNO(6, index); }
void WidgetChangeCamera::SetCameraNO7(int index) { setCameraNO(7, index); }

bool WidgetChangeCamera::SlotOK()
{
    for (int i = 0; i < chosen.size(); ++i) {
        if (chosen.indexOf(chosen.at(i), i + 1) > i) {
            WarnOperator(LanStr(kTextCameraNumberRepeated));
            return false;
        }
    }
    CameraManager::getInstance()->resortCameraSN(chosen);
    FlushAll();
    CommandRunner::runLine(AskOperator(LanStr(kTextAskRestart)) ? QStringLiteral("reboot") : QStringLiteral("init 0"));
    return true;
}

void WidgetChangeCamera::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (gpPixmapBG)
        painter.drawPixmap(rect(), *gpPixmapBG);
    painter.setPen(Qt::yellow);
    QFont font(QStringLiteral("times"));
    font.setPixelSize(32);
    painter.setFont(font);
    for (int i = 1; i <= numCamera && i <= kMaxCameras; ++i)
        painter.drawText(captionRect(i, width()), Qt::AlignLeft | Qt::AlignVCenter, LanStr(kTextCameraSwitches).arg(i));
}
