// Reads single EXIF and GPS items of a photo file (JPEG or TIFF) and hands each back as text.
// One instance lives in the application object; used from messages 9, 10 and 19 only, on the
// host's thread (no lock of its own).
//
// States: not initialised (no file system) -> ready (Init) -> file open (OpenFile). Close returns
// to ready; Uninit releases the file system and leaves an open file to Close.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "metadata/image_source.h"
#include "metadata/metadata_reader.h"

class CWicUtility {
  public:
    CWicUtility() = default;
    ~CWicUtility();
    CWicUtility(const CWicUtility&) = delete;
    CWicUtility& operator=(const CWicUtility&) = delete;

    // Makes the platform's file system ready; true when it is (also when it already was).
    bool Init();
    // Uses this file system instead of the platform's (tests, fuzzing, benchmarks); always true.
    bool Init(std::unique_ptr<IImageFileSystem> pFileSystem);
    void Uninit();
    // True when the file is open for reading items; false (reason logged) when it cannot be
    // opened, its content is neither JPEG nor TIFF, its structure is broken before the metadata,
    // or an unexpected failure stopped it. Closes a file left open before.
    bool OpenFile(const std::wstring& strPath);
    void Close();
    // Item nItem of section 0 (EXIF), 1 (GPS) or any other (root) as text; true when the text
    // is not empty. Latitude (2) and longitude (4) get "-" for the S and W hemispheres; in the
    // GPS section they must be one finite number within +-90 / +-180 degrees once signed (a
    // text item only in plain decimal form, "45.5"), else the text is empty, the result false
    // and one line logged. A file whose name ends in .tif/.tiff is addressed as TIFF, any other
    // as JPEG (the same items as ReadItemEx with "/ifd/gps/{ushort=2}" or
    // "/app1/ifd/gps/{ushort=2}", found by number).
    bool ReadItem(int nItem, int nSection, std::wstring& strOut);
    // The item at a query path (see metadata_reader.h) as text; nItem picks item-specific
    // formats. A nested block gives the texts of its items, ", "-joined. True when not empty.
    bool ReadItemEx(const std::wstring& strQuery, std::wstring& strOut, int nItem);
    // Bytes read from the open file so far (0 when none is open).
    uint64_t BytesRead() const;

    std::unique_ptr<IImageFileSystem> m_piFactory;
    // The last file's decoder, frame and root reader, kept after Close so that the next file
    // fills them again instead of allocating them; m_bOpen tells whether they hold an open file.
    std::shared_ptr<CImageDecoder> m_piDecoder;
    std::shared_ptr<CImageFrame> m_piFrameDecode;
    std::shared_ptr<CMetadataQueryReader> m_piQueryReader;
    int32_t m_bInit = 0;
    int32_t m_bOpen = 0;
    int32_t m_bTiff = 0;
    std::wstring m_strFile;

  private:
    // ReadItem without the hemisphere step; bWasText tells whether the item is stored as text.
    bool ReadItemByNumber(int nItem, int nSection, std::wstring& strOut, bool& bWasText);
    // Whether the GPS reference before coordinate nItem (1 before 2, 3 before 4) starts with "S"
    // or "W" in either case: ReadItemByNumber(nItem - 1, 1, ...) and a look at its text's first
    // character, with the same log lines.
    bool IsNegativeHemisphere(int nItem);
    // The text of a value GetItem found for item nItem, as ReadItemByNumber gives it.
    static void FoundItemText(const CPropVariant& value, int nItem, std::wstring& strOut,
                              bool& bWasText);
    // Logs a failed lookup of item nItem of section nSection; absence is normal and silent.
    void LogItemFailure(int32_t hr, int nItem, int nSection) const;

    // The last file's source, closed, for the file system to open the next file in.
    std::unique_ptr<IImageSource> m_pSpareSource;
    // The last item read, kept so that its lists are allocated once, not for every item.
    CPropVariant m_value;
};

// Appends the texts of every item of a nested block, depth first in file order, ", "-joined.
// Stops at the first item that cannot be read.
void WicReadEmbedItem(const CMetadataQueryReader& reader, std::wstring& strOut);

// The extension of a path's file name ("TIF" for "D:\Pics\scan.TIF"); empty when it has none.
std::wstring GetExtension(const std::wstring& strPath);
