// The help viewer: the help pictures shown one at a time, with the alarm help page, the
// previous and next page and return. The page shown is gHelpC, shared with the teaching page.
#pragma once

#include <QPixmap>
#include <QStringList>
#include <QVector>
#include <QWidget>

class QPushButton;

class HelpWidget : public QWidget
{
    Q_OBJECT

public:
    // Lists every "*.png" of ./help/ (Simplified Chinese) or ./help-en/ (other languages).
    explicit HelpWidget(QWidget* parent);

    static constexpr int kAlarmPage = 6;

    // One picture per page, in page order. A page is read when it is first shown and only the
    // page on show is kept: each screen-sized picture costs 8 MB, and the help is rarely opened.
    QVector<QPixmap> pages;
    QStringList pageFiles;
    int pageCount = 0;
    QPushButton* alarmButton = nullptr;
    QPushButton* lastButton = nullptr;
    QPushButton* nextButton = nullptr;
    QPushButton* returnButton = nullptr;

public slots:
    void SlotAlarm();
    void SlotLast();
    void SlotNext();
    void SlotReturn();

protected:
    void paintEvent(QPaintEvent* event) override;
};
