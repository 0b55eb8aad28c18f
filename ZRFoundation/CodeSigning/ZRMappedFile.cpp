#include "ZRFoundation/CodeSigning/ZRMappedFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

std::shared_ptr<const ZRMappedFile> ZRMappedFile::open(const std::filesystem::path& path,
                                                       std::error_code& error) {
    error.clear();
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        error = std::error_code(errno, std::generic_category());
        return nullptr;
    }
    std::shared_ptr<ZRMappedFile> file(new ZRMappedFile());
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        error = std::error_code(errno, std::generic_category());
    } else if (!S_ISREG(status.st_mode)) {
        error = std::make_error_code(std::errc::is_a_directory);
        if (!S_ISDIR(status.st_mode)) {
            error = std::make_error_code(std::errc::not_supported);
        }
    } else if (status.st_size > 0) {
        file->_size = static_cast<std::size_t>(status.st_size);
        void* mapping = ::mmap(nullptr, file->_size, PROT_READ, MAP_PRIVATE, descriptor, 0);
        if (mapping == MAP_FAILED) {
            error = std::error_code(errno, std::generic_category());
            file->_size = 0;
        } else {
            file->_data = static_cast<const std::uint8_t*>(mapping);
            ::madvise(mapping, file->_size, MADV_SEQUENTIAL);
        }
    }
    file->_modificationTime = static_cast<std::int64_t>(status.st_mtim.tv_sec);
    ::close(descriptor);
    if (error) {
        return nullptr;
    }
    return file;
}

std::optional<std::vector<std::uint8_t>> ZRMappedFile::readRegularFile(const std::filesystem::path& path,
                                                                       std::uintmax_t maximumSize) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::uintmax_t>(status.st_size) > maximumSize) {
        return std::nullopt;
    }
    std::error_code error;
    const auto mapped = open(path, error);
    if (!mapped || mapped->_size > maximumSize) {
        return std::nullopt;
    }
    const auto bytes = mapped->bytes();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

ZRMappedFile::~ZRMappedFile() {
    if (_data != nullptr) {
        ::munmap(const_cast<std::uint8_t*>(_data), _size);
    }
}
