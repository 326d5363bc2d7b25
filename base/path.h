// Splitting paths as text. Both separators count on every platform, since a host on one may
// hand over paths written on the other. Nothing here touches the file system.
#pragma once

#include <string>

// The part after the last slash or backslash; the whole text when it has none.
template <class Char>
std::basic_string<Char> PathFileName(const std::basic_string<Char>& strPath) {
    const Char separators[] = {Char('/'), Char('\\'), Char(0)};
    const size_t slash = strPath.find_last_of(separators);
    return slash == std::basic_string<Char>::npos ? strPath : strPath.substr(slash + 1);
}

// The file name without its last extension. bKeepDotName: a name whose only point is its first
// character (".profile") is kept whole instead of becoming empty.
template <class Char>
std::basic_string<Char> PathFileTitle(const std::basic_string<Char>& strPath,
                                      bool bKeepDotName = false) {
    std::basic_string<Char> strName = PathFileName(strPath);
    const size_t dot = strName.find_last_of(Char('.'));
    if (dot != std::basic_string<Char>::npos && !(bKeepDotName && dot == 0)) strName.erase(dot);
    return strName;
}

// The folder part before the last slash: "." when there is none, "/" for a file in the root.
// Only the slash counts here: it is for POSIX paths handed to the system.
inline std::string PathFolderPosix(const std::string& strPath) {
    const size_t slash = strPath.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : strPath.substr(0, slash);
}
