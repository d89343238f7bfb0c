// The shared alphanumeric keypad with lower-case, upper-case and punctuation pages.
#pragma once

#include <QButtonGroup>
#include <QWidget>

#include "colorbutton.h"

class NumCharInput : public QWidget
{
    Q_OBJECT

public:
    // Indices into `keys` besides the 37 character keys 0..36.
    static constexpr int kPuncKey = 37;
    static constexpr int kCapsKey = 38;
    static constexpr int kBackKey = 39;
    static constexpr int kEnterKey = 40;
    static constexpr int kKeyCount = 41;

    explicit NumCharInput(QWidget* parent);
    ~NumCharInput() override;

    QButtonGroup* group;
    ColorButton* keys[kKeyCount];

public slots:
    void SlotChgChar_Punc();
    void setContent(int id);
    void eraseContent();
    void HideUpdate();
    void SlotCap();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Rows 1 to 3 take the three texts; the toggles their text entries.
    void showPage(const char* const rows[3], int puncEntry, int capsEntry);
};

extern NumCharInput* gpNumCharPad;
