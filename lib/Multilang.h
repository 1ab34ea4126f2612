#pragma once
// The process-wide translator, reached through lib::multilang().
//
// No language file is ever loaded, so translate() gives the alternative when one is given
// and the text itself otherwise, and translate_form() changes nothing. multilang() builds
// the instance on first use (thread-safe) and it lives until program end.

#include "lib/Translator.h"

#include <string>
#include <string_view>

namespace lib {

class MultiLang final : public ITranslator {
public:
    using ITranslator::translate;

    // Records the code as the current language; there are no language files to load.
    void set_language(std::string_view code, bool load_params) override;
    TranslatedText translate(std::string_view text, std::string_view alternative) override;

    // A template so the core needs no window type; returns at once without a language file.
    template <typename Window>
    void translate_form(Window& /*window*/) {}

    const std::string& default_language() const { return default_language_; }
    const std::string& current_language() const { return current_language_; }
    const std::string& language_file() const { return language_file_; }
    const std::string& alt_language_file() const { return alt_language_file_; }

private:
    std::string default_language_ = "en";
    std::string current_language_;
    std::string language_file_;
    std::string alt_language_file_;
};

MultiLang& multilang();

} // namespace lib
