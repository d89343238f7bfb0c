// The main window's note label during the statistics export: its progress, then nothing.
#pragma once

class QLabel;

namespace ExportNote {
// "生产统计导出中N%" with N = done x 100 / total; a total of 0 leaves the label as it is.
void statisticsProgress(QLabel* noteLabel, int total, int done);
// The export has ended: the label is emptied.
void statisticsFinished(QLabel* noteLabel);
}  // namespace ExportNote
