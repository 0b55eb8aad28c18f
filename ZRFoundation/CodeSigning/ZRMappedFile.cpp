#include "ZRFoundation/CodeSigning/ZRMappedFile.h"

#include <cerrno>
#include <utility>

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
    Descriptor(Descriptor&& other) noexcept
        : _descriptor(std::exchange(other._descriptor, -1)) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&&) = delete;

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

/// Opens a regular file for reading without waiting on it, or leaves `error` set. O_NONBLOCK
/// makes the open of a FIFO return at once (and is harmless for a regular file, where reads
/// never block on it); the kind is decided by `fstat` on what was opened, not by a look at the
/// path beforehand.
Descriptor openRegularFile(const std::filesystem::path& path, ZRMappedFile::Links links, struct stat& status,
                           std::error_code& error) {
    error.clear();
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (links == ZRMappedFile::Links::refuse) {
        flags |= O_NOFOLLOW;
    }
    Descriptor descriptor(::open(path.c_str(), flags));
    if (descriptor.get() < 0) {
        error = lastError();
        return descriptor;
    }
    if (::fstat(descriptor.get(), &status) != 0) {
        error = lastError();
    } else if (!S_ISREG(status.st_mode)) {
        error = std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory
                                                             : std::errc::not_supported);
    }
    return descriptor;
}

} // namespace

std::shared_ptr<const ZRMappedFile> ZRMappedFile::open(const std::filesystem::path& path, Links links,
                                                       std::error_code& error) {
    struct stat status {};
    const Descriptor descriptor = openRegularFile(path, links, status, error);
    if (error) {
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
    std::error_code error;
    return readRegularFile(path, maximumSize, Links::refuse, error);
}

std::optional<std::vector<std::uint8_t>> ZRMappedFile::readRegularFile(const std::filesystem::path& path,
                                                                       std::uintmax_t maximumSize,
                                                                       Links links, std::error_code& error) {
    struct stat status {};
    const Descriptor descriptor = openRegularFile(path, links, status, error);
    if (error) {
        return std::nullopt;
    }
    if (static_cast<std::uintmax_t>(status.st_size) > maximumSize) {
        error = std::make_error_code(std::errc::file_too_large);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(status.st_size));
    if (!readAll(descriptor.get(), bytes.data(), bytes.size())) {
        error = std::make_error_code(std::errc::io_error);
        return std::nullopt;
    }
    return bytes;
}

ZRMappedFile::~ZRMappedFile() {
    if (_mapped) {
        ::munmap(const_cast<std::uint8_t*>(_data), _size);
    }
}
