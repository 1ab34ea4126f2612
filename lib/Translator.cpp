#include "lib/Translator.h"

#include <array>
#include <mutex>

namespace lib {

namespace {

struct TextRing {
    std::mutex mutex;
    std::array<std::string, text_ring_size> texts;
    std::int32_t cursor = 0;
};

// Built on first use, so translating from another static's constructor is safe too.
TextRing& ring() {
    static TextRing instance;
    return instance;
}

} // namespace

TranslatedText store_text(std::string_view text) {
    TextRing& r = ring();
    std::lock_guard lock(r.mutex);
    const std::int32_t slot = r.cursor;
    r.texts[static_cast<std::size_t>(slot)].assign(text);
    r.cursor = slot + 1 == text_ring_size ? 0 : slot + 1;
    return TranslatedText{slot};
}

std::string text_of(TranslatedText handle) {
    if (handle.index < 0 || handle.index >= text_ring_size)
        return {};
    TextRing& r = ring();
    std::lock_guard lock(r.mutex);
    return r.texts[static_cast<std::size_t>(handle.index)];
}

void NULLTranslator::set_language(std::string_view, bool) {}

TranslatedText NULLTranslator::translate(std::string_view text, std::string_view) {
    return store_text(text);
}

} // namespace lib
