// A camera view's detection pages: the whole cycle first, then one page per detection.
#include "camereatabwidget.h"

#include "camerastatisticswidget.h"
#include "statisticstypes.h"

namespace {
constexpr int kMaxPages = 9;
}

CamereaTabWidget::CamereaTabWidget(int camera, QStringList titles, QWidget* parent)
    : QTabWidget(parent), cameraCode(camera)
{
    const int count = qMin(kMaxPages, titles.size());
    for (int k = 1; k <= count; ++k) {
        // Page 0 shows detection code 8 (the cycle), page k detection k - 1.
        auto* page = new CameraStatisticsWidget(camera, (k + kStatAllIndex - 1) % kMaxPages, this);
        pages << page;
        addTab(page, titles[k - 1]);
    }
}

void CamereaTabWidget::updateData()
{
    if (auto* page = qobject_cast<CameraStatisticsWidget*>(currentWidget()))
        page->updateData();
}
