#include "engine/request_options.hpp"

namespace epochsift {

namespace {

// The alternative T of value moved into out; false when value holds another.
template <typename T, typename Out>
bool take(OptionValue& value, Out& out) {
    T* held = std::get_if<T>(&value);
    if (held == nullptr) return false;
    out = std::move(*held);
    return true;
}

}  // namespace

bool CallerOptions::set(OptionKey key, OptionValue&& value) {
    switch (key) {
        case OptionKey::Extended: return take<bool>(value, read.extended);
        case OptionKey::Hint: return take<std::string>(value, hint);
        case OptionKey::ByteWidth: return take<uint8_t>(value, read.context.byte_width);
        case OptionKey::ByteOrder: return take<ByteOrder>(value, read.context.byte_order);
        case OptionKey::Neighbours: return take<std::vector<int64_t>>(value, neighbours);
        case OptionKey::Window: return take<InstantWindow>(value, read.window);
        case OptionKey::Tz: return take<TimeZone>(value, display_zone);
        case OptionKey::LocalZone: return take<TimeZone>(value, local_zone);
        case OptionKey::Best: return take<std::size_t>(value, best);
        case OptionKey::Families: return take<std::vector<std::string>>(value, families);
    }
    return false;
}

void CallerOptions::finish() {
    // The views are taken once the owned texts stop changing.
    if (hint) read.context.artifact_hint = std::string_view(*hint);
    read.context.neighbours = neighbours;
    read.zones = {display_zone ? &*display_zone : nullptr, local_zone ? &*local_zone : nullptr};
}

Request CallerOptions::request(std::string_view text) const {
    Request out = Request::of_text(text, read);
    out.best = best;
    return out;
}

Request CallerOptions::request(std::span<const uint8_t> bytes) const {
    Request out = Request::of_bytes(bytes, read);
    out.best = best;
    return out;
}

}  // namespace epochsift
