// The catalog: one dense reference per format, its facts from the format's
// own row, and the widths the formats' documents give.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "engine/identify.hpp"
#include "formats/catalog.hpp"

namespace epochsift {
namespace {

TEST(Catalog, EveryReferenceRoundTrips) {
    for (std::size_t i = 0; i < FORMAT_COUNT; ++i) {
        auto const ref = FormatRef::from_index(i);
        ASSERT_TRUE(ref) << i;
        EXPECT_EQ(ref->index(), i);
        FormatRef const again = [&] {
            switch (ref->kind()) {
                case FormatKind::NumericFamily: return FormatRef::numeric_family(ref->row());
                case FormatKind::StringForm: return FormatRef::string_form(ref->row());
                case FormatKind::ExtendedForm: return FormatRef::extended_form(ref->row());
                case FormatKind::BinaryRecord: return FormatRef::binary_record(ref->row());
            }
            return FormatRef{};
        }();
        EXPECT_EQ(again, *ref) << i;
        EXPECT_EQ(catalog_entry(*ref).kind, ref->kind()) << i;
        EXPECT_FALSE(catalog_entry(*ref).id.empty()) << i;
    }
    EXPECT_FALSE(FormatRef::from_index(FORMAT_COUNT));
}

// The README: 45 numeric families in the reference reading, 22 more in the
// extended one.
TEST(Catalog, CountsFromTheTables) {
    EXPECT_EQ(NUMERIC_FAMILY_COUNT, 45u + 22u);
    EXPECT_EQ(FORMAT_COUNT, NUMERIC_FAMILY_COUNT + STRING_FORMS.size() + EXTENDED_STRING_FORMS.size() + BYTE_LAYOUTS.size());
}

// A row's reference, however the row was reached, names that very row.
TEST(Catalog, RowsKnowTheirReference) {
    for (NumericFamily const& family : NUMERIC_FAMILIES) {
        EXPECT_EQ(format_id(FormatRef::of(family)), family.id);
        NumericFamily const copy = family.with_window(PosixNs{0}, PosixNs{1});
        EXPECT_EQ(FormatRef::of(copy), FormatRef::of(family)) << family.id;
    }
    for (NumericFamily const& family : REFERENCE_FAMILIES) EXPECT_EQ(format_id(FormatRef::of(family)), family.id);
    for (StringForm const& form : STRING_FORMS) {
        EXPECT_EQ(FormatRef::of(form).kind(), FormatKind::StringForm) << form.id;
        EXPECT_EQ(catalog_entry(FormatRef::of(form)).note, form.note);
    }
    for (StringForm const& form : EXTENDED_STRING_FORMS) {
        EXPECT_EQ(FormatRef::of(form).kind(), FormatKind::ExtendedForm) << form.id;
        EXPECT_EQ(format_id(FormatRef::of(form)), form.id);
    }
    for (ByteLayout const& layout : BYTE_LAYOUTS) {
        EXPECT_EQ(FormatRef::of(layout).kind(), FormatKind::BinaryRecord) << layout.id;
        EXPECT_EQ(catalog_entry(FormatRef::of(layout)).label, layout.label);
    }
}

// Only the rows of one record at several widths share an id (MySQL's
// DATETIME with 0, 2, 4 and 6 fraction digits): a format is found by its id.
TEST(Catalog, IdsNameOneFormat) {
    std::set<std::string_view> seen;
    for (std::size_t i = 0; i < FORMAT_COUNT; ++i) {
        FormatFacts const& facts = catalog_entry(*FormatRef::from_index(i));
        if (facts.id == "mysql_datetime" && seen.count(facts.id)) continue;
        EXPECT_TRUE(seen.insert(facts.id).second) << facts.id;
        EXPECT_EQ(find_format(facts.id), FormatRef::from_index(i)) << facts.id;
    }
    EXPECT_FALSE(find_format("no_such_format"));
}

// Widths from the formats' documents: the bytes a stored value takes, and
// for counts the field a writer usually gives them. (A packed layout's
// usual width is the score's own rule, 32 bits, whatever it spans.)
TEST(Catalog, WidthsFromTheFormatsDocuments) {
    constexpr unsigned PACKED = 99;  // usual width not stated by the document
    struct Case {
        std::string_view id;
        unsigned usual, stored;
    };
    const Case cases[] = {
        {"unix", 4, 0},               // a 32-bit time_t
        {"filetime", 8, 0},           // [MS-DTYP] 2.3.3: two 32-bit halves
        {"unix_ms", 8, 0},            // Java's long, JavaScript's Date value
        {"fat", PACKED, 4},           // FAT: a 16-bit date word and a 16-bit time word
        {"sqlserver", PACKED, 8},     // SQL Server datetime: int32 days, then uint32 ticks
        {"bcd", PACKED, 6},           // YY MM DD HH MM SS, two digits a byte
        {"ns40", PACKED, 7},          // Nokia S40: a 16-bit year and five field bytes
        {"tai64n", 12, 12},           // libtai: 8-byte TAI64 label and 4 bytes of nanoseconds
        {"systemtime", 16, 16},       // SYSTEMTIME: eight WORDs
        {"efi_time", 16, 16},         // UEFI 2.10 §8.3: EFI_TIME is 16 bytes
        {"iso9660", 7, 7},            // ECMA-119 9.1.5: seven bytes
        {"iso8601", 0, 0},            // text
    };
    for (Case const& c : cases) {
        auto const ref = find_format(c.id);
        ASSERT_TRUE(ref) << c.id;
        if (c.usual != PACKED) EXPECT_EQ(catalog_entry(*ref).usual_width, c.usual) << c.id;
        EXPECT_EQ(catalog_entry(*ref).stored_width, c.stored) << c.id;
    }
}

// A reading's reference is its row's: the id it writes is the row's id.
TEST(Catalog, ReadingsCarryTheirRow) {
    ReadOptions extended;
    extended.extended = true;
    for (std::string_view value : {"1700000000", "45000.5", "2024-05-01T12:00:00+02:00", "01HX5ZZKBKACTAV9WEVGEMMVRZ"}) {
        for (Candidate const& reading : identify(value, extended)) {
            FormatFacts const& facts = catalog_entry(reading.format);
            EXPECT_EQ(reading.format_id(), facts.id) << value;
            EXPECT_EQ(reading.facts.string_form, facts.kind == FormatKind::StringForm || facts.kind == FormatKind::ExtendedForm)
                << value << " " << facts.id;
        }
    }
}

}  // namespace
}  // namespace epochsift
