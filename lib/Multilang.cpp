#include "lib/Multilang.h"

namespace lib {

void MultiLang::set_language(std::string_view code, bool /*load_params*/) {
    current_language_.assign(code);
}

TranslatedText MultiLang::translate(std::string_view text, std::string_view alternative) {
    return store_text(alternative.empty() ? text : alternative);
}

MultiLang& multilang() {
    static MultiLang instance;
    return instance;
}

} // namespace lib
