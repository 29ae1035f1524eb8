#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Answers every modal message box that opens while it lives with `answer` (or the box's only
// button when it has no such one), and keeps the text of each, the way a user would read and
// click through them.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer) : answer_(answer) {
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { answerOpenBox(); });
        timer_.start(10);
    }

    QStringList texts;  // text and informative text of each box answered, in order

private:
    void answerOpenBox() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        texts << box->text() + QStringLiteral("\n") + box->informativeText();
        QAbstractButton* button = box->button(answer_);
        if (!button && box->buttons().size() == 1)
            button = box->buttons().first();
        if (button)
            button->click();
        else
            box->reject();
    }

    QMessageBox::StandardButton answer_;
    QTimer timer_;
};
