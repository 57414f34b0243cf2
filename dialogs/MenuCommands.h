#pragma once
// What the main window's menu commands do, apart from the window itself.

class QWidget;

namespace menucommands {

// 説明: the manual (Windows: the help file from the current folder or
// beside the program; elsewhere the HTML manual beside the program, else the
// installed one). Nothing found: nothing happens.
void openHelp();

// バージョン情報: the About box, modal.
void openAbout(QWidget* parent);

// 出題設定: the settings dialog, modal.
void openSettings(QWidget* parent);

// 効果音 and メール送信: writes "0" when the switch is on (1), else "1", and
// returns the value read back (def when it cannot be read).
int toggleSwitch(const char* section, const char* entry, int current, int def);

} // namespace menucommands
