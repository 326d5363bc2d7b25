#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/text.h"
#include "platform/module_version.h"
#include "platform/version_numbers.h"

namespace {

void AddressInsideModule() {}

constexpr char kVersionSection[] = ".locanym_version";

// The record is found by its section and checked by its tag and signature, so a file that
// happens to carry a section of that name is not taken for a version.
struct CVersionRecord {
    char szTag[16];
    CFixedVersionInfo info;
};

constexpr char kVersionTag[16] = "LocanymVersion";

// The section attribute puts the record where the reader looks for it; "used" keeps it through
// optimisation. It shares this object file with its reader, so any binary that can ask for the
// record also carries it.
__attribute__((used, section(".locanym_version"))) const CVersionRecord g_versionRecord = {
    "LocanymVersion",
    {kVersionSignature, 0x00010000, (LOCANYM_VERSION_MAJOR << 16) | LOCANYM_VERSION_MINOR,
     (LOCANYM_VERSION_PATCH << 16) | LOCANYM_VERSION_TWEAK,
     (LOCANYM_VERSION_MAJOR << 16) | LOCANYM_VERSION_MINOR,
     (LOCANYM_VERSION_PATCH << 16) | LOCANYM_VERSION_TWEAK, 0x3F, 0, 0x40004 /* 32-bit NT */,
     2 /* dynamic library */, 0, 0, 0}};

struct CFindLoaded {
    std::string strWanted;
    std::string strFound;
};

const char* BaseName(const char* pszPath) {
    const char* pszSlash = std::strrchr(pszPath, '/');
    return pszSlash ? pszSlash + 1 : pszPath;
}

// Walks the loader's own list, so a module that is not loaded costs no file access.
int MatchLoaded(dl_phdr_info* pInfo, size_t, void* pData) {
    auto* pFind = static_cast<CFindLoaded*>(pData);
    const char* pszName = pInfo->dlpi_name;
    if (!pszName || !*pszName) return 0;
    const bool bHasFolder = pFind->strWanted.find('/') != std::string::npos;
    const bool bMatch =
        bHasFolder ? pFind->strWanted == pszName : pFind->strWanted == BaseName(pszName);
    if (!bMatch) return 0;
    pFind->strFound = pszName;
    return 1;
}

struct CFileCloser {
    void operator()(FILE* pFile) const { std::fclose(pFile); }
};
using CFilePtr = std::unique_ptr<FILE, CFileCloser>;

bool ReadAt(FILE* pFile, uint64_t nOffset, void* pBuffer, size_t nSize) {
    if (nOffset > static_cast<uint64_t>(INT64_MAX)) return false;
    if (fseeko(pFile, static_cast<off_t>(nOffset), SEEK_SET) != 0) return false;
    return std::fread(pBuffer, 1, nSize, pFile) == nSize;
}

constexpr size_t kMaxSections = 4096;
constexpr size_t kMaxSectionNames = 1 << 20;

template <typename Ehdr, typename Shdr>
bool ReadSection(FILE* pFile, const char* pszSection, size_t nMaxSize,
                 std::vector<uint8_t>& bytes) {
    Ehdr header;
    if (!ReadAt(pFile, 0, &header, sizeof(header))) return false;
    if (header.e_shentsize != sizeof(Shdr) || header.e_shnum == 0 ||
        header.e_shnum > kMaxSections || header.e_shstrndx >= header.e_shnum)
        return false;
    std::vector<Shdr> sections(header.e_shnum);
    if (!ReadAt(pFile, header.e_shoff, sections.data(), sizeof(Shdr) * sections.size()))
        return false;
    const Shdr& names = sections[header.e_shstrndx];
    if (names.sh_size == 0 || names.sh_size > kMaxSectionNames) return false;
    std::vector<char> nameTable(names.sh_size);
    if (!ReadAt(pFile, names.sh_offset, nameTable.data(), nameTable.size())) return false;
    nameTable.back() = '\0';
    for (const Shdr& section : sections) {
        if (section.sh_name >= nameTable.size()) continue;
        if (std::strcmp(&nameTable[section.sh_name], pszSection) != 0) continue;
        if (section.sh_type == SHT_NOBITS || section.sh_size > nMaxSize) return false;
        bytes.resize(section.sh_size);
        return ReadAt(pFile, section.sh_offset, bytes.data(), bytes.size());
    }
    return false;
}

}  // namespace

bool ReadModuleSection(const wchar_t* pszModule, const char* pszSection, size_t nMaxSize,
                       std::vector<uint8_t>& bytes) {
    bytes.clear();
    std::string strPath;
    if (pszModule) {
        CFindLoaded find{WideToUtf8(pszModule), {}};
        if (find.strWanted.empty() || !dl_iterate_phdr(&MatchLoaded, &find)) return false;
        strPath = find.strFound;
    } else {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&AddressInsideModule), &info) == 0 || !info.dli_fname)
            return false;
        strPath = info.dli_fname;
    }
    CFilePtr pFile(std::fopen(strPath.c_str(), "rb"));
    if (!pFile) return false;
    unsigned char ident[EI_NIDENT];
    if (!ReadAt(pFile.get(), 0, ident, sizeof(ident)) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return false;
    if (ident[EI_CLASS] == ELFCLASS64)
        return ReadSection<Elf64_Ehdr, Elf64_Shdr>(pFile.get(), pszSection, nMaxSize, bytes);
    if (ident[EI_CLASS] == ELFCLASS32)
        return ReadSection<Elf32_Ehdr, Elf32_Shdr>(pFile.get(), pszSection, nMaxSize, bytes);
    return false;
}

bool CModuleVersion::GetFileVersionInfo(const wchar_t* pszModule) {
    static_cast<CFixedVersionInfo&>(*this) = CFixedVersionInfo();
    std::vector<uint8_t> bytes;
    if (!ReadModuleSection(pszModule, kVersionSection, 4096, bytes)) return false;
    if (bytes.size() < sizeof(CVersionRecord)) return false;
    CVersionRecord record;
    std::memcpy(&record, bytes.data(), sizeof(record));
    if (std::memcmp(record.szTag, kVersionTag, sizeof(kVersionTag)) != 0 ||
        record.info.dwSignature != kVersionSignature)
        return false;
    static_cast<CFixedVersionInfo&>(*this) = record.info;
    return true;
}
