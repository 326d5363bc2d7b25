#include "host/photo_list.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace fs = std::filesystem;

namespace {
std::string LowerAscii(std::string strText) {
    for (char& c : strText)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return strText;
}

// The part after the last dot of the name's last component, as it stands; empty when none.
std::string_view Extension(std::string_view strName) {
    const size_t nSlash = strName.find_last_of('/');
    const size_t nDot = strName.find_last_of('.');
    if (nDot == std::string_view::npos || (nSlash != std::string_view::npos && nDot < nSlash))
        return {};
    return strName.substr(nDot + 1);
}

// True when the extension, in any case, is the listed one (listed extensions are lower case).
bool SameExtension(std::string_view strExtension, const std::string& strListed) {
    if (strExtension.size() != strListed.size()) return false;
    for (size_t i = 0; i < strListed.size(); ++i) {
        char c = strExtension[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != strListed[i]) return false;
    }
    return true;
}
}  // namespace

const std::vector<std::string>& DefaultPhotoExtensions() {
    static const std::vector<std::string> kExtensions = {"jpg", "jpeg", "tif",  "tiff", "png",
                                                         "gif", "bmp",  "webp", "heic", "heif"};
    return kExtensions;
}

bool ParseExtensionList(const std::string& strList, std::vector<std::string>& extensions) {
    extensions.clear();
    size_t nStart = 0;
    for (;;) {
        const size_t nComma = strList.find(',', nStart);
        std::string strEntry = strList.substr(nStart, nComma - nStart);
        if (!strEntry.empty() && strEntry[0] == '.') strEntry.erase(0, 1);
        if (strEntry.empty()) return false;
        extensions.push_back(LowerAscii(strEntry));
        if (nComma == std::string::npos) return true;
        nStart = nComma + 1;
    }
}

bool CPhotoList::HasPhotoExtension(const std::string& strName) const {
    // Asked for every photo named: compared in place, without a lowered copy.
    const std::string_view strExtension = Extension(strName);
    if (strExtension.empty()) return false;
    for (const std::string& strListed : m_extensions)
        if (SameExtension(strExtension, strListed)) return true;
    return false;
}

void CPhotoList::AddArgument(std::string strPath) {
    if (HasPhotoExtension(strPath)) {
        m_photos.push_back(std::move(strPath));
        return;
    }
    std::error_code ec;
    if (fs::is_directory(strPath, ec))
        AddFolder(strPath, strPath);
    else
        m_photos.push_back(
            std::move(strPath));  // named by the user: the plug-in says what it makes of it
}

void CPhotoList::AddList(std::istream& in) {
    for (std::string strLine; std::getline(in, strLine);) {
        if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
        if (strLine.empty()) continue;
        AddArgument(std::move(strLine));
    }
}

void CPhotoList::AddFolder(const fs::path& folder, const std::string& strShown) {
    struct SEntry {
        std::string strName;
        bool bFolder;
    };
    std::vector<SEntry> entries;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        // The type comes with the folder listing; links to folders are not followed, so a
        // link loop cannot make the walk endless.
        std::error_code typeError;
        const bool bLink = it->is_symlink(typeError);
        const bool bFolder = !bLink && it->is_directory(typeError);
        std::string strName = it->path().filename().string();
        if (bFolder ? m_bRecursive : HasPhotoExtension(strName))
            entries.push_back({std::move(strName), bFolder});
    }
    if (ec) {
        m_errors.push_back("cannot read folder " + strShown + ": " + ec.message());
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const SEntry& a, const SEntry& b) { return a.strName < b.strName; });
    std::string strBase = strShown;
    if (!strBase.empty() && strBase.back() != '/') strBase += '/';
    for (const SEntry& entry : entries) {
        if (entry.bFolder)
            AddFolder(folder / entry.strName, strBase + entry.strName);
        else
            m_photos.push_back(strBase + entry.strName);
    }
}
