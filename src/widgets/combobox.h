// The kit's drop-down box: never takes the keyboard focus and reports every press.
#pragma once

#include <QComboBox>
#include <QListView>

class ComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit ComboBox(QWidget* parent);

    // Replaces the whole style sheet: items of h pixels, no tab-bar border.
    void setItemHeight(int h);
    // Fixed width of the drop-down list.
    void setItemWidth(int w);

    QListView* listView;

signals:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
