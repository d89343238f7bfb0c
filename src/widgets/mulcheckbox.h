// A drop-down whose entries are check boxes.
#pragma once

#include <QComboBox>
#include <QListWidget>

class MulCheckbox : public QComboBox
{
public:
    explicit MulCheckbox(QWidget* parent);

    void addChkItem(const QString& text, bool checked);

    QListWidget* listWidget;
};
