// Frameless base dialog with a title bar (title and OK button) above a content area,
// plus the style setters of its flat dark family.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPoint>
#include <QPushButton>
#include <QStyledItemDelegate>

class CComp_DialogFrame : public QDialog
{
    Q_OBJECT

public:
    CComp_DialogFrame(const QString& title, QWidget* parent);

    void setTitleText(QString text);
    // Inserts w into the title bar just before its last item, the OK button.
    void addTitleWgt(QWidget* w);

    // Each setter replaces the widget's whole style sheet; extra comes last, so its
    // rules win over the fixed ones.
    static void setStylePushButton(QPushButton* b, const QString& colour, int fontSize, const QString& extra);
    static void setStyleLineEdit(QLineEdit* e, const QString& extra);
    static void setStyleCombobox(QComboBox* c, QStyledItemDelegate* d, const QString& extra);
    static void setDefaultWgt(QWidget* w, const QString& extra);

    QLabel* titleLabel;
    QWidget* contentWidget;  // the area below the title bar that subclasses fill
    QHBoxLayout* titleLayout;
    bool pressed = false;
    QPoint pressGlobalPos;
    QPoint pressLocalPos;
    bool movable = false;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

public slots:
    // The OK button's action; subclasses check and apply their input before accepting.
    virtual void acceptDialog();
};
