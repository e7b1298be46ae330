// Fixed-width binary records that hold a time, read from raw bytes: the
// layouts wider than one integer (SYSTEMTIME, EFI_TIME, TAI64N, ...) and the
// ones whose fields sit in a byte order of their own.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

// What a layout's bytes gave: the instant and whether the record left its
// zone unstated (wall-clock time, read as UTC).
struct LayoutInstant {
    PosixNs instant;
    bool zone_unstated = false;
};

using ByteDecoder = std::optional<LayoutInstant> (*)(std::span<const uint8_t> bytes);

struct ByteLayout {
    ByteDecoder decode;
    uint8_t width;  // the record's size in bytes; other sizes are not tried
    std::string_view id;
    std::string_view label;
    std::string_view citation;
    bool rare = true;
};

std::optional<LayoutInstant> decode_systemtime(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_efi_time(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_parquet_int96(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_tai64(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_tai64n(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_udf(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_btrfs(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_iso9660(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_oracle_date(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_mysql_datetime(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_mysql_datetime_fraction(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_pcap(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_pcap_be(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_xfs(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_xfs_bigtime(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_exfat_extended(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_julian_hex(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_gmail_boundary(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_duid_llt(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_dos_date_time(std::span<const uint8_t> bytes);
std::optional<LayoutInstant> decode_leb128_unix_ms(std::span<const uint8_t> bytes);

inline constexpr std::size_t BYTE_LAYOUT_COUNT = 23;
extern const std::array<ByteLayout, BYTE_LAYOUT_COUNT> BYTE_LAYOUTS;

}  // namespace epochsift
