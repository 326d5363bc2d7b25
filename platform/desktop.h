// The user's desktop: opening an address and the clipboard. Both return at once; the work is
// done by the desktop's own programs.
#pragma once

#include <string>

// Opens a web address or file with the desktop's opener. False when the opener could not be
// started (whether the address then opens is up to the desktop).
bool OpenAddressWithDesktop(const std::wstring& strAddress);

// Puts the text on the clipboard. False when no clipboard program could take it.
bool CopyTextToClipboard(const std::wstring& strText);
