#pragma once
// Translators and the ring of translated texts they hand results back through.
//
// A TranslatedText is an index into a process-wide ring of 1024 texts; it stays valid only
// until 1024 further texts are stored, so callers take text_of() right after translate().
// The ring is guarded by a mutex and lives until program end. Nothing here throws except
// std::bad_alloc.

#include <cstdint>
#include <string>
#include <string_view>

namespace lib {

inline constexpr std::int32_t text_ring_size = 1024;

// A handle to one slot of the text ring.
struct TranslatedText {
    std::int32_t index = 0;
};

// Puts a copy of the text into the slot at the ring cursor and advances the cursor,
// wrapping from the last slot back to the first.
TranslatedText store_text(std::string_view text);

// The text in the handle's slot; an index outside the ring gives "".
std::string text_of(TranslatedText handle);

class ITranslator {
public:
    virtual void set_language(std::string_view code, bool load_params) = 0;
    // The same as translating with an empty alternative.
    virtual TranslatedText translate(std::string_view text) { return translate(text, {}); }
    virtual TranslatedText translate(std::string_view text, std::string_view alternative) = 0;

protected:
    // Translators are owned by their concrete type and never deleted through this interface.
    ~ITranslator() = default;
};

// Gives every text back unchanged; the alternative is ignored.
class NULLTranslator final : public ITranslator {
public:
    using ITranslator::translate;
    void set_language(std::string_view code, bool load_params) override;
    TranslatedText translate(std::string_view text, std::string_view alternative) override;
};

} // namespace lib
