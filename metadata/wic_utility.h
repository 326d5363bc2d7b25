// Reads single EXIF and GPS items of a photo file (JPEG or TIFF) and hands each back as text.
// One instance lives in the application object; used from messages 9, 10 and 19 only.
#pragma once

#include <string>

class CWicUtility {
public:
    CWicUtility() = default;
    ~CWicUtility();
    CWicUtility(const CWicUtility&) = delete;
    CWicUtility& operator=(const CWicUtility&) = delete;

    bool Init();
    void Uninit();
    // True when the file is open for reading items; false (reason logged) otherwise.
    bool OpenFile(const std::wstring& strPath);
    void Close();
    // Item nItem of section 0 (EXIF), 1 (GPS) or any other (root) as text; true when the text
    // is not empty. Latitude (2) and longitude (4) get "-" for the S and W hemispheres.
    bool ReadItem(int nItem, int nSection, std::wstring& strOut);

    bool m_bInit = false;
};
