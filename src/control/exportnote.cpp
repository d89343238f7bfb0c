// The note label's export texts, translated under the main window's context like its other texts.
#include "exportnote.h"

#include <QCoreApplication>
#include <QLabel>

namespace ExportNote {

void statisticsProgress(QLabel* noteLabel, int total, int done)
{
    // No files means no percentage: the label keeps what it shows.
    if (!noteLabel || total == 0)
        return;
    noteLabel->setText(QCoreApplication::translate("MoJuWizard", "生产统计导出中%1%").arg(done * 100 / total));
}

void statisticsFinished(QLabel* noteLabel)
{
    if (noteLabel)
        noteLabel->setText(QString());
}

}  // namespace ExportNote
