#include "storage/Compressed_text.h"

namespace storage {

namespace compressed_text {

std::string unknown_method(std::int32_t method)
{
    return "Неизвестный способ сжатия столбца: " + std::to_string(method);
}

std::string unknown_kind(std::int32_t kind)
{
    return "Неизвестная разрядность кодов квантованного столбца: " + std::to_string(kind);
}

std::string negative_count(std::int64_t count)
{
    return "Отрицательное число элементов в сжатых данных: " + std::to_string(count);
}

std::string list_too_long(std::int64_t count, std::size_t element_size, std::uint64_t left)
{
    return "Список из " + std::to_string(count) + " элементов по " + std::to_string(element_size)
           + " байт длиннее остатка сжатых данных (" + std::to_string(left) + " байт)";
}

std::string wrong_count(std::int64_t count, std::size_t records)
{
    return "Столбец из " + std::to_string(count) + " значений при " + std::to_string(records) + " записях";
}

std::string bad_coefficient_count(std::int64_t count)
{
    return "Число вейвлет-коэффициентов " + std::to_string(count) + " не равно 64·2^m";
}

std::string coefficients_for_records(std::int64_t count, std::size_t records)
{
    return "Число вейвлет-коэффициентов " + std::to_string(count) + " не подходит для " + std::to_string(records)
           + " записей";
}

std::string codes_missing(std::int64_t count)
{
    return "В квантованном столбце не хватает кодов для " + std::to_string(count) + " значений";
}

std::string exact_values_mismatch(std::int64_t positions, std::int64_t values)
{
    return "В квантованном столбце " + std::to_string(positions) + " позиций точных значений и "
           + std::to_string(values) + " значений";
}

} // namespace compressed_text

std::size_t checked_count(lib::io::BinaryInputStream& in, std::int32_t count, std::size_t element_size)
{
    if (count < 0)
        throw compressed_error(compressed_text::negative_count(count));
    const std::uint64_t left = in.remaining();
    if (static_cast<std::uint64_t>(count) * element_size > left)
        throw compressed_error(compressed_text::list_too_long(count, element_size, left));
    return static_cast<std::size_t>(count);
}

} // namespace storage
