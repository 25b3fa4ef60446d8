#include "tests/elf_symbols.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace pantest {

namespace {

std::vector<unsigned char> readFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

template <typename T>
T readAt(const std::vector<unsigned char>& bytes, std::size_t offset) {
    T value{};
    if (offset + sizeof(T) > bytes.size()) {
        ADD_FAILURE() << "read past the end of the file at " << offset;
        return value;
    }
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

}  // namespace

std::set<std::string> definedDynamicSymbols(const char* path) {
    std::set<std::string> names;
    const auto file = readFile(path);
    if (file.size() < sizeof(Elf64_Ehdr) || std::memcmp(file.data(), ELFMAG, SELFMAG) != 0 ||
        file[EI_CLASS] != ELFCLASS64) {
        ADD_FAILURE() << path << ": not a 64-bit ELF file";
        return names;
    }
    const auto header = readAt<Elf64_Ehdr>(file, 0);
    for (unsigned section = 0; section < header.e_shnum; ++section) {
        const auto table = readAt<Elf64_Shdr>(file, header.e_shoff + section * header.e_shentsize);
        if (table.sh_type != SHT_DYNSYM) {
            continue;
        }
        const auto strings =
            readAt<Elf64_Shdr>(file, header.e_shoff + table.sh_link * header.e_shentsize);
        for (std::size_t offset = table.sh_offset; offset < table.sh_offset + table.sh_size;
             offset += sizeof(Elf64_Sym)) {
            const auto symbol = readAt<Elf64_Sym>(file, offset);
            const unsigned binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || symbol.st_name == 0 ||
                (binding != STB_GLOBAL && binding != STB_WEAK)) {
                continue;
            }
            names.insert(
                reinterpret_cast<const char*>(file.data() + strings.sh_offset + symbol.st_name));
        }
    }
    return names;
}

}  // namespace pantest
