#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/module_version.h"

namespace {

void AddressInsideModule() {}

// File names on this platform are UTF-8; only code points that a wchar_t can hold arrive here.
std::string ToUtf8(const wchar_t* pszText) {
    std::string out;
    for (; *pszText; ++pszText) {
        const uint32_t c = static_cast<uint32_t>(*pszText);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

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
        CFindLoaded find{ToUtf8(pszModule), {}};
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
