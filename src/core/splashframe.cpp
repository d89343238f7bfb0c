// Start-up screen: a panel with a progress bar and a status label over the background picture.
#include "splashframe.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

SplashFrame* g_splashframe = nullptr;

namespace {
constexpr int kLabelMinWidth = 600;
constexpr int kBarWidth = 500;
constexpr int kBarHeight = 50;
constexpr int kPanelSpacing = 10;
constexpr int kFrameMargin = 2;
}  // namespace

SplashFrame::SplashFrame() : QSplashScreen(QPixmap())
{
    setObjectName("splashframe");

    panel = new QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    panel->setObjectName("progressdialog");
    panel->setFixedSize(kSplashWidth, kSplashHeight);

    setGeometry(0, 0, kSplashWidth, kSplashHeight);

    QLabel* label = new QLabel(panel);
    label->setObjectName("loadlabel");
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(kLabelMinWidth);
    label->setText("程序加载中..");

    progressBar = new QProgressBar(panel);
    progressBar->setObjectName("progressbar");
    progressBar->setFixedSize(kBarWidth, kBarHeight);
    progressBar->setValue(0);

    QVBoxLayout* panelLayout = new QVBoxLayout(panel);
    panelLayout->addStretch(1);
    panelLayout->addWidget(progressBar, 0, Qt::AlignCenter);
    panelLayout->addWidget(label, 1, Qt::AlignHCenter | Qt::AlignTop);
    panelLayout->addStretch(0);
    panelLayout->setSpacing(kPanelSpacing);
    panelLayout->setContentsMargins(0, 0, 0, 0);

    QVBoxLayout* frameLayout = new QVBoxLayout(this);
    frameLayout->setContentsMargins(kFrameMargin, kFrameMargin, kFrameMargin, kFrameMargin);
    frameLayout->addWidget(panel, 0, Qt::AlignCenter);

    setStyleSheet(getStyle());
    setWindowFlags(Qt::FramelessWindowHint | Qt::CustomizeWindowHint);
    show();
    QApplication::processEvents();
}

SplashFrame::~SplashFrame() = default;

QString SplashFrame::getStyle()
{
    return QString(
               "QProgressBar#progressbar{font-size:30px;text-align: center;background-color: gray;"
               "border-radius: 15px; color: white;}QProgressBar::chunk:enabled#progressbar{border-radius: "
               "4px; background: #3498DB;margin: 6px;}") +
           "QDialog#progressdialog{border-image: url(./images/background.png);border-width: 1px;}" +
           "QLabel{color: #FFFFFF;font-size: 26px;}";
}

void SplashFrame::flushstep(int step, QString text)
{
    if (!text.isEmpty()) {
        if (QLabel* label = findChild<QLabel*>("loadlabel")) {
            label->setText(text);
            label->update();
        }
    }
    curValue = qMax(curValue, qBound(0, step, kSplashLastStep));
    if (progressBar) {
        progressBar->setValue(curValue);
        progressBar->update();
    }
    show();
    QApplication::processEvents();
    if (step > kSplashLastStep - 1 && panel) {
        panel->close();
        delete panel;
    }
}
