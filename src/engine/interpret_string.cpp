#include "engine/interpret_string.hpp"

#include <string>

#include "formats/asn1_time.hpp"
#include "engine/diagnostics.hpp"
#include "formats/iso8601.hpp"
#include "formats/jwt_claims.hpp"
#include "formats/string_formats.hpp"

namespace epochsift {

namespace {

// A string reading: score 1.0, the three fixed components, the note as the
// one assumption; rendered is absent when the instant cannot be shown.
Candidate string_candidate(std::string_view format_id, std::string_view label, std::string_view citation,
                           PosixNs instant, std::string_view note) {
    Candidate candidate;
    candidate.format_id = format_id;
    candidate.label = label;
    candidate.citation = citation;
    candidate.instant = instant;
    candidate.rendered = RenderedText::of(instant);
    // A string form names its own format, so the reading is not scored.
    candidate.score = 1.0;
    candidate.components.push_back({"representable", 1.0});
    candidate.components.push_back({"self_describing", 1.0});
    candidate.components.push_back({"not_sentinel", 1.0});
    candidate.assumptions.reserve(note.size());
    candidate.assumptions.push_back(note);
    candidate.sentinel = false;
    return candidate;
}

// The texts of one reading that is not a table row.
struct StepTexts {
    std::string_view id;
    std::string_view label;
    std::string_view citation;
    std::string_view note;  // for ASN.1, the kind named in the note
};

constexpr StepTexts ISO8601_TEXTS = {
    "iso8601", "ISO 8601 / RFC 3339 string", "ISO 8601:2019 / RFC 3339",
    "parsed as an ISO 8601 / RFC 3339 string (offset normalised to UTC)"};

constexpr StepTexts ASN1_GENERALIZED_TEXTS = {"asn1_generalizedtime", "ASN.1 GeneralizedTime",
                                              "ITU-T X.680 / RFC 5280 §4.1.2.5.2",
                                              "GeneralizedTime (4-digit year)"};
constexpr StepTexts ASN1_UTC_TEXTS = {"asn1_utctime", "ASN.1 UTCTime", "ITU-T X.680 / RFC 5280 §4.1.2.5.1",
                                      "UTCTime (2-digit year; RFC 5280 pivot: <50 => 20YY, else 19YY)"};

constexpr StepTexts JWT_IAT_TEXTS = {"jwt_iat", "JWT issued-at (iat)", "RFC 7519 (JWT registered claims)",
                                     "JWT `iat` claim — Unix seconds"};
constexpr StepTexts JWT_EXP_TEXTS = {"jwt_exp", "JWT expiry (exp)", "RFC 7519 (JWT registered claims)",
                                     "JWT `exp` claim — Unix seconds"};
constexpr StepTexts JWT_NBF_TEXTS = {"jwt_nbf", "JWT not-before (nbf)", "RFC 7519 (JWT registered claims)",
                                     "JWT `nbf` claim — Unix seconds"};

void append(std::vector<Candidate>& out, const StepTexts& texts, PosixNs instant, std::string_view note) {
    out.push_back(string_candidate(texts.id, texts.label, texts.citation, instant, note));
}

void asn1_step(std::vector<Candidate>& out, std::string_view text, int year_digits, const StepTexts& texts) {
    auto const parsed = parse_asn1(text, year_digits);
    if (!parsed) return;
    std::string note = "parsed as ASN.1 ";
    note += texts.note;
    if (!parsed->has_designator) note += "; NO timezone designator — assumed UTC, but may be local time";
    append(out, texts, parsed->instant, note);
}

void jwt_claim(std::vector<Candidate>& out, std::optional<int64_t> seconds, const StepTexts& texts) {
    // Every 64-bit count of seconds fits in nanoseconds; only rendering may fail.
    if (seconds) append(out, texts, PosixNs::from_seconds(*seconds), texts.note);
}

}  // namespace

std::vector<Candidate> interpret_string(std::string_view text) {
    DiagnosticsSpan const span("interpret_string", "len", static_cast<long long>(text.size()));
    std::vector<Candidate> out;

    // The steps run in a fixed order, each whatever the others found; the
    // final ranking is stable, so this order is the order users see.
    if (auto const instant = parse_iso8601(text)) append(out, ISO8601_TEXTS, *instant, ISO8601_TEXTS.note);

    asn1_step(out, text, 4, ASN1_GENERALIZED_TEXTS);
    asn1_step(out, text, 2, ASN1_UTC_TEXTS);

    if (auto const claims = parse_jwt_claims(text)) {
        jwt_claim(out, claims->iat, JWT_IAT_TEXTS);
        jwt_claim(out, claims->exp, JWT_EXP_TEXTS);
        jwt_claim(out, claims->nbf, JWT_NBF_TEXTS);
    }

    for (const StringFormat& format : STRING_FORMATS) {
        if (auto const instant = format.parse(text)) {
            out.push_back(string_candidate(format.id, format.label, format.citation, *instant, format.note));
        }
    }
    return out;
}

}  // namespace epochsift
