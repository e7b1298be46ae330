#include "engine/scan_structure.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string_view>

#include "core/vector_clones.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {

namespace {

// A signature at a fixed place before the field, and the bits it is worth:
// eight a byte (the chance random bytes match it) and one a reserved bit
// that must be clear, at most the cap.
struct FieldMagic {
    StructureField field;
    int8_t at;  // from the field's first byte
    std::string_view bytes;
    int8_t reserved_at = 0;  // a byte whose reserved bits are clear (0: none)
    uint8_t reserved = 0;
};

using namespace std::string_view_literals;
constexpr std::array<FieldMagic, 4> FIELD_MAGICS = {{
    // PKWARE APPNOTE 4.3.7: local file header signature, version, flags,
    // method, then last-modified time and date.
    {StructureField::DosLittle, -10, "PK\x03\x04"sv},
    // APPNOTE 4.3.12: central directory header signature, version made by,
    // version needed, flags, method, then time and date.
    {StructureField::DosLittle, -12, "PK\x01\x02"sv},
    // RFC 1952 §2.3: ID1 ID2 CM (deflate), FLG (bits 5-7 reserved, zero),
    // then MTIME.
    {StructureField::UnixLittle, -4, "\x1f\x8b\x08"sv, -1, 0xE0},
    // Apple's binary plist (CFBinaryPList.c): marker 0x33, a date, then a
    // big-endian float64 of seconds since 2001.
    {StructureField::CocoaBig, -1, "\x33"sv},
}};

constexpr bool magics_fit() {
    for (FieldMagic const& m : FIELD_MAGICS) {
        if (m.at >= 0 || m.bytes.empty() || static_cast<std::size_t>(-m.at) < m.bytes.size()) return false;
        if (m.reserved != 0 && (m.reserved_at >= 0 || m.reserved_at < m.at)) return false;
    }
    return true;
}
static_assert(magics_fit(), "a signature lies wholly before its field");

bool matches(std::span<const uint8_t> block, std::size_t at, int offset, std::string_view bytes) {
    if (at < static_cast<std::size_t>(-offset)) return false;
    std::size_t const from = at + offset;  // offset < 0
    if (from + bytes.size() > block.size()) return false;
    return std::equal(bytes.begin(), bytes.end(), block.begin() + static_cast<std::ptrdiff_t>(from),
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

uint16_t le16_at(std::span<const uint8_t> block, std::size_t at) { return static_cast<uint16_t>(block[at] | block[at + 1] << 8); }

// Info-ZIP's extended timestamp extra field (extrafld.txt, tag 0x5455 "UT"):
// tag, data size, flags (bit 0 mtime, 1 atime, 2 ctime), then the times
// whose bits are set, each a little-endian u32. The field at `at` is the
// k-th of them when the tag sits 5 + 4k bytes before it, the flags name
// more than k times and the size holds at least k + 1 of them.
bool unix_extra_field(std::span<const uint8_t> block, std::size_t at) {
    for (std::size_t k = 0; k < 3; ++k) {
        std::size_t const back = 5 + 4 * k;
        if (at < back) return false;
        std::size_t const tag = at - back;
        if (block[tag] != 'U' || block[tag + 1] != 'T') continue;
        uint16_t const size = le16_at(block, tag + 2);
        uint8_t const flags = block[tag + 4];
        if (flags == 0 || flags > 7) continue;
        auto const times = static_cast<std::size_t>(__builtin_popcount(flags));
        if (times > k && size >= 1 + 4 * (k + 1) && size <= 1 + 4 * times) return true;
    }
    return false;
}

// Microsoft's fatgen103 document §6: a 32-byte directory entry: DIR_Name (11
// bytes of a short name), DIR_Attr, DIR_NTRes, DIR_CrtTimeTenth, then the
// creation time and date at +14, the write time and date at +22. Short
// names here are ASCII: upper case, digits, space and the allowed marks.
bool short_name_byte(uint8_t c) {
    if (c < 0x20 || c > 0x7E || (c >= 'a' && c <= 'z')) return false;
    constexpr std::string_view ILLEGAL = "\"*+,./:;<=>?[\\]|";
    return ILLEGAL.find(static_cast<char>(c)) == std::string_view::npos;
}

bool fat_entry_at(std::span<const uint8_t> block, std::size_t entry) {
    if (entry + 32 > block.size()) return false;
    const uint8_t* e = block.data() + entry;
    std::string_view const name(reinterpret_cast<const char*>(e), 11);
    bool const dots = name == ".          " || name == "..         ";
    if (!dots) {
        if (e[0] == ' ') return false;
        // A deleted entry (0xE5) and a name starting with 0xE5 (stored 0x05)
        // keep their times.
        if (!(short_name_byte(e[0]) || e[0] == 0xE5 || e[0] == 0x05)) return false;
        for (int i = 1; i < 11; ++i) {
            if (!short_name_byte(e[i])) return false;
        }
    }
    uint8_t const attr = e[11];
    if (attr > 0x3F || attr == 0x0F) return false;  // 0x0F: a long-name entry
    if ((e[12] & ~0x18) != 0) return false;         // NTRes: the lower-case flags only
    return e[13] <= 199;                            // tenths of two seconds
}

// may[i] = 1 where a signature (PK, 1f 8b, UT) or a FAT directory entry
// may start at d[i]: their first bytes and an entry's fixed bytes, each a
// necessary condition of what examine() checks. d[i + 13] is readable.
EPOCHSIFT_VECTOR_CLONES
void may_start_structure(const uint8_t* d, std::size_t n, uint8_t* may) {
    for (std::size_t i = 0; i < n; ++i) {  // bitwise only, so that it vectorises
        uint8_t const a = d[i];
        uint8_t const b = d[i + 1];
        uint8_t const attr = d[i + 11];
        unsigned const signature = ((a == 'P') & (b == 'K')) | ((a == 0x1f) & (b == 0x8b)) | ((a == 'U') & (b == 'T'));
        unsigned const name = (static_cast<uint8_t>(a - 0x21) < 0x5E) | (a == 0xE5) | (a == 0x05);
        unsigned const entry = ((d[i + 12] & 0xE7) == 0) & (attr <= 0x3F) & (attr != 0x0F) & (d[i + 13] <= 199) & name;
        may[i] = static_cast<uint8_t>(signature | entry);
    }
}

constexpr uint8_t PLIST_DATE_MARKER = 0x33;
constexpr std::string_view PLIST_HEADER = "bplist00";
constexpr std::size_t PLIST_TRAILER = 32;

uint64_t be_at(const uint8_t* p, std::size_t n) {
    uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

}  // namespace

bool PlistObjects::is_object(std::span<const uint8_t> block, std::size_t at) {
    if (!read_) read(block);
    for (List const& list : lists_) {
        if (at < list.start || at >= list.end) continue;
        if (std::binary_search(list.objects.begin(), list.objects.end(), uint64_t{at - list.start})) return true;
    }
    return false;
}

// Each header, then the first 32 bytes after it that read as its trailer:
// five unused zero bytes, a sort version, offset and reference sizes of 1
// to 8 bytes, the object count, the top object (one of them) and the
// table's offset, the table lying between the header and the trailer and
// ending where the trailer starts (as CFBinaryPList and Python's plistlib
// write it). Every offset in the table lies between header and table.
void PlistObjects::read(std::span<const uint8_t> block) {
    read_ = true;
    std::size_t const size = block.size();
    const uint8_t* data = block.data();
    auto const header = std::boyer_moore_horspool_searcher(PLIST_HEADER.begin(), PLIST_HEADER.end());
    auto const bytes = [&](std::size_t at) { return reinterpret_cast<const char*>(data) + at; };
    for (std::size_t from = 0; from + PLIST_HEADER.size() + PLIST_TRAILER <= size;) {
        const char* found = std::search(bytes(from), bytes(size), header);
        if (found == bytes(size)) break;
        std::size_t const start = static_cast<std::size_t>(found - bytes(0));
        from = start + 1;
        for (std::size_t t = start + PLIST_HEADER.size() + 1; t + PLIST_TRAILER <= size; ++t) {
            const uint8_t* tr = data + t;
            if ((tr[0] | tr[1] | tr[2] | tr[3] | tr[4]) != 0) continue;
            uint8_t const offset_size = tr[6];
            uint8_t const ref_size = tr[7];
            if (offset_size < 1 || offset_size > 8 || ref_size < 1 || ref_size > 8) continue;
            uint64_t const count = be_at(tr + 8, 8);
            uint64_t const top = be_at(tr + 16, 8);
            uint64_t const table = be_at(tr + 24, 8);
            uint64_t const length = t - start;  // header, objects and table
            if (count == 0 || count > length || top >= count || table <= PLIST_HEADER.size() || table > length) continue;
            if (table + count * offset_size != length) continue;
            List list{start, t + PLIST_TRAILER, {}};
            list.objects.reserve(count);
            bool sound = true;
            for (uint64_t k = 0; k < count && sound; ++k) {
                uint64_t const offset = be_at(data + start + table + k * offset_size, offset_size);
                sound = offset >= PLIST_HEADER.size() && offset < table;
                list.objects.push_back(offset);
            }
            if (!sound) continue;
            std::sort(list.objects.begin(), list.objects.end());
            lists_.push_back(std::move(list));
            break;
        }
    }
}

StructureField structure_field(const ScanProbe& probe) {
    if (probe.kind == ProbeKind::Record) return StructureField::None;
    std::string_view const id = NUMERIC_FAMILIES[probe.source].id;
    if (id == "fat" && probe.order == ByteOrder::Little && probe.width == 4) return StructureField::DosLittle;
    if (id == "unix" && probe.order == ByteOrder::Little && probe.width == 4 && !probe.negative) {
        return StructureField::UnixLittle;
    }
    if (id == "cocoa_float" && probe.order == ByteOrder::Big) return StructureField::CocoaBig;
    return StructureField::None;
}

double structure_bits(StructureField field, std::span<const uint8_t> block, std::size_t at, PlistObjects* plists) {
    if (field == StructureField::None) return 0;
    // A date object (marker 0x33) that a well-formed list's offset table
    // names: the header, the trailer's consistent sizes and the table's
    // entry are far rarer by chance than 2^28.
    if (field == StructureField::CocoaBig && plists != nullptr && at >= 1 && block[at - 1] == PLIST_DATE_MARKER &&
        plists->is_object(block, at - 1)) {
        return SCAN_STRUCTURE_CAP_BITS;
    }
    for (FieldMagic const& m : FIELD_MAGICS) {
        if (m.field != field || !matches(block, at, m.at, m.bytes)) continue;
        double bits = 8.0 * static_cast<double>(m.bytes.size());
        if (m.reserved != 0) {
            if ((block[at - static_cast<std::size_t>(-m.reserved_at)] & m.reserved) != 0) continue;
            bits += __builtin_popcount(m.reserved);
        }
        return std::min(SCAN_STRUCTURE_CAP_BITS, bits);
    }
    // Tag, a size of 5 to 13 and a flags byte of 1 to 7: over 30 bits.
    if (field == StructureField::UnixLittle && unix_extra_field(block, at)) return SCAN_STRUCTURE_CAP_BITS;
    if (field == StructureField::DosLittle) {
        // 11 name bytes of 53 values, attribute and NTRes: over 30 bits.
        for (std::size_t const back : {std::size_t{14}, std::size_t{22}}) {
            if (at >= back && fat_entry_at(block, at - back)) return SCAN_STRUCTURE_CAP_BITS;
        }
    }
    return 0;
}

}  // namespace epochsift

namespace epochsift {

void mark_signed_fields(std::span<const uint8_t> block, std::size_t first, std::size_t last,
                        std::vector<uint8_t>& candidates) {
    last = std::min(last, block.size());
    if (first >= last) return;
    constexpr std::size_t BACK = 22;  // the farthest start before its field: a FAT entry's write time
    auto const mark = [&](std::size_t field) {
        if (field >= first && field < last) candidates[field - first] |= SCAN_SIGNED_FIELD;
    };
    auto const examine = [&](std::size_t q) {
        uint8_t const b = block[q];
        for (FieldMagic const& m : FIELD_MAGICS) {
            if (m.field != StructureField::CocoaBig && static_cast<uint8_t>(m.bytes[0]) == b) {
                std::size_t const field = q + static_cast<std::size_t>(-m.at);
                if (matches(block, field, m.at, m.bytes)) mark(field);
            }
        }
        if (b == 'U') {
            for (std::size_t k = 0; k < 3; ++k) {
                std::size_t const field = q + 5 + 4 * k;
                if (field + 4 <= block.size() && unix_extra_field(block, field)) mark(field);
            }
        }
        if (fat_entry_at(block, q)) {
            mark(q + 14);
            mark(q + 22);
        }
    };
    // First a branch-free pass for the bytes that may start a structure:
    // a signature's first two bytes, or a FAT entry's first name byte,
    // attribute, NTRes and tenths bytes. Entries reach 14 bytes ahead.
    std::size_t const from = first >= BACK ? first - BACK : 0;
    std::size_t const n = last - from;
    std::size_t const whole = block.size() >= from + 14 ? std::min(n, block.size() - from - 13) : 0;
    std::vector<uint8_t> may(n + 8, 0);
    may_start_structure(block.data() + from, whole, may.data());
    for (std::size_t i = whole; i < n; ++i) may[i] = 1;  // the last few: examined whole
    for (std::size_t i = 0; i < n; i += 8) {
        uint64_t any = 0;
        std::memcpy(&any, may.data() + i, sizeof any);
        if (any == 0) continue;
        for (std::size_t j = i; j < std::min(n, i + 8); ++j) {
            if (may[j] != 0) examine(from + j);
        }
    }
}

}  // namespace epochsift
