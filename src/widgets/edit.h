// The kit's line edit: chooses and places the shared keypad that types into it.
#pragma once

#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QString>

class EditBox;

class Edit : public QLineEdit
{
    Q_OBJECT

public:
    // Bits of `type`: which keypad serves the edit and in which ancestor it is shown.
    enum TypeBit {
        kNumericPad = 1,
        kCharPad = 2,
        kInParent = 4,
        kInGrandparent = 8,
        kThreeUp = 16,
        kInNetDialog = 32,
    };

    // style 1 applies the kit's line-edit look.
    Edit(int type, QWidget* parent, int style);
    // An edit that goes while it is the keypads' target takes the target with it.
    ~Edit() override;

    // The text as a decimal integer, 0 when it is not one.
    int value() const;
    void setValue(int v);
    void setValue(double v);
    void setRange(int min, int max);

    // Keypad input: append (or replace the text with) the key's first character.
    virtual void addValue(QString key, bool replace);
    // Removes the last character; sets `emptied` when the text is empty afterwards.
    virtual void deleteValue(bool& emptied);

    int type;
    QIntValidator* validator;  // kept in step with the range, never installed
    int minValue;              // -1: no range
    int maxValue;

signals:
    void focusOut();
    void sig_Dot();

public slots:
    void SlotRange(QString text);

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void showKeypad();
};
