// The photos of a caption run, from the command line's files, folders and lists: folders are
// read in name order (subfolders only with recursion), files named directly are taken as they
// are, and list files give one path a line. Paths keep the form the user gave them.
#pragma once

#include <filesystem>
#include <istream>
#include <string>
#include <vector>

// The extensions (lower case, without the point) the plug-in's reader opens as images.
const std::vector<std::string>& DefaultPhotoExtensions();

// "jpg,TIF" as {"jpg", "tif"}; a leading point is dropped. False when an entry is empty.
bool ParseExtensionList(const std::string& strList, std::vector<std::string>& extensions);

class CPhotoList {
  public:
    CPhotoList(std::vector<std::string> extensions, bool bRecursive)
        : m_extensions(std::move(extensions)), m_bRecursive(bRecursive) {}

    // A file or a folder from the command line. A name with one of the photo extensions goes
    // to the plug-in without a look at the file system, which the plug-in opens anyway.
    void AddArgument(std::string strPath);
    // Paths one a line (a final carriage return is dropped; blank lines are skipped), each
    // taken as AddArgument does.
    void AddList(std::istream& in);

    const std::vector<std::string>& Photos() const { return m_photos; }
    // Folders that could not be read, each with its reason; their photos are missing.
    const std::vector<std::string>& Errors() const { return m_errors; }

  private:
    bool HasPhotoExtension(const std::string& strName) const;
    void AddFolder(const std::filesystem::path& folder, const std::string& strShown);

    std::vector<std::string> m_extensions;
    bool m_bRecursive;
    std::vector<std::string> m_photos;
    std::vector<std::string> m_errors;
};
