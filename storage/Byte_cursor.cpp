#include "storage/Byte_cursor.h"

namespace storage {

InputBytes::InputBytes(const std::string& path, bool lock)
    : stream_(lib::io::open_input_file(path, lock, lib::enc_1251))
{
    if (auto* mapped = dynamic_cast<lib::io::InputMappedFile*>(stream_.get())) {
        data_ = mapped->view();
        size_ = static_cast<std::size_t>(mapped->size());
        return;
    }
    // Too large to map: read it whole, so the readers parse one way.
    lib::io::OSFile& file = stream_->file();
    copy_.resize(static_cast<std::size_t>(file.size()));
    copy_.resize(file.read(copy_.data(), copy_.size()));
    data_ = copy_.data();
    size_ = copy_.size();
}

} // namespace storage
