#include "output/reading_text.hpp"

namespace epochsift {

std::vector<std::string> note_texts(const Candidate& c) {
    std::vector<std::string> texts;
    texts.reserve(c.notes.size());
    for_each_note(c, [&](const NotePieces& pieces) {
        std::string& text = texts.emplace_back();
        text.reserve(pieces.size());
        for (std::size_t i = 0; i < pieces.count; ++i) text += pieces.parts[i];
    });
    return texts;
}

}  // namespace epochsift
