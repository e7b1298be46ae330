#include "python/json_str.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>  // the widening of ASCII runs; elsewhere they go byte by byte
#endif

namespace epochsift::python {

namespace {

// Below this many bytes the UTF-8 decoder's own speed does not matter.
constexpr std::size_t UTF16_FROM_BYTES = 1024;


// One UTF-8 sequence at text[i] as UTF-16 units at out; the units written,
// or 0 for a sequence the strict decoder would reject.
std::size_t put_sequence(const unsigned char* text, std::size_t n, std::size_t& i, char16_t* out) {
    unsigned const lead = text[i];
    auto const continuation = [&](std::size_t k) { return i + k < n && (text[i + k] & 0xC0u) == 0x80u; };
    uint32_t code = 0;
    std::size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF && continuation(1)) {
        code = (lead & 0x1Fu) << 6 | (text[i + 1] & 0x3Fu);
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF && continuation(1) && continuation(2)) {
        code = (lead & 0x0Fu) << 12 | (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3Fu);
        if (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF)) return 0;  // overlong, or a surrogate
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4 && continuation(1) && continuation(2) && continuation(3)) {
        code = (lead & 0x07u) << 18 | (text[i + 1] & 0x3Fu) << 12 | (text[i + 2] & 0x3Fu) << 6 | (text[i + 3] & 0x3Fu);
        if (code < 0x10000 || code > 0x10FFFF) return 0;
        length = 4;
    } else {
        return 0;
    }
    i += length;
    if (code < 0x10000) {
        out[0] = static_cast<char16_t>(code);
        return 1;
    }
    code -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (code >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (code & 0x3FFu));
    return 2;
}

}  // namespace

// CPython decodes UTF-16 into its two-byte strings several times faster than
// UTF-8 once a text holds a character past Latin-1, as the notes' dashes
// are; widening the mostly-ASCII text costs less than the difference.
PyObject* str_from_utf8(std::string_view text) {
    auto const plain = [&] { return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())); };
    std::size_t const n = text.size();
    if (n < UTF16_FROM_BYTES) return plain();
    // Kept from call to call on the thread, like the JSON buffer.
    thread_local std::unique_ptr<char16_t[]> kept_units;
    thread_local std::size_t kept_count = 0;
    if (kept_count < n) {
        kept_units.reset();
        kept_count = 0;
        kept_units.reset(new (std::nothrow) char16_t[n]);
        if (!kept_units) return PyErr_NoMemory();
        kept_count = n;
    }
    // Handed back after the call when larger than is worth keeping.
    struct Trim {
        ~Trim() {
            if (kept_count > KEPT_SCRATCH_BYTES / sizeof(char16_t)) {
                kept_units.reset();
                kept_count = 0;
            }
        }
    } const trim;
    std::unique_ptr<char16_t[]> const& units = kept_units;
    auto const* bytes = reinterpret_cast<const unsigned char*>(text.data());
    char16_t* out = units.get();
    std::size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        if (i + 32 <= n) {
            __m128i const low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
            __m128i const high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 16));
            __m128i const zero = _mm_setzero_si128();
            // All 32 widened, though only the ASCII bytes before the first
            // other one count: units written never outrun bytes read, so
            // the 32 fit.
            auto* const to = reinterpret_cast<__m128i*>(out);
            _mm_storeu_si128(to, _mm_unpacklo_epi8(low, zero));
            _mm_storeu_si128(to + 1, _mm_unpackhi_epi8(low, zero));
            _mm_storeu_si128(to + 2, _mm_unpacklo_epi8(high, zero));
            _mm_storeu_si128(to + 3, _mm_unpackhi_epi8(high, zero));
            auto const others = static_cast<uint32_t>(_mm_movemask_epi8(low)) |
                                static_cast<uint32_t>(_mm_movemask_epi8(high)) << 16;
            std::size_t const ascii = others == 0 ? 32 : static_cast<std::size_t>(std::countr_zero(others));
            out += ascii;
            i += ascii;
            if (ascii == 32) continue;
        }
#endif
        std::size_t const written = put_sequence(bytes, n, i, out);
        if (written == 0) return plain();  // the strict decoder's own error
        out += written;
    }
    int order = std::endian::native == std::endian::little ? -1 : 1;
    return PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(units.get()),
                                 static_cast<Py_ssize_t>(out - units.get()) * 2, nullptr, &order);
}

}  // namespace epochsift::python
