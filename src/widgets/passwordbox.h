// The shared password dialog: sets the main window's operator or factory level.
#pragma once

#include <QDialog>
#include <QString>

#include "colorbutton.h"
#include "edit.h"

class NumberInput;

class PasswordBox : public QDialog
{
    Q_OBJECT

public:
    explicit PasswordBox(QWidget* parent);

    // "8517", followed by the local "MMddhh" when passwords are in use.
    static QString factoryCode();
    // The operator password of the live record (empty without one).
    static QString operatorPassword();

    ColorButton* confirmButton;
    ColorButton* cancelButton;
    Edit* passwordEdit;
    int wrongEntry = 0;  // 2 right after a wrong entry

public slots:
    void accept() override;
    void SlotTextChanged(const QString& text);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The current numeric keypad, its Enter connected to this box's check (once).
    NumberInput* keypad();
};

extern PasswordBox* gpPasswordBox;
