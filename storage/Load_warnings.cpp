#include "storage/Load_warnings.h"

#include "storage/Realtimedatareader.h"

namespace storage {

namespace {

struct KeyText {
    std::string_view key;
    std::string_view text;
};

constexpr KeyText key_texts[] = {
    {storage_text::msg_data_skips,
     "В части записей файла число значений не совпадает с числом параметров, объявленным в файле: недостающие "
     "значения этих записей прочитаны как нули, лишние отброшены."},
    {storage_text::msg_data_corrupt,
     "Файл повреждён: испорченные участки пропущены, и записей из них нет среди прочитанных; остальные данные "
     "файла прочитаны."},
    {storage_text::msg_data_old_version,
     "Часть файла записана в старом варианте формата и прочитана по его правилам: время записей этой части "
     "прочитано без долей секунды."},
};

} // namespace

std::string warning_text(std::string_view warning)
{
    for (const KeyText& entry : key_texts) {
        if (entry.key == warning)
            return std::string(entry.text);
    }
    return std::string(warning);
}

} // namespace storage
