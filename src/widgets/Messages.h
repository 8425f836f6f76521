#pragma once

#include <QString>

class QWidget;

// The program's modal message boxes. They carry no title of their own, so the window
// system shows the program's name, as it always has.
namespace tonvola::messages {

// A question with OK and Abbrechen. Abbrechen is the default, so Enter alone never
// confirms a destructive step. True only for OK.
[[nodiscard]] bool askOkCancel(QWidget *parent, const QString &question);

// A notice with only an OK button and no icon.
void inform(QWidget *parent, const QString &text);

// A failure the user must know about: names what failed and why.
void warn(QWidget *parent, const QString &text);

} // namespace tonvola::messages
