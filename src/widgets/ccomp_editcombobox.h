// An editable drop-down whose text is selected whole on every tap, for overwriting.
#pragma once

#include <QComboBox>

class CComp_EditComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit CComp_EditComboBox(QWidget* parent);

signals:
    void click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};
