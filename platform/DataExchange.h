#pragma once
// Data exchange between a dialog's controls and its Shift-JIS members.
//
// save = true moves the control's text into the member, false the member
// into the control. A member whose text the control shows unchanged keeps
// its bytes, so that bytes with no Unicode counterpart (invalid Shift-JIS
// read from a file) are written back exactly as they were read.

#include <string>

class QLabel;
class QLineEdit;

namespace DataExchange {

void exchangeText(bool save, QLineEdit* edit, std::string& member);
void exchangeText(bool save, QLabel* label, std::string& member);

} // namespace DataExchange
