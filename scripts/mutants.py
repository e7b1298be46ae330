#!/usr/bin/env python3
"""Our own mutation check: realistic faults, one at a time, against the tests.

    python3 scripts/mutants.py --list                  # the mutants, numbered
    python3 scripts/mutants.py                         # every mutant
    python3 scripts/mutants.py --layer engine,formats  # the mutants of these layers
    python3 scripts/mutants.py --only 3,7-12           # these mutants
    python3 scripts/mutants.py --check                 # each text occurs once; nothing is built
    python3 scripts/mutants.py --only 5 --no-python    # the C++ tests alone
    python3 scripts/mutants.py --only 5 --cpp-tests 'Iso8601' --python-tests tests/python/test_numeric.py

Each mutant is one line below: the file, a text that occurs exactly once in
it, and what a developer might plausibly have written instead (an
off-by-one, an epoch a day off, a swapped operand, a dropped check). For
each, the script replaces the text, rebuilds the build tree incrementally
(default build/mutants: C++ tests and the Python module, configured on
first use), runs the C++ tests and then the Python tests against the built
module, and puts the file back whatever happens. A mutant is caught when a
test fails; one that no longer compiles is reported apart (it says nothing
about the tests). The C++ tests run first and a failure there ends the
mutant's run, so a caught mutant costs one test binary's worth of time.

A mutant whose text no longer occurs exactly once (the code it names was
rewritten) is stale: the run refuses to start and names each one, so that
the list is brought up to date rather than silently shrinking. With
--skip-stale it runs the others and reports the stale ones apart; they are
not counted either way.

It runs for developers before an issue is resolved, not in CI: every mutant
rebuilds what depends on its file. Grow the list with each feature, and
keep the caught share at 95 % or more (bench/RESULTS.md records it).
"""

from __future__ import annotations

import argparse
import os
import pathlib
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent

# (file, text, replacement): the text must occur exactly once in the file.
MUTANTS = [
    # core: calendar, instants, leap seconds, text scanning, zones
    ("src/core/civil.hpp", "return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);", "return year % 4 == 0 && year % 100 != 0;"),
    ("src/core/civil.hpp", "return month == 2 && is_leap_year(year) ? 29 : LENGTHS[month];", "return month == 2 && is_leap_year(year + 1) ? 29 : LENGTHS[month];"),
    ("src/core/civil.hpp", "day <= days_in_month(year, month) && hour >= 0 && hour <= 23", "day <= days_in_month(year, month) && hour >= 0 && hour <= 24"),
    ("src/core/civil.hpp", "return static_cast<int>(floor_mod(days_since_1970 + 3, 7)) + 1;", "return static_cast<int>(floor_mod(days_since_1970 + 4, 7)) + 1;"),
    ("src/core/civil.cpp", "int64_t const utc = *local - offset_seconds;", "int64_t const utc = *local + offset_seconds;"),
    ("src/core/civil.cpp", "int64_t const days = seconds >= 0 ? seconds / SECONDS_PER_DAY : -((-seconds - 1) / SECONDS_PER_DAY) - 1;", "int64_t const days = seconds / SECONDS_PER_DAY;"),
    ("src/core/instant.hpp", "return (n % d != 0 && ((n < 0) != (d < 0))) ? q - 1 : q;", "return q;"),
    ("src/core/leap_seconds.hpp", "{1230768000, 34}", "{1230681600, 34}"),
    ("src/core/leap_seconds.hpp", "{63072000, 10}", "{63072000 + 86400, 10}"),
    ("src/core/leap_seconds.hpp", "if (tai_second >= step.utc_second + step.tai_minus_utc) return step.tai_minus_utc;", "if (tai_second > step.utc_second + step.tai_minus_utc) return step.tai_minus_utc;"),
    ("src/core/text_trim.cpp", "if (b0 == 0xE3) return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;  // U+3000", "if (b0 == 0xE3) return 0;  // U+3000"),
    ("src/core/number_lexing.cpp", "negative = body[0] == '-';", "negative = body[0] == '+';"),
    ("src/core/posix_tz.cpp", "sys_days const date = rule.week == 5 ? sys_days{y / m / wd[last]}", "sys_days const date = rule.week == 4 ? sys_days{y / m / wd[last]}"),
    ("src/core/posix_tz.cpp", "out = sign * (hours * 3600 + minutes * 60 + seconds);", "out = sign * (hours * 3600 + minutes * 60);"),
    ("src/core/instant.hpp", "constexpr bool in_calendar_range(int64_t second) { return second >= MIN_CALENDAR_SECOND && second <= MAX_CALENDAR_SECOND; }", "constexpr bool in_calendar_range(int64_t second) { return second >= MIN_CALENDAR_SECOND && second < MAX_CALENDAR_SECOND; }"),
    ("src/core/zone_rules.cpp", "if (after == times.begin()) return state_of(zone_.types[0]);", "if (after == times.begin()) return state_of(zone_.types.back());"),
    # formats: codecs, parsers, tables
    ("src/formats/tar_time.cpp", "if (c < '0' || c > '7') return std::nullopt;", "if (c < '0' || c > '9') return std::nullopt;"),
    ("src/formats/tar_time.cpp", "if (seconds < 0 || seconds >= TAR_MTIME_LIMIT) return std::nullopt;", "if (seconds < 0 || seconds > TAR_MTIME_LIMIT) return std::nullopt;"),
    ("src/formats/count_codecs.cpp", "constexpr int64_t TICKS_PER_SECOND = 300;", "constexpr int64_t TICKS_PER_SECOND = 333;"),
    ("src/formats/count_codecs.cpp", "constexpr i128 DOTNET_EPOCH_NS = i128{62'135'596'800} * NS_PER_SECOND;", "constexpr i128 DOTNET_EPOCH_NS = i128{62'135'683'200} * NS_PER_SECOND;"),
    ("src/formats/count_codecs.cpp", "if (ticks >= TICKS_PER_DAY) return CodecError::range(ticks, \"SQL Server datetime ticks (>= one day)\");", "if (ticks > TICKS_PER_DAY) return CodecError::range(ticks, \"SQL Server datetime ticks (>= one day)\");"),
    ("src/formats/numeric_decode.cpp", "return PosixNs{ns - i128{tai_minus_utc_at_tai(clamped_second(ns))} * NS_PER_SECOND};", "return PosixNs{ns + i128{tai_minus_utc_at_tai(clamped_second(ns))} * NS_PER_SECOND};"),
    ("src/formats/numeric_decode.cpp", "if (raw < 0) return CodecError::range(raw, \"embedded-id (negative)\");", "if (raw < -1) return CodecError::range(raw, \"embedded-id (negative)\");"),
    ("src/formats/parse_ulid.cpp", "if (millis >> 48 != 0) return std::nullopt;", "if (millis >> 49 != 0) return std::nullopt;"),
    ("src/formats/parse_ulid.cpp", "constexpr std::string_view ALPHABET = \"0123456789ABCDEFGHJKMNPQRSTVWXYZ\";", "constexpr std::string_view ALPHABET = \"0123456789ABCDEFGHIJKMNPQRSTVWXY\";"),
    ("src/formats/parse_uuid.cpp", "constexpr i128 GREGORIAN_TO_UNIX_NS = i128{12'219'292'800} * NS_PER_SECOND;", "constexpr i128 GREGORIAN_TO_UNIX_NS = i128{12'219'379'200} * NS_PER_SECOND;"),
    ("src/formats/parse_uuid.cpp", "auto const b = hex_number(hex.substr(8, 4));", "auto const b = hex_number(hex.substr(9, 4));"),
    ("src/formats/parse_uuid.cpp", "return from_gregorian_ticks(f->a << 28 | f->b << 12 | (f->c & 0x0FFF));", "return from_gregorian_ticks(f->a << 28 | f->b << 16 | (f->c & 0x0FFF));"),
    ("src/formats/parse_objectid.cpp", "auto const seconds = hex_number(text.substr(0, 8));", "auto const seconds = hex_number(text.substr(0, 7));"),
    ("src/formats/iso8601.cpp", "if (++count > 9) return std::nullopt;", "if (++count > 10) return std::nullopt;"),
    ("src/formats/iso8601.cpp", "int32_t const sign = in.take() == '-' ? -1 : 1;", "int32_t const sign = in.take() == '+' ? -1 : 1;"),
    ("src/formats/iso8601.cpp", "time.second = *second == 60 ? 59 : *second;", "time.second = *second == 60 ? 0 : *second;"),
    ("src/formats/numeric_family_table.hpp", "Integer(Unit::Seconds), epoch_at(978307200), UTC_TIME),  // 2001-01-01T00:00:00Z", "Integer(Unit::Seconds), epoch_at(978220800), UTC_TIME),  // 2001-01-01T00:00:00Z"),
    ("src/formats/numeric_family_table.hpp", "Integer(Unit::Microseconds), epoch_at(946684800), UTC_TIME),  // 2000-01-01T00:00:00Z", "Integer(Unit::Microseconds), epoch_at(946598400), UTC_TIME),  // 2000-01-01T00:00:00Z"),
    ("src/formats/numeric_family_table.hpp", "Float(Unit::Days), epoch_at(-2209161600), UTC_TIME).with_prior(PriorTier::Everyday),", "Float(Unit::Days), epoch_at(-2209075200), UTC_TIME).with_prior(PriorTier::Everyday),"),
    ("src/formats/numeric_family_table.hpp", "Shifted(Unit::Milliseconds, 22), epoch_at(1420070400), UTC_TIME).with_sequence(0, 12),", "Shifted(Unit::Milliseconds, 21), epoch_at(1420070400), UTC_TIME).with_sequence(0, 12),"),
    ("src/formats/numeric_family_table.hpp", "Integer(Unit::Seconds), epoch_at(315964819), UTC_TIME)  // 1980-01-06T00:00:19 TAI", "Integer(Unit::Seconds), epoch_at(315964800), UTC_TIME)  // 1980-01-06T00:00:19 TAI"),
    ("src/formats/numeric_family_table.hpp", "inline constexpr PosixNs WINDOW_END = PosixNs::from_seconds(2'208'988'800);", "inline constexpr PosixNs WINDOW_END = PosixNs::from_seconds(2'208'902'400);"),
    ("src/formats/numeric_family.hpp", "constexpr double VALUES[] = {1.0, 0.8, 0.6, 0.4};", "constexpr double VALUES[] = {1.0, 0.8, 0.4, 0.6};"),
    ("src/formats/catalog.hpp", "inline constexpr std::size_t EXTENDED_FORM_BASE = STRING_FORM_BASE + STRING_FORM_COUNT;", "inline constexpr std::size_t EXTENDED_FORM_BASE = STRING_FORM_BASE + STRING_FORM_COUNT - 1;"),
    ("src/formats/asn1_time.cpp", "year = yy < 50 ? 2000 + yy : 1900 + yy;", "year = yy <= 50 ? 2000 + yy : 1900 + yy;"),
    ("src/formats/text_fields.cpp", "auto const minutes = fixed_digits(text.substr(3, 2));", "auto const minutes = fixed_digits(text.substr(2, 2));"),
    # engine: scores, the extended evidence, columns, encoding, zones
    ("src/engine/interpret_string.cpp", ".local = form.naive || found.zone_unstated,", ".local = found.zone_unstated,"),
    ("src/engine/score.cpp", "if (raw == 0) return 0.5;", "if (raw == 0) return 1.0;"),
    ("src/engine/score.cpp", "return expected < needed ? 0.0 : 0.5;", "return expected <= needed ? 0.0 : 0.5;"),
    ("src/engine/score.cpp", "if (token.size() < 3) continue;", "if (token.size() < 2) continue;"),
    ("src/engine/score.cpp", "for (std::size_t start = 0; start + needle.size() <= haystack.size(); ++start) {", "for (std::size_t start = 0; start + needle.size() < haystack.size(); ++start) {"),
    ("src/engine/extended_score.cpp", "return std::max(0.0, 1.0 - to_double(outside) / ERA_DECAY_NS);", "return std::max(0.0, 1.0 - to_double(outside) / (2 * ERA_DECAY_NS));"),
    ("src/engine/extended_score.hpp", "if (instant >= TYPICAL_START && instant < TYPICAL_END) return 1.0;", "if (instant > TYPICAL_START && instant < TYPICAL_END) return 1.0;"),
    ("src/engine/extended_score.cpp", "return kept > 7 ? 0.75 : 1.0;", "return kept > 6 ? 0.75 : 1.0;"),
    ("src/engine/extended_score.cpp", "int const used = std::bit_width(sequence);", "int const used = std::bit_width(sequence >> 1);"),
    ("src/engine/extended_score.cpp", "constexpr double BARE_DIGITS_PRIOR = prior_value(PriorTier::Specialised);", "constexpr double BARE_DIGITS_PRIOR = prior_value(PriorTier::Common);"),
    ("src/engine/extended_score.cpp", "case Component::IdStructure: return 2.0;", "case Component::IdStructure: return 1.0;"),
    ("src/engine/extended_score.cpp", "if (trailing_zeros_of(raw) >= 3) return false;", "if (trailing_zeros_of(raw) >= 4) return false;"),
    ("src/engine/extended_score.hpp", "inline constexpr PosixNs TYPICAL_START = PosixNs::from_seconds(788'918'400);", "inline constexpr PosixNs TYPICAL_START = PosixNs::from_seconds(788'832'000);"),
    ("src/engine/encode.cpp", "i128 const count = floor_div(to_row_scale(family, instant).ns - family.epoch.ns, unit_ns(family.encoding.unit));", "i128 const count = (to_row_scale(family, instant).ns - family.epoch.ns) / unit_ns(family.encoding.unit);"),
    ("src/engine/encode.cpp", "i128 const fraction = ((remainder << shift) + unit - 1) / unit;", "i128 const fraction = (remainder << shift) / unit;"),
    ("src/engine/encode.cpp", "if (raw < 0 || raw > (INT64_MAX >> family.encoding.shift)) return std::nullopt;", "if (raw < 0) return std::nullopt;"),
    ("src/engine/encode.cpp", "for (int shift = 0; value != 0; shift += 4, value /= 10) nibbles |= (value % 10) << shift;", "for (int shift = 0; value != 0; shift += 4, value /= 16) nibbles |= (value % 10) << shift;"),
    ("src/engine/column.cpp", "verdict.ordered = tally.pairs == 0 ? 1.0 :", "verdict.ordered = tally.pairs == 0 ? 0.0 :"),
    ("src/engine/column.cpp", "return (s < STRING_FORM_COUNT ? reference_readers >> s : extended_readers >> (s - STRING_FORM_COUNT)) & 1u;", "return (s < STRING_FORM_COUNT ? extended_readers >> s : reference_readers >> (s - STRING_FORM_COUNT)) & 1u;"),
    ("src/python/identify_many.cpp", "BestReadingsShelf shelf(options.read, best);", "BestReadingsShelf shelf(ReadOptions{}, best);"),
    ("src/python/chunk_pool.cpp", "    if (!done_[chunk]) return false;\n    taken_ = chunk;", "    taken_ = chunk;"),
    ("src/python/interrupts.hpp", "if (std::chrono::steady_clock::now() - held_since_ < hold_limit_ && pool.try_take(chunk)) {", "if (pool.try_take(chunk)) {"),
    ("src/engine/column.cpp", "constexpr double LOG_DECIMAL_HEX_DIGIT = -0.47;", "constexpr double LOG_DECIMAL_HEX_DIGIT = 0.0;"),
    ("src/engine/column.cpp", "tally.ordered_pairs += !(instant < *tally.previous);", "tally.ordered_pairs += instant > *tally.previous;"),
    ("src/engine/column.cpp", "first.ordered_pairs += !(second.first < first.last);", "first.ordered_pairs += second.first > first.last;"),
    ("src/engine/column.cpp", "if (first.ends_read && second.starts_read) {", "if (second.starts_read) {"),
    ("src/engine/notes.cpp", "if (raw > SIGNED_32_BIT_MAX && raw <= UNSIGNED_32_BIT_MAX) {", "if (raw > SIGNED_32_BIT_MAX && raw < UNSIGNED_32_BIT_MAX) {"),
    ("src/engine/notes.cpp", "if (family.whole_second_suspicious && instant.ns % NS_PER_SECOND == 0) notes.add(Note::WholeSecond);", "if (family.whole_second_suspicious) notes.add(Note::WholeSecond);"),
    ("src/engine/zoned_readings.cpp", "if (zones.local == nullptr || !candidate.facts.local) {", "if (zones.local == nullptr) {"),
    ("src/engine/ranking.cpp", "if (a.rare != b.rare) return b.rare;", "if (a.rare != b.rare) return a.rare;"),
    ("src/engine/ranking.cpp", "uint64_t const low = uint64_t{c.facts.string_form} << 63 | ~bits_of(c.prior) >> 1;", "uint64_t const low = uint64_t{c.facts.string_form} << 63 | bits_of(c.prior) >> 1;"),
    # output: JSON text, notes
    ("src/output/json_string.cpp", "char const escape[5] = {'u', '0', '0', HEX[c >> 4], HEX[c & 0xF]};", "char const escape[5] = {'u', '0', '0', HEX[c & 0xF], HEX[c >> 4]};"),
    ("src/output/json_number.cpp", "if (std::trunc(value) != value) return end;  // the fixed form has its point", "if (std::trunc(value) != value) return end + 1;  // the fixed form has its point"),
    ("src/output/reading_text.hpp", "inline constexpr std::string_view ZONE_UNSTATED = \"; NO timezone designator — assumed UTC, but may be local time\";", "inline constexpr std::string_view ZONE_UNSTATED = \"; no timezone designator — assumed UTC, but may be local time\";"),
    ("src/output/row_json.cpp", ".consistent = escaped({CONSISTENT_PREFIX, facts.label, \" [\", facts.citation, CONSISTENT_SUFFIX}, true),", ".consistent = escaped({CONSISTENT_PREFIX, facts.citation, \" [\", facts.label, CONSISTENT_SUFFIX}, true),"),
    ("src/output/encoded_json.cpp", "for (int i = stored.width - 1; i >= 0; --i) put_byte(out, stored.bits >> (8 * i));", "for (int i = stored.width - 1; i > 0; --i) put_byte(out, stored.bits >> (8 * i));"),
    ("src/output/column_json.cpp", "if (v.byte_order) out += *v.byte_order == ByteOrder::Little ? \",\\\"byte_order\\\":\\\"little\\\"\" : \",\\\"byte_order\\\":\\\"big\\\"\";", "if (v.byte_order) out += *v.byte_order == ByteOrder::Big ? \",\\\"byte_order\\\":\\\"little\\\"\" : \",\\\"byte_order\\\":\\\"big\\\"\";"),
    # command line and binding
    ("src/cli/batch_record.cpp", "std::size_t const count = std::min(readings.size(), format.best);", "std::size_t const count = std::min(readings.size(), format.best + 1);"),
    ("src/cli/batch_record.cpp", "return format.read.extended ? \",,,,,,\" : \",,,,,\";", "return format.read.extended ? \",,,,,\" : \",,,,,\";"),
    ("src/cli/column_batch.cpp", "for (std::size_t i = 0; i < merged_.size(); ++i) merge_column_tally(merged_[i], run[i]);", "for (std::size_t i = 0; i < merged_.size(); ++i) merged_[i] = run[i];"),
    ("src/cli/batch_record.cpp", "if (reading.format != *format.lead_format) return false;", "if (reading.format == *format.lead_format) return false;"),
    ("src/python/reading_objects.cpp", "if (!set_borrowed(d, keys_[Label], row_text(format, RowText::Label))) return nullptr;", "if (!set_borrowed(d, keys_[Label], row_text(format, RowText::Id))) return nullptr;"),
    ("src/python/reading_objects.cpp", "(layout.is_signed ? 1u : 0u)", "0u"),
    ("src/python/reading_objects.cpp", "if (c.facts.sentinel && !set_borrowed(d, keys_[Sentinel], Py_True)) return nullptr;", "if (c.facts.sentinel && !set_borrowed(d, keys_[Sentinel], Py_False)) return nullptr;"),
    ("src/python/reading_objects.cpp", "if (enabled.get() != Py_True) return build();", "if (enabled.get() != Py_False) return build();"),
    ("src/python/reading_objects.cpp", "Ref restored(PyObject_CallNoArgs(gc[GcEnable]));", "Ref restored(PyObject_CallNoArgs(gc[GcDisable]));"),
    ("src/cli/ties.cpp", "ranks[i] = i != 0 && shown_scores[i] == shown_scores[i - 1] ? ranks[i - 1] : i + 1;", "ranks[i] = i != 0 && shown_scores[i] == shown_scores[i - 1] ? ranks[i - 1] : i;"),
    ("src/python/call_options.cpp", "if (width < 1 || width > 16) {", "if (width < 1 || width > 15) {"),
    ("src/python/call_options.cpp", "if (!(out.start < out.end)) {", "if (!(out.start <= out.end)) {"),
    ("src/python/batch_reader.cpp", "if (best != 0) request.best = best;", "(void)best;"),
    ("src/python/identify_many.cpp", "std::size_t const best = keywords.best;", "std::size_t const best = keywords.best + 1;"),
    # columns at a known format's speed
    ("src/core/number_lexing.cpp", "chunk = chunk * 10 + (chunk >> 8);", "chunk = chunk * 10 + (chunk >> 16);"),
    ("src/engine/best_readings.cpp", "if (scored[i].score < entry) weighed[weighed_count++] = scored[i].score;", "if (scored[i].score < entry) continue;"),
    ("src/engine/best_readings.cpp", "auto const near_end = std::partition(scores.begin(), scores.end(), [floor](double score) { return score >= floor; });", "auto const near_end = std::partition(scores.begin(), scores.end(), [entry](double score) { return score >= entry; });"),
    ("src/engine/best_readings.cpp", "below_ = span_ < 0.0 ? scores_[keep_ - 1] : std::min(scores_[keep_ - 1], scores_[0] - span_);", "below_ = span_ < 0.0 ? scores_[keep_ - 1] : std::max(scores_[keep_ - 1], scores_[0] - span_);"),
    ("src/engine/best_readings_shelf.cpp", "            idle_.pop_back();\n", ""),
    # string forms: the digit-only texts each form can read
    ("src/formats/string_forms.cpp", "{digit_counts(8, 8) | digit_counts(10, 10) | digit_counts(12, 12), 0}", "{digit_counts(8, 8) | digit_counts(12, 12), 0}"),
    ("src/formats/extended_string_forms.cpp", "{digit_counts(20, 20), digit_counts(19, 19)}", "{digit_counts(20, 20), 0}"),
    ("src/formats/extended_string_forms.cpp", "{digit_counts(19, 20), 0}", "{digit_counts(19, 19), 0}"),
    ("src/formats/string_forms.hpp", "if (!shape || shape->digits > MOST_STATED_DIGITS) return true;", "if (!shape || shape->digits > 31) return true;"),
    ("src/formats/string_forms.hpp", "bool const negative = !text.empty() && text[0] == '-';", "bool const negative = !text.empty() && (text[0] == '-' || text[0] == '+');"),
    ("src/formats/asn1_time.cpp", "bool const bare = all_ascii_digits(text.substr(y + 6));", "bool const bare = all_ascii_digits(text.substr(0, y + 10));"),
    ("src/engine/interpret_int.cpp", "    first_ = last_holding(-REACH);", "    first_ = inside.ns - REACH;"),
    ("src/engine/interpret_int.cpp", "(at_most(PosixNs{middle}) ? holds : fails) = middle;", "(at_most(PosixNs{middle}) ? fails : holds) = middle;"),
    ("src/engine/interpret_int.cpp", "return sub_second_digits_ == 0 ? 0 : std::min(trailing_decimal_zeros(magnitude(raw)), sub_second_digits_);", "return sub_second_digits_ == 0 ? 0 : std::min(trailing_decimal_zeros(magnitude(raw)), sub_second_digits_ - 1);"),
    ("src/engine/interpret_int.cpp", ".structure = options_->extended ? structure_component(family, raw, shaped) : 1.0,", ".structure = 1.0,"),
    ("src/python/reading_columns.cpp", "        validity.push(first, rows);", "        validity.push(true, rows);"),
    ("src/core/rfc3339.cpp", "(pairs * 103) >> 10", "(pairs * 102) >> 10"),
    ("src/engine/column.cpp", "                    tallies[row].log_likelihood = missed_every_value;", "                    tallies[row].log_likelihood = 0.0;"),
    ("src/engine/column.cpp", "        missed_every_value += LOG_MISS;", "        missed_every_value += LOG_MISS / 2;"),
    ("src/cli/batch_record.cpp", "std::to_string(ranks.empty() ? i + 1 : ranks[i])", "std::to_string(ranks.empty() ? i : ranks[i])"),
    ("src/core/rfc3339.cpp", "std::countl_zero(rest) / 8", "std::countr_zero(rest) / 8"),
    ("src/python/reading_columns.cpp", "        for (; n != 0 && (rows & 7) != 0; --n) push(valid);", ""),
    ("src/engine/score_rank.cpp", "    if (rival.bound - lost < score - 1e-9) return std::nullopt;", "    if (rival.bound - lost < score + 1e-9) return std::nullopt;"),
    ("src/engine/band_bounds.cpp", "high = low + ((uint64_t{1} << below) - 1);", "high = low + (uint64_t{1} << below);"),
    ("src/engine/band_bounds.cpp", "if (span.last < TYPICAL_START) return plausible_era(span.last, false, false);", "if (span.last < TYPICAL_START) return plausible_era(span.first, false, false);"),
    ("src/engine/band_bounds.cpp", "std::max(epoch_distance(windowed, span->last), settled)", "std::max(epoch_distance(windowed, span->first), settled)"),
    ("src/core/portable_exp.hpp", "if (entry.bits != bits) entry = Entry{bits, portable_exp(x)};", "if (entry.bits == 0) entry = Entry{bits, portable_exp(x)};"),
    # --by-column --best 1 on the command line, fourth round
    ("src/engine/score_rank.cpp", "        first = at;", "        first = at + 1;"),
    ("src/engine/score_rank.cpp", "double outside_bound = bound - (window_share + era_share);", "double outside_bound = bound - (window_share + era_share) - 0.5;"),
    ("src/engine/column_selectivity.cpp", "return mix(SPECIFICITY_SEED + (k + 1) * SPLITMIX_STEP);", "return mix(SPECIFICITY_SEED + k * SPLITMIX_STEP);"),
    ("src/engine/column.cpp", "return (row - FAMILIES) % share.count == share.index;  // the string forms", "return share.index == 0;  // the string forms"),
    ("src/cli/record_splitter.hpp", ".input_bytes = record_bytes_ + stop + 1}", ".input_bytes = stop + 1}"),
    ("src/cli/record_splitter.hpp", "bool const overlong = length > settings_.max_record;", "bool const overlong = length >= settings_.max_record;"),
    ("src/cli/batch_record.cpp", "            bool const plain = text.size() == value.size();", "            bool const plain = true;"),
    ("src/cli/batch_record.cpp", "    if (format.column != 0 || !is_valid_utf8(line)) {", "    if (format.column != 0) {"),
    ("src/cli/column_batch.cpp", "        } else if (ascii && format.column == 0) {", "        } else if (format.column == 0) {"),
    # integer columns read as their values, a value's text written where it is read
    ("src/python/arrow_strings.hpp", "if (row >= integers.size() || (unsigned_bits && integers[row] < 0)) return nullptr;", "if (row >= integers.size()) return nullptr;"),
    ("src/python/arrow_strings.hpp", "return unsigned_bits ? room.write_unsigned(static_cast<uint64_t>(value)) : room.write_signed(value);", "return room.write_signed(value);"),
    ("src/core/decimal_text.hpp", "        if (value < 0) *--begin = '-';\n", ""),
    ("src/python/identify_arrow.cpp", "texts.text(i, digits[sample.size()])", "texts.text(i, digits[0])"),
    ("src/python/identify_arrow.cpp", "texts.text(i, digits[i - first])", "texts.text(i, digits[0])"),
    ("src/python/identify_arrow.cpp", "    std::string_view const text = texts.text(i, digits);\n    std::vector<Candidate> const full", "    std::string_view const text;\n    std::vector<Candidate> const full"),
    ("src/python/identify_arrow.cpp", "if (const int64_t* integer = texts.integer(i)) reader.identify_integer(*integer, text, readings, kept->memo());", "if (const int64_t* integer = texts.integer(i)) reader.identify_integer(*integer, {}, readings, kept->memo());"),
    ("src/python/arrow_strings.cpp", "        out.unsigned_bits = is_unsigned_64_format(schema.format);", "        out.unsigned_bits = false;"),
    # best=1 extended on integer columns, sixth round
    ("src/core/instant.hpp", "return (n64 % d64 != 0 && ((n64 < 0) != (d64 < 0))) ? q - 1 : q;", "return q;"),
    ("src/core/instant.hpp", "constexpr bool fits_int64(i128 v) { return v >= INT64_MIN && v <= INT64_MAX; }", "constexpr bool fits_int64(i128 v) { return v >= INT64_MIN && v <= (i128{1} << 64); }"),
    ("src/engine/interpret_int.cpp", "    sum += weights_[4] * distance;", "    sum += weights_[4] * magnitude_measure;"),
    ("src/engine/interpret_int.cpp", "        sum += weights_[9] * resolution_[zeros];", "        sum += weights_[9] * granularity_[zeros];"),
    ("src/engine/interpret_int.cpp", "resolution_[static_cast<std::size_t>(zeros)] = resolution_fit(family, power);", "resolution_[static_cast<std::size_t>(zeros)] = resolution_fit(family, power * 10);"),
    ("src/engine/band_bounds.cpp", "if (band.last < 0) return true;  // an identifier is never negative", "if (band.first < 16) return true;  // an identifier is never negative"),
    ("src/engine/band_bounds.cpp", "return span->last <= BEFORE_RANGE || span->first >= AFTER_RANGE;", "return span->last <= BEFORE_RANGE || span->last >= AFTER_RANGE;"),
    ("src/formats/packed_codecs.hpp", "below_bit(48),                                         // Moto: six bytes", "below_bit(40),                                         // Moto: six bytes"),
    ("src/formats/packed_field_ranges.cpp", "hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;", "hour <= 22 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;"),
    ("src/formats/packed_field_ranges.cpp", "return year >= -9999 && year <= 9999 && month >= 1 && month <= 12 && day >= 1", "return year >= -9999 && year <= 9999 && month >= 1 && month <= 15 && day >= 1"),
    ("src/formats/packed_field_ranges.cpp", "auto const value = static_cast<int64_t>((byte % 16) * 10 + byte / 16);", "unsigned const value = (byte % 16) * 10 + byte / 16;"),
    ("src/engine/score.cpp", "if (d >= static_cast<i128>(TWO_YEARS)) return 1.0;", "if (d >= static_cast<i128>(TWO_YEARS) / 2) return 1.0;"),
    ("src/engine/extended_score.cpp", "if (outside >= static_cast<i128>(ERA_DECAY_NS)) return 0.0;", "if (outside >= static_cast<i128>(ERA_DECAY_NS) / 2) return 0.0;"),
    ("src/core/portable_exp.hpp", "if (k >= -1021 && k <= 1022 && magnitude >= 0.5 && magnitude < 2.0) {", "if (k >= -1023 && k <= 1022 && magnitude >= 0.5 && magnitude < 2.0) {"),
    ("src/engine/best_readings.cpp", "if (row.encoding.tag == Encoding::Tag::Packed && !packed_fields_may_decode(row.encoding.codec, raw)) continue;", "if (row.encoding.tag == Encoding::Tag::Packed && packed_fields_may_decode(row.encoding.codec, raw)) continue;"),
    ("src/engine/best_readings.cpp", "if (raw >= last_.first && raw <= last_.last) return last_order_;", "if (raw >= last_.first - 1 && raw <= last_.last) return last_order_;"),
    ("src/engine/extended_score.hpp", "if (!shaped_like_identifier && family.sequence.width == 0) return 1.0;", "if (family.sequence.width == 0) return 1.0;"),
    ("src/engine/interpret_int.cpp", "sum += weights_[6] * (is_sentinel(raw) ? 0.0 : 1.0);", "sum += weights_[6] * (raw == 0 ? 0.0 : 1.0);"),
    # the layer order the build keeps
    ("cmake/check_layers.cmake", "set(LAYER_core core)", "set(LAYER_core core engine)"),
    # the block cache under the reading columns
    ("src/python/block_cache.cpp", "if (k.block == nullptr || k.block->bytes < bytes || k.block->bytes / 2 > bytes) continue;", "if (k.block == nullptr || k.block->bytes / 2 > bytes) continue;"),
    ("src/python/block_cache.cpp", "if (k.block == nullptr || k.block->bytes < bytes || k.block->bytes / 2 > bytes) continue;", "if (k.block == nullptr || k.block->bytes < bytes) continue;"),
    ("src/python/block_cache.cpp", "if (k.block != nullptr && (oldest == nullptr || k.age < oldest->age)) oldest = &k;", "if (k.block != nullptr && (oldest == nullptr || k.age > oldest->age)) oldest = &k;"),
    ("src/python/block_cache.cpp", "        while (slot == nullptr || total_ + block->bytes > BLOCK_CACHE_BYTES) {", "        while (slot == nullptr) {"),
    ("src/python/reading_columns.hpp", "        if (size_ != 0) std::memcpy(grown, block_, size_);", ""),
    ("src/python/block_cache.cpp", "        pthread_atfork(lock_for_fork, unlock_after_fork, unlock_after_fork);", ""),
]

LAYERS = ("core", "formats", "engine", "output", "python", "cli", "cmake")


def layer_of(path: str) -> str:
    parts = path.split("/")
    return parts[1] if parts[0] == "src" else parts[0]


def parse_selection(text: str, count: int) -> list[int]:
    chosen: list[int] = []
    for part in text.split(","):
        first, _, last = part.partition("-")
        chosen.extend(range(int(first), int(last or first) + 1))
    return [i for i in chosen if 0 <= i < count]


def check_texts() -> dict[int, str]:
    """The stale mutants, each with what is wrong with it."""
    faults = {}
    for i, (path, text, replacement) in enumerate(MUTANTS):
        source = (ROOT / path).read_text(encoding="utf-8") if (ROOT / path).exists() else ""
        found = source.count(text)
        if found != 1:
            faults[i] = "%d %s: stale, the text occurs %d times (once needed): %s" % (i, path, found, text)
        elif text == replacement:
            faults[i] = "%d %s: the replacement changes nothing" % (i, path)
    return faults


def run(command: list[str], build: pathlib.Path, timeout: int, env=None) -> bool:
    try:
        done = subprocess.run(command, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout, env=env)
    except subprocess.TimeoutExpired:
        return False  # a hang is a failure too
    return done.returncode == 0


def configure(build: pathlib.Path, python: bool) -> None:
    if (build / "build.ninja").exists():
        return
    subprocess.run(["cmake", "-S", ".", "-B", str(build), "-G", "Ninja", "-DEPOCHSIFT_TESTS=ON",
                    "-DEPOCHSIFT_PYTHON=" + ("ON" if python else "OFF")], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)


def try_mutant(index: int, build: pathlib.Path, args) -> str:
    path, text, replacement = MUTANTS[index]
    file = ROOT / path
    original = file.read_bytes()
    source = original.decode("utf-8")
    try:
        file.write_bytes(source.replace(text, replacement, 1).encode("utf-8"))
        if not run(["cmake", "--build", str(build), "-j", str(args.jobs)], build, args.timeout):
            return "no-build"
        ctest = ["ctest", "--test-dir", str(build), "-j", str(args.jobs), "--stop-on-failure", "--timeout", "300"]
        if args.cpp_tests:
            ctest += ["-R", args.cpp_tests]
        if not run(ctest, build, args.timeout):
            return "caught"
        if args.python:
            env = dict(os.environ, PYTHONPATH=str(build), EPOCHSIFT_CLI=str(build / "bin" / "epochsift"))
            pytest = [sys.executable, "-m", "pytest", "-x", "-q", "-p", "no:cacheprovider", *args.python_tests.split()]
            if not run(pytest, build, args.timeout, env):
                return "caught"
        return "escaped"
    finally:
        file.write_bytes(original)
        os.utime(file)  # newer than the mutant's objects: the next build remakes them


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=pathlib.Path, default=ROOT / "build" / "mutants")
    parser.add_argument("--layer", help="comma-separated layers (%s)" % ", ".join(LAYERS))
    parser.add_argument("--only", help="mutant numbers: 3,7-12")
    parser.add_argument("--list", action="store_true", help="print the mutants and stop")
    parser.add_argument("--check", action="store_true", help="check that every text occurs once, build nothing")
    parser.add_argument("--skip-headers", action="store_true",
                        help="leave out mutants of headers, each of which rebuilds most of the tree")
    parser.add_argument("--skip-stale", action="store_true",
                        help="run the mutants whose text still occurs once and report the stale ones apart")
    parser.add_argument("--cpp-tests", help="a ctest -R pattern: only the C++ tests it names")
    parser.add_argument("--no-python", dest="python", action="store_false", help="C++ tests only")
    parser.add_argument("--python-tests", default="tests/python --ignore=tests/python/test_spark.py",
                        help="pytest arguments (default: every Python test but the Spark ones, which start a JVM)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=int, default=3600, help="seconds for one build or test run")
    args = parser.parse_args()

    indices = list(range(len(MUTANTS)))
    if args.only:
        indices = parse_selection(args.only, len(MUTANTS))
    if args.layer:
        wanted = set(args.layer.split(","))
        indices = [i for i in indices if layer_of(MUTANTS[i][0]) in wanted]
    if args.skip_headers:
        indices = [i for i in indices if not MUTANTS[i][0].endswith(".hpp")]
    if args.list:
        for i in indices:
            path, text, replacement = MUTANTS[i]
            print("%3d %-8s %s: %s -> %s" % (i, layer_of(path), path, text, replacement))
        return 0
    faults = check_texts()
    if faults or args.check:
        print("\n".join(faults.values()) or "%d mutants, every text found once" % len(MUTANTS))
        if args.check or not args.skip_stale:
            if faults:
                print("%d stale mutants: bring their text up to date (or run with --skip-stale)" % len(faults))
            return 1 if faults else 0
        indices = [i for i in indices if i not in faults]

    build = args.build if args.build.is_absolute() else ROOT / args.build
    configure(build, args.python)
    if not run(["cmake", "--build", str(build), "-j", str(args.jobs)], build, args.timeout):
        print("the unmutated tree does not build", file=sys.stderr)
        return 2
    tally = {"caught": [], "escaped": [], "no-build": []}
    for i in indices:
        start = time.monotonic()
        outcome = try_mutant(i, build, args)
        tally[outcome].append(i)
        path, text, replacement = MUTANTS[i]
        print("%3d %-8s %-44s %4.0fs  %s" % (i, outcome, path, time.monotonic() - start, replacement[:70]), flush=True)
    # Bring the tree back to the unmutated sources.
    run(["cmake", "--build", str(build), "-j", str(args.jobs)], build, args.timeout)
    tried = len(tally["caught"]) + len(tally["escaped"])
    print("caught %d of %d (%.1f %%); escaped: %s; did not build: %s; stale, not run: %s" % (
        len(tally["caught"]), tried, 100.0 * len(tally["caught"]) / max(tried, 1),
        ",".join(map(str, tally["escaped"])) or "none", ",".join(map(str, tally["no-build"])) or "none",
        ",".join(map(str, sorted(faults))) or "none"))
    return 0 if not tally["escaped"] else 1


if __name__ == "__main__":
    sys.exit(main())
