// Build tool, run on the build machine: writes the DIALOGEX resources of the settings dialogs and
// the settings' string table from the resource table (ui/resources.cpp), so the Windows module's
// dialogs and the other backends' windows come from one source.
// Usage: make_dialog_rc DIALOGS.rc STRINGS.txt
//   DIALOGS.rc   the dialog statements, UTF-8, ready to append to a resource script;
//   STRINGS.txt  one string-table entry a line, `ID "text"`, for cmake/make-rc.cmake to merge.
#include <cstdio>
#include <string>

#include "base/text.h"
#include "ui/resources.h"

namespace {

// The drop-down part of a list is part of a combo box's height in a dialog template; the table
// gives the height of the closed box, so each list gets room for this many entries.
constexpr int kDroppedListLines = 8;
constexpr int kListLineHeight = 10;

std::string ToUtf8(const wchar_t* pszText) {
    return pszText ? WideToUtf8(pszText) : std::string();
}

// A resource-compiler string literal: quotes doubled, line breaks and backslashes escaped.
std::string Quote(const wchar_t* pszText) {
    std::string out = "\"";
    for (char ch : ToUtf8(pszText)) {
        if (ch == '"')
            out += "\"\"";
        else if (ch == '\n')
            out += "\\n";
        else if (ch == '\\')
            out += "\\\\";
        else
            out += ch;
    }
    return out + "\"";
}

std::string Box(const CControlResource& c, int cy) {
    return std::to_string(c.nId) + ", " + std::to_string(c.x) + ", " + std::to_string(c.y) + ", " +
           std::to_string(c.cx) + ", " + std::to_string(cy);
}

std::string ControlLine(const CControlResource& c) {
    const std::string strText = Quote(c.pszText) + ", ";
    switch (c.kind) {
        case EControlKind::kStatic: {
            // A link takes mouse clicks; a plain label lets them through to the dialog.
            const std::string strKind = c.nFlags & kCtlCentre ? "CTEXT " : "LTEXT ";
            return strKind + strText + Box(c, c.cy) + (c.nFlags & kCtlLink ? ", SS_NOTIFY" : "");
        }
        case EControlKind::kGroupBox:
            return "GROUPBOX " + strText + Box(c, c.cy);
        case EControlKind::kCheckBox:
            return "AUTOCHECKBOX " + strText + Box(c, c.cy) + ", BS_AUTOCHECKBOX | WS_TABSTOP";
        case EControlKind::kEdit:
            return "EDITTEXT " + Box(c, c.cy) + (c.nFlags & kCtlHScroll ? ", ES_AUTOHSCROLL" : "");
        case EControlKind::kDropDownList:
            return "COMBOBOX " + Box(c, c.cy + kDroppedListLines * kListLineHeight) +
                   ", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP";
        case EControlKind::kPushButton:
            return "PUSHBUTTON " + strText + Box(c, c.cy);
        case EControlKind::kDefPushButton:
            return "DEFPUSHBUTTON " + strText + Box(c, c.cy);
    }
    return std::string();
}

bool WriteDialogs(FILE* pFile) {
    std::string out;
    for (const CDialogResource& dialog : GetDialogResources()) {
        out += std::to_string(dialog.nId) + " DIALOGEX 0, 0, " + std::to_string(dialog.cx) + ", " +
               std::to_string(dialog.cy) + "\n";
        out +=
            "STYLE DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU\n";
        out += "CAPTION " + Quote(dialog.pszCaption) + "\n";
        out += "FONT " + std::to_string(dialog.nFontPoints) + ", " + Quote(dialog.pszFontName) +
               ", 400, 0, 0x1\n";
        out += "BEGIN\n";
        for (const CControlResource& control : dialog.controls)
            out += "    " + ControlLine(control) + "\n";
        out += "END\n\n";
    }
    return std::fwrite(out.data(), 1, out.size(), pFile) == out.size();
}

bool WriteStrings(FILE* pFile) {
    std::string out;
    for (const CStringResource& entry : GetStringTable())
        out += std::to_string(entry.nId) + " " + Quote(entry.pszText) + "\n";
    return std::fwrite(out.data(), 1, out.size(), pFile) == out.size();
}

bool WriteFile(const char* pszPath, bool (*pfnWrite)(FILE*)) {
    FILE* pFile = std::fopen(pszPath, "wb");
    if (!pFile) return false;
    const bool bWritten = pfnWrite(pFile);
    return std::fclose(pFile) == 0 && bWritten;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_dialog_rc DIALOGS.rc STRINGS.txt\n");
        return 2;
    }
    if (!WriteFile(argv[1], &WriteDialogs) || !WriteFile(argv[2], &WriteStrings)) {
        std::fprintf(stderr, "make_dialog_rc: cannot write %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
