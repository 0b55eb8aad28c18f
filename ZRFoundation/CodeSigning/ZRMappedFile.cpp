#include "ZRFoundation/CodeSigning/ZRMappedFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Files up to this size are read with one call: setting up and tearing down a mapping costs
/// more than copying a few pages.
constexpr std::size_t largestFileRead = 256 * 1024;

class Descriptor {
public:
    explicit Descriptor(int descriptor)
        : _descriptor(descriptor) {}
    ~Descriptor() {
        if (_descriptor >= 0) {
            ::close(_descriptor);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return _descriptor; }

private:
    int _descriptor;
};

std::error_code lastError() {
    return {errno, std::generic_category()};
}

/// Reads exactly `size` bytes from the start of the file; false when it is shorter now or fails.
bool readAll(int descriptor, std::uint8_t* output, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t count = ::pread(descriptor, output + done, size - done, static_cast<off_t>(done));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

} // namespace

std::shared_ptr<const ZRMappedFile> ZRMappedFile::open(const std::filesystem::path& path,
                                                       std::error_code& error) {
    error.clear();
    const Descriptor descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (descriptor.get() < 0) {
        error = lastError();
        return nullptr;
    }
    struct stat status {};
    if (::fstat(descriptor.get(), &status) != 0) {
        error = lastError();
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        error = std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory
                                                             : std::errc::not_supported);
        return nullptr;
    }
    std::shared_ptr<ZRMappedFile> file(new ZRMappedFile());
    file->_modificationTime = static_cast<std::int64_t>(status.st_mtim.tv_sec);
    const auto size = static_cast<std::size_t>(status.st_size);
    if (size == 0) {
        return file;
    }
    if (size <= largestFileRead) {
        file->_buffer.resize(size);
        if (!readAll(descriptor.get(), file->_buffer.data(), size)) {
            error = std::make_error_code(std::errc::io_error);
            return nullptr;
        }
        file->_data = file->_buffer.data();
        file->_size = size;
        return file;
    }
    void* mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor.get(), 0);
    if (mapping == MAP_FAILED) {
        error = lastError();
        return nullptr;
    }
    ::madvise(mapping, size, MADV_SEQUENTIAL);
    file->_data = static_cast<const std::uint8_t*>(mapping);
    file->_size = size;
    file->_mapped = true;
    return file;
}

std::optional<std::vector<std::uint8_t>> ZRMappedFile::readRegularFile(const std::filesystem::path& path,
                                                                       std::uintmax_t maximumSize) {
    // O_NOFOLLOW: a symbolic link is refused, even one swapped in after a look at the path.
    const Descriptor descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat status {};
    if (descriptor.get() < 0 || ::fstat(descriptor.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::uintmax_t>(status.st_size) > maximumSize) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(status.st_size));
    if (!readAll(descriptor.get(), bytes.data(), bytes.size())) {
        return std::nullopt;
    }
    return bytes;
}

ZRMappedFile::~ZRMappedFile() {
    if (_mapped) {
        ::munmap(const_cast<std::uint8_t*>(_data), _size);
    }
}
