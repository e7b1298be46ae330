// The words of an artifact hint and what each names: a caller is told which
// words matched a family and which matched none, and the extended reading
// does not hold a hint that names nothing against every family.
#pragma once

#include <string_view>
#include <vector>

#include "engine/read_options.hpp"
#include "formats/numeric_family.hpp"

namespace epochsift {

struct HintWord {
    std::string_view word;                       // into the hint
    std::vector<const NumericFamily*> families;  // the families it names; empty: none
    bool generic = false;                        // a word of the kind of value, not its form: no evidence
};

// The hint's words as the extended reading reads them (the hint vocabulary,
// formats/hint_scan.hpp), in order, repeats dropped; each with the families
// it implies.
std::vector<HintWord> hint_words(std::string_view hint);

// The hint's words as the reference reading's artifact component reads
// them (runs of ASCII letters and digits, three or more, found in a
// family's id, source or label), in order, repeats dropped.
std::vector<HintWord> reference_hint_words(std::string_view hint);

// Whether some word of the hint names some numeric family.
bool hint_names_a_family(std::string_view hint);

// options, less a hint none of whose words names a family when the reading
// is extended: such a hint would only lower every family alike. The
// reference reading keeps the hint as given. Uses storage for the copy.
const ReadOptions& with_useful_hint(const ReadOptions& options, ReadOptions& storage);

}  // namespace epochsift
