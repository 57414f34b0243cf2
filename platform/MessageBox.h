#pragma once
// Every message box of the program goes through here, so that tests can
// answer it and read what it said.

#include <QString>
#include <functional>

class QWidget;

namespace MessageBox {

enum class Icon { Stop, Exclamation, Information, Question };
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

struct Shown {
    QString text;
    Icon icon;
    Buttons buttons;
    QWidget* parent = nullptr; // the window the box stands over
};

// Shows a modal message box and returns the button pressed.
Answer show(QWidget* parent, const QString& text, Icon icon, Buttons buttons = Buttons::Ok);

// A Yes/No question with the question icon; true for Yes.
bool ask(QWidget* parent, const QString& text);

// Replaces the real boxes (tests). An empty handler restores them.
using Handler = std::function<Answer(const Shown&)>;
void setHandler(Handler handler);

} // namespace MessageBox
